// What the instrument drivers' tests share: a device that records every message and answers
// from a table that a test may change at any time (tests/support/repondeur.h), and the bench it
// sits on.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/visa.h"
#include "sim/bus.h"
#include "tests/support/gpib_essai.h"
#include "tests/support/repondeur.h"

namespace essai {

// A bench with board 0 simulated and a Repondeur at address `adresse`.
class BancPilote {
public:
    explicit BancPilote(int adresse) : repondeur_(std::make_shared<Repondeur>()) {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(adresse, repondeur_);
    }
    Repondeur &Appareil() { return *repondeur_; }
    const Banc &LeBanc() const { return banc_; }

private:
    Banc banc_;
    std::shared_ptr<Repondeur> repondeur_;
};

inline std::pair<std::string, bool> Fin(std::string octets) { return {std::move(octets), true}; }

// The time-out of a VISA session, in ms.
inline ViUInt32 DelaiSession(ViSession vi) {
    ViUInt32 delai = 0;
    viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai);
    return delai;
}

}  // namespace essai
