// The parallel port's data register: simulated, or a device that cannot be opened.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/gpib_essai.h"
#include "platform/parport.h"
#include "sim/banc.h"

namespace {

TEST(PortParallele, SimulatedRegisterWithItsLog) {
    essai::Banc banc;
    banc.Configurer("parport = sim\n");
    const auto registre = sim::RegistreParalleleDuBanc();
    ASSERT_NE(registre, nullptr);
    registre->Fixer(0xE3);
    EXPECT_EQ(CVI_inp(0x378), 0xE3);
    EXPECT_EQ(CVI_outp(0x378, CVI_inp(0x378) | 8), 0xEB);       // one line raised, others kept
    EXPECT_EQ(CVI_outp(888, CVI_inp(888) & ~8), 0xE3);          // and lowered again
    EXPECT_EQ(CVI_outp(kPortParallele, 0x1FF), 0xFF);           // only the low byte
    EXPECT_EQ(CVI_inp(kPortParallele), 0xFF);
    std::thread([] { CVI_outp(0x378, 0x10); }).join();
    EXPECT_EQ(CVI_inp(0x379), -1);  // not the data register
    EXPECT_EQ(CVI_outp(0x37A, 1), -1);

    const auto journal = registre->Journal();
    std::vector<int> valeurs;
    for (const auto &e : journal) valeurs.push_back(e.valeur);
    EXPECT_EQ(valeurs, (std::vector<int>{0xEB, 0xE3, 0xFF, 0x10}));
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[0].fil, std::this_thread::get_id());
    EXPECT_NE(journal[3].fil, std::this_thread::get_id());

    banc.Configurer("parport = sim\n");  // chosen again: a new register
    EXPECT_EQ(CVI_inp(0x378), 0);
    EXPECT_TRUE(sim::RegistreParalleleDuBanc()->Journal().empty());
}

TEST(PortParallele, ADeviceThatCannotBeOpenedIsReportedOnce) {
    essai::Banc banc;
    banc.Configurer("parport = /nonexistent/parport9\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(CVI_outp(0x378, 5), 5);
    EXPECT_EQ(CVI_inp(0x378), 0);
    EXPECT_EQ(CVI_outp(0x378, 6), 6);
    const std::string note = testing::internal::GetCapturedStderr();
    EXPECT_EQ(sim::RegistreParalleleDuBanc(), nullptr);
    EXPECT_NE(note.find("/nonexistent/parport9"), std::string::npos) << note;
    EXPECT_EQ(std::count(note.begin(), note.end(), '\n'), 1) << note;
}

}  // namespace
