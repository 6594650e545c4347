// Whether the simulated devices keep a transcript of their exchanges.
#include "sim/transcription.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace sim {

namespace {

std::atomic<int> actives{0};

}  // namespace

Transcription::Transcription() { actives.fetch_add(1); }

Transcription::~Transcription() { actives.fetch_sub(1); }

bool Transcription::Active() { return actives.load() > 0; }

void Transcription::ExigerActive(const char *quoi) {
    if (!Active())
        throw std::logic_error(std::string(quoi) + " read while no sim::Transcription is alive: the devices noted nothing");
}

}  // namespace sim
