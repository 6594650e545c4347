// VISA sessions on the GPIB layer.
#include "platform/visa.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/gpib.h"

namespace {

constexpr ViUInt32 kDelaiParDefaut = 2000;  // ms
constexpr ViUInt32 kTailleTamponParDefaut = 4096;

struct Session {
    bool gestionnaire = false;  // a resource manager
    ViSession rm = VI_NULL;     // an instrument's resource manager
    std::set<ViSession> sessions;  // a resource manager's instruments
    ViAttrState donnees = 0;       // VI_ATTR_USER_DATA

    // An instrument; guarded by `m`.
    std::mutex m;
    int ud = -1;
    int carte = 0, pad = 0, sad = 0;  // sad 0: none, else 0..30
    std::string nom;
    ViUInt32 delai = kDelaiParDefaut;
    bool envoiFin = true;
    ViUInt8 caractereFin = '\n';
    bool caractereFinActif = false;
    ViUInt16 modeLecture = VI_FLUSH_WHEN_FULL, modeEcriture = VI_FLUSH_WHEN_FULL;
    ViUInt32 tailleLecture = kTailleTamponParDefaut, tailleEcriture = kTailleTamponParDefaut;
    std::string ecriture;  // formatted output not yet sent
};

struct Table {
    std::mutex m;
    std::map<ViSession, std::shared_ptr<Session>> sessions;
    ViSession prochaine = 1;
};

Table &LaTable() {
    static Table *t = new Table;
    return *t;
}

std::shared_ptr<Session> Trouver(ViSession vi) {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    const auto it = t.sessions.find(vi);
    return it != t.sessions.end() ? it->second : nullptr;
}

std::shared_ptr<Session> Instrument(ViSession vi) {
    auto s = Trouver(vi);
    return s != nullptr && !s->gestionnaire ? s : nullptr;
}

ViSession Inscrire(std::shared_ptr<Session> s) {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    const ViSession vi = t.prochaine++;
    if (!s->gestionnaire) {
        const auto rm = t.sessions.find(s->rm);
        if (rm != t.sessions.end()) rm->second->sessions.insert(vi);
    }
    t.sessions[vi] = std::move(s);
    return vi;
}

// VISA status of a GPIB call's outcome.
ViStatus Statut(int sta, int err) {
    if ((sta & ERR) == 0) return VI_SUCCESS;
    switch (err) {
    case EABO: return (sta & TIMO) != 0 ? VI_ERROR_TMO : VI_ERROR_ABORT;
    case ENOL: return VI_ERROR_NLISTENERS;
    case ECIC: return VI_ERROR_NCIC;
    case EARG: return VI_ERROR_INV_PARAMETER;
    default: return VI_ERROR_IO;
    }
}

ViStatus StatutFil() { return Statut(ThreadIbsta(), ThreadIberr()); }

// Board, primary and secondary address of a resource name; false when it is not a GPIB
// instrument's name.
bool LireNom(std::string_view nom, int &carte, int &pad, int &sad) {
    std::string n;
    for (const char c : nom)
        if (c != ' ' && c != '\t') n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (n.size() >= 7 && n.compare(n.size() - 7, 7, "::INSTR") == 0) n.resize(n.size() - 7);
    if (n.rfind("GPIB", 0) != 0) return false;
    std::string_view r = std::string_view(n).substr(4);
    const auto Nombre = [&](int &v, int max) {
        const auto [fin, err] = std::from_chars(r.data(), r.data() + r.size(), v);
        if (err != std::errc{} || fin == r.data() || v < 0 || v > max) return false;
        r.remove_prefix(static_cast<std::size_t>(fin - r.data()));
        return true;
    };
    carte = 0;
    if (!r.empty() && std::isdigit(static_cast<unsigned char>(r.front())) && !Nombre(carte, 1))
        return false;
    if (r.rfind("::", 0) != 0) return false;
    r.remove_prefix(2);
    if (!Nombre(pad, 30)) return false;
    sad = 0;
    if (r.empty()) return true;
    if (r.rfind("::", 0) != 0) return false;
    r.remove_prefix(2);
    int s = 0;
    if (!Nombre(s, 30) || !r.empty()) return false;
    sad = 0x60 + s;
    return true;
}

// Sends the write buffer, END with its last byte when enabled. Session locked.
ViStatus Vider(Session &s) {
    if (s.ecriture.empty()) return VI_SUCCESS;
    const std::string octets = std::move(s.ecriture);
    s.ecriture.clear();
    ibwrt(s.ud, octets.data(), static_cast<long>(octets.size()));
    return StatutFil();
}

ViStatus DelaiGpib(Session &s) {
    const double secondes = s.delai == VI_TMO_INFINITE ? 0.0
                            : s.delai == VI_TMO_IMMEDIATE ? 1e-6
                                                          : s.delai / 1000.0;
    FixerDelaiGpib(s.ud, secondes);
    return StatutFil();
}

}  // namespace

