// What an instrument says of a fault it meets while it runs (an instrument that stops
// answering, answers garbage, or refuses its trigger): one line on the main panel's status
// list when the fault begins and one when the instrument answers again, never a line at
// every cycle and never a pop-up from a bus thread.
//
//   struct X_prive { ...; plugin::Panne panne; };
//   // in the notification callback, any thread:
//   if (lecture ratée) p->panne.Signaler(nom, "pas de réponse (GPIB0::1)"_w); else p->panne.Retablie(nom);
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "framework/champs.h"

namespace plugin {

// The panel whose status list receives the instruments' lines (the main panel); 0 sends them
// nowhere. Set by the program at start-up, on the user-interface thread.
void Installer_status_instruments(int panel);

class Panne {
public:
    // `texte` says what went wrong, in the program's text encoding. Only the first call of an
    // episode writes its line "<nom> : <texte>"; any thread.
    void Signaler(const char *nom_instrument, const std::string &texte);

    // The instrument answered: if a fault was said, "<nom> : l'appareil répond de nouveau".
    void Retablie(const char *nom_instrument);
    // The fault is over: if it was said, "<nom> : <texte>".
    void Retablie(const char *nom_instrument, const std::string &texte);

    // Whether a fault has been said and not yet ended.
    bool EnCours() const { return en_cours_.load(); }

    // A new init: what was said before is over, without a line.
    void Oublier() { en_cours_.store(false); }

private:
    std::atomic<bool> en_cours_{false};
};

// A fault said under the instrument's name, which is taken when its acquisition starts: the
// threads that say the fault never read the settings block, whose name the operator may change
// meanwhile.
class PanneNommee {
public:
    // At init: the name (its first 39 characters); what was said before is over, without a line.
    void Preparer(std::string_view nom);
    // The same from the name field of a settings block, read no further than the field.
    template <std::size_t N>
    void Preparer(const char (&nom)[N]) {
        Preparer(TexteChamp(nom));
    }

    void Signaler(const std::string &texte) { panne_.Signaler(nom_, texte); }
    void Retablie() { panne_.Retablie(nom_); }
    void Retablie(const std::string &texte) { panne_.Retablie(nom_, texte); }
    bool EnCours() const { return panne_.EnCours(); }

private:
    char nom_[kLongueurNomInstru] = "";
    Panne panne_;
};

}  // namespace plugin
