// The simulated bench as the program and the tests install it into the run-time layer: the
// GPIB boards with the instruments that the bench configuration places, the parallel port, and
// the serial devices of the COM ports (sim/serie/peripheriques.h).
#pragma once

#include <memory>

#include "sim/port_parallele.h"

namespace sim {

// Installs the simulated bench's factories (platform/bench_config.h). Call it at start-up,
// before the bench configuration is read.
void InstallerBanc();

// The simulated data register of the parallel port in use ("parport = sim"), else null.
std::shared_ptr<RegistreParallele> RegistreParalleleDuBanc();

}  // namespace sim
