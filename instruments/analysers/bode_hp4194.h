// "HP 4194 (bodemètre)": an HP 4194 gain-phase analyser on GPIB, driven in its own mnemonics.
// Each sweep gives two vector channels of 401 points, "Gain" (trace A) and "Phase" (trace B),
// over the sweep's frequencies (trace X).
//
// At each acquisition start `init` opens the analyser at its address (end-of-string mode 0:
// binary bytes never end a read), checks that something listens there and sends the whole
// set-up: gain-phase function, single sweeps upwards of 401 points, the range by start and stop
// or by center and span, averages, integration time, oscillator level, inputs, and traces as
// 64-bit binary blocks. `start` enables the service request on sweep end ("RQS2"), arms the
// notification and triggers a sweep ("SWTRG"). On each request the notification callback, on
// the GPIB driver's thread, takes the device's named lock, serial-polls (100 times at most;
// then it reads "STB?" off), fetches A, B and X, makes them the channels' newest together with
// the sweep's number (a channel read never mixes two sweeps; a sweep whose transfer failed still
// counts), and in "Repeat" triggers the next sweep. `stop` ends the cycle at the next callback.
// `execute` sends one command under the same lock, so that it never falls between a query of the
// callback and its reply.
//
// Faults met while the cycle runs (the analyser unplugged, silent, answering garbage, or not
// taking the next trigger) are said once on the main panel's status list, and once more when a
// sweep is read whole again (instruments/panne_gpib.h). The notification is armed with the
// time-out as well: with no sweep end within the device's 10 s, the callback checks that the
// analyser still listens and, in "Repeat", triggers again a sweep whose trigger failed, so that
// the sweeps resume by themselves. A trace of a sweep that did not come whole (no answer, a
// reply that is not a block) is missing (NaN) in that sweep, never the earlier sweep's.
//
// Block of a trace: "#A", the byte count L (16 bits, most significant byte first), L/8 doubles
// (most significant byte first), two closing bytes. At most 401 values are kept: the surplus of
// a longer block is read off and dropped; a block cut short (END early) fills only the values
// it holds; a reply that is not a block gives no value. Values past a short block keep those
// of earlier sweeps. Until the first sweep the channels hold missing values (NaN).
//
// Commands of `execute` (any case; sent in upper case, without terminator):
//   CENTER=, SPAN=, START=, STOP=, NOP=, OSC= followed by a decimal number (blanks allowed
//   before it): the text itself, whole; TRIG: "SWTRG"; SWEEP_UP: "SWD1"; SWEEP_DOWN: "SWD2".
// Anything else, or a text over 254 characters, sends nothing. Before the first `init` nothing
// is sent either (no device is open). `status` is 0 only while `execute` runs.
//
// Settings block (get_memory flag 0, up to the traces: 232 bytes, little-endian):
//   0 adresse_gpib, 4 identificateur (device of the last init), 8 stop_interruption,
//   12 numero_mesure (int32 each; the last three mean nothing once reloaded),
//   16 nom_instru char[128] (at most 39 characters), 144 mode (PWS: 1 Dual, 2 Single),
//   148 sweep (ITM 1..3), 152 trig (1 Repeat, 2 Single), 156 moy (averages), 160 reglage
//   (1 start-stop, any other value center-span), 164 reserved, 168 start, 176 stop, 184 center,
//   192 span, 200 osclev (float64 each), 208 ref_att, 212 ref_imp, 216 test_att, 220 test_imp
//   (1 or 2 each), 224 status, 228 reserved.
#pragma once

#include <string>
#include <string_view>

// Catalogue type key "bode_hp4194.dll"; its table `bode_hp` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/panne_gpib.h"
#include "instruments/tables.h"

namespace bode_hp4194 {

// What `execute` sends for the command text `chaine` (upper-cased, as the rules above say), or
// an empty text when nothing is to be sent.
std::string CommandeAnalyseur(std::string_view chaine);

// What the transfer of a trace came to: read (Lue), a reply that is not a block (Illisible),
// no answer in time or nobody to take the query (SansReponse).
using Trace = panne_gpib::Issue;

// Asks for trace `nom` ("A", "B" or "X") on the analyser `ud` and reads its "#A" block into
// `destination` (401 values at most; values past the block keep what they held, and a reply
// that is not a block writes nothing).
Trace bode_hp_read_trace(int ud, const char *nom, double *destination);

}  // namespace bode_hp4194
