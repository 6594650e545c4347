// The curve fitter at work on a bench of test-double instruments: the fit of each sample, its
// four parameter channels and its fitted curve (a computed vector channel, stored in the
// channel rings and written to the vector record file), the start values, and the samples
// that cannot give a fit. The start failures, which show a message, and the configuration
// panel are tested in test_fitter_ui.cpp.
#include "framework/enregistrement.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "framework/voies.h"
#include "instruments/computed/fitter.h"
#include "platform/text.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Offsets of the settings block.
// The unknown's name lies at 658.
constexpr std::size_t kTatooVoieFit = 128, kFonction = 158;
constexpr std::size_t kTatooParam[4] = {668, 717, 765, 813};
constexpr std::size_t kParam[4] = {704, 752, 800, 848};
constexpr std::size_t kTailleVoie = 856;
constexpr std::int32_t kAbime = 0x7F7F7F7F;  // a point count from a damaged settings file

std::vector<double> Abscisses(int n, double pas) {
    std::vector<double> x;
    for (int i = 0; i < n; ++i) x.push_back(i * pas);
    return x;
}

template <class F> std::vector<double> Appliquer(const std::vector<double> &x, F f) {
    std::vector<double> y;
    for (double v : x) y.push_back(f(v));
    return y;
}

ConfigEssai Vecteur(const std::string &nom, std::vector<double> x, std::vector<double> y) {
    return MesuresVecteurs(nom, {"Spectre"}, {std::move(y)}, {std::move(x)}, 1);
}

ConfigEssai Scalaire(const std::string &nom, double valeur) { return MesuresScalaires(nom, {"Mesure"}, {valeur}, 1); }

// The settings block of an instance, written as a settings load writes it.
unsigned char *Bloc(PInstrument *i) {
    const auto [debut, fin, taille, flag] = DemanderMemoire(i);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(static_cast<unsigned char *>(fin) - static_cast<unsigned char *>(debut), 860);
    return static_cast<unsigned char *>(debut);
}
void EcrireTexte(PInstrument *i, std::size_t offset, std::size_t taille, const std::string &t) {
    ASSERT_LT(t.size(), taille);
    std::memset(Bloc(i) + offset, 0, taille);
    std::memcpy(Bloc(i) + offset, t.data(), t.size());
}
void EcrireDouble(PInstrument *i, std::size_t offset, double v) { std::memcpy(Bloc(i) + offset, &v, 8); }
std::int32_t LireEntier(PInstrument *i, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, Bloc(i) + offset, 4);
    return v;
}

void Fonction(PInstrument *f, const std::string &formule) { EcrireTexte(f, kFonction, 500, formule); }
void VoieFit(PInstrument *f, const std::string &reference) { EcrireTexte(f, kTatooVoieFit, 30, reference); }

// A bench: an instrument list of test doubles and fitters, run through the acquisition
// sequence the framework follows (tables, init, tables, start, tables, rings; then samples).
class Fitter : public testing::Test, protected ListeInstruments {
protected:
    void TearDown() override {
        Arreter();
        Fermer_enregistrement(Tete());
        LibererInstruments();
        Reserver_buffer_circu(nullptr);
        nbpointsgraph = 0;
    }

    PInstrument *AjouterEssai(const ConfigEssai &c, int tatoo) { return Ajouter(CreerEssai(c), tatoo); }
    PInstrument *AjouterFitter(int tatoo) {
        PInstrument *f = nullptr;
        fitter.nouveau(&f);
        EXPECT_NE(f, nullptr);
        return Ajouter(f, tatoo);
    }

