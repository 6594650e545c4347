// "HP53131 - phase" against the simulated universal counter: golden transcripts of init in both
// modes, start, the cycle and stop; the query chosen by the mode at each completion; the
// replies that carry no reading.
#include "instruments/counters/HP53131_phase.h"
#include "tests/instruments/counters/compteur_essai.h"
#include "uir/UIR_HP53131_phase.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr int kAdresse = 2;
constexpr std::size_t kBlocAdresse = 136, kBlocMode = 140, kBlocCompte = 144;
const double NaN = std::nan("");

const Lignes kReglage = {
    W(":INIT:CONT OFF"),       W(":FUNC \"PHASE\""),      W(":INP1:COUP AC"),        W(":INP2:COUP AC"),
    W(":INP1:FILT ON"),        W(":INP2:FILT ON"),        W(":INP1:IMP 1000000"),    W(":INP2:IMP 1000000"),
    W(":INP1:ATT 1"),          W(":INP2:ATT 1"),          W(":EVENT1:HYST:REL 100"), W(":EVENT2:HYST:REL 100"),
    W(":EVENT1:SLOP POS"),     W(":EVENT2:SLOP POS"),     W(":EVEN1:LEV:AUTO ON"),   W(":EVEN2:LEV:AUTO ON"),
    W(":EVEN1:LEV:REL 50"),    W(":EVEN2:LEV:REL 50"),    W(":TRIG:COUN:AUTO ON")};

Lignes Stat(int compte) {
    return {W(":DISP:TEXT:FEED \"CALC3\""), W(":CALC3:AVER:COUN " + std::to_string(compte)),
            W(":CALC3:AVER:TYPE MEAN"), W(":CALC3:LFIL:STAT OFF"), W(":CALC3:AVER:STAT ON")};
}

Lignes Cycle(const std::string &question, double lecture) {
    return {SP, W(question), R(Lecture(lecture)), W("*ESR?"), R("+1\n"), W(kRelance)};
}

class Phase : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        compteur = Placer(kAdresse);
        ph = Lister("HP53131_phase.dll");
        ASSERT_NE(ph, nullptr);
        EcrireEntierBloc(ph, kBlocAdresse, kAdresse);
    }
    void Regler(int mode, int compte) {
        EcrireEntierBloc(ph, kBlocMode, mode);
        EcrireEntierBloc(ph, kBlocCompte, compte);
    }
    void Cycles(int n) { BancCompteurs::Cycles(*compteur, n, 0.01); }

    std::shared_ptr<sim::Compteur5313x> compteur;
    PInstrument *ph = nullptr;
};

// The set-up ends with the mode's commands; a mode that is neither (a damaged block) is run as
// Phase. init returns the board descriptor.
TEST_F(Phase, InitSetsTheCounterUpForItsMode) {
    const struct {
        int mode, compte;
        Lignes fin;
    } cas[] = {{0, 50, {W(":CALC3:AVER:STAT OFF")}}, {1, 100, Stat(100)}, {7, 100, {W(":CALC3:AVER:STAT OFF")}}};
    for (const auto &c : cas) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        Regler(c.mode, c.compte);
        EXPECT_EQ(ph->init(ph), ibfind("GPIB0"));
        EXPECT_EQ(Transcription(*compteur), (Lignes{CLR, W("*IDN?"), R(kIdentite)} + kReglage + c.fin));
        EXPECT_TRUE(compteur->Erreurs().empty()) << "every command is one the counter knows";
        const Voies v = LireVoies(ph);
        EXPECT_EQ(v.noms, std::vector<std::string>{"Phase 1 to 2"});
        EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN}));
        EXPECT_EQ(v.numeros, std::vector<unsigned>{0});
    }
    char nom[kLongueurNomVoie] = "";
    ph->get_nom_voie_1D(ph, 2, nom);
    EXPECT_STREQ(nom, "Erreur");
}

TEST_F(Phase, GoldenStartCyclesInBothModesAndStop) {
    Regler(1, 4);
    compteur->FixerPhase({10, 20, 30, 40, 50, 60, 70, 80, 90});
    ASSERT_EQ(ph->init(ph), ibfind("GPIB0"));
    Transcription(*compteur);
    EXPECT_EQ(ph->start(ph) & 0x8000, 0);
    EXPECT_EQ(Transcription(*compteur), (Lignes{W2("*ESE 1"), W2("*SRE 32"), SP, W("*ESR?"), R("+0\n"), W(kRelance)}));

    // Stat: the mean of each block of four phases.
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(":CALC3:DATA?", 25));
    EXPECT_EQ(ph->mesure_1D(ph, 1), 25);
    EXPECT_EQ(ph->mesure_1D(ph, 2), 25) << "any channel number reads the one channel";
    EXPECT_EQ(ph->numero_1D(ph, 1), 1u);

    // The mode confirmed while running: the next completion asks for the last phase (the
    // counter keeps averaging until the next init).
    const int panel = PanneauCharge([&] { ph->configure(ph); });
    ASSERT_EQ(ui_test::ChoisirElement(panel, P_INSTR_RINGSLIDE, 0), 0);
    Cliquer(panel, P_INSTR_CB_OK);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(":FETC?", 80));
    EXPECT_EQ(ph->numero_1D(ph, 1), 2u);

    ph->stop(ph);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(*compteur), Cycle(":FETC?", 90));
    EXPECT_TRUE(Attendre([&] { return compteur->DemandeService(); }));
    Patienter();
    EXPECT_TRUE(Transcription(*compteur).empty()) << "nobody answers its request";
    ph->stop(ph);

    // Each start counts its readings from 1.
    ASSERT_EQ(ph->init(ph), ibfind("GPIB0"));
    ASSERT_EQ(ph->start(ph) & 0x8000, 0);
    EXPECT_EQ(ph->numero_1D(ph, 1), 0u);
    Transcription(*compteur);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(ph->numero_1D(ph, 1), 1u);
}

// One rule for every reply that does not convert (a text that is no number, no byte, no reply):
// the reading is missing and counted, never the previous one repeated.
TEST_F(Phase, RepliesWithoutAReading) {
    Regler(0, 50);
    ASSERT_GE(ph->init(ph), 0);
    ASSERT_EQ(ph->start(ph) & 0x8000, 0);
    Transcription(*compteur);
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    struct Cas {
        const char *nom;
        sim::Defauts panne;
        double valeur;
    };
    sim::Defauts texte, vide, perdue;
    texte.charabia = vide.charabia = true;
    texte.texteCharabia = "deg\n";
    vide.texteCharabia = "";
    perdue.lecturesSansReponse = 1;
    const Cas cas[] = {
        {"no number", texte, NaN}, {"a reading again", {}, 45}, {"empty", vide, NaN},
        {"a reading again", {}, 45}, {"lost", perdue, NaN},
    };
    unsigned numero = 1;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        compteur->FixerDefauts(c.panne);
        Transcription(*compteur);
        ASSERT_NO_FATAL_FAILURE(Cycles(1));
        EXPECT_TRUE(MemesValeurs({ph->mesure_1D(ph, 1)}, {c.valeur}));
        EXPECT_EQ(ph->numero_1D(ph, 1), ++numero);
    }
}

}  // namespace
