// The counter's instrument driver through the real VISA layer, against a device that records
// every message: exact command texts, argument checks in their order, status texts, the error
// query after each command, reply parsing and the failures of the bus.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gpib/GLOBALES.h"
#include "gpib/HP5313XA.h"
#include "gpib/hp34401a.h"
#include "platform/clock.h"
#include "platform/ui_test.h"
#include "tests/gpib/repondeur.h"

namespace {

using essai::Fin;
using essai::Messages;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char *kPasDErreur = "+0,\"No error\"\n";

// What a command operation that succeeds puts on the bus: its text, then the error query.
Messages Commande(const std::string &texte) { return {Fin(texte), Fin(":SYST:ERR?")}; }

class PiloteCompteur : public testing::Test {
protected:
    void SetUp() override {
        a_.Repondre(":SYST:ERR?", kPasDErreur);
        ASSERT_EQ(hp5313xa_init("GPIB::3", VI_FALSE, VI_FALSE, 1, &vi_), VI_SUCCESS);
        a_.Recus();
    }
    void TearDown() override {
        if (vi_ != VI_NULL) hp5313xa_close(vi_);
    }
    ViUInt32 Delai() const { return essai::DelaiSession(vi_); }

    essai::BancPilote banc_{3};
    essai::Repondeur &a_ = banc_.Appareil();
    ViSession vi_ = VI_NULL;
};

struct CasCommande {
    const char *nom;
    std::function<ViStatus(ViSession)> appel;
    ViStatus statut;
    const char *texte;  // null: nothing is sent
};

void Verifier(essai::Repondeur &a, ViSession vi, const std::vector<CasCommande> &cas) {
    for (const CasCommande &c : cas) {
        SCOPED_TRACE(c.nom);
        EXPECT_EQ(c.appel(vi), c.statut);
        EXPECT_EQ(a.Recus(), c.texte != nullptr ? Commande(c.texte) : Messages{});
    }
}

// ---- argument checks and status texts ---------------------------------------------------------

TEST(VerificationsPilotes, RangesAreInclusiveAndNotANumberIsInvalid) {
    struct Cas {
        double valeur, min, max;
        bool invalide;
    };
    const Cas reels[] = {{1.0, 1.0, 2.0, false},  {2.0, 1.0, 2.0, false}, {0.999, 1.0, 2.0, true},
                         {2.001, 1.0, 2.0, true}, {kNaN, 1.0, 2.0, true}, {-5.125, -5.125, 5.125, false}};
    for (const Cas &c : reels) {
        SCOPED_TRACE(c.valeur);
        EXPECT_EQ(hp5313xa_invalidViReal64Range(c.valeur, c.min, c.max), c.invalide);
        EXPECT_EQ(hp34401a_invalidViReal64Range(c.valeur, c.min, c.max), c.invalide);
        EXPECT_EQ(hp5313xa_invalidViReal32Range(static_cast<float>(c.valeur), static_cast<float>(c.min),
                                                static_cast<float>(c.max)),
                  c.invalide);
    }
    for (const int v : {0, 1, 2, 3}) {
        SCOPED_TRACE(v);
        const bool invalide = v == 0 || v == 3;
        EXPECT_EQ(hp5313xa_invalidViInt16Range(static_cast<ViInt16>(v), 1, 2), invalide);
        EXPECT_EQ(hp34401a_invalidViInt32Range(v, 1, 2), invalide);
        EXPECT_EQ(hp5313xa_invalidViUInt16Range(static_cast<ViUInt16>(v), 1, 2), invalide);
        EXPECT_EQ(hp34401a_invalidViUInt32Range(static_cast<ViUInt32>(v), 1, 2), invalide);
        EXPECT_EQ(hp5313xa_invalidViBooleanRange(static_cast<ViBoolean>(v)), v >= 2);
    }
    // Unsigned comparisons: a large value is not a negative one.
    EXPECT_TRUE(hp5313xa_invalidViUInt32Range(0xFFFFFFFFu, 0, 10));
    EXPECT_FALSE(hp5313xa_invalidViInt32Range(-1, -1, 10));
}

TEST(TextesPilotes, EachDriverHasItsOwnTableAndVisaKeepsItsTexts) {
    char texte[256];
    const struct {
        ViStatus (*message)(ViSession, ViStatus, ViChar[]);
        ViStatus code;
        ViStatus statut;
        const char *attendu;
    } cas[] = {
        {hp5313xa_errorMessage, VI_ERROR_PARAMETER4, VI_SUCCESS, "ERROR: Parameter 4 out of range"},
        {hp5313xa_errorMessage, VI_WARN_NSUP_ID_QUERY, VI_SUCCESS, "WARNING: ID Query not supported"},
        {hp5313xa_errorMessage, VI_ERROR_FAIL_ID_QUERY, VI_SUCCESS, "ERROR: Identification query failed"},
        {hp5313xa_errorMessage, VI_ERROR_INTERPRETING_RESPONSE, VI_SUCCESS,
         "ERROR: Interpreting the instrument's response"},
        {hp5313xa_errorMessage, hp5313xa_ERROR_LIMITS, VI_SUCCESS, "ERROR: Upper Limit <= Lower Limit"},
        {hp5313xa_errorMessage, hp5313xa_ERROR_INSTRUMENT_ERROR, VI_SUCCESS, "ERROR: Instrument System Error"},
        {hp5313xa_errorMessage, static_cast<ViStatus>(0xBFFC0806u), VI_WARN_UNKNOWN_STATUS,
         "Unknown Error 0xBFFC0806"},
        {hp5313xa_errorMessage, VI_ERROR_TMO, VI_SUCCESS, "Timeout expired before the operation completed."},
        {hp34401a_errorMessage, static_cast<ViStatus>(0xBFFC0805u), VI_SUCCESS, "ERROR: STAMP TOO LONG"},
        {hp34401a_errorMessage, hp34401a_ERROR_SECURITY_CODE, VI_SUCCESS, "ERROR: Security code too long"},
        {hp34401a_errorMessage, hp34401a_ERROR_DATA_RANGE, VI_SUCCESS, "ERROR: Data outoff range."},
        {hp34401a_errorMessage, static_cast<ViStatus>(0xBFFC0804u), VI_WARN_UNKNOWN_STATUS,
         "Unknown Error 0xBFFC0804"},
        {hp34401a_errorMessage, VI_ERROR_PARAMETER8, VI_SUCCESS, "ERROR: Parameter 8 out of range"},
        {hp34401a_errorMessage, 0x3FFC0001, VI_WARN_UNKNOWN_STATUS, "Unknown Error 0x3FFC0001"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.attendu);
        EXPECT_EQ(c.message(VI_NULL, c.code, texte), c.statut);
        EXPECT_STREQ(texte, c.attendu);
    }
}

TEST(TextesPilotes, AnalyseMsgFreqShowsTheCountersText) {
    ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << d; });
    ui_test::Effacer();
    for (int i = 0; i < 3; ++i) ui_test::Repondre(ui_test::Popup::Message);
    analyse_msg_freq("inputCond", hp5313xa_ERROR_INSTRUMENT_ERROR);
    analyse_msg_freq("reset", VI_ERROR_TMO);
    analyse_msg_freq("trigSens", static_cast<ViStatus>(0xBFFC0999u));
    const auto vus = ui_test::Vus();
    ui_test::DesactiverScript();
    ASSERT_EQ(vus.size(), 3u);
    EXPECT_EQ(vus[0].titre, "inputCond");
    EXPECT_EQ(vus[0].message, "ERROR: Instrument System Error");
    EXPECT_EQ(vus[1].titre, "reset");
    EXPECT_EQ(vus[1].message, "Timeout expired before the operation completed.");
    EXPECT_EQ(vus[2].message, "Unknown Error 0xBFFC0999");
}

