// What a GPIB instrument whose readings come through a service-request notification says of
// the faults it meets while an acquisition runs, and how its cycle keeps going through them:
// the oscilloscope, the gain-phase and network analysers, the power meters, the multimeter and
// the counters.
//
// The notification is armed with the time-out as well as the service request (Masque), so that
// the callback comes back at the device's time-out when no measurement has ended. Then the
// instrument is looked at, in one way for all (Suivi::Surveiller), each instrument saying which
// looks it takes (Regard): its presence on the bus, a serial poll, or both. An instrument that is
// gone is said once and owes a measurement; one found requesting service has completed one
// meanwhile; one that is there and owes a measurement gets it launched again, so that readings
// resume by themselves once it is back.
// A cycle reports what its exchanges came to (Cycle): no answer (unplugged, silent, a command
// nobody took), a reply that cannot be read, or readings whole, which end a fault said before.
//
// Lines on the main panel's status list (plugin::Panne, which hands them to the user-interface
// thread): "<name> : pas de réponse de l'appareil (GPIB0::<address>)" or "<name> : réponse
// illisible de l'appareil (GPIB0::<address>)" once when a fault begins, "<name> : l'appareil
// répond de nouveau" once when it ends; never a pop-up.
//
// Taking the device offline (at the next init or when the instrument is freed) cuts short the
// exchanges of a callback still running: they fail through no fault of the instrument. The watch
// is silenced first (Fermer), so that such a callback says nothing; otherwise its "pas de
// réponse" would reach the status list after the new init and stand for the new acquisition,
// whose first real fault would then be said a second time.
//
// Threads: Taire and Preparer run at init, before the notification is armed (Taire also when the
// instrument is freed); everything else runs in the notification callbacks, one at a time (a
// counter's watchdog may relaunch from the user-interface thread: the measurement owed is an
// atomic flag).
#pragma once

#include "framework/champs.h"
#include "framework/instrument.h"
#include "framework/signalement.h"
#include "platform/gpib.h"

#include <atomic>
#include <cstddef>
#include <string_view>

namespace plugin {
class Activite;
}

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

// The relaunch of a measurement owed: the event register read off (ViderEvenements), so that
// its completion requests service anew, then `commande` launched (Lancer). False when the
// launch did not get through.
bool Relancer(int ud, const char *commande);

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
    // that cannot be read begins one, said once. Nothing between Taire and the next Preparer.
    void Dire(Issue issue);

    // Before the device goes offline (ouverture_gpib::Fermer): the exchanges of a callback still
    // running fail from then on because the program cut them short, not because the instrument
    // failed, and that run is over: nothing more is said of it until the next Preparer.
    void Taire() { muette_.store(true); }

    int Adresse() const { return adresse_; }

private:
    plugin::PanneNommee panne_;
    int adresse_ = 0;
    std::atomic<bool> muette_{false};
};

// What the instrument is looked at for, when a time-out has passed without a service request.
struct Regard {
    bool ecoute = true;    // its presence on the bus (ibln at its address)
    bool sondage = false;  // then a serial poll: a request found after all, or no answer at all
};

// What a look at an instrument after a time-out finds.
enum class Constat {
    Demande,     // it requests service after all: the callback serves the request
    EnMesure,    // a measurement is under way (or was owed and has just been launched)
    SansMesure,  // no reading is coming: it has left the bus, or the launch owed failed
};

class Suivi {
public:
    // At init (see Annonce::Preparer); no measurement is owed.
    template <class Nom>
    void Preparer(const Nom &nom, int adresse) {
        relancer_.store(false);
        annonce_.Preparer(nom, adresse);
    }

    // What the exchanges came to, said as they come (see Annonce::Dire).
    void Dire(Issue issue) { annonce_.Dire(issue); }

    // Before the device goes offline: nothing more said until the next Preparer (see
    // Annonce::Taire).
    void Taire() { annonce_.Taire(); }

    // The end of a cycle: its exchanges came to `issue`, and the next measurement was launched
    // (`relancee`) or is owed (then the instrument is said not to answer).
    void Cycle(Issue issue, bool relancee) {
        relancer_.store(!relancee);
        annonce_.Dire(relancee ? issue : Issue::SansReponse);
    }

    // The next measurement, through `relancer()` (true when it got through); one that does not
    // get through is said and owed. True when it did.
    template <class F>
    bool Relancer(F &&relancer) {
        const bool passe = relancer();
        relancer_.store(!passe);
        if (!passe) annonce_.Dire(Issue::SansReponse);
        return passe;
    }

    // The watch: a time-out has passed without a service request. The instrument is looked at
    // as `regard` says, its presence on the bus first, then a serial poll. One that has left the
    // bus, or does not answer the poll, is said and owes a measurement (SansMesure). One whose
    // status byte requests service has completed a measurement (Demande). One that is there and
    // owes a measurement gets it through `relancer()` (true when it got through): EnMesure, or
    // SansMesure said when it does not take it. One that owes nothing is still measuring.
    template <class F>
    Constat Surveiller(int ud, F &&relancer, Regard regard = {}) {
        char octet = 0;
        if ((regard.ecoute && !Ecoute(ud)) || (regard.sondage && !Sonder(ud, octet))) {
            relancer_.store(true);
            annonce_.Dire(Issue::SansReponse);
            return Constat::SansMesure;
        }
        if ((octet & kDemandeService) != 0) return Constat::Demande;
        if (!relancer_.load()) return Constat::EnMesure;
        return Relancer(relancer) ? Constat::EnMesure : Constat::SansMesure;
    }

    // Whether a measurement is owed; `due` makes it so or not, as a run that left one owed.
    bool Due() const { return relancer_.load(); }
    void FixerDue(bool due) { relancer_.store(due); }

private:
    // Whether the instrument listens at its address.
    bool Ecoute(int ud) const;
    // A serial poll: its status byte into `octet`. False when the instrument did not answer.
    static bool Sonder(int ud, char &octet);

    Annonce annonce_;
    // A measurement is owed: its launch failed, or the instrument was away.
    std::atomic<bool> relancer_{false};
};

// The device of the last init taken offline (ouverture_gpib::Fermer), the watch of its cycle
// silenced first (Suivi::Taire): a callback that the offline cuts short says nothing.
void Fermer(Suivi &suivi, int &ud, plugin::Activite &activite);

}  // namespace panne_gpib
