// The graph control of the user-interface layer and its companions, on the real widgets of the
// graph window's resource file: plots and their gaps, the range of each axis as soon as it is
// plotted, the scaling modes, coalesced drawing, panel callbacks, colours and geometry of
// controls, table columns and numeric cells.
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_graph.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_graphtab.h"

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QWidget>

#include <functional>
#include <optional>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

class GrapheUi : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        panel = LoadPanel(0, "UIR_graphtab.uir", P_Graph);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override {
        DiscardPanel(panel);
        QApplication::processEvents();
    }

    int Tracer(int graphe, const std::vector<double> &y, int couleur = 0xFFFF00) {
        return PlotY(panel, graphe, y.data(), static_cast<int>(y.size()), VAL_DOUBLE, VAL_THIN_LINE,
                     VAL_EMPTY_SQUARE, VAL_SOLID, 1, couleur);
    }
    std::vector<double> Donnees(int graphe, int plot) {
        std::vector<double> y;
        EXPECT_EQ(GetPlotData(panel, graphe, plot, nullptr, &y), 0);
        return y;
    }
    std::pair<double, double> Etendue(int graphe, int axe, int *mode = nullptr) {
        int m = -1;
        double lo = NaN, hi = NaN;
        EXPECT_EQ(GetAxisScalingMode(panel, graphe, axe, &m, &lo, &hi), 0);
        if (mode) *mode = m;
        return {lo, hi};
    }
    int Dessins(int graphe) {
        int n = -1;
        GetGraphDrawCount(panel, graphe, &n);
        return n;
    }
    // Lets the event loop draw what is pending.
    static void Laisser() {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }

    int panel = 0;
};

