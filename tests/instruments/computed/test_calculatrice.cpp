// "Calculatrice" without windows: its table and settings block, the formula rules (operators,
// functions, the number rule, skipped tokens, missing operands, the integer remainder that must
// not stop the program), and its inputs as the sampling step gives them: measured channels of
// the current sample, computed channels of the previous one, "(aucun)", and a chosen channel
// that has gone.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/Calculatrice.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

// Offsets of the settings block.
constexpr std::size_t kChaine = 0, kNom = 100, kVoie1 = 228, kVoie2 = 258, kVoie3 = 288,
                      kHauteur = 320, kTailleBloc = 328;

// NaN matches NaN, infinities match by sign, other values to a few ulps.
void ExpectValeur(double obtenu, double attendu) {
    if (std::isnan(attendu))
        EXPECT_TRUE(std::isnan(obtenu)) << obtenu;
    else if (std::isinf(attendu))
        EXPECT_EQ(obtenu, attendu);
    else
        EXPECT_DOUBLE_EQ(obtenu, attendu);
}

// A bench of test-double instruments and calculators, sampled as an acquisition does.
class Calcul : public BancCalcul {
protected:
    // Three measured channels A, B and C of values 2, 3 and 5 (tatoo 1).
    PInstrument *Entrees(double a = 2, double b = 3, double c = 5) {
        return Lister(CreerEssai(MesuresScalaires("Multi", {"A", "B", "C"}, {a, b, c})), "essai.dll");
    }
    PInstrument *Calculatrice_() {
        PInstrument *c = Nouvel_instrument("Calculatrice.dll");
        EXPECT_NE(c, nullptr);
        return Lister(c, "Calculatrice.dll");
    }

    static void Formule(PInstrument *i, const std::string &f) { EcrireTexteBloc(i, kChaine, 100, f); }
    static void References(PInstrument *i, const std::string &a, const std::string &b, const std::string &c) {
        EcrireTexteBloc(i, kVoie1, 30, a);
        EcrireTexteBloc(i, kVoie2, 30, b);
        EcrireTexteBloc(i, kVoie3, 30, c);
    }
    static double Resultat(PInstrument *i) { return i->mesure_calcul(i, 1); }
};

TEST_F(Calcul, TableOffersTheComputedScalarGroupOnly) {
    EXPECT_EQ(Calculatrice.structure, nullptr);
    EXPECT_EQ(Calculatrice.stop, nullptr);
    EXPECT_EQ(Calculatrice.start, nullptr);
    EXPECT_EQ(Calculatrice.status, nullptr);
    EXPECT_EQ(Calculatrice.execute, nullptr);
    EXPECT_EQ(Calculatrice.piloter, nullptr);
    EXPECT_EQ(Calculatrice.nb_voie_1D, nullptr);
    EXPECT_EQ(Calculatrice.nb_voie2D, nullptr);
    EXPECT_EQ(Calculatrice.nb_voie_calcul2D, nullptr);
    EXPECT_EQ(Calculatrice.calculer_2D, nullptr);
    ASSERT_NE(Calculatrice.init, nullptr);
    ASSERT_NE(Calculatrice.calculer_1D, nullptr);

    PInstrument *c = Calculatrice_();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->init(c), 0);
    EXPECT_EQ(c->nb_voie_calcul(c), 1);
    for (int voie : {1, 0, 2, -1}) {
        char nom[kLongueurNomVoie] = "xxxxxxxxxxxxxxxxxxx";
        c->get_nom_voie_calcul(c, voie, nom);
        EXPECT_STREQ(nom, "Voie 1");
        EXPECT_TRUE(std::isnan(c->mesure_calcul(c, voie))) << "no result before the first sample";
    }
}

TEST_F(Calcul, SettingsBlockIsTheFirst328BytesUpToTheStack) {
    PInstrument *c = Calculatrice_();
    const auto [debut, fin, taille, flag] = DemanderMemoire(c, 12345);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(taille, 12345u) << "the size is left to the end pointer";
    ASSERT_NE(debut, nullptr);
    EXPECT_EQ(static_cast<char *>(fin) - static_cast<char *>(debut), static_cast<long>(kTailleBloc));

    const unsigned char *b = DebutBloc(c);
    EXPECT_STREQ(reinterpret_cast<const char *>(b + kChaine), "A B C + *");
    EXPECT_STREQ(reinterpret_cast<const char *>(b + kNom), "Calculatrice");
    for (std::size_t o : {kVoie1, kVoie2, kVoie3}) EXPECT_EQ(b[o], 0) << o;
    for (std::size_t o = 0; o < kTailleBloc; ++o) {
        if ((o >= kNom + 12 && o < kVoie1) || (o >= 318 && o < 320) || o >= 324) {
            EXPECT_EQ(b[o], 0) << "bytes after the name and gaps are zero: " << o;
        }
    }

    // Names keep their first 39 characters, whatever they hold.
    for (const std::string &donne : {std::string(50, 'n'), std::string("100% %n%s%x")}) {
        c->set_nom_instru(c, donne.c_str());
        char nom[kLongueurNomInstru + 1];
        std::memset(nom, '#', sizeof nom);
        c->get_nom_instru(c, nom);
        EXPECT_EQ(std::string(nom), donne.substr(0, 39));
        EXPECT_EQ(nom[kLongueurNomInstru], '#');
    }
}

