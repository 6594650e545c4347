// "Calcul de statistiques": a computed-channel instrument that, at every sample, takes the 30
// newest values of one scalar channel chosen in its panel and publishes three computed
// channels: "Moyenne" (their mean), "Ecart-type" (their population standard deviation, divisor
// 30) and "Median" (the median of the newest `taille_median` of them, 1 to 30).
//
// A missing value among the 30 makes the mean and the standard deviation missing; one among
// the median's values makes the median missing. While the channel has stored fewer than 30
// values in an acquisition, the window still holds the missing values the rings start with.
// A channel left on "(aucun)" computes nothing (the results stay as they are); a chosen
// channel that no longer exists makes the three results missing.
//
// Settings block (flag 1, the whole record, 192 bytes, little-endian): 0 nom_pilot char[128]
// (at most 39 characters), 128 tatoo_voie char[30] (channel reference "tatoo;voie", empty for
// none), 158 gap of 2, 160 moyenne double, 168 stddev double, 176 median double (the last
// results), 184 taille_median int32, 188 gap of 4.
#pragma once

#include "framework/instrument.h"

// Catalogue type key "stddev.dll". Only its `nouveau` is meant to be called.
// Its table, calcul_moy_stddev, is declared with every plugin's in instruments/tables.h.
#include "instruments/tables.h"
