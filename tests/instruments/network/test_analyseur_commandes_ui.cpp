// "Anritsu MS4623B": its command language on the bus (what the analyser becomes, the trace-file
// copy, a command waiting for a measurement cycle in progress), the configuration panel's
// dimming, RAZ and read-back against the simulated analyser, and a sequencer script driving the
// analyser during an acquisition started from the main panel.
#include "app/Interface.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "instruments/network/Analyseur_reseau.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bus.h"
#include "tests/instruments/network/analyseur_essai.h"
#include "tests/instruments/network/analyseur_instance.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"
#include "uir/UIR_analyseur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace analyseur_essai;

const std::string N(1, '\0');

// Every write the analyser received, in order.
Lignes Ecritures(const sim::Appareil &a) { return a.Ecritures(); }

// Position of the first write `octets` at or after `debut` (the writes' count when none).
std::size_t Position(const Lignes &ecrits, const std::string &octets, std::size_t debut = 0) {
    return static_cast<std::size_t>(std::find(ecrits.begin() + static_cast<long>(debut), ecrits.end(), octets) - ecrits.begin());
}

// The current directory is one of the test's while it runs (trace files land there).
class DossierCourant {
public:
    explicit DossierCourant(const std::filesystem::path &dossier) : precedent_(std::filesystem::current_path()) {
        std::filesystem::current_path(dossier);
    }
    ~DossierCourant() { std::filesystem::current_path(precedent_); }
    DossierCourant(const DossierCourant &) = delete;
    DossierCourant &operator=(const DossierCourant &) = delete;

private:
    std::filesystem::path precedent_;
};

// ---- the command language on the bus --------------------------------------------------------------

TEST_F(Analyseur, ExecuteWritesItsCommandsAndTheAnalyserFollows) {
    a->execute(a, "FWTG");
    EXPECT_TRUE(Sim().Journal().empty()) << "no analyser opened before the first init";

    Regler(1, 3, 1, 1, 1);
    ASSERT_EQ(a->init(a), 0);
    struct Cas {
        const char *commande;
        Lignes ecrits;
    } const cas[] = {
        {"twtg", {"TBP", "GON" + N}},
        {"GATE_START=1e-9", {"GST 1.000000e-09"}},
        {"GATE_STOP= 3e-9", {"GSP 3.000000e-09"}},
        {"RANGE_START=0", {"ZST 0.000000e+00"}},
        {"RANGE_STOP=2e-8", {"ZSP 2.000000e-08"}},
        {"LOG S11", {"CH1;S11;MAG"}},
        {"lin s22", {"CH1;S22;LIN" + N}},
        {"LOGPHASE S21", {}},  // the acquisition reads one value a point
        {"GATE_START=", {}},
        {"bonjour", {}},
    };
    for (const Cas &c : cas) {
        Sim().EffacerJournal();
        a->execute(a, c.commande);
        EXPECT_EQ(Ecritures(Sim()), c.ecrits) << c.commande;
    }
    const sim::MS4623B::Reglages r = Sim().LireReglages();
    EXPECT_EQ(r.domaine, sim::MS4623B::Domaine::Temps);
    EXPECT_EQ(r.porte, sim::MS4623B::Porte::Marche);
    EXPECT_EQ(r.porteDebut, 1e-9);
    EXPECT_EQ(r.porteFin, 3e-9);
    EXPECT_EQ(r.plageFin, 2e-8);
    EXPECT_EQ(r.parametre, 22);
    EXPECT_EQ(r.format, sim::MS4623B::Format::LinMag);
    EXPECT_TRUE(Sim().Erreurs().empty()) << "every command was understood";
    EXPECT_EQ(LireEntierBloc(a, kFreqTemp), 1) << "the settings block stays as it was";
    EXPECT_EQ(LireReel(a, kGateStart), 0.0f);

    // The display family is the one of the acquisition the last init started, whatever a panel
    // confirmed since.
    EcrireEntierBloc(a, kConfiguration, 5);
    Sim().EffacerJournal();
    a->execute(a, "LOGPHASE S21");
    a->execute(a, "PHASE S21");
    EXPECT_EQ(Ecritures(Sim()), (Lignes{"CH1;S21;PHA" + N}));
}