ViStatus viOpenDefaultRM(ViSession *rm) {
    if (rm == nullptr) return VI_ERROR_INV_PARAMETER;
    auto s = std::make_shared<Session>();
    s->gestionnaire = true;
    *rm = Inscrire(std::move(s));
    return VI_SUCCESS;
}

ViStatus viOpen(ViSession rm, const char *nom, ViAccessMode, ViUInt32, ViSession *vi) {
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    const auto gestionnaire = Trouver(rm);
    if (gestionnaire == nullptr || !gestionnaire->gestionnaire) return VI_ERROR_INV_OBJECT;
    int carte = 0, pad = 0, sad = 0;
    if (nom == nullptr || !LireNom(nom, carte, pad, sad)) return VI_ERROR_INV_RSRC_NAME;
    const int ud = ibdev(carte, pad, sad, T10s, 1, 0);
    if (ud < 0) return VI_ERROR_RSRC_NFOUND;
    short ecoute = 0;
    ibln(ud, pad, sad, &ecoute);
    if (ecoute == 0) {
        ibonl(ud, 0);
        return VI_ERROR_RSRC_NFOUND;
    }
    auto s = std::make_shared<Session>();
    s->rm = rm;
    s->ud = ud;
    s->carte = carte;
    s->pad = pad;
    s->sad = sad;
    s->nom = "GPIB" + std::to_string(carte) + "::" + std::to_string(pad) +
             (sad != 0 ? "::" + std::to_string(sad - 0x60) : "") + "::INSTR";
    DelaiGpib(*s);
    *vi = Inscrire(std::move(s));
    return VI_SUCCESS;
}

ViStatus viClose(ViObject vi) {
    if (vi == VI_NULL) return VI_WARN_NULL_OBJECT;
    std::shared_ptr<Session> s;
    std::vector<std::shared_ptr<Session>> instruments;
    {
        Table &t = LaTable();
        std::lock_guard g(t.m);
        const auto it = t.sessions.find(vi);
        if (it == t.sessions.end()) return VI_ERROR_INV_OBJECT;
        s = it->second;
        t.sessions.erase(it);
        if (s->gestionnaire) {
            for (const ViSession i : s->sessions) {
                const auto j = t.sessions.find(i);
                if (j == t.sessions.end()) continue;
                instruments.push_back(j->second);
                t.sessions.erase(j);
            }
        } else if (const auto rm = t.sessions.find(s->rm); rm != t.sessions.end()) {
            rm->second->sessions.erase(vi);
        }
    }
    if (!s->gestionnaire) instruments.push_back(s);
    for (const auto &i : instruments) {
        std::lock_guard g(i->m);
        Vider(*i);
        ibonl(i->ud, 0);
    }
    return VI_SUCCESS;
}

