// The simulated HP 53131A / 53132A universal counter.
//
// Inputs 1 and 2 (attenuation, coupling, impedance, filter, trigger level, slope, hysteresis) and
// input 3 (the RF input: AC, 50 ohm); functions FREQ, PER, FREQ:RAT, PHAS, TOT, TINT, RISE:TIME,
// FALL:TIME, PWID, NWID, DCYC and the voltage peaks, chosen by :FUNC "<function> <channels>" (or
// :CONF, :MEAS); arming per subsystem (immediate, digits, gate time, external); math (CALC1),
// limit test (CALC2), statistics (CALC3); status model with the questionable (bit 10: a limit
// failed) and operation (bit 8: measuring) registers behind status-byte bits 3 and 7 (their
// events are emptied by :STAT:PRES and by reading them; *CLS, kept by the IEEE 488.2 base, does
// not reach them); *SAV/*RCL of 21 set-ups.
//
// A measurement starts with :INIT (or :READ?, :MEAS?) and ends after the time its arming asks
// for on the program's clock: 10 ms for immediate arming, 10^(digits-10) s for digits arming
// (0.1 s for 9 digits), the gate time for timed arming; with statistics on and :TRIG:COUN:AUTO ON
// one :INIT takes as many measurements as the statistics count. A measurement whose signal is
// missing (or whose external arming never comes) does not end until the signal comes. Readings
// come from the signals the test gives each input: a frequency, or a sequence of frequencies
// taken one per measurement (the last one stays); input 2 lags input 1 by the phase. Readings
// are sent as "+1.000000000000E+007", rounded to the digits of digits arming.
//
// An input may sit behind an RF switch driven by data lines of the bench's parallel port: while
// a measurement starts with any of those lines high, the input sees the switch's other signal.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/mesureur.h"

namespace sim {

class Compteur5313x : public AppareilMesure {
public:
    struct Entree {
        int attenuation = 1;            // 1 or 10
        std::string couplage = "AC";    // AC, DC
        double impedance = 1e6;         // 50 or 1e6 ohm
        bool filtre = false;            // 100 kHz low-pass
        bool niveauAuto = true;         // automatic trigger level
        double niveau = 0.0;            // absolute level, volts
        double niveauRelatif = 50.0;    // automatic level, percent
        std::string pente = "POS";      // POS, NEG
        double hysteresis = 0.0;        // percent
    };
    struct Armement {
        std::string departSource = "IMM", departPente = "POS";
        std::string arretSource = "IMM", arretPente = "POS";  // IMM, DIG, TIM, EXT
        double chiffres = 9.0;
        double temps = 0.1;  // gate time, s
    };
    struct Reglages {
        std::string fonction = "FREQ";  // short form: FREQ, PER, FREQ:RAT, PHAS, TOT, TINT, ...
        int voie1 = 1, voie2 = 2;
        Entree entrees[3];
        Armement frequence, totalisation, intervalle, phase;
        std::string alimentationEvenement2 = "INP2";  // :EVEN2:FEED
        bool comptageAuto = false;                    // :TRIG:COUN:AUTO
        bool continu = false;                         // :INIT:CONT
        bool initAuto = false;                        // :INIT:AUTO
        std::string format = "ASC";                   // :FORM
        bool math = false;
        double echelle = 1.0, decalage = 0.0;
        bool limites = false, limitesAuto = true;
        std::string affichageLimites = "NUMB";
        double limiteHaute = 0.0, limiteBasse = 0.0;
        bool stats = false, filtreStats = false;
        double compteStats = 100.0;
        std::string typeStats = "MEAN";
        double filtreBas = 0.0, filtreHaut = 0.0;
        std::string affichage = "CALC1";  // :DISP:TEXT:FEED
    };

    explicit Compteur5313x(std::string identite = "HEWLETT-PACKARD,53131A,0,3703");

    // ---- for tests (thread-safe) --------------------------------------------------------------
    // Input 1..3: frequencies in Hz measured one after another (the last one stays); none, or a
    // value that is not a number: no signal.
    void FixerSignal(int entree, std::vector<double> frequences);
    void FixerAmplitude(int entree, double volts);
    // Phase of input 2 behind input 1, in degrees, as a sequence like the frequencies.
    void FixerPhase(std::vector<double> degres);
    // Time of one measurement on input `entree` in program seconds, in place of what its arming
    // gives (a negative value gives that back).
    void FixerDureeMesure(int entree, double secondes);
    // Whether the external arming signal comes.
    void FixerArmementExterne(bool present);
    // Input `entree` behind an RF switch on data lines `lignes` of the bench's parallel port:
    // a measurement that starts with any of them high measures `frequences` (a sequence, as
    // FixerSignal takes it) in place of the input's own signal. Lines 0: no switch.
    void FixerCommutateur(int entree, std::uint8_t lignes, std::vector<double> frequences);
    Reglages LireReglages() const;
    // The last reading (not a number before the first).
    double DerniereLecture() const;

private:
    struct Signal {
        std::deque<double> valeurs;
        double amplitude = 1.0;
        double duree = -1.0;
    };
    struct Commutateur {
        int entree = 0;
        std::uint8_t lignes = 0;
        Signal autre;        // the signal of the high position
        bool haut = false;   // position when the running measurement started
    };

    void ReglagesParDefaut() override;
    void MesureTerminee() override;
    std::uint8_t BitsEtat() override;

    void Commandes();
    void CommandesEntrees();
    void CommandesArmement(const std::string &sousSysteme, Armement Reglages::*armement, bool chiffres);
    void CommandesCalculs();
    void CommandesEtat();
    void CommandesFonctions();

    Entree &EntreeDe(Appel &a, int max);
    // The signal that input `voie` measures: its own, or the switch's other one.
    Signal &SignalDe(int voie);
    const Signal &SignalDe(int voie) const;
    Armement &ArmementCourant();
    const Armement &ArmementCourant() const;
    bool SignalPresent() const;
    double Duree() const;
    double Valeur() const;
    // Starts a measurement cycle (:INIT); false when one runs.
    bool Initier();
    void Abandonner();
    void LancerSerie();
    void Mesurant(bool oui);
    void TesterLimites(double v);
    void ChoisirFonction(const std::string &fonction, int voie1, int voie2);
    std::string TexteLecture(double v) const;
    bool Statistique(const std::string &type, double &v) const;

    Reglages reglages_;
    Reglages registres_[21];
    Entree poubelle_;
    Signal signaux_[3];
    Commutateur commutateur_;
    std::deque<double> phases_{45.0};
    bool armementExterne_ = true;
    bool attenteSignal_ = false;  // the running measurement waits for its signal
    double lecture_;              // last reading (NaN: none)
    int serie_ = 0;               // measurements of the running :INIT
    std::deque<double> stats_;
    int echecsBas_ = 0, echecsHaut_ = 0, reussites_ = 0;
    bool echec_ = false;
    int quesEvenements_ = 0, quesValidation_ = 0;
    int operCondition_ = 0, operEvenements_ = 0, operValidation_ = 0;
    int transitionsPositives_ = 0x7FFF, transitionsNegatives_ = 0;
};

// The models of the bench configuration.
std::shared_ptr<Appareil> CreerHp53131A();
std::shared_ptr<Appareil> CreerHp53132A();
// An HP 53131A whose input 1 sits behind the RF switch of line SW1 (D2, bit 4): 10 MHz with
// the line low, 15 MHz with the line high.
std::shared_ptr<Appareil> CreerHp53131ACommute();

}  // namespace sim
