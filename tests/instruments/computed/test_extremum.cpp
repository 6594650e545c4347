// "Détecteur d'extremum" without windows: the value or abscissa of the maximum or minimum of a
// scripted vector channel's newest vector (ties, missing values, one point, no point), a
// computed vector input, "(aucun)", a chosen channel that has gone or has no rows, settings
// changed between samples, and the 176-byte settings block.
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/extremum.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Offsets of the settings block.
constexpr std::size_t kVoie = 0, kNom = 30, kMesure = 160, kType = 168, kTypeExtrem = 172,
                      kTailleBloc = 176;

void ExpectValeur(double obtenu, double attendu) {
    if (std::isnan(attendu))
        EXPECT_TRUE(std::isnan(obtenu)) << obtenu;
    else
        EXPECT_DOUBLE_EQ(obtenu, attendu);
}

class Extremum : public BancCalcul {
protected:
    void TearDown() override {
        BancCalcul::TearDown();
        Voies_echec_allocation(0, 0);
    }

    // A measured vector channel of `taille` points (tatoo 1, reference "1;1") and the
    // detector (tatoo 2) reading it.
    void Monter(std::size_t taille, bool calcule = false) {
        ConfigEssai e;
        e.nom = "Scope";
        const std::vector<std::vector<double>> zeros(1, std::vector<double>(taille, 0.0));
        if (calcule) {
            e.calculs_2D = true;
            e.noms_calcul2D = {"Courbe"};
            e.valeurs_calcul2D = e.indices_calcul2D = zeros;
        } else {
            e.mesures_2D = true;
            e.noms_2D = {"CH1"};
            e.valeurs_2D = e.indices_2D = zeros;
            e.numeros_2D = {0};
        }
        source = Lister(CreerEssai(e), "essai.dll");
        detecteur = Lister(Nouvel_instrument("extremum.dll"), "extremum.dll");
        ASSERT_NE(detecteur, nullptr);
        Choisir("1;1", 1, 0);
    }
    // One sample with this vector and these abscissae on the source channel.
    void Echantillon(const std::vector<double> &valeurs, const std::vector<double> &abscisses) {
        ConfigEssai &c = Essai(source).config;
        (c.mesures_2D ? c.valeurs_2D : c.valeurs_calcul2D) = {valeurs};
        (c.mesures_2D ? c.indices_2D : c.indices_calcul2D) = {abscisses};
        Echantilloner(liste);
    }

    // The settings, written as a settings load would.
    void Choisir(const std::string &reference, std::int32_t type, std::int32_t type_extrem) {
        EcrireTexteBloc(detecteur, kVoie, 30, reference);
        EcrireEntierBloc(detecteur, kType, type);
        EcrireEntierBloc(detecteur, kTypeExtrem, type_extrem);
    }
    double Resultat() const { return detecteur->mesure_calcul(detecteur, 1); }

    PInstrument *source = nullptr;
    PInstrument *detecteur = nullptr;
};

TEST_F(Extremum, TableChannelAndSettingsBlock) {
    EXPECT_EQ(calcul_extremum.stop, nullptr);
    EXPECT_EQ(calcul_extremum.start, nullptr);
    EXPECT_EQ(calcul_extremum.execute, nullptr);
    EXPECT_EQ(calcul_extremum.piloter, nullptr);
    EXPECT_EQ(calcul_extremum.nb_voie_1D, nullptr);
    EXPECT_EQ(calcul_extremum.nb_voie2D, nullptr);
    EXPECT_EQ(calcul_extremum.nb_voie_calcul2D, nullptr);

    PInstrument *e = Lister(Nouvel_instrument("extremum.dll"), "extremum.dll");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->init(e), 0);
    EXPECT_EQ(e->nb_voie_calcul(e), 1);
    for (int voie : {1, 0, 5}) {
        char nom[kLongueurNomVoie] = "";
        e->get_nom_voie_calcul(e, voie, nom);
        EXPECT_STREQ(nom, "Voie 1");
        EXPECT_TRUE(std::isnan(e->mesure_calcul(e, voie))) << "no result before the first sample";
    }

    const auto [debut, fin, taille, flag] = DemanderMemoire(e);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(taille, kTailleBloc);
    EXPECT_EQ(fin, nullptr);
    const unsigned char *b = DebutBloc(e);
    EXPECT_EQ(b[kVoie], 0) << "no channel chosen";
    EXPECT_STREQ(reinterpret_cast<const char *>(b + kNom), "Calcul extremum");
    std::int32_t type = -1, type_extrem = -1;
    std::memcpy(&type, b + kType, 4);
    std::memcpy(&type_extrem, b + kTypeExtrem, 4);
    EXPECT_EQ(type, 1) << "maximum";
    EXPECT_EQ(type_extrem, 0) << "its value";
    double mesure = 0;
    std::memcpy(&mesure, b + kMesure, 8);
    EXPECT_TRUE(std::isnan(mesure));

    e->set_nom_instru(e, std::string(50, 'e').c_str());
    char nom[kLongueurNomInstru];
    e->get_nom_instru(e, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'e'));
}

