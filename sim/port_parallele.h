// A simulated data register of the parallel port, with a log of every write while a
// sim::Transcription is alive (sim/transcription.h).
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/parport.h"

namespace sim {

class RegistreParallele : public RegistreDonnees {
public:
    struct Ecriture {
        std::uint8_t valeur;
        std::thread::id fil;
    };

    std::uint8_t Lire() const override;
    void Ecrire(std::uint8_t valeur) override;
    // Sets the register without logging a write (a test's starting state).
    void Fixer(std::uint8_t valeur);
    // Reading the log while no sim::Transcription is alive throws.
    std::vector<Ecriture> Journal() const;
    void EffacerJournal();

private:
    mutable std::mutex m_;
    std::uint8_t valeur_ = 0;
    std::vector<Ecriture> journal_;
};

}  // namespace sim