TEST_F(GrapheUi, PlotsAreCopiesOnTheActiveAxisWithTheirGaps) {
    std::vector<double> gauche = {NaN, 1.0, 5.0, NaN, 3.0};
    const int g = Tracer(P_Graph_GRAPH, gauche, 0xFFFF00);
    ASSERT_GT(g, 0);
    ASSERT_EQ(SetCtrlAttribute(panel, P_Graph_GRAPH, ATTR_ACTIVE_YAXIS, VAL_RIGHT_YAXIS), 0);
    const int d = Tracer(P_Graph_GRAPH, {10.0, 20.0}, 0x00FF00);
    ASSERT_GT(d, 0);
    EXPECT_NE(g, d);

    // The caller's array is free to change: the plot keeps what it was given.
    gauche[1] = 99.0;
    EXPECT_TRUE(MemesValeurs(Donnees(P_Graph_GRAPH, g), {NaN, 1.0, 5.0, NaN, 3.0}));
    std::vector<double> x;
    GetPlotData(panel, P_Graph_GRAPH, g, &x, nullptr);
    EXPECT_TRUE(MemesValeurs(x, {0, 1, 2, 3, 4}));

    std::vector<int> plots;
    GetGraphPlots(panel, P_Graph_GRAPH, &plots);
    EXPECT_EQ(plots, (std::vector<int>{g, d}));
    int axe = 0, couleur = 0, points = 0;
    GetPlotAttribute(panel, P_Graph_GRAPH, g, ATTR_PLOT_YAXIS, &axe);
    GetPlotAttribute(panel, P_Graph_GRAPH, g, ATTR_TRACE_COLOR, &couleur);
    GetPlotAttribute(panel, P_Graph_GRAPH, g, ATTR_NUM_POINTS, &points);
    EXPECT_EQ(axe, VAL_LEFT_YAXIS);
    EXPECT_EQ(couleur, 0xFFFF00);
    EXPECT_EQ(points, 5);
    GetPlotAttribute(panel, P_Graph_GRAPH, d, ATTR_PLOT_YAXIS, &axe);
    EXPECT_EQ(axe, VAL_RIGHT_YAXIS);

    // Each automatic axis spans the finite values of its own plots, at once.
    EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_LEFT_YAXIS), std::make_pair(1.0, 5.0));
    EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_RIGHT_YAXIS), std::make_pair(10.0, 20.0));
    EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_XAXIS), std::make_pair(0.0, 4.0));

    // A handle that names no plot of this graph changes nothing.
    EXPECT_EQ(DeleteGraphPlot(panel, P_Graph_GRAPH, 0, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_EQ(DeleteGraphPlot(panel, P_Graph_GRAPH_2, g, VAL_IMMEDIATE_DRAW), 0);
    GetGraphPlots(panel, P_Graph_GRAPH, &plots);
    EXPECT_EQ(plots.size(), 2u);

    // An axis left without plot keeps its last range; a new plot of another length reuses
    // nothing of the old one.
    EXPECT_EQ(DeleteGraphPlot(panel, P_Graph_GRAPH, g, VAL_IMMEDIATE_DRAW), 0);
    EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_LEFT_YAXIS), std::make_pair(1.0, 5.0));
    ASSERT_EQ(DeleteGraphPlot(panel, P_Graph_GRAPH, g, VAL_IMMEDIATE_DRAW), 0);
    SetCtrlAttribute(panel, P_Graph_GRAPH, ATTR_ACTIVE_YAXIS, VAL_LEFT_YAXIS);
    const int h = Tracer(P_Graph_GRAPH, {-2.0, 7.0, NaN});
    EXPECT_TRUE(MemesValeurs(Donnees(P_Graph_GRAPH, h), {-2.0, 7.0, NaN}));
    EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_LEFT_YAXIS), std::make_pair(-2.0, 7.0));

    // -1 deletes every plot.
    EXPECT_EQ(DeleteGraphPlot(panel, P_Graph_GRAPH, -1, VAL_IMMEDIATE_DRAW), 0);
    GetGraphPlots(panel, P_Graph_GRAPH, &plots);
    EXPECT_TRUE(plots.empty());

    // Wrong uses are refused.
    EXPECT_EQ(PlotY(panel, P_Graph_GRAPH, nullptr, 3, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(PlotY(panel, P_Graph_TRACE_GAUCHE, gauche.data(), 3, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(SetCtrlAttribute(panel, P_Graph_GRAPH, ATTR_ACTIVE_YAXIS, VAL_XAXIS), UIE_BAD_ATTRIBUTE);
    EXPECT_EQ(GetPlotData(panel, P_Graph_GRAPH, 12345, nullptr, nullptr), UIE_BAD_INDEX);
}

TEST_F(GrapheUi, OtherTypesAndPointsInTheirOrder) {
    const float f[] = {1.5f, -0.5f};
    const int i[] = {3, 4, 8};
    const int pf = PlotY(panel, P_Graph_GRAPH_2, f, 2, VAL_FLOAT, VAL_THIN_LINE, 0, 0, 1, 0xFF0000);
    EXPECT_TRUE(MemesValeurs(Donnees(P_Graph_GRAPH_2, pf), {1.5, -0.5}));
    const double xs[] = {2.0, 0.0, 1.0};
    const int pxy = PlotXY(panel, P_Graph_GRAPH_2, xs, i, 3, VAL_DOUBLE, VAL_INTEGER, VAL_CONNECTED_POINTS,
                           VAL_SOLID_SQUARE, VAL_DASH, 1, 0x00FFFF);
    std::vector<double> x, y;
    GetPlotData(panel, P_Graph_GRAPH_2, pxy, &x, &y);
    EXPECT_TRUE(MemesValeurs(x, {2.0, 0.0, 1.0}));
    EXPECT_TRUE(MemesValeurs(y, {3.0, 4.0, 8.0}));
    EXPECT_EQ(Etendue(P_Graph_GRAPH_2, VAL_LEFT_YAXIS), std::make_pair(-0.5, 8.0));
    EXPECT_EQ(Etendue(P_Graph_GRAPH_2, VAL_XAXIS), std::make_pair(0.0, 2.0));
}

// Each case: a scaling call on the left axis after a plot of 2..6, what it returns, the mode and
// range the axis then has, and its range after a second plot of 0..100.
TEST_F(GrapheUi, ScalingModes) {
    struct Cas {
        const char *nom;
        int mode;
        double mini, maxi;
        int resultat;
        int mode_lu;
        std::pair<double, double> etendue, apres_nouveau_trace;
    };
    const Cas cas[] = {
        {"auto", VAL_AUTOSCALE, 0, 0, 0, VAL_AUTOSCALE, {2, 6}, {0, 100}},
        {"manuel", VAL_MANUAL, -1, 3, 0, VAL_MANUAL, {-1, 3}, {-1, 3}},
        {"manuel vide", VAL_MANUAL, 3, 3, UIE_BAD_ATTRIBUTE, VAL_AUTOSCALE, {2, 6}, {0, 100}},
        {"manuel inverse", VAL_MANUAL, 5, -5, UIE_BAD_ATTRIBUTE, VAL_AUTOSCALE, {2, 6}, {0, 100}},
        {"manuel NaN", VAL_MANUAL, NaN, 1, UIE_BAD_ATTRIBUTE, VAL_AUTOSCALE, {2, 6}, {0, 100}},
        {"verrou", VAL_LOCK, 0, 0, 0, VAL_LOCK, {2, 6}, {2, 6}},
        {"inconnu", 7, 0, 1, UIE_BAD_ATTRIBUTE, VAL_AUTOSCALE, {2, 6}, {0, 100}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        DeleteGraphPlot(panel, P_Graph_GRAPH, -1, VAL_NO_DRAW);
        SetAxisScalingMode(panel, P_Graph_GRAPH, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
        Tracer(P_Graph_GRAPH, {2.0, 6.0, 4.0});
        EXPECT_EQ(SetAxisScalingMode(panel, P_Graph_GRAPH, VAL_LEFT_YAXIS, c.mode, c.mini, c.maxi), c.resultat);
        int mode = -1;
        EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_LEFT_YAXIS, &mode), c.etendue);
        EXPECT_EQ(mode, c.mode_lu);
        Tracer(P_Graph_GRAPH, {0.0, 100.0});
        EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_LEFT_YAXIS), c.apres_nouveau_trace);
        // The other axis is left alone.
        EXPECT_EQ(Etendue(P_Graph_GRAPH, VAL_RIGHT_YAXIS, &mode).first, 0.0);
        EXPECT_EQ(mode, VAL_AUTOSCALE);
    }

    // A flat curve spans nothing; an all-missing one leaves the axis where it was.
    DeleteGraphPlot(panel, P_Graph_GRAPH_3, -1, VAL_NO_DRAW);
    Tracer(P_Graph_GRAPH_3, {4.0, 4.0, NaN});
    EXPECT_EQ(Etendue(P_Graph_GRAPH_3, VAL_LEFT_YAXIS), std::make_pair(4.0, 4.0));
    DeleteGraphPlot(panel, P_Graph_GRAPH_3, -1, VAL_NO_DRAW);
    Tracer(P_Graph_GRAPH_3, {NaN, NaN});
    EXPECT_EQ(Etendue(P_Graph_GRAPH_3, VAL_LEFT_YAXIS), std::make_pair(4.0, 4.0));

    // The x axis: manual through SetAxisRange, y left unchanged.
    EXPECT_EQ(SetAxisRange(panel, P_Graph_GRAPH_3, VAL_MANUAL, 0.0, 499.0, VAL_NO_CHANGE, 0, 0), 0);
    int mode = -1;
    EXPECT_EQ(Etendue(P_Graph_GRAPH_3, VAL_XAXIS, &mode), std::make_pair(0.0, 499.0));
    EXPECT_EQ(mode, VAL_MANUAL);
    EXPECT_EQ(Etendue(P_Graph_GRAPH_3, VAL_LEFT_YAXIS, &mode), std::make_pair(4.0, 4.0));
    EXPECT_EQ(mode, VAL_AUTOSCALE);
}

// The texts of an axis's ticks tell neighbouring ticks apart whatever the range: each reads as
// its own tick's value (a power of ten written "e"), and no two neighbours read the same. A
// 10 MHz counter give or take 10 Hz, negative, tiny, huge and zero-crossing ranges.
TEST_F(GrapheUi, TickLabelsTellNeighbouringTicksApart) {
    using Textes = std::vector<std::string>;
    const struct {
        double bas, haut;
        Textes textes;  // when pinned
    } cas[] = {
        {9999990, 10000010, {"9999990", "9999995", "10000000", "10000005", "10000010"}},
        {-10000010, -9999990, {"-10000010", "-10000005", "-10000000", "-9999995", "-9999990"}},
        {1.5e9 - 3, 1.5e9 + 3, {}},
        {0, 1, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {-0.5, 0.5, {}},
        {2.2, 3.3, {}},
        {0, 1e-6, {"0", "2.0e-07", "4.0e-07", "6.0e-07", "8.0e-07", "1.0e-06"}},
        {1e-9, 1.00001e-9, {}},
        {-1e-12, 1e-12, {}},
        {0.000123456, 0.000123457, {}},
        {0, 1e12, {}},
        {1e20, 1.00001e20, {}},
        {-3e300, 3e300, {}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << c.bas << " .. " << c.haut);
        for (int graphe : {P_Graph_GRAPH, P_Graph_GRAPH_2}) {
            ASSERT_EQ(SetAxisScalingMode(panel, graphe, VAL_LEFT_YAXIS, VAL_MANUAL, c.bas, c.haut), 0);
            std::vector<double> ticks;
            Textes textes;
            ASSERT_EQ(GetAxisTicks(panel, graphe, VAL_LEFT_YAXIS, &ticks, &textes), 0);
            ASSERT_GE(ticks.size(), 3u);
            ASSERT_EQ(textes.size(), ticks.size());
            const double pas = ticks[1] - ticks[0];
            for (std::size_t k = 0; k < ticks.size(); ++k) {
                SCOPED_TRACE(textes[k]);
                char *fin = nullptr;
                const double lu = std::strtod(textes[k].c_str(), &fin);
                EXPECT_EQ(*fin, '\0');
                EXPECT_NEAR(lu, ticks[k], pas * 1e-3);
                if (k > 0) {
                    EXPECT_NE(textes[k], textes[k - 1]);
                }
            }
            if (!c.textes.empty()) {
                EXPECT_EQ(textes, c.textes);
            }
        }
    }
    // The x axis of the graph windows: points 0 to 999.
    std::vector<std::string> x;
    SetAxisRange(panel, P_Graph_GRAPH, VAL_MANUAL, 0.0, 999.0, VAL_NO_CHANGE, 0, 0);
    GetAxisTicks(panel, P_Graph_GRAPH, VAL_XAXIS, nullptr, &x);
    EXPECT_EQ(x, (std::vector<std::string>{"0", "200", "400", "600", "800"}));
}

// The plot areas of the three graphs of a window keep their edges in line when the texts of one
// axis widen, on the left as on the right, and follow them back when they narrow again.
TEST_F(GrapheUi, PlotAreasOfAWindowStayInLineWhenLabelsWiden) {
    DisplayPanel(panel);
    const auto zones = [&] {
        std::vector<std::pair<int, int>> z;
        for (int graphe : {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3}) {
            int gauche = -1, largeur = -1;
            EXPECT_EQ(GetGraphPlotArea(panel, graphe, &gauche, nullptr, &largeur, nullptr), 0);
            z.push_back({gauche, gauche + largeur});
        }
        return z;
    };
    const auto en_ligne = [](const std::vector<std::pair<int, int>> &z) {
        return z[0] == z[1] && z[1] == z[2];
    };
    Laisser();
    const auto etroites = zones();
    EXPECT_TRUE(en_ligne(etroites));

    SetAxisScalingMode(panel, P_Graph_GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, -12345678, -12345670);
    SetAxisScalingMode(panel, P_Graph_GRAPH_3, VAL_RIGHT_YAXIS, VAL_MANUAL, -12345678, -12345670);
    Laisser();
    const auto larges = zones();
    EXPECT_TRUE(en_ligne(larges)) << larges[0].first << " " << larges[1].first << " " << larges[2].first << " / "
                                  << larges[0].second << " " << larges[1].second << " " << larges[2].second;
    EXPECT_GT(larges[0].first, etroites[0].first);
    EXPECT_LT(larges[0].second, etroites[0].second);

    SetAxisScalingMode(panel, P_Graph_GRAPH, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
    SetAxisScalingMode(panel, P_Graph_GRAPH_3, VAL_RIGHT_YAXIS, VAL_MANUAL, 0, 10);
    Laisser();
    EXPECT_EQ(zones(), etroites);
}

TEST_F(GrapheUi, DrawingIsCoalescedAndWaitsForTheGraphToBeShown) {
    DisplayPanel(panel);
    Laisser();
    const int avant = Dessins(P_Graph_GRAPH);
    std::vector<double> y(1000, 1.0);
    for (int k = 0; k < 10; ++k) {
        DeleteGraphPlot(panel, P_Graph_GRAPH, -1, VAL_IMMEDIATE_DRAW);
        y[0] = k;
        Tracer(P_Graph_GRAPH, y);
    }
    EXPECT_EQ(Dessins(P_Graph_GRAPH), avant) << "nothing is drawn before the event loop turns";
    Laisser();
    EXPECT_EQ(Dessins(P_Graph_GRAPH), avant + 1);

    // A hidden graph takes its plots without drawing them, and draws them once shown.
    SetCtrlAttribute(panel, P_Graph_GRAPH_2, ATTR_VISIBLE, 0);
    Laisser();
    const int cache = Dessins(P_Graph_GRAPH_2);
    const int p = Tracer(P_Graph_GRAPH_2, {1.0, 2.0});
    Laisser();
    EXPECT_EQ(Dessins(P_Graph_GRAPH_2), cache);
    EXPECT_TRUE(MemesValeurs(Donnees(P_Graph_GRAPH_2, p), {1.0, 2.0}));
    SetCtrlAttribute(panel, P_Graph_GRAPH_2, ATTR_VISIBLE, 1);
    Laisser();
    EXPECT_EQ(Dessins(P_Graph_GRAPH_2), cache + 1);

    // So does a graph on a panel not shown.
    HidePanel(panel);
    Laisser();
    const int panneau_cache = Dessins(P_Graph_GRAPH_3);
    Tracer(P_Graph_GRAPH_3, {1.0, 2.0});
    Laisser();
    EXPECT_EQ(Dessins(P_Graph_GRAPH_3), panneau_cache);
}

struct EvenementPanneau {
    int panel, event;
};
std::vector<EvenementPanneau> evenements_panneau;
int Noter(int panel, int event, void *, int, int) {
    evenements_panneau.push_back({panel, event});
    return 0;
}

TEST_F(GrapheUi, PanelCallbackHearsCloseAndSizeAndTheWindowStays) {
    evenements_panneau.clear();
    ASSERT_EQ(InstallPanelCallback(panel, Noter, nullptr), 0);
    EXPECT_EQ(InstallPanelCallback(123456, Noter, nullptr), UIE_BAD_PANEL);
    DisplayPanel(panel);
    QWidget *fenetre = ui_test::Fenetre(panel);
    ASSERT_NE(fenetre, nullptr);
    Laisser();
    evenements_panneau.clear();

    fenetre->close();
    Laisser();
    EXPECT_TRUE(fenetre->isVisible());
    fenetre->setFixedSize(fenetre->width() + 40, fenetre->height() + 20);
    Laisser();
    std::vector<int> vus;
    for (const auto &e : evenements_panneau)
        if (e.event == EVENT_CLOSE || e.event == EVENT_PANEL_SIZE) vus.push_back(e.event);
    EXPECT_EQ(vus, (std::vector<int>{EVENT_CLOSE, EVENT_PANEL_SIZE}));
    for (const auto &e : evenements_panneau) EXPECT_EQ(e.panel, panel);

    // Without a callback the close request is still refused.
    InstallPanelCallback(panel, nullptr, nullptr);
    evenements_panneau.clear();
    fenetre->close();
    Laisser();
    EXPECT_TRUE(fenetre->isVisible());
    EXPECT_TRUE(evenements_panneau.empty());
}

// A plot made again after its deletion (as the graph windows do at every sample) shows the
// colour and line it is given this time, not those of the plot before it.
TEST_F(GrapheUi, APlotMadeAgainShowsItsOwnColourAndLine) {
    DisplayPanel(panel);
    const std::vector<double> y = {1.0, 3.0, 2.0, 4.0};
    const auto pixels = [&](int couleur) {
        const QImage image = ui_test::Widget(panel, P_Graph_GRAPH)->grab().toImage();
        int n = 0;
        for (int j = 0; j < image.height(); ++j)
            for (int i = 0; i < image.width(); ++i)
                if ((image.pixel(i, j) & 0xFFFFFF) == static_cast<QRgb>(couleur)) ++n;
        return n;
    };
    const struct {
        int couleur, style, sans;  // sans: a colour that must no longer show
    } cas[] = {
        {0xFFFF00, VAL_THIN_LINE, 0},
        {0xFF0000, VAL_THIN_LINE, 0xFFFF00},
        {0xFF0000, VAL_THIN_LINE, 0xFFFF00},  // the same look again
        {0xFF0000, VAL_FAT_LINE, 0xFFFF00},
        {0x00FF00, VAL_THIN_LINE, 0xFF0000},
    };
    int fin = 0;
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << std::hex << c.couleur << " style " << c.style);
        DeleteGraphPlot(panel, P_Graph_GRAPH, -1, VAL_IMMEDIATE_DRAW);
        ASSERT_GT(PlotY(panel, P_Graph_GRAPH, y.data(), static_cast<int>(y.size()), VAL_DOUBLE, c.style,
                        VAL_EMPTY_SQUARE, VAL_SOLID, 1, c.couleur), 0);
        Laisser();
        const int n = pixels(c.couleur);
        EXPECT_GT(n, 0);
        if (c.sans) {
            EXPECT_EQ(pixels(c.sans), 0);
        }
        if (c.style == VAL_FAT_LINE) {
            EXPECT_GT(n, fin + fin / 2) << "a fat line is wider";
        }
        fin = n;
    }
}

TEST_F(GrapheUi, ColoursAndGeometryOfControls) {
    struct Cas {
        int control;
        int attribut;
        int valeur;
        int resultat;
    };
    const Cas cas[] = {
        {P_Graph_TRACE_GAUCHE, ATTR_LABEL_COLOR, 0xFFFF00, 0},
        {P_Graph_TRACE_GAUCHE, ATTR_TEXT_COLOR, 0x00FFFF, 0},
        {P_Graph_DIFF_VOIE_1, ATTR_LABEL_COLOR, 0xFF00FF, 0},
        {P_Graph_DIFF_VOIE_1, ATTR_TEXT_COLOR, 0x0000FF, 0},
        {P_Graph_RG_COLOR_G, ATTR_LABEL_COLOR, 0xFF0000, UIE_BAD_ATTRIBUTE},  // it has no label
        {P_Graph_GRAPH, ATTR_TEXT_COLOR, 0xFF0000, UIE_BAD_ATTRIBUTE},
        {P_Graph_DIFF_VOIE_2, ATTR_LEFT, 300, 0},
        {P_Graph_DIFF_VOIE_2, ATTR_TOP, 40, 0},
        {P_Graph_DIFF_VOIE_2, ATTR_WIDTH, 90, 0},
        {P_Graph_DIFF_VOIE_2, ATTR_HEIGHT, 60, 0},
        {P_Graph_DIFF_VOIE_2, ATTR_WIDTH, 0, UIE_BAD_ATTRIBUTE},
        {P_Graph_DIFF_VOIE_2, 9999, 1, UIE_BAD_ATTRIBUTE},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::Message() << "control " << c.control << " attribute " << c.attribut);
        ASSERT_EQ(SetCtrlAttribute(panel, c.control, c.attribut, c.valeur), c.resultat);
        if (c.resultat != 0) continue;
        int lu = -1;
        EXPECT_EQ(GetCtrlAttribute(panel, c.control, c.attribut, &lu), 0);
        EXPECT_EQ(lu, c.valeur);
    }
    // The colour is the one the label and the value are painted with.
    QWidget *champ = ui_test::Widget(panel, P_Graph_DIFF_VOIE_1);
    ASSERT_NE(champ, nullptr);
    EXPECT_EQ(champ->palette().color(QPalette::Text), QColor(0x00, 0x00, 0xFF));
    // Where the graph sits, as a panel callback reads it.
    int gauche = -1, largeur = -1;
    GetCtrlAttribute(panel, P_Graph_GRAPH, ATTR_LEFT, &gauche);
    GetCtrlAttribute(panel, P_Graph_GRAPH, ATTR_WIDTH, &largeur);
    EXPECT_EQ(gauche, 10);
    EXPECT_EQ(largeur, 420);

    // A dark panel gives its texts a light colour.
    ASSERT_EQ(SetPanelAttribute(panel, ATTR_BACKCOLOR, 0x202020), 0);
    EXPECT_EQ(ui_test::Fenetre(panel)->palette().color(QPalette::Window), QColor(0x20, 0x20, 0x20));
    EXPECT_GT(ui_test::Fenetre(panel)->palette().color(QPalette::WindowText).lightness(), 200);
    EXPECT_EQ(SetPanelAttribute(panel, 9999, 1), UIE_BAD_ATTRIBUTE);
}

