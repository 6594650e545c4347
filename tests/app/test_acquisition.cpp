// The operator's road through the main panel: building the instrument list, starting and
// stopping an acquisition, samples on request, data marks — and the record files it leaves.
#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"
#include "uir/UIR_bidon_pilote.h"

#include <gtest/gtest.h>

#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Acquisition : public BancTest {
protected:
    // Adds an instrument through the add dialog, choosing catalogue row `ligne`.
    void AjouterParLeDialogue(int ligne) {
        const auto avant = ui_test::PanneauxCharges();
        Cliquer(panel_instru, P_Instru_Ajouter);
        const auto apres = ui_test::PanneauxCharges();
        ASSERT_EQ(apres.size(), avant.size() + 1);
        const int dialogue = apres.back();
        ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK);
    }

    int NombreInstruments() {
        int n = 0;
        GetNumListItems(panel_instru, P_Instru_LISTBOX_Liste, &n);
        return n;
    }

    std::string Libelle(int index) {
        char t[64] = "";
        GetLabelFromIndex(panel_instru, P_Instru_LISTBOX_Liste, index, t, sizeof t);
        return t;
    }

    std::string Bouton() { return ui_test::TexteVisible(panel_commande, P_Commande_COMMANDBUTTON_Acq); }

    void Tick(double secondes = 1.0) {
        horloge::AvancerHorlogeFactice(secondes);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    void Demarrer(const std::string &fichier) {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1);
    }
};

ConfigEssai Voltmetre() {
    ConfigEssai c;
    c.nom = "Essai";
    c.mesures_1D = true;
    c.noms_1D = {"U"};
    c.valeurs_1D = {1.5};
    c.numeros_1D = {7};
    c.calculs_1D = true;
    c.noms_calcul = {"moy"};
    c.valeurs_calcul = {0.25};
    c.avec_init = c.avec_start = c.avec_stop = true;
    return c;
}

TEST_F(Acquisition, ListCommandsAddRenameTickDeleteAndClear) {
    AjouterParLeDialogue(10);  // "Pilote bidon"
    AjouterParLeDialogue(10);
    ASSERT_EQ(NombreInstruments(), 2);
    EXPECT_EQ(Libelle(0), "Pilote bidon");
    EXPECT_EQ(liste_instru->tatoo + 1, liste_instru->suivant->tatoo);

    // A separator row makes no instrument and says so.
    ui_test::Repondre(ui_test::Popup::Message);
    AjouterParLeDialogue(7);
    EXPECT_EQ(NombreInstruments(), 2);
    ASSERT_FALSE(ui_test::Vus().empty());
    EXPECT_EQ(ui_test::Vus().back().titre, "ATTENTION !");
    EXPECT_EQ(ui_test::Vus().back().message, "Instrument non supporté"_w);

    // Without a tick, the commands do nothing.
    Cliquer(panel_instru, P_Instru_Renommer);
    Cliquer(panel_instru, P_Instru_Supprimer);
    EXPECT_EQ(NombreInstruments(), 2);

    // The tick moves but never goes: unticking the ticked item leaves it ticked.
    ASSERT_EQ(ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, 1), 0);
    ASSERT_EQ(ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, 1), 0);
    int coche = 0;
    IsListItemChecked(panel_instru, P_Instru_LISTBOX_Liste, 1, &coche);
    EXPECT_EQ(coche, 1);

    // Rename the ticked one in place; the field refuses a 40th character.
    const auto avant = ui_test::PanneauxCharges();
    Cliquer(panel_instru, P_Instru_Renommer);
    const int dialogue = ui_test::PanneauxCharges().back();
    ASSERT_NE(dialogue, avant.back());
    char nom[64] = "";
    GetCtrlVal(dialogue, P_RENOMMER_NOM_INSTRUMENT, nom);
    EXPECT_STREQ(nom, "Pilote bidon");
    ui_test::EntrerTexte(dialogue, P_RENOMMER_NOM_INSTRUMENT, std::string(45, 'x'));
    GetCtrlVal(dialogue, P_RENOMMER_NOM_INSTRUMENT, nom);
    EXPECT_EQ(std::strlen(nom), 39u);
    ui_test::EntrerTexte(dialogue, P_RENOMMER_NOM_INSTRUMENT, "Soleil");
    Cliquer(dialogue, P_RENOMMER_COMMANDBUTTON);
    EXPECT_EQ(Libelle(0), "Pilote bidon");
    EXPECT_EQ(Libelle(1), "Soleil");
    char lu[kLongueurNomInstru];
    liste_instru->suivant->plugin->get_nom_instru(liste_instru->suivant->plugin, lu);
    EXPECT_STREQ(lu, "Soleil");

    // A rename dialog whose instrument was deleted meanwhile renames nothing.
    Cliquer(panel_instru, P_Instru_Renommer);
    const int orphelin = ui_test::PanneauxCharges().back();
    Cliquer(panel_instru, P_Instru_Supprimer);
    ASSERT_EQ(NombreInstruments(), 1);
    ui_test::EntrerTexte(orphelin, P_RENOMMER_NOM_INSTRUMENT, "Fantome");
    Cliquer(orphelin, P_RENOMMER_COMMANDBUTTON);
    EXPECT_EQ(Libelle(0), "Pilote bidon");
    EXPECT_EQ(HidePanel(orphelin), UIE_BAD_PANEL);

    // Clear all asks first; "no" keeps everything, "yes" empties list and list box.
    ui_test::Repondre(ui_test::Popup::Confirmation, 0);
    Cliquer(panel_instru, P_Instru_RAZ);
    EXPECT_EQ(NombreInstruments(), 1);
    ui_test::Repondre(ui_test::Popup::Confirmation, 1);
    Cliquer(panel_instru, P_Instru_RAZ);
    EXPECT_EQ(NombreInstruments(), 0);
    EXPECT_EQ(liste_instru, nullptr);
    // The tatoos go on from where they were.
    const int suivant = status_tatoo();
    AjouterParLeDialogue(10);
    ASSERT_NE(liste_instru, nullptr);
    EXPECT_EQ(liste_instru->tatoo, suivant);
}

