// The simulated HP 34401A digital multimeter.
//
// Functions VOLT, VOLT:AC, VOLT:RAT, CURR, CURR:AC, RES, FRES, FREQ, PER, CONT, DIOD chosen by
// :CONF (or :MEAS) with range and resolution; integration time (NPLC), aperture, auto-zero, input
// impedance, AC bandwidth; trigger source IMM, BUS (*TRG) or EXT, trigger delay, trigger and
// sample counts; math (NULL, AVER, DB, DBM, LIM); beeper; front-panel text; terminals; SCPI
// version; calibration security, string, value and *CAL?.
//
// :INIT takes trigger count x sample count readings (at most 512 kept) into memory, each in the
// time its function asks for on the program's clock (NPLC / 50 s, twice that with auto-zero; the
// aperture for FREQ and PER; 7 s, 1 s or 0.1 s for AC after the bandwidth), after the trigger
// delay; :FETC? sends them, comma-separated ("+1.23456789E+00,..."), once the measurement has
// ended. A trigger source BUS or EXT waits for *TRG or for the external trigger the test gives.
// Readings come from the values the test gives each function (one per reading, the last one
// stays), through the math chosen.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/mesureur.h"

namespace sim {

class Multimetre34401A : public AppareilMesure {
public:
    struct Reglages {
        std::string fonction = "VOLT";  // VOLT, VOLT:AC, VOLT:RAT, CURR, CURR:AC, RES, FRES, FREQ, ...
        bool gammeAuto = true;
        double gamme = 10.0;
        std::string resolution = "DEF";  // MIN, DEF, MAX, or the number written
        std::map<std::string, double> nplc{{"VOLT", 10.0}, {"CURR", 10.0}, {"RES", 10.0}, {"FRES", 10.0}};
        std::map<std::string, double> ouverture{{"FREQ", 0.1}, {"PER", 0.1}};
        std::string source = "IMM";  // IMM, BUS, EXT
        bool delaiAuto = true;
        double delai = 0.0;
        double declenchements = 1.0, echantillons = 1.0;
        std::string zeroAuto = "ON";
        bool impedanceAuto = false;
        double bande = 20.0;
        std::string fonctionMath = "NULL";
        bool math = false;
        double decalageNul = 0.0, referenceDb = 0.0, referenceDbm = 600.0;
        double limiteHaute = 0.0, limiteBasse = 0.0;
        bool affichage = true;
        std::string texte;
    };

    Multimetre34401A();

    // ---- for tests (thread-safe) --------------------------------------------------------------
    // Values measured by function `fonction` ("VOLT", "VOLT:AC", "RES"...), one per reading.
    void FixerValeurs(const std::string &fonction, std::vector<double> valeurs);
    // Time of one reading in program seconds, in place of what the settings give (negative:
    // back to them).
    void FixerDureeLecture(double secondes);
    void FixerBornesAvant(bool avant);
    // The external trigger.
    void DeclencherExterne();
    Reglages LireReglages() const;
    bool Bip() const;             // beeper on
    int Bips() const;             // beeps sounded
    bool CalibrationProtegee() const;
    std::string CodeSecurite() const;
    std::string TexteCalibration() const;
    double ValeurCalibration() const;

private:
    void ReglagesParDefaut() override;
    void MesureTerminee() override;
    void Declencher() override;

    void CommandesMesure();
    void CommandesReglages();
    void CommandesMath();
    void CommandesCalibration();
    bool Configurer(Appel &a, const std::string &fonction);
    bool Initier();
    void Attendre();
    void Demarrer();  // a trigger came: the readings of one trigger
    double DureeLecture() const;
    double Lecture();
    std::string TexteLectures() const;

    Reglages reglages_;
    std::map<std::string, std::deque<double>> valeurs_;
    double dureeImposee_ = -1.0;
    bool bornesAvant_ = true;
    bool attente_ = false;         // waiting for a trigger
    int declenchementsRestants_ = 0;
    std::vector<double> lectures_;
    bool bip_ = true;
    int bips_ = 0;
    bool protegee_ = true;
    std::string code_ = "HP034401";
    std::string chaineCalibration_;
    double valeurCalibration_ = 0.0;
    int calibrations_ = 0;
};

// The model of the bench configuration.
std::shared_ptr<Appareil> CreerHp34401A();

}  // namespace sim
