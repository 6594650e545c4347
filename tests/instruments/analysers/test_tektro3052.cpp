// "Tektronix TDS 3052" through its plugin table against the simulated oscilloscope: the
// defaults and the settings block, the set-up transcript of init with its time axes, the
// arming of start and the service-request cycle with its scaled vectors, stop, and every
// failure the plugin names; then the curve transfer byte by byte against a scripted device:
// scaling, short, odd, over-long and malformed blocks, unreadable preambles, and the bus kept
// in step.
#include "instruments/analysers/tektro3052.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui_test.h"
#include "sim/analysers/tds3052.h"
#include "sim/enregistreur.h"
#include "tests/instruments/analysers/test_tektro3052.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>
#include <tuple>
#include <string>
#include <vector>

namespace {

using namespace tek_essai;

const std::string kIdentite = "TEKTRONIX,TDS 3052,0,CF:91.1CT FV:v3.11 TDS3FFT:v1.00 TDS3TRG:v1.00";

// The set-up of a new instance, command by command.
const std::vector<std::string> kReglagesDefaut = {
    "ACQ:MOD SAM", "ACQ:NUMAV 2", "ACQ:NUME 512", "ACQ:STOPA SEQ", "CH1:BAN FULL", "CH2:BAN FULL",
    "CH1:COUP DC", "CH2:COUP DC", "CH1:IMP MEG", "CH2:IMP MEG", "CH1:INV 0", "CH2:INV 0",
    "CH1:OFF 0.000000", "CH2:OFF 0.000000", "CH1:PROBE 1.000000", "CH2:PROBE 1.000000",
    "CH1:SCA 1.000000", "CH2:SCA 1.000000", "HOR:DEL:STATE OFF", "HOR:MAI:SCA 1e-3", "HOR:RECORD 10000",
    "HOR:TRIG:POS 50", "MATH:DEFINE \"FFT(CH1,BLA,LOG)\"", "SEL:CH1 1", "SEL:CH2 0", "SEL:MATH 1",
    "TRIG:A:EDG:COUP DC", "TRIG:A:EDG:SLO FALL", "TRIG:A:EDG:SOU CH1", "TRIG:A:HOL:TIM 2.5e-7",
    "TRIG:A:LEV 0.000000", "TRIG:A:MOD NORM", "TRIG:A:TYP EDGE", "DAT:ENC SRP", "DAT:WID 2", "DAT:STAR 1",
    "DAT:STOP 10000"};

class Tek : public testing::Test {
public:  // the cases of a table reach the fixture
    void SetUp() override {
        horloge::UtiliserHorlogeFactice(1.0e9);
        ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << d; });
        ui_test::Effacer();
        sim::BusDeCarte(0)->Brancher(kAdresseDefaut, tds);
        tek = Nouvel_instrument("tektro3052.dll");
        ASSERT_NE(tek, nullptr);
    }
    void TearDown() override {
        if (tek) tek->liberer(tek);
        EXPECT_EQ(ui_test::ReponsesRestantes(), 0u);
        ui_test::DesactiverScript();
        horloge::UtiliserHorlogeReelle();
    }

    std::string Bloc() { return std::string(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc); }
    void Reel(std::size_t offset, float v) { std::memcpy(DebutBloc(tek) + offset, &v, 4); }
    int Init() { return tek->init(tek); }
    int Ud() { return LireEntierBloc(tek, kIdentificateur); }
    std::vector<double> Vecteur(int voie) {
        std::vector<double> v(static_cast<std::size_t>(tek->get_taille_voie2D(tek, voie)), -1.0);
        tek->mesure2D(tek, voie, v.data());
        return v;
    }
    std::vector<double> Abscisses(int voie) {
        std::vector<double> v(static_cast<std::size_t>(tek->get_taille_voie2D(tek, voie)), -1.0);
        tek->indices2D(tek, voie, v.data());
        return v;
    }
    std::string Nom(int voie) {
        char nom[kLongueurNomVoie] = "?";
        tek->get_nom_voie2D(tek, voie, nom);
        return nom;
    }
    unsigned Numero() { return tek->numero2D(tek, 1); }
    std::size_t Relances(const sim::Appareil &a) {
        const auto j = Journal(a);
        return static_cast<std::size_t>(std::count(j.begin(), j.end(), Ecrit("ACQ:STATE RUN;*OPC")));
    }
    // Completes the acquisition running on the oscilloscope and waits for its cycle to end
    // (the next one launched).
    void UneAcquisition() {
        const unsigned n = Numero();
        const std::size_t r = Relances(*tds);
        horloge::AvancerHorlogeFactice(0.05);
        ASSERT_TRUE(AttendreQue([&] { return Numero() == n + 1 && Relances(*tds) == r + 1; }));
    }
    // The only pop-up shown since the last Effacer.
    static void VuSeul(const std::string &titre, const std::string &message) {
        const auto vus = ui_test::Vus();
        ASSERT_EQ(vus.size(), 1u);
        EXPECT_EQ(vus[0].titre, titre);
        EXPECT_EQ(vus[0].message, message);
        ui_test::Effacer();
    }

    Carte0 carte;
    std::shared_ptr<sim::Tds3052> tds = std::make_shared<sim::Tds3052>();
    PInstrument *tek = nullptr;
};

