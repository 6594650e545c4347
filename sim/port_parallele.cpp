// A simulated data register of the parallel port.
#include "sim/port_parallele.h"

#include "sim/transcription.h"

namespace sim {

std::uint8_t RegistreParallele::Lire() const {
    std::lock_guard g(m_);
    return valeur_;
}

void RegistreParallele::Ecrire(std::uint8_t valeur) {
    std::lock_guard g(m_);
    valeur_ = valeur;
    if (Transcription::Active()) journal_.push_back({valeur, std::this_thread::get_id()});
}

void RegistreParallele::Fixer(std::uint8_t valeur) {
    std::lock_guard g(m_);
    valeur_ = valeur;
}

std::vector<RegistreParallele::Ecriture> RegistreParallele::Journal() const {
    Transcription::ExigerActive("RegistreParallele::Journal");
    std::lock_guard g(m_);
    return journal_;
}

void RegistreParallele::EffacerJournal() {
    std::lock_guard g(m_);
    journal_.clear();
}

}  // namespace sim
