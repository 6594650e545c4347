// "Calcul de statistiques" without windows, and the analysis library's StdDev and Median
// beneath it: the moving mean, population standard deviation and median over the newest
// values of a scripted channel, the window while the ring fills, missing values, rings
// shorter than the window, median sizes out of range, a computed input, "(aucun)" and a chosen
// channel that has gone, and the 192-byte settings block.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/calcul_moy_stddev.h"
#include "platform/analysis.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Offsets of the settings block.
// The results lie at 160 (mean), 168 (standard deviation) and 176 (median).
constexpr std::size_t kNom = 0, kVoie = 128,
                      kTailleMedian = 184, kTailleBloc = 192;

void ExpectValeur(double obtenu, double attendu) {
    if (std::isnan(attendu))
        EXPECT_TRUE(std::isnan(obtenu)) << obtenu;
    else
        EXPECT_NEAR(obtenu, attendu, 1e-12 * std::max(1.0, std::fabs(attendu)));
}

// ---- the analysis library ---------------------------------------------------------------------

TEST(Analyse, StdDevIsThePopulationForm) {
    struct Cas {
        std::vector<double> x;
        double moyenne, ecart;
    } cas[] = {
        {{2, 4, 4, 4, 5, 5, 7, 9}, 5, 2},
        {{5}, 5, 0},
        {{-1, 1}, 0, 1},
        {{1e9 + 1, 1e9 + 3}, 1e9 + 2, 1},
        {{7, 7, 7, 7, 7}, 7, 0},
        {{1, NaN, 3}, NaN, NaN},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::PrintToString(c.x));
        double moyenne = -99, ecart = -99;
        EXPECT_EQ(StdDev(c.x.data(), static_cast<int>(c.x.size()), &moyenne, &ecart), ANALYSIS_OK);
        ExpectValeur(moyenne, c.moyenne);
        ExpectValeur(ecart, c.ecart);
    }
}

TEST(Analyse, MedianOfASortedCopy) {
    std::vector<double> melange;
    for (int k = 0; k < 101; ++k) melange.push_back((k * 37) % 101);  // 0..100 shuffled
    struct Cas {
        std::vector<double> x;
        double median;
    } cas[] = {
        {{3, 1, 2}, 2},
        {{4, 1, 3, 2}, 2.5},
        {{9}, 9},
        {{-5, 10}, 2.5},
        {{2, 2, 1, 2}, 2},
        {{1, 5, 5, 2}, 3.5},
        {melange, 50},
        {{3, NaN, 1}, NaN},
        {{NaN}, NaN},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(testing::PrintToString(c.x));
        const std::vector<double> avant = c.x;
        double median = -99;
        EXPECT_EQ(Median(c.x.data(), static_cast<int>(c.x.size()), &median), ANALYSIS_OK);
        ExpectValeur(median, c.median);
        for (std::size_t k = 0; k < avant.size(); ++k) {
            if (!std::isnan(avant[k])) {
                EXPECT_EQ(c.x[k], avant[k]) << "the input is only read";
            }
        }
    }
}

TEST(Analyse, ErrorsLeaveTheOutputsAlone) {
    const double x[] = {1, 2, 3};
    double a = -7, b = -8;
    for (int n : {0, -1}) {
        EXPECT_EQ(StdDev(x, n, &a, &b), ANALYSIS_BAD_COUNT);
        EXPECT_EQ(Median(x, n, &a), ANALYSIS_BAD_COUNT);
    }
    EXPECT_LT(StdDev(nullptr, 3, &a, &b), 0);
    EXPECT_LT(StdDev(x, 3, nullptr, &b), 0);
    EXPECT_LT(Median(nullptr, 3, &a), 0);
    EXPECT_LT(Median(x, 3, nullptr), 0);
    EXPECT_EQ(a, -7);
    EXPECT_EQ(b, -8);
}

// ---- the instrument ---------------------------------------------------------------------------

// A value that changes at every sample, with repeats, negatives and no order.
double Script(int echantillon) { return std::round(10 * std::sin(0.7 * echantillon)) + echantillon % 4; }

// What the three channels must give once `valeurs` (oldest first) have been stored.
struct Attendu {
    double moyenne, ecart, median;
};
Attendu Reference(const std::vector<double> &valeurs, int taille_median) {
    std::vector<double> fenetre(30, NaN);  // newest first
    for (int age = 0; age < 30 && age < static_cast<int>(valeurs.size()); ++age)
        fenetre[static_cast<std::size_t>(age)] = valeurs[valeurs.size() - 1 - static_cast<std::size_t>(age)];
    Attendu a{};
    a.moyenne = std::accumulate(fenetre.begin(), fenetre.end(), 0.0) / 30;
    double s = 0;
    for (double x : fenetre) s += (x - a.moyenne) * (x - a.moyenne);
    a.ecart = std::sqrt(s / 30);
    const int n = std::min(taille_median, 30);
    if (n < 1) {
        a.median = 0.0;
    } else {
        std::vector<double> m(fenetre.begin(), fenetre.begin() + n);
        if (std::any_of(m.begin(), m.end(), [](double x) { return std::isnan(x); })) {
            a.median = NaN;
        } else {
            std::sort(m.begin(), m.end());
            const auto k = static_cast<std::size_t>(n / 2);
            a.median = n % 2 ? m[k] : (m[k - 1] + m[k]) / 2;
        }
    }
    return a;
}