TEST_F(GrapheUi, SpanIndicatorsShowSmallAndLargeValuesAndTakeNoTyping) {
    QWidget *w = ui_test::Widget(panel, P_Graph_DIFF_VOIE_1);
    auto *champ = qobject_cast<QAbstractSpinBox *>(w);
    ASSERT_NE(champ, nullptr);
    EXPECT_TRUE(champ->isReadOnly());
    const struct {
        double valeur;
        const char *texte;
    } cas[] = {{1.234e-9, "1.234e-09"}, {0.0025, "0.0025"}, {12.5, "12.5"}, {123456789.0, "1.23457e+08"}, {0.0, "0"}};
    for (const auto &c : cas) {
        ASSERT_EQ(SetCtrlVal(panel, P_Graph_DIFF_VOIE_1, c.valeur), 0);
        double lu = -1;
        GetCtrlVal(panel, P_Graph_DIFF_VOIE_1, &lu);
        EXPECT_EQ(lu, c.valeur);
        EXPECT_EQ(champ->findChild<QLineEdit *>()->text().toStdString(), c.texte);
    }
}

// The fields of the scaling dialog show a bound with the digits it needs: the bounds of a
// 10 MHz counter's axis to the hertz, a small bound with all its digits, whether the program
// sets them or the operator types them.
TEST(DialogueEchelles, FieldsShowTheDigitsABoundNeeds) {
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    const int choix = LoadPanel(0, "UIR_graphtab.uir", P_Choix);
    ASSERT_GT(choix, 0);
    const struct {
        double valeur;
        const char *texte;
    } cas[] = {{10000010, "10000010"}, {9999990, "9999990"}, {0.000123456, "0.000123456"}, {-2.5, "-2.5"},
               {123456789.125, "123456789.125"}, {1e-12, "1e-12"}, {0, "0"}};
    for (int champ : {P_Choix_NUM_Val_MIN_Gauche, P_Choix_NUM_Val_MAX_Gauche, P_Choix_NUM_Val_Centrage_G,
                      P_Choix_NUM_Val_MIN_Droite, P_Choix_NUM_Val_MAX_Droite, P_Choix_NUM_Val_Centrage_D}) {
        QLineEdit *ligne = ui_test::Widget(choix, champ)->findChild<QLineEdit *>();
        ASSERT_NE(ligne, nullptr);
        SetCtrlAttribute(choix, champ, ATTR_DIMMED, 0);
        for (const auto &c : cas) {
            // The centring values take no negative value.
            if (c.valeur < 0 && (champ == P_Choix_NUM_Val_Centrage_G || champ == P_Choix_NUM_Val_Centrage_D)) continue;
            SCOPED_TRACE(testing::Message() << champ << " " << c.texte);
            ASSERT_EQ(SetCtrlVal(choix, champ, c.valeur), 0);
            EXPECT_EQ(ligne->text().toStdString(), c.texte);
            double lu = NaN;
            GetCtrlVal(choix, champ, &lu);
            EXPECT_EQ(lu, c.valeur);
        }
        ASSERT_EQ(ui_test::EntrerValeur(choix, champ, 9999990), 0);
        double lu = NaN;
        GetCtrlVal(choix, champ, &lu);
        EXPECT_EQ(lu, 9999990.0);
        EXPECT_EQ(ligne->text().toStdString(), "9999990");
    }
    DiscardPanel(choix);
}

