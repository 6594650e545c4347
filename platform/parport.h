// Port input/output of the program, in the usual names, on the parallel port's data register.
//
// The bench configuration (platform/bench_config.h) chooses the port: a Linux parallel-port
// device (ppdev, /dev/parport0 by default), claimed at first use, or "sim", a simulated data
// register provided by the simulated bench (bench_config.h), which keeps a log of every write. Only the data register of
// the first parallel port, 0x378 (888), is served.
//
// A port that cannot be opened is reported once on stderr; reads of it then give 0 and writes
// are dropped. The calls are thread-safe; read-modify-write sequences are the callers' to guard
// (the program's lock Lock_port_parallele).
#pragma once

#include <cstdint>
#include <memory>

// A data register served in place of a device (the simulated bench's, see bench_config.h).
class RegistreDonnees {
public:
    virtual ~RegistreDonnees() = default;
    virtual std::uint8_t Lire() const = 0;
    virtual void Ecrire(std::uint8_t valeur) = 0;
};

constexpr int kPortParallele = 0x378;

// The byte of the data register (0..255); -1 for another port number.
int CVI_inp(int port);
// Writes the low byte of `valeur` to the data register and returns it; -1 for another port.
int CVI_outp(int port, int valeur);

// Chooses the port again on next use, from the bench configuration as it is then.
void ReinitialiserPortParallele();
// The simulated data register when the configuration asks for it ("parport = sim"), else null.
std::shared_ptr<RegistreDonnees> RegistreParalleleSimule();
