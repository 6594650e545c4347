// The simulated multimeter, driven as the program drives it: the multimeter plugin's cycle over
// the GPIB calls, and the multimeter's driver over VISA. Its command forms, the set-up it keeps,
// readings on the program's clock and their triggers, math, calibration security, refusals.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpib/GLOBALES.h"
#include "gpib/hp34401a.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/meters/hp34401a.h"
#include "tests/support/gpib_essai.h"

namespace {

class MultimetreSimule : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(22, m_);
        ud_ = ibdev(0, 22, 0, T10s, 1, 1);
    }
    std::string Question(const std::string &commande) {
        ibecr(ud_, commande.c_str());
        char tampon[512];
        ibrd(ud_, tampon, sizeof tampon);
        return std::string(tampon, static_cast<std::size_t>(ThreadIbcntl()));
    }
    std::vector<int> Erreurs() {
        std::vector<int> codes;
        for (const auto &e : m_->Erreurs()) codes.push_back(e.first);
        return codes;
    }

    essai::Banc banc_;
    std::shared_ptr<sim::Multimetre34401A> m_ = std::make_shared<sim::Multimetre34401A>();
    int ud_ = -1;
};

TEST_F(MultimetreSimule, ThePluginsCycleRequestsServiceOnceTheReadingWaits) {
    horloge::UtiliserHorlogeFactice(0);
    m_->FixerValeurs("VOLT", {1.5, -0.25});
    ibecr(ud_, ":CONF:VOLT AUTO,DEF");  // 10 NPLC, auto-zero: 0.4 s a reading
    ibwrt(ud_, "*ESE 1", 6);
    ibwrt(ud_, "*SRE 32", 7);
    char octet = 0;
    ibrsp(ud_, &octet);
    EXPECT_EQ(Question("*ESR?"), "+0\n");
    ibecr(ud_, ":INIT;FETC?;*OPC");
    horloge::AvancerHorlogeFactice(0.39);
    EXPECT_FALSE(m_->DemandeService());
    EXPECT_EQ(m_->SortieEnAttente(), "");
    horloge::AvancerHorlogeFactice(0.02);
    EXPECT_TRUE(m_->DemandeService());
    ibrsp(ud_, &octet);
    EXPECT_EQ(static_cast<unsigned char>(octet), 0x70);  // RQS, ESB, MAV
    char lecture[255];
    ibrd(ud_, lecture, 255);
    EXPECT_EQ(std::string(lecture, static_cast<std::size_t>(ThreadIbcntl())), "+1.50000000E+00\n");
    EXPECT_EQ(Question("*ESR?"), "+1\n");
    ibecr(ud_, ":INIT;FETC?;*OPC");
    horloge::AvancerHorlogeFactice(0.41);
    EXPECT_TRUE(m_->DemandeService());
    ibrd(ud_, lecture, 255);
    EXPECT_EQ(std::string(lecture, static_cast<std::size_t>(ThreadIbcntl())), "-2.50000000E-01\n");
    EXPECT_TRUE(Erreurs().empty());
}

TEST_F(MultimetreSimule, AFetchWaitsForEveryTriggerOfTheMeasurement) {
    horloge::UtiliserHorlogeFactice(0);
    m_->FixerValeurs("VOLT", {1.0, 2.0});
    ibecr(ud_, ":CONF:VOLT AUTO,MAX;:TRIG:SOUR BUS;COUN 2");
    ibecr(ud_, ":INIT;*TRG");
    ibecr(ud_, ":FETC?");
    horloge::AvancerHorlogeFactice(1.0);
    m_->DemandeService();
    EXPECT_EQ(m_->SortieEnAttente(), "");  // one trigger of two
    EXPECT_TRUE(m_->MesureEnCours());
    ibecr(ud_, "*TRG");
    char tampon[64];
    ibrd(ud_, tampon, sizeof tampon);
    EXPECT_EQ(std::string(tampon, static_cast<std::size_t>(ThreadIbcntl())), "+1.00000000E+00,+2.00000000E+00\n");
    EXPECT_TRUE(Erreurs().empty());
}

