// The pace of a simulated device that speaks on its own: one word per period of program time
// (sim/serie/ligne.h, Modele::Reveil and Parler).
#pragma once

#include <cmath>
#include <limits>

namespace sim {

class Cadence {
public:
    explicit Cadence(double periode) { FixerPeriode(periode); }

    // When the next word is due (infinity: none), to within a microsecond: a clock advanced by
    // exactly a period reaches the next word whatever the rounding of its sums.
    double Prochaine() const { return prochaine_ - kTolerance; }
    double Periode() const { return periode_; }
    // The word due was spoken at `maintenant`: the next one comes a period later (one that is
    // late is not made up for).
    void Parle(double maintenant) {
        derniere_ = maintenant;
        prochaine_ = maintenant + periode_;
    }
    // A new period (not above 0: infinity, no more words), counted from the last word, or from
    // now when none came yet.
    void FixerPeriode(double secondes) {
        periode_ = secondes > 0.0 ? secondes : std::numeric_limits<double>::infinity();
        if (!std::isfinite(periode_)) prochaine_ = periode_;
        else prochaine_ = std::isfinite(derniere_) ? derniere_ + periode_ : kTout;
    }
    // The next word at once, then one per period.
    void MaintenantPuisChaquePeriode() { prochaine_ = kTout; }
    // No word until told again.
    void Taire() { prochaine_ = std::numeric_limits<double>::infinity(); }

private:
    static constexpr double kTout = -std::numeric_limits<double>::infinity();
    static constexpr double kTolerance = 1e-6;  // seconds
    double periode_ = std::numeric_limits<double>::infinity();
    double prochaine_ = std::numeric_limits<double>::infinity();
    double derniere_ = std::numeric_limits<double>::quiet_NaN();
};

}  // namespace sim