TEST_F(Acquisition, DoubleClickConfiguresTheTickedInstrumentOnlyWhileStopped) {
    AjouterEssai(Voltmetre());
    ConfigEssai autre = Voltmetre();
    autre.nom = "Autre";
    AjouterEssai(autre);
    ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, 0);
    JournalEssai().clear();
    ui_test::DoubleCliquer(panel_instru, P_Instru_LISTBOX_Liste, 1);
    EXPECT_EQ(JournalEssai(), std::vector<std::string>{"configure Essai"});
    JournalEssai().clear();
    Demarrer(dossier.filePath("a.xls").toStdString());
    JournalEssai().clear();
    ui_test::DoubleCliquer(panel_instru, P_Instru_LISTBOX_Liste, 0);
    EXPECT_TRUE(JournalEssai().empty());
}

// Every way a start can fail: its message, what is undone, and the stopped look afterwards.
TEST_F(Acquisition, FailedStartsUndoWhatTheyDid) {
    struct Cas {
        const char *nom;
        int instruments;        // test instruments in the list
        int init_qui_echoue;    // index of the instrument whose init fails, -1 none
        int start_qui_echoue;   // index of the instrument whose start fails, -1 none
        int resultat_start;
        bool choix_annule;
        const char *fichier;    // record file chosen (relative to the temp dir), "" none
        const char *popup;      // expected message pop-up, "" none
        std::vector<std::string> derniers_statuts;
        std::vector<std::string> journal;  // init/start/stop calls, in order
    };
    const Cas cas[] = {
        {"liste vide", 0, -1, -1, 0, false, "", "Aucun appareil de mesures n'est présent dans la liste"_w, {}, {}},
        {"init négatif", 3, 1, -1, 0, false, "", "L'initialisation a échoué"_w,
         {"Initialisation des instruments en cours", "Initialisation des instruments échouée"_w},
         {"init I0", "init I1"}},
        {"start 0x8000", 3, -1, 1, 0x8000, false, "", "Impossible de lancer toutes les mesures",
         {"Mesures impossibles", "Arrêt des instruments"_w},
         {"init I0", "init I1", "init I2", "start I0", "start I1", "stop I0", "stop I1", "stop I2"}},
        {"start -1", 2, -1, 0, -1, false, "", "Impossible de lancer toutes les mesures",
         {"Mesures impossibles", "Arrêt des instruments"_w},
         {"init I0", "init I1", "start I0", "stop I0", "stop I1"}},
        {"choix annulé", 2, -1, -1, 0, true, "", "", {"Acquisition en cours", "Annulation de l'acquisition"},
         {"init I0", "init I1", "start I0", "start I1", "stop I0", "stop I1"}},
        {"fichier impossible", 1, -1, -1, 0, false, "absent/x.xls", "",
         {"Acquisition en cours", "Impossible d'ouvrir le fichier. Arrêt !"_w},
         {"init I0", "start I0", "stop I0"}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ui_test::Effacer();
        for (int i = 0; i < c.instruments; ++i) {
            ConfigEssai cfg;
            cfg.nom = "I" + std::to_string(i);
            cfg.mesures_1D = true;
            cfg.noms_1D = {"v"};
            cfg.valeurs_1D = {0.0};
            cfg.numeros_1D = {0};
            cfg.avec_init = cfg.avec_start = cfg.avec_stop = true;
            if (i == c.init_qui_echoue) cfg.resultat_init = -1;
            if (i == c.start_qui_echoue) cfg.resultat_start = c.resultat_start;
            AjouterEssai(cfg);
        }
        JournalEssai().clear();
        if (*c.popup) ui_test::Repondre(ui_test::Popup::Message);
        if (c.choix_annule) ui_test::Repondre(ui_test::Popup::Fichier, VAL_NO_FILE_SELECTED);
        if (*c.fichier)
            ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath(c.fichier).toStdString());
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

        EXPECT_EQ(ui_test::ReponsesRestantes(), 0u);
        if (*c.popup) {
            ASSERT_FALSE(ui_test::Vus().empty());
            EXPECT_EQ(ui_test::Vus().front().titre, "Attention");
            EXPECT_EQ(ui_test::Vus().front().message, c.popup);
        }
        const auto statuts = Statuts();
        if (!c.derniers_statuts.empty()) {
            ASSERT_GE(statuts.size(), c.derniers_statuts.size());
            EXPECT_EQ(std::vector<std::string>(statuts.end() - static_cast<long>(c.derniers_statuts.size()), statuts.end()),
                      c.derniers_statuts);
        }
        std::vector<std::string> appels;
        for (const std::string &e : JournalEssai())
            if (e.rfind("init", 0) == 0 || e.rfind("start", 0) == 0 || e.rfind("stop", 0) == 0) appels.push_back(e);
        EXPECT_EQ(appels, c.journal);

        EXPECT_EQ(acquisition_en_cours, 0);
        EXPECT_EQ(Bouton(), "Démarrer Acquisition");
        EXPECT_FALSE(Grise(panel_instru, P_Instru_Ajouter));
        EXPECT_FALSE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Quit));
        EXPECT_TRUE(Grise(panel_instru, P_Instru_Piloter));
        int actif = -1;
        GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, &actif);
        EXPECT_EQ(actif, 0);
        EXPECT_FALSE(Enregistrement_ouvert());

        ClearListCtrl(panel_instru, P_Instru_LISTBOX_Liste);
        liste_instru = Effacer_liste_inst(liste_instru);
        ClearListCtrl(panel_commande, P_Commande_STATUS);
    }
}

