// The simulated universal counter, driven as the program drives it: through the GPIB calls of
// the counter plugins and through the counter's driver over VISA. Its command forms, the
// set-up it keeps and answers, measurements on the program's clock, service requests on
// completion, statistics and limits, and the faults a test can give it.
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "gpib/GLOBALES.h"
#include "gpib/HP5313XA.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/banc.h"
#include "sim/bus.h"
#include "sim/counters/hp5313x.h"
#include "sim/instruments.h"
#include "tests/support/gpib_essai.h"

namespace {

class CompteurSimule : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(3, compteur_);
        ud_ = ibdev(0, 3, 0, T10s, 1, 1);
    }
    // Writes as the plugins' helper does (with the NUL), then reads the reply, if `question`.
    std::string Envoyer(const std::string &commande, bool question = false) {
        ibecr(ud_, commande.c_str());
        if (!question) return {};
        char tampon[256];
        ibrd(ud_, tampon, sizeof tampon);
        return std::string(tampon, static_cast<std::size_t>(ThreadIbcntl()));
    }
    std::string Question(const std::string &commande) { return Envoyer(commande, true); }
    std::vector<std::pair<int, std::string>> Erreurs() { return compteur_->Erreurs(); }

    essai::Banc banc_;
    std::shared_ptr<sim::Compteur5313x> compteur_ = std::make_shared<sim::Compteur5313x>();
    int ud_ = -1;
};

