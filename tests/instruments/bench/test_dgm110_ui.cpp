// "DGM (retour infos)" against a simulated concentration analyser on a pseudo-terminal: frames
// read by the receive callback, `start` and `stop`, the configuration panel, the failures, and
// the settings block.
#include "instruments/bench/DGM110.h"
#include "instruments/catalogue.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/dgm110.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/instruments/bench/test_regul_dgm110_vexo.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_DGM110.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <chrono>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using poussee::Laisser;
using poussee::Traiter;
using poussee::Voie;

constexpr int kPort = 2;  // the plugin's default port
constexpr std::size_t kComPort = 128;
const double NaN = std::numeric_limits<double>::quiet_NaN();

class DGM110Test : public InstrumentSerie {
protected:
    DGM110Test() : InstrumentSerie("DGM110.dll", "com2 = sim:DGM110\ncom4 = sim:DGM110\ncom3 = /nonexistent/ttyS2\n") {}
    sim::serie::Ligne &Ligne(int port = kPort) { return *banc_->Ligne(port); }
    template <class F>
    auto Analyseur(F &&f, int port = kPort) {
        return Ligne(port).Avec<sim::AnalyseurDGM110>(std::forward<F>(f));
    }
    void SetUp() override {
        InstrumentSerie::SetUp();
        if (HasFatalFailure()) return;
        // The analyser sends a frame when a test asks it to.
        for (const int port : {2, 4}) Analyseur([](sim::AnalyseurDGM110 &a) { a.FixerPeriode(0); }, port);
    }
    // One frame of `octets`, sent now (gone to the line when this returns). No event is handled
    // meanwhile: a callback the frame wakes runs at the caller's next wait, not before.
    void Trame(const std::string &octets, int port = kPort) {
        const int avant = Analyseur([&](sim::AnalyseurDGM110 &a) {
            a.ImposerTrame(octets);
            a.Envoyer();
            return a.Trames();
        }, port);
        EXPECT_TRUE(poussee::Attendre(
            [&] { return Analyseur([](sim::AnalyseurDGM110 &a) { return a.Trames(); }, port) > avant; }));
    }
    // Init and start.
    void Demarrer() {
        EXPECT_EQ(instrument->init(instrument), 0);
        EXPECT_EQ(instrument->start(instrument), 0);
    }
};

TEST_F(DGM110Test, DefaultsChannelAndSettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(instrument, 77);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), 132);
    EXPECT_EQ(m.taille, 77u) << "the size is not written";
    EXPECT_EQ(LireTexteBloc(instrument, 0, 128), "DGM110");
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 2);
    for (auto *slot : {reinterpret_cast<void *>(instrument->status), reinterpret_cast<void *>(instrument->execute),
                       reinterpret_cast<void *>(instrument->piloter), reinterpret_cast<void *>(instrument->nb_voie2D),
                       reinterpret_cast<void *>(instrument->nb_voie_calcul),
                       reinterpret_cast<void *>(instrument->nb_voie_calcul2D)})
        EXPECT_EQ(slot, nullptr);
    ASSERT_EQ(instrument->nb_voie_1D(instrument), 1);
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0)) << "no reading yet";
    for (const auto &[voie, nom] : std::vector<std::pair<int, std::string>>{
             {1, "Concentration"}, {2, "Erreur"}, {0, "Erreur"}, {-3, "Erreur"}}) {
        char texte[kLongueurNomVoie] = "";
        instrument->get_nom_voie_1D(instrument, voie, texte);
        EXPECT_EQ(texte, nom) << voie;
    }
}

TEST_F(DGM110Test, FramesReachTheChannelThroughTheCallback) {
    Demarrer();
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    // The analyser's power-on frame can still be on its way through the line when the init
    // empties the port (a loaded machine): it lands, and goes, before the cases' frames, so that
    // each stands alone in the queue. No event is handled meanwhile: no callback reads it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    FlushInQ(kPort);
    const struct {
        std::string trame;
        std::optional<double> lecture;  // nothing: no reading
    } cas[] = {
        {"E0123P", 123.0},
        {"E12.5P", 125.0},
        {"E-7P", 7.0},
        {"EP", 0.0},                                  // no digit: 0, still a reading
        {"xx\r\nP12E5P", 5.0},                        // bytes before the 'E' dropped
        {"E 4\r0 1P", 401.0},
        {"E2147483647P", 2147483647.0},
        {"E21474836470P", std::nullopt},              // more than a reading holds
        {"E99999999999P", std::nullopt},
        {"E1PE2P", 1.0},                              // a second frame behind the 'P' goes
        {"E00412P\r\n", 412.0},
    };
    unsigned n = 0;
    double derniere = NaN;
    for (const auto &c : cas) {
        SCOPED_TRACE(c.trame);
        Trame(c.trame);
        ASSERT_TRUE(poussee::Attendre([&] { return GetInQLen(kPort) == static_cast<int>(c.trame.size()); }))
            << GetInQLen(kPort) << " bytes waiting; the line sent " << testing::PrintToString(Ligne().Emis());
        ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 0; })) << "the queue is emptied after each frame";
        if (c.lecture) {
            derniere = *c.lecture;
            ++n;
        }
        EXPECT_TRUE(Voie(instrument, 1, derniere, n));
    }
    EXPECT_EQ(Ligne().Recu(), "") << "nothing is ever sent";
    EXPECT_TRUE(ui_test::Vus().empty());
    instrument->stop(instrument);
}

