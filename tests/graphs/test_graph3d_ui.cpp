// The 3D control of the user-interface layer, and the 3D view of a vector channel during
// acquisitions: which samples of which vectors the surface shows, the centre and the spacing
// chosen by the operator, the colours from the Z bounds, and what fails gracefully.
#include "app/Interface.h"
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "graphs/graph3D.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_3d.h"
#include "platform/ui_graph.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"
#include "uir/UIR_graph3D.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// ---- the 3D control ----------------------------------------------------------------------

class Controle3D : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        panel = LoadPanel(0, "UIR_graph3D.uir", P_OGL);
        ASSERT_GT(panel, 0);
        ctrl = OGLNewCtrl(panel, "", 70, 10);
        ASSERT_GT(ctrl, 0);
    }
    void TearDown() override {
        OGLEchecCreation(0);
        DiscardPanel(panel);
        QApplication::processEvents();
    }
    OglEtat Etat() {
        OglEtat e;
        EXPECT_EQ(OGLGetState(panel, ctrl, &e), 0);
        return e;
    }
    int panel = 0, ctrl = 0;
};

TEST_F(Controle3D, TheSurfaceReadsTheCallersArrayAtEachRefresh) {
    double z[3][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, NaN}};
    const int plot = OGLPlot3DUniform(panel, ctrl, z, 4, 3, OGLVAL_DOUBLE, 1.0, 0.0, 1.0, 0.0);
    ASSERT_GT(plot, 0);
    OglEtat e = Etat();
    EXPECT_EQ(e.lignes, 3);
    EXPECT_EQ(e.colonnes, 4);
    ASSERT_EQ(e.hauteurs.size(), 12u);
    EXPECT_EQ(e.hauteurs[6], 6.0);
    EXPECT_TRUE(std::isnan(e.hauteurs[11])) << "a missing value is a hole";

    // The Z bounds follow the array as it is now, missing values aside.
    double lo = 0, hi = 0;
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_ZMIN, &lo);
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_ZMAX, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 10.0);
    z[0][0] = -5;
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_ZMIN, &lo);
    EXPECT_EQ(lo, -5.0);
    // The surface shows the change at the next refresh, not before.
    EXPECT_EQ(Etat().hauteurs[0], 0.0);
    const std::size_t avant = Etat().rafraichissements;
    ASSERT_EQ(OGLRefreshGraph(panel, ctrl), 0);
    e = Etat();
    EXPECT_EQ(e.hauteurs[0], -5.0);
    EXPECT_EQ(e.rafraichissements, avant + 1);
    EXPECT_EQ(e.zmin, -5.0);
    EXPECT_EQ(e.zmax, 10.0);

    // A flat array gets a band around it.
    double plat[2][2] = {{0, 0}, {0, 0}};
    OGLPlot3DUniform(panel, ctrl, plat, 2, 2, OGLVAL_DOUBLE, 1.0, 0.0, 1.0, 0.0);
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_ZMIN, &lo);
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_ZMAX, &hi);
    EXPECT_EQ(lo, -1.0);
    EXPECT_EQ(hi, 1.0);
}