TEST_F(Acquisition, RunningLookAndStop) {
    AjouterEssai(Voltmetre());
    Demarrer(dossier.filePath("marche.xls").toStdString());
    EXPECT_EQ(Bouton(), "Arrêter Acquisition");
    for (int c : {P_Commande_PICTUREBUTTON_Load, P_Commande_GPIB_SCAN, P_Commande_Mode_Fichier,
                  P_Commande_COMMANDBUTTON_Quit, P_Commande_N_sous_ech_2D, P_Commande_N_TEch, P_Commande_TimeLimit})
        EXPECT_TRUE(Grise(panel_commande, c)) << c;
    for (int c : {P_Instru_Ajouter, P_Instru_Supprimer, P_Instru_RAZ, P_Instru_Renommer, P_Instru_Proprietes})
        EXPECT_TRUE(Grise(panel_instru, c)) << c;
    EXPECT_FALSE(Grise(panel_instru, P_Instru_Piloter));
    for (int c : {P_Graphs_N_nbpointsgraphs, P_Graphs_N_mid, P_Graphs_N_long}) EXPECT_TRUE(Grise(panel_graphs, c));
    EXPECT_FALSE(Grise(panel_commande, P_Commande_PICTUREBUTTON_Save));
    EXPECT_FALSE(Grise(panel_commande, P_Commande_ECHANTILLON));
    int actif = 0;
    double intervalle = 0;
    GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, &actif);
    GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_INTERVAL, &intervalle);
    EXPECT_EQ(actif, 1);
    EXPECT_DOUBLE_EQ(intervalle, 1.0);

    // What the operator sees while acquiring.
    QWidget *fenetre = ui_test::Fenetre(panel_commande);
    const QPixmap image = fenetre->grab();
    EXPECT_EQ(image.size(), fenetre->size());
    if (const char *capture = std::getenv("BANC_CAPTURE")) image.save(capture);

    JournalEssai().clear();
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);
    EXPECT_EQ(Bouton(), "Démarrer Acquisition");
    EXPECT_EQ(JournalEssai(), std::vector<std::string>{"stop Essai"});
    EXPECT_EQ(Statuts().back(), "Acquisition terminée"_w);
    EXPECT_FALSE(Enregistrement_ouvert());
    GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_echantillon, ATTR_ENABLED, &actif);
    EXPECT_EQ(actif, 0);
    // The samples-on-request box stays available for the next start.
    EXPECT_FALSE(Grise(panel_commande, P_Commande_CHECKBOX));
}

