// "Carte VEXO" against a simulated acquisition board on a pseudo-terminal: the handshake of
// `init` byte for byte, the frames read by the receive callback, `stop`, the configuration
// panel, the failures, and the settings block.
#include "instruments/bench/VEXO.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/vexo.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/instruments/bench/test_regul_dgm110_vexo.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_vexo.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using poussee::Laisser;
using poussee::Traiter;
using poussee::Voie;

constexpr std::size_t kPortCom = 0, kTemps = 4, kNombre = 8, kNom = 12;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const std::string kEtx = "\x03", kEot = "\x04";
const std::string kConfiguration(17, '\0');

// The computer's bytes of a whole handshake, for the period byte `periode`.
std::string Poignee(unsigned char periode) {
    return kEot + kEtx + kConfiguration + kEot + kEtx + std::string(1, static_cast<char>(periode)) + kEot;
}

class CarteVexoTest : public InstrumentSerie {
protected:
    CarteVexoTest() : InstrumentSerie("vexo.dll", "com1 = sim:VEXO\ncom2 = sim:VEXO\ncom3 = /nonexistent/ttyS2\n") {}
    sim::serie::Ligne &Ligne(int port = 1) { return *banc_->Ligne(port); }
    template <class F>
    auto Carte(F &&f, int port = 1) {
        return Ligne(port).Avec<sim::CarteVexo>(std::forward<F>(f));
    }
    // What reached the board since the last look: waits for `n` bytes when given, else a moment.
    std::string Recu(std::size_t n = 0, int port = 1) {
        if (n > 0) EXPECT_TRUE(Ligne(port).AttendreRecu(n));
        else Laisser();
        const std::string r = Ligne(port).Recu();
        Ligne(port).EffacerJournal();
        return r;
    }
    void SetUp() override {
        InstrumentSerie::SetUp();
        if (HasFatalFailure()) return;
        for (const int port : {1, 2}) ASSERT_TRUE(poussee::AttendreMiseSousTension(Ligne(port)));
        // The operator resets the board while the pop-up asks for it, then closes the pop-up.
        // Any other pop-up must be the one the test expects.
        ui_test::ActiverScript([this](const std::string &d) {
            if (d.find("VEXO") != std::string::npos) {
                ++reinitialisations;
                if (operateur) operateur();
                else Carte([](sim::CarteVexo &c) { c.Reinitialiser(); }, portCarte);
            } else if (attendu.empty() || d.find(attendu) == std::string::npos) {
                ADD_FAILURE() << d;
            }
        });
    }
    // Init against a board that answers, its handshake read off the line.
    void Init(unsigned char periode = 1) {
        EXPECT_EQ(instrument->init(instrument), 0);
        EXPECT_EQ(Recu(Poignee(periode).size(), portCarte), Poignee(periode));
    }
    // The board's next period: its frame reaches the channels, whose counters become `n`, and the
    // board has its last acknowledgement.
    void Trame(unsigned n, double periode = 1.0) {
        horloge::AvancerHorlogeFactice(periode);
        ASSERT_TRUE(Traiter([&] { return instrument->numero_1D(instrument, 1) == n; }));
        ASSERT_TRUE(poussee::Attendre([&] { return !Carte([](sim::CarteVexo &c) { return c.TrameEnCours(); }); }));
    }

    // The counts of every frame in the tests of a board reset while acquiring: 10 to 40.
    void ComptesFixes() {
        Carte([](sim::CarteVexo &b) { b.ImposerComptes(std::array<std::int32_t, 4>{10, 20, 30, 40}); });
    }
    // Every channel holds its count of ComptesFixes, with reading counter `n`.
    void Voies(unsigned n) {
        for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, 10 * voie, n));
    }
    // The board was reset during the acquisition: the receive callback takes up its handshake
    // again and the board acquires anew. What reached the board since the last look is EOTs (the
    // frames' acknowledgements and the answers to its call, at least `reponses` of them), then
    // the handshake from the computer's first request on, as `init` sends it. The channels still
    // hold frame `n`; the next frame comes by itself and becomes frame `n` + 1.
    void Reprise(std::size_t reponses, unsigned &n) {
        const std::string suite = Poignee(1).substr(kEot.size());
        ASSERT_TRUE(Traiter([&] {
            return Ligne().Recu().ends_with(suite) &&
                   Carte([](sim::CarteVexo &c) { return c.LEtape(); }) == sim::CarteVexo::Etape::Acquisition;
        })) << testing::PrintToString(Ligne().Recu());
        const std::string r = Recu();
        EXPECT_GE(r.size(), reponses + suite.size()) << testing::PrintToString(r);
        EXPECT_EQ(r.find_first_not_of(kEot), r.size() - suite.size()) << testing::PrintToString(r);
        Voies(n);
        ASSERT_NO_FATAL_FAILURE(Trame(++n));
        Voies(n);
    }

    int portCarte = 1;         // the board that the operator resets
    int reinitialisations = 0;
    std::string attendu;       // a part of the other pop-up the test expects
    std::function<void()> operateur;  // what the operator does at the reset pop-up, if not a reset
};