// ---- session ------------------------------------------------------------------------------------

TEST(SessionCompteur, ArgumentsAreCheckedBeforeAnyVisaCall) {
    essai::BancPilote banc(3);
    const struct {
        ViBoolean id, reset;
        ViInt16 modele;
        ViStatus statut;
    } cas[] = {{2, 5, 1, VI_ERROR_PARAMETER2},
               {0, 2, 1, VI_ERROR_PARAMETER3},
               {0, 0, 0, VI_ERROR_PARAMETER4},
               {0, 0, 3, VI_ERROR_PARAMETER4}};
    for (const auto &c : cas) {
        ViSession vi = 12345;
        EXPECT_EQ(hp5313xa_init("GPIB::3", c.id, c.reset, c.modele, &vi), c.statut);
        EXPECT_EQ(vi, 12345u);
    }
    EXPECT_EQ(banc.Appareil().Recus(), Messages{});
}

TEST(SessionCompteur, IdentityIsComparedOnItsFirst22Characters) {
    essai::BancPilote banc(3);
    essai::Repondeur &a = banc.Appareil();
    const struct {
        const char *reponse;
        ViInt16 modele;
        ViStatus statut;
    } cas[] = {
        {"HEWLETT-PACKARD,53131A,0,3703\n", 1, VI_SUCCESS},
        {"HEWLETT-PACKARD,53132A,0,3703\n", 2, VI_SUCCESS},
        {"HEWLETT-PACKARD,53131A,0,3703\n", 2, VI_ERROR_FAIL_ID_QUERY},
        {"hewlett-packard,53131a,0,3703\n", 1, VI_ERROR_FAIL_ID_QUERY},
        {"HEWLETT-PACKARD,53131", 1, VI_ERROR_FAIL_ID_QUERY},
        {"HEWLETT-PACKARD,53131A", 1, VI_SUCCESS},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reponse);
        a.Repondre("*IDN?", c.reponse);
        ViSession vi = 12345;
        EXPECT_EQ(hp5313xa_init("GPIB0::3::INSTR", VI_TRUE, VI_FALSE, c.modele, &vi), c.statut);
        EXPECT_EQ(a.Recus(), Messages{Fin("*IDN?")});
        if (c.statut == VI_SUCCESS) {
            EXPECT_NE(vi, VI_NULL);
            EXPECT_EQ(hp5313xa_close(vi), VI_SUCCESS);
        } else {
            EXPECT_EQ(vi, VI_NULL);  // both sessions closed by the clean-up
        }
    }
}

TEST(SessionCompteur, TimeOutIs11000AfterEveryInitAndTheRecordIsAttached) {
    essai::BancPilote banc(3);
    for (const ViBoolean reset : {VI_FALSE, VI_TRUE}) {
        SCOPED_TRACE(reset);
        ViSession vi = VI_NULL;
        ASSERT_EQ(hp5313xa_init("GPIB::3", VI_FALSE, reset, 1, &vi), VI_SUCCESS);
        // Without the identity query the only thing sent is the reset.
        EXPECT_EQ(banc.Appareil().Recus(), reset ? Messages{Fin("*RST")} : Messages{});
        ViUInt32 delai = 0;
        EXPECT_EQ(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai), VI_SUCCESS);
        EXPECT_EQ(delai, 11000u);
        ViUInt16 mode = 0;
        viGetAttribute(vi, VI_ATTR_RD_BUF_OPER_MODE, &mode);
        EXPECT_EQ(mode, VI_FLUSH_ON_ACCESS);
        viGetAttribute(vi, VI_ATTR_WR_BUF_OPER_MODE, &mode);
        EXPECT_EQ(mode, VI_FLUSH_ON_ACCESS);
        ViAddr donnees = nullptr;
        viGetAttribute(vi, VI_ATTR_USER_DATA, &donnees);
        ASSERT_NE(donnees, nullptr);
        EXPECT_STREQ(static_cast<hp5313xa_statusDataRanges *>(donnees)->instrDriverRevision,
                     "Rev 1.0, 9/95, CVI 3.1");
        // Two more resets replace the record; the close releases the last (the leak checker
        // of the sanitizer runs sees any other).
        EXPECT_EQ(hp5313xa_reset(vi), VI_SUCCESS);
        EXPECT_EQ(hp5313xa_reset(vi), VI_SUCCESS);
        EXPECT_EQ(banc.Appareil().Recus(), (Messages{Fin("*RST"), Fin("*RST")}));
        EXPECT_EQ(hp5313xa_close(vi), VI_SUCCESS);
        EXPECT_EQ(hp5313xa_close(vi), VI_ERROR_INV_OBJECT);
    }
    EXPECT_EQ(hp5313xa_close(VI_NULL), VI_ERROR_INV_OBJECT);
}

