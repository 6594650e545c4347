// GPIB calls: descriptors, per-thread status, notification workers, and the choice of the board
// behind each board number.
#include "platform/gpib.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bench_config.h"
#include "platform/clock.h"

// ---- status of the calling thread ---------------------------------------------------------

thread_local int ibsta = 0;
thread_local int iberr = 0;
thread_local long ibcntl = 0;
thread_local int ibcnt = 0;

int ThreadIbsta() { return ibsta; }
int ThreadIberr() { return iberr; }
long ThreadIbcntl() { return ibcntl; }
int ThreadIbcnt() { return ibcnt; }
int Ibsta() { return ibsta; }
int Iberr() { return iberr; }
long Ibcntl() { return ibcntl; }

void FixerEtatGpib(int sta, int err, long cntl) {
    ibsta = sta;
    iberr = err;
    ibcntl = cntl;
    ibcnt = static_cast<int>(cntl);
}

// ---- boards -------------------------------------------------------------------------------

namespace {

ResultatGpib SansCarte() { return {ERR, ENEB, 0}; }

// No board behind this number: every call fails at once.
class CarteAbsente final : public CarteGpib {
public:
    bool Presente() const override { return false; }
    ResultatGpib InterfaceClear() override { return SansCarte(); }
    ResultatGpib Ecoutant(int, int, int, short *) override { return SansCarte(); }
    int Ouvrir(int, int, int, int, int, ResultatGpib &r) override {
        r = SansCarte();
        return -1;
    }
    ResultatGpib Fermer(int) override { return SansCarte(); }
    ResultatGpib Configurer(int, int, int) override { return SansCarte(); }
    ResultatGpib FixerDelai(int, double) override { return SansCarte(); }
    ResultatGpib Ecrire(int, const void *, long) override { return SansCarte(); }
    ResultatGpib Lire(int, void *, long) override { return SansCarte(); }
    ResultatGpib Effacer(int) override { return SansCarte(); }
    ResultatGpib SerialPoll(int, char *) override { return SansCarte(); }
    ResultatGpib Attendre(int, int) override { return SansCarte(); }
    ResultatGpib Interrompre(int) override { return SansCarte(); }
    bool NotificationPossible(int) override { return false; }
    ResultatGpib EtatNotification(int) override { return SansCarte(); }
    void AttendreChangement(int, double) override {}
};

std::mutex mutexCartes;  // guards the three below
std::string nomBibliotheque = "libgpib.so.0";
std::array<std::shared_ptr<CarteGpib>, ConfigBanc::kNbCartesGpib> cartes;

// The simulated board `carte` with the instruments that the bench configuration puts on it;
// absent when the program has no simulated bench.
std::shared_ptr<CarteGpib> CarteSimulee(int carte) {
    if (Simulation().carte_gpib == nullptr) return nullptr;
    return Simulation().carte_gpib(carte, ConfigurationBanc().InstrumentsSimules(carte));
}

// The boards' own settings back to their defaults (their backends are chosen again).
void RemettreReglagesCartes();

std::shared_ptr<CarteGpib> CreerCarte(int carte) {
    switch (ConfigurationBanc().ModeCarteGpib(carte)) {
    case ModeGpib::simulee:
        if (auto c = CarteSimulee(carte)) return c;
        return std::make_shared<CarteAbsente>();
    case ModeGpib::native:
        if (auto c = CarteGpibNative(carte, nomBibliotheque.c_str())) return c;
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
    {
        std::lock_guard g(mutexCartes);
        for (auto &c : cartes) c.reset();
    }
    RemettreReglagesCartes();
}

void FixerBibliothequeGpibNative(const char *nomOuChemin) {
    std::lock_guard g(mutexCartes);
    nomBibliotheque = nomOuChemin != nullptr && *nomOuChemin != '\0' ? nomOuChemin : "libgpib.so.0";
}

// ---- descriptors --------------------------------------------------------------------------

namespace {

constexpr int kNbDescripteursCarte = ConfigBanc::kNbCartesGpib;  // 0 and 1
constexpr int kDernierDescripteur = 0x7FFF;
constexpr int kMasquesNotification = RQS | TIMO;
constexpr double kTrancheAttente = 0.01;  // real seconds between two looks at a device

struct Descripteur {
    int ud = -1;
    int carte = 0;
    std::shared_ptr<CarteGpib> backend;
    int h = -1;
    // Settings given to ibdev, put back by ibonl(ud, 1).
    int pad = 0, sad = 0, tmo = 0, eot = 0, eos = 0;
    std::atomic<double> delai{0.0};  // time-out in seconds (for TIMO notifications)

    // Notification; everything below is guarded by `m`, but `commande`.
    std::mutex m;
    std::condition_variable cv;
    int masque = 0;
    GpibNotifyCallback_t rappel = nullptr;
    void *ref = nullptr;
    std::thread fil;              // the worker, while one runs that somebody will join
    std::thread::id idFil;        // the worker's id while it runs
    unsigned generation = 0;      // changed by every arming and disarming from outside
    bool enRappel = false;        // the callback is running
    bool modifieDansRappel = false;
    std::mutex commande;          // one arming or disarming from outside at a time
    std::atomic<bool> horsLigne{false};  // ibonl(ud, 0) has begun: no arming any more
};

struct Table {
    std::mutex m;
    std::map<int, std::shared_ptr<Descripteur>> appareils;
    int prochain = kNbDescripteursCarte;
    std::array<int, kNbDescripteursCarte> tmoCartes{T10s, T10s};
};

// Never destroyed: notification workers may still look at it while the program ends.
Table &LaTable() {
    static Table *t = new Table;
    return *t;
}

void RemettreReglagesCartes() {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    t.tmoCartes.fill(T10s);
}

std::shared_ptr<Descripteur> Trouver(int ud) {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    const auto it = t.appareils.find(ud);
    return it != t.appareils.end() ? it->second : nullptr;
}

bool EstCarte(int ud) { return ud >= 0 && ud < kNbDescripteursCarte; }

int Fixer(const ResultatGpib &r) {
    FixerEtatGpib(r.sta, r.err, r.cntl);
    return r.sta;
}

int Echec(int err, long cntl = 0) { return Fixer({ERR, err, cntl}); }

bool PadValide(int pad) { return pad >= 0 && pad <= 30; }
bool SadValide(int sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

// Calls `f(backend, handle)` for a device descriptor and records its outcome.
template <class F>
int SurAppareil(int ud, F &&f) {
    if (EstCarte(ud)) return Echec(EARG);
    const auto d = Trouver(ud);
    if (d == nullptr) return Echec(EDVR, EBADF);
    return Fixer(f(*d->backend, d->h));
}

// Calls `f(backend, handle)` for a board or a device descriptor (the board itself: kCarte).
template <class F>
int SurCarteOuAppareil(int ud, F &&f) {
    if (EstCarte(ud)) {
        const auto carte = CarteGpibNumero(ud);
        return Fixer(f(*carte, CarteGpib::kCarte));
    }
    const auto d = Trouver(ud);
    if (d == nullptr) return Echec(EDVR, EBADF);
    return Fixer(f(*d->backend, d->h));
}

// ---- notification workers -----------------------------------------------------------------

int MasqueRendu(int r) { return (r & ~kMasquesNotification) == 0 ? r : 0; }

void Travailleur(std::shared_ptr<Descripteur> d, unsigned gen) {
    std::unique_lock l(d->m);
    d->idFil = std::this_thread::get_id();
    double debutAttente = horloge::Secondes();
    while (d->generation == gen && d->masque != 0) {
        l.unlock();
        ResultatGpib e = d->backend->EtatNotification(d->h);
        l.lock();
        if (d->generation != gen || d->masque == 0) break;
        const double delai = d->delai.load();
        const bool echeance = (d->masque & TIMO) != 0 && delai > 0.0 &&
                              horloge::Secondes() - debutAttente >= delai;
        if ((e.sta & ERR) == 0 && (e.sta & d->masque & RQS) == 0 && !echeance) {
            l.unlock();
            d->backend->AttendreChangement(d->h, kTrancheAttente);
            l.lock();
            continue;
        }
        if (echeance) e.sta |= TIMO;
        const GpibNotifyCallback_t rappel = d->rappel;
        void *const ref = d->ref;
        d->enRappel = true;
        d->modifieDansRappel = false;
        l.unlock();
        const int r = rappel(d->ud, e.sta, e.err, e.cntl, ref);
        l.lock();
        d->enRappel = false;
        d->cv.notify_all();
        if (d->generation != gen) break;
        if (!d->modifieDansRappel) d->masque = MasqueRendu(r);
        debutAttente = horloge::Secondes();
    }
    d->idFil = {};
    // Ended on its own (mask 0): nobody is going to join this thread.
    if (d->generation == gen && d->fil.get_id() == std::this_thread::get_id()) d->fil.detach();
}

// Stops the worker of `d`, waiting for a callback that runs, and joins it. Not on the worker.
void Arreter(Descripteur &d) {
    std::thread t;
    {
        std::unique_lock l(d.m);
        ++d.generation;
        d.masque = 0;
        d.cv.wait(l, [&] { return !d.enRappel; });
        t = std::move(d.fil);
    }
    if (t.joinable()) t.join();
}

void ArreterTousALaFin();

void Demarrer(const std::shared_ptr<Descripteur> &d, int masque, GpibNotifyCallback_t rappel,
              void *ref) {
    static const bool inscrit = [] {
        horloge::Secondes();  // the clock outlives the workers stopped at exit
        std::atexit(ArreterTousALaFin);
        return true;
    }();
    (void)inscrit;
    std::lock_guard g(d->m);
    d->masque = masque;
    d->rappel = rappel;
    d->ref = ref;
    const unsigned gen = ++d->generation;
    d->fil = std::thread(Travailleur, d, gen);  // it starts once `m` is released
}

// At exit, workers stop: those in a callback are left to end on their own.
void ArreterTousALaFin() {
    std::vector<std::shared_ptr<Descripteur>> tous;
    {
        Table &t = LaTable();
        std::lock_guard g(t.m);
        for (const auto &[ud, d] : t.appareils) tous.push_back(d);
    }
    for (const auto &d : tous) {
        std::thread t;
        {
            std::lock_guard g(d->m);
            ++d->generation;
            d->masque = 0;
            t = std::move(d->fil);
            if (d->enRappel && t.joinable()) t.detach();
        }
        if (t.joinable()) t.join();
    }
}

bool SurSonFil(Descripteur &d) {
    std::lock_guard g(d.m);
    return d.enRappel && d.idFil == std::this_thread::get_id();
}

}  // namespace

// ---- calls --------------------------------------------------------------------------------

int ibfind(const char *nom) {
    std::string n = nom != nullptr ? nom : "";
    for (char &c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int carte = -1;
    if (n == "GPIB0") carte = 0;
    else if (n == "GPIB1") carte = 1;
    if (carte < 0) {
        Echec(EDVR, ENOENT);
        return -1;
    }
    if (!CarteGpibNumero(carte)->Presente()) {
        Echec(ENEB);
        return -1;
    }
    Fixer({CMPL | CIC, 0, 0});
    return carte;
}

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    if (board < 0 || board >= kNbDescripteursCarte) {
        Echec(ENEB);
        return -1;
    }
    if (!PadValide(pad) || !SadValide(sad) || tmo < TNONE || tmo > T1000s || eos < 0 ||
        eos > 0xFFFF) {
        Echec(EARG);
        return -1;
    }
    const auto backend = CarteGpibNumero(board);
    if (!backend->Presente()) {
        Echec(ENEB);
        return -1;
    }
    Table &t = LaTable();
    {
        std::lock_guard g(t.m);
        if (t.prochain > kDernierDescripteur) {
            Echec(EDVR, EMFILE);
            return -1;
        }
    }
    ResultatGpib r;
    const int h = backend->Ouvrir(pad, sad, tmo, eot != 0 ? 1 : 0, eos, r);
    if (h < 0) {
        Fixer(r.sta & ERR ? r : ResultatGpib{ERR, EDVR, 0});
        return -1;
    }
    auto d = std::make_shared<Descripteur>();
    d->carte = board;
    d->backend = backend;
    d->h = h;
    d->pad = pad;
    d->sad = sad;
    d->tmo = tmo;
    d->eot = eot != 0 ? 1 : 0;
    d->eos = eos;
    d->delai = SecondesDuCodeTmo(tmo);
    {
        std::lock_guard g(t.m);
        d->ud = t.prochain++;
        t.appareils[d->ud] = d;
    }
    Fixer({CMPL, 0, 0});
    return d->ud;
}

int ibonl(int ud, int v) {
    if (EstCarte(ud)) {
        if (v != 0) {
            Table &t = LaTable();
            std::lock_guard g(t.m);
            t.tmoCartes[static_cast<std::size_t>(ud)] = T10s;
        }
        return Fixer({CMPL, 0, 0});
    }
    const auto d = Trouver(ud);
    if (d == nullptr) return Echec(EDVR, EBADF);
    if (v != 0) {
        CarteGpib &b = *d->backend;
        const struct {
            int option, valeur;
        } reglages[] = {{IbcPAD, d->pad},
                        {IbcSAD, d->sad},
                        {IbcTMO, d->tmo},
                        {IbcEOT, d->eot},
                        {IbcEOSrd, (d->eos & REOS) != 0 ? 1 : 0},
                        {IbcEOSwrt, (d->eos & XEOS) != 0 ? 1 : 0},
                        {IbcEOScmp, (d->eos & BIN) != 0 ? 1 : 0},
                        {IbcEOSchar, d->eos & 0xFF}};
        for (const auto &r : reglages) {
            const ResultatGpib res = b.Configurer(d->h, r.option, r.valeur);
            if (res.sta & ERR) return Fixer(res);
        }
        d->delai = SecondesDuCodeTmo(d->tmo);
        return Fixer({CMPL, 0, 0});
    }
    {
        Table &t = LaTable();
        std::lock_guard g(t.m);
        t.appareils.erase(ud);  // new calls on `ud` are refused from now on
    }
    d->horsLigne = true;
    d->backend->Interrompre(d->h);  // transfers in progress on other threads end
    if (SurSonFil(*d)) {
        std::lock_guard g(d->m);
        d->masque = 0;
        d->modifieDansRappel = true;
    } else {
        std::lock_guard c(d->commande);
        Arreter(*d);
    }
    const ResultatGpib r = d->backend->Fermer(d->h);
    return Fixer(r.sta & ERR ? r : ResultatGpib{CMPL, 0, 0});
}

int ibclr(int ud) {
    return SurAppareil(ud, [](CarteGpib &b, int h) { return b.Effacer(h); });
}

int ibln(int ud, int pad, int sad, short *listen) {
    if (listen == nullptr || !PadValide(pad) || !(SadValide(sad) || sad == ALL_SAD)) {
        if (!EstCarte(ud) && Trouver(ud) == nullptr) return Echec(EDVR, EBADF);
        return Echec(EARG);
    }
    short trouve = 0;
    const int sta = SurCarteOuAppareil(
        ud, [&](CarteGpib &b, int h) { return b.Ecoutant(h, pad, sad, &trouve); });
    if ((sta & ERR) == 0) *listen = trouve;
    return sta;
}

int ibwrt(int ud, const void *buf, long count) {
    if (count < 0 || (buf == nullptr && count > 0)) return Echec(EARG);
    return SurAppareil(ud, [&](CarteGpib &b, int h) { return b.Ecrire(h, buf, count); });
}

int ibrd(int ud, void *buf, long count) {
    if (count < 0 || (buf == nullptr && count > 0)) return Echec(EARG);
    return SurAppareil(ud, [&](CarteGpib &b, int h) { return b.Lire(h, buf, count); });
}

int ibrsp(int ud, char *spr) {
    if (spr == nullptr) return Echec(EARG);
    return SurAppareil(ud, [&](CarteGpib &b, int h) { return b.SerialPoll(h, spr); });
}

int ibconfig(int ud, int option, int value) {
    if (option == IbcTMO && (value < TNONE || value > T1000s)) return Echec(EARG);
    if (EstCarte(ud) && option == IbcTMO) {
        const int sta =
            SurCarteOuAppareil(ud, [&](CarteGpib &b, int h) { return b.Configurer(h, option, value); });
        if ((sta & ERR) == 0) {
            Table &t = LaTable();
            std::lock_guard g(t.m);
            auto &tmo = t.tmoCartes[static_cast<std::size_t>(ud)];
            iberr = tmo;
            tmo = value;
        }
        return sta;
    }
    const int sta =
        SurCarteOuAppareil(ud, [&](CarteGpib &b, int h) { return b.Configurer(h, option, value); });
    if ((sta & ERR) == 0 && option == IbcTMO && !EstCarte(ud))
        if (const auto d = Trouver(ud)) d->delai = SecondesDuCodeTmo(value);
    return sta;
}

int ibtmo(int ud, int v) { return ibconfig(ud, IbcTMO, v); }

int ibsic(int ud) {
    if (!EstCarte(ud)) return Trouver(ud) != nullptr ? Echec(EARG) : Echec(EDVR, EBADF);
    return Fixer(CarteGpibNumero(ud)->InterfaceClear());
}

int ibwait(int ud, int mask) {
    if (!EstCarte(ud) && (mask & ~(TIMO | END | RQS | CMPL)) != 0) {
        if (Trouver(ud) == nullptr) return Echec(EDVR, EBADF);
        return Echec(EARG);
    }
    return SurCarteOuAppareil(ud, [&](CarteGpib &b, int h) { return b.Attendre(h, mask); });
}

int ibnotify(int ud, int mask, GpibNotifyCallback_t callback, void *refData) {
    if (EstCarte(ud)) return Echec(EARG);
    const auto d = Trouver(ud);
    if (d == nullptr) return Echec(EDVR, EBADF);
    if ((mask & ~kMasquesNotification) != 0 || (mask != 0 && callback == nullptr))
        return Echec(EARG);
    if (mask != 0 && !d->backend->NotificationPossible(d->h)) return Echec(ECAP);
    if (SurSonFil(*d)) {
        // From the callback itself: the setting takes the place of the callback's result.
        std::lock_guard g(d->m);
        d->masque = mask;
        if (mask != 0) {
            d->rappel = callback;
            d->ref = refData;
        }
        d->modifieDansRappel = true;
        return Fixer({CMPL, 0, 0});
    }
    std::lock_guard c(d->commande);
    if (d->horsLigne) return Echec(EDVR, EBADF);  // taken offline meanwhile
    Arreter(*d);
    if (mask != 0) Demarrer(d, mask, callback, refData);
    return Fixer({CMPL, 0, 0});
}

// ---- 488.2 routines -----------------------------------------------------------------------

namespace {

int TmoCarte(int board) {
    Table &t = LaTable();
    std::lock_guard g(t.m);
    return t.tmoCartes[static_cast<std::size_t>(board)];
}

// Runs `f(backend, handle)` on a handle opened for one transfer with the 488.2 address `adresse`.
template <class F>
void SurAdresse(int board, Addr4882_t adresse, int eot, int eos, F &&f) {
    if (board < 0 || board >= kNbDescripteursCarte) {
        Echec(ENEB);
        return;
    }
    const int pad = GetPAD(adresse), sad = GetSAD(adresse);
    if (!PadValide(pad) || !SadValide(sad)) {
        Echec(EARG);
        return;
    }
    const auto b = CarteGpibNumero(board);
    ResultatGpib r;
    const int h = b->Ouvrir(pad, sad, TmoCarte(board), eot, eos, r);
    if (h < 0) {
        Fixer(r);
        return;
    }
    r = f(*b, h);
    b->Fermer(h);
    Fixer(r);
}

}  // namespace

void SendIFC(int board) { Fixer(CarteGpibNumero(board)->InterfaceClear()); }

void FindLstn(int board, const Addr4882_t padList[], Addr4882_t resultList[], int limit) {
    if (padList == nullptr || (resultList == nullptr && limit > 0) || limit < 0) {
        Echec(EARG);
        return;
    }
    const auto b = CarteGpibNumero(board);
    if (!b->Presente()) {
        Echec(ENEB);
        return;
    }
    long trouves = 0;
    bool tropPeu = false;
    const auto Noter = [&](int pad, int sad) {
        if (trouves < limit) resultList[trouves++] = MakeAddr(pad, sad);
        else tropPeu = true;
    };
    for (const Addr4882_t *p = padList; *p != NOADDR; ++p) {
        const int pad = GetPAD(*p);
        if (!PadValide(pad) || GetSAD(*p) != 0) {
            Fixer({ERR, EARG, trouves});
            return;
        }
        short ecoute = 0;
        ResultatGpib r = b->Ecoutant(CarteGpib::kCarte, pad, NO_SAD, &ecoute);
        if (r.sta & ERR) {
            r.cntl = trouves;
            Fixer(r);
            return;
        }
        if (ecoute != 0) {
            Noter(pad, 0);
            continue;
        }
        for (int sad = 0x60; sad <= 0x7E; ++sad) {
            ecoute = 0;
            r = b->Ecoutant(CarteGpib::kCarte, pad, sad, &ecoute);
            if ((r.sta & ERR) == 0 && ecoute != 0) Noter(pad, sad);
        }
    }
    if (tropPeu) Fixer({ERR, ETAB, trouves});
    else Fixer({CMPL | CIC, 0, trouves});
}

void Send(int board, Addr4882_t address, const void *buffer, long count, int eotMode) {
    if (count < 0 || (buffer == nullptr && count > 0) ||
        (eotMode != NULLend && eotMode != NLend && eotMode != DABend)) {
        Echec(EARG);
        return;
    }
    SurAdresse(board, address, eotMode == DABend ? 1 : 0, 0, [&](CarteGpib &b, int h) {
        ResultatGpib r = b.Ecrire(h, buffer, count);
        if (eotMode == NLend && (r.sta & ERR) == 0) {
            b.Configurer(h, IbcEOT, 1);
            const long envoyes = r.cntl;
            r = b.Ecrire(h, "\n", 1);
            r.cntl += envoyes;
        }
        return r;
    });
}

void Receive(int board, Addr4882_t address, void *buffer, long count, int termination) {
    if (count < 0 || (buffer == nullptr && count > 0) ||
        (termination != STOPend && (termination < 0 || termination > 0xFF))) {
        Echec(EARG);
        return;
    }
    const int eos = termination == STOPend ? 0 : REOS | BIN | termination;
    SurAdresse(board, address, 1, eos, [&](CarteGpib &b, int h) { return b.Lire(h, buffer, count); });
}

// ---- extension used by platform/visa ------------------------------------------------------

int FixerDelaiGpib(int ud, double secondes) {
    const int sta =
        SurAppareil(ud, [&](CarteGpib &b, int h) { return b.FixerDelai(h, secondes); });
    if ((sta & ERR) == 0)
        if (const auto d = Trouver(ud)) d->delai = secondes;
    return sta;
}
