// The multimeter's instrument driver through the real VISA layer, against a device that records
// every message: exact command texts, argument checks in their order, the status check after the
// commands, reply parsing, the multi-reading operations and the failures of the bus.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpib/hp34401a.h"
#include "platform/clock.h"
#include "tests/gpib/repondeur.h"

namespace {

using essai::Fin;
using essai::Messages;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class PiloteMultimetre : public testing::Test {
protected:
    void SetUp() override {
        a_.Repondre("*ESR?", "+0\n");
        ASSERT_EQ(hp34401a_init("GPIB::22", VI_FALSE, VI_FALSE, &vi_), VI_SUCCESS);
        a_.Recus();
    }
    void TearDown() override {
        if (vi_ != VI_NULL) hp34401a_close(vi_);
    }
    ViUInt32 Delai() const { return essai::DelaiSession(vi_); }

    essai::BancPilote banc_{22};
    essai::Repondeur &a_ = banc_.Appareil();
    ViSession vi_ = VI_NULL;
};

struct Cas {
    const char *nom;
    std::function<ViStatus(ViSession)> appel;
    ViStatus statut;
    const char *texte;  // null: nothing is sent
    bool verification;  // "*ESR?" follows
};

void Verifier(essai::Repondeur &a, ViSession vi, const std::vector<Cas> &cas) {
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        EXPECT_EQ(c.appel(vi), c.statut);
        Messages attendus;
        if (c.texte != nullptr) attendus.push_back(Fin(c.texte));
        if (c.texte != nullptr && c.verification) attendus.push_back(Fin("*ESR?\r\n"));
        EXPECT_EQ(a.Recus(), attendus);
    }
}

TEST(SessionMultimetre, OpeningAsThePluginDoesIt) {
    essai::BancPilote banc(22);
    essai::Repondeur &a = banc.Appareil();
    a.Repondre("*IDN?", "HEWLETT-PACKARD,34401A,0,11-5-2\n");
    ViSession vi = VI_NULL;
    ASSERT_EQ(hp34401a_init("GPIB::22", VI_TRUE, VI_TRUE, &vi), VI_SUCCESS);
    ViUInt32 delai = 0;
    viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai);
    EXPECT_EQ(delai, 10000u);
    EXPECT_EQ(hp34401a_conf(vi, 1, VI_TRUE, 0.0, 0), VI_SUCCESS);
    EXPECT_EQ(a.Recus(), (Messages{Fin("*IDN?"), Fin("*CLS\r\n"), Fin(":CONF:VOLT AUTO,MAX\r\n")}));
    EXPECT_EQ(hp34401a_close(vi), VI_SUCCESS);
    EXPECT_EQ(hp34401a_close(vi), VI_ERROR_INV_OBJECT);

    // A meter of the family that is not a 34401A; argument checks before anything.
    a.Repondre("*IDN?", "HEWLETT-PACKARD,34401B,0,1\n");
    vi = 12345;
    EXPECT_EQ(hp34401a_init("GPIB::22", VI_TRUE, VI_TRUE, &vi), VI_ERROR_FAIL_ID_QUERY);
    EXPECT_EQ(vi, VI_NULL);
    vi = 12345;
    EXPECT_EQ(hp34401a_init("GPIB::22", 2, 5, &vi), VI_ERROR_PARAMETER2);
    EXPECT_EQ(hp34401a_init("GPIB::22", 1, 5, &vi), VI_ERROR_PARAMETER3);
    EXPECT_EQ(vi, 12345u);
    EXPECT_EQ(a.Recus(), Messages{Fin("*IDN?")});
    EXPECT_EQ(hp34401a_init("GPIB::5", VI_TRUE, VI_TRUE, &vi), VI_ERROR_RSRC_NFOUND);  // nobody there
    EXPECT_EQ(vi, VI_NULL);
    // Reset puts the time-out back to 10000 ms.
    ASSERT_EQ(hp34401a_init("GPIB::22", VI_FALSE, VI_FALSE, &vi), VI_SUCCESS);
    EXPECT_EQ(a.Recus(), Messages{});
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, 500);
    EXPECT_EQ(hp34401a_reset(vi), VI_SUCCESS);
    viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai);
    EXPECT_EQ(delai, 10000u);
    EXPECT_EQ(hp34401a_close(vi), VI_SUCCESS);
}

