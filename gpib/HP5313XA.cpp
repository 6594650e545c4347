// Instrument driver of the HP 53131A and HP 53132A universal counters, over VISA.
#include "gpib/HP5313XA.h"

#include <cstring>
#include <new>
#include <string_view>

using pilote::Commande;

const PaireStatutTexte hp5313xa_stringValPair[] = {
    PILOTE_TEXTES_COMMUNS,
    {hp5313xa_ERROR_LIMITS, "ERROR: Upper Limit <= Lower Limit"},
    {hp5313xa_ERROR_INSTRUMENT_ERROR, "ERROR: Instrument System Error"},
    {VI_NULL, nullptr},
};

namespace {

constexpr const char *kRevisionPilote = "Rev 1.0, 9/95, CVI 3.1";
constexpr const char *kIdentites[] = {"", "HEWLETT-PACKARD,53131A", "HEWLETT-PACKARD,53132A"};
constexpr ViUInt32 kTailleIdentite = 512;
constexpr ViUInt32 kMorceauFichier = 512;
constexpr ViUInt32 kDelaiApresReglage = 11000;  // ms
constexpr ViUInt16 kMAV = 0x10;                 // status byte: a message is available
constexpr ViUInt16 kRQS = 0x40;                 // status byte: the device requests service

// ---- keyword tables (index = the argument's value) ---------------------------------------------
constexpr int kAttenuations[] = {1, 10};
constexpr const char *kCouplages[] = {"ac", "dc"};
constexpr const char *kImpedances[] = {"50", "1E6"};
constexpr const char *kInterrupteurs[] = {"off", "on"};
constexpr const char *kPentes[] = {"neg", "pos"};
constexpr int kHysteresis[] = {0, 50, 100};
constexpr const char *kAffichagesLimite[] = {"numb", "grap"};
constexpr const char *kFonctionsFrequence[] = {"",           "freq 1",       "freq 2", "freq 3",
                                               "freq:rat 1,2", "freq:rat 1,3", "per 1"};
constexpr const char *kSourcesArret[] = {"ext", "ext", "tim", "imm"};
constexpr const char *kFonctionsImpulsion[] = {"rise:time", "fall:time", "pwid", "nwid", "dcyc"};
constexpr const char *kEntreesEvenement2[] = {"inp2", "inp1"};
constexpr const char *kStatistiques[] = {"", "sdev", "mean", "max", "min"};

constexpr const char *kMarcheArret[] = {":init", ":init:cont on", "init:cont off", "abor"};
constexpr const char *kConditionsSrq[] = {"*ese 1;*sre 32;*opc", ":stat:ques:enab 1024;*sre 8",
                                          ":stat:oper:enable 256;ntr 256;ptr 0;*sre 128"};
constexpr const char *kPostTraitements[] = {":calc2:imm", "calc2:imm:auto on", ":calc2:imm:auto off"};
constexpr const char *kTypesRequete[] = {"meas", "read", "fetch"};

struct Fonction {
    const char *configuration;
    const char *requete;
};
constexpr Fonction kFonctions[] = {
    {"dcyc 50", "dcyc? 50"},
    {"fall:time 10,90", "fall:time? 10,90"},
    {"rise:time 10,90", "rise:time? 10,90"},
    {"freq (@1)", "freq? (@1)"},
    {"freq (@2)", "freq? (@2)"},
    {"freq (@3)", "freq? (@3)"},
    {"freq:rat (@1),(@2)", "freq:rat? (@1),(@2)"},
    {"freq:rat (@1),(@3)", "freq:rat? (@1),(@3)"},
    {"max (@1)", "max? (@1)"},
    {"min (@1)", "min? (@1)"},
    {"max (@2)", "max? (@2)"},
    {"min (@2)", "min? (@2)"},
    {"nwid 50,(@1)", "nwid? 50,(@1)"},
    {"pwid 50,(@1)", "pwid? 50,(@1)"},
    {"per (@1)", "per? (@1)"},
    {"per (@2)", "per? (@2)"},
    {"per (@3)", "per? (@3)"},
    {"phas (@1),(@2)", "phas? (@1),(@2)"},
    {"ptp (@1)", "ptp? (@1)"},
    {"ptp (@2)", "ptp? (@2)"},
    {"tint (@1),(@2)", "tint? (@1),(@2)"},
    {"tot:cont (@1)", "tot:cont? (@1)"},
    {"tot:tim (@1)", "tot:tim? (@1)"},
};

// ---- value rules ----------------------------------------------------------------------------
bool Booleen(ViBoolean v) { return pilote::BooleenInvalide(v); }
bool Entier16(ViInt16 v, ViInt16 min, ViInt16 max) { return pilote::EntierInvalide(v, min, max); }

bool TempsPorteInvalide(double v) {
    return pilote::ReelInvalide(v, 0.001, 0.00999) && pilote::ReelInvalide(v, 0.01, 1000.0);
}

bool LimiteInvalide(double v) {
    return v != 0.0 && pilote::ReelInvalide(v, -9.999999e12, -1e-13) &&
           pilote::ReelInvalide(v, 1e-13, 9.999999e12);
}

// The external arming of the frequency and totalize functions: start slope and stop source,
// then the gate time (stop source 2) or the stop slope (0 and 1). The code of the first bad
// argument, or VI_SUCCESS.
struct CodesArmement {
    ViStatus pente, arret, temps;
};
ViStatus ArmementExterne(Commande &c, const char *fonction, ViBoolean pente, ViInt16 arret, ViInt16 arretMax,
                         double temps, CodesArmement codes) {
    if (Booleen(pente)) return codes.pente;
    if (Entier16(arret, 0, arretMax)) return codes.arret;
    c.Ajouter(":%s:arm:sour ext;slop %s;stop:sour %s;", fonction, kPentes[pente], kSourcesArret[arret]);
    if (arret == 2) {
        if (TempsPorteInvalide(temps)) return codes.temps;
        c.Ajouter("tim ").Reel(temps).Ajouter(";");
    } else if (arret < 2) {
        c.Ajouter("slop %s", kPentes[arret]);
    }
    return VI_SUCCESS;
}

// ---- exchanges ------------------------------------------------------------------------------
// Sends the command, then takes the instrument's next error: the write's status, or the first
// failure.
ViStatus Executer(ViSession vi, const Commande &c) {
    if (c.Deborde()) return VI_ERROR_INV_PARAMETER;
    const ViStatus ecriture = pilote::Ecrire(vi, c.Texte());
    if (ecriture < 0) return ecriture;
    const ViStatus erreur = hp5313xa_get_error(vi);
    return erreur < 0 ? erreur : ecriture;
}

ViStatus ExecuterTexte(ViSession vi, const char *texte) {
    Commande c;
    c.Ajouter("%s", texte);
    return Executer(vi, c);
}

// Sends a query and reads at most `compte` bytes of its reply into `reponse` (zero-filled
// first), after waiting for the message when `attendre`.
ViStatus Questionner(ViSession vi, std::string_view question, bool attendre, ViUInt32 compte,
                     char (&reponse)[256], std::string_view &lu) {
    ViStatus statut = pilote::Ecrire(vi, question);
    if (statut < 0) return statut;
    if (attendre && (statut = pilote::AttendreOctetEtat(vi, kMAV)) != VI_SUCCESS) return statut;
    std::memset(reponse, 0, sizeof reponse);
    ViUInt32 n = 0;
    statut = viRead(vi, reponse, compte, &n);
    if (statut < 0) return statut;
    lu = std::string_view(reponse, n);
    return statut;
}

// The end of a query whose reply was read: the error query, then the read's status.
ViStatus Conclure(ViSession vi, ViStatus lecture) {
    const ViStatus erreur = hp5313xa_get_error(vi);
    return erreur < 0 ? erreur : lecture;
}

// A query answered by one number.
ViStatus QuestionReel(ViSession vi, std::string_view question, bool attendre, ViReal64 *resultat) {
    char reponse[256];
    std::string_view lu;
    const ViStatus statut = Questionner(vi, question, attendre, 50, reponse, lu);
    if (statut < 0) return statut;
    double v = 0.0;
    if (!pilote::LireReel(lu, v)) return VI_ERROR_INTERPRETING_RESPONSE;
    *resultat = v;
    return Conclure(vi, statut);
}

ViStatus LibererDonnees(ViSession vi) {
    ViAddr donnees = nullptr;
    const ViStatus statut = viGetAttribute(vi, VI_ATTR_USER_DATA, &donnees);
    if (statut < 0) return statut;
    viSetAttribute(vi, VI_ATTR_USER_DATA, 0);
    delete static_cast<hp5313xa_statusDataRanges *>(donnees);
    return statut;
}

pilote::Cadre CadreCompteur(ViInt16 modele) {
    return {kIdentites[modele], kTailleIdentite, hp5313xa_reset, hp5313xa_defaultInstrSetup,
            [](ViSession vi) { LibererDonnees(vi); }};
}

}  // namespace

