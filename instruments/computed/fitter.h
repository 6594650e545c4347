// "Fitter de courbes": fits a formula typed by the operator (GNU libmatheval syntax, up to four
// parameters and one independent variable) by non-linear least squares to the newest vector of
// a chosen vector channel, at every sample. It publishes the four parameters as the computed
// scalar channels "Voie 1" to "Voie 4" and the fitted curve, over the abscissae of the fitted
// vector, as the computed vector channel "Fittée". Each fit starts from start values taken,
// parameter by parameter, from the newest value of a chosen scalar channel or from a constant.
//
// The formula, the parameter names and the independent variable are taken at `start`; the
// channel references and the constants at every sample; the vector length at `start`.
//
// Settings block (flag 0, 860 bytes from the start of the record, little-endian):
//   0 nom_instru char[128] (terminated, at most 39 characters), 128 tatoo_voie_fit char[30],
//   158 fonction char[500], 658 nom_inconnue char[5],
//   663 nom_param1 char[5], 668 tatoo_param1 char[30], 698 gap 6, 704 param1 double,
//   712 nom_param2 char[5], 717 tatoo_param2 char[30], 747 gap 5, 752 param2 double,
//   760 nom_param3 char[5], 765 tatoo_param3 char[30], 795 gap 5, 800 param3 double,
//   808 nom_param4 char[5], 813 tatoo_param4 char[30], 843 gap 5, 848 param4 double,
//   856 taille_voie int32 (points of the fitted channel at the last start).
//
// Where a fit cannot give a result, the fitted parameters and the curve are missing values
// (NaN), never stale or start values passed off as results: the channel to fit no longer
// resolves or no longer has the length taken at start, its vector holds a missing value, or
// the fit does not converge. A start that cannot fit (no channel to fit, a formula that does
// not parse, a formula with no variable or with more than five) fails with a message that
// names the cause.
#pragma once

#include "framework/instrument.h"

// Catalogue type key "fitter.dll". Only its `nouveau` is meant to be called.
// Its table, fitter, is declared with every plugin's in instruments/tables.h.
#include "instruments/tables.h"
