// Start-up, main panel and shut-down of the program, as the operator meets them.
#include "app/Interface.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "platform/utility.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

const char *Ressources = BANC_SOURCE_DIR "/ui";

// Runs the program's entry point; `pendant` runs once the main panel is up.
int Lancer(const std::function<void()> &pendant) {
    SetResourceDirectory(Ressources);
    QTimer::singleShot(0, pendant);
    // A test that fails before pressing "Quitter" must not hang the suite.
    QTimer garde;
    garde.setSingleShot(true);
    QObject::connect(&garde, &QTimer::timeout, [] {
        ADD_FAILURE() << "the program did not end";
        QuitUserInterface(99);
    });
    garde.start(15000);
    char nom[] = "banc";
    char *argv[] = {nom, nullptr};
    const int r = Interface_main(1, argv);
    QApplication::processEvents();
    return r;
}

// A copy of Interface.uir without one of its panels.
QString RessourcesSansPanneau(QTemporaryDir &dir, const char *constante) {
    QFile f(QString(Ressources) + "/Interface.uir");
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QJsonObject racine = QJsonDocument::fromJson(f.readAll()).object();
    QJsonArray panneaux;
    for (const QJsonValue &p : racine.value("panels").toArray())
        if (p.toObject().value("constant").toString() != constante) panneaux.append(p);
    racine["panels"] = panneaux;
    QFile out(dir.path() + "/Interface.uir");
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(racine).toJson());
    return dir.path();
}

int FenetresVisibles() {
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible()) ++n;
    return n;
}