class Statistiques : public BancCalcul {
protected:
    // Frees the bench: the next case of a table starts from nothing.
    void Vider() {
        BancCalcul::Vider();
        valeurs.clear();
    }

    // One measured channel (tatoo 1, reference "1;1") and the statistics (tatoo 2).
    void Monter(int taille_median) {
        source = Lister(CreerEssai(MesuresScalaires("Multi", {"V"}, {0})), "essai.dll");
        stats = Lister(Nouvel_instrument("stddev.dll"), "stddev.dll");
        ASSERT_NE(stats, nullptr);
        Choisir(stats, "1;1", taille_median);
    }
    // One sample of the bench with `v` on the measured channel.
    void Echantillon(double v) {
        Essai(source).config.valeurs_1D = {v};
        valeurs.push_back(v);
        Echantilloner(liste);
    }

    // The channel reference and median size, written as a settings load would.
    static void Choisir(PInstrument *i, const std::string &reference, std::int32_t taille_median) {
        EcrireTexteBloc(i, kVoie, 30, reference);
        EcrireEntierBloc(i, kTailleMedian, taille_median);
    }
    void ExpectResultats(const Attendu &a) {
        ExpectValeur(stats->mesure_calcul(stats, 1), a.moyenne);
        ExpectValeur(stats->mesure_calcul(stats, 2), a.ecart);
        ExpectValeur(stats->mesure_calcul(stats, 3), a.median);
    }

    PInstrument *source = nullptr;
    PInstrument *stats = nullptr;
    std::vector<double> valeurs;  // every value stored on the measured channel, oldest first
};

TEST_F(Statistiques, TableChannelsAndSettingsBlock) {
    EXPECT_EQ(calcul_moy_stddev.stop, nullptr);
    EXPECT_EQ(calcul_moy_stddev.start, nullptr);
    EXPECT_EQ(calcul_moy_stddev.execute, nullptr);
    EXPECT_EQ(calcul_moy_stddev.piloter, nullptr);
    EXPECT_EQ(calcul_moy_stddev.nb_voie_1D, nullptr);
    EXPECT_EQ(calcul_moy_stddev.nb_voie2D, nullptr);
    EXPECT_EQ(calcul_moy_stddev.nb_voie_calcul2D, nullptr);

    PInstrument *s = Lister(Nouvel_instrument("stddev.dll"), "stddev.dll");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->init(s), 0);
    EXPECT_EQ(s->nb_voie_calcul(s), 3);
    const char *noms[] = {"Moyenne", "Ecart-type", "Median"};
    for (int voie = 1; voie <= 3; ++voie) {
        char nom[kLongueurNomVoie] = "";
        s->get_nom_voie_calcul(s, voie, nom);
        EXPECT_STREQ(nom, noms[voie - 1]);
        EXPECT_TRUE(std::isnan(s->mesure_calcul(s, voie))) << "no result before the first sample";
    }
    for (int voie : {0, 4, -1}) {
        char nom[kLongueurNomVoie] = "inchange";
        s->get_nom_voie_calcul(s, voie, nom);
        EXPECT_STREQ(nom, "inchange");
        EXPECT_EQ(s->mesure_calcul(s, voie), 0.0);
    }

    const auto [debut, fin, taille, flag] = DemanderMemoire(s);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(taille, kTailleBloc);
    EXPECT_EQ(fin, nullptr);
    const unsigned char *b = DebutBloc(s);
    EXPECT_STREQ(reinterpret_cast<const char *>(b + kNom), "Calcul moyenne et ecart-type");
    EXPECT_EQ(b[kVoie], 0) << "no channel chosen";
    std::int32_t t = 0;
    std::memcpy(&t, b + kTailleMedian, 4);
    EXPECT_EQ(t, 3);

    s->set_nom_instru(s, std::string(50, 's').c_str());
    char nom[kLongueurNomInstru];
    s->get_nom_instru(s, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 's'));
}

// Over 70 samples, for several ring depths (the window wraps around the ring) and median sizes.
TEST_F(Statistiques, LastThirtyValuesOfAScriptedChannel) {
    for (int profondeur : {30, 31, 100}) {
        for (int taille_median : {1, 2, 3, 4, 7, 30}) {
            SCOPED_TRACE("depth " + std::to_string(profondeur) + ", median of " + std::to_string(taille_median));
            Vider();
            Monter(taille_median);
            Demarrer(profondeur);
            for (int s = 1; s <= 70; ++s) {
                Echantillon(Script(s));
                SCOPED_TRACE("sample " + std::to_string(s));
                const Attendu a = Reference(valeurs, taille_median);
                // Until 30 values are stored the window holds missing values.
                EXPECT_EQ(std::isnan(a.moyenne), s < 30);
                EXPECT_EQ(std::isnan(a.median), s < taille_median);
                ExpectResultats(a);
            }
        }
    }
}

