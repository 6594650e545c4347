// Service-request notification (ibnotify): callbacks on a worker thread per armed descriptor,
// never overlapping for one device, re-armed by their result, and disarming that waits for a
// running callback. Through the simulated board and through the native backend.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/gpib_essai.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "sim/instruments.h"

namespace {

using essai::Backend;
using namespace std::chrono_literals;

// Waits (real time) until `condition` holds; false after `limite`.
bool AttendreQue(const std::function<bool()> &condition, std::chrono::milliseconds limite = 5000ms) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

int Ecrire(int ud, const std::string &texte) {
    return ibwrt(ud, texte.data(), static_cast<long>(texte.size()));
}

std::string Lire(int ud, long n) {
    std::string tampon(static_cast<std::size_t>(n), '\0');
    ibrd(ud, tampon.data(), n);
    return tampon.substr(0, static_cast<std::size_t>(ThreadIbcntl()));
}

// What a test's callback does and what it saw.
struct Contexte {
    std::function<int(int ud, int sta)> faire;
    std::atomic<int> appels{0};
    std::atomic<int> dedans{0};
    std::atomic<int> maxDedans{0};
    std::atomic<int> derniereSta{0};
    std::atomic<bool> surLeFilPrincipal{false};
    std::thread::id principal = std::this_thread::get_id();
};

int Rappel(int ud, int sta, int, long, void *ref) {
    auto *c = static_cast<Contexte *>(ref);
    const int dedans = ++c->dedans;
    for (int m = c->maxDedans; dedans > m && !c->maxDedans.compare_exchange_weak(m, dedans);) {}
    c->derniereSta = sta;
    if (std::this_thread::get_id() == c->principal) c->surLeFilPrincipal = true;
    const int r = c->faire ? c->faire(ud, sta) : 0;
    --c->dedans;
    ++c->appels;
    return r;
}

class Notification : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override { banc_.Carte0(GetParam()); }

    // An IEEE 488.2 instrument at `pad`, set to request service when an operation completes.
    int Instrument(int pad, std::shared_ptr<sim::Appareil488> *appareil = nullptr) {
        auto a = sim::InstrumentIdentite("ESSAI,NOTIFICATION");
        sim::BusDeCarte(0)->Brancher(pad, a);
        if (appareil != nullptr) *appareil = a;
        const int ud = ibdev(0, pad, 0, T10s, 1, 1);
        Ecrire(ud, std::string("*ESE 1\0", 7));
        Ecrire(ud, std::string("*SRE 32\0", 8));
        return ud;
    }
    // A device that requests service and keeps requesting until serial-polled.
    int Demandeur(int pad, std::shared_ptr<sim::Enregistreur> *appareil = nullptr) {
        auto e = std::make_shared<sim::Enregistreur>();
        sim::BusDeCarte(0)->Brancher(pad, e);
        e->DemanderService();
        if (appareil != nullptr) *appareil = e;
        return ibdev(0, pad, 0, T10s, 1, 1);
    }

    essai::Banc banc_;
};

INSTANTIATE_TEST_SUITE_P(Cartes, Notification, testing::Values(Backend::Simule, Backend::Natif),
                         essai::NomBackend);

TEST_P(Notification, OperationCompleteReachesTheCallbackOnAWorkerAndThePollClearsIt) {
    std::shared_ptr<sim::Appareil488> appareil;
    const int ud = Instrument(3, &appareil);
    Contexte c;
    std::atomic<int> octet{-1};
    std::string esr;
    c.faire = [&](int u, int) -> int {
        char spr = 0;
        ibrsp(u, &spr);
        octet = static_cast<unsigned char>(spr);
        Ecrire(u, std::string("*ESR?\0", 6));
        esr = Lire(u, 10);
        return 0;
    };
    EXPECT_EQ(ibnotify(ud, RQS, Rappel, &c) & (ERR | CMPL), CMPL);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.appels, 0);  // nothing asked for service yet
    Ecrire(ud, std::string("*OPC\0", 5));
    ASSERT_TRUE(AttendreQue([&] { return c.appels == 1; }));
    EXPECT_FALSE(c.surLeFilPrincipal);
    EXPECT_EQ(c.derniereSta & (RQS | ERR), RQS);
    EXPECT_EQ(octet, 0x60);  // RQS and ESB
    EXPECT_EQ(esr, "+1\n");
    EXPECT_FALSE(appareil->DemandeService());
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.appels, 1);  // the callback's 0 disarmed it
    Ecrire(ud, std::string("*OPC\0", 5));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.appels, 1);
    ibonl(ud, 0);
}

TEST_P(Notification, TheCallbacksResultReArmsIt) {
    const int ud = Instrument(3);
    Contexte c;
    c.faire = [&](int u, int) -> int {
        char spr = 0;
        ibrsp(u, &spr);
        Ecrire(u, std::string("*ESR?\0", 6));
        Lire(u, 10);
        return c.appels < 1 ? RQS : 0;  // re-armed after the first, not after the second
    };
    ibnotify(ud, RQS, Rappel, &c);
    for (int i = 1; i <= 3; ++i) {
        Ecrire(ud, std::string("*OPC\0", 5));
        if (i <= 2) {
            ASSERT_TRUE(AttendreQue([&] { return c.appels == i; })) << i;
        }
    }
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.appels, 2);
    ibonl(ud, 0);
}

