// "Anritsu MS4623B": the vector network analyser on GPIB, published as one or two vector
// channels: the S-parameter trace of the analyser's channel 1 in the chosen display format, over
// its frequency or time axis.
//
// At every acquisition start `init` opens the analyser (board 0, its address, 10 s time-out),
// checks its identity, uploads the chosen calibration file to the analyser's disk and recalls
// it, sends the stored measurement configuration (domain, gate, range, display, autoscale) and
// asks for the number of points per trace; `start` arms a service-request notification and
// launches a sweep. At each sweep end the notification callback, holding the device lock
// "GPIB0:<address>", reads the trace ("OFD") and its abscissae ("OFV" or "OTV") as
// definite-length blocks of 19-character number fields, counts the trace, clears the status,
// asks for an autoscale when set and launches the next sweep. `stop` lets the notification lapse
// after one more sweep (or at the next time-out without a sweep end, see below).
//
// Commands of `execute` (from the sequencer and the feedback loop, translated in
// analyseur_commandes.cpp), any case, a command being the whole text unless said otherwise; each
// is written under the device lock, so that it never falls inside a measurement cycle (the cycle
// waits for it, and it waits for the cycle):
//   "FWTG"  "FGT", then "GON" and a NUL      frequency domain with time gate
//   "FNTG"  "FQD", then "GOF" and a NUL      frequency domain, no time gate
//   "TWTG"  "TBP", then "GON" and a NUL      time domain with time gate
//   "TNTG"  "TBP", then "GOF" and a NUL      time domain, no time gate
//   "GATE_START=<x>", "GATE_STOP=<x>", "RANGE_START=<x>", "RANGE_STOP=<x>" (the text starts so,
//           <x> read as sscanf's "%f" reads it, anything after it ignored): "GST", "GSP", "ZST",
//           "ZSP" and the value as "%s %e" writes it (one blank, six decimals); a value that is
//           missing or not finite sends nothing
//   "SAVE <name>" (the first word after SAVE, at most 29 characters, no double quote): the
//           analyser saves its trace as C:\<NAME> on its disk, the file comes back over the bus
//           and becomes the file <NAME> of the current directory, byte for byte, then the
//           analyser deletes it. A local file of that name is replaced only by a complete copy;
//           a copy that fails leaves it, and the analyser's file, as they were.
//   display commands, each "CH1;S<xy>;<format>" with a NUL (but "LOG S11", sent without):
//     with one channel (display format 1..4): "LOG S<xy>" MAG, "LIN S<xy>" LIN, "PHASE S<xy>" PHA
//     with two (5, 6):  "LOGPHASE S<xy>" MPH, "LINPHASE S<xy>" LPH
//     (<xy> 11, 12, 21 or 22); a command of the other family is ignored, so that the trace keeps
//     the number of values a point that the acquisition reads.
// Nothing else is sent: not before the first successful `init`, not for a text of 255
// characters or more, not for an unknown command. Nothing is reported; the settings block does
// not change.
//
// Configuration panel: the domain (and the display-format ring) dim the controls the domain
// does not use: the range only with "Time Bandpass", the gate with it and with "Frequency with
// time gate". "RAZ" forgets the calibration file at once. "Recup" reads the analyser's state at
// the address the panel shows (gate mode, range, gate limits, display format, domain,
// S-parameter, under the device lock of that address) into the controls, for the operator's OK
// to keep (a panel that shows "Frequency with time gate" when Recup is pressed takes the gate
// as on, without asking a second time); a reply that holds no value, or a code the panel has no
// item for, leaves its control as it was; with no analyser there, or one that stops answering,
// the pop-up "Il faudrait allumer l'analyseur" says so.
//
// The settings and the channels stay as an acquisition took them at `init` until its `stop`: a
// configuration panel confirmed meanwhile takes effect at the next `init`. A sweep is counted
// only when its blocks were read whole; a block that was not (the trace or the abscissae) is
// missing (NaN) in the channels until the next sweep, never the previous sweep's values, and the
// next sweep is launched all the same.
//
// Faults met while the cycle runs (the analyser unplugged, silent, answering garbage, or not
// taking the next sweep) are said once on the main panel's status list, and once more when a
// trace is read whole again (instruments/panne_gpib.h). The notification is armed with the
// time-out as well: with no sweep end within the device's 10 s, the callback checks that the
// analyser still listens and launches again a sweep whose launch failed, so that the traces
// resume by themselves. A query nobody takes or a read that times out ends the cycle's
// transfers.
//
// Settings block (get_memory flag 0: the record up to its trace rows, 448 bytes, little-endian):
//   0 adresse_gpib int32 (default 6)    4 identificateur int32      8 nombrepoint int32
//  12 stop_interruption int32          16 numero_mesure int32      20 panel int32
//  24 cheminfichierload char[260] (calibration file; empty: none)
// 284 nom_instru char[128] (at most 39 characters)
// 412 Configuration int32 (display format 0..6)
// 416 Range_Start float32  420 Range_Stop float32  424 Gate_Start float32  428 Gate_Stop float32
// 432 ConfigS int32 (1..4 = S11, S12, S21, S22)   436 Freq_Temp int32 (domain 0..3)
// 440 Gate int32 (1..3)                            444 autoscale int32 (0 = yes, 1 = no)
// The run-time fields of the block (device descriptor, counters, panel handle) are kept for the
// file format only: a loaded block never gives a live handle.
#pragma once