TEST_F(Controle3D, ColourMapBecomesTheGradientOfTheZAxis) {
    double z[2][2] = {{-1, 0}, {2, 3}};
    const int plot = OGLPlot3DUniform(panel, ctrl, z, 2, 2, OGLVAL_DOUBLE, 1.0, 0.0, 1.0, 0.0);
    ColorMapEntry carte[3];
    const double valeurs[3] = {-1.0, 1.0, 3.0};
    const int couleurs[3] = {0x000000, 0x0000FF, 0xFF0000};
    for (int i = 0; i < 3; ++i) carte[i].dataValue.valDouble = valeurs[i], carte[i].color = couleurs[i];
    ASSERT_EQ(OGLSetPlotColorScheme(panel, ctrl, plot, OGLVAL_SCHEME_COLOR_MAP, carte, 3, 0xFFFF00, 1, nullptr, 0, 0), 0);
    OGLRefreshGraph(panel, ctrl);
    OglEtat e = Etat();
    ASSERT_EQ(e.arrets.size(), 3u);
    EXPECT_EQ(e.arrets[0].position, 0.0);
    EXPECT_EQ(e.arrets[0].couleur, 0x000000);
    EXPECT_EQ(e.arrets[1].position, 0.5);
    EXPECT_EQ(e.arrets[1].couleur, 0x0000FF);
    EXPECT_EQ(e.arrets[2].position, 1.0);
    EXPECT_EQ(e.arrets[2].couleur, 0xFF0000);

    // Above the last entry: the colour given for it.
    carte[2].dataValue.valDouble = 2.0;
    OGLSetPlotColorScheme(panel, ctrl, plot, OGLVAL_SCHEME_COLOR_MAP, carte, 3, 0xFFFF00, 1, nullptr, 0, 0);
    e = Etat();
    EXPECT_EQ(e.arrets.back().position, 1.0);
    EXPECT_EQ(e.arrets.back().couleur, 0xFFFF00);

    EXPECT_EQ(OGLSetPlotColorScheme(panel, ctrl, plot, 5, carte, 3, 0, 1, nullptr, 0, 0), OGL_ERR_ATTRIBUTE);
    EXPECT_EQ(OGLSetPlotColorScheme(panel, ctrl, plot + 1, 4, carte, 3, 0, 1, nullptr, 0, 0), OGL_ERR_PLOT);
    EXPECT_EQ(OGLSetPlotColorScheme(panel, ctrl, plot, 4, nullptr, 3, 0, 1, nullptr, 0, 0), OGL_ERR_ARGUMENT);
}

TEST_F(Controle3D, AttributesArgumentsAndErrors) {
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, OGLATTR_WIDTH, 490), 0);
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, OGLATTR_HEIGHT, 420), 0);
    int largeur = 0, haut = 0;
    GetCtrlAttribute(panel, ctrl, ATTR_WIDTH, &largeur);
    GetCtrlAttribute(panel, ctrl, ATTR_TOP, &haut);
    EXPECT_EQ(largeur, 490);
    EXPECT_EQ(haut, 70);
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, OGLATTR_Z_NAME, "Z"), 0);
    char nom[8] = "";
    OGLGetCtrlAttribute(panel, ctrl, OGLATTR_Z_NAME, nom, sizeof nom);
    EXPECT_STREQ(nom, "Z");
    // Settings the view keeps without acting on them are read back as given.
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, 10038, -0.35), 0);
    double d = 0;
    OGLGetCtrlAttribute(panel, ctrl, 10038, &d);
    EXPECT_EQ(d, -0.35);
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, OGLATTR_Z_NAME, 3), OGL_ERR_ATTRIBUTE);
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, OGLATTR_ZMIN, 1.0), OGL_ERR_ATTRIBUTE);
    EXPECT_EQ(OGLSetCtrlAttribute(panel, ctrl, 9999, 1), OGL_ERR_ATTRIBUTE);
    EXPECT_EQ(OGLGetCtrlAttribute(panel, ctrl, 10999, &d), OGL_ERR_ATTRIBUTE);

    double z[4] = {};
    EXPECT_EQ(OGLPlot3DUniform(panel, ctrl, nullptr, 2, 2, OGLVAL_DOUBLE, 1, 0, 1, 0), OGL_ERR_ARGUMENT);
    EXPECT_EQ(OGLPlot3DUniform(panel, ctrl, z, 1, 4, OGLVAL_DOUBLE, 1, 0, 1, 0), OGL_ERR_ARGUMENT);
    EXPECT_EQ(OGLPlot3DUniform(panel, ctrl, z, 2, 2, 3, 1, 0, 1, 0), OGL_ERR_ARGUMENT);
    EXPECT_EQ(OGLPlot3DUniform(panel, ctrl, z, 2, 2, OGLVAL_DOUBLE, 0, 0, 1, 0), OGL_ERR_ARGUMENT);
    const int plot = OGLPlot3DUniform(panel, ctrl, z, 2, 2, OGLVAL_DOUBLE, 1, 0, 1, 0);
    EXPECT_EQ(OGLSetPlotAttribute(panel, ctrl, plot, 10490, 2), 0);
    EXPECT_EQ(OGLSetPlotAttribute(panel, ctrl, plot, 10100, 2), OGL_ERR_ATTRIBUTE);
    EXPECT_EQ(OGLSetPlotAttribute(panel, ctrl, plot + 7, 10490, 2), OGL_ERR_PLOT);

    EXPECT_EQ(OGLNewCtrl(987654, "", 0, 0), OGL_ERR_PANEL);
    EXPECT_EQ(OGLRefreshGraph(panel, ctrl + 50), OGL_ERR_CONTROL);
    EXPECT_EQ(OGLRefreshGraph(panel, P_OGL_RING), OGL_ERR_CONTROL);
    char texte[256] = "";
    ASSERT_EQ(OGLGetErrorString(OGL_ERR_NO_GL, texte, 255), 0);
    EXPECT_STREQ(texte, "OpenGL n'est pas disponible sur cet affichage");
    ASSERT_EQ(OGLGetErrorString(OGL_ERR_CONTROL, texte, 10), 0);
    EXPECT_EQ(std::string(texte).size(), 9u);
    OGLEchecCreation(OGL_ERR_NO_GL);
    EXPECT_EQ(OGLNewCtrl(panel, "", 0, 0), OGL_ERR_NO_GL);
    OGLEchecCreation(0);

    // A discarded control is gone from its panel.
    ASSERT_EQ(OGLDiscardCtrl(panel, ctrl), 0);
    EXPECT_EQ(OGLRefreshGraph(panel, ctrl), OGL_ERR_CONTROL);
    EXPECT_EQ(GetCtrlAttribute(panel, ctrl, ATTR_WIDTH, &largeur), UIE_BAD_CONTROL);
    EXPECT_EQ(OGLDiscardCtrl(panel, ctrl), OGL_ERR_CONTROL);
    ctrl = OGLNewCtrl(panel, "", 70, 10);
    EXPECT_GT(ctrl, 0);
}

