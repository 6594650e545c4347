// "Electrovanne" on the simulated parallel port: the whole data byte written from the "sens="
// commands and from the OK buttons of its two panels, nothing written by anything else, its
// settings block, and its manual-control panel.
#include "instruments/bench/Electrovanne.h"

#include "tests/instruments/bench/port_essai.h"
#include "uir/UIR_Electrovanne.h"

#include <QWidget>

namespace {

constexpr std::size_t kBlocNom = 0, kBlocPanneau = 128, kBlocEtat = 132;

class Electrovannes : public port_essai::BancPort {
protected:
    void SetUp() override {
        BancPort::SetUp();
        if (HasFatalFailure()) return;
        ev = Nouvelle("Electrovanne.dll");
        ASSERT_NE(ev, nullptr);
    }
    int Etat() { return DebutBloc(ev)[kBlocEtat]; }
    // The manual panel, loaded by the first init.
    int Pilotage() {
        const int p = PanneauCharge([&] { EXPECT_EQ(ev->init(ev), 0); });
        EXPECT_EQ(LireEntierBloc(ev, kBlocPanneau), p) << "the block holds the handle, as saved files do";
        return p;
    }

    PInstrument *ev = nullptr;
};

TEST_F(Electrovannes, SensCommandsWriteTheCharacterCode) {
    const struct {
        const char *commande;
        int octet;  // -1: nothing written
    } cas[] = {
        {"sens=A", 0x41}, {"sens=AB", 0x41}, {"sens=B", 0x42}, {"sens=1", 0x31}, {"sens=0", 0x30},
        {"sens= ", 0x20}, {"sens=", -1},     {"SENS=1", -1},   {"sens", -1},     {" sens=1", -1},
    };
    int etat = 0;
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        port->Fixer(kOctetInitial);
        ev->execute(ev, c.commande);
        if (c.octet < 0) {
            EXPECT_TRUE(Ecritures().empty());
            EXPECT_EQ(port->Lire(), kOctetInitial);
        } else {
            EXPECT_EQ(Ecritures(), std::vector<int>{c.octet}) << "the whole byte, the port not read";
            etat = c.octet;
        }
        EXPECT_EQ(Etat(), etat);
    }
}

// Adding the instrument and pressing OK writes at once, with no acquisition.
TEST_F(Electrovannes, ConfigurationOkWritesTheSwitch) {
    const int p = PanneauCharge([&] { ev->configure(ev); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration de l'instrument Electrovanne.");
    EXPECT_EQ(ui_test::TexteVisible(p, P_INSTR_BS_SIDE), "Switch !");
    EXPECT_EQ(ui_test::TexteVisible(p, P_INSTR_CB_OK), "OK");
    EXPECT_EQ(Valeur(p, P_INSTR_BS_SIDE), 0);
    Cliquer(p, P_INSTR_CB_OK);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(Ecritures(), std::vector<int>{0x00});
    EXPECT_EQ(acquisition_en_cours, 0);

    // At 1: only D0 stays high, whatever other plugins had set. Moving the switch alone writes
    // nothing.
    port->Fixer(0xFE);
    const int q = PanneauCharge([&] { ev->configure(ev); });
    ASSERT_EQ(ui_test::Cliquer(q, P_INSTR_BS_SIDE), 0);
    EXPECT_EQ(Valeur(q, P_INSTR_BS_SIDE), 1);
    EXPECT_TRUE(Ecritures().empty());
    EXPECT_EQ(Etat(), 0);
    Cliquer(q, P_INSTR_CB_OK);
    EXPECT_EQ(Ecritures(), std::vector<int>{0x01});
    EXPECT_EQ(Etat(), 1);

    // The panel shows the valve's line of the state.
    for (const auto &[commande, position] : {std::pair{"sens=0", 0}, std::pair{"sens=1", 1}, std::pair{"sens=B", 0}}) {
        ev->execute(ev, commande);
        const int r = PanneauCharge([&] { ev->configure(ev); });
        EXPECT_EQ(Valeur(r, P_INSTR_BS_SIDE), position) << commande;
        DiscardPanel(r);
    }
}

TEST_F(Electrovannes, ManualControlPanel) {
    EXPECT_EQ(ev->status(ev), 1);
    EXPECT_EQ(ev->start(ev), 0);
    ev->stop(ev);
    const int p = Pilotage();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(Ecritures().empty()) << "init, start and stop leave the port alone";
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Pilotage");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_CB_HIDE), "Cacher");
    const std::vector<int> charges = ui_test::PanneauxCharges();
    EXPECT_EQ(ev->init(ev), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), charges) << "loaded once";

    ev->execute(ev, "sens=1");
    Ecritures();
    EXPECT_EQ(Valeur(p, P_PILOT_BS_SIDE), 1) << "a command shows the state";
    ASSERT_EQ(ui_test::Cliquer(p, P_PILOT_BS_SIDE), 0);
    EXPECT_EQ(Valeur(p, P_PILOT_BS_SIDE), 0);
    ev->execute(ev, "sens=");
    EXPECT_EQ(Valeur(p, P_PILOT_BS_SIDE), 1) << "set again to the stored state, nothing written";
    EXPECT_TRUE(Ecritures().empty());

    ASSERT_EQ(ui_test::Cliquer(p, P_PILOT_BS_SIDE), 0);
    ev->piloter(ev);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(Valeur(p, P_PILOT_BS_SIDE), 1) << "piloter shows the state";
    ASSERT_EQ(ui_test::Cliquer(p, P_PILOT_BS_SIDE), 0);
    Cliquer(p, P_PILOT_CB_OK);
    EXPECT_EQ(Ecritures(), std::vector<int>{0x00});
    EXPECT_EQ(Etat(), 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible()) << "the panel stays";

    Cliquer(p, P_PILOT_CB_HIDE);
    EXPECT_FALSE(ui_test::Fenetre(p)->isVisible());
    EXPECT_TRUE(Charge(p));
    Liberer(ev);
    ev = nullptr;
    EXPECT_FALSE(Charge(p)) << "the panel goes with its instrument";
    EXPECT_TRUE(Ecritures().empty()) << "liberer does not write";
}

// A loaded block restores the state without writing it; its panel handle names no panel of
// this run.
TEST_F(Electrovannes, SettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(ev, 77);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.debut, DebutBloc(ev));
    EXPECT_EQ(static_cast<unsigned char *>(m.fin) - DebutBloc(ev), 133);
    EXPECT_EQ(m.taille, 77u) << "size left as the caller set it";
    EXPECT_EQ(LireTexteBloc(ev, kBlocNom, 128), "Electrovanne");
    EXPECT_EQ(Etat(), 0);

    DebutBloc(ev)[kBlocEtat] = 0x31;
    EcrireEntierBloc(ev, kBlocPanneau, panel_commande);
    const int p = Pilotage();
    EXPECT_NE(p, panel_commande);
    ev->piloter(ev);
    EXPECT_EQ(Valeur(p, P_PILOT_BS_SIDE), 1);
    EXPECT_TRUE(Ecritures().empty()) << "the port keeps its byte until an OK or a command";
    EXPECT_EQ(port->Lire(), kOctetInitial);
    EcrireEntierBloc(ev, kBlocPanneau, panel_commande);
    Liberer(ev);
    ev = nullptr;
    EXPECT_TRUE(Charge(panel_commande));
}

TEST_F(Electrovannes, PanelThatCannotBeLoaded) {
    PilotageIntrouvable(ev, kBlocPanneau, "sens=1");
    EXPECT_EQ(Ecritures(), std::vector<int>{0x31});
}

}  // namespace