// ---- the instance and its block ---------------------------------------------------------------

TEST_F(Tek, NewInstanceHasTheSetUpOfItsPanel) {
    char nom[kLongueurNomInstru] = "";
    tek->get_nom_instru(tek, nom);
    EXPECT_STREQ(nom, "Oscillo 500MHz");
    const ReponseMemoire m = DemanderMemoire(tek, 77);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(static_cast<const char *>(m.fin) - static_cast<const char *>(m.debut), kTailleBloc);
    EXPECT_EQ(m.taille, 77u) << "flag 0 leaves the size alone";
    EXPECT_EQ(LireEntierBloc(tek, kAdresse), 4);
    EXPECT_EQ(LireTexteBloc(tek, kAcqmod, 6), "SAM");
    EXPECT_EQ(LireEntierBloc(tek, kAcqnume), 512);
    EXPECT_EQ(LireTexteBloc(tek, kMathf, 6), "FFT");
    EXPECT_EQ(LireEntierBloc(tek, kHorrecord), 10000);
    EXPECT_EQ(LireEntierBloc(tek, kSelch1), 1);
    EXPECT_EQ(LireEntierBloc(tek, kSelch2), 0);
    EXPECT_EQ(LireEntierBloc(tek, kSelmath), 1);
    // Nothing is acquired before the first init; the vectors hold missing values.
    EXPECT_EQ(tek->nb_voie2D(tek), 0);
    EXPECT_EQ(Numero(), 0u);
    EXPECT_EQ(tek->get_taille_voie2D(tek, 1), 10000);
    EXPECT_TRUE(std::isnan(Vecteur(1)[0]));
    // Slots the oscilloscope does not offer.
    EXPECT_EQ(tek->status, nullptr);
    EXPECT_EQ(tek->execute, nullptr);
    EXPECT_EQ(tek->piloter, nullptr);
    EXPECT_EQ(tek->nb_voie_1D, nullptr);
    EXPECT_EQ(tek->nb_voie_calcul, nullptr);
    EXPECT_EQ(tek->nb_voie_calcul2D, nullptr);
}

TEST_F(Tek, NameKeepsItsFirst39Characters) {
    const std::string n39(39, 'a'), n45 = std::string(39, 'b') + "cdefgh";
    char nom[kLongueurNomInstru];
    tek->set_nom_instru(tek, n39.c_str());
    tek->get_nom_instru(tek, nom);
    EXPECT_EQ(nom, n39);
    tek->set_nom_instru(tek, n45.c_str());
    tek->get_nom_instru(tek, nom);
    EXPECT_EQ(nom, std::string(39, 'b'));
    EXPECT_EQ(DebutBloc(tek)[kNom + 39], 0);
}

// ---- init -------------------------------------------------------------------------------------

TEST_F(Tek, InitSendsTheSetUpAndReadsTheTimeAxesOfTheAcquiredSources) {
    EXPECT_EQ(Init(), 0) << "the board descriptor of GPIB0";
    std::vector<std::string> attendu = {"clear", Ecrit("HEADER ON"), Ecrit("VERB OFF"), Ecrit("*IDN?"),
                                        Lu(kIdentite + "\n")};
    for (const std::string &c : kReglagesDefaut) attendu.push_back(Ecrit(c));
    for (const auto &[source, points, xin, xze] :
         {std::tuple{"CH1", "10000", "1.0000000E-06", "-5.0000000E-03"},
          std::tuple{"MATH", "4096", "1.2207031E+02", "0.0000000E+00"}}) {
        for (const std::string &l :
             {Ecrit(std::string("DAT:SOU ") + source), Ecrit("WFMP:NR_P?"), Lu(std::string(":WFMP:NR_P ") + points + "\n"),
              Ecrit("WFMP:XIN?"), Lu(std::string(":WFMP:XIN ") + xin + "\n"), Ecrit("WFMP:XZE?"),
              Lu(std::string(":WFMP:XZE ") + xze + "\n")})
            attendu.push_back(l);
    }
    EXPECT_EQ(Journal(*tds), attendu);
    EXPECT_TRUE(tds->Erreurs().empty()) << tds->Erreurs().front().second;

    EXPECT_EQ(LireEntierBloc(tek, kStopInterruption), 0x800);
    EXPECT_EQ(Numero(), 0u);
    EXPECT_EQ(LireEntierBloc(tek, kVoieActive), 1);
    EXPECT_EQ(LireEntierBloc(tek, kVoieActive + 4), 0);
    EXPECT_EQ(LireEntierBloc(tek, kVoieActive + 8), 1);
    ASSERT_EQ(tek->nb_voie2D(tek), 2);
    EXPECT_EQ(Nom(1), "Channel 1");
    EXPECT_EQ(Nom(2), "Math");
    EXPECT_EQ(Nom(3), "");
    EXPECT_EQ(Nom(0), "");
    // Abscissae from the single-precision forms of XZE and XIN.
    const std::vector<double> t = Abscisses(1);
    ASSERT_EQ(t.size(), 10000u);
    EXPECT_EQ(t[0], static_cast<double>(-5e-3f));
    EXPECT_EQ(t[9999], static_cast<double>(-5e-3f) + static_cast<double>(1e-6f) * 9999);
    const std::vector<double> f = Abscisses(2);
    EXPECT_EQ(f[1], static_cast<double>(122.07031f));
    EXPECT_EQ(f[4095], static_cast<double>(122.07031f) * 4095);
    EXPECT_EQ(f[4096], 0.0) << "beyond the points reported, the row keeps what it held";
}

