// The gain-phase analyser against the simulated HP 4194A and a scripted device: the set-up and
// the sweep cycle as exact bus transcripts, the trace blocks decoded (and bounded), the sweep
// values of the simulated low-pass reaching the channels, the commands of `execute` and their
// lock against a sweep being fetched, the end of the cycle, and the faults of the analyser.
// (Failures shown in pop-ups are in the window tests.)
#include "tests/instruments/analysers/test_bode_hp4194.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "framework/liste.h"
#include "instruments/analysers/bode_hp4194.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/utility.h"
#include "sim/analysers/hp4194.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "tests/support/banc_test.h"

namespace {

using namespace bode_essai;
using Lignes = std::vector<std::string>;

Lignes Concat(std::initializer_list<Lignes> parties) {
    Lignes r;
    for (const Lignes &p : parties) r.insert(r.end(), p.begin(), p.end());
    return r;
}

const Lignes kReglageParDefaut = {
    "FNC2", "GPP1", "SWP1", "SWT1", "SWD1", "SWM2", "ITM1", "NOA=1",
    "START=1000.000000;STOP=100000.000000;NOP=401", "OSC=1.000000",
    "PWS1", "ATR1", "ZIR1", "ATT1", "ZIT1", "FMT2",
};

// ---- the commands of execute, as texts ------------------------------------------------------

TEST(BodeCommandes, RulesOfExecute) {
    const struct {
        const char *texte, *envoi;
    } cas[] = {
        {"center=1e3", "CENTER=1E3"},
        {"CENTER=1000", "CENTER=1000"},
        {"SPAN= 500", "SPAN= 500"},
        {"SPAN=\t-5.5e2xyz", "SPAN=\t-5.5E2XYZ"},
        {"START=1;STOP=2", "START=1;STOP=2"},
        {"stop=.5", "STOP=.5"},
        {"NOP=201.5", "NOP=201.5"},
        {"osc=+0.25", "OSC=+0.25"},
        {"trig", "SWTRG"},
        {"TRIG", "SWTRG"},
        {"sweep_up", "SWD1"},
        {"Sweep_Down", "SWD2"},
        // Nothing for these.
        {"CENTER=", ""},
        {"CENTER=abc", ""},
        {"CENTER=.", ""},
        {"CENTER=-", ""},
        {"CENTER=inf", ""},
        {"CENTER=nan", ""},
        {" CENTER=1", ""},
        {"CENTER =1", ""},
        {"TRIG ", ""},
        {"TRIGGER", ""},
        {"SWTRG", ""},
        {"FMT1", ""},
        {"", ""},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.texte);
        EXPECT_EQ(bode_hp4194::CommandeAnalyseur(c.texte), c.envoi);
    }
    // A command holds at most 254 characters; a longer one is not cut, it is not sent.
    const std::string juste = "CENTER=1" + std::string(246, '0');
    ASSERT_EQ(juste.size(), 254u);
    EXPECT_EQ(bode_hp4194::CommandeAnalyseur(juste), juste);
    EXPECT_EQ(bode_hp4194::CommandeAnalyseur(juste + "0"), "");
}

// ---- the simulated analyser -----------------------------------------------------------------

class Hp4194Simule : public testing::Test {
protected:
    void SetUp() override {
        horloge::UtiliserHorlogeFactice(1765370096);
        sim::BusDeCarte(0)->Brancher(23, hp);
        ud = ibdev(0, 23, 0, T10s, 1, 0);
        ASSERT_GE(ud, 0);
    }
    void TearDown() override {
        ibonl(ud, 0);
        horloge::UtiliserHorlogeReelle();
    }
    void Ecrire(const std::string &texte) { ASSERT_FALSE(ibwrt(ud, texte.data(), static_cast<long>(texte.size())) & ERR); }
    std::string Lire(long n = 8000) {
        std::string s(static_cast<std::size_t>(n), '\0');
        ibrd(ud, s.data(), n);
        s.resize(static_cast<std::size_t>(ThreadIbcntl()));
        return s;
    }
    std::vector<double> Trace(const std::string &nom) {
        Ecrire(nom + "?");
        const std::string b = Lire();
        std::vector<double> v;
        if (b.size() < 6 || b.compare(0, 2, "#A") != 0) return v;
        const unsigned n = (static_cast<unsigned char>(b[2]) << 8) | static_cast<unsigned char>(b[3]);
        EXPECT_EQ(b.size(), 4 + n + 2);
        for (unsigned i = 0; i + 8 <= n; i += 8) {
            std::uint64_t bits = 0;
            for (unsigned k = 0; k < 8; ++k) bits = (bits << 8) | static_cast<unsigned char>(b[4 + i + k]);
            v.push_back(std::bit_cast<double>(bits));
        }
        return v;
    }

