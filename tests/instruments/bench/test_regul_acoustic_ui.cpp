// "Regul Acoustic" against a simulated temperature regulator on a pseudo-terminal: the set-point
// exchange of `init`, `execute` and the manual-control panel, the reports read by the receive
// callback, `start` and `stop`, the configuration panel, the failures, and the settings block.
#include "instruments/bench/Regul_Acoustic.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/regul_acoustic.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/instruments/bench/test_regul_dgm110_vexo.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_Regul_Acoustic.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using poussee::Laisser;
using poussee::Traiter;
using poussee::Voie;

constexpr int kPort = 1;  // the plugin's default port
constexpr std::size_t kComPort = 128, kPanel = 132, kConsigne = 136;
const double NaN = std::numeric_limits<double>::quiet_NaN();

class RegulAcoustic : public InstrumentSerie {
protected:
    RegulAcoustic()
        : InstrumentSerie("Regul_Acoustic.dll", "com1 = sim:Regul_Acoustic\ncom2 = sim:Regul_Acoustic\n"
                                                "com3 = /nonexistent/ttyS2\n") {}
    sim::serie::Ligne &Ligne(int port = kPort) { return *banc_->Ligne(port); }
    template <class F>
    auto Regulateur(F &&f, int port = kPort) {
        return Ligne(port).Avec<sim::RegulateurAcoustique>(std::forward<F>(f));
    }
    // What reached the regulator since the last look: waits for `n` bytes when given, else a
    // moment.
    std::string Recu(std::size_t n = 0, int port = kPort) {
        if (n > 0) EXPECT_TRUE(Ligne(port).AttendreRecu(n));
        else Laisser();
        const std::string r = Ligne(port).Recu();
        Ligne(port).EffacerJournal();
        return r;
    }
    double Consigne() {
        double d;
        std::memcpy(&d, DebutBloc(instrument) + kConsigne, 8);
        return d;
    }
    // One report of the regulator, read by the callback: the reading counter of channel 1 grows.
    void Rapport() {
        const unsigned avant = instrument->numero_1D(instrument, 1);
        Regulateur([](sim::RegulateurAcoustique &r) { r.Rapporter(); });
        EXPECT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) > avant; }));
    }
    void SetUp() override {
        InstrumentSerie::SetUp();
        if (HasFatalFailure()) return;
        // The regulator reports when a test asks it to.
        for (const int port : {1, 2}) Regulateur([](sim::RegulateurAcoustique &r) { r.FixerPeriode(0); }, port);
    }
    // The manual-control panel that the first init loaded, the set-point read off the line.
    int Init() {
        const int p = PanneauCharge([&] { EXPECT_EQ(instrument->init(instrument), 0); });
        Recu(8);
        return p;
    }
};

TEST_F(RegulAcoustic, DefaultsChannelsAndSettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(instrument, 77);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), 144);
    EXPECT_EQ(m.taille, 77u) << "the size is not written";
    EXPECT_EQ(LireTexteBloc(instrument, 0, 128), "Regul Acoustic");
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 1);
    EXPECT_EQ(LireEntierBloc(instrument, kPanel), 0);
    EXPECT_EQ(Consigne(), 20.0);
    EXPECT_EQ(instrument->status, nullptr);
    EXPECT_EQ(instrument->nb_voie2D, nullptr);
    EXPECT_EQ(instrument->nb_voie_calcul, nullptr);
    EXPECT_EQ(instrument->nb_voie_calcul2D, nullptr);
    ASSERT_EQ(instrument->nb_voie_1D(instrument), 2);
    const std::vector<std::pair<int, std::string>> noms = {
        {1, "Regulation"}, {2, "Consigne"}, {3, "Regulation"}, {0, "Regulation"}, {-1, "Regulation"}};
    for (const auto &[voie, nom] : noms) {
        char texte[kLongueurNomVoie] = "";
        instrument->get_nom_voie_1D(instrument, voie, texte);
        EXPECT_EQ(texte, nom) << voie;
    }
}

