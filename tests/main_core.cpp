// Test program of the parts that open no window.
#include <cstdlib>

#include <gtest/gtest.h>

#include "sim/banc.h"

int main(int argc, char **argv) {
    // The tests choose their bench configuration; the one of the machine's user must not leak in.
    setenv("BANC_BENCH_CONFIG", "/nonexistent/banc-tests/banc.conf", 1);
    sim::InstallerBanc();
    testing::InitGoogleTest(&argc, argv);
    // Tests start threads; a child process of a death test re-runs the program from the start.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