    BusSimule bus;
    std::shared_ptr<sim::Hp4194> hp = std::make_shared<sim::Hp4194>();
    int ud = -1;
};

TEST_F(Hp4194Simule, SweepsTheLowPassAndRequestsServiceAtItsEnd) {
    hp->FixerCoupure(20e3);
    Ecrire("FNC2;SWM2;FMT2;ITM2");
    Ecrire("start=1000;STOP=41000; nop=401");
    Ecrire("RQS2");
    EXPECT_TRUE(hp->Refusees().empty());
    EXPECT_FALSE(hp->DemandeService());
    Ecrire("SWTRG");
    EXPECT_TRUE(hp->Balaie());
    horloge::AvancerHorlogeFactice(401 * 5e-3 - 0.01);
    EXPECT_FALSE(hp->DemandeService()) << "a sweep of 401 points of 5 ms";
    horloge::AvancerHorlogeFactice(0.02);
    EXPECT_TRUE(hp->DemandeService());
    EXPECT_FALSE(hp->Balaie()) << "single sweep";
    char stb = 0;
    EXPECT_EQ(ibrsp(ud, &stb) & RQS, 0);
    EXPECT_EQ(stb, 0x42);
    EXPECT_FALSE(hp->DemandeService());
    Ecrire("STB?");
    EXPECT_EQ(Lire(), "0\r\n") << "the poll cleared the status";

    const std::vector<double> x = Trace("X"), a = Trace("A"), b = Trace("B");
    ASSERT_EQ(x.size(), 401u);
    EXPECT_EQ(x[0], 1000.0);
    EXPECT_EQ(x[200], 21000.0);
    EXPECT_EQ(x[400], 41000.0);
    EXPECT_NEAR(a[190], -3.0103, 1e-4) << "at the corner, 20 kHz";
    EXPECT_NEAR(b[190], -45.0, 1e-9);
    EXPECT_NEAR(a[0], -0.01084, 1e-5);
    EXPECT_NEAR(b[0], -2.8624, 1e-4);
    EXPECT_EQ(hp->Balayages(), 1);
}

TEST_F(Hp4194Simule, SettingsFormatsAndRefusals) {
    Ecrire("SPAN=2000;CENTER=5000;NOP=201.5;SWD2;FMT1");
    const sim::Hp4194::Reglages r = hp->LireReglages();
    EXPECT_EQ(r.start, 4000.0);
    EXPECT_EQ(r.stop, 6000.0);
    EXPECT_EQ(r.points, 202);
    Ecrire("SWTRG");
    horloge::AvancerHorlogeFactice(1.0);
    Ecrire("X?");
    const std::string x = Lire();
    EXPECT_TRUE(x.starts_with("+6.000000E+03,")) << "downwards: " << x.substr(0, 40);
    EXPECT_TRUE(x.ends_with(",+4.000000E+03\r\n"));
    // A reply left unread is dropped by the next message.
    Ecrire("ID?");
    Ecrire("STB?");
    EXPECT_EQ(Lire(), "2\r\n");
    // Refused: unknown units and values out of range, each noted with the error bit.
    Ecrire("NOP=402;NOA=3;OSC=5;FNC9;BOGUS;START=abc");
    EXPECT_EQ(hp->Refusees(), (Lignes{"NOP=402", "NOA=3", "OSC=5", "FNC9", "BOGUS", "START=ABC"}));
    Ecrire("STB?");
    EXPECT_EQ(Lire(), "34\r\n");
    // Repeat mode sweeps on and on.
    Ecrire("FMT3;SWM1");
    horloge::AvancerHorlogeFactice(3 * hp->Duree(hp->LireReglages()) + 0.001);
    EXPECT_EQ(hp->Balayages(), 4);
    Ecrire("A?");
    EXPECT_EQ(Lire().size(), 4u + 202 * 4 + 2) << "32-bit values";
}

// ---- the plugin -----------------------------------------------------------------------------

class Bode : public testing::Test, protected AvecAnalyseur {
protected:
    void SetUp() override { Monter(); }
    void TearDown() override { Demonter(); }