TEST_F(PiloteMultimetre, UtilityOperations) {
    a_.Repondre("*TST?", "+1\n");
    ViInt16 resultat = 0;
    char message[256];
    EXPECT_EQ(hp34401a_selfTest(vi_, &resultat, message), VI_SUCCESS);
    EXPECT_EQ(resultat, 1);
    EXPECT_STREQ(message, "1");
    a_.Repondre(":SYST:ERR?", "-222,\"Data out of range\"\n");
    ViInt32 code = 0;
    EXPECT_EQ(hp34401a_errorQuery(vi_, &code, message), VI_SUCCESS);
    EXPECT_EQ(code, -222);
    EXPECT_STREQ(message, "Data out of range");
    a_.Repondre("*IDN?", "HEWLETT-PACKARD,34401A,0,11-5-2\n");
    char pilote[256], instrument[256];
    EXPECT_EQ(hp34401a_revisionQuery(vi_, pilote, instrument), VI_SUCCESS);
    EXPECT_STREQ(pilote, "Rev 1.0b, 9/95, CVI 3.1");
    EXPECT_STREQ(instrument, "11-5-2");
    EXPECT_EQ(a_.Recus(), (Messages{Fin("*TST?\r\n"), Fin(":SYST:ERR?\r\n"), Fin("*IDN?")}));
    EXPECT_EQ(hp34401a_writeInstrData(vi_, "*CLS\r\n"), VI_SUCCESS);
    EXPECT_EQ(a_.Recus(), Messages{Fin("*CLS\r\n")});
}

TEST_F(PiloteMultimetre, FileTransferInChunksOf256) {
    const std::string fichier = (banc_.LeBanc().Dossier() / "f.bin").string();
    std::ofstream(fichier, std::ios::binary) << std::string(600, 'z');
    ViUInt32 n = 0;
    EXPECT_EQ(hp34401a_writeFromFile(vi_, fichier.c_str(), 1000, &n), VI_SUCCESS);
    EXPECT_EQ(n, 600u);
    EXPECT_EQ(a_.Recus(), (Messages{{std::string(256, 'z'), false}, {std::string(256, 'z'), false},
                                    {std::string(88, 'z'), true}}));
    a_.Repondre("D?", std::string(300, 'y'));
    hp34401a_writeInstrData(vi_, "D?");
    EXPECT_EQ(hp34401a_readToFile(vi_, fichier.c_str(), 1000, &n), VI_SUCCESS);
    EXPECT_EQ(n, 300u);
}

TEST_F(PiloteMultimetre, StatusCheckAndKeywordLookup) {
    EXPECT_EQ(hp34401a_checkInstrStatus(vi_), VI_SUCCESS);
    a_.Repondre("*ESR?", "+32\n");
    EXPECT_EQ(hp34401a_checkInstrStatus(vi_), VI_SUCCESS);  // the bits are not interpreted
    a_.Repondre("*ESR?", "garbage\n");
    EXPECT_EQ(hp34401a_checkInstrStatus(vi_), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(a_.Recus(), (Messages{Fin("*ESR?\r\n"), Fin("*ESR?\r\n"), Fin("*ESR?\r\n")}));
    // A command whose check finds an unreadable reply reports it.
    EXPECT_EQ(hp34401a_waitForTrigger(vi_), VI_ERROR_INTERPRETING_RESPONSE);
    // A check that times out: its status, not the command's success.
    a_.Oublier("*ESR?");
    viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100);
    EXPECT_EQ(hp34401a_actMathOp(vi_, 0, 1), VI_ERROR_TMO);

    const ViChar *const termes[] = {"REAR", "FRON"};
    const struct {
        const char *texte;
        ViStatus statut;
        ViInt16 indice;
    } cas[] = {{"fron", VI_SUCCESS, 1},
               {"REAR", VI_SUCCESS, 0},
               {"FRONT", VI_ERROR_INTERPRETING_RESPONSE, 7},
               {"", VI_ERROR_INTERPRETING_RESPONSE, 7}};
    for (const auto &c : cas) {
        ViInt16 indice = 7;
        EXPECT_EQ(hp34401a_stringToInt(termes, 0, 1, c.texte, &indice), c.statut) << c.texte;
        EXPECT_EQ(indice, c.indice) << c.texte;
    }
    ViInt16 indice = 7;
    EXPECT_EQ(hp34401a_stringToInt(termes, 1, 1, "REAR", &indice), VI_ERROR_INTERPRETING_RESPONSE);
}

