// "Pompe Ismatec" against a simulated peristaltic pump on a pseudo-terminal: the set-up of
// `init`, the word commands and the flow of `execute`, the manual-control panel, the
// configuration panel, a pump whose maximum-flow reply cannot be used, and the settings block.
#include "instruments/bench/Pompe_Ismatec.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/pompe_ismatec.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_Pompe_Ismatec.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 1;  // the plugin's default port
constexpr std::size_t kNom = 0, kDebit = 128, kDiametre = 136, kComPort = 140, kPanel = 144;

class PompeIsmatec : public InstrumentSerie {
protected:
    PompeIsmatec() : InstrumentSerie("Pompe_Ismatec.dll", "com1 = sim:Pompe_Ismatec\ncom3 = sim:Pompe_Ismatec\n") {}

    sim::serie::Ligne &Ligne(int port = kPort) { return *banc_->Ligne(port); }
    template <class F>
    auto Pompe(F &&f, int port = kPort) {
        return Ligne(port).Avec<sim::PompeIsmatec>(std::forward<F>(f));
    }
    // What reached the pump since the last look: waits for `n` bytes when given, else a moment.
    std::string Recu(std::size_t n = 0, int port = kPort) {
        if (n > 0) EXPECT_TRUE(Ligne(port).AttendreRecu(n));
        else std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::string r = Ligne(port).Recu();
        Ligne(port).EffacerJournal();
        return r;
    }
    // The pump's answers waiting in the plugin's input queue, once they all came.
    int EnAttente(int n) {
        for (int k = 0; k < 500 && GetInQLen(kPort) < n; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return GetInQLen(kPort);
    }
    double Debit() {
        double d;
        std::memcpy(&d, DebutBloc(instrument) + kDebit, 8);
        return d;
    }

    // The manual-control panel that the first init loaded, the set-up read off the line.
    int Pilotage() {
        const int p = PanneauCharge([&] { EXPECT_EQ(instrument->init(instrument), 0); });
        Recu(std::string("@1\r1+0152\r1J\r1M\r").size());
        EnAttente(4);
        return p;
    }

};

TEST_F(PompeIsmatec, DefaultsAndSettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(instrument);
    EXPECT_EQ(m.taille, 148u);
    EXPECT_EQ(LireTexteBloc(instrument, kNom, 128), "Pompe Ismatec");
    EXPECT_EQ(Debit(), 0.0);
    EXPECT_EQ(LireEntierBloc(instrument, kDiametre), 152);
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 1);
    EXPECT_EQ(LireEntierBloc(instrument, kPanel), 0);
    EXPECT_EQ(instrument->status, nullptr);
    EXPECT_EQ(instrument->start, nullptr);
    EXPECT_EQ(instrument->stop, nullptr);
    EXPECT_EQ(instrument->nb_voie_1D, nullptr);
}