TEST(SessionCompteur, FailedOpeningsLeaveNothingOpen) {
    essai::BancPilote banc(3);
    horloge::UtiliserHorlogeFactice(0);  // a silent identity read times out at once
    ViSession vi = 12345;
    EXPECT_EQ(hp5313xa_init("GPIB::5", VI_FALSE, VI_FALSE, 1, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(vi, VI_NULL);
    EXPECT_EQ(hp5313xa_init("GPIB::40", VI_FALSE, VI_FALSE, 1, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(hp5313xa_init("GPIB::3", VI_TRUE, VI_FALSE, 1, &vi), VI_ERROR_TMO);
    EXPECT_EQ(vi, VI_NULL);
    sim::Defauts d;
    d.debranche = true;
    // Unplugged after the opening: the identity write finds no listener.
    banc.Appareil().FixerDefauts({});
    ViSession ouverte = VI_NULL;
    ASSERT_EQ(hp5313xa_init("GPIB::3", VI_FALSE, VI_FALSE, 1, &ouverte), VI_SUCCESS);
    banc.Appareil().FixerDefauts(d);
    EXPECT_EQ(hp5313xa_reset(ouverte), VI_ERROR_NLISTENERS);
    EXPECT_EQ(hp5313xa_close(ouverte), VI_SUCCESS);
}

// ---- utility operations -----------------------------------------------------------------------

TEST_F(PiloteCompteur, RawWriteAndRead) {
    EXPECT_EQ(hp5313xa_writeInstrData(vi_, "*CLS"), VI_SUCCESS);
    EXPECT_EQ(hp5313xa_writeInstrData(vi_, ":DISP:TEXT \"50%d\""), VI_SUCCESS);
    EXPECT_EQ(a_.Recus(), (Messages{Fin("*CLS"), Fin(":DISP:TEXT \"50%d\"")}));
    EXPECT_EQ(hp5313xa_writeInstrData(vi_, nullptr), VI_ERROR_PARAMETER2);

    a_.Repondre("Q", "0123456789\n");
    hp5313xa_writeInstrData(vi_, "Q");
    char tampon[8] = {};
    ViInt32 lus = -1;
    EXPECT_EQ(hp5313xa_readInstrData(vi_, 4, tampon, &lus), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(lus, 4);
    EXPECT_EQ(std::string(tampon, 4), "0123");
    EXPECT_EQ(hp5313xa_readInstrData(vi_, 8, tampon, &lus), VI_SUCCESS);
    EXPECT_EQ(std::string(tampon, static_cast<std::size_t>(lus)), "456789\n");
    EXPECT_EQ(hp5313xa_readInstrData(vi_, -1, tampon, &lus), VI_ERROR_PARAMETER2);
    EXPECT_EQ(lus, 0);
}

TEST_F(PiloteCompteur, SelfTestErrorAndRevisionQueries) {
    a_.Repondre("*TST?", "+0\n");
    hp5313xa_set_timeout(vi_, 500);
    ViInt16 resultat = -1;
    char message[256];
    EXPECT_EQ(hp5313xa_selfTest(vi_, &resultat, message), VI_SUCCESS);
    EXPECT_EQ(resultat, 0);
    EXPECT_STREQ(message, "See Manual for Self-Test Code Description");
    EXPECT_EQ(Delai(), 11000u);  // the default set-up runs first
    EXPECT_EQ(a_.Recus(), Messages{Fin("*TST?")});

    ViInt16 code = 0;
    a_.Repondre(":SYST:ERR?", "-113,\"Undefined header\"\n");
    EXPECT_EQ(hp5313xa_errorQuery(vi_, &code, message), VI_SUCCESS);
    EXPECT_EQ(code, -113);
    EXPECT_STREQ(message, "Undefined header");
    // An instrument text longer than the caller's buffer is cut to it.
    a_.Repondre(":SYST:ERR?", "-350,\"" + std::string(300, 'x') + "\"\n");
    char court[8];
    EXPECT_EQ(hp5313xa_errorQuery(vi_, &code, court, sizeof court), VI_SUCCESS);
    EXPECT_EQ(code, -350);
    EXPECT_STREQ(court, "xxxxxxx");
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":SYST:ERR?"), Fin(":SYST:ERR?")}));

    a_.Repondre("*IDN?", "HEWLETT-PACKARD,53131A,0,3703\n");
    char pilote[256] = "-", instrument[256] = "-";
    EXPECT_EQ(hp5313xa_revisionQuery(vi_, pilote, instrument), VI_SUCCESS);
    EXPECT_STREQ(pilote, "Rev 1.0, 9/95, CVI 3.1");
    EXPECT_STREQ(instrument, "3703");
    EXPECT_EQ(a_.Recus(), Messages{Fin("*IDN?")});
}

TEST_F(PiloteCompteur, ErrorQueryAfterACommand) {
    EXPECT_EQ(hp5313xa_get_error(vi_), VI_SUCCESS);
    a_.Repondre(":SYST:ERR?", "-221,\"Settings conflict\"\n");
    EXPECT_EQ(hp5313xa_get_error(vi_), hp5313xa_ERROR_INSTRUMENT_ERROR);
    // An instrument that refuses a command: the operation reports the error query's status.
    EXPECT_EQ(hp5313xa_inputCond(vi_, 1, 0, 1, 0, 0), hp5313xa_ERROR_INSTRUMENT_ERROR);
    // An error query that is not answered: its time-out, not the write's success.
    a_.Oublier(":SYST:ERR?");
    hp5313xa_set_timeout(vi_, 100);
    EXPECT_EQ(hp5313xa_inputCond(vi_, 1, 0, 1, 0, 0), VI_ERROR_TMO);
    a_.Recus();
    // A write that fails: its status, without the error query.
    sim::Defauts d;
    d.debranche = true;
    a_.FixerDefauts(d);
    EXPECT_EQ(hp5313xa_trigSens(vi_, 1, 0, 50.0, 0, 1, 0), VI_ERROR_NLISTENERS);
    EXPECT_EQ(a_.Recus(), Messages{});
}

TEST_F(PiloteCompteur, PollAndTimeOut) {
    a_.FixerOctetEtat(0x30);
    ViUInt16 octet = 0;
    EXPECT_EQ(hp5313xa_poll(vi_, &octet), VI_SUCCESS);
    EXPECT_EQ(octet, 0x30);
    EXPECT_EQ(hp5313xa_set_timeout(vi_, 2500), VI_SUCCESS);
    EXPECT_EQ(Delai(), 2500u);
    EXPECT_EQ(hp5313xa_set_timeout(vi_, -1), VI_ERROR_PARAMETER2);
    EXPECT_EQ(hp5313xa_set_timeout(VI_NULL, 10), VI_ERROR_INV_OBJECT);
}

TEST_F(PiloteCompteur, FileTransferInChunksOf512) {
    const auto dossier = banc_.LeBanc().Dossier();
    const std::string fichier = (dossier / "donnees.bin").string();
    std::string reponse;
    for (int i = 0; i < 1500; ++i) reponse += static_cast<char>('A' + i % 26);

    // From the instrument: reads of 512 until the reply ends.
    a_.Repondre("DATA?", reponse);
    hp5313xa_writeInstrData(vi_, "DATA?");
    a_.EffacerJournal();
    ViUInt32 n = 0;
    EXPECT_EQ(hp5313xa_readToFile(vi_, fichier.c_str(), 2000, &n), VI_SUCCESS);
    EXPECT_EQ(n, 1500u);
    EXPECT_EQ(a_.Lus(), (std::vector<std::string>{reponse.substr(0, 512), reponse.substr(512, 512),
                                                  reponse.substr(1024)}));
    std::ifstream lu(fichier, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(lu), {}), reponse);
    // The count reached first: one read of 100 bytes.
    hp5313xa_writeInstrData(vi_, "DATA?");
    EXPECT_EQ(hp5313xa_readToFile(vi_, fichier.c_str(), 100, &n), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(n, 100u);
    EXPECT_EQ(hp5313xa_readToFile(vi_, (dossier / "absent" / "x.bin").c_str(), 100, &n), VI_ERROR_FILE_OPEN);
    EXPECT_EQ(n, 0u);
    a_.Recus();

    // To the instrument: one message, END only with its last byte.
    const auto Fichier = [&](std::size_t taille) {
        std::ofstream(fichier, std::ios::binary) << reponse.substr(0, taille);
        return fichier.c_str();
    };
    const struct {
        std::size_t taille;
        ViUInt32 compte;
        std::vector<std::size_t> morceaux;  // the last with END
    } cas[] = {
        {1200, 5000, {512, 512, 176}},
        {1200, 300, {300}},
        {1024, 5000, {512, 512}},  // a file that ends on a chunk: END with its last byte
        {1024, 1024, {512, 512}},
        {0, 5000, {}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.taille);
        EXPECT_EQ(hp5313xa_writeFromFile(vi_, Fichier(c.taille), c.compte, &n), VI_SUCCESS);
        Messages attendus;
        std::size_t debut = 0;
        for (std::size_t i = 0; i < c.morceaux.size(); ++i) {
            attendus.emplace_back(reponse.substr(debut, c.morceaux[i]), i + 1 == c.morceaux.size());
            debut += c.morceaux[i];
        }
        EXPECT_EQ(a_.Recus(), attendus);
        EXPECT_EQ(n, debut);
        ViBoolean fin = VI_FALSE;
        viGetAttribute(vi_, VI_ATTR_SEND_END_EN, &fin);
        EXPECT_EQ(fin, VI_TRUE);
    }
    EXPECT_EQ(hp5313xa_writeFromFile(vi_, (dossier / "absent.bin").c_str(), 10, &n), VI_ERROR_FILE_OPEN);
    EXPECT_EQ(n, 0u);
}

// ---- input and trigger set-up -----------------------------------------------------------------

TEST_F(PiloteCompteur, InputConditioning) {
    Verifier(a_, vi_, {
        {"defaults of the plugins", [](ViSession vi) { return hp5313xa_inputCond(vi, 1, 0, 1, 0, 0); }, VI_SUCCESS,
         ":inp1:att 1;coup ac;imp 1E6;filt off"},
        {"input 2", [](ViSession vi) { return hp5313xa_inputCond(vi, 2, 1, 0, 1, 1); }, VI_SUCCESS,
         ":inp2:att 10;coup dc;imp 50;filt on"},
        {"channel 0", [](ViSession vi) { return hp5313xa_inputCond(vi, 0, 0, 0, 0, 0); }, VI_ERROR_PARAMETER2, nullptr},
        {"channel 3", [](ViSession vi) { return hp5313xa_inputCond(vi, 3, 0, 0, 0, 0); }, VI_ERROR_PARAMETER2, nullptr},
        {"coupling", [](ViSession vi) { return hp5313xa_inputCond(vi, 1, 2, 0, 0, 2); }, VI_ERROR_PARAMETER3, nullptr},
        {"impedance", [](ViSession vi) { return hp5313xa_inputCond(vi, 1, 0, 2, 0, 0); }, VI_ERROR_PARAMETER4, nullptr},
        {"attenuation", [](ViSession vi) { return hp5313xa_inputCond(vi, 1, 0, 0, 2, 0); }, VI_ERROR_PARAMETER5, nullptr},
        {"filter", [](ViSession vi) { return hp5313xa_inputCond(vi, 1, 0, 0, 0, 2); }, VI_ERROR_PARAMETER6, nullptr},
    });
}

TEST_F(PiloteCompteur, TriggerSensitivity) {
    const auto Trig = [](ViInt16 voie, ViBoolean mode, double niveau, ViBoolean att, ViBoolean pente, ViInt16 hyst) {
        return [=](ViSession vi) { return hp5313xa_trigSens(vi, voie, mode, niveau, att, pente, hyst); };
    };
    Verifier(a_, vi_, {
        {"plugins' call", Trig(1, 0, 50.0, 0, 1, 0), VI_SUCCESS,
         ":inp1:att 1;:even1:lev:auto on;rel 50;:even1:slop pos;hyst:rel 0;"},
        {"auto 100", Trig(2, 0, 100.0, 1, 0, 2), VI_SUCCESS,
         ":inp2:att 10;:even2:lev:auto on;rel 100;:even2:slop neg;hyst:rel 100;"},
        {"auto 50.9", Trig(1, 0, 50.9, 0, 1, 1), VI_SUCCESS,
         ":inp1:att 1;:even1:lev:auto on;rel 50;:even1:slop pos;hyst:rel 50;"},
        {"auto -0.5", Trig(1, 0, -0.5, 0, 1, 0), VI_SUCCESS,
         ":inp1:att 1;:even1:lev:auto on;rel 0;:even1:slop pos;hyst:rel 0;"},
        {"auto 101", Trig(1, 0, 101.0, 0, 1, 0), VI_ERROR_PARAMETER4, nullptr},
        {"auto beyond 16 bits", Trig(1, 0, 65586.0, 0, 1, 0), VI_ERROR_PARAMETER4, nullptr},
        {"auto not a number", Trig(1, 0, kNaN, 0, 1, 0), VI_ERROR_PARAMETER4, nullptr},
        {"absolute 5.125", Trig(1, 1, 5.125, 0, 1, 0), VI_SUCCESS,
         ":inp1:att 1;:even1:lev 5.125000;:even1:slop pos;hyst:rel 0;"},
        {"absolute 5.2 x1", Trig(1, 1, 5.2, 0, 1, 0), VI_ERROR_PARAMETER4, nullptr},
        {"absolute 5.2 x10", Trig(1, 1, 5.2, 1, 1, 0), VI_SUCCESS,
         ":inp1:att 10;:even1:lev 5.200000;:even1:slop pos;hyst:rel 0;"},
        {"absolute -51.25 x10", Trig(2, 1, -51.25, 1, 0, 0), VI_SUCCESS,
         ":inp2:att 10;:even2:lev -51.250000;:even2:slop neg;hyst:rel 0;"},
        {"absolute not a number", Trig(1, 1, kNaN, 1, 1, 0), VI_ERROR_PARAMETER4, nullptr},
        {"hysteresis before level", Trig(1, 0, 200.0, 0, 1, 3), VI_ERROR_PARAMETER7, nullptr},
        {"slope before level", Trig(1, 1, 99.0, 0, 2, 0), VI_ERROR_PARAMETER6, nullptr},
        {"attenuation before level", Trig(1, 1, 99.0, 2, 1, 0), VI_ERROR_PARAMETER5, nullptr},
        {"level mode", Trig(1, 2, 50.0, 0, 1, 0), VI_ERROR_PARAMETER3, nullptr},
        {"channel first", Trig(3, 2, 50.0, 2, 2, 3), VI_ERROR_PARAMETER2, nullptr},
    });
}

// ---- measurement functions ----------------------------------------------------------------

TEST_F(PiloteCompteur, LimitMathAndRegisters) {
    Verifier(a_, vi_, {
        {"limit", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, -1.0, 2.5); }, VI_SUCCESS,
         ":calc2:lim:stat on;disp numb;upp 2.500000;low -1.000000;:init:auto off;"},
        {"limit graph, zero", [](ViSession vi) { return hp5313xa_limit(vi, 0, 1, 1, 0.0, 1e12); }, VI_SUCCESS,
         ":calc2:lim:stat off;disp grap;upp 1000000000000.000000;low 0.000000;:init:auto on;"},
        {"limit below a millionth", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, -1e-13, 2e-9); },
         VI_SUCCESS, ":calc2:lim:stat on;disp numb;upp 2.000000E-09;low -1.000000E-13;:init:auto off;"},
        {"equal limits", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, 1.0, 1.0); }, hp5313xa_ERROR_LIMITS,
         nullptr},
        {"order before range", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, 2e13, 1e13); },
         hp5313xa_ERROR_LIMITS, nullptr},
        {"lower 5e-14", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, 5e-14, 1.0); }, VI_ERROR_PARAMETER5,
         nullptr},
        {"upper 1e13", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 0, 1.0, 1e13); }, VI_ERROR_PARAMETER6,
         nullptr},
        {"display", [](ViSession vi) { return hp5313xa_limit(vi, 1, 0, 2, 2.0, 1.0); }, VI_ERROR_PARAMETER4, nullptr},
        {"math", [](ViSession vi) { return hp5313xa_math(vi, 1, 2.0, -0.5); }, VI_SUCCESS,
         ":trac scale, 2.000000;:trac offset, -0.500000;:calc:math:stat on;"},
        {"math zero", [](ViSession vi) { return hp5313xa_math(vi, 0, 0.0, 0.0); }, VI_SUCCESS,
         ":trac scale, 0.000000;:trac offset, 0.000000;:calc:math:stat off;"},
        {"scale", [](ViSession vi) { return hp5313xa_math(vi, 1, 1e13, 0.0); }, VI_ERROR_PARAMETER3, nullptr},
        {"offset", [](ViSession vi) { return hp5313xa_math(vi, 1, 1.0, 5e-14); }, VI_ERROR_PARAMETER4, nullptr},
        {"save 20", [](ViSession vi) { return hp5313xa_savRecSet(vi, 1, 20); }, VI_SUCCESS, "*sav 20"},
        {"recall 0", [](ViSession vi) { return hp5313xa_savRecSet(vi, 0, 0); }, VI_SUCCESS, "*rcl 0"},
        {"save 0", [](ViSession vi) { return hp5313xa_savRecSet(vi, 1, 0); }, VI_ERROR_PARAMETER3, nullptr},
        {"recall 21", [](ViSession vi) { return hp5313xa_savRecSet(vi, 0, 21); }, VI_ERROR_PARAMETER3, nullptr},
        {"save 21", [](ViSession vi) { return hp5313xa_savRecSet(vi, 1, 21); }, VI_ERROR_PARAMETER3, nullptr},
        {"operation", [](ViSession vi) { return hp5313xa_savRecSet(vi, 2, 1); }, VI_ERROR_PARAMETER2, nullptr},
    });
}

