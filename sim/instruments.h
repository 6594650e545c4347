// The simulated instruments that the bench configuration can put on a bus, by model name.
//
// For now each answers the IEEE 488.2 common commands with the identity of its model and takes
// every other command of its language without effect (noting it, see CommandesInconnues).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ieee488.h"

namespace sim {

// An instrument with identity `identite` that accepts every command.
std::shared_ptr<Appareil488> InstrumentIdentite(std::string identite);

// Models, in the configuration's spelling (any case): 53131A, 53132A, 53131A-SW (input 1
// behind the RF switch of line SW1), E4419B, 34401A, 33220A,
// TDS3052, MS4623B.
std::vector<std::string> ModelesConnus();
bool ModeleConnu(std::string_view modele);
// A new instrument of `modele`; null for an unknown model.
std::shared_ptr<Appareil> CreerInstrument(std::string_view modele);

}  // namespace sim