TEST_F(Analyseur, SaveCopiesTheTraceFileDuringAnAcquisition) {
    const DossierCourant ici(banc->Dossier());
    Regler(5, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    a->execute(a, "save essai1");
    const std::optional<std::string> copie = Sim().FichierSupprime("C:\\ESSAI1");
    ASSERT_TRUE(copie.has_value());
    EXPECT_EQ(copie->substr(0, 25), "MS4623B S21 MPH FQD 401\r\n");
    EXPECT_EQ(LireFichier(banc->Dossier() / "ESSAI1"), *copie);
    EXPECT_FALSE(Sim().Fichier("C:\\ESSAI1").has_value());
    const Lignes ecrits = Ecritures(Sim());
    const std::size_t save = Position(ecrits, "SAVE \"C:\\ESSAI1\"");
    ASSERT_LT(save + 2, ecrits.size());
    EXPECT_EQ(ecrits[save + 1], "DISKRD \"C:\\ESSAI1\"");
    EXPECT_EQ(ecrits[save + 2], "DEL \"C:\\ESSAI1\"");
    // The acquisition goes on.
    Cycle(2);
    EXPECT_EQ(a->numero2D(a, 1), 2u);
}

// On the real clock, sped up: a trace whose reply stops half-way holds its cycle, and the device
// lock, for the read's time-out (10 program seconds, 0.1 s here).
class AnalyseurTempsReel : public Analyseur {
protected:
    AnalyseurTempsReel() : Analyseur(false) {}
    void SetUp() override {
        horloge::FixerVitesse(100.0);
        Analyseur::SetUp();
        if (HasFatalFailure()) return;
        Sim().FixerDureeBalayage(50.0);  // 0.5 s between cycles
    }
    void TearDown() override {
        Analyseur::TearDown();
        horloge::UtiliserHorlogeReelle();
    }
    // An acquisition whose first cycle is held in its trace read when this returns.
    void CycleRetenu() {
        Regler(1, 3, 1, 1, 1);
        Sim().RemplacerReponse("OFD", "#3190" + std::string(50, ' '), false);
        ASSERT_EQ(a->init(a), 0);
        ASSERT_EQ(a->start(a) & 0x8000, 0);
        ASSERT_TRUE(AttendreQue([&] {
            const Lignes t = Transcription(Sim());
            return std::find(t.begin(), t.end(), "< 190") != t.end();
        }));
    }
};

TEST_F(AnalyseurTempsReel, ACommandWaitsForTheCycleInProgress) {
    CycleRetenu();
    a->execute(a, "FWTG");
    const Lignes ecrits = Ecritures(Sim());
    const std::size_t relance = Position(ecrits, kRelance, Position(ecrits, "OFD"));
    ASSERT_LT(relance + 2, ecrits.size());
    EXPECT_EQ(ecrits[relance + 1], "FGT") << "written once the cycle launched the next sweep";
    EXPECT_EQ(ecrits[relance + 2], "GON" + N);
    a->stop(a);
}

TEST_F(AnalyseurTempsReel, ReadBackWaitsForTheCycleInProgress) {
    const int p = PanneauCharge([&] { a->configure(a); });
    CycleRetenu();
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_recup), 0);
    const Lignes ecrits = Ecritures(Sim());
    const std::size_t relance = Position(ecrits, kRelance, Position(ecrits, "OFD"));
    ASSERT_LT(relance + 1, ecrits.size());
    EXPECT_EQ(ecrits[relance + 1], "GOF?") << "the queries come after the cycle";
    EXPECT_EQ(Position(ecrits, "GOF?"), relance + 1);
    EXPECT_TRUE(ui_test::Vus().empty());
    a->stop(a);
}

// ---- the configuration panel ----------------------------------------------------------------------

// Range: Range Start and Range Stop; gate: Gate Start, Gate Stop and the gate mode.
struct Grisage {
    bool plage, porte;
    bool operator==(const Grisage &) const = default;
};
Grisage Grisages(int p) {
    const bool plage = Grise(p, PANEL_START);
    EXPECT_EQ(Grise(p, PANEL_STOP), plage);
    const bool porte = Grise(p, PANEL_START_2);
    EXPECT_EQ(Grise(p, PANEL_STOP_2), porte);
    EXPECT_EQ(Grise(p, PANEL_SWEEP_4), porte);
    return {plage, porte};
}