    int Init() { return bode->init(bode); }
    unsigned Numero() { return bode->numero2D(bode, 1); }
    // Ends the sweep running on the analyser and waits until the callback has taken it in.
    void FinDeBalayage(unsigned numero) {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(Attendre([&] { return Numero() >= numero; })) << "sweep " << numero << " not taken in";
        // The callback has counted; it is done once its last write is on the bus.
        ASSERT_TRUE(Attendre([&] { return !CmtVerrouTenu(); }));
    }
    // Whether a callback holds the device's named lock now.
    bool CmtVerrouTenu() {
        const int verrou = gestion_lock("GPIB0:23");
        int pris = 0;
        CmtTryToGetLock(verrou, &pris);
        if (pris) CmtReleaseLock(verrou);
        return !pris;
    }
    void Ecrire(std::size_t offset, std::int32_t v) { EcrireEntierBloc(bode, offset, v); }
    void EcrireReel(std::size_t offset, double v) { std::memcpy(DebutBloc(bode) + offset, &v, 8); }
    // On the real clock, an analyser that takes `delai` seconds to answer each trace query:
    // started, and back once the callback has asked for trace A.
    void DemarrerAvecReponsesLentes(double delai, std::int32_t trig) {
        horloge::UtiliserHorlogeReelle();
        Ecrire(kTrig, trig);
        ASSERT_GE(Init(), 0);
        sim::Hp4194::Pannes pannes;
        pannes.delaiReponse = delai;
        hp->FixerPannes(pannes);
        ASSERT_FALSE(bode->start(bode) & ERR);
        hp->EffacerJournal();
        ASSERT_TRUE(Attendre([&] {
            const Lignes e = Ecritures(*hp);
            return std::find(e.begin(), e.end(), "A?") != e.end();
        }));
    }
};

TEST_F(Bode, InitSendsTheWholeSetUpAndTheSimulatedAnalyserTakesIt) {
    // A block loaded from a file brings the handle and the state of another run.
    Ecrire(kIdentificateur, 987654);  // no descriptor of this run reaches that number
    Ecrire(kStopInterruption, 0);
    Ecrire(kNumeroMesure, 12);
    const int r = Init();
    EXPECT_GE(r, 0);
    EXPECT_EQ(Transcript(*hp), Concat({{"clear"}, [] {
                                           Lignes l;
                                           for (const std::string &c : kReglageParDefaut) l.push_back("> " + c);
                                           return l;
                                       }()}));
    EXPECT_TRUE(hp->Refusees().empty());
    const sim::Hp4194::Reglages s = hp->LireReglages();
    EXPECT_EQ(s.mode, 2);
    EXPECT_EQ(s.points, 401);
    EXPECT_EQ(s.format, 2);
    EXPECT_EQ(s.sens, 1);
    EXPECT_EQ(s.start, 1000.0);
    EXPECT_EQ(s.stop, 100000.0);
    EXPECT_NE(LireEntierBloc(bode, kIdentificateur), 987654);
    EXPECT_GE(LireEntierBloc(bode, kIdentificateur), 0);
    EXPECT_EQ(LireEntierBloc(bode, kStopInterruption), 0x800);
    EXPECT_EQ(LireEntierBloc(bode, kNumeroMesure), 0);
    EXPECT_EQ(LireEntierBloc(bode, kStatus), 1);
    EXPECT_FALSE(hp->Balaie()) << "init triggers nothing";
}

TEST_F(Bode, SweepRangeByStartStopOrCenterSpan) {
    const struct {
        std::int32_t reglage;
        const char *commande;
    } cas[] = {
        {1, "START=1000.000000;STOP=100000.000000;NOP=401"},
        {0, "CENTER=10000.000000;SPAN=1000.000000;NOP=401"},
        {2, "CENTER=10000.000000;SPAN=1000.000000;NOP=401"},
        {-1, "CENTER=10000.000000;SPAN=1000.000000;NOP=401"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reglage);
        hp->EffacerJournal();
        Ecrire(kReglage, c.reglage);
        ASSERT_GE(Init(), 0);
        const Lignes e = Ecritures(*hp);
        ASSERT_EQ(e.size(), 16u);
        EXPECT_EQ(e[8], c.commande);
    }
    // A value from a file out of any range is sent as "%f" writes it, whole.
    EcrireReel(kCenter, 1e300);
    hp->EffacerJournal();
    ASSERT_GE(Init(), 0);
    EXPECT_EQ(Ecritures(*hp)[8].size(), std::string("CENTER=") .size() + 301 + 7 + std::string(";SPAN=1000.000000;NOP=401").size());
}