    // Returns the start result of every instrument that has a start, in list order.
    std::vector<int> Demarrer() {
        std::vector<int> resultats;
        Reserver_buffer_circu(Tete());
        Reserver_buffer_circu(Tete());
        for (fichei *n = Tete(); n; n = n->suivant)
            if (n->plugin->start) resultats.push_back(n->plugin->start(n->plugin));
        Reserver_buffer_circu(Tete());
        nbpointsgraph = 20;
        Allouer_buffer_circu();
        EXPECT_EQ(Init_buffer2D_circu(Tete()), 0);
        demarre_ = true;
        return resultats;
    }
    void Arreter() {
        if (!demarre_) return;
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
        for (fichei *n = Tete(); n; n = n->suivant)
            if (n->plugin->stop) n->plugin->stop(n->plugin);
        demarre_ = false;
    }
    void Echantillon() { Echantilloner(Tete()); }
    // The 16-point curve 3 exp(-x/2) of a test double (tatoo 1), then two fitters of
    // a*exp(-b*x) (tatoos 2 and 3), each fitting the channel of its reference.
    std::pair<PInstrument *, PInstrument *> FittersEnChaine(const std::string &premier, const std::string &second) {
        const std::vector<double> x = Abscisses(16, 0.25);
        AjouterEssai(Vecteur("Source", x, Appliquer(x, [](double v) { return 3 * std::exp(-0.5 * v); })), 1);
        const auto fitter = [this](int tatoo, const std::string &reference) {
            PInstrument *f = AjouterFitter(tatoo);
            Fonction(f, "a*exp(-b*x)");
            VoieFit(f, reference);
            return f;
        };
        PInstrument *un = fitter(2, premier);
        return {un, fitter(3, second)};
    }

    static std::vector<double> Parametres(PInstrument *f) {
        std::vector<double> v;
        for (int voie = 1; voie <= 4; ++voie) v.push_back(f->mesure_calcul(f, voie));
        return v;
    }
    // The newest fitted curve and its abscissae, as the channel ring stores them.
    static std::vector<double> Rangee(const std::string &reference, bool abscisses = false) {
        const ptr2D *b = get_buffer2D_from_tatoo(reference.c_str());
        if (!b) return {};
        const double *r = (abscisses ? b->indices : b->mesure)[b->dernier_indice];
        return std::vector<double>(r, r + b->taille_voie);
    }

    bool demarre_ = false;
};

void ExpectProches(const std::vector<double> &v, const std::vector<double> &attendu, double tolerance) {
    ASSERT_EQ(v.size(), attendu.size());
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::isnan(attendu[i])) {
            EXPECT_TRUE(std::isnan(v[i])) << "index " << i << ": " << v[i];
        } else {
            EXPECT_NEAR(v[i], attendu[i], tolerance) << "index " << i;
        }
    }
}

bool ToutNaN(const std::vector<double> &v) {
    return !v.empty() && std::all_of(v.begin(), v.end(), [](double e) { return std::isnan(e); });
}

// ---- the fit of each sample -------------------------------------------------------------------

TEST_F(Fitter, RecoversExponentialFromNoiselessVectorAndPublishesItsChannels) {
    const std::vector<double> x = Abscisses(50, 0.1);
    const std::vector<double> y = Appliquer(x, [](double v) { return 2.5 * std::exp(-0.7 * v); });
    AjouterEssai(Vecteur("Source", x, y), 1);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*exp(-b*x)");
    VoieFit(f, "1;1");

    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    EXPECT_EQ(LireEntier(f, kTailleVoie), 50);
    EXPECT_EQ(f->get_taille_voie_calcul2D(f, 1), 50);
    Echantillon();

    // "a" and "b" from the default start values 1.337 and 5.6; "c" and "d" keep theirs.
    const std::vector<double> p = Parametres(f);
    EXPECT_NEAR(p[0], 2.5, 1e-6);
    EXPECT_NEAR(p[1], 0.7, 1e-6);
    EXPECT_EQ(p[2], 0.0);
    EXPECT_EQ(p[3], 0.0);
    // The parameters are computed scalar channels "Fitter de courbes Voie 1" to "Voie 4".
    for (int voie = 1; voie <= 4; ++voie) {
        const ptr *b = get_buffer_from_tatoo(("2;" + std::to_string(voie)).c_str());
        ASSERT_NE(b, nullptr);
        EXPECT_STREQ(b->nom_voie, ("Fitter de courbes Voie " + std::to_string(voie)).c_str());
        EXPECT_EQ(b->mesure[b->dernier_indice], p[static_cast<std::size_t>(voie - 1)]);
    }
    // The fitted curve is the computed vector channel "Fittée", over the fitted abscissae.
    const ptr2D *courbe = get_buffer2D_from_tatoo("2;1");
    ASSERT_NE(courbe, nullptr);
    EXPECT_STREQ(courbe->nom_voie, "Fitter de courbes Fittée"_w);
    ExpectProches(Rangee("2;1"), y, 1e-9);
    EXPECT_EQ(Rangee("2;1", true), x);

    // The next sample fits the same vector from the same start values: the same result.
    Echantillon();
    EXPECT_EQ(Parametres(f), p);
}

