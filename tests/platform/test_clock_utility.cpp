// The program's clock, the utility services (thread locks, Delay, date and time texts, files)
// and the toolbox (NaN, delayed calls).
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/toolbox.h"
#include "platform/utility.h"

using namespace std::chrono_literals;

namespace {

using Reel = std::chrono::steady_clock;

double SecondesReelles(Reel::time_point depuis) {
    return std::chrono::duration<double>(Reel::now() - depuis).count();
}

// Waits (real time, bounded) until `condition` holds.
bool Attendre(const std::function<bool()> &condition) {
    const auto limite = Reel::now() + 5s;
    while (!condition()) {
        if (Reel::now() > limite) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Every test leaves the real clock at speed 1 behind it.
class Horloge : public testing::Test {
protected:
    void TearDown() override { horloge::UtiliserHorlogeReelle(); }
};

std::time_t Utc(int annee, int mois, int jour, int h, int m, int s) {
    std::tm tm{};
    tm.tm_year = annee - 1900;
    tm.tm_mon = mois - 1;
    tm.tm_mday = jour;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    return timegm(&tm);
}

}  // namespace

// ---- clock --------------------------------------------------------------------------------

TEST_F(Horloge, FakeClockStandsStillUntilAdvanced) {
    const double avant = horloge::Secondes();
    const std::time_t debut = Utc(2024, 2, 29, 23, 59, 58);
    horloge::UtiliserHorlogeFactice(debut);
    EXPECT_TRUE(horloge::HorlogeFactice());
    const double s0 = horloge::Secondes();
    EXPECT_GE(s0, avant);  // no step back when switching clocks
    EXPECT_EQ(horloge::Calendrier(), debut);

    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(horloge::Secondes(), s0);
    EXPECT_EQ(horloge::Calendrier(), debut);

    horloge::AvancerHorlogeFactice(0.75);
    EXPECT_NEAR(horloge::Secondes() - s0, 0.75, 1e-6);
    EXPECT_EQ(horloge::Calendrier(), debut);  // whole seconds only
    horloge::AvancerHorlogeFactice(0.25);
    EXPECT_EQ(horloge::Calendrier(), debut + 1);
    horloge::AvancerHorlogeFactice(3600.0);
    EXPECT_EQ(horloge::Calendrier(), debut + 3601);

    // The clock never goes back.
    for (const double pas : {-1.0, 0.0, std::nan(""), -std::numeric_limits<double>::infinity()})
        horloge::AvancerHorlogeFactice(pas);
    EXPECT_NEAR(horloge::Secondes() - s0, 3601.0, 1e-6);

    const double fin = horloge::Secondes();
    horloge::UtiliserHorlogeReelle();
    EXPECT_FALSE(horloge::HorlogeFactice());
    EXPECT_GE(horloge::Secondes(), fin);
    EXPECT_NEAR(static_cast<double>(horloge::Calendrier()), static_cast<double>(std::time(nullptr)), 1.0);
}

TEST_F(Horloge, AdvancingTheRealClockDoesNothing) {
    const std::time_t avant = horloge::Calendrier();
    horloge::AvancerHorlogeFactice(86400.0);
    EXPECT_LE(horloge::Calendrier() - avant, 1);
}

TEST_F(Horloge, SpeedScalesProgramAndCalendarTimeWithoutJumps) {
    EXPECT_EQ(horloge::Vitesse(), 1.0);
    const std::time_t cal0 = horloge::Calendrier();
    const double s0 = horloge::Secondes();
    horloge::FixerVitesse(1000.0);
    const double s1 = horloge::Secondes();
    EXPECT_GE(s1, s0);
    EXPECT_LT(s1 - s0, 1.0);  // setting the speed does not move the clock

    const auto reel0 = Reel::now();
    const double p0 = horloge::Secondes();
    std::this_thread::sleep_for(30ms);
    const double p1 = horloge::Secondes();
    horloge::FixerVitesse(0.001);
    const double p2 = horloge::Secondes();
    const double reel = SecondesReelles(reel0);
    EXPECT_GE(p1 - p0, 30.0 * 0.99);
    EXPECT_GE(p2, p1);
    EXPECT_LE(p2 - p0, reel * 1000.0 + 1e-6);  // never ahead of the real time scaled
    EXPECT_GE(horloge::Calendrier() - cal0, 29);

    std::this_thread::sleep_for(20ms);
    EXPECT_LT(horloge::Secondes() - p2, 0.01);
    EXPECT_EQ(horloge::Vitesse(), 0.001);
}

TEST_F(Horloge, SpeedMustBePositiveAndFinite) {
    horloge::FixerVitesse(4.0);
    for (const double facteur : {0.0, -2.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        horloge::FixerVitesse(facteur);
        EXPECT_EQ(horloge::Vitesse(), 4.0) << facteur;
    }
}

// ---- date and time texts ------------------------------------------------------------------

class DateHeure : public Horloge {
protected:
    void SetUp() override {
        if (const char *tz = std::getenv("TZ")) tzAvant_ = tz;
        else sansTz_ = true;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (sansTz_) unsetenv("TZ");
        else setenv("TZ", tzAvant_.c_str(), 1);
        tzset();
        Horloge::TearDown();
    }

private:
    std::string tzAvant_;
    bool sansTz_ = false;
};

TEST_F(DateHeure, TextsFollowTheProgramCalendar) {
    struct Cas {
        std::time_t t;
        const char *date;
        const char *heure;
    };
    const Cas cas[] = {
        {0, "01-01-1970", "00:00:00"},
        {1000000000, "09-09-2001", "01:46:40"},
        {Utc(1999, 12, 31, 13, 5, 9), "12-31-1999", "13:05:09"},
        {Utc(2024, 2, 29, 23, 59, 59), "02-29-2024", "23:59:59"},
        {Utc(2038, 1, 19, 3, 14, 8), "01-19-2038", "03:14:08"},
    };
    for (const Cas &c : cas) {
        horloge::UtiliserHorlogeFactice(c.t);
        EXPECT_STREQ(DateStr(), c.date);
        EXPECT_STREQ(TimeStr(), c.heure);
    }
    horloge::UtiliserHorlogeFactice(Utc(2024, 2, 29, 23, 59, 59));
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_STREQ(DateStr(), "03-01-2024");
    EXPECT_STREQ(TimeStr(), "00:00:00");
}

TEST_F(DateHeure, EachThreadKeepsItsOwnText) {
    horloge::UtiliserHorlogeFactice(Utc(2020, 6, 1, 8, 0, 0));
    const char *ici = TimeStr();
    std::thread([] {
        horloge::AvancerHorlogeFactice(3600.0);
        EXPECT_STREQ(TimeStr(), "09:00:00");
    }).join();
    EXPECT_STREQ(ici, "08:00:00");
}

// ---- participants -------------------------------------------------------------------------

// A participant asking to act every `periode` from `debut`, noting the times it acted at.
struct Metronome {
    double debut;
    double periode;
    std::vector<double> actes;
    horloge::Participant participant{[this](double maintenant) {
        const double prochain = debut + periode * static_cast<double>(actes.size());
        bool actif = false;
        if (maintenant >= prochain) {
            actes.push_back(maintenant);
            actif = true;
        }
        return horloge::Suite{debut + periode * static_cast<double>(actes.size()), actif};
    }};
};

TEST_F(Horloge, AFakeClockMoveStopsAtEveryTimeAParticipantAsksFor) {
    horloge::UtiliserHorlogeFactice(1000);
    const double t0 = horloge::Secondes();
    Metronome m{t0 + 0.1, 0.25, {}};
    Metronome n{t0 + 0.2, 0.4, {}};
    horloge::AvancerHorlogeFactice(1.0);
    // Each acted at its own times, in order, and the clock ends where it was sent.
    ASSERT_EQ(m.actes.size(), 4u);
    for (std::size_t i = 0; i < m.actes.size(); ++i) EXPECT_NEAR(m.actes[i] - t0, 0.1 + 0.25 * double(i), 1e-9);
    ASSERT_EQ(n.actes.size(), 3u);
    for (std::size_t i = 0; i < n.actes.size(); ++i) EXPECT_NEAR(n.actes[i] - t0, 0.2 + 0.4 * double(i), 1e-9);
    EXPECT_NEAR(horloge::Secondes() - t0, 1.0, 1e-9);
    EXPECT_EQ(horloge::Calendrier(), 1001);
    // Delay moves the clock the same way.
    Delay(0.5);
    EXPECT_EQ(m.actes.size(), 6u);
    // The real clock never calls them.
    horloge::UtiliserHorlogeReelle();
    horloge::AvancerHorlogeFactice(10.0);
    EXPECT_EQ(m.actes.size(), 6u);
}

TEST_F(Horloge, AWaitOnTheFakeClockGoesToTheNextTimeDueOrToItsEnd) {
    horloge::UtiliserHorlogeFactice(1000);
    const double t0 = horloge::Secondes();
    const auto reel0 = Reel::now();
    Metronome m{t0 + 2.0, 1e9, {}};
    // First to the participant's time, then to the end; past the end, over.
    EXPECT_EQ(horloge::Patienter(t0 + 5.0), 0.0);
    EXPECT_NEAR(horloge::Secondes() - t0, 2.0, 1e-9);
    EXPECT_EQ(m.actes.size(), 1u);
    EXPECT_EQ(horloge::Patienter(t0 + 5.0), 0.0);
    EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-9);
    EXPECT_LT(horloge::Patienter(t0 + 5.0), 0.0);
    EXPECT_LT(SecondesReelles(reel0), 1.0);
    // The real clock: a real slice, at most a tenth of a second, scaled by the speed.
    horloge::UtiliserHorlogeReelle();
    horloge::FixerVitesse(100.0);
    const double reste = horloge::Patienter(horloge::Secondes() + 1.0);
    EXPECT_GT(reste, 0.0);
    EXPECT_LE(reste, 0.01);
    EXPECT_LT(horloge::Patienter(horloge::Secondes() - 1.0), 0.0);
}

TEST_F(Horloge, AParticipantGoneIsNoLongerCalled) {
    horloge::UtiliserHorlogeFactice(1000);
    const double t0 = horloge::Secondes();
    std::unique_ptr<Metronome> m(new Metronome{t0, 0.5, {}});
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_EQ(m->actes.size(), 3u);
    m.reset();
    horloge::AvancerHorlogeFactice(1.0);  // would reach freed memory under the sanitizers
    EXPECT_NEAR(horloge::Secondes() - t0, 2.0, 1e-9);
}

// ---- Delay --------------------------------------------------------------------------------

TEST_F(Horloge, DelayOnTheFakeClockAdvancesItAtOnce) {
    horloge::UtiliserHorlogeFactice(1000);
    const double s0 = horloge::Secondes();
    const auto reel0 = Reel::now();
    Delay(3600.0);
    Delay(0.5);
    EXPECT_LT(SecondesReelles(reel0), 1.0);
    EXPECT_NEAR(horloge::Secondes() - s0, 3600.5, 1e-6);
    EXPECT_EQ(horloge::Calendrier(), 1000 + 3600);
    for (const double d : {0.0, -5.0, std::nan("")}) Delay(d);
    EXPECT_NEAR(horloge::Secondes() - s0, 3600.5, 1e-6);
}

TEST_F(Horloge, DelaySpedUpSleepsTheScaledTime) {
    horloge::FixerVitesse(50.0);
    const double s0 = horloge::Secondes();
    const auto reel0 = Reel::now();
    Delay(1.0);  // 20 ms of real time
    const double reel = SecondesReelles(reel0);
    EXPECT_GE(horloge::Secondes() - s0, 1.0);
    EXPECT_GE(reel, 0.019);
    EXPECT_LT(reel, 0.5);
}

TEST_F(Horloge, DelayEndsWhenTheFakeClockTakesOver) {
    std::atomic<bool> fini{false};
    std::thread attente([&] {
        Delay(1e6);
        fini = true;
    });
    std::this_thread::sleep_for(20ms);
    horloge::UtiliserHorlogeFactice(0);
    EXPECT_TRUE(Attendre([&] { return fini.load(); }));
    attente.join();
}

// ---- thread locks -------------------------------------------------------------------------

namespace {

// Whether another thread can take the lock right now (it gives it back at once).
bool LibrePourUnAutre(int h) {
    int obtenu = -1;
    std::thread([&] {
        if (CmtTryToGetLock(h, &obtenu) == 0 && obtenu == 1) CmtReleaseLock(h);
    }).join();
    return obtenu == 1;
}

}  // namespace

TEST(VerrousFils, NestPerThread) {
    int h = 0;
    ASSERT_EQ(CmtNewLock(nullptr, 0, &h), 0);
    EXPECT_GT(h, 0);
    EXPECT_TRUE(LibrePourUnAutre(h));

    ASSERT_EQ(CmtGetLock(h), 0);
    int obtenu = 0;
    ASSERT_EQ(CmtTryToGetLock(h, &obtenu), 0);  // third hold, same thread
    EXPECT_EQ(obtenu, 1);
    ASSERT_EQ(CmtGetLock(h), 0);
    EXPECT_FALSE(LibrePourUnAutre(h));
    EXPECT_EQ(CmtReleaseLock(h), 0);
    EXPECT_EQ(CmtReleaseLock(h), 0);
    EXPECT_FALSE(LibrePourUnAutre(h));
    EXPECT_EQ(CmtReleaseLock(h), 0);
    EXPECT_TRUE(LibrePourUnAutre(h));
    EXPECT_EQ(CmtReleaseLock(h), UTE_NOT_OWNER);  // one release too many
    EXPECT_EQ(CmtDiscardLock(h), 0);
}

TEST(VerrousFils, AnotherThreadWaitsUntilTheLastRelease) {
    int h = 0;
    ASSERT_EQ(CmtNewLock("port", 0, &h), 0);
    ASSERT_EQ(CmtGetLock(h), 0);
    ASSERT_EQ(CmtGetLock(h), 0);

    std::atomic<int> etape{0};
    std::thread autre([&] {
        etape = 1;
        EXPECT_EQ(CmtGetLock(h), 0);
        etape = 2;
        EXPECT_EQ(CmtReleaseLock(h), 0);
    });
    ASSERT_TRUE(Attendre([&] { return etape.load() == 1; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(etape.load(), 1);
    EXPECT_EQ(CmtReleaseLock(h), 0);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(etape.load(), 1);  // still held once
    EXPECT_EQ(CmtReleaseLock(h), 0);
    EXPECT_TRUE(Attendre([&] { return etape.load() == 2; }));
    autre.join();
    EXPECT_EQ(CmtDiscardLock(h), 0);
}

TEST(VerrousFils, BadHandlesAndArgumentsAreRefused) {
    int jete = 0;
    ASSERT_EQ(CmtNewLock(nullptr, 0, &jete), 0);
    ASSERT_EQ(CmtDiscardLock(jete), 0);
    int obtenu = 7;
    for (const int h : {0, -1, jete, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}) {
        EXPECT_EQ(CmtGetLock(h), UTE_BAD_HANDLE) << h;
        EXPECT_EQ(CmtReleaseLock(h), UTE_BAD_HANDLE) << h;
        EXPECT_EQ(CmtTryToGetLock(h, &obtenu), UTE_BAD_HANDLE) << h;
        EXPECT_EQ(obtenu, 0) << h;
        EXPECT_EQ(CmtDiscardLock(h), UTE_BAD_HANDLE) << h;
    }
    EXPECT_EQ(CmtNewLock(nullptr, 0, nullptr), UTE_BAD_ARGUMENT);

    int h = 0;
    ASSERT_EQ(CmtNewLock(nullptr, 0, &h), 0);
    EXPECT_NE(h, jete);  // handles are never reused
    EXPECT_EQ(CmtTryToGetLock(h, nullptr), UTE_BAD_ARGUMENT);
    EXPECT_EQ(CmtReleaseLock(h), UTE_NOT_OWNER);
    ASSERT_EQ(CmtGetLock(h), 0);
    std::thread([&] { EXPECT_EQ(CmtReleaseLock(h), UTE_NOT_OWNER); }).join();
    EXPECT_EQ(CmtReleaseLock(h), 0);
    EXPECT_EQ(CmtDiscardLock(h), 0);
}

TEST(VerrousFils, DiscardingALockHeldByAnotherThreadLetsItFinish) {
    int h = 0;
    ASSERT_EQ(CmtNewLock(nullptr, 0, &h), 0);
    std::mutex m;
    std::condition_variable cv;
    bool pris = false, jete = false;
    std::thread detenteur([&] {
        EXPECT_EQ(CmtGetLock(h), 0);
        EXPECT_EQ(CmtGetLock(h), 0);
        std::unique_lock g(m);
        pris = true;
        cv.notify_all();
        cv.wait(g, [&] { return jete; });
        EXPECT_EQ(CmtReleaseLock(h), 0);
        EXPECT_EQ(CmtReleaseLock(h), 0);
        EXPECT_EQ(CmtReleaseLock(h), UTE_BAD_HANDLE);  // gone after the last release
    });
    {
        std::unique_lock g(m);
        cv.wait(g, [&] { return pris; });
    }
    EXPECT_EQ(CmtDiscardLock(h), 0);
    EXPECT_EQ(CmtGetLock(h), UTE_BAD_HANDLE);
    EXPECT_EQ(CmtDiscardLock(h), UTE_BAD_HANDLE);
    {
        std::lock_guard g(m);
        jete = true;
    }
    cv.notify_all();
    detenteur.join();
}

TEST(VerrousFils, DiscardingOwnHeldLockReleasesItAndFailsTheWaiters) {
    int h = 0;
    ASSERT_EQ(CmtNewLock(nullptr, 0, &h), 0);
    ASSERT_EQ(CmtGetLock(h), 0);
    ASSERT_EQ(CmtGetLock(h), 0);
    std::atomic<int> resultat{1};
    std::atomic<bool> parti{false};
    std::thread attente([&] {
        parti = true;
        resultat = CmtGetLock(h);
    });
    ASSERT_TRUE(Attendre([&] { return parti.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(CmtDiscardLock(h), 0);
    attente.join();
    EXPECT_EQ(resultat.load(), UTE_BAD_HANDLE);
    EXPECT_EQ(CmtReleaseLock(h), UTE_BAD_HANDLE);
}

// ---- files --------------------------------------------------------------------------------

namespace {

class Fichiers : public testing::Test {
protected:
    void SetUp() override {
        char modele[] = "/tmp/banc-fichiers-XXXXXX";
        ASSERT_NE(mkdtemp(modele), nullptr);
        dossier_ = modele;
    }
    void TearDown() override { std::filesystem::remove_all(dossier_); }

    std::string Chemin(const char *nom) const { return (dossier_ / nom).string(); }
    void Ecrire(const char *nom, const std::string &contenu) const {
        std::ofstream(Chemin(nom), std::ios::binary) << contenu;
    }
    std::string Lire(const char *nom) const {
        std::ifstream f(Chemin(nom), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    bool Existe(const char *nom) const { return std::filesystem::exists(dossier_ / nom); }

    std::filesystem::path dossier_;
};

}  // namespace

TEST_F(Fichiers, RenameNeverReplacesAnExistingFile) {
    Ecrire("a.txt", "ancien");
    Ecrire("b.txt", "cible");
    EXPECT_EQ(RenameFile(Chemin("a.txt").c_str(), Chemin("b.txt").c_str()), UTE_FILE_EXISTS);
    EXPECT_EQ(Lire("a.txt"), "ancien");
    EXPECT_EQ(Lire("b.txt"), "cible");

    // The program's way out: delete the target, then rename again.
    EXPECT_EQ(CVI_DeleteFile(Chemin("b.txt").c_str()), 0);
    EXPECT_EQ(RenameFile(Chemin("a.txt").c_str(), Chemin("b.txt").c_str()), 0);
    EXPECT_FALSE(Existe("a.txt"));
    EXPECT_EQ(Lire("b.txt"), "ancien");
}

TEST_F(Fichiers, RenameAndDeleteReportFailures) {
    EXPECT_EQ(RenameFile(Chemin("absent").c_str(), Chemin("c").c_str()), UTE_NOT_FOUND);
    EXPECT_FALSE(Existe("c"));
    EXPECT_EQ(RenameFile(nullptr, Chemin("c").c_str()), UTE_BAD_ARGUMENT);
    EXPECT_EQ(RenameFile(Chemin("c").c_str(), nullptr), UTE_BAD_ARGUMENT);
    EXPECT_EQ(RenameFile("", ""), UTE_BAD_ARGUMENT);
    EXPECT_EQ(CVI_DeleteFile(Chemin("absent").c_str()), UTE_NOT_FOUND);
    EXPECT_EQ(CVI_DeleteFile(nullptr), UTE_BAD_ARGUMENT);
    Ecrire("d", "x");
    EXPECT_EQ(RenameFile(Chemin("d").c_str(), Chemin("nul/part/d").c_str()), UTE_NOT_FOUND);
    EXPECT_EQ(Lire("d"), "x");
}

// ---- toolbox ------------------------------------------------------------------------------

TEST(BoiteOutils, NotANumberPrintsAsNan) {
    const double x = NotANumber();
    EXPECT_TRUE(IsNotANumber(x));
    EXPECT_FALSE(std::signbit(x));
    char texte[32];
    std::snprintf(texte, sizeof texte, "%f", x);
    EXPECT_STREQ(texte, "nan");
    std::snprintf(texte, sizeof texte, "%e", x);
    EXPECT_STREQ(texte, "nan");
    for (const double v : {0.0, -0.0, 1e308, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::denorm_min()})
        EXPECT_FALSE(IsNotANumber(v)) << v;
    EXPECT_TRUE(IsNotANumber(-std::numeric_limits<double>::quiet_NaN()));
}

namespace {

// Delayed calls go to this queue instead of the user-interface thread.
struct AppelPoste {
    std::function<void()> fn;
    double delai;
};
std::vector<AppelPoste> fileAppels;
void PosterDansLaFile(std::function<void()> fn, double delai) { fileAppels.push_back({std::move(fn), delai}); }

class AppelsDifferes : public testing::Test {
protected:
    void SetUp() override {
        fileAppels.clear();
        SetDelayedCallPoster(&PosterDansLaFile);
    }
    void TearDown() override {
        SetDelayedCallPoster(nullptr);
        fileAppels.clear();
    }
    static void ToutExecuter() {
        auto appels = std::move(fileAppels);
        fileAppels.clear();
        for (auto &a : appels) a.fn();
    }
};

struct Compteur {
    int appels = 0;
};
void Compter(void *data) { ++static_cast<Compteur *>(data)->appels; }

}  // namespace

TEST_F(AppelsDifferes, RunWithTheirDataAfterTheirDelay) {
    Compteur a, b;
    EXPECT_EQ(PostDelayedCall(&Compter, &a, 0.5), 0);
    EXPECT_EQ(PostDelayedCall(&Compter, &b, -3.0), 0);
    EXPECT_EQ(PostDelayedCall(&Compter, &a, std::nan("")), 0);
    EXPECT_EQ(PostDelayedCall(nullptr, &a, 1.0), UTE_BAD_ARGUMENT);
    ASSERT_EQ(fileAppels.size(), 3u);
    EXPECT_EQ(fileAppels[0].delai, 0.5);
    EXPECT_EQ(fileAppels[1].delai, 0.0);
    EXPECT_EQ(fileAppels[2].delai, 0.0);
    EXPECT_EQ(a.appels + b.appels, 0);  // nothing runs before the queue does
    ToutExecuter();
    EXPECT_EQ(a.appels, 2);
    EXPECT_EQ(b.appels, 1);
}

TEST_F(AppelsDifferes, CancelledCallsNeverRun) {
    Compteur libere, garde;
    PostDelayedCall(&Compter, &libere, 1.0);
    PostDelayedCall(&Compter, &garde, 1.0);
    PostDelayedCall(&Compter, &libere, 2.0);
    CancelDelayedCalls(&libere);
    CancelDelayedCalls(nullptr);  // no call with this data: nothing happens
    ToutExecuter();
    EXPECT_EQ(libere.appels, 0);
    EXPECT_EQ(garde.appels, 1);

    // A call that already ran is not run again by its closure.
    PostDelayedCall(&Compter, &garde, 0.0);
    auto appel = fileAppels.back().fn;
    ToutExecuter();
    appel();
    EXPECT_EQ(garde.appels, 2);
}

namespace {

struct AutoAnnulation {
    int appels = 0;
};
void SAnnuler(void *data) {
    ++static_cast<AutoAnnulation *>(data)->appels;
    CancelDelayedCalls(data);  // an instrument freeing itself from its own delayed call
}

struct Bloquant {
    std::mutex m;
    std::condition_variable cv;
    bool entre = false, sortir = false, sorti = false;
};
void Bloquer(void *data) {
    auto &b = *static_cast<Bloquant *>(data);
    std::unique_lock g(b.m);
    b.entre = true;
    b.cv.notify_all();
    b.cv.wait(g, [&] { return b.sortir; });
    b.sorti = true;
}

}  // namespace

TEST_F(AppelsDifferes, ACallMayCancelItsOwnData) {
    AutoAnnulation x;
    PostDelayedCall(&SAnnuler, &x, 0.0);
    PostDelayedCall(&SAnnuler, &x, 0.0);
    ToutExecuter();
    EXPECT_EQ(x.appels, 1);
}

TEST_F(AppelsDifferes, CancellingFromAnotherThreadWaitsForTheRunningCall) {
    Bloquant b;
    PostDelayedCall(&Bloquer, &b, 0.0);
    ASSERT_EQ(fileAppels.size(), 1u);
    std::thread execution(fileAppels[0].fn);
    {
        std::unique_lock g(b.m);
        b.cv.wait(g, [&] { return b.entre; });
    }
    std::atomic<bool> annule{false};
    bool sortiAvantLaFin = false;
    std::thread annulation([&] {
        CancelDelayedCalls(&b);
        std::lock_guard g(b.m);
        sortiAvantLaFin = b.sorti;
        annule = true;
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(annule.load());
    {
        std::lock_guard g(b.m);
        b.sortir = true;
    }
    b.cv.notify_all();
    annulation.join();
    execution.join();
    EXPECT_TRUE(sortiAvantLaFin);
}