TEST_F(RegulAcoustic, InitSendsTheSetPointAfterTheRegulatorIsReady) {
    const int panel = PanneauCharge([&] { EXPECT_EQ(instrument->init(instrument), 0); });
    EXPECT_GT(panel, 0);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible());
    ASSERT_TRUE(Ligne().AttendreRecu(8));
    const std::vector<sim::serie::Ligne::Reception> r = Ligne().Receptions();
    std::string octets;
    for (const auto &x : r) octets.push_back(static_cast<char>(x.octet));
    EXPECT_EQ(octets, std::string("c\x32\x30\x2E\x30\x30\x0D\x0D"));
    EXPECT_GE(r[1].instant - r[0].instant, 0.1 - 1e-9) << "0.1 s after the 'y'";
    EXPECT_LT(r[1].instant - r[0].instant, 0.2);
    EXPECT_EQ(Regulateur([](sim::RegulateurAcoustique &m) { return m.Consignes(); }), std::vector<double>{20.0});
    Ligne().EffacerJournal();

    // Right after init: no temperature yet, the set-point sent once.
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    EXPECT_TRUE(Voie(instrument, 2, 20.0, 1));

    // The line: 9600 baud, 8 data bits, no parity, one stop bit, no flow control.
    const termios t = Ligne().Reglages();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

    // A second init loads no second panel and sends the set-point again.
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(instrument->init(instrument), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(Recu(8), "c20.00\r\r");
    EXPECT_TRUE(Voie(instrument, 2, 20.0, 1)) << "a new init starts the counters again";
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(RegulAcoustic, SetPointCommand) {
    const int panel = Init();
    const struct {
        const char *commande;
        std::string envoye;
        double consigne;
    } cas[] = {
        {"consigne=21.5", "c21.50\r\r", 21.5},
        {"consigne= 22", "c22.00\r\r", 22.0},       // blanks before the number
        {"consigne=-5.5", "c-5.50\r\r", -5.5},
        {"consigne=30.25 degres", "c30.25\r\r", 30.25},  // anything after the number ignored
        {"Consigne=21.5", "", 30.25},               // the word exactly, in lower case
        {"consigne =21.5", "", 30.25},
        {" consigne=21.5", "", 30.25},
        {"consigne=", "", 30.25},
        {"consigne=abc", "", 30.25},
        {"", "", 30.25},
        {"consigne=12345.6", "", 30.25},            // more than the regulator's 7 characters
        {"consigne=-1000", "", 30.25},
        {"consigne=nan", "", 30.25},
        {"consigne=9999.99", "c9999.99\r\r", 9999.99},
    };
    unsigned envois = 1;
    for (const auto &c : cas) {
        SCOPED_TRACE(c.commande);
        instrument->execute(instrument, c.commande);
        EXPECT_EQ(Recu(c.envoye.size()), c.envoye);
        if (!c.envoye.empty()) ++envois;
        EXPECT_EQ(Consigne(), c.consigne);
        EXPECT_TRUE(Voie(instrument, 2, c.consigne, envois));
        double affiche = 0.0;
        ASSERT_EQ(GetCtrlVal(panel, P_PILOT_NUM_CONSIGNE_ID, &affiche), 0);
        EXPECT_EQ(affiche, std::clamp(c.consigne, 0.0, 100.0)) << "the panel shows it, within its range";
    }
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible()) << "commands reach the panel, hidden or not";
    EXPECT_EQ(Regulateur([](sim::RegulateurAcoustique &m) { return m.Consigne(); }), 9999.99);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(RegulAcoustic, ReportsReachChannelOneThroughTheCallback) {
    Init();
    EXPECT_EQ(instrument->start(instrument), 0);
    const struct {
        const char *nom;
        std::string texte, bruit;
        double temperature;
    } cas[] = {
        {"a report", "23.45\r", "", 23.45},
        {"bytes before the 't' dropped", "24.5\r", "\x15zz\r\n", 24.5},
        {"no CR", "-3.25", "", -3.25},
        {"no number: 0.0, still a reading", "abc\r", "", 0.0},
        {"blanks first", "   19.75\r", "", 19.75},
    };
    unsigned n = 0;
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        Regulateur([&](sim::RegulateurAcoustique &r) {
            r.ImposerTexteRapport(c.texte);
            r.FixerBruitAvantRapport(c.bruit);
        });
        Rapport();
        EXPECT_TRUE(Voie(instrument, 1, c.temperature, ++n));
        EXPECT_EQ(GetInQLen(kPort), 0);
    }
    // The value stays until the next report; mesure_1D changes nothing.
    EXPECT_TRUE(Voie(instrument, 1, 19.75, n));
    EXPECT_TRUE(Voie(instrument, 1, 19.75, n));
    EXPECT_TRUE(Voie(instrument, 2, 20.0, 1));

    // The regulated temperature, as the regulator writes it.
    Regulateur([](sim::RegulateurAcoustique &r) {
        r.ImposerTexteRapport(std::nullopt);
        r.FixerBruitAvantRapport("");
        r.ImposerTemperature(21.37);
    });
    Rapport();
    EXPECT_TRUE(Voie(instrument, 1, 21.37, n + 1));
    EXPECT_TRUE(ui_test::Vus().empty());
    instrument->stop(instrument);
}

