// The serial devices of the demo bench (sim/demo-banc.conf) as an operator tries them in the
// program without hardware: each instrument added from the add dialog, its port chosen in its
// panel where the demo bench does not stand at the port the panel proposes, then acquisitions
// started and stopped again, and their devices failing while an acquisition runs. The acquisition
// board's reset pop-up is answered as nobody can answer it on the demo bench: closed, the board
// left as it is.
#include "app/Interface.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/pompe_ismatec.h"
#include "sim/bench/pousse_seringue.h"
#include "sim/bench/regul_acoustic.h"
#include "sim/bench/vexo.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/instruments/bench/test_regul_dgm110_vexo.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using poussee::Laisser;
using poussee::Traiter;
using sim::serie::Panne;

// Controls of the configuration panels (their resource files share the names of their
// constants, which cannot meet in one file): the port ring and OK.
struct PanneauPort {
    const char *cle;
    int ring, ok;
};
constexpr PanneauPort kRegul = {"Regul_Acoustic.dll", 3, 2};
constexpr PanneauPort kDgm = {"DGM110.dll", 3, 2};
constexpr PanneauPort kVexo = {"vexo.dll", 2, 4};
constexpr PanneauPort kPompe = {"Pompe_Ismatec.dll", 3, 2};
constexpr PanneauPort kPousses = {"Pousse_Seringue.dll", 3, 4};

class BancDemoSerie : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
        ui_test::ActiverScript([this](const std::string &d) { inattendus_.push_back(d); });
    }
    void TearDown() override {
        BancTest::TearDown();  // frees the instruments
        FermerTousLesPortsCom();
        sim::serie::ArreterLignes();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
    }

    // Adds `type` through the add dialog and confirms its configuration panel, on the port of
    // index `port` of its ring (-1: the one it proposes).
    void Ajouter(const PanneauPort &type, int port = -1) {
        const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
        const Elements types = ElementsDe(dialogue, PANEL_Ajou_RING_Ajou_Type);
        int ligne = -1;
        for (std::size_t i = 0; i < types.size(); ++i)
            if (types[i].second == type.cle) ligne = static_cast<int>(i);
        ASSERT_GE(ligne, 0) << type.cle;
        ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        const int panel = PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
        ASSERT_GT(panel, 0) << type.cle;
        if (port >= 0) {
            ASSERT_EQ(ui_test::ChoisirElement(panel, type.ring, port), 0);
        }
        Cliquer(panel, type.ok);
    }
    // The operator ticks the `rang`-th instrument of the list, opens its properties and chooses
    // the port of index `port` of its ring.
    void ChoisirPort(int rang, const PanneauPort &type, int port) {
        ASSERT_EQ(ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, rang), 0);
        const int panel = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Proprietes); });
        ASSERT_GT(panel, 0) << type.cle;
        ASSERT_EQ(ui_test::ChoisirElement(panel, type.ring, port), 0);
        Cliquer(panel, type.ok);
    }
    static std::vector<PInstrument *> Instruments() {
        std::vector<PInstrument *> r;
        for (fichei *f = liste_instru; f != nullptr; f = f->suivant) r.push_back(f->plugin);
        return r;
    }
    void Demarrer() {
        for (const fichei *n = liste_instru; n != nullptr; n = n->suivant)
            if (std::string(n->Type_Apareil) == kVexo.cle)
                ui_test::Repondre(ui_test::Popup::Message);  // the board's reset pop-up, closed
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED,
                          dossier.filePath("mesure-" + QString::number(++fichiers_) + ".xls").toStdString());
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1) << testing::PrintToString(inattendus_);
    }
    // `secondes` of program time, second by second: every instrument of `vivants` takes a reading
    // each second, then the sampling timer ticks; the others are given a moment at the end.
    static void Avancer(int secondes, const std::vector<PInstrument *> &vivants) {
        for (int s = 0; s < secondes; ++s) {
            std::vector<unsigned> avant;
            for (PInstrument *i : vivants) avant.push_back(i->numero_1D(i, 1));
            horloge::AvancerHorlogeFactice(1.0);
            ASSERT_TRUE(Traiter([&] {
                for (std::size_t k = 0; k < vivants.size(); ++k)
                    if (vivants[k]->numero_1D(vivants[k], 1) <= avant[k]) return false;
                return true;
            })) << "second " << s;
            ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        }
        Laisser();
    }
    // Lines of the status list that begin with `debut`, from the `depuis`-th line on.
    static std::vector<std::string> Lignes(const std::string &debut, std::size_t depuis = 0) {
        std::vector<std::string> r;
        const std::vector<std::string> tout = Statuts();
        for (std::size_t k = depuis; k < tout.size(); ++k)
            if (tout[k].starts_with(debut)) r.push_back(tout[k]);
        return r;
    }

    std::vector<std::string> inattendus_;
    int fichiers_ = 0;
};

