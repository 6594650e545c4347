// A recording device: it keeps every message it receives, with its END flag, and answers from a
// script. The helpers' and drivers' tests use it to see the exact bytes the program sends.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/appareil.h"

namespace sim {

class Enregistreur : public Appareil {
public:
    // When a message ends (a write with END) and its bytes, without the NUL, carriage return and
    // line feed at its end, are `question`, `reponse` is queued, END with its last byte. The
    // first matching rule answers.
    void Programmer(std::string question, std::string reponse);
    // Queues bytes to send now, END with the last of them when `fin`.
    void AjouterSortie(std::string octets, bool fin = true);
    // The status byte that serial polls read (bit 6 is the service request).
    void FixerOctetEtat(std::uint8_t octet);
    // Raises its service request; a serial poll clears it.
    void DemanderService();
    // Every write received: its bytes and whether END came with the last of them.
    std::vector<std::pair<std::string, bool>> Messages() const;

private:
    void Recu(std::string_view octets, bool fin) override;
    std::uint8_t OctetEtat() override { return octet_; }

    std::vector<std::pair<std::string, std::string>> regles_;
    std::string message_;
    std::uint8_t octet_ = 0;
};

}  // namespace sim
