// Instrument driver of the HP 34401A digital multimeter, over VISA.
#include "gpib/hp34401a.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string_view>

using pilote::Commande;

const PaireStatutTexte hp34401a_stringValPair[] = {
    PILOTE_TEXTES_COMMUNS,
    {hp34401a_ERROR_SECURITY_CODE, "ERROR: Security code too long"},
    {hp34401a_ERROR_STAMP, "ERROR: STAMP TOO LONG"},
    {hp34401a_ERROR_DATA_RANGE, "ERROR: Data outoff range."},
    {VI_NULL, nullptr},
};

namespace {

constexpr const char *kRevisionPilote = "Rev 1.0b, 9/95, CVI 3.1";
constexpr const char *kIdentite = "HEWLETT-PACKARD,34401A";
constexpr ViUInt32 kTailleIdentite = 256;
constexpr ViUInt32 kMorceauFichier = 256;
constexpr ViUInt32 kDelaiSession = 10000;  // ms
constexpr ViUInt32 kTailleReponse = 256;

// ---- keyword tables (index = the argument's value) ---------------------------------------------
struct Fonction {
    const char *mot;
    bool gammeVerifiee;  // a manual range is checked against [min, max]
    double min, max;
};
constexpr Fonction kFonctions[] = {
    {"VOLT:AC", true, 0.0, 100.0},      {"VOLT", true, 0.0, 100.0},    {"VOLT:RAT", false, 0.0, 0.0},
    {"CURR:AC", true, 0.0, 3.0},        {"CURR", true, 0.0, 3.0},      {"RES", true, 0.0, 100000000.0},
    {"FRES", true, 0.0, 100000000.0},   {"FREQ", true, 3.0, 300000.0}, {"PER", true, 0.0000033, 0.33},
    {"CONT", false, 0.0, 0.0},          {"DIOD", false, 0.0, 0.0},
};
constexpr ViInt16 kContinuite = 9;
constexpr const char *kResolutions[] = {"MAX", "DEF", "MIN"};
constexpr const char *kSourcesDeclenchement[] = {"IMM", "EXT", "BUS"};
constexpr const char *kZeroAuto[] = {"OFF", "ON", "ONCE"};
constexpr const char *kImpedanceAuto[] = {"OFF", "ON"};
constexpr const char *kFonctionsMath[] = {"NULL", "AVER", "DB", "DBM", "LIM"};
constexpr const char *kEtatsBip[] = {"OFF", "ON"};
constexpr const ViChar *kTerminaux[] = {"REAR", "FRON"};

bool Booleen(ViBoolean v) { return pilote::BooleenInvalide(v); }
bool Entier16(ViInt16 v, ViInt16 min, ViInt16 max) { return pilote::EntierInvalide(v, min, max); }
bool Naturel16(ViUInt16 v, ViUInt16 min, ViUInt16 max) { return pilote::EntierInvalide(v, min, max); }
bool TexteTropLong(const ViChar texte[], std::size_t max) {
    return texte == nullptr || std::strlen(texte) > max;
}

// Sends the command; with `verifier`, the status check after it. The write's status, or the
// first failure.
ViStatus Envoyer(ViSession vi, const Commande &c, bool verifier) {
    if (c.Deborde()) return VI_ERROR_INV_PARAMETER;
    const ViStatus ecriture = pilote::Ecrire(vi, c.Texte());
    if (ecriture < 0 || !verifier) return ecriture;
    const ViStatus verification = hp34401a_checkInstrStatus(vi);
    return verification < 0 ? verification : ecriture;
}

ViStatus EnvoyerTexte(ViSession vi, const char *texte, bool verifier) {
    Commande c;
    c.Ajouter("%s", texte);
    return Envoyer(vi, c, verifier);
}

// One read of at most 256 bytes of the reply.
ViStatus LireReponse(ViSession vi, char (&reponse)[kTailleReponse], std::string_view &lu) {
    ViUInt32 n = 0;
    const ViStatus statut = viRead(vi, reponse, kTailleReponse, &n);
    if (statut < 0) return statut;
    lu = std::string_view(reponse, n);
    return statut;
}

// A query: writes `question`, reads the reply and hands it to `lire`, which is false when it
// cannot read it. The read's status, or VI_ERROR_INTERPRETING_RESPONSE.
template <class Lire>
ViStatus Interroger(ViSession vi, std::string_view question, Lire lire) {
    ViStatus statut = pilote::Ecrire(vi, question);
    if (statut < 0) return statut;
    char reponse[kTailleReponse];
    std::string_view lu;
    if ((statut = LireReponse(vi, reponse, lu)) < 0) return statut;
    return lire(lu) ? statut : VI_ERROR_INTERPRETING_RESPONSE;
}

// Reads off and drops the rest of a reply whose first read stopped at its byte count (the
// readings that did not fit), up to its END, so that the next query reads its own reply. Bounded
// by the longest reply 32767 readings can make; a read that fails ends it.
void SauterResteReponse(ViSession vi, ViStatus statut) {
    constexpr int kMorceauxMax = 4096;  // 1 MiB in reads of 256 bytes
    char reste[kTailleReponse];
    for (int i = 0; statut == VI_SUCCESS_MAX_CNT && i < kMorceauxMax; ++i) {
        ViUInt32 n = 0;
        statut = viRead(vi, reste, kTailleReponse, &n);
    }
}

// The end of the two multi-reading operations, once the count is known: checks it (at least one
// reading, and room for them all: otherwise nothing is stored or sent), stores it, sends
// `lancement`, sets the time-out, reads and parses the readings. The attribute's status.
ViStatus LireLectures(ViSession vi, double compte, ViInt16 *nombre, ViReal64 lectures[],
                      ViInt32 capacite, ViStatus codeLectures, std::string_view lancement,
                      ViInt16 delai) {
    ViInt16 n = 0;
    if (!pilote::TronquerEntier16(compte, n) || n > capacite) return codeLectures;
    if (n < 1) return VI_ERROR_INTERPRETING_RESPONSE;
    *nombre = n;
    ViStatus statut = pilote::Ecrire(vi, lancement);
    if (statut < 0) return statut;
    const ViStatus attribut = viSetAttribute(vi, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(delai));
    if (attribut < 0) return attribut;
    char reponse[kTailleReponse];
    std::string_view lu;
    if ((statut = LireReponse(vi, reponse, lu)) < 0) return VI_ERROR_TMO;
    SauterResteReponse(vi, statut);
    for (ViInt16 i = 0; i < n; ++i) {
        if (!pilote::LireReel(lu, lectures[i])) return VI_ERROR_INTERPRETING_RESPONSE;
        pilote::SauterUn(lu);
    }
    return attribut;
}

// ":TRIG:COUN?;:SAMP:COUN?": trigger count times sample count.
ViStatus LireCompte(ViSession vi, double &compte) {
    return Interroger(vi, ":TRIG:COUN?;:SAMP:COUN?\r\n", [&compte](std::string_view lu) {
        double declenchements = 0.0;
        long echantillons = 0;
        if (!pilote::LireReel(lu, declenchements)) return false;
        pilote::SauterUn(lu);
        if (!pilote::LireEntier(lu, echantillons)) return false;
        compte = std::trunc(declenchements * static_cast<ViInt16>(echantillons));
        return true;
    });
}

ViStatus ReglageParDefaut(ViSession) { return VI_SUCCESS; }

constexpr pilote::Cadre kCadre = {kIdentite, kTailleIdentite, hp34401a_reset, ReglageParDefaut, nullptr};

}  // namespace

