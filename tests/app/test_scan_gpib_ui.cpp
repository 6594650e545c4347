// The GPIB bus scan as the operator uses it: "Scan GPIB" on the main panel opens a window whose
// "Scan" button lists the listeners of board 0 with their identification, on the simulated bus;
// and the exclusion between scan windows and acquisitions.
#include "app/Interface.h"
#include "app/scan_gpib.h"
#include "framework/liste.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/instruments.h"
#include "sim/transcription.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::time_t kDebut = 1765370096;

// One row of the scan table: "Adresse", "Identification" (bytes as the program holds them).
using Ligne = std::pair<std::string, std::string>;

class ScanGpib : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dossier.isValid());
        // Silent listeners cost a board time-out each: on the fake clock it passes at once.
        horloge::UtiliserHorlogeFactice(kDebut);
        sim::BusDeCarte(0)->Vider();
        ConfigurerBanc("gpib0 = sim\n");
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        char nom[] = "banc";
        char *argv[] = {nom, nullptr};
        ASSERT_EQ(Ouvrir_interface(1, argv), 0);
        JournalEssai().clear();
    }
    void TearDown() override {
        Fermer_interface();
        // Scan windows are top-level panels of their own: the ones a test left open go too.
        for (const int p : ui_test::PanneauxCharges()) {
            char titre[64] = "";
            if (GetPanelAttribute(p, ATTR_TITLE, titre, sizeof titre) == 0 && std::string(titre) == "Scan GPIB bus")
                DiscardPanel(p);
        }
        QApplication::processEvents();
        RechargerConfigurationBanc(nullptr);
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
        horloge::UtiliserHorlogeReelle();
        EXPECT_EQ(InstancesEssaiVivantes(), 0);
    }

    void ConfigurerBanc(const std::string &texte) {
        const std::string chemin = dossier.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << texte;
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
    }

    static void Cliquer(int panel, int control) { ASSERT_EQ(ui_test::Cliquer(panel, control), 0); }

    // Presses "Scan GPIB" and gives the window it opened (0 when none opened).
    static int OuvrirScan() {
        const auto avant = ui_test::PanneauxCharges();
        EXPECT_EQ(ui_test::Cliquer(panel_commande, P_Commande_GPIB_SCAN), 0);
        const auto apres = ui_test::PanneauxCharges();
        return apres.size() == avant.size() + 1 ? apres.back() : 0;
    }

    static std::vector<Ligne> Lignes(int fenetre) {
        std::vector<Ligne> lignes;
        int n = -1;
        EXPECT_EQ(GetNumTableRows(fenetre, P_SCAN_TABLE, &n), 0);
        for (int r = 1; r <= n; ++r) {
            char adresse[32] = "", identification[400] = "";
            GetTableCellVal(fenetre, P_SCAN_TABLE, MakePoint(1, r), adresse, sizeof adresse);
            GetTableCellVal(fenetre, P_SCAN_TABLE, MakePoint(2, r), identification, sizeof identification);
            lignes.emplace_back(adresse, identification);
        }
        return lignes;
    }

    static bool Grise(int panel, int control) {
        int g = -1;
        GetCtrlAttribute(panel, control, ATTR_DIMMED, &g);
        return g == 1;
    }
    static bool DemarrageGrise() { return Grise(panel_commande, P_Commande_COMMANDBUTTON_Acq); }

    static std::shared_ptr<sim::Appareil488> Instrument(int pad, std::string identite, bool muet = false) {
        auto a = sim::InstrumentIdentite(std::move(identite));
        if (muet) {
            sim::Defauts d;
            d.muet = true;
            a->FixerDefauts(d);
        }
        sim::BusDeCarte(0)->Brancher(pad, a);
        return a;
    }
    static std::shared_ptr<sim::Enregistreur> Enregistreur(int pad) {
        auto e = std::make_shared<sim::Enregistreur>();
        sim::BusDeCarte(0)->Brancher(pad, e);
        return e;
    }

    void AjouterEssai() {
        ConfigEssai c;
        c.nom = "Essai";
        c.mesures_1D = true;
        c.noms_1D = {"U"};
        c.valeurs_1D = {1.0};
        c.numeros_1D = {1};
        c.avec_init = c.avec_start = c.avec_stop = true;
        liste_instru = Inserer_instru(liste_instru, "essai.dll", CreerEssai(c), get_tatoo());
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, c.nom.c_str(), 0);
    }

    QTemporaryDir dossier;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

// A text of `n` bytes that shows where it is cut.
std::string Motif(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i) s += static_cast<char>('0' + i % 10);
    return s;
}

