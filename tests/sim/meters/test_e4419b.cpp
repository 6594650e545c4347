// The simulated E4419B power meter, driven through the GPIB calls: its triggers (bus source,
// trigger definition, windows that do not wait), the time its measurements take on the program's
// clock, the switch paths seen through the parallel port, its units and its refusals.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/banc.h"
#include "sim/bus.h"
#include "sim/instruments.h"
#include "sim/meters/e4419b.h"
#include "tests/support/gpib_essai.h"

namespace {

class E4419B : public testing::Test {
protected:
    void SetUp() override {
        horloge::UtiliserHorlogeFactice(1700000000);
        banc_.Configurer("gpib0 = sim\nparport = sim\n");
        mesureur_->FixerOndulation(0.0);
        sim::BusDeCarte(0)->Brancher(7, mesureur_);
        ud_ = ibdev(0, 7, 0, T10s, 1, 1);
    }
    void Envoyer(const std::string &commande) {
        const std::string m = commande + '\0';
        ibwrt(ud_, m.data(), static_cast<long>(m.size()));
    }
    std::string Question(const std::string &commande) {
        Envoyer(commande);
        char tampon[256];
        ibrd(ud_, tampon, sizeof tampon);
        return std::string(tampon, static_cast<std::size_t>(ThreadIbcntl()));
    }
    std::string Erreur() { return Question("SYST:ERR?"); }
    // Window n measures sensor n, waiting for triggers from the bus.
    void Preparer() {
        for (const std::string c : {"1", "2"})
            Envoyer("CONF" + c + ":POW:AC DEF,4,(@" + c + ");:TRIG" + c + ":SOUR BUS;:INIT" + c + ":CONT ON");
    }

