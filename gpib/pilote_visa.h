// What the two VISA instrument drivers (the counter's, gpib/HP5313XA.h, and the multimeter's,
// gpib/hp34401a.h) share: their status codes, argument checks, the opening and closing of a
// driver session, the utility exchanges (raw write and read, error and revision queries, file
// transfer), the command texts they build and the replies they read.
//
// A driver never shows anything: every failure is a status. Its own codes are 0x3FFC.... for
// warnings and 0xBFFC.... for errors; VISA's pass through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/visa.h"

using ViReal32 = float;
using ViReal64 = double;

// ---- status codes of the instrument drivers -----------------------------------------------
constexpr ViStatus VI_WARN_NSUP_ID_QUERY = 0x3FFC0101;
constexpr ViStatus VI_WARN_NSUP_RESET = 0x3FFC0102;
constexpr ViStatus VI_WARN_NSUP_SELF_TEST = 0x3FFC0103;
constexpr ViStatus VI_WARN_NSUP_ERROR_QUERY = 0x3FFC0104;
constexpr ViStatus VI_WARN_NSUP_REV_QUERY = 0x3FFC0105;
// Argument n out of range (n counts every argument from 1, the session being 1).
constexpr ViStatus VI_ERROR_PARAMETER1 = static_cast<ViStatus>(0xBFFC0001u);
constexpr ViStatus VI_ERROR_PARAMETER2 = static_cast<ViStatus>(0xBFFC0002u);
constexpr ViStatus VI_ERROR_PARAMETER3 = static_cast<ViStatus>(0xBFFC0003u);
constexpr ViStatus VI_ERROR_PARAMETER4 = static_cast<ViStatus>(0xBFFC0004u);
constexpr ViStatus VI_ERROR_PARAMETER5 = static_cast<ViStatus>(0xBFFC0005u);
constexpr ViStatus VI_ERROR_PARAMETER6 = static_cast<ViStatus>(0xBFFC0006u);
constexpr ViStatus VI_ERROR_PARAMETER7 = static_cast<ViStatus>(0xBFFC0007u);
constexpr ViStatus VI_ERROR_PARAMETER8 = static_cast<ViStatus>(0xBFFC0008u);
constexpr ViStatus VI_ERROR_FAIL_ID_QUERY = static_cast<ViStatus>(0xBFFC0011u);
constexpr ViStatus VI_ERROR_INV_RESPONSE = static_cast<ViStatus>(0xBFFC0012u);
constexpr ViStatus VI_ERROR_FILE_OPEN = static_cast<ViStatus>(0xBFFC0800u);
constexpr ViStatus VI_ERROR_FILE_WRITE = static_cast<ViStatus>(0xBFFC0801u);
constexpr ViStatus VI_ERROR_INTERPRETING_RESPONSE = static_cast<ViStatus>(0xBFFC0803u);

// Size of the texts the drivers hand back (messages, revisions) when the caller names none.
constexpr std::size_t kTailleTextePilote = 256;

// One row of a driver's status-text table; the table ends with a row whose text is null.
struct PaireStatutTexte {
    ViStatus stringVal;
    const char *stringName;
};