// A report cut short is no reading, and its wait ends on the port's time-out.
TEST_F(RegulAcoustic, ACutReportIsNoReading) {
    Init();
    EXPECT_EQ(instrument->start(instrument), 0);
    Regulateur([](sim::RegulateurAcoustique &r) {
        r.ImposerTemperature(23.45);
        r.CouperRapports(true);
    });
    const double t0 = horloge::Secondes();
    Regulateur([](sim::RegulateurAcoustique &r) { r.Rapporter(); });
    ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, 5.0); })) << "the callback waits for the LF";
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-6) << "the port's time-out";
    Regulateur([](sim::RegulateurAcoustique &r) { r.CouperRapports(false); });
    Rapport();
    EXPECT_TRUE(Voie(instrument, 1, 23.45, 1));
    instrument->stop(instrument);
}

TEST_F(RegulAcoustic, StartDropsOldReportsAndStopRemovesTheCallback) {
    const int panel = Init();
    Regulateur([](sim::RegulateurAcoustique &r) {
        r.ImposerTemperature(25.0);
        r.Rapporter();
    });
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 8; })) << "a report before the start";
    EXPECT_EQ(instrument->start(instrument), 0);
    EXPECT_EQ(GetInQLen(kPort), 0) << "thrown away by the start";
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    Rapport();
    EXPECT_TRUE(Voie(instrument, 1, 25.0, 1));

    instrument->piloter(instrument);
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());
    instrument->stop(instrument);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible()) << "stop hides the manual-control panel";
    EXPECT_TRUE(Charge(panel));
    Regulateur([](sim::RegulateurAcoustique &r) { r.Rapporter(); });
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 8; })) << "the report stays in the queue";
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, 25.0, 1)) << "no callback after stop";
    EXPECT_TRUE(ui_test::Vus().empty());
}

// Freed while its callback is installed (a quit during an acquisition): the callback goes with
// the port, and a report already on its way reaches no freed record.
TEST_F(RegulAcoustic, LibererRemovesTheCallbackAndClosesThePort) {
    Init();
    EXPECT_EQ(instrument->start(instrument), 0);
    Rapport();
    Regulateur([](sim::RegulateurAcoustique &r) { r.Rapporter(); });
    ASSERT_TRUE(poussee::Attendre([&] { return GetInQLen(kPort) == 8; })) << "its call waits to be delivered";
    instrument->liberer(instrument);
    instrument = nullptr;
    Laisser();
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
    EXPECT_EQ(OpenComConfig(kPort, "", 9600, kRS_NoParity, 8, 1, 512, 512), 0) << "the device is free again";
}