// The resource files hold what the graph windows and the 3D view address by name and number.
TEST(RessourcesGraphes, PanelsAndControlsAsTheProgramExpectsThem) {
    struct Attendu {
        const char *fichier, *panneau;
        int id_panneau;
        const char *titre;
        const char *controle;
        int id;
        const char *genre, *libelle, *callback;
    };
    const Attendu attendus[] = {
        {"UIR_graphtab.uir", "P_AFF_TAB", 1, "TABLEAU DES MESURES", "TABLE", 2, "table", "", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "OK_AXES", 2, "command_button", "__OK", "Choix_echelles"},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "RING_Choix_Echelle_D", 3, "ring",
         "Configuration de l'échelle de droite :", "Choix_Echelle_Droite"},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "RING_Choix_Echelle_G", 4, "ring",
         "Configuration de l'échelle de gauche :", "Choix_Echelle_Gauche"},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_MIN_Droite", 5, "numeric", "Valeur Minimale", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_MAX_Droite", 6, "numeric", "Valeur Maximale", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_Centrage_D", 7, "numeric", "Valeur Centrage", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_MIN_Gauche", 8, "numeric", "Valeur Minimale", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_MAX_Gauche", 9, "numeric", "Valeur Maximale", ""},
        {"UIR_graphtab.uir", "P_Choix", 2, "Choix des échelles", "NUM_Val_Centrage_G", 10, "numeric", "Valeur Centrage", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "GRAPH_3", 2, "graph", "", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "GRAPH_2", 3, "graph", "", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "GRAPH", 4, "graph", "", "Prog_Graph_Choix_Axe"},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_1_2", 5, "numeric", "Diff Voie 1", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_2_2", 6, "numeric", "Diff Voie 2", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_1_1", 7, "numeric", "Diff Voie 1", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_2_1", 8, "numeric", "Diff Voie 2", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_1", 9, "numeric", "Diff Voie 1", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "DIFF_VOIE_2", 10, "numeric", "Diff Voie 2", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "TRACE_DROIT", 11, "ring", "Tracé Droit", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "TRACE_GAUCHE", 12, "ring", "Tracé Gauche", ""},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "CHK_ENABLE_3", 13, "check_box", "", "CB_enable_graph_3"},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "CHK_ENABLE_2", 14, "check_box", "", "CB_enable_graph_2"},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "RG_COLOR_D", 15, "ring", "", "CB_ring_color_right"},
        {"UIR_graphtab.uir", "P_Graph", 3, "AFFICHAGE GRAPHIQUE DES RESULTATS", "RG_COLOR_G", 16, "ring", "", "CB_ring_color_left"},
        {"UIR_graph3D.uir", "P_OGL", 1, "Graphique 3D (OpenGL)", "RING", 2, "ring", "Choix de la courbe", ""},
        {"UIR_graph3D.uir", "P_OGL", 1, "Graphique 3D (OpenGL)", "CENTER", 3, "numeric", "Echantillon central", "CB_Center"},
        {"UIR_graph3D.uir", "P_OGL", 1, "Graphique 3D (OpenGL)", "Z_OUT", 4, "numeric", "Facteur Zoom out", ""},
        {"UIR_graph3D.uir", "P_OGL", 1, "Graphique 3D (OpenGL)", "NUMERIC", 5, "numeric", nullptr, ""},
    };
    for (const Attendu &a : attendus) {
        SCOPED_TRACE(std::string(a.panneau) + " " + a.controle);
        QFile f(QStringLiteral(BANC_SOURCE_DIR "/ui/") + QString::fromLatin1(a.fichier));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QJsonObject racine = QJsonDocument::fromJson(f.readAll()).object();
        QJsonObject panneau, controle;
        for (const QJsonValue &p : racine.value("panels").toArray())
            if (p.toObject().value("constant").toString() == QLatin1String(a.panneau)) panneau = p.toObject();
        ASSERT_FALSE(panneau.isEmpty());
        EXPECT_EQ(panneau.value("id").toInt(), a.id_panneau);
        EXPECT_EQ(panneau.value("title").toString().toStdString(), a.titre);
        for (const QJsonValue &c : panneau.value("controls").toArray())
            if (c.toObject().value("constant").toString() == QLatin1String(a.controle)) controle = c.toObject();
        ASSERT_FALSE(controle.isEmpty());
        EXPECT_EQ(controle.value("id").toInt(), a.id);
        EXPECT_EQ(controle.value("kind").toString().toStdString(), a.genre);
        if (a.libelle) {
            EXPECT_EQ(controle.value("label").toString().toStdString(), a.libelle);
        }
        EXPECT_EQ(controle.value("callback").toString().toStdString(), a.callback);
    }
    // The scaling rings: "Auto Scale" 1, "Manuelle" 2, "Centrée" 3; the channel rings hold text
    // values, the colour rings int values, and the check boxes start ticked.
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    const int choix = LoadPanel(0, "UIR_graphtab.uir", P_Choix);
    ASSERT_GT(choix, 0);
    for (int anneau : {P_Choix_RING_Choix_Echelle_D, P_Choix_RING_Choix_Echelle_G}) {
        const std::pair<const char *, int> items[] = {{"Auto Scale", 1}, {"Manuelle", 2}, {"Centrée", 3}};
        int n = 0;
        GetNumListItems(choix, anneau, &n);
        ASSERT_EQ(n, 3);
        for (int i = 0; i < 3; ++i) {
            char libelle[32] = "";
            int valeur = 0;
            GetLabelFromIndex(choix, anneau, i, libelle, sizeof libelle);
            GetValueFromIndex(choix, anneau, i, &valeur);
            EXPECT_EQ(texte::Cp1252VersUtf8(libelle), items[i].first);
            EXPECT_EQ(valeur, items[i].second);
        }
    }
    DiscardPanel(choix);
    const int graphe = LoadPanel(0, "UIR_graphtab.uir", P_Graph);
    for (int c : {P_Graph_CHK_ENABLE_2, P_Graph_CHK_ENABLE_3}) {
        int v = 0;
        GetCtrlVal(graphe, c, &v);
        EXPECT_EQ(v, 1);
    }
    char vide[4] = "?";
    EXPECT_EQ(GetCtrlVal(graphe, P_Graph_TRACE_GAUCHE, vide), UIE_BAD_INDEX) << "filled at run time";
    DiscardPanel(graphe);
}

