// "Fréquencemètre 2 Voies" against the simulated universal counter: golden transcripts of init,
// start, the alternating cycle and stop; the watchdog forcing the switch on a silent input and
// giving way to a callback at work; repeated acquisitions on one named lock and one
// notification; the replies that carry no reading.
#include "instruments/counters/freq2voies.h"
#include "platform/utility.h"
#include "tests/instruments/counters/compteur_essai.h"
#include "uir/UIR_freq2voies.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr int kAdresse = 3;
constexpr std::size_t kBlocEtatVoie = 64, kBlocDelai = 208, kBlocIdentificateur = 0, kBlocPanneau = 200;
const double NaN = std::nan("");

// One service request: the reading fetched, the counter switched to input `suivante`, the
// identity and the event register read, and the next measurement launched.
Lignes Cycle(double lecture, int suivante) {
    return {SP,
            W("FETCH:FREQ?"),
            R(Lecture(lecture)),
            W(":FUNC 'FREQ " + std::to_string(suivante) + "'"),
            W("*IDN?"),
            R(kIdentite),
            W("*ESR?"),
            R("+1\n"),
            SP,
            W(kRelance)};
}

// The switch that the watchdog forces towards input `suivante`.
Lignes Force(int suivante) {
    return {W(":FUNC 'FREQ " + std::to_string(suivante) + "'"), W("*ESR?"), R("+0\n"), SP, W(kRelance)};
}

class Freq2v : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        compteur = Placer(kAdresse);
        compteur->FixerSignal(1, {1e6});
        compteur->FixerSignal(2, {2e6});
        f2v = Lister("5313x_2v.dll");
        ASSERT_NE(f2v, nullptr);
    }
    // init and start without a pop-up; the transcript forgotten, the watchdog panel noted.
    void Demarrer() {
        ASSERT_EQ(f2v->init(f2v), 0);
        watchdog = PanneauCharge([&] { ASSERT_EQ(f2v->start(f2v) & 0x8000, 0); });
        ASSERT_GT(watchdog, 0);
        Transcription(*compteur);
        ASSERT_TRUE(PopupsVus().empty());
    }
    // Lets the cycle run until `n` more measurements have been relaunched, and the callback that
    // relaunched the last one has ended: it holds the device lock until then, and a watchdog tick
    // meanwhile would let its turn pass.
    void Cycles(int n) {
        BancCompteurs::Cycles(*compteur, n);
        const int verrou = gestion_lock("GPIB0:3");
        ASSERT_TRUE(Attendre(
            [&] {
                int libre = 0;
                CmtTryToGetLock(verrou, &libre);
                if (libre == 1) CmtReleaseLock(verrou);
                return libre == 1;
            },
            0));
    }
    void Tic() { ASSERT_EQ(ui_test::DeclencherTimer(watchdog, P_WD_TIMER), 0); }

    std::shared_ptr<sim::Compteur5313x> compteur;
    PInstrument *f2v = nullptr;
    int watchdog = 0;
};

TEST_F(Freq2v, GoldenInitStartAlternatingCyclesAndStop) {
    EXPECT_EQ(f2v->init(f2v), 0);
    EXPECT_EQ(Transcription(*compteur), InitFrequencemetre());
    Voies v = LireVoies(f2v);
    EXPECT_EQ(v.noms, (std::vector<std::string>{"Voie 1", "Voie 2"}));
    EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN, NaN}));
    EXPECT_EQ(v.numeros, (std::vector<unsigned>{0, 0}));

    watchdog = PanneauCharge([&] { EXPECT_EQ(f2v->start(f2v) & 0x8000, 0); });
    EXPECT_EQ(Transcription(*compteur),
              (Lignes{W("*ESE 1"), W("*SRE 32"), W("*ESR?"), R("+0\n"), W(":INIT:IMM;*WAI;*OPC")}));
    EXPECT_TRUE(PopupsVus().empty());

    // Input 1 first, then each input in turn, each reading under its own channel.
    struct Attendu {
        double lecture;
        int suivante;
        std::vector<double> valeurs;
        std::vector<unsigned> numeros;
    };
    const Attendu cycles[] = {
        {1e6, 2, {1e6, NaN}, {1, 0}},
        {2e6, 1, {1e6, 2e6}, {1, 1}},
        {1e6, 2, {1e6, 2e6}, {2, 1}},
    };
    int n = 0;
    for (const Attendu &c : cycles) {
        SCOPED_TRACE("cycle " + std::to_string(++n));
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_EQ(Transcription(*compteur), Cycle(c.lecture, c.suivante));
        v = LireVoies(f2v);
        EXPECT_TRUE(MemesValeurs(v.valeurs, c.valeurs));
        EXPECT_EQ(v.numeros, c.numeros);
    }

    // stop discards the watchdog; the request under way is still served, then none.
    f2v->stop(f2v);
    EXPECT_FALSE(Charge(watchdog));
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(2e6, 1));
    EXPECT_TRUE(Attendre([&] { return compteur->DemandeService(); })) << "the last relaunch completes";
    Patienter();
    EXPECT_TRUE(Transcription(*compteur).empty()) << "nobody answers its request";
    EXPECT_EQ(LireVoies(f2v).numeros, (std::vector<unsigned>{2, 2}));
    f2v->stop(f2v);
    EXPECT_TRUE(Transcription(*compteur).empty());
}

