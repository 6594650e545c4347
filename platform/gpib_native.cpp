// The native board backend: the host's GPIB library (libgpib.so.0 of the Linux GPIB driver),
// loaded at run time. Its calls have the same names and meanings as ours; its board descriptor
// of board n is n. It has no notification call: the notification worker of platform/gpib.cpp
// looks at the device's status (ibwait with mask 0) between short sleeps instead.
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/gpib.h"

namespace {

// The library's calls. Loaded once per name and kept for the whole run: the library's own
// threads and state may outlive any board object.
struct Bibliotheque {
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibonl)(int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibln)(int, int, int, short *) = nullptr;
    int (*ibwrt)(int, const void *, long) = nullptr;
    int (*ibrd)(int, void *, long) = nullptr;
    int (*ibrsp)(int, char *) = nullptr;
    int (*ibconfig)(int, int, int) = nullptr;
    int (*ibtmo)(int, int) = nullptr;
    int (*ibwait)(int, int) = nullptr;
    int (*ibstop)(int) = nullptr;  // optional
    void (*sendIfc)(int) = nullptr;
    int (*threadIbsta)() = nullptr;
    int (*threadIberr)() = nullptr;
    long (*threadIbcntl)() = nullptr;
};

template <class T>
bool Charger(void *h, const char *nom, T &f) {
    f = reinterpret_cast<T>(dlsym(h, nom));
    return f != nullptr;
}

std::mutex mutexBibliotheques;
std::map<std::string, const Bibliotheque *> bibliotheques;  // null: could not be used

const Bibliotheque *Charger(const std::string &nom) {
    std::lock_guard g(mutexBibliotheques);
    if (const auto it = bibliotheques.find(nom); it != bibliotheques.end()) return it->second;
    const Bibliotheque *resultat = nullptr;
    if (void *h = dlopen(nom.c_str(), RTLD_NOW | RTLD_LOCAL); h == nullptr) {
        const char *raison = dlerror();
        std::fprintf(stderr, "GPIB: native library %s not loaded (%s); native boards act as absent\n",
                     nom.c_str(), raison != nullptr ? raison : "unknown reason");
    } else {
        auto *b = new Bibliotheque;  // kept for the whole run, like the library
        const bool complete =
            Charger(h, "ibdev", b->ibdev) && Charger(h, "ibonl", b->ibonl) &&
            Charger(h, "ibclr", b->ibclr) && Charger(h, "ibln", b->ibln) &&
            Charger(h, "ibwrt", b->ibwrt) && Charger(h, "ibrd", b->ibrd) &&
            Charger(h, "ibrsp", b->ibrsp) && Charger(h, "ibconfig", b->ibconfig) &&
            Charger(h, "ibtmo", b->ibtmo) && Charger(h, "ibwait", b->ibwait) &&
            Charger(h, "SendIFC", b->sendIfc) && Charger(h, "ThreadIbsta", b->threadIbsta) &&
            Charger(h, "ThreadIberr", b->threadIberr) && Charger(h, "ThreadIbcntl", b->threadIbcntl);
        Charger(h, "ibstop", b->ibstop);
        if (complete) {
            resultat = b;
        } else {
            std::fprintf(stderr, "GPIB: %s lacks the expected calls; native boards act as absent\n",
                         nom.c_str());
            delete b;
        }
    }
    bibliotheques[nom] = resultat;
    return resultat;
}

class CarteNative final : public CarteGpib {
public:
    CarteNative(int carte, const Bibliotheque &b) : carte_(carte), b_(b) {}

    ResultatGpib InterfaceClear() override {
        b_.sendIfc(carte_);
        return Etat();
    }
    ResultatGpib Ecoutant(int h, int pad, int sad, short *trouve) override {
        b_.ibln(Ud(h), pad, sad, trouve);
        return Etat();
    }
    int Ouvrir(int pad, int sad, int tmo, int eot, int eos, ResultatGpib &r) override {
        const int ud = b_.ibdev(carte_, pad, sad, tmo, eot, eos);
        r = Etat();
        return ud;
    }
    ResultatGpib Fermer(int h) override {
        b_.ibonl(h, 0);
        return Etat();
    }
    ResultatGpib Configurer(int h, int option, int valeur) override {
        b_.ibconfig(Ud(h), option, valeur);
        return Etat();
    }
    ResultatGpib FixerDelai(int h, double secondes) override {
        const int code = CodeTmoPourSecondes(secondes);
        b_.ibtmo(Ud(h), secondes > 0.0 && code == TNONE ? T1000s : code);
        return Etat();
    }
    ResultatGpib Ecrire(int h, const void *octets, long n) override {
        b_.ibwrt(h, octets, n);
        return Etat();
    }
    ResultatGpib Lire(int h, void *octets, long n) override {
        b_.ibrd(h, octets, n);
        return Etat();
    }
    ResultatGpib Effacer(int h) override {
        b_.ibclr(h);
        return Etat();
    }
    ResultatGpib SerialPoll(int h, char *octet) override {
        b_.ibrsp(h, octet);
        return Etat();
    }
    ResultatGpib Attendre(int h, int masque) override {
        b_.ibwait(Ud(h), masque);
        return Etat();
    }
    ResultatGpib Interrompre(int h) override {
        if (b_.ibstop == nullptr) return {ERR, ECAP, 0};
        b_.ibstop(h);
        return Etat();
    }
    bool NotificationPossible(int) override { return true; }
    ResultatGpib EtatNotification(int h) override {
        b_.ibwait(h, 0);
        return Etat();
    }
    void AttendreChangement(int, double secondesReelles) override {
        std::this_thread::sleep_for(std::chrono::duration<double>(secondesReelles));
    }

private:
    int Ud(int h) const { return h == kCarte ? carte_ : h; }
    // The library's status of this thread, which its last call left.
    ResultatGpib Etat() const { return {b_.threadIbsta(), b_.threadIberr(), b_.threadIbcntl()}; }

    int carte_;
    const Bibliotheque &b_;
};

}  // namespace

std::shared_ptr<CarteGpib> CarteGpibNative(int carte, const char *nomOuChemin) {
    const Bibliotheque *b = Charger(nomOuChemin != nullptr ? nomOuChemin : "libgpib.so.0");
    if (b == nullptr) return nullptr;
    return std::make_shared<CarteNative>(carte, *b);
}