PILOTE_DEFINIR_VERIFICATIONS(hp34401a)

// ---- session --------------------------------------------------------------------------------

ViStatus hp34401a_init(const ViChar resourceName[], ViBoolean idQuery, ViBoolean resetDevice,
                       ViSession *vi) {
    if (Booleen(idQuery)) return VI_ERROR_PARAMETER2;
    if (Booleen(resetDevice)) return VI_ERROR_PARAMETER3;
    if (vi == nullptr) return VI_ERROR_PARAMETER4;
    return pilote::Ouvrir(kCadre, resourceName, idQuery, resetDevice, vi);
}

ViStatus hp34401a_initCleanUp(ViSession rm, ViSession *vi, ViStatus statut) {
    return pilote::Nettoyer(kCadre, rm, vi, statut);
}

ViStatus hp34401a_defaultInstrSetup(ViSession vi) { return ReglageParDefaut(vi); }

ViStatus hp34401a_reset(ViSession vi) {
    ViStatus statut = pilote::Ecrire(vi, "*CLS\r\n");
    if (statut < 0) return statut;
    if ((statut = hp34401a_defaultInstrSetup(vi)) < 0) return statut;
    return viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDelaiSession);
}

ViStatus hp34401a_close(ViSession vi) { return pilote::Fermer(kCadre, vi); }

