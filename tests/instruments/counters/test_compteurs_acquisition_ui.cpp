// The four counters in one acquisition on the demo bench, as an operator runs it: each added
// through the add dialog and configured in its panel, the acquisition started from the main
// panel, the graphs drawing their channels and the record file holding their readings. Set
// BANC_CAPTURES to a directory to keep pictures of the graph windows.
#include "graphs/graphtab.h"
#include "tests/instruments/counters/compteur_essai.h"
#include "uir/UIR_HP53131_phase.h"
#include "uir/UIR_freq2voies.h"
#include "uir/UIR_frequencemetre.h"
#include "uir/UIR_frequencemetre_SW.h"
#include "uir/UIR_graphtab.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace compteur_essai;

class CompteursDemo : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
        port = sim::RegistreParalleleDuBanc();
        ASSERT_NE(port, nullptr);
        ibfind("GPIB0");  // the board, with the bench's instruments on its bus
        for (int adresse : {2, 3, 4, 5}) {
            compteurs[adresse] = sim::BusDeCarte(0)->AppareilA<sim::Compteur5313x>(adresse);
            ASSERT_NE(compteurs[adresse], nullptr) << adresse;
        }
        SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, 100);
    }

    // Adds the catalogue row of `cle` through the add dialog; returns its configuration panel.
    static int Ajouter(const char *cle) {
        int ligne = -1;
        for (int k = 0; k < kLignesCatalogue; ++k)
            if (std::strcmp(catalogue_instru[k].type_apareil, cle) == 0) ligne = k;
        const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
        EXPECT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        return PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
    }
    // The reading numbers of every channel of every instrument, in list order.
    static std::vector<unsigned> Numeros() {
        std::vector<unsigned> n;
        for (fichei *f = liste_instru; f; f = f->suivant)
            for (int voie = 1; voie <= f->plugin->nb_voie_1D(f->plugin); ++voie)
                n.push_back(f->plugin->numero_1D(f->plugin, voie));
        return n;
    }
    // One sample, once every channel has a new reading.
    void Tick() {
        const std::vector<unsigned> avant = Numeros();
        std::vector<sim::Appareil *> appareils;
        for (const auto &[adresse, c] : compteurs) appareils.push_back(c.get());
        ASSERT_TRUE(AttendreCycles(appareils, [&] {
            const std::vector<unsigned> n = Numeros();
            for (std::size_t k = 0; k < n.size(); ++k)
                if (n[k] <= avant[k]) return false;
            return true;
        }));
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    std::map<int, std::shared_ptr<sim::Compteur5313x>> compteurs;
};

