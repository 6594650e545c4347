// Serial ports on termios, against simulated devices on pseudo-terminals: opening and line
// settings, writes, reads with their time-outs on the program's clock, partial and terminated
// reads, the input queue, receive callbacks delivered on the thread that handles the events,
// their safe removal, reopening, and the COM ports of the bench configuration.
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "sim/bench/cadence.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"
#include "sim/transcription.h"
#include "tests/support/gpib_essai.h"

namespace {

using namespace std::chrono_literals;
using sim::serie::Ligne;
using sim::serie::Panne;

constexpr int kPort = 7;

// Receive callbacks reach this queue; the test's thread runs them when it "handles its events".
std::mutex mutexFile;
std::vector<std::function<void()>> fileRappels;

void PosterDansLaFile(std::function<void()> appel) {
    std::lock_guard g(mutexFile);
    fileRappels.push_back(std::move(appel));
}

// Runs the callbacks waiting; returns how many deliveries there were.
int Pomper() {
    std::vector<std::function<void()>> a;
    {
        std::lock_guard g(mutexFile);
        a.swap(fileRappels);
    }
    for (auto &f : a) f();
    return static_cast<int>(a.size());
}

std::size_t EnAttente() {
    std::lock_guard g(mutexFile);
    return fileRappels.size();
}

// Waits (real time) until `condition` holds; false after `limite`.
bool AttendreQue(const std::function<bool()> &condition, std::chrono::milliseconds limite = 5000ms) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::string Lire(int port, int n) {
    std::string s(static_cast<std::size_t>(n), '\0');
    const int lus = ComRd(port, s.data(), n);
    s.resize(static_cast<std::size_t>(std::max(lus, 0)));
    return s;
}

// A port opened on a loop-back plug or on a device that sends what the test tells it.
class PortSerie : public testing::Test {
protected:
    void SetUp() override {
        FixerPosteurRappelsCom(&PosterDansLaFile);
        ligne_ = std::make_unique<Ligne>(sim::serie::CreerModele("boucle"));
        ASSERT_TRUE(ligne_->Ouverte());
    }
    void TearDown() override {
        FermerTousLesPortsCom();
        Pomper();
        FixerPosteurRappelsCom(nullptr);
        horloge::UtiliserHorlogeReelle();
    }
    int Ouvrir(int taille = 512) {
        return OpenComConfig(kPort, ligne_->Chemin().c_str(), 9600, 0, 8, 1, taille, 512);
    }
    // The device sends `octets` by itself; returns once the port's queue holds `total` bytes.
    void Recevoir(const std::string &octets, int total) {
        ligne_->Envoyer(octets);
        ASSERT_TRUE(AttendreQue([&] { return GetInQLen(kPort) >= total; })) << GetInQLen(kPort);
    }

    std::unique_ptr<Ligne> ligne_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

TEST_F(PortSerie, OpensWithTheLineSettingsAndNoFlowControlUntilAsked) {
    ASSERT_EQ(Ouvrir(), 0);
    termios t = ligne_->Reglages();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_lflag & ICANON, 0u);  // raw: no line editing, no echo
    EXPECT_EQ(t.c_lflag & ECHO, 0u);