TEST_F(CarteVexoTest, DefaultsChannelsAndSettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(instrument, 77);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), 140);
    EXPECT_EQ(m.taille, 77u) << "the size is not written";
    EXPECT_EQ(LireEntierBloc(instrument, kPortCom), 1);
    EXPECT_EQ(LireEntierBloc(instrument, kTemps), 1);
    EXPECT_EQ(LireEntierBloc(instrument, kNombre), 4) << "four channels before any OK";
    EXPECT_EQ(LireTexteBloc(instrument, kNom, 128), "Carte VEXO");
    for (auto *slot : {reinterpret_cast<void *>(instrument->start), reinterpret_cast<void *>(instrument->status),
                       reinterpret_cast<void *>(instrument->execute), reinterpret_cast<void *>(instrument->piloter),
                       reinterpret_cast<void *>(instrument->nb_voie2D),
                       reinterpret_cast<void *>(instrument->nb_voie_calcul),
                       reinterpret_cast<void *>(instrument->nb_voie_calcul2D)})
        EXPECT_EQ(slot, nullptr);
    ASSERT_EQ(instrument->nb_voie_1D(instrument), 4);
    for (int voie = 1; voie <= 4; ++voie) {
        char nom[kLongueurNomVoie] = "";
        instrument->get_nom_voie_1D(instrument, voie, nom);
        EXPECT_EQ(nom, "Voie " + std::to_string(voie));
        EXPECT_TRUE(Voie(instrument, voie, NaN, 0));
    }
    // A channel count from a settings file that the record cannot serve gives four channels.
    for (const auto &[stocke, compte] : std::vector<std::pair<int, int>>{{2, 2}, {4, 4}, {0, 4}, {7, 4}, {-1, 4}}) {
        EcrireEntierBloc(instrument, kNombre, stocke);
        EXPECT_EQ(instrument->nb_voie_1D(instrument), compte) << stocke;
    }
}

TEST_F(CarteVexoTest, HandshakeByteForByte) {
    EXPECT_EQ(instrument->init(instrument), 0);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "Attention");
    EXPECT_EQ(ui_test::Vus()[0].message, "Veuillez :\n Réinitialiser la carte du VEXO\n Activer l'utilisation du PC"_w);
    EXPECT_EQ(Recu(23), std::string("\x04\x03") + std::string(17, '\0') + "\x04\x03\x01\x04");
    const auto [etape, configuration, periode] = Carte([](sim::CarteVexo &c) {
        return std::tuple(c.LEtape(), c.Configuration(), c.OctetPeriode());
    });
    EXPECT_EQ(etape, sim::CarteVexo::Etape::Acquisition);
    EXPECT_EQ(configuration, kConfiguration);
    EXPECT_EQ(periode, 1);
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, NaN, 0));

    const termios t = Ligne().Reglages();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    instrument->stop(instrument);
}

// The board's calls may come with other bytes before them, and a wrong status sends the
// handshake back to its wait for a call.
TEST_F(CarteVexoTest, HandshakeThroughNoiseAndWrongStatusBytes) {
    Carte([](sim::CarteVexo &c) {
        c.FixerBruitAvantAppel(std::string("zz\x04\x00", 4));
        c.FixerStatutsFaux(1, 1);
    });
    EXPECT_EQ(instrument->init(instrument), 0);
    // '6' for '7' and '9' for '8': each time the board calls again and the computer
    // acknowledges once more.
    EXPECT_EQ(Recu(25), kEot + kEot + kEtx + kConfiguration + kEot + kEot + kEtx + "\x01" + kEot);
    EXPECT_EQ(Carte([](sim::CarteVexo &c) { return c.LEtape(); }), sim::CarteVexo::Etape::Acquisition);
    instrument->stop(instrument);
}

