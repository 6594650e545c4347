// The number at the head of a reply (gpib/nombres.h): where it lies, its value in each type, and
// what is no number.
#include "gpib/nombres.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace {

using namespace std::string_literals;

constexpr double kAucun = std::numeric_limits<double>::quiet_NaN();  // no value read

TEST(Nombres, DecimalNumbersAtTheHeadOfAText) {
    const struct {
        std::string texte;
        std::size_t debut, fin;  // 0, 0: no number
        double valeur;           // as a double; kAucun when none is read
    } cas[] = {
        {"1.5", 0, 3, 1.5},
        {"  -2.5e3xyz", 2, 8, -2500.0},
        {"+.5", 0, 3, 0.5},
        {"5.", 0, 2, 5.0},
        {"+6.000000E+03,+4.0", 0, 13, 6000.0},
        {"1E-3;", 0, 4, 0.001},
        {"\t\r\n\v\f 7", 6, 7, 7.0},
        {"1e", 0, 1, 1.0},    // a letter without digits is no exponent
        {"1e+x", 0, 1, 1.0},
        {"12abc", 0, 2, 12.0},
        {"0x1p3", 0, 1, 0.0},  // no hexadecimal form: the 0 alone
        {"1.5\0 2"s, 0, 3, 1.5},
        {"1e400", 0, 5, kAucun},  // beyond the double range
        {"-0", 0, 2, -0.0},
        {"", 0, 0, kAucun},
        {".", 0, 0, kAucun},
        {"-", 0, 0, kAucun},
        {"+-5", 0, 0, kAucun},
        {"- 5", 0, 0, kAucun},
        {"e5", 0, 0, kAucun},
        {"inf", 0, 0, kAucun},
        {"nan", 0, 0, kAucun},
        {"\xA0" "5", 0, 0, kAucun},  // only the C locale's white space
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(testing::PrintToString(c.texte));
        const nombres::Etendue e = nombres::Reel(c.texte);
        EXPECT_EQ(e.debut, c.debut);
        EXPECT_EQ(e.fin, c.fin);
        EXPECT_EQ(e.Vide(), c.fin == 0);
        double v = -77.0;
        const std::size_t lus = nombres::LireReel(c.texte, v);
        if (std::isnan(c.valeur)) {
            EXPECT_EQ(lus, 0u);
            EXPECT_EQ(v, -77.0) << "left as it was";
        } else {
            EXPECT_EQ(lus, c.fin);
            EXPECT_EQ(v, c.valeur);
            EXPECT_EQ(std::signbit(v), std::signbit(c.valeur));
        }
    }
}

// Single precision: the nearest float; beyond its range, the infinity or the zero the double
// rounds to; beyond the double range, nothing.
TEST(Nombres, SinglePrecision) {
    const struct {
        const char *texte;
        float valeur;
        bool lu;
    } cas[] = {
        {"0.001", 0.001f, true},
        {"  0.1", 0.1f, true},
        {"3.4e38", 3.4e38f, true},
        {"1e300", std::numeric_limits<float>::infinity(), true},
        {"-1e300", -std::numeric_limits<float>::infinity(), true},
        {"1e-50", 0.0f, true},
        {"1e400", -77.0f, false},
        {"x", -77.0f, false},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.texte);
        float v = -77.0f;
        EXPECT_EQ(nombres::LireReel(c.texte, v) > 0, c.lu);
        EXPECT_EQ(v, c.valeur);
    }
}

TEST(Nombres, Integers) {
    const struct {
        const char *texte;
        std::size_t fin;  // 0: none
        long comme_long;
        bool int_aussi;   // within the int range too
    } cas[] = {
        {"42", 2, 42, true},
        {" -7,", 3, -7, true},
        {"+8", 2, 8, true},
        {"1.5", 1, 1, true},
        {"2147483647", 10, 2147483647L, true},
        {"2147483648", 10, 2147483648L, false},
        {"-2147483649", 11, -2147483649L, false},
        {"99999999999999999999", 20, 0, false},  // beyond long too: not read
        {"+-8", 0, 0, false},
        {"x1", 0, 0, false},
        {"", 0, 0, false},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.texte);
        EXPECT_EQ(nombres::Entier(c.texte).fin, c.fin);
        long l = -77;
        const std::size_t lus = nombres::LireEntier(c.texte, l);
        const bool long_lu = c.fin != 0 && (c.comme_long != 0 || c.int_aussi);
        EXPECT_EQ(lus, long_lu ? c.fin : 0u);
        EXPECT_EQ(l, long_lu ? c.comme_long : -77);
        int i = -77;
        EXPECT_EQ(nombres::LireEntier(c.texte, i), c.int_aussi ? c.fin : 0u);
        EXPECT_EQ(i, c.int_aussi ? static_cast<int>(c.comme_long) : -77);
    }
}

// A text given without its end (a reply in a larger buffer): nothing past it is read.
TEST(Nombres, NeverPastTheTextGiven) {
    const std::string_view tampon = "12345e7";
    double d = 0.0;
    EXPECT_EQ(nombres::LireReel(tampon.substr(0, 2), d), 2u);
    EXPECT_EQ(d, 12.0);
    EXPECT_EQ(nombres::LireReel(tampon.substr(0, 6), d), 5u) << "the letter alone is no exponent";
    EXPECT_EQ(d, 12345.0);
    long l = 0;
    EXPECT_EQ(nombres::LireEntier(tampon.substr(0, 3), l), 3u);
    EXPECT_EQ(l, 123);
    EXPECT_TRUE(nombres::Reel(tampon.substr(0, 0)).Vide());
}

}  // namespace