TEST_F(Bode, SweepCycleInRepeatTransfersTheThreeTracesAndRelaunches) {
    hp->FixerCoupure(50e3);
    ASSERT_GE(Init(), 0);
    hp->EffacerJournal();
    const int sta = bode->start(bode);
    EXPECT_FALSE(sta & ERR);
    EXPECT_EQ(Transcript(*hp), (Lignes{"> RQS2", "> SWTRG"}));
    EXPECT_EQ(Numero(), 0u);
    for (double v : Voie(bode, 1)) ASSERT_TRUE(std::isnan(v)) << "no sweep read yet";

    hp->EffacerJournal();
    FinDeBalayage(1);
    EXPECT_EQ(Transcript(*hp), Concat({{"poll"}, TransfertComplet("A"), TransfertComplet("B"),
                                       TransfertComplet("X"), {"> SWTRG"}}));
    const TracesAttendues attendu = Attendu(hp->LireReglages(), 50e3);
    EXPECT_TRUE(MemesValeurs(Voie(bode, 1), attendu.gain));
    EXPECT_TRUE(MemesValeurs(Voie(bode, 2), attendu.phase));
    EXPECT_TRUE(MemesValeurs(Abscisses(bode, 1), attendu.x));
    EXPECT_TRUE(MemesValeurs(Abscisses(bode, 2), attendu.x));
    EXPECT_EQ(bode->numero2D(bode, 2), 1u);
    EXPECT_EQ(attendu.x.front(), 1000.0);
    EXPECT_EQ(attendu.x.back(), 100000.0);

    // Each further sweep: one more cycle.
    FinDeBalayage(2);
    FinDeBalayage(3);
    EXPECT_EQ(Numero(), 3u);
    EXPECT_EQ(hp->Balayages(), 3);
    EXPECT_TRUE(hp->Balaie()) << "the fourth sweep runs";
}

TEST_F(Bode, VectorChannels) {
    EXPECT_EQ(bode->nb_voie2D(bode), 2);
    const struct {
        int voie;
        const char *nom;
    } cas[] = {{1, "Gain"}, {2, "Phase"}, {0, ""}, {3, ""}};
    for (const auto &c : cas) {
        char nom[kLongueurNomVoie];
        std::memset(nom, '#', sizeof nom);
        bode->get_nom_voie2D(bode, c.voie, nom);
        EXPECT_STREQ(nom, c.nom);
        EXPECT_EQ(bode->get_taille_voie2D(bode, c.voie), 401);
        EXPECT_EQ(bode->numero2D(bode, c.voie), 0u);
    }
}

TEST_F(Bode, SingleTriggerTakesOneSweepPerStartAndPerTrigCommand) {
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    ASSERT_FALSE(bode->start(bode) & ERR);
    hp->EffacerJournal();
    FinDeBalayage(1);
    EXPECT_EQ(Transcript(*hp), Concat({{"poll"}, TransfertComplet("A"), TransfertComplet("B"),
                                       TransfertComplet("X")}))
        << "no relaunch";
    horloge::AvancerHorlogeFactice(5.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Numero(), 1u);
    EXPECT_EQ(hp->Balayages(), 1);

    hp->EffacerJournal();
    bode->execute(bode, "trig");
    EXPECT_EQ(Transcript(*hp), (Lignes{"> SWTRG"}));
    EXPECT_EQ(bode->status(bode), 1);
    FinDeBalayage(2);
    EXPECT_EQ(hp->Balayages(), 2);
    EXPECT_FALSE(hp->Balaie());
}

