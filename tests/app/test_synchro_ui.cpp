// The synchronised recording mode, as the bench and the operator drive it: the directory watch,
// set-point files dropped into a temporary directory, their receipts and record files, the
// timers of each measurement, and every way a set-point can be refused.
#include "app/Interface.h"
#include "app/synchro.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- set-point content ----------------------------------------------------------------------

TEST(ConsigneBanc, ContentRules) {
    struct Cas {
        const char *nom;
        std::string texte;
        bool valide;
        const char *mesure = "";
        int duree = 0;
        int periode = 0;
    };
    const std::string x253(253, 'x');
    const Cas cas[] = {
        {"CR LF", "Nom;essai\r\nDuree;10\r\nPeriode;2\r\n", true, "essai", 10, 2},
        {"période égale à la durée", "n;a\nd;5\np;5\n", true, "a", 5, 5},
        {"sans fin de ligne finale", "n;a\nd;5\np;1", true, "a", 5, 1},
        {"étiquettes quelconques, blancs, signe", "   ;  nom\t\n;+7\nDur\xE9" "e (s) ; \t3\n", true, "nom", 7, 3},
        {"texte après les chiffres, décimale", "n;a\nd;12s\np;2.9\n", true, "a", 12, 2},
        {"nom de 12 caractères coupé à 9", "n;mesure123456 suite\nd;2\np;1\n", true, "mesure123", 2, 1},
        {"les ';' suivants font partie du nom", "n;a;b\nd;2\np;1\n", true, "a;b", 2, 1},
        {"lignes après la troisième ignorées", "n;a\nd;2\np;1\ncommentaire sans point-virgule\n", true, "a", 2, 1},
        {"ligne de 255 caractères gardée entière", "n;a\r\n" + x253 + ";7\r\np;1\r\n", true, "a", 7, 1},
        {"ligne de 256 caractères coupée avant sa valeur", "n;a\n" + x253 + "x;7\np;1\n", false},
        {"période plus grande que la durée", "n;a\nd;2\np;3\n", false},
        {"durée nulle", "n;a\nd;0\np;0\n", false},
        {"période nulle", "n;a\nd;2\np;0\n", false},
        {"durée négative", "n;a\nd;-4\np;1\n", false},
        {"durée sans chiffres", "n;a\nd;abc\np;1\n", false},
        {"durée hors des entiers", "n;a\nd;99999999999\np;1\n", false},
        {"durée plus longue qu'un minuteur", "n;a\nd;2147484\np;1\n", false},
        {"durée la plus longue", "n;a\nd;2147483\np;1\n", true, "a", 2147483, 1},
        {"ligne sans ';'", "nom essai\nd;2\np;1\n", false},
        {"ligne manquante", "n;a\nd;2\n", false},
        {"étiquette seule", "n;\nd;2\np;1\n", false},
        {"nom fait de blancs", "n;  \t\nd;2\np;1\n", false},
        {"fichier vide", "", false},
        {"nom qui remonte (/)", "n;../x\nd;2\np;1\n", false},
        {"nom qui remonte (\\)", "n;..\\x\nd;2\np;1\n", false},
        {"nom ..", "n;..\nd;2\np;1\n", false},
        {"nom .", "n;.\nd;2\np;1\n", false},
        {"nom absolu", "n;/etc\nd;2\np;1\n", false},
        {"nom avec lecteur", "n;C:x\nd;2\np;1\n", false},
        {"nom avec caractère interdit", "n;a*b\nd;2\np;1\n", false},
        {"nom avec caractère de contrôle", std::string("n;a\x01" "b\nd;2\np;1\n"), false},
        {"séparateur après le 9e caractère", "n;abcdefghi/x\nd;2\np;1\n", true, "abcdefghi", 2, 1},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ConsigneBanc lue;
        ASSERT_EQ(Lire_consigne(c.texte, lue), c.valide);
        if (!c.valide) continue;
        EXPECT_STREQ(lue.nom, c.mesure);
        EXPECT_EQ(lue.duree, c.duree);
        EXPECT_EQ(lue.periode, c.periode);
    }
}

