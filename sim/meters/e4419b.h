// The E4419B dual-channel RF power meter on the simulated bus, with the RF bench behind its two
// sensors.
//
// What it models:
// - Two sensors, A (1) and B (2), each of which may be unplugged (STATus:DEVice:CONDition?
//   answers bit 1 for sensor A connected, bit 2 for sensor B).
// - Two measurement windows. CONFigure<n> chooses the sensor a window measures ("(@1)" or
//   "(@2)") and its resolution, and leaves the window idle with its trigger source IMMediate;
//   INITiate<n>:CONTinuous ON keeps it waiting for triggers, ABORt<n> returns it to idle (the
//   measurement in progress ends once no window takes part in it any more),
//   TRIGger<n>:SOURce chooses BUS, IMMediate, HOLD, EXTernal or INTernal<k>, UNIT<n>:POWer DBM
//   or W the unit of its readings.
// - Triggers: *TRG runs the *DDT definition, a list of TRIGger<n> commands joined by
//   ';' that each trigger window n at once when it waits for triggers. Without a definition
//   (after *RST), *TRG triggers the waiting windows whose source is BUS. A trigger that finds
//   no window waiting, or a measurement still running, is ignored (-211, "Trigger ignored").
// - A measurement takes, on the program's clock, 1 / speed seconds (SENSe<n>:SPEed 20, 40 or
//   200 readings per second) times the averaging count (SENSe<n>:AVERage:COUNt, or 4 with
//   the automatic count) when averaging is on. It is an overlapped operation: *WAI holds the
//   commands behind it and *OPC sets the operation-complete bit once it has ended. A trigger
//   held behind a measurement goes when that one ends, in the meter's own time: a chain
//   "*TRG;*WAI;*TRG;...;*OPC" ends when its measurements, one after the other, have ended, even
//   when the bus looks at the meter only long after.
// - The value is the power reaching the window's sensor when it was triggered: the level of
//   path RF1 while the switch lines of that sensor (data lines of the simulated parallel
//   port) are all low, of path RF2 while any is high, plus a slow swing of a set amplitude.
//   FETCh<n>? answers the window's last value ("%+.8E"), in dBm or W; a window whose sensor is
//   unplugged measures the SCPI not-a-number, 9.91E+37; a window that has measured nothing since
//   it was configured answers nothing and puts -230 ("Data corrupt or stale").
// - SENSe<n>:FREQuency (a number with HZ, KHZ, MHZ or GHZ, 1 kHz to 1000 GHz), the averaging
//   state, automatic count and step detection, and TRIGger<n>:DELay:AUTO are kept but change no
//   reading. "*ESR 0" is no command of this meter: it puts -113 like every unknown header.
// Free-running windows (source IMMediate with continuous initiation) are not modelled: windows
// measure on triggers only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/ieee488.h"

namespace sim {

class E4419B final : public Appareil488 {
public:
    static constexpr const char *kIdentite = "HEWLETT-PACKARD,E4419B,GB40201234,A1.01.07";
    static constexpr double kNonNombre = 9.91e37;  // SCPI's not-a-number

    E4419B();

    // ---- the bench behind the sensors (for tests and the demo; thread-safe) -------------------
    // Sensor 1 (A) or 2 (B) plugged into its input, or not.
    void BrancherCapteur(int capteur, bool branche);
    // Power in dBm reaching sensor `capteur` through path RF1 and through path RF2.
    void FixerNiveaux(int capteur, double rf1, double rf2);
    // Data lines of the parallel port whose switch routes sensor `capteur` (RF2 when any is high).
    void FixerLignes(int capteur, std::uint8_t lignes);
    // Amplitude in dB of the slow swing of every level (a sine of 60 program seconds); 0: steady.
    void FixerOndulation(double db);
    // Every FETCh reply becomes `texte` (a reply that does not convert); empty: the readings.
    void FixerReponseFetch(std::string texte);
    // Measurements triggered since the meter was made (both windows of one trigger count once).
    int Mesures() const;

private:
    struct Fenetre {
        int capteur = 1;         // sensor measured
        int resolution = 3;
        bool initiee = false;    // waits for triggers (continuous initiation)
        std::string source = "IMM";
        bool delaiAuto = true;
        bool watts = false;      // unit of the readings: W, else dBm
        bool enMesure = false;   // triggered by the operation in progress
        double aMesurer = 0.0;   // dBm seen by the sensor when triggered
        bool valide = false;     // a measurement has ended since the configuration
        double valeur = 0.0;     // dBm of the last measurement
    };
    struct Capteur {
        bool branche = true;
        double rf1 = 0.0, rf2 = 0.0;  // dBm
        std::uint8_t lignes = 0x1C;   // D2, D3, D4
        int vitesse = 20;
        bool moyenne = true;
        bool comptageAuto = true;
        int comptage = 4;
        bool detectionSaut = true;
        double frequence = 50e6;     // Hz
    };

    void Reinitialiser() override;
    void Declencher() override;
    void OperationTerminee() override;
    std::uint8_t BitsEtat() override;

    void Commandes();
    // Triggers window n (1 or 2) when it waits for triggers; false otherwise.
    bool DeclencherFenetre(int n);
    // Ends the trigger: starts the measurement of the windows triggered, or puts -211.
    void LancerMesure(bool declenchee);
    // The windows triggered take the values they measured.
    void FinirMesure();
    // Window `f` stops measuring (ABORt, CONFigure): the measurement ends with the last window.
    void Abandonner(Fenetre &f);
    double Niveau(const Capteur &c) const;
    Fenetre *FenetreDe(Appel &a);
    Capteur *CapteurDe(Appel &a);

    std::array<Fenetre, 2> fenetres_;
    std::array<Capteur, 2> capteurs_;
    std::string ddt_;
    bool mesureEnCours_ = false;
    double finPrevue_ = 0.0;       // program time the measurement in progress ends at
    bool reprise_ = false;         // commands held behind the measurement just ended are resuming
    double instantReprise_ = 0.0;  // ... in the meter's time: the end of the measurement before
    double ondulation_ = 0.05;
    std::string reponseFetch_;
    int mesures_ = 0;
};

// A new E4419B with its default bench: sensors A and B plugged, A at -10 dBm on RF1 and -20 dBm
// on RF2, B at -30 and -40 dBm, every sensor routed by lines D2 to D4.
std::shared_ptr<Appareil> CreerE4419B();

}  // namespace sim