    EXPECT_EQ(SetXMode(kPort, 1), 0);
    EXPECT_EQ(SetCTSMode(kPort, 1), 0);
    t = ligne_->Reglages();
    EXPECT_NE(t.c_iflag & IXON, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(SetXMode(kPort, 0), 0);
    EXPECT_EQ(SetCTSMode(kPort, 0), 0);
    t = ligne_->Reglages();
    EXPECT_EQ(t.c_iflag & IXON, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(SetXMode(kPort, 2), kRS_InvalidParameter);

    ASSERT_EQ(OpenComConfig(kPort, ligne_->Chemin().c_str(), 115200, kRS_EvenParity, 7, 2, 512, 512), 0);
    t = ligne_->Reglages();
    EXPECT_EQ(cfgetospeed(&t), B115200);  // (a pseudo-terminal keeps 8 bits and no parity)
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
}

TEST_F(PortSerie, RefusesBadArgumentsAndPortsNotOpen) {
    const char *chemin = ligne_->Chemin().c_str();
    const struct {
        const char *cas;
        int port;
        long baud;
        int parite, bits, arret, attendu;
    } ouvertures[] = {
        {"port 0", 0, 9600, 0, 8, 1, kRS_InvalidPortNum},
        {"port 17", 17, 9600, 0, 8, 1, kRS_InvalidPortNum},
        {"rate", kPort, 12345, 0, 8, 1, kRS_InvalidBaudRate},
        {"parity", kPort, 9600, 5, 8, 1, kRS_InvalidParity},
        {"data bits", kPort, 9600, 0, 9, 1, kRS_InvalidDataBits},
        {"stop bits", kPort, 9600, 0, 8, 3, kRS_InvalidStopBits},
    };
    for (const auto &o : ouvertures) {
        SCOPED_TRACE(o.cas);
        EXPECT_EQ(OpenComConfig(o.port, chemin, o.baud, o.parite, o.bits, o.arret, 512, 512), o.attendu);
        EXPECT_EQ(ReturnRS232Err(), o.attendu);
    }
    // Not a terminal, and no device at all.
    EXPECT_EQ(OpenComConfig(kPort, "/dev/null", 9600, 0, 8, 1, 512, 512), kRS_CanNotOpenPort);
    EXPECT_EQ(OpenComConfig(kPort, "/nonexistent/ttyS9", 9600, 0, 8, 1, 512, 512), kRS_CanNotOpenPort);

    // Every call on a port that is not open fails without waiting; closing it is harmless.
    char tampon[4];
    const auto debut = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_PortNotOpen);
    EXPECT_EQ(ComRd(kPort, tampon, 4), kRS_PortNotOpen);
    EXPECT_EQ(ComRdTerm(kPort, tampon, 4, '\n'), kRS_PortNotOpen);
    EXPECT_EQ(ComWrt(kPort, "ab", 2), kRS_PortNotOpen);
    EXPECT_EQ(ComWrtByte(kPort, 'a'), kRS_PortNotOpen);
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
    EXPECT_EQ(FlushInQ(kPort), kRS_PortNotOpen);
    EXPECT_EQ(SetComTime(kPort, 1.0), kRS_PortNotOpen);
    EXPECT_EQ(SetXMode(kPort, 0), kRS_PortNotOpen);
    EXPECT_EQ(SetCTSMode(kPort, 0), kRS_PortNotOpen);
    EXPECT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 'E', [](int, int, void *) {}, nullptr), kRS_PortNotOpen);
    EXPECT_EQ(InstallComCallback(kPort, 0, 0, 0, nullptr, nullptr), kRS_PortNotOpen);
    EXPECT_LT(std::chrono::steady_clock::now() - debut, 1s);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(ReturnRS232Err(), 0);
    EXPECT_EQ(CloseCom(0), kRS_InvalidPortNum);
    EXPECT_EQ(ComRdByte(99), kRS_InvalidPortNum);

    ASSERT_EQ(Ouvrir(), 0);
    EXPECT_EQ(SetComTime(kPort, -1.0), kRS_InvalidParameter);
    EXPECT_EQ(SetComTime(kPort, std::nan("")), kRS_InvalidParameter);
    EXPECT_EQ(ComWrt(kPort, "ab", -1), kRS_InvalidParameter);
    EXPECT_EQ(ComWrt(kPort, nullptr, 2), kRS_NullPointerPassed);
    EXPECT_EQ(ComRd(kPort, nullptr, 2), kRS_NullPointerPassed);
    EXPECT_EQ(ComWrt(kPort, nullptr, 0), 0);
}

TEST_F(PortSerie, WritesEveryByteAndReadsThemBackInOrder) {
    ASSERT_EQ(Ouvrir(), 0);
    const std::string octets("*IDN?\0\r\n\x03\xFF", 10);
    EXPECT_EQ(ComWrt(kPort, octets.data(), 10), 10);
    EXPECT_EQ(ComWrtByte(kPort, 0x141), 1);  // the low 8 bits
    ASSERT_TRUE(ligne_->AttendreRecu(11));
    EXPECT_EQ(ligne_->Recu(), octets + "A");
    EXPECT_EQ(Lire(kPort, 11), octets + "A");  // the plug sent it all back
    EXPECT_EQ(ReturnRS232Err(), 0);
}