TEST_F(Extremum, ValueOrAbscissaOfTheExtremeOfAScriptedVector) {
    struct Cas {
        const char *nom;
        std::vector<double> valeurs;
        std::int32_t type, type_extrem;
        double attendu;
    } cas[] = {
        {"max value", {1, 5, 5, 2}, 1, 0, 5},
        {"max abscissa: the first of two equal maxima", {1, 5, 5, 2}, 1, 1, 20},
        {"min abscissa", {1, 5, 5, 2}, 0, 1, 10},
        {"min value", {1, 5, 5, 2}, 0, 0, 1},
        {"any type other than 0 is the maximum", {1, 5, 5, 2}, 7, 1, 20},
        {"any type_extrem other than 0 is the abscissa", {1, 5, 5, 2}, -1, -3, 20},
        {"last point", {1, 2, 3, 9}, 1, 1, 40},
        {"negative minimum", {0, -1, -7, -7}, 0, 1, 30},
        {"all equal: point 0 (max)", {3, 3, 3, 3}, 1, 1, 10},
        {"all equal: point 0 (min)", {3, 3, 3, 3}, 0, 1, 10},
        {"missing value elsewhere is passed over (max)", {1, NaN, 4, 2}, 1, 1, 30},
        {"missing value elsewhere is passed over (min)", {1, NaN, -4, 2}, 0, 0, -4},
        {"missing value at point 0 stays (value)", {NaN, 1, 9, -9}, 1, 0, NaN},
        {"missing value at point 0 stays (abscissa)", {NaN, 1, 9, -9}, 0, 1, 10},
        {"infinities compare", {1, INFINITY, 3, -INFINITY}, 1, 1, 20},
    };
    Monter(4);
    Demarrer();
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Choisir("1;1", c.type, c.type_extrem);
        Echantillon(c.valeurs, {10, 20, 30, 40});
        ExpectValeur(Resultat(), c.attendu);
        ExpectValeur(detecteur->mesure_calcul(detecteur, 2), c.attendu);
    }
}

TEST_F(Extremum, OnePointAndNoPoint) {
    Monter(1);
    Demarrer();
    for (std::int32_t type : {0, 1}) {
        Choisir("1;1", type, 0);
        Echantillon({-2.5}, {7});
        ExpectValeur(Resultat(), -2.5);
        Choisir("1;1", type, 1);
        Echantillon({-2.5}, {7});
        ExpectValeur(Resultat(), 7);
    }

    // A channel of no point has no extremum.
    Vider();
    Monter(0);
    Demarrer();
    Echantillon({}, {});
    ExpectValeur(Resultat(), NaN);
}

// Settings act at the next sample without a reset; the newest vector is the one read, also
// once the 50-row ring has wrapped.
TEST_F(Extremum, FollowsTheNewestVector) {
    Monter(3);
    Demarrer();
    for (int s = 1; s <= 120; ++s) {
        SCOPED_TRACE(s);
        const double d = s;
        Choisir("1;1", s % 2, s % 3 == 0);
        Echantillon({d, 2 * d, -d}, {100 + d, 200 + d, 300 + d});
        const double attendu = s % 3 == 0 ? (s % 2 ? 200 + d : 300 + d) : (s % 2 ? 2 * d : -d);
        ExpectValeur(Resultat(), attendu);
    }
}

// A computed vector input is the one stored at the previous sample: zeros at the first.
TEST_F(Extremum, ComputedVectorInputLagsOneSample) {
    Monter(3, true);
    Choisir("1;1", 1, 0);
    Demarrer();
    Echantillon({4, 8, 6}, {1, 2, 3});
    ExpectValeur(Resultat(), 0.0);
    Echantillon({1, 1, 9}, {1, 2, 3});
    ExpectValeur(Resultat(), 8.0);
    Echantillon({0, 0, 0}, {1, 2, 3});
    ExpectValeur(Resultat(), 9.0);
}

// "(aucun)" computes nothing: the result stays (after a load, the saved one). A chosen channel
// that has gone, or that has no rows, gives the missing value.
TEST_F(Extremum, NoChannelKeepsTheResultGoneChannelMakesItMissing) {
    Monter(4);
    Demarrer();
    Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
    ExpectValeur(Resultat(), 5);

    Choisir("", 1, 0);
    Echantillon({7, 7, 7, 7}, {10, 20, 30, 40});
    ExpectValeur(Resultat(), 5);

    for (const char *reference : {"9;1", "1;2", "2;1", "x", "1"}) {
        SCOPED_TRACE(reference);
        Choisir("", 1, 0);
        Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
        Choisir(reference, 1, 0);
        Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
        ExpectValeur(Resultat(), NaN);
    }

    // The source instrument deleted: the next acquisition's tables no longer hold it.
    Choisir("1;1", 1, 0);
    Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
    ExpectValeur(Resultat(), 5);
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    liste = Supprimer_instru(liste, liste);
    Demarrer();
    Echantilloner(liste);
    ExpectValeur(Resultat(), NaN);
}

TEST_F(Extremum, ChannelWhoseRowsCouldNotBeAllocated) {
    Monter(4);
    Reserver_buffer_circu(liste);
    nbpointsgraph = 100;
    Allouer_buffer_circu();
    Voies_echec_allocation(3, 1);  // one row of the vector channel fails: it keeps none
    Init_buffer2D_circu(liste);
    Voies_echec_allocation(0, 0);
    ASSERT_EQ(nb_Bcirc2D, 1);
    ASSERT_EQ(tableau_Bcirc2D[0].taille_voie, 0);
    Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
    ExpectValeur(Resultat(), NaN);
}

// A block from a file: a reference field full to its end is read within its 30 bytes, and the
// saved result is published until the first computation.
TEST_F(Extremum, LoadedBlock) {
    Monter(4);
    const double sauve = 42.5;
    std::memcpy(DebutBloc(detecteur) + kMesure, &sauve, 8);
    std::memset(DebutBloc(detecteur) + kNom, 'N', 128);
    char nom[kLongueurNomInstru];
    detecteur->get_nom_instru(detecteur, nom);
    EXPECT_EQ(std::string(nom), std::string(39, 'N'));
    ExpectValeur(Resultat(), sauve);
    Demarrer();
    std::memset(DebutBloc(detecteur) + kVoie, '1', 30);
    Echantillon({1, 5, 5, 2}, {10, 20, 30, 40});
    ExpectValeur(Resultat(), NaN);
}

}  // namespace