// Without the operator's reset, the board calls on its own every 3 s until the computer answers:
// the handshake goes through whatever number of calls waited while the pop-up was open (the
// computer taking a call for a status, or missing the status, a time-out at most).
TEST_F(CarteVexoTest, TheBoardCallingOnItsOwn) {
    for (const int appels : {0, 1, 2, 3, 4}) {
        SCOPED_TRACE(appels);
        Carte([](sim::CarteVexo &c) { c.Reinitialiser(); });
        ASSERT_TRUE(poussee::Attendre([&] { return Ligne().Emis().find('\x03') != std::string::npos; }))
            << "the call, before the port's opening drops it";
        // The pop-up stays open while the board calls `appels` times.
        operateur = [&] {
            const int avant = Carte([](sim::CarteVexo &c) { return c.Appels(); });
            for (int k = 1; k <= appels; ++k) {
                horloge::AvancerHorlogeFactice(3.0);
                ASSERT_TRUE(poussee::Attendre([&] {
                    return Carte([](sim::CarteVexo &c) { return c.Appels(); }) == avant + k && GetInQLen(1) == k;
                })) << "a call waits in the port's queue";
            }
        };
        const double t0 = horloge::Secondes();
        EXPECT_EQ(instrument->init(instrument), 0);
        EXPECT_LE(horloge::Secondes() - t0, 3.0 * appels + 20.0 + 1e-6) << "two time-outs at most";
        EXPECT_TRUE(poussee::Attendre([&] {
            return Carte([](sim::CarteVexo &c) { return c.LEtape(); }) == sim::CarteVexo::Etape::Acquisition;
        })) << "the board got the period";
        EXPECT_EQ(Carte([](sim::CarteVexo &c) { return c.Configuration(); }), kConfiguration);
        const unsigned n = instrument->numero_1D(instrument, 1);
        Trame(n + 1);
        instrument->stop(instrument);
        Ligne().EffacerJournal();
    }
}

TEST_F(CarteVexoTest, FramesReachTheFourChannels) {
    Init();
    const struct {
        std::array<std::int32_t, 4> comptes;
        bool zeroAvant;
    } cas[] = {
        {{1, -2, 0, 7}, false},
        {{INT_MAX, INT_MIN, 123456, -1}, false},
        {{10, 20, 30, 40}, true},  // a 0x00 before the ETX is dropped with it
    };
    unsigned n = 0;
    for (const auto &c : cas) {
        SCOPED_TRACE(n);
        Carte([&](sim::CarteVexo &b) {
            b.ImposerComptes(c.comptes);
            b.FixerZeroAvantTrame(c.zeroAvant);
        });
        Trame(++n);
        for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, c.comptes[voie - 1], n));
        EXPECT_EQ(Recu(21), std::string(21, '\x04')) << "the ETX and every byte acknowledged";
    }
    EXPECT_EQ(Carte([](sim::CarteVexo &b) { return b.Trames(); }), 3);

    // The board's own counts; two frames move every counter by exactly 2.
    Carte([](sim::CarteVexo &b) { b.ImposerComptes(std::nullopt); });
    Trame(4);
    Trame(5);
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, 10000 * voie + 4, 5));
    EXPECT_TRUE(ui_test::Vus().size() == 1u) << "only the reset pop-up";
    instrument->stop(instrument);
}

// Frame bytes equal to ETX raise events of their own: the calls that follow the frame find
// nothing waiting, even after 0.1 s, and send nothing.
TEST_F(CarteVexoTest, ACallWithNothingWaitingSendsNothing) {
    Init();
    Carte([](sim::CarteVexo &b) { b.ImposerComptes(std::array<std::int32_t, 4>{0x03030303, 3, 0x0300, 5}); });
    const double t0 = horloge::Secondes();
    Trame(1);
    ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, 1.1); })) << "the call that follows the frame";
    EXPECT_EQ(Recu(21), std::string(21, '\x04'));
    EXPECT_EQ(Recu(), "");
    EXPECT_TRUE(Voie(instrument, 1, 0x03030303, 1));
    EXPECT_TRUE(Voie(instrument, 3, 0x0300, 1));
    EXPECT_NEAR(horloge::Secondes() - t0, 1.1, 1e-6) << "the period, and one look again 0.1 s later";
    instrument->stop(instrument);
}