// A device that pushes its readings and stops (unplugged, silent, garbled) while an acquisition
// runs: one line on the status list once it has been silent for 10 s, whatever the fault lasts;
// the other devices read on; once it is repaired, its readings come back by themselves (the
// acquisition board takes up its handshake again) and one line says so.
TEST_F(BancDemoSerie, APushingDeviceThatFailsIsSaidOnceAndReadsAgain) {
    Ajouter(kRegul);
    Ajouter(kDgm);
    Ajouter(kVexo, 2);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 3u);
    Demarrer();
    Avancer(3, i);
    const struct {
        const char *nom;
        int port;
    } appareils[] = {{"Regul Acoustic", 1}, {"DGM110", 2}, {"Carte VEXO", 3}};
    const struct {
        Panne panne;
        const char *texte;
    } pannes[] = {
        {Panne::debranche, "l'appareil n'envoie plus de mesures"},
        {Panne::muet, "l'appareil n'envoie plus de mesures"},
        {Panne::charabia, "réponses illisibles de l'appareil"_w},
    };
    for (std::size_t a = 0; a < 3; ++a)
        for (const auto &panne : pannes) {
            const auto &appareil = appareils[a];
            SCOPED_TRACE(std::string(appareil.nom) + ": " + panne.texte);
            std::vector<PInstrument *> autres = i;
            autres.erase(autres.begin() + static_cast<long>(a));
            const std::size_t debut = Statuts().size();
            const unsigned lues = i[a]->numero_1D(i[a], 1);
            sim::serie::LigneDuPort(appareil.port)->FixerPanne(panne.panne);
            Avancer(30, autres);
            EXPECT_LE(i[a]->numero_1D(i[a], 1), lues + 1) << "its readings stopped";
            const auto Ligne = [&](const std::string &texte) {
                return std::string(appareil.nom) + " : " + texte + " (COM" + std::to_string(appareil.port) + ")";
            };
            // A device that stops in the middle of a frame leaves the start of it in the input
            // queue: that one is said to answer garbage.
            const std::string coupee = Ligne("réponses illisibles de l'appareil"_w);
            const std::vector<std::string> dites = Lignes("", debut);
            const std::string ligne = dites.size() == 1 && dites[0] == coupee ? coupee : Ligne(panne.texte);
            EXPECT_EQ(dites, std::vector<std::string>{ligne}) << "one line, and only for it";

            sim::serie::LigneDuPort(appareil.port)->FixerPanne(Panne::aucune);
            const unsigned enPanne = i[a]->numero_1D(i[a], 1);
            Avancer(10, autres);
            Avancer(3, i);
            EXPECT_GT(i[a]->numero_1D(i[a], 1), enPanne + 2) << "its readings came back";
            const std::string reprise = std::string(appareil.nom) + " : l'appareil répond de nouveau"_w;
            EXPECT_EQ(Lignes("", debut), (std::vector<std::string>{ligne, reprise}));
        }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_TRUE(inattendus_.empty()) << testing::PrintToString(inattendus_);
}

