// The status list of the main panel: time-stamped lines, the newest 400 kept and in view.
#include "framework/liste.h"
#include "framework/signalement.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

class Status : public testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        horloge::UtiliserHorlogeFactice(1765370096);  // 2025-12-10 12:34:56 UTC
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        panel = LoadPanel(0, "Interface.uir", P_Commande);
        ASSERT_GT(panel, 0);
        DisplayPanel(panel);
        QApplication::processEvents();
    }
    void TearDown() override {
        DiscardPanel(panel);
        horloge::UtiliserHorlogeReelle();
    }
    std::string Ligne(int index) {
        char t[512];
        EXPECT_EQ(GetLabelFromIndex(panel, P_Commande_STATUS, index, t, sizeof t), 0);
        return t;
    }
    int Nombre() {
        int n = -1;
        GetNumListItems(panel, P_Commande_STATUS, &n);
        return n;
    }
    int panel = 0;
};

TEST_F(Status, LineIsTimeSeparatorAndTheMessageAsWritten) {
    struct Cas {
        const char *message;
    };
    const Cas cas[] = {{"Acquisition en cours"}, {"100%s et %d sans format"}, {""},
                       {"Initialisation des instruments réussie"_w}};
    for (const Cas &c : cas) afficher_status(panel, c.message);
    ASSERT_EQ(Nombre(), 4);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(Ligne(k), std::string("12:34:56\x1bvline") + cas[k].message);
    int valeur = -1;
    GetValueFromIndex(panel, P_Commande_STATUS, 0, &valeur);
    EXPECT_EQ(valeur, 0);
}

TEST_F(Status, KeepsTheNewest400AndShowsTheNewestAtTheBottom) {
    int visibles = 0;
    GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_VISIBLE_LINES, &visibles);
    ASSERT_GT(visibles, 1);
    // While the list shows more lines than it holds, the scrolling does not move.
    for (int k = 0; k < visibles - 1; ++k) afficher_status(panel, "court");
    int haut = -1;
    GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, &haut);
    EXPECT_EQ(haut, 0);

    ClearListCtrl(panel, P_Commande_STATUS);
    for (int k = 1; k <= 401; ++k) {
        horloge::AvancerHorlogeFactice(1);
        afficher_status(panel, ("message " + std::to_string(k)).c_str());
        if (k == 400) {
            EXPECT_EQ(Nombre(), 400);
        }
    }
    EXPECT_EQ(Nombre(), 400);
    EXPECT_EQ(Ligne(0), "12:34:58\x1bvlinemessage 2");
    EXPECT_EQ(Ligne(399), "12:41:37\x1bvlinemessage 401");
    GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, &haut);
    EXPECT_EQ(haut, 400 - visibles);
}

// An instrument's fault, said from a bus thread: one line when it begins, however often the
// instrument fails meanwhile, one when it answers again; nothing once the panel is gone.
TEST_F(Status, AnInstrumentFaultIsSaidOnceAndItsEndOnce) {
    plugin::Installer_status_instruments(panel);
    plugin::Panne panne;
    std::thread bus([&panne] {
        panne.Retablie("Oscillo");  // no fault said: nothing to end
        for (int k = 0; k < 50; ++k) panne.Signaler("Oscillo", "pas de réponse"_w);
    });
    bus.join();
    EXPECT_TRUE(panne.EnCours());
    panne.Retablie("Oscillo");
    panne.Retablie("Oscillo");
    panne.Signaler("Oscillo", "réponse illisible"_w);
    // The lines reach the list through the event loop (on the fake clock, a 5 ms poll).
    const auto Traiter = [] {
        const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (std::chrono::steady_clock::now() < fin) QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    Traiter();
    ASSERT_EQ(Nombre(), 3);
    EXPECT_EQ(Ligne(0), "12:34:56\x1bvlineOscillo : pas de réponse"_w);
    EXPECT_EQ(Ligne(1), "12:34:56\x1bvlineOscillo : l'appareil répond de nouveau"_w);
    EXPECT_EQ(Ligne(2), "12:34:56\x1bvlineOscillo : réponse illisible"_w);

    panne.Oublier();
    plugin::Installer_status_instruments(0);
    panne.Signaler("Oscillo", "pas de réponse"_w);
    Traiter();
    EXPECT_EQ(Nombre(), 3);
}

}  // namespace