TEST_F(PortSerie, AReadTakesWhatItAsksForAndLeavesTheRest) {
    ASSERT_EQ(Ouvrir(), 0);
    Recevoir("hello world", 11);
    EXPECT_EQ(ComRdByte(kPort), 'h');
    EXPECT_EQ(Lire(kPort, 4), "ello");
    EXPECT_EQ(GetInQLen(kPort), 6);
    EXPECT_EQ(Lire(kPort, 6), " world");
    EXPECT_EQ(GetInQLen(kPort), 0);

    // A reply that arrives in pieces while the read waits.
    std::thread appareil([&] {
        for (const char *morceau : {"12", "34", "5"}) {
            std::this_thread::sleep_for(20ms);
            ligne_->Envoyer(morceau);
        }
    });
    EXPECT_EQ(Lire(kPort, 5), "12345");
    appareil.join();
}

TEST_F(PortSerie, ReadsTimeOutOnTheProgramClock) {
    ASSERT_EQ(Ouvrir(), 0);
    // Fake clock: a silent device is given up at once, the clock moved on by the time-out.
    horloge::UtiliserHorlogeFactice(1765370096);
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    double t0 = horloge::Secondes();
    auto r0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    EXPECT_EQ(ReturnRS232Err(), kRS_IOTimeOut);
    EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-6);
    EXPECT_LT(std::chrono::steady_clock::now() - r0, 2s);

    // A partial read keeps what came and says it timed out.
    Recevoir("abc", 3);
    char tampon[8] = {};
    t0 = horloge::Secondes();
    EXPECT_EQ(ComRd(kPort, tampon, 8), 3);
    EXPECT_EQ(ReturnRS232Err(), kRS_IOTimeOut);
    EXPECT_EQ(std::string(tampon), "abc");
    EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-6);

    // A device that answers promptly is heard on the fake clock: the clock does not move.
    t0 = horloge::Secondes();
    EXPECT_EQ(ComWrt(kPort, "ping", 4), 4);
    EXPECT_EQ(Lire(kPort, 4), "ping");
    EXPECT_EQ(ReturnRS232Err(), 0);
    EXPECT_EQ(horloge::Secondes(), t0);

    // No wait at all.
    ASSERT_EQ(SetComTime(kPort, 0.0), 0);
    t0 = horloge::Secondes();
    r0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    EXPECT_EQ(horloge::Secondes(), t0);
    EXPECT_LT(std::chrono::steady_clock::now() - r0, 100ms);

    // Sped up: 5 s of program time pass in 5 s / 200 of real time.
    horloge::UtiliserHorlogeReelle();
    horloge::FixerVitesse(200.0);
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    t0 = horloge::Secondes();
    r0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ComRdTerm(kPort, tampon, 8, '\n'), 0);
    EXPECT_EQ(ReturnRS232Err(), kRS_IOTimeOut);
    EXPECT_GE(horloge::Secondes() - t0, 5.0);
    EXPECT_LT(std::chrono::steady_clock::now() - r0, 1s);
}

// A device that says "t" every quarter of a second and answers "q" with "r" 0.3 s later.
class Metronome final : public sim::serie::Modele {
public:
    void Recevoir(std::string_view octets, sim::serie::Sortie &sortie) override {
        for (const char c : octets)
            if (c == 'q') sortie.Emettre("r", 0.3);
    }
    double Reveil() const override { return cadence.Prochaine(); }
    void Parler(double maintenant, sim::serie::Sortie &sortie) override {
        cadence.Parle(maintenant);
        sortie.Emettre("t");
    }
    sim::Cadence cadence{0.25};
};

