// "Détecteur d'extremum": a computed-channel instrument that, at every sample, scans the newest
// vector of one vector channel chosen in its panel for its maximum (`type` other than 0) or its
// minimum (`type` 0) and publishes, as its computed channel "Voie 1", the extreme value
// (`type_extrem` 0) or its abscissa (any other `type_extrem`): the value of the channel's
// abscissa vector at that point, not the point number.
//
// The scan starts from point 0 and a point replaces the candidate only when strictly greater
// (resp. smaller): of equal extremes the first wins, and a missing value never replaces and is
// never replaced (a missing value at point 0 stays the result). A vector of no point gives the
// missing value. A channel left on "(aucun)" computes nothing (the result stays as it is); a
// chosen channel that no longer exists makes the result missing.
//
// Settings block (flag 1, the whole record, 176 bytes, little-endian): 0 tatoo_voie char[30]
// (channel reference "tatoo;voie", empty for none), 30 nom_pilot char[128] (at most 39
// characters), 158 gap of 2, 160 mesure double (the last result), 168 type int32,
// 172 type_extrem int32.
#pragma once

// Catalogue type key "extremum.dll"; its table `calcul_extremum` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"