// The pumps, driven by the sequencer during an acquisition, when they stop answering: one line on
// the status list for each pump instrument, however many commands go unanswered, no pop-up; one
// line again once they answer.
TEST_F(BancDemoSerie, PumpsThatStopAnsweringDuringAnAcquisitionAreSaidOnce) {
    Ajouter(kPompe, 3);
    Ajouter(kPousses, 3);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 2u);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("pompes.xls").toStdString());
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    const struct {
        Panne panne;
        const char *commande;  // to the peristaltic pump: its one-byte answer, or its maximum flow
        const char *texte;
    } cas[] = {
        {Panne::debranche, "marche", "pas de réponse de la pompe"_w},
        {Panne::muet, "debit=5", "pas de réponse de la pompe"_w},
        {Panne::charabia, "debit=5", "réponse illisible de la pompe"_w},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        const std::size_t debut = Statuts().size();
        sim::serie::LigneDuPort(4)->FixerPanne(c.panne);
        for (int k = 0; k < 2; ++k) {
            i[0]->execute(i[0], c.commande);
            i[1]->execute(i[1], "00infuse=200UH");
            i[1]->execute(i[1], "00stop");
        }
        Laisser();
        const std::string pompe = std::string("Pompe Ismatec : ") + c.texte + " (COM4)";
        const std::string pousses = "Pousse Seringue : pas de réponse du pousse seringue à l'adresse 00 (COM4)"_w;
        EXPECT_EQ(Lignes("", debut), (std::vector<std::string>{pompe, pousses}));
        sim::serie::LigneDuPort(4)->FixerPanne(Panne::aucune);
        i[0]->execute(i[0], c.commande);
        i[1]->execute(i[1], "00stop");
        Laisser();
        EXPECT_EQ(Lignes("l'appareil", debut).size(), 0u);
        EXPECT_EQ(Lignes("Pompe Ismatec : l'appareil répond de nouveau"_w, debut).size(), 1u);
        EXPECT_EQ(Lignes("Pousse Seringue : l'appareil répond de nouveau"_w, debut).size(), 1u);
    }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_TRUE(inattendus_.empty()) << "no pop-up: " << testing::PrintToString(inattendus_);
    EXPECT_EQ(ui_test::Vus().size(), 1u) << "only the file chooser";
}

// The pumps on COM4 stop answering while the other devices push their readings: each command
// holds the user-interface thread until its time-out, longer than the other devices' silence,
// and their readings wait in their ports meanwhile (the acquisition board, its calls unanswered
// that long, takes the computer for gone and starts its handshake again). Those devices did not
// fall silent: nothing is said of them, and they read on.
TEST_F(BancDemoSerie, ADeviceHeldUpByAPumpThatDoesNotAnswerIsNotSaidSilent) {
    Ajouter(kRegul);
    Ajouter(kDgm);
    Ajouter(kVexo, 2);
    Ajouter(kPompe, 3);
    Ajouter(kPousses, 3);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 5u);
    const std::vector<PInstrument *> poussent = {i[0], i[1], i[2]};
    const std::vector<PInstrument *> enContinu = {i[0], i[1]};  // not the board, in its handshake
    Demarrer();
    Avancer(3, poussent);
    const std::size_t debut = Statuts().size();
    sim::serie::LigneDuPort(4)->FixerPanne(Panne::muet);
    for (int k = 0; k < 3; ++k) {
        const double t0 = horloge::Secondes();
        i[3]->execute(i[3], "marche");
        i[4]->execute(i[4], "00infuse=200UH");
        EXPECT_GT(horloge::Secondes() - t0, 10.0) << "the pumps' time-outs held the thread";
        Avancer(2, enContinu);
    }
    sim::serie::LigneDuPort(4)->FixerPanne(Panne::aucune);
    Avancer(5, enContinu);
    Avancer(10, poussent);
    for (const char *nom : {"Regul Acoustic", "DGM110", "Carte VEXO"})
        EXPECT_EQ(Lignes(nom, debut), std::vector<std::string>{}) << nom;
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_TRUE(inattendus_.empty()) << testing::PrintToString(inattendus_);
}

