// "Fréquencemètre Switché": two signals measured with one HP 53131A or 53132A universal counter
// whose input 1 sits behind an RF switch. The switch follows one data line of the parallel port
// (SW1, SW2 or SW3: bit 4, 8 or 16 of the data register): "Voie 1" is the signal measured with
// the line low, "Voie 2" the one measured with the line high. Each service request's callback
// moves the line for the next measurement, files the reading of the measurement just ended
// under the position it was made in, and launches the next measurement; the two channels thus
// take every second reading each.
//
// The port serves several instruments: the line is changed by a read-modify-write of the data
// register under the program's lock Lock_port_parallele, and no other bit is ever written.
//
// Settings block (flag 1, the whole record, 200 bytes, little-endian): 0 identificateur,
// 4 adresse_gpib (3 for a new instrument), 8 bit_choisi (4, 8 or 16), 12 digits (4..12),
// 16 impedance (0 = 50 ohm, 1 = 1 Mohm), 20 filtre (100 kHz filter), 24 couplage (0 AC, 1 DC),
// 28 attenuation (0 x1, 1 x10), 32 nombre_voie, 36 stop_interruption, 40 numero_mesure
// uint32[2], 48 zone_memoire double[2] (Hz), 64 etat_switch (the position of the next reading),
// 68 nom_instru char[128] (at most 39 characters; "Fréquencemètre Switché"), 196 four bytes that
// end the block on a multiple of 8; int32 but where marked.
//
// Choices made for a sound program:
// - init sets the line low under the port lock too, and starts from "Voie 1" (`etat_switch` 0),
//   whatever a loaded block holds;
// - only the switch lines (bits 4, 8, 16) of `bit_choisi` are ever driven, whatever a settings
//   file holds;
// - a reading is only ever filed under the position the line really had: a line that cannot move
//   (a valve's pulse holds the port past the wait) keeps the counter on the same channel, which
//   the status list says once, and once more when the line moves again (see switch_rf.h); an
//   init that cannot set the line (no switch chosen, or the port busy) fails after a pop-up that
//   says why;
// - a missed or empty reading is NaN, never a made-up value; a reply that is no number keeps
//   the previous value;
// - a counter that stops answering, answers garbage or refuses its launch while it runs is
//   said once on the status list, and once when it answers again; it is kept under watch and
//   relaunched, so that its readings resume by themselves (compteur_commun.h);
// - each init first takes the previous descriptor offline (its notification disarmed), and
//   liberer stops the notification and discards the panels before the record goes.
#pragma once

// Catalogue type key "5313x_sw.dll"; its table `freq_sw` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"