TEST_F(Analyseur, TheDomainDimsTheControlsItDoesNotUse) {
    struct Cas {
        int element, domaine;
        Grisage grise;
    } const cas[] = {{0, 0, {true, true}}, {1, 1, {true, true}}, {3, 2, {false, false}}, {2, 3, {true, false}}};
    // A panel opens with the dimming of the domain it shows.
    for (const Cas &c : cas) {
        EcrireEntierBloc(a, kFreqTemp, c.domaine);
        const int p = PanneauCharge([&] { a->configure(a); });
        EXPECT_EQ(Grisages(p), c.grise) << "opened on domain " << c.domaine;
        DiscardPanel(p);
    }
    EcrireEntierBloc(a, kFreqTemp, 0);
    const int p = PanneauCharge([&] { a->configure(a); });
    for (const Cas &c : cas) {
        ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_3, c.element), 0);
        EXPECT_EQ(Valeur(p, PANEL_SWEEP_3), c.domaine);
        EXPECT_EQ(Grisages(p), c.grise) << "domain " << c.domaine;
    }
    // The display format applies the rule again for the domain shown.
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_3, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_config, 5), 0);
    EXPECT_EQ(Grisages(p), (Grisage{true, false}));
    // A dimmed control ignores the operator.
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_START, 7.0), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_START_2, 0.5), 0);
    double v = -1.0;
    GetCtrlVal(p, PANEL_START, &v);
    EXPECT_EQ(v, 0.0);
    GetCtrlVal(p, PANEL_START_2, &v);
    EXPECT_EQ(v, 0.5);
}

TEST_F(Analyseur, RazForgetsTheCalibrationFileAtOnce) {
    EcrireTexteBloc(a, kChemin, 260, "/bench/cal/s21.cal");
    const int p = PanneauCharge([&] { a->configure(a); });
    EXPECT_EQ(Chaine(p, PANEL_STRING), "/bench/cal/s21.cal");
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_RAZ), 0);
    EXPECT_EQ(Chaine(p, PANEL_STRING), "");
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "") << "before any OK";
    const int autre = PanneauCharge([&] { a->configure(a); });
    EXPECT_EQ(Chaine(autre, PANEL_STRING), "");
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_OK), 0);
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "");
    // The next init uploads nothing.
    Regler(1, 3, 1, 1, 1);
    ASSERT_EQ(a->init(a), 0);
    EXPECT_EQ(Ecrits(Sim(), "LSB;OID"), 0);
}

// The read-back, its replies imposed one by one.
class Relecture : public Analyseur {
protected:
    struct Reponses {
        std::string gof = "1", zsp = "2.000000e-08", zst = "-1.000000e-09", gsp = "3.000000e-09", gst = "1.000000e-09",
                    grf = "3", tdx = "4", sxx = "12";
    };
    struct Panneau {
        int gate, config, domaine, parametre;
        float range_start, range_stop, gate_start, gate_stop;
        bool operator==(const Panneau &) const = default;
    };
    // Recup pressed on a new panel showing domain `domaine` (other controls at values no reply
    // gives); the queries asked come in `questions`.
    Panneau Recuperer(const Reponses &r, int domaine, Lignes &questions) {
        const int p = PanneauCharge([&] { a->configure(a); });
        SetCtrlVal(p, PANEL_SWEEP_3, domaine);
        SetCtrlVal(p, PANEL_SWEEP_4, 3);
        SetCtrlVal(p, PANEL_config, 6);
        SetCtrlVal(p, PANEL_SWEEP_2, 4);
        for (const int c : {PANEL_START, PANEL_STOP, PANEL_START_2, PANEL_STOP_2}) SetCtrlVal(p, c, 99.0);
        const std::pair<const char *, const std::string *> reponses[] = {
            {"GOF?", &r.gof}, {"ZSP?", &r.zsp}, {"ZST?", &r.zst}, {"GSP?", &r.gsp},
            {"GST?", &r.gst}, {"GRF?", &r.grf}, {"TDX?", &r.tdx}, {"SXX?", &r.sxx}};
        for (const auto &[question, reponse] : reponses) Sim().RemplacerReponse(question, *reponse + "\n");
        if (domaine != 3) Sim().RemplacerReponse("GOF?", r.gof + "\n");  // asked twice
        Sim().EffacerJournal();
        EXPECT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_recup), 0);
        questions = Ecritures(Sim());
        panel = p;
        return Lire(p);
    }
    static Panneau Lire(int p) {
        Panneau v{Valeur(p, PANEL_SWEEP_4), Valeur(p, PANEL_config), Valeur(p, PANEL_SWEEP_3), Valeur(p, PANEL_SWEEP_2),
                  0.0f, 0.0f, 0.0f, 0.0f};
        GetCtrlVal(p, PANEL_START, &v.range_start);
        GetCtrlVal(p, PANEL_STOP, &v.range_stop);
        GetCtrlVal(p, PANEL_START_2, &v.gate_start);
        GetCtrlVal(p, PANEL_STOP_2, &v.gate_stop);
        return v;
    }
    int panel = 0;
};