// Input 2 gives nothing: after more than the delay (truncated) without a reading, the watchdog
// takes the counter back to input 1, which goes on alone. A delay confirmed meanwhile applies
// from the next tick on.
TEST_F(Freq2v, WatchdogForcesTheSwitchAwayFromASilentInput) {
    compteur->FixerSignal(2, {});
    for (const double delai : {3.0, 3.9, 1.0}) {
        SCOPED_TRACE("delay " + std::to_string(delai));
        std::memcpy(DebutBloc(f2v) + kBlocDelai, &delai, sizeof delai);
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_EQ(Transcription(*compteur), Cycle(1e6, 2));
        const int forcee = static_cast<int>(delai) + 1;
        for (int tic = 1; tic < forcee; ++tic) {
            ASSERT_NO_FATAL_FAILURE(Tic());
            EXPECT_TRUE(Transcription(*compteur).empty()) << "tick " << tic;
        }
        ASSERT_NO_FATAL_FAILURE(Tic());
        EXPECT_EQ(Transcription(*compteur), Force(1));
        // Input 1 measures again; input 2 keeps its missing value and count.
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_EQ(Transcription(*compteur), Cycle(1e6, 2));
        const Voies v = LireVoies(f2v);
        EXPECT_TRUE(MemesValeurs(v.valeurs, {1e6, NaN}));
        EXPECT_EQ(v.numeros, (std::vector<unsigned>{2, 0}));
        // The reading restarted the count: a full delay again before the next switch.
        for (int tic = 1; tic < forcee; ++tic) ASSERT_NO_FATAL_FAILURE(Tic());
        EXPECT_TRUE(Transcription(*compteur).empty());
        f2v->stop(f2v);
        EXPECT_FALSE(Charge(watchdog));
    }
    // A delay confirmed while the instrument runs: the very next tick compares with it.
    const double trois = 3.0;
    std::memcpy(DebutBloc(f2v) + kBlocDelai, &trois, sizeof trois);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    Transcription(*compteur);
    for (int tic = 0; tic < 2; ++tic) ASSERT_NO_FATAL_FAILURE(Tic());
    EXPECT_TRUE(Transcription(*compteur).empty());
    const int conf = PanneauCharge([&] { f2v->configure(f2v); });
    ASSERT_EQ(ui_test::EntrerValeur(conf, P_Conf_F_2_NUM_WD_Delay, 1.0), 0);
    Cliquer(conf, P_Conf_F_2_Conf_OK2V);
    ASSERT_NO_FATAL_FAILURE(Tic());
    EXPECT_EQ(Transcription(*compteur), Force(1));
}