TEST_F(Fitter, FittedCurveIsWrittenToTheVectorRecordFile) {
    const std::vector<double> x = Abscisses(8, 0.5);
    const std::vector<double> y = Appliquer(x, [](double v) { return 4.0 * std::exp(-1.5 * v); });
    AjouterEssai(Vecteur("Source", x, y), 1);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*exp(-b*x)");
    VoieFit(f, "1;1");
    ASSERT_EQ(Demarrer(), std::vector<int>{0});

    char modele[] = "/tmp/banc-fitter-XXXXXX";
    ASSERT_NE(mkdtemp(modele), nullptr);
    const fs::path dossier = modele;
    const int sous_ech_avant = sous_ech_2D;
    sous_ech_2D = 1;
    ASSERT_EQ(Ouvrir_enregistrement((dossier / "essai.xls").c_str(), Tete()), 0);
    Echantillon();
    Ecriture_donnees(Tete());
    Fermer_enregistrement(Tete());
    sous_ech_2D = sous_ech_avant;

    std::ifstream lu(dossier / "essai-Fitter de courbes.xls", std::ios::binary);
    const std::string contenu{std::istreambuf_iterator<char>(lu), std::istreambuf_iterator<char>()};
    fs::remove_all(dossier);

    const std::size_t fin_entete = contenu.find('\n');
    ASSERT_NE(fin_entete, std::string::npos);
    EXPECT_EQ(contenu.substr(0, fin_entete),
              std::string("Date\tHeure\t") + "Durée écoulée"_w + "\tMarqueur\tIndices " + "Fittée"_w +
                  " [8]\tMesure " + "Fittée"_w + " [8]");
    const std::size_t fin_ligne = contenu.find('\n', fin_entete + 1);
    ASSERT_NE(fin_ligne, std::string::npos);
    const std::string doubles = contenu.substr(fin_ligne + 1);
    ASSERT_EQ(doubles.size(), 16u * 8u);
    std::vector<double> lus(16);
    for (std::size_t k = 0; k < 16; ++k) {
        std::uint64_t bits = 0;
        for (int o = 0; o < 8; ++o)
            bits |= std::uint64_t{static_cast<unsigned char>(doubles[k * 8 + static_cast<std::size_t>(o)])} << (8 * o);
        lus[k] = std::bit_cast<double>(bits);
    }
    EXPECT_EQ(std::vector<double>(lus.begin(), lus.begin() + 8), x);
    ExpectProches(std::vector<double>(lus.begin() + 8, lus.end()), y, 1e-9);
}

// Which coefficients are fitted: the formula's variables less one, taken in panel order; the
// independent variable is the one named in the panel. Parameters beyond the fitted ones carry
// their start values.
struct CasFormule {
    const char *nom;
    const char *formule;
    double (*donnee)(double);
    std::vector<double> attendu;  // the four parameter channels
};

class FormulesFitter : public Fitter, public testing::WithParamInterface<CasFormule> {};

