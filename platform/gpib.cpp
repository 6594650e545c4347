// GPIB boards and calls.
#include "platform/gpib.h"

#include <array>
#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>

#include "platform/bench_config.h"

// ---- status of the calling thread ---------------------------------------------------------

namespace {

struct EtatGpib {
    int sta = 0;
    int err = 0;
    long cntl = 0;
};
thread_local EtatGpib etatFil;

}  // namespace

int ThreadIbsta() { return etatFil.sta; }
int ThreadIberr() { return etatFil.err; }
long ThreadIbcntl() { return etatFil.cntl; }
int ThreadIbcnt() { return static_cast<int>(etatFil.cntl); }
int Ibsta() { return etatFil.sta; }
int Iberr() { return etatFil.err; }
long Ibcntl() { return etatFil.cntl; }

void FixerEtatGpib(int sta, int err, long cntl) { etatFil = EtatGpib{sta, err, cntl}; }

// ---- backends -----------------------------------------------------------------------------

namespace {

// No board behind this number.
class CarteAbsente final : public CarteGpib {
public:
    int InterfaceClear() override { return Echec(); }

private:
    static int Echec() {
        FixerEtatGpib(ERR, ENEB, 0);
        return ERR;
    }
};

// The simulated bus. No device is on it yet: interface clear only makes the board controller
// in charge.
class CarteSimulee final : public CarteGpib {
public:
    int InterfaceClear() override {
        FixerEtatGpib(CMPL | CIC, 0, 0);
        return CMPL | CIC;
    }
};

// The host's GPIB library, loaded once per name and kept for the whole run (its threads may
// outlive any board object). Entry points it lacks are null.
struct BibliothequeNative {
    void (*sendIfc)(int board) = nullptr;
    int (*threadIbsta)() = nullptr;
    int (*threadIberr)() = nullptr;
    long (*threadIbcntl)() = nullptr;
};

std::mutex mutexCartes;  // guards everything below
std::string nomBibliotheque = "libgpib.so.0";
std::map<std::string, const BibliothequeNative *> bibliotheques;  // null: could not be loaded
std::array<std::shared_ptr<CarteGpib>, ConfigBanc::kNbCartesGpib> cartes;

// The library `nom`, or null (with one note on stderr per name) when it cannot be used.
// Caller holds mutexCartes.
const BibliothequeNative *Bibliotheque(const std::string &nom) {
    if (const auto it = bibliotheques.find(nom); it != bibliotheques.end()) return it->second;
    const BibliothequeNative *resultat = nullptr;
    if (void *h = dlopen(nom.c_str(), RTLD_NOW | RTLD_LOCAL); h == nullptr) {
        const char *raison = dlerror();
        std::fprintf(stderr, "GPIB: native library %s not loaded (%s); native boards act as absent\n",
                     nom.c_str(), raison != nullptr ? raison : "unknown reason");
    } else {
        static std::map<std::string, BibliothequeNative> chargees;
        BibliothequeNative &b = chargees[nom];
        b.sendIfc = reinterpret_cast<void (*)(int)>(dlsym(h, "SendIFC"));
        b.threadIbsta = reinterpret_cast<int (*)()>(dlsym(h, "ThreadIbsta"));
        b.threadIberr = reinterpret_cast<int (*)()>(dlsym(h, "ThreadIberr"));
        b.threadIbcntl = reinterpret_cast<long (*)()>(dlsym(h, "ThreadIbcntl"));
        if (b.sendIfc == nullptr || b.threadIbsta == nullptr || b.threadIberr == nullptr ||
            b.threadIbcntl == nullptr) {
            std::fprintf(stderr, "GPIB: %s lacks the expected calls; native boards act as absent\n",
                         nom.c_str());
        } else {
            resultat = &b;
        }
    }
    bibliotheques[nom] = resultat;
    return resultat;
}

// A board of the host's driver: each call goes to the library, and the library's status for
// this thread becomes ours.
class CarteNative final : public CarteGpib {
public:
    CarteNative(int carte, const BibliothequeNative &b) : carte_(carte), b_(b) {}

    int InterfaceClear() override {
        b_.sendIfc(carte_);
        return Reprendre();
    }

private:
    int Reprendre() {
        const int sta = b_.threadIbsta();
        FixerEtatGpib(sta, b_.threadIberr(), b_.threadIbcntl());
        return sta;
    }

    int carte_;
    const BibliothequeNative &b_;
};

std::shared_ptr<CarteGpib> CreerCarte(int carte) {
    switch (ConfigurationBanc().ModeCarteGpib(carte)) {
    case ModeGpib::simulee: return std::make_shared<CarteSimulee>();
    case ModeGpib::native:
        if (const BibliothequeNative *b = Bibliotheque(nomBibliotheque); b != nullptr)
            return std::make_shared<CarteNative>(carte, *b);
        return std::make_shared<CarteAbsente>();
    case ModeGpib::aucune: break;
    }
    return std::make_shared<CarteAbsente>();
}

}  // namespace

std::shared_ptr<CarteGpib> CarteGpibNumero(int carte) {
    std::lock_guard g(mutexCartes);
    if (carte < 0 || carte >= ConfigBanc::kNbCartesGpib) {
        static const std::shared_ptr<CarteGpib> absente = std::make_shared<CarteAbsente>();
        return absente;
    }
    auto &c = cartes[static_cast<std::size_t>(carte)];
    if (c == nullptr) c = CreerCarte(carte);
    return c;
}

void ReinitialiserCartesGpib() {
    std::lock_guard g(mutexCartes);
    for (auto &c : cartes) c.reset();
}

void FixerBibliothequeGpibNative(const char *nomOuChemin) {
    std::lock_guard g(mutexCartes);
    nomBibliotheque = nomOuChemin != nullptr && *nomOuChemin != '\0' ? nomOuChemin : "libgpib.so.0";
}

// ---- calls --------------------------------------------------------------------------------

void SendIFC(int board) { CarteGpibNumero(board)->InterfaceClear(); }