class TableUi : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        panel = LoadPanel(0, "UIR_graphtab.uir", P_AFF_TAB);
        ASSERT_GT(panel, 0);
        table = qobject_cast<QTableWidget *>(ui_test::Widget(panel, P_AFF_TAB_TABLE));
        ASSERT_NE(table, nullptr);
    }
    void TearDown() override {
        DiscardPanel(panel);
        QApplication::processEvents();
    }
    int panel = 0;
    QTableWidget *table = nullptr;
};

TEST_F(TableUi, ColumnsTitlesAndNumericCells) {
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, -1), 0);
    ASSERT_EQ(InsertTableColumns(panel, P_AFF_TAB_TABLE, 1, 3), 0);
    int colonnes = 0;
    GetNumTableColumns(panel, P_AFF_TAB_TABLE, &colonnes);
    EXPECT_EQ(colonnes, 3);
    EXPECT_EQ(SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_LABEL_TEXT, "Essai Température"_w), 0);
    // The title shows once the column is told to use it.
    EXPECT_EQ(table->horizontalHeaderItem(0)->text().toStdString(), "1");
    EXPECT_EQ(SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_USE_LABEL_TEXT, 1), 0);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text().toStdString(), "Essai Température");
    char titre[64] = "";
    GetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_LABEL_TEXT, titre, sizeof titre);
    EXPECT_EQ(std::string(titre), "Essai Température"_w);
    EXPECT_EQ(SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 4, ATTR_PRECISION, 3), UIE_BAD_INDEX);
    EXPECT_EQ(SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_FORMAT, 12), UIE_BAD_ATTRIBUTE);

    ASSERT_EQ(InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 1), 0);
    const struct {
        int format, precision;
        double valeur;
        const char *texte;
    } cas[] = {
        {VAL_AUTO_FORMAT, 8, 1.5, "1.5"},
        {VAL_AUTO_FORMAT, 8, 1234567.891, "1234567.9"},
        {VAL_AUTO_FORMAT, 8, -1e-9, "-1e-09"},
        {VAL_AUTO_FORMAT, 8, 3.0e12, "3e+12"},
        {VAL_DECIMAL_FORMAT, 3, 2.0, "2.000"},
        {VAL_SCIENTIFIC_FORMAT, 2, 12345.0, "1.23e+04"},
        {VAL_AUTO_FORMAT, 8, NaN, "NaN"},
        {VAL_DECIMAL_FORMAT, 2, std::numeric_limits<double>::infinity(), "Inf"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.texte);
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 2, ATTR_FORMAT, c.format);
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 2, ATTR_PRECISION, c.precision);
        ASSERT_EQ(SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(2, 1), c.valeur), 0);
        char texte[64] = "";
        GetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(2, 1), texte, sizeof texte);
        EXPECT_STREQ(texte, c.texte);
        double lu = 0;
        GetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(2, 1), &lu);
        EXPECT_TRUE(MemesValeurs({lu}, {c.valeur}));
    }
    double vide = 0;
    GetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(3, 1), &vide);
    EXPECT_TRUE(std::isnan(vide));
    EXPECT_EQ(SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(4, 1), 1.0), UIE_BAD_INDEX);

    // Deleting a column renumbers the titles that follow.
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, 1), 0);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text().toStdString(), "1");
    GetNumTableColumns(panel, P_AFF_TAB_TABLE, &colonnes);
    EXPECT_EQ(colonnes, 2);
}

