// "Fréquencemètre Switché" against a simulated universal counter whose input 1 sits behind an
// RF switch on the simulated parallel port: golden transcripts of init, start, the cycle and
// stop with the line moved before each fetch; readings filed under the line's position; two
// switched counters sharing the port; a damaged settings block.
#include "instruments/counters/frequencemetre_SW.h"
#include "tests/instruments/counters/compteur_essai.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr std::size_t kBlocAdresse = 4, kBlocBit = 8, kBlocVoies = 32, kBlocEtat = 64;
const double NaN = std::nan("");

// One service request, the line already moved: the reading fetched (its query without NUL),
// the event register read, the next measurement launched.
Lignes Cycle(double lecture) {
    return {SP, W2("FETCH:FREQ?"), R(Lecture(lecture)), W("*ESR?"), R("+1\n"), W(kRelance)};
}

class FreqSw : public BancCompteurs {
protected:
    // A counter at `adresse` measuring `bas` with line `ligne` low and `haut` with it high, and
    // its switched counter on that line.
    struct Banc {
        std::shared_ptr<sim::Compteur5313x> compteur;
        PInstrument *sw = nullptr;
        double bas = 0, haut = 0;
    };
    Banc Installer(int adresse, int ligne, double bas, double haut) {
        Banc b{Placer(adresse), Lister("5313x_sw.dll"), bas, haut};
        b.compteur->FixerSignal(1, {bas});
        b.compteur->FixerCommutateur(1, static_cast<std::uint8_t>(ligne), {haut});
        EXPECT_NE(b.sw, nullptr);
        if (b.sw) {
            EcrireEntierBloc(b.sw, kBlocAdresse, adresse);
            EcrireEntierBloc(b.sw, kBlocBit, ligne);
        }
        return b;
    }
};

TEST_F(FreqSw, GoldenInitStartCyclesLineByLineAndStop) {
    const Banc b = Installer(5, 8, 10e6, 15e6);
    port->Fixer(0x05);
    EXPECT_EQ(b.sw->init(b.sw), 0);
    EXPECT_EQ(Transcription(*b.compteur), InitFrequencemetre());
    EXPECT_EQ(EcrituresPort(), std::vector<int>{0x05}) << "the line low, the other lines kept";
    Voies v = LireVoies(b.sw);
    EXPECT_EQ(v.noms, (std::vector<std::string>{"Voie 1", "Voie 2"}));
    EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN, NaN}));
    EXPECT_EQ(v.numeros, (std::vector<unsigned>{0, 0}));

    EXPECT_EQ(b.sw->start(b.sw) & 0x8000, 0);
    EXPECT_EQ(Transcription(*b.compteur),
              (Lignes{W2("*ESE 1"), W2("*SRE 32"), W("*ESR?"), R("+0\n"), W(":INIT:IMM;*WAI;*OPC")}));
    EXPECT_TRUE(EcrituresPort().empty());

    // Each reading goes under the position it was measured in; the line moves first.
    struct Attendu {
        int octet;
        double lecture;
        std::vector<double> valeurs;
        std::vector<unsigned> numeros;
    };
    const Attendu cycles[] = {
        {0x0D, 10e6, {10e6, NaN}, {1, 0}},
        {0x05, 15e6, {10e6, 15e6}, {1, 1}},
        {0x0D, 10e6, {10e6, 15e6}, {2, 1}},
        {0x05, 15e6, {10e6, 15e6}, {2, 2}},
    };
    int n = 0;
    for (const Attendu &c : cycles) {
        SCOPED_TRACE("cycle " + std::to_string(++n));
        ASSERT_NO_FATAL_FAILURE(Cycles(*b.compteur, 1));
        EXPECT_EQ(EcrituresPort(), std::vector<int>{c.octet});
        EXPECT_EQ(Transcription(*b.compteur), Cycle(c.lecture));
        v = LireVoies(b.sw);
        EXPECT_TRUE(MemesValeurs(v.valeurs, c.valeurs));
        EXPECT_EQ(v.numeros, c.numeros);
    }

    b.sw->stop(b.sw);
    ASSERT_NO_FATAL_FAILURE(Cycles(*b.compteur, 1));
    EXPECT_EQ(EcrituresPort(), std::vector<int>{0x0D}) << "the last request still moves the line";
    EXPECT_EQ(Transcription(*b.compteur), Cycle(10e6));
    EXPECT_TRUE(Attendre([&] { return b.compteur->DemandeService(); }));
    Patienter();
    EXPECT_TRUE(Transcription(*b.compteur).empty()) << "nobody answers its request";
    EXPECT_TRUE(EcrituresPort().empty());
    EXPECT_EQ(LireEntierBloc(b.sw, kBlocEtat), 1) << "the next position is kept for the settings";

    // The next acquisition starts line low, on "Voie 1", whatever the block holds.
    EXPECT_EQ(b.sw->init(b.sw), 0);
    EXPECT_EQ(EcrituresPort(), std::vector<int>{0x05});
    EXPECT_EQ(LireEntierBloc(b.sw, kBlocEtat), 0);
    EXPECT_EQ(b.sw->start(b.sw) & 0x8000, 0);
    Transcription(*b.compteur);
    ASSERT_NO_FATAL_FAILURE(Cycles(*b.compteur, 1));
    v = LireVoies(b.sw);
    EXPECT_TRUE(MemesValeurs(v.valeurs, {10e6, NaN}));
    EXPECT_EQ(v.numeros, (std::vector<unsigned>{1, 0}));
    EXPECT_EQ(b.sw->numero_1D(b.sw, 0), 0u);
    EXPECT_EQ(b.sw->numero_1D(b.sw, -3), 0u);
}