TEST(Demarrage, MainPanelShowsItsControlsAndTabsThenQuits) {
    bool vu = false;
    const int r = Lancer([&] {
        vu = true;
        QWidget *fenetre = ui_test::Fenetre(panel_commande);
        ASSERT_NE(fenetre, nullptr);
        EXPECT_TRUE(fenetre->isVisible());
        EXPECT_EQ(fenetre->windowTitle(), "PANNEAU DE COMMANDE");
        auto *onglets = qobject_cast<QTabWidget *>(ui_test::Widget(panel_commande, P_Commande_PLUGINTAB));
        ASSERT_NE(onglets, nullptr);
        ASSERT_EQ(onglets->count(), 2);
        EXPECT_EQ(onglets->tabText(0), "Plugin d'instruments");
        EXPECT_EQ(onglets->tabText(1), "Graphes");
        EXPECT_GT(panel_instru, 0);
        EXPECT_GT(panel_graphs, 0);

        struct Cas {
            int *panel;
            int control;
            const char *texte;
        };
        const Cas cas[] = {
            {&panel_commande, P_Commande_GPIB_SCAN, "Scan GPIB"},
            {&panel_commande, P_Commande_ECHANTILLON, "Echantillon"},
            {&panel_commande, P_Commande_COMMANDBUTTON_Quit, "Quitter"},
            {&panel_commande, P_Commande_TimeLimit, "Durée maximale en min (acq. limitée)"},
            {&panel_commande, P_Commande_N_sous_ech_2D, "Sous échantillonage 2D"},
            {&panel_commande, P_Commande_N_TEch, "Période d'échantillonage"},
            {&panel_commande, P_Commande_Mode_Fichier, "Mode d'enregistrement"},
            {&panel_commande, P_Commande_COMMANDBUTTON_Acq, "Démarrer Acquisition"},
            {&panel_commande, P_Commande_COMMANDBUTTON_4, "Démarquer"},
            {&panel_commande, P_Commande_COMMANDBUTTON, "Marquer"},
            {&panel_commande, P_Commande_STATUS, "Indicateur de fonctionnement"},
            {&panel_commande, P_Commande_CHECKBOX, "Echantillons à la demande"},
            {&panel_instru, P_Instru_LISTBOX_Liste, "Instruments"},
            {&panel_instru, P_Instru_Ajouter, "Ajouter"},
            {&panel_instru, P_Instru_Supprimer, "Supprimer"},
            {&panel_instru, P_Instru_RAZ, "RAZ"},
            {&panel_instru, P_Instru_Renommer, "Renommer"},
            {&panel_instru, P_Instru_Proprietes, "Propriétés"},
            {&panel_instru, P_Instru_Piloter, "Piloter"},
            {&panel_graphs, P_Graphs_NUMERIC, "Nombre de graphes"},
            {&panel_graphs, P_Graphs_N_long, "Nb echantillons pour la moyenne long terme"},
            {&panel_graphs, P_Graphs_N_mid, "Nb echantillons pour la moyenne moyen terme"},
            {&panel_graphs, P_Graphs_N_nbpointsgraphs, "Nombre de points du graphique"},
        };
        for (const Cas &c : cas) EXPECT_EQ(ui_test::TexteVisible(*c.panel, c.control), c.texte);

        // The sequencer timer runs from start-up; the other three wait for an acquisition.
        int actif = -1;
        double intervalle = 0;
        GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_SEQ, ATTR_ENABLED, &actif);
        GetCtrlAttribute(panel_timer, PANEL_Time_TIMER_SEQ, ATTR_INTERVAL, &intervalle);
        EXPECT_EQ(actif, 1);
        EXPECT_DOUBLE_EQ(intervalle, 1.0);
        for (int t : {PANEL_Time_TIMER_echantillon, PANEL_Time_T_synchrobanc, PANEL_Time_T_Attente}) {
            GetCtrlAttribute(panel_timer, t, ATTR_ENABLED, &actif);
            EXPECT_EQ(actif, 0) << t;
        }
        // The synchronisation panel is loaded but not shown; the timer panel never is.
        EXPECT_FALSE(ui_test::Fenetre(panel_synchro)->isVisible());
        EXPECT_FALSE(ui_test::Fenetre(panel_timer)->isVisible());

        // What the operator sees, at the panel's full size.
        const QPixmap image = fenetre->grab();
        EXPECT_EQ(image.size(), fenetre->size());
        EXPECT_GE(image.width(), 700);

        ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Quit);
    });
    EXPECT_TRUE(vu);
    EXPECT_EQ(r, 0);
    // Quitting discarded the parallel-port lock and every panel of the main window.
    EXPECT_LT(CmtGetLock(Lock_port_parallele), 0);
    EXPECT_EQ(FenetresVisibles(), 0);
    EXPECT_EQ(HidePanel(panel_commande), UIE_BAD_PANEL);
    EXPECT_EQ(HidePanel(panel_instru), UIE_BAD_PANEL);
    EXPECT_EQ(HidePanel(panel_synchro), UIE_BAD_PANEL);
}

TEST(Demarrage, OtherButtonsDoNotEndTheProgram) {
    int ticks = 0;
    const int r = Lancer([&] {
        ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_4);
        ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ);
        ++ticks;
        QTimer::singleShot(50, [] {
            EXPECT_TRUE(ui_test::Fenetre(panel_commande)->isVisible());
            ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Quit);
        });
    });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(ticks, 1);
}

TEST(Demarrage, MissingSynchronisationPanelEndsWithMinusOneBeforeAnyWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString chemin = RessourcesSansPanneau(dir, "P_Synchro");
    SetResourceDirectory(chemin.toUtf8().constData());
    char nom[] = "banc";
    char *argv[] = {nom, nullptr};
    EXPECT_EQ(Interface_main(1, argv), -1);
    EXPECT_EQ(FenetresVisibles(), 0);
    SetResourceDirectory(Ressources);

    // The program itself, as the operator would start it.
    QProcess programme;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("BANC_UI_DIR", chemin);
    programme.setProcessEnvironment(env);
    programme.start(BANC_PROGRAM, {});
    ASSERT_TRUE(programme.waitForFinished(20000));
    EXPECT_EQ(programme.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(programme.exitCode(), 255);
}

}  // namespace
