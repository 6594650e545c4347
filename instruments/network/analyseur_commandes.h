// "Anritsu MS4623B" network analyser: its texts and numbers, without the bus. The commands that
// set a measurement configuration, the translation of a command of `execute` into what is
// written, the point count and the number fields of a trace block, and the read-back of the
// analyser's state into the configuration panel (its replies and the code tables that give the
// panel's items). Pure functions, tested without a bus; the plugin (Analyseur_reseau.h) writes
// and reads them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// ---- the analyser's trace ----------------------------------------------------------------------

// Points of a trace that the record holds; the analyser's point count must lie in 1..1601.
constexpr int kAnritsuPointsMax = 1601;
// Characters of one number field of a block.
constexpr int kAnritsuLargeurChamp = 19;

// ---- measurement configuration -----------------------------------------------------------------

// A measurement configuration as the settings block holds it.
struct ReglagesAnritsu {
    int configuration = 0;  // display format 1..6 (any other: nothing is sent)
    int configS = 0;        // S-parameter 1..4
    int freq_temp = 0;      // domain: 1 frequency, 2 time bandpass, 3 frequency with time gate
    int gate = 0;           // 1 off, 2 on (with its limits), 3 display
    float range_start = 0, range_stop = 0, gate_start = 0, gate_stop = 0;
    int autoscale = 0;      // 0: autoscale after the display command
};
// The commands that set the analyser to `r`, in the order they are sent, each written bare.
// Limits go out as "<mnemonic> %e": "GST" the gate start, "GSP" the gate stop, "ZST" the range
// start, "ZSP" the range stop.
std::vector<std::string> anritsu_configuration_commands(const ReglagesAnritsu &r);

// ---- point count and number fields -------------------------------------------------------------

// The point count at the head of a reply to "ONCP" (its first 31 bytes), a decimal integer read
// as every reply's (nombres::LireEntier: blanks, sign, digits; a leading 0 is no octal, "0x" no
// hexadecimal); -1 when none stands there or it lies outside 1..kAnritsuPointsMax.
int anritsu_parse_point_count(std::string_view reponse);

// Converts `count` numbers from `charge`, the payload of a block: number i starts at byte
// `pas` * i + `decalage`; blanks before it are skipped (past its field if need be, never past
// the payload); it is taken in single precision. A field that holds no number repeats the value
// before it in the series (0 for the first). False, and nothing stored, when the payload holds
// fewer than `count` fields of `pas` bytes, or `count` lies outside 0..kAnritsuPointsMax.
bool anritsu_convert_fields(std::string_view charge, int count, int pas, int decalage, double *serie);

// ---- command language --------------------------------------------------------------------------

// Longest command `execute` takes, and longest trace-file name.
constexpr std::size_t kAnritsuCommandeMax = 254;
constexpr std::size_t kAnritsuNomFichierMax = 29;

// What one command asks of the analyser.
struct CommandeAnritsu {
    std::vector<std::string> ecritures;  // each write's exact bytes, in order (NUL included)
    std::string fichier;                 // "SAVE": the trace file's name, upper case; else empty
    bool operator==(const CommandeAnritsu &) const = default;
};
// The translation of `chaine` with the display format `configuration` the acquisition runs
// with (see the table of Analyseur_reseau.h); nothing to write and no file for a text that asks nothing.
CommandeAnritsu anritsu_traduire_commande(const char *chaine, int configuration);

// ---- read-back ---------------------------------------------------------------------------------

// The start of a reply (at most 30 bytes) read as a decimal integer or a decimal number in
// single precision, after blanks; false when none starts there (or it is out of range).
bool anritsu_reponse_entier(std::string_view reponse, int &valeur);
bool anritsu_reponse_nombre(std::string_view reponse, float &valeur);
// The item a reply code selects: "GOF?" in the gate-mode ring, "GRF?" in the display-format
// ring, "TDX?" in the domain ring, "SXX?" in the S-parameter ring; -1 for a code without one.
enum class LectureAnritsu { Porte, Format, Domaine, Parametre };
int anritsu_valeur_controle(LectureAnritsu lecture, int code);