// ---- argument checks ------------------------------------------------------------------------

PILOTE_DEFINIR_VERIFICATIONS(hp5313xa)

// ---- session --------------------------------------------------------------------------------

ViStatus hp5313xa_init(const ViChar resourceName[], ViBoolean idQuery, ViBoolean resetDevice,
                       ViInt16 model, ViSession *vi) {
    if (Booleen(idQuery)) return VI_ERROR_PARAMETER2;
    if (Booleen(resetDevice)) return VI_ERROR_PARAMETER3;
    if (Entier16(model, 1, 2)) return VI_ERROR_PARAMETER4;
    if (vi == nullptr) return VI_ERROR_PARAMETER5;
    return pilote::Ouvrir(CadreCompteur(model), resourceName, idQuery, resetDevice, vi);
}

ViStatus hp5313xa_initCleanUp(ViSession rm, ViSession *vi, ViStatus statut) {
    return pilote::Nettoyer(CadreCompteur(1), rm, vi, statut);
}

ViStatus hp5313xa_defaultInstrSetup(ViSession vi) {
    auto *donnees = new (std::nothrow) hp5313xa_statusDataRanges{0, 0, 0, {}};
    if (donnees == nullptr) return VI_ERROR_ALLOC;
    pilote::CopierTexte(donnees->instrDriverRevision, sizeof donnees->instrDriverRevision,
                        kRevisionPilote);
    ViAddr ancien = nullptr;
    viGetAttribute(vi, VI_ATTR_USER_DATA, &ancien);
    ViStatus statut = viSetAttribute(vi, VI_ATTR_USER_DATA, reinterpret_cast<ViAttrState>(donnees));
    if (statut != VI_SUCCESS) {
        delete donnees;
        return statut;
    }
    delete static_cast<hp5313xa_statusDataRanges *>(ancien);
    return viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDelaiApresReglage);
}

