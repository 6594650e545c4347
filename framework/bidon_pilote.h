// "Pilote bidon": an instrument without hardware that exercises the whole plugin interface on a
// small scale. One setting (an address), a configuration panel P_config, a manual-control panel
// P_PILOT (loaded by `init`) with a day/night switch driving a lamp, the text commands "jour"
// and "nuit", an always-ready status, and one measured vector channel of 50 zeros with
// abscissae 1 to 50, numbered by one counter shared by the whole program.
//
// Settings block (flag 1, 140 bytes, little-endian):
//   0 identificateur int32 (unused), 4 adresse int32 (45 in a new instrument),
//   8 nom_pilot char[128] (terminated, at most 39 characters), 136 panel_pilotage int32
//   (handle of P_PILOT in the run that saved it; written for the file format, never used as a
//   handle after a load).
#pragma once

#include "framework/instrument.h"

// Catalogue type key "pilote_bidon.dll". Only its `nouveau` is meant to be called.
extern PInstrument pilote_bidon;