// A the value 2, B 3 and C 5, every formula evaluated at one sample.
TEST_F(Calcul, FormulaTable) {
    struct Cas {
        const char *formule;
        double attendu;
    } cas[] = {
        // the default formula and the two-operand operators, left operand popped second
        {"A B C + *", 16},
        {"A B -", -1},
        {"A B /", 2.0 / 3.0},
        {"B A ^", 9},
        {"2 3 ^", 8},
        {"C A * B -", 7},
        // the integer remainder: truncated operands, sign of the left one
        {"7 2 %", 1},
        {"-7 2 %", -1},
        {"7 -2 %", 1},
        {"7.9 2.5 %", 1},
        {"-2147483648 3 %", -2},
        {"-2147483648 -1 %", 0},  // the one quotient that does not fit 32 bits
        // a remainder integers cannot give is missing, and the evaluation goes on
        {"7 0 %", NaN},
        {"7 0.5 %", NaN},
        {"0 0 / 2 %", NaN},
        {"1e10 3 %", NaN},
        {"7 -2147483649 %", NaN},
        {"1 0 / 2 %", NaN},
        {"7 0 % A +", NaN},
        {"7 2 % A +", 3},
        // functions, names compared case included
        {"0 ln", -Inf},
        {"100 log", 2},
        {"1 exp", std::exp(1.0)},
        {"9 sqrt", 3},
        {"0 sin", 0},
        {"0 cos", 1},
        {"4 SQRT", 4},
        {"A LN", 2},
        {"A Sin", 2},
        // IEEE results pass through unchecked
        {"1 0 /", Inf},
        {"0 0 /", NaN},
        {"-1 sqrt", NaN},
        // left-over values are dropped, missing operands are 0
        {"A B", 3},
        {"A -", -2},
        {"sqrt", 0},
        {"+", 0},
        {"", 0},
        {"     ", 0},
        {"   A   B   +   ", 5},
        // skipped tokens
        {"A x +", 2},
        {"A a + . +", 2},
        {"3 inf -", -3},
        {"3 nan -", -3},
        {"3 -x -", -3},
        {"3 ABC -", -3},
        // the number rule: a token of two or more characters pushes the number it begins with
        {"2x", 2},
        {"1,5", 1},
        {"12 A +", 14},
        {"-2.5e3", -2500},
        {"+4", 4},
        {".5 2 *", 1},
        {"-.5", -0.5},
        {"5. 1 +", 6},
        {"2e", 2},
        {"2e+", 2},
        {"1.5E2x", 150},
        {"3 0x10 -", 3},  // no hexadecimal: "0x10" is the number 0
        {"1e400", Inf},
        {"-1e400", -Inf},
        {"1e-400", 0},
        // tokens longer than 29 characters are tokens like any other
        {"1234567890123456789012345678901234567890", 1234567890123456789012345678901234567890.0},
        {"A abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz B +", 5},
    };
    PInstrument *c = Calculatrice_();
    Entrees();
    References(c, "2;1", "2;2", "2;3");
    Demarrer();
    for (const Cas &k : cas) {
        SCOPED_TRACE(std::string("\"") + k.formule + "\"");
        Formule(c, k.formule);
        Echantilloner(liste);
        ExpectValeur(Resultat(c), k.attendu);
    }
}

// The decimal separator of a formula is the point, whatever the program's locale.
TEST_F(Calcul, NumbersAreReadWithThePointInAFrenchLocale) {
    const std::string avant = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) GTEST_SKIP() << "no French locale on this machine";
    PInstrument *c = Calculatrice_();
    Demarrer();
    const struct {
        const char *formule;
        double attendu;
    } cas[] = {{"1.5 2 *", 3}, {"1,5 2 *", 2}, {"-2.5e-1", -0.25}};
    for (const auto &k : cas) {
        SCOPED_TRACE(k.formule);
        Formule(c, k.formule);
        Echantilloner(liste);
        ExpectValeur(Resultat(c), k.attendu);
    }
    std::setlocale(LC_NUMERIC, avant.c_str());
}