TEST_F(Bode, StopLetsOneLastCycleRunThenTheNotificationEnds) {
    ASSERT_GE(Init(), 0);
    ASSERT_FALSE(bode->start(bode) & ERR);
    FinDeBalayage(1);
    bode->stop(bode);
    EXPECT_EQ(LireEntierBloc(bode, kStopInterruption), 0);
    hp->EffacerJournal();
    FinDeBalayage(2);
    EXPECT_EQ(Transcript(*hp), Concat({{"poll"}, TransfertComplet("A"), TransfertComplet("B"),
                                       TransfertComplet("X"), {"> SWTRG"}}))
        << "the whole cycle, relaunch included";
    // The sweep it relaunched ends on the analyser without a callback.
    hp->EffacerJournal();
    horloge::AvancerHorlogeFactice(1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(hp->Balayages(), 3);
    EXPECT_TRUE(hp->DemandeService());
    EXPECT_TRUE(Transcript(*hp).empty());
    EXPECT_EQ(Numero(), 2u);
    bode->stop(bode);  // a second stop changes nothing
    EXPECT_EQ(Numero(), 2u);
}

// A callback given the status word 0x8000 alone ends the cycle at once; 0x8800 is a request.
TEST_F(Bode, NotificationStatusWords) {
    ASSERT_GE(Init(), 0);
    ASSERT_FALSE(bode->start(bode) & ERR);
    sim::Defauts d;
    d.notificationForcee = ERR | RQS;
    hp->FixerDefauts(d);
    hp->EffacerJournal();
    ASSERT_TRUE(Attendre([&] { return Numero() == 1; }));
    ASSERT_TRUE(Attendre([&] { return !CmtVerrouTenu(); }));
    EXPECT_EQ(Ecritures(*hp), (Lignes{"A?", "B?", "X?", "SWTRG"}));

    d.notificationForcee = ERR;
    hp->FixerDefauts(d);
    hp->EffacerJournal();
    horloge::AvancerHorlogeFactice(1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Numero(), 1u);
    EXPECT_TRUE(Transcript(*hp).empty()) << "no poll, no transfer, no relaunch";
    EXPECT_TRUE(hp->DemandeService()) << "the sweep's request stays unanswered";
}

// A device that keeps requesting service: 100 polls at most, then "STB?" read off, then the
// traces as usual.
TEST_F(Bode, StuckRequestIsPolledAHundredTimesThenTheStatusIsReadOff) {
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    const struct {
        int collee;        // serial polls that leave the request set
        int polls;         // polls the callback makes
        bool stb;          // "STB?" read off
    } cas[] = {{0, 1, false}, {99, 99, false}, {100, 100, true}, {150, 100, true}};
    unsigned numero = 0;
    for (const auto &c : cas) {
        SCOPED_TRACE(c.collee);
        ASSERT_GE(Init(), 0);
        numero = 0;
        sim::Defauts d;
        d.requeteCollee = c.collee;
        hp->FixerDefauts(d);
        ASSERT_FALSE(bode->start(bode) & ERR);
        hp->EffacerJournal();
        FinDeBalayage(++numero);
        const Lignes t = Transcript(*hp);
        Lignes attendu(static_cast<std::size_t>(c.polls), "poll");
        // The reply to "STB?" still shows the request when it stays set.
        if (c.stb) attendu.insert(attendu.end(), {"> STB?", c.collee > 100 ? "< 4 END" : "< 3 END"});
        attendu = Concat({attendu, TransfertComplet("A"), TransfertComplet("B"), TransfertComplet("X")});
        ASSERT_GE(t.size(), attendu.size());
        EXPECT_EQ(Lignes(t.begin(), t.begin() + static_cast<long>(attendu.size())), attendu);
        if (c.collee > 100) {
            // Still requesting: the notification calls back again, and the second callback's
            // polls end it.
            ASSERT_TRUE(Attendre([&] { return Numero() == 2; }));
            ASSERT_TRUE(Attendre([&] { return !CmtVerrouTenu(); }));
            EXPECT_FALSE(hp->DemandeService());
        }
        bode->stop(bode);
    }
}

// A request that never clears: callbacks keep coming, each one bounded, and stop ends them.
TEST_F(Bode, RequestStuckForEverGivesBoundedCyclesThatStopEnds) {
    horloge::UtiliserHorlogeReelle();
    horloge::FixerVitesse(50.0);
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    sim::Defauts d;
    d.requeteCollee = -1;
    hp->FixerDefauts(d);
    ASSERT_FALSE(bode->start(bode) & ERR);
    ASSERT_TRUE(Attendre([&] { return Numero() >= 3; }));
    bode->stop(bode);
    const unsigned n = Numero();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(Numero(), n + 1) << "one more cycle at most after stop";
    const unsigned fin = Numero();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Numero(), fin);
    EXPECT_TRUE(hp->DemandeService());
}

// The channel reads of the user-interface thread never wait for a sweep being fetched; they give
// the sweep before it (none yet here), under its own number.
TEST_F(Bode, ChannelReadsDoNotWaitForTheBus) {
    ASSERT_NO_FATAL_FAILURE(DemarrerAvecReponsesLentes(0.5, 2));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Numero(), 0u);
    EXPECT_TRUE(std::isnan(Voie(bode, 1)[0]));
    EXPECT_TRUE(std::isnan(Abscisses(bode)[0]));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 0.25);
    EXPECT_TRUE(CmtVerrouTenu()) << "the callback was still fetching";
}

