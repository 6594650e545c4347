// "Calculatrice" on its configuration panel: the three channel rings filled from the channel
// tables and showing the stored references, the formula box, OK storing everything and
// closing, a reference whose channel has gone, the 99-character formula, texts typed with "%",
// several panels at once, a panel left open when the instrument is freed, and a missing
// resource file.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/Calculatrice.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_calc.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kChaine = 0, kVoie1 = 228, kVoie2 = 258, kVoie3 = 288;

class CalculatricePanneau : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        liste = Inserer_instru(liste, "essai.dll", CreerEssai(MesuresScalaires("Multi", {"U", "I"}, {2, 3})), 4);
        calc = Nouvel_instrument("Calculatrice.dll");
        ASSERT_NE(calc, nullptr);
        liste = Inserer_instru(liste, "Calculatrice.dll", calc, 7);
        // As the add dialog and a double click do before a configuration panel opens.
        Reserver_buffer_circu(liste);
    }
    void TearDown() override {
        LibererBanc(liste);
        PanneauxInstrument::TearDown();
    }

    int Configurer() { return PanneauCharge([&] { calc->configure(calc); }); }
    char *Champ(std::size_t offset) { return reinterpret_cast<char *>(DebutBloc(calc)) + offset; }
    void Ecrire(std::size_t offset, std::size_t taille, const std::string &texte) {
        EcrireTexteBloc(calc, offset, taille, texte);
    }
    // One sample of an acquisition of this bench.
    double Echantillon() {
        if (!tableau_Bcirc || !tableau_Bcirc[0].mesure) {
            nbpointsgraph = 10;
            Allouer_buffer_circu();
        }
        Echantilloner(liste);
        return calc->mesure_calcul(calc, 1);
    }

    fichei *liste = nullptr;
    PInstrument *calc = nullptr;
};

TEST_F(CalculatricePanneau, ConfigureListsEveryScalarChannelAndShowsTheSettings) {
    Ecrire(kVoie2, 30, "4;2");
    Ecrire(kChaine, 100, "A B C + *");
    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Calculatrice");

    const Elements attendus = {
        {"(aucun)", ""}, {"Multi U", "4;1"}, {"Multi I", "4;2"}, {"Calculatrice Voie 1", "7;1"}};
    for (int ring : {P_config_RING1, P_config_RING2, P_config_RING3}) {
        SCOPED_TRACE(ring);
        EXPECT_EQ(ElementsDe(p, ring), attendus);
    }
    EXPECT_EQ(Chaine(p, P_config_RING1), "");
    EXPECT_EQ(Chaine(p, P_config_RING2), "4;2");
    EXPECT_EQ(Chaine(p, P_config_RING3), "");
    EXPECT_EQ(Chaine(p, P_config_STRING), "A B C + *");
    // Each ring stands beside the name of its input.
    EXPECT_EQ(Chaine(p, P_config_TEXTMSG_3), "A :");
    EXPECT_EQ(Chaine(p, P_config_TEXTMSG_2), "B :");
    EXPECT_EQ(Chaine(p, P_config_TEXTMSG), "C :");
    const auto sous = [&](int texte, int ring) {
        const QRect t = ui_test::Widget(p, texte)->geometry();
        const QRect r = ui_test::Widget(p, ring)->geometry();
        return std::abs(t.center().y() - r.center().y()) < 12 && t.right() < r.left();
    };
    EXPECT_TRUE(sous(P_config_TEXTMSG_3, P_config_RING1));
    EXPECT_TRUE(sous(P_config_TEXTMSG_2, P_config_RING2));
    EXPECT_TRUE(sous(P_config_TEXTMSG, P_config_RING3));
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_COMMANDBUTTON), "OK");
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
}

