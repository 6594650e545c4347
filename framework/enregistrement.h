// Record files and the data marker: what an acquisition leaves on disk.
//
// One main record file: a header line, then one tab-separated row per written sample (date,
// time, marker, elapsed seconds, then value and reading number of every measured scalar
// channel, then the value of every computed scalar channel). Beside it, one vector record file
// per instrument that offers vector channels: a header line, then at every `sous_ech_2D`-th
// call of Ecriture_donnees (counted since the program started) a text line followed by the raw
// vectors as little-endian doubles. Everything here runs on the user-interface thread.
//
// Bytes of the files
// - Main file: Windows-1252 text, every line ended by CR LF (written explicitly). Values are
//   written as C's "%e" when 1.0 >= |v| (0, 1.0 and -1.0 included) and as "%f" otherwise (a
//   NaN too), six digits after ".", whatever the locale; the exponent has at least two digits
//   ("1.000000e+00", "4.940656e-324"); a NaN is "nan" ("-nan" when its sign bit is set, as the
//   C library of this platform prints it), infinities "inf" and "-inf". Reading numbers are
//   unsigned decimals, elapsed seconds signed decimals.
// - Vector files: the text parts end with LF alone; each record's text line is followed
//   directly by the abscissae then the values of every vector channel, as 8-byte little-endian
//   doubles, measured channels first, then computed ones.
// - The marker, instrument names and channel names are written byte for byte.
//
// Vector file names: "<path up to its last '.'>-<instrument name>.<text after that '.'>", the
// last '.' of the whole path (so a '.' in a directory name of a path whose file name has none
// puts the instrument name into that directory name); without any '.', "<path>-<instrument
// name>". Names are taken as they stand: a file name that the file system refuses leaves that
// instrument without a vector file. When that name designates a file already open in the same
// set (two instruments of one name, or names that the file system takes for one file), the
// later instrument's file gets "-<tatoo>" after its name ("essai-Oscillo-7.xls"), so that no two
// instruments ever share one file.
#pragma once

#include "framework/instrument.h"

#include <cstddef>

// Opens the set of record files for `fichier` (the main record file, truncated) and the
// instruments of `liste`, after closing whatever set was open. Returns 0 when every file
// opened, otherwise minus the number of files (main and vector alike) that could not be opened;
// the files that did open stay open. A null path counts as a main file that cannot be opened
// (and gives no vector file name).
int Ouvrir_enregistrement(const char *fichier, fichei *liste);

// Writes one row into the main record file if it is open; counts the call; and when the count
// of calls since the program started is a multiple of `sous_ech_2D` (every call when
// `sous_ech_2D` is 0 or less), appends a vector record to every open vector record file.
void Ecriture_donnees(fichei *liste);

// Closes the main record file and every vector record file of `liste`. Safe when nothing is
// open.
void Fermer_enregistrement(fichei *liste);
// The same; then, when a set was open and a file of it had a write or closing failure (full
// disk, removed medium), says so on the status list of `panel` ("Erreur d'écriture : le fichier
// d'enregistrement est incomplet (<record path>)") and counts those failures as reported
// (Fichiers_en_erreur() is 0 afterwards).
void Fermer_enregistrement_signale(fichei *liste, int panel);

// Sets the data marker to the first 254 bytes of `texte` (null: the empty marker), taken as
// plain text, and shows it in control `control` of `panel`.
void Marquer_donnees(const char *texte, int panel, int control);

// The text of one value of a row, as C's "%e" prints it when 1.0 >= |regle| and as "%f"
// otherwise (a NaN `regle` too), six digits after the point, in the C locale: written at `d`,
// which has room for kLongueurValeurMax bytes; returns the end (no terminating NUL).
constexpr std::size_t kLongueurValeurMax = 330;  // "-", 309 digits, ".", 6 digits
char *Ecrire_valeur(char *d, double regle, double v);

// ---- read-only state ----------------------------------------------------------------------

// Number of calls of Ecriture_donnees since the program started.
long long Nombre_ecritures();
// The current data marker.
const char *Marqueur_courant();
// True while the main record file is open.
bool Enregistrement_ouvert();
// Number of record files of the current (or last) set in which a write or the closing failed
// (full disk, removed medium) since that set was opened, unless Fermer_enregistrement_signale
// has reported them. Such a file goes on being written (what remains may still fit) until the
// set is closed; the caller may report the failure.
int Fichiers_en_erreur();
