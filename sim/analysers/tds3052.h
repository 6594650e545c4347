// A simulated two-channel digital oscilloscope answering as a TDS 3052, for the tests and the
// demo bench.
//
// What it models:
// - Inputs: each channel sees a signal of its own (a sine or a square wave of a frequency, an
//   amplitude and a DC offset, with Gaussian noise), set by the test or the demo.
// - Set-up, as the instrument's commands set it: acquisition mode (SAMple, PEAKdetect,
//   AVErage over NUMAVg acquisitions, ENVelope), stop after a single SEQuence or RUNSTop; per
//   channel coupling (AC removes the offset, GND gives 0), inversion, vertical offset (the
//   volts at mid-screen), probe, scale (volts per division at the probe tip), bandwidth and
//   impedance; horizontal scale (seconds per division, 10 divisions) and record length (500
//   or 10000 points) with the trigger position in percent of the record; an edge trigger
//   (source CH1, CH2, EXT, EXT10 or LINE, slope, level, coupling, holdoff) in AUTO or NORMal
//   mode; the math trace ("CH1+CH2", "CH1-CH2", "CH1*CH2", "CH1/CH2", "FFT(CH1,BLA,LOG)"...);
//   which traces are displayed (SELect); the transfer format (DATa:SOUrce, ENCdg ASCIi, RIBinary,
//   RPBinary, SRIbinary or SRPbinary, WIDth 1 or 2 bytes, STARt and STOP points).
// - Acquisition: ACQuire:STATE RUN starts one; it ends, on the program's clock, once the
//   record is filled (10 divisions of the horizontal scale, times NUMAVg when averaging) plus
//   a short processing time. In NORMal trigger mode it waits for ever when the trigger source
//   never crosses the level; in AUTO mode it triggers anyway. The end of the acquisition is the
//   overlapped operation that *OPC waits for, so "ACQ:STATE RUN;*OPC" with *ESE 1 and *SRE 32
//   requests service when the waveforms are ready.
// - Waveforms: the trigger source crosses the level at time 0, the trigger position of the
//   record; channel samples are digitised on 25 levels per division (times 256 for 2-byte
//   data) around mid-screen and clip at the screen's edges; the math trace is computed from the
//   digitised channels, vertically scaled to fit, and the FFT of a channel (over the largest
//   power of two of its points, windowed) gives half as many points, in volts rms (LIN) or
//   dBV rms (LOG), over a frequency axis.
// - Replies carry their header when HEADer is ON, short (":WFMP:NR_P 10000") when VERBose is
//   OFF, long (":WFMPRE:NR_PT 10000") when it is ON; CURVe? answers an IEEE 488.2 definite
//   block ("#42000" and the bytes) followed by one line feed, or ASCII numbers. WFMPre:NR_Pt?,
//   XINcr?, XZEro?, YOFf?, YMUlt? and YZEro? describe the curve of the data source. A trace that
//   is not displayed or has not been acquired is an execution error, with no reply.
// - DESE sets the device event status enable register (kept and read back by DESE?).
//
// Faults beside those of every simulated device (sim/appareil.h): a curve block longer than
// announced, announcing more than it holds, or malformed; preamble replies that do not parse.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/ieee488.h"

