// Main-panel module: start-up, the main panel "PANNEAU DE COMMANDE" and shut-down.
#include "app/Interface.h"

#include "app/sequenceur.h"
#include "app/scan_gpib.h"
#include "app/affichage.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "framework/signalement.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/Interface.h"

#include <map>

int panel_commande = 0;
int panel_timer = 0;
int panel_synchro = 0;
int panel_instru = 0;
int panel_graphs = 0;
int onglet_plugins = 0;

fichei *liste_instru = nullptr;

char repertoire_defaut[260] = "";
int acquisition_en_cours = 0;
int echantillons_demande = 0;
int duree_limite = 0;
std::FILE *fichier_sequenceur = nullptr;
char repertoire_surveille[260] = "";
int nb_graphs = 1;

namespace {

void ArreterAcquisition();

}  // namespace

int Ouvrir_interface(int argc, char **argv) {
    // The toolkit needs no setting before it starts (the original set a system attribute of
    // its own toolkit here).
    if (InitUserInterface(argc, argv) == 0) return -1;
    if ((panel_commande = LoadPanel(0, "Interface.uir", P_Commande)) < 0) return -1;
    if ((panel_timer = LoadPanel(panel_commande, "Interface.uir", PANEL_Time)) < 0) return -1;
    if ((panel_synchro = LoadPanel(0, "Interface.uir", P_Synchro)) < 0) return -1;

    onglet_plugins = EasyTab_ConvertFromCanvas(panel_commande, P_Commande_PLUGINTAB);
    EasyTab_LoadPanels(panel_commande, onglet_plugins, 1, "Interface.uir",
                       {{P_Instru, &panel_instru}, {P_Graphs, &panel_graphs}});

    plugin::Installer_status_instruments(panel_commande);
    CmtNewLock(nullptr, 0, &Lock_port_parallele);
    init_gestion_lock();

    // A missing board is no error: the interface clear only reports it in the GPIB status.
    SendIFC(0);
    SendIFC(1);

    DisplayPanel(panel_commande);
    return 0;
}

void Fermer_interface() {
    // An instrument may have ended the program in the middle of an acquisition: stop it
    // properly first, so that no instrument is freed while still acquiring and the record
    // files are closed whole.
    if (acquisition_en_cours == 1) ArreterAcquisition();
    plugin::Installer_status_instruments(0);
    DiscardPanel(panel_commande);
    DiscardPanel(panel_synchro);
    liste_instru = Effacer_liste_inst(liste_instru);
}