// Two switched counters on SW1 and SW2 share the port with lines of other instruments: each
// moves its own line only, and each files every reading under the position it was made in.
TEST_F(FreqSw, TwoSwitchedCountersShareThePort) {
    const Banc a = Installer(5, 4, 10e6, 15e6);
    const Banc b = Installer(6, 8, 20e6, 25e6);
    constexpr int kAutres = 0xE3;  // D0, D1, D5, D6, D7: lines of other instruments
    port->Fixer(kAutres);
    for (const Banc *c : {&a, &b}) {
        ASSERT_EQ(c->sw->init(c->sw), 0);
        ASSERT_EQ(c->sw->start(c->sw) & 0x8000, 0);
    }
    EXPECT_TRUE(PopupsVus().empty());
    EcrituresPort();
    // Both cycles run at once on their own notification threads.
    ASSERT_TRUE(AttendreCycles({a.compteur.get(), b.compteur.get()}, [&] {
        return Envois(*a.compteur, kRelance) >= 41 && Envois(*b.compteur, kRelance) >= 41;
    }));
    for (const Banc *c : {&a, &b}) {
        c->sw->stop(c->sw);
        const Voies v = LireVoies(c->sw);
        EXPECT_TRUE(MemesValeurs(v.valeurs, {c->bas, c->haut})) << "a reading under the wrong position";
        EXPECT_GE(v.numeros[0], 20u);
        EXPECT_GE(v.numeros[1], 20u);
    }
    Attendre([&] { return a.compteur->DemandeService() && b.compteur->DemandeService(); });
    Patienter();
    const std::vector<int> ecritures = EcrituresPort();
    EXPECT_GE(ecritures.size(), 80u);
    for (const int octet : ecritures) ASSERT_EQ(octet & ~(4 | 8), kAutres) << "another instrument's line moved";
    // Each line is where the last request of its counter left it: high after a reading of
    // "Voie 1" (the next one is "Voie 2").
    const int dernier = port->Lire();
    for (const auto &[c, ligne] : {std::pair{&a, 4}, std::pair{&b, 8}}) {
        const bool haut = LireEntierBloc(c->sw, kBlocEtat) == 1;
        EXPECT_EQ((dernier & ligne) != 0, haut) << "line " << ligne;
    }
}

// A damaged block: the switch lines only are driven, the channel count stays within two, and a
// stored position other than 0 or 1 never indexes beyond the channels.
TEST_F(FreqSw, DamagedBlockDrivesOnlyTheSwitchLines) {
    const Banc b = Installer(5, 8, 10e6, 15e6);
    EcrireEntierBloc(b.sw, kBlocBit, 0xFF);
    EcrireEntierBloc(b.sw, kBlocVoies, 7);
    EcrireEntierBloc(b.sw, kBlocEtat, 5);
    EXPECT_EQ(b.sw->nb_voie_1D(b.sw), 2);
    port->Fixer(0xFF);
    ASSERT_EQ(b.sw->init(b.sw), 0);
    EXPECT_EQ(EcrituresPort(), std::vector<int>{0xE3});
    ASSERT_EQ(b.sw->start(b.sw) & 0x8000, 0);
    ASSERT_NO_FATAL_FAILURE(Cycles(*b.compteur, 2));
    EXPECT_EQ(EcrituresPort(), (std::vector<int>{0xFF, 0xE3}));
    EXPECT_EQ(LireVoies(b.sw).numeros, (std::vector<unsigned>{1, 1}));
    EcrireEntierBloc(b.sw, kBlocVoies, -1);
    EXPECT_EQ(b.sw->nb_voie_1D(b.sw), 0);
    EXPECT_TRUE(std::isnan(b.sw->mesure_1D(b.sw, 3)));
    EXPECT_EQ(b.sw->numero_1D(b.sw, 3), 0u);
}

}  // namespace
