// What a GPIB instrument whose readings come through a service-request notification says of
// the faults it meets while an acquisition runs, and how its cycle keeps going through them.
//
// The notification is armed with the time-out as well as the service request (Masque), so that
// the callback comes back at the device's time-out when no measurement has ended. Then the
// instrument's presence on the bus is checked; an instrument that is gone is said once, and a
// measurement whose launch did not get through is launched again as soon as the instrument
// listens, so that readings resume by themselves once it is back. A cycle reports what its
// exchanges came to: no answer (unplugged, silent, a command nobody took), a reply that cannot be
// read, or readings whole, which end a fault said before ("... répond de nouveau").
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
#include "platform/text.h"

#include <string>
#include <string_view>

namespace panne_gpib {

// What the exchanges of one cycle came to, from the best to the worst.
enum class Issue { Lue, Illisible, SansReponse };
constexpr Issue Pire(Issue a, Issue b) { return a > b ? a : b; }

// The mask a running cycle arms its notification with: the service request `demande` (RQS) and
// the time-out; 0 once the cycle is stopped.
constexpr int Masque(int demande) { return demande != 0 ? demande | TIMO : 0; }

class Suivi {
public:
    // At init: the instrument's name (its first 39 characters) and address as the lines give
    // them; a fault said during an earlier acquisition is over without a line.
    void Preparer(std::string_view nom, int adresse) {
        nom = nom.substr(0, kNomInstruMax);
        nom.copy(nom_, nom.size());
        nom_[nom.size()] = '\0';
        adresse_ = adresse;
        relancer_ = false;
        panne_.Oublier();
    }

    // The end of a cycle: its exchanges came to `issue`, and the next measurement was launched
    // (`relancee`) or has to be launched again.
    void Cycle(Issue issue, bool relancee) {
        relancer_ = !relancee;
        if (!relancee) issue = Issue::SansReponse;
        if (issue == Issue::Lue) panne_.Retablie(nom_);
        else Signaler(issue);
    }

    // The notification's time-out: no measurement ended within it. An instrument gone from the
    // bus is said; one that listens gets the measurement whose launch failed, through
    // `relancer()` (true when it got through).
    template <class F>
    void Surveiller(int ud, F &&relancer) {
        short ecoute = 0;
        ibln(ud, adresse_, NO_SAD, &ecoute);
        if (ecoute == 0) {
            relancer_ = true;
            Signaler(Issue::SansReponse);
        } else if (relancer_) {
            relancer_ = !relancer();
            if (relancer_) Signaler(Issue::SansReponse);
        }
    }

private:
    void Signaler(Issue issue) {
        const char *quoi = issue == Issue::Illisible ? "réponse illisible de l'appareil (GPIB0::"_w
                                                     : "pas de réponse de l'appareil (GPIB0::"_w;
        panne_.Signaler(nom_, quoi + std::to_string(adresse_) + ")");
    }

    char nom_[kLongueurNomInstru] = "";
    int adresse_ = 0;
    bool relancer_ = false;  // the last launch did not get through
    plugin::Panne panne_;
};

}  // namespace panne_gpib
