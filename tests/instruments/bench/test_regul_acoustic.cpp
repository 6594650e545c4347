// "Regul Acoustic": reading a report's temperature and writing a set-point for the regulator.
#include "instruments/bench/Regul_Acoustic.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <optional>
#include <string>

namespace {

TEST(ProtocoleRegulateur, TemperatureOfAReport) {
    const struct {
        std::string texte;
        double temperature;
    } cas[] = {
        {"23.45\r", 23.45},              // the CR before the LF is harmless
        {"23.45", 23.45},
        {"  -4.5\r", -4.5},              // leading blanks skipped
        {"\t7", 7.0},
        {"21.5 C", 21.5},                // the longest prefix that is a number
        {"1e2", 100.0},
        {"12.", 12.0},
        {".5", 0.5},
        {"", 0.0},                       // no number: 0.0
        {"abc", 0.0},
        {"--3", 0.0},
        {"nan", 0.0},                    // words are no number
        {"-inf", 0.0},
        {"0x10", 0.0},                   // no hexadecimal form: the 0 alone
        {"\r", 0.0},
        {std::string("19\0.75", 6), 19.0},     // a NUL ends the text
        {std::string(49, ' ') + "8", 8.0},     // 50 bytes
        {std::string(50, ' ') + "8", 0.0},     // the 51st byte is not part of a report
        {std::string(50, '9'), 1e50},          // fifty nines, no terminator of its own
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.texte);
        EXPECT_DOUBLE_EQ(Regul_Acoustic_temperature(c.texte), c.temperature);
    }
}

TEST(ProtocoleRegulateur, NumbersAreReadWithAPointInEveryLocale) {
    const char *avant = std::setlocale(LC_NUMERIC, nullptr);
    const std::string ancienne = avant ? avant : "C";
    if (std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) GTEST_SKIP() << "no French locale here";
    EXPECT_EQ(Regul_Acoustic_temperature("23.45\r"), 23.45);
    EXPECT_EQ(Regul_Acoustic_message_consigne(21.5), "21.50\r\r");
    std::setlocale(LC_NUMERIC, ancienne.c_str());
}

TEST(ProtocoleRegulateur, SetPointMessage) {
    const struct {
        double consigne;
        std::optional<std::string> message;
    } cas[] = {
        {20.0, "20.00\r\r"},
        {-5.5, "-5.50\r\r"},
        {0.0, "0.00\r\r"},              // "%2.2f" does not pad to two digits
        {7.125, "7.12\r\r"},
        {100.0, "100.00\r\r"},
        {9999.99, "9999.99\r\r"},        // the longest text: 7 characters and two CRs
        {-999.99, "-999.99\r\r"},
        {-0.001, "-0.00\r\r"},
        {9999.995, std::nullopt},        // 10000.00 does not fit
        {12345.6, std::nullopt},
        {-1000.0, std::nullopt},
        {1e300, std::nullopt},
        {std::nan(""), std::nullopt},
        {HUGE_VAL, std::nullopt},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.consigne);
        EXPECT_EQ(Regul_Acoustic_message_consigne(c.consigne), c.message);
    }
}

}  // namespace