TEST_F(PiloteMultimetre, Configuration) {
    const auto C = [](ViInt16 f, ViBoolean autoG, double gamme, ViInt16 res) {
        return [=](ViSession vi) { return hp34401a_conf(vi, f, autoG, gamme, res); };
    };
    const auto T = [](ViInt16 s, ViBoolean autoD, double d, ViInt32 n, ViInt32 e) {
        return [=](ViSession vi) { return hp34401a_confTrig(vi, s, autoD, d, n, e); };
    };
    Verifier(a_, vi_, {
        {"plugin's call", C(1, 1, 0.0, 0), VI_SUCCESS, ":CONF:VOLT AUTO,MAX\r\n", false},
        {"auto ignores the range", C(4, 1, -7.0, 2), VI_SUCCESS, ":CONF:CURR AUTO,MIN\r\n", false},
        {"frequency 300", C(7, 0, 300.0, 1), VI_SUCCESS, ":CONF:FREQ 300.000000,DEF\r\n", false},
        {"frequency 3", C(7, 0, 3.0, 1), VI_SUCCESS, ":CONF:FREQ 3.000000,DEF\r\n", false},
        {"frequency 300000", C(7, 0, 300000.0, 1), VI_SUCCESS, ":CONF:FREQ 300000.000000,DEF\r\n", false},
        {"frequency 2.9", C(7, 0, 2.9, 1), VI_ERROR_PARAMETER4, nullptr, false},
        {"period 0.33", C(8, 0, 0.33, 0), VI_SUCCESS, ":CONF:PER 0.330000,MAX\r\n", false},
        {"period 0.34", C(8, 0, 0.34, 0), VI_ERROR_PARAMETER4, nullptr, false},
        {"period below a millionth", C(8, 0, 0.0000033, 0), VI_SUCCESS, ":CONF:PER 3.300000E-06,MAX\r\n", false},
        {"volt 101", C(1, 0, 101.0, 0), VI_ERROR_PARAMETER4, nullptr, false},
        {"ratio any range", C(2, 0, -5.0, 1), VI_SUCCESS, ":CONF:VOLT:RAT -5.000000,DEF\r\n", false},
        {"ratio range too long", C(2, 0, 1e300, 1), VI_ERROR_PARAMETER4, nullptr, false},
        {"ratio range not a number", C(2, 0, kNaN, 1), VI_ERROR_PARAMETER4, nullptr, false},
        {"continuity", C(9, 0, -1.0, 0), VI_SUCCESS, ":CONF:CONT\r\n", false},
        {"diode, resolution still checked", C(10, 0, 0.0, 3), VI_ERROR_PARAMETER5, nullptr, false},
        {"function 11", C(11, 1, 0.0, 0), VI_ERROR_PARAMETER2, nullptr, false},
        {"function -1", C(-1, 1, 0.0, 0), VI_ERROR_PARAMETER2, nullptr, false},
        {"auto range 2", C(1, 2, 0.0, 0), VI_ERROR_PARAMETER3, nullptr, false},
        {"trigger", T(2, 0, 0.5, 3, 2), VI_SUCCESS, ":TRIG:SOUR BUS;DEL 0.500000;COUN 3;:SAMP:COUN 2\r\n", false},
        {"trigger auto delay", T(0, 1, 0.5, 1, 50000), VI_SUCCESS,
         ":TRIG:SOUR IMM;COUN 1;DEL:AUTO ON;:SAMP:COUN 50000\r\n", false},
        {"delay checked though automatic", T(0, 1, 4000.0, 1, 1), VI_ERROR_PARAMETER4, nullptr, false},
        {"source before samples", T(3, 0, 0.0, 1, 50001), VI_ERROR_PARAMETER2, nullptr, false},
        {"trigger count 0", T(0, 0, 0.0, 0, 1), VI_ERROR_PARAMETER5, nullptr, false},
        {"sample count 50001", T(0, 0, 0.0, 1, 50001), VI_ERROR_PARAMETER6, nullptr, false},
        {"aperture", [](ViSession vi) { return hp34401a_confAperTime(vi, 8, 0.00001); }, VI_SUCCESS,
         ":PER:APER 0.000010\r\n", false},
        {"aperture 1", [](ViSession vi) { return hp34401a_confAperTime(vi, 7, 1.0); }, VI_SUCCESS,
         ":FREQ:APER 1.000000\r\n", false},
        {"aperture function", [](ViSession vi) { return hp34401a_confAperTime(vi, 6, 0.1); }, VI_ERROR_PARAMETER2,
         nullptr, false},
        {"aperture range", [](ViSession vi) { return hp34401a_confAperTime(vi, 7, 1.01); }, VI_ERROR_PARAMETER3,
         nullptr, false},
        {"integration", [](ViSession vi) { return hp34401a_confIntegratTime(vi, 5, 0.02); }, VI_SUCCESS,
         ":RES:NPLC 0.020000\r\n", false},
        {"integration 100", [](ViSession vi) { return hp34401a_confIntegratTime(vi, 6, 100.0); }, VI_SUCCESS,
         ":FRES:NPLC 100.000000\r\n", false},
        {"integration 0.01", [](ViSession vi) { return hp34401a_confIntegratTime(vi, 1, 0.01); },
         VI_ERROR_PARAMETER3, nullptr, false},
        {"integration function 3", [](ViSession vi) { return hp34401a_confIntegratTime(vi, 3, 1.0); },
         VI_ERROR_PARAMETER2, nullptr, false},
        {"misc bandwidth", [](ViSession vi) { return hp34401a_confMisc(vi, 0, 2.9, 0); }, VI_ERROR_PARAMETER3,
         nullptr, false},
        {"misc impedance", [](ViSession vi) { return hp34401a_confMisc(vi, 2, 20.0, 2); }, VI_ERROR_PARAMETER4,
         nullptr, false},
    });
    EXPECT_EQ(hp34401a_confMisc(vi_, 2, 200.0, 1), VI_SUCCESS);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":ZERO:AUTO ONCE\r\n"), Fin(":INP:IMP:AUTO ON\r\n"), Fin(":DET:BAND 200.000000\r\n")}));
}

