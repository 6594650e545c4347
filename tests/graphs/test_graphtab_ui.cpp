// Graph windows and the measurement table during acquisitions driven as the operator drives
// them: channels picked in the windows' rings, scaling chosen in their dialogs, colours, the two
// check boxes, windows added and removed while acquiring, and what every window then shows.
#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "graphs/graphtab.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_graph.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"
#include "uir/UIR_graphtab.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Span of the finite values, as an automatic axis shows it.
double Ecart(const std::vector<double> &v) {
    double lo = INFINITY, hi = -INFINITY;
    for (double x : v)
        if (std::isfinite(x)) lo = std::min(lo, x), hi = std::max(hi, x);
    return hi - lo;
}

// What a graph shows: its plots with their axis, colour and values.
struct Trace {
    int axe, couleur;
    std::vector<double> y;
};

class Graphes : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        // Small rings and quick averages, so that a few ticks fill the curves.
        SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, 10);
        SetCtrlVal(panel_graphs, P_Graphs_N_mid, 2);
        SetCtrlVal(panel_graphs, P_Graphs_N_long, 2);
    }
    void TearDown() override {
        if (acquisition_en_cours == 1) ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        EXPECT_EQ(graphs, nullptr);
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        BancTest::TearDown();
    }

    // "Volt" with two measured channels U and I; their values are set at each tick.
    PInstrument *AjouterVoltmetre() {
        volt = AjouterEssai(MesuresScalaires("Volt", {"U", "I"}, {0.0, 0.0}, 1));
        return volt;
    }
    void AjouterPiloteBidon() {
        PInstrument *i = Nouvel_instrument("pilote_bidon.dll");
        ASSERT_NE(i, nullptr);
        liste_instru = Inserer_instru(liste_instru, "pilote_bidon.dll", i, get_tatoo());
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, "Pilote bidon", 0);
    }

    void Demarrer(int nb_graphes) {
        SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, nb_graphes);
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("mesures.xls").toStdString());
        ASSERT_EQ(ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq), 0);
        ASSERT_EQ(acquisition_en_cours, 1);
    }
    void Arreter() { ASSERT_EQ(ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq), 0); }

    // One sampling tick with U and I at these values.
    void Tick(double u, double i) {
        if (volt) Essai(volt).config.valeurs_1D = {u, i};
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    static std::vector<LC_GRAPH *> Fenetres() {
        std::vector<LC_GRAPH *> f;
        for (LC_GRAPH *w = graphs; w; w = w->next) f.push_back(w);
        return f;
    }
    static std::vector<Trace> Traces(int panel, int graphe) {
        std::vector<int> plots;
        GetGraphPlots(panel, graphe, &plots);
        std::vector<Trace> t;
        for (int h : plots) {
            Trace tr{};
            GetPlotAttribute(panel, graphe, h, ATTR_PLOT_YAXIS, &tr.axe);
            GetPlotAttribute(panel, graphe, h, ATTR_TRACE_COLOR, &tr.couleur);
            GetPlotData(panel, graphe, h, nullptr, &tr.y);
            t.push_back(tr);
        }
        return t;
    }
    static double Valeur(int panel, int control) {
        double v = NaN;
        GetCtrlVal(panel, control, &v);
        return v;
    }
    static std::pair<double, double> Etendue(int panel, int graphe, int axe, int *mode = nullptr) {
        int m = -1;
        double lo = NaN, hi = NaN;
        GetAxisScalingMode(panel, graphe, axe, &m, &lo, &hi);
        if (mode) *mode = m;
        return {lo, hi};
    }
    static bool Visible(int panel, int control) {
        int v = -1;
        GetCtrlAttribute(panel, control, ATTR_VISIBLE, &v);
        return v == 1;
    }
    static bool PanneauVisible(int panel) {
        int v = -1;
        GetPanelAttribute(panel, ATTR_VISIBLE, &v);
        return v == 1;
    }
    static std::string Reference(int panel, int control) {
        char r[30] = "?";
        GetCtrlVal(panel, control, r);
        return r;
    }
    // The newest `n` values of a channel's curve, as the framework keeps it.
    static std::vector<double> Courbe(const double *c) { return std::vector<double>(c, c + nbpointsgraph); }

    // The table panel: the loaded panel titled as the table.
    static int PanneauTableau() {
        for (int h : ui_test::PanneauxCharges()) {
            char titre[64] = "";
            GetPanelAttribute(h, ATTR_TITLE, titre, sizeof titre);
            if (std::string(titre) == "TABLEAU DES MESURES") return h;
        }
        return 0;
    }

    PInstrument *volt = nullptr;
};

