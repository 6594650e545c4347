// "Valve EFD" on the simulated parallel port, on the fake clock: the pulse's bytes and timing,
// its shared flag and `status`, the port lock held for the whole pulse, what other plugins write
// during a pulse, the command language, the manual-control panel, and the valve closed when the
// program ends during a pulse. Then a sequencer script that pulses the valve during an
// acquisition started from the main panel.
#include "instruments/bench/valve.h"

#include "platform/utility.h"
#include "tests/instruments/bench/port_essai.h"
#include "uir/UIR_valve.h"

#include <QWidget>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::size_t kBlocNom = 0, kBlocDuree = 128, kBlocPanneau = 136;

// The settings block's duration.
double Duree(PInstrument *v) {
    double d = 0;
    std::memcpy(&d, DebutBloc(v) + kBlocDuree, sizeof d);
    return d;
}

using port_essai::Passer;

// One pulse valve, made as a settings load makes it.
class Valve : public port_essai::BancPort {
protected:
    void SetUp() override {
        BancPort::SetUp();
        if (HasFatalFailure()) return;
        v = Nouvelle("efd.dll");
        ASSERT_NE(v, nullptr);
    }
    void TearDown() override {
        // No pulse may outlive the test.
        Passer(60.0);
        EXPECT_EQ(v ? v->status(v) : 1, 1);
        BancPort::TearDown();
    }
    static void Commande(PInstrument *i, const char *texte) { i->execute(i, texte); }

    PInstrument *v = nullptr;
};

TEST_F(Valve, APulseRaisesD0ForItsDuration) {
    EXPECT_EQ(Duree(v), 0.1) << "nouveau";
    EXPECT_EQ(LireTexteBloc(v, kBlocNom, 128), "Valve EFD");
    Commande(v, "duree=0.5");
    EXPECT_EQ(Duree(v), 0.5);
    EXPECT_TRUE(Ecritures().empty());

    EXPECT_EQ(v->status(v), 1);
    Commande(v, "pschit");
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA5});
    EXPECT_EQ(v->status(v), 0);
    Passer(0.49);
    EXPECT_EQ(port->Lire(), 0xA5);
    EXPECT_EQ(v->status(v), 0);
    Passer(0.01);
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA4});
    EXPECT_EQ(v->status(v), 1);

    // A duration of 0 or less ends at the next turn of the event loop.
    Commande(v, "duree=-1");
    Commande(v, "pschit");
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA5});
    Passer(0.0);
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA4});
}

TEST_F(Valve, OnePulseAtATimeForEveryValve) {
    PInstrument *autre = Nouvelle("efd.dll");
    Commande(v, "pschit");
    ASSERT_EQ(Ecritures(), std::vector<int>{0xA5});
    EXPECT_EQ(autre->status(autre), 0) << "the flag is shared";
    Commande(v, "pschit");
    Commande(autre, "duree=3");
    Commande(autre, "pschit");
    EXPECT_TRUE(Ecritures().empty()) << "requests during a pulse are dropped";
    Passer(0.1);
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA4});
    EXPECT_EQ(autre->status(autre), 1);
    Passer(5.0);
    EXPECT_TRUE(Ecritures().empty()) << "nothing was queued";

    // Only "pschit" itself starts a pulse.
    for (const char *c : {"Pschit", "PSCHIT", "pschit ", " pschit", "pschi", ""}) Commande(v, c);
    EXPECT_TRUE(Ecritures().empty());
    EXPECT_EQ(v->status(v), 1);
}

TEST_F(Valve, DurationCommands) {
    const struct {
        const char *commande;
        double duree;
    } cas[] = {
        {"duree=0.5", 0.5}, {"duree= 2", 2.0}, {"duree=1.5x", 1.5}, {"duree=abc", 1.5},
        {"duree=", 1.5},    {"Duree=4", 1.5},  {"duree=0.01", 0.01},  // not bounded by the panel
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        Commande(v, c.commande);
        EXPECT_EQ(Duree(v), c.duree);
    }
    EXPECT_TRUE(Ecritures().empty());
}