// ---- the synchronised acquisition -------------------------------------------------------------

std::size_t Occurrences(const std::string &texte, const std::string &motif) {
    std::size_t n = 0;
    for (std::size_t p = texte.find(motif); p != std::string::npos; p = texte.find(motif, p + 1)) ++n;
    return n;
}

class Synchro : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        // The watched directory lies inside the temporary one, so that a file written next to
        // it would be seen.
        racine = dossier.path().toStdString();
        surveille = racine / "banc";
        fs::create_directory(surveille);
        consigne = surveille / "consigne.txt";

        ConfigEssai c;
        c.nom = "Essai";
        c.mesures_1D = true;
        c.noms_1D = {"U"};
        c.valeurs_1D = {1.5};
        c.numeros_1D = {7};
        c.mesures_2D = true;
        c.noms_2D = {"S"};
        c.valeurs_2D = {{0.5, 0.25}};
        c.indices_2D = {{1.0, 2.0}};
        c.numeros_2D = {3};
        c.avec_init = c.avec_start = c.avec_stop = true;
        AjouterEssai(c);

        SetCtrlVal(panel_commande, P_Commande_Mode_Fichier, 1);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1);
        JournalEssai().clear();
    }
    void TearDown() override {
        int visible = 0, bascule = 0;
        GetPanelAttribute(panel_synchro, ATTR_VISIBLE, &visible);
        GetCtrlVal(panel_synchro, P_Synchro_TBN_Synchobanc, &bascule);
        if (visible && bascule) Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
        if (acquisition_en_cours == 1) Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        EXPECT_EQ(acquisition_en_cours, 0);
        BancTest::TearDown();
    }

    static bool Actif(int timer) {
        int actif = -1;
        GetCtrlAttribute(panel_timer, timer, ATTR_ENABLED, &actif);
        return actif == 1;
    }
    static double Intervalle(int timer) {
        double s = 0;
        GetCtrlAttribute(panel_timer, timer, ATTR_INTERVAL, &s);
        return s;
    }
    static bool Visible(int panel) {
        int v = -1;
        GetPanelAttribute(panel, ATTR_VISIBLE, &v);
        return v == 1;
    }
    static std::string Message() {
        char t[300] = "";
        GetCtrlVal(panel_synchro, P_Synchro_TEXTMSG_synchromes, t);
        return t;
    }

    // One tick of an enabled timer, `secondes` after the previous event.
    static void Tick(int timer, double secondes) {
        EXPECT_TRUE(Actif(timer)) << "timer " << timer;
        horloge::AvancerHorlogeFactice(secondes);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, timer), 0);
    }
    static void Surveiller() { Tick(PANEL_Time_T_synchrobanc, 1); }

    void Activer() {
        ui_test::Repondre(ui_test::Popup::Repertoire, VAL_DIRECTORY_SELECTED, surveille.string());
        Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
        ASSERT_TRUE(Actif(PANEL_Time_T_synchrobanc));
    }

    // Files of the temporary directory (the watched one included), as relative paths.
    std::vector<std::string> Fichiers() {
        std::vector<std::string> r;
        for (const auto &e : fs::recursive_directory_iterator(racine)) r.push_back(fs::relative(e.path(), racine).string());
        std::sort(r.begin(), r.end());
        return r;
    }

    fs::path racine, surveille, consigne;
};

const std::string kEntete = "Date\tHeure\tMarqueur\tDur\xE9" "e \xE9" "coul\xE9" "e\tEssai U\tMesure n\xB0\r\n";

std::string Ligne(const char *heure, int ecoule) {
    return std::string("12-10-2025\t") + heure + "\t\t" + std::to_string(ecoule) + "\t1.500000\t7\r\n";
}