TEST_F(CompteurSimule, KeepsTheSetUpItIsGivenInEveryForm) {
    const struct {
        const char *commande;
        const char *question;
        const char *reponse;
    } cas[] = {
        {":inp1:att 10;coup dc;imp 50;filt on", ":INP1:ATT?;:INPut1:COUPling?;:INP1:IMP?;:INP1:FILT?",
         "+10;DC;+5.00000000000000E+001;1\n"},
        {":INP2:COUP AC", ":inp2:coup?;imp?", "AC;+1.00000000000000E+006\n"},
        {":FUNC 'FREQ 2'", ":FUNC?", "\"FREQ 2\"\n"},
        {":func \"freq:rat 1,2\";", ":SENS:FUNC?", "\"FREQ:RAT 1,2\"\n"},
        {":FUNC \"PHASE\"", ":FUNCTION:ON?", "\"PHAS 1,2\"\n"},
        {":inp1:att 1;:even1:lev:auto on;rel 30;:even1:slop neg;hyst:rel 50;",
         ":EVENT1:LEV:AUTO?;:EVEN1:LEV:REL?;:EVENT1:SLOPE?;:EVEN1:HYST:REL?", "1;+30;NEG;+50\n"},
        {":inp2:att 10;:even2:lev -20.000000;", ":EVEN2:LEV?;LEV:AUTO?", "-2.00000000000000E+001;0\n"},
        {":FREQ:ARM:STAR:SOUR IMM;:FREQ:ARM:STOP:SOUR DIG;:FREQ:ARM:STOP:DIG 7",
         ":FREQ:ARM:STOP:SOUR?;DIG?;:FREQ:ARM:SOUR?", "DIG;+7;IMM\n"},
        {":tot:arm:sour ext;slop pos;stop:sour tim;tim 0.100000;", ":TOT:ARM:STAR:SOUR?;:TOT:ARM:STOP:TIM?",
         "EXT;+1.00000000000000E-001\n"},
        {"FORM:DATA ASCII;:TRIG:COUN:AUTO ON", ":FORMAT?;:TRIGGER:COUNT:AUTO?", "ASC;1\n"},
        {":calc3:aver on;aver:count 100;:calc3:lfil:stat off;low -1.000000;upp 1.000000;:trig:count:auto on;"
         ":disp:text:feed \"calc3\";:calc3:aver:type sdev",
         ":CALC3:AVER?;AVER:COUN?;TYPE?;:CALC3:LFIL:LOW?;:DISP:TEXT:FEED?",
         "1;+100;SDEV;-1.00000000000000E+000;\"CALC3\"\n"},
        {":calc2:lim:stat on;disp grap;upp 2.500000;low -1.000000;:init:auto on;",
         ":CALC2:LIM?;LIM:DISP?;UPP?;:INIT:AUTO?", "1;GRAP;+2.50000000000000E+000;1\n"},
        {":trac scale, 2.000000;:trac offset, -0.500000;:calc:math:stat on;",
         ":TRAC? SCALE;:TRAC? OFFSET;:CALC1:MATH?", "+2.00000000000000E+000;-5.00000000000000E-001;1\n"},
        {":even2:feed \"inp1\"", ":EVEN2:FEED?", "\"INP1\"\n"},
        {":stat:oper:enable 256;ntr 256;ptr 0", ":STAT:OPER:ENAB?;NTR?;PTR?", "+256;+256;+0\n"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        Envoyer(c.commande);
        EXPECT_EQ(Question(c.question), c.reponse);
    }
    EXPECT_TRUE(Erreurs().empty());
    // Input 3 is the RF input: AC, 50 ohm.
    EXPECT_EQ(Question(":inp3:coup?;:inp3:imp?"), "AC;+5.00000000000000E+001\n");
}

TEST_F(CompteurSimule, RefusesWhatTheCounterRefuses) {
    const struct {
        const char *commande;
        int erreur;
    } cas[] = {
        {":INP1:ATT 5", -222},       {":BOGUS 1", -113},        {":FUNC 'WOBBLE'", -224},
        {":FUNC FREQ", -104},        {":INP4:COUP AC", -114},   {"*RCL 21", -222},
        {":EVEN1:LEV 6", -222},      {":FREQ:ARM:STOP:DIG 2", -222}, {":TOT:ARM:STOP:SOUR DIG", -224},
        {":FUNC 'PHAS 1,3'", -224},  {":CALC3:AVER:COUN 1", -222}, {":EVEN3:SLOP POS", -114},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        Envoyer(c.commande);
        const auto erreurs = Erreurs();
        ASSERT_EQ(erreurs.size(), 1u);
        EXPECT_EQ(erreurs[0].first, c.erreur);
        Question(":SYST:ERR?");
    }
    EXPECT_EQ(Question(":SYST:ERR?"), "+0,\"No error\"\n");
}

TEST_F(CompteurSimule, MeasuresOnTheProgramsClockAndRequestsServiceWhenDone) {
    horloge::UtiliserHorlogeFactice(0);
    Envoyer("*RST");
    Envoyer(":FREQ:ARM:STOP:SOUR DIG;DIG 9");  // 0.1 s a measurement
    Envoyer("*ESE 1");
    Envoyer("*SRE 32");
    EXPECT_EQ(Question("*ESR?"), "+0\n");
    Envoyer(":INIT:IMM;*WAI;*OPC");
    horloge::AvancerHorlogeFactice(0.05);
    EXPECT_FALSE(compteur_->DemandeService());
    horloge::AvancerHorlogeFactice(0.06);
    EXPECT_TRUE(compteur_->DemandeService());
    char octet = 0;
    ibrsp(ud_, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x60);  // RQS and ESB
    EXPECT_FALSE(compteur_->DemandeService());
    EXPECT_EQ(Question("FETCH:FREQ?"), "+1.000000000000E+007\n");
    EXPECT_EQ(Question("*ESR?"), "+1\n");
    // The next measurement on the other input, rounded to its digits.
    compteur_->FixerSignal(2, {1234567.891});
    Envoyer(":FUNC 'FREQ 2'");
    Envoyer(":FREQ:ARM:STOP:DIG 4");
    Envoyer(":INIT:IMM;*OPC");
    horloge::AvancerHorlogeFactice(0.011);
    EXPECT_TRUE(compteur_->DemandeService());
    EXPECT_EQ(Question(":FETC?"), "+1.235000000000E+006\n");
    EXPECT_EQ(compteur_->MesuresFaites(), 2);
}

TEST_F(CompteurSimule, AMissingSignalNeverCompletesAndANewFunctionAbandonsIt) {
    horloge::UtiliserHorlogeFactice(0);
    compteur_->FixerSignal(2, {});
    Envoyer("*ESE 1");
    Envoyer("*SRE 32");
    Envoyer(":FUNC 'FREQ 2'");
    Envoyer(":INIT:IMM;*OPC");
    horloge::AvancerHorlogeFactice(100.0);
    EXPECT_FALSE(compteur_->DemandeService());
    EXPECT_TRUE(compteur_->MesureEnCours());
    // The watchdog's forced switch: the abandoned measurement completes nothing.
    Envoyer(":FUNC 'FREQ 1'");
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_FALSE(compteur_->DemandeService());
    EXPECT_FALSE(compteur_->MesureEnCours());
    Envoyer("*ESR?", true);
    char octet = 0;
    ibrsp(ud_, &octet);
    Envoyer(":INIT:IMM;*OPC");
    horloge::AvancerHorlogeFactice(0.011);
    EXPECT_TRUE(compteur_->DemandeService());
    EXPECT_EQ(Question("FETCH:FREQ?"), "+1.000000000000E+007\n");
    // The signal coming back ends a waiting measurement after its own time.
    Envoyer(":FUNC 'FREQ 2';:INIT");
    compteur_->FixerSignal(2, {2e6});
    EXPECT_EQ(Question(":FETC?"), "+2.000000000000E+006\n");
}

TEST_F(CompteurSimule, SequencesAndAFetchDuringAMeasurement) {
    compteur_->FixerSignal(1, {1e6, 2e6, 3e6});
    compteur_->FixerDureeMesure(1, 0.2);
    // Nothing measured yet: stale data.
    Envoyer(":FETC?");
    EXPECT_EQ(Erreurs().front().first, -230);
    Question(":SYST:ERR?");
    for (const char *attendu : {"+1.000000000000E+006\n", "+2.000000000000E+006\n", "+3.000000000000E+006\n",
                                "+3.000000000000E+006\n"}) {
        // The reading query waits for the measurement under way.
        EXPECT_EQ(Question(":INIT;FETC?"), attendu);
    }
    EXPECT_EQ(Question(":READ?"), "+3.000000000000E+006\n");
    // Continuous measurements: a reading query is answered at the end of the one under way.
    Envoyer(":INIT:CONT ON");
    const int avant = compteur_->MesuresFaites();
    EXPECT_EQ(Question(":FETC?"), "+3.000000000000E+006\n");
    EXPECT_EQ(Question(":FETC?"), "+3.000000000000E+006\n");
    EXPECT_GE(compteur_->MesuresFaites(), avant + 2);
    EXPECT_TRUE(compteur_->MesureEnCours());
    Envoyer(":INIT:CONT OFF;:ABOR");
    EXPECT_FALSE(compteur_->MesureEnCours());
    EXPECT_TRUE(Erreurs().empty());
}

// An input behind an RF switch measures the signal of the position its line had when the
// measurement started; other lines of the port change nothing.
TEST_F(CompteurSimule, AnInputBehindASwitchFollowsItsLineAtTheStartOfEachMeasurement) {
    horloge::UtiliserHorlogeFactice(0);
    banc_.Configurer("gpib0 = sim\nparport = sim\n");
    const auto port = sim::RegistreParalleleDuBanc();
    ASSERT_NE(port, nullptr);
    ud_ = ibdev(0, 3, 0, T10s, 1, 1);
    compteur_->FixerSignal(1, {10e6});
    compteur_->FixerCommutateur(1, 8, {15e6, 16e6});
    compteur_->FixerDureeMesure(1, 0.2);
    const struct {
        std::uint8_t lignes;
        const char *lecture;
    } cas[] = {
        {0x00, "+1.000000000000E+007\n"}, {0x08, "+1.500000000000E+007\n"}, {0xF7, "+1.000000000000E+007\n"},
        {0xFF, "+1.600000000000E+007\n"}, {0x08, "+1.600000000000E+007\n"}, {0x00, "+1.000000000000E+007\n"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(static_cast<int>(c.lignes));
        port->Fixer(c.lignes);
        Envoyer(":INIT");
        // The line moves during the measurement: the reading keeps its starting position.
        port->Fixer(static_cast<std::uint8_t>(c.lignes ^ 0x08));
        EXPECT_EQ(Question(":FETC?"), c.lecture);
    }
    // The model of the demo bench: SW1 (line D2) in front of input 1.
    const auto commute = std::dynamic_pointer_cast<sim::Compteur5313x>(sim::CreerInstrument("53131A-SW"));
    ASSERT_NE(commute, nullptr);
    sim::BusDeCarte(0)->Brancher(3, commute);
    compteur_ = commute;
    for (const auto &[lignes, lecture] : {std::pair<int, const char *>{0x04, "+1.500000000000E+007\n"},
                                          {0x08, "+1.000000000000E+007\n"}}) {
        port->Fixer(static_cast<std::uint8_t>(lignes));
        EXPECT_EQ(Question(":INIT;FETC?"), lecture);
    }
    EXPECT_TRUE(Erreurs().empty());
}

TEST_F(CompteurSimule, PhaseAveragedByTheCounter) {
    horloge::UtiliserHorlogeFactice(0);
    compteur_->FixerPhase({10.0, 20.0, 30.0, 40.0});
    // The phase plugin's set-up in mode Stat with 4 measurements.
    for (const char *c : {":INIT:CONT OFF", ":FUNC \"PHASE\"", ":INP1:COUP AC", ":INP2:COUP AC", ":INP1:FILT ON",
                          ":INP2:FILT ON", ":INP1:IMP 1000000", ":INP2:IMP 1000000", ":INP1:ATT 1", ":INP2:ATT 1",
                          ":EVENT1:HYST:REL 100", ":EVENT2:HYST:REL 100", ":EVENT1:SLOP POS", ":EVENT2:SLOP POS",
                          ":EVEN1:LEV:AUTO ON", ":EVEN2:LEV:AUTO ON", ":EVEN1:LEV:REL 50", ":EVEN2:LEV:REL 50",
                          ":TRIG:COUN:AUTO ON", ":DISP:TEXT:FEED \"CALC3\"", ":CALC3:AVER:COUN 4",
                          ":CALC3:AVER:TYPE MEAN", ":CALC3:LFIL:STAT OFF", ":CALC3:AVER:STAT ON"})
        Envoyer(c);
    EXPECT_TRUE(Erreurs().empty());
    ibwrt(ud_, "*ESE 1", 6);
    ibwrt(ud_, "*SRE 32", 7);
    Envoyer(":INIT:IMM;*OPC");
    horloge::AvancerHorlogeFactice(0.035);
    EXPECT_FALSE(compteur_->DemandeService());  // 3 of the 4 measurements
    horloge::AvancerHorlogeFactice(0.01);
    EXPECT_TRUE(compteur_->DemandeService());
    EXPECT_EQ(Question(":CALC3:DATA?"), "+2.500000000000E+001\n");
    EXPECT_EQ(Question(":FETC?"), "+4.000000000000E+001\n");
    // Mode Phase: one measurement a launch.
    Envoyer(":CALC3:AVER:STAT OFF");
    compteur_->FixerPhase({-12.5});
    Envoyer("*ESR?", true);
    Envoyer(":INIT:IMM;*OPC");
    horloge::AvancerHorlogeFactice(0.011);
    EXPECT_TRUE(compteur_->DemandeService());
    EXPECT_EQ(Question(":FETC?"), "-1.250000000000E+001\n");
}

TEST_F(CompteurSimule, SavedSetUpsAndReset) {
    Envoyer(":FUNC 'PER 1';:INP1:COUP DC");
    Envoyer("*SAV 3");
    Envoyer("*RST");
    EXPECT_EQ(Question(":FUNC?;:INP1:COUP?"), "\"FREQ 1\";AC\n");
    Envoyer("*RCL 3");
    EXPECT_EQ(Question(":FUNC?;:INP1:COUP?"), "\"PER 1\";DC\n");
    EXPECT_EQ(compteur_->LireReglages().fonction, "PER");
}

TEST_F(CompteurSimule, FaultsOfTheBus) {
    EXPECT_EQ(Question(":INIT;:FETC?"), "+1.000000000000E+007\n");
    sim::Defauts d;
    d.charabia = true;
    d.texteCharabia = "abc\n";
    compteur_->FixerDefauts(d);
    EXPECT_EQ(Question("FETCH:FREQ?"), "abc\n");
    d.texteCharabia = "";
    compteur_->FixerDefauts(d);
    EXPECT_EQ(Question("FETCH:FREQ?"), "");
    d = {};
    d.lecturesSansReponse = 1;
    compteur_->FixerDefauts(d);
    horloge::UtiliserHorlogeFactice(0);
    ibecr(ud_, "FETCH:FREQ?");
    char tampon[255];
    EXPECT_TRUE(ibrd(ud_, tampon, 255) & ERR);
    EXPECT_EQ(Question("FETCH:FREQ?"), "+1.000000000000E+007\n");
    d = {};
    d.debranche = true;
    compteur_->FixerDefauts(d);
    EXPECT_TRUE(ibecr(ud_, "*IDN?") & ERR);
    EXPECT_EQ(ThreadIberr(), ENOL);
}

// ---- the counter's driver against the simulated counter ---------------------------------------

class PiloteSurCompteur : public CompteurSimule {
protected:
    void SetUp() override {
        CompteurSimule::SetUp();
        ASSERT_EQ(hp5313xa_init("GPIB::3", VI_TRUE, VI_TRUE, 1, &vi_), VI_SUCCESS);
    }
    void TearDown() override { hp5313xa_close(vi_); }
    ViSession vi_ = VI_NULL;
};

// The set-up of the counter plugins' init: driver session, reset, commands, both inputs, time-out.
TEST_F(PiloteSurCompteur, SetUpOfTheCounterPlugins) {
    hp5313xa_close(vi_);
    compteur_->EffacerJournal();
    const int digits = 6;
    const ViBoolean couplage = 1, impedance = 0, attenuation = 1, filtre = 1;
    char chiffres[64];
    std::snprintf(chiffres, sizeof chiffres, ":FREQ:ARM:STOP:DIG %d", digits);
    ViSession vi = VI_NULL;
    ASSERT_EQ(hp5313xa_init("GPIB::3", VI_FALSE, VI_TRUE, 1, &vi), VI_SUCCESS);
    ASSERT_EQ(hp5313xa_reset(vi), VI_SUCCESS);
    for (const char *c : {"*CLS", "*SRE 0", "*ESE 0", ":FUNC 'FREQ 1'", ":FREQ:ARM:STAR:SOUR IMM",
                          ":FREQ:ARM:STOP:SOUR DIG", static_cast<const char *>(chiffres), ":TRIG:COUN:AUTO OFF",
                          "FORM:DATA ASCII"})
        ASSERT_EQ(hp5313xa_writeInstrData(vi, c), VI_SUCCESS) << c;
    for (const ViInt16 entree : {1, 2}) {
        ASSERT_EQ(hp5313xa_inputCond(vi, entree, couplage, impedance, attenuation, filtre), VI_SUCCESS);
        ASSERT_EQ(hp5313xa_trigSens(vi, entree, 0, 50.0, attenuation, 1, 0), VI_SUCCESS);
    }
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2500), VI_SUCCESS);
    hp5313xa_close(vi);

    EXPECT_EQ(compteur_->Ecritures(),
              (std::vector<std::string>{
                  "*RST", "*RST", "*CLS", "*SRE 0", "*ESE 0", ":FUNC 'FREQ 1'", ":FREQ:ARM:STAR:SOUR IMM",
                  ":FREQ:ARM:STOP:SOUR DIG", ":FREQ:ARM:STOP:DIG 6", ":TRIG:COUN:AUTO OFF", "FORM:DATA ASCII",
                  ":inp1:att 10;coup dc;imp 50;filt on", ":SYST:ERR?",
                  ":inp1:att 10;:even1:lev:auto on;rel 50;:even1:slop pos;hyst:rel 0;", ":SYST:ERR?",
                  ":inp2:att 10;coup dc;imp 50;filt on", ":SYST:ERR?",
                  ":inp2:att 10;:even2:lev:auto on;rel 50;:even2:slop pos;hyst:rel 0;", ":SYST:ERR?"}));
    EXPECT_TRUE(Erreurs().empty());
    const sim::Compteur5313x::Reglages r = compteur_->LireReglages();
    EXPECT_EQ(r.fonction, "FREQ");
    EXPECT_EQ(r.frequence.arretSource, "DIG");
    EXPECT_EQ(r.frequence.chiffres, 6.0);
    EXPECT_FALSE(r.comptageAuto);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(r.entrees[i].attenuation, 10);
        EXPECT_EQ(r.entrees[i].couplage, "DC");
        EXPECT_EQ(r.entrees[i].impedance, 50.0);
        EXPECT_TRUE(r.entrees[i].filtre);
        EXPECT_TRUE(r.entrees[i].niveauAuto);
        EXPECT_EQ(r.entrees[i].pente, "POS");
    }
    // A command the counter refuses: the next command operation reports it.
    ASSERT_EQ(hp5313xa_init("GPIB::3", VI_FALSE, VI_FALSE, 1, &vi), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_writeInstrData(vi, ":FUNC 'FREQ 9'"), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_inputCond(vi, 1, 0, 1, 0, 0), hp5313xa_ERROR_INSTRUMENT_ERROR);
    compteur_->ErreurApres(":INPut#:COUPling", -221);
    EXPECT_EQ(hp5313xa_inputCond(vi, 1, 0, 1, 0, 0), hp5313xa_ERROR_INSTRUMENT_ERROR);
    hp5313xa_close(vi);
}