TEST_F(ScanGpib, ListsEveryListenerWithItsIdentification) {
    Instrument(3, "HEWLETT-PACKARD,53131A,0,3703");
    auto questionne = Enregistreur(5);
    questionne->Programmer("*IDN?", "ESSAI,ENREGISTREUR,0,1\n");
    Instrument(9, "TEKTRONIX,TDS 3052,0,CF:91.1CT", /*muet=*/true);
    auto interrompu = Enregistreur(14);
    interrompu->AjouterSortie("HEWLETT-PACK", /*fin=*/false);  // then nothing more, no END
    const std::string longue = "LONGUE,IDENTITE," + Motif(300);
    Instrument(22, longue);
    const std::string juste = Motif(254);  // with its line end: exactly 255 bytes
    Instrument(30, juste);
    auto adresse0 = Enregistreur(0);

    const int fenetre = OuvrirScan();
    ASSERT_GT(fenetre, 0);
    EXPECT_TRUE(Lignes(fenetre).empty());
    Cliquer(fenetre, P_SCAN_BTN_SCAN);

    EXPECT_EQ(Lignes(fenetre), (std::vector<Ligne>{
                                   {"3", "HEWLETT-PACKARD,53131A,0,3703\n"},  // the line end stays
                                   {"5", "ESSAI,ENREGISTREUR,0,1\n"},
                                   {"9", ""},              // silent: nothing before the time-out
                                   {"14", "HEWLETT-PACK"},  // what came before the time-out
                                   {"22", (longue + "\n").substr(0, 255)},
                                   {"30", juste + "\n"},
                               }));
    // The question: 5 bytes, END with the last one, no line end added.
    EXPECT_EQ(questionne->Messages(), (std::vector<std::pair<std::string, bool>>{{"*IDN?", true}}));
    // Address 0 is never searched nor questioned.
    EXPECT_TRUE(adresse0->Messages().empty());
    EXPECT_TRUE(adresse0->Journal().empty());
}

TEST_F(ScanGpib, ASecondScanReplacesTheRowsOfTheFirst) {
    auto compteur = Instrument(3, "HEWLETT-PACKARD,53131A,0,3703");
    Instrument(9, "HEWLETT-PACKARD,34401A,0,11-5-2");
    const std::string longue = Motif(400);
    Instrument(22, longue);

    const int fenetre = OuvrirScan();
    ASSERT_GT(fenetre, 0);
    Cliquer(fenetre, P_SCAN_BTN_SCAN);
    ASSERT_EQ(Lignes(fenetre).size(), 3u);

    compteur->FixerIdentite("HEWLETT-PACKARD,53132A,0,3703");
    sim::BusDeCarte(0)->Debrancher(9);
    Cliquer(fenetre, P_SCAN_BTN_SCAN);
    // The rest of the long reply left unread by the first scan does not reach the second one.
    EXPECT_EQ(Lignes(fenetre), (std::vector<Ligne>{
                                   {"3", "HEWLETT-PACKARD,53132A,0,3703\n"},
                                   {"22", longue.substr(0, 255)},
                               }));
}

// Without a board, or with nobody listening, the table ends empty and nothing is said.
TEST_F(ScanGpib, NoBoardOrNoListenerGivesAnEmptyTable) {
    const struct {
        const char *nom;
        const char *banc;
        bool appareil;
    } cas[] = {
        {"pas de carte", "gpib0 = none\n", true},
        {"carte sans auditeur", "gpib0 = sim\n", false},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        ConfigurerBanc("gpib0 = sim\n");
        Instrument(7, "HEWLETT-PACKARD,E4419B,GB40201234,A1.01.07");
        const int fenetre = OuvrirScan();
        ASSERT_GT(fenetre, 0);
        Cliquer(fenetre, P_SCAN_BTN_SCAN);
        ASSERT_EQ(Lignes(fenetre).size(), 1u);

        ConfigurerBanc(c.banc);
        if (!c.appareil) sim::BusDeCarte(0)->Debrancher(7);
        Cliquer(fenetre, P_SCAN_BTN_SCAN);
        EXPECT_TRUE(Lignes(fenetre).empty());
        EXPECT_TRUE(ui_test::Vus().empty());
        Cliquer(fenetre, P_SCAN_BTN_DONE);
    }
}

