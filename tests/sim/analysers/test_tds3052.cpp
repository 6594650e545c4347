// The simulated TDS 3052 oscilloscope driven through the GPIB calls: its set-up commands, the
// headers of its replies, single acquisitions that complete by service request on the
// program's clock, waveforms that follow the input signal and the trigger, the curve in every
// encoding with its preamble, the math trace, and the faults a test can give it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/analysers/tds3052.h"
#include "sim/bus.h"
#include "sim/instruments.h"
#include "tests/support/gpib_essai.h"

namespace {

class Tds : public testing::Test {
protected:
    void SetUp() override {
        banc_.Configurer("gpib0 = sim\n");
        horloge::UtiliserHorlogeFactice(1.0e9);
        sim::BusDeCarte(0)->Brancher(4, tds_);
        ud_ = ibdev(0, 4, 0, T10s, 1, 1);
    }
    void TearDown() override { ibonl(ud_, 0); }

    // As the program's helper writes: the text, its NUL, END.
    void Envoyer(const std::string &commande) {
        const std::string m = commande + '\0';
        ibwrt(ud_, m.data(), static_cast<long>(m.size()));
    }
    std::string Lire(long n = 100000, int *sta = nullptr) {
        std::string t(static_cast<std::size_t>(n), '\0');
        const int s = ibrd(ud_, t.data(), n);
        if (sta) *sta = s;
        return t.substr(0, static_cast<std::size_t>(ThreadIbcntl()));
    }
    std::string Question(const std::string &q) {
        Envoyer(q);
        return Lire();
    }
    double Nombre(const std::string &q) {
        const std::string r = Question(q);
        return std::stod(r.substr(r.find(' ') + 1));
    }
    // The set-up the plugin gives, then a single acquisition completed.
    void Preparer(const std::vector<std::string> &en_plus = {}) {
        for (const char *c : {"HEADER ON", "VERB OFF", "ACQ:STOPA SEQ", "HOR:MAI:SCA 1e-3", "HOR:RECORD 10000",
                              "HOR:TRIG:POS 50", "SEL:CH1 1", "SEL:CH2 1", "SEL:MATH 1", "TRIG:A:MOD NORM",
                              "TRIG:A:EDG:SOU CH1", "TRIG:A:EDG:SLO RIS", "TRIG:A:LEV 0.250000", "CH1:SCA 0.500000",
                              "CH2:SCA 0.200000", "DAT:ENC SRP", "DAT:WID 2", "DAT:STAR 1", "DAT:STOP 10000"})
            Envoyer(c);
        for (const std::string &c : en_plus) Envoyer(c);
    }
    bool Acquerir(double secondes = 0.05) {
        const unsigned avant = tds_->Acquisitions();
        Envoyer("ACQ:STATE RUN;*OPC");
        horloge::AvancerHorlogeFactice(secondes);
        return tds_->DemandeService() || tds_->Acquisitions() > avant;
    }
    // The curve of `source` decoded with its preamble, as the plugin scales it.
    std::vector<double> Courbe(const std::string &source, int largeur = 2, const std::string &codage = "SRP") {
        Envoyer("DAT:SOU " + source);
        const std::string r = Question("CURVE?");
        const double yof = std::stod(Question("WFMP:YOF?").substr(10));
        const double ymu = std::stod(Question("WFMP:YMU?").substr(10));
        const double yze = std::stod(Question("WFMP:YZE?").substr(10));
        std::vector<double> v;
        if (codage == "ASCI") {
            std::size_t i = 6;  // after ":CURV "
            while (i < r.size() && r[i] != '\n') {
                std::size_t fin = 0;
                v.push_back((std::stod(r.substr(i), &fin) - yof) * ymu + yze);
                i += fin + 1;
            }
            return v;
        }
        EXPECT_EQ(r.substr(0, 7), ":CURV #");
        const int n = r[7] - '0';
        const std::size_t l = std::stoul(r.substr(8, static_cast<std::size_t>(n)));
        const std::string d = r.substr(8 + static_cast<std::size_t>(n), l);
        EXPECT_EQ(r.size(), 8 + n + l + 1);
        EXPECT_EQ(r.back(), '\n');
        const bool signe = codage == "RIB" || codage == "SRI";
        const bool lsb = codage == "SRI" || codage == "SRP";
        for (std::size_t i = 0; i + static_cast<std::size_t>(largeur) <= d.size(); i += static_cast<std::size_t>(largeur)) {
            const auto o = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(d[i + k])); };
            long s = largeur == 1 ? o(0) : lsb ? o(0) | (o(1) << 8) : (o(0) << 8) | o(1);
            if (signe) s = largeur == 1 ? static_cast<std::int8_t>(s) : static_cast<std::int16_t>(s);
            v.push_back((static_cast<double>(s) - yof) * ymu + yze);
        }
        return v;
    }

    essai::Banc banc_;
    std::shared_ptr<sim::Tds3052> tds_ = std::make_shared<sim::Tds3052>();
    int ud_ = -1;
};

