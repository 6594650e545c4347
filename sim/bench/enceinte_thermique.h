// A simulated thermal chamber on the simulated GPIB bus: a temperature controller that speaks a
// framed protocol, behind a GPIB interface.
//
// The GPIB interface: a message is what one write brings up to its END. A message beginning with
// EOT is a frame for the controller; any other is for the interface itself, without its CR, LF
// or NUL at the end: "*IDN?" answers the identity "BANC,ENCEINTE THERMIQUE,0,1.0" (line feed,
// END), "MIP <settings>" sets up the serial link to the controller (noted), anything else is
// noted and ignored. A new message drops a reply left unread; a device clear drops both.
//
// The controller, at address "0011" (group 00, unit 11); a check byte is 0x03 (ETX) exclusive-or
// every byte between STX and ETX:
// - Set-point frame: EOT, address, STX, "SL" and a number, ETX, check byte, then CR or LF bytes
//   at most. With its check byte right and a set-point within -70..180 degrees, the set-point
//   is taken and the controller answers ACK (0x06); a wrong check byte, no ETX, bytes after the
//   check byte, another mnemonic, a value that does not read or lies out of range: NAK (0x15),
//   the set-point stays.
// - Poll: EOT, address, a two-letter mnemonic, ENQ (then CR or LF bytes): "PV" the temperature
//   now, "SL" the set-point: STX, mnemonic, "%.1f" of the value, ETX, check byte, CR, LF (END);
//   any other mnemonic: EOT.
// - A frame for another address, or too short to hold one, gets no answer.
// The temperature approaches the set-point as a first-order system on the program's clock
// (time constant `ConstanteDeTemps`, 120 s), from 20.0 degrees with a set-point of 20.0.
// Faults: those of sim/appareil.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/appareil.h"

namespace sim {

class EnceinteThermique final : public Appareil {
public:
    // ---- for tests (thread-safe) ------------------------------------------------------------
    double Consigne() const;
    double Temperature() const;
    // Every set-point taken, in order.
    std::vector<double> Consignes() const;
    // Frames answered NAK.
    int TramesRefusees() const;
    // The interface's "MIP" messages received, in order.
    std::vector<std::string> ReglagesInterface() const;
    void FixerConstanteDeTemps(double secondes);

private:
    void Recu(std::string_view octets, bool fin) override;
    void Efface() override;

    void Interface(std::string_view message);
    void Trame(std::string_view trame);
    void Ecriture(std::string_view charge, bool controle_juste, std::string_view reste);
    void Interrogation(std::string_view mnemonique);
    double TemperatureA(double instant) const;

    std::string message_;
    double consigne_ = 20.0;
    double depart_ = 20.0;       // temperature when the set-point was last taken
    double instantDepart_ = 0.0; // program time of that
    double constante_ = 120.0;
    std::vector<double> consignes_;
    int refusees_ = 0;
    std::vector<std::string> reglages_;
};

// The factory of the bench configuration's "ENCEINTE".
std::shared_ptr<Appareil> CreerEnceinteThermique();

}  // namespace sim