ViStatus hp34401a_errorMessage(ViSession vi, ViStatus code, ViChar message[]) {
    return pilote::MessageErreur(hp34401a_stringValPair, vi, code, message);
}

// ---- utility --------------------------------------------------------------------------------

ViStatus hp34401a_writeInstrData(ViSession vi, const ViChar writeBuffer[]) {
    return pilote::EcrireTexte(vi, writeBuffer);
}

ViStatus hp34401a_readInstrData(ViSession vi, ViInt16 numberBytesToRead, ViChar readBuffer[],
                                ViInt32 *numBytesRead) {
    return pilote::LireBrut(vi, numberBytesToRead, reinterpret_cast<ViByte *>(readBuffer), numBytesRead);
}

ViStatus hp34401a_selfTest(ViSession vi, ViInt16 *selfTestResult, ViChar selfTestMessage[],
                           std::size_t taille) {
    if (selfTestResult == nullptr) return VI_ERROR_PARAMETER2;
    ViStatus statut = pilote::Ecrire(vi, "*TST?\r\n");
    if (statut < 0) return statut;
    if ((statut = viScanf(vi, "%hd", selfTestResult)) < 0) return statut;
    char texte[16];
    std::snprintf(texte, sizeof texte, "%d", *selfTestResult);
    pilote::CopierTexte(selfTestMessage, taille, texte);
    return statut;
}

ViStatus hp34401a_errorQuery(ViSession vi, ViInt32 *errorCode, ViChar errorMessage[],
                             std::size_t taille) {
    long code = 0;
    const ViStatus statut = pilote::RequeteErreur(vi, ":SYST:ERR?\r\n", &code, errorMessage, taille);
    if (statut >= 0 && errorCode != nullptr) *errorCode = static_cast<ViInt32>(code);
    return statut;
}

ViStatus hp34401a_revisionQuery(ViSession vi, ViChar driverRev[], ViChar instrRev[],
                                std::size_t taille) {
    return pilote::Revisions(vi, kRevisionPilote, driverRev, instrRev, taille);
}

ViStatus hp34401a_readToFile(ViSession vi, const ViChar filename[], ViUInt32 readBytes,
                             ViUInt32 *retCount) {
    return pilote::LireVersFichier(vi, filename, readBytes, retCount, kMorceauFichier);
}

ViStatus hp34401a_writeFromFile(ViSession vi, const ViChar filename[], ViUInt32 writeBytes,
                                ViUInt32 *retCount) {
    return pilote::EcrireDepuisFichier(vi, filename, writeBytes, retCount, kMorceauFichier);
}

ViStatus hp34401a_checkInstrStatus(ViSession vi) {
    // The register is read, which clears it; its bits are not interpreted.
    return Interroger(vi, "*ESR?\r\n", [](std::string_view lu) {
        long registre = 0;
        return pilote::LireEntier(lu, registre);
    });
}

ViStatus hp34401a_stringToInt(const ViChar *const table[], ViInt16 first, ViInt16 last,
                              const ViChar text[], ViInt16 *index) {
    if (table == nullptr || text == nullptr) return VI_ERROR_INTERPRETING_RESPONSE;
    for (ViInt16 i = first; i <= last; ++i) {
        if (table[i] == nullptr || strcasecmp(table[i], text) != 0) continue;
        if (index != nullptr) *index = i;
        return VI_SUCCESS;
    }
    return VI_ERROR_INTERPRETING_RESPONSE;
}

// ---- measurement configuration and triggering ----------------------------------------------

