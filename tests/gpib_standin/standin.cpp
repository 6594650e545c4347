// A stand-in for the host's GPIB library: the C calls of the Linux GPIB driver's library,
// carried out on the board backends that the test attaches with banc_essai_brancher.
//
// Board n's descriptor is n; device descriptors start at 100. Each thread has its own status,
// read with ThreadIbsta, ThreadIberr and ThreadIbcntl, as in the real library.
#include <map>
#include <mutex>

#include "platform/gpib_carte.h"

namespace {

// The library's values (this file cannot include platform/gpib.h, whose calls have C++ names).
constexpr int kErr = 0x8000, kCmpl = 0x0100;
constexpr int kEdvr = 0, kEarg = 4, kEneb = 7, kEcap = 11;
constexpr int kIbcTmo = 0x03;
constexpr int kPremierAppareil = 100;

thread_local ResultatGpib etat;

std::mutex m;
CarteGpib *cartes[2] = {nullptr, nullptr};
std::map<int, std::pair<int, int>> appareils;  // descriptor -> (board, handle)
int prochain = kPremierAppareil;

int Fixer(const ResultatGpib &r) {
    etat = r;
    return r.sta;
}

// The board and handle of descriptor `ud`: a board's own descriptor gives its kCarte.
bool Trouver(int ud, CarteGpib *&carte, int &h) {
    std::lock_guard g(m);
    if (ud == 0 || ud == 1) {
        carte = cartes[ud];
        h = CarteGpib::kCarte;
        return carte != nullptr;
    }
    const auto it = appareils.find(ud);
    if (it == appareils.end()) return false;
    carte = cartes[it->second.first];
    h = it->second.second;
    return carte != nullptr;
}

template <class F>
int Sur(int ud, F &&f) {
    CarteGpib *carte = nullptr;
    int h = 0;
    if (!Trouver(ud, carte, h)) return Fixer({kErr, ud == 0 || ud == 1 ? kEneb : kEdvr, 0});
    return Fixer(f(*carte, h));
}

template <class F>
int SurAppareil(int ud, F &&f) {
    if (ud == 0 || ud == 1) return Fixer({kErr, kEarg, 0});
    return Sur(ud, f);
}

}  // namespace

#define EXPORTE extern "C" __attribute__((visibility("default")))

// For the tests: board `carte` (0 or 1) is carried out by `c` (null: no board).
EXPORTE void banc_essai_brancher(int carte, CarteGpib *c) {
    std::lock_guard g(m);
    if (carte == 0 || carte == 1) cartes[carte] = c;
}

EXPORTE int ibdev(int minor, int pad, int sad, int tmo, int eot, int eos) {
    CarteGpib *carte = nullptr;
    {
        std::lock_guard g(m);
        if (minor == 0 || minor == 1) carte = cartes[minor];
    }
    if (carte == nullptr) {
        Fixer({kErr, kEneb, 0});
        return -1;
    }
    ResultatGpib r;
    const int h = carte->Ouvrir(pad, sad, tmo, eot, eos, r);
    Fixer(r);
    if (h < 0) return -1;
    std::lock_guard g(m);
    appareils[prochain] = {minor, h};
    return prochain++;
}

EXPORTE int ibonl(int ud, int v) {
    if (v != 0) return Sur(ud, [](CarteGpib &, int) { return ResultatGpib{kCmpl, 0, 0}; });
    return SurAppareil(ud, [ud](CarteGpib &c, int h) {
        const ResultatGpib r = c.Fermer(h);
        std::lock_guard g(m);
        appareils.erase(ud);
        return r;
    });
}

EXPORTE int ibclr(int ud) {
    return SurAppareil(ud, [](CarteGpib &c, int h) { return c.Effacer(h); });
}

EXPORTE int ibln(int ud, int pad, int sad, short *trouve) {
    return Sur(ud, [&](CarteGpib &c, int h) { return c.Ecoutant(h, pad, sad, trouve); });
}

EXPORTE int ibwrt(int ud, const void *octets, long n) {
    return SurAppareil(ud, [&](CarteGpib &c, int h) { return c.Ecrire(h, octets, n); });
}

EXPORTE int ibrd(int ud, void *octets, long n) {
    return SurAppareil(ud, [&](CarteGpib &c, int h) { return c.Lire(h, octets, n); });
}

EXPORTE int ibrsp(int ud, char *octet) {
    return SurAppareil(ud, [&](CarteGpib &c, int h) { return c.SerialPoll(h, octet); });
}

EXPORTE int ibconfig(int ud, int option, int valeur) {
    return Sur(ud, [&](CarteGpib &c, int h) { return c.Configurer(h, option, valeur); });
}

EXPORTE int ibtmo(int ud, int v) { return ibconfig(ud, kIbcTmo, v); }

// With mask 0 on a device, the status a notification sees (the native backend's worker asks
// this way), so that the simulated bus's forced notification statuses reach it too.
EXPORTE int ibwait(int ud, int masque) {
    return Sur(ud, [&](CarteGpib &c, int h) {
        return masque == 0 && h != CarteGpib::kCarte ? c.EtatNotification(h) : c.Attendre(h, masque);
    });
}

EXPORTE int ibstop(int ud) {
    return SurAppareil(ud, [](CarteGpib &c, int h) { return c.Interrompre(h); });
}

EXPORTE int ibsic(int ud) {
    if (ud != 0 && ud != 1) return Fixer({kErr, kEcap, 0});
    return Sur(ud, [](CarteGpib &c, int) { return c.InterfaceClear(); });
}

EXPORTE void SendIFC(int board) { ibsic(board); }

EXPORTE int ThreadIbsta() { return etat.sta; }
EXPORTE int ThreadIberr() { return etat.err; }
EXPORTE long ThreadIbcntl() { return etat.cntl; }
EXPORTE int ThreadIbcnt() { return static_cast<int>(etat.cntl); }