TEST_P(FormulesFitter, FitsTheFirstParametersAndKeepsTheOthers) {
    const CasFormule &c = GetParam();
    const std::vector<double> x = Abscisses(30, 0.2);
    const std::vector<double> y = Appliquer(x, c.donnee);
    AjouterEssai(Vecteur("Source", x, y), 1);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, c.formule);
    VoieFit(f, "1;1");
    EcrireDouble(f, kParam[2], 7.5);
    EcrireDouble(f, kParam[3], -2.0);
    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    Echantillon();
    ExpectProches(Parametres(f), c.attendu, 1e-6);
    ExpectProches(Rangee("2;1"), y, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Cas, FormulesFitter,
    testing::Values(
        CasFormule{"Polynome", "a*x^2+b*x+c", [](double v) { return 2 * v * v + 3 * v + 1; }, {2, 3, 1, -2}},
        CasFormule{"Droite", "a*x+b", [](double v) { return 3 * v - 1; }, {3, -1, 7.5, -2}},
        // "c" is not among the names handed to the evaluator ("a", "b", then "x"): it stays 0,
        // and "b", which the formula does not use, keeps its start value.
        CasFormule{"NomsDecales", "a*x+c", [](double v) { return 3 * v; }, {3, 5.6, 7.5, -2}},
        // No parameter: the curve is the formula itself.
        CasFormule{"SansParametre", "sin(x)", [](double v) { return std::sin(v); }, {1.337, 5.6, 7.5, -2}},
        // Constants of the formula are not variables.
        CasFormule{"AvecConstantes", "a*exp(-x/b)+pi", [](double v) { return 2 * std::exp(-v / 4) + std::numbers::pi; },
                   {2, 4, 7.5, -2}}),
    [](const testing::TestParamInfo<CasFormule> &i) { return std::string(i.param.nom); });

TEST_F(Fitter, StartValueFollowsItsChannelOrTheConstant) {
    const std::vector<double> x = Abscisses(10, 1.0);
    AjouterEssai(Vecteur("Source", x, Appliquer(x, [](double v) { return 3 * v - 1; })), 1);
    PInstrument *source = AjouterEssai(Scalaire("Depart", 4.25), 3);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*x+b");
    VoieFit(f, "1;1");
    EcrireTexte(f, kTatooParam[2], 30, "3;1");
    EcrireDouble(f, kParam[2], 7.5);
    ASSERT_EQ(Demarrer(), std::vector<int>{0});

    Echantillon();
    EXPECT_EQ(f->mesure_calcul(f, 3), 4.25);
    Essai(source).config.valeurs_1D = {-1.0};
    Echantillon();
    EXPECT_EQ(f->mesure_calcul(f, 3), -1.0);
    // "(aucun)": the constant again, read at every sample.
    EcrireTexte(f, kTatooParam[2], 30, "");
    Echantillon();
    EXPECT_EQ(f->mesure_calcul(f, 3), 7.5);
    EcrireDouble(f, kParam[2], 8.0);
    Echantillon();
    EXPECT_EQ(f->mesure_calcul(f, 3), 8.0);
}

TEST_F(Fitter, StartValueFromAFittedParameterSettlesOnTheFit) {
    // Parameters 1 and 2 start from the fitter's own channels "Voie 1" and "Voie 2", which give
    // the previous sample's result: once a fit has succeeded, each fit starts at its minimum.
    const std::vector<double> x = Abscisses(20, 0.25);
    const std::vector<double> y = Appliquer(x, [](double v) { return 1.5 * std::exp(-0.4 * v); });
    AjouterEssai(Vecteur("Source", x, y), 1);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*exp(-b*x)");
    VoieFit(f, "1;1");
    const auto depart_des_voies = [&](bool oui) {
        EcrireTexte(f, kTatooParam[0], 30, oui ? "2;1" : "");
        EcrireTexte(f, kTatooParam[1], 30, oui ? "2;2" : "");
    };
    depart_des_voies(true);
    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    Echantillon();  // the channels have no value yet: no fit from missing start values
    EXPECT_TRUE(std::isnan(f->mesure_calcul(f, 1)));
    depart_des_voies(false);
    Echantillon();
    depart_des_voies(true);
    for (int k = 0; k < 3; ++k) {
        Echantillon();
        EXPECT_NEAR(f->mesure_calcul(f, 1), 1.5, 1e-9);
        EXPECT_NEAR(f->mesure_calcul(f, 2), 0.4, 1e-9);
    }
}

