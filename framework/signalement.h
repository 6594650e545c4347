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
#include <string>

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

    // Whether a fault has been said and not yet ended.
    bool EnCours() const { return en_cours_.load(); }

    // A new init: what was said before is over, without a line.
    void Oublier() { en_cours_.store(false); }

private:
    std::atomic<bool> en_cours_{false};
};

}  // namespace plugin
