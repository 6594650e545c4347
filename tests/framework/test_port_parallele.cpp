// Lines of the parallel port moved under the program's port lock: the other lines stay, and a
// lock held elsewhere is waited for only so long.
#include <atomic>
#include <cstdio>
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "framework/liste.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/parport.h"
#include "platform/utility.h"
#include "sim/banc.h"
#include "sim/transcription.h"

namespace {

class PortParallele : public testing::Test {
protected:
    void SetUp() override {
        if (std::FILE *f = std::fopen(kConfiguration, "w")) {
            std::fputs("parport = sim\n", f);
            std::fclose(f);
        }
        RechargerConfigurationBanc(kConfiguration);
        ReinitialiserPortParallele();
        registre = sim::RegistreParalleleDuBanc();
        ASSERT_NE(registre, nullptr);
        registre->Fixer(0xA4);
        ASSERT_EQ(CmtNewLock(nullptr, 0, &Lock_port_parallele), 0);
    }
    void TearDown() override {
        CmtDiscardLock(Lock_port_parallele);
        Lock_port_parallele = 0;
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserPortParallele();
        std::remove(kConfiguration);
    }
    static constexpr const char *kConfiguration = "/tmp/banc-port-parallele.conf";
    std::shared_ptr<sim::RegistreParallele> registre;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

TEST_F(PortParallele, OnlyTheLinesGivenMove) {
    EXPECT_TRUE(Positionner_lignes_port(0x08 | 0x02, true));
    EXPECT_EQ(registre->Lire(), 0xAE);
    EXPECT_TRUE(Positionner_lignes_port(0x04, false));
    EXPECT_EQ(registre->Lire(), 0xAA);
}

// Another thread holds the port lock from the making of this until Relacher, or its end.
class VerrouTenuAilleurs {
public:
    VerrouTenuAilleurs() {
        while (!tenu_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~VerrouTenuAilleurs() {
        Relacher();
        fil_.join();
    }
    VerrouTenuAilleurs(const VerrouTenuAilleurs &) = delete;
    VerrouTenuAilleurs &operator=(const VerrouTenuAilleurs &) = delete;
    void Relacher() { relacher_ = true; }

private:
    std::atomic<bool> tenu_{false}, relacher_{false};
    std::thread fil_{[this] {
        CmtGetLock(Lock_port_parallele);
        tenu_ = true;
        while (!relacher_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        CmtReleaseLock(Lock_port_parallele);
    }};
};

TEST_F(PortParallele, ALockHeldElsewhereIsWaitedForThenGivenUp) {
    VerrouTenuAilleurs autre;
    registre->EffacerJournal();
    // Held past the wait: nothing written, and the caller is not held for ever.
    EXPECT_FALSE(Positionner_lignes_port(0x10, true, 0.05));
    EXPECT_TRUE(registre->Journal().empty());
    // Released during the wait: the line moves.
    std::thread liberateur([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        autre.Relacher();
    });
    EXPECT_TRUE(Positionner_lignes_port(0x10, true, 5.0));
    EXPECT_EQ(registre->Lire(), 0xB4);
    liberateur.join();
}

// A valve's pulse runs on the program's clock, and so does the wait for it: with the fake clock
// standing still the wait goes on, and it ends as soon as the wait has passed on that clock.
TEST_F(PortParallele, TheWaitIsOnTheProgramsClock) {
    horloge::UtiliserHorlogeFactice(0);
    {
        VerrouTenuAilleurs autre;
        registre->EffacerJournal();
        auto attente = std::async(std::launch::async, [] { return Positionner_lignes_port(0x10, true, 10.0); });
        EXPECT_EQ(attente.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        horloge::AvancerHorlogeFactice(9.5);
        EXPECT_EQ(attente.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        horloge::AvancerHorlogeFactice(0.5);
        EXPECT_EQ(attente.wait_for(std::chrono::seconds(5)), std::future_status::ready)
            << "given up on the program's clock";
        autre.Relacher();
        EXPECT_FALSE(attente.get());
        EXPECT_TRUE(registre->Journal().empty());
    }
    horloge::UtiliserHorlogeReelle();
}

TEST_F(PortParallele, NoLockNoWrite) {
    CmtDiscardLock(Lock_port_parallele);
    registre->EffacerJournal();
    EXPECT_FALSE(Positionner_lignes_port(0x10, true));
    EXPECT_TRUE(registre->Journal().empty());
}

}  // namespace
