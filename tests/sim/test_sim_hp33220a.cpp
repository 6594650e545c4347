// The simulated HP 33220A function generator, driven through the GPIB calls: its output settings,
// units, limits and conflicts, the burst subsystem, the shape written as a header node, and its
// queries.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gpib.h"
#include "sim/analysers/hp33220a.h"
#include "sim/bus.h"
#include "sim/instruments.h"
#include "tests/support/gpib_essai.h"

namespace {

using Forme = sim::Hp33220A::Forme;
using Erreurs = std::vector<std::pair<int, std::string>>;

class Generateur : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(10, g);
        ud_ = ibdev(0, 10, 0, T10s, 1, 1);
    }
    // Each command written as the program writes them: its NUL, END on it.
    void Envoyer(std::initializer_list<std::string> commandes) {
        for (const std::string &c : commandes) {
            const std::string m = c + '\0';
            ibwrt(ud_, m.data(), static_cast<long>(m.size()));
        }
    }
    std::string Question(const std::string &q) {
        Envoyer({q});
        char tampon[256];
        ibrd(ud_, tampon, sizeof tampon);
        return std::string(tampon, static_cast<std::size_t>(ThreadIbcntl()));
    }

    std::shared_ptr<sim::Hp33220A> g = std::make_shared<sim::Hp33220A>();

private:
    essai::Banc banc_;
    int ud_ = -1;
};

TEST_F(Generateur, ModeleDuBancEtEtatALaMiseSousTension) {
    EXPECT_NE(std::dynamic_pointer_cast<sim::Hp33220A>(sim::CreerInstrument("33220a")), nullptr);
    EXPECT_EQ(Question("*IDN?"), "HEWLETT-PACKARD,33220A,0,2.02-2.02-22-2\n");
    EXPECT_EQ(Question("APPL?"), "\"SIN +1.000000000000000E+03,+1.000000000000000E-01,+0.000000000000000E+00\"\n");
    EXPECT_EQ(Question("OUTP?;BM:STAT?"), "0;0\n");
    Envoyer({"APPL:SQU 2 KHZ, 1.5 VPP, -1V", "BM:STAT ON", "*RST"});
    const sim::Hp33220A::Sortie s = g->Etat();
    EXPECT_EQ(s.forme, Forme::Sinus);
    EXPECT_EQ(s.frequence, 1000.0);
    EXPECT_FALSE(s.active);
    EXPECT_FALSE(s.salve);
}

// APPLy: the shape, then the values given (units, with or without a blank), output on.
TEST_F(Generateur, ApplyFixeFormeValeursEtSortie) {
    Envoyer({"APPL:SIN 5 KHZ, 3.0 VPP, 0V"});
    sim::Hp33220A::Sortie s = g->Etat();
    EXPECT_EQ(s.forme, Forme::Sinus);
    EXPECT_EQ(s.frequence, 5000.0);
    EXPECT_EQ(s.amplitude, 3.0);
    EXPECT_EQ(s.decalage, 0.0);
    EXPECT_TRUE(s.active);
    Envoyer({"appl:ramp 500.000000 ,0.500000", "APPLY:TRIANGLE 2.5MHZ"});
    s = g->Etat();
    EXPECT_EQ(s.forme, Forme::Triangle);
    EXPECT_EQ(s.frequence, 200e3) << "beyond what a triangle allows";
    EXPECT_EQ(s.amplitude, 0.5);
    Envoyer({"APPL:NOIS 1 HZ, 250 MVPP"});
    s = g->Etat();
    EXPECT_EQ(s.forme, Forme::Bruit);
    EXPECT_EQ(s.frequence, 200e3) << "the frequency of noise is not used";
    EXPECT_EQ(s.amplitude, 0.25);
    EXPECT_EQ(g->Erreurs(), (Erreurs{{-222, "Data out of range"}}));
}

struct CasReglage {
    std::vector<std::string> commandes;
    std::string question;
    std::string reponse;
    Erreurs erreurs;
};