// Catalogue type key "Analyseur_reseau.dll"; its table `anritsu` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"

// The texts and numbers of the exchanges below: configuration and command texts, point count,
// number fields, read-back codes.
#include "instruments/network/analyseur_commandes.h"

#include <string>

// ---- the analyser's exchanges on the bus -------------------------------------------------------

// Longest payload accepted for a trace or an axis block: every point with two fields, twice
// over. A longer announced length is refused without reading it into memory.
constexpr long kAnritsuChargeMax = 4L * kAnritsuLargeurChamp * kAnritsuPointsMax;

// Reads the header of the definite-length block that `ud` is sending ("#", a digit n of 1..9,
// n decimal digits of the length L) and gives L; -1 when the header is malformed, the reply
// ends or times out inside it, or L exceeds `longueur_max`; what the device still sends of a
// refused reply is read off and dropped. `sans_reponse`, when given, is set when a read failed
// (no reply in time, nobody there) rather than brought bytes that make no header.
long anritsu_read_block_header(int ud, long longueur_max, bool *sans_reponse = nullptr);
// Writes `commande` bare and reads its block: `count` numbers into `serie` (one field a point),
// or into `serie` and `seconde` (two fields a point, all of the first series before any of the
// second). True when the block came whole and holds the fields; false leaves the series as
// they were, and nothing of the reply unread.
bool anritsu_read_block(const char *commande, int ud, int count, double *serie);
bool anritsu_read_block_pairs(const char *commande, int ud, int count, double *serie, double *seconde);

// Name of the device lock of the analyser at primary address `adresse`, which the service-request
// cycle and every command to the analyser hold: "GPIB0:<adresse>".
std::string anritsu_nom_verrou(int adresse);

// Copies the analyser's trace file `nom` (at most 29 characters, no double quote) to the file
// `nom` of the current directory: "SAVE", "DISKRD" and its block, then "DEL" once the copy is
// whole, each written bare. The payload goes through a file "<nom>.part" renamed at the end, read
// in pieces of at most kAnritsuMorceauFichier bytes (a file up to that size comes with its end
// byte in one read). False when the local file cannot be written (nothing is sent), the block is
// malformed, short or late (the partial copy is removed, the analyser's file kept), or the
// name is not acceptable.
constexpr long kAnritsuMorceauFichier = 1L << 20;
bool anritsu_save_to_file(int ud, const char *nom);