ViStatus hp5313xa_reset(ViSession vi) {
    const ViStatus statut = pilote::Ecrire(vi, "*RST");
    if (statut < 0) return statut;
    return hp5313xa_defaultInstrSetup(vi);
}

ViStatus hp5313xa_close(ViSession vi) { return pilote::Fermer(CadreCompteur(1), vi); }

ViStatus hp5313xa_errorMessage(ViSession vi, ViStatus code, ViChar message[]) {
    return pilote::MessageErreur(hp5313xa_stringValPair, vi, code, message);
}

// ---- utility --------------------------------------------------------------------------------

ViStatus hp5313xa_writeInstrData(ViSession vi, const ViChar writeBuffer[]) {
    return pilote::EcrireTexte(vi, writeBuffer);
}

ViStatus hp5313xa_readInstrData(ViSession vi, ViInt16 numberBytesToRead, ViChar readBuffer[],
                                ViInt32 *numBytesRead) {
    return pilote::LireBrut(vi, numberBytesToRead, reinterpret_cast<ViByte *>(readBuffer), numBytesRead);
}

ViStatus hp5313xa_selfTest(ViSession vi, ViInt16 *selfTestResult, ViChar selfTestMessage[],
                           std::size_t taille) {
    if (selfTestResult == nullptr) return VI_ERROR_PARAMETER2;
    ViStatus statut = hp5313xa_defaultInstrSetup(vi);
    if (statut < 0) return statut;
    if ((statut = pilote::Ecrire(vi, "*TST?")) < 0) return statut;
    if ((statut = viScanf(vi, "%hd", selfTestResult)) < 0) return statut;
    pilote::CopierTexte(selfTestMessage, taille, "See Manual for Self-Test Code Description");
    return statut;
}