TEST(PortSerieHorlogeFactice, ADeviceSpeaksAtItsProgramTimesHoweverFastTheClockMoves) {
    horloge::UtiliserHorlogeFactice(1765370096);
    Ligne ligne(std::make_shared<Metronome>());
    ASSERT_TRUE(ligne.Ouverte());
    ASSERT_EQ(OpenComConfig(kPort, ligne.Chemin().c_str(), 9600, 0, 8, 1, 4096, 512), 0);
    ASSERT_EQ(SetComTime(kPort, 1.0), 0);
    horloge::AvancerHorlogeFactice(0.25);
    const auto r0 = std::chrono::steady_clock::now();
    // Every move of the clock by a period brings one word, there as soon as the move returns.
    for (int i = 0; i < 200; ++i) {
        const int avant = GetInQLen(kPort);
        horloge::AvancerHorlogeFactice(0.25);
        ASSERT_EQ(GetInQLen(kPort), avant + 1) << "move " << i;
    }
    // A move of a second brings four.
    int avant = GetInQLen(kPort);
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_EQ(GetInQLen(kPort), avant + 4);
    // A read waits for the next word: the clock moves to it, not to the time-out.
    ASSERT_EQ(FlushInQ(kPort), 0);
    double t0 = horloge::Secondes();
    EXPECT_EQ(ComRdByte(kPort), 't');
    EXPECT_GT(horloge::Secondes() - t0, 0.0);
    EXPECT_LE(horloge::Secondes() - t0, 0.25);

    // An answer due 0.3 s after the question arrives then, within the read's time-out.
    ligne.Avec<Metronome>([](Metronome &m) { m.cadence.Taire(); });
    ASSERT_EQ(FlushInQ(kPort), 0);
    t0 = horloge::Secondes();
    ASSERT_EQ(ComWrt(kPort, "q", 1), 1);
    EXPECT_EQ(ComRdByte(kPort), 'r');
    EXPECT_NEAR(horloge::Secondes() - t0, 0.3, 1e-6);
    // Later than the time-out, it is not heard: the read ends at its time-out.
    ligne.FixerDelaiReponse(1.2);
    t0 = horloge::Secondes();
    ASSERT_EQ(ComWrt(kPort, "q", 1), 1);
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    EXPECT_NEAR(horloge::Secondes() - t0, 1.0, 1e-6);
    EXPECT_EQ(ComRdByte(kPort), 'r');  // it comes 1.5 s after the question
    EXPECT_NEAR(horloge::Secondes() - t0, 1.5, 1e-6);
    EXPECT_LT(std::chrono::steady_clock::now() - r0, 5s);
    FermerTousLesPortsCom();
    horloge::UtiliserHorlogeReelle();
}

// A device that answers every byte with the next letter, after the line's answer delay.
class EnPasCadence final : public sim::serie::Modele {
public:
    void Recevoir(std::string_view octets, sim::serie::Sortie &sortie) override {
        for (const char c : octets) sortie.Emettre(std::string(1, static_cast<char>(c + 1)));
    }
    double Reveil() const override { return std::numeric_limits<double>::infinity(); }
    void Parler(double, sim::serie::Sortie &) override {}
};

