// Simulated syringe pumps: one to four pumps sharing one RS-232 line, each answering to its own
// two-digit address.
//
// Commands are lines of ASCII text ended by CR LF (a bare CR also ends one): the address as two
// decimal digits, a mnemonic, and its parameter after a blank:
//   DIA [d]      syringe inner diameter in mm; without parameter, asks for it
//   DIR INF|WDR  direction: infuse or withdraw
//   RAT r UH     rate in microlitres per hour
//   RUN, STP     run, stop
// A pump answers every line for its address with CR LF, its address, its state ('S' stopped,
// 'I' infusing, 'W' withdrawing), an optional value, and ETX (0x03): "\r\n00I\x03". A mnemonic
// it does not know, or a bad parameter, gets '?' after the state. A line for an address where
// no pump stands gets no answer, and so does text that is not a line of this form.
//
// Failures, beyond those of the line (sim/serie/ligne.h: silence, garbage, unplugging, delay):
// answers padded to more than 32 bytes before their ETX (FixerRemplissage), sent without their
// ETX (FixerSansEtx), or without their ETX and followed by a stream of filler bytes, as from a
// pump stuck talking (FixerBavardage).
#pragma once

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/serie/ligne.h"

namespace sim {

class PoussesSeringues final : public serie::Modele {
public:
    struct Pompe {
        bool presente = false;
        float diametre = 0.0f;  // mm
        int debit = 0;          // µL/h
        bool retrait = false;   // withdraw (true) or infuse
        bool en_marche = false;
        int commandes = 0;      // lines this pump acted on
    };

    // Pumps at the addresses given (0..99); by default 00, 01, 02 and 03.
    explicit PoussesSeringues(std::set<int> adresses = {0, 1, 2, 3});

    void Recevoir(std::string_view octets, serie::Sortie &sortie) override;

    // The pump at `adresse` (a pump not present when none stands there).
    Pompe Etat(int adresse) const;
    // Every complete line received, without its line end, in order.
    const std::vector<std::string> &Lignes() const { return lignes_; }

    // Every answer gets `n` filler bytes before its ETX.
    void FixerRemplissage(int n) { remplissage_ = n; }
    // Answers lose their ETX.
    void FixerSansEtx(bool sans) { sansEtx_ = sans; }
    // Every answer loses its ETX and is followed by `octets` filler bytes, one every
    // `intervalle` seconds of the program's clock (0: all at once); 0 bytes: answers as usual.
    void FixerBavardage(int octets, double intervalle) {
        bavardage_ = octets;
        intervalleBavardage_ = intervalle;
    }

private:
    void Executer(const std::string &ligne, serie::Sortie &sortie);

    std::array<Pompe, 100> pompes_{};
    std::string enCours_;
    std::vector<std::string> lignes_;
    int remplissage_ = 0;
    bool sansEtx_ = false;
    int bavardage_ = 0;
    double intervalleBavardage_ = 0.0;
};

}  // namespace sim
