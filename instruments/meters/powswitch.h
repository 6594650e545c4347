// "Powermeter Switché": an E4419B dual power meter on GPIB whose sensors A and B each reach one
// of two RF paths through an RF switch driven by lines D2, D3 or D4 of the parallel port's data
// register. Both sensors are measured at each bus trigger, in dBm; after every reading the
// switches move to the other path (lines low: RF1, high: RF2), so that each sensor in use gives
// two channels: "Voie A RF1", "Voie A RF2" (sensor A), "Voie B RF1", "Voie B RF2" (sensor B).
// Readings complete by service request (see power_commun.h); the switches move under the
// program's port lock, so that the other plugins driving lines of the register keep theirs.
//
// Settings block (flag 1, the whole record, 216 bytes, little-endian): 0 identificateur,
// 4 adresse_gpib (7 for a new instrument), 8 bit_choisi (switch lines: 4, 8, 16, or two of them
// with both sensors), 12 capteur (2 = A, 4 = B, 6 = both), 16 frequence_fonctionnement (MHz;
// 110), 20 stop_interruption, 24 nombre_voie, 28 numero_mesure uint32[4], 44 reserved,
// 48 zone_memoire double[4], 80 etat_switch, 84 nom_instru char[128] (at most 39 characters;
// "Powermeter Switché"), 212 reserved; all int32 but where marked. Slots 0..3 of the readings
// are sensor A at RF1 and RF2, sensor B at RF1 and RF2. Only the address, the switch lines, the
// sensors, the frequency, the channel count and the name are settings; `init` rewrites the rest.
//
// Choices made for a sound program:
// - a missing listener or a sensor in use that is not connected fails `init` after its pop-up,
//   instead of ending the program; a sensor not in use is not checked;
// - the channel count follows from the sensors, and only lines D2 to D4 are ever driven, whatever
//   a settings file holds; both are taken at `init` for the whole acquisition;
// - readings only ever go to the path the switches really were on: switches that cannot move
//   (a valve's pulse holds the port past the wait) measure the same path again, which the status
//   list says once, and once more when they move again (see switch_rf.h); an `init` that cannot
//   set the switches (no switch chosen, or the port busy) fails after a pop-up that says why;
// - the configuration panel shows the switches the instrument was saved with;
// - each `init` takes the previous descriptor offline, and `liberer` disarms the notification
//   before the record goes.
// - a meter that stops answering or answers what cannot be read while the cycle runs is said
//   once on the status list, and once more when it answers again; its channels show missing
//   values meanwhile and the cycle triggers again as soon as the meter can take it, so that the
//   readings resume by themselves (see panne_gpib.h); the cycle no longer stops for good on an
//   event register it cannot read.
#pragma once

// Catalogue type key "4419_sw.dll"; its table `power_switch` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"
