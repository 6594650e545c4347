// "Carte VEXO": a four-channel acquisition board on a serial port, which pushes one frame of four
// counts per sampling period, a period of its own that init downloads and that the program's
// sampling does not follow. Four scalar channels "Voie 1" to "Voie 4", each the last count of
// its channel with its own reading counter. No start, status, command or manual-control panel;
// no vector or computed channel.
//
// The board talks in lock step, ETX (0x03) and EOT (0x04) as its control characters: after a
// call (ETX) it sends nothing until the computer's EOT answers, and a frame's bytes come one per
// EOT. What its configuration bytes and its counts mean, and when it sends its frames, are its
// firmware's business; the plugin relies on the exchange below and nothing more.
//
// Every acquisition start (`init`) opens the port (9600 baud, 8N1), asks the operator to reset
// the board and switch it to computer use, and runs the handshake (10 s per read):
//   board: ETX (bytes before it dropped)      computer: EOT
//   board: '7' (anything else: again)         computer: ETX (request)
//   board: EOT (bytes before it dropped)      computer: 17 zero bytes (the board's PWM and
//                                             channel 2 and 3 settings, which stay 0)
//   board: ETX                                computer: EOT
//   board: '8' (anything else: again)         computer: ETX (request)
//   board: EOT                                computer: the period (its low 8 bits), EOT
// "Again" is back to the wait for the ETX before, a status that does not come counting as a
// wrong one. A read that gets nothing within the time-out is answered by EOT and the wait goes
// on. The board may be missing or never answer as expected: three reads without answer in the
// whole handshake, 1024 dropped bytes, 16 wrong status bytes or 30 s (as long as three reads
// without answer) end it. An ended handshake shows "Erreur de transmission" and fails the init.
//
// The board then sends a frame per period: ETX, then 20 bytes, each answered by EOT (the receive
// callback, on ETX): two 16-bit and four 32-bit signed counts, most significant byte first; the
// four 32-bit counts are the channels. Every read of a frame waits at most the period (at least
// 1 s). A frame that stops before its 20th byte is not stored; bytes waiting before a frame's
// ETX (a 0x00 that the board may send first, the end of a frame cut off, calls that waited
// unanswered) are dropped. `stop` removes the callback; the port stays open until the next init,
// or until the instrument is freed.
//
// While acquiring, a board that sends no frame for 10 s (at least three of its periods) is said
// once on the main panel's status list, and again when its frames come back. A board reset
// during an acquisition starts again from its handshake: it calls, and gives its status once the
// call is answered; the callback, woken by that call, reads the status as a frame's first byte.
// The bytes are no frame when one comes that the lock step would not bring: a byte already
// waiting behind the one just read, a byte at once after an ETX read after a status byte (before
// its EOT), or a byte at once after the last EOT of a frame that ends like a call or a call and
// its status. They are not stored, and the call and status at their end get the rest of the
// handshake (request, configuration, '8', request, period; from the request and the period after
// a status '8'), so the frames come back without a new acquisition start. Bytes '7' or '8' that
// begin a frame are stored like any others.
//
// Settings block (140 bytes, little-endian; get_memory flag 0, up to the reading counters):
// 0 port_com int32 (1..3), 4 temps_echantillonnage int32 (the board's period, seconds),
// 8 nombre_voie int32 (channel count, 4), 12 nom_instru char[128].
#pragma once

#include <cstdint>
#include <span>

// Catalogue type key "vexo.dll"; its table `vexo_4v` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"

// One frame of the board, decoded.
struct vexo_data {
    std::int16_t epsilon_1, epsilon_2;  // not used
    std::int32_t freq_1, freq_2, freq_3, freq_4;
};
constexpr std::size_t kTailleTrameVexo = 20;

// The frame's 20 bytes, big-endian, two's complement.
vexo_data VEXO_lire_trame(std::span<const unsigned char, kTailleTrameVexo> octets);