TEST_F(CalculatricePanneau, OkStoresReferencesAndFormulaThenTheNextSampleUsesThem) {
    const int p = Configurer();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_config_RING1, 2), 0);  // Multi I
    ASSERT_EQ(ui_test::ChoisirElement(p, P_config_RING2, 1), 0);  // Multi U
    ASSERT_EQ(ui_test::EntrerTexte(p, P_config_STRING, "A B ^ 1 -"), 0);
    EXPECT_EQ(std::string(Champ(kVoie1)), "") << "stored only by OK";

    // Events other than the commit do nothing.
    OK_config_calcul_bidon(p, P_config_COMMANDBUTTON, EVENT_VAL_CHANGED, calc->structure, 0, 0);
    EXPECT_TRUE(Charge(p));
    EXPECT_EQ(std::string(Champ(kVoie1)), "");

    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(std::string(Champ(kVoie1)), "4;2");
    EXPECT_EQ(std::string(Champ(kVoie2)), "4;1");
    EXPECT_EQ(std::string(Champ(kVoie3)), "");
    EXPECT_EQ(std::string(Champ(kChaine)), "A B ^ 1 -");
    EXPECT_EQ(Echantillon(), 8.0);  // 3 ^ 2 - 1

    // The next panel shows what was stored.
    const int q = Configurer();
    EXPECT_EQ(Chaine(q, P_config_RING1), "4;2");
    EXPECT_EQ(Chaine(q, P_config_RING2), "4;1");
    EXPECT_EQ(Chaine(q, P_config_STRING), "A B ^ 1 -");
    ASSERT_EQ(ui_test::Cliquer(q, P_config_COMMANDBUTTON), 0);
}

// A reference whose channel the tables no longer hold shows "(aucun)"; OK then clears it.
TEST_F(CalculatricePanneau, ReferenceToAGoneChannelShowsAucunAndOkClearsIt) {
    Ecrire(kVoie1, 30, "9;1");
    Ecrire(kVoie3, 30, "4;1");
    const int p = Configurer();
    EXPECT_EQ(Chaine(p, P_config_RING1), "");
    int index = -1;
    GetCtrlIndex(p, P_config_RING1, &index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Chaine(p, P_config_RING3), "4;1");
    ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(std::string(Champ(kVoie1)), "");
    EXPECT_EQ(std::string(Champ(kVoie3)), "4;1");
}

// The formula box takes 99 characters; whatever the operator types, "%" included, is a formula
// and nothing else: stored byte for byte, never a format.
TEST_F(CalculatricePanneau, TypedFormulasAreStoredAsTyped) {
    struct Cas {
        std::string tape, stocke;
        double resultat;
    } cas[] = {
        {std::string(150, '7'), std::string(99, '7'), std::strtod(std::string(99, '7').c_str(), nullptr)},
        {"7 2 %", "7 2 %", 1},
        {"2.5 2 *", "2.5 2 *", 5},
        {"7 0 %", "7 0 %", NAN},
        {"%s%n%x %d %%", "%s%n%x %d %%", 0},
        {"A %n", "A %n", 0},  // "%n" is one token of two characters that begins with no number
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.stocke);
        const int p = Configurer();
        ASSERT_EQ(ui_test::EntrerTexte(p, P_config_STRING, c.tape), 0);
        ASSERT_EQ(ui_test::Cliquer(p, P_config_COMMANDBUTTON), 0);
        EXPECT_EQ(std::string(Champ(kChaine)), c.stocke);
        const double r = Echantillon();
        if (std::isnan(c.resultat))
            EXPECT_TRUE(std::isnan(r)) << r;
        else
            EXPECT_DOUBLE_EQ(r, c.resultat);
    }
}

TEST_F(CalculatricePanneau, SeveralPanelsAndPanelsLeftOpenWhenTheInstrumentIsFreed) {
    const int p = Configurer();
    const int q = Configurer();
    ASSERT_NE(p, q);
    ASSERT_EQ(ui_test::EntrerTexte(q, P_config_STRING, "B"), 0);
    ASSERT_EQ(ui_test::Cliquer(q, P_config_COMMANDBUTTON), 0);
    EXPECT_EQ(std::string(Champ(kChaine)), "B");
    EXPECT_TRUE(Charge(p));

    // Deleting the instrument closes what it still has on screen.
    const int r = Configurer();
    liste = Supprimer_instru(liste, liste->suivant);
    calc = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_FALSE(Charge(r));
}

TEST_F(CalculatricePanneau, MissingResourceFileOpensNothingAndSaysNothing) {
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    const std::vector<int> avant = ui_test::PanneauxCharges();
    calc->configure(calc);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
    EXPECT_EQ(std::string(Champ(kChaine)), "A B C + *");
}

}  // namespace