// What the cells of a table of numbers show: drawn by the table's own delegate, or drawn by
// drawText, into an image of the cell's size and a margin.
QImage DessinCellule(QTableWidget *table, QStyleOptionViewItem option, const std::function<void(QPainter &)> &dessin) {
    QImage image(option.rect.size() + QSize(6, 4), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(table->font());
    p.setPen(option.palette.color(QPalette::Text));
    dessin(p);
    return image;
}

// Where a number's text is drawn in its cell (drawn as drawText would, from its left edge, with
// the vertical alignment given, clipped to the cell less a margin of 4 pixels each side): the
// left edge of the text, or none when no place gives that drawing.
std::optional<int> GaucheDuNombre(QTableWidget *table, const QStyleOptionViewItem &option, const QModelIndex &index,
                                  int vertical) {
    const QImage vu = DessinCellule(table, option, [&](QPainter &p) { table->itemDelegate()->paint(&p, option, index); });
    const QRect zone = option.rect.adjusted(4, 0, -4, 0);
    const QString texte = index.data().toString();
    for (int x = zone.left() - 200; x <= zone.right(); ++x) {
        const QImage attendu = DessinCellule(table, option, [&](QPainter &p) {
            p.setClipRect(zone);
            p.drawText(QRect(x, zone.top(), zone.right() + 1 - x, zone.height()), Qt::AlignLeft | vertical, texte);
        });
        if (attendu == vu) return x;
    }
    return std::nullopt;
}

// The cells of a table of numbers show their text where drawText puts it in the cell (less a
// margin of 4 pixels each side), clipped to the cell, the second drawing of a cell (from what
// the first one kept) as the first: a text as its alignment says, a number on the decimal point
// of its column, placed up or down as its alignment says.
TEST_F(TableUi, CellsShowTheirTextWhereDrawTextPutsIt) {
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, -1), 0);
    ASSERT_EQ(InsertTableColumns(panel, P_AFF_TAB_TABLE, 1, 1), 0);
    ASSERT_EQ(SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_FORMAT, VAL_AUTO_FORMAT), 0);
    ASSERT_EQ(InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 1), 0);
    const int droite = Qt::AlignRight | Qt::AlignVCenter;
    const struct {
        double valeur;   // a number, or NaN for the text below
        const char *texte;
        int alignement;  // 0: none (a text cell)
        QSize taille;
    } cas[] = {
        {-0.76033501, nullptr, droite, {100, 20}},
        {1234567.891, nullptr, droite, {40, 20}},  // wider than its cell
        {-1e-9, nullptr, Qt::AlignLeft | Qt::AlignVCenter, {100, 21}},
        {3.0e12, nullptr, Qt::AlignHCenter | Qt::AlignBottom, {77, 30}},
        {0.5, nullptr, Qt::AlignLeft | Qt::AlignTop, {100, 9}},  // lower than a line
        {NaN, nullptr, droite, {60, 19}},
        {NaN, "Essai Température"_w, 0, {120, 20}},
        {NaN, "deux\nlignes", 0, {120, 40}},
    };
    QAbstractItemDelegate *delegue = table->itemDelegate();
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << c.valeur << " " << (c.texte ? c.texte : ""));
        if (c.texte) ASSERT_EQ(SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(1, 1), c.texte), 0);
        else ASSERT_EQ(SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(1, 1), c.valeur), 0);
        QTableWidgetItem *cellule = table->item(0, 0);
        ASSERT_NE(cellule, nullptr);
        if (c.alignement) cellule->setTextAlignment(Qt::Alignment(c.alignement));
        const QVariant a = cellule->data(Qt::TextAlignmentRole);
        const int alignement = a.isValid() ? a.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
        QStyleOptionViewItem option;
        option.initFrom(table->viewport());
        option.rect = QRect(QPoint(3, 2), c.taille);
        const QModelIndex index = table->model()->index(0, 0);
        if (!c.texte) {
            const std::optional<int> gauche = GaucheDuNombre(table, option, index, alignement & Qt::AlignVertical_Mask);
            EXPECT_TRUE(gauche.has_value());
            EXPECT_EQ(GaucheDuNombre(table, option, index, alignement & Qt::AlignVertical_Mask), gauche) << "drawn again";
            continue;
        }
        const auto dessin = [&](bool par_la_table) {
            return DessinCellule(table, option, [&](QPainter &p) {
                if (par_la_table) delegue->paint(&p, option, index);
                else p.drawText(option.rect.adjusted(4, 0, -4, 0), alignement, cellule->text());
            });
        };
        const QImage attendu = dessin(false);
        EXPECT_TRUE(dessin(true) == attendu);
        EXPECT_TRUE(dessin(true) == attendu) << "drawn again";
    }
}

