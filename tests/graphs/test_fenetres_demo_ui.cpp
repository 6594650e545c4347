// The windows of an acquisition on the demo bench, as an operator sees them on the screen: two
// graph windows, the measurement table and the 3D view open where they leave the main panel's
// lists and buttons, and each other, in view as far as the screen allows; the table shows its
// titles whole; every axis tells its ticks apart, a 10 MHz counter's to the hertz. Set
// BANC_CAPTURES to a directory to keep a picture of the whole screen (scripts/captures.sh).
#include "app/Interface.h"
#include "framework/liste.h"
#include "graphs/graph3D.h"
#include "graphs/graphtab.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/ui_graph.h"
#include "platform/ui_test.h"
#include "sim/bus.h"
#include "sim/counters/hp5313x.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"
#include "uir/UIR_graph3D.h"
#include "uir/UIR_graphtab.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// What the demo bench lists, with the settings that differ from a new instance's (int32 fields of
// the settings block, by offset): the counter measures to ten digits, the power meter stands at
// the demo bench's address.
struct Liste {
    const char *cle;
    std::vector<std::pair<std::size_t, std::int32_t>> reglages;
};
const Liste kBanc[] = {
    {"5313x_1v.dll", {{8, 10}}},      // a counter on a 10 MHz source
    {"4419.dll", {{4, 13}}},          // a power meter
    {"Regul_Acoustic.dll", {}},       // a temperature regulator, on COM1
    {"Analyseur_reseau.dll", {}},     // a network analyser: vector channels, for the 3D view
};

class FenetresDemo : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << "pop-up: " << d; });
        OuvrirBancDemo();
    }
    void TearDown() override {
        BancTest::TearDown();
        ui_test::DesactiverScript();
        FermerBancDemo();
    }

    // An instrument listed as a settings load lists it.
    static void Lister(const Liste &l) {
        PInstrument *i = Nouvel_instrument(l.cle);
        ASSERT_NE(i, nullptr) << l.cle;
        for (const auto &[offset, valeur] : l.reglages) EcrireEntierBloc(i, offset, valeur);
        liste_instru = Inserer_instru(liste_instru, l.cle, i, get_tatoo());
        char nom[256] = "";
        i->get_nom_instru(i, nom);
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
    }

    // One sampling period: the clock moves on, the instruments answer, the displays follow.
    static void Tick() {
        horloge::AvancerHorlogeFactice(1.0);
        for (int k = 0; k < 5; ++k) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        QApplication::processEvents();
    }

    // The controls of a window inside it and clear of each other, their labels whole.
    static void RienDeCoupe(QWidget *w) {
        SCOPED_TRACE(w->objectName().toStdString());
        std::vector<QWidget *> controles;
        for (QWidget *c : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (c->isVisible()) controles.push_back(c);
        for (std::size_t i = 0; i < controles.size(); ++i) {
            SCOPED_TRACE(controles[i]->objectName().toStdString());
            EXPECT_TRUE(w->rect().contains(controles[i]->geometry()));
            for (std::size_t j = i + 1; j < controles.size(); ++j)
                EXPECT_FALSE(controles[i]->geometry().intersects(controles[j]->geometry()))
                    << controles[j]->objectName().toStdString();
        }
        for (QLabel *l : w->findChildren<QLabel *>()) {
            if (l->isVisible()) {
                EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
            }
        }
    }

    static QWidget *FenetreNommee(const char *constante) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName() == QLatin1String(constante)) return w;
        return nullptr;
    }
};