// A frame that stops short is not stored; the wait for its missing byte lasts one period.
TEST_F(CarteVexoTest, AFrameCutShortIsNotStored) {
    Init();
    Carte([](sim::CarteVexo &b) {
        b.ImposerComptes(std::array<std::int32_t, 4>{1, 2, 3, 4});
        b.CouperTrames(5);
    });
    const double t0 = horloge::Secondes();
    horloge::AvancerHorlogeFactice(1.0);
    ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, 2.0); })) << "the sixth byte never comes";
    EXPECT_EQ(Recu(7), std::string(7, '\x04')) << "the ETX, five bytes and the missing one acknowledged";
    EXPECT_NEAR(horloge::Secondes() - t0, 2.0, 1e-6);
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, NaN, 0));

    // The board gives the frame up at its next period (the one the wait reached); the next whole
    // frame is stored.
    ASSERT_TRUE(poussee::Attendre([&] { return !Carte([](sim::CarteVexo &b) { return b.TrameEnCours(); }); }));
    Carte([](sim::CarteVexo &b) { b.CouperTrames(std::nullopt); });
    Trame(1);
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, voie, 1));
    instrument->stop(instrument);
}

// The operator resets the board between two frames, however soon after the last one: the
// callback recognises its call and its status, takes up the handshake again, and the frames come
// back by themselves. The call's bytes never land in a channel.
TEST_F(CarteVexoTest, ABoardResetBetweenFramesComesBackByItself) {
    Init();
    ComptesFixes();
    unsigned n = 0;
    for (int k = 0; k < 3; ++k) Trame(++n);
    for (const double apres : {0.3, 0.0, 0.7}) {
        SCOPED_TRACE(apres);
        Recu();
        horloge::AvancerHorlogeFactice(apres);
        Carte([](sim::CarteVexo &b) { b.Reinitialiser(); });
        // The call, and its status taken at first for a frame's first byte, are answered.
        ASSERT_NO_FATAL_FAILURE(Reprise(2, n));
    }
    EXPECT_EQ(ui_test::Vus().size(), 1u) << "only the reset pop-up";
    instrument->stop(instrument);
}

// The operator resets the board in the middle of a frame, while the computer's acknowledgement of
// its last byte is on its way: the board's call crosses it and takes it for its answer, so the
// call and its status come together. After the frame's last byte the frame is whole and stored,
// and the callback finds the call with its status waiting when it looks next; earlier, they come
// among the frame's bytes, which make no frame and are not stored. Either way the handshake is
// taken up again and the frames come back.
TEST_F(CarteVexoTest, AResetInTheMiddleOfAFrame) {
    Init();
    ComptesFixes();
    unsigned n = 0;
    Trame(++n);
    const struct {
        std::size_t octets;  // of the frame, sent before the reset
        bool stockee;
    } cas[] = {{20, true}, {0, false}, {7, false}, {18, false}, {19, false}};
    for (const auto &c : cas) {
        SCOPED_TRACE(c.octets);
        Recu();
        Carte([&](sim::CarteVexo &b) { b.ReinitialiserApres(c.octets); });
        horloge::AvancerHorlogeFactice(1.0);
        if (c.stockee) ++n;
        ASSERT_NO_FATAL_FAILURE(Reprise(c.octets + 1, n));
    }
    instrument->stop(instrument);
}