// The end of the pulse reads the register again: what was written during the pulse stays, and
// only D0 goes low.
TEST_F(Valve, WritesDuringAPulseSurviveItsEnd) {
    PInstrument *ev = Nouvelle("Electrovanne.dll");
    Commande(v, "duree=1");
    Commande(v, "pschit");
    ev->execute(ev, "sens=B");  // the solenoid valve writes the whole byte, without the lock
    Passer(1.0);
    EXPECT_EQ(Ecritures(), (std::vector<int>{0xA5, 0x42, 0x42}));

    // An RF switch moved by its plugin on this thread during the pulse (the lock nests).
    Commande(v, "pschit");
    ASSERT_EQ(CmtGetLock(Lock_port_parallele), 0);
    CVI_outp(kPortParallele, CVI_inp(kPortParallele) | 0x10);
    ASSERT_EQ(CmtReleaseLock(Lock_port_parallele), 0);
    Passer(1.0);
    EXPECT_EQ(Ecritures(), (std::vector<int>{0x43, 0x53, 0x52}));
}

// The pulse holds the port lock from its start to its end: another thread's read-modify-write
// waits for the end of the pulse, and a pulse waits for one that is running.
TEST_F(Valve, ThePortLockIsHeldForThePulse) {
    Commande(v, "duree=2");
    Commande(v, "pschit");
    std::atomic<bool> obtenu = false;
    std::thread rf([&] {
        CmtGetLock(Lock_port_parallele);
        obtenu = true;
        CVI_outp(kPortParallele, CVI_inp(kPortParallele) | 0x08);
        CmtReleaseLock(Lock_port_parallele);
    });
    Passer(1.9);
    EXPECT_FALSE(obtenu) << "waiting for the end of the pulse";
    Passer(0.1);
    rf.join();
    EXPECT_TRUE(obtenu);
    port->EffacerJournal();

    // The other way round: a pulse requested while another thread holds the lock starts once
    // it is released.
    std::atomic<bool> tenu = false;
    std::thread rf2([&] {
        CmtGetLock(Lock_port_parallele);
        tenu = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        CVI_outp(kPortParallele, 0x00);
        CmtReleaseLock(Lock_port_parallele);
    });
    while (!tenu) std::this_thread::yield();
    Commande(v, "pschit");
    rf2.join();
    const auto journal = port->Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].valeur, 0x00);
    EXPECT_EQ(journal[1].valeur, 0x01);
    Passer(2.0);
    EXPECT_EQ(port->Lire(), 0x00);
}

TEST_F(Valve, DeletingTheValveDoesNotCutThePulse) {
    Commande(v, "duree=1");
    ASSERT_EQ(v->init(v), 0);
    Commande(v, "pschit");
    Liberer(v);
    v = nullptr;
    Passer(0.5);
    EXPECT_EQ(port->Lire(), 0xA5);
    Passer(0.5);
    EXPECT_EQ(Ecritures(), (std::vector<int>{0xA5, 0xA4}));
}

TEST_F(Valve, ManualControlPanel) {
    Commande(v, "duree=0.25");
    const int p = PanneauCharge([&] { EXPECT_EQ(v->init(v), 0); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(LireEntierBloc(v, kBlocPanneau), p) << "the block holds the handle, as saved files do";
    EXPECT_TRUE(Charge(p));
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Pilotage");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_NUMERIC), "Durée d'impulsion");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_COMMANDBUTTON_2), "Pschit");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_COMMANDBUTTON), "Cacher");
    double affiche = 0;
    GetCtrlVal(p, P_PILOT_NUMERIC, &affiche);
    EXPECT_EQ(affiche, 0.25) << "the instance's duration";
    // A second acquisition start keeps the panel.
    const std::vector<int> avant = ui_test::PanneauxCharges();
    EXPECT_EQ(v->init(v), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);

    v->piloter(v);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    Commande(v, "duree=0.5");
    GetCtrlVal(p, P_PILOT_NUMERIC, &affiche);
    EXPECT_EQ(affiche, 0.5);

    ASSERT_EQ(ui_test::EntrerValeur(p, P_PILOT_NUMERIC, 0.3), 0);
    EXPECT_EQ(Duree(v), 0.3);
    Cliquer(p, P_PILOT_COMMANDBUTTON_2);
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA5});
    // Pressed again during the pulse: the duration is taken, no second pulse.
    ASSERT_EQ(ui_test::EntrerValeur(p, P_PILOT_NUMERIC, 0.7), 0);
    Cliquer(p, P_PILOT_COMMANDBUTTON_2);
    EXPECT_EQ(Duree(v), 0.7);
    Passer(0.29);
    EXPECT_TRUE(Ecritures().empty());
    Passer(0.01);
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA4});

    Cliquer(p, P_PILOT_COMMANDBUTTON);
    EXPECT_FALSE(ui_test::Fenetre(p)->isVisible());
    EXPECT_TRUE(Charge(p)) << "hidden, still loaded";
    Liberer(v);
    v = nullptr;
    EXPECT_FALSE(Charge(p)) << "the panel goes with its instrument";
}