ViStatus hp34401a_conf(ViSession vi, ViInt16 function, ViBoolean autoRange, ViReal64 range,
                       ViInt16 resolution) {
    if (Entier16(function, 0, 10)) return VI_ERROR_PARAMETER2;
    if (Booleen(autoRange)) return VI_ERROR_PARAMETER3;
    const Fonction &f = kFonctions[function];
    if (autoRange == VI_FALSE && f.gammeVerifiee && pilote::ReelInvalide(range, f.min, f.max))
        return VI_ERROR_PARAMETER4;
    if (Entier16(resolution, 0, 2)) return VI_ERROR_PARAMETER5;
    Commande c;
    if (function >= kContinuite) {
        c.Ajouter(":CONF:%s\r\n", f.mot);
    } else if (autoRange == VI_TRUE) {
        c.Ajouter(":CONF:%s AUTO,%s\r\n", f.mot, kResolutions[resolution]);
    } else {
        c.Ajouter(":CONF:%s ", f.mot);
        if (c.Reel(range).Ajouter(",%s\r\n", kResolutions[resolution]).Deborde()) return VI_ERROR_PARAMETER4;
    }
    return Envoyer(vi, c, false);
}

ViStatus hp34401a_confTrig(ViSession vi, ViInt16 triggerSource, ViBoolean autoDelay,
                           ViReal64 triggerDelay, ViInt32 triggerCount, ViInt32 sampleCount) {
    if (Entier16(triggerSource, 0, 2)) return VI_ERROR_PARAMETER2;
    if (Booleen(autoDelay)) return VI_ERROR_PARAMETER3;
    if (pilote::ReelInvalide(triggerDelay, 0.0, 3600.0)) return VI_ERROR_PARAMETER4;
    if (pilote::EntierInvalide<ViInt32>(triggerCount, 1, 50000)) return VI_ERROR_PARAMETER5;
    if (pilote::EntierInvalide<ViInt32>(sampleCount, 1, 50000)) return VI_ERROR_PARAMETER6;
    Commande c;
    const char *source = kSourcesDeclenchement[triggerSource];
    if (autoDelay == VI_FALSE) {
        c.Ajouter(":TRIG:SOUR %s;DEL ", source).Reel(triggerDelay);
        c.Ajouter(";COUN %ld;:SAMP:COUN %ld\r\n", static_cast<long>(triggerCount),
                  static_cast<long>(sampleCount));
    } else {
        c.Ajouter(":TRIG:SOUR %s;COUN %ld;DEL:AUTO ON;:SAMP:COUN %ld\r\n", source,
                  static_cast<long>(triggerCount), static_cast<long>(sampleCount));
    }
    return Envoyer(vi, c, false);
}

