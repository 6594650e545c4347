// "Reboucleur", the feedback loop: it writes the newest value of a chosen scalar channel into a
// text command typed by the operator, in place of the first "$$", and hands the command to
// `execute` of the instrument that owns a chosen vector channel. Mode "Off" sends nothing,
// "Auto" sends at every sample, "Manu" sends one command at the next sample for each send
// request (the panel's "Envoyer" button, or any text command addressed to the feedback loop).
// It measures nothing and publishes no channel; it offers the computed-scalar group with no
// channel so that its send step runs at every sample. One panel serves as its configuration
// and manual-control panel.
//
// The value is written as C's "%e" writes a double ("1.500000e+03"; the missing value as
// "nan"), whatever the locale. Every other character of the text, a "%" or a later "$$"
// included, is sent as typed: the text is never used as a format.
//
// Settings block (flag 1, 708 bytes, little-endian):
//   0 nom char[128] (terminated, at most 39 characters), 128 tatoo_voie1 char[30] (the value's
//   scalar channel), 158 tatoo_instru char[30] (the vector channel of the target),
//   188 template char[255] (the text with its first "$$" replaced by "%e"), 443 inputstr
//   char[255] (the text as typed, at most 254 characters), 698 gap 2, 700 mode int32 (0 Off,
//   1 Auto, 2 Manu; any other value acts as Auto), 704 schedule_cmd int32 (a pending request).
//
// A command never exceeds 254 characters: "Valider" refuses, with a message, a text holding
// "$$" that could grow beyond that once the value is written in (more than 242 characters),
// and a longer command (from a loaded settings block) is not sent.
#pragma once

#include "framework/instrument.h"

// Catalogue type key "reboucleur.dll". Only its `nouveau` is meant to be called.
// Its table, boucleur, is declared with every plugin's in instruments/tables.h.
#include "instruments/tables.h"

// Longest text holding "$$" that "Valider" takes: the longest value "%e" writes for a double
// ("-1.797693e+308", 14 characters) then still fits in 254 characters.
constexpr int kCommandeAvecValeurMax = 242;
