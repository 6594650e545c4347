// "Tektronix TDS 3052": the two-channel digital oscilloscope on GPIB, whose channel 1, channel 2
// and math traces become vector channels over their time (or, for an FFT, frequency) axis.
//
// Every setting is made in the configuration panel (P_CFG_TEK of UIR_tektro3052.uir) and
// reaches the instrument at the next acquisition start: `init` checks the board, the listener
// and the identity ("TEKTRONIX,TDS 3052"), sends the whole set-up, leaves the instrument in
// single-sequence acquisition with 2-byte little-endian unsigned curves, and reads the time
// axis of every acquired source once. `start` lets operation complete request service and
// launches an acquisition; each completion calls CB_interruption_tek on the notification
// thread, which reads the curve of every acquired source (header, block length, samples,
// terminator, then the preamble YOF, YMU, YZE), scales it, counts the acquisition and launches
// the next one. `stop` ends the cycle at the next completion (or at the next time-out without
// one, see below).
//
// Vector channels: one per acquired source, in the order CH1, CH2, MATH ("Channel 1",
// "Channel 2", "Math"), each of the record length taken at `init`.
//
// Guarantees beyond the instrument's own protocol:
// - A curve block longer than a row (10000 points) fills the row and the rest is read off; a
//   reply that ends early gives the points received; a malformed block or a preamble that does
//   not parse makes the row's points missing (NaN) rather than stale; the bus stays in step.
//   A point count of the time axis beyond a row is bounded to the row.
// - The record length (500 or 10000 in the panel; a loaded block's value is bounded to
//   1..10000) is taken once at `init`: a panel confirmed during an acquisition does not change
//   the vectors the core sized its buffers from.
// - A source is acquired when its selection is not 0: `init` sends, acquires and counts it
//   by that one rule.
// - A new `init` first takes the previous device offline, which ends a cycle still waiting for
//   its last acquisition; `liberer` does the same, then closes the panels left open.
// - The rows and the acquisition counter pass from the notification thread under a lock, so a
//   sample never copies a row half rewritten, and sees all rows of one acquisition.
// - Faults met while the cycle runs (the oscilloscope unplugged, silent, answering garbage, or
//   not taking the next launch) are said once on the main panel's status list, and once more
//   when it reads whole curves again (instruments/panne_gpib.h). The notification is armed with
//   the time-out as well: with no completion within the device's 10 s, the callback checks that
//   the oscilloscope still listens and launches again an acquisition whose launch failed, so
//   that readings resume by themselves. A read that times out or a command nobody takes ends
//   the cycle's transfers: the rows not read are missing (NaN) for that acquisition.
//
// Settings block (get_memory flag 0, up to `mesures`: 352 bytes, little-endian):
//   0 identificateur int32 (device of the last init)   4 adresse_gpib int32
//   8 stop_interruption int32   12 voie_select int32[3] (unused)   24 voie_active int32[3]
//   36 numero_mesure uint32   40 taille_voie int32[3] (unused)   52 nom_instru char[128]
//   180 acqmod char[6]   186 gap   188 acqnumav int32   192 acqnume int32
//   196 ch1ban, 202 ch2ban, 208 ch1coup, 214 ch2coup, 220 ch1imp, 226 ch2imp char[6]
//   232 ch1inv, 236 ch2inv int32   240 ch1off, 244 ch2off, 248 ch1probe, 252 ch2probe,
//   256 ch1sca, 260 ch2sca float32   264 hormaisca, 268 hor_unit, 272 horrecord,
//   276 hortrigpos int32   280 trigaedgcoup, 286 trigaedgslo, 292 trigaedgsou char[6]
//   298 gap   300 trigalev float32   304 math1, 310 math2, 316 mathf, 322 fenetre,
//   328 linlog char[6]   334 gap   336 selch1, 340 selch2, 344 selmath int32   348 gap.
// Text fields hold the instrument's command word ("SAM", "FULL", "EXT10", "FFT"...).
#pragma once

// Catalogue type key "tektro3052.dll"; its table `tek` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"

// The service-request notification of a running acquisition (reference data: the instance's
// private record, `structure`): reads, scales and counts one acquisition, launches the next,
// and returns the mask to re-arm with (RQS | TIMO while the cycle runs; 0 once stopped, or when
// `sta` is the error alone). Called with TIMO and without RQS, it only looks after the cycle.
int CB_interruption_tek(int ud, int sta, int err, long cntl, void *refData);