TEST_F(PiloteSurCompteur, MeasurementsThroughTheDriver) {
    compteur_->FixerSignal(1, {10e6});
    compteur_->FixerPhase({45.0});
    double v = 0.0;
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 3, 0, &v), VI_SUCCESS);
    EXPECT_EQ(v, 10e6);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 14, 0, &v), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(v, 1e-7);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 17, 0, &v), VI_SUCCESS);
    EXPECT_EQ(v, 45.0);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 17, 1, &v), VI_SUCCESS);  // :read:phas?
    EXPECT_EQ(v, 45.0);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 17, 2, &v), VI_SUCCESS);  // :fetch:phas?
    EXPECT_EQ(hp5313xa_dataRes(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, 45.0);
    // A fetch of another function than the one set up: the counter refuses it and says
    // nothing, the wait for its reply ends with the session's time-out.
    hp5313xa_set_timeout(vi_, 200);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 3, 2, &v), VI_ERROR_TMO);
    EXPECT_EQ(Erreurs().front().first, -221);
    EXPECT_EQ(hp5313xa_get_error(vi_), hp5313xa_ERROR_INSTRUMENT_ERROR);
    hp5313xa_set_timeout(vi_, 5000);

    // Input 3.
    ViUInt16 couplage = 0, impedance = 0;
    EXPECT_EQ(hp5313xa_queryChan3(vi_, &couplage, &impedance), VI_SUCCESS);
    EXPECT_EQ(couplage, 1);
    EXPECT_EQ(impedance, 1);

    // Statistics of a series, the completion raising the service request.
    compteur_->FixerPhase({10.0, 20.0, 30.0, 40.0, 50.0});
    EXPECT_EQ(hp5313xa_phase(vi_, 0, 0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_confblock(vi_, 1, 5, 0, 2, -1.0, 1.0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_initReg(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_initMeas(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_setSrqCond(vi_, 0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_waitSrq(vi_), VI_SUCCESS);
    double moyenne = 0, ecart = 0, max = 0, min = 0;
    EXPECT_EQ(hp5313xa_statisticsRes(vi_, &moyenne, &ecart, &max, &min), VI_SUCCESS);
    EXPECT_EQ(moyenne, 30.0);
    EXPECT_NEAR(ecart, std::sqrt(250.0), 1e-9);
    EXPECT_EQ(max, 50.0);
    EXPECT_EQ(min, 10.0);

    // Math and limits: 2 x 10 MHz + 1, above the upper limit; the questionable request.
    EXPECT_EQ(hp5313xa_enaDisSet(vi_, 0, 0, 0, 0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_freqPeriodRatio(vi_, 1, 0, 0.0, 0, 0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_math(vi_, 1, 2.0, 1.0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_limit(vi_, 1, 0, 0, 1e6, 5e6), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_initReg(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_setSrqCond(vi_, 1), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_initMeas(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_waitSrq(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_mathRes(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, 20e6 + 1.0);
    ViInt16 echec = 0, echecs = 0, reussites = 0, bas = 0, haut = 0;
    EXPECT_EQ(hp5313xa_limitRes(vi_, &echec, &echecs, &reussites, &bas, &haut), VI_SUCCESS);
    EXPECT_EQ((std::vector<int>{echec, echecs, reussites, bas, haut}), (std::vector<int>{1, 1, 0, 0, 1}));

    // End of measuring (operation register, negative transition).
    EXPECT_EQ(hp5313xa_initReg(vi_), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_setSrqCond(vi_, 2), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_strStpMeas(vi_, 0), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_waitSrq(vi_), VI_SUCCESS);
    EXPECT_TRUE(Erreurs().empty());
}

}  // namespace
