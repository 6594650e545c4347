// The panels of the bench devices' plugins (see pilotage.h).
#include "instruments/bench/pilotage.h"

#include "platform/ui.h"

namespace banc {

bool ChargerPilotage(int &panneau, std::int32_t &champBloc, plugin::Activite &activite, const char *fichier,
                     int idPanneau) {
    if (panneau != 0) return true;
    panneau = LoadPanel(0, fichier, idPanneau);
    champBloc = panneau;
    if (panneau < 0) return false;
    activite.panneaux.Ajouter(panneau);
    return true;
}

int ChargerConfiguration(plugin::Activite &activite, const char *fichier, int idPanneau, int ok, void *donnees) {
    const int panel = LoadPanel(0, fichier, idPanneau);
    if (panel < 0) return 0;
    SetCtrlAttribute(panel, ok, ATTR_CALLBACK_DATA, donnees);
    activite.panneaux.Ajouter(panel);
    return panel;
}

void FermerConfiguration(plugin::Activite *activite, int panel) {
    if (activite != nullptr) activite->panneaux.Retirer(panel);
    DiscardPanel(panel);
}

}  // namespace banc