int Interface_main(int argc, char **argv) {
    if (Ouvrir_interface(argc, argv) < 0) return -1;
    RunUserInterface();
    Fermer_interface();
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

// ---- instrument list --------------------------------------------------------------------

namespace {

// The instrument whose list-box item is ticked (the first one), or null; `index` receives
// the item's position.
fichei *NoeudCoche(int *index = nullptr) {
    int nombre = 0;
    GetNumListItems(panel_instru, P_Instru_LISTBOX_Liste, &nombre);
    fichei *noeud = liste_instru;
    for (int i = 0; i < nombre && noeud; ++i, noeud = noeud->suivant) {
        int coche = 0;
        IsListItemChecked(panel_instru, P_Instru_LISTBOX_Liste, i, &coche);
        if (coche) {
            if (index) *index = i;
            return noeud;
        }
    }
    return nullptr;
}

// Instrument each open rename dialog renames, by tatoo: a dialog outliving its instrument
// (deleted, list cleared, settings loaded) then renames nothing.
std::map<int, int> tatoo_a_renommer;

fichei *NoeudListe(const PInstrument *instrument, int tatoo) {
    for (fichei *n = liste_instru; n; n = n->suivant)
        if (n->plugin == instrument && n->tatoo == tatoo) return n;
    return nullptr;
}

}  // namespace

int Prog_Ajouter(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int dialogue = LoadPanel(0, "Interface.uir", PANEL_Ajou);
    if (dialogue < 0) return -1;
    Reserver_buffer_circu(liste_instru);
    remplir_liste_instru(dialogue);
    DisplayPanel(dialogue);
    return 0;
}
UI_CALLBACK(Prog_Ajouter);

int Prog_Ajouter_Annuler(int panel, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(Prog_Ajouter_Annuler);

int Prog_Ajouter_OK(int panel, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // A dialog opened before an acquisition started must not add a channel that the running
    // acquisition's tables and record columns were set up without.
    if (acquisition_en_cours) {
        DiscardPanel(panel);
        MessagePopup("Attention", "Impossible d'ajouter un instrument pendant une acquisition"_w);
        return 0;
    }
    char type[kLongueurTypeApareil] = "";
    GetCtrlVal(panel, PANEL_Ajou_RING_Ajou_Type, type);
    PInstrument *instrument = Nouvel_instrument(type);
    if (!instrument) {
        DiscardPanel(panel);
        MessagePopup("ATTENTION !", "Instrument non supporté"_w);
        return 0;
    }
    instrument->configure(instrument);
    liste_instru = Inserer_instru(liste_instru, type, instrument, get_tatoo());
    char nom[kLongueurNomInstru] = "";
    instrument->get_nom_instru(instrument, nom);
    InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(Prog_Ajouter_OK);

int Prog_Supprimer(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int index = 0;
    if (fichei *noeud = NoeudCoche(&index)) {
        DeleteListItem(panel_instru, P_Instru_LISTBOX_Liste, index, 1);
        liste_instru = Supprimer_instru(liste_instru, noeud);
    }
    return 0;
}
UI_CALLBACK(Prog_Supprimer);

int Prog_Supprimer_Tout_Instru(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (ConfirmPopup("ATTENTION", "Voulez vous vraiment effacer tous les instruments ?") != 1) return 0;
    ClearListCtrl(panel_instru, P_Instru_LISTBOX_Liste);
    liste_instru = Effacer_liste_inst(liste_instru);
    return 0;
}
UI_CALLBACK(Prog_Supprimer_Tout_Instru);

int Prog_Renommer(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    fichei *noeud = NoeudCoche();
    if (!noeud) return 0;
    const int dialogue = LoadPanel(0, "Interface.uir", P_RENOMMER);
    if (dialogue < 0) return -1;
    PInstrument *instrument = noeud->plugin;
    char nom[kLongueurNomInstru] = "";
    instrument->get_nom_instru(instrument, nom);
    SetCtrlAttribute(dialogue, P_RENOMMER_COMMANDBUTTON, ATTR_CALLBACK_DATA, static_cast<void *>(instrument));
    tatoo_a_renommer[dialogue] = noeud->tatoo;
    SetCtrlAttribute(dialogue, P_RENOMMER_NOM_INSTRUMENT, ATTR_MAX_ENTRY_LENGTH, kLongueurNomInstru - 1);
    SetCtrlVal(dialogue, P_RENOMMER_NOM_INSTRUMENT, nom);
    DisplayPanel(dialogue);
    return 0;
}
UI_CALLBACK(Prog_Renommer);

int OK_RENOMMER(int panel, int, int event, void *donnees, int, int) {
    if (event != EVENT_COMMIT) return 0;
    char nom[kLongueurNomInstru] = "";
    GetCtrlVal(panel, P_RENOMMER_NOM_INSTRUMENT, nom);
    auto *instrument = static_cast<PInstrument *>(donnees);
    const auto dialogue = tatoo_a_renommer.find(panel);
    if (dialogue != tatoo_a_renommer.end() && instrument && NoeudListe(instrument, dialogue->second)) {
        instrument->set_nom_instru(instrument, nom);
        int i = 0;
        for (fichei *n = liste_instru; n; n = n->suivant, ++i) {
            if (n->plugin == instrument) {
                ReplaceListItem(panel_instru, P_Instru_LISTBOX_Liste, i, nom, 0);
                break;
            }
        }
    }
    if (dialogue != tatoo_a_renommer.end()) tatoo_a_renommer.erase(dialogue);
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_RENOMMER);

int Prog_Proprietes(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (fichei *noeud = NoeudCoche()) noeud->plugin->configure(noeud->plugin);
    return 0;
}
UI_CALLBACK(Prog_Proprietes);

int Prog_PiloterI(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    fichei *noeud = NoeudCoche();
    if (noeud && noeud->plugin->piloter) noeud->plugin->piloter(noeud->plugin);
    return 0;
}
UI_CALLBACK(Prog_PiloterI);

int Prog_Liste(int panel, int control, int event, void *, int, int eventData2) {
    if (event == EVENT_MARK_STATE_CHANGE) {
        // Exactly one item stays ticked: the one the operator touched.
        int nombre = 0;
        GetNumListItems(panel, control, &nombre);
        for (int i = 0; i < nombre; ++i) CheckListItem(panel, control, i, i == eventData2 ? 1 : 0);
    } else if (event == EVENT_LEFT_DOUBLE_CLICK) {
        if (acquisition_en_cours == 1) return 0;
        Reserver_buffer_circu(liste_instru);
        if (fichei *noeud = NoeudCoche()) noeud->plugin->configure(noeud->plugin);
    }
    return 0;
}
UI_CALLBACK(Prog_Liste);

// ---- acquisition ------------------------------------------------------------------------

namespace {

void Statut(const char *message) { afficher_status(panel_commande, message); }

// A file step that was cancelled or failed: everything the start set up is taken down.
int AnnulerDemarrage(const char *message) {
    Statut(message);
    SetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, 0);
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    arret_instru(liste_instru);
    // Record files that a partly failed opening left open are closed too.
    Fermer_enregistrement(liste_instru);
    Mode_boutons_stopped(panel_commande, panel_instru, panel_graphs);
    Discard3D();
    Discard2D();
    return -1;
}

// The file step of each recording mode; 0 when the acquisition may run.
int EtapeFichier(int mode) {
    char chemin[MAX_PATHNAME_LEN] = "";
    switch (mode) {
    case 0:
    case 3:
        if (FileSelectPopup(repertoire_defaut, "*.xls", "*.xls",
                            "Choisir le fichier d'enregistrement des résultats"_w, VAL_SAVE_BUTTON, 0, 0,
                            1, 1, chemin) <= 0)
            return AnnulerDemarrage("Annulation de l'acquisition");
        if (Ouvrir_enregistrement(chemin, liste_instru) < 0)
            return AnnulerDemarrage("Impossible d'ouvrir le fichier. Arrêt !"_w);
        return 0;
    case 1:
        SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_DIMMED, 1);
        Statut("Synchro en cours");
        DisplayPanel(panel_synchro);
        return 0;
    case 2:
        if (FileSelectPopup(repertoire_defaut, "*.txt", "*.txt", "Choisir le fichier du séquenceur"_w,
                            VAL_LOAD_BUTTON, 0, 0, 1, 0, chemin) <= 0)
            return AnnulerDemarrage("Annulation de l'acquisition");
        fichier_sequenceur = OuvrirFichier(chemin, "r");
        if (!fichier_sequenceur) return AnnulerDemarrage("Impossible d'ouvrir le fichier. Arrêt !"_w);
        Nouveau_script_sequenceur();
        return 0;
    default:
        return 0;
    }
}

int DemarrerAcquisition(int panel, int control) {
    if (!liste_instru) {
        MessagePopup("Attention", "Aucun appareil de mesures n'est présent dans la liste"_w);
        return 0;
    }
    Mode_boutons_acq(panel_commande, panel_instru, panel_graphs);
    Reserver_buffer_circu(liste_instru);

    Statut("Initialisation des instruments en cours");
    for (fichei *n = liste_instru; n; n = n->suivant) {
        if (!n->plugin->init) continue;
        const int r = n->plugin->init(n->plugin);
        if (r < 0) {
            MessagePopup("Attention", "L'initialisation a échoué"_w);
            Statut("Initialisation des instruments échouée"_w);
            Mode_boutons_stopped(panel_commande, panel_instru, panel_graphs);
            return r;
        }
    }
    Statut("Initialisation des instruments réussie"_w);
    Reserver_buffer_circu(liste_instru);

    Statut("Lancement des mesures (instruments)");
    for (fichei *n = liste_instru; n; n = n->suivant) {
        if (!n->plugin->start) continue;
        const int r = n->plugin->start(n->plugin);
        if (r & kStartEchec) {
            MessagePopup("Attention", "Impossible de lancer toutes les mesures");
            Statut("Mesures impossibles");
            Statut("Arrêt des instruments"_w);
            arret_instru(liste_instru);
            Mode_boutons_stopped(panel_commande, panel_instru, panel_graphs);
            return r;
        }
    }
    Statut("Mesures lancées (instruments)"_w);

    float periode = 1.0f;
    GetCtrlVal(panel_commande, P_Commande_N_TEch, &periode);
    GetCtrlVal(panel_commande, P_Commande_CHECKBOX, &echantillons_demande);
    if (echantillons_demande == 1) SetCtrlAttribute(panel_commande, P_Commande_CHECKBOX, ATTR_DIMMED, 0);

    Reserver_buffer_circu(liste_instru);
    Init_buffer_circu(panel_commande, panel_graphs);
    // Scalar rings that could not be allocated are as serious as vector rows.
    if (Init_buffer2D_circu(liste_instru) < 0 || Echecs_buffer_circu() > 0)
        MessagePopup("AIE", "Problème de malloc (!). C'est pas un comportement normal"_w);

    int nb_graphes = 1;
    GetCtrlVal(panel_graphs, P_Graphs_NUMERIC, &nb_graphes);
    Init2D(nb_graphes);
    Init3D();
    Statut("Acquisition en cours");

    SetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_INTERVAL, static_cast<double>(periode));
    SetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, 1);

    int mode = 0;
    GetCtrlVal(panel_commande, P_Commande_Mode_Fichier, &mode);
    GetCtrlVal(panel_commande, P_Commande_TimeLimit, &duree_limite);
    duree_limite *= 60;
    if (mode != 3) duree_limite = -1;

    if (EtapeFichier(mode) < 0) return -1;

    acquisition_en_cours = 1;
    SetCtrlAttribute(panel, control, ATTR_LABEL_TEXT, "Arrêter A__cquisition"_w);
    return 0;
}