TEST_F(Synchro, TwoSetPointsGiveTwoMeasurementsWithTheirOwnPeriodsAndDurations) {
    // The start of a synchronised acquisition: the panel, and the start/stop button dimmed.
    EXPECT_TRUE(Visible(panel_synchro));
    EXPECT_TRUE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq));
    EXPECT_EQ(Statuts().back(), "Synchro en cours");
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_TRUE(Actif(PANEL_Time_TIMER_echantillon));

    Activer();
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "Choisissez le répertoire dans lequel surveiller"_w);
    EXPECT_EQ(Message(), "Surveillance");
    EXPECT_EQ(std::string(repertoire_surveille), surveille.string() + "/");

    Surveiller();  // 12:34:57, nothing there
    EXPECT_EQ(Message(), "Surveillance");
    const std::string premiere = "Nom;essai1\r\nDuree;3\r\nPeriode;1\r\n";
    EcrireFichier(consigne, premiere);
    Surveiller();  // 12:34:58, a complete file: taken, one sample at once
    EXPECT_FALSE(fs::exists(consigne));
    EXPECT_EQ(LireFichier(surveille / "essai1.ent"), premiere);
    EXPECT_EQ(Message(), "Mesures dans le fichier essai1");
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_TRUE(Actif(PANEL_Time_T_Attente));
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_T_Attente), 3.0);
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_TIMER_echantillon), 1.0);
    EXPECT_TRUE(Enregistrement_ouvert());
    for (int i = 0; i < 3; ++i) Tick(PANEL_Time_TIMER_echantillon, 1);  // 12:34:59 .. 12:35:01
    Tick(PANEL_Time_T_Attente, 0);
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_TRUE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_EQ(Message(), "Surveillance");
    EXPECT_FALSE(Enregistrement_ouvert());

    // Between measurements the sampling goes on without writing.
    Tick(PANEL_Time_TIMER_echantillon, 1);  // 12:35:02
    const std::string seconde = "Mesure;essai2\nDuree;4\nPeriode;2\n";
    EcrireFichier(consigne, seconde);
    Surveiller();  // 12:35:03
    EXPECT_EQ(LireFichier(surveille / "essai2.ent"), seconde);
    EXPECT_EQ(Message(), "Mesures dans le fichier essai2");
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_T_Attente), 4.0);
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_TIMER_echantillon), 2.0);
    Tick(PANEL_Time_TIMER_echantillon, 2);  // 12:35:05
    Tick(PANEL_Time_TIMER_echantillon, 2);  // 12:35:07
    Tick(PANEL_Time_T_Attente, 0);
    EXPECT_EQ(Message(), "Surveillance");
    // The period of the last set-point stays until the next one or the stop.
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_TIMER_echantillon), 2.0);

    EXPECT_EQ(LireFichier(surveille / "essai1.xls"), kEntete + Ligne("12:34:58", 0) + Ligne("12:34:59", 1) +
                                                  Ligne("12:35:00", 2) + Ligne("12:35:01", 3));
    EXPECT_EQ(LireFichier(surveille / "essai2.xls"),
              kEntete + Ligne("12:35:03", 0) + Ligne("12:35:05", 2) + Ligne("12:35:07", 4));
    // Each record set has its vector file, one record per written line.
    const std::string vecteurs1 = LireFichier(surveille / "essai1-Essai.xls");
    const std::string vecteurs2 = LireFichier(surveille / "essai2-Essai.xls");
    EXPECT_EQ(vecteurs1.rfind("Date\tHeure\t", 0), 0u);
    EXPECT_EQ(Occurrences(vecteurs1, "12-10-2025\t"), 4u);
    EXPECT_EQ(Occurrences(vecteurs2, "12-10-2025\t"), 3u);
    EXPECT_NE(vecteurs2.find("12-10-2025\t12:35:03\t0\t\n"), std::string::npos);
    EXPECT_EQ(Fichiers(), (std::vector<std::string>{"banc", "banc/essai1-Essai.xls", "banc/essai1.ent",
                                                    "banc/essai1.xls", "banc/essai2-Essai.xls",
                                                    "banc/essai2.ent", "banc/essai2.xls"}));

    // Switching the watch off hands the acquisition back to the operator.
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    EXPECT_FALSE(Visible(panel_synchro));
    EXPECT_EQ(Statuts().back(), "Synchro suspendue");
    EXPECT_FALSE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq));
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_EQ(Message(), "");
    EXPECT_TRUE(Actif(PANEL_Time_TIMER_echantillon));
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);
}

