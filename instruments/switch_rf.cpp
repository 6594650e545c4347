// The RF switches of the switched instruments (see switch_rf.h).
#include "instruments/switch_rf.h"

#include <string>

#include "framework/liste.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace switch_rf {

namespace {

// Moves `lignes` to `haut`: null when they moved, else why they could not.
const char *Positionner(int lignes, bool haut) {
    if (lignes == 0) return "aucun switch (SW1, SW2 ou SW3) n'est choisi";
    if (!Positionner_lignes_port(lignes, haut)) return "le port parallèle est occupé"_w;
    return nullptr;
}

}  // namespace

bool Commutateur::Initialiser(int lignes) {
    const char *raison = Positionner(lignes, false);
    if (raison == nullptr) return true;
    const std::string texte = "Impossible de positionner les lignes du switch : " + std::string(raison) + ".";
    MessagePopup("Attention", texte.c_str());
    return false;
}

bool Commutateur::Deplacer(int lignes, bool haut) {
    const char *raison = Positionner(lignes, haut);
    if (raison == nullptr) {
        panne_.Retablie("le switch change de nouveau de voie");
        return true;
    }
    panne_.Signaler("le switch ne peut pas changer de voie (" + std::string(raison) + ")");
    return false;
}

}  // namespace switch_rf
