#include "app/affichage.h"

#include "framework/voies.h"
#include "graphs/graph3D.h"
#include "graphs/graphtab.h"
#include "platform/ui.h"
#include "uir/Interface.h"

namespace {

struct Bascule {
    int *panel;
    int control;
    int grise_en_acquisition;
};

void Appliquer(int commande, int instru, int graphs, bool acquisition) {
    const Bascule controles[] = {
        {&instru, P_Instru_Ajouter, 1},
        {&instru, P_Instru_Supprimer, 1},
        {&instru, P_Instru_RAZ, 1},
        {&instru, P_Instru_Renommer, 1},
        {&instru, P_Instru_Proprietes, 1},
        {&instru, P_Instru_Piloter, 0},
        {&commande, P_Commande_PICTUREBUTTON_Load, 1},
        {&commande, P_Commande_GPIB_SCAN, 1},
        {&commande, P_Commande_Mode_Fichier, 1},
        {&commande, P_Commande_COMMANDBUTTON_Quit, 1},
        {&commande, P_Commande_N_sous_ech_2D, 1},
        {&commande, P_Commande_N_TEch, 1},
        {&commande, P_Commande_TimeLimit, 1},
        {&graphs, P_Graphs_N_nbpointsgraphs, 1},
        {&graphs, P_Graphs_N_mid, 1},
        {&graphs, P_Graphs_N_long, 1},
    };
    for (const Bascule &b : controles) {
        const int grise = acquisition ? b.grise_en_acquisition : !b.grise_en_acquisition;
        SetCtrlAttribute(*b.panel, b.control, ATTR_DIMMED, grise);
    }
}

}  // namespace

void Mode_boutons_acq(int panel_commande, int panel_instru, int panel_graphs) {
    Appliquer(panel_commande, panel_instru, panel_graphs, true);
}

void Mode_boutons_stopped(int panel_commande, int panel_instru, int panel_graphs) {
    Appliquer(panel_commande, panel_instru, panel_graphs, false);
    // The samples-on-request box is only read when an acquisition starts, so it stays
    // operable whenever none runs: the operator can choose the mode of the next start.
    SetCtrlAttribute(panel_commande, P_Commande_CHECKBOX, ATTR_DIMMED, 0);
}

void Visu() {
    if (nb_Bcirc > 0 && tableau_Bcirc && tableau_Bcirc[0].mesure) Visu2D(nb_Bcirc, tableau_Bcirc);
    if (tableau_Bcirc2D) Visu3D(tableau_Bcirc2D);
}

void Init2D(int nb_graphes) {
    if (nb_Bcirc > 0) Init_graphtab(nb_Bcirc, nb_graphes, tableau_Bcirc);
}

void MAJ2D(int nb_graphes) {
    if (nb_Bcirc > 0) MAJ_graphs(nb_graphes, nbpointsgraph);
}

void Discard2D() {
    if (nb_Bcirc > 0) DiscardGraphTab();
}

void Init3D() {
    if (nb_Bcirc2D != 0) InitGraph3D(nb_Bcirc2D);
}

void Discard3D() {
    if (nb_Bcirc2D != 0) DiscardGraph3D();
}
