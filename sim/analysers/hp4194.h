// The HP 4194A analyser in its gain-phase function, as the bench reaches it on GPIB: the
// instrument's own mnemonics (it predates IEEE 488.2), a swept measurement of a device under
// test that takes time on the program's clock, traces sent as text or as binary blocks, and a
// status byte whose service request follows a mask.
//
// The device under test is a first-order low-pass of corner frequency fc (10 kHz unless a test
// changes it): at frequency f, trace A (gain) is -10 log10(1 + (f/fc)^2) dB and trace B (phase)
// is -atan(f/fc) in degrees; trace X holds the sweep's frequencies.
//
// Program messages end with END or a line feed; their units are separated by ';'; letters may
// be of any case and blanks are ignored. Units:
//   FNCn function, GPPn display format, SWPn sweep parameter   stored (FNC2: gain-phase)
//   SWT1 linear / SWT2 logarithmic sweep, SWD1 upwards / SWD2 downwards
//   SWM1 repeat (sweeps follow one another) / SWM2 single / SWM3 manual (one sweep per SWTRG)
//   SWTRG starts a sweep (again, when one runs)
//   ITM1 / ITM2 / ITM3 integration time: 0.5, 5 or 20 ms a point; NOA=n averages (1 to 256,
//     a power of 2): a sweep lasts points x integration time x averages
//   START=, STOP=, CENTER=, SPAN= (Hz, decimal numbers; CENTER keeps the span and SPAN the
//     center, narrowed so that the start stays at 0 Hz or above), NOP=n points (2 to 401, rounded),
//     OSC=v oscillator level (0 to 1.2 V); a value out of range is refused
//   PWSn, ATRn, ZIRn, ATTn, ZITn (n 1 or 2) input set-up, stored
//   FMT1 text (values "%+.6E" joined by ',', then CR LF) / FMT2 binary 64-bit / FMT3 binary
//     32-bit: "#A", the byte count (16 bits, most significant byte first), the values (IEEE
//     754, most significant byte first), then CR LF
//   RQSn service-request mask (0 to 255)
//   A?, B?, X? the traces of the last completed sweep; STB? the status byte; ID? "HP4194A"
// A unit it does not understand, or a value it refuses, sets the error bit and is noted.
//
// Status byte: bit 1 (2) a sweep has ended, bit 5 (32) error, bit 6 (64) service request. The
// analyser requests service when (status & mask) becomes non-zero; a serial poll returns the
// status byte and clears it (and the request). A new message discards a reply left unread.
//
// Besides the faults of every simulated device (sim/appareil.h: silence, garbage, a service
// request that stays set, unplugging), a test can cut trace blocks short, make them longer than
// the sweep, or delay trace replies.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/appareil.h"

namespace sim {

class Hp4194 final : public Appareil {
public:
    static constexpr int kPointsMax = 401;
    static constexpr int kFinBalayage = 0x02;  // status byte bits
    static constexpr int kErreur = 0x20;

    // The settings the analyser holds (power-on values as given: idle, waiting for SWTRG).
    struct Reglages {
        int fonction = 1, affichage = 1, parametre = 1;
        int lineaire = 1;   // SWT: 1 linear, 2 logarithmic
        int sens = 1;       // SWD: 1 upwards, 2 downwards
        int mode = 2;       // SWM: 1 repeat, 2 single, 3 manual
        int integration = 1;
        int moyennes = 1;
        int points = kPointsMax;
        double start = 100.0, stop = 40e6;
        double osc = 0.5;
        int pws = 1, atr = 1, zir = 1, att = 1, zit = 1;
        int format = 1;
        int masque = 0;
    };

    // Faults of its trace replies.
    struct Pannes {
        long octetsBloc = -1;      // a binary block ends, with END, after this many value bytes
                                   // (its count still announces them all); -1: whole blocks
        int valeursEnTrop = 0;     // blocks announce and hold this many values beyond the sweep
        double delaiReponse = 0.0; // program seconds between a trace query and its reply
    };

    Hp4194();

    // ---- for tests (thread-safe) --------------------------------------------------------------
    void FixerCoupure(double hz);
    double Coupure() const;
    void FixerPannes(const Pannes &pannes);
    // The state as of now on the program's clock.
    Reglages LireReglages();
    int Balayages();           // sweeps completed since power-on
    bool Balaie();             // a sweep is running
    std::vector<std::string> Refusees() const;  // units refused, in order

    // The device under test and the abscissae of a sweep.
    static double Gain(double f, double fc);
    static double Phase(double f, double fc);
    static std::vector<double> Frequences(const Reglages &r);
    // Seconds a sweep lasts with settings `r`.
    static double Duree(const Reglages &r);

private:
    void Recu(std::string_view octets, bool fin) override;
    std::uint8_t OctetEtat() override { return static_cast<std::uint8_t>(stb_); }
    void ApresSerialPoll() override;
    void Efface() override;
    double ProchainEvenement() override;
    void Avancer(double maintenant) override;
    void Actualiser() override;

    void Executer(std::string_view message);
    void Unite(std::string unite);
    void Refuser(std::string unite);
    void Repondre(std::string reponse, bool trace);
    std::string Trace(const std::vector<double> &valeurs) const;
    void Declencher();
    void TerminerBalayage();

    Reglages r_;
    Pannes pannes_;
    double coupure_ = 10e3;
    std::string entree_;
    int stb_ = 0;
    bool motif_ = false;         // (status & mask) was non-zero at the last look
    bool balaie_ = false;
    double finBalayage_ = kJamais;
    Reglages balayage_;          // the settings of the sweep that runs
    int balayages_ = 0;
    std::vector<double> a_, b_, x_;
    std::string differee_;       // a reply that is not ready yet
    double pret_ = kJamais;
    std::vector<std::string> refusees_;
};

std::shared_ptr<Appareil> CreerHp4194();

}  // namespace sim
