// A simulated function generator answering as an HP 33220A, for the tests and the demo bench.
//
// What it models:
// - The output: a waveform shape (sine, square, triangle, ramp, noise), a frequency in hertz,
//   a peak-to-peak amplitude and a DC offset in volts, and whether the output is on. Power-on
//   and *RST: 1 kHz sine, 100 mVpp, 0 V, output off, burst off.
// - The commands the bench sends, in their long or short forms and any case:
//     APPLy:SINusoid | SQUare | TRIangle | RAMP | NOISe [freq [,amp [,offset]]]
//       shape and values at once (a value left out keeps the present one), output on;
//     [SOURce:]FREQuency, [SOURce:]VOLTage, [SOURce:]VOLTage:OFFSet
//     [SOURce:]FUNCtion[:SHAPe] SIN | SQU | TRI | RAMP | NOIS, and the shape written as the
//       last node of the header: [SOURce:]FUNCtion:SHAPe:SINusoid | SQR | SQUare | TRIangle |
//       RAMP, and [SOURce:]NOISe;
//     OUTPut ON | OFF;
//     burst modulation (the generator's BM subsystem): BM:NCYCles (1 to 50000 cycles),
//       BM:INTernal:RATE (0.01 Hz to 50 kHz), BM:PHASe (-360 to 360 degrees), BM:SOURce
//       INTernal | EXTernal, BM:STATe ON | OFF.
//   Each has its query (FREQ?, VOLT?, VOLT:OFFS?, FUNC?, OUTP?, BM:NCYC?, BM:INT:RATE?,
//   BM:PHAS?, BM:SOUR?, BM:STAT?) and APPLy? answers the shape and the three values.
// - Numbers may carry a unit: HZ, KHZ, MHZ (megahertz) for frequencies, VPP, MVPP, V, MV for
//   voltages, with or without a blank before it; MINimum and MAXimum stand for the limits.
//   Another unit is refused (-131, "Invalid suffix").
// - Limits: frequency 1 uHz to 20 MHz for sine and square, to 200 kHz for triangle and ramp
//   (the frequency of noise is not used); amplitude 10 mVpp to 10 Vpp; the offset keeps the
//   signal within +/-5 V. A value beyond a limit is set to the limit and reported (-222,
//   "Data out of range"). A setting that no longer fits with another is brought within it and
//   reported (-221, "Settings conflict"): the frequency when the new shape allows less, the
//   offset when the new amplitude leaves it no room. Bursts of noise do not exist: BM:STATe ON
//   with noise is refused (-221), and choosing noise ends a burst.
// Faults: those of every simulated device (sim/appareil.h: unplugged, silent, garbage, writes
// that time out) and a wrong identity (FixerIdentite).
#pragma once

#include <memory>
#include <string>

#include "sim/ieee488.h"

namespace sim {

class Hp33220A final : public Appareil488 {
public:
    static constexpr const char *kIdentite = "HEWLETT-PACKARD,33220A,0,2.02-2.02-22-2";

    enum class Forme { Sinus, Carre, Triangle, Rampe, Bruit };

    // What the generator puts out.
    struct Sortie {
        Forme forme = Forme::Sinus;
        double frequence = 1000.0;  // Hz
        double amplitude = 0.1;     // Vpp
        double decalage = 0.0;      // V
        bool active = false;        // OUTPut
        bool salve = false;         // BM:STATe
        bool salveInterne = true;   // BM:SOURce
        int cycles = 1;             // BM:NCYCles
        double cadence = 100.0;     // BM:INTernal:RATE, Hz
        double phase = 0.0;         // BM:PHASe, degrees
    };

    Hp33220A();

    // ---- for tests and the demo (thread-safe) -------------------------------------------------
    Sortie Etat() const;

private:
    void Reinitialiser() override;
    void Commandes();
    void CommandesSortie();
    void CommandesSalve();

    // A new shape or amplitude, with what no longer fits brought within its limit (-221).
    void ChoisirForme(Forme forme);
    void FixerAmplitude(double vpp);

    Sortie sortie_;
};

// A new generator at its power-on settings.
std::shared_ptr<Appareil> CreerHp33220A();

}  // namespace sim