// A sample taken while a sweep is being fetched (its gain in, its phase on its way) is one whole
// sweep with its own number: the sweep before, until the three traces of the new one are in.
TEST_F(Bode, ASampleDuringAFetchIsOneWholeSweepWithItsNumber) {
    horloge::UtiliserHorlogeReelle();
    hp->FixerCoupure(20e3);
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    ASSERT_FALSE(bode->start(bode) & ERR);
    ASSERT_TRUE(Attendre([&] { return Numero() == 1 && !CmtVerrouTenu(); }));
    const TracesAttendues premier = Attendu(hp->LireReglages(), 20e3);

    struct Echantillon {
        unsigned numero;
        std::vector<double> gain, phase, x;
    };
    const auto Prendre = [&] { return Echantillon{Numero(), Voie(bode, 1), Voie(bode, 2), Abscisses(bode)}; };
    const auto Verifier = [](const Echantillon &e, unsigned numero, const TracesAttendues &balayage) {
        EXPECT_EQ(e.numero, numero);
        EXPECT_TRUE(MemesValeurs(e.gain, balayage.gain));
        EXPECT_TRUE(MemesValeurs(e.phase, balayage.phase));
        EXPECT_TRUE(MemesValeurs(e.x, balayage.x));
    };
    Verifier(Prendre(), 1, premier);

    // The second sweep: another device under test over another range, each trace slow to come.
    hp->FixerCoupure(5e3);
    bode->execute(bode, "STOP=50000");
    sim::Hp4194::Pannes pannes;
    pannes.delaiReponse = 0.3;
    hp->FixerPannes(pannes);
    hp->EffacerJournal();
    bode->execute(bode, "TRIG");
    ASSERT_TRUE(Attendre([&] {
        const Lignes e = Ecritures(*hp);
        return std::find(e.begin(), e.end(), "B?") != e.end();
    }));
    const Echantillon pendant = Prendre();
    EXPECT_TRUE(CmtVerrouTenu()) << "taken while the phase was on its way";
    {
        SCOPED_TRACE("during the fetch");
        Verifier(pendant, 1, premier);
    }

    ASSERT_TRUE(Attendre([&] { return Numero() == 2 && !CmtVerrouTenu(); }));
    const TracesAttendues second = Attendu(hp->LireReglages(), 5e3);
    ASSERT_EQ(second.x.back(), 50000.0);
    SCOPED_TRACE("once the sweep is in");
    Verifier(Prendre(), 2, second);
}

// The lock: a command that comes while a sweep is fetched waits for the whole cycle, and never
// falls between a query and its reply.
TEST_F(Bode, ExecuteDuringASweepWaitsForTheCycle) {
    ASSERT_NO_FATAL_FAILURE(DemarrerAvecReponsesLentes(0.1, 2));
    const auto t0 = std::chrono::steady_clock::now();
    bode->execute(bode, "center=2e4");
    const double attente = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GT(attente, 0.15) << "two more replies of 0.1 s came first";
    EXPECT_EQ(Numero(), 1u);
    EXPECT_EQ(Transcript(*hp), Concat({{"poll"}, TransfertComplet("A"), TransfertComplet("B"),
                                       TransfertComplet("X"), {"> CENTER=2E4"}}));
    EXPECT_EQ(bode->status(bode), 1);
}