TEST_F(Relecture, RepliesFillThePanelByTheCodeTables) {
    const Lignes toutes = {"GOF?", "ZSP?", "ZST?", "GSP?", "GST?", "GOF?", "GRF?", "TDX?", "SXX?"};
    const Lignes sans_seconde = {"GOF?", "ZSP?", "ZST?", "GSP?", "GST?", "GRF?", "TDX?", "SXX?"};
    struct Cas {
        const char *nom;
        Reponses r;
        int domaine_affiche;
        Panneau attendu;
        Lignes questions;
    };
    const Panneau de_base{2, 5, 2, 2, -1e-9f, 2e-8f, 1e-9f, 3e-9f};
    const auto Avec = [](Reponses r, std::string Reponses::*champ, std::string v) {
        r.*champ = std::move(v);
        return r;
    };
    const auto Attendu = [&](int Panneau::*champ, int v) {
        Panneau p = de_base;
        p.*champ = v;
        return p;
    };
    const Cas cas[] = {
        {"the analyser's state", {}, 1, de_base, toutes},
        {"gate off", Avec({}, &Reponses::gof, "0"), 0, Attendu(&Panneau::gate, 1), toutes},
        {"gate display", Avec({}, &Reponses::gof, "2"), 1, Attendu(&Panneau::gate, 3), toutes},
        {"gate code without an item", Avec({}, &Reponses::gof, "5"), 1, Attendu(&Panneau::gate, 3), toutes},
        {"frequency with time gate shown: gate on, one gate query", Avec({}, &Reponses::gof, "0"), 3, de_base,
         sans_seconde},
        {"log magnitude", Avec({}, &Reponses::grf, "1"), 1, Attendu(&Panneau::config, 1), toutes},
        {"phase", Avec({}, &Reponses::grf, "2"), 1, Attendu(&Panneau::config, 2), toutes},
        {"Smith chart", Avec({}, &Reponses::grf, "4"), 1, Attendu(&Panneau::config, 4), toutes},
        {"linear magnitude", Avec({}, &Reponses::grf, "10"), 1, Attendu(&Panneau::config, 3), toutes},
        {"linear magnitude and phase", Avec({}, &Reponses::grf, "11"), 1, Attendu(&Panneau::config, 6), toutes},
        {"display code 7", Avec({}, &Reponses::grf, "7"), 1, Attendu(&Panneau::config, 6), toutes},
        {"frequency", Avec({}, &Reponses::tdx, "0"), 1, Attendu(&Panneau::domaine, 1), toutes},
        {"frequency with time gate", Avec({}, &Reponses::tdx, "1"), 1, Attendu(&Panneau::domaine, 3), toutes},
        {"domain code 2", Avec({}, &Reponses::tdx, "2"), 0, Attendu(&Panneau::domaine, 0), toutes},
        {"S11", Avec({}, &Reponses::sxx, "11"), 1, Attendu(&Panneau::parametre, 1), toutes},
        {"S21", Avec({}, &Reponses::sxx, "21"), 1, Attendu(&Panneau::parametre, 3), toutes},
        {"S22", Avec({}, &Reponses::sxx, "22"), 1, Attendu(&Panneau::parametre, 4), toutes},
        {"S-parameter code 13", Avec({}, &Reponses::sxx, "13"), 1, Attendu(&Panneau::parametre, 4), toutes},
        {"a reply without a code", Avec({}, &Reponses::grf, "ERR"), 1, Attendu(&Panneau::config, 6), toutes},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Lignes questions;
        EXPECT_EQ(Recuperer(c.r, c.domaine_affiche, questions), c.attendu);
        EXPECT_EQ(questions, c.questions);
        EXPECT_EQ(Sim().SortieEnAttente(), "");
        EXPECT_TRUE(ui_test::Vus().empty());
        DiscardPanel(panel);
    }
    // Numbers without a value leave their controls.
    Reponses r;
    r.zsp = "?";
    r.gst = "";
    Lignes questions;
    Panneau attendu = de_base;
    attendu.range_stop = 99.0f;
    attendu.gate_start = 99.0f;
    EXPECT_EQ(Recuperer(r, 1, questions), attendu);
    EXPECT_EQ(questions, toutes);
    DiscardPanel(panel);
}