// Another thread moves the fake clock all the time, half a second at a time (an instrument
// waiting on its own device), while this one reads with a time-out of 0.2 s: an answer due at
// once is read every time, however the other thread's moves fall; one due 0.3 s after the
// question never is, even when the other thread's move brought it before the reader looked,
// and the next read gets it. Between an answer and its next question the clock stays.
TEST(PortSerieHorlogeFactice, AReadGetsWhatComesByItsTimeOutWhileAnotherThreadMovesTheClock) {
    horloge::UtiliserHorlogeFactice(1765370096);
    Ligne ligne(std::make_shared<EnPasCadence>());
    ASSERT_TRUE(ligne.Ouverte());
    ASSERT_EQ(OpenComConfig(kPort, ligne.Chemin().c_str(), 9600, 0, 8, 1, 512, 512), 0);
    std::atomic<bool> fin{false};
    std::thread autre([&] {
        while (!fin) horloge::AvancerHorlogeFactice(0.5);
    });
    for (const double delai : {0.0, 0.3}) {
        SCOPED_TRACE(delai);
        ligne.FixerDelaiReponse(delai);
        int manquees = 0, lues = 0;
        for (int i = 0; i < 500; ++i) {
            const char c = static_cast<char>('a' + i % 20);
            ASSERT_EQ(SetComTime(kPort, 0.2), 0);
            ASSERT_EQ(ComWrtByte(kPort, c), 1);
            const int r = ComRdByte(kPort);
            if (r == kRS_IOTimeOut) {
                ++manquees;
                ASSERT_EQ(SetComTime(kPort, 1.0), 0);
                ASSERT_EQ(ComRdByte(kPort), c + 1) << i;
            } else {
                ASSERT_EQ(r, c + 1) << i;
                ++lues;
            }
        }
        EXPECT_EQ(delai == 0.0 ? manquees : lues, 0);
    }
    // An exchange in lock step, with some work between an answer and the next question, takes
    // no program time: the other thread's moves wait until this one waits. The clock is read
    // once the first question holds it: before, the other thread moves it freely.
    ligne.FixerDelaiReponse(0.0);
    ASSERT_EQ(SetComTime(kPort, 0.2), 0);
    double t0 = 0.0;
    for (int i = 0; i < 200; ++i) {
        const char c = static_cast<char>('a' + i % 20);
        ASSERT_EQ(ComWrtByte(kPort, c), 1);
        if (i == 0) t0 = horloge::Secondes();
        ASSERT_EQ(ComRdByte(kPort), c + 1) << i;
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(horloge::Secondes(), t0);
    fin = true;
    autre.join();
    FermerTousLesPortsCom();
    horloge::UtiliserHorlogeReelle();
}

TEST_F(PortSerie, TheDefaultTimeOutIsTenSeconds) {
    ASSERT_EQ(Ouvrir(), 0);
    horloge::UtiliserHorlogeFactice(1765370096);
    const double t0 = horloge::Secondes();
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    EXPECT_NEAR(horloge::Secondes() - t0, kDelaiComDefaut, 1e-6);
}

TEST_F(PortSerie, ATerminatedReadStopsAtItsTerminatorOrItsCount) {
    ASSERT_EQ(Ouvrir(), 0);
    horloge::UtiliserHorlogeFactice(1765370096);
    ASSERT_EQ(SetComTime(kPort, 1.0), 0);
    const struct {
        const char *recu;
        int compte, terminateur;
        const char *lu;
        int erreur;
        const char *reste;
    } cas[] = {
        {"23.45\r\nt", 50, '\n', "23.45\r", 0, "t"},          // terminator taken, not stored
        {"\nabc", 50, '\n', "", 0, "abc"},                    // an empty line
        {"abcdef\n", 3, '\n', "abc", 0, "def\n"},             // the count comes first
        {"abc\n", 3, '\n', "abc", 0, "\n"},                   // both at once: the count
        {"xyz", 10, '\n', "xyz", kRS_IOTimeOut, ""},          // no terminator in time
        {"A\xFF" "B", 10, 0x1FF, "A", 0, "B"},                // the terminator's low 8 bits
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.recu);
        ASSERT_EQ(FlushInQ(kPort), 0);
        const std::string recu = c.recu;
        Recevoir(recu, static_cast<int>(recu.size()));
        char tampon[64] = {};
        EXPECT_EQ(ComRdTerm(kPort, tampon, c.compte, c.terminateur), static_cast<int>(std::string(c.lu).size()));
        EXPECT_EQ(ReturnRS232Err(), c.erreur);
        EXPECT_EQ(std::string(tampon), c.lu);
        const std::string reste = c.reste;
        EXPECT_EQ(GetInQLen(kPort), static_cast<int>(reste.size()));
        EXPECT_EQ(Lire(kPort, static_cast<int>(reste.size())), reste);
    }
}

TEST_F(PortSerie, FlushEmptiesTheQueueAndAFullQueueLosesNothing) {
    ASSERT_EQ(Ouvrir(), 0);
    horloge::UtiliserHorlogeFactice(1765370096);
    ASSERT_EQ(SetComTime(kPort, 1.0), 0);
    Recevoir("stale reply", 11);
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    Recevoir("new", 3);
    EXPECT_EQ(Lire(kPort, 3), "new");

    // A queue of 40 bytes and a device that sends 300: the queue fills, the rest waits in the
    // driver, and every byte is read in order.
    ASSERT_EQ(Ouvrir(40), 0);
    std::string envoye;
    for (int i = 0; i < 300; ++i) envoye.push_back(static_cast<char>('0' + i % 75));
    Recevoir(envoye, 40);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(GetInQLen(kPort), 40);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    EXPECT_EQ(Lire(kPort, 300), envoye);

    // A size below 30 takes the default of 512.
    ASSERT_EQ(Ouvrir(0), 0);
    Recevoir(envoye + envoye, 512);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(GetInQLen(kPort), 512);
    EXPECT_EQ(FlushInQ(kPort), 0);  // the queue and what waited in the driver
    std::this_thread::sleep_for(20ms);
    EXPECT_LE(GetInQLen(kPort), 600 - 512);
}