TEST_F(PompeIsmatec, InitSendsTheSetUpAndReadsNoReply) {
    const int panel = PanneauCharge([&] { EXPECT_EQ(instrument->init(instrument), 0); });
    EXPECT_GT(panel, 0);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_EQ(Recu(11), "@1\r1+0152\r1J\r1M\r");
    EXPECT_EQ(EnAttente(4), 4) << "the four answers stay in the queue";
    const auto etat = Pompe([](sim::PompeIsmatec &p) { return p.LEtat(); });
    EXPECT_TRUE(etat.distance);
    EXPECT_TRUE(etat.horaire);
    EXPECT_TRUE(etat.mode_debit);
    EXPECT_EQ(etat.diametre, 152);

    // Again, after choosing the 3.17 mm tube: the panel is not loaded again, the whole set-up
    // goes out again, the new diameter in its seven bytes.
    const auto avant = ui_test::PanneauxCharges();
    EcrireEntierBloc(instrument, kDiametre, 317);
    EXPECT_EQ(instrument->init(instrument), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(Recu(16), "@1\r1+0317\r1J\r1M\r");
    EXPECT_EQ(Pompe([](sim::PompeIsmatec &p) { return p.DebitMaximum(); }), 217.47);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(PompeIsmatec, WordCommandsAndFlowOfExecute) {
    const int panel = Pilotage();
    struct Cas {
        const char *commande;
        std::string envoye;
        int etat, sens, led;  // controls of the panel afterwards
    };
    const Cas cas[] = {
        {"marche", "1H\r", 1, 1, 1},
        {"sens anti horaire", "1K\r", 1, 0, 1},
        {"arret", "1I\r", 0, 0, 0},
        {"sens horaire", "1J\r", 0, 1, 0},
        {"Marche", "", 0, 1, 0},            // exact words only: these only flush
        {"marche ", "", 0, 1, 0},
        {"debit = 5", "", 0, 1, 0},
        {"debit=", "", 0, 1, 0},
        {"debit=12.5", "1!\r1S00250\r", 0, 1, 0},  // maximum 50 ml/min with the 1.52 mm tube
        {"debit=12.59", "1!\r1S00251\r", 0, 1, 0}, // 251.8 per-mille, truncated
        {"debit=50", "1!\r1S01000\r", 0, 1, 0},
        {"debit=100", "1!\r1S02000\r", 0, 1, 0},
        {"debit=0", "1!\r1S00000\r", 0, 1, 0},
        {"debit=5000", "1!\r1S100000\r", 0, 1, 0},
        {"debit=-5", "1!\r1S-0100\r", 0, 1, 0},
        {"debit= 7.5 ml/min", "1!\r1S00150\r", 0, 1, 0},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.commande);
        instrument->execute(instrument, c.commande);
        EXPECT_EQ(Recu(c.envoye.size()), c.envoye);
        EXPECT_EQ(GetInQLen(kPort), 0) << "flushed first, the answer read";
        EXPECT_EQ(Valeur(panel, P_PILOT_ETAT), c.etat);
        EXPECT_EQ(Valeur(panel, P_PILOT_SENS_ROT), c.sens);
        EXPECT_EQ(Valeur(panel, P_PILOT_LED), c.led);
    }
    double debit = 0;
    ASSERT_EQ(GetCtrlVal(panel, P_PILOT_DEBIT, &debit), 0);
    EXPECT_EQ(debit, 7.5);
    EXPECT_EQ(Debit(), 7.5);
    EXPECT_EQ(Pompe([](sim::PompeIsmatec &p) { return p.LEtat().vitesse; }), 150);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible()) << "commands reach the panel, hidden or not";
    EXPECT_TRUE(ui_test::Vus().empty());
}

// The flow of the panel and the flow of a command go out as the same number.
TEST_F(PompeIsmatec, PanelAndCommandSendTheSameFlow) {
    const int panel = Pilotage();
    Pompe([](sim::PompeIsmatec &p) { p.ImposerDebitMaximum(1.0); });
    instrument->execute(instrument, "debit=0.29");
    EXPECT_EQ(Recu(11), "1!\r1S00290\r");
    instrument->piloter(instrument);
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_DEBIT, 0.29), 0);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_OK_DEBIT), 0);
    EXPECT_EQ(Recu(11), "1!\r1S00290\r");
    EXPECT_EQ(EnAttente(1), 1) << "the panel leaves the pump's answer unread";
}