TEST_F(Statistiques, ConstantInput) {
    Monter(4);
    Demarrer();
    for (int s = 1; s <= 30; ++s) Echantillon(2.5);
    ExpectResultats({2.5, 0.0, 2.5});
}

// A missing value is in the window for 30 samples, in the median for taille_median samples.
TEST_F(Statistiques, MissingValueInTheWindow) {
    Monter(3);
    Demarrer();
    for (int s = 1; s <= 40; ++s) Echantillon(Script(s));
    Echantillon(NaN);
    for (int apres = 0; apres < 35; ++apres) {
        SCOPED_TRACE(apres);
        const Attendu a = Reference(valeurs, 3);
        EXPECT_EQ(std::isnan(a.moyenne), apres < 30);
        EXPECT_EQ(std::isnan(a.median), apres < 3);
        ExpectResultats(a);
        Echantillon(Script(apres));
    }
}

TEST_F(Statistiques, MedianSizeOutOfRange) {
    struct Cas {
        std::int32_t taille;
        int comme;  // the median size it acts as; 0: no median (0.0)
    } cas[] = {{0, 0}, {-5, 0}, {31, 30}, {1000, 30}, {std::numeric_limits<std::int32_t>::max(), 30}};
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.taille);
        Vider();
        Monter(c.taille);
        Demarrer();
        for (int s = 1; s <= 35; ++s) {
            Echantillon(Script(s));
            if (s >= 30) ExpectResultats(Reference(valeurs, c.comme));
        }
        if (c.comme == 0) {
            EXPECT_EQ(stats->mesure_calcul(stats, 3), 0.0);
        }
    }
}

// Rings shorter than the window: the values they do not hold are missing, nothing is read
// outside the ring.
TEST_F(Statistiques, RingShorterThanTheWindow) {
    Monter(3);
    Demarrer(10);
    for (int s = 1; s <= 25; ++s) {
        Echantillon(Script(s));
        if (s < 3) continue;
        const std::vector<double> trois(valeurs.end() - 3, valeurs.end());
        ExpectResultats({NaN, NaN, Reference(trois, 3).median});
    }
    Choisir(stats, "1;1", 10);
    Echantillon(4);
    const std::vector<double> dix(valeurs.end() - 10, valeurs.end());
    ExpectValeur(stats->mesure_calcul(stats, 3), Reference(dix, 10).median);
    Choisir(stats, "1;1", 11);
    Echantillon(5);
    ExpectValeur(stats->mesure_calcul(stats, 3), NaN);
}

// "(aucun)" computes nothing: the results stay, after a load the saved ones. A chosen channel
// that has gone makes them missing.
TEST_F(Statistiques, NoChannelKeepsResultsGoneChannelMakesThemMissing) {
    Monter(3);
    Demarrer();
    for (int s = 1; s <= 30; ++s) Echantillon(Script(s));
    const Attendu a = Reference(valeurs, 3);
    ExpectResultats(a);

    // Another instrument loaded with this block publishes the saved results.
    PInstrument *charge = Lister(Nouvel_instrument("stddev.dll"), "stddev.dll");
    std::memcpy(DebutBloc(charge), DebutBloc(stats), kTailleBloc);
    Choisir(charge, "", 3);
    Choisir(stats, "", 3);
    Echantillon(100);
    ExpectResultats(a);
    ExpectValeur(charge->mesure_calcul(charge, 1), a.moyenne);
    ExpectValeur(charge->mesure_calcul(charge, 3), a.median);

    for (const char *reference : {"9;1", "1;2", "garbage", "1"}) {
        SCOPED_TRACE(reference);
        Choisir(stats, reference, 3);
        Echantillon(1);
        ExpectResultats({NaN, NaN, NaN});
    }

    // A reference field full to its end (a block from a file) is read within its 30 bytes.
    std::memset(DebutBloc(stats) + kVoie, '1', 30);
    Echantillon(1);
    ExpectResultats({NaN, NaN, NaN});
}

// A computed channel as input gives the value stored at the previous sample.
TEST_F(Statistiques, ComputedInputLagsOneSample) {
    ConfigEssai e;
    e.nom = "Calc";
    e.calculs_1D = true;
    e.noms_calcul = {"R"};
    e.valeurs_calcul = {0};
    PInstrument *calc = Lister(CreerEssai(e), "essai.dll");  // tatoo 1
    stats = Lister(Nouvel_instrument("stddev.dll"), "stddev.dll");
    Choisir(stats, "1;1", 1);
    Demarrer();
    double precedent = NaN;
    for (int s = 1; s <= 5; ++s) {
        Essai(calc).config.valeurs_calcul = {10.0 * s};
        Echantilloner(liste);
        ExpectValeur(stats->mesure_calcul(stats, 3), precedent);
        precedent = 10.0 * s;
    }
}

}  // namespace