namespace sim {

struct SignalTds {
    enum class Forme { Sinus, Carre };
    Forme forme = Forme::Sinus;
    double frequence = 1000.0;  // Hz
    double amplitude = 1.0;     // volts, peak
    double decalage = 0.0;      // volts
    double bruit = 0.0;         // volts rms
};

// Faults of the curve transfer.
struct DefautsTds {
    int octetsEnTrop = 0;        // the block holds this many bytes more than its header says
    int octetsManquants = 0;     // the block ends (with END) this many bytes before its length
    bool blocIllisible = false;  // the block header is "#X..." instead of digits
    bool preambuleIllisible = false;  // YOF?, YMU?, YZE?, XIN?, XZE? and NR_P? answer "?"
};

// The settings as the commands left them (read by tests).
struct ReglagesTds {
    std::string modeAcquisition = "SAM";
    int moyennes = 16, enveloppes = 16;
    bool sequence = false;            // stop after one sequence (SEQ) rather than RUNSTOP
    struct Voie {
        std::string bande = "FULL", couplage = "DC", impedance = "MEG";
        bool inversion = false;
        double decalage = 0.0, sonde = 1.0, echelle = 0.1;
    } voies[2];
    bool retard = false;
    double echelleHorizontale = 4e-4;  // seconds per division
    int points = 10000;
    double positionDeclenchement = 50.0;  // percent of the record
    std::string math = "CH1+CH2";
    bool affiches[3] = {true, false, false};  // CH1, CH2, MATH
    std::string couplageDeclenchement = "DC", pente = "RIS", sourceDeclenchement = "CH1";
    double maintien = 2.5e-7, niveau = 0.0;
    bool normal = false;  // trigger mode NORMal (else AUTO)
    std::string type = "EDGE";
    std::string codage = "RIB", source = "CH1";
    int largeur = 1, debut = 1, fin = 10000;
    bool entetes = true, verbeux = true;
    int dese = 255;
};

class Tds3052 final : public Appareil488 {
public:
    Tds3052();

    // ---- for tests and the demo (thread-safe) -------------------------------------------------
    void FixerSignal(int voie, const SignalTds &signal);  // voie 1 or 2
    SignalTds Signal(int voie) const;
    void FixerDefautsTds(const DefautsTds &defauts);
    ReglagesTds Reglages() const;
    // Acquisitions completed since power-on.
    unsigned Acquisitions() const;
    // The last acquired trace of a source (0 CH1, 1 CH2, 2 MATH) in its units, with its
    // abscissae: what the curve and its preamble describe, before the transfer's point range.
    std::vector<double> Trace(int source) const;
    std::vector<double> Abscisses(int source) const;

private:
    struct Trace_ {
        bool acquise = false;
        std::size_t taille = 0;             // points of the record
        std::vector<std::int32_t> niveaux;  // digitised samples, 2-byte levels (signed, 0 = YOF)
        double ymu = 1.0, yze = 0.0;        // value = level * ymu + yze (2-byte levels)
        double xin = 1.0, xze = 0.0;
    };
    // The math trace's definition: two channels and an operator, or the FFT of one.
    struct Fonction {
        bool fft = false;
        int a = 0, b = 0;  // channels (0, 1)
        char op = '+';
        std::string fenetre = "HAN";
        bool log = false;
    };

    void Reinitialiser() override;
    void OperationTerminee() override;

    void Commandes();
    void Lancer();
    Fonction AnalyserMath() const;
    // A source's record as the present settings describe it, without samples.
    Trace_ Cadre(int source) const;
    // Seconds until the trigger, or kJamais when a NORMal trigger never comes; sets the phase.
    double AttenteDeclenchement();
    double Valeur(int voie, double t);
    void Acquerir();
    void CalculerMath();
    // Replies: the header as HEADer and VERBose ask, then the text.
    std::string Entete(const char *court, const char *long_) const;
    int SourceCourante() const;
    // Points of the transfer: first index and count within the trace of the data source.
    void Plage(const Trace_ &t, std::size_t &premier, std::size_t &nombre) const;
    std::string Courbe(const Trace_ &t) const;
    // YOF of the transfer's encoding and width, and the level step of one transferred unit.
    double Yof() const;
    double Pas() const;

    ReglagesTds r_;
    SignalTds signaux_[2];
    DefautsTds defauts_;
    Trace_ traces_[3];
    unsigned acquisitions_ = 0;
    double instantDeclenchement_ = 0.0;  // signal time at the trigger point
    bool enCours_ = false;               // a single sequence is acquiring
    bool arrete_ = false;                // ACQ:STATE STOP came before it ended
    std::mt19937 alea_{3052};
};

std::shared_ptr<Appareil> CreerTds3052();

}  // namespace sim