// ---- the 3D view in acquisitions ---------------------------------------------------------

class VueSurface : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, 0);
    }
    void TearDown() override {
        if (acquisition_en_cours == 1) ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        EXPECT_EQ(panel3D, 0);
        OGLEchecCreation(0);
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        BancTest::TearDown();
    }

    // "Spectre": vectors of 200 and 201 samples. At tick t sample q of the first is
    // 1000 * t + q, its abscissa 0.5 * q + t; the second is a ramp from -1 to 3.
    void AjouterSpectre() {
        ConfigEssai c;
        c.nom = "Spectre";
        c.mesures_2D = true;
        c.noms_2D = {"A", "B"};
        c.valeurs_2D = {std::vector<double>(200, 0.0), std::vector<double>(201, 0.0)};
        c.indices_2D = {std::vector<double>(200, 0.0), std::vector<double>(201, 0.0)};
        c.numeros_2D = {1, 1};
        spectre = AjouterEssai(c);
    }
    void Demarrer() {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("m.xls").toStdString());
        ASSERT_EQ(ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq), 0);
        ASSERT_EQ(acquisition_en_cours, 1);
    }
    void Tick() {
        ++t;
        if (spectre) {
            auto &cfg = Essai(spectre).config;
            for (int q = 0; q < 200; ++q) {
                cfg.valeurs_2D[0][static_cast<std::size_t>(q)] = 1000.0 * t + q;
                cfg.indices_2D[0][static_cast<std::size_t>(q)] = 0.5 * q + t;
            }
            for (int q = 0; q < 201; ++q) cfg.valeurs_2D[1][static_cast<std::size_t>(q)] = -1.0 + 4.0 * q / 200.0;
        }
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }
    void Choisir(int index) { ASSERT_EQ(ui_test::ChoisirElement(panel3D, P_OGL_RING, index), 0); }
    static int Entier(int control) {
        int v = -99;
        GetCtrlVal(panel3D, control, &v);
        return v;
    }
    static double Reel(int control) {
        double v = NaN;
        GetCtrlVal(panel3D, control, &v);
        return v;
    }
    static bool Grise(int control) { return ::Grise(panel3D, control); }
    static OglEtat Etat() {
        OglEtat e;
        EXPECT_EQ(OGLGetState(panel3D, ctrl3D, &e), 0);
        return e;
    }
    static ui_test::PopupVu PremierMessage() {
        for (const ui_test::PopupVu &p : ui_test::Vus())
            if (p.genre == ui_test::Popup::Message) return p;
        ADD_FAILURE() << "no message pop-up";
        return {};
    }

    PInstrument *spectre = nullptr;
    int t = 0;
};

