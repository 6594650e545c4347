// The counters' replies read as every reply's number is read (gpib/nombres.h), with a point
// whatever the program's locale.
#include "instruments/counters/compteur_protocole.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include <locale.h>

namespace {

using compteur::AnalyserLecture;
using compteur::Lecture;
using compteur::ValeurApres;
using Genre = Lecture::Genre;

TEST(LectureCompteur, RepliesReadByTheOneRuleForNumbers) {
    const struct {
        std::string reponse;
        Genre genre;
        double valeur;
    } cas[] = {
        {"+1.000000000000E+007\n", Genre::Nombre, 1e7},
        {"  -4.500000000000E+001\r\n", Genre::Nombre, -45.0},
        {"+9.91000000000E+037\n", Genre::Nombre, 9.91e37},  // the counter's own "no number"
        {"1.5e6 Hz", Genre::Nombre, 1.5e6},
        {"0x10", Genre::Nombre, 0.0},  // no hexadecimal form: the 0 alone
        {"1,5", Genre::Nombre, 1.0},
        {"nan\n", Genre::PasUnNombre, 0},  // the words are no number: the reply is unreadable
        {"-inf", Genre::PasUnNombre, 0},
        {" INFINITY\n", Genre::PasUnNombre, 0},
        {"1e400\n", Genre::PasUnNombre, 0},  // beyond the double range
        {"", Genre::Rien, 0},
        {"\n", Genre::Rien, 0},
        {" \t\r\n\v\f", Genre::Rien, 0},
        {std::string("\0+2.0\n", 6), Genre::Rien, 0},  // the text ends at its NUL
        {std::string(" 7\0 8", 5), Genre::Nombre, 7.0},
        {"abc\n", Genre::PasUnNombre, 0},
        {"Hz 1.0", Genre::PasUnNombre, 0},
        {"+", Genre::PasUnNombre, 0},
        {std::string(255, ' ') + "3.0", Genre::Rien, 0},  // beyond what a read brings
        {std::string(254, ' ') + "3.0", Genre::Nombre, 3.0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.reponse);
        const Lecture l = AnalyserLecture(c.reponse);
        EXPECT_EQ(l.genre, c.genre);
        if (c.genre == Genre::Nombre) {
            EXPECT_EQ(l.valeur, c.valeur);
        }
    }
}

// A thread working in a locale with a decimal comma still reads the counter's point.
TEST(LectureCompteur, TheDecimalPointWhateverTheLocale) {
    const locale_t francais = newlocale(LC_NUMERIC_MASK, "fr_FR.UTF-8", static_cast<locale_t>(nullptr));
    if (francais == static_cast<locale_t>(nullptr)) GTEST_SKIP() << "no French locale on this machine";
    const locale_t avant = uselocale(francais);
    const Lecture l = AnalyserLecture("+1.234500000000E+006\n");
    const char *virgule = localeconv()->decimal_point;
    const std::string point_du_fil = virgule;
    uselocale(avant);
    freelocale(francais);
    EXPECT_EQ(point_du_fil, ",") << "the thread's own locale is left as it was";
    EXPECT_EQ(l.genre, Genre::Nombre);
    EXPECT_EQ(l.valeur, 1234500.0);
}

TEST(LectureCompteur, WhatTheChannelHoldsAfterAReply) {
    EXPECT_TRUE(std::isnan(ValeurApres({Genre::Rien, 0}, 5.0))) << "a missing reading is no made-up value";
    EXPECT_EQ(ValeurApres({Genre::PasUnNombre, 0}, 5.0), 5.0);
    EXPECT_EQ(ValeurApres({Genre::Nombre, 7.0}, 5.0), 7.0);
    // Where a reply without a number is a missing reading too.
    constexpr auto kManquante = compteur::SansNombre::Manquante;
    EXPECT_TRUE(std::isnan(ValeurApres({Genre::Rien, 0}, 5.0, kManquante)));
    EXPECT_TRUE(std::isnan(ValeurApres({Genre::PasUnNombre, 0}, 5.0, kManquante)));
    EXPECT_EQ(ValeurApres({Genre::Nombre, 7.0}, 5.0, kManquante), 7.0);
}

}  // namespace
