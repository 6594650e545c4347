// A simulated Anritsu MS4623B vector network analyser on the simulated GPIB bus, measuring a
// two-port device: a series resonator between two short lines, with a weak echo path.
//
// What it does, on the program's clock:
// - IEEE 488.2 common commands and status model (sim/ieee488.h), identity
//   "ANRITSU,MS4623B,000000,1.08". Commands are the analyser's own mnemonics, any case, joined by
//   ';'; a NUL, a byte 1 or blanks after a command are white space.
// - Sweeps: at power-up it sweeps continuously; "HLD" holds (a sweep in progress is abandoned),
//   "TRS" starts one sweep (restarting one in progress), "WFS" is accepted. A sweep takes
//   `DureeBalayage` program seconds; at its end the trace is measured and the sweep-complete bit
//   (bit 3) of the extended event register is set. Status byte bit 7 summarises that register
//   through its enable mask ("IEM n"), so "IEM 8" and "*SRE 128" make each sweep end request
//   service. The register is cleared by a serial poll, "HLD" and the start of a sweep.
// - Measurement settings kept as sent: domain "FQD", "FGT", "TBP"; gate "GOF", "GON", "GDS" with
//   its limits "GST", "GSP" (seconds); time range "ZST", "ZSP" (seconds); "CH<n>" and the
//   S-parameter "S11", "S12", "S21", "S22"; display format "MAG" (dB), "PHA" (degrees), "LIN",
//   "SMI" (real part), "MPH" (dB and degrees), "LPH" (linear and degrees); "ASC" autoscales.
//   Queries "GOF?" (0 off, 1 on, 2 display), "GST?", "GSP?", "ZST?", "ZSP?", "GRF?" (1 MAG,
//   2 PHA, 3 MPH, 4 SMI, 10 LIN, 11 LPH), "TDX?" (0 FQD, 1 FGT, 4 TBP), "SXX?" (11..22), "ONCP"
//   (points per trace).
// - Traces: "OFD" answers the last measured trace in the display format, "OFV" the sweep's
//   frequencies (Hz), "OTV" the time axis (seconds, from "ZST" to "ZSP"), each as a definite-length
//   block "#<n><length>" of 19-character fields ("%18.10E,"), one per point or two per point for
//   "MPH" and "LPH", followed by a line feed with END.
// - The measurement: in the frequency domains, the S-parameter at each frequency of the sweep;
//   with the gate on ("GON", in "FGT" or "TBP"), only the paths whose delay lies between the
//   gate limits. In "TBP", the band-pass time response over the range (Hann window). The
//   resonance drifts slowly with the program's time around 2 GHz.
// - Disk C:: "DISKWR "<name>", #<block>" stores a file, "RECALL "<name>"" recalls a calibration
//   file (taking `DureeRappel` seconds; "TXX?" answers 1 once it is done), "SAVE "<name>"" saves
//   the last trace (a text line of its settings and point count, CR LF, then per point the
//   abscissa, the real and the imaginary part as little-endian doubles), "DISKRD "<name>""
//   answers a file as a block, "DEL "<name>"" deletes it.
//   "LSB", "OID" (answers the model), "PDT0", "PDT1", "TIN", "RTL", "ILM n" are accepted.
// Faults: those of sim/appareil.h, plus the replacement of the next reply to one command.
#pragma once

#include <complex>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/ieee488.h"

namespace sim {

class MS4623B final : public Appareil488 {
public:
    enum class Domaine { Frequence, FrequencePorte, Temps };
    enum class Porte { Arret, Marche, Affichage };
    enum class Format { LogMag, Phase, LinMag, Smith, LogMagPhase, LinMagPhase };

    // The measurement settings as the analyser holds them.
    struct Reglages {
        Domaine domaine = Domaine::Frequence;
        Porte porte = Porte::Arret;
        double porteDebut = 0.0, porteFin = 0.0;     // seconds
        double plageDebut = 0.0, plageFin = 0.0;     // seconds
        int parametre = 21;                          // 11, 12, 21, 22
        Format format = Format::LogMag;
    };

    MS4623B();

    // ---- for tests (thread-safe) ------------------------------------------------------------
    Reglages LireReglages() const;
    // Sweep from `debut` to `fin` Hz in `points` points (1..1601).
    void FixerBalayage(double debut, double fin, int points);
    // Program seconds of one sweep, and of a calibration recall.
    void FixerDureeBalayage(double secondes);
    void FixerDureeRappel(double secondes);
    // Resonance frequency of the device now (Hz).
    double Resonance() const;
    int BalayagesTermines() const;
    int Autoscales() const;
    // Contents of a file of the disk (names in any case), if there is one.
    std::optional<std::string> Fichier(const std::string &nom) const;
    // What the last file of that name held when "DEL" deleted it, if one was deleted.
    std::optional<std::string> FichierSupprime(const std::string &nom) const;
    // The calibration file recalled last ("" before any).
    std::string CalibrationRappelee() const;
    // The next reply to `commande` ("OFD", "ONCP", "GRF?", "DISKRD"...) is `octets`, END with
    // its last byte when `fin` (otherwise the reply stops there and a read waiting for more
    // times out).
    void RemplacerReponse(const std::string &commande, std::string octets, bool fin = true);

protected:
    void Reinitialiser() override;
    void OperationTerminee() override;
    std::uint8_t BitsEtat() override;
    void ApresSerialPoll() override;

private:
    enum class Tache { Aucune, Balayage, Rappel };

    void Commandes();
    void Repondre(Appel &a, const std::string &commande, std::string texte);
    void LancerBalayage();
    void Mesurer();
    std::complex<double> Reponse(double f, double debutPorte, double finPorte) const;
    static std::string Bloc(const std::vector<double> &valeurs);
    std::string Trace() const;
    std::string FichierTrace() const;
    std::vector<double> Frequences() const;
    std::vector<double> Temps() const;
    static std::string Nom(const std::string &nom);

    Reglages reglages_;
    double debut_ = 1.5e9, fin_ = 2.5e9;
    int points_ = 401;
    double dureeBalayage_ = 0.5, dureeRappel_ = 1.0;
    bool continu_ = true;
    Tache tache_ = Tache::Aucune;
    bool reponseRappel_ = false;         // "TXX?" waits for the recall
    std::uint8_t evenements_ = 0, masqueEvenements_ = 0;
    std::vector<std::complex<double>> mesure_;  // last measured trace
    int balayages_ = 0, autoscales_ = 0;
    std::map<std::string, std::string> disque_, supprimes_;
    std::string calibration_;
    std::map<std::string, std::deque<std::pair<std::string, bool>>> remplacements_;
};

// The factory of the bench configuration's "MS4623B".
std::shared_ptr<Appareil> CreerMS4623B();

}  // namespace sim