// Invalid files stay where the bench put them, are read again at every tick, and nothing is
// written anywhere; a name that would leave the watched directory is one of them.
TEST_F(Synchro, InvalidSetPointsStayInPlace) {
    Activer();
    const char *invalides[] = {
        "Nom;../x\r\nDuree;2\r\nPeriode;1\r\n",
        "Nom;..\\x\nDuree;2\nPeriode;1\n",
        "Nom;/tmp/x\nDuree;2\nPeriode;1\n",
        "Nom;essai\nDuree;2\nPeriode;3\n",
        "Nom;essai\nDuree;0\nPeriode;0\n",
        "Nom;essai\nDuree;2\n",
        "Nom essai\nDuree;2\nPeriode;1\n",
    };
    for (const char *contenu : invalides) {
        SCOPED_TRACE(contenu);
        fs::remove(consigne);
        Surveiller();
        SetCtrlVal(panel_synchro, P_Synchro_TEXTMSG_synchromes, "Surveillance");
        EcrireFichier(consigne, contenu);
        Surveiller();
        EXPECT_EQ(Message(), "Fichier invalide !");
        SetCtrlVal(panel_synchro, P_Synchro_TEXTMSG_synchromes, "");
        Surveiller();
        EXPECT_EQ(Message(), "Fichier invalide !");
        // Said once on the status list, however many ticks read it.
        const auto statuts = Statuts();
        EXPECT_EQ(std::count(statuts.begin(), statuts.end(), "Fichier de consigne invalide : consigne.txt"), 1);
        ClearListCtrl(panel_commande, P_Commande_STATUS);
        EXPECT_EQ(LireFichier(consigne), contenu);
        EXPECT_EQ(Fichiers(), (std::vector<std::string>{"banc", "banc/consigne.txt"}));
        EXPECT_TRUE(Actif(PANEL_Time_T_synchrobanc));
        EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    }
    EXPECT_TRUE(JournalEssai().empty());

    // The bench writes a valid one over it (no longer than the earlier one): taken.
    EcrireFichier(consigne, "Nom;essai\nDuree;2\nPeriode;1\n");
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier essai");
    EXPECT_FALSE(fs::exists(consigne));
}

// A file that the bench is still writing opens and may read as valid with a number cut short:
// a file whose last line is not ended waits for a tick that finds it as the previous one did,
// and so does a file that has grown since the previous tick.
TEST_F(Synchro, HalfWrittenFileWaitsUntilItStandsStill) {
    Activer();
    EcrireFichier(consigne, "Nom;long\r\nDuree;3600\r\nPeriode;6");
    Surveiller();
    EXPECT_TRUE(fs::exists(consigne));
    EcrireFichier(consigne, "0\r\n", std::ios::app);
    Surveiller();  // complete now, but grown since the previous tick
    EXPECT_TRUE(fs::exists(consigne));
    EXPECT_EQ(Message(), "Surveillance");
    Surveiller();
    EXPECT_FALSE(fs::exists(consigne));
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_TIMER_echantillon), 60.0);
    EXPECT_DOUBLE_EQ(Intervalle(PANEL_Time_T_Attente), 3600.0);
    Tick(PANEL_Time_T_Attente, 3600);

    // A last line that the bench never ends: taken once it stands still.
    EcrireFichier(consigne, "Nom;fin\nDuree;2\nPeriode;1");
    Surveiller();
    EXPECT_TRUE(fs::exists(consigne));
    Surveiller();
    EXPECT_FALSE(fs::exists(consigne));
    EXPECT_EQ(Message(), "Mesures dans le fichier fin");
    Tick(PANEL_Time_T_Attente, 2);

    // A complete file put in place of one the previous tick saw half-written is a new file,
    // taken at once.
    EcrireFichier(surveille / "ecrit.tmp", "Nom;neuf\nDuree;2\nPeriode;1\n");
    EcrireFichier(consigne, "Nom;ne");
    Surveiller();
    fs::rename(surveille / "ecrit.tmp", consigne);
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier neuf");
}