TEST_P(Notification, ARequestStillSetCallsTheCallbackAgain) {
    std::shared_ptr<sim::Enregistreur> e;
    const int ud = Demandeur(5, &e);
    Contexte c;
    c.faire = [&](int u, int) -> int {
        if (c.appels == 2) {  // the third call polls
            char spr = 0;
            ibrsp(u, &spr);
        }
        return RQS;
    };
    ibnotify(ud, RQS, Rappel, &c);
    ASSERT_TRUE(AttendreQue([&] { return c.appels == 3; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.appels, 3);
    EXPECT_EQ(ibnotify(ud, 0, nullptr, nullptr) & ERR, 0);
    ibonl(ud, 0);
}

TEST_P(Notification, CallbacksOfOneDeviceNeverOverlapAndEachDeviceHasItsWorker) {
    constexpr int kAppels = 6;
    Contexte communs;  // counts the callbacks of both devices running at once
    std::vector<std::unique_ptr<Contexte>> contextes;
    std::vector<int> uds;
    for (const int pad : {5, 6}) {
        uds.push_back(Demandeur(pad));
        auto c = std::make_unique<Contexte>();
        Contexte *moi = c.get();
        c->faire = [moi, &communs](int u, int) -> int {
            const int ensemble = ++communs.dedans;
            for (int m = communs.maxDedans; ensemble > m && !communs.maxDedans.compare_exchange_weak(m, ensemble);) {}
            std::this_thread::sleep_for(15ms);
            --communs.dedans;
            if (moi->appels + 1 < kAppels) return RQS;  // still requesting: called again
            char spr = 0;
            ibrsp(u, &spr);
            return 0;
        };
        contextes.push_back(std::move(c));
    }
    for (std::size_t i = 0; i < uds.size(); ++i) ibnotify(uds[i], RQS, Rappel, contextes[i].get());
    for (const auto &c : contextes) {
        ASSERT_TRUE(AttendreQue([&] { return c->appels == kAppels; }));
    }
    for (const auto &c : contextes) {
        EXPECT_EQ(c->maxDedans, 1);
    }
    EXPECT_EQ(communs.maxDedans, 2);
    for (const int ud : uds) ibonl(ud, 0);
}

TEST_P(Notification, DisarmingWaitsForTheRunningCallback) {
    const int ud = Demandeur(5);
    Contexte c;
    std::atomic<bool> entre{false}, sorti{false};
    c.faire = [&](int, int) -> int {
        entre = true;
        std::this_thread::sleep_for(100ms);
        sorti = true;
        return RQS;  // would be called again and again
    };
    ibnotify(ud, RQS, Rappel, &c);
    ASSERT_TRUE(AttendreQue([&] { return entre.load(); }));
    EXPECT_EQ(ibnotify(ud, 0, Rappel, &c) & ERR, 0);
    EXPECT_TRUE(sorti);
    const int appels = c.appels;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(c.appels, appels);
    ibonl(ud, 0);
}

TEST_P(Notification, DisarmAndFreeUnderLoad) {
    // Several threads each arm a device that never stops requesting, let a few callbacks run,
    // then disarm (by ibnotify or by taking the descriptor offline) and free the record the
    // callback writes into, while the callback may be running.
    constexpr int kFils = 4, kTours = 15;
    std::atomic<int> apresLiberation{0};
    std::vector<std::thread> fils;
    for (int f = 0; f < kFils; ++f) {
        fils.emplace_back([&, f] {
            std::mt19937 alea(static_cast<unsigned>(f));
            for (int tour = 0; tour < kTours; ++tour) {
                const int ud = Demandeur(10 + f);
                auto *c = new Contexte;
                auto *libere = new std::atomic<bool>(false);
                const int pause = static_cast<int>(alea() % 3);
                c->faire = [c, libere, pause, &apresLiberation](int, int) -> int {
                    if (*libere) ++apresLiberation;
                    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
                    c->derniereSta = c->appels + 1;  // writes into the record
                    return RQS;
                };
                EXPECT_EQ(ibnotify(ud, RQS, Rappel, c) & ERR, 0);
                AttendreQue([&] { return c->appels >= 1 + tour % 3; });
                if (tour % 2 == 0) {
                    EXPECT_EQ(ibnotify(ud, 0, nullptr, nullptr) & ERR, 0);
                }
                EXPECT_EQ(ibonl(ud, 0) & ERR, 0);
                *libere = true;
                delete c;  // a callback still running would write into freed memory
                std::this_thread::sleep_for(1ms);
                delete libere;
            }
        });
    }
    for (auto &t : fils) t.join();
    EXPECT_EQ(apresLiberation, 0);
}

TEST_P(Notification, TakingTheDescriptorOfflineEndsTheCallbacksWaitingRead) {
    std::shared_ptr<sim::Enregistreur> e;
    const int ud = Demandeur(5, &e);
    sim::Defauts muet;
    muet.muet = true;
    e->FixerDefauts(muet);
    Contexte c;
    std::atomic<bool> lit{false};
    std::atomic<int> staLecture{0}, errLecture{-1};
    c.faire = [&](int u, int) -> int {
        char spr = 0;
        ibrsp(u, &spr);
        lit = true;
        char tampon[16];
        staLecture = ibrd(u, tampon, sizeof tampon);  // 10 s on a mute device
        errLecture = ThreadIberr();
        return RQS;
    };
    ibnotify(ud, RQS, Rappel, &c);
    ASSERT_TRUE(AttendreQue([&] { return lit.load(); }));
    std::this_thread::sleep_for(20ms);
    const auto debut = std::chrono::steady_clock::now();
    EXPECT_EQ(ibonl(ud, 0) & ERR, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - debut, 3s);
    EXPECT_EQ(staLecture & (ERR | TIMO), ERR);
    EXPECT_EQ(errLecture, EABO);
    EXPECT_EQ(c.appels, 1);
    EXPECT_TRUE(ibwrt(ud, "X", 1) & ERR);
    EXPECT_EQ(ThreadIberr(), EDVR);
}

TEST_P(Notification, ACallbackMayDisarmOrReArmItself) {
    const int ud = Demandeur(5);
    Contexte autre;
    autre.faire = [](int u, int) -> int {
        char spr = 0;
        ibrsp(u, &spr);
        return 0;
    };
    Contexte c;
    c.faire = [&](int u, int) -> int {
        if (c.appels == 0) ibnotify(u, RQS, Rappel, &autre);  // the next calls go to `autre`
        return 0;  // ignored: its own ibnotify wins
    };
    ibnotify(ud, RQS, Rappel, &c);
    ASSERT_TRUE(AttendreQue([&] { return autre.appels == 1; }));
    EXPECT_EQ(c.appels, 1);

    const int ud2 = Demandeur(6);
    Contexte seul;
    seul.faire = [](int u, int) -> int {
        ibnotify(u, 0, nullptr, nullptr);
        return RQS;  // ignored: disarmed
    };
    ibnotify(ud2, RQS, Rappel, &seul);
    ASSERT_TRUE(AttendreQue([&] { return seul.appels == 1; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(seul.appels, 1);
    ibonl(ud, 0);
    ibonl(ud2, 0);
}

TEST_P(Notification, RefusedArguments) {
    std::shared_ptr<sim::Enregistreur> e;
    const int ud = Demandeur(5, &e);
    Contexte c;
    const struct {
        const char *quoi;
        int ud, masque;
        GpibNotifyCallback_t rappel;
        int erreur;
    } cas[] = {
        {"END in the mask", ud, RQS | END, Rappel, EARG},
        {"no callback", ud, RQS, nullptr, EARG},
        {"board descriptor", 0, RQS, Rappel, EARG},
        {"unknown descriptor", 100000, RQS, Rappel, EDVR},
    };
    for (const auto &k : cas) {
        SCOPED_TRACE(k.quoi);
        EXPECT_TRUE(ibnotify(k.ud, k.masque, k.rappel, &c) & ERR);
        EXPECT_EQ(ThreadIberr(), k.erreur);
    }
    if (GetParam() == Backend::Simule) {  // the host's library cannot refuse
        sim::Defauts d;
        d.notificationRefusee = true;
        e->FixerDefauts(d);
        EXPECT_TRUE(ibnotify(ud, RQS, Rappel, &c) & ERR);
        EXPECT_EQ(ThreadIberr(), ECAP);
    }
    EXPECT_EQ(ibnotify(ud, 0, nullptr, nullptr) & ERR, 0);  // disarming what is not armed
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(c.appels, 0);
    ibonl(ud, 0);
}

TEST_P(Notification, ErrorNotificationsReachTheCallback) {
    for (const int forcee : {0x8000, 0x8800}) {
        SCOPED_TRACE(forcee);
        auto e = std::make_shared<sim::Enregistreur>();
        sim::BusDeCarte(0)->Brancher(5, e);
        sim::Defauts d;
        d.notificationForcee = forcee;
        e->FixerDefauts(d);
        const int ud = ibdev(0, 5, 0, T10s, 1, 1);
        Contexte c;
        ibnotify(ud, RQS, Rappel, &c);
        ASSERT_TRUE(AttendreQue([&] { return c.appels == 1; }));
        EXPECT_EQ(c.derniereSta, forcee);
        ibonl(ud, 0);
    }
}

TEST_P(Notification, TimeLimitInTheMask) {
    const int ud = Demandeur(5);
    char spr = 0;
    ibrsp(ud, &spr);  // no request any more
    ibtmo(ud, T100ms);
    Contexte c;
    ibnotify(ud, RQS | TIMO, Rappel, &c);
    ASSERT_TRUE(AttendreQue([&] { return c.appels == 1; }));
    EXPECT_EQ(c.derniereSta & (TIMO | RQS), TIMO);
    ibonl(ud, 0);
}

}  // namespace
