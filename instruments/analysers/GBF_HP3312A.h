// "GBF HP3312A": a function generator answering as an HP 33220A, on GPIB. It measures nothing
// (no channel, no start, stop or status): it follows text commands from the sequencer and the
// feedback loop, and the operator's manual-control panel "Pilotage".
//
// At each acquisition start `init` loads the hidden manual-control panel (the first time only),
// looks for the GPIB board, opens the generator at its address, checks that something listens
// there and that it answers as a 33220A, and sets a 5 kHz sine ("APPL:SIN 5 KHZ, 3.0 VPP, 0V").
// The device of the previous start goes offline once the new one is ready; a failed start keeps
// it, so that the panel still drives the generator of the last start that succeeded. Nothing
// happens at acquisition stop: the generator keeps its output.
//
// Commands of `execute` (case counts; every command is sent with its terminating NUL):
//   "frequence=<x>"     shows x in Frequence, sends "SOUR:FREQ <x>"
//   "amplitude=<x>"     shows x in Amplitude, sends "SOUR:VOLT <x>"
//   "burst rate=<x>"    keeps x for "burst ON" and shows it in Rate; sends nothing
//   "burst cycle=<n>"   keeps n for "burst ON" and shows it in NbCycle; sends nothing
//   "burst ON"          "BM:NCYC <n>", "BM:INT:RATE <x>", "BM:STATE ON"
//   "burst OFF"         "BM:STATE OFF"
//   "sinus", "carre", "triangle", "rampe", "bruit"
//                       choose the shape in FORME, send "SOUR:FUNC:SHAP:SIN", ":SQR", ":TRI",
//                       ":RAMP", or "SOUR:NOIS"
// A value command is read as sscanf reads its pattern in the C locale: the words from the first
// character, a blank of the pattern matching any run of white space (none included), white space
// before the number, anything after it ignored; <x> is a decimal number with an optional
// exponent, <n> a decimal int (12.7 gives 12). A number that is not finite, or an int beyond
// the int range, is not read. A word command is the whole text. A text that matches nothing is
// ignored. Numbers go out as "%f" writes them (six decimals) and ints as "%d". Before the first
// "burst rate=" and "burst cycle=", "burst ON" sends what the panel starts with: 50 and 500.
//
// Manual-control panel: choosing a shape in FORME sends "BM:STAT OFF" then "APPL:<shape> <f>
// ,<a>" (SIN, SQU, TRI, RAMP, NOIS) with the panel's frequency and amplitude; Burst sends
// "BM:SOUR INT", "BM:STAT ON", "BM:PHAS 0", "BM:INT:RATE <rate>", "BM:NCYC <n>" from the panel
// (and leaves what "burst ON" sends alone). A command is built in 100 bytes by `execute` and in
// 200 by the panel: one whose text would not fit (a value from about 1e82 up) is not sent, and a
// message says so.
//
// Settings block (get_memory flag 0, up to `dont_remove_me`: 144 bytes, little-endian):
//   0 nom_instrument char[128] (at most 39 characters), 128 identificateur int32,
//   132 gpib_ID int32 (reserved), 136 gpib_adresse int32, 140 panel_pilotage int32.
// The device and the manual-control panel of a run mean nothing to another: the block holds 0
// at 128 and 140 when saved, and what a loaded block holds there is never read, so a restored
// instance loads a panel of its own at its first `init`.
#pragma once

// Catalogue type key "GBF_HP3312A.dll"; its table `GBF_HP3312A` is declared with every plugin's
// in instruments/tables.h.
#include "instruments/tables.h"