TEST_F(Synchro, ReceiptAndRecordNamesAlreadyTaken) {
    Activer();
    // An older receipt of the name is replaced, an older record of the name overwritten.
    EcrireFichier(surveille / "essai.ent", "ancien");
    EcrireFichier(surveille / "essai.xls", "ancien");
    const std::string nouvelle = "Nom;essai\nDuree;1\nPeriode;1\n";
    EcrireFichier(consigne, nouvelle);
    Surveiller();
    EXPECT_FALSE(fs::exists(consigne));
    EXPECT_EQ(LireFichier(surveille / "essai.ent"), nouvelle);
    Tick(PANEL_Time_T_Attente, 1);
    EXPECT_EQ(LireFichier(surveille / "essai.xls"), kEntete + Ligne("12:34:57", 0));

    // A receipt name that cannot be freed (a directory holds it): the set-point is not taken,
    // the earlier record of its name is kept, and the operator is told once.
    fs::create_directories(surveille / "autre.ent" / "dedans");
    EcrireFichier(surveille / "autre.xls", "mesure précédente");
    const std::string refusee = "Nom;autre\nDuree;1\nPeriode;1\n";
    EcrireFichier(consigne, refusee);
    Surveiller();
    Surveiller();
    const std::string alerte = "Impossible de renommer le fichier consigne.txt : mesure autre non lancée"_w;
    const auto statuts = Statuts();
    EXPECT_EQ(statuts.back(), alerte);
    EXPECT_EQ(std::count(statuts.begin(), statuts.end(), alerte), 1);
    EXPECT_EQ(LireFichier(consigne), refusee);
    EXPECT_EQ(LireFichier(surveille / "autre.xls"), "mesure précédente");
    EXPECT_TRUE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_EQ(Message(), "Surveillance");

    // Once the name is free, the next tick takes it.
    fs::remove_all(surveille / "autre.ent");
    Surveiller();
    EXPECT_EQ(LireFichier(surveille / "autre.ent"), refusee);
    EXPECT_EQ(Message(), "Mesures dans le fichier autre");

    // A watched file that already bears its receipt name is never deleted in its own place.
    Tick(PANEL_Time_T_Attente, 1);
    ui_test::EntrerTexte(panel_synchro, P_Synchro_S_nomfichier, "meme.ent");
    const std::string meme = "Nom;meme\nDuree;1\nPeriode;1\n";
    EcrireFichier(surveille / "meme.ent", meme);
    Surveiller();
    EXPECT_EQ(LireFichier(surveille / "meme.ent"), meme);
    EXPECT_FALSE(fs::exists(surveille / "meme.xls"));
    EXPECT_EQ(Statuts().back(), "Impossible de renommer le fichier meme.ent : mesure meme non lancée"_w);
}