// A settings file brings the block's panel handle of another run: it names no panel of this
// instance, which loads its own at its first init and never touches the other.
TEST_F(Valve, ARestoredPanelHandleIsNeverUsed) {
    EcrireEntierBloc(v, kBlocPanneau, panel_commande);
    const int p = PanneauCharge([&] { EXPECT_EQ(v->init(v), 0); });
    EXPECT_NE(p, panel_commande);
    EXPECT_EQ(LireEntierBloc(v, kBlocPanneau), p);
    EcrireEntierBloc(v, kBlocPanneau, panel_commande);
    Liberer(v);
    v = nullptr;
    EXPECT_TRUE(Charge(panel_commande));
}

TEST_F(Valve, PanelThatCannotBeLoaded) {
    PilotageIntrouvable(v, kBlocPanneau, "duree=0.2");
    EXPECT_EQ(Duree(v), 0.2);
}

TEST_F(Valve, ConfigurationPanelHoldsOnlyOk) {
    const int p = PanneauCharge([&] { v->configure(v); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_BUTTON_OK), "OK");
    Cliquer(p, P_config_BUTTON_OK);
    EXPECT_FALSE(Charge(p));
    EXPECT_TRUE(Ecritures().empty());
    const ReponseMemoire m = DemanderMemoire(v);
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.taille, 144u);
}

// The program ends during a pulse (its end would never come): the valve is closed on the way
// out. Run in a process of its own, which checks the register after the program's last words.
sim::RegistreParallele *registre_a_la_sortie = nullptr;
void VerifierALaSortie() { _exit((registre_a_la_sortie->Lire() & 0x01) == 0 ? 3 : 4); }

TEST_F(Valve, TheProgramEndingDuringAPulseClosesTheValve) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    registre_a_la_sortie = port.get();
    EXPECT_EXIT(
        {
            std::atexit(VerifierALaSortie);  // runs after the valve's own last words
            Commande(v, "duree=100");
            Commande(v, "pschit");
            if ((port->Lire() & 0x01) == 0) _exit(5);
            std::exit(0);
        },
        testing::ExitedWithCode(3), "");
    GTEST_FLAG_SET(death_test_style, style);
}

// ---- from the main panel ----------------------------------------------------------------------

// The valve added from the add dialog and pulsed by a sequencer script that waits for each
// pulse to end.
class ValveEnAcquisition : public Valve {
protected:
    void Seconde() {
        Passer(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
    }
};

TEST_F(ValveEnAcquisition, ASequencerScriptPulsesTheValve) {
    const int p = port_essai::AjouterParLeDialogue("efd.dll");
    ASSERT_GT(p, 0);
    Cliquer(p, P_config_BUTTON_OK);
    EXPECT_EQ(Libelles(panel_instru, P_Instru_LISTBOX_Liste), std::vector<std::string>{"Valve EFD"});

    const std::string script = dossier.filePath("valve.txt").toStdString();
    std::ofstream(script) << "commande Valve EFD:duree=1.5\n"
                             "commande valve efd : pschit\n"
                             "attendre Valve EFD\n"
                             "commande Valve EFD:duree=1\n"
                             "commande Valve EFD:pschit\n";
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, script);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_TRUE(Ecritures().empty()) << "the start does not touch the port";

    Seconde();  // t = 1: the first pulse starts, the script waits for it
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA5});
    Seconde();  // t = 2
    EXPECT_TRUE(Ecritures().empty());
    Seconde();  // t = 3: the pulse ended at 2.5; the wait is over, the second pulse starts
    EXPECT_EQ(Ecritures(), (std::vector<int>{0xA4, 0xA5}));
    Seconde();  // t = 4: the second pulse ended
    EXPECT_EQ(Ecritures(), std::vector<int>{0xA4});

    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);
    EXPECT_TRUE(Ecritures().empty()) << "the end of the acquisition does not touch the port";
    v = liste_instru->plugin;
}

}  // namespace