TEST_F(Bode, ExecuteSendsUnderTheLockAndOnlyOnceADeviceIsOpen) {
    bode->execute(bode, "TRIG");
    EXPECT_TRUE(Transcript(*hp).empty()) << "no device before the first init";
    EXPECT_EQ(bode->status(bode), 1);
    ASSERT_GE(Init(), 0);
    hp->EffacerJournal();
    for (const char *c : {"center=1e3", "SPAN= 500", "nop=201", "sweep_down", "sweep_up", "CENTER=", "TRIG "})
        bode->execute(bode, c);
    EXPECT_EQ(Ecritures(*hp), (Lignes{"CENTER=1E3", "SPAN= 500", "NOP=201", "SWD2", "SWD1"}));
    EXPECT_TRUE(hp->Refusees().empty());
    EXPECT_EQ(hp->LireReglages().points, 201);
    EXPECT_EQ(hp->LireReglages().sens, 1);
    // While a test holds the lock, a command waits for it.
    const int verrou = gestion_lock("GPIB0:23");
    CmtGetLock(verrou);
    std::atomic<bool> fini{false};
    hp->EffacerJournal();
    std::thread t([&] {
        bode->execute(bode, "OSC=0.5");
        fini = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fini);
    EXPECT_TRUE(Transcript(*hp).empty());
    CmtReleaseLock(verrou);
    t.join();
    EXPECT_EQ(Ecritures(*hp), (Lignes{"OSC=0.5"}));
}

// The lock keeps the name of the address the device was opened at, whatever the panel stores
// afterwards.
TEST_F(Bode, LockNamedAfterTheAddressOfTheLastInit) {
    ASSERT_GE(Init(), 0);
    Ecrire(kAdresse, 9);
    const int verrou = gestion_lock("GPIB0:23");
    CmtGetLock(verrou);
    std::atomic<bool> fini{false};
    std::thread t([&] {
        bode->execute(bode, "TRIG");
        fini = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fini) << "still the lock of address 23";
    CmtReleaseLock(verrou);
    t.join();
    EXPECT_EQ(Ecritures(*hp).back(), "SWTRG");
}

// A new acquisition start takes the previous device offline: a notification left armed by a
// stop in "Single" no longer calls back, and one request makes one cycle.
TEST_F(Bode, NewInitReleasesThePreviousDevice) {
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    const int premier = LireEntierBloc(bode, kIdentificateur);
    ASSERT_FALSE(bode->start(bode) & ERR);
    FinDeBalayage(1);
    bode->stop(bode);  // the notification stays armed until the next request
    ASSERT_GE(Init(), 0);
    EXPECT_NE(LireEntierBloc(bode, kIdentificateur), premier);
    char octet = 0;
    EXPECT_TRUE(ibrsp(premier, &octet) & ERR) << "the first device is offline";
    EXPECT_EQ(Numero(), 0u);
    ASSERT_FALSE(bode->start(bode) & ERR);
    hp->EffacerJournal();
    FinDeBalayage(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Numero(), 1u);
    const Lignes e = Ecritures(*hp);
    EXPECT_EQ(std::count(e.begin(), e.end(), "A?"), 1);
}

// Freeing the instrument while a callback fetches a sweep waits for the callback to end.
TEST_F(Bode, LibererDuringACycleWaitsForTheCallback) {
    ASSERT_NO_FATAL_FAILURE(DemarrerAvecReponsesLentes(0.05, 1));
    bode->liberer(bode);
    bode = nullptr;
    const Lignes e = Ecritures(*hp);
    EXPECT_EQ(e, (Lignes{"A?", "B?", "X?", "SWTRG"})) << "the cycle ended before the record went";
    horloge::FixerVitesse(100.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Ecritures(*hp), e) << "no callback after liberer";
}

// ---- faults of the analyser -------------------------------------------------------------------

TEST_F(Bode, FaultyTraceRepliesKeepTheBusInStepAndTheValuesTheyCannotGive) {
    hp->FixerCoupure(20e3);
    Ecrire(kTrig, 2);
    ASSERT_GE(Init(), 0);
    ASSERT_FALSE(bode->start(bode) & ERR);
    FinDeBalayage(1);
    const TracesAttendues juste = Attendu(hp->LireReglages(), 20e3);
    ASSERT_TRUE(MemesValeurs(Voie(bode, 1), juste.gain));
    hp->FixerCoupure(5e3);
    const TracesAttendues nouveau = Attendu(hp->LireReglages(), 5e3);
    unsigned numero = 1;
    auto Sweep = [&] {
        hp->EffacerJournal();
        bode->execute(bode, "TRIG");
        hp->EffacerJournal();
        FinDeBalayage(++numero);
    };

    {
        SCOPED_TRACE("block longer than 401 values: the surplus is read off");
        sim::Hp4194::Pannes p;
        p.valeursEnTrop = 10;
        hp->FixerPannes(p);
        Sweep();
        const Lignes trace = {"< 2", "< 2", "< 3208", "< 80", "< 2 END"};
        EXPECT_EQ(Transcript(*hp), Concat({{"poll", "> A?"}, trace, {"> B?"}, trace, {"> X?"}, trace}));
        EXPECT_TRUE(MemesValeurs(Voie(bode, 1), nouveau.gain));
        EXPECT_TRUE(MemesValeurs(Voie(bode, 2), nouveau.phase));
        EXPECT_TRUE(MemesValeurs(Abscisses(bode), nouveau.x));
    }
    hp->FixerCoupure(20e3);
    {
        SCOPED_TRACE("block cut short: the values it holds");
        sim::Hp4194::Pannes p;
        p.octetsBloc = 1003;  // 125 values and 3 bytes
        hp->FixerPannes(p);
        Sweep();
        const Lignes trace = {"< 2", "< 2", "< 1003 END"};
        EXPECT_EQ(Transcript(*hp), Concat({{"poll", "> A?"}, trace, {"> B?"}, trace, {"> X?"}, trace}));
        std::vector<double> gain = nouveau.gain;
        std::copy(juste.gain.begin(), juste.gain.begin() + 125, gain.begin());
        EXPECT_TRUE(MemesValeurs(Voie(bode, 1), gain));
    }
    hp->FixerPannes({});
    {
        SCOPED_TRACE("garbage: the sweep counts, its traces missing, and the next sweep reads right");
        sim::Defauts d;
        d.charabia = true;
        hp->FixerDefauts(d);
        Sweep();
        EXPECT_EQ(Transcript(*hp), (Lignes{"poll", "> A?", "< 2", "> B?", "< 2", "> X?", "< 2"}));
        const std::vector<double> manquant(kPoints, std::numeric_limits<double>::quiet_NaN());
        EXPECT_TRUE(MemesValeurs(Voie(bode, 1), manquant)) << "not the earlier sweep's values";
        EXPECT_TRUE(MemesValeurs(Voie(bode, 2), manquant));
        EXPECT_TRUE(MemesValeurs(Abscisses(bode), manquant));
        hp->FixerDefauts({});
        Sweep();
        EXPECT_TRUE(MemesValeurs(Voie(bode, 1), juste.gain));
        EXPECT_TRUE(MemesValeurs(Voie(bode, 2), juste.phase));
    }
    {
        SCOPED_TRACE("silence: one time-out, the other traces are not asked for, the sweep missing");
        sim::Defauts d;
        d.muet = true;
        hp->FixerDefauts(d);
        const double t0 = horloge::Secondes();
        Sweep();
        EXPECT_EQ(Transcript(*hp), (Lignes{"poll", "> A?"}));
        EXPECT_NEAR(horloge::Secondes() - t0, 11.0, 0.5) << "the sweep, then 10 s of time-out";
        EXPECT_EQ(Numero(), numero);
        for (const std::vector<double> &v : {Voie(bode, 1), Voie(bode, 2), Abscisses(bode)})
            EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); }));
    }
}