// The analyser's own frames, as it sends them once a second.
TEST_F(DGM110Test, TheAnalysersOwnFrames) {
    Demarrer();
    Analyseur([](sim::AnalyseurDGM110 &a) {
        a.ImposerConcentration(417);
        a.FixerPeriode(1.0);
    });
    for (unsigned k = 1; k <= 3; ++k) {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == k; }));
        EXPECT_TRUE(Voie(instrument, 1, 417.0, k));
    }
    instrument->stop(instrument);
}

// Frames received while no callback was installed: the first call, at the next frame, reads
// the oldest one and empties the queue.
TEST_F(DGM110Test, StartKeepsTheFramesAlreadyReceived) {
    EXPECT_EQ(instrument->init(instrument), 0);
    Trame("E1P");
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 3; }));
    Trame("E2P");
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 6; }));
    EXPECT_EQ(instrument->start(instrument), 0);
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0)) << "no call before a new frame";
    Trame("E3P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, 1.0, 1));
    EXPECT_EQ(GetInQLen(kPort), 0);

    // A new init starts the channel again.
    EXPECT_EQ(instrument->init(instrument), 0);
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
}

// A frame that never gets its 'P' is no reading; the wait ends on the port's time-out.
TEST_F(DGM110Test, AFrameCutShortIsNoReading) {
    Demarrer();
    Analyseur([](sim::AnalyseurDGM110 &a) {
        a.ImposerConcentration(12);
        a.CouperTrames(true);
    });
    const double t0 = horloge::Secondes();
    Analyseur([](sim::AnalyseurDGM110 &a) { a.Envoyer(); });
    ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, 10.0); }));
    Laisser();
    EXPECT_NEAR(horloge::Secondes() - t0, 10.0, 1e-6) << "the library's default time-out";
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    Analyseur([](sim::AnalyseurDGM110 &a) { a.CouperTrames(false); });
    Trame("E34P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    EXPECT_TRUE(Voie(instrument, 1, 34.0, 1));
    instrument->stop(instrument);
}

TEST_F(DGM110Test, GarbageAndSilence) {
    Demarrer();
    Ligne().FixerCharabia("\x15?#\xA4 garbage with no frame");
    Ligne().FixerPanne(sim::serie::Panne::charabia);
    Trame("E55P");
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) > 0; }));
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, NaN, 0)) << "no 'E': no call, no reading";
    for (const auto panne : {sim::serie::Panne::muet, sim::serie::Panne::debranche}) {
        Ligne().FixerPanne(panne);
        Trame("E56P");
        Laisser();
        EXPECT_TRUE(Voie(instrument, 1, NaN, 0));
    }
    Ligne().FixerPanne(sim::serie::Panne::aucune);
    Trame("E57P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    EXPECT_TRUE(Voie(instrument, 1, 57.0, 1)) << "the garbage went with the frame's queue";
    EXPECT_TRUE(ui_test::Vus().empty());
    instrument->stop(instrument);
}

TEST_F(DGM110Test, StopAndLibererRemoveTheCallback) {
    Demarrer();
    Trame("E7P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    instrument->stop(instrument);
    Trame("E8P");
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 3; }));
    Laisser();
    EXPECT_TRUE(Voie(instrument, 1, 7.0, 1)) << "no callback after stop: the value stays";

    // Freed while its callback is installed: the callback goes with the port, and a frame
    // already on its way reaches no freed record.
    EXPECT_EQ(instrument->start(instrument), 0);
    Trame("E10P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 2; }));
    EXPECT_TRUE(Voie(instrument, 1, 8.0, 2)) << "the frame that waited";
    Trame("E9P");
    ASSERT_TRUE(poussee::Attendre([&] { return GetInQLen(kPort) == 3; })) << "its call waits to be delivered";
    instrument->liberer(instrument);
    instrument = nullptr;
    Laisser();
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
}

// A port that cannot be opened is not reported by init; the start fails.
TEST_F(DGM110Test, APortThatCannotBeOpenedFailsTheStart) {
    EcrireEntierBloc(instrument, kComPort, 3);
    EXPECT_EQ(instrument->init(instrument), 0);
    const int r = instrument->start(instrument);
    EXPECT_EQ(r, kRS_PortNotOpen);
    EXPECT_NE(r & 0x8000, 0);
    instrument->stop(instrument);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(DGM110Test, ConfigurationTakesEffectAtTheNextInit) {
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration de l'instrument .");
    EXPECT_EQ(Libelles(p, P_INSTR_RG_COM_ID), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(ui_test::TexteVisible(p, P_INSTR_RG_COM_ID), "Port COM");
    EXPECT_EQ(Valeur(p, P_INSTR_RG_COM_ID), 2);
    Demarrer();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_RG_COM_ID, 3), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_INSTR_CB_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 4);

    // Until the next start, the analyser of the last init is read, and stop finds its callback.
    Trame("E21P");
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    instrument->stop(instrument);
    Trame("E22P");
    ASSERT_TRUE(Traiter([&] { return GetInQLen(kPort) == 4; }));
    Demarrer();
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen) << "the first port was let go";
    Trame("E23P", 4);
    ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == 1; }));
    EXPECT_TRUE(Voie(instrument, 1, 23.0, 1));
    instrument->stop(instrument);
}

}  // namespace