// A frame whose first bytes read like a call's status ('7' is 0x37, '8' is 0x38, ETX is 0x03) is
// a frame, also after a frame that was missed: acknowledged byte by byte and stored, at once,
// with nothing else sent to the board.
TEST_F(CarteVexoTest, AFrameThatBeginsLikeAStatusAfterAMissedFrame) {
    Init();
    ComptesFixes();
    unsigned n = 0;
    Trame(++n);
    for (const std::int16_t debut : {0x3703, 0x3803, 0x3737}) {
        SCOPED_TRACE(debut);
        Recu();
        // A frame cut short, waited for a period and not stored; the board gives it up at its
        // next period and sends the next frame a period later.
        Carte([](sim::CarteVexo &b) {
            b.ImposerEpsilons(std::nullopt);
            b.CouperTrames(5);
        });
        const double t0 = horloge::Secondes();
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, 2.0); })) << "the sixth byte never comes";
        EXPECT_EQ(Recu(7), std::string(7, '\x04'));
        ASSERT_TRUE(poussee::Attendre([&] { return !Carte([](sim::CarteVexo &b) { return b.TrameEnCours(); }); }));
        Carte([&](sim::CarteVexo &b) {
            b.CouperTrames(std::nullopt);
            b.ImposerEpsilons(std::array<std::int16_t, 2>{debut, debut});
        });
        ASSERT_NO_FATAL_FAILURE(Trame(++n));
        EXPECT_EQ(Recu(21), std::string(21, '\x04')) << "the ETX and every byte acknowledged, nothing else";
        EXPECT_LT(horloge::Secondes() - t0, 3.5) << "no read waited a period for what the board never sends";
        Voies(n);
    }
    instrument->stop(instrument);
}

// The board's period goes out as its low 8 bits; the reads of a frame wait the whole period,
// and at least a second.
TEST_F(CarteVexoTest, PeriodByteAndReadTimeOut) {
    const struct {
        int temps;
        unsigned char octet;
        double attente;
    } cas[] = {{300, 44, 300.0}, {0, 0, 1.0}, {5, 5, 5.0}, {-2, 254, 1.0}};
    for (const auto &c : cas) {
        SCOPED_TRACE(c.temps);
        EcrireEntierBloc(instrument, kTemps, c.temps);
        Init(c.octet);
        Carte([](sim::CarteVexo &b) { b.CouperTrames(0); });  // the frame's ETX, then nothing
        const double periode = std::max<int>(1, c.octet);      // the board's own period
        const double t0 = horloge::Secondes();
        horloge::AvancerHorlogeFactice(periode);
        // The board falls silent once its ETX is out: the wait for the next byte lasts its
        // whole time-out, longer than the board's own period when the period byte wrapped.
        Ligne().FixerPanne(sim::serie::Panne::muet);
        ASSERT_TRUE(Traiter([&] { return poussee::Passe(t0, periode + c.attente); }));
        EXPECT_EQ(Recu(2), kEot + kEot) << "the ETX, and the byte that never came";
        EXPECT_NEAR(horloge::Secondes() - t0, periode + c.attente, 1e-6);
        Ligne().FixerPanne(sim::serie::Panne::aucune);
        Carte([](sim::CarteVexo &b) { b.CouperTrames(std::nullopt); });
        instrument->stop(instrument);
    }
}

TEST_F(CarteVexoTest, StopAndLibererRemoveTheCallback) {
    Init();
    Trame(1);
    instrument->stop(instrument);
    Recu(21);
    horloge::AvancerHorlogeFactice(1.0);
    ASSERT_TRUE(Traiter([&] { return GetInQLen(1) == 1; })) << "the board calls";
    Laisser();
    EXPECT_EQ(Recu(), "") << "nobody answers after stop";
    for (int voie = 1; voie <= 4; ++voie) EXPECT_EQ(instrument->numero_1D(instrument, voie), 1u);

    // Stopped, the board takes the computer for gone and calls again; a new start resets it.
    ui_test::Effacer();
    Init();
    EXPECT_EQ(ui_test::Vus().size(), 1u);
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(Voie(instrument, voie, NaN, 0));
    Trame(1);

    // Freed while its callback is installed: the callback goes with the port, and a frame
    // already on its way reaches no freed record.
    Recu(21);
    horloge::AvancerHorlogeFactice(1.0);
    ASSERT_TRUE(poussee::Attendre([&] { return GetInQLen(1) == 1; })) << "its call waits to be delivered";
    instrument->liberer(instrument);
    instrument = nullptr;
    Laisser();
    EXPECT_EQ(Recu(), "");
    EXPECT_EQ(GetInQLen(1), kRS_PortNotOpen);
}