// Scan windows and acquisitions exclude each other, however many windows are open.
TEST_F(ScanGpib, ScanWindowsAndAcquisitionExcludeEachOther) {
    AjouterEssai();
    auto appareil = Enregistreur(4);
    appareil->Programmer("*IDN?", "ESSAI,0,0,0\n");

    // Each press opens another window; the start button is dimmed from the first one on.
    const int a = OuvrirScan();
    ASSERT_GT(a, 0);
    EXPECT_TRUE(DemarrageGrise());
    const int b = OuvrirScan();
    ASSERT_GT(b, 0);
    ASSERT_NE(a, b);
    EXPECT_EQ(Fenetres_scan_ouvertes(), 2);

    // Each window scans into its own table.
    Cliquer(a, P_SCAN_BTN_SCAN);
    EXPECT_EQ(Lignes(a), (std::vector<Ligne>{{"4", "ESSAI,0,0,0\n"}}));
    EXPECT_TRUE(Lignes(b).empty());

    // Closing one of two keeps the start button dimmed.
    Cliquer(a, P_SCAN_BTN_DONE);
    QApplication::processEvents();
    int visible = 0;
    EXPECT_EQ(GetPanelAttribute(a, ATTR_VISIBLE, &visible), UIE_BAD_PANEL);
    EXPECT_EQ(Fenetres_scan_ouvertes(), 1);
    EXPECT_TRUE(DemarrageGrise());
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);

    // Whatever gives the button back while a window is open, no acquisition starts.
    SetCtrlAttribute(panel_commande, P_Commande_COMMANDBUTTON_Acq, ATTR_DIMMED, 0);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);
    EXPECT_TRUE(JournalEssai().empty());

    // The last one gives the button back, and an acquisition can start.
    Cliquer(b, P_SCAN_BTN_DONE);
    EXPECT_EQ(Fenetres_scan_ouvertes(), 0);
    EXPECT_FALSE(DemarrageGrise());
    SetCtrlVal(panel_commande, P_Commande_Mode_Fichier, 1);  // synchronised: no file pop-up
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_TRUE(DemarrageGrise());  // the synchronised mode holds it until the watch is off

    // While it runs: no scan window opens, even past the dimmed button.
    EXPECT_TRUE(Grise(panel_commande, P_Commande_GPIB_SCAN));
    EXPECT_EQ(OuvrirScan(), 0);
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(Prog_Scan_GPIB(panel_commande, P_Commande_GPIB_SCAN, EVENT_COMMIT, nullptr, 0, 0), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);

    // A scan window present all the same neither questions the instruments being measured nor
    // gives the start button back when it closes.
    const int intrus = LoadPanel(0, "Interface.uir", P_SCAN);
    ASSERT_GT(intrus, 0);
    appareil->EffacerJournal();
    Cliquer(intrus, P_SCAN_BTN_SCAN);
    EXPECT_TRUE(Lignes(intrus).empty());
    EXPECT_TRUE(appareil->Journal().empty());
    Cliquer(intrus, P_SCAN_BTN_DONE);
    EXPECT_TRUE(DemarrageGrise());
    EXPECT_EQ(acquisition_en_cours, 1);
}

TEST_F(ScanGpib, AWindowThatCannotLoadChangesNothing) {
    QTemporaryDir vide;
    ASSERT_TRUE(vide.isValid());
    SetResourceDirectory(vide.path().toUtf8().constData());
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(Prog_Scan_GPIB(panel_commande, P_Commande_GPIB_SCAN, EVENT_COMMIT, nullptr, 0, 0), -1);
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_FALSE(DemarrageGrise());
    EXPECT_EQ(Fenetres_scan_ouvertes(), 0);
    EXPECT_TRUE(ui_test::Vus().empty());
}

// The demo bench of the repository shows a filled table; BANC_CAPTURE_SCAN=<file.png> keeps a
// picture of the window.
TEST_F(ScanGpib, DemoBenchFillsTheWindow) {
    RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
    ReinitialiserCartesGpib();
    Instrument(7, "SILENCIEUX,0,0,0", /*muet=*/true);

    const int fenetre = OuvrirScan();
    ASSERT_GT(fenetre, 0);
    Cliquer(fenetre, P_SCAN_BTN_SCAN);
    const std::vector<Ligne> lignes = Lignes(fenetre);
    std::vector<std::string> adresses;
    for (const auto &l : lignes) adresses.push_back(l.first);
    // Every address of the demo bench's "gpib0.<pad>" lines answers, and the silent one placed
    // here is listed too, in address order.
    std::set<int> attendues = {7};
    std::ifstream conf(BANC_SOURCE_DIR "/sim/demo-banc.conf");
    for (std::string ligne; std::getline(conf, ligne);)
        if (ligne.rfind("gpib0.", 0) == 0) attendues.insert(std::atoi(ligne.c_str() + 6));
    std::vector<std::string> textes;
    for (const int a : attendues) textes.push_back(std::to_string(a));
    EXPECT_EQ(adresses, textes);
    // Instruments of the IEEE 488.2 era answer "*IDN?" (the gain-phase analyser predates it).
    for (const auto &l : lignes) {
        if (l.first == "3" || l.first == "22") {
            EXPECT_NE(l.second.find(','), std::string::npos) << l.first;
        }
    }

    QWidget *f = ui_test::Fenetre(fenetre);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isVisible());
    // Every row is in sight without scrolling, and the addresses are not cut.
    auto *table = qobject_cast<QTableWidget *>(ui_test::Widget(fenetre, P_SCAN_TABLE));
    ASSERT_NE(table, nullptr);
    QApplication::processEvents();
    const int derniere = table->rowViewportPosition(table->rowCount() - 1) + table->rowHeight(table->rowCount() - 1);
    EXPECT_LE(derniere, table->viewport()->height());
    EXPECT_GE(table->columnWidth(0), table->fontMetrics().horizontalAdvance("Adresse"));
    const QPixmap image = f->grab();
    EXPECT_EQ(image.size(), f->size());
    if (const char *capture = std::getenv("BANC_CAPTURE_SCAN")) image.save(capture);
}

}  // namespace