// Trace blocks with exact bytes, from a scripted device.
class BodeBlocs : public Bode {
protected:
    void SetUp() override {
        Bode::SetUp();
        sim::BusDeCarte(0)->Brancher(23, std::make_shared<sim::Enregistreur>());
        Ecrire(kTrig, 2);
        ASSERT_GE(Init(), 0);
        ASSERT_FALSE(bode->start(bode) & ERR);
    }
    // A device that answers the three queries with these replies requests service.
    void Cycle(const std::string &a, const std::string &b, const std::string &x) {
        e = std::make_shared<sim::Enregistreur>();
        e->Programmer("A?", a);
        e->Programmer("B?", b);
        e->Programmer("X?", x);
        sim::BusDeCarte(0)->Brancher(23, e);
        const unsigned n = Numero();
        e->DemanderService();
        ASSERT_TRUE(Attendre([&] { return Numero() == n + 1; }));
        ASSERT_TRUE(Attendre([&] { return !CmtVerrouTenu(); }));
    }
    std::shared_ptr<sim::Enregistreur> e;
};

TEST_F(BodeBlocs, BigEndianValuesAndCounts) {
    // 401 values of 1.0 and of -180.0: count bytes 0x0C 0x88.
    std::string un, moins180, axe;
    for (int i = 0; i < 401; ++i) {
        un += std::string("\x3F\xF0\0\0\0\0\0\0", 8);
        moins180 += std::string("\xC0\x66\x80\0\0\0\0\0", 8);
        axe += GrosBout(100.0 * i);
    }
    Cycle(Bloc(0x0C88, un), Bloc(0x0C88, moins180), Bloc(0x0C88, axe));
    EXPECT_TRUE(MemesValeurs(Voie(bode, 1), std::vector<double>(401, 1.0)));
    EXPECT_TRUE(MemesValeurs(Voie(bode, 2), std::vector<double>(401, -180.0)));
    EXPECT_EQ(Abscisses(bode)[400], 40000.0);

    // 201 values (after NOP=201): entries 201 to 400 keep the earlier sweep's.
    Cycle(Bloc(std::vector<double>(201, 2.0)), Bloc(std::vector<double>(201, -90.0)),
          Bloc(std::vector<double>(201, 7.0)));
    std::vector<double> gain(401, 1.0);
    std::fill(gain.begin(), gain.begin() + 201, 2.0);
    EXPECT_TRUE(MemesValeurs(Voie(bode, 1), gain));
    EXPECT_EQ(bode->get_taille_voie2D(bode, 1), 401);

    // A count that is not a multiple of 8: the 5 bytes of the last value are read and dropped,
    // and the next trace still reads right. Bytes 0x0A and 0x00 inside the values end no read.
    const double avecFinDeLigne = std::bit_cast<double>(std::uint64_t{0x400A00000000000A});
    std::string a = GrosBout(avecFinDeLigne) + GrosBout(3.0) + std::string(5, '\x7F');
    Cycle(Bloc(21, a), Bloc(std::vector<double>(401, -1.0)), Bloc(std::vector<double>(401, 8.0)));
    EXPECT_EQ(Transcript(*e), Concat({{"poll", "> A?", "< 2", "< 2", "< 21", "< 2 END"}, TransfertComplet("B"),
                                      TransfertComplet("X")}));
    const std::vector<double> g = Voie(bode, 1);
    EXPECT_EQ(g[0], avecFinDeLigne);
    EXPECT_EQ(g[1], 3.0);
    EXPECT_EQ(g[2], 2.0);
    EXPECT_TRUE(MemesValeurs(Voie(bode, 2), std::vector<double>(401, -1.0)));
}

}  // namespace
