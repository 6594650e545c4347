// What a GPIB instrument whose readings come through a service-request notification says of
// the faults it meets while an acquisition runs, and how its cycle keeps going through them:
// the oscilloscope, the gain-phase and network analysers, the power meters and the multimeter;
// the counters say their faults through the same lines (Annonce).
//
// The notification is armed with the time-out as well as the service request (Masque), so that
// the callback comes back at the device's time-out when no measurement has ended. Then the
// instrument's presence on the bus is checked; an instrument that is gone is said once, and a
// measurement whose launch did not get through is launched again as soon as the instrument
// listens, so that readings resume by themselves once it is back (Surveiller). The meters look
// further (Veiller): a serial poll tells a measurement completed meanwhile from one still under
// way, and a meter that left the bus owes a measurement even when its launch had got through.
// A cycle reports what its exchanges came to (Cycle): no answer (unplugged, silent, a command
// nobody took), a reply that cannot be read, or readings whole, which end a fault said before.
//
// Lines on the main panel's status list (plugin::Panne, which hands them to the user-interface
// thread): "<name> : pas de réponse de l'appareil (GPIB0::<address>)" or "<name> : réponse
// illisible de l'appareil (GPIB0::<address>)" once when a fault begins, "<name> : l'appareil
// répond de nouveau" once when it ends; never a pop-up.
//
// Threads: Preparer runs at init, before the notification is armed; everything else runs in the
// notification callbacks, one at a time.
#pragma once

#include "framework/champs.h"
#include "framework/instrument.h"
#include "framework/signalement.h"
#include "platform/gpib.h"

#include <cstddef>
#include <string_view>

namespace panne_gpib {

// What the exchanges of one cycle came to, from the best to the worst.
enum class Issue { Lue, Illisible, SansReponse };
constexpr Issue Pire(Issue a, Issue b) { return a > b ? a : b; }

// The mask a running cycle arms its notification with: the service request `demande` (RQS) and
// the time-out; 0 once the cycle is stopped.
constexpr int Masque(int demande) { return demande != 0 ? demande | TIMO : 0; }

// The notification came of the time-out: no service request within it.
constexpr bool SansRequete(int ibsta_notification) {
    return (ibsta_notification & TIMO) != 0 && (ibsta_notification & RQS) == 0;
}

// The bit of the status byte that a device requesting service sets (RQS).
inline constexpr char kDemandeService = 0x40;

// The next measurement: `commande` written with its NUL. False when the write did not get
// through.
bool Lancer(int ud, const char *commande);

// "*ESR?" and its reply (10 bytes at most), dropped: the event register read off so that the
// next completion requests service anew. Nothing is read when the query did not go out.
void ViderEvenements(int ud);

// The lines an instrument says of its faults, under its name and address.
class Annonce {
public:
    // At init: the instrument's name (its first 39 characters) and address as the lines give
    // them; a fault said during an earlier acquisition is over without a line.
    void Preparer(std::string_view nom, int adresse);
    // The same from the name field of a settings block, read no further than the field.
    template <std::size_t N>
    void Preparer(const char (&nom)[N], int adresse) {
        Preparer(TexteChamp(nom), adresse);
    }

    // What the exchanges came to: readings whole end a fault said before; no answer or a reply
    // that cannot be read begins one, said once.
    void Dire(Issue issue);

    int Adresse() const { return adresse_; }

private:
    plugin::PanneNommee panne_;
    int adresse_ = 0;
};

class Suivi {
public:
    // At init (see Annonce::Preparer); no measurement is owed.
    template <class Nom>
    void Preparer(const Nom &nom, int adresse) {
        relancer_ = false;
        annonce_.Preparer(nom, adresse);
    }

    // The end of a cycle: its exchanges came to `issue`, and the next measurement was launched
    // (`relancee`) or is owed (then the instrument is said not to answer).
    void Cycle(Issue issue, bool relancee) {
        relancer_ = !relancee;
        annonce_.Dire(relancee ? issue : Issue::SansReponse);
    }

    // The notification's time-out: no measurement ended within it. An instrument gone from the
    // bus is said and owes a measurement; one that listens gets the measurement owed, through
    // `relancer()` (true when it got through), and is said when it does not take it.
    template <class F>
    void Surveiller(int ud, F &&relancer) {
        if (!Ecoute(ud)) Absent();
        else if (relancer_) Reprendre(relancer);
    }

    // What a look at a meter after a time-out finds.
    enum class Constat {
        Demande,     // it requests service after all: the callback serves the request
        EnMesure,    // a measurement is under way (it was owed and has just been launched)
        SansMesure,  // no reading is coming: the meter has left the bus, or the launch owed failed
    };
    // A time-out has passed without a service request: the meter's presence on the bus, then a
    // serial poll. A meter that has left the bus, or does not answer the poll, is said and owes
    // a measurement. One that requests service after all has completed one. Otherwise the
    // measurement owed, if any, is launched again (`commande`, after the event register has been
    // read off so that its completion requests service anew); a launch that does not get
    // through is said. A meter that is there and owes nothing is still measuring.
    Constat Veiller(int ud, const char *commande);

private:
    // Whether the instrument listens at its address.
    bool Ecoute(int ud) const;
    // Gone from the bus: said, and whatever it was measuring is owed.
    void Absent() {
        relancer_ = true;
        annonce_.Dire(Issue::SansReponse);
    }
    // The measurement owed, through `relancer()`: said when it does not get through. True when
    // it did.
    template <class F>
    bool Reprendre(F &&relancer) {
        relancer_ = !relancer();
        if (relancer_) annonce_.Dire(Issue::SansReponse);
        return !relancer_;
    }

    Annonce annonce_;
    bool relancer_ = false;  // a measurement is owed: its launch failed, or the instrument was away
};

}  // namespace panne_gpib
