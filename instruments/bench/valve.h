// "Valve EFD" (type key "efd.dll", table `pilote_valve`): a valve on line D0 of the parallel
// port's data register (0x378), opened for a set time on request: one pulse, a "pschit".
//
// The sequencer sends "pschit" (a pulse of the instance's duration) or "duree=<seconds>" through
// `execute`, and waits for the end of a pulse with `status`; the manual-control panel P_PILOT of
// "UIR_valve.uir" (loaded by the first `init`, shown by `piloter`) holds the duration and a
// pulse button. There are no channels, no `start` and no `stop`.
//
// A pulse raises D0 by read-modify-write of the data register under the program's port lock
// (Lock_port_parallele), which it holds until the pulse ends, so that the RF-switch plugins
// wait for it; a delayed call on the program's clock ends it after the duration: it reads the
// register again and lowers D0 only, so that what another plugin wrote meanwhile stays. The
// pulse is one for the whole program: while it lasts, every pulse valve refuses another one and
// answers `status` 0. A pulse whose end cannot be scheduled ends at once, and a pulse still
// open when the program ends is closed on the way out.
//
// Settings block (144 bytes, get_memory flag 1), little-endian:
//   0 nom_pilot (char[128], "Valve EFD")   128 duree (float64, seconds, 0.1)
//   136 panel_pilotage (int32: the manual panel's handle in the run that saved; never read back)
//   140 fill (4)
#pragma once

#include "instruments/tables.h"
