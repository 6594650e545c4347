// "Fréquencemètre 2 Voies": the frequency on input 1 and on input 2 of an HP 53131A or 53132A
// universal counter, one input after the other, as the channels "Voie 1" and "Voie 2".
//
// Each completed measurement raises a service request; its callback files the reading under
// the input just measured, switches the counter to the other input and launches the next
// measurement. A watchdog (a hidden panel whose timer ticks every second while the instrument
// runs) forces the switch when an input gives no reading for more than `delay_wdog` seconds
// (truncated), so that a silent input never stops the other one.
//
// Settings block (flag 1, the whole record, 216 bytes, little-endian): 0 identificateur,
// 4 adresse_gpib (3 for a new instrument), 8 digits (4..12), 12 impedance (0 = 50 ohm,
// 1 = 1 Mohm), 16 filtre (100 kHz filter), 20 couplage (0 AC, 1 DC), 24 attenuation (0 x1,
// 1 x10), 28 stop_interruption, 32 lock_interruption (no meaning), 36 numero_mesure uint32[2],
// 44 nombre_voie, 48 zone_memoire double[2] (Hz), 64 etat_voie (input measured: 0 = input 1),
// 68 nom_instru char[128] (at most 39 characters; "Fréquencemètre 2 voies"), 196 watchdog,
// 200 panel_wdog, 204 four bytes of alignment, 208 delay_wdog double (s; 3.0); int32 but where
// marked. The device descriptor, the watchdog panel and the readings of the run are the
// program's own: a loaded block's numbers are never used as handles.
//
// Choices made for a sound program:
// - a missed or empty reading is NaN, never a made-up value; a reply that is no number keeps
//   the previous value;
// - init starts from input 1 (`etat_voie` 0), whatever a loaded block holds;
// - the device lock is named "GPIB0:<address>" (one name per counter, however many
//   acquisitions), the callback holds it for its whole run and the watchdog only tries it, so
//   the user-interface thread never waits behind a reading; the watchdog's own exchange runs
//   with a 1 s time-out and stops at a write the counter refuses;
// - a counter that stops answering, answers garbage or refuses its launch while it runs is
//   said once on the status list, and once when it answers again; it is kept under watch and
//   relaunched, so that its readings resume by themselves (compteur_commun.h);
// - each init first takes the previous descriptor offline (its notification disarmed), and
//   liberer stops the notification and discards the panels before the record goes.
#pragma once

// Catalogue type key "5313x_2v.dll"; its table `freq2v` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"