ViStatus hp5313xa_errorQuery(ViSession vi, ViInt16 *errorCode, ViChar errorMessage[],
                             std::size_t taille) {
    long code = 0;
    const ViStatus statut = pilote::RequeteErreur(vi, ":SYST:ERR?", &code, errorMessage, taille);
    if (statut >= 0 && errorCode != nullptr) *errorCode = static_cast<ViInt16>(code);
    return statut;
}

ViStatus hp5313xa_revisionQuery(ViSession vi, ViChar driverRev[], ViChar instrRev[],
                                std::size_t taille) {
    return pilote::Revisions(vi, kRevisionPilote, driverRev, instrRev, taille);
}

ViStatus hp5313xa_readToFile(ViSession vi, const ViChar filename[], ViUInt32 readBytes,
                             ViUInt32 *retCount) {
    return pilote::LireVersFichier(vi, filename, readBytes, retCount, kMorceauFichier);
}

ViStatus hp5313xa_writeFromFile(ViSession vi, const ViChar filename[], ViUInt32 writeBytes,
                                ViUInt32 *retCount) {
    return pilote::EcrireDepuisFichier(vi, filename, writeBytes, retCount, kMorceauFichier);
}

ViStatus hp5313xa_get_error(ViSession vi) {
    ViStatus statut = pilote::Ecrire(vi, ":SYST:ERR?");
    if (statut < 0) return statut;
    long code = 0;
    if ((statut = viScanf(vi, "%ld", &code)) < 0) return statut;
    return code != 0 ? hp5313xa_ERROR_INSTRUMENT_ERROR : statut;
}

ViStatus hp5313xa_poll(ViSession vi, ViUInt16 *statusByte) {
    if (statusByte == nullptr) return VI_ERROR_PARAMETER2;
    return viReadSTB(vi, statusByte);
}

ViStatus hp5313xa_set_timeout(ViSession vi, ViInt32 millisecondes) {
    if (millisecondes < 0) return VI_ERROR_PARAMETER2;
    return viSetAttribute(vi, VI_ATTR_TMO_VALUE, static_cast<ViAttrState>(millisecondes));
}

// ---- input and trigger ----------------------------------------------------------------------

ViStatus hp5313xa_inputCond(ViSession vi, ViInt16 channel, ViBoolean coupling, ViBoolean impedance,
                            ViBoolean attenuation, ViBoolean filter) {
    if (Entier16(channel, 1, 2)) return VI_ERROR_PARAMETER2;
    if (Booleen(coupling)) return VI_ERROR_PARAMETER3;
    if (Booleen(impedance)) return VI_ERROR_PARAMETER4;
    if (Booleen(attenuation)) return VI_ERROR_PARAMETER5;
    if (Booleen(filter)) return VI_ERROR_PARAMETER6;
    Commande c;
    c.Ajouter(":inp%d:att %d;coup %s;imp %s;filt %s", channel, kAttenuations[attenuation],
              kCouplages[coupling], kImpedances[impedance], kInterrupteurs[filter]);
    return Executer(vi, c);
}

