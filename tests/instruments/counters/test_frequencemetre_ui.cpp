// "Fréquencemètre" against the simulated universal counter: golden transcripts of init, start,
// the cycle and stop; the fetch asked again after a failed read, at most three times; the
// replies that carry no reading.
#include "instruments/counters/frequencemetre.h"
#include "tests/instruments/counters/compteur_essai.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr int kAdresse = 4;
const double NaN = std::nan("");

class Freq : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        compteur = Placer(kAdresse, "HEWLETT-PACKARD,53132A,0,3703");
        compteur->FixerSignal(1, {5e6});
        fr = Lister("5313x_1v.dll");
        ASSERT_NE(fr, nullptr);
    }
    void Demarrer() {
        ASSERT_EQ(fr->init(fr), 0);
        ASSERT_EQ(fr->start(fr) & 0x8000, 0);
        Transcription(*compteur);
        ASSERT_TRUE(PopupsVus().empty());
    }
    void Cycles(int n) { BancCompteurs::Cycles(*compteur, n); }

    std::shared_ptr<sim::Compteur5313x> compteur;
    PInstrument *fr = nullptr;
};

TEST_F(Freq, GoldenInitStartCyclesAndStop) {
    EXPECT_EQ(fr->init(fr), 0);
    const std::string identite = "HEWLETT-PACKARD,53132A,0,3703\n";
    Lignes init = InitFrequencemetre();
    init[2] = R(identite);
    EXPECT_EQ(Transcription(*compteur), init);
    Voies v = LireVoies(fr);
    EXPECT_EQ(v.noms, std::vector<std::string>{"Voie 1"});
    EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN}));
    EXPECT_EQ(v.numeros, std::vector<unsigned>{0});

    // "*ESE 1", "*SRE 32" and the launch go out without their NUL (6, 7 and 14 bytes).
    EXPECT_EQ(fr->start(fr) & 0x8000, 0);
    EXPECT_EQ(Transcription(*compteur), (Lignes{W2("*ESE 1"), W2("*SRE 32"), SP, W("*ESR?"), R("+0\n"), W2(kRelance)}));
    for (unsigned n = 1; n <= 3; ++n) {
        SCOPED_TRACE("cycle " + std::to_string(n));
        const double hz = (4.0 + n) * 1e6;
        compteur->FixerSignal(1, {hz});
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_EQ(Transcription(*compteur),
                  (Lignes{SP, W("FETCH:FREQ?"), R(Lecture(hz)), W("*ESR?"), R("+1\n"), W(kRelance)}));
        v = LireVoies(fr);
        EXPECT_TRUE(MemesValeurs(v.valeurs, {hz}));
        EXPECT_EQ(v.numeros, std::vector<unsigned>{n});
        EXPECT_TRUE(PopupsVus().empty());
    }
    fr->stop(fr);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    Transcription(*compteur);
    EXPECT_TRUE(Attendre([&] { return compteur->DemandeService(); })) << "the last relaunch completes";
    Patienter();
    EXPECT_TRUE(Transcription(*compteur).empty()) << "nobody answers its request";
    EXPECT_EQ(fr->numero_1D(fr, 1), 4u);
    fr->stop(fr);
    EXPECT_TRUE(Transcription(*compteur).empty());
}

// A read that fails is asked again at once, three reads at most; after a repeated query the
// enable register is written anew. Three failed reads are a missing reading, counted, and the
// cycle goes on.
TEST_F(Freq, FetchAskedAgainAfterAFailedReadAtMostThreeTimes) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    Transcription(*compteur);
    struct Cas {
        int perdues;
        Lignes transcription;
        double valeur;
    };
    const Lignes reprise = {W("*ESE 0"), W("*ESE 1")};
    const Cas cas[] = {
        {1, Lignes{SP, W("FETCH:FREQ?"), W("FETCH:FREQ?"), R(Lecture(5e6))} + reprise, 5e6},
        {0, {SP, W("FETCH:FREQ?"), R(Lecture(5e6))}, 5e6},
        {3, Lignes{SP, W("FETCH:FREQ?"), W("FETCH:FREQ?"), W("FETCH:FREQ?")} + reprise, NaN},
        {2, Lignes{SP, W("FETCH:FREQ?"), W("FETCH:FREQ?"), W("FETCH:FREQ?"), R(Lecture(5e6))} + reprise, 5e6},
    };
    unsigned numero = 1;
    for (const Cas &c : cas) {
        SCOPED_TRACE(std::to_string(c.perdues) + " reads lost");
        sim::Defauts d;
        d.lecturesSansReponse = c.perdues;
        compteur->FixerDefauts(d);
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        Lignes t = Transcription(*compteur);
        // The event register and the relaunch close every cycle; what it holds depends on the
        // queries that the repeated fetch interrupted.
        ASSERT_GE(t.size(), 3u);
        EXPECT_EQ(t[t.size() - 3], W("*ESR?"));
        EXPECT_EQ(t.back(), W(kRelance));
        t.resize(t.size() - 3);
        EXPECT_EQ(t, c.transcription);
        EXPECT_TRUE(MemesValeurs({fr->mesure_1D(fr, 1)}, {c.valeur}));
        EXPECT_EQ(fr->numero_1D(fr, 1), ++numero) << "one reading per measurement";
    }
}

TEST_F(Freq, RepliesWithoutAReading) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    struct Cas {
        const char *nom;
        const char *reponse;
        double valeur;
    };
    // "nan" and "inf" are words, not numbers: unreadable like any other text.
    const Cas cas[] = {{"nan", "nan\n", 5e6}, {"inf", "-inf\n", 5e6},
                       {"no number", "abc\n", 5e6}, {"line feed only", "\n", NaN}, {"empty", "", NaN},
                       {"no number after a gap", "Hz\n", NaN}, {"a reading again", nullptr, 5e6}};
    unsigned numero = 1;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        sim::Defauts d;
        d.charabia = c.reponse != nullptr;
        if (c.reponse) d.texteCharabia = c.reponse;
        compteur->FixerDefauts(d);
        Transcription(*compteur);
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_TRUE(MemesValeurs({fr->mesure_1D(fr, 1)}, {c.valeur}));
        EXPECT_EQ(fr->numero_1D(fr, 1), ++numero);
    }
}

}  // namespace