// The rows that both drivers' status-text tables begin with.
#define PILOTE_TEXTES_COMMUNS                                                                \
    {VI_WARN_NSUP_ID_QUERY, "WARNING: ID Query not supported"},                              \
    {VI_WARN_NSUP_RESET, "WARNING: Reset not supported"},                                    \
    {VI_WARN_NSUP_SELF_TEST, "WARNING: Self-test not supported"},                            \
    {VI_WARN_NSUP_ERROR_QUERY, "WARNING: Error Query not supported"},                        \
    {VI_WARN_NSUP_REV_QUERY, "WARNING: Revision Query not supported"},                       \
    {VI_ERROR_PARAMETER1, "ERROR: Parameter 1 out of range"},                                \
    {VI_ERROR_PARAMETER2, "ERROR: Parameter 2 out of range"},                                \
    {VI_ERROR_PARAMETER3, "ERROR: Parameter 3 out of range"},                                \
    {VI_ERROR_PARAMETER4, "ERROR: Parameter 4 out of range"},                                \
    {VI_ERROR_PARAMETER5, "ERROR: Parameter 5 out of range"},                                \
    {VI_ERROR_PARAMETER6, "ERROR: Parameter 6 out of range"},                                \
    {VI_ERROR_PARAMETER7, "ERROR: Parameter 7 out of range"},                                \
    {VI_ERROR_PARAMETER8, "ERROR: Parameter 8 out of range"},                                \
    {VI_ERROR_FAIL_ID_QUERY, "ERROR: Identification query failed"},                          \
    {VI_ERROR_INV_RESPONSE, "ERROR: Interpreting instrument response"},                      \
    {VI_ERROR_FILE_OPEN, "ERROR: Opening the specified file"},                               \
    {VI_ERROR_FILE_WRITE, "ERROR: Writing to the specified file"},                           \
    {VI_ERROR_INTERPRETING_RESPONSE, "ERROR: Interpreting the instrument's response"}

// Defines a driver's seven argument checks, under its prefix, on those below.
#define PILOTE_DEFINIR_VERIFICATIONS(prefixe)                                                \
    ViBoolean prefixe##_invalidViBooleanRange(ViBoolean val) {                               \
        return pilote::BooleenInvalide(val);                                                 \
    }                                                                                        \
    ViBoolean prefixe##_invalidViInt16Range(ViInt16 val, ViInt16 min, ViInt16 max) {         \
        return pilote::EntierInvalide(val, min, max);                                        \
    }                                                                                        \
    ViBoolean prefixe##_invalidViInt32Range(ViInt32 val, ViInt32 min, ViInt32 max) {         \
        return pilote::EntierInvalide(val, min, max);                                        \
    }                                                                                        \
    ViBoolean prefixe##_invalidViUInt16Range(ViUInt16 val, ViUInt16 min, ViUInt16 max) {     \
        return pilote::EntierInvalide(val, min, max);                                        \
    }                                                                                        \
    ViBoolean prefixe##_invalidViUInt32Range(ViUInt32 val, ViUInt32 min, ViUInt32 max) {     \
        return pilote::EntierInvalide(val, min, max);                                        \
    }                                                                                        \
    ViBoolean prefixe##_invalidViReal32Range(ViReal32 val, ViReal32 min, ViReal32 max) {     \
        return pilote::ReelInvalide(val, min, max);                                          \
    }                                                                                        \
    ViBoolean prefixe##_invalidViReal64Range(ViReal64 val, ViReal64 min, ViReal64 max) {     \
        return pilote::ReelInvalide(val, min, max);                                          \
    }

