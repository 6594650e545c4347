// A simulated temperature regulator on a serial line (9600 baud, 8N1).
//
// The regulator reports its regulated temperature on its own, once per period (1 s of program
// time by default): 't', the temperature as text with two decimals, CR, LF ("t23.45\r\n").
// It regulates towards its set-point as a first-order system (time constant 20 s), starting at
// the ambient 20 °C with a set-point of 20 °C.
//
// A new set-point is a small exchange: the computer sends 'c'; the regulator answers 'y' when
// ready, then takes the text that follows up to two carriage returns ("21.50\r\r") as its new
// set-point; a text that is no number leaves the set-point as it was, and a 'c' starts the
// exchange again.
//
// Failures, beyond those of the line (sim/serie/ligne.h: silence, garbage, unplugging, delay):
// a report text imposed (a text without a number), bytes before each report's 't', reports cut
// in the middle of their text (no line feed), bytes before the 'y', a regulator that never
// answers 'c', and the period of the reports (infinity: none).
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bench/cadence.h"
#include "sim/serie/ligne.h"

namespace sim {

class RegulateurAcoustique final : public serie::Modele {
public:
    void Recevoir(std::string_view octets, serie::Sortie &sortie) override;
    double Reveil() const override { return cadence_.Prochaine(); }
    void Parler(double maintenant, serie::Sortie &sortie) override;

    double Consigne() const { return consigne_; }
    // Every set-point taken, in order.
    const std::vector<double> &Consignes() const { return consignes_; }
    double Temperature() const { return temperature_; }
    // Reports sent so far.
    int Rapports() const { return rapports_; }

    // Seconds of program time between two reports; infinity stops them. The next report comes
    // one period from the last one (or at once, when none came yet).
    void FixerPeriode(double secondes) { cadence_.FixerPeriode(secondes); }
    // One report at once; the next one a period later.
    void Rapporter() { cadence_.MaintenantPuisChaquePeriode(); }
    // The temperature reported, whatever the regulation (nullopt: the regulated one).
    void ImposerTemperature(std::optional<double> t) { temperatureImposee_ = t; }
    // The exact text of the reports between 't' and LF (nullopt: the temperature).
    void ImposerTexteRapport(std::optional<std::string> texte) { texteImpose_ = std::move(texte); }
    void FixerBruitAvantRapport(std::string octets) { bruitRapport_ = std::move(octets); }
    // Reports stop half-way through their text, without their line feed.
    void CouperRapports(bool couper) { couper_ = couper; }
    void FixerBruitAvantAccord(std::string octets) { bruitAccord_ = std::move(octets); }
    // 'c' gets no 'y'.
    void FixerSansAccord(bool sans) { sansAccord_ = sans; }

private:
    void Reguler(double maintenant);

    Cadence cadence_{1.0};
    double dernierCalcul_ = std::numeric_limits<double>::quiet_NaN();  // of the temperature
    double temperature_ = 20.0;
    double consigne_ = 20.0;
    std::vector<double> consignes_;
    int rapports_ = 0;

    bool enConsigne_ = false;  // 'y' sent: the set-point text is coming
    std::string texteConsigne_;

    std::optional<double> temperatureImposee_;
    std::optional<std::string> texteImpose_;
    std::string bruitRapport_;
    bool couper_ = false;
    std::string bruitAccord_;
    bool sansAccord_ = false;
};

}  // namespace sim