ViStatus viWrite(ViSession vi, const ViByte *octets, ViUInt32 n, ViUInt32 *ecrits) {
    if (ecrits != nullptr) *ecrits = 0;
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (octets == nullptr && n > 0) return VI_ERROR_INV_PARAMETER;
    std::lock_guard g(s->m);
    ibwrt(s->ud, octets, static_cast<long>(n));
    if (ecrits != nullptr) *ecrits = static_cast<ViUInt32>(ThreadIbcntl());
    return StatutFil();
}

ViStatus viWrite(ViSession vi, const char *octets, ViUInt32 n, ViUInt32 *ecrits) {
    return viWrite(vi, reinterpret_cast<const ViByte *>(octets), n, ecrits);
}

ViStatus viRead(ViSession vi, ViByte *octets, ViUInt32 n, ViUInt32 *lus) {
    if (lus != nullptr) *lus = 0;
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (octets == nullptr && n > 0) return VI_ERROR_INV_PARAMETER;
    std::lock_guard g(s->m);
    if (const ViStatus v = Vider(*s); v < 0) return v;
    const int sta = ibrd(s->ud, octets, static_cast<long>(n));
    const auto nb = static_cast<ViUInt32>(ThreadIbcntl());
    if (lus != nullptr) *lus = nb;
    if (sta & ERR) return StatutFil();
    if (s->caractereFinActif && nb > 0 && octets[nb - 1] == s->caractereFin) return VI_SUCCESS_TERM_CHAR;
    if (sta & END) return VI_SUCCESS;
    return VI_SUCCESS_MAX_CNT;
}

ViStatus viRead(ViSession vi, char *octets, ViUInt32 n, ViUInt32 *lus) {
    return viRead(vi, reinterpret_cast<ViByte *>(octets), n, lus);
}