TEST_F(Graphes, WindowsDrawTheChosenChannelsOnTheirOwnAxesWithSpans) {
    AjouterVoltmetre();
    AjouterPiloteBidon();
    Demarrer(2);
    const auto f = Fenetres();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(nbgraphs, 2);
    LC_GRAPH *a = f[0], *b = f[1];
    const int pa = a->panelGraph;

    // A new window: "(aucun)" on both sides, yellow and green, nothing drawn, x from 0 to 9.
    for (LC_GRAPH *w : f) {
        EXPECT_TRUE(PanneauVisible(w->panelGraph));
        EXPECT_FALSE(PanneauVisible(w->panelChoixAxe));
        EXPECT_EQ(Reference(w->panelGraph, P_Graph_TRACE_GAUCHE), "");
        EXPECT_EQ(Reference(w->panelGraph, P_Graph_TRACE_DROIT), "");
        EXPECT_EQ(w->color_left, 0xFFFF00);
        EXPECT_EQ(w->color_right, 0x00FF00);
        int n = 0;
        GetNumListItems(w->panelGraph, P_Graph_TRACE_GAUCHE, &n);
        EXPECT_EQ(n, 1 + nb_Bcirc);
        GetNumListItems(w->panelGraph, P_Graph_RG_COLOR_D, &n);
        EXPECT_EQ(n, 7);
        int couleur = 0;
        GetCtrlAttribute(w->panelGraph, P_Graph_DIFF_VOIE_1_2, ATTR_TEXT_COLOR, &couleur);
        EXPECT_EQ(couleur, 0xFFFF00);
        GetCtrlAttribute(w->panelGraph, P_Graph_TRACE_DROIT, ATTR_LABEL_COLOR, &couleur);
        EXPECT_EQ(couleur, 0x00FF00);
        int mode = -1;
        EXPECT_EQ(Etendue(w->panelGraph, P_Graph_GRAPH_3, VAL_XAXIS, &mode), std::make_pair(0.0, 9.0));
        EXPECT_EQ(mode, VAL_MANUAL);
    }
    Tick(0.5, 5.0);
    EXPECT_TRUE(Traces(pa, P_Graph_GRAPH).empty());

    // Window a: U on the left, I on the right; window b: I on the left only.
    ASSERT_EQ(ui_test::ChoisirElement(pa, P_Graph_TRACE_GAUCHE, 1), 0);
    ASSERT_EQ(ui_test::ChoisirElement(pa, P_Graph_TRACE_DROIT, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(b->panelGraph, P_Graph_TRACE_GAUCHE, 2), 0);
    for (int k = 1; k <= 5; ++k) Tick(k, 10.0 * k);

    const ptr *u = get_buffer_from_tatoo(Reference(pa, P_Graph_TRACE_GAUCHE).c_str());
    const ptr *i = get_buffer_from_tatoo(Reference(pa, P_Graph_TRACE_DROIT).c_str());
    ASSERT_NE(u, nullptr);
    ASSERT_NE(i, nullptr);
    EXPECT_STREQ(u->nom_voie, "Volt U");

    // The raw ring oldest first, the newest value at x = 9, the slots not yet filled as gaps.
    auto brut = Traces(pa, P_Graph_GRAPH);
    ASSERT_EQ(brut.size(), 2u);
    EXPECT_EQ(brut[0].axe, VAL_LEFT_YAXIS);
    EXPECT_EQ(brut[0].couleur, 0xFFFF00);
    EXPECT_TRUE(MemesValeurs(brut[0].y, {NaN, NaN, NaN, NaN, 0.5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(brut[1].axe, VAL_RIGHT_YAXIS);
    EXPECT_EQ(brut[1].couleur, 0x00FF00);
    EXPECT_TRUE(MemesValeurs(brut[1].y, {NaN, NaN, NaN, NaN, 5, 10, 20, 30, 40, 50}));
    // The averages as the framework keeps them, on the same axes.
    for (auto [graphe, gauche, droite] : {std::tuple{P_Graph_GRAPH_2, u->points_mid, i->points_mid},
                                          std::tuple{P_Graph_GRAPH_3, u->points_long, i->points_long}}) {
        auto t = Traces(pa, graphe);
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[0].axe, VAL_LEFT_YAXIS);
        EXPECT_TRUE(MemesValeurs(t[0].y, Courbe(gauche)));
        EXPECT_EQ(t[1].axe, VAL_RIGHT_YAXIS);
        EXPECT_TRUE(MemesValeurs(t[1].y, Courbe(droite)));
    }
    // Each span is the one its automatic axis has.
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_1), 4.5);
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_2), 45.0);
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_1_1), Ecart(Courbe(u->points_mid)));
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_2_1), Ecart(Courbe(i->points_mid)));
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_1_2), Ecart(Courbe(u->points_long)));
    EXPECT_DOUBLE_EQ(Valeur(pa, P_Graph_DIFF_VOIE_2_2), Ecart(Courbe(i->points_long)));
    EXPECT_GT(Valeur(pa, P_Graph_DIFF_VOIE_2_1), 0.0);

    // The same channel in another window, there on the left.
    brut = Traces(b->panelGraph, P_Graph_GRAPH);
    ASSERT_EQ(brut.size(), 1u);
    EXPECT_EQ(brut[0].axe, VAL_LEFT_YAXIS);
    EXPECT_EQ(brut[0].couleur, 0xFFFF00);
    EXPECT_TRUE(MemesValeurs(brut[0].y, {NaN, NaN, NaN, NaN, 5, 10, 20, 30, 40, 50}));

    // A missing reading is a gap at the newest end.
    Tick(NaN, 60.0);
    brut = Traces(pa, P_Graph_GRAPH);
    EXPECT_TRUE(std::isnan(brut[0].y.back()));
    EXPECT_EQ(brut[0].y[8], 5.0);

    // Back to "(aucun)": that side's three traces go at the next sample, its spans stay.
    const double ecart_gauche = Valeur(pa, P_Graph_DIFF_VOIE_1);
    ASSERT_EQ(ui_test::ChoisirElement(pa, P_Graph_TRACE_GAUCHE, 0), 0);
    EXPECT_EQ(Traces(pa, P_Graph_GRAPH).size(), 2u);
    Tick(7.0, 70.0);
    for (int g : {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3}) {
        auto t = Traces(pa, g);
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].axe, VAL_RIGHT_YAXIS);
    }
    EXPECT_EQ(Valeur(pa, P_Graph_DIFF_VOIE_1), ecart_gauche);

    Arreter();
    EXPECT_EQ(graphs, nullptr);
    EXPECT_EQ(HidePanel(pa), UIE_BAD_PANEL);
    EXPECT_EQ(PanneauTableau(), 0);
}