// A record that cannot be created is reported; the measurement runs all the same.
TEST_F(Synchro, RecordFilesThatCannotBeOpenedAreReported) {
    Activer();
    struct Cas {
        const char *nom;
        const char *obstacle;  // a directory in the way of a record file
        std::string statut;
        bool principal_ouvert;
    };
    const std::string dossier_banc = surveille.string() + "/";
    const Cas cas[] = {
        {"principal", "un.xls", "Impossible d'ouvrir le fichier " + dossier_banc + "un.xls", false},
        {"vecteurs", "deux-Essai.xls", "Impossible d'ouvrir tous les fichiers d'enregistrement de " + dossier_banc + "deux.xls", true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        fs::create_directory(surveille / c.obstacle);
        const std::string nom = std::string(c.obstacle).substr(0, std::string(c.obstacle).find_first_of("-."));
        EcrireFichier(consigne, "Nom;" + nom + "\nDuree;2\nPeriode;1\n");
        Surveiller();
        EXPECT_EQ(Statuts().back(), c.statut);
        EXPECT_EQ(Enregistrement_ouvert(), c.principal_ouvert);
        EXPECT_EQ(Message(), "Mesures dans le fichier " + nom);
        EXPECT_TRUE(Actif(PANEL_Time_T_Attente));
        EXPECT_TRUE(fs::exists(surveille / (nom + ".ent")));
        Tick(PANEL_Time_T_Attente, 2);
    }
}

// A set-point written by a UTF-8 editor reads as its Windows-1252 twin: the measurement of an
// accented name records into that name. A character that Windows-1252 lacks reads as "?",
// which no measurement name may hold; it is reported once.
TEST_F(Synchro, Utf8SetPointsReadAsTheirWindows1252Twins) {
    Activer();
    EcrireFichier(consigne, "Nom;été\nDurée;2\nPériode;1\n");
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier été"_w);
    EXPECT_EQ(LireFichier(surveille / "été.ent"), "Nom;été\nDurée;2\nPériode;1\n");
    Tick(PANEL_Time_T_Attente, 2);
    EXPECT_EQ(LireFichier(surveille / "été.xls"), kEntete + Ligne("12:34:57", 0));

    // The Windows-1252 twin: the same measurement; and the UTF-8 file with the mark that some
    // editors put at its start.
    EcrireFichier(consigne, "\xEF\xBB\xBFNom;été\nDurée;2\nPériode;1\n");
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier été"_w);
    Tick(PANEL_Time_T_Attente, 2);
    EcrireFichier(consigne, "Nom;\xE9t\xE9\nDur\xE9" "e;2\nP\xE9riode;1\n");
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier été"_w);
    Tick(PANEL_Time_T_Attente, 2);
    EXPECT_EQ(LireFichier(surveille / "été.xls"), kEntete + Ligne("12:35:03", 0));

    EcrireFichier(consigne, "Nom;a→b\nDuree;2\nPeriode;1\n");
    const std::string signale =
        "Fichier consigne.txt en UTF-8 : caractère(s) sans équivalent Windows-1252, lu(s) \"?\" : U+2192"_w;
    for (int k = 0; k < 3; ++k) Surveiller();
    EXPECT_EQ(Message(), "Fichier invalide !");
    const auto statuts = Statuts();
    EXPECT_EQ(std::count(statuts.begin(), statuts.end(), signale), 1);
    EXPECT_TRUE(fs::exists(consigne));
}

// A write failure of a measurement's record file (full disk) is reported when the measurement
// ends, and not again at the stop.
TEST_F(Synchro, WriteFailuresAreReportedAtTheEndOfTheirMeasurement) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
    Activer();
    fs::create_symlink("/dev/full", surveille / "plein.xls");
    EcrireFichier(consigne, "Nom;plein\nDuree;2\nPeriode;1\n");
    Surveiller();
    ASSERT_EQ(Message(), "Mesures dans le fichier plein");
    Tick(PANEL_Time_T_Attente, 2);
    const std::string erreur =
        "Erreur d'écriture : le fichier d'enregistrement est incomplet ("_w + surveille.string() + "/plein.xls)";
    EXPECT_EQ(Statuts().back(), erreur);

    // The next measurement writes whole; switching the watch off and stopping report nothing.
    EcrireFichier(consigne, "Nom;bon\nDuree;2\nPeriode;1\n");
    Surveiller();
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    const auto statuts = Statuts();
    EXPECT_EQ(std::count_if(statuts.begin(), statuts.end(),
                            [](const std::string &l) { return l.rfind("Erreur d'écriture"_w, 0) == 0; }),
              1);
    EXPECT_EQ(LireFichier(surveille / "bon.xls"), kEntete + Ligne("12:35:00", 0));
}

