// A simulated concentration analyser (see dgm110.h).
#include "sim/bench/dgm110.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace sim {

namespace {

constexpr double kConcentrationMoyenne = 400.0;
constexpr double kAmplitude = 50.0;
constexpr double kPeriodeDerive = 600.0;  // seconds

}  // namespace

void AnalyseurDGM110::Recevoir(std::string_view octets, serie::Sortie & /*sortie*/) { ignores_ += octets.size(); }

void AnalyseurDGM110::Parler(double maintenant, serie::Sortie &sortie) {
    cadence_.Parle(maintenant);
    std::string trame;
    if (trameImposee_) {
        trame = *trameImposee_;
    } else {
        const long long c = concentration_.value_or(std::llround(
            kConcentrationMoyenne + kAmplitude * std::sin(2.0 * std::numbers::pi * maintenant / kPeriodeDerive)));
        char t[40];
        std::snprintf(t, sizeof t, "E%05lldP", c);
        trame = t;
    }
    if (couper_) {
        if (const auto p = trame.rfind('P'); p != std::string::npos) trame.erase(p);
    }
    sortie.Emettre(bruit_ + trame);
    ++trames_;
}

}  // namespace sim