// The numbers of a column stand on one decimal point, whatever their notation and digits, the
// block they make within the column; numbers that widen the block move the others onto its
// new point.
TEST_F(TableUi, NumbersOfAColumnStandOnOneDecimalPoint) {
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, -1), 0);
    ASSERT_EQ(InsertTableColumns(panel, P_AFF_TAB_TABLE, 1, 1), 0);
    SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_USE_LABEL_TEXT, 1);
    SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_LABEL_TEXT, "Fréquencemètre Voie 1"_w);
    SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_FORMAT, VAL_AUTO_FORMAT);
    SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, 1, ATTR_PRECISION, 8);
    const std::vector<std::vector<double>> vagues = {
        {1.5, 12, -0.25, NaN},
        {-1234.5678, 0.001, -1e-9, 3.0e12, 10000000.5, 1.2345678e-305, -98765432},
    };
    int lignes = 0;
    for (const std::vector<double> &vague : vagues) {
        InsertTableRows(panel, P_AFF_TAB_TABLE, -1, static_cast<int>(vague.size()));
        for (double v : vague) SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(1, ++lignes), v);
        const QFontMetricsF m(table->font());
        std::vector<double> virgules;
        for (int r = 0; r < lignes; ++r) {
            const QModelIndex index = table->model()->index(r, 0);
            const QString texte = index.data().toString();
            SCOPED_TRACE(texte.toStdString());
            QStyleOptionViewItem option;
            option.initFrom(table->viewport());
            option.rect = QRect(QPoint(3, 2), QSize(table->columnWidth(0), table->rowHeight(r)));
            const std::optional<int> gauche = GaucheDuNombre(table, option, index, Qt::AlignVCenter);
            ASSERT_TRUE(gauche.has_value());
            // The point, or where it would stand: before the exponent, or after the last digit.
            qsizetype point = texte.indexOf('.');
            if (point < 0) point = texte.indexOf('e');
            if (point < 0) point = texte.size();
            virgules.push_back(*gauche + m.horizontalAdvance(texte.left(point)));
            // The whole text inside the cell less its margins.
            EXPECT_GE(*gauche, option.rect.left() + 4);
            EXPECT_LE(*gauche + m.horizontalAdvance(texte), option.rect.right() + 1 - 4);
        }
        const auto [bas, haut] = std::minmax_element(virgules.begin(), virgules.end());
        EXPECT_LE(*haut - *bas, 1.0) << "points between " << *bas << " and " << *haut;
    }
}