TEST_F(PompeIsmatec, ManualControlPanel) {
    const auto avant = ui_test::PanneauxCharges();
    instrument->piloter(instrument);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "no panel before the first init";
    const int panel = Pilotage();
    instrument->piloter(instrument);
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(panel)->windowTitle(), "Pilotage");
    EXPECT_EQ(Chaine(panel, P_PILOT_STRING), "Valider le débit avec le bouton OK"_w);
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_DEBIT), "Débit (mL/min)");

    // The switches write their command, without flush and without reading the answer.
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_ETAT), 0);
    EXPECT_EQ(Recu(3), "1H\r");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED), 1);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_SENS_ROT), 0);
    EXPECT_EQ(Recu(3), "1K\r");
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_SENS_ROT), 0);
    EXPECT_EQ(Recu(3), "1J\r");
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_ETAT), 0);
    EXPECT_EQ(Recu(3), "1I\r");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED), 0);
    EXPECT_EQ(EnAttente(8), 8) << "four answers of the set-up and four of the switches";

    // The flow: a flush, the question, the speed; the flow is stored.
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_DEBIT, 25.0), 0);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_OK_DEBIT), 0);
    EXPECT_EQ(Recu(11), "1!\r1S00500\r");
    EXPECT_EQ(Debit(), 25.0);
    EXPECT_EQ(EnAttente(1), 1);

    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_HIDE), 0);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_TRUE(Charge(panel));
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(PompeIsmatec, AMaximumFlowThatCannotBeUsedSendsNoSpeed) {
    Pilotage();
    const struct {
        const char *nom;
        std::optional<std::string> reponse;
        sim::serie::Panne panne;
        std::string envoye;
    } cas[] = {
        {"no number", std::string("ERROR          "), sim::serie::Panne::aucune, "1!\r"},
        {"a maximum of 0", std::string("0.00 ml/min\r\n  "), sim::serie::Panne::aucune, "1!\r"},
        {"garbage", std::nullopt, sim::serie::Panne::charabia, "1!\r"},
        {"silent", std::nullopt, sim::serie::Panne::muet, "1!\r"},
        {"a short reply: what came is used", std::string("40 ml/min"), sim::serie::Panne::aucune, "1!\r1S00250\r"},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        Pompe([&](sim::PompeIsmatec &p) { p.ImposerReponseDebit(c.reponse); });
        Ligne().FixerPanne(c.panne);
        const double t0 = horloge::Secondes();
        instrument->execute(instrument, "debit=10");
        EXPECT_EQ(Recu(c.envoye.size()), c.envoye);
        // A reply shorter than 15 bytes waits for the port's default time-out (10 s).
        const bool complete = c.reponse && c.reponse->size() >= 15 && c.panne == sim::serie::Panne::aucune;
        EXPECT_NEAR(horloge::Secondes() - t0, complete ? 0.0 : 10.0, 1e-6);
        EXPECT_EQ(Debit(), 10.0);
    }
    EXPECT_TRUE(ui_test::Vus().empty()) << "the plugin reports nothing";
}

TEST_F(PompeIsmatec, ConfigurationTakesEffectAtTheNextInit) {
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration de l'instrument Pompe Ismatec.");
    EXPECT_EQ(Valeur(p, P_INSTR_RG_COM_ID), 1);
    EXPECT_EQ(Valeur(p, P_INSTR_DIAMETRE), 152);
    EXPECT_EQ(Libelles(p, P_INSTR_DIAMETRE),
              (std::vector<std::string>{"1,52 mm", "1,65 mm", "1,75 mm", "1,85 mm", "2,06 mm", "2,29 mm", "2,54 mm",
                                        "2,79 mm", "3,17 mm"}));
    const int panel = Pilotage();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_RG_COM_ID, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_DIAMETRE, 4), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_INSTR_CB_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 3);
    EXPECT_EQ(LireEntierBloc(instrument, kDiametre), 206);
    EXPECT_EQ(Recu(), "") << "nothing is sent";

    // Until the next init, commands and panel go to the pump the last init set up.
    instrument->execute(instrument, "marche");
    EXPECT_EQ(Recu(3), "1H\r");
    EXPECT_EQ(instrument->init(instrument), 0);
    EXPECT_EQ(Recu(16, 3), "@1\r1+0206\r1J\r1M\r");
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_ETAT), 0);
    EXPECT_EQ(Recu(3, 3), "1I\r");
    EXPECT_EQ(Recu(), "");
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen) << "the first port was let go";
}

// Freed right after an acquisition start: the port closes with it (its reader thread stops and
// the device may be opened again at once), and its panels go.
TEST_F(PompeIsmatec, LibererClosesThePortItOpened) {
    Pilotage();
    EXPECT_GE(GetInQLen(kPort), 0);
    instrument->liberer(instrument);
    instrument = nullptr;
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
}

TEST_F(PompeIsmatec, ARestoredPanelHandleIsNeverUsed) {
    const int autre = LoadPanel(0, "UIR_Pompe_Ismatec.uir", P_PILOT);
    ASSERT_GT(autre, 0);
    EcrireEntierBloc(instrument, kPanel, autre);
    const int panel = Pilotage();
    EXPECT_NE(panel, autre);
    instrument->execute(instrument, "marche");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED), 1);
    EXPECT_EQ(Valeur(autre, P_PILOT_LED), 0);
    instrument->liberer(instrument);
    instrument = nullptr;
    EXPECT_TRUE(Charge(autre));
    DiscardPanel(autre);
}

}  // namespace
