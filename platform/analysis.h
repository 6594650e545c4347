// Analysis library: statistics over arrays of doubles, computed with GSL.
//
// Every function takes the array and its count, writes its results through the output
// pointers and returns 0, or a negative AnalysisError; on an error the outputs are left as the
// caller set them. The arrays are only read.
#pragma once

// Results of the analysis functions.
enum AnalysisError {
    ANALYSIS_OK = 0,
    ANALYSIS_BAD_COUNT = -1,     // fewer elements than the computation needs
    ANALYSIS_NULL_POINTER = -2,  // an array or an output is null
};

// ---- statistics -------------------------------------------------------------------------------

// Mean (sum / n) and population standard deviation (square root of the sum of squared
// deviations / n, not / (n - 1)) of the n >= 1 elements of `x`. A missing value (NaN) among
// them makes both results NaN.
int StdDev(const double *x, int n, double *mean, double *stdDev);

// Median of the n >= 1 elements of `x`: the middle element of a sorted copy for an odd n, the
// mean of the two middle ones for an even n. A missing value (NaN) among them makes the median
// NaN, so that the result never depends on where a sort would put it.
int Median(const double *x, int n, double *median);

// ---- non-linear fit ---------------------------------------------------------------------------

// Further results of NonLinearFit.
enum NonLinearFitError {
    FIT_BAD_DATA = -10,        // an abscissa or a value is not finite
    FIT_NO_CONVERGENCE = -11,  // no finite least-squares solution was reached
    FIT_NO_MEMORY = -12,       // the fit's working memory could not be obtained
};

// Model of a fit: its value at abscissa `x` for the coefficients coef[0] to coef[ncoef - 1].
using NonLinearModel = double (*)(double x, double coef[], int ncoef);

// Levenberg-Marquardt least-squares fit of `model` to the n points (x[i], y[i]), starting from
// the ncoef values in `coef` (1 <= ncoef <= n). On success (0) `coef` holds the fitted
// coefficients, z[i] the model's value at x[i] with them, and `meanSquaredError` the mean of
// the squared differences z[i] - y[i]. The model is called on the calling thread and only
// during the call. The iterations are bounded, so the call always ends.
// On an error nothing is written: ANALYSIS_NULL_POINTER, ANALYSIS_BAD_COUNT (ncoef < 1 or
// n < ncoef), FIT_BAD_DATA (a NaN or an infinity among x or y), FIT_NO_CONVERGENCE (the
// iterations ended without a solution, or the model gave a value that is not finite there),
// FIT_NO_MEMORY.
// The fit switches GSL's error handler off while it runs (GSL's handler is global): call it
// from one thread at a time, as the program does from its user-interface thread.
int NonLinearFit(const double *x, const double *y, double *z, int n, NonLinearModel model,
                 double *coef, int ncoef, double *meanSquaredError);