TEST_F(VueSurface, FreshViewDrawsAFlatSurfaceUntilAChannelIsChosen) {
    AjouterSpectre();
    Demarrer();
    ASSERT_GT(panel3D, 0);
    ASSERT_GT(ctrl3D, 0);
    int visible = 0;
    GetPanelAttribute(panel3D, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 1);
    char reference[30] = "?";
    GetCtrlVal(panel3D, P_OGL_RING, reference);
    EXPECT_STREQ(reference, "");
    int n = 0;
    GetNumListItems(panel3D, P_OGL_RING, &n);
    EXPECT_EQ(n, 3);
    char nom[8] = "";
    OGLGetCtrlAttribute(panel3D, ctrl3D, OGLATTR_X_NAME, nom, sizeof nom);
    EXPECT_STREQ(nom, "X");
    int geometrie[4] = {};
    for (int k = 0; k < 4; ++k) GetCtrlAttribute(panel3D, ctrl3D, ATTR_LEFT + k, &geometrie[k]);
    EXPECT_EQ(geometrie[0], 10);
    EXPECT_EQ(geometrie[1], 70);
    EXPECT_EQ(geometrie[2], 490);
    EXPECT_EQ(geometrie[3], 420);

    const std::size_t avant = Etat().rafraichissements;
    for (int k = 0; k < 3; ++k) Tick();
    const OglEtat e = Etat();
    EXPECT_EQ(e.rafraichissements, avant + 3);
    ASSERT_EQ(e.hauteurs.size(), 2500u);
    for (double h : e.hauteurs) ASSERT_EQ(h, 0.0);
    EXPECT_EQ(Reel(P_OGL_NUMERIC), 0.0);
    EXPECT_EQ(Entier(P_OGL_CENTER), -1);
    // Black at the bottom of the Z axis, blue in the middle, red at the top.
    ASSERT_EQ(e.arrets.size(), 3u);
    EXPECT_EQ(e.zmin, -1.0);
    EXPECT_EQ(e.zmax, 1.0);
    EXPECT_EQ(e.arrets[1].position, 0.5);
    EXPECT_EQ(e.arrets[1].couleur, 0x0000FF);
}

// Which sample each row shows, for a centre and a spacing typed by the operator; the newest
// vector is that of tick 3, in the last column.
TEST_F(VueSurface, RowsFollowTheCentreAndTheSpacing) {
    AjouterSpectre();
    Demarrer();
    Choisir(1);
    struct Cas {
        const char *nom;
        int centre, pas;
        int centre_lu;           // CENTER after the tick
        std::vector<int> ligne;  // sample of rows 0, 15, 16, 25, 49
    };
    const Cas cas[] = {
        {"150 par 2", 150, 2, 150, {100, 130, 132, 150, 198}},
        {"10 par 1", 10, 1, 10, {0, 0, 1, 10, 34}},
        {"au-delà", 300, 1, 100, {75, 90, 91, 100, 124}},
        {"en deçà", -1, 1, 100, {75, 90, 91, 100, 124}},
        {"pas énorme", 50, 100000, 50, {0, 0, 0, 50, 199}},
    };
    const int rangs[] = {0, 15, 16, 25, 49};
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ASSERT_EQ(ui_test::EntrerValeur(panel3D, P_OGL_Z_OUT, c.pas), 0);
        ASSERT_EQ(ui_test::EntrerValeur(panel3D, P_OGL_CENTER, c.centre), 0);
        EXPECT_TRUE(Grise(P_OGL_NUMERIC)) << "a new centre makes the abscissa stale";
        Tick();
        EXPECT_FALSE(Grise(P_OGL_NUMERIC));
        EXPECT_EQ(Entier(P_OGL_CENTER), c.centre_lu);
        EXPECT_EQ(Reel(P_OGL_NUMERIC), 0.5 * c.centre_lu + t);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(data3D[rangs[k]][49], 1000.0 * t + c.ligne[static_cast<std::size_t>(k)]) << "row " << rangs[k];
        // The control shows the array.
        const OglEtat e = Etat();
        EXPECT_EQ(e.hauteurs[25 * 50 + 49], data3D[25][49]);
    }
    // The operator cannot ask for a spacing below 1.
    ui_test::EntrerValeur(panel3D, P_OGL_Z_OUT, 0);
    EXPECT_GE(Entier(P_OGL_Z_OUT), 1);

    // A vector of 201 samples has its middle at 100 as well.
    Choisir(2);
    ui_test::EntrerValeur(panel3D, P_OGL_CENTER, 500);
    Tick();
    EXPECT_EQ(Entier(P_OGL_CENTER), 100);
}