TEST_F(CompteursDemo, FourCountersInOneAcquisition) {
    // Slowly changing signals, one value per measurement.
    // Behind the switch, two signals whose ranges do not meet.
    std::vector<double> entree1, entree2, seule, bas, haut, phases;
    for (int k = 0; k < 400; ++k) {
        entree1.push_back(1e6 + 2e5 * std::sin(k / 8.0));
        entree2.push_back(2e6 + 1e3 * k);
        seule.push_back(5e6 + 2e4 * k);
        bas.push_back(10e6 + 1e6 * std::sin(k / 4.0));
        haut.push_back(15e6 + 1e6 * std::cos(k / 6.0));
        phases.push_back(90.0 + 60.0 * std::sin(k / 5.0));
    }
    compteurs[3]->FixerSignal(1, entree1);
    compteurs[3]->FixerSignal(2, entree2);
    compteurs[4]->FixerSignal(1, seule);
    compteurs[5]->FixerSignal(1, bas);
    compteurs[5]->FixerCommutateur(1, 4, haut);
    compteurs[2]->FixerPhase(phases);

    Cliquer(Ajouter("5313x_2v.dll"), P_Conf_F_2_Conf_OK2V);
    Cliquer(Ajouter("5313x_1v.dll"), Conf_Fr_B_Conf_OK);
    const int sw = Ajouter("5313x_sw.dll");
    ASSERT_EQ(ui_test::EntrerValeur(sw, Conf_FrSw_NUM_Conf_Adr_Freq, 5), 0);
    Cliquer(sw, Conf_FrSw_B_Conf_OK);
    const int phase = Ajouter("HP53131_phase.dll");
    ASSERT_EQ(ui_test::EntrerValeur(phase, P_INSTR_NM_GPIB_ADRSS, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(phase, P_INSTR_RINGSLIDE, 0), 0);
    Cliquer(phase, P_INSTR_CB_OK);

    SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, 3);
    const std::string fichier = dossier.filePath("compteurs.xls").toStdString();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_TRUE(ui_test::Vus().size() == 1) << "only the file chooser";
    ui_test::Effacer();
    // Channels in list order: 1-2 the two-channel counter, 3 the one-channel counter, 4-5 the
    // switched counter, 6 the phase.
    std::vector<LC_GRAPH *> fenetres;
    for (LC_GRAPH *w = graphs; w; w = w->next) fenetres.push_back(w);
    ASSERT_EQ(fenetres.size(), 3u);
    const int traces[3][2] = {{1, 2}, {4, 5}, {6, 3}};
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(ui_test::ChoisirElement(fenetres[k]->panelGraph, P_Graph_TRACE_GAUCHE, traces[k][0]), 0);
        ASSERT_EQ(ui_test::ChoisirElement(fenetres[k]->panelGraph, P_Graph_TRACE_DROIT, traces[k][1]), 0);
    }
    for (int k = 0; k < 60; ++k) ASSERT_NO_FATAL_FAILURE(Tick());
    for (int k = 0; k < 5; ++k) QApplication::processEvents();

    // Each window draws both of its traces (yellow on the left, green on the right).
    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("window " + std::to_string(k + 1));
        QWidget *f = ui_test::Fenetre(fenetres[k]->panelGraph);
        ASSERT_NE(f, nullptr);
        const QImage image = f->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (!garder.isEmpty()) image.save(QDir(garder).filePath(QString("compteurs_%1.png").arg(k + 1)));
        const QRect zone = ui_test::Widget(fenetres[k]->panelGraph, P_Graph_GRAPH)->geometry();
        int gauche = 0, droite = 0;
        for (int y = zone.top(); y <= zone.bottom(); ++y)
            for (int x = zone.left(); x <= zone.right(); ++x) {
                const int rgb = static_cast<int>(image.pixel(x, y) & 0xFFFFFF);
                gauche += rgb == 0xFFFF00;
                droite += rgb == 0x00FF00;
            }
        EXPECT_GT(gauche, 100);
        EXPECT_GT(droite, 100);
    }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    // The record file: a column pair per channel, every line with fresh readings.
    std::istringstream contenu(LireFichier(fichier));
    std::string entete, ligne;
    std::getline(contenu, entete);
    for (const std::string nom :
         {"Fréquencemètre 2 voies Voie 1"_w, "Fréquencemètre 2 voies Voie 2"_w, "Fréquencemètre Voie 1"_w,
          "Fréquencemètre Switché Voie 1"_w, "Fréquencemètre Switché Voie 2"_w, "HP53131 - phase Phase 1 to 2"})
        EXPECT_NE(entete.find("\t" + nom + "\t"), std::string::npos) << nom;
    int lignes = 0;
    std::vector<double> precedents(6, 0.0);
    while (std::getline(contenu, ligne)) {
        if (ligne.empty()) continue;
        ++lignes;
        std::vector<std::string> champs;
        std::istringstream l(ligne);
        for (std::string c; std::getline(l, c, '\t');) champs.push_back(c);
        ASSERT_GE(champs.size(), 16u) << ligne;
        std::vector<double> v, n;
        for (int voie = 0; voie < 6; ++voie) {
            v.push_back(std::stod(champs[4 + 2 * voie]));
            n.push_back(std::stod(champs[5 + 2 * voie]));
        }
        EXPECT_NEAR(v[0], 1e6, 2.01e5);
        EXPECT_NEAR(v[1], 2.2e6, 2.01e5);
        EXPECT_GE(v[2], 5e6);
        EXPECT_LE(v[2], 13e6);
        EXPECT_NEAR(v[3], 10e6, 1.01e6) << "switch line low";
        EXPECT_NEAR(v[4], 15e6, 1.01e6) << "switch line high";
        EXPECT_NEAR(v[5], 90.0, 60.01);
        for (int voie = 0; voie < 6; ++voie) {
            EXPECT_GT(n[voie], precedents[voie]) << "channel " << voie + 1;
            precedents[voie] = n[voie];
        }
    }
    EXPECT_EQ(lignes, 60);
    EXPECT_TRUE(ui_test::Vus().empty());
}

}  // namespace