// The scaling choice of the left axis of GRAPH, made in the window's dialog without pressing
// OK, takes effect at the next sample; the span is read before it is applied.
TEST_F(Graphes, ScalingChoicesOfTheDialog) {
    AjouterVoltmetre();
    Demarrer(1);
    LC_GRAPH *w = graphs;
    ASSERT_NE(w, nullptr);
    const int p = w->panelGraph, choix = w->panelChoixAxe;
    ASSERT_EQ(ui_test::ChoisirElement(p, P_Graph_TRACE_GAUCHE, 1), 0);

    struct Cas {
        const char *nom;
        int index;                 // item of RING_Choix_Echelle_G
        double mini, maxi, centre; // values typed in the dialog
        double dernier;            // newest value of the channel
        int mode;                  // mode of the left axis of GRAPH after the sample
        std::pair<double, double> etendue;
        bool min_grise, centre_grise;
    };
    // Every case starts from a ring of 1s and 4s under automatic scaling: the axis then runs
    // from 1 to 4.
    const Cas cas[] = {
        {"auto", 0, 0, 0, 0, 3.0, VAL_AUTOSCALE, {1, 4}, true, true},
        {"manuelle", 1, -5, 5, 0, 3.0, VAL_MANUAL, {-5, 5}, false, true},
        {"manuelle vide", 1, 5, 5, 0, 3.0, VAL_AUTOSCALE, {1, 4}, false, true},
        {"manuelle inversée", 1, 6, 2, 0, 3.0, VAL_AUTOSCALE, {1, 4}, false, true},
        {"centrée", 2, 0, 0, 2, 10.0, VAL_MANUAL, {8, 12}, true, false},
        {"centrée sur rien", 2, 0, 0, 0, 10.0, VAL_AUTOSCALE, {1, 10}, true, false},
        {"centrée sans valeur", 2, 0, 0, 2, NaN, VAL_AUTOSCALE, {1, 4}, true, false},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ASSERT_EQ(ui_test::ChoisirElement(choix, P_Choix_RING_Choix_Echelle_G, 0), 0);
        for (int k = 0; k < 10; ++k) Tick(k % 2 ? 4.0 : 1.0, 0);
        ASSERT_EQ(Etendue(p, P_Graph_GRAPH, VAL_LEFT_YAXIS), std::make_pair(1.0, 4.0));

        ASSERT_EQ(ui_test::ChoisirElement(choix, P_Choix_RING_Choix_Echelle_G, c.index), 0);
        int grise = -1;
        GetCtrlAttribute(choix, P_Choix_NUM_Val_MIN_Gauche, ATTR_DIMMED, &grise);
        EXPECT_EQ(grise == 1, c.min_grise);
        GetCtrlAttribute(choix, P_Choix_NUM_Val_MAX_Gauche, ATTR_DIMMED, &grise);
        EXPECT_EQ(grise == 1, c.min_grise);
        GetCtrlAttribute(choix, P_Choix_NUM_Val_Centrage_G, ATTR_DIMMED, &grise);
        EXPECT_EQ(grise == 1, c.centre_grise);
        if (c.index == 1) {
            ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_MIN_Gauche, c.mini), 0);
            ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_MAX_Gauche, c.maxi), 0);
        }
        if (c.index == 2) {
            ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_Centrage_G, c.centre), 0);
        }

        Tick(c.dernier, 0);
        int mode = -1;
        EXPECT_EQ(Etendue(p, P_Graph_GRAPH, VAL_LEFT_YAXIS, &mode), c.etendue);
        EXPECT_EQ(mode, c.mode);
        // The span shown is the one the plots gave, before the choice applied.
        const double attendu = std::isnan(c.dernier) ? 3.0 : std::max(c.dernier, 4.0) - 1.0;
        EXPECT_DOUBLE_EQ(Valeur(p, P_Graph_DIFF_VOIE_1), attendu);
        // The averages keep their automatic scaling.
        Etendue(p, P_Graph_GRAPH_2, VAL_LEFT_YAXIS, &mode);
        EXPECT_EQ(mode, VAL_AUTOSCALE);
    }

    // Centred scaling follows the newest value, and the span then shows the width of the range
    // set at the sample before.
    ASSERT_EQ(ui_test::ChoisirElement(choix, P_Choix_RING_Choix_Echelle_G, 2), 0);
    ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_Centrage_G, 2), 0);
    Tick(10.0, 0);
    Tick(11.0, 0);
    EXPECT_EQ(Etendue(p, P_Graph_GRAPH, VAL_LEFT_YAXIS), std::make_pair(9.0, 13.0));
    EXPECT_DOUBLE_EQ(Valeur(p, P_Graph_DIFF_VOIE_1), 4.0);
    EXPECT_FALSE(PanneauVisible(choix));
}