TEST_F(PortSerie, ReopeningClosesFirstAndStartsWithEmptyQueues) {
    ASSERT_EQ(Ouvrir(), 0);
    Recevoir("old", 3);
    ASSERT_EQ(Ouvrir(), 0);  // open again while open: close + open
    EXPECT_EQ(GetInQLen(kPort), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    EXPECT_EQ(ComWrt(kPort, "ok", 2), 2);
    EXPECT_EQ(Lire(kPort, 2), "ok");
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
    // The device's side did not notice: a new opening talks to it again.
    ASSERT_EQ(Ouvrir(), 0);
    ASSERT_EQ(SetComTime(kPort, 2.0), 0);
    EXPECT_EQ(ComWrt(kPort, "again", 5), 5);
    EXPECT_EQ(Lire(kPort, 5), "again");
}

// ---- receive callbacks ----------------------------------------------------------------------

struct Vu {
    std::mutex m;
    std::vector<int> masques;
    std::vector<std::string> lus;
    std::vector<std::thread::id> fils;
    std::function<void()> pendant;  // what the callback does besides reading
};

void Noter(int port, int masque, void *donnees) {
    auto *vu = static_cast<Vu *>(donnees);
    std::string lu;
    for (int n = GetInQLen(port); n > 0; --n) lu.push_back(static_cast<char>(ComRdByte(port)));
    if (vu->pendant) vu->pendant();
    std::lock_guard g(vu->m);
    vu->masques.push_back(masque);
    vu->lus.push_back(lu);
    vu->fils.push_back(std::this_thread::get_id());
}

TEST_F(PortSerie, CallbacksRunOnTheThreadThatHandlesTheEventsOneWaitingAtATime) {
    ASSERT_EQ(Ouvrir(), 0);
    Vu vu;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 't', Noter, &vu), 0);

    Recevoir("xyz", 3);  // no event character: nothing to deliver
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(EnAttente(), 0u);
    ASSERT_EQ(FlushInQ(kPort), 0);

    // Two reports before the events are handled: one delivery, which finds both.
    Recevoir("t23.45\r\n", 8);
    Recevoir("t23.50\r\n", 16);
    EXPECT_EQ(EnAttente(), 1u);
    EXPECT_TRUE(vu.masques.empty());  // nothing runs until the thread handles its events
    EXPECT_EQ(Pomper(), 1);
    ASSERT_EQ(vu.masques.size(), 1u);
    EXPECT_EQ(vu.masques[0], LWRS_RXFLAG);
    EXPECT_EQ(vu.lus[0], "t23.45\r\nt23.50\r\n");
    EXPECT_EQ(vu.fils[0], std::this_thread::get_id());

    // The next report is a new delivery.
    Recevoir("t1\n", 3);
    EXPECT_EQ(Pomper(), 1);
    ASSERT_EQ(vu.lus.size(), 2u);
    EXPECT_EQ(vu.lus[1], "t1\n");
}

TEST_F(PortSerie, CallbackEventsAnyByteOrACountOfBytes) {
    ASSERT_EQ(Ouvrir(), 0);
    Vu vu;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXCHAR | LWRS_RXFLAG, 0, 'E', Noter, &vu), 0);
    Recevoir("ab", 2);
    Recevoir("E", 3);
    EXPECT_EQ(Pomper(), 1);
    ASSERT_EQ(vu.masques.size(), 1u);
    EXPECT_EQ(vu.masques[0], LWRS_RXCHAR | LWRS_RXFLAG);

    // A new installation replaces the one before.
    Vu autre;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RECEIVE, 4, 0, Noter, &autre), 0);
    Recevoir("123", 3);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(EnAttente(), 0u);
    Recevoir("4", 4);
    EXPECT_EQ(Pomper(), 1);
    ASSERT_EQ(autre.masques.size(), 1u);
    EXPECT_EQ(autre.masques[0], LWRS_RECEIVE);
    EXPECT_EQ(autre.lus[0], "1234");
    EXPECT_EQ(vu.masques.size(), 1u);

    EXPECT_EQ(InstallComCallback(kPort, 0x4000, 0, 0, Noter, &vu), kRS_InvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 300, Noter, &vu), kRS_InvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, LWRS_RECEIVE, 0, 0, Noter, &vu), kRS_InvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 'E', nullptr, &vu), kRS_NullPointerPassed);
}

// A callback that reads one message (up to its event character) per call.
void UnMessage(int port, int masque, void *donnees) {
    auto *vu = static_cast<Vu *>(donnees);
    char texte[16] = {};
    const int n = ComRdTerm(port, texte, sizeof texte, 'E');
    std::lock_guard g(vu->m);
    vu->masques.push_back(masque);
    vu->lus.emplace_back(texte, static_cast<std::size_t>(std::max(n, 0)));
}

