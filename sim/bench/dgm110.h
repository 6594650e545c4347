// A simulated concentration analyser on a serial line (9600 baud, 8N1) that pushes its
// readings and listens to nothing.
//
// Once per period (1 s of program time by default) it sends a frame: 'E', the concentration as
// five decimal digits, 'P' ("E00412P"). The concentration drifts slowly around 400 (a sine of
// amplitude 50 and period 10 minutes of program time), unless a test imposes it.
//
// Failures, beyond those of the line (sim/serie/ligne.h: silence, garbage, unplugging, delay):
// the exact bytes of the frames imposed (a sign, a decimal point, more digits than any reading
// holds), bytes before each frame, frames cut before their 'P', and the period (infinity: none).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/bench/cadence.h"
#include "sim/serie/ligne.h"

namespace sim {

class AnalyseurDGM110 final : public serie::Modele {
public:
    void Recevoir(std::string_view octets, serie::Sortie &sortie) override;
    double Reveil() const override { return cadence_.Prochaine(); }
    void Parler(double maintenant, serie::Sortie &sortie) override;

    // Frames sent so far.
    int Trames() const { return trames_; }
    // Bytes received from the computer (the analyser ignores them).
    std::size_t OctetsIgnores() const { return ignores_; }

    // Seconds of program time between two frames; infinity stops them. The next frame comes
    // one period from the last one (or at once, when none came yet).
    void FixerPeriode(double secondes) { cadence_.FixerPeriode(secondes); }
    // One frame at once; the next one a period later.
    void Envoyer() { cadence_.MaintenantPuisChaquePeriode(); }
    // The concentration sent, whatever the drift (nullopt: the drifting one).
    void ImposerConcentration(std::optional<long long> c) { concentration_ = c; }
    // The exact bytes of every frame, 'E' and 'P' included (nullopt: the normal frame).
    void ImposerTrame(std::optional<std::string> octets) { trameImposee_ = std::move(octets); }
    void FixerBruitAvantTrame(std::string octets) { bruit_ = std::move(octets); }
    // Frames stop before their 'P'.
    void CouperTrames(bool couper) { couper_ = couper; }

private:
    Cadence cadence_{1.0};
    int trames_ = 0;
    std::size_t ignores_ = 0;
    std::optional<long long> concentration_;
    std::optional<std::string> trameImposee_;
    std::string bruit_;
    bool couper_ = false;
};

}  // namespace sim
