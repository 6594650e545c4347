// The program's one clock: real (optionally sped up) or fake (moves only when advanced).
//
// Program seconds are kept continuous across every change: a new speed or a switch between
// the real and the fake clock takes the current reading as the new base, so no reader ever
// sees the clock jump or go backwards. The calendar runs on the same program seconds from a
// calendar origin: at speed 1 it follows time(), sped up it runs as fast as the program clock,
// and the fake clock gives exactly its start plus the whole seconds it was advanced by.
//
// The fake clock moves only when asked to (AvancerHorlogeFactice, Patienter), one mover at a
// time; on its way it stops at every program time a participant asks for and lets the
// participants act there, so that a simulated device says what it has to say at its own time
// and the port takes it in before anyone looks.
#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace horloge {
namespace {

using Reel = std::chrono::steady_clock;

struct Etat {
    std::mutex mutex;
    bool factice = false;
    double vitesse = 1.0;
    // Real clock: program seconds = base + (now - origineReelle) * vitesse.
    double base = 0.0;
    Reel::time_point origineReelle = Reel::now();
    // Calendar of the real clock: calendrierOrigine + (program seconds - base0Calendrier).
    double calendrierOrigine = 0.0;
    double base0Calendrier = 0.0;
    // Fake clock: program seconds = base + ecouleFactice; calendar = debutFactice + whole
    // seconds of ecouleFactice.
    double ecouleFactice = 0.0;
    std::time_t debutFactice = 0;

    Etat() { CalerCalendrierReel(0.0); }

    // Calendar origin taken from the system clock at program second `secondes`.
    void CalerCalendrierReel(double secondes) {
        const auto maintenant = std::chrono::system_clock::now().time_since_epoch();
        calendrierOrigine = std::chrono::duration<double>(maintenant).count();
        base0Calendrier = secondes;
    }

    double SecondesVerrouille() const {
        if (factice) return base + ecouleFactice;
        const std::chrono::duration<double> reel = Reel::now() - origineReelle;
        return base + reel.count() * vitesse;
    }
};

Etat &LEtat() {
    static Etat etat;
    return etat;
}

}  // namespace

struct Participant::Inscrit {
    std::mutex m;  // held while it acts: its end waits for a call under way
    std::function<Suite(double)> agir;
    bool present = true;
};

namespace {

constexpr double kJamais = std::numeric_limits<double>::infinity();
constexpr double kTrancheMax = 0.1;        // longest real wait before the clock is read again
constexpr double kTrancheAttente = 0.005;  // fake clock, nothing due: real wait for the outside
constexpr int kToursMax = 16;              // rounds of acting at one time (each one moving bytes)
constexpr double kTrancheRetenue = 0.001;  // fake clock held back by another thread: real wait
// Longest real time a thread holds the fake clock back (Retenir): between its sending and its
// wait for the answer it only computes, so this bounds a thread that never waits.
constexpr std::chrono::milliseconds kRetenueMax{50};

// A thread holding the fake clock back, until a real time.
struct Retenue {
    std::thread::id fil;
    Reel::time_point jusqua;
};

struct Participants {
    std::mutex m;
    std::vector<std::shared_ptr<Participant::Inscrit>> inscrits;
    std::mutex mouvement;  // one mover of the fake clock at a time
    std::mutex mRetenues;
    std::vector<Retenue> retenues;
};

Participants &LesParticipants() {
    static Participants *p = new Participants;  // participants may go while the program ends
    return *p;
}

// Every participant acts at `maintenant`, again while one of them moves something (a device's
// answer taken in by its port, which may wake the device...). The next time strictly ahead that
// one of them asks for; `actif` when one moved something.
Suite Agir(double maintenant) {
    Participants &p = LesParticipants();
    std::vector<std::shared_ptr<Participant::Inscrit>> inscrits;
    {
        std::lock_guard g(p.m);
        inscrits = p.inscrits;
    }
    Suite total{kJamais, false};
    for (int tour = 0; tour < kToursMax; ++tour) {
        bool actif = false;
        total.prochain = kJamais;
        for (const auto &i : inscrits) {
            std::lock_guard g(i->m);
            if (!i->present) continue;
            const Suite s = i->agir(maintenant);
            actif = actif || s.actif;
            if (s.prochain > maintenant) total.prochain = std::min(total.prochain, s.prochain);
        }
        if (!actif) break;
        total.actif = true;
    }
    return total;
}

// Puts the fake clock at `t` (never backwards), so that it reads at least `t`; with `ecoule`,
// at exactly that much fake time elapsed. False when the clock is the real one again. Caller
// holds the mover's lock.
bool Poser(double t, double ecoule = -1.0) {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    if (!e.factice) return false;
    if (ecoule < 0.0) {
        ecoule = t - e.base;
        if (e.base + ecoule < t) ecoule = std::nextafter(ecoule, kJamais);
    }
    e.ecouleFactice = std::max(e.ecouleFactice, ecoule);
    return true;
}

// Drops the calling thread's hold on the clock, and the holds whose time is over.
void LacherRetenue(Participants &p) {
    std::lock_guard g(p.mRetenues);
    const auto ici = std::this_thread::get_id();
    const auto maintenant = Reel::now();
    std::erase_if(p.retenues, [&](const Retenue &r) { return r.fil == ici || r.jusqua <= maintenant; });
}

// Another thread holds the clock back (Retenir), and its time is not over.
bool RetenuParUnAutre(Participants &p) {
    std::lock_guard g(p.mRetenues);
    const auto ici = std::this_thread::get_id();
    const auto maintenant = Reel::now();
    return std::any_of(p.retenues.begin(), p.retenues.end(),
                       [&](const Retenue &r) { return r.fil != ici && r.jusqua > maintenant; });
}

// Waits, the mover's lock let go meanwhile, while another thread holds the clock back; true when
// it waited (what the participants have may have changed: look again).
bool AttendreRetenues(Participants &p, std::unique_lock<std::mutex> &mouvement) {
    if (!RetenuParUnAutre(p)) return false;
    mouvement.unlock();
    std::this_thread::sleep_for(std::chrono::duration<double>(kTrancheRetenue));
    mouvement.lock();
    return true;
}

// Fake time elapsed so far.
double Ecoule() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    return e.ecouleFactice;
}

}  // namespace