TEST_F(Graphes, ColourChangesLabelsAtOnceAndTracesAtTheNextSample) {
    AjouterVoltmetre();
    Demarrer(1);
    const int p = graphs->panelGraph;
    ASSERT_EQ(ui_test::ChoisirElement(p, P_Graph_TRACE_GAUCHE, 1), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_Graph_TRACE_DROIT, 2), 0);
    Tick(1, 2);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_Graph_RG_COLOR_G, 4), 0);  // "Rouge"
    EXPECT_EQ(graphs->color_left, 0xFF0000);
    for (int c : {P_Graph_TRACE_GAUCHE, P_Graph_DIFF_VOIE_1, P_Graph_DIFF_VOIE_1_1, P_Graph_DIFF_VOIE_1_2}) {
        int couleur = 0;
        GetCtrlAttribute(p, c, ATTR_LABEL_COLOR, &couleur);
        EXPECT_EQ(couleur, 0xFF0000);
        GetCtrlAttribute(p, c, ATTR_TEXT_COLOR, &couleur);
        EXPECT_EQ(couleur, 0xFF0000);
    }
    int droite = 0;
    GetCtrlAttribute(p, P_Graph_DIFF_VOIE_2, ATTR_TEXT_COLOR, &droite);
    EXPECT_EQ(droite, 0x00FF00);
    EXPECT_EQ(Traces(p, P_Graph_GRAPH)[0].couleur, 0xFFFF00);
    Tick(1, 2);
    for (int g : {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3}) {
        const auto t = Traces(p, g);
        ASSERT_EQ(t.size(), 2u);
        EXPECT_EQ(t[0].couleur, 0xFF0000);
        EXPECT_EQ(t[1].couleur, 0x00FF00);
    }
}