TEST_F(PiloteCompteur, FrequencyPeriodRatio) {
    const auto F = [](ViInt16 f, ViInt16 arm, double v, ViBoolean pente, ViInt16 arret) {
        return [=](ViSession vi) { return hp5313xa_freqPeriodRatio(vi, f, arm, v, pente, arret); };
    };
    Verifier(a_, vi_, {
        {"digits 9", F(1, 1, 9.0, 0, 0), VI_SUCCESS,
         ":func \"freq 1\";:freq:arm:sour imm;:freq:arm:stop:sour dig;dig 9"},
        {"external", F(4, 3, 0.0, 1, 0), VI_SUCCESS,
         ":func \"freq:rat 1,2\";:freq:arm:sour ext;slop pos;stop:sour ext;slop neg"},
        {"automatic ignores the rest", F(6, 0, kNaN, 7, 9), VI_SUCCESS,
         ":func \"per 1\";:freq:arm:sour imm;:freq:arm:stop:sour imm"},
        {"digits 15.99", F(2, 1, 15.99, 0, 0), VI_SUCCESS,
         ":func \"freq 2\";:freq:arm:sour imm;:freq:arm:stop:sour dig;dig 15"},
        {"digits 2.9", F(1, 1, 2.9, 0, 0), VI_ERROR_PARAMETER4, nullptr},
        {"gate 0.005", F(3, 2, 0.005, 0, 0), VI_SUCCESS,
         ":func \"freq 3\";:freq:arm:sour imm;:freq:arm:stop:sour tim;tim 0.005000"},
        {"gate in the gap", F(1, 2, 0.009995, 0, 0), VI_ERROR_PARAMETER4, nullptr},
        {"gate above 1000", F(1, 2, 1000.5, 0, 0), VI_ERROR_PARAMETER4, nullptr},
        {"external, timed stop", F(5, 3, 0.1, 0, 2), VI_SUCCESS,
         ":func \"freq:rat 1,3\";:freq:arm:sour ext;slop neg;stop:sour tim;tim 0.100000;"},
        {"external, immediate stop", F(1, 3, kNaN, 1, 3), VI_SUCCESS,
         ":func \"freq 1\";:freq:arm:sour ext;slop pos;stop:sour imm;"},
        {"external, bad gate", F(1, 3, 0.0005, 1, 2), VI_ERROR_PARAMETER4, nullptr},
        {"start slope", F(1, 3, 0.1, 2, 2), VI_ERROR_PARAMETER5, nullptr},
        {"stop source", F(1, 3, 0.1, 1, 4), VI_ERROR_PARAMETER6, nullptr},
        {"function 0", F(0, 0, 0.0, 0, 0), VI_ERROR_PARAMETER2, nullptr},
        {"function 7", F(7, 9, 0.0, 0, 0), VI_ERROR_PARAMETER2, nullptr},
        {"arming 4", F(1, 4, 0.0, 0, 0), VI_ERROR_PARAMETER3, nullptr},
    });
}

