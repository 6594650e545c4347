// The program's one clock: real (optionally sped up) or fake (moves only when advanced).
//
// Program seconds are kept continuous across every change: a new speed or a switch between
// the real and the fake clock takes the current reading as the new base, so no reader ever
// sees the clock jump or go backwards. The calendar runs on the same program seconds from a
// calendar origin: at speed 1 it follows time(), sped up it runs as fast as the program clock,
// and the fake clock gives exactly its start plus the whole seconds it was advanced by.
#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <mutex>

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
    Etat &e = LEtat();
    std::lock_guard verrou(e.mutex);
    if (e.factice) e.ecouleFactice += secondes;
}

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
