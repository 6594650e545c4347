// "HP53131 - phase": the phase of input 2 behind input 1 of an HP 53131A or 53132A universal
// counter, as the channel "Phase 1 to 2". In mode Phase (0) each completed measurement is one
// reading (":FETC?"); in mode Stat (1) the counter averages `aver_coun` phase measurements
// itself and the reading is their mean (":CALC3:DATA?"). The counter is set up with direct
// commands (no driver session), and each completion raises a service request whose callback
// files the reading and launches the next measurement.
//
// Settings block (flag 0: from the record's start up to, not including, `dont_remove_me`; 148
// bytes, little-endian): 0 nom_instrument char[128] (at most 39 characters; "HP53131 - phase"),
// 128 identificateur, 132 stop_interruption, 136 gpib_adresse (1 for a new instrument),
// 140 mode (0 Phase, 1 Stat), 144 aver_coun (2..2000; 50); int32 but the name. The reading and
// its count follow the block and are not saved.
//
// Choices made for a sound program:
// - a mode other than Stat (a damaged settings file) is run as Phase;
// - a reading that does not convert (missed, empty, or a reply that is no number) is NaN, never a
//   made-up value nor the previous one repeated;
// - a counter that stops answering, answers garbage or refuses its launch while it runs is
//   said once on the status list, and once when it answers again; it is kept under watch and
//   relaunched, so that its readings resume by themselves (compteur_commun.h);
// - each init first takes the previous descriptor offline (its notification disarmed), and
//   liberer stops the notification and discards the panels before the record goes.
#pragma once

// Catalogue type key "HP53131_phase.dll"; its table `HP53131_phase` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"