// Each setting turns into its command: texts as stored, floats with six decimals, the
// horizontal scale as mantissa e exponent, the math trace as an FFT or an operation.
TEST_F(Tek, SetUpCommandsFollowTheSettings) {
    const struct {
        const char *nom;
        std::function<void(Tek &)> regler;
        std::vector<std::string> envoyes;
    } cas[] = {
        {"probe 10", [](Tek &t) { t.Reel(kCh1probe, 10.0f); }, {"CH1:PROBE 10.000000"}},
        {"scale 0.001", [](Tek &t) { t.Reel(kCh2sca, 0.001f); }, {"CH2:SCA 0.001000"}},
        {"offset -1.5", [](Tek &t) { t.Reel(kCh1off, -1.5f); }, {"CH1:OFF -1.500000"}},
        {"4 us", [](Tek &t) {
             EcrireEntierBloc(t.tek, kHormaisca, 4);
             EcrireEntierBloc(t.tek, kHorUnit, -6);
         }, {"HOR:MAI:SCA 4e-6"}},
        {"10 s", [](Tek &t) {
             EcrireEntierBloc(t.tek, kHormaisca, 10);
             EcrireEntierBloc(t.tek, kHorUnit, 0);
         }, {"HOR:MAI:SCA 10e0"}},
        {"FFT of CH2", [](Tek &t) {
             EcrireTexteBloc(t.tek, kMath1, 6, "CH2");
             EcrireTexteBloc(t.tek, kLinlog, 6, "LIN");
             EcrireTexteBloc(t.tek, kFenetre, 6, "HAN");
         }, {"MATH:DEFINE \"FFT(CH2,HAN,LIN)\""}},
        {"division", [](Tek &t) {
             EcrireTexteBloc(t.tek, kMathf, 6, "/");
             EcrireTexteBloc(t.tek, kMath2, 6, "CH2");
         }, {"MATH:DEFINE \"CH1/CH2\""}},
        {"difference", [](Tek &t) {
             EcrireTexteBloc(t.tek, kMathf, 6, "-");
             EcrireTexteBloc(t.tek, kMath1, 6, "CH2");
         }, {"MATH:DEFINE \"CH2-CH1\""}},
        {"infinite envelope", [](Tek &t) { EcrireEntierBloc(t.tek, kAcqnume, 0); }, {"ACQ:NUME 0"}},
        {"500 points", [](Tek &t) { EcrireEntierBloc(t.tek, kHorrecord, 500); }, {"HOR:RECORD 500", "DAT:STOP 500"}},
        {"line trigger", [](Tek &t) {
             EcrireTexteBloc(t.tek, kTrigaedgsou, 6, "LINE");
             EcrireTexteBloc(t.tek, kTrigaedgslo, 6, "RIS");
             t.Reel(kTrigalev, 0.1f);
         }, {"TRIG:A:EDG:SLO RIS", "TRIG:A:EDG:SOU LINE", "TRIG:A:LEV 0.100000"}},
        // A full 6-byte field from a file has no terminator: five characters at most are sent.
        {"unterminated word", [](Tek &t) { std::memcpy(DebutBloc(t.tek) + kAcqmod, "ENVXYZ", 6); },
         {"ACQ:MOD ENVXY"}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        tek->liberer(tek);
        tek = Nouvel_instrument("tektro3052.dll");
        tds->EffacerJournal();
        c.regler(*this);
        ASSERT_GE(Init(), 0);
        const std::vector<std::string> j = Journal(*tds);
        for (const std::string &e : c.envoyes) EXPECT_NE(std::find(j.begin(), j.end(), Ecrit(e)), j.end()) << e;
    }
}

// Which sources are acquired, how their time axes pack into the rows, and one rule for
// "acquired": any selection but 0 (a 2 from a file counts).
TEST_F(Tek, AcquiredSourcesPackTheirRowsInOrder) {
    const struct {
        std::int32_t ch1, ch2, math;
        std::vector<std::string> noms;
    } cas[] = {
        {0, 1, 1, {"Channel 2", "Math"}},
        {0, 0, 1, {"Math"}},
        {1, 1, 1, {"Channel 1", "Channel 2", "Math"}},
        {0, 0, 0, {}},
        {2, 0, 0, {"Channel 1"}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::Message() << c.ch1 << c.ch2 << c.math);
        EcrireEntierBloc(tek, kSelch1, c.ch1);
        EcrireEntierBloc(tek, kSelch2, c.ch2);
        EcrireEntierBloc(tek, kSelmath, c.math);
        tds->EffacerJournal();
        ASSERT_GE(Init(), 0);
        const std::vector<std::string> j = Journal(*tds);
        EXPECT_NE(std::find(j.begin(), j.end(), Ecrit(std::string("SEL:CH1 ") + (c.ch1 ? "1" : "0"))), j.end());
        EXPECT_NE(std::find(j.begin(), j.end(), Ecrit(std::string("SEL:MATH ") + (c.math ? "1" : "0"))), j.end());
        EXPECT_EQ(LireEntierBloc(tek, kVoieActive), c.ch1 ? 1 : 0);
        ASSERT_EQ(tek->nb_voie2D(tek), static_cast<int>(c.noms.size()));
        std::vector<std::string> sources;
        for (const std::string &l : j)
            if (l.starts_with("> DAT:SOU ")) sources.push_back(l.substr(10, l.size() - 12));
        for (std::size_t k = 0; k < c.noms.size(); ++k) {
            EXPECT_EQ(Nom(static_cast<int>(k) + 1), c.noms[k]);
            // Row k holds the axis of the k-th source read: the math one is a frequency axis.
            const double premier = Abscisses(static_cast<int>(k) + 1)[0];
            EXPECT_EQ(premier == 0.0, c.noms[k] == "Math") << premier;
        }
        EXPECT_EQ(sources.size(), c.noms.size());
        EXPECT_EQ(Nom(static_cast<int>(c.noms.size()) + 1), "");
        // Acquired, counted and read with its curve in the same row order; with no source the
        // cycle still counts and relaunches.
        ASSERT_GE(tek->start(tek), 0);
        UneAcquisition();
        for (std::size_t k = 0; k < c.noms.size(); ++k) {
            const int source = c.noms[k] == "Channel 1" ? 0 : c.noms[k] == "Channel 2" ? 1 : 2;
            const std::vector<double> v = Vecteur(static_cast<int>(k) + 1);
            const std::vector<double> attendu = tds->Trace(source);
            for (std::size_t i = 0; i < attendu.size(); i += 997) ASSERT_NEAR(v[i], attendu[i], 1e-6) << i;
        }
        tek->stop(tek);
    }
}

TEST_F(Tek, InitFailuresSayWhyAndChangeNothing) {
    const struct {
        const char *nom;
        std::function<void(Tek &)> panne;
        const char *titre;  // null: init succeeds
        std::string message;
    } cas[] = {
        {"no board", [](Tek &t) { t.carte.Configurer(false); }, "Problème de carte"_w, "Carte GPIB non détectée"_w},
        {"no listener", [](Tek &t) {
             sim::BusDeCarte(0)->Debrancher(kAdresseDefaut);
             sim::BusDeCarte(0)->Brancher(5, t.tds);
         }, "PAS BON", "Il faudrait penser à brancher l'oscilloscope à l'adresse 4 !!!"_w},
        {"address out of range", [](Tek &t) { EcrireEntierBloc(t.tek, kAdresse, 31); }, "PAS BON",
         "Il faudrait penser à brancher l'oscilloscope à l'adresse 31 !!!"_w},
        {"another model", [](Tek &t) { t.tds->FixerIdentite("TEKTRONIX,TDS 3054,0,CF:91.1CT"); }, "Erreur",
         "Modèle non supporté par ce module !"_w},
        {"silent", [](Tek &t) {
             sim::Defauts d;
             d.muet = true;
             t.tds->FixerDefauts(d);
         }, "Erreur", "Modèle non supporté par ce module !"_w},
        {"a 3052B", [](Tek &t) { t.tds->FixerIdentite("TEKTRONIX,TDS 3052B,0,CF:91.1CT"); }, nullptr, ""},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        carte.Configurer(true);
        tds = std::make_shared<sim::Tds3052>();
        sim::BusDeCarte(0)->Brancher(kAdresseDefaut, tds);
        tek->liberer(tek);
        tek = Nouvel_instrument("tektro3052.dll");
        c.panne(*this);
        const std::string avant = Bloc();
        if (c.titre) ui_test::Repondre(ui_test::Popup::Message);
        const int r = Init();
        if (!c.titre) {
            EXPECT_GE(r, 0);
            EXPECT_TRUE(ui_test::Vus().empty());
            continue;
        }
        EXPECT_EQ(r, -1);
        VuSeul(c.titre, c.message);
        EXPECT_EQ(Bloc(), avant) << "a failed init leaves the record as it was";
    }
}

// ---- start, the cycle, stop -------------------------------------------------------------------

TEST_F(Tek, StartArmsAndEachCompletionIsReadScaledCountedAndRelaunched) {
    tds->FixerSignal(1, {sim::SignalTds::Forme::Sinus, 2000.0, 1.5, 0.2, 0.01});
    ASSERT_GE(Init(), 0);
    tds->EffacerJournal();
    EXPECT_EQ(tek->start(tek) & ERR, 0);
    EXPECT_EQ(Journal(*tds), (std::vector<std::string>{Ecrit("DESE 1"), Ecrit("*ESE 1"), Ecrit("*SRE 32"),
                                                        Ecrit("*ESR?"), Lu("+0\n"), Ecrit("ACQ:STATE RUN;*OPC")}));
    tds->EffacerJournal();
    UneAcquisition();
    // The preamble replies depend on the waveform: each shows as "< reply".
    std::vector<std::string> j = Journal(*tds);
    for (std::size_t i = 1; i < j.size(); ++i)
        if (j[i - 1].starts_with("> WFMP:Y") && j[i].starts_with("< ") && j[i].ends_with(" END")) j[i] = "< reply";
    std::vector<std::string> attendu = {"poll"};
    for (const char *source : {"CH1", "MATH"}) {
        const std::size_t points = tds->Trace(source[0] == 'C' ? 0 : 2).size();
        for (const std::string &l :
             {Ecrit(std::string("DAT:SOU ") + source), Ecrit("CURVE?"), std::string("< 7"), std::string("< 1"),
              "< " + std::to_string(std::to_string(2 * points).size()), "< " + std::to_string(2 * points),
              std::string("< 1 END"), Ecrit("WFMP:YOF?"), std::string("< reply"), Ecrit("WFMP:YMU?"),
              std::string("< reply"), Ecrit("WFMP:YZE?"), std::string("< reply")})
            attendu.push_back(l);
    }
    for (const std::string &l : {Ecrit("*ESR?"), Lu("+1\n"), Ecrit("ACQ:STATE RUN;*OPC")}) attendu.push_back(l);
    EXPECT_EQ(j, attendu);
    EXPECT_EQ(Numero(), 1u);
    EXPECT_EQ(tek->numero2D(tek, 2), 1u);
    EXPECT_EQ(tek->numero2D(tek, 7), 1u) << "one counter for every channel number";

    // The channel holds the sine the oscilloscope saw: the trigger level falling at the trigger
    // point, the offset and the amplitude; the math row the spectrum, with its peak at 2 kHz.
    for (int k = 0; k < 3; ++k) {
        const std::vector<double> v = Vecteur(1), attendu_ch1 = tds->Trace(0);
        ASSERT_EQ(v.size(), 10000u);
        for (std::size_t i = 0; i < v.size(); ++i) ASSERT_NEAR(v[i], attendu_ch1[i], 1e-6) << i;
        EXPECT_NEAR(v[5000], 0.0, 0.05);
        EXPECT_LT(v[5100], v[4900]);
        EXPECT_NEAR(*std::max_element(v.begin(), v.end()), 1.7, 0.06);
        const std::vector<double> s = Vecteur(2), f = Abscisses(2);
        const auto pic = std::max_element(s.begin(), s.begin() + 4096) - s.begin();
        EXPECT_NEAR(f[static_cast<std::size_t>(pic)], 2000.0, 123.0);
        EXPECT_EQ(Numero(), static_cast<unsigned>(k + 1));
        UneAcquisition();
    }
    tek->stop(tek);
}

TEST_F(Tek, StopLetsTheNextCompletionRunItsWholeCycleThenEnds) {
    ASSERT_GE(Init(), 0);
    ASSERT_GE(tek->start(tek), 0);
    UneAcquisition();
    tek->stop(tek);
    EXPECT_EQ(LireEntierBloc(tek, kStopInterruption), 0);
    tek->stop(tek);
    EXPECT_EQ(LireEntierBloc(tek, kStopInterruption), 0);
    UneAcquisition();  // read, counted and relaunched all the same
    EXPECT_EQ(Numero(), 2u);
    // The acquisition it launched completes on the instrument, and nothing answers it.
    const std::size_t avant = tds->Journal().size();
    horloge::AvancerHorlogeFactice(0.05);
    ASSERT_TRUE(AttendreQue([&] { return tds->DemandeService(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Numero(), 2u);
    EXPECT_EQ(tds->Journal().size(), avant);
}

// A notification with the error bit alone ends the cycle without a word to the instrument; the
// error bit with RQS is an ordinary completion.
TEST_F(Tek, ErrorStatusEndsTheCycleSilently) {
    ASSERT_GE(Init(), 0);
    ASSERT_GE(tek->start(tek), 0);
    UneAcquisition();
    sim::Defauts d;
    d.notificationForcee = ERR | RQS;
    const std::size_t r = Relances(*tds);
    tds->FixerDefauts(d);
    ASSERT_TRUE(AttendreQue([&] { return Numero() == 2 && Relances(*tds) == r + 1; }));
    d.notificationForcee = ERR;
    tds->FixerDefauts(d);
    const std::size_t avant = tds->Journal().size();
    ASSERT_TRUE(AttendreQue([&] { return tds->LireDefauts().notificationForcee == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(tds->Journal().size(), avant);
    EXPECT_EQ(Numero(), 2u);
    // The vectors keep the last acquisition.
    EXPECT_FALSE(std::isnan(Vecteur(1)[0]));
}

TEST_F(Tek, StartFailuresSayWhy) {
    const struct {
        const char *nom;
        std::function<void(sim::Defauts &)> panne;
        std::string message;
        bool moins_un;  // the result is -1 rather than the failed write's status
    } cas[] = {
        {"unplugged", [](sim::Defauts &d) { d.debranche = true; }, "Impossible d'initialiser l'interruption (tektro)", false},
        {"notification refused", [](sim::Defauts &d) { d.notificationRefusee = true; }, "Impossible d'initialiser le tektro", true},
        {"run refused", [](sim::Defauts &d) { d.ecritureRefusee = "ACQ:STATE RUN"; }, "Impossible de lancer une mesure", false},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        tds->FixerDefauts({});
        ASSERT_GE(Init(), 0);
        sim::Defauts d;
        c.panne(d);
        tds->FixerDefauts(d);
        ui_test::Repondre(ui_test::Popup::Message);
        const int r = tek->start(tek);
        EXPECT_NE(r & ERR, 0);
        if (c.moins_un) {
            EXPECT_EQ(r, -1);
        }
        VuSeul("Attention !!!", c.message);
    }
    // After the refused run, nothing was left armed: a service request reaches no callback.
    tds->FixerDefauts({});
    const std::size_t avant = tds->Journal().size();
    ibwrt(Ud(), "*OPC", 4);
    ASSERT_TRUE(AttendreQue([&] { return tds->DemandeService(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(tds->Journal().size(), avant + 1);
    EXPECT_EQ(Numero(), 0u);
}

// A new start while the previous cycle still waits for its last acquisition: the old device is
// taken offline by init, and one cycle only drives the instrument.
TEST_F(Tek, NewInitEndsTheCycleOfThePreviousRun) {
    ASSERT_GE(Init(), 0);
    const int ancien = Ud();
    ASSERT_GE(tek->start(tek), 0);
    tek->stop(tek);
    ASSERT_GE(Init(), 0);
    EXPECT_NE(Ud(), ancien);
    char octet = 0;
    EXPECT_NE(ibrsp(ancien, &octet) & ERR, 0) << "the old device is offline";
    ASSERT_GE(tek->start(tek), 0);
    tds->EffacerJournal();
    UneAcquisition();
    const auto j = Journal(*tds);
    EXPECT_EQ(std::count(j.begin(), j.end(), "poll"), 1);
    EXPECT_EQ(Numero(), 1u);
    tek->stop(tek);
}

// Freeing the instrument while its callback waits on a silent oscilloscope ends the callback
// at once rather than after the reads' time-outs.
TEST_F(Tek, LibererDuringABlockedCycleReturnsAtOnce) {
    horloge::UtiliserHorlogeReelle();
    ASSERT_GE(Init(), 0);
    ASSERT_GE(tek->start(tek), 0);
    sim::Defauts d;
    d.lecturesSansReponse = 1000;
    tds->FixerDefauts(d);
    // The acquisition ends in a few milliseconds; the callback then waits on its first read.
    ASSERT_TRUE(AttendreQue([&] {
        const auto j = Journal(*tds);
        return std::find(j.begin(), j.end(), Ecrit("CURVE?")) != j.end();
    }));
    const auto debut = std::chrono::steady_clock::now();
    tek->liberer(tek);
    tek = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(3));
}

// ---- the record length (taken at init) --------------------------------------------------------

TEST_F(Tek, RecordLengthIsTakenAtInitAndBounded) {
    ASSERT_GE(Init(), 0);
    EcrireEntierBloc(tek, kHorrecord, 500);  // OK pressed during the acquisition
    EXPECT_EQ(tek->get_taille_voie2D(tek, 1), 10000);
    EXPECT_EQ(Vecteur(1).size(), 10000u);
    ASSERT_GE(Init(), 0);
    EXPECT_EQ(tek->get_taille_voie2D(tek, 1), 500);
    EXPECT_EQ(tek->get_taille_voie2D(tek, 3), 500) << "the same for every channel number";

    // Out of range in a loaded block: the transfer and the vectors stay within a row.
    for (const auto &[stocke, points] : {std::pair{0, 1}, std::pair{20000, 10000}, std::pair{-7, 1}}) {
        EcrireEntierBloc(tek, kHorrecord, stocke);
        tds->EffacerJournal();
        ASSERT_GE(Init(), 0);
        const auto j = Journal(*tds);
        EXPECT_NE(std::find(j.begin(), j.end(), Ecrit("DAT:STOP " + std::to_string(points))), j.end());
        EXPECT_EQ(tek->get_taille_voie2D(tek, 1), points);
    }
}

// Rows exist for channels 1 to 3 only: another number copies nothing.
TEST_F(Tek, VectorsOfChannelsThatDoNotExistCopyNothing) {
    ASSERT_GE(Init(), 0);
    for (const int voie : {0, 4, -1}) {
        std::vector<double> v(10000, 7.0);
        tek->mesure2D(tek, voie, v.data());
        tek->indices2D(tek, voie, v.data());
        EXPECT_EQ(v[0], 7.0);
        EXPECT_EQ(v[9999], 7.0);
    }
}

// ---- the curve transfer, byte by byte ---------------------------------------------------------

std::string Le16(std::initializer_list<unsigned> echantillons) {
    std::string s;
    for (const unsigned e : echantillons) {
        s += static_cast<char>(e & 0xFF);
        s += static_cast<char>((e >> 8) & 0xFF);
    }
    return s;
}

// A scripted oscilloscope: the identity and time axis of `init`, and fixed replies to the
// curve and preamble queries.
std::shared_ptr<sim::Enregistreur> Scripte(const std::string &courbe, const std::string &ymu = "9.765625E-4",
                                           const std::string &points = "10000", const std::string &xze = "-2.0E-6") {
    auto e = std::make_shared<sim::Enregistreur>();
    e->Programmer("*IDN?", "TEKTRONIX,TDS 3052,0,CF:91.1CT\n");
    e->Programmer("WFMP:NR_P?", ":WFMP:NR_P " + points + "\n");
    e->Programmer("WFMP:XIN?", ":WFMP:XIN 4.0E-10\n");
    e->Programmer("WFMP:XZE?", ":WFMP:XZE " + xze + "\n");
    e->Programmer("CURVE?", courbe);
    e->Programmer("WFMP:YOF?", ":WFMP:YOF 3.2768E+4\n");
    e->Programmer("WFMP:YMU?", ":WFMP:YMU " + ymu + "\n");
    e->Programmer("WFMP:YZE?", ":WFMP:YZE 5.0E-1\n");
    e->Programmer("*ESR?", "+1\n");
    return e;
}

class Transfert : public Tek {
protected:
    // Channel 1 alone, against `e`; one cycle run by a call of the callback.
    void Cycle(const std::shared_ptr<sim::Enregistreur> &e) {
        dernier = e;
        sim::BusDeCarte(0)->Brancher(kAdresseDefaut, e);
        EcrireEntierBloc(tek, kSelmath, 0);
        ASSERT_GE(Init(), 0);
        e->EffacerJournal();
        const unsigned n = Numero();
        EXPECT_EQ(CB_interruption_tek(Ud(), RQS | CMPL, 0, 0, tek->structure), RQS | TIMO) << "re-armed with the time-out too";
        EXPECT_EQ(Numero(), n + 1);
    }
    // The reads of the cycle's curve transfer (after the poll and the two writes).
    static std::vector<std::string> Lectures(const sim::Appareil &a) {
        std::vector<std::string> l;
        for (const std::string &s : Journal(a)) {
            if (s.starts_with("> WFMP:YOF")) break;
            if (s.starts_with("< ")) l.push_back(s);
        }
        return l;
    }

    std::shared_ptr<sim::Enregistreur> dernier;  // the device of the last cycle
};

TEST_F(Transfert, ScalingFromThePreamble) {
    auto e = Scripte(":CURV #16" + Le16({0, 32768, 65535}) + "\n");
    Cycle(e);
    EXPECT_EQ(Lectures(*e), (std::vector<std::string>{"< 7", "< 1", "< 1", "< 6", "< 1 END"}));
    const std::vector<double> v = Vecteur(1);
    EXPECT_EQ(v[0], -31.5);
    EXPECT_EQ(v[1], 0.5);
    EXPECT_EQ(v[2], 32.4990234375);
    EXPECT_TRUE(std::isnan(v[3])) << "points not sent keep what they held";
    // YMU 0.001 is held as the nearest float.
    Cycle(Scripte(":CURV #12" + Le16({0}) + "\n", "1.0E-3"));
    EXPECT_EQ(Vecteur(1)[0], -32.268001556396484);
    // The abscissae of init, from the single-precision XZE and XIN.
    EXPECT_EQ(Abscisses(1)[9999], static_cast<double>(-2e-6f) + 9999 * static_cast<double>(4e-10f));
}

// A block of fewer points than the record, an odd byte count, a block beyond the row, and a
// reply that ends before its announced length: the points received are scaled, the rest of the
// row keeps its values, and the preamble that follows is read in step.
TEST_F(Transfert, BlocksOfEveryLength) {
    std::string mille;
    for (int i = 0; i < 1000; ++i) mille += Le16({32768 + 1024});
    Cycle(Scripte(":CURV #42000" + mille + "\n"));
    EXPECT_EQ(Lectures(*dernier), (std::vector<std::string>{"< 7", "< 1", "< 4", "< 2000", "< 1 END"}));
    std::vector<double> v = Vecteur(1);
    ASSERT_EQ(v.size(), 10000u);
    EXPECT_EQ(v[0], 1.5);
    EXPECT_EQ(v[999], 1.5);
    EXPECT_TRUE(std::isnan(v[1000]));
    EXPECT_TRUE(std::isnan(v[9999]));

    // Odd: the last byte is read and not converted.
    Cycle(Scripte(":CURV #15" + Le16({32768, 32768 + 2048}) + "\x7f\n"));
    EXPECT_EQ(Lectures(*dernier), (std::vector<std::string>{"< 7", "< 1", "< 1", "< 5", "< 1 END"}));
    v = Vecteur(1);
    EXPECT_EQ(v[0], 0.5);
    EXPECT_EQ(v[1], 2.5);
    EXPECT_EQ(v[2], 1.5) << "held from the block before";

    // Beyond the row: 10000 points kept, the surplus read off.
    std::string trop;
    for (int i = 0; i < 10005; ++i) trop += Le16({static_cast<unsigned>(32768 + i % 7)});
    Cycle(Scripte(":CURV #520010" + trop + "\n"));
    const auto l = Lectures(*dernier);
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[3], "< 20000");
    EXPECT_EQ(l.back().substr(l.back().size() - 3), "END");
    v = Vecteur(1);
    EXPECT_EQ(v[9999], (9999 % 7) * 0.0009765625 + 0.5);
    EXPECT_EQ(dernier->SortieEnAttente(), "");

    // Announced 2000 bytes, sent 100 and the terminator: 50 points.
    std::string cent;
    for (int i = 0; i < 50; ++i) cent += Le16({32768});
    Cycle(Scripte(":CURV #42000" + cent + "\n"));
    EXPECT_EQ(Lectures(*dernier), (std::vector<std::string>{"< 7", "< 1", "< 4", "< 101 END"}));
    v = Vecteur(1);
    EXPECT_EQ(v[49], 0.5);
    EXPECT_EQ(v[50], (50 % 7) * 0.0009765625 + 0.5) << "held from the block before";
}

// A block header that does not parse, and a preamble that does not (a word such as "INF" is no
// number): the row's points are missing rather than stale, the acquisition is counted, and the
// bus stays in step.
TEST_F(Transfert, UnreadableCurvesMakeMissingPoints) {
    const struct {
        const char *nom;
        std::string courbe;
        std::string ymu;
    } cas[] = {
        {"no digit", ":CURV #X12" + Le16({1, 2}) + "\n", "9.765625E-4"},
        {"no length digits", ":CURV #0" + Le16({1, 2}) + "\n", "9.765625E-4"},
        {"length not all digits", ":CURV #412ab" + Le16({1, 2, 3, 4, 5, 6}) + "\n", "9.765625E-4"},
        {"reply cut short", ":CURV\n", "9.765625E-4"},
        {"preamble", ":CURV #14" + Le16({1, 2}) + "\n", "?"},
        {"preamble holding a word", ":CURV #14" + Le16({1, 2}) + "\n", "INF"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        Cycle(Scripte(":CURV #12" + Le16({32768}) + "\n"));
        EXPECT_EQ(Vecteur(1)[0], 0.5);
        Cycle(Scripte(c.courbe, c.ymu));
        const std::vector<double> v = Vecteur(1);
        EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); }));
        EXPECT_EQ(dernier->SortieEnAttente(), "");
        const auto j = Journal(*dernier);
        EXPECT_EQ(j.back(), Ecrit("ACQ:STATE RUN;*OPC"));
    }
}

// A point count beyond the row fills the row and no further; one that does not parse writes
// nothing.
TEST_F(Transfert, TimeAxisIsBoundedToTheRow) {
    sim::BusDeCarte(0)->Brancher(kAdresseDefaut, Scripte("", "1", "20000"));
    EcrireEntierBloc(tek, kSelmath, 0);
    ASSERT_GE(Init(), 0);
    EXPECT_EQ(Abscisses(1)[9999], static_cast<double>(-2e-6f) + 9999 * static_cast<double>(4e-10f));
    sim::BusDeCarte(0)->Brancher(kAdresseDefaut, Scripte("", "1", "beaucoup", "7.0E+0"));
    ASSERT_GE(Init(), 0);
    EXPECT_EQ(Abscisses(1)[0], static_cast<double>(-2e-6f));
}

}  // namespace
