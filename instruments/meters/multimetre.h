// "Multimètre HP34401" (type key "multimetre.dll", table `multi`): an HP 34401A digital
// multimeter on GPIB, one measured scalar channel "Voie 1".
//
// The configuration panel Conf_multi of "UIR_multi.uir" sets the GPIB address, the measured
// quantity (AC or DC voltage, AC or DC current, two-wire resistance) and the resolution (4 1/2,
// 5 1/2 or 6 1/2 digits). At each acquisition start `init` checks the board, a listener at the
// address and the identity over GPIB, then sets the quantity with automatic ranging and the
// resolution through the multimeter's driver (gpib/hp34401a.h), on a VISA session it closes
// before returning. `start` makes operation complete request service ("*ESE 1", "*SRE 32") and
// launches a measurement (":INIT;FETC?;*OPC"); each service request, on the notification
// thread, reads the reading, counts it and launches the next one. `stop` lets the cycle end at
// its next request.
//
// A driver failure in `init` (no VISA session, identity refused, configuration refused) is
// shown and fails the start: the channel would otherwise record another quantity than the one
// chosen.
//
// While the cycle runs, a multimeter that stops answering (unplugged, a launch that does not get
// through) or answers what is no number is said once on the status list, and once more when a
// reading comes again (see panne_gpib.h). A reading that does not come is a missing value; a reply
// that is no number keeps the previous value, still counted. A measurement whose launch did not
// get through is launched again once the multimeter is back, so that the readings resume by
// themselves.
//
// Settings block (168 bytes, get_memory flag 1), little-endian:
//   0 identificateur (int32)   4 adresse_gpib (int32)   8 digits (int32)   12 Volt_Ampere (int32)
//   16 handmulti (int32)       20 stop_interruption (int32)   24 numero_mesure (uint32)
//   28 reserved (4)            32 zone_memoire (float64)      40 nom_instru (char[128])
// The settings are adresse_gpib, digits (0, 1, 2: the driver's resolution codes MAX, DEF, MIN),
// Volt_Ampere (0, 1, 3, 4, 5: the driver's function codes VOLT:AC, VOLT, CURR:AC, CURR, RES) and
// nom_instru; the other fields are run-time values that the next `init` sets.
#pragma once

#include <string_view>

#include "instruments/tables.h"

// The reading of a reply to ":FETC?": the first number of the text, after blanks; false, and
// `valeur` unchanged, when the text does not begin with one.
bool multi_lire_mesure(std::string_view reponse, double &valeur);