TEST_F(PiloteCompteur, PhaseTotalizePulsesAndTimeInterval) {
    Verifier(a_, vi_, {
        {"phase", [](ViSession vi) { return hp5313xa_phase(vi, 0, 5); }, VI_SUCCESS, ":func \"phas\";:phas:arm:sour imm"},
        {"phase external", [](ViSession vi) { return hp5313xa_phase(vi, 1, 0); }, VI_SUCCESS,
         ":func \"phas\";:phas:arm:sour ext;slop neg"},
        {"phase slope", [](ViSession vi) { return hp5313xa_phase(vi, 1, 2); }, VI_ERROR_PARAMETER3, nullptr},
        {"phase arming", [](ViSession vi) { return hp5313xa_phase(vi, 2, 0); }, VI_ERROR_PARAMETER2, nullptr},
        {"totalize", [](ViSession vi) { return hp5313xa_totalize(vi, 0, kNaN, 9, 9); }, VI_SUCCESS,
         ":func \"tot\";:tot:arm:sour imm;:tot:arm:stop:sour imm"},
        {"totalize timed", [](ViSession vi) { return hp5313xa_totalize(vi, 1, 0.01, 0, 0); }, VI_SUCCESS,
         ":func \"tot\";:tot:arm:sour imm;:tot:arm:stop:sour tim;tim 0.010000"},
        {"totalize bad gate", [](ViSession vi) { return hp5313xa_totalize(vi, 1, 0.009995, 0, 0); },
         VI_ERROR_PARAMETER3, nullptr},
        {"totalize external timed", [](ViSession vi) { return hp5313xa_totalize(vi, 2, 0.1, 1, 2); }, VI_SUCCESS,
         ":func \"tot\";:tot:arm:sour ext;slop pos;stop:sour tim;tim 0.100000;"},
        {"totalize external edge", [](ViSession vi) { return hp5313xa_totalize(vi, 2, kNaN, 0, 1); }, VI_SUCCESS,
         ":func \"tot\";:tot:arm:sour ext;slop neg;stop:sour ext;slop pos"},
        {"totalize external bad gate", [](ViSession vi) { return hp5313xa_totalize(vi, 2, 2000.0, 1, 2); },
         VI_ERROR_PARAMETER3, nullptr},
        {"totalize stop 3", [](ViSession vi) { return hp5313xa_totalize(vi, 2, 0.1, 1, 3); }, VI_ERROR_PARAMETER5,
         nullptr},
        {"totalize slope", [](ViSession vi) { return hp5313xa_totalize(vi, 2, 0.1, 2, 0); }, VI_ERROR_PARAMETER4,
         nullptr},
        {"totalize arming", [](ViSession vi) { return hp5313xa_totalize(vi, 3, 0.1, 0, 0); }, VI_ERROR_PARAMETER2,
         nullptr},
        {"duty cycle", [](ViSession vi) { return hp5313xa_timWidDuty(vi, 4, 0, 9); }, VI_SUCCESS,
         ":func \"dcyc\";:tint:arm:sour imm"},
        {"rise time external", [](ViSession vi) { return hp5313xa_timWidDuty(vi, 0, 1, 1); }, VI_SUCCESS,
         ":func \"rise:time\";:tint:arm:sour ext;slop pos"},
        {"pulse function", [](ViSession vi) { return hp5313xa_timWidDuty(vi, 5, 0, 0); }, VI_ERROR_PARAMETER2,
         nullptr},
        {"pulse arming", [](ViSession vi) { return hp5313xa_timWidDuty(vi, 1, 2, 0); }, VI_ERROR_PARAMETER3,
         nullptr},
        {"pulse slope", [](ViSession vi) { return hp5313xa_timWidDuty(vi, 1, 1, 2); }, VI_ERROR_PARAMETER4, nullptr},
        {"interval", [](ViSession vi) { return hp5313xa_timeInterval(vi, 0, 9, 0, kNaN, 0); }, VI_SUCCESS,
         ":func \"tint 1,2\";:even2:feed \"inp2\";:tint:arm:sour imm;stop:sour imm;"},
        {"interval external timed", [](ViSession vi) { return hp5313xa_timeInterval(vi, 1, 0, 1, 0.5, 1); },
         VI_SUCCESS, ":func \"tint 1,2\";:even2:feed \"inp1\";:tint:arm:sour ext;slop neg;stop:sour tim;tim 0.500000"},
        {"feed before slope", [](ViSession vi) { return hp5313xa_timeInterval(vi, 1, 2, 0, 0.1, 2); },
         VI_ERROR_PARAMETER6, nullptr},
        {"start slope", [](ViSession vi) { return hp5313xa_timeInterval(vi, 1, 2, 0, 0.1, 0); }, VI_ERROR_PARAMETER3,
         nullptr},
        {"timed stop", [](ViSession vi) { return hp5313xa_timeInterval(vi, 0, 0, 2, 0.1, 0); }, VI_ERROR_PARAMETER4,
         nullptr},
        {"interval gate", [](ViSession vi) { return hp5313xa_timeInterval(vi, 0, 0, 1, 0.009995, 0); },
         VI_ERROR_PARAMETER5, nullptr},
    });
}