TEST_F(Graphes, RightClickOpensThatWindowsDialogAndTheWindowsDoNotClose) {
    AjouterVoltmetre();
    Demarrer(2);
    LC_GRAPH *a = graphs, *b = graphs->next;
    QApplication::processEvents();
    QWidget *graphe_b = ui_test::Widget(b->panelGraph, P_Graph_GRAPH);
    ASSERT_NE(graphe_b, nullptr);
    QTest::mouseClick(ui_test::Widget(b->panelGraph, P_Graph_GRAPH_2), Qt::RightButton);
    EXPECT_FALSE(PanneauVisible(b->panelChoixAxe));
    QTest::mouseClick(graphe_b, Qt::RightButton);
    EXPECT_TRUE(PanneauVisible(b->panelChoixAxe));
    EXPECT_FALSE(PanneauVisible(a->panelChoixAxe));
    ASSERT_EQ(ui_test::Cliquer(b->panelChoixAxe, P_Choix_OK_AXES), 0);
    EXPECT_FALSE(PanneauVisible(b->panelChoixAxe));

    ui_test::Fenetre(a->panelGraph)->close();
    QApplication::processEvents();
    EXPECT_TRUE(PanneauVisible(a->panelGraph));
    EXPECT_EQ(graphs, a);
}

TEST_F(Graphes, CheckBoxesHideTheAverageGraphsOfTheirOwnWindowWhichKeepBeingRefreshed) {
    AjouterVoltmetre();
    Demarrer(2);
    LC_GRAPH *a = graphs, *b = graphs->next;
    for (LC_GRAPH *w : {a, b}) ui_test::ChoisirElement(w->panelGraph, P_Graph_TRACE_GAUCHE, 1);
    Tick(1, 0);
    QApplication::processEvents();

    ASSERT_EQ(ui_test::Cliquer(a->panelGraph, P_Graph_CHK_ENABLE_3), 0);
    for (int c : {P_Graph_GRAPH_3, P_Graph_DIFF_VOIE_1_2, P_Graph_DIFF_VOIE_2_2}) {
        EXPECT_FALSE(Visible(a->panelGraph, c));
        EXPECT_TRUE(Visible(b->panelGraph, c));
    }
    for (int c : {P_Graph_GRAPH_2, P_Graph_DIFF_VOIE_1_1, P_Graph_DIFF_VOIE_2_1, P_Graph_GRAPH})
        EXPECT_TRUE(Visible(a->panelGraph, c));
    ASSERT_EQ(ui_test::Cliquer(b->panelGraph, P_Graph_CHK_ENABLE_2), 0);
    for (int c : {P_Graph_GRAPH_2, P_Graph_DIFF_VOIE_1_1, P_Graph_DIFF_VOIE_2_1}) {
        EXPECT_FALSE(Visible(b->panelGraph, c));
        EXPECT_TRUE(Visible(a->panelGraph, c));
    }

    // The hidden graph goes on taking the curves, without drawing them.
    int dessins_avant = 0, dessins_apres = 0;
    GetGraphDrawCount(a->panelGraph, P_Graph_GRAPH_3, &dessins_avant);
    for (int k = 2; k < 12; ++k) Tick(k, 0);
    QApplication::processEvents();
    GetGraphDrawCount(a->panelGraph, P_Graph_GRAPH_3, &dessins_apres);
    EXPECT_EQ(dessins_apres, dessins_avant);
    const ptr *u = get_buffer_from_tatoo(Reference(a->panelGraph, P_Graph_TRACE_GAUCHE).c_str());
    ASSERT_NE(u, nullptr);
    EXPECT_TRUE(MemesValeurs(Traces(a->panelGraph, P_Graph_GRAPH_3)[0].y, Courbe(u->points_long)));
    EXPECT_GT(Valeur(a->panelGraph, P_Graph_DIFF_VOIE_1_2), 0.0);

    // Shown again, it shows the current curves.
    ASSERT_EQ(ui_test::Cliquer(a->panelGraph, P_Graph_CHK_ENABLE_3), 0);
    EXPECT_TRUE(Visible(a->panelGraph, P_Graph_GRAPH_3));
    QApplication::processEvents();
    GetGraphDrawCount(a->panelGraph, P_Graph_GRAPH_3, &dessins_apres);
    EXPECT_EQ(dessins_apres, dessins_avant + 1);
}