// ---- samples that give no fit: missing values, never stale or start values ---------------------

TEST_F(Fitter, SampleWithoutFitPublishesMissingValues) {
    const std::vector<double> x = Abscisses(12, 0.5);
    const std::vector<double> y = Appliquer(x, [](double v) { return 2 * v + 1; });
    PInstrument *source = AjouterEssai(Vecteur("Source", x, y), 1);
    AjouterEssai(Vecteur("Court", Abscisses(5, 1.0), std::vector<double>(5, 1.0)), 4);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*x+b");
    VoieFit(f, "1;1");
    EcrireDouble(f, kParam[2], 7.5);
    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    Echantillon();
    ExpectProches(Parametres(f), {2, 1, 7.5, 0}, 1e-9);

    const auto sans_fit = [&](const char *cas) {
        SCOPED_TRACE(cas);
        Echantillon();
        const std::vector<double> p = Parametres(f);
        EXPECT_TRUE(std::isnan(p[0]) && std::isnan(p[1])) << p[0] << " " << p[1];
        EXPECT_EQ(p[2], 7.5);  // not fitted: its start value, as always
        EXPECT_TRUE(ToutNaN(Rangee("2;1")));
    };
    // The channel to fit is gone ("(aucun)", or a reference that no longer resolves).
    VoieFit(f, "");
    sans_fit("no channel");
    VoieFit(f, "9;1");
    sans_fit("stale reference");
    // Another channel, whose vectors are not of the length the fitted channel was sized for.
    VoieFit(f, "4;1");
    sans_fit("other length");
    // The newest vector holds a missing value.
    VoieFit(f, "1;1");
    Essai(source).config.valeurs_2D[0][3] = NaN;
    sans_fit("missing value in the vector");
    // The model has no finite value at the start values: the fit does not converge.
    Essai(source).config.valeurs_2D[0][3] = y[3];
    Fonction(f, "sqrt(a)*x+b");  // taken at the next start
    Arreter();
    EcrireDouble(f, kParam[0], -1.0);
    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    sans_fit("no convergence");

    // Back to a channel that resolves: the fit resumes.
    EcrireDouble(f, kParam[0], 1.0);
    Echantillon();
    ExpectProches(Parametres(f), {4, 1, 7.5, 0}, 1e-6);  // sqrt(a) = 2
}

TEST_F(Fitter, FitsTheCurveOfAnotherFitter) {
    // A fitted curve has no measured length: the input's length comes from its own fitter.
    const auto [premier, second] = FittersEnChaine("1;1", "2;1");
    ASSERT_EQ(Demarrer(), (std::vector<int>{0, 0}));
    EXPECT_EQ(LireEntier(second, kTailleVoie), 16);

    Echantillon();  // the first fitter's curve is read as it stood at the previous sample
    Echantillon();
    EXPECT_NEAR(second->mesure_calcul(second, 1), 3.0, 1e-6);
    EXPECT_NEAR(second->mesure_calcul(second, 2), 0.5, 1e-6);
}