// The device lock is the counter's, named after its address: while another thread holds it the
// callback waits and the watchdog lets its ticks pass without waiting; after ten acquisitions
// the same lock still serves, and only the newest notification answers the counter.
TEST_F(Freq2v, OneLockPerCounterAndOneNotificationPerAcquisition) {
    const int verrou = gestion_lock("GPIB0:3");
    for (int acquisition = 1; acquisition <= 10; ++acquisition) {
        SCOPED_TRACE("acquisition " + std::to_string(acquisition));
        const int avant = LireEntierBloc(f2v, kBlocIdentificateur);
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        EXPECT_NE(LireEntierBloc(f2v, kBlocIdentificateur), avant) << "a new descriptor";
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_EQ(Transcription(*compteur), Cycle(1e6, 2));
        // Stopped with a measurement under way: its request comes after the next init.
        f2v->stop(f2v);
    }
    EXPECT_EQ(gestion_lock("GPIB0:3"), verrou);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    EXPECT_EQ(LireEntierBloc(f2v, kBlocEtatVoie), 0) << "every acquisition starts from input 1";

    // Held elsewhere: the completed measurement waits for its reading, the ticks pass.
    std::atomic<bool> liberer = false, tenu = false;
    std::thread autre([&] {
        CmtGetLock(verrou);
        tenu = true;
        while (!liberer) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CmtReleaseLock(verrou);
    });
    ASSERT_TRUE(Attendre([&] { return tenu.load(); }, 0));
    ASSERT_TRUE(Attendre([&] { return compteur->DemandeService(); }));
    for (int tic = 0; tic < 10; ++tic) ASSERT_NO_FATAL_FAILURE(Tic());
    Patienter();
    EXPECT_TRUE(Transcription(*compteur).empty()) << "the callback waits before it talks to the counter";
    liberer = true;
    autre.join();
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(1e6, 2));
    EXPECT_EQ(LireVoies(f2v).numeros, (std::vector<unsigned>{1, 0})) << "one reading for one measurement";
}

// A reply that is empty, blank or lost is a missing reading; a reply that is no number leaves
// the previous value; each counts, and the cycle goes on.
TEST_F(Freq2v, RepliesWithoutAReading) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(2));
    Transcription(*compteur);
    struct Cas {
        const char *nom;
        sim::Defauts panne;
        double voie1;
    };
    sim::Defauts vide, blanc, texte, perdue;
    vide.charabia = blanc.charabia = texte.charabia = true;
    vide.texteCharabia = "";
    blanc.texteCharabia = " \n";
    texte.texteCharabia = "abc\n";
    perdue.lecturesSansReponse = 1;
    const Cas cas[] = {{"no number", texte, 1e6}, {"empty", vide, NaN}, {"no number after a gap", texte, NaN},
                       {"blank", blanc, NaN}, {"reading back", {}, 1e6}, {"lost", perdue, NaN}};
    unsigned numero = 1;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        compteur->FixerDefauts(c.panne);
        ASSERT_NO_FATAL_FAILURE(Cycles(2));
        const Voies v = LireVoies(f2v);
        EXPECT_TRUE(MemesValeurs({v.valeurs[0]}, {c.voie1}));
        ++numero;
        EXPECT_EQ(v.numeros, (std::vector<unsigned>{numero, numero}));
        const Lignes t = Transcription(*compteur);
        EXPECT_EQ(std::count(t.begin(), t.end(), W("FETCH:FREQ?")), 2);
    }
}

// A loaded block's panel number is no handle: stop after an init without start (a start of
// another instrument failed) discards nothing, not even the panel that number now names.
TEST_F(Freq2v, StopDiscardsOnlyTheWatchdogThatStartLoaded) {
    EcrireEntierBloc(f2v, kBlocPanneau, panel_commande);
    ASSERT_EQ(f2v->init(f2v), 0);
    f2v->stop(f2v);
    EXPECT_TRUE(Charge(panel_commande));
    // The panel that start loads goes with stop, whatever the block says.
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    EXPECT_EQ(LireEntierBloc(f2v, kBlocPanneau), watchdog);
    EcrireEntierBloc(f2v, kBlocPanneau, panel_commande);
    f2v->stop(f2v);
    EXPECT_FALSE(Charge(watchdog));
    EXPECT_TRUE(Charge(panel_commande));
}

// A block saved while input 2 was measured: the next acquisition still files its first
// reading, of input 1, under "Voie 1".
TEST_F(Freq2v, ALoadedBlockStartsFromInput1) {
    EcrireEntierBloc(f2v, kBlocEtatVoie, 1);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(1e6, 2));
    EXPECT_EQ(LireVoies(f2v).numeros, (std::vector<unsigned>{1, 0}));
}

}  // namespace
