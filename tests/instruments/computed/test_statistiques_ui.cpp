// "Calcul de statistiques" on its configuration panel: the channel ring filled from the scalar
// channels and showing the stored reference, the median size with its range, OK storing both
// without touching the results, a reference whose channel has gone, panels left open when the
// instrument is freed, and a missing resource file.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/calcul_moy_stddev.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_calcul_moy_stddev.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kVoie = 128, kMoyenne = 160, kTailleMedian = 184;

class StatistiquesPanneau : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        liste = Inserer_instru(liste, "essai.dll", CreerEssai(MesuresScalaires("Multi", {"U"}, {2})), 3);
        liste = Inserer_instru(liste, "essai.dll", CreerEssai(MesuresVecteurs("Scope", {"CH1"}, {{0, 0}}, {{0, 0}})), 4);
        stats = Nouvel_instrument("stddev.dll");
        ASSERT_NE(stats, nullptr);
        liste = Inserer_instru(liste, "stddev.dll", stats, 5);
        Reserver_buffer_circu(liste);
    }
    void TearDown() override {
        LibererBanc(liste);
        PanneauxInstrument::TearDown();
    }

    int Configurer() { return PanneauCharge([&] { stats->configure(stats); }); }
    unsigned char *Bloc() { return DebutBloc(stats); }
    std::string Reference() { return reinterpret_cast<const char *>(Bloc() + kVoie); }
    std::int32_t TailleMedian() { return LireEntierBloc(stats, kTailleMedian); }

    fichei *liste = nullptr;
    PInstrument *stats = nullptr;
};

TEST_F(StatistiquesPanneau, ConfigureListsScalarChannelsAndOkStoresTheSettings) {
    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration");
    EXPECT_EQ(ElementsDe(p, P_config_RING),
              (Elements{{"(aucun)", ""},
                        {"Multi U", "3;1"},
                        {"Calcul moyenne et ecart-type Moyenne", "5;1"},
                        {"Calcul moyenne et ecart-type Ecart-type", "5;2"},
                        {"Calcul moyenne et ecart-type Median", "5;3"}}));
    int index = -1;
    GetCtrlIndex(p, P_config_RING, &index);
    EXPECT_EQ(index, 0);
    int taille = 0;
    GetCtrlVal(p, P_config_MEDIAN, &taille);
    EXPECT_EQ(taille, 3);
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_RING), "Voie (1D)");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_MEDIAN), "Taille filtre médian");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_COMMANDBUTTON), "OK");

    const double resultat = 12.5;
    std::memcpy(Bloc() + kMoyenne, &resultat, 8);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_config_RING, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_config_MEDIAN, 7), 0);
    EXPECT_EQ(Reference(), "") << "stored only by OK";
    OK_config_calcul_stddev(p, P_config_COMMANDBUTTON, EVENT_VAL_CHANGED, stats->structure, 0, 0);
    EXPECT_TRUE(Charge(p));
    EXPECT_EQ(Reference(), "");

    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(Reference(), "3;1");
    EXPECT_EQ(TailleMedian(), 7);
    EXPECT_EQ(stats->mesure_calcul(stats, 1), resultat) << "the results are not reset";

    const int q = Configurer();
    char valeur[30] = "";
    GetCtrlVal(q, P_config_RING, valeur);
    EXPECT_STREQ(valeur, "3;1");
    GetCtrlVal(q, P_config_MEDIAN, &taille);
    EXPECT_EQ(taille, 7);
    ASSERT_EQ(ui_test::Cliquer(q, P_config_COMMANDBUTTON), 0);
}

// The median covers 1 to 30 of the window's values: the box takes nothing else, and a size out
// of that range read from a file is shown, and stored again, inside it.
TEST_F(StatistiquesPanneau, MedianSizeStaysWithinTheWindow) {
    const int p = Configurer();
    double mini = 0, maxi = 0;
    GetCtrlAttribute(p, P_config_MEDIAN, ATTR_MIN_VALUE, &mini);
    GetCtrlAttribute(p, P_config_MEDIAN, ATTR_MAX_VALUE, &maxi);
    EXPECT_EQ(mini, 1);
    EXPECT_EQ(maxi, 30);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_config_MEDIAN, 45), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_GE(TailleMedian(), 1);
    EXPECT_LE(TailleMedian(), 30);

    for (std::int32_t charge : {0, -4, 31, 5000}) {
        SCOPED_TRACE(charge);
        std::memcpy(Bloc() + kTailleMedian, &charge, 4);
        const int q = Configurer();
        ASSERT_EQ(ui_test::Cliquer(q, P_config_COMMANDBUTTON), 0);
        EXPECT_EQ(TailleMedian(), charge < 1 ? 1 : 30);
    }
}

TEST_F(StatistiquesPanneau, ReferenceToAGoneChannelShowsAucunAndOkClearsIt) {
    std::memcpy(Bloc() + kVoie, "9;1", 4);
    const int p = Configurer();
    int index = -1;
    GetCtrlIndex(p, P_config_RING, &index);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(Reference(), "");
}

TEST_F(StatistiquesPanneau, PanelsLeftOpenAreClosedWhenTheInstrumentIsFreed) {
    const int p = Configurer();
    const int q = Configurer();
    ASSERT_NE(p, q);
    liste = Effacer_liste_inst(liste);
    stats = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_FALSE(Charge(q));
}

TEST_F(StatistiquesPanneau, MissingResourceFileOpensNothingAndSaysNothing) {
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    const std::vector<int> avant = ui_test::PanneauxCharges();
    stats->configure(stats);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
}

}  // namespace