// Every column of a table of numbers is as wide as its title, however long, and as its numbers;
// the last one is no wider than the same column elsewhere.
TEST_F(TableUi, ColumnsAreAsWideAsTheirTitlesAndNumbers) {
    const std::vector<std::string> titres = {"T", "Fréquencemètre Voie 1"_w, "Powermeter Voie 1",
                                             "Regul Acoustic Température de consigne"_w, "T"};
    const int n = static_cast<int>(titres.size());
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, -1), 0);
    ASSERT_EQ(InsertTableColumns(panel, P_AFF_TAB_TABLE, 1, n), 0);
    for (int c = 1; c <= n; ++c) {
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, c, ATTR_USE_LABEL_TEXT, 1);
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, c, ATTR_LABEL_TEXT, titres[static_cast<std::size_t>(c - 1)].c_str());
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, c, ATTR_FORMAT, VAL_AUTO_FORMAT);
        SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, c, ATTR_PRECISION, 8);
    }
    DisplayPanel(panel);
    QApplication::processEvents();
    const QHeaderView *entete = table->horizontalHeader();
    const auto verifier = [&] {
        for (int c = 0; c < n; ++c) {
            SCOPED_TRACE(titres[static_cast<std::size_t>(c)]);
            EXPECT_GE(table->columnWidth(c), entete->sectionSizeHint(c)) << "the title is whole";
        }
        EXPECT_EQ(table->columnWidth(n - 1), table->columnWidth(0));
    };
    verifier();
    // Numbers as long as the format makes them, in every column.
    InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 2);
    for (int c = 1; c <= n; ++c) {
        SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(c, 1), -1.2345678e-305);
        SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(c, 2), -0.00012345678);
    }
    QApplication::processEvents();
    verifier();
    const QFontMetricsF m(table->font());
    for (int c = 0; c < n; ++c)
        EXPECT_GE(table->columnWidth(c), m.horizontalAdvance(table->item(1, c)->text()) + 8) << titres[static_cast<std::size_t>(c)];
}

// A full table that gains a row and loses its oldest at every sample, kept at its last rows
// as the measurement table is, repaints its cells and nothing else: its scroll bars, which do
// not move, are not painted again, not even when the cell the table has as current is the
// one removed. A scroll bar whose range changes is painted again.
TEST_F(TableUi, AFullTableGainingARowRepaintsOnlyItsCells) {
    ASSERT_EQ(DeleteTableColumns(panel, P_AFF_TAB_TABLE, 1, -1), 0);
    ASSERT_EQ(InsertTableColumns(panel, P_AFF_TAB_TABLE, 1, 12), 0);  // wider than the table
    for (int c = 1; c <= 12; ++c) SetTableColumnAttribute(panel, P_AFF_TAB_TABLE, c, ATTR_FORMAT, VAL_AUTO_FORMAT);
    ASSERT_EQ(InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 100), 0);
    DisplayPanel(panel);
    table->setCurrentCell(0, 0);
    SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 100);
    const auto laisser = [] {
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    };
    laisser();
    ASSERT_TRUE(table->verticalScrollBar()->isVisible());
    ASSERT_TRUE(table->horizontalScrollBar()->isVisible());

    struct Peintures : QObject {
        std::map<QObject *, int> n;
        bool eventFilter(QObject *o, QEvent *e) override {
            if (e->type() == QEvent::Paint) ++n[o];
            return false;
        }
    } peintures;
    QWidget *suivis[] = {table->verticalScrollBar(), table->horizontalScrollBar(), table->viewport()};
    for (QWidget *w : suivis) w->installEventFilter(&peintures);
    const int position = table->verticalScrollBar()->value();
    for (int k = 0; k < 5; ++k) {
        ASSERT_EQ(DeleteTableRows(panel, P_AFF_TAB_TABLE, 1, 1), 0);
        ASSERT_EQ(InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 1), 0);
        SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 99);
        for (int c = 1; c <= 12; ++c) SetTableCellVal(panel, P_AFF_TAB_TABLE, MakePoint(c, 100), k + 0.1 * c);
        laisser();
    }
    EXPECT_EQ(peintures.n[table->verticalScrollBar()], 0);
    EXPECT_EQ(peintures.n[table->horizontalScrollBar()], 0);
    EXPECT_GE(peintures.n[table->viewport()], 5);
    EXPECT_EQ(table->verticalScrollBar()->value(), position);
    EXPECT_EQ(table->rowAt(table->viewport()->height() - 2), 99) << "the newest row stays in view";

    ASSERT_EQ(InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 50), 0);
    laisser();
    EXPECT_GT(peintures.n[table->verticalScrollBar()], 0);
}

TEST_F(TableUi, FirstVisibleRowScrollsAsFarAsTheTableGoes) {
    DisplayPanel(panel);
    InsertTableRows(panel, P_AFF_TAB_TABLE, -1, 200);
    QApplication::processEvents();
    EXPECT_EQ(SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 0), UIE_BAD_INDEX);
    EXPECT_EQ(SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 201), UIE_BAD_INDEX);
    ASSERT_EQ(SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 50), 0);
    int premiere = 0;
    GetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, &premiere);
    EXPECT_EQ(premiere, 50);
    // The last row asked for: the table shows its last rows, the last one included.
    ASSERT_EQ(SetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, 200), 0);
    GetCtrlAttribute(panel, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, &premiere);
    EXPECT_GT(premiere, 150);
    EXPECT_EQ(table->rowAt(table->viewport()->height() - 2), 199);
}

}  // namespace
