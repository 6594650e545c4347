// NonLinearFit, the least-squares routine behind the curve fitter: what it fits, what it
// writes, and what it refuses without writing anything.
#include "platform/analysis.h"

#include <gsl/gsl_errno.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

double Exponentielle(double x, double a[], int) { return a[0] * std::exp(-a[1] * x); }
double Droite(double x, double a[], int) { return a[0] * x + a[1]; }
double RacineFoisX(double x, double a[], int) { return std::sqrt(a[0]) * x; }

struct Donnees {
    std::vector<double> x, y;
};
Donnees Echantillons(double (*modele)(double, double[], int), std::vector<double> coef, int n) {
    Donnees d;
    for (int i = 0; i < n; ++i) {
        d.x.push_back(0.2 * i);
        d.y.push_back(modele(d.x.back(), coef.data(), static_cast<int>(coef.size())));
    }
    return d;
}

TEST(NonLinearFit, FitsAndWritesCoefficientsCurveAndError) {
    const Donnees d = Echantillons(Exponentielle, {2.5, 0.7}, 40);
    std::vector<double> coef = {1.337, 5.6}, z(40, -1.0);
    double mse = -1.0;
    ASSERT_EQ(NonLinearFit(d.x.data(), d.y.data(), z.data(), 40, Exponentielle, coef.data(), 2, &mse), 0);
    EXPECT_NEAR(coef[0], 2.5, 1e-9);
    EXPECT_NEAR(coef[1], 0.7, 1e-9);
    for (std::size_t i = 0; i < z.size(); ++i) EXPECT_NEAR(z[i], d.y[i], 1e-12);
    EXPECT_LT(mse, 1e-20);

    // Noisy points: the least-squares line, with its mean squared error.
    const std::vector<double> x = {0, 1, 2, 3}, y = {1, 2, 2, 4};
    std::vector<double> ligne = {0, 0}, zl(4);
    ASSERT_EQ(NonLinearFit(x.data(), y.data(), zl.data(), 4, Droite, ligne.data(), 2, &mse), 0);
    EXPECT_NEAR(ligne[0], 0.9, 1e-9);
    EXPECT_NEAR(ligne[1], 0.9, 1e-9);
    EXPECT_NEAR(mse, 0.7 / 4, 1e-9);  // residuals 0.1, 0.2, -0.7, 0.4
    EXPECT_NEAR(zl[2], 2.7, 1e-9);
}

TEST(NonLinearFit, StartValuesAtTheMinimumAreTheSolution) {
    // No step lowers the sum of squares: the start values are returned as the fit.
    const Donnees d = Echantillons(Exponentielle, {2.5, 0.7}, 20);
    std::vector<double> coef = {2.5, 0.7}, z(20);
    double mse = -1.0;
    EXPECT_EQ(NonLinearFit(d.x.data(), d.y.data(), z.data(), 20, Exponentielle, coef.data(), 2, &mse), 0);
    EXPECT_EQ(coef, (std::vector<double>{2.5, 0.7}));
    EXPECT_EQ(mse, 0.0);
}

struct CasRefus {
    const char *nom;
    std::vector<double> x, y;
    int n, ncoef;
    double (*modele)(double, double[], int);
    std::vector<double> depart;
    int attendu;
};

class RefusNonLinearFit : public testing::TestWithParam<CasRefus> {};

TEST_P(RefusNonLinearFit, ReturnsItsCodeAndWritesNothing) {
    const CasRefus &c = GetParam();
    std::vector<double> coef = c.depart, z(c.x.size() + 1, -7.0);
    double mse = -7.0;
    EXPECT_EQ(NonLinearFit(c.x.data(), c.y.data(), z.data(), c.n, c.modele, coef.data(), c.ncoef, &mse), c.attendu);
    EXPECT_EQ(coef, c.depart);
    EXPECT_EQ(z, std::vector<double>(c.x.size() + 1, -7.0));
    EXPECT_EQ(mse, -7.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cas, RefusNonLinearFit,
    testing::Values(
        CasRefus{"SansCoefficient", {0, 1, 2}, {1, 2, 3}, 3, 0, Droite, {1, 1}, ANALYSIS_BAD_COUNT},
        CasRefus{"MoinsDePointsQueDeCoefficients", {0}, {1}, 1, 2, Droite, {1, 1}, ANALYSIS_BAD_COUNT},
        CasRefus{"AucunPoint", {0}, {1}, 0, 1, Droite, {1, 1}, ANALYSIS_BAD_COUNT},
        CasRefus{"AbscisseManquante", {0, NaN, 2}, {1, 2, 3}, 3, 2, Droite, {1, 1}, FIT_BAD_DATA},
        CasRefus{"ValeurInfinie", {0, 1, 2}, {1, Inf, 3}, 3, 2, Droite, {1, 1}, FIT_BAD_DATA},
        // The model has no value at the start values, nor anywhere the solver can reach.
        CasRefus{"ModeleSansValeur", {0, 1, 2}, {0, 2, 4}, 3, 1, RacineFoisX, {-1}, FIT_NO_CONVERGENCE}),
    [](const testing::TestParamInfo<CasRefus> &i) { return std::string(i.param.nom); });

TEST(NonLinearFit, NullArgumentsAreRefused) {
    const std::vector<double> x = {0, 1, 2}, y = {1, 2, 3};
    std::vector<double> coef = {1, 1}, z(3);
    double mse = 0;
    EXPECT_EQ(NonLinearFit(nullptr, y.data(), z.data(), 3, Droite, coef.data(), 2, &mse), ANALYSIS_NULL_POINTER);
    EXPECT_EQ(NonLinearFit(x.data(), y.data(), nullptr, 3, Droite, coef.data(), 2, &mse), ANALYSIS_NULL_POINTER);
    EXPECT_EQ(NonLinearFit(x.data(), y.data(), z.data(), 3, nullptr, coef.data(), 2, &mse), ANALYSIS_NULL_POINTER);
    EXPECT_EQ(NonLinearFit(x.data(), y.data(), z.data(), 3, Droite, nullptr, 2, &mse), ANALYSIS_NULL_POINTER);
    EXPECT_EQ(NonLinearFit(x.data(), y.data(), z.data(), 3, Droite, coef.data(), 2, nullptr), ANALYSIS_NULL_POINTER);
}

void Gestionnaire(const char *, const char *, int, int) {}

TEST(NonLinearFit, LeavesGslErrorHandlerAsItFoundIt) {
    // GSL's default handler aborts the program; the fit turns it off while it runs only.
    gsl_error_handler_t *avant = gsl_set_error_handler(Gestionnaire);
    const std::vector<double> x = {0, 1, 2}, y = {1, NaN, 3};
    std::vector<double> coef = {1, 1}, z(3);
    double mse = 0;
    NonLinearFit(x.data(), x.data(), z.data(), 3, Droite, coef.data(), 2, &mse);
    NonLinearFit(x.data(), y.data(), z.data(), 3, Droite, coef.data(), 2, &mse);
    EXPECT_EQ(gsl_set_error_handler(avant), &Gestionnaire);
}

}  // namespace