TEST_F(Graphes, WindowsComeAndGoAtTheEndOfTheListWhileAcquiring) {
    AjouterVoltmetre();
    // While stopped the count only waits for the next start.
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 4), 0);
    EXPECT_EQ(graphs, nullptr);

    Demarrer(3);
    const auto debut = Fenetres();
    ASSERT_EQ(debut.size(), 3u);
    ui_test::ChoisirElement(debut[2]->panelGraph, P_Graph_TRACE_GAUCHE, 1);

    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 5), 0);
    auto f = Fenetres();
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(nbgraphs, 5);
    EXPECT_TRUE(std::equal(debut.begin(), debut.end(), f.begin()));
    for (LC_GRAPH *w : {f[3], f[4]}) {
        EXPECT_TRUE(PanneauVisible(w->panelGraph));
        EXPECT_EQ(Reference(w->panelGraph, P_Graph_TRACE_GAUCHE), "");
        EXPECT_EQ(w->color_left, 0xFFFF00);
        int mode = -1;
        EXPECT_EQ(Etendue(w->panelGraph, P_Graph_GRAPH, VAL_XAXIS, &mode), std::make_pair(0.0, 9.0));
    }
    // An added window draws its channel from the next sample on.
    ui_test::ChoisirElement(f[4]->panelGraph, P_Graph_TRACE_DROIT, 2);
    Tick(1, 2);
    ASSERT_EQ(Traces(f[4]->panelGraph, P_Graph_GRAPH).size(), 1u);
    EXPECT_EQ(Traces(f[4]->panelGraph, P_Graph_GRAPH)[0].axe, VAL_RIGHT_YAXIS);

    // Going down to 2 removes the three at the tail: the two added, then the first one built.
    const std::vector<int> retires = {f[2]->panelGraph, f[3]->panelGraph, f[4]->panelGraph, f[4]->panelChoixAxe};
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 2), 0);
    EXPECT_EQ(Fenetres(), (std::vector<LC_GRAPH *>{debut[0], debut[1]}));
    EXPECT_EQ(nbgraphs, 2);
    for (int h : retires) EXPECT_EQ(HidePanel(h), UIE_BAD_PANEL);
    // 0 asks for nothing.
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 0), 0);
    EXPECT_EQ(Fenetres().size(), 2u);
    Tick(1, 2);

    Arreter();
    EXPECT_EQ(graphs, nullptr);
    // A change while stopped creates nothing.
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 3), 0);
    EXPECT_EQ(graphs, nullptr);
}