// Settings one at a time: units, MIN and MAX, limits (-222), conflicts (-221), refused units
// and words, unknown headers.
TEST_F(Generateur, ReglagesLimitesEtErreurs) {
    const std::vector<CasReglage> cas = {
        {{"SOUR:FREQ 500.000000"}, "FREQ?", "+5.000000000000000E+02", {}},
        {{"FREQUENCY 2.5 MHZ"}, "SOUR:FREQ?", "+2.500000000000000E+06", {}},
        {{"FREQ 1e9"}, "FREQ?", "+2.000000000000000E+07", {{-222, "Data out of range"}}},
        {{"FREQ -3.000000"}, "FREQ?", "+1.000000000000000E-06", {{-222, "Data out of range"}}},
        {{"FUNC RAMP", "FREQ MAX"}, "FREQ?", "+2.000000000000000E+05", {}},
        {{"FREQ 1 MHZ", "FUNC:SHAP RAMP"}, "FREQ?", "+2.000000000000000E+05", {{-221, "Settings conflict"}}},
        {{"FREQ 3 V"}, "FREQ?", "+1.000000000000000E+03", {{-131, "Invalid suffix"}}},
        {{"SOUR:VOLT 0.500000"}, "VOLT?", "+5.000000000000000E-01", {}},
        {{"VOLT 20 MV"}, "VOLT?", "+2.000000000000000E-02", {}},
        {{"VOLT MIN"}, "VOLT?", "+1.000000000000000E-02", {}},
        {{"VOLT 0.000000"}, "VOLT?", "+1.000000000000000E-02", {{-222, "Data out of range"}}},
        {{"VOLT 2", "VOLT:OFFS 4"}, "VOLT:OFFS?", "+4.000000000000000E+00", {}},
        {{"VOLT 2", "VOLT:OFFS 4.5"}, "VOLT:OFFS?", "+4.000000000000000E+00", {{-222, "Data out of range"}}},
        {{"VOLT:OFFS -3", "VOLT 8"}, "VOLT:OFFS?", "-1.000000000000000E+00", {{-221, "Settings conflict"}}},
        {{"FUNC SQU"}, "FUNC?", "SQU", {}},
        {{"FUNC SAW"}, "FUNC?", "SIN", {{-224, "Illegal parameter value"}}},
        {{"SOUR:FUNC:SHAP:SQR"}, "FUNC?", "SQU", {}},
        {{"SOUR:FUNC:SHAP:TRI"}, "FUNC?", "TRI", {}},
        {{"SOUR:FUNC:SHAP:RAMP"}, "FUNC?", "RAMP", {}},
        {{"SOUR:NOIS", "SOUR:FUNC:SHAP:SIN"}, "FUNC?", "SIN", {}},
        {{"SOUR:FUNC:SHAP:PULS"}, "FUNC?", "SIN", {{-113, "Undefined header"}}},
        {{"OUTP ON"}, "OUTP?", "1", {}},
    };
    for (const CasReglage &c : cas) {
        SCOPED_TRACE(c.commandes.front());
        g = std::make_shared<sim::Hp33220A>();
        sim::BusDeCarte(0)->Brancher(10, g);
        for (const std::string &commande : c.commandes) Envoyer({commande});
        EXPECT_EQ(g->Erreurs(), c.erreurs);
        EXPECT_EQ(Question(c.question), c.reponse + "\n");
    }
}

// The burst subsystem as the program drives it: the panel's five commands, the command
// language's three, and no burst of noise.
TEST_F(Generateur, SalvesDeLaSourceInterne) {
    Envoyer({"BM:SOUR INT", "BM:STAT ON", "BM:PHAS 0", "BM:INT:RATE 12.250000", "BM:NCYC 40"});
    sim::Hp33220A::Sortie s = g->Etat();
    EXPECT_TRUE(s.salve);
    EXPECT_TRUE(s.salveInterne);
    EXPECT_EQ(s.cadence, 12.25);
    EXPECT_EQ(s.cycles, 40);
    EXPECT_EQ(Question("BM:NCYC?;:BM:INT:RATE?;:BM:PHAS?;:BM:SOUR?;:BM:STATE?"),
              "+4.000000000000000E+01;+1.225000000000000E+01;+0.000000000000000E+00;INT;1\n");
    Envoyer({"BM:NCYC 2147483647", "BM:INT:RATE 100000.000000", "BM:STATE OFF", "BM:SOUR EXT"});
    s = g->Etat();
    EXPECT_EQ(s.cycles, 50000);
    EXPECT_EQ(s.cadence, 50e3);
    EXPECT_FALSE(s.salve);
    EXPECT_FALSE(s.salveInterne);
    EXPECT_EQ(g->Erreurs(), (Erreurs{{-222, "Data out of range"}, {-222, "Data out of range"}}));

    Envoyer({"*CLS", "BM:STAT ON", "SOUR:NOIS"});
    EXPECT_FALSE(g->Etat().salve) << "choosing noise ends the burst";
    Envoyer({"BM:STAT ON"});
    EXPECT_FALSE(g->Etat().salve);
    EXPECT_EQ(g->Erreurs(), (Erreurs{{-221, "Settings conflict"}}));
}

}  // namespace
