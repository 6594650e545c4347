// "Electrovanne" (type key "Electrovanne.dll", table `Electrovanne`): a solenoid valve driven by
// the whole data register of the parallel port (0x378).
//
// Its state is one byte, written as the whole data byte, without reading the register first and
// without the port lock: from the two-position switch of the configuration panel P_INSTR or of
// the manual-control panel P_PILOT of "UIR_Electrovanne.uir" when OK is pressed (0x00 or 0x01),
// or from "sens=<c>" sent through `execute` (the code of the character c: "sens=1" writes 0x31).
// `init` only loads the manual panel (once), `start` and `stop` do nothing and `status` is
// always 1. There are no channels.
//
// The switches show line D0 of the state, the valve's own line, whatever byte a command wrote.
//
// Settings block (133 bytes, get_memory flag 0: up to the end marker `dont_remove_me`):
//   0 nom_instrument (char[128], "Electrovanne")
//   128 panel_pilotage (int32: the manual panel's handle in the run that saved; never read back)
//   132 etat_vanne (the last byte written)
#pragma once

#include "instruments/tables.h"
