// What the two VISA instrument drivers share.
#include "gpib/pilote_visa.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "gpib/nombres.h"
#include "platform/clock.h"

namespace pilote {

namespace {

constexpr ViUInt32 kDelaiSession = 10000;  // ms
constexpr ViUInt32 kTailleTamponsFormates = 4000;
constexpr ViUInt32 kMorceauMax = 512;

// Opens the file of a transfer and sets its byte count to 0.
ViStatus OuvrirFichier(const ViChar fichier[], const char *mode, ViUInt32 *compte, std::FILE *&f) {
    if (compte == nullptr) return VI_ERROR_PARAMETER4;
    *compte = 0;
    f = fichier != nullptr ? std::fopen(fichier, mode) : nullptr;
    return f != nullptr ? VI_SUCCESS : VI_ERROR_FILE_OPEN;
}

// Whether the file has nothing left to read (looks one byte ahead).
bool FinDeFichier(std::FILE *f) {
    const int c = std::fgetc(f);
    if (c == EOF) return true;
    std::ungetc(c, f);
    return false;
}

}  // namespace

bool TronquerEntier16(double v, ViInt16 &entier) {
    if (!(v > -32769.0 && v < 32768.0)) return false;
    entier = static_cast<ViInt16>(std::trunc(v));
    return true;
}

ViStatus MessageErreur(const PaireStatutTexte table[], ViSession vi, ViStatus code, ViChar message[]) {
    if (message == nullptr) return VI_ERROR_PARAMETER3;
    if (viStatusDesc(vi, code, message) != VI_WARN_UNKNOWN_STATUS) return VI_SUCCESS;
    for (const PaireStatutTexte *p = table; p->stringName != nullptr; ++p) {
        if (p->stringVal != code) continue;
        CopierTexte(message, kTailleTextePilote, p->stringName);
        return VI_SUCCESS;
    }
    std::snprintf(message, kTailleTextePilote, "Unknown Error 0x%08lX",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(code)));
    return VI_WARN_UNKNOWN_STATUS;
}

// ---- sessions -----------------------------------------------------------------------------

ViStatus Nettoyer(const Cadre &cadre, ViSession rm, ViSession *vi, ViStatus statut) {
    if (cadre.libererDonnees != nullptr) cadre.libererDonnees(*vi);
    viClose(*vi);
    viClose(rm);
    *vi = VI_NULL;
    return statut;
}

ViStatus Ouvrir(const Cadre &cadre, const ViChar nom[], ViBoolean identite, ViBoolean reset,
                ViSession *vi) {
    ViSession rm = VI_NULL;
    ViStatus statut = viOpenDefaultRM(&rm);
    if (statut < 0) return statut;
    statut = viOpen(rm, nom, VI_NULL, 0, vi);
    if (statut < 0) {
        viClose(rm);
        return statut;
    }
    // Warnings of the settings let the opening go on.
    if ((statut = viSetAttribute(*vi, VI_ATTR_TMO_VALUE, kDelaiSession)) < 0 ||
        (statut = viSetBuf(*vi, VI_READ_BUF | VI_WRITE_BUF, kTailleTamponsFormates)) < 0 ||
        (statut = viSetAttribute(*vi, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS)) < 0 ||
        (statut = viSetAttribute(*vi, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS)) < 0)
        return Nettoyer(cadre, rm, vi, statut);
    if (identite != VI_FALSE) {
        if ((statut = Ecrire(*vi, "*IDN?")) < 0) return Nettoyer(cadre, rm, vi, statut);
        char reponse[kMorceauMax];
        ViUInt32 lus = 0;
        statut = viRead(*vi, reponse, std::min(cadre.tailleIdentite, kMorceauMax), &lus);
        if (statut < 0) return Nettoyer(cadre, rm, vi, statut);
        const std::size_t n = std::strlen(cadre.identite);
        if (lus < n || std::memcmp(reponse, cadre.identite, n) != 0)
            return Nettoyer(cadre, rm, vi, VI_ERROR_FAIL_ID_QUERY);
    }
    statut = reset != VI_FALSE ? cadre.reset(*vi) : cadre.reglageParDefaut(*vi);
    if (statut < 0) return Nettoyer(cadre, rm, vi, statut);
    return statut;
}