TEST_F(PiloteMultimetre, TriggeringCommandsAreChecked) {
    Verifier(a_, vi_, {
        {"initiate", [](ViSession vi) { return hp34401a_waitForTrigger(vi); }, VI_SUCCESS, ":INIT\r\n", true},
        {"trigger", [](ViSession vi) { return hp34401a_softTrig(vi); }, VI_SUCCESS, "*TRG\r\n", true},
        {"abort", [](ViSession vi) { return hp34401a_abortMeas(vi); }, VI_SUCCESS, ":ABOR\r\n", true},
    });
    // A write that fails ends confMisc there, with its status.
    viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100);
    horloge::UtiliserHorlogeFactice(0);
    sim::Defauts d;
    d.ecrituresBloquees = 1;
    a_.FixerDefauts(d);
    EXPECT_EQ(hp34401a_confMisc(vi_, 1, 20.0, 0), VI_ERROR_TMO);
    EXPECT_EQ(a_.Recus(), Messages{});
}

TEST_F(PiloteMultimetre, Readings) {
    a_.Repondre(":INIT;:FETC?", "-1.23456789E+00\n");
    double v = 0.0;
    EXPECT_EQ(hp34401a_singleMeas(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, -1.23456789);
    a_.Repondre(":INIT;:FETC?", "OVLD\n");
    v = 7.0;
    EXPECT_EQ(hp34401a_singleMeas(vi_, &v), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":INIT;:FETC?\r\n"), Fin(":INIT;:FETC?\r\n")}));

    // Several readings: the count first, then the readings with the caller's time-out.
    a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+3.00000000E+00;+2\n");
    a_.Repondre(":INIT;:FETC?", "+1.0E+00,+2.0E+00,+3.0E+00,+4.0E+00,+5.0E+00,+6.0E+00\n");
    double lectures[8] = {};
    ViInt16 n = 0;
    EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 8), VI_SUCCESS);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(std::vector<double>(lectures, lectures + 7), (std::vector<double>{1, 2, 3, 4, 5, 6, 0}));
    EXPECT_EQ(Delai(), 20000u);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":TRIG:COUN?;:SAMP:COUN?\r\n"), Fin(":INIT;:FETC?\r\n")}));
    // More readings than room: refused before the measurement starts, the count not stored.
    n = 0;
    EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 5), VI_ERROR_PARAMETER4);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(a_.Recus(), Messages{Fin(":TRIG:COUN?;:SAMP:COUN?\r\n")});
    // A count below one reading makes no sense: refused the same way, as a reply not understood.
    for (const char *compte : {"-1.0;5\n", "+2.00000000E+00;-3\n", "+0.00000000E+00;+1\n"}) {
        SCOPED_TRACE(compte);
        a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", compte);
        EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 8), VI_ERROR_INTERPRETING_RESPONSE);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(a_.Recus(), Messages{Fin(":TRIG:COUN?;:SAMP:COUN?\r\n")});
    }
    a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+5.00000000E+04;+50000\n");  // beyond 16 bits
    n = 0;
    EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 8), VI_ERROR_PARAMETER4);
    EXPECT_EQ(n, 0);
    // A counts reply with one number leaves the count; fewer readings than the count.
    a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+3.00000000E+00\n");
    EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 8), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(n, 0);
    a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+1.00000000E+00;+7\n");
    EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, lectures, 8), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(hp34401a_multiMeas(vi_, -1, &n, lectures, 8), VI_ERROR_PARAMETER2);
    EXPECT_EQ(hp34401a_fetchMeas(vi_, &n, lectures, -1, 8), VI_ERROR_PARAMETER4);
    a_.Recus();
    // Readings that do not fit one read of 256 bytes (twenty of 16 characters): refused, and the
    // rest of the reply is read off, so that the next query reads its own reply.
    {
        a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+2.00000000E+01;+1\n");
        std::string vingt;
        for (int i = 1; i <= 20; ++i) {
            char lecture[32];
            std::snprintf(lecture, sizeof lecture, "%+.8E%c", static_cast<double>(i), i < 20 ? ',' : '\n');
            vingt += lecture;
        }
        ASSERT_EQ(vingt.size(), 320u);
        a_.Repondre(":INIT;:FETC?", vingt);
        double place[32] = {};
        EXPECT_EQ(hp34401a_multiMeas(vi_, 20000, &n, place, 32), VI_ERROR_INTERPRETING_RESPONSE);
        EXPECT_EQ(n, 20);
        EXPECT_EQ(place[15], 16.0);
        EXPECT_EQ(a_.SortieEnAttente(), "");
        a_.Repondre(":INIT;:FETC?", "+4.20000000E+00\n");
        EXPECT_EQ(hp34401a_singleMeas(vi_, &v), VI_SUCCESS);
        EXPECT_EQ(v, 4.2);
        a_.Recus();
    }

    // Fetch: the readings of a measurement started before, then the status check.
    a_.Repondre(":TRIG:COUN?;:SAMP:COUN?", "+1.00000000E+00;+1\n");
    a_.Repondre(":FETC?", "+9.5E-01\n");
    EXPECT_EQ(hp34401a_fetchMeas(vi_, &n, lectures, 20000, 8), VI_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(lectures[0], 0.95);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":TRIG:COUN?;:SAMP:COUN?\r\n"), Fin(":FETC?\r\n"), Fin("*ESR?\r\n")}));
    // Readings that never come: VI_ERROR_TMO, the count stored, the time-out left as given.
    horloge::UtiliserHorlogeFactice(0);
    a_.Oublier(":FETC?");
    n = 0;
    EXPECT_EQ(hp34401a_fetchMeas(vi_, &n, lectures, 3000, 8), VI_ERROR_TMO);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(Delai(), 3000u);
}

