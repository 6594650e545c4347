// Analysis library on GSL (see analysis.h).
#include "platform/analysis.h"

#include <gsl/gsl_sort.h>
#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace {

bool ContientNaN(const double *x, std::size_t n) {
    return std::any_of(x, x + n, [](double v) { return std::isnan(v); });
}

}  // namespace

// ---- statistics -------------------------------------------------------------------------------

int StdDev(const double *x, int n, double *mean, double *stdDev) {
    if (!x || !mean || !stdDev) return ANALYSIS_NULL_POINTER;
    if (n < 1) return ANALYSIS_BAD_COUNT;
    const auto taille = static_cast<std::size_t>(n);
    const double moyenne = gsl_stats_mean(x, 1, taille);
    // GSL's "fixed mean" variance divides by n: the population form.
    *stdDev = gsl_stats_sd_with_fixed_mean(x, 1, taille, moyenne);
    *mean = moyenne;
    return ANALYSIS_OK;
}

int Median(const double *x, int n, double *median) {
    if (!x || !median) return ANALYSIS_NULL_POINTER;
    if (n < 1) return ANALYSIS_BAD_COUNT;
    const auto taille = static_cast<std::size_t>(n);
    // A NaN has no place in an ascending order: the median of values holding one is missing.
    if (ContientNaN(x, taille)) {
        *median = std::numeric_limits<double>::quiet_NaN();
        return ANALYSIS_OK;
    }
    // The input is only read: sort a copy, on the stack for the short windows of the plugins.
    constexpr std::size_t kCourt = 64;
    std::array<double, kCourt> court;
    std::vector<double> tas;
    double *copie = court.data();
    if (taille > kCourt) {
        tas.resize(taille);
        copie = tas.data();
    }
    std::copy(x, x + taille, copie);
    gsl_sort(copie, 1, taille);
    *median = gsl_stats_median_from_sorted_data(copie, 1, taille);
    return ANALYSIS_OK;
}

// ---- non-linear fit ---------------------------------------------------------------------------

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>

namespace {

// Bounds of the fit: the iterations stop when a step moves no coefficient by more than
// kTolerancePas of its size, or when the gradient of the sum of squares falls below
// kToleranceGradient (relative to that sum when it exceeds 1).
constexpr std::size_t kIterationsMax = 200;
constexpr double kTolerancePas = 1e-12;
constexpr double kToleranceGradient = 1e-12;

struct ProblemeFit {
    const double *x;
    const double *y;
    std::size_t n;
    NonLinearModel modele;
    std::vector<double> coef;  // the model receives this copy, never GSL's own vector
};

int Residus(const gsl_vector *a, void *donnees, gsl_vector *r) {
    auto *p = static_cast<ProblemeFit *>(donnees);
    const int ncoef = static_cast<int>(p->coef.size());
    for (std::size_t k = 0; k < p->coef.size(); ++k) p->coef[k] = gsl_vector_get(a, k);
    // A value that is not finite makes the trial step fail, so the solver tries a shorter one.
    for (std::size_t i = 0; i < p->n; ++i)
        gsl_vector_set(r, i, p->modele(p->x[i], p->coef.data(), ncoef) - p->y[i]);
    return GSL_SUCCESS;
}

bool Finis(const double *v, std::size_t n) {
    return std::all_of(v, v + n, [](double e) { return std::isfinite(e); });
}

// Restores GSL's error handler (which aborts by default) when the fit ends.
class SansAbandonGsl {
public:
    SansAbandonGsl() : precedent_(gsl_set_error_handler_off()) {}
    ~SansAbandonGsl() { gsl_set_error_handler(precedent_); }
    SansAbandonGsl(const SansAbandonGsl &) = delete;
    SansAbandonGsl &operator=(const SansAbandonGsl &) = delete;

private:
    gsl_error_handler_t *precedent_;
};

struct EspaceFit {
    gsl_multifit_nlinear_workspace *w = nullptr;
    ~EspaceFit() {
        if (w) gsl_multifit_nlinear_free(w);
    }
};

}  // namespace

int NonLinearFit(const double *x, const double *y, double *z, int n, NonLinearModel model,
                 double *coef, int ncoef, double *meanSquaredError) {
    if (!x || !y || !z || !model || !coef || !meanSquaredError) return ANALYSIS_NULL_POINTER;
    if (ncoef < 1 || n < ncoef) return ANALYSIS_BAD_COUNT;
    const auto points = static_cast<std::size_t>(n);
    const auto p = static_cast<std::size_t>(ncoef);
    if (!Finis(x, points) || !Finis(y, points)) return FIT_BAD_DATA;

    const SansAbandonGsl sans_abandon;
    ProblemeFit probleme{x, y, points, model, std::vector<double>(coef, coef + p)};

    gsl_multifit_nlinear_parameters parametres = gsl_multifit_nlinear_default_parameters();
    parametres.trs = gsl_multifit_nlinear_trs_lm;  // Levenberg-Marquardt
    // Central differences: with points that the model does not pass through exactly, forward
    // differences would leave the coefficients off by about 1e-8 of their size.
    parametres.fdtype = GSL_MULTIFIT_NLINEAR_CTRDIFF;
    EspaceFit espace;
    espace.w = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &parametres, points, p);
    if (!espace.w) return FIT_NO_MEMORY;

    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = Residus;
    fdf.df = nullptr;  // Jacobian by finite differences
    fdf.fvv = nullptr;
    fdf.n = points;
    fdf.p = p;
    fdf.params = &probleme;

    std::vector<double> depart(coef, coef + p);
    gsl_vector_view vue = gsl_vector_view_array(depart.data(), p);
    if (gsl_multifit_nlinear_init(&vue.vector, &fdf, espace.w) != GSL_SUCCESS) return FIT_NO_CONVERGENCE;

    int info = 0;
    const int etat = gsl_multifit_nlinear_driver(kIterationsMax, kTolerancePas, kToleranceGradient,
                                                 0.0, nullptr, nullptr, &info, espace.w);
    // When no step from the start values lowers the sum of squares, the start values are
    // already its minimum (an exact fit, or the result of an earlier fit): that is a solution.
    const bool minimum_au_depart = etat == GSL_EMAXITER && info == GSL_ENOPROG &&
                                   gsl_multifit_nlinear_niter(espace.w) <= 1;
    if (etat != GSL_SUCCESS && !minimum_au_depart) return FIT_NO_CONVERGENCE;

    const gsl_vector *solution = gsl_multifit_nlinear_position(espace.w);
    std::vector<double> resultat(p);
    for (std::size_t k = 0; k < p; ++k) resultat[k] = gsl_vector_get(solution, k);
    if (!Finis(resultat.data(), p)) return FIT_NO_CONVERGENCE;

    // The curve and its error with the fitted coefficients, checked before anything is written.
    std::vector<double> courbe(points);
    double somme = 0.0;
    for (std::size_t i = 0; i < points; ++i) {
        probleme.coef = resultat;
        courbe[i] = model(x[i], probleme.coef.data(), ncoef);
        const double ecart = courbe[i] - y[i];
        somme += ecart * ecart;
    }
    const double erreur = somme / static_cast<double>(points);
    if (!Finis(courbe.data(), points) || !std::isfinite(erreur)) return FIT_NO_CONVERGENCE;

    std::copy(resultat.begin(), resultat.end(), coef);
    std::copy(courbe.begin(), courbe.end(), z);
    *meanSquaredError = erreur;
    return ANALYSIS_OK;
}
