// "Fréquencemètre": the frequency on input 1 of an HP 53131A or 53132A universal counter, as the
// channel "Voie 1". Each completed measurement raises a service request, whose callback fetches
// the reading (asking again when a read fails), files it and launches the next measurement.
//
// Settings block (flag 1, the whole record, 176 bytes, little-endian, no gaps): 0
// identificateur, 4 adresse_gpib (4 for a new instrument), 8 digits (4..12), 12 impedance
// (0 = 50 ohm, 1 = 1 Mohm), 16 filtre (100 kHz filter), 20 couplage (0 AC, 1 DC),
// 24 attenuation (0 x1, 1 x10), 28 stop_interruption, 32 numero_mesure uint32[1],
// 36 nombre_voie, 40 zone_memoire double[1] (Hz), 48 nom_instru char[128] (at most 39
// characters; "Fréquencemètre"); int32 but where marked.
//
// Choices made for a sound program:
// - a fetch is tried at most 3 times; after three failed reads the reading is missing (NaN),
//   counted, and the counter relaunched, so that a counter gone silent never holds the cycle;
// - a missed or empty reading is NaN, never a made-up value; a reply that is no number keeps
//   the previous value;
// - a counter that stops answering, answers garbage or refuses its launch while it runs is
//   said once on the status list, and once when it answers again; it is kept under watch and
//   relaunched, so that its readings resume by themselves (compteur_commun.h);
// - each init first takes the previous descriptor offline (its notification disarmed), and
//   liberer stops the notification and discards the panels before the record goes.
#pragma once

// Catalogue type key "5313x_1v.dll"; its table `freq` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"