TEST_F(Tds, BenchModelIsTheOscilloscope) {
    EXPECT_NE(std::dynamic_pointer_cast<sim::Tds3052>(sim::CreerInstrument("tds3052")), nullptr);
    EXPECT_EQ(Question("*IDN?"), "TEKTRONIX,TDS 3052,0,CF:91.1CT FV:v3.11 TDS3FFT:v1.00 TDS3TRG:v1.00\n");
}

// Headers follow HEADer and VERBose; the preamble before any acquisition follows the settings.
TEST_F(Tds, RepliesCarryTheirHeaderAsAsked) {
    Preparer();
    EXPECT_EQ(Question("WFMP:NR_P?"), ":WFMP:NR_P 10000\n");
    EXPECT_EQ(Question("WFMP:XIN?"), ":WFMP:XIN 1.0000000E-06\n");
    EXPECT_EQ(Question("WFMP:XZE?"), ":WFMP:XZE -5.0000000E-03\n");
    Envoyer("VERB ON");
    EXPECT_EQ(Question("WFMP:NR_P?"), ":WFMPRE:NR_PT 10000\n");
    Envoyer("HEADER OFF");
    EXPECT_EQ(Question("WFMPRE:NR_PT?"), "10000\n");
    EXPECT_EQ(Question("HEAD?"), "0\n");
}

// Every set-up command of the plugin is taken without error and sets what it names; values the
// instrument does not have are refused and change nothing.
TEST_F(Tds, SetUpCommandsAndRefusedValues) {
    for (const char *c :
         {"ACQ:MOD AVE", "ACQ:NUMAV 64", "ACQ:NUME 0", "ACQ:STOPA SEQ", "CH1:BAN TWE", "CH2:BAN FULL", "CH1:COUP AC",
          "CH2:COUP GND", "CH1:IMP FIF", "CH2:IMP MEG", "CH1:INV 1", "CH2:INV 0", "CH1:OFF -1.500000",
          "CH2:OFF 0.000000", "CH1:PROBE 10.000000", "CH2:PROBE 0.010000", "CH1:SCA 0.001000", "CH2:SCA 5.000000",
          "HOR:DEL:STATE OFF", "HOR:MAI:SCA 4e-6", "HOR:RECORD 500", "HOR:TRIG:POS 10",
          "MATH:DEFINE \"FFT(CH2,BLA,LOG)\"", "SEL:CH1 0", "SEL:CH2 1", "SEL:MATH 1", "TRIG:A:EDG:COUP NOISE",
          "TRIG:A:EDG:SLO FALL", "TRIG:A:EDG:SOU EXT10", "TRIG:A:HOL:TIM 2.5e-7", "TRIG:A:LEV -0.100000",
          "TRIG:A:MOD NORM", "TRIG:A:TYP EDGE", "DAT:ENC SRP", "DAT:WID 2", "DAT:STAR 1", "DAT:STOP 500", "DESE 1"})
        Envoyer(c);
    EXPECT_TRUE(tds_->Erreurs().empty());
    sim::ReglagesTds r = tds_->Reglages();
    EXPECT_EQ(r.modeAcquisition, "AVE");
    EXPECT_EQ(r.moyennes, 64);
    EXPECT_EQ(r.enveloppes, 0);
    EXPECT_TRUE(r.sequence);
    EXPECT_EQ(r.voies[0].bande, "TWE");
    EXPECT_EQ(r.voies[1].couplage, "GND");
    EXPECT_EQ(r.voies[0].impedance, "FIF");
    EXPECT_TRUE(r.voies[0].inversion);
    EXPECT_EQ(r.voies[0].decalage, -1.5);
    EXPECT_EQ(r.voies[1].sonde, 0.01);
    EXPECT_EQ(r.voies[0].echelle, 0.001);
    EXPECT_EQ(r.echelleHorizontale, 4e-6);
    EXPECT_EQ(r.points, 500);
    EXPECT_EQ(r.positionDeclenchement, 10.0);
    EXPECT_EQ(r.math, "FFT(CH2,BLA,LOG)");
    EXPECT_FALSE(r.affiches[0]);
    EXPECT_TRUE(r.affiches[1] && r.affiches[2]);
    EXPECT_EQ(r.couplageDeclenchement, "NOISE");
    EXPECT_EQ(r.pente, "FALL");
    EXPECT_EQ(r.sourceDeclenchement, "EXT10");
    EXPECT_EQ(r.niveau, -0.1);
    EXPECT_TRUE(r.normal);
    EXPECT_EQ(r.codage, "SRP");
    EXPECT_EQ(r.largeur, 2);
    EXPECT_EQ(r.fin, 500);
    EXPECT_EQ(Question("DESE?"), ":DESE 1\n");

    Envoyer("HOR:RECORD 1234");
    Envoyer("CH1:COUP XYZ");
    Envoyer("CH3:SCA 1");
    Envoyer("DAT:WID 3");
    r = tds_->Reglages();
    EXPECT_EQ(r.points, 500);
    EXPECT_EQ(r.voies[0].couplage, "AC");
    EXPECT_EQ(r.largeur, 2);
    const auto erreurs = tds_->Erreurs();
    ASSERT_EQ(erreurs.size(), 4u);
    EXPECT_EQ(erreurs[0].first, -222);
    EXPECT_EQ(erreurs[1].first, -224);
    EXPECT_EQ(erreurs[2].first, -114);
    EXPECT_EQ(erreurs[3].first, -222);
}

