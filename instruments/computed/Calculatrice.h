// "Calculatrice": a computed-channel instrument that evaluates, at every sample, a
// reverse-Polish formula over three inputs A, B and C (the newest values of three scalar
// channels chosen in its panel) and publishes the result as its one computed channel "Voie 1".
//
// Formula: tokens separated by blanks, applied left to right on a stack of 1024 values; the
// result is the value on top at the end (0 for an empty formula).
//   A B C               push the input (upper case only)
//   + - * / ^           two operands, the left one popped second: "A B -" is A - B; ^ is pow
//   %                   remainder of the integer division of the two operands truncated to
//                       32 bits, with the sign of the left one; missing (NaN) when the divisor
//                       truncates to 0 or an operand is not a finite 32-bit integer
//   0 ... 9             a one-digit number
//   ln log exp sqrt sin cos   one operand (natural and base-10 logarithms, radians)
//   -2.5e3, 12, .5 ...  a longer token that begins with a number pushes the number it begins
//                       with (sign, digits, decimal point, exponent; "1,5" pushes 1)
// Any other token is skipped; an operator short of operands takes 0 for each one missing, so
// "A -" is -A.
//
// Inputs: a channel left on "(aucun)" gives 0. A chosen channel that no longer exists in the
// channel tables (its instrument was deleted) gives the missing value, so that formulas using it
// publish NaN rather than a plausible number.
//
// Settings block (flag 0, from the record start up to its evaluation stack: 328 bytes,
// little-endian): 0 chaine char[100] (the formula, at most 99 characters), 100 nom_pilot
// char[128] (at most 39 characters), 228 / 258 / 288 tatoo_voie1 / 2 / 3 char[30] (channel
// references "tatoo;voie" of A, B and C, empty for none), 318 gap of 2, 320 stack_height int32
// (saved, never used after a load), 324 gap of 4.
#pragma once

#include "framework/instrument.h"

// Catalogue type key "Calculatrice.dll". Only its `nouveau` is meant to be called.
// Its table, Calculatrice, is declared with every plugin's in instruments/tables.h.
#include "instruments/tables.h"