void ArreterAcquisition() {
    SetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, 0);
    SetCtrlAttribute(panel_timer, PANEL_Time_T_synchrobanc, ATTR_ENABLED, 0);
    // A measurement of the synchronised mode may still be waiting for its end: it must not
    // sample the buffers freed below.
    SetCtrlAttribute(panel_timer, PANEL_Time_T_Attente, ATTR_ENABLED, 0);
    Discard2D();
    Discard3D();
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    Statut("Arrêt des instruments"_w);
    arret_instru(liste_instru);
    // A full disk or a removed medium must not pass for a complete record.
    Fermer_enregistrement_signale(liste_instru, panel_commande);
    if (fichier_sequenceur) std::fclose(fichier_sequenceur);
    fichier_sequenceur = nullptr;
    Mode_boutons_stopped(panel_commande, panel_instru, panel_graphs);
    Statut("Acquisition terminée"_w);
    acquisition_en_cours = 0;
    SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_LABEL_TEXT, "Démarrer A__cquisition"_w);
}

}  // namespace

int Prog_Acquisition(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (acquisition_en_cours == 0 && Fenetres_scan_ouvertes() > 0) return 0;  // a scan window is open
    if (acquisition_en_cours == 0) return DemarrerAcquisition(panel, control);
    if (acquisition_en_cours == 1) ArreterAcquisition();
    return 0;
}
UI_CALLBACK(Prog_Acquisition);