// A fitter that reads the curve of a fitter further down the list sizes its own curve from that
// one's count before that one's start: a count from a damaged settings file sizes nothing beyond
// the longest trace of the bench's devices (10000 points). The first run then gives no fit (the
// lengths differ); the next one fits.
TEST_F(Fitter, ADamagedPointCountOfALaterFitterSizesNothingHuge) {
    const auto [premier, second] = FittersEnChaine("3;1", "1;1");
    std::memcpy(Bloc(second) + kTailleVoie, &kAbime, 4);
    EXPECT_EQ(second->get_taille_voie_calcul2D(second, 1), 10000);

    ASSERT_EQ(Demarrer(), (std::vector<int>{0, 0}));
    EXPECT_EQ(LireEntier(premier, kTailleVoie), 10000);
    EXPECT_EQ(LireEntier(second, kTailleVoie), 16);
    Echantillon();
    Echantillon();
    EXPECT_NEAR(second->mesure_calcul(second, 1), 3.0, 1e-6);
    EXPECT_TRUE(std::isnan(premier->mesure_calcul(premier, 1)));

    Arreter();
    ASSERT_EQ(Demarrer(), (std::vector<int>{0, 0}));
    EXPECT_EQ(LireEntier(premier, kTailleVoie), 16);
    Echantillon();
    Echantillon();
    Echantillon();
    EXPECT_NEAR(premier->mesure_calcul(premier, 1), 3.0, 1e-6);
}

// ---- channels outside a run -------------------------------------------------------------------

TEST_F(Fitter, ChannelsOutsideARun) {
    const std::vector<double> x = Abscisses(6, 1.0);
    AjouterEssai(Vecteur("Source", x, Appliquer(x, [](double v) { return 2 * v; })), 1);
    PInstrument *f = AjouterFitter(2);
    Fonction(f, "a*x");
    VoieFit(f, "1;1");

    // A new instance: no value yet; the curve is not there before a start.
    for (int voie = 1; voie <= 4; ++voie) EXPECT_TRUE(std::isnan(f->mesure_calcul(f, voie)));
    for (int voie : {0, 5, -1}) EXPECT_EQ(f->mesure_calcul(f, voie), 0.0);
    std::vector<double> temoin(6, -7.0);
    f->calcul2D(f, 1, temoin.data());
    f->i_calcul2D(f, 1, temoin.data());
    EXPECT_EQ(temoin, std::vector<double>(6, -7.0));

    ASSERT_EQ(Demarrer(), std::vector<int>{0});
    Echantillon();
    Arreter();
    // After the stop the parameters keep their last values and the curve is released; a
    // second stop releases nothing twice.
    EXPECT_NEAR(f->mesure_calcul(f, 1), 2.0, 1e-9);
    f->stop(f);
    f->calcul2D(f, 1, temoin.data());
    EXPECT_EQ(temoin, std::vector<double>(6, -7.0));
    EXPECT_EQ(f->get_taille_voie_calcul2D(f, 1), 6);
}

TEST_F(Fitter, CatalogueMakesItByItsTypeKey) {
    PInstrument *f = Nouvel_instrument("fitter.dll");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->calculer_2D, fitter.calculer_2D);
    EXPECT_EQ(f->get_buffer2D_from_tatoo, get_buffer2D_from_tatoo);
    char nom[kLongueurNomInstru];
    f->get_nom_instru(f, nom);
    EXPECT_STREQ(nom, "Fitter de courbes");
    f->liberer(f);
}

TEST_F(Fitter, NamesOfItsChannels) {
    PInstrument *f = AjouterFitter(2);
    char nom[kLongueurNomVoie];
    const char *attendus[] = {"Voie 1", "Voie 2", "Voie 3", "Voie 4"};
    EXPECT_EQ(f->nb_voie_calcul(f), 4);
    for (int voie = 1; voie <= 4; ++voie) {
        f->get_nom_voie_calcul(f, voie, nom);
        EXPECT_STREQ(nom, attendus[voie - 1]);
    }
    EXPECT_EQ(f->nb_voie_calcul2D(f), 1);
    f->get_nom_voie_calcul_2D(f, 1, nom);
    EXPECT_STREQ(nom, "Fittée"_w);
}

}  // namespace
