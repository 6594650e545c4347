// Instruments' fault lines on the status list, written on the user-interface thread.
#include "framework/signalement.h"

#include "framework/liste.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace plugin {

namespace {

std::atomic<int> panneau_status{0};

// The line goes to the user-interface thread: the status list is a widget, and a callback of
// a bus thread must not wait for the window.
void Poster(const char *nom_instrument, const std::string &texte) {
    std::string ligne = nom_instrument ? nom_instrument : "";
    ligne += " : ";
    ligne += texte;
    if (ligne.size() >= kLongueurLigne) ligne.resize(kLongueurLigne - 1);
    PostToUiThread([ligne] {
        if (const int panel = panneau_status.load()) afficher_status(panel, ligne.c_str());
    });
}

}  // namespace

void Installer_status_instruments(int panel) { panneau_status.store(panel); }

void Panne::Signaler(const char *nom_instrument, const std::string &texte) {
    if (!en_cours_.exchange(true)) Poster(nom_instrument, texte);
}

void Panne::Retablie(const char *nom_instrument) { Retablie(nom_instrument, "l'appareil répond de nouveau"_w); }

void Panne::Retablie(const char *nom_instrument, const std::string &texte) {
    if (en_cours_.exchange(false)) Poster(nom_instrument, texte);
}

void PanneNommee::Preparer(std::string_view nom) {
    nom = nom.substr(0, kNomInstruMax);
    nom.copy(nom_, nom.size());
    nom_[nom.size()] = '\0';
    panne_.Oublier();
}

}  // namespace plugin
