// Bench synchronisation: in the synchronised recording mode, whatever controls the bench drops a
// set-point file into a watched directory; each file starts one measurement with its own record
// file, duration and sampling period.
//
// The three callbacks (declared by the generated header "uir/Interface.h") live in synchro.cpp:
// - CB_synchrobanc, toggle TBN_Synchobanc of P_Synchro: switches the directory watch on
//   (directory chooser, timer T_synchrobanc) and off (hides P_Synchro, gives the start/stop
//   button back, stops both timers, closes the record files);
// - CB_T_Synchroban, timer T_synchrobanc: looks for the set-point file and takes it;
// - CB_T_Attente, timer T_Attente: ends the measurement and watches again.
//
// Set-point file: three lines "label;value" (CR LF or LF), the label ignored:
//   1. the measurement name: the first word after the first ';', cut to 9 characters;
//   2. the duration in whole seconds (decimal integer, text after the digits ignored), >= 1;
//   3. the sampling period in whole seconds, >= 1 and <= the duration.
// Lines after the third are ignored; lines longer than 255 characters are cut to 255.
// A file whose last line is ended is taken at the first watch tick that finds it; one that is
// still being written (its last line not ended yet, or grown since the previous tick) waits for
// a later tick. A file written in UTF-8 (a Linux editor) is read as its Windows-1252 twin; its
// characters that Windows-1252 lacks read as "?" and are reported on the status list.
// The name becomes file names in the watched directory, so a name that could leave it or that
// a file system refuses (a path separator, ':', "..", * ? " < > | or control characters) makes
// the file invalid.
#pragma once

#include <cstddef>
#include <string_view>

// Longest line of a set-point file that is read; the rest of a longer line is dropped.
inline constexpr std::size_t kLongueurLigneConsigne = 255;
// Longest measurement name kept (the first word of line 1).
inline constexpr std::size_t kLongueurNomMesure = 9;
// Longest duration that the end-of-measurement timer can hold (its interval is counted in
// whole milliseconds in an int): a longer one makes the file invalid.
inline constexpr int kDureeMaxConsigne = 2147483;

// One measurement asked for by the bench.
struct ConsigneBanc {
    char nom[kLongueurNomMesure + 1] = "";
    int duree = 0;    // seconds
    int periode = 0;  // seconds
};

// Reads the set-point in `texte` (the file's bytes from its start; only its first three lines
// matter). Returns true and fills `consigne` when the content is valid; false otherwise, and
// `consigne` is then unspecified.
bool Lire_consigne(std::string_view texte, ConsigneBanc &consigne);

// True when `nom` may be used as a measurement name: a word that names a file of the watched
// directory and nothing outside it.
bool Nom_mesure_valide(std::string_view nom);