TEST_F(FenetresDemo, AnAcquisitionWithTwoGraphWindowsTheTableAndThe3DView) {
    for (const Liste &l : kBanc) ASSERT_NO_FATAL_FAILURE(Lister(l));
    // The counter's source: 10 MHz give or take a few hertz.
    auto compteur = sim::BusDeCarte(0)->AppareilA<sim::Compteur5313x>(4);
    ASSERT_NE(compteur, nullptr);
    std::vector<double> source;
    for (int k = 0; k < 400; ++k) source.push_back(10e6 + 8.0 * std::sin(k / 5.0));
    compteur->FixerSignal(1, source);

    SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, 2);
    SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, 100);
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_N_TEch, 1.0), 0);
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 0), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("demo.xls").toStdString());
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1) << testing::PrintToString(Statuts());

    // The counter and the power meter in the first window, the regulator's first two channels
    // in the second; the analyser's first channel in the 3D view.
    std::vector<LC_GRAPH *> fenetres;
    for (LC_GRAPH *w = graphs; w; w = w->next) fenetres.push_back(w);
    ASSERT_EQ(fenetres.size(), 2u);
    const int traces[2][2] = {{1, 2}, {3, 4}};
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(ui_test::ChoisirElement(fenetres[k]->panelGraph, P_Graph_TRACE_GAUCHE, traces[k][0]), 0);
        ASSERT_EQ(ui_test::ChoisirElement(fenetres[k]->panelGraph, P_Graph_TRACE_DROIT, traces[k][1]), 0);
    }
    ASSERT_GT(panel3D, 0);
    ASSERT_EQ(ui_test::ChoisirElement(panel3D, P_OGL_RING, 1), 0);
    for (int k = 0; k < 40; ++k) ASSERT_NO_FATAL_FAILURE(Tick());
    for (int k = 0; k < 5; ++k) QApplication::processEvents();

    QScreen *ecran = QGuiApplication::primaryScreen();
    ASSERT_NE(ecran, nullptr);
    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    if (!garder.isEmpty()) ecran->grabWindow(0).save(QDir(garder).filePath("fenetres_demo.png"));

    // Every window whole on the screen.
    const QRect bureau = ecran->availableGeometry();
    QWidget *tableau = FenetreNommee("P_AFF_TAB");
    ASSERT_NE(tableau, nullptr);
    std::vector<QWidget *> ouvertes = {ui_test::Fenetre(fenetres[0]->panelGraph), ui_test::Fenetre(fenetres[1]->panelGraph),
                                       tableau, ui_test::Fenetre(panel3D)};
    for (QWidget *w : ouvertes) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(bureau.contains(w->frameGeometry()));
    }

    // The main panel's instrument list and buttons stay in view, and the windows cover none of
    // each other: the screen holds them side by side.
    const std::pair<int, int> commandes[] = {{panel_instru, P_Instru_LISTBOX_Liste},
                                             {panel_instru, P_Instru_Piloter},
                                             {panel_commande, P_Commande_COMMANDBUTTON_Quit},
                                             {panel_commande, P_Commande_COMMANDBUTTON_Acq}};
    const auto sur_ecran = [](int panel, int controle) {
        const QWidget *c = ui_test::Widget(panel, controle);
        return c ? QRect(c->mapToGlobal(QPoint(0, 0)), c->size()) : QRect();
    };
    for (const auto &[panel, controle] : commandes) {
        const QRect r = sur_ecran(panel, controle);
        ASSERT_FALSE(r.isEmpty()) << controle;
        for (QWidget *w : ouvertes)
            EXPECT_FALSE(w->frameGeometry().intersects(r)) << w->objectName().toStdString() << " over " << controle;
    }
    for (std::size_t i = 0; i < ouvertes.size(); ++i)
        for (std::size_t j = i + 1; j < ouvertes.size(); ++j)
            EXPECT_FALSE(ouvertes[i]->frameGeometry().intersects(ouvertes[j]->frameGeometry()))
                << ouvertes[i]->objectName().toStdString() << " and " << ouvertes[j]->objectName().toStdString();

    // Nothing clipped in the windows: every control inside its window and clear of the others,
    // every label whole, every channel ring as wide as its longest name.
    for (QWidget *w : ouvertes) ASSERT_NO_FATAL_FAILURE(RienDeCoupe(w));
    std::vector<std::pair<int, int>> anneaux = {{panel3D, P_OGL_RING}};
    for (LC_GRAPH *w : fenetres)
        for (int anneau : {P_Graph_TRACE_GAUCHE, P_Graph_TRACE_DROIT}) anneaux.emplace_back(w->panelGraph, anneau);
    for (const auto &[panel, anneau] : anneaux) {
        auto *liste = qobject_cast<QComboBox *>(ui_test::Widget(panel, anneau));
        ASSERT_NE(liste, nullptr);
        EXPECT_GE(liste->width(), liste->sizeHint().width()) << liste->currentText().toStdString();
    }

    // The table's titles whole.
    auto *table = tableau->findChild<QTableWidget *>();
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->columnCount(), 4);
    for (int c = 0; c < table->columnCount(); ++c)
        EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->sectionSizeHint(c))
            << table->horizontalHeaderItem(c)->text().toStdString();

    // Every axis of every graph tells its ticks apart; the counter's to the hertz.
    for (LC_GRAPH *w : fenetres)
        for (int graphe : {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3})
            for (int axe : {VAL_LEFT_YAXIS, VAL_RIGHT_YAXIS}) {
                std::vector<std::string> textes;
                ASSERT_EQ(GetAxisTicks(w->panelGraph, graphe, axe, nullptr, &textes), 0);
                for (std::size_t k = 1; k < textes.size(); ++k) EXPECT_NE(textes[k], textes[k - 1]);
            }
    int mode = 0;
    double bas = 0, haut = 0;
    GetAxisScalingMode(fenetres[0]->panelGraph, P_Graph_GRAPH, VAL_LEFT_YAXIS, &mode, &bas, &haut);
    EXPECT_NEAR(bas, 10e6 - 8, 2.0);
    EXPECT_NEAR(haut, 10e6 + 8, 2.0);

    // The operator scales the counter's axis by hand to 10 MHz give or take 10 Hz, in the
    // dialog that a right click on the graph opens: the fields and the ticks read to the hertz.
    const int choix = fenetres[0]->panelChoixAxe;
    QTest::mouseClick(ui_test::Widget(fenetres[0]->panelGraph, P_Graph_GRAPH), Qt::RightButton);
    QWidget *dialogue = ui_test::Fenetre(choix);
    ASSERT_TRUE(dialogue->isVisible());
    // It opens whole, over none of the main panel's list and buttons nor of the graph scaled.
    ASSERT_NO_FATAL_FAILURE(RienDeCoupe(dialogue));
    EXPECT_TRUE(bureau.contains(dialogue->frameGeometry()));
    for (const auto &[panel, controle] : commandes)
        EXPECT_FALSE(dialogue->frameGeometry().intersects(sur_ecran(panel, controle))) << controle;
    EXPECT_FALSE(dialogue->frameGeometry().intersects(sur_ecran(fenetres[0]->panelGraph, P_Graph_GRAPH)));
    ASSERT_EQ(ui_test::ChoisirElement(choix, P_Choix_RING_Choix_Echelle_G, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_MIN_Gauche, 9999990), 0);
    ASSERT_EQ(ui_test::EntrerValeur(choix, P_Choix_NUM_Val_MAX_Gauche, 10000010), 0);
    for (int k = 0; k < 3; ++k) ASSERT_NO_FATAL_FAILURE(Tick());
    for (int k = 0; k < 5; ++k) QApplication::processEvents();
    if (!garder.isEmpty()) ecran->grabWindow(0).save(QDir(garder).filePath("echelle_manuelle.png"));
    for (const auto &[champ, texte] : {std::pair{P_Choix_NUM_Val_MIN_Gauche, "9999990"}, std::pair{P_Choix_NUM_Val_MAX_Gauche, "10000010"}})
        EXPECT_EQ(ui_test::Widget(choix, champ)->findChild<QLineEdit *>()->text().toStdString(), texte);
    std::vector<std::string> textes;
    GetAxisTicks(fenetres[0]->panelGraph, P_Graph_GRAPH, VAL_LEFT_YAXIS, nullptr, &textes);
    EXPECT_EQ(textes, (std::vector<std::string>{"9999990", "9999995", "10000000", "10000005", "10000010"}));

    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);
}

}  // namespace
