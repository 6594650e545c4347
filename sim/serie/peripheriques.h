// The simulated serial devices that the bench configuration can put on a COM port
// ("com2 = sim:<model>"), by model name, and the lines started for the ports.
//
// Models, in the configuration's spelling (any case):
//   Pousse_Seringue   one to four syringe pumps on one line (sim/bench/pousse_seringue.h)
//   Pompe_Ismatec     a peristaltic pump (sim/bench/pompe_ismatec.h)
//   Regul_Acoustic    a temperature regulator reporting on its own (sim/bench/regul_acoustic.h)
//   DGM110            a concentration analyser pushing its readings (sim/bench/dgm110.h)
//   VEXO              a four-channel acquisition board in lock step (sim/bench/vexo.h)
//   boucle            a loop-back plug: every byte written comes back
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/serie/ligne.h"

namespace sim::serie {

std::vector<std::string> ModelesConnus();
bool ModeleConnu(std::string_view modele);
// A new device of `modele`; null for an unknown model.
std::shared_ptr<Modele> CreerModele(std::string_view modele);

// The line of COM`port` (1..16) running `modele`: the one already started there when it runs
// that model, else a new one (replacing another model's). Null for an unknown model, a bad port
// number, or when the system gives no pseudo-terminal. Lines stay until ArreterLignes, so a
// device keeps its state while the program closes and reopens its port.
std::shared_ptr<Ligne> DemarrerLigne(std::string_view modele, int port);
// The path of that line's terminal (empty without a line): the factory the run-time layer
// calls when it opens a port configured "sim:<model>" (FabriquesSimulation::peripherique_serie).
std::string CheminPeripherique(const std::string &modele, int port);
// Puts a new line running `modele` (a device the caller made, under the model name `nom`) on
// COM`port`, in place of the one there: a test's own set of devices. Null when the system gives
// no pseudo-terminal or for a bad port number.
std::shared_ptr<Ligne> BrancherLigne(std::shared_ptr<Modele> modele, std::string_view nom, int port);
// The line now on COM`port`, or null.
std::shared_ptr<Ligne> LigneDuPort(int port);
// Stops every line (their terminals go away).
void ArreterLignes();

}  // namespace sim::serie
