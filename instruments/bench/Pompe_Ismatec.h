// "Pompe Ismatec": one peristaltic pump on a serial port. No channel, no start, stop or status.
//
// Every acquisition start (`init`) opens the port (9600 baud, 8N1, the serial library's default
// time-out and no flow control) and sends the set-up "@1", the tube diameter "1+0<ddd>" (in
// hundredths of a millimetre), clockwise rotation "1J" and "1M", each ended by CR, reading no
// reply. The pump is then driven by the sequencer's commands (`execute`: "marche", "arret",
// "sens horaire", "sens anti horaire", compared exactly, and "debit=<ml/min>") and by the
// manual-control panel "Pilotage". A flow is sent as per-mille of the maximum flow that the pump
// reports to "1!": "1S%05d" (a negative flow gives a negative number, a flow above the maximum
// more than 1000). The port stays open between acquisitions and closes with the instrument.
// A pump that does not give the one-byte answer or the maximum flow that a command reads (or
// whose maximum flow is unreadable) is said once on the main panel's status list, and again
// once it answers.
//
// Settings block (148 bytes, little-endian): 0 nom_instrument char[128], 128 debit double
// (ml/min), 136 diam_tube int32 (hundredths of a millimetre), 140 com_port int32,
// 144 panel_pilotage int32 (the handle of the run that saved it: never taken for a live one).
#pragma once

#include <optional>
#include <string_view>

// Catalogue type key "Pompe_Ismatec.dll"; its table `Pompe_Ismatec` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"

// The maximum flow (ml/min) in the pump's reply to "1!" (at most 15 bytes): its leading number,
// read as every reply's (nombres::LireReel, gpib/nombres.h) in single precision; nothing when the
// reply has no number or a maximum that is not above 0.
std::optional<double> Ismatec_debit_maximum(std::string_view reponse);
// The speed to send for `debit` (ml/min) against the maximum `maximum`: per-mille of the
// maximum, truncated toward zero (12.59 against 50 is 251); a result that falls a floating-point
// error short of a whole number counts as that number (0.29 against 1 is 290). Nothing for a
// speed that no int holds. The panel and the commands send the same number for one flow.
std::optional<int> Ismatec_pour_mille(double debit, double maximum);