ViStatus hp34401a_confAperTime(ViSession vi, ViInt16 function, ViReal64 apertureTime) {
    if (function != 7 && function != 8) return VI_ERROR_PARAMETER2;
    if (pilote::ReelInvalide(apertureTime, 0.00001, 1.0)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(":%s:APER ", kFonctions[function].mot).Reel(apertureTime).Ajouter("\r\n");
    return Envoyer(vi, c, false);
}

ViStatus hp34401a_confIntegratTime(ViSession vi, ViInt16 function, ViReal64 integrationTime) {
    if (function != 1 && function != 4 && function != 5 && function != 6) return VI_ERROR_PARAMETER2;
    if (pilote::ReelInvalide(integrationTime, 0.02, 100.0)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(":%s:NPLC ", kFonctions[function].mot).Reel(integrationTime).Ajouter("\r\n");
    return Envoyer(vi, c, false);
}

ViStatus hp34401a_confMisc(ViSession vi, ViInt16 autoZero, ViReal64 acFilter,
                           ViBoolean autoImpedance) {
    if (Entier16(autoZero, 0, 2)) return VI_ERROR_PARAMETER2;
    if (pilote::ReelInvalide(acFilter, 3.0, 200.0)) return VI_ERROR_PARAMETER3;
    if (Booleen(autoImpedance)) return VI_ERROR_PARAMETER4;
    Commande zero, impedance, bande;
    zero.Ajouter(":ZERO:AUTO %s\r\n", kZeroAuto[autoZero]);
    impedance.Ajouter(":INP:IMP:AUTO %s\r\n", kImpedanceAuto[autoImpedance]);
    bande.Ajouter(":DET:BAND ").Reel(acFilter).Ajouter("\r\n");
    ViStatus statut = Envoyer(vi, zero, false);
    if (statut < 0) return statut;
    if ((statut = Envoyer(vi, impedance, false)) < 0) return statut;
    return Envoyer(vi, bande, false);
}

ViStatus hp34401a_waitForTrigger(ViSession vi) { return EnvoyerTexte(vi, ":INIT\r\n", true); }
ViStatus hp34401a_softTrig(ViSession vi) { return EnvoyerTexte(vi, "*TRG\r\n", true); }
ViStatus hp34401a_abortMeas(ViSession vi) { return EnvoyerTexte(vi, ":ABOR\r\n", true); }

ViStatus hp34401a_singleMeas(ViSession vi, ViReal64 *reading) {
    if (reading == nullptr) return VI_ERROR_PARAMETER2;
    return Interroger(vi, ":INIT;:FETC?\r\n", [reading](std::string_view lu) { return pilote::LireReel(lu, *reading); });
}

ViStatus hp34401a_multiMeas(ViSession vi, ViInt16 timeout, ViInt16 *readingCount,
                            ViReal64 readings[], ViInt32 capacite) {
    if (timeout < 0) return VI_ERROR_PARAMETER2;
    if (readingCount == nullptr) return VI_ERROR_PARAMETER3;
    if (readings == nullptr || capacite < 0) return VI_ERROR_PARAMETER4;
    double compte = 0.0;
    const ViStatus statut = LireCompte(vi, compte);
    if (statut < 0) return statut;
    return LireLectures(vi, compte, readingCount, readings, capacite, VI_ERROR_PARAMETER4,
                        ":INIT;:FETC?\r\n", timeout);
}

ViStatus hp34401a_fetchMeas(ViSession vi, ViInt16 *readingCount, ViReal64 readings[],
                            ViInt16 timeout, ViInt32 capacite) {
    if (readingCount == nullptr) return VI_ERROR_PARAMETER2;
    if (readings == nullptr || capacite < 0) return VI_ERROR_PARAMETER3;
    if (timeout < 0) return VI_ERROR_PARAMETER4;
    double compte = 0.0;
    const ViStatus statut = LireCompte(vi, compte);
    if (statut < 0) return statut;
    const ViStatus attribut = LireLectures(vi, compte, readingCount, readings, capacite,
                                           VI_ERROR_PARAMETER3, ":FETC?\r\n", timeout);
    if (attribut < 0) return attribut;
    const ViStatus verification = hp34401a_checkInstrStatus(vi);
    return verification < 0 ? verification : attribut;
}

// ---- math, display, checks, calibration ---------------------------------------------------

ViStatus hp34401a_beeper(ViSession vi, ViBoolean beeperState, ViUInt16 beepNow) {
    if (Booleen(beeperState)) return VI_ERROR_PARAMETER2;
    if (Naturel16(beepNow, 0, 1)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(beepNow == 1 ? "SYST:BEEP:STAT %s;:SYST:BEEP\r\n" : "SYST:BEEP:STAT %s\r\n",
              kEtatsBip[beeperState]);
    return Envoyer(vi, c, false);
}

ViStatus hp34401a_actMathOp(ViSession vi, ViInt16 mathFunction, ViUInt16 state) {
    if (Entier16(mathFunction, 0, 4)) return VI_ERROR_PARAMETER2;
    if (Naturel16(state, 0, 1)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(":CALC:FUNC %s;STAT %d\r\n", kFonctionsMath[mathFunction], state);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_confNull(ViSession vi, ViReal64 nullOffset) {
    Commande c;
    if (c.Ajouter(":CALC:NULL:OFFS ").Reel(nullOffset).Ajouter("\r\n").Deborde()) return VI_ERROR_PARAMETER2;
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_confDbMeas(ViSession vi, ViReal64 dbReference) {
    if (pilote::ReelInvalide(dbReference, 0.0, 200.0)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":CALC:DB:REF ").Reel(dbReference).Ajouter("\r\n");
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_confDbmMeas(ViSession vi, ViInt16 dbmReference) {
    if (Entier16(dbmReference, 0, 8000)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":CALC:DBM:REF %d\r\n", dbmReference);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_confLimitTest(ViSession vi, ViReal64 upperLimit, ViReal64 lowerLimit) {
    Commande c;
    // A limit that cannot be written whole into the command is refused: the upper one first
    // (the shortest lower limit, "0.000000", must still fit after it), then the lower one.
    if (c.Ajouter(":CALC:LIM:UPP ").Reel(upperLimit).Ajouter(";LOW 0.000000\r\n").Deborde())
        return VI_ERROR_PARAMETER2;
    c = Commande();
    c.Ajouter(":CALC:LIM:UPP ").Reel(upperLimit).Ajouter(";LOW ");
    if (c.Reel(lowerLimit).Ajouter("\r\n").Deborde()) return VI_ERROR_PARAMETER3;
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_display(ViSession vi, ViUInt16 displayState, const ViChar text[],
                          ViUInt16 clear) {
    if (Naturel16(displayState, 0, 1)) return VI_ERROR_PARAMETER2;
    if (TexteTropLong(text, 12)) return VI_ERROR_PARAMETER3;
    if (Naturel16(clear, 0, 1)) return VI_ERROR_PARAMETER4;
    Commande c;
    if (clear == 1)
        c.Ajouter(":DISP:TEXT:CLE;:DISP:STAT %d\r\n", displayState);
    else
        c.Ajouter(":DISP:TEXT \"%s\";:DISP:STAT %d\r\n", text, displayState);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_checkTerminals(ViSession vi, ViInt16 *terminals) {
    if (terminals == nullptr) return VI_ERROR_PARAMETER2;
    return Interroger(vi, ":ROUTE:TERM?\r\n", [terminals](std::string_view lu) {
        // The first word, up to the first white space, into a text of four characters.
        std::size_t n = 0;
        while (n < lu.size() && lu[n] > ' ') ++n;
        if (n == 0 || n > 4) return false;
        char mot[5] = {};
        std::memcpy(mot, lu.data(), n);
        return hp34401a_stringToInt(kTerminaux, 0, 1, mot, terminals) == VI_SUCCESS;
    });
}

ViStatus hp34401a_checkScpiVersion(ViSession vi, ViInt16 *year, ViInt16 *revision) {
    if (year == nullptr) return VI_ERROR_PARAMETER2;
    if (revision == nullptr) return VI_ERROR_PARAMETER3;
    // "1991.0": the year, the point skipped, the revision; each written as it converts.
    return Interroger(vi, ":SYST:VERS?\r\n", [year, revision](std::string_view lu) {
        long v = 0;
        if (!pilote::LireEntier(lu, v)) return false;
        *year = static_cast<ViInt16>(v);
        pilote::SauterUn(lu);
        if (!pilote::LireEntier(lu, v)) return false;
        *revision = static_cast<ViInt16>(v);
        return true;
    });
}

ViStatus hp34401a_calSecure(ViSession vi, const ViChar securityCode[], ViBoolean securityState) {
    if (TexteTropLong(securityCode, 12)) return VI_ERROR_PARAMETER2;
    if (Booleen(securityState)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(":CAL:SEC:STAT %d,%s\r\n", securityState, securityCode);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_calCode(ViSession vi, const ViChar newCode[]) {
    if (TexteTropLong(newCode, 12)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":CAL:SEC:CODE %s\r\n", newCode);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_calStamp(ViSession vi, const ViChar calibrationMessage[]) {
    if (TexteTropLong(calibrationMessage, 40)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":CAL:STR \"%s\"\r\n", calibrationMessage);
    return Envoyer(vi, c, true);
}

ViStatus hp34401a_calibrate(ViSession vi, ViReal64 calibrationValue, ViInt16 *result) {
    if (result == nullptr) return VI_ERROR_PARAMETER3;
    Commande c;
    if (c.Ajouter(":CAL:VAL ").Reel(calibrationValue).Ajouter(";:CAL?\r\n").Deborde())
        return VI_ERROR_PARAMETER2;
    const ViStatus statut = Interroger(vi, c.Texte(), [result](std::string_view lu) {
        long v = 0;
        if (!pilote::LireEntier(lu, v)) return false;
        *result = static_cast<ViInt16>(v);
        return true;
    });
    if (statut < 0) return statut;
    const ViStatus verification = hp34401a_checkInstrStatus(vi);
    return verification < 0 ? verification : statut;
}
