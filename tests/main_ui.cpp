// Test program for everything that opens windows. It runs under a French locale on purpose:
// the toolkit takes the locale from the environment, and numbers must still be written with
// ".".
#include "platform/ui.h"
#include "platform/ui_test.h"

#include <gtest/gtest.h>

#include "sim/banc.h"

#include <cstdlib>

namespace {

// Every test starts with an empty pop-up script; a pop-up nobody expected fails the test.
class ScriptParTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &) override {
        ui_test::ActiverScript([](const std::string &d) { ADD_FAILURE() << d; });
    }
};

}  // namespace

int main(int argc, char **argv) {
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    sim::InstallerBanc();
    testing::InitGoogleTest(&argc, argv);
    if (InitUserInterface(argc, argv) == 0) return 2;
    testing::UnitTest::GetInstance()->listeners().Append(new ScriptParTest);
    return RUN_ALL_TESTS();
}