    essai::Banc banc_;
    std::shared_ptr<sim::E4419B> mesureur_ = std::make_shared<sim::E4419B>();
    int ud_ = -1;
};

TEST_F(E4419B, IsTheModelOfTheBenchConfiguration) {
    EXPECT_NE(std::dynamic_pointer_cast<sim::E4419B>(sim::CreerInstrument("e4419b")), nullptr);
    EXPECT_EQ(Question("*IDN?"), std::string(sim::E4419B::kIdentite) + "\n");
    EXPECT_EQ(Question("stat:dev:cond?"), "+6\n");
    mesureur_->BrancherCapteur(1, false);
    EXPECT_EQ(Question("STATUS:DEVICE:CONDITION?"), "+4\n");
}

// A measurement takes the averaging count over the speed; *WAI holds the next trigger until it
// ends, and *OPC after the last one raises the service request.
TEST_F(E4419B, TriggersMeasureOnTheProgramClock) {
    Preparer();
    Envoyer("SENS1:SPE 40;:SENS2:SPE 20;:SENS1:AVER:COUN 8;:SENS2:AVER:COUN 2");
    Envoyer("*ESE 1;*SRE 32;*TRG;*WAI;*TRG;*OPC");
    EXPECT_EQ(mesureur_->Mesures(), 1);
    horloge::AvancerHorlogeFactice(0.199);  // the longer of 8/40 and 2/20 s
    EXPECT_FALSE(mesureur_->DemandeService());
    EXPECT_EQ(mesureur_->Mesures(), 1);
    horloge::AvancerHorlogeFactice(0.002);
    EXPECT_FALSE(mesureur_->DemandeService());
    EXPECT_EQ(mesureur_->Mesures(), 2) << "the second trigger went after the first measurement";
    horloge::AvancerHorlogeFactice(0.25);
    EXPECT_TRUE(mesureur_->DemandeService());
    EXPECT_EQ(Question("*ESR?"), "+1\n");
    EXPECT_EQ(Question("FETC1?;FETC2?"), "-1.00000000E+01;-3.00000000E+01\n");
    EXPECT_EQ(Erreur(), "+0,\"No error\"\n");
}

// Triggers held by *WAI go one after the other in the meter's own time: a chain looked at only
// long after it was sent has ended by then; a trigger sent after that look is a new one.
TEST_F(E4419B, AChainOfTriggersEndsInTheMetersOwnTime) {
    Preparer();
    Envoyer("*DDT \"TRIG1;TRIG2\";*ESE 1;*SRE 32");
    Envoyer("*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*OPC");
    horloge::AvancerHorlogeFactice(0.95);  // five measurements of 4/20 s: one second
    EXPECT_FALSE(mesureur_->DemandeService());
    EXPECT_EQ(mesureur_->Mesures(), 5);
    horloge::AvancerHorlogeFactice(30.0);
    EXPECT_TRUE(mesureur_->DemandeService());
    EXPECT_EQ(Question("*ESR?"), "+1\n");

    // Looked at only long after it was sent, the whole chain has ended.
    Envoyer("*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*WAI;*TRG;*OPC");
    horloge::AvancerHorlogeFactice(30.0);
    EXPECT_TRUE(mesureur_->DemandeService()) << "at the first look";
    EXPECT_EQ(mesureur_->Mesures(), 10);
    EXPECT_EQ(Question("*ESR?"), "+1\n");

    // A trigger after that look takes its own time.
    Envoyer("*TRG;*OPC");
    EXPECT_FALSE(mesureur_->DemandeService());
    horloge::AvancerHorlogeFactice(0.19);
    EXPECT_FALSE(mesureur_->DemandeService());
    horloge::AvancerHorlogeFactice(0.02);
    EXPECT_TRUE(mesureur_->DemandeService());
    EXPECT_EQ(Erreur(), "+0,\"No error\"\n");
}

// A measurement ends once no window takes part in it any more: a trigger after that is taken.
TEST_F(E4419B, AbortingEveryWindowEndsTheMeasurement) {
    Preparer();
    Envoyer("*DDT \"TRIG1;TRIG2\";*ESE 1;*SRE 32;*TRG");
    Envoyer(":ABOR1");
    EXPECT_TRUE(mesureur_->OperationEnCours()) << "window 2 still measures";
    Envoyer("*TRG");
    EXPECT_EQ(Erreur(), "-211,\"Trigger ignored\"\n");
    Envoyer("CONF2:POW:AC DEF,4,(@2);:INIT1:CONT ON;:INIT2:CONT ON;:TRIG2:SOUR BUS");
    Envoyer("*TRG;*OPC");
    EXPECT_EQ(Erreur(), "+0,\"No error\"\n");
    horloge::AvancerHorlogeFactice(0.21);
    EXPECT_TRUE(mesureur_->DemandeService());
    EXPECT_EQ(Question("FETC1?;FETC2?"), "-1.00000000E+01;-3.00000000E+01\n");
    EXPECT_EQ(mesureur_->Mesures(), 2);
}

TEST_F(E4419B, WhatATriggerReaches) {
    // Nothing waits for triggers yet.
    Envoyer("*TRG");
    EXPECT_EQ(Erreur(), "-211,\"Trigger ignored\"\n");
    EXPECT_EQ(Question("FETCH1?"), "") << "no measurement since the configuration";
    EXPECT_EQ(Erreur(), "-230,\"Data corrupt or stale\"\n");
    EXPECT_EQ(Erreur(), "-420,\"Query UNTERMINATED\"\n") << "the read found nothing";

    // Without a definition, *TRG reaches the waiting windows whose source is the bus.
    Preparer();
    Envoyer("TRIG2:SOUR HOLD;*TRG");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_EQ(Question("FETCH1?"), "-1.00000000E+01\n");
    EXPECT_EQ(Question("FETCH2?"), "");
    EXPECT_EQ(Erreur(), "-230,\"Data corrupt or stale\"\n");
    EXPECT_EQ(Erreur(), "-420,\"Query UNTERMINATED\"\n");

    // A definition triggers the windows it names, whatever their source.
    Envoyer("*DDT \"TRIG1;TRIG2\";*TRG");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_EQ(Question("FETCH2?"), "-3.00000000E+01\n");

    // A trigger during a measurement is ignored.
    Envoyer("*TRG;*TRG");
    EXPECT_EQ(Erreur(), "-211,\"Trigger ignored\"\n");
    EXPECT_EQ(Erreur(), "+0,\"No error\"\n");
}

// The value is the power of the path the switch lines chose when the measurement was triggered.
TEST_F(E4419B, PathsFollowTheSwitchLinesAtTheTrigger) {
    const auto port = sim::RegistreParalleleDuBanc();
    ASSERT_NE(port, nullptr);
    mesureur_->FixerLignes(1, 0x04);
    mesureur_->FixerLignes(2, 0x10);
    mesureur_->FixerNiveaux(2, -31.5, -42.25);
    Preparer();
    Envoyer("*DDT \"TRIG1;TRIG2\"");
    struct Cas {
        int octet;
        const char *reponse;
    };
    const Cas cas[] = {
        {0x00, "-1.00000000E+01;-3.15000000E+01\n"},
        {0x04, "-2.00000000E+01;-3.15000000E+01\n"},
        {0xEB, "-1.00000000E+01;-3.15000000E+01\n"},  // lines of other devices
        {0x14, "-2.00000000E+01;-4.22500000E+01\n"},
    };
    for (const Cas &c : cas) {
        port->Fixer(static_cast<std::uint8_t>(c.octet));
        Envoyer("*TRG");
        port->Fixer(0x00);  // moving the lines during the measurement changes nothing
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(Question("FETCH1?;FETCH2?"), c.reponse) << c.octet;
    }
}

TEST_F(E4419B, UnitsUnpluggedSensorsAndRefusedSettings) {
    Preparer();
    Envoyer("UNIT1:POW W;*DDT \"TRIG1;TRIG2\"");
    mesureur_->BrancherCapteur(2, false);
    Envoyer("*TRG");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_EQ(Question("FETCH1?"), "+1.00000000E-04\n") << "-10 dBm";
    EXPECT_EQ(Question("FETCH2?"), "+9.91000000E+37\n") << "no sensor: not a number";

    const struct {
        const char *commande;
        const char *erreur;
    } refus[] = {
        {"SENS1:FREQ:FIX 0MHz", "-222,\"Data out of range\"\n"},
        {"SENS1:FREQ:FIX 110MHzz", "-224,\"Illegal parameter value\"\n"},
        {"SENS3:SPE 20", "-114,\"Header suffix out of range\"\n"},
        {"SENS1:SPE 25", "-224,\"Illegal parameter value\"\n"},
        {"CONF1:POW:AC DEF,5,(@1)", "-222,\"Data out of range\"\n"},
        {"CONF1:POW:AC DEF,4,(@3)", "-224,\"Illegal parameter value\"\n"},
        {"UNIT2:POW DBW", "-224,\"Illegal parameter value\"\n"},
        {"*ESR 0", "-113,\"Undefined header\"\n"},
    };
    for (const auto &r : refus) {
        Envoyer(r.commande);
        EXPECT_EQ(Erreur(), r.erreur) << r.commande;
    }
    for (const char *accepte : {"SENS2:FREQ 2.4GHZ", "SENS1:FREQ:CW 1500000", "SENS1:AVER:SDET ON", "TRIG1:DEL:AUTO OFF"}) {
        Envoyer(accepte);
        EXPECT_EQ(Erreur(), "+0,\"No error\"\n") << accepte;
    }
}

}  // namespace