int CB_T_echantillon(int, int, int event, void *, int, int) {
    if (event != EVENT_TIMER_TICK) return 0;
    SetWaitCursor(1);
    Echantilloner(liste_instru);
    Visu();
    if (echantillons_demande == 0) Ecriture_donnees(liste_instru);
    SetWaitCursor(0);
    return 0;
}
UI_CALLBACK(CB_T_echantillon);

int Prog_Echantillon(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (echantillons_demande == 1)
        Ecriture_donnees(liste_instru);
    else
        Statut("Pas d'échantillons à la demande dans ce mode"_w);
    return 0;
}
UI_CALLBACK(Prog_Echantillon);

// ---- data marker and graph count --------------------------------------------------------

namespace {

void MarquerAvec(int panel, int champ) {
    char texte[255] = "";
    GetCtrlVal(panel, champ, texte);
    Marquer_donnees(texte, panel_commande, P_Commande_DeMarquage);
}

}  // namespace

int CB_Marquer(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) MarquerAvec(panel, P_Commande_Marquage);
    return 0;
}
UI_CALLBACK(CB_Marquer);

int CB_Marquer_2(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) MarquerAvec(panel, P_Commande_Marquage_2);
    return 0;
}
UI_CALLBACK(CB_Marquer_2);

int CB_Marquer_3(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) MarquerAvec(panel, P_Commande_Marquage_3);
    return 0;
}
UI_CALLBACK(CB_Marquer_3);

int CB_DeMarquer(int, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) Marquer_donnees("", panel_commande, P_Commande_DeMarquage);
    return 0;
}
UI_CALLBACK(CB_DeMarquer);

int CB_nb_graphes(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT || acquisition_en_cours != 1) return 0;
    int nombre = 1;
    GetCtrlVal(panel, control, &nombre);
    MAJ2D(nombre);
    return 0;
}
UI_CALLBACK(CB_nb_graphes);