TEST_F(Graphes, TableKeepsTheNewest501RowsOfEveryScalarChannel) {
    AjouterVoltmetre();
    ConfigEssai calcul;
    calcul.nom = "Calc";
    calcul.calculs_1D = true;
    calcul.noms_calcul = {"moy"};
    calcul.valeurs_calcul = {0.25};
    AjouterEssai(calcul);
    Demarrer(0);
    EXPECT_EQ(graphs, nullptr);
    const int t = PanneauTableau();
    ASSERT_GT(t, 0);
    EXPECT_TRUE(PanneauVisible(t));
    int colonnes = 0, lignes = -1;
    GetNumTableColumns(t, P_AFF_TAB_TABLE, &colonnes);
    ASSERT_EQ(colonnes, 3);
    char titre[64] = "";
    for (auto [c, attendu] : {std::pair{1, "Volt U"}, std::pair{2, "Volt I"}, std::pair{3, "Calc moy"}}) {
        GetTableColumnAttribute(t, P_AFF_TAB_TABLE, c, ATTR_LABEL_TEXT, titre, sizeof titre);
        EXPECT_STREQ(titre, attendu);
        int format = 0, precision = 0;
        GetTableColumnAttribute(t, P_AFF_TAB_TABLE, c, ATTR_FORMAT, &format);
        GetTableColumnAttribute(t, P_AFF_TAB_TABLE, c, ATTR_PRECISION, &precision);
        EXPECT_EQ(format, 0xFFF2);
        EXPECT_EQ(precision, 8);
    }
    GetNumTableRows(t, P_AFF_TAB_TABLE, &lignes);
    EXPECT_EQ(lignes, 0);

    Tick(1, NaN);
    GetNumTableRows(t, P_AFF_TAB_TABLE, &lignes);
    EXPECT_EQ(lignes, 1);
    char texte[32] = "";
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(2, 1), texte, sizeof texte);
    EXPECT_STREQ(texte, "NaN");
    for (int k = 2; k <= 502; ++k) Tick(k, 0.5 * k);
    GetNumTableRows(t, P_AFF_TAB_TABLE, &lignes);
    EXPECT_EQ(lignes, 501);
    double v = 0;
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(1, 1), &v);
    EXPECT_EQ(v, 2.0);
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(1, 501), &v);
    EXPECT_EQ(v, 502.0);
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(2, 501), &v);
    EXPECT_EQ(v, 251.0);
    // A computed channel: its value of the sample before.
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(3, 501), &v);
    EXPECT_EQ(v, 0.25);
    GetTableCellVal(t, P_AFF_TAB_TABLE, MakePoint(1, 500), texte, sizeof texte);
    EXPECT_STREQ(texte, "501");
    // The newest rows are in view, the newest one included.
    QApplication::processEvents();
    int premiere = 0;
    GetCtrlAttribute(t, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, &premiere);
    EXPECT_GT(premiere, 400);
    auto *vue = qobject_cast<QTableWidget *>(ui_test::Widget(t, P_AFF_TAB_TABLE));
    ASSERT_NE(vue, nullptr);
    EXPECT_EQ(vue->rowAt(vue->viewport()->height() - 2), 500);

    // The next start builds it empty.
    Arreter();
    Demarrer(0);
    const int t2 = PanneauTableau();
    ASSERT_GT(t2, 0);
    EXPECT_NE(t2, t);
    GetNumTableRows(t2, P_AFF_TAB_TABLE, &lignes);
    EXPECT_EQ(lignes, 0);
}

// A resource file that cannot be read: the acquisition runs without table and windows, and a
// count changed meanwhile neither claims windows that do not exist nor trips on an empty list.
TEST_F(Graphes, MissingPanelsLeaveTheAcquisitionRunningWithoutWindows) {
    AjouterVoltmetre();
    QTemporaryDir vide;
    SetResourceDirectory(vide.path().toUtf8().constData());
    Demarrer(3);
    EXPECT_EQ(graphs, nullptr);
    EXPECT_EQ(nbgraphs, 0);
    EXPECT_EQ(PanneauTableau(), 0);
    Tick(1, 2);
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 1), 0);
    // The added window could not be built: it is listed and counted, and never read.
    ASSERT_EQ(Fenetres().size(), 1u);
    EXPECT_EQ(nbgraphs, 1);
    EXPECT_LT(graphs->panelGraph, 0);
    Tick(1, 2);
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 2), 0);
    ASSERT_EQ(ui_test::EntrerValeur(panel_graphs, P_Graphs_NUMERIC, 1), 0);
    EXPECT_EQ(nbgraphs, 1);
    Tick(3, 4);
    Arreter();
    EXPECT_EQ(graphs, nullptr);

    // A window whose scaling dialog cannot be loaded keeps its graph panel hidden and unread.
    QFile source(BANC_SOURCE_DIR "/ui/UIR_graphtab.uir");
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QJsonObject racine = QJsonDocument::fromJson(source.readAll()).object();
    QJsonArray panneaux;
    for (const QJsonValue &p : racine.value("panels").toArray())
        if (p.toObject().value("constant").toString() != "P_Choix") panneaux.append(p);
    racine["panels"] = panneaux;
    QFile copie(vide.filePath("UIR_graphtab.uir"));
    ASSERT_TRUE(copie.open(QIODevice::WriteOnly));
    copie.write(QJsonDocument(racine).toJson());
    copie.close();
    SetResourceDirectory(vide.path().toUtf8().constData());
    Demarrer(1);
    ASSERT_NE(graphs, nullptr);
    EXPECT_GT(graphs->panelGraph, 0);
    EXPECT_LT(graphs->panelChoixAxe, 0);
    EXPECT_FALSE(PanneauVisible(graphs->panelGraph));
    EXPECT_GT(PanneauTableau(), 0);
    Tick(1, 2);
    EXPECT_TRUE(Traces(graphs->panelGraph, P_Graph_GRAPH).empty());
}