namespace pilote {

// ---- argument checks: true when the value is invalid (bounds included) --------------------
constexpr bool BooleenInvalide(ViBoolean v) { return v != VI_FALSE && v != VI_TRUE; }
template <class T>
constexpr bool EntierInvalide(T v, T min, T max) {
    return v < min || v > max;
}
// A value that is not a number fails both comparisons and is invalid.
constexpr bool ReelInvalide(double v, double min, double max) { return min > v || !(max >= v); }
// The value truncated toward zero as a 16-bit integer; false when it has none (not a number,
// or outside the 16-bit range).
bool TronquerEntier16(double v, ViInt16 &entier);

// ---- status texts -------------------------------------------------------------------------
// VISA's text of `code`; for a code VISA does not know, the row of `table`, else
// "Unknown Error 0x%08lX" and VI_WARN_UNKNOWN_STATUS. `message` holds 256 characters.
ViStatus MessageErreur(const PaireStatutTexte table[], ViSession vi, ViStatus code, ViChar message[]);

// ---- sessions -----------------------------------------------------------------------------
// What makes one driver's session.
struct Cadre {
    const char *identite;          // the beginning of the identity reply (22 characters)
    ViUInt32 tailleIdentite;       // bytes read for the identity reply
    ViStatus (*reset)(ViSession);
    ViStatus (*reglageParDefaut)(ViSession);
    void (*libererDonnees)(ViSession);  // releases what the driver attached; may be null
};
// Opens the session (arguments already checked): resource manager, session, time-out 10000 ms,
// 4000-byte formatted buffers flushed on access, identity check, reset or default set-up. Any
// failure after the opening closes everything and sets *vi to VI_NULL.
ViStatus Ouvrir(const Cadre &cadre, const ViChar nom[], ViBoolean identite, ViBoolean reset,
                ViSession *vi);
// The clean-up of a failed opening: releases the driver's data, closes the session and its
// resource manager, sets *vi to VI_NULL and returns `statut`.
ViStatus Nettoyer(const Cadre &cadre, ViSession rm, ViSession *vi, ViStatus statut);
// Closes a session and its resource manager; the status of closing the session. When the
// resource manager cannot be read nothing is closed and that status is returned.
ViStatus Fermer(const Cadre &cadre, ViSession vi);

// ---- exchanges ----------------------------------------------------------------------------
// One unformatted write of exactly `texte`.
ViStatus Ecrire(ViSession vi, std::string_view texte);
// One formatted write of `commande`, unchanged (percent signs included), sent at once.
ViStatus EcrireTexte(ViSession vi, const ViChar commande[]);
// One unformatted read of at most `compte` bytes; a negative count is argument 2's error.
ViStatus LireBrut(ViSession vi, ViInt16 compte, ViByte tampon[], ViInt32 *lus);
// Copies `texte` into `destination` of `capacite` bytes, cut to fit, always terminated.
void CopierTexte(ViChar destination[], std::size_t capacite, std::string_view texte);
// Writes `question` and reads one reply with the error query's format: a signed code, a comma,
// the message between double quotes (cut to `capacite`).
ViStatus RequeteErreur(ViSession vi, std::string_view question, long *code, ViChar message[],
                       std::size_t capacite);
// "*IDN?", then the fourth field of the identity as the instrument's revision; the driver's
// revision text is copied only after a successful read.
ViStatus Revisions(ViSession vi, const char *revisionPilote, ViChar revisionPiloteSortie[],
                   ViChar revisionInstrument[], std::size_t capacite);
// Raw data between a file and the instrument, in chunks of `morceau` bytes (at most 512).
ViStatus LireVersFichier(ViSession vi, const ViChar fichier[], ViUInt32 compte, ViUInt32 *ecrits,
                         ViUInt32 morceau);
ViStatus EcrireDepuisFichier(ViSession vi, const ViChar fichier[], ViUInt32 compte,
                             ViUInt32 *envoyes, ViUInt32 morceau);
// Serial polls back to back until the status byte has a bit of `masque`, for at most the
// session's time-out on the program's clock (VI_ERROR_TMO then).
ViStatus AttendreOctetEtat(ViSession vi, ViUInt16 masque);

// ---- command texts ------------------------------------------------------------------------
// A command text of at most 255 characters built in place. A piece that does not fit (or a
// number that cannot be written) marks the text as overflowed; nothing is written past it.
class Commande {
public:
    Commande &Ajouter(const char *format, ...) __attribute__((format(printf, 2, 3)));
    // A real number in fixed-point notation with six decimals ("%f"), or in exponent notation
    // ("%E") when six decimals would lose it (1e-9 is not 0.000000). Not a number or infinite:
    // overflow.
    Commande &Reel(double v);
    bool Deborde() const { return deborde_; }
    std::string_view Texte() const { return {texte_, n_}; }

private:
    char texte_[256] = {};
    std::size_t n_ = 0;
    bool deborde_ = false;
};

// ---- replies ------------------------------------------------------------------------------
// Conversions at the head of `s`, which they advance past what they read, as gpib/nombres.h
// reads numbers: leading white space skipped, a decimal with optional sign, point and exponent,
// an integer with optional sign and digits. False (and `s` unchanged) when nothing converts.
bool LireReel(std::string_view &s, double &v);
bool LireEntier(std::string_view &s, long &v);
// Skips the one character that ends a value (a separator), if any.
void SauterUn(std::string_view &s);

}  // namespace pilote