ViStatus Fermer(const Cadre &cadre, ViSession vi) {
    ViSession rm = VI_NULL;
    ViStatus statut = viGetAttribute(vi, VI_ATTR_RM_SESSION, &rm);
    if (statut < 0) return statut;
    if (cadre.libererDonnees != nullptr) {
        // The driver's data is read before anything is closed; a failed read closes nothing.
        ViAddr donnees = nullptr;
        if ((statut = viGetAttribute(vi, VI_ATTR_USER_DATA, &donnees)) < 0) return statut;
        cadre.libererDonnees(vi);
    }
    statut = viClose(vi);
    viClose(rm);
    return statut;
}

// ---- exchanges ----------------------------------------------------------------------------

ViStatus Ecrire(ViSession vi, std::string_view texte) {
    ViUInt32 ecrits = 0;
    return viWrite(vi, texte.data(), static_cast<ViUInt32>(texte.size()), &ecrits);
}

ViStatus EcrireTexte(ViSession vi, const ViChar commande[]) {
    if (commande == nullptr) return VI_ERROR_PARAMETER2;
    return viPrintf(vi, "%s", commande);
}

ViStatus LireBrut(ViSession vi, ViInt16 compte, ViByte tampon[], ViInt32 *lus) {
    if (lus != nullptr) *lus = 0;
    if (compte < 0) return VI_ERROR_PARAMETER2;
    if (tampon == nullptr) return VI_ERROR_PARAMETER3;
    ViUInt32 n = 0;
    const ViStatus statut = viRead(vi, tampon, static_cast<ViUInt32>(compte), &n);
    if (lus != nullptr) *lus = static_cast<ViInt32>(n);
    return statut;
}

void CopierTexte(ViChar destination[], std::size_t capacite, std::string_view texte) {
    if (destination == nullptr || capacite == 0) return;
    const std::size_t n = std::min(texte.size(), capacite - 1);
    std::memcpy(destination, texte.data(), n);
    destination[n] = '\0';
}

ViStatus RequeteErreur(ViSession vi, std::string_view question, long *code, ViChar message[],
                       std::size_t capacite) {
    ViStatus statut = Ecrire(vi, question);
    if (statut < 0) return statut;
    long lu = 0;
    char texte[kTailleTextePilote] = {};
    statut = viScanf(vi, "%ld,\"%255[^\"]", &lu, texte);
    if (statut < 0) return statut;
    if (code != nullptr) *code = lu;
    CopierTexte(message, capacite, texte);
    return statut;
}

ViStatus Revisions(ViSession vi, const char *revisionPilote, ViChar revisionPiloteSortie[],
                   ViChar revisionInstrument[], std::size_t capacite) {
    ViStatus statut = Ecrire(vi, "*IDN?");
    if (statut < 0) return statut;
    char texte[kTailleTextePilote] = {};
    statut = viScanf(vi, "%*[^,],%*[^,],%*[^,],%255[^\n]", texte);
    if (statut < 0) return statut;
    CopierTexte(revisionInstrument, capacite, texte);
    CopierTexte(revisionPiloteSortie, capacite, revisionPilote);
    return statut;
}

ViStatus LireVersFichier(ViSession vi, const ViChar fichier[], ViUInt32 compte, ViUInt32 *ecrits,
                         ViUInt32 morceau) {
    std::FILE *f = nullptr;
    ViStatus statut = OuvrirFichier(fichier, "wb", ecrits, f);
    if (statut != VI_SUCCESS) return statut;
    morceau = std::min(morceau, kMorceauMax);
    ViByte tampon[kMorceauMax];
    for (;;) {
        ViUInt32 lus = 0;
        statut = viRead(vi, tampon, std::min(compte, morceau), &lus);
        const std::size_t passes = std::fwrite(tampon, 1, lus, f);
        *ecrits += static_cast<ViUInt32>(passes);
        if (passes < lus) statut = VI_ERROR_FILE_WRITE;
        // The reply ended, failed, or the count is reached.
        if (compte <= morceau || statut == VI_SUCCESS || statut < 0 || statut == VI_SUCCESS_TERM_CHAR)
            break;
        compte -= morceau;
    }
    if (std::fclose(f) != 0 && statut >= 0) statut = VI_ERROR_FILE_WRITE;
    return statut;
}

