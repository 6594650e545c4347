// "DGM (retour infos)": a concentration analyser that pushes its readings over a serial port.
// One scalar channel, 1 "Concentration", the last reading; nothing is ever sent to the analyser.
// No status, no command, no manual-control panel, no vector or computed channel.
//
// Every acquisition start (`init`) opens the port (9600 baud, 8N1, the serial library's default
// time-out and no flow control); a port that cannot be opened shows at `start`, whose receive
// callback (on the frame's first byte 'E') then cannot be installed. `stop` removes the callback;
// the port stays open until the next start, or until the instrument is freed. While acquiring, an
// analyser that sends no frame for 10 s (or three times its own interval) is said once on the
// main panel's status list, and again when its frames come back.
//
// Frame: 'E', any bytes, 'P'. The decimal digits between them make the reading, in order, as an
// integer taken without scaling; every other byte (sign, decimal point, blank, letter, control
// character) is ignored. Bytes before the 'E' are dropped, and so is everything received behind
// the 'P' (the input queue is emptied after each frame). A frame whose digits exceed a signed
// 32-bit reading is no reading.
//
// Settings block (132 bytes, little-endian; get_memory flag 0, up to the record's end marker):
// 0 nom_instrument char[128], 128 com_port int32.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Catalogue type key "DGM110.dll"; its table `DGM110` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"

// The reading of a frame's body (the bytes between 'E' and 'P'): its decimal digits in order,
// every other byte ignored; 0 without any digit. Nothing when the digits exceed 2147483647.
std::optional<std::int32_t> DGM110_lecture(std::string_view corps);