TEST_F(Synchro, WatchedFileNameIsReadAtEveryTick) {
    Activer();
    ui_test::EntrerTexte(panel_synchro, P_Synchro_S_nomfichier, "ordre.cfg");
    EcrireFichier(consigne, "Nom;a\nDuree;2\nPeriode;1\n");
    EcrireFichier(surveille / "ordre.cfg", "Nom;b\nDuree;2\nPeriode;1\n");
    Surveiller();
    EXPECT_EQ(Message(), "Mesures dans le fichier b");
    EXPECT_TRUE(fs::exists(consigne));
}

TEST_F(Synchro, SwitchingOffDuringAMeasurementClosesItsRecordAtOnce) {
    Activer();
    EcrireFichier(consigne, "Nom;court\nDuree;10\nPeriode;1\n");
    Surveiller();
    ASSERT_TRUE(Enregistrement_ouvert());
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    EXPECT_FALSE(Enregistrement_ouvert());
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_EQ(LireFichier(surveille / "court.xls"), kEntete + Ligne("12:34:57", 0));
}

// Should the acquisition stop while a measurement waits for its end (the start/stop button
// given back by another window), the pending end neither resumes the watch nor lets it sample
// the released channel buffers.
TEST_F(Synchro, NothingOfTheWatchOutlivesTheAcquisition) {
    Activer();
    EcrireFichier(consigne, "Nom;orphelin\nDuree;10\nPeriode;1\n");
    Surveiller();
    ASSERT_TRUE(Actif(PANEL_Time_T_Attente));
    SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_DIMMED, 0);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    EcrireFichier(consigne, "Nom;tard\nDuree;2\nPeriode;1\n");
    JournalEssai().clear();
    horloge::AvancerHorlogeFactice(10);
    ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_T_Attente), 0);
    EXPECT_FALSE(Actif(PANEL_Time_T_Attente));
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    for (int i = 0; i < 2; ++i) ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_T_synchrobanc), 0);
    EXPECT_TRUE(fs::exists(consigne));
    EXPECT_FALSE(fs::exists(surveille / "tard.xls"));
    EXPECT_TRUE(JournalEssai().empty());

    // The panel left on screen cannot switch a watch on without an acquisition.
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);  // off
    EXPECT_FALSE(Visible(panel_synchro));
    DisplayPanel(panel_synchro);
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);  // on: refused without a pop-up
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_FALSE(Visible(panel_synchro));
    EXPECT_FALSE(Grise(panel_instru, P_Instru_Ajouter));
}

TEST_F(Synchro, CancelledDirectoryChoiceLeavesTheWatchOff) {
    ui_test::Repondre(ui_test::Popup::Repertoire, VAL_NO_DIRECTORY_SELECTED);
    ui_test::Repondre(ui_test::Popup::Message);
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    ASSERT_EQ(ui_test::Vus().size(), 2u);
    EXPECT_EQ(ui_test::Vus()[1].titre, "Attention");
    EXPECT_EQ(ui_test::Vus()[1].message, "Aucun répertoire n'a été sélectionné.\n Surveillance INACTIVE"_w);
    EXPECT_FALSE(Actif(PANEL_Time_T_synchrobanc));
    EXPECT_TRUE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq));
    // The toggle stays on: the next click switches off and gives the start/stop button back.
    Cliquer(panel_synchro, P_Synchro_TBN_Synchobanc);
    EXPECT_FALSE(Visible(panel_synchro));
    EXPECT_FALSE(Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq));
}

}  // namespace