// A single sequence ends once the record is filled, on the program's clock, and its operation
// complete requests service.
TEST_F(Tds, SingleAcquisitionCompletesByServiceRequest) {
    Preparer({"*ESE 1", "*SRE 32"});
    Envoyer("ACQ:STATE RUN;*OPC");
    EXPECT_EQ(Question("ACQ:STATE?"), ":ACQ:STATE 1\n");
    horloge::AvancerHorlogeFactice(0.009);  // 10 divisions of 1 ms are not yet filled
    EXPECT_FALSE(tds_->DemandeService());
    EXPECT_EQ(tds_->Acquisitions(), 0u);
    horloge::AvancerHorlogeFactice(0.01);
    EXPECT_TRUE(tds_->DemandeService());
    EXPECT_EQ(tds_->Acquisitions(), 1u);
    char octet = 0;
    ibrsp(ud_, &octet);
    EXPECT_EQ(octet & 0x60, 0x60);
    EXPECT_EQ(Question("*ESR?"), "+1\n");
    EXPECT_EQ(Question("ACQ:STATE?"), ":ACQ:STATE 0\n");
    // Averaging takes as many records as averages.
    Envoyer("ACQ:MOD AVE;NUMAV 16");
    Envoyer("ACQ:STATE RUN;*OPC");
    horloge::AvancerHorlogeFactice(0.1);
    EXPECT_FALSE(tds_->DemandeService());
    horloge::AvancerHorlogeFactice(0.1);
    EXPECT_TRUE(tds_->DemandeService());
}

// In NORMal mode a level the signal never crosses holds the acquisition for ever; AUTO
// triggers anyway. An external trigger is always there.
TEST_F(Tds, TriggerModes) {
    Preparer({"TRIG:A:LEV 5.000000"});
    EXPECT_FALSE(Acquerir(100.0));
    Envoyer("ACQ:STATE STOP");
    Envoyer("TRIG:A:MOD AUTO");
    EXPECT_TRUE(Acquerir());
    Envoyer("TRIG:A:MOD NORM;:TRIG:A:EDG:SOU LINE");
    EXPECT_TRUE(Acquerir());
}