TEST_F(PiloteCompteur, StatisticsBlock) {
    const auto B = [](ViBoolean stats, ViInt32 n, ViBoolean filtre, ViInt16 affichage, double bas, double haut) {
        return [=](ViSession vi) { return hp5313xa_confblock(vi, stats, n, filtre, affichage, bas, haut); };
    };
    Verifier(a_, vi_, {
        {"mean", B(1, 100, 0, 2, -1.0, 1.0), VI_SUCCESS,
         ":calc3:aver on;aver:count 100;:calc3:lfil:stat off;low -1.000000;upp 1.000000;:trig:count:auto on;"
         ":disp:text:feed \"calc3\";:calc3:aver:type mean"},
        {"limit display, bounds crossed", B(0, 1000000, 1, 0, 5.0, -5.0), VI_SUCCESS,
         ":calc3:aver off;aver:count 1000000;:calc3:lfil:stat on;low 5.000000;upp -5.000000;:trig:count:auto on;"
         ":disp:text:feed \"calc2\""},
        {"longest text", B(1, 1000000, 1, 1, -9.999999e12, -9.999999e12), VI_SUCCESS,
         ":calc3:aver on;aver:count 1000000;:calc3:lfil:stat on;low -9999999000000.000000;"
         "upp -9999999000000.000000;:trig:count:auto on;:disp:text:feed \"calc3\";:calc3:aver:type sdev"},
        {"count 1", B(1, 1, 0, 2, 0.0, 1.0), VI_ERROR_PARAMETER3, nullptr},
        {"upper before display", B(1, 10, 0, 5, 0.0, 1e13), VI_ERROR_PARAMETER7, nullptr},
        {"display", B(1, 10, 0, 5, 0.0, 1.0), VI_ERROR_PARAMETER5, nullptr},
        {"lower", B(1, 10, 0, 1, 5e-14, 1.0), VI_ERROR_PARAMETER6, nullptr},
        {"statistics", B(2, 10, 0, 1, 0.0, 1.0), VI_ERROR_PARAMETER2, nullptr},
        {"filter", B(1, 10, 2, 1, 0.0, 1.0), VI_ERROR_PARAMETER4, nullptr},
    });
}