Participant::Participant(std::function<Suite(double)> agir) : inscrit_(std::make_shared<Inscrit>()) {
    inscrit_->agir = std::move(agir);
    Participants &p = LesParticipants();
    std::lock_guard g(p.m);
    p.inscrits.push_back(inscrit_);
}

Participant::~Participant() {
    {
        Participants &p = LesParticipants();
        std::lock_guard g(p.m);
        std::erase(p.inscrits, inscrit_);
    }
    std::lock_guard g(inscrit_->m);
    inscrit_->present = false;
    inscrit_->agir = nullptr;
}

double Secondes() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    return e.SecondesVerrouille();
}

std::time_t Calendrier() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    if (e.factice) return e.debutFactice + static_cast<std::time_t>(std::floor(e.ecouleFactice));
    const double ecoule = e.SecondesVerrouille() - e.base0Calendrier;
    return static_cast<std::time_t>(std::floor(e.calendrierOrigine + ecoule));
}

void FixerVitesse(double facteur) {
    // A factor that is not a positive finite number would stop the clock or run it backwards.
    if (!(facteur > 0.0) || !std::isfinite(facteur)) return;
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    if (!e.factice) {
        e.base = e.SecondesVerrouille();
        e.origineReelle = Reel::now();
    }
    e.vitesse = facteur;
}

double Vitesse() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    return e.vitesse;
}

void UtiliserHorlogeFactice(std::time_t debut) {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    e.base = e.SecondesVerrouille();
    e.ecouleFactice = 0.0;
    e.debutFactice = debut;
    e.factice = true;
}

void AvancerHorlogeFactice(double secondes) {
    // The clock never goes backwards: a negative or invalid step is ignored.
    if (!(secondes > 0.0) || !std::isfinite(secondes)) return;
    Participants &p = LesParticipants();
    std::unique_lock mouvement(p.mouvement);
    if (!HorlogeFactice()) return;
    LacherRetenue(p);
    // The end is counted as the sum of the steps asked for, whatever the stops on the way.
    const double ecouleCible = Ecoule() + secondes;
    const double cible = Secondes() + secondes;
    for (;;) {
        const Suite s = Agir(Secondes());
        if (AttendreRetenues(p, mouvement)) continue;
        if (s.prochain >= cible || !Poser(s.prochain)) break;
    }
    while (AttendreRetenues(p, mouvement)) Agir(Secondes());
    if (Poser(cible, ecouleCible)) Agir(Secondes());
}

double Patienter(double fin, const std::function<bool()> &pret) {
    if (!HorlogeFactice()) {
        const double reste = fin - Secondes();
        if (reste <= 0.0) return -1.0;
        return std::min(kTrancheMax, reste / Vitesse());
    }
    Participants &p = LesParticipants();
    std::lock_guard mouvement(p.mouvement);
    const double maintenant = Secondes();
    if (maintenant >= fin) {
        LacherRetenue(p);
        return -1.0;
    }
    // What the participants had came in now, or before (taken by a port's own reader): the
    // waiter looks again before the clock moves (still holding it back, if it did).
    const Suite s = Agir(maintenant);
    if (s.actif || (pret && pret())) return 0.0;
    // The waiter lets the clock move; another thread about to wait for an answer due now looks
    // first.
    LacherRetenue(p);
    if (RetenuParUnAutre(p)) return kTrancheRetenue;
    const double cible = std::min(fin, s.prochain);
    // Nothing due before an endless wait: what it waits for comes from outside the clock.
    if (!std::isfinite(cible)) return kTrancheAttente;
    if (Poser(cible)) Agir(Secondes());
    return 0.0;
}

void Retenir() {
    if (!HorlogeFactice()) return;
    Participants &p = LesParticipants();
    // After a move under way: what is sent goes at the time it ends on.
    std::lock_guard mouvement(p.mouvement);
    std::lock_guard g(p.mRetenues);
    const auto ici = std::this_thread::get_id();
    const auto jusqua = Reel::now() + kRetenueMax;
    for (Retenue &r : p.retenues) {
        if (r.fil == ici) {
            r.jusqua = jusqua;
            return;
        }
    }
    p.retenues.push_back({ici, jusqua});
}

void Relacher() { LacherRetenue(LesParticipants()); }

void UtiliserHorlogeReelle() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    e.base = e.SecondesVerrouille();
    e.origineReelle = Reel::now();
    e.vitesse = 1.0;
    e.factice = false;
    e.CalerCalendrierReel(e.base);
}

bool HorlogeFactice() {
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    return e.factice;
}

}  // namespace horloge