TEST_F(PiloteMultimetre, MathDisplayAndCalibrationCommands) {
    const std::string douze(12, 'A'), treize(13, 'A'), quarante(40, 'c'), quaranteEtUn(41, 'c');
    Verifier(a_, vi_, {
        {"beep", [](ViSession vi) { return hp34401a_beeper(vi, 1, 1); }, VI_SUCCESS,
         "SYST:BEEP:STAT ON;:SYST:BEEP\r\n", false},
        {"beeper off", [](ViSession vi) { return hp34401a_beeper(vi, 0, 0); }, VI_SUCCESS, "SYST:BEEP:STAT OFF\r\n",
         false},
        {"beep now 2", [](ViSession vi) { return hp34401a_beeper(vi, 1, 2); }, VI_ERROR_PARAMETER3, nullptr, false},
        {"beeper 2 first", [](ViSession vi) { return hp34401a_beeper(vi, 2, 2); }, VI_ERROR_PARAMETER2, nullptr,
         false},
        {"math", [](ViSession vi) { return hp34401a_actMathOp(vi, 3, 1); }, VI_SUCCESS, ":CALC:FUNC DBM;STAT 1\r\n",
         true},
        {"math 5", [](ViSession vi) { return hp34401a_actMathOp(vi, 5, 1); }, VI_ERROR_PARAMETER2, nullptr, false},
        {"math state 2", [](ViSession vi) { return hp34401a_actMathOp(vi, 0, 2); }, VI_ERROR_PARAMETER3, nullptr,
         false},
        {"null", [](ViSession vi) { return hp34401a_confNull(vi, -0.25); }, VI_SUCCESS, ":CALC:NULL:OFFS -0.250000\r\n",
         true},
        {"null too long", [](ViSession vi) { return hp34401a_confNull(vi, -1e300); }, VI_ERROR_PARAMETER2, nullptr,
         false},
        {"null infinite", [](ViSession vi) { return hp34401a_confNull(vi, HUGE_VAL); }, VI_ERROR_PARAMETER2, nullptr,
         false},
        {"dB 0", [](ViSession vi) { return hp34401a_confDbMeas(vi, 0.0); }, VI_SUCCESS, ":CALC:DB:REF 0.000000\r\n",
         true},
        {"dB 200", [](ViSession vi) { return hp34401a_confDbMeas(vi, 200.0); }, VI_SUCCESS,
         ":CALC:DB:REF 200.000000\r\n", true},
        {"dB -1", [](ViSession vi) { return hp34401a_confDbMeas(vi, -1.0); }, VI_ERROR_PARAMETER2, nullptr, false},
        {"dBm 8000", [](ViSession vi) { return hp34401a_confDbmMeas(vi, 8000); }, VI_SUCCESS,
         ":CALC:DBM:REF 8000\r\n", true},
        {"dBm 8001", [](ViSession vi) { return hp34401a_confDbmMeas(vi, 8001); }, VI_ERROR_PARAMETER2, nullptr, false},
        {"dBm -1", [](ViSession vi) { return hp34401a_confDbmMeas(vi, -1); }, VI_ERROR_PARAMETER2, nullptr, false},
        {"limits crossed", [](ViSession vi) { return hp34401a_confLimitTest(vi, -1.0, 2.0); }, VI_SUCCESS,
         ":CALC:LIM:UPP -1.000000;LOW 2.000000\r\n", true},
        {"upper too long", [](ViSession vi) { return hp34401a_confLimitTest(vi, 1e250, 0.0); }, VI_ERROR_PARAMETER2,
         nullptr, false},
        {"lower too long", [](ViSession vi) { return hp34401a_confLimitTest(vi, 1.0, 1e250); }, VI_ERROR_PARAMETER3,
         nullptr, false},
        {"display 12", [douze](ViSession vi) { return hp34401a_display(vi, 1, douze.c_str(), 0); }, VI_SUCCESS,
         ":DISP:TEXT \"AAAAAAAAAAAA\";:DISP:STAT 1\r\n", true},
        {"display empty", [](ViSession vi) { return hp34401a_display(vi, 0, "", 0); }, VI_SUCCESS,
         ":DISP:TEXT \"\";:DISP:STAT 0\r\n", true},
        {"display clear", [](ViSession vi) { return hp34401a_display(vi, 1, "x", 1); }, VI_SUCCESS,
         ":DISP:TEXT:CLE;:DISP:STAT 1\r\n", true},
        {"display 13 though cleared", [treize](ViSession vi) { return hp34401a_display(vi, 1, treize.c_str(), 1); },
         VI_ERROR_PARAMETER3, nullptr, false},
        {"display state", [](ViSession vi) { return hp34401a_display(vi, 2, "", 0); }, VI_ERROR_PARAMETER2, nullptr,
         false},
        {"display clear 2", [](ViSession vi) { return hp34401a_display(vi, 1, "", 2); }, VI_ERROR_PARAMETER4, nullptr,
         false},
        {"secure 12", [douze](ViSession vi) { return hp34401a_calSecure(vi, douze.c_str(), 0); }, VI_SUCCESS,
         ":CAL:SEC:STAT 0,AAAAAAAAAAAA\r\n", true},
        {"secure 13", [treize](ViSession vi) { return hp34401a_calSecure(vi, treize.c_str(), 0); },
         VI_ERROR_PARAMETER2, nullptr, false},
        {"secure state", [](ViSession vi) { return hp34401a_calSecure(vi, "HP034401", 2); }, VI_ERROR_PARAMETER3,
         nullptr, false},
        {"code", [](ViSession vi) { return hp34401a_calCode(vi, "NEW1"); }, VI_SUCCESS, ":CAL:SEC:CODE NEW1\r\n", true},
        {"code 13", [treize](ViSession vi) { return hp34401a_calCode(vi, treize.c_str()); }, VI_ERROR_PARAMETER2,
         nullptr, false},
        {"stamp 40", [quarante](ViSession vi) { return hp34401a_calStamp(vi, quarante.c_str()); }, VI_SUCCESS,
         ":CAL:STR \"cccccccccccccccccccccccccccccccccccccccc\"\r\n", true},
        {"stamp 41", [quaranteEtUn](ViSession vi) { return hp34401a_calStamp(vi, quaranteEtUn.c_str()); },
         VI_ERROR_PARAMETER2, nullptr, false},
    });
}