TEST_F(MultimetreSimule, KeepsTheSetUpAndRefusesWhatTheMeterRefuses) {
    const struct {
        const char *commande;
        const char *question;
        const char *reponse;
    } cas[] = {
        {":CONF:FREQ 300.000000,DEF", ":CONF?", "\"FREQ +3.00000000E+02,DEF\"\n"},
        {":CONF:CURR:AC AUTO,MIN", ":CONF?", "\"CURR:AC AUTO,MIN\"\n"},
        {":TRIG:SOUR BUS;DEL 0.500000;COUN 3;:SAMP:COUN 2", ":TRIG:SOUR?;DEL?;COUN?;:SAMP:COUN?;:TRIG:DEL:AUTO?",
         "BUS;+5.00000000E-01;+3.00000000E+00;+2;0\n"},
        {":TRIG:SOUR IMM;COUN 1;DEL:AUTO ON;:SAMP:COUN 1", ":TRIG:COUN?;:SAMP:COUN?", "+1.00000000E+00;+1\n"},
        {":RES:NPLC 0.500000", ":RES:NPLC?", "+1.00000000E+00\n"},
        {":PER:APER 0.000010", ":PER:APER?", "+1.00000000E-02\n"},
        {":ZERO:AUTO ONCE;:INP:IMP:AUTO ON;:DET:BAND 200.000000", ":ZERO:AUTO?;:INP:IMP:AUTO?;:DET:BAND?",
         "OFF;1;+2.00000000E+02\n"},
        {":CALC:FUNC DBM;STAT 1", ":CALC:FUNC?;STAT?", "DBM;1\n"},
        {":CALC:LIM:UPP -1.000000;LOW 2.000000", ":CALC:LIM:UPP?;LOW?", "-1.00000000E+00;+2.00000000E+00\n"},
        {":DISP:TEXT \"HELLO\";:DISP:STAT 0", ":DISP:TEXT?;:DISP?", "\"HELLO\";0\n"},
        {":DISP:TEXT:CLE;:DISP:STAT 1", ":DISP:TEXT?;:DISP?", "\"\";1\n"},
        {"", ":ROUTE:TERM?;:SYST:VERS?", "FRON;1991.0\n"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        if (*c.commande != '\0') ibecr(ud_, c.commande);
        EXPECT_EQ(Question(c.question), c.reponse);
    }
    EXPECT_TRUE(Erreurs().empty());
    const struct {
        const char *commande;
        int erreur;
    } refus[] = {
        {":CONF:VOLT 2000", -222},        {":CONF:DIOD 1", -108},       {":DISP:TEXT \"THIRTEEN CHAR\"", -223},
        {"*TRG", -211},                   {":CALC:DBM:REF 0", -222},    {":TRIG:SOUR SOON", -224},
        {":CAL:SEC:CODE NEWCODE", -203},  {":CAL:SEC:STAT 0,WRONG", -224}, {":SAMP:COUN 50001", -222},
    };
    for (const auto &r : refus) {
        SCOPED_TRACE(r.commande);
        ibecr(ud_, r.commande);
        EXPECT_EQ(Erreurs(), std::vector<int>{r.erreur});
        Question(":SYST:ERR?");
    }
    ibecr(ud_, ":TRIG:SOUR BUS");
    ibecr(ud_, ":READ?");
    EXPECT_EQ(Erreurs(), std::vector<int>{-214});
}

// ---- the multimeter's driver against the simulated multimeter ----------------------------------

class PiloteSurMultimetre : public MultimetreSimule {
protected:
    void SetUp() override {
        MultimetreSimule::SetUp();
        ASSERT_EQ(hp34401a_init("GPIB::22", VI_TRUE, VI_TRUE, &vi_), VI_SUCCESS);
    }
    void TearDown() override { hp34401a_close(vi_); }
    ViSession vi_ = VI_NULL;
};

TEST_F(PiloteSurMultimetre, ConfigurationOfThePluginAndReadings) {
    EXPECT_EQ(hp34401a_conf(vi_, 1, VI_TRUE, 0.0, 0), VI_SUCCESS);
    const sim::Multimetre34401A::Reglages r = m_->LireReglages();
    EXPECT_EQ(r.fonction, "VOLT");
    EXPECT_TRUE(r.gammeAuto);
    EXPECT_EQ(r.resolution, "MAX");
    EXPECT_EQ(r.nplc.at("VOLT"), 0.02);

    m_->FixerValeurs("VOLT", {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0});
    double v = 0.0;
    EXPECT_EQ(hp34401a_singleMeas(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(hp34401a_confTrig(vi_, 0, VI_FALSE, 0.01, 2, 3), VI_SUCCESS);
    double lectures[10] = {};
    ViInt16 n = 0;
    EXPECT_EQ(hp34401a_multiMeas(vi_, 5000, &n, lectures, 10), VI_SUCCESS);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(std::vector<double>(lectures, lectures + 6), (std::vector<double>{2, 3, 4, 5, 6, 7}));

    // Bus triggers: initiate, trigger by software, fetch.
    m_->FixerValeurs("VOLT", {0.5});
    EXPECT_EQ(hp34401a_confTrig(vi_, 2, VI_TRUE, 0.0, 1, 2), VI_SUCCESS);
    EXPECT_EQ(hp34401a_waitForTrigger(vi_), VI_SUCCESS);
    EXPECT_TRUE(m_->MesureEnCours());
    EXPECT_EQ(hp34401a_softTrig(vi_), VI_SUCCESS);
    EXPECT_EQ(hp34401a_fetchMeas(vi_, &n, lectures, 5000, 10), VI_SUCCESS);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(std::vector<double>(lectures, lectures + 2), (std::vector<double>{0.5, 0.5}));
    // An external trigger.
    EXPECT_EQ(hp34401a_confTrig(vi_, 1, VI_TRUE, 0.0, 1, 1), VI_SUCCESS);
    EXPECT_EQ(hp34401a_waitForTrigger(vi_), VI_SUCCESS);
    m_->DeclencherExterne();
    EXPECT_EQ(hp34401a_fetchMeas(vi_, &n, lectures, 5000, 10), VI_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(hp34401a_abortMeas(vi_), VI_SUCCESS);

    // Math: null offset.
    EXPECT_EQ(hp34401a_conf(vi_, 1, VI_TRUE, 0.0, 0), VI_SUCCESS);
    EXPECT_EQ(hp34401a_confNull(vi_, 0.25), VI_SUCCESS);
    EXPECT_EQ(hp34401a_actMathOp(vi_, 0, 1), VI_SUCCESS);
    EXPECT_EQ(hp34401a_singleMeas(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, 0.25);
    EXPECT_TRUE(Erreurs().empty());
}

TEST_F(PiloteSurMultimetre, ChecksAndCalibration) {
    ViInt16 bornes = 9, annee = 0, revision = 0, resultat = 0;
    EXPECT_EQ(hp34401a_checkTerminals(vi_, &bornes), VI_SUCCESS);
    EXPECT_EQ(bornes, 1);
    m_->FixerBornesAvant(false);
    EXPECT_EQ(hp34401a_checkTerminals(vi_, &bornes), VI_SUCCESS);
    EXPECT_EQ(bornes, 0);
    EXPECT_EQ(hp34401a_checkScpiVersion(vi_, &annee, &revision), VI_SUCCESS);
    EXPECT_EQ(annee, 1991);
    EXPECT_EQ(revision, 0);
    EXPECT_EQ(hp34401a_beeper(vi_, 0, 1), VI_SUCCESS);
    EXPECT_FALSE(m_->Bip());
    EXPECT_EQ(m_->Bips(), 1);
    EXPECT_EQ(hp34401a_display(vi_, 1, "BANC", 0), VI_SUCCESS);
    EXPECT_EQ(m_->LireReglages().texte, "BANC");

    // Secured: the calibration is refused (the meter answers 1 and queues -203).
    EXPECT_EQ(hp34401a_calibrate(vi_, 10.0, &resultat), VI_SUCCESS);
    EXPECT_EQ(resultat, 1);
    EXPECT_EQ(Erreurs(), std::vector<int>{-203});
    Question(":SYST:ERR?");
    EXPECT_EQ(hp34401a_calSecure(vi_, "HP034401", 0), VI_SUCCESS);
    EXPECT_FALSE(m_->CalibrationProtegee());
    EXPECT_EQ(hp34401a_calibrate(vi_, 10.0, &resultat), VI_SUCCESS);
    EXPECT_EQ(resultat, 0);
    EXPECT_EQ(m_->ValeurCalibration(), 10.0);
    EXPECT_EQ(hp34401a_calStamp(vi_, "CAL 2024-05-01"), VI_SUCCESS);
    EXPECT_EQ(m_->TexteCalibration(), "CAL 2024-05-01");
    EXPECT_EQ(hp34401a_calCode(vi_, "NEW1"), VI_SUCCESS);
    EXPECT_EQ(hp34401a_calSecure(vi_, "NEW1", 1), VI_SUCCESS);
    EXPECT_TRUE(m_->CalibrationProtegee());
    EXPECT_EQ(m_->CodeSecurite(), "NEW1");
    EXPECT_TRUE(Erreurs().empty());
    // A reply the driver cannot read.
    sim::Defauts d;
    d.charabia = true;
    d.texteCharabia = "?\n";
    m_->FixerDefauts(d);
    EXPECT_EQ(hp34401a_checkScpiVersion(vi_, &annee, &revision), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(hp34401a_waitForTrigger(vi_), VI_ERROR_INTERPRETING_RESPONSE);
}

}  // namespace
