// The named-lock registry that GPIB plugins use to serialise access to one device.
//
// The registry is one per process and keeps every name for the whole run, so each test asks
// for names of its own.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <latch>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/liste.h"
#include "platform/utility.h"

using namespace std::chrono_literals;

namespace {

// A handle that the lock service accepts (it is taken and given back).
bool Valide(int h) { return CmtGetLock(h) == 0 && CmtReleaseLock(h) == 0; }

}  // namespace

TEST(VerrousNommes, FirstRequestBeforeSetUpWorks) {
    // In a fresh process, where nothing has set the registry up yet.
    EXPECT_EXIT(
        {
            const int a = gestion_lock("GPIB0:7");
            const int b = gestion_lock("GPIB0:7");
            const int c = gestion_lock("GPIB0:8");
            init_gestion_lock();  // already set up: changes nothing
            const bool ok = a > 0 && a == b && c != a && Valide(a) && Valide(c) &&
                            gestion_lock("GPIB0:7") == a;
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(VerrousNommes, OneLockPerExactName) {
    init_gestion_lock();
    struct Cas {
        const char *a, *b;
        bool meme;
    };
    const Cas cas[] = {
        {"GPIB0:1", "GPIB0:1", true},
        {"GPIB0:1", "GPIB0:2", false},
        {"GPIB0:1", "gpib0:1", false},  // case counts
        {"GPIB0:1", "GPIB0:1 ", false},
        {"GPIB0:1", "GPIB0:10", false},
        {"", "", true},
        {nullptr, "", true},  // no name is the empty name
    };
    for (const Cas &c : cas) {
        const int a = gestion_lock(c.a);
        const int b = gestion_lock(c.b);
        SCOPED_TRACE(std::string(c.a ? c.a : "(null)") + " / " + c.b);
        EXPECT_TRUE(Valide(a));
        EXPECT_TRUE(Valide(b));
        EXPECT_EQ(a == b, c.meme);
    }
}

TEST(VerrousNommes, ReturnedFreeAndHeldAcrossThreads) {
    const int h = gestion_lock("GPIB0:21");
    ASSERT_EQ(CmtGetLock(h), 0);
    std::atomic<int> etape{0};
    int vu = 0;
    std::thread notification([&] {
        vu = gestion_lock("GPIB0:21");  // answered at once while the lock is held
        etape = 1;
        CmtGetLock(vu);
        etape = 2;
        CmtReleaseLock(vu);
    });
    const auto limite = std::chrono::steady_clock::now() + 5s;
    while (etape.load() == 0 && std::chrono::steady_clock::now() < limite) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(etape.load(), 1);
    EXPECT_EQ(vu, h);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(etape.load(), 1);  // waits in its own get
    CmtReleaseLock(h);
    notification.join();
    EXPECT_EQ(etape.load(), 2);
}

TEST(VerrousNommes, ThreadsRacingForANewNameGetOneLock) {
    constexpr int kFils = 8;
    for (int tour = 0; tour < 20; ++tour) {
        const std::string nom = "GPIB0:course" + std::to_string(tour);
        std::latch depart(kFils);
        std::vector<int> handles(kFils);
        std::vector<std::thread> fils;
        for (int i = 0; i < kFils; ++i)
            fils.emplace_back([&, i] {
                depart.arrive_and_wait();
                handles[static_cast<std::size_t>(i)] = gestion_lock(nom.c_str());
            });
        for (auto &f : fils) f.join();
        EXPECT_EQ(std::set<int>(handles.begin(), handles.end()).size(), 1u) << nom;
        EXPECT_TRUE(Valide(handles[0]));
    }
}

TEST(VerrousNommes, BeyondTheTableEveryNameStillGetsItsOwnStableLock) {
    std::vector<std::string> noms;
    for (int i = 0; i < 15; ++i) noms.push_back("GPIB0:plein" + std::to_string(i));
    const std::string prefixe19 = "GPIB0:nom-tres-long";  // 19 characters: fits
    ASSERT_EQ(prefixe19.size(), 19u);
    noms.push_back(prefixe19);
    noms.push_back(prefixe19 + "X");  // 20: does not fit
    noms.push_back(prefixe19 + "Y");
    noms.push_back(prefixe19 + "X, et bien plus long encore que le champ du tableau");

    std::vector<int> handles;
    for (const auto &n : noms) handles.push_back(gestion_lock(n.c_str()));
    EXPECT_EQ(std::set<int>(handles.begin(), handles.end()).size(), noms.size());
    for (std::size_t i = 0; i < noms.size(); ++i) {
        EXPECT_TRUE(Valide(handles[i])) << noms[i];
        EXPECT_EQ(gestion_lock(noms[i].c_str()), handles[i]) << noms[i];
    }
}

TEST(VerrousNommes, AfterShutDownNamesKeepTheirLocksAndLateRequestsWork) {
    init_gestion_lock();
    const int avant = gestion_lock("GPIB0:31");
    fin_gestion_lock();
    fin_gestion_lock();  // twice: nothing more happens
    EXPECT_EQ(gestion_lock("GPIB0:31"), avant);  // a late notification
    EXPECT_TRUE(Valide(avant));
    const int nouveau = gestion_lock("GPIB0:32");
    EXPECT_NE(nouveau, avant);
    EXPECT_TRUE(Valide(nouveau));
    init_gestion_lock();
    EXPECT_EQ(gestion_lock("GPIB0:32"), nouveau);
}

TEST(VerrousNommes, ShutDownWhileOtherThreadsAskKeepsOneLockPerName) {
    constexpr int kFils = 6;
    constexpr int kNoms = 40;
    std::atomic<int> termines{0};
    std::vector<std::vector<int>> vus(kFils, std::vector<int>(kNoms, 0));
    std::vector<std::thread> fils;
    for (int f = 0; f < kFils; ++f)
        fils.emplace_back([&, f] {
            for (int n = 0; n < kNoms; ++n) {
                const std::string nom = "GPIB0:fin" + std::to_string(n);
                vus[static_cast<std::size_t>(f)][static_cast<std::size_t>(n)] = gestion_lock(nom.c_str());
            }
            ++termines;
        });
    // Closes (and sometimes sets up again) the registry for as long as the threads ask.
    for (int i = 0; termines.load() < kFils; ++i) {
        fin_gestion_lock();
        if (i % 2 == 0) init_gestion_lock();
    }
    for (auto &t : fils) t.join();
    for (int n = 0; n < kNoms; ++n) {
        const std::string nom = "GPIB0:fin" + std::to_string(n);
        const int h = gestion_lock(nom.c_str());
        EXPECT_TRUE(Valide(h)) << nom;
        for (int f = 0; f < kFils; ++f) EXPECT_EQ(vus[static_cast<std::size_t>(f)][static_cast<std::size_t>(n)], h) << nom;
    }
}