ViStatus hp5313xa_trigSens(ViSession vi, ViInt16 channel, ViBoolean levelMode, ViReal64 level,
                           ViBoolean attenuation, ViBoolean slope, ViInt16 hysteresis) {
    if (Entier16(channel, 1, 2)) return VI_ERROR_PARAMETER2;
    if (Booleen(levelMode)) return VI_ERROR_PARAMETER3;
    if (Booleen(attenuation)) return VI_ERROR_PARAMETER5;
    if (Booleen(slope)) return VI_ERROR_PARAMETER6;
    if (Entier16(hysteresis, 0, 2)) return VI_ERROR_PARAMETER7;
    Commande c;
    if (levelMode == VI_TRUE) {
        const double limite = attenuation == VI_TRUE ? 51.25 : 5.125;
        if (pilote::ReelInvalide(level, -limite, limite)) return VI_ERROR_PARAMETER4;
        c.Ajouter(":inp%d:att %d;:even%d:lev ", channel, kAttenuations[attenuation], channel);
        c.Reel(level).Ajouter(";");
    } else {
        ViInt16 pourcent = 0;
        if (!pilote::TronquerEntier16(level, pourcent) || Entier16(pourcent, 0, 100))
            return VI_ERROR_PARAMETER4;
        c.Ajouter(":inp%d:att %d;:even%d:lev:auto on;rel %d;", channel, kAttenuations[attenuation],
                  channel, pourcent);
    }
    c.Ajouter(":even%d:slop %s;hyst:rel %d;", channel, kPentes[slope], kHysteresis[hysteresis]);
    return Executer(vi, c);
}

// ---- measurement functions ----------------------------------------------------------------

ViStatus hp5313xa_limit(ViSession vi, ViBoolean limitTest, ViBoolean autoInit, ViBoolean display,
                        ViReal64 lowerLimit, ViReal64 upperLimit) {
    if (Booleen(limitTest)) return VI_ERROR_PARAMETER2;
    if (Booleen(autoInit)) return VI_ERROR_PARAMETER3;
    if (Booleen(display)) return VI_ERROR_PARAMETER4;
    if (!(lowerLimit < upperLimit)) return hp5313xa_ERROR_LIMITS;
    if (LimiteInvalide(lowerLimit)) return VI_ERROR_PARAMETER5;
    if (LimiteInvalide(upperLimit)) return VI_ERROR_PARAMETER6;
    Commande c;
    c.Ajouter(":calc2:lim:stat %s;disp %s;upp ", kInterrupteurs[limitTest], kAffichagesLimite[display]);
    c.Reel(upperLimit).Ajouter(";low ").Reel(lowerLimit);
    c.Ajouter(";:init:auto %s;", kInterrupteurs[autoInit]);
    return Executer(vi, c);
}

ViStatus hp5313xa_math(ViSession vi, ViBoolean math, ViReal64 scale, ViReal64 offset) {
    if (Booleen(math)) return VI_ERROR_PARAMETER2;
    if (LimiteInvalide(scale)) return VI_ERROR_PARAMETER3;
    if (LimiteInvalide(offset)) return VI_ERROR_PARAMETER4;
    Commande c;
    c.Ajouter(":trac scale, ").Reel(scale).Ajouter(";:trac offset, ").Reel(offset);
    c.Ajouter(";:calc:math:stat %s;", kInterrupteurs[math]);
    return Executer(vi, c);
}