// Messages that came together, while a call waited, are one event; a call that reads one of
// them and leaves another event character behind gets another call, until none is left. A call
// that reads nothing gets no other.
TEST_F(PortSerie, ACallbackThatReadsOneMessageACallIsCalledForEachMessageWaiting) {
    ASSERT_EQ(Ouvrir(), 0);
    Vu vu;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 'E', UnMessage, &vu), 0);
    Recevoir("1E22E333E", 9);
    for (int i = 0; i < 10 && Pomper() > 0;) ++i;
    ASSERT_EQ(vu.lus.size(), 3u);
    EXPECT_EQ(vu.lus[0], "1");
    EXPECT_EQ(vu.lus[1], "22");
    EXPECT_EQ(vu.lus[2], "333");
    EXPECT_EQ(GetInQLen(kPort), 0);

    Vu sourd;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 'E', [](int, int, void *d) {
        static_cast<Vu *>(d)->masques.push_back(0);
    }, &sourd), 0);
    Recevoir("4E5E", 4);
    for (int i = 0; i < 10 && Pomper() > 0;) ++i;
    EXPECT_EQ(sourd.masques.size(), 1u);
    EXPECT_EQ(GetInQLen(kPort), 4);
}

TEST_F(PortSerie, ACallbackRemovedOrItsPortClosedNeverRunsAgain) {
    const struct {
        const char *cas;
        std::function<void()> retirer;
    } cas[] = {
        {"removed", [] { EXPECT_EQ(InstallComCallback(kPort, 0, 0, 0, nullptr, nullptr), 0); }},
        {"port closed", [] { EXPECT_EQ(CloseCom(kPort), 0); }},
        {"port reopened", [this] { EXPECT_EQ(Ouvrir(), 0); }},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.cas);
        ASSERT_EQ(Ouvrir(), 0);
        Vu vu;
        ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 't', Noter, &vu), 0);
        Recevoir("t1\n", 3);
        ASSERT_EQ(EnAttente(), 1u);
        c.retirer();  // a delivery is on its way: it must not reach the callback
        if (GetInQLen(kPort) >= 0) ligne_->Envoyer("t2\n");
        std::this_thread::sleep_for(30ms);
        Pomper();
        EXPECT_TRUE(vu.masques.empty());
    }
}

TEST_F(PortSerie, RemovalWaitsForACallbackRunningOnAnotherThread) {
    ASSERT_EQ(Ouvrir(), 0);
    Vu vu;
    std::mutex m;
    std::condition_variable cv;
    bool dedans = false, relache = false;
    std::atomic<bool> fini{false};
    vu.pendant = [&] {
        std::unique_lock l(m);
        dedans = true;
        cv.notify_all();
        cv.wait(l, [&] { return relache; });
        fini = true;
    };
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 't', Noter, &vu), 0);
    Recevoir("t", 1);
    // The events are handled by another thread, which is held inside the callback.
    std::thread evenements([] { Pomper(); });
    {
        std::unique_lock l(m);
        cv.wait(l, [&] { return dedans; });
    }
    std::atomic<bool> retire{false};
    std::thread retrait([&] {
        EXPECT_EQ(InstallComCallback(kPort, 0, 0, 0, nullptr, nullptr), 0);
        EXPECT_TRUE(fini);  // not back before the callback has returned
        retire = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(retire);
    {
        std::lock_guard g(m);
        relache = true;
    }
    cv.notify_all();
    retrait.join();
    evenements.join();
    EXPECT_TRUE(retire);
}

TEST_F(PortSerie, ACallbackMayRemoveItselfOrCloseItsPort) {
    ASSERT_EQ(Ouvrir(), 0);
    Vu vu;
    vu.pendant = [] { EXPECT_EQ(CloseCom(kPort), 0); };
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RXFLAG, 0, 't', Noter, &vu), 0);
    Recevoir("t", 1);
    EXPECT_EQ(Pomper(), 1);
    EXPECT_EQ(vu.masques.size(), 1u);
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
}

TEST_F(PortSerie, AnUnpluggedDeviceIsSilentAndAReadOnAnotherThreadEndsWhenThePortCloses) {
    ASSERT_EQ(Ouvrir(), 0);
    ligne_->FixerPanne(Panne::debranche);
    horloge::FixerVitesse(100.0);
    ASSERT_EQ(SetComTime(kPort, 1.0), 0);
    EXPECT_EQ(ComWrt(kPort, "ping", 4), 4);  // the bytes go out into nothing
    EXPECT_EQ(ComRdByte(kPort), kRS_IOTimeOut);
    EXPECT_EQ(ligne_->Recu(), "");
    horloge::UtiliserHorlogeReelle();

    ASSERT_EQ(SetComTime(kPort, 60.0), 0);
    std::atomic<int> r{1};
    std::thread lecteur([&] { r = ComRdByte(kPort); });
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(CloseCom(kPort), 0);
    lecteur.join();
    EXPECT_EQ(r, kRS_PortNotOpen);
}