ViStatus viVPrintf(ViSession vi, const char *format, va_list args) {
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (format == nullptr) return VI_ERROR_INV_FMT;
    va_list copie;
    va_copy(copie, args);
    const int n = std::vsnprintf(nullptr, 0, format, copie);
    va_end(copie);
    if (n < 0) return VI_ERROR_INV_FMT;
    std::string texte(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(texte.data(), texte.size(), format, args);
    texte.resize(static_cast<std::size_t>(n));
    std::lock_guard g(s->m);
    s->ecriture += texte;
    if (s->modeEcriture == VI_FLUSH_ON_ACCESS || s->ecriture.size() >= s->tailleEcriture ||
        (!texte.empty() && texte.back() == '\n'))
        return Vider(*s);
    return VI_SUCCESS;
}

ViStatus viPrintf(ViSession vi, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus v = viVPrintf(vi, format, args);
    va_end(args);
    return v;
}

ViStatus viVScanf(ViSession vi, const char *format, va_list args) {
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (format == nullptr) return VI_ERROR_INV_FMT;
    std::lock_guard g(s->m);
    if (const ViStatus v = Vider(*s); v < 0) return v;
    // One whole reply: what does not fit in the buffer is read off and dropped.
    std::string reponse;
    char morceau[512];
    for (;;) {
        const int sta = ibrd(s->ud, morceau, sizeof morceau);
        const auto nb = static_cast<std::size_t>(std::max(0L, ThreadIbcntl()));
        const std::size_t place = s->tailleLecture > reponse.size() ? s->tailleLecture - reponse.size() : 0;
        reponse.append(morceau, std::min(nb, place));
        if (sta & ERR) return StatutFil();
        if (sta & END) break;
        if (s->caractereFinActif && nb > 0 &&
            static_cast<ViUInt8>(morceau[nb - 1]) == s->caractereFin)
            break;
    }
    std::vsscanf(reponse.c_str(), format, args);
    return VI_SUCCESS;
}

ViStatus viScanf(ViSession vi, const char *format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus v = viVScanf(vi, format, args);
    va_end(args);
    return v;
}

ViStatus viSetAttribute(ViObject vi, ViAttr attribut, ViAttrState valeur) {
    const auto s = Trouver(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (attribut == VI_ATTR_USER_DATA) {
        std::lock_guard g(s->m);
        s->donnees = valeur;
        return VI_SUCCESS;
    }
    if (s->gestionnaire) return VI_ERROR_NSUP_ATTR;
    std::lock_guard g(s->m);
    switch (attribut) {
    case VI_ATTR_TMO_VALUE:
        if (valeur > 0xFFFFFFFFu) return VI_ERROR_NSUP_ATTR_STATE;
        s->delai = static_cast<ViUInt32>(valeur);
        return DelaiGpib(*s);
    case VI_ATTR_SEND_END_EN:
        if (valeur > 1) return VI_ERROR_NSUP_ATTR_STATE;
        s->envoiFin = valeur != 0;
        ibconfig(s->ud, IbcEOT, s->envoiFin ? 1 : 0);
        return StatutFil();
    case VI_ATTR_TERMCHAR:
        if (valeur > 0xFF) return VI_ERROR_NSUP_ATTR_STATE;
        s->caractereFin = static_cast<ViUInt8>(valeur);
        ibconfig(s->ud, IbcEOSchar, s->caractereFin);
        return StatutFil();
    case VI_ATTR_TERMCHAR_EN:
        if (valeur > 1) return VI_ERROR_NSUP_ATTR_STATE;
        s->caractereFinActif = valeur != 0;
        ibconfig(s->ud, IbcEOScmp, 1);
        ibconfig(s->ud, IbcEOSrd, s->caractereFinActif ? 1 : 0);
        return StatutFil();
    case VI_ATTR_RD_BUF_OPER_MODE:
    case VI_ATTR_WR_BUF_OPER_MODE: {
        if (valeur != VI_FLUSH_ON_ACCESS && valeur != VI_FLUSH_WHEN_FULL) return VI_ERROR_NSUP_ATTR_STATE;
        (attribut == VI_ATTR_RD_BUF_OPER_MODE ? s->modeLecture : s->modeEcriture) =
            static_cast<ViUInt16>(valeur);
        return VI_SUCCESS;
    }
    case VI_ATTR_RSRC_NAME:
    case VI_ATTR_RM_SESSION:
    case VI_ATTR_GPIB_PRIMARY_ADDR:
    case VI_ATTR_GPIB_SECONDARY_ADDR:
    case VI_ATTR_INTF_NUM: return VI_ERROR_ATTR_READONLY;
    default: return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus viGetAttribute(ViObject vi, ViAttr attribut, void *valeur) {
    const auto s = Trouver(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (valeur == nullptr) return VI_ERROR_INV_PARAMETER;
    const auto Ecrire = [valeur](auto v) {
        std::memcpy(valeur, &v, sizeof v);
        return VI_SUCCESS;
    };
    std::lock_guard g(s->m);
    if (attribut == VI_ATTR_USER_DATA) return Ecrire(reinterpret_cast<ViAddr>(s->donnees));
    if (s->gestionnaire) return VI_ERROR_NSUP_ATTR;
    switch (attribut) {
    case VI_ATTR_TMO_VALUE: return Ecrire(s->delai);
    case VI_ATTR_SEND_END_EN: return Ecrire(static_cast<ViBoolean>(s->envoiFin));
    case VI_ATTR_TERMCHAR: return Ecrire(s->caractereFin);
    case VI_ATTR_TERMCHAR_EN: return Ecrire(static_cast<ViBoolean>(s->caractereFinActif));
    case VI_ATTR_RD_BUF_OPER_MODE: return Ecrire(s->modeLecture);
    case VI_ATTR_WR_BUF_OPER_MODE: return Ecrire(s->modeEcriture);
    case VI_ATTR_RM_SESSION: return Ecrire(s->rm);
    case VI_ATTR_GPIB_PRIMARY_ADDR: return Ecrire(static_cast<ViUInt16>(s->pad));
    case VI_ATTR_GPIB_SECONDARY_ADDR:
        return Ecrire(static_cast<ViUInt16>(s->sad != 0 ? s->sad - 0x60 : 0xFFFF));
    case VI_ATTR_INTF_NUM: return Ecrire(static_cast<ViUInt16>(s->carte));
    case VI_ATTR_RSRC_NAME: {
        char *texte = static_cast<char *>(valeur);
        std::snprintf(texte, 256, "%s", s->nom.c_str());
        return VI_SUCCESS;
    }
    default: return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus viReadSTB(ViSession vi, ViUInt16 *octetEtat) {
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if (octetEtat == nullptr) return VI_ERROR_INV_PARAMETER;
    char octet = 0;
    std::lock_guard g(s->m);
    const int sta = ibrsp(s->ud, &octet);
    if ((sta & ERR) == 0) *octetEtat = static_cast<unsigned char>(octet);
    return StatutFil();
}

ViStatus viSetBuf(ViSession vi, ViUInt16 masque, ViUInt32 taille) {
    const auto s = Instrument(vi);
    if (s == nullptr) return VI_ERROR_INV_OBJECT;
    if ((masque & ~(VI_READ_BUF | VI_WRITE_BUF)) != 0) return VI_WARN_NSUP_BUF;
    const ViUInt32 t = std::max<ViUInt32>(taille, 1);
    std::lock_guard g(s->m);
    if ((masque & VI_READ_BUF) != 0) s->tailleLecture = t;
    if ((masque & VI_WRITE_BUF) != 0) {
        if (s->ecriture.size() >= t) Vider(*s);
        s->tailleEcriture = t;
    }
    return VI_SUCCESS;
}

ViStatus viStatusDesc(ViObject, ViStatus statut, ViChar texte[]) {
    if (texte == nullptr) return VI_ERROR_INV_PARAMETER;
    struct Ligne {
        ViStatus statut;
        const char *texte;
    };
    static constexpr Ligne kTextes[] = {
        {VI_SUCCESS, "The operation completed successfully."},
        {VI_SUCCESS_TERM_CHAR, "The read ended on the termination character."},
        {VI_SUCCESS_MAX_CNT, "The read ended on the number of bytes asked for."},
        {VI_WARN_NULL_OBJECT, "The session given is null."},
        {VI_WARN_UNKNOWN_STATUS, "The status value given is not known."},
        {VI_WARN_NSUP_BUF, "The buffer asked for is not supported."},
        {VI_ERROR_SYSTEM_ERROR, "Unknown system error."},
        {VI_ERROR_INV_OBJECT, "The session or object given is not valid."},
        {VI_ERROR_RSRC_NFOUND, "The resource is not present, or its location is incomplete."},
        {VI_ERROR_INV_RSRC_NAME, "The resource name is not valid."},
        {VI_ERROR_TMO, "Timeout expired before the operation completed."},
        {VI_ERROR_NSUP_ATTR, "The attribute is not supported by this session."},
        {VI_ERROR_NSUP_ATTR_STATE, "The value is not valid for this attribute."},
        {VI_ERROR_ATTR_READONLY, "The attribute is read only."},
        {VI_ERROR_ABORT, "The transfer was aborted."},
        {VI_ERROR_ALLOC, "Not enough memory for the operation."},
        {VI_ERROR_IO, "An input/output error stopped the operation."},
        {VI_ERROR_INV_FMT, "The format string is not valid."},
        {VI_ERROR_NLISTENERS, "No listener answered on the bus."},
        {VI_ERROR_NCIC, "The interface is not controller in charge."},
        {VI_ERROR_NSUP_OPER, "The session does not support this operation."},
        {VI_ERROR_INV_PARAMETER, "A parameter of the operation is not valid."},
    };
    for (const Ligne &l : kTextes) {
        if (l.statut != statut) continue;
        std::snprintf(texte, 256, "%s", l.texte);
        return VI_SUCCESS;
    }
    std::snprintf(texte, 256, "Unknown status value 0x%08X.", static_cast<unsigned>(statut));
    return VI_WARN_UNKNOWN_STATUS;
}