// The trigger source crosses the level at the trigger point, on the chosen slope; the sine
// keeps its amplitude and frequency; the square wave of channel 2 swings between its levels.
TEST_F(Tds, WaveformsFollowTheSignalsAndTheTrigger) {
    tds_->FixerSignal(1, {sim::SignalTds::Forme::Sinus, 2000.0, 0.8, 0.1, 0.0});
    tds_->FixerSignal(2, {sim::SignalTds::Forme::Carre, 500.0, 0.3, 0.0, 0.0});
    for (const char *pente : {"RIS", "FALL"}) {
        SCOPED_TRACE(pente);
        Preparer({std::string("TRIG:A:EDG:SLO ") + pente});
        ASSERT_TRUE(Acquerir());
        const std::vector<double> ch1 = Courbe("CH1");
        ASSERT_EQ(ch1.size(), 10000u);
        const double pas = 0.5 / 6400;  // volts of one level
        EXPECT_NEAR(ch1[5000], 0.25, 2 * pas);
        EXPECT_EQ(ch1[5010] > ch1[4990], std::string(pente) == "RIS");
        const auto [mini, maxi] = std::minmax_element(ch1.begin(), ch1.end());
        EXPECT_NEAR(*maxi, 0.9, 0.002);
        EXPECT_NEAR(*mini, -0.7, 0.002);
        // 10 ms at 2 kHz: 20 periods, 40 crossings of the mean.
        int passages = 0, signe = 0;
        for (const double v : ch1) {
            const int s = (v > 0.1) - (v < 0.1);
            passages += s != 0 && signe != 0 && s != signe;
            if (s != 0) signe = s;
        }
        EXPECT_EQ(passages, 40);
        const std::vector<double> ch2 = Courbe("CH2");
        for (const double v : ch2) ASSERT_NEAR(std::fabs(v), 0.3, 0.2 / 6400);
        EXPECT_EQ(tds_->Trace(0), ch1) << "what the test model reads is what was sent";
    }
}

// Channel coupling, inversion, offset and clipping at the screen's edge.
TEST_F(Tds, VerticalSettingsShapeTheDigitisedTrace) {
    tds_->FixerSignal(1, {sim::SignalTds::Forme::Sinus, 1000.0, 1.0, 0.5, 0.0});
    Preparer({"TRIG:A:MOD AUTO", "CH1:COUP AC", "CH1:INV 1"});
    ASSERT_TRUE(Acquerir());
    std::vector<double> v = Courbe("CH1");
    auto [mini, maxi] = std::minmax_element(v.begin(), v.end());
    EXPECT_NEAR(*maxi, 1.0, 1e-3);
    EXPECT_NEAR(*mini, -1.0, 1e-3);
    Envoyer("CH1:COUP GND");
    ASSERT_TRUE(Acquerir());
    for (const double x : Courbe("CH1")) ASSERT_EQ(x, 0.0);
    // 0.1 V per division around 2 V: the screen shows 1.488 V to 2.512 V.
    Envoyer("CH1:COUP DC;INV 0;SCA 0.1;OFF 2");
    ASSERT_TRUE(Acquerir());
    v = Courbe("CH1");
    std::tie(mini, maxi) = std::minmax_element(v.begin(), v.end());
    EXPECT_NEAR(*mini, 2.0 - 32768 * 0.1 / 6400, 1e-9);
    EXPECT_NEAR(*maxi, 1.5, 1e-3);
}

// One trace, every encoding and width: the same values (to the coarser step of 1-byte data).
TEST_F(Tds, CurveInEveryEncoding) {
    Preparer({"HOR:RECORD 500", "DAT:STOP 500"});
    ASSERT_TRUE(Acquerir());
    const std::vector<double> reference = Courbe("CH1");
    ASSERT_EQ(reference.size(), 500u);
    for (const char *codage : {"RIB", "RPB", "SRI", "SRP", "ASCI"})
        for (const int largeur : {1, 2}) {
            SCOPED_TRACE(std::string(codage) + " " + std::to_string(largeur));
            Envoyer(std::string("DAT:ENC ") + codage + ";WID " + std::to_string(largeur));
            const std::vector<double> v = Courbe("CH1", largeur, codage);
            ASSERT_EQ(v.size(), 500u);
            for (std::size_t i = 0; i < v.size(); ++i)
                ASSERT_NEAR(v[i], reference[i], largeur == 1 ? 0.5 / 25 : 1e-12) << i;
        }
}

