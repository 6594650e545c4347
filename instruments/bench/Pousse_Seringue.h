// "Pousse Seringue": one to four syringe pumps sharing one RS-232 line, each answering to its
// own two-digit address. No channel; always ready (`status` 1).
//
// Every acquisition start (`init`) opens the line (9600 baud, 8N1, no flow control, 5 s time-
// out) and sets each pump in use to its direction, syringe diameter and rate; the pumps are then
// run and stopped by the sequencer's commands (`execute`) or by hand from the manual-control
// panel "Pilotage", whose list box logs every command line. Acquisition start and stop never
// run or stop a pump; the line stays open until the instrument is freed.
//
// Wire format: a command is the pump's address on two digits, a mnemonic and its parameter,
// then CR LF ("07DIR WDR", "07DIA 12.06", "07RAT 1000UH", "07RUN", "07STP"; "00DIA" as the first
// line of every set-up); the pump's reply runs up to an ETX byte and is not examined. A line is
// logged always, but sent only when its address is that of a pump in use. A reply whose ETX has
// not come 5 s after the line went out, or after 256 bytes, gives the no-answer pop-up and is
// dropped. During an acquisition (between `start` and `stop`) the sequencer's commands say such a
// failure once on the main panel's status list instead of a pop-up per line, and again once a
// pump answers; the start and the manual-control panel keep their pop-ups.
//
// Commands of `execute`: "<n>infuse=<rate>" (rate then run, the LED of pump n on, the rate
// stored) and "<n>stop" (stop, its LED off), where <n> is the pump's index 0..3 in the record
// (its address is looked up), read from at most two characters. An index outside 0..3 is ignored.
//
// Settings block (472 bytes, little-endian): 0 nom_instrument char[128], 128 com_port int32,
// 132 panel_pilotage int32 (the handle of the run that saved it: never taken for a live one),
// 136 nb_PS char, 140 instr_panel_height int32[4], 156 pilot_panel_height int32[4],
// 172 label_PS char[4][64], 428 adresse char[4], 432 on_off char[4], 436 direction char[4],
// 440 diametre float[4], 456 rate int32[4].
#pragma once

// Catalogue type key "Pousse_Seringue.dll"; its table `Pousse_Seringue` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"

// The id of pump `index`'s LED on the manual-control panel: 6, 13, 20, 27; -1 for another index.
int index_to_controlID(int index);
// The pump index (0..3) of the row of the manual-control panel that holds control `id` (its
// rate, direction, run or stop control); -1 for any other id.
int controlID_to_index(int id);