TEST_F(Relecture, TheDimmingFollowsTheDomainRead) {
    Lignes questions;
    Recuperer({}, 0, questions);  // "TDX?" 4: time band-pass
    EXPECT_EQ(Grisages(panel), (Grisage{false, false}));
    Reponses r;
    r.tdx = "1";
    Recuperer(r, 2, questions);
    EXPECT_EQ(Grisages(panel), (Grisage{true, false}));
    r.tdx = "0";
    Recuperer(r, 2, questions);
    EXPECT_EQ(Grisages(panel), (Grisage{true, true}));
    // Nothing reaches the record before OK; OK keeps what was read.
    EXPECT_EQ(LireEntierBloc(a, kFreqTemp), 0);
    Recuperer({}, 0, questions);
    ASSERT_EQ(ui_test::Cliquer(panel, PANEL_BUTTON_OK), 0);
    EXPECT_EQ(LireEntierBloc(a, kFreqTemp), 2);
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 5);
    EXPECT_EQ(LireEntierBloc(a, kConfigS), 2);
    EXPECT_EQ(LireEntierBloc(a, kGate), 2);
    EXPECT_EQ(LireReel(a, kRangeStop), 2e-8f);
    EXPECT_EQ(LireReel(a, kGateStart), 1e-9f);
}

// The state of the analyser itself, at the address the panel shows.
TEST_F(Relecture, TheAnalyserAtThePanelsAddress) {
    auto autre = std::make_shared<sim::MS4623B>();
    sim::BusDeCarte(0)->Brancher(9, autre);
    {
        const int ud = ibdev(0, 9, NO_SAD, T10s, 1, 1);
        const std::string reglage = "TBP;GON;GST 2e-9;GSP 4e-9;ZST 1e-9;ZSP 3e-8;CH1;S12;LPH";
        ibwrt(ud, reglage.data(), static_cast<long>(reglage.size()));
        ibonl(ud, 0);
    }
    const int p = PanneauCharge([&] { a->configure(a); });
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_NUMERIC_7, 9), 0);
    Sim().EffacerJournal();
    autre->EffacerJournal();
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_recup), 0);
    EXPECT_EQ(Lire(p), (Panneau{2, 6, 2, 2, 1e-9f, 3e-8f, 2e-9f, 4e-9f}));
    EXPECT_TRUE(Sim().Journal().empty()) << "nothing asked at address 6";
    EXPECT_EQ(autre->Ecritures().size(), 9u);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(Relecture, NoAnalyserOrOneThatStopsAnsweringIsReported) {
    const int p = PanneauCharge([&] { a->configure(a); });
    SetCtrlVal(p, PANEL_config, 6);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_NUMERIC_7, 12), 0);
    double avant = horloge::Secondes();
    ui_test::Repondre(ui_test::Popup::Message);
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_recup), 0);
    EXPECT_EQ(horloge::Secondes(), avant) << "nothing listens there: no query";
    auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Attention");
    EXPECT_EQ(vus[0].message, "Il faudrait allumer l'analyseur");
    ui_test::Effacer();

    // The analyser at 6 answers the first query, then falls silent: one time-out, then the rest
    // is not asked.
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_NUMERIC_7, 6), 0);
    Sim().EffacerJournal();
    sim::Defauts d;
    d.lecturesSansReponse = 2;
    Sim().RemplacerReponse("GOF?", "0\n");
    Sim().FixerDefauts(d);
    avant = horloge::Secondes();
    ui_test::Repondre(ui_test::Popup::Message);
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_recup), 0);
    EXPECT_NEAR(horloge::Secondes() - avant, 10.0, 1e-6);
    vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].message, "Il faudrait allumer l'analyseur");
    EXPECT_EQ(Ecritures(Sim()), (Lignes{"GOF?"}));
    EXPECT_EQ(Valeur(p, PANEL_config), 6) << "unchanged";
    ui_test::Effacer();
}

// ---- a sequencer script during an acquisition ---------------------------------------------------

