// "Pompe Ismatec": reading the maximum-flow reply and turning a flow into per-mille of it.
#include "instruments/bench/Pompe_Ismatec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

TEST(ProtocoleIsmatec, MaximumFlowReply) {
    const struct {
        std::string reponse;
        std::optional<double> maximum;
    } cas[] = {
        {"50.00 ml/min  \r\n", 50.0},
        {"  217.47 ml/min\r\n", static_cast<double>(217.47f)},  // read in single precision
        {"1e3ml/min", 1000.0},
        {"12", 12.0},                                            // the number alone is enough
        {"0.00 ml/min    \r\n", std::nullopt},                  // a maximum of 0 divides nothing
        {"-5 ml/min", std::nullopt},
        {"garbage ml/min\r\n", std::nullopt},
        {"", std::nullopt},
        {"inf ml/min", std::nullopt},
        {"nan", std::nullopt},
        {"0x10 ml/min", std::nullopt},                         // no hexadecimal form: a maximum of 0
        {std::string(15, '9'), 999999999999999.0f},              // 15 bytes, no terminator of its own
        {std::string("7\0 ml/min", 9), 7.0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reponse);
        EXPECT_EQ(Ismatec_debit_maximum(c.reponse), c.maximum);
    }
    // Only the 15 bytes of the reply are read, whatever the view holds beyond them.
    EXPECT_EQ(Ismatec_debit_maximum("               12"), std::nullopt);
}

// Truncated toward zero; a floating-point error just short of a whole number is not truncated
// away (0.29 * 1000 is 289.99999999999997).
TEST(ProtocoleIsmatec, PerMilleOfTheMaximumTruncatedTowardZero) {
    const struct {
        double debit, maximum;
        std::optional<int> n;
    } cas[] = {
        {12.5, 50.0, 250},    {50.0, 50.0, 1000},  {100.0, 50.0, 2000}, {0.0, 50.0, 0},
        {5000.0, 50.0, 100000}, {-5.0, 50.0, -100}, {0.29, 1.0, 290},     // not 289
        {12.59, 50.0, 251},   {-12.59, 50.0, -251}, {0.0289, 1.0, 28},  {0.02849, 1.0, 28},
        {1.0, 3.0, 333},      {2.0, 3.0, 666},     {-2.0, 3.0, -666},   {0.57, 1.0, 570},
        {1e300, 1.0, std::nullopt},                 {std::nan(""), 1.0, std::nullopt},
        {1.0, std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(std::to_string(c.debit) + " / " + std::to_string(c.maximum));
        EXPECT_EQ(Ismatec_pour_mille(c.debit, c.maximum), c.n);
    }
}

}  // namespace