// ---- control, service requests, results ------------------------------------------------------

TEST_F(PiloteCompteur, ControlCommands) {
    std::vector<CasCommande> cas;
    const char *marche[] = {":init", ":init:cont on", "init:cont off", "abor"};
    for (ViInt16 i = 0; i < 4; ++i)
        cas.push_back({marche[i], [i](ViSession vi) { return hp5313xa_strStpMeas(vi, i); }, VI_SUCCESS, marche[i]});
    const char *srq[] = {"*ese 1;*sre 32;*opc", ":stat:ques:enab 1024;*sre 8",
                         ":stat:oper:enable 256;ntr 256;ptr 0;*sre 128"};
    for (ViInt16 i = 0; i < 3; ++i)
        cas.push_back({srq[i], [i](ViSession vi) { return hp5313xa_setSrqCond(vi, i); }, VI_SUCCESS, srq[i]});
    const char *post[] = {":calc2:imm", "calc2:imm:auto on", ":calc2:imm:auto off"};
    for (ViInt16 i = 0; i < 3; ++i)
        cas.push_back({post[i], [i](ViSession vi) { return hp5313xa_postProcess(vi, i); }, VI_SUCCESS, post[i]});
    const std::vector<CasCommande> autres = {
        {"start/stop 4", [](ViSession vi) { return hp5313xa_strStpMeas(vi, 4); }, VI_ERROR_PARAMETER2, nullptr},
        {"start/stop -1", [](ViSession vi) { return hp5313xa_strStpMeas(vi, -1); }, VI_ERROR_PARAMETER2, nullptr},
        {"srq 3", [](ViSession vi) { return hp5313xa_setSrqCond(vi, 3); }, VI_ERROR_PARAMETER2, nullptr},
        {"post 3", [](ViSession vi) { return hp5313xa_postProcess(vi, 3); }, VI_ERROR_PARAMETER2, nullptr},
        {"registers", [](ViSession vi) { return hp5313xa_initReg(vi); }, VI_SUCCESS, "*cls;*sre 0;*ese 0;:stat:pres"},
        {"initiate", [](ViSession vi) { return hp5313xa_initMeas(vi); }, VI_SUCCESS, ":init"},
        {"configure 0", [](ViSession vi) { return hp5313xa_confFunc(vi, 0); }, VI_SUCCESS, ":conf:dcyc 50"},
        {"configure 6", [](ViSession vi) { return hp5313xa_confFunc(vi, 6); }, VI_SUCCESS, ":conf:freq:rat (@1),(@2)"},
        {"configure 22", [](ViSession vi) { return hp5313xa_confFunc(vi, 22); }, VI_SUCCESS, ":conf:tot:tim (@1)"},
        {"configure 23", [](ViSession vi) { return hp5313xa_confFunc(vi, 23); }, VI_ERROR_PARAMETER2, nullptr},
        {"configure -1", [](ViSession vi) { return hp5313xa_confFunc(vi, -1); }, VI_ERROR_PARAMETER2, nullptr},
        {"blocks", [](ViSession vi) { return hp5313xa_enaDisSet(vi, 1, 0, 0, 1); }, VI_SUCCESS,
         ":calc3:aver on;:calc3:lfil:stat off;:calc:math:stat off;:calc2:lim:stat on"},
        {"blocks reversed", [](ViSession vi) { return hp5313xa_enaDisSet(vi, 0, 1, 1, 0); }, VI_SUCCESS,
         ":calc3:aver off;:calc3:lfil:stat on;:calc:math:stat on;:calc2:lim:stat off"},
        {"blocks 2", [](ViSession vi) { return hp5313xa_enaDisSet(vi, 0, 0, 2, 0); }, VI_ERROR_PARAMETER4, nullptr},
    };
    cas.insert(cas.end(), autres.begin(), autres.end());
    Verifier(a_, vi_, cas);
}

