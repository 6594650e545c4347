// "Powermeter": an E4419B dual power meter on GPIB with one or two sensors, A and B, whose
// readings, in dBm, become the channels "Voie A" (window 1) and "Voie B" (window 2). Both
// windows are measured at each bus trigger and readings complete by service request (see
// power_commun.h); the sensor choice only decides which of them are offered as channels.
//
// Settings block (flag 1, the whole record, 176 bytes, little-endian, no gaps): 0
// identificateur, 4 adresse_gpib (7 for a new instrument), 8 capteur (2 = A, 4 = B, 6 = both),
// 12 frequence_fonctionnement (MHz; 110), 16 stop_interruption, 20 nombre_voie, 24 numero_mesure
// uint32[2], 32 zone_memoire double[2], 48 nom_instru char[128] (at most 39 characters;
// "Powermeter"); int32 but where marked. Only the address, the sensors, the frequency, the
// channel count and the name are settings; `init` rewrites the rest.
//
// Choices made for a sound program:
// - a sensor in use that is not connected fails `init` after its pop-up, instead of ending the
//   program; a sensor not in use is not checked;
// - the channel count follows from the sensors, whatever a settings file holds, and is taken at
//   `init` for the whole acquisition;
// - each `init` takes the previous descriptor offline, and `liberer` disarms the notification
//   before the record goes.
// - a meter that stops answering or answers what cannot be read while the cycle runs is said
//   once on the status list, and once more when it answers again; its channels show missing
//   values meanwhile and the cycle triggers again as soon as the meter can take it, so that the
//   readings resume by themselves (see panne_gpib.h); the cycle no longer stops for good on an
//   event register it cannot read.
#pragma once

// Catalogue type key "4419.dll"; its table `power_simple` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"
