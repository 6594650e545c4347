// The multimeter's reading of a ":FETC?" reply: the first number, as "%lf" reads it, whatever
// follows; nothing from a reply that does not begin with one.
#include "instruments/meters/multimetre.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MultimetreLecture, FirstNumberOfTheReply) {
    const struct {
        std::string reponse;
        bool lue;
        double valeur;
    } cas[] = {
        {"+1.23456789E+00\n", true, 1.23456789},
        {"-2.25000000E-03\n", true, -2.25e-3},
        {"  +9.90000000E+37\n", true, 9.9e37},  // overload, as the multimeter sends it
        {"+1.00000000E+00,+2.00000000E+00\n", true, 1.0},
        {"12", true, 12.0},
        {".5", true, 0.5},
        {"1e", true, 1.0},  // an exponent without digits is no part of the number
        {"", false, 0},
        {"\n", false, 0},
        {"#\x7f?@!\n", false, 0},
        {"+", false, 0},
        {"-.", false, 0},
        {"nan", false, 0},
        {"inf", false, 0},
        {"E+00", false, 0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reponse);
        double v = -7.0;
        EXPECT_EQ(multi_lire_mesure(c.reponse, v), c.lue);
        EXPECT_EQ(v, c.lue ? c.valeur : -7.0);
    }
    // The text ends where the bytes received end, terminator or not.
    double v = 0;
    EXPECT_TRUE(multi_lire_mesure(std::string_view("4.5", 2), v));
    EXPECT_EQ(v, 4.0);
}

}  // namespace
