// "Enceinte thermique": the temperature set-point of a thermal chamber whose controller is
// reached on GPIB through a framed protocol. No channel, no start, no stop; `status` is always 1
// (ready), so that a sequencer waiting for the chamber goes on at once.
//
// At every acquisition start `init` opens the controller (board 0, its address, 10 s time-out,
// END with the last byte written, reads ending at a line feed), clears it, checks that it
// listens, loads the manual-control panel "Pilotage" the first time and sends "MIP RS=26" and CR.
// The device of the previous start goes offline once the new one listens; a start that finds no
// chamber keeps it.
//
// Set-points come from the command "T=<x>" of `execute` (read as sscanf's "T=%f": blanks before
// the number skipped, anything after it ignored; case counts) and from the panel's OK. Each goes
// out as one frame: EOT, the controller's address "0011", STX, the payload "SL%05.1f" of the
// set-point, ETX, the check byte (0x03 exclusive-or every payload byte) and CR, written with its
// exact length; no reply is read. A frame holds at most 29 bytes: a set-point whose payload
// would be longer than 20 characters (from 1e16 up, or below about -1e15), or that is not a
// finite number, is refused: nothing is sent, shown or kept. `execute` ignores any other text.
//
// The process value can be asked in the same framing (EOT, "0011", "PV", ENQ, CR; the reply is
// a leading byte, "PV" and the value, ended by ETX); no operation of the table asks it.
//
// Settings block (get_memory flag 0: the record up to `zone_memoire`, 280 bytes, little-endian):
//   0 identificateur int32 (unused)   4 adresse_GPIB int32 (default 3)   8 Temp float32
//  12 nom_pilot char[128] (at most 39 characters; "Enceinte thermique")
// 140 nom_instru char[128] (unused)  268 id_enceinte int32 (device of the last init)
// 272 panel_pilotage int32 (panel of the run that saved it; -1 before the first init)
// 276 four bytes of padding (zero).
// The device and the panel of a saved block belong to the run that saved it: a loaded block
// never gives a live handle.
#pragma once

// Catalogue type key "therm.dll"; its table `enc_ther` is declared with every plugin's in
// instruments/tables.h.
#include "instruments/tables.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The controller's address in every frame.
constexpr char kEncTherAdresse[] = "0011";
// Longest frame, and longest payload it carries.
constexpr std::size_t kEncTherTrameMax = 29;
constexpr std::size_t kEncTherChargeMax = kEncTherTrameMax - 9;

// The frame carrying `charge` to `adresse`: EOT, address, STX, payload, ETX, check byte, CR.
std::string enc_ther_trame(std::string_view adresse, std::string_view charge);
// The frame of set-point `consigne` ("SL%05.1f"); none when its payload would be too long or
// the set-point is not finite.
std::optional<std::string> enc_ther_trame_consigne(float consigne);
// The process-value query: EOT, address, "PV", ENQ, CR.
std::string enc_ther_question_PV();
// The value of a process-value reply (at most 30 bytes are looked at): the text from its second
// byte up to its first ETX or NUL, "PV" then a number read as every reply's (nombres::LireReel,
// gpib/nombres.h); none when it holds no value ("inf" and "nan" are none).
std::optional<float> enc_ther_analyser_PV(std::string_view reponse);

// Exchanges on the descriptor `ud` of the controller (the last init's, for the panel and
// `execute`).
// "MIP RS=26" and CR.
void envoyer_MIP(int ud);
// The set-point frame; false (nothing sent) when the set-point is refused.
bool ecrire_consigne(float consigne, int ud);
// Writes the frame of `charge` to `adresse`; false (nothing sent) when it would be too long.
bool envoyer_trame(const char *adresse, const char *charge, int ud);
// Asks the process value and reads the reply (up to 30 bytes, 10 s at most); NaN when no value
// came.
float lire_PV(int ud);