TEST_F(VueSurface, ColumnsRunFromTheOldestVectorToTheNewest) {
    AjouterSpectre();
    Demarrer();
    Choisir(1);
    ui_test::EntrerValeur(panel3D, P_OGL_CENTER, 100);
    for (int k = 0; k < 3; ++k) Tick();
    for (int c = 0; c < 47; ++c) ASSERT_EQ(data3D[25][c], 0.0) << "column " << c;
    EXPECT_EQ(data3D[25][47], 1100.0);
    EXPECT_EQ(data3D[25][48], 2100.0);
    EXPECT_EQ(data3D[25][49], 3100.0);
    // Once the ring has turned, the oldest vector kept comes first.
    for (int k = 0; k < 50; ++k) Tick();
    EXPECT_EQ(data3D[25][0], 4100.0);
    EXPECT_EQ(data3D[25][49], 53100.0);

    // Choosing "(aucun)" again leaves the surface and the abscissa as they were.
    const double abscisse = Reel(P_OGL_NUMERIC);
    Choisir(0);
    Tick();
    EXPECT_EQ(data3D[25][49], 53100.0);
    EXPECT_EQ(Reel(P_OGL_NUMERIC), abscisse);
}

TEST_F(VueSurface, ColoursSpanTheZAxisAndMissingValuesAreHoles) {
    AjouterSpectre();
    Demarrer();
    Choisir(2);
    ui_test::EntrerValeur(panel3D, P_OGL_CENTER, 100);
    ui_test::EntrerValeur(panel3D, P_OGL_Z_OUT, 5);
    Tick();
    OglEtat e = Etat();
    EXPECT_EQ(e.zmin, -1.0);
    EXPECT_EQ(e.zmax, 3.0);
    ASSERT_EQ(e.arrets.size(), 3u);
    EXPECT_EQ(e.arrets[0].couleur, 0x000000);
    EXPECT_EQ(e.arrets[0].position, 0.0);
    EXPECT_EQ(e.arrets[1].couleur, 0x0000FF);
    EXPECT_EQ(e.arrets[1].position, 0.5);
    EXPECT_EQ(e.arrets[2].couleur, 0xFF0000);
    EXPECT_EQ(e.arrets[2].position, 1.0);

    // A missing sample goes into the surface unchanged and leaves the bounds alone.
    Choisir(1);
    Essai(spectre).config.valeurs_2D[0][100] = NaN;
    horloge::AvancerHorlogeFactice(1.0);
    ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon);
    EXPECT_TRUE(std::isnan(data3D[25][49]));
    e = Etat();
    EXPECT_TRUE(std::isnan(e.hauteurs[25 * 50 + 49]));
    EXPECT_TRUE(std::isfinite(e.zmin));
    EXPECT_TRUE(std::isfinite(e.zmax));
}

TEST_F(VueSurface, ResizingTheWindowRedrawsTheControlInPlace) {
    AjouterSpectre();
    Demarrer();
    QWidget *fenetre = ui_test::Fenetre(panel3D);
    ASSERT_NE(fenetre, nullptr);
    QApplication::processEvents();
    const std::size_t avant = Etat().rafraichissements;
    fenetre->setFixedSize(fenetre->width() + 30, fenetre->height() + 30);
    QApplication::processEvents();
    EXPECT_EQ(Etat().rafraichissements, avant + 1);
    int largeur = 0, haut = 0;
    GetCtrlAttribute(panel3D, ctrl3D, ATTR_WIDTH, &largeur);
    GetCtrlAttribute(panel3D, ctrl3D, ATTR_TOP, &haut);
    EXPECT_EQ(largeur, 490);
    EXPECT_EQ(haut, 70);
    // Its close button does nothing.
    fenetre->close();
    QApplication::processEvents();
    EXPECT_TRUE(fenetre->isVisible());
}

