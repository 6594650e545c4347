// Whether the simulated devices keep a transcript of their exchanges.
//
// The GPIB devices (sim/appareil.h), the parallel port register (sim/port_parallele.h) and the
// serial lines (sim/serie/ligne.h) can note every exchange, for the tests that read it back.
// Noted for ever, a transcript grows with the run: the demo bench would grow without bound. So
// the devices note nothing unless a test asks: while at least one Transcription is alive,
// anywhere in the process, every simulated device notes its exchanges; once the last one is
// gone, they note nothing more (what was noted stays until the test empties it).
//
// Reading a transcript while no Transcription is alive throws std::logic_error: a test that
// forgot to switch it on would otherwise read an empty transcript and pass for nothing.
#pragma once

namespace sim {

class Transcription {
public:
    Transcription();
    ~Transcription();
    Transcription(const Transcription &) = delete;
    Transcription &operator=(const Transcription &) = delete;

    // Whether the devices note their exchanges now.
    static bool Active();
    // Throws std::logic_error, naming `quoi`, when they do not.
    static void ExigerActive(const char *quoi);
};

}  // namespace sim