TEST_F(Calcul, InputsFollowTheirChannelsAtEverySample) {
    PInstrument *multi = Entrees();
    PInstrument *c = Calculatrice_();
    Demarrer();

    // All three on "(aucun)": every input is 0.
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 0.0);
    Formule(c, "A B C 1 + + +");
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 1.0);

    // References are read at every sample: a change acts at the next one.
    References(c, "1;1", "1;2", "1;3");
    Formule(c, "A B C + *");
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 16.0);

    // A measured channel gives the value of this very sample; a missing value goes in as is.
    Essai(multi).config.valeurs_1D = {10, -1, 0.5};
    Echantilloner(liste);
    ExpectValeur(Resultat(c), -5.0);
    Essai(multi).config.valeurs_1D = {NaN, 1, 1};
    Echantilloner(liste);
    ExpectValeur(Resultat(c), NaN);
    // The same value at every later read of the sample.
    for (int k = 0; k < 3; ++k) ExpectValeur(c->mesure_calcul(c, 1), NaN);

    // A chosen channel that no channel table holds is missing, not 0; an input the formula
    // does not use changes nothing.
    Essai(multi).config.valeurs_1D = {2, 3, 5};
    References(c, "1;1", "1;2", "9;1");
    Echantilloner(liste);
    ExpectValeur(Resultat(c), NaN);
    Formule(c, "A B *");
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 6.0);
    for (const char *mal_forme : {"1", "1;", ";1", "x;y", "1;4"}) {
        SCOPED_TRACE(mal_forme);
        References(c, mal_forme, "1;2", "");
        Echantilloner(liste);
        ExpectValeur(Resultat(c), NaN);
    }
}

TEST_F(Calcul, AChannelWhoseInstrumentLeftTheBenchGivesTheMissingValue) {
    Entrees();
    PInstrument *c = Calculatrice_();
    References(c, "1;1", "1;2", "");
    Formule(c, "A B + C +");
    Demarrer();
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 5.0);

    // The input instrument is deleted; the next acquisition's tables no longer hold it.
    Liberer_buffer_circu();
    liste = Supprimer_instru(liste, liste);
    Demarrer();
    Echantilloner(liste);
    ExpectValeur(Resultat(c), NaN);
}

// A computed input is the value the framework stored at the previous sample: the missing
// value at the first sample of an acquisition.
TEST_F(Calcul, ComputedInputLagsOneSample) {
    PInstrument *multi = Entrees();
    PInstrument *premier = Calculatrice_();  // tatoo 2
    PInstrument *second = Calculatrice_();   // tatoo 3
    References(premier, "1;1", "", "");
    Formule(premier, "A 10 *");
    References(second, "2;1", "", "");  // the first calculator's "Voie 1"
    Formule(second, "A 1 +");
    Demarrer();

    const double valeurs[] = {1, 2, 3, 4};
    double precedent = NaN;
    for (double v : valeurs) {
        SCOPED_TRACE(v);
        Essai(multi).config.valeurs_1D = {v, 0, 0};
        Echantilloner(liste);
        ExpectValeur(Resultat(premier), 10 * v);
        ExpectValeur(Resultat(second), precedent + 1);
        precedent = 10 * v;
    }

    // The same whatever the order in the list: the second calculator reads itself.
    References(second, "3;1", "", "");
    Formule(second, "A 1 +");
    Liberer_buffer_circu();
    Demarrer();
    Echantilloner(liste);
    ExpectValeur(Resultat(second), NaN);
}

// A block read from a file can hold anything: texts without terminator, any stack height.
TEST_F(Calcul, LoadedBlockIsReadWithinItsFields) {
    Entrees();
    PInstrument *c = Calculatrice_();
    Demarrer();

    std::string formule;
    while (formule.size() < 100) formule += "1 ";
    formule.resize(100);  // 50 tokens "1", no terminator
    Formule(c, formule);
    EcrireTexteBloc(c, kVoie1, 30, std::string(30, '7'));
    EcrireTexteBloc(c, kVoie2, 30, std::string(30, '1'));
    EcrireTexteBloc(c, kVoie3, 30, std::string(30, ';'));
    EcrireTexteBloc(c, kNom, 128, std::string(128, 'N'));
    const std::int32_t hauteurs[] = {5000, -3, 1024, 1023};
    for (std::int32_t h : hauteurs) {
        SCOPED_TRACE(h);
        std::memcpy(DebutBloc(c) + kHauteur, &h, sizeof h);
        Echantilloner(liste);
        ExpectValeur(Resultat(c), 1.0);
    }
    char nom[kLongueurNomInstru];
    c->get_nom_instru(c, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'N'));

    // Every evaluation starts from an empty stack and ends with it popped.
    Formule(c, "1 2 3");
    Echantilloner(liste);
    ExpectValeur(Resultat(c), 3.0);
    std::int32_t h = -1;
    std::memcpy(&h, DebutBloc(c) + kHauteur, sizeof h);
    EXPECT_EQ(h, 2);
}

}  // namespace