// The whole road, as an operator: two Pilote bidon and a test instrument, a rename, a
// continuous acquisition into a chosen file with marks, then samples on request; the files on
// disk are compared byte for byte.
TEST_F(Acquisition, ContinuousAcquisitionLeavesTheExpectedFiles) {
    AjouterParLeDialogue(10);
    AjouterParLeDialogue(10);
    AjouterEssai(Voltmetre());
    ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, 1);
    Cliquer(panel_instru, P_Instru_Renommer);
    const int dialogue = ui_test::PanneauxCharges().back();
    ui_test::EntrerTexte(dialogue, P_RENOMMER_NOM_INSTRUMENT, "Soleil");
    Cliquer(dialogue, P_RENOMMER_COMMANDBUTTON);

    const std::string chemin = dossier.filePath("mesure.xls").toStdString();
    Demarrer(chemin);                                // 12:34:56, elapsed counts from here
    Tick();                                          // 12:34:57
    SetCtrlVal(panel_commande, P_Commande_Marquage_2, "essai %d");
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_2);
    char montre[64] = "";
    GetCtrlVal(panel_commande, P_Commande_DeMarquage, montre);
    EXPECT_STREQ(montre, "essai %d");
    Tick();                                          // 12:34:58, marked
    Essai(liste_instru->suivant->suivant->plugin).config.valeurs_1D = {-2.5};
    Essai(liste_instru->suivant->suivant->plugin).config.numeros_1D = {8};
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_4);
    Tick(2);                                         // 12:35:00, unmarked
    Cliquer(panel_commande, P_Commande_ECHANTILLON);  // not in this mode: a status line only
    EXPECT_EQ(Statuts().back(), "Pas d'échantillons à la demande dans ce mode"_w);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    const std::string entete =
        "Date\tHeure\tMarqueur\tDur\xE9" "e \xE9" "coul\xE9" "e\tEssai U\tMesure n\xB0\tEssai moy\r\n";
    EXPECT_EQ(LireFichier(chemin), entete +
                                "12-10-2025\t12:34:57\t\t1\t1.500000\t7\t2.500000e-01\r\n"
                                "12-10-2025\t12:34:58\tessai %d\t2\t1.500000\t7\t2.500000e-01\r\n"
                                "12-10-2025\t12:35:00\t\t4\t-2.500000\t8\t2.500000e-01\r\n");

    // One vector file per Pilote bidon, named after each; each row gets a vector record.
    std::string abscisses, zeros;
    for (int k = 1; k <= 50; ++k) {
        const double x = k, z = 0.0;
        abscisses.append(reinterpret_cast<const char *>(&x), 8);
        zeros.append(reinterpret_cast<const char *>(&z), 8);
    }
    const std::string entete2D =
        "Date\tHeure\tDur\xE9" "e \xE9" "coul\xE9" "e\tMarqueur\tIndices Voie \xE0 la con [50]\tMesure Voie \xE0 la con [50]\n";
    const std::string vecteurs = entete2D + "12-10-2025\t12:34:57\t1\t\n" + abscisses + zeros +
                                 "12-10-2025\t12:34:58\t2\tessai %d\n" + abscisses + zeros +
                                 "12-10-2025\t12:35:00\t4\t\n" + abscisses + zeros;
    EXPECT_EQ(LireFichier(dossier.filePath("mesure-Pilote bidon.xls").toStdString()), vecteurs);
    EXPECT_EQ(LireFichier(dossier.filePath("mesure-Soleil.xls").toStdString()), vecteurs);

    // Samples on request: ticks sample without writing, each press writes one line.
    SetCtrlVal(panel_commande, P_Commande_CHECKBOX, 1);
    const std::string chemin2 = dossier.filePath("demande.xls").toStdString();
    Demarrer(chemin2);                               // 12:35:00
    Tick();                                          // 12:35:01
    Tick();                                          // 12:35:02
    horloge::AvancerHorlogeFactice(3);               // 12:35:05, elapsed still from the last tick
    Cliquer(panel_commande, P_Commande_ECHANTILLON);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(LireFichier(chemin2), entete + "12-10-2025\t12:35:05\t\t2\t-2.500000\t8\t2.500000e-01\r\n");
}

}  // namespace