TEST_F(VueSurface, PanelThatCannotBeLoadedIsReportedAndTheAcquisitionGoesOn) {
    AjouterSpectre();
    QTemporaryDir vide;
    SetResourceDirectory(vide.path().toUtf8().constData());
    ui_test::Repondre(ui_test::Popup::Message);
    Demarrer();
    const ui_test::PopupVu message = PremierMessage();
    EXPECT_EQ(message.titre, "Graph 3D");
    EXPECT_EQ(message.message, "Impossible de charger le panel 3D");
    EXPECT_EQ(panel3D, 0);
    Tick();
    Tick();
    ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(panel3D, 0);
}

TEST_F(VueSurface, ControlThatCannotBeMadeIsReportedAndItsPanelStaysHidden) {
    AjouterSpectre();
    OGLEchecCreation(OGL_ERR_NO_GL);
    ui_test::Repondre(ui_test::Popup::Message);
    Demarrer();
    const ui_test::PopupVu message = PremierMessage();
    EXPECT_EQ(message.titre, "InitOGLControl");
    EXPECT_EQ(message.message, "OpenGL n'est pas disponible sur cet affichage");
    const int panneau = panel3D;
    ASSERT_GT(panneau, 0);
    int visible = 1;
    GetPanelAttribute(panneau, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 0);
    data3D[0][0] = 42.0;
    Tick();
    EXPECT_EQ(data3D[0][0], 42.0) << "an inactive view reads nothing";
    ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(panel3D, 0);
    EXPECT_EQ(HidePanel(panneau), UIE_BAD_PANEL);
}

// A screenshot of the view in a running acquisition: the surface is drawn. Set BANC_CAPTURES to
// a directory to keep the image.
TEST_F(VueSurface, SurfaceOnScreen) {
    ConfigEssai c;
    c.nom = "Onde";
    c.mesures_2D = true;
    c.noms_2D = {"Z"};
    c.valeurs_2D = {std::vector<double>(300, 0.0)};
    c.indices_2D = {std::vector<double>(300, 0.0)};
    c.numeros_2D = {1};
    PInstrument *onde = CreerEssai(c);
    liste_instru = Inserer_instru(liste_instru, "essai.dll", onde, get_tatoo());
    InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, c.nom.c_str(), 0);
    PInstrument *pilote = Nouvel_instrument("pilote_bidon.dll");
    ASSERT_NE(pilote, nullptr);
    liste_instru = Inserer_instru(liste_instru, "pilote_bidon.dll", pilote, get_tatoo());
    InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, "Pilote bidon", 0);
    Demarrer();
    Choisir(1);
    ui_test::EntrerValeur(panel3D, P_OGL_Z_OUT, 4);
    for (int k = 0; k < 50; ++k) {
        auto &cfg = Essai(onde).config;
        for (int q = 0; q < 300; ++q) {
            const double x = (q - 150) / 30.0, y = (k - 25) / 9.0;
            cfg.valeurs_2D[0][static_cast<std::size_t>(q)] =
                q >= 140 && q < 152 && k >= 20 && k < 26 ? NaN : std::sin(x) * std::cos(y) * std::exp(-0.02 * x * x);
            cfg.indices_2D[0][static_cast<std::size_t>(q)] = 1e6 + 1e3 * q;
        }
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }
    for (int k = 0; k < 10; ++k) QApplication::processEvents();

    QTemporaryDir captures;
    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    const QString chemin = QDir(garder.isEmpty() ? captures.path() : garder).filePath("vue_3d.png");
    ASSERT_EQ(OGLSaveImage(panel3D, ctrl3D, chemin.toLocal8Bit().constData()), 0);
    QImage image(chemin);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 490);
    // The surface is coloured from black through blue to red: count its blue and red pixels.
    int bleus = 0, rouges = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            bleus += p.blue() > 120 && p.red() < 90 && p.green() < 90;
            rouges += p.red() > 120 && p.blue() < 90 && p.green() < 90;
        }
    EXPECT_GT(bleus, 2000);
    EXPECT_GT(rouges, 500);
    if (!garder.isEmpty()) {
        QWidget *fenetre = ui_test::Fenetre(panel3D);
        const QRect r = fenetre->frameGeometry();
        fenetre->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(QDir(garder).filePath("fenetre_3d.png"));
    }
}

}  // namespace
