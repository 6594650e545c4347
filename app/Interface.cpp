// Main-panel module: start-up, the main panel "PANNEAU DE COMMANDE" and shut-down.
#include "app/Interface.h"

#include "framework/liste.h"
#include "platform/gpib.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/Interface.h"

int panel_commande = 0;
int panel_timer = 0;
int panel_synchro = 0;
int panel_instru = 0;
int panel_graphs = 0;
int onglet_plugins = 0;

char repertoire_defaut[260] = "";
int acquisition_en_cours = 0;
int echantillons_demande = 0;
int duree_limite = 0;
std::FILE *fichier_sequenceur = nullptr;
char repertoire_surveille[260] = "";
int nb_graphs = 1;
int Lock_port_parallele = 0;

int Interface_main(int argc, char **argv) {
    // The toolkit needs no setting before it starts (the original set a system attribute of
    // its own toolkit here).
    if (InitUserInterface(argc, argv) == 0) return -1;
    if ((panel_commande = LoadPanel(0, "Interface.uir", P_Commande)) < 0) return -1;
    if ((panel_timer = LoadPanel(panel_commande, "Interface.uir", PANEL_Time)) < 0) return -1;
    if ((panel_synchro = LoadPanel(0, "Interface.uir", P_Synchro)) < 0) return -1;

    onglet_plugins = EasyTab_ConvertFromCanvas(panel_commande, P_Commande_PLUGINTAB);
    EasyTab_LoadPanels(panel_commande, onglet_plugins, 1, "Interface.uir",
                       {{P_Instru, &panel_instru}, {P_Graphs, &panel_graphs}});

    CmtNewLock(nullptr, 0, &Lock_port_parallele);
    init_gestion_lock();

    // A missing board is no error: the interface clear only reports it in the GPIB status.
    SendIFC(0);
    SendIFC(1);

    DisplayPanel(panel_commande);
    RunUserInterface();

    DiscardPanel(panel_commande);
    DiscardPanel(panel_synchro);
    return 0;
}

int Prog_Quitter(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    CmtDiscardLock(Lock_port_parallele);
    fin_gestion_lock();
    QuitUserInterface(0);
    return 0;
}
UI_CALLBACK(Prog_Quitter);

// The tab control of the main panel: changing sheets needs nothing from the program.
int CB_TABS(int, int, int, void *, int, int) { return 0; }
UI_CALLBACK(CB_TABS);