class AnalyseurSequence : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        banc = std::make_unique<BancAnalyseur>(false);
        ici = std::make_unique<DossierCourant>(dossier.path().toStdString());
    }
    void TearDown() override {
        BancTest::TearDown();
        ici.reset();
        banc.reset();
    }
    std::string Chemin(const std::string &nom) const { return dossier.filePath(QString::fromStdString(nom)).toStdString(); }
    // One second: the sweep ends and its trace arrives, then the sampling and sequencer ticks.
    void Seconde() {
        PInstrument *i = liste_instru->plugin;
        const unsigned avant = i->numero2D(i, 1);
        const int relances = Ecrits(*banc->analyseur, kRelance);
        horloge::AvancerHorlogeFactice(1.0);
        // The cycle counts the trace, then launches the next sweep: once that launch is in, the
        // next second's advance of the clock ends that sweep, however late this thread ran.
        ASSERT_TRUE(AttendreQue([&] { return i->numero2D(i, 1) > avant && Ecrits(*banc->analyseur, kRelance) > relances; }));
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
    }
    std::unique_ptr<BancAnalyseur> banc;
    std::unique_ptr<DossierCourant> ici;
};

TEST_F(AnalyseurSequence, AScriptSetsTheGateAndSavesATraceWhileRecording) {
    // Added from the catalogue: log magnitude of S21 over frequency, no autoscale.
    const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
    const std::vector<std::string> types = Libelles(dialogue, PANEL_Ajou_RING_Ajou_Type);
    const auto ligne = std::find(types.begin(), types.end(), "Anritsu MS4623B");
    ASSERT_NE(ligne, types.end());
    ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, static_cast<int>(ligne - types.begin())), 0);
    const int p = PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
    ui_test::ChoisirElement(p, PANEL_config, 1);
    ui_test::ChoisirElement(p, PANEL_SWEEP_2, 2);
    ui_test::ChoisirElement(p, PANEL_SWEEP_3, 1);
    ui_test::ChoisirElement(p, PANEL_AUTOSCALE, 1);
    Cliquer(p, PANEL_BUTTON_OK);

    const std::string script = Chemin("vna.txt");
    std::ofstream(script, std::ios::binary) << "ouvrir " + Chemin("vna.xls") + "\n"
                                               "attente 2\n"
                                               "commande Analyseur de reseau:fwtg\n"
                                               "commande Analyseur de reseau:GATE_START=1e-9\n"
                                               "commande analyseur de reseau : gate_stop=2e-9\n"
                                               "attente 3\n"
                                               "commande Analyseur de reseau:save trace1\n"
                                               "fermer\n";
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, script);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    const double transmission = 20 * std::log10(100.0 / 105.0);
    for (int s = 0; s < 8; ++s) Seconde();
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    const sim::MS4623B::Reglages r = banc->analyseur->LireReglages();
    EXPECT_EQ(r.domaine, sim::MS4623B::Domaine::FrequencePorte);
    EXPECT_EQ(r.porte, sim::MS4623B::Porte::Marche);
    EXPECT_EQ(r.porteDebut, 1e-9);
    EXPECT_EQ(r.porteFin, 2e-9);
    const std::vector<std::string> statuts = Statuts();
    for (const char *c : {"Commande de \"Analyseur de reseau\" avec \"fwtg\"",
                          "Commande de \"analyseur de reseau\" avec \"gate_stop=2e-9\"",
                          "Commande de \"Analyseur de reseau\" avec \"save trace1\""})
        EXPECT_NE(std::find(statuts.begin(), statuts.end(), c), statuts.end()) << c;

    // The trace file saved in the current directory, byte for byte.
    const std::optional<std::string> copie = banc->analyseur->FichierSupprime("C:\\TRACE1");
    ASSERT_TRUE(copie.has_value());
    EXPECT_EQ(copie->substr(0, 25), "MS4623B S21 MAG FGT 401\r\n");
    EXPECT_EQ(LireFichier(Chemin("TRACE1")), *copie);

    // Recorded before and after the gate, which passes the resonator's direct path: the
    // resonance stays in every trace.
    const std::string fichier = LireFichier(Chemin("vna-Analyseur de reseau.xls"));
    std::size_t pos = fichier.find('\n') + 1;
    std::vector<std::vector<double>> traces;
    while (pos < fichier.size()) {
        pos = fichier.find('\n', pos) + 1;
        ASSERT_LE(pos + 2 * 401 * 8, fichier.size());
        std::vector<double> v(401);
        std::memcpy(v.data(), fichier.data() + pos + 401 * 8, 401 * 8);
        traces.push_back(v);
        pos += 2 * 401 * 8;
    }
    ASSERT_GE(traces.size(), 3u);
    for (const std::vector<double> &v : traces)
        EXPECT_NEAR(*std::max_element(v.begin(), v.end()), transmission, 0.3);
}

}  // namespace
