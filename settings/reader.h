// Key=value reader: reads a small text file of "key=value" lines into three typed lists
// (integers, reals, texts) and answers lookups by key. The kind of a value is decided by how it
// is written: between double quotes a text, holding a "." a real, otherwise an integer.
//
// A line is cleaned before it is split: a double quote flips a quote flag and is kept, a space
// outside quotes is dropped, a ";" ends the line (inside quotes too); tab, carriage return and
// line feed are ordinary characters. The key is everything before the first "="; the value
// everything after it, each further "=" dropped. Lines of more than 255 characters (line end
// counted) are read as two or more lines. The file is read as a text file of the Windows
// program (0x0D 0x0A is one line end). Numbers are read in the C locale, whatever the process
// locale. Nothing is ever shown: failures are 0 results, absent keys give 0, 0.0 or null.
//
// A table belongs to its caller and serves one thread at a time; the reader keeps no state.
#pragma once

#include <cstddef>

// The table: for each kind, its keys and values in file order, and their count. Every array
// holds exactly as many elements as its kind's count (null when 0). The table owns the arrays
// and every key and text copy.
struct reader_lists {
    char **int_words;
    int *int_values;
    int int_N;
    char **double_words;
    double *double_values;
    int double_N;
    char **string_words;
    char **string_values;
    int string_N;
};

// Size of the line, key, value and text buffers of a read.
constexpr std::size_t kTailleLigneLecteur = 256;

// Sets every field to zero or null (releases nothing). Returns 1.
int reader_init(reader_lists *table);
// Appends the entries of the file at `chemin` after those already in the table. 1 once the file
// has been read to its end; 0 when it cannot be opened (the table is then unchanged).
int reader_load_file(const char *chemin, reader_lists *table);
// Value of the first entry of the kind asked for whose key equals `cle` (case-sensitive); 0,
// 0.0 or null when there is none. A text returned is the table's own copy, valid until
// reader_free.
int reader_return_int(const char *cle, const reader_lists *table);
double reader_return_double(const char *cle, const reader_lists *table);
const char *reader_return_string(const char *cle, const reader_lists *table);
// The same lookups telling whether the key is there: 1 with `*valeur` set, 0 (unchanged).
int reader_find_int(const char *cle, const reader_lists *table, int *valeur);
int reader_find_double(const char *cle, const reader_lists *table, double *valeur);
// Releases everything the table owns. The fields keep their values: reader_init before reuse.
int reader_free(reader_lists *table);

// ---- the steps of a read, each usable alone ---------------------------------------------------

// Cleans `ligne` in place (see above). 0 for a null line or when the working copy cannot be
// allocated (the line is then left as it was), else 1.
int reader_extract_string(char *ligne);
// Splits a cleaned line at its first "=": the key into `cle`, the value into `valeur`, each
// cut to `taille` bytes with its terminator. Only the characters copied are written, so an
// empty key or value leaves its buffer as it was. 0 when the line holds no "=" (the key then
// holds the whole line), else 1.
int reader_extract_values(const char *ligne, char *cle, char *valeur,
                          std::size_t taille = kTailleLigneLecteur);
// 3 for a text (first and last characters are double quotes), 2 for a real (holds a "."),
// otherwise 1 for an integer (the empty value included).
int reader_return_rvalue_type(const char *valeur);
// Decimal integer after optional white space and sign, up to the first other character (0
// without digits), brought into the int range. Returns 1.
int reader_convert_rvalue_to_int(const char *valeur, int *entier);
// Real number at the start of the value (as strtod in the C locale; 0.0 without one). Returns 1.
int reader_convert_rvalue_to_double(const char *valeur, double *reel);
// The value without its first and last characters into `texte` (cut to `taille` bytes with its
// terminator). 0 for a value shorter than 3 characters (`texte` unchanged), else 1.
int reader_convert_rvalue_to_string(const char *valeur, char *texte,
                                    std::size_t taille = kTailleLigneLecteur);
// Store an item as element N (counted from 1) of the caller's array, resized to exactly N
// elements; a null array is allocated with one element, for N = 1. A text is stored as a
// fresh copy. 0 (array unchanged) when memory cannot be obtained or N does not fit the array.
int reader_add_string_to_list(const char *texte, char ***liste, int N);
int reader_add_int_to_list(int entier, int **liste, int N);
int reader_add_double_to_list(double reel, double **liste, int N);
