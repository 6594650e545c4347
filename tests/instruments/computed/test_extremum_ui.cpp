// "Détecteur d'extremum" on its configuration panel: the ring of vector channels showing the
// stored reference, the two switches, OK storing the three settings for the next sample
// without touching the result, a reference whose channel has gone, panels left open when the
// instrument is freed, and a missing resource file.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/extremum.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_extremum.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kVoie = 0, kMesure = 160, kType = 168, kTypeExtrem = 172;

class ExtremumPanneau : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        liste = Inserer_instru(liste, "essai.dll", CreerEssai(MesuresScalaires("Multi", {"U"}, {2})), 2);
        const ConfigEssai v =
            MesuresVecteurs("Scope", {"CH1", "CH2"}, {{1, 5, 5, 2}, {0, 0}}, {{10, 20, 30, 40}, {0, 0}});
        liste = Inserer_instru(liste, "essai.dll", CreerEssai(v), 6);
        detecteur = Nouvel_instrument("extremum.dll");
        ASSERT_NE(detecteur, nullptr);
        liste = Inserer_instru(liste, "extremum.dll", detecteur, 8);
        Reserver_buffer_circu(liste);
    }
    void TearDown() override {
        LibererBanc(liste);
        PanneauxInstrument::TearDown();
    }

    int Configurer() { return PanneauCharge([&] { detecteur->configure(detecteur); }); }
    unsigned char *Bloc() { return DebutBloc(detecteur); }
    std::string Reference() { return reinterpret_cast<const char *>(Bloc() + kVoie); }
    std::int32_t Entier(std::size_t offset) { return LireEntierBloc(detecteur, offset); }
    double Echantillon() {
        if (!tableau_Bcirc || !tableau_Bcirc[0].mesure) {
            nbpointsgraph = 10;
            Allouer_buffer_circu();
            Init_buffer2D_circu(liste);
        }
        Echantilloner(liste);
        return detecteur->mesure_calcul(detecteur, 1);
    }

    fichei *liste = nullptr;
    PInstrument *detecteur = nullptr;
};

TEST_F(ExtremumPanneau, ConfigureListsVectorChannelsAndOkStoresTheSettings) {
    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration");
    EXPECT_EQ(ElementsDe(p, P_config_RING), (Elements{{"(aucun)", ""}, {"Scope CH1", "6;1"}, {"Scope CH2", "6;2"}}));
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_RING), "Voie à traiter");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_TYPE), "Type");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_T_EXTREM), "Extraire");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_COMMANDBUTTON), "OK");
    EXPECT_EQ(Valeur(p, P_config_TYPE), 1) << "Maximum";
    EXPECT_EQ(Valeur(p, P_config_T_EXTREM), 0) << "Valeur";

    ASSERT_EQ(ui_test::ChoisirElement(p, P_config_RING, 1), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(Reference(), "6;1");
    EXPECT_EQ(Echantillon(), 5.0);

    // Minimum and its abscissa, from the next sample on, with no reset in between.
    const int q = Configurer();
    char valeur[30] = "";
    GetCtrlVal(q, P_config_RING, valeur);
    EXPECT_STREQ(valeur, "6;1");
    ASSERT_EQ(ui_test::Cliquer(q, P_config_TYPE), 0);
    ASSERT_EQ(ui_test::Cliquer(q, P_config_T_EXTREM), 0);
    EXPECT_EQ(Valeur(q, P_config_TYPE), 0);
    EXPECT_EQ(Valeur(q, P_config_T_EXTREM), 1);
    OK_config_calcul_extremum(q, P_config_COMMANDBUTTON, EVENT_VAL_CHANGED, detecteur->structure, 0, 0);
    EXPECT_TRUE(Charge(q)) << "only the commit acts";
    EXPECT_EQ(Entier(kType), 1);
    ASSERT_EQ(ui_test::Cliquer(q, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(Entier(kType), 0);
    EXPECT_EQ(Entier(kTypeExtrem), 1);
    EXPECT_EQ(detecteur->mesure_calcul(detecteur, 1), 5.0) << "the result is not reset";
    EXPECT_EQ(Echantillon(), 10.0);
}

// Any value other than 0 read from a file means maximum, resp. abscissa: the switches show it.
TEST_F(ExtremumPanneau, SwitchesShowLoadedValues) {
    const std::int32_t sept = 7, moins = -2;
    std::memcpy(Bloc() + kType, &sept, 4);
    std::memcpy(Bloc() + kTypeExtrem, &moins, 4);
    const int p = Configurer();
    EXPECT_EQ(Valeur(p, P_config_TYPE), 1);
    EXPECT_EQ(Valeur(p, P_config_T_EXTREM), 1);
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(Entier(kType), 1);
    EXPECT_EQ(Entier(kTypeExtrem), 1);
}

TEST_F(ExtremumPanneau, ReferenceToAGoneChannelShowsAucunAndOkClearsIt) {
    std::memcpy(Bloc() + kVoie, "6;3", 4);
    const double sauve = 3.25;
    std::memcpy(Bloc() + kMesure, &sauve, 8);
    const int p = Configurer();
    int index = -1;
    GetCtrlIndex(p, P_config_RING, &index);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(Reference(), "");
    EXPECT_EQ(Echantillon(), sauve) << "no channel: the result stays";
}

TEST_F(ExtremumPanneau, PanelsLeftOpenAreClosedWhenTheInstrumentIsFreed) {
    const int p = Configurer();
    const int q = Configurer();
    ASSERT_NE(p, q);
    fichei *noeud = liste->suivant->suivant;
    ASSERT_EQ(noeud->plugin, detecteur);
    liste = Supprimer_instru(liste, noeud);
    detecteur = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_FALSE(Charge(q));
}

TEST_F(ExtremumPanneau, MissingResourceFileOpensNothingAndSaysNothing) {
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    const std::vector<int> avant = ui_test::PanneauxCharges();
    detecteur->configure(detecteur);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
}

}  // namespace