TEST_F(PortSerie, ThreadsShareAPortWithoutLosingBytes) {
    ASSERT_EQ(Ouvrir(), 0);
    ASSERT_EQ(SetComTime(kPort, 5.0), 0);
    std::string attendu;
    for (int i = 0; i < 2000; ++i) attendu.push_back(static_cast<char>('a' + i % 26));
    std::thread ecrivain([&] {
        for (std::size_t i = 0; i < attendu.size(); i += 100) EXPECT_EQ(ComWrt(kPort, attendu.data() + i, 100), 100);
    });
    const std::string lu = Lire(kPort, 2000);
    ecrivain.join();
    EXPECT_EQ(lu, attendu);
}

// ---- COM ports of the bench configuration ---------------------------------------------------

TEST(PortsDuBanc, SimulatedDevicesAreNamedByModel) {
    const struct {
        const char *ligne;
        bool rejetee;
        const char *port, *modele;
    } cas[] = {
        {"com2 = sim:boucle", false, "sim:boucle", "boucle"},
        {"com2 = SIM: Pousse_Seringue", false, "SIM: Pousse_Seringue", "Pousse_Seringue"},
        {"com2 = sim:pompe_ismatec", false, "sim:pompe_ismatec", "pompe_ismatec"},
        {"com2 = /dev/ttyUSB0", false, "/dev/ttyUSB0", ""},
        {"com2 = sim:", true, "/dev/ttyS1", ""},
        {"com2 = sim:HP9999", true, "/dev/ttyS1", ""},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.ligne);
        std::istringstream in(std::string(c.ligne) + "\n");
        std::ostringstream erreurs;
        const ConfigBanc config = ConfigBanc::Lire(in, "banc.conf", erreurs);
        EXPECT_EQ(erreurs.str().empty(), !c.rejetee) << erreurs.str();
        EXPECT_EQ(config.PortCom(2), c.port);
        EXPECT_EQ(config.PeripheriqueSimuleCom(2), c.modele);
        EXPECT_EQ(config.PeripheriqueSimuleCom(1), "");
        EXPECT_EQ(config.PeripheriqueSimuleCom(0), "");
    }
}

TEST(PortsDuBanc, APortOpensTheDeviceTheConfigurationGivesIt) {
    essai::Banc banc;
    const std::shared_ptr<Ligne> autre = std::make_shared<Ligne>(sim::serie::CreerModele("boucle"));
    banc.Configurer("com3 = sim:boucle\ncom4 = /nonexistent/ttyUSB7\ncom5 = " + autre->Chemin() + "\n");
    ASSERT_EQ(OpenComConfig(3, "", 9600, 0, 8, 1, 512, 512), 0);
    const std::shared_ptr<Ligne> ligne = sim::serie::LigneDuPort(3);
    ASSERT_NE(ligne, nullptr);
    EXPECT_EQ(ComWrt(3, "hi", 2), 2);
    ASSERT_TRUE(ligne->AttendreRecu(2));
    EXPECT_EQ(ligne->Recu(), "hi");
    EXPECT_EQ(Lire(3, 2), "hi");
    // Reopening finds the same device, which kept its log.
    ASSERT_EQ(OpenComConfig(3, nullptr, 9600, 0, 8, 1, 512, 512), 0);
    EXPECT_EQ(sim::serie::LigneDuPort(3), ligne);

    EXPECT_EQ(OpenComConfig(4, "", 9600, 0, 8, 1, 512, 512), kRS_CanNotOpenPort);
    ASSERT_EQ(OpenComConfig(5, "", 9600, 0, 8, 1, 512, 512), 0);
    EXPECT_EQ(ComWrt(5, "x", 1), 1);
    ASSERT_TRUE(autre->AttendreRecu(1));
    FermerTousLesPortsCom();
    sim::serie::ArreterLignes();
    EXPECT_EQ(sim::serie::LigneDuPort(3), nullptr);
}

}  // namespace