TEST_F(PiloteCompteur, MeasurementQueriesWaitForTheMessage) {
    a_.FixerOctetEtat(0x10);  // MAV
    const struct {
        ViInt16 fonction, genre;
        const char *question;
    } cas[] = {
        {3, 0, ":meas:freq? (@1)"}, {3, 1, ":read:freq?"},          {3, 2, ":fetch:freq?"},
        {19, 0, ":meas:ptp? (@2)"}, {20, 0, ":meas:tint? (@1),(@2)"}, {22, 2, ":fetch:tot:tim?"},
        {0, 0, ":meas:dcyc? 50"},   {6, 1, ":read:freq:rat?"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.question);
        a_.Repondre(c.question, "+1.000000000000E+007\n");
        double v = 0.0;
        EXPECT_EQ(hp5313xa_queryMeas(vi_, c.fonction, c.genre, &v), VI_SUCCESS);
        EXPECT_EQ(v, 1e7);
        EXPECT_EQ(a_.Recus(), Commande(c.question));
    }
    double v = 0.0;
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 23, 5, &v), VI_ERROR_PARAMETER2);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 22, 5, &v), VI_ERROR_PARAMETER3);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 3, 0, nullptr), VI_ERROR_PARAMETER4);
    // A reply that is no number: no error query.
    a_.Repondre(":meas:freq? (@1)", "abc\n");
    v = 5.0;
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 3, 0, &v), VI_ERROR_INTERPRETING_RESPONSE);
    EXPECT_EQ(v, 5.0);
    EXPECT_EQ(a_.Recus(), Messages{Fin(":meas:freq? (@1)")});
    // No message ever comes: the wait ends with the session's time-out.
    a_.FixerOctetEtat(0x20);
    hp5313xa_set_timeout(vi_, 150);
    EXPECT_EQ(hp5313xa_queryMeas(vi_, 3, 0, &v), VI_ERROR_TMO);
    ViUInt16 octet = 0;
    hp5313xa_poll(vi_, &octet);  // the session still works
    EXPECT_EQ(octet, 0x20);
}

TEST_F(PiloteCompteur, ResultQueries) {
    a_.Repondre(":data?", " -2.5E-003\n");
    a_.Repondre(":calc1:data?", "+4.0\n");
    double v = 0.0;
    EXPECT_EQ(hp5313xa_dataRes(vi_, &v), VI_SUCCESS);  // no wait for a message
    EXPECT_EQ(v, -2.5e-3);
    EXPECT_EQ(hp5313xa_mathRes(vi_, &v), VI_SUCCESS);
    EXPECT_EQ(v, 4.0);
    EXPECT_EQ(a_.Recus(), (Messages{Fin(":data?"), Fin(":SYST:ERR?"), Fin(":calc1:data?"), Fin(":SYST:ERR?")}));
    a_.Repondre(":data?", "\n");
    EXPECT_EQ(hp5313xa_dataRes(vi_, &v), VI_ERROR_INTERPRETING_RESPONSE);

    // Limit results, in the reply's odd order.
    const std::string limites = ":calc2:lim:fail?;:calc2:lim:fco?;fco:low?;upp?;:calc2:lim:pco?";
    a_.FixerOctetEtat(0x10);
    a_.Repondre(limites, "+1;+2;+3;+4;+5\n");
    a_.Recus();
    ViInt16 echec = 0, echecs = 0, reussites = 0, bas = 0, haut = 0;
    EXPECT_EQ(hp5313xa_limitRes(vi_, &echec, &echecs, &reussites, &bas, &haut), VI_SUCCESS);
    EXPECT_EQ((std::vector<int>{echec, echecs, reussites, bas, haut}), (std::vector<int>{1, 2, 5, 3, 4}));
    EXPECT_EQ(a_.Recus(), Commande(limites));
    a_.Repondre(limites, "+1;+2;+3;+4\n");
    EXPECT_EQ(hp5313xa_limitRes(vi_, &echec, &echecs, &reussites, &bas, &haut), VI_ERROR_INTERPRETING_RESPONSE);

    // Statistics: mean, deviation, minimum, maximum in the reply.
    a_.Repondre(":calc3:aver:all?", "+1.5E+000,+2.5E-001,+1.0E+000,+2.0E+000\n");
    double moyenne = 0, ecart = 0, max = 0, min = 0;
    EXPECT_EQ(hp5313xa_statisticsRes(vi_, &moyenne, &ecart, &max, &min), VI_SUCCESS);
    EXPECT_EQ((std::vector<double>{moyenne, ecart, max, min}), (std::vector<double>{1.5, 0.25, 2.0, 1.0}));
    a_.Repondre(":calc3:aver:all?", "+1.5E+000,+2.5E-001,+1.0E+000\n");
    EXPECT_EQ(hp5313xa_statisticsRes(vi_, &moyenne, &ecart, &max, &min), VI_ERROR_INTERPRETING_RESPONSE);

    // Input 3: the first and the fifth characters.
    const struct {
        const char *reponse;
        ViUInt16 couplage, impedance;
    } entree3[] = {{"AC;+5.00000000000000E+001\n", 1, 1},
                   {"ac;+5.0E+1\n", 1, 1},
                   {"DC;+1.00000000000000E+006\n", 0, 0},
                   {"AC\n", 1, 0}};
    for (const auto &c : entree3) {
        SCOPED_TRACE(c.reponse);
        a_.Repondre(":inp3:coup?;:inp3:imp?", c.reponse);
        ViUInt16 couplage = 9, impedance = 9;
        EXPECT_EQ(hp5313xa_queryChan3(vi_, &couplage, &impedance), VI_SUCCESS);
        EXPECT_EQ(couplage, c.couplage);
        EXPECT_EQ(impedance, c.impedance);
    }
}

TEST_F(PiloteCompteur, ServiceRequestWait) {
    a_.FixerOctetEtat(0x10);
    a_.DemanderService();  // RQS with other bits
    EXPECT_EQ(hp5313xa_waitSrq(vi_), VI_SUCCESS);
    EXPECT_EQ(a_.Recus(), Messages{Fin(":SYST:ERR?")});
    a_.Repondre(":SYST:ERR?", "-410,\"Query INTERRUPTED\"\n");
    a_.DemanderService();
    EXPECT_EQ(hp5313xa_waitSrq(vi_), hp5313xa_ERROR_INSTRUMENT_ERROR);
    // Bits 4 and 5 without bit 6: polled until the time-out.
    a_.FixerOctetEtat(0x30);
    hp5313xa_set_timeout(vi_, 150);
    a_.Recus();
    EXPECT_EQ(hp5313xa_waitSrq(vi_), VI_ERROR_TMO);
    EXPECT_EQ(a_.Recus(), Messages{});
}

}  // namespace