// Screenshots of two graph windows in a running acquisition: they show their traces. Set
// BANC_CAPTURES to a directory to keep the images.
TEST_F(Graphes, TwoWindowsOnScreenShowTheirTraces) {
    AjouterVoltmetre();
    AjouterPiloteBidon();
    SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, 200);
    SetCtrlVal(panel_graphs, P_Graphs_N_mid, 4);
    SetCtrlVal(panel_graphs, P_Graphs_N_long, 3);
    Demarrer(2);
    const auto f = Fenetres();
    ui_test::ChoisirElement(f[0]->panelGraph, P_Graph_TRACE_GAUCHE, 1);
    ui_test::ChoisirElement(f[0]->panelGraph, P_Graph_TRACE_DROIT, 2);
    ui_test::ChoisirElement(f[1]->panelGraph, P_Graph_TRACE_GAUCHE, 2);
    ui_test::ChoisirElement(f[1]->panelGraph, P_Graph_RG_COLOR_G, 5);  // "Cyan"
    ui_test::ChoisirElement(f[1]->panelGraph, P_Graph_TRACE_DROIT, 1);
    ui_test::ChoisirElement(f[1]->panelGraph, P_Graph_RG_COLOR_D, 6);  // "Magenta"
    for (int k = 0; k < 260; ++k) {
        const double u = std::sin(k / 9.0) + 0.2 * std::sin(k / 1.7);
        const double i = k >= 120 && k < 135 ? NaN : 50.0 + 20.0 * std::cos(k / 23.0);
        Tick(u, i);
    }
    for (int k = 0; k < 5; ++k) QApplication::processEvents();

    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    struct Attendu {
        LC_GRAPH *fenetre;
        int gauche, droite;
        const char *nom;
    };
    for (const Attendu &a : {Attendu{f[0], 0xFFFF00, 0x00FF00, "graphe_1.png"},
                             Attendu{f[1], 0x00FFFF, 0xFF00FF, "graphe_2.png"}}) {
        SCOPED_TRACE(a.nom);
        QWidget *fenetre = ui_test::Fenetre(a.fenetre->panelGraph);
        ASSERT_NE(fenetre, nullptr);
        const QImage image = fenetre->grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (!garder.isEmpty()) image.save(QDir(garder).filePath(a.nom));
        // Count the pixels of each trace colour inside each graph.
        for (int g : {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3}) {
            const QRect zone = ui_test::Widget(a.fenetre->panelGraph, g)->geometry();
            int gauche = 0, droite = 0;
            for (int y = zone.top(); y <= zone.bottom(); ++y)
                for (int x = zone.left(); x <= zone.right(); ++x) {
                    const int rgb = static_cast<int>(image.pixel(x, y) & 0xFFFFFF);
                    gauche += rgb == a.gauche;
                    droite += rgb == a.droite;
                }
            EXPECT_GT(gauche, 150) << "graph " << g;
            EXPECT_GT(droite, 150) << "graph " << g;
        }
    }
    if (!garder.isEmpty()) {
        ui_test::Fenetre(PanneauTableau())->grab().save(QDir(garder).filePath("tableau.png"));
        QTest::mouseClick(ui_test::Widget(f[0]->panelGraph, P_Graph_GRAPH), Qt::RightButton);
        ui_test::ChoisirElement(f[0]->panelChoixAxe, P_Choix_RING_Choix_Echelle_D, 1);
        QApplication::processEvents();
        ui_test::Fenetre(f[0]->panelChoixAxe)->grab().save(QDir(garder).filePath("choix_echelles.png"));
    }
}

}  // namespace