// DATa:STARt and STOP choose the points sent; the preamble describes those points.
TEST_F(Tds, TransferRange) {
    Preparer({"DAT:STAR 11", "DAT:STOP 20"});
    ASSERT_TRUE(Acquerir());
    Envoyer("DAT:SOU CH1");
    EXPECT_EQ(Question("WFMP:NR_P?"), ":WFMP:NR_P 10\n");
    EXPECT_EQ(Question("WFMP:XZE?"), ":WFMP:XZE -4.9900000E-03\n");
    EXPECT_EQ(Question("CURVE?").substr(0, 10), ":CURV #220");
    Envoyer("DAT:STAR 9999;STOP 20000");
    EXPECT_EQ(Question("WFMP:NR_P?"), ":WFMP:NR_P 2\n");
}

// The math trace: an operation on the digitised channels, or the spectrum of one, over a
// frequency axis of half as many points (the largest power of two of the record).
TEST_F(Tds, MathTrace) {
    tds_->FixerSignal(1, {sim::SignalTds::Forme::Sinus, 2000.0, 1.0, 0.0, 0.0});
    Preparer({"MATH:DEFINE \"CH1-CH1\""});
    ASSERT_TRUE(Acquerir());
    for (const double v : Courbe("MATH")) ASSERT_EQ(v, 0.0);

    Envoyer("MATH:DEFINE \"FFT(CH1,HAN,LIN)\"");
    ASSERT_TRUE(Acquerir());
    Envoyer("DAT:SOU MATH");
    EXPECT_EQ(Question("WFMP:NR_P?"), ":WFMP:NR_P 4096\n");
    const double pas_frequence = 1.0 / (8192 * 1e-6);
    EXPECT_NEAR(Nombre("WFMP:XIN?"), pas_frequence, 1e-3);
    const std::vector<double> spectre = Courbe("MATH");
    ASSERT_EQ(spectre.size(), 4096u);
    const auto pic = std::max_element(spectre.begin(), spectre.end());
    EXPECT_NEAR(static_cast<double>(pic - spectre.begin()) * pas_frequence, 2000.0, pas_frequence);
    EXPECT_NEAR(*pic, 1.0 / std::numbers::sqrt2, 0.1);  // volts rms, within the window's scalloping

    Envoyer("MATH:DEFINE \"FFT(CH1,BLA,LOG)\"");
    ASSERT_TRUE(Acquerir());
    const std::vector<double> db = Courbe("MATH");
    EXPECT_NEAR(*std::max_element(db.begin(), db.end()), -3.0, 1.0);  // dBV rms of a 1 V sine
}

// A trace that is not displayed has no curve and no preamble: an execution error, nothing to
// read (the read times out).
TEST_F(Tds, UndisplayedTraceIsAnError) {
    Preparer({"SEL:CH2 0"});
    ASSERT_TRUE(Acquerir());
    Envoyer("DAT:SOU CH2");
    Envoyer("CURVE?");
    int sta = 0;
    EXPECT_EQ(Lire(100, &sta), "");
    EXPECT_TRUE(sta & ERR);
    ASSERT_FALSE(tds_->Erreurs().empty());
    EXPECT_EQ(tds_->Erreurs().front().first, -200);
}

TEST_F(Tds, CurveFaults) {
    Preparer({"HOR:RECORD 500", "DAT:STOP 500"});
    ASSERT_TRUE(Acquerir());
    Envoyer("DAT:SOU CH1");
    sim::DefautsTds d;
    d.octetsEnTrop = 7;
    tds_->FixerDefautsTds(d);
    std::string r = Question("CURVE?");
    EXPECT_EQ(r.substr(0, 12), ":CURV #41000");
    EXPECT_EQ(r.size(), 12u + 1000 + 7 + 1);
    d = {};
    d.octetsManquants = 10;
    tds_->FixerDefautsTds(d);
    r = Question("CURVE?");
    EXPECT_EQ(r.substr(0, 12), ":CURV #41000");
    EXPECT_EQ(r.size(), 12u + 990 + 1);
    d = {};
    d.blocIllisible = true;
    tds_->FixerDefautsTds(d);
    EXPECT_EQ(Question("CURVE?").substr(0, 8), ":CURV #X");
    d = {};
    d.preambuleIllisible = true;
    tds_->FixerDefautsTds(d);
    EXPECT_EQ(Question("WFMP:YMU?"), ":WFMP:YMU ?\n");
}

}  // namespace