TEST_F(RegulAcoustic, ManualControlPanel) {
    const auto avant = ui_test::PanneauxCharges();
    instrument->piloter(instrument);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "no panel before the first init";
    const int panel = Init();
    instrument->execute(instrument, "consigne=42");
    Recu(8);
    instrument->piloter(instrument);
    QWidget *f = ui_test::Fenetre(panel);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(f->windowTitle(), "Pilotage");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_NUM_CONSIGNE_ID), "Consigne (°C)");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_CB_VALIDATE_ID), "Envoyer");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_CB_HIDE), "Cacher");
    double affiche = 0.0;
    ASSERT_EQ(GetCtrlVal(panel, P_PILOT_NUM_CONSIGNE_ID, &affiche), 0);
    EXPECT_EQ(affiche, 42.0);

    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_NUM_CONSIGNE_ID, 35.5), 0);
    EXPECT_EQ(Recu(), "") << "the value waits for Envoyer";
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_VALIDATE_ID), 0);
    EXPECT_EQ(Recu(8), "c35.50\r\r");
    EXPECT_EQ(Consigne(), 35.5);
    EXPECT_TRUE(Voie(instrument, 2, 35.5, 3));

    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_HIDE), 0);
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(Charge(panel));
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(RegulAcoustic, ConfigurationTakesEffectAtTheNextInit) {
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration de l'instrument Regul Acoustic.");
    EXPECT_EQ(Libelles(p, P_INSTR_RG_COM_ID), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(Valeur(p, P_INSTR_RG_COM_ID), 1);
    EXPECT_EQ(ui_test::TexteVisible(p, P_INSTR_NUM_CONSIGNE_ID), "Consigne (°C)");
    double affiche = 0.0;
    ASSERT_EQ(GetCtrlVal(p, P_INSTR_NUM_CONSIGNE_ID, &affiche), 0);
    EXPECT_EQ(affiche, 20.0);

    Init();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_RG_COM_ID, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_CONSIGNE_ID, 31.0), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_INSTR_CB_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 2);
    EXPECT_EQ(Consigne(), 31.0);
    EXPECT_EQ(Recu(), "") << "nothing is sent";
    EXPECT_TRUE(Voie(instrument, 2, 20.0, 1));

    // Until the next init, the set-point goes to the regulator the last init reached.
    instrument->execute(instrument, "consigne=31");
    EXPECT_EQ(Recu(8), "c31.00\r\r");
    EXPECT_EQ(instrument->init(instrument), 0);
    EXPECT_EQ(Recu(8, 2), "c31.00\r\r");
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen) << "the first port was let go";

    // The panel shows what a settings file restored.
    EcrireEntierBloc(instrument, kComPort, 4);
    const int q = PanneauCharge([&] { instrument->configure(instrument); });
    EXPECT_EQ(Valeur(q, P_INSTR_RG_COM_ID), 4);
    ASSERT_EQ(ui_test::Cliquer(q, P_INSTR_CB_OK), 0);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(RegulAcoustic, APortThatCannotBeOpened) {
    EcrireEntierBloc(instrument, kComPort, 3);
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(instrument->init(instrument), kRS_CanNotOpenPort);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "Attention");
    EXPECT_EQ(ui_test::Vus()[0].message, "Impossible d'ouvrir le port demandé"_w);
}

TEST_F(RegulAcoustic, ManualControlPanelThatCannotBeLoaded) {
    SansRessources();
    EXPECT_EQ(instrument->init(instrument), -1);
    EXPECT_EQ(Recu(), "") << "init ends before the port";
    EXPECT_LT(LireEntierBloc(instrument, kPanel), 0);
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");  // the resource files are back
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(instrument->init(instrument), 0) << "a later init goes on without the panel";
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(Recu(8), "c20.00\r\r");
    instrument->piloter(instrument);
    instrument->execute(instrument, "consigne=25");
    EXPECT_EQ(Recu(8), "c25.00\r\r");
    EXPECT_EQ(instrument->start(instrument), 0);
    instrument->stop(instrument);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
}