ViStatus hp5313xa_savRecSet(ViSession vi, ViBoolean operation, ViInt16 reg) {
    if (Booleen(operation)) return VI_ERROR_PARAMETER2;
    const bool sauver = operation == VI_TRUE;
    if (Entier16(reg, sauver ? 1 : 0, 20)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(sauver ? "*sav %d" : "*rcl %d", reg);
    return Executer(vi, c);
}

ViStatus hp5313xa_freqPeriodRatio(ViSession vi, ViInt16 function, ViInt16 arming, ViReal64 value,
                                  ViBoolean startSlope, ViInt16 stopSource) {
    if (Entier16(function, 1, 6)) return VI_ERROR_PARAMETER2;
    if (Entier16(arming, 0, 3)) return VI_ERROR_PARAMETER3;
    Commande c;
    c.Ajouter(":func \"%s\";", kFonctionsFrequence[function]);
    switch (arming) {
    case 0: c.Ajouter(":freq:arm:sour imm;:freq:arm:stop:sour imm"); break;
    case 1: {
        ViInt16 chiffres = 0;
        if (!pilote::TronquerEntier16(value, chiffres) || Entier16(chiffres, 3, 15))
            return VI_ERROR_PARAMETER4;
        c.Ajouter(":freq:arm:sour imm;:freq:arm:stop:sour dig;dig %d", chiffres);
        break;
    }
    case 2:
        if (TempsPorteInvalide(value)) return VI_ERROR_PARAMETER4;
        c.Ajouter(":freq:arm:sour imm;:freq:arm:stop:sour tim;tim ").Reel(value);
        break;
    default:
        if (const ViStatus code = ArmementExterne(c, "freq", startSlope, stopSource, 3, value,
                                                  {VI_ERROR_PARAMETER5, VI_ERROR_PARAMETER6, VI_ERROR_PARAMETER4});
            code != VI_SUCCESS)
            return code;
        break;
    }
    return Executer(vi, c);
}

ViStatus hp5313xa_phase(ViSession vi, ViBoolean externalArming, ViBoolean slope) {
    if (Booleen(externalArming)) return VI_ERROR_PARAMETER2;
    Commande c;
    if (externalArming == VI_FALSE) {
        c.Ajouter(":func \"phas\";:phas:arm:sour imm");
    } else {
        if (Booleen(slope)) return VI_ERROR_PARAMETER3;
        c.Ajouter(":func \"phas\";:phas:arm:sour ext;slop %s", kPentes[slope]);
    }
    return Executer(vi, c);
}

ViStatus hp5313xa_totalize(ViSession vi, ViInt16 arming, ViReal64 gateTime, ViBoolean startSlope,
                           ViInt16 stopSource) {
    if (Entier16(arming, 0, 2)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":func \"tot\";");
    switch (arming) {
    case 0: c.Ajouter(":tot:arm:sour imm;:tot:arm:stop:sour imm"); break;
    case 1:
        if (TempsPorteInvalide(gateTime)) return VI_ERROR_PARAMETER3;
        c.Ajouter(":tot:arm:sour imm;:tot:arm:stop:sour tim;tim ").Reel(gateTime);
        break;
    default:
        if (const ViStatus code = ArmementExterne(c, "tot", startSlope, stopSource, 2, gateTime,
                                                  {VI_ERROR_PARAMETER4, VI_ERROR_PARAMETER5, VI_ERROR_PARAMETER3});
            code != VI_SUCCESS)
            return code;
        break;
    }
    return Executer(vi, c);
}

ViStatus hp5313xa_timWidDuty(ViSession vi, ViInt16 function, ViBoolean externalArming,
                             ViBoolean slope) {
    if (Entier16(function, 0, 4)) return VI_ERROR_PARAMETER2;
    if (Booleen(externalArming)) return VI_ERROR_PARAMETER3;
    Commande c;
    if (externalArming == VI_FALSE) {
        c.Ajouter(":func \"%s\";:tint:arm:sour imm", kFonctionsImpulsion[function]);
    } else {
        if (Booleen(slope)) return VI_ERROR_PARAMETER4;
        c.Ajouter(":func \"%s\";:tint:arm:sour ext;slop %s", kFonctionsImpulsion[function],
                  kPentes[slope]);
    }
    return Executer(vi, c);
}

ViStatus hp5313xa_timeInterval(ViSession vi, ViBoolean externalStart, ViBoolean startSlope,
                               ViBoolean timedStop, ViReal64 gateTime, ViBoolean feed) {
    if (Booleen(externalStart)) return VI_ERROR_PARAMETER2;
    if (Booleen(timedStop)) return VI_ERROR_PARAMETER4;
    if (Booleen(feed)) return VI_ERROR_PARAMETER6;
    Commande c;
    c.Ajouter(":func \"tint 1,2\";:even2:feed \"%s\";", kEntreesEvenement2[feed]);
    if (externalStart == VI_FALSE) {
        c.Ajouter(":tint:arm:sour imm;");
    } else {
        if (Booleen(startSlope)) return VI_ERROR_PARAMETER3;
        c.Ajouter(":tint:arm:sour ext;slop %s;", kPentes[startSlope]);
    }
    if (timedStop == VI_FALSE) {
        c.Ajouter("stop:sour imm;");
    } else {
        if (TempsPorteInvalide(gateTime)) return VI_ERROR_PARAMETER5;
        c.Ajouter("stop:sour tim;tim ").Reel(gateTime);
    }
    return Executer(vi, c);
}

ViStatus hp5313xa_confblock(ViSession vi, ViBoolean statistics, ViInt32 count,
                            ViBoolean limitFilter, ViInt16 display, ViReal64 lowerBound,
                            ViReal64 upperBound) {
    if (Booleen(statistics)) return VI_ERROR_PARAMETER2;
    if (pilote::EntierInvalide<ViInt32>(count, 2, 1000000)) return VI_ERROR_PARAMETER3;
    if (Booleen(limitFilter)) return VI_ERROR_PARAMETER4;
    if (LimiteInvalide(lowerBound)) return VI_ERROR_PARAMETER6;
    if (LimiteInvalide(upperBound)) return VI_ERROR_PARAMETER7;
    if (Entier16(display, 0, 4)) return VI_ERROR_PARAMETER5;
    Commande c;
    c.Ajouter(":calc3:aver %s;aver:count %ld;:calc3:lfil:stat %s;low ", kInterrupteurs[statistics],
              static_cast<long>(count), kInterrupteurs[limitFilter]);
    c.Reel(lowerBound).Ajouter(";upp ").Reel(upperBound).Ajouter(";:trig:count:auto on;");
    if (display == 0)
        c.Ajouter(":disp:text:feed \"calc2\"");
    else
        c.Ajouter(":disp:text:feed \"calc3\";:calc3:aver:type %s", kStatistiques[display]);
    return Executer(vi, c);
}

// ---- control, service requests, results -----------------------------------------------------

ViStatus hp5313xa_strStpMeas(ViSession vi, ViInt16 selector) {
    if (Entier16(selector, 0, 3)) return VI_ERROR_PARAMETER2;
    return ExecuterTexte(vi, kMarcheArret[selector]);
}

ViStatus hp5313xa_initReg(ViSession vi) { return ExecuterTexte(vi, "*cls;*sre 0;*ese 0;:stat:pres"); }

ViStatus hp5313xa_setSrqCond(ViSession vi, ViInt16 condition) {
    if (Entier16(condition, 0, 2)) return VI_ERROR_PARAMETER2;
    return ExecuterTexte(vi, kConditionsSrq[condition]);
}

ViStatus hp5313xa_confFunc(ViSession vi, ViInt16 function) {
    if (Entier16(function, 0, 22)) return VI_ERROR_PARAMETER2;
    Commande c;
    c.Ajouter(":conf:%s", kFonctions[function].configuration);
    return Executer(vi, c);
}

ViStatus hp5313xa_initMeas(ViSession vi) { return ExecuterTexte(vi, kMarcheArret[0]); }

ViStatus hp5313xa_postProcess(ViSession vi, ViInt16 selector) {
    if (Entier16(selector, 0, 2)) return VI_ERROR_PARAMETER2;
    return ExecuterTexte(vi, kPostTraitements[selector]);
}

ViStatus hp5313xa_enaDisSet(ViSession vi, ViBoolean limitTest, ViBoolean math,
                            ViBoolean limitFilter, ViBoolean statistics) {
    if (Booleen(limitTest)) return VI_ERROR_PARAMETER2;
    if (Booleen(math)) return VI_ERROR_PARAMETER3;
    if (Booleen(limitFilter)) return VI_ERROR_PARAMETER4;
    if (Booleen(statistics)) return VI_ERROR_PARAMETER5;
    Commande c;
    c.Ajouter(":calc3:aver %s;:calc3:lfil:stat %s;:calc:math:stat %s;:calc2:lim:stat %s",
              kInterrupteurs[statistics], kInterrupteurs[limitFilter], kInterrupteurs[math],
              kInterrupteurs[limitTest]);
    return Executer(vi, c);
}

ViStatus hp5313xa_waitSrq(ViSession vi) {
    const ViStatus statut = pilote::AttendreOctetEtat(vi, kRQS);
    if (statut != VI_SUCCESS) return statut;
    return Conclure(vi, VI_SUCCESS);
}

ViStatus hp5313xa_queryMeas(ViSession vi, ViInt16 function, ViInt16 kind, ViReal64 *result) {
    if (Entier16(function, 0, 22)) return VI_ERROR_PARAMETER2;
    if (Entier16(kind, 0, 2)) return VI_ERROR_PARAMETER3;
    if (result == nullptr) return VI_ERROR_PARAMETER4;
    std::string_view requete = kFonctions[function].requete;
    if (kind != 0) requete = requete.substr(0, requete.find(' '));
    Commande c;
    c.Ajouter(":%s:%.*s", kTypesRequete[kind], static_cast<int>(requete.size()), requete.data());
    return QuestionReel(vi, c.Texte(), true, result);
}

ViStatus hp5313xa_dataRes(ViSession vi, ViReal64 *result) {
    if (result == nullptr) return VI_ERROR_PARAMETER2;
    return QuestionReel(vi, ":data?", false, result);
}

ViStatus hp5313xa_mathRes(ViSession vi, ViReal64 *result) {
    if (result == nullptr) return VI_ERROR_PARAMETER2;
    return QuestionReel(vi, ":calc1:data?", false, result);
}

ViStatus hp5313xa_limitRes(ViSession vi, ViInt16 *fail, ViInt16 *failCount, ViInt16 *passCount,
                           ViInt16 *lowerFailCount, ViInt16 *upperFailCount) {
    ViInt16 *const sorties[] = {fail, failCount, passCount, lowerFailCount, upperFailCount};
    for (int i = 0; i < 5; ++i)
        if (sorties[i] == nullptr) return VI_ERROR_PARAMETER2 + i;
    char reponse[256];
    std::string_view lu;
    const ViStatus statut = Questionner(
        vi, ":calc2:lim:fail?;:calc2:lim:fco?;fco:low?;upp?;:calc2:lim:pco?", true, 50, reponse, lu);
    if (statut < 0) return statut;
    // The reply's order: fail, fail count, lower fail count, upper fail count, pass count.
    ViInt16 *const ordre[] = {fail, failCount, lowerFailCount, upperFailCount, passCount};
    long valeurs[5] = {};
    for (long &v : valeurs) {
        if (!pilote::LireEntier(lu, v)) return VI_ERROR_INTERPRETING_RESPONSE;
        pilote::SauterUn(lu);
    }
    for (int i = 0; i < 5; ++i) *ordre[i] = static_cast<ViInt16>(valeurs[i]);
    return Conclure(vi, statut);
}

ViStatus hp5313xa_statisticsRes(ViSession vi, ViReal64 *mean, ViReal64 *standardDeviation,
                                ViReal64 *maximum, ViReal64 *minimum) {
    ViReal64 *const sorties[] = {mean, standardDeviation, maximum, minimum};
    for (int i = 0; i < 4; ++i)
        if (sorties[i] == nullptr) return VI_ERROR_PARAMETER2 + i;
    char reponse[256];
    std::string_view lu;
    const ViStatus statut = Questionner(vi, ":calc3:aver:all?", false, 200, reponse, lu);
    if (statut < 0) return statut;
    // The reply's order: mean, standard deviation, minimum, maximum.
    ViReal64 *const ordre[] = {mean, standardDeviation, minimum, maximum};
    double valeurs[4] = {};
    for (double &v : valeurs) {
        if (!pilote::LireReel(lu, v)) return VI_ERROR_INTERPRETING_RESPONSE;
        pilote::SauterUn(lu);
    }
    for (int i = 0; i < 4; ++i) *ordre[i] = valeurs[i];
    return Conclure(vi, statut);
}

ViStatus hp5313xa_queryChan3(ViSession vi, ViUInt16 *coupling, ViUInt16 *impedance) {
    if (coupling == nullptr) return VI_ERROR_PARAMETER2;
    if (impedance == nullptr) return VI_ERROR_PARAMETER3;
    char reponse[256];
    std::string_view lu;
    const ViStatus statut = Questionner(vi, ":inp3:coup?;:inp3:imp?", false, 200, reponse, lu);
    if (statut < 0) return statut;
    // A reply shorter than five characters leaves the zeros the buffer was filled with.
    *coupling = reponse[0] == 'a' || reponse[0] == 'A' ? 1 : 0;
    *impedance = reponse[4] == '5' ? 1 : 0;
    return Conclure(vi, statut);
}