TEST_F(BancDemoSerie, EveryDeviceIsReachedFromItsPanelAndStartsAgainWithoutAHand) {
    Ajouter(kRegul);       // COM1, proposed
    Ajouter(kDgm);         // COM2, proposed
    Ajouter(kVexo, 2);     // COM3
    Ajouter(kPompe, 3);    // COM4, shared by the pumps
    Ajouter(kPousses, 3);  // COM4
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 5u);

    for (int demarrage = 1; demarrage <= 3; ++demarrage) {
        SCOPED_TRACE(demarrage);
        Demarrer();
        Avancer(3, {i[0], i[1], i[2]});
        // The pumps, driven as the sequencer drives them: each hears its own commands on the
        // shared line and answers them.
        i[3]->execute(i[3], "marche");
        i[4]->execute(i[4], "00infuse=500UH");
        EXPECT_TRUE(sim::serie::LigneDuPort(4)->Avec<sim::serie::LigneCommune>(
            [](sim::serie::LigneCommune &l) { return l.Appareil<sim::PompeIsmatec>(0).LEtat().en_marche; }));
        EXPECT_TRUE(sim::serie::LigneDuPort(4)->Avec<sim::serie::LigneCommune>([](sim::serie::LigneCommune &l) {
            const sim::PoussesSeringues::Pompe p = l.Appareil<sim::PoussesSeringues>(1).Etat(0);
            return p.en_marche && p.debit == 500;
        }));
        i[3]->execute(i[3], "arret");
        i[4]->execute(i[4], "00stop");
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 0);
        EXPECT_EQ(ui_test::ReponsesRestantes(), 0u);
    }
    std::vector<std::string> vus;
    for (const auto &v : ui_test::Vus()) vus.push_back(v.message);
    EXPECT_EQ(vus.size(), 6u) << "the board's reset pop-up and the file chooser at each start: "
                              << testing::PrintToString(vus);
    EXPECT_TRUE(inattendus_.empty()) << testing::PrintToString(inattendus_);
}

// Two serial devices whose cables were swapped, the settings following them, the device earlier
// in the list taking the port the later one held: every device works at the first start after
// the swap. The later one moving away from that port leaves it open under the earlier one
// (whose start would fail, whose receive callback would go, whose commands would not reach it).
struct Appareil {
    PanneauPort type;
    const char *modele;  // of the bench configuration ("comN = sim:<model>")
    int port;            // before the swap
};
struct Echange {
    const char *nom;
    Appareil premier, second;  // in list order
};
void PrintTo(const Echange &e, std::ostream *os) { *os << e.nom; }

class EchangeDePorts : public BancDemoSerie, public testing::WithParamInterface<Echange> {
protected:
    void SetUp() override {
        BancDemoSerie::SetUp();
        serie_ = std::make_unique<BancSerie>();
    }
    void TearDown() override {
        BancDemoSerie::TearDown();
        serie_.reset();
    }
    // The bench's serial devices: the model of each port.
    void Brancher(const std::vector<std::pair<int, const char *>> &lignes) {
        std::string configuration;
        for (const auto &[port, modele] : lignes)
            configuration += "com" + std::to_string(port) + " = sim:" + modele + "\n";
        serie_->Configurer(configuration);
    }
    // Each device works: those that push their readings give one every second; the syringe pumps
    // run at the sequencer's command and stop again.
    void Fonctionnent(const std::vector<PInstrument *> &i, const std::vector<std::pair<Appareil, int>> &appareils) {
        const std::size_t debut = Statuts().size();
        std::vector<PInstrument *> vivants;
        for (std::size_t k = 0; k < i.size(); ++k) {
            const auto &[appareil, port] = appareils[k];
            if (std::strcmp(appareil.type.cle, kPousses.cle) != 0) {
                vivants.push_back(i[k]);
                continue;
            }
            i[k]->execute(i[k], "00infuse=500UH");
            const sim::PoussesSeringues::Pompe p = sim::serie::LigneDuPort(port)->Avec<sim::PoussesSeringues>(
                [](sim::PoussesSeringues &m) { return m.Etat(0); });
            EXPECT_TRUE(p.en_marche && p.debit == 500) << "the pump at COM" << port << " runs";
            i[k]->execute(i[k], "00stop");
        }
        Avancer(3, vivants);
        EXPECT_EQ(Lignes("", debut), std::vector<std::string>{}) << "no device is said to fail";
    }

    std::unique_ptr<BancSerie> serie_;
};