// A regulator that does not say 'y' gets no value; the wait ends with the message.
TEST_F(RegulAcoustic, ARegulatorThatIsNotReady) {
    const struct {
        const char *nom;
        sim::serie::Panne panne;
        bool sansAccord;
        std::string recu;
    } cas[] = {
        {"silent", sim::serie::Panne::muet, false, "c"},
        {"never ready", sim::serie::Panne::aucune, true, "c"},
        {"garbage", sim::serie::Panne::charabia, false, "c"},
        {"unplugged", sim::serie::Panne::debranche, false, ""},
    };
    Init();
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        Ligne().FixerPanne(c.panne);
        Regulateur([&](sim::RegulateurAcoustique &r) { r.FixerSansAccord(c.sansAccord); });
        ui_test::Effacer();
        ui_test::Repondre(ui_test::Popup::Message);
        const double t0 = horloge::Secondes();
        instrument->execute(instrument, "consigne=30");
        EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-6) << "one time-out";
        ASSERT_EQ(ui_test::Vus().size(), 1u);
        EXPECT_EQ(ui_test::Vus()[0].titre, "Attention");
        EXPECT_EQ(ui_test::Vus()[0].message, "Erreur de transmission");
        EXPECT_EQ(Recu(c.recu.size()), c.recu) << "no value";
        EXPECT_TRUE(Voie(instrument, 2, 20.0, 1)) << "nothing was sent";
        EXPECT_EQ(Consigne(), 30.0);
    }
    Laisser();  // the 'c' the unplugged regulator never got is gone
    Ligne().FixerPanne(sim::serie::Panne::aucune);
    Regulateur([](sim::RegulateurAcoustique &r) {
        r.FixerSansAccord(false);
        r.FixerBruitAvantAccord("t2");  // a report's beginning, then the 'y'
    });
    instrument->execute(instrument, "consigne=30");
    EXPECT_EQ(Recu(8), "c30.00\r\r");
    EXPECT_TRUE(Voie(instrument, 2, 30.0, 2));
    EXPECT_EQ(Regulateur([](sim::RegulateurAcoustique &m) { return m.Consigne(); }), 30.0);
}

// Init with a silent regulator still succeeds (the acquisition may go on), after the message.
TEST_F(RegulAcoustic, InitWithASilentRegulator) {
    Ligne().FixerPanne(sim::serie::Panne::muet);
    ui_test::Repondre(ui_test::Popup::Message);
    const int panel = PanneauCharge([&] { EXPECT_EQ(instrument->init(instrument), 0); });
    EXPECT_GT(panel, 0);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].message, "Erreur de transmission");
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    EXPECT_TRUE(Voie(instrument, 2, NaN, 0));
}

TEST_F(RegulAcoustic, ARestoredPanelHandleIsNeverUsed) {
    const int autre = LoadPanel(0, "UIR_Regul_Acoustic.uir", P_PILOT);
    ASSERT_GT(autre, 0);
    EcrireEntierBloc(instrument, kPanel, autre);
    const int panel = Init();
    EXPECT_NE(panel, autre);
    EXPECT_EQ(LireEntierBloc(instrument, kPanel), panel);
    instrument->execute(instrument, "consigne=45");
    Recu(8);
    double v = 0.0;
    ASSERT_EQ(GetCtrlVal(autre, P_PILOT_NUM_CONSIGNE_ID, &v), 0);
    EXPECT_EQ(v, 20.0);
    instrument->liberer(instrument);
    instrument = nullptr;
    EXPECT_TRUE(Charge(autre));
    EXPECT_FALSE(Charge(panel));
    DiscardPanel(autre);
}

}  // namespace