// A board that does not answer as it should ends the handshake with a message: a silent or
// unplugged one after three time-outs of 10 s; one whose every word is garbage (its calls every
// 3 s included) no later: at its first word after those 30 s, without a time-out.
TEST_F(CarteVexoTest, ABoardThatDoesNotAnswer) {
    attendu = "Erreur de transmission";
    const struct {
        const char *nom;
        sim::serie::Panne panne;
        std::string recu;
        double duree, ecart;
    } cas[] = {
        {"silent", sim::serie::Panne::muet, kEot + kEot + kEot, 30.0, 1e-6},
        {"garbage", sim::serie::Panne::charabia, "", 30.0 + 1.5, 1.5},  // its next word after 30 s
        {"unplugged", sim::serie::Panne::debranche, "", 30.0, 1e-6},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.nom);
        Ligne().FixerPanne(c.panne);
        ui_test::Effacer();
        const double t0 = horloge::Secondes();
        EXPECT_EQ(instrument->init(instrument), -1);
        EXPECT_NEAR(horloge::Secondes() - t0, c.duree, c.ecart);
        ASSERT_EQ(ui_test::Vus().size(), 2u);
        EXPECT_EQ(ui_test::Vus()[1].titre, "Attention");
        EXPECT_EQ(ui_test::Vus()[1].message, "Erreur de transmission");
        EXPECT_EQ(Recu(c.recu.size()), c.recu);
        // What the board said to the last bytes goes (to a line that may keep it silent) before
        // the next case's fault is set, not through it.
        ASSERT_TRUE(Ligne().AttendreEmis());
    }
    // A board that calls but never gives the right status ends the handshake as well.
    Laisser();  // the last bytes the unplugged board never got are gone
    Ligne().FixerPanne(sim::serie::Panne::aucune);
    Carte([](sim::CarteVexo &c) { c.FixerStatutsFaux(100); });
    ui_test::Effacer();
    const double t0 = horloge::Secondes();
    EXPECT_EQ(instrument->init(instrument), -1);
    EXPECT_EQ(horloge::Secondes(), t0);
    ASSERT_EQ(ui_test::Vus().size(), 2u);
    EXPECT_EQ(ui_test::Vus()[1].message, "Erreur de transmission");
    EXPECT_EQ(Recu(), std::string(16, '\x04')) << "sixteen wrong status bytes, each after a call";
}

TEST_F(CarteVexoTest, APortThatCannotBeOpened) {
    EcrireEntierBloc(instrument, kPortCom, 3);
    attendu = "Impossible d'ouvrir";
    EXPECT_EQ(instrument->init(instrument), kRS_CanNotOpenPort);
    ASSERT_EQ(ui_test::Vus().size(), 1u) << "no reset pop-up";
    EXPECT_EQ(ui_test::Vus()[0].titre, "Attention");
    EXPECT_EQ(ui_test::Vus()[0].message, "Impossible d'ouvrir le port demandé"_w);
}

TEST_F(CarteVexoTest, ConfigurationTakesEffectAtTheNextInit) {
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "CONFIG  APPAREIL");
    EXPECT_EQ(Libelles(p, Conf_Vexo_RING_Conf_COM_Vexo), (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_Vexo_RING_Conf_COM_Vexo), "Port série :");
    EXPECT_EQ(Chaine(p, Conf_Vexo_TEXTMSG), "Temps d'échantillonnage (s)"_w);
    EXPECT_EQ(Valeur(p, Conf_Vexo_RING_Conf_COM_Vexo), 1);
    EXPECT_EQ(Valeur(p, Conf_Vexo_NUM_Conf_Echan_Vexo), 1);
    EcrireEntierBloc(instrument, kNombre, 2);
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_Vexo_RING_Conf_COM_Vexo, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_Vexo_NUM_Conf_Echan_Vexo, 3), 0);
    ASSERT_EQ(ui_test::Cliquer(p, Conf_Vexo_OK_VEXO), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(instrument, kPortCom), 2);
    EXPECT_EQ(LireEntierBloc(instrument, kTemps), 3);
    EXPECT_EQ(LireEntierBloc(instrument, kNombre), 4);
    EXPECT_EQ(Recu(), "") << "nothing is sent";

    portCarte = 2;
    Init(3);
    Trame(1, 3.0);
    instrument->stop(instrument);
}

}  // namespace