TEST_P(EchangeDePorts, EveryDeviceWorksAtTheFirstStartAfterTheSwap) {
    const Echange &e = GetParam();
    Brancher({{e.premier.port, e.premier.modele}, {e.second.port, e.second.modele}});
    Ajouter(e.premier.type, e.premier.port - 1);
    Ajouter(e.second.type, e.second.port - 1);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 2u);
    Demarrer();
    Fonctionnent(i, {{e.premier, e.premier.port}, {e.second, e.second.port}});
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    Brancher({{e.second.port, e.premier.modele}, {e.premier.port, e.second.modele}});
    ChoisirPort(0, e.premier.type, e.second.port - 1);
    ChoisirPort(1, e.second.type, e.premier.port - 1);
    Demarrer();
    Fonctionnent(i, {{e.premier, e.second.port}, {e.second, e.premier.port}});
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_EQ(acquisition_en_cours, 0);
    EXPECT_TRUE(inattendus_.empty()) << testing::PrintToString(inattendus_);
}

const Appareil kRegulateur = {kRegul, "Regul_Acoustic", 1};
const Appareil kAnalyseur = {kDgm, "DGM110", 2};
const Appareil kCarte = {kVexo, "VEXO", 3};
const Appareil kSeringues = {kPousses, "Pousse_Seringue", 4};

INSTANTIATE_TEST_SUITE_P(Demo, EchangeDePorts,
                         testing::Values(Echange{"AnalyserTakesTheRegulatorsPort", kAnalyseur, kRegulateur},
                                         Echange{"BoardTakesTheAnalysersPort", kCarte, kAnalyseur},
                                         Echange{"SyringePumpsTakeTheRegulatorsPort", kSeringues, kRegulateur}),
                         [](const testing::TestParamInfo<Echange> &i) { return std::string(i.param.nom); });

// Two instruments on one line (the pumps): freeing one leaves the line open for the other.
TEST_F(BancDemoSerie, ALineSharedByTwoInstrumentsStaysOpenWhenOneGoes) {
    Ajouter(kPompe, 3);
    Ajouter(kPousses, 3);
    Demarrer();
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(ui_test::BasculerCoche(panel_instru, P_Instru_LISTBOX_Liste, 1), 0);
    Cliquer(panel_instru, P_Instru_Supprimer);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 1u);
    i[0]->execute(i[0], "marche");
    EXPECT_TRUE(sim::serie::LigneDuPort(4)->Avec<sim::serie::LigneCommune>(
        [](sim::serie::LigneCommune &l) { return l.Appareil<sim::PompeIsmatec>(0).LEtat().en_marche; }));
    i[0]->execute(i[0], "arret");
    EXPECT_TRUE(inattendus_.empty()) << testing::PrintToString(inattendus_);
}

// A set-point that the sequencer sends during an acquisition and that the regulator does not
// take: one line on the status list, however many are sent, no pop-up, while its reports go on;
// one line again once it takes one.
TEST_F(BancDemoSerie, ASetPointTheRegulatorDoesNotTakeDuringAnAcquisitionIsSaidOnce) {
    Ajouter(kRegul);
    const std::vector<PInstrument *> i = Instruments();
    ASSERT_EQ(i.size(), 1u);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, dossier.filePath("regul.xls").toStdString());
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    Avancer(2, i);
    const std::size_t debut = Statuts().size();
    const auto regulateur = [](auto &&f) { return sim::serie::LigneDuPort(1)->Avec<sim::RegulateurAcoustique>(f); };
    const auto sansAccord = [&](bool sans) {
        regulateur([&](sim::RegulateurAcoustique &r) { r.FixerSansAccord(sans); });
    };
    const std::string refus = "Regul Acoustic : le régulateur ne prend pas la consigne (COM1)"_w;
    sansAccord(true);
    for (const char *commande : {"consigne=21", "consigne=22", "consigne=23"}) {
        i[0]->execute(i[0], commande);
        Avancer(2, i);
    }
    EXPECT_EQ(Lignes("", debut), std::vector<std::string>{refus});
    sansAccord(false);
    i[0]->execute(i[0], "consigne=24");
    Avancer(2, i);
    EXPECT_EQ(regulateur([](sim::RegulateurAcoustique &r) { return r.Consigne(); }), 24.0);
    EXPECT_EQ(Lignes("", debut), (std::vector<std::string>{refus, "Regul Acoustic : l'appareil répond de nouveau"_w}));
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_TRUE(inattendus_.empty()) << "no pop-up: " << testing::PrintToString(inattendus_);
}

}  // namespace