TEST_F(PiloteMultimetre, Queries) {
    const struct {
        const char *reponse;
        ViStatus statut;
        ViInt16 bornes;
    } bornes[] = {{"FRON\n", VI_SUCCESS, 1},
                  {"rear\n", VI_SUCCESS, 0},
                  {"FRONT\n", VI_ERROR_INTERPRETING_RESPONSE, 9},
                  {"\n", VI_ERROR_INTERPRETING_RESPONSE, 9}};
    for (const auto &c : bornes) {
        SCOPED_TRACE(c.reponse);
        a_.Repondre(":ROUTE:TERM?", c.reponse);
        ViInt16 v = 9;
        EXPECT_EQ(hp34401a_checkTerminals(vi_, &v), c.statut);
        EXPECT_EQ(v, c.bornes);
        EXPECT_EQ(a_.Recus(), Messages{Fin(":ROUTE:TERM?\r\n")});
    }
    a_.Repondre(":SYST:VERS?", "1991.0\n");
    ViInt16 annee = 0, revision = 9;
    EXPECT_EQ(hp34401a_checkScpiVersion(vi_, &annee, &revision), VI_SUCCESS);
    EXPECT_EQ(annee, 1991);
    EXPECT_EQ(revision, 0);
    a_.Repondre(":SYST:VERS?", "1994\n");
    revision = 9;
    EXPECT_EQ(hp34401a_checkScpiVersion(vi_, &annee, &revision), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(annee, 1994);
    EXPECT_EQ(revision, 9);
    a_.Recus();

    a_.Repondre(":CAL:VAL 10.000000;:CAL?", "+0\n");
    ViInt16 resultat = 9;
    EXPECT_EQ(hp34401a_calibrate(vi_, 10.0, &resultat), VI_SUCCESS);
    EXPECT_EQ(resultat, 0);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":CAL:VAL 10.000000;:CAL?\r\n"), Fin("*ESR?\r\n")}));
    a_.Repondre(":CAL:VAL 10.000000;:CAL?", "fail\n");
    EXPECT_EQ(hp34401a_calibrate(vi_, 10.0, &resultat), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(a_.Recus(), Messages{Fin(":CAL:VAL 10.000000;:CAL?\r\n")});  // no status check
    EXPECT_EQ(hp34401a_calibrate(vi_, kNaN, &resultat), VI_ERROR_PARAMETER2);
}

}  // namespace
