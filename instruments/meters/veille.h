// The watch over a meter whose readings complete by service request (the two E4419B power
// meters, the 34401A multimeter) while an acquisition runs: what it says of the faults it meets,
// and how its reading cycle keeps going through them.
//
// The notification is armed on the device's time-out as well as on its service request
// (Masque), so that the callback comes back when a time-out has passed without a request. The
// meter is then looked at (Veiller): a meter that has left the bus is said, its plugin shows
// missing values (a gap in the records, not its last reading repeated), and a measurement is
// owed; a measurement whose launch did not get through is owed likewise. A meter found on the
// bus again serves the measurement it completed meanwhile, or gets the one it is owed, so that
// its readings resume by themselves. A meter that is there and owes nothing is still measuring:
// it is left alone.
//
// Each reading cycle ends with what its exchanges came to (Bilan): readings whole end a fault
// said before, no answer or a reply that cannot be read begins one. The lines, on the main
// panel's status list (plugin::Panne), once per fault and never as a pop-up:
//   "<name> : pas de réponse de l'appareil (GPIB0::<address>)"
//   "<name> : réponse illisible de l'appareil (GPIB0::<address>)"
//   "<name> : l'appareil répond de nouveau"
//
// Threads: Preparer runs at init, before the notification is armed; everything else runs in the
// notification callbacks of that acquisition, which never overlap.
#pragma once

#include <cstddef>

#include "framework/champs.h"
#include "framework/signalement.h"
#include "platform/gpib.h"

namespace veille {

// What the exchanges of a cycle came to, from the best to the worst.
enum class Issue { Lue, Illisible, SansReponse };
constexpr Issue Pire(Issue a, Issue b) { return a > b ? a : b; }

// The mask of a running cycle's notification: its service request (`stop_interruption`, RQS)
// and the device's time-out; 0 once the cycle is stopped.
constexpr int Masque(int stop_interruption) { return stop_interruption != 0 ? stop_interruption | TIMO : 0; }

// The notification came of the time-out: no service request within it.
constexpr bool SansRequete(int ibsta_notification) {
    return (ibsta_notification & TIMO) != 0 && (ibsta_notification & RQS) == 0;
}

class Veille {
public:
    // A new acquisition: the name (its first 39 characters) and the address its lines carry; a
    // fault said before is over without a line, nothing is owed.
    template <std::size_t N>
    void Preparer(const char (&nom)[N], int adresse) {
        LireNomInstrument(nom, nom_);
        adresse_ = adresse;
        due_ = false;
        panne_.Oublier();
    }

    // The next measurement: `commande` written with its NUL. False, the measurement owed, when
    // the write did not get through.
    bool Relancer(int ud, const char *commande);

    // The end of a reading cycle whose exchanges came to `issue` and whose next measurement was
    // launched (`relancee`) or is owed (then the meter is said not to answer).
    void Bilan(Issue issue, bool relancee);

    // What a look at the meter after a time-out finds.
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
    void Dire(Issue issue);

    char nom_[kLongueurNomInstru] = "";
    int adresse_ = 0;
    bool due_ = false;  // a measurement is owed: its launch did not get through, or the meter was away
    plugin::Panne panne_;
};

}  // namespace veille