ViStatus EcrireDepuisFichier(ViSession vi, const ViChar fichier[], ViUInt32 compte,
                             ViUInt32 *envoyes, ViUInt32 morceau) {
    std::FILE *f = nullptr;
    ViStatus statut = OuvrirFichier(fichier, "rb", envoyes, f);
    if (statut != VI_SUCCESS) return statut;
    morceau = std::min(morceau, kMorceauMax);
    ViByte tampon[kMorceauMax];
    while (!std::feof(f)) {
        const auto lus = static_cast<ViUInt32>(std::fread(tampon, 1, morceau, f));
        ViUInt32 n = 0;
        // A whole chunk with more to send after it goes without END; the last chunk, the one
        // the file or the count ends with, carries END on its last byte.
        if (compte > morceau && lus == morceau && !FinDeFichier(f)) {
            ViBoolean fin = VI_TRUE;
            viGetAttribute(vi, VI_ATTR_SEND_END_EN, &fin);
            viSetAttribute(vi, VI_ATTR_SEND_END_EN, VI_FALSE);
            statut = viWrite(vi, tampon, morceau, &n);
            viSetAttribute(vi, VI_ATTR_SEND_END_EN, fin);
            compte -= morceau;
            *envoyes += n;
            if (statut < 0) break;
        } else {
            statut = viWrite(vi, tampon, std::min(lus, compte), &n);
            *envoyes += n;
            break;
        }
    }
    std::fclose(f);
    return statut;
}

ViStatus AttendreOctetEtat(ViSession vi, ViUInt16 masque) {
    ViUInt32 delai = 0;
    const ViStatus statut = viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai);
    if (statut < 0) return statut;
    const bool infini = delai == VI_TMO_INFINITE;
    const double fin = horloge::Secondes() + delai / 1000.0;
    // The program's clock may stand still (tests): real time bounds the wait too.
    const auto finReelle = std::chrono::steady_clock::now() + std::chrono::milliseconds(delai);
    for (;;) {
        ViUInt16 octet = 0;
        const ViStatus s = viReadSTB(vi, &octet);
        if (s != VI_SUCCESS) return s;
        if ((octet & masque) != 0) return VI_SUCCESS;
        if (!infini && (horloge::Secondes() >= fin || std::chrono::steady_clock::now() >= finReelle))
            return VI_ERROR_TMO;
        std::this_thread::yield();
    }
}

// ---- command texts ------------------------------------------------------------------------

Commande &Commande::Ajouter(const char *format, ...) {
    if (deborde_) return *this;
    va_list args;
    va_start(args, format);
    const int r = std::vsnprintf(texte_ + n_, sizeof texte_ - n_, format, args);
    va_end(args);
    if (r < 0 || n_ + static_cast<std::size_t>(r) >= sizeof texte_) {
        deborde_ = true;
        texte_[n_] = '\0';
    } else {
        n_ += static_cast<std::size_t>(r);
    }
    return *this;
}

Commande &Commande::Reel(double v) {
    if (deborde_) return *this;
    if (!std::isfinite(v)) {
        deborde_ = true;
        return *this;
    }
    char texte[400];
    auto r = std::to_chars(texte, texte + sizeof texte, v, std::chars_format::fixed, 6);
    double relu = 0.0;
    std::from_chars(texte, r.ptr, relu);
    if (v != 0.0 && std::fabs(relu - v) > 1e-6 * std::fabs(v)) {
        r = std::to_chars(texte, texte + sizeof texte, v, std::chars_format::scientific, 6);
        for (char *c = texte; c != r.ptr; ++c)
            if (*c == 'e') *c = 'E';
    }
    const auto n = static_cast<std::size_t>(r.ptr - texte);
    if (n_ + n >= sizeof texte_) {
        deborde_ = true;
        return *this;
    }
    std::memcpy(texte_ + n_, texte, n);
    n_ += n;
    texte_[n_] = '\0';
    return *this;
}

// ---- replies ------------------------------------------------------------------------------

bool LireReel(std::string_view &s, double &v) {
    const std::size_t lus = nombres::LireReel(s, v);
    s.remove_prefix(lus);
    return lus > 0;
}

bool LireEntier(std::string_view &s, long &v) {
    const std::size_t lus = nombres::LireEntier(s, v);
    s.remove_prefix(lus);
    return lus > 0;
}

void SauterUn(std::string_view &s) {
    if (!s.empty()) s.remove_prefix(1);
}

}  // namespace pilote
