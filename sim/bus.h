// The simulated GPIB bus: devices at addresses, and the board backend that platform/gpib.h
// reaches them through.
//
// Each of the two boards has one bus for the whole run (BusDeCarte). The board backend
// (NouvelleCarte) keeps its own handles, each with the settings of ibdev (time-out, EOT,
// end-of-string mode), and finds the device at the handle's address at every call, so a device
// may be plugged in or taken away at any time. An address without a device behaves as a real
// empty address: writes and clears find no listener (ENOL), reads and serial polls time out.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/gpib_carte.h"
#include "sim/appareil.h"

namespace sim {

class Bus {
public:
    // Places `appareil` at primary address `pad` (0..30), secondary `sad` (0 or 0x60..0x7E),
    // in place of what was there.
    void Brancher(int pad, std::shared_ptr<Appareil> appareil, int sad = 0);
    void Debrancher(int pad, int sad = 0);
    // Removes every device.
    void Vider();
    std::shared_ptr<Appareil> AppareilA(int pad, int sad = 0) const;
    template <class T>
    std::shared_ptr<T> AppareilA(int pad, int sad = 0) const {
        return std::dynamic_pointer_cast<T>(AppareilA(pad, sad));
    }
    // Every device with its (pad, sad).
    std::map<std::pair<int, int>, std::shared_ptr<Appareil>> Appareils() const;

private:
    mutable std::mutex m_;
    std::map<std::pair<int, int>, std::shared_ptr<Appareil>> appareils_;
};

// The bus of simulated board `carte` (0 or 1), the same for the whole run; null for another
// number.
std::shared_ptr<Bus> BusDeCarte(int carte);

// A board backend over `bus`.
std::shared_ptr<CarteGpib> NouvelleCarte(std::shared_ptr<Bus> bus);

}  // namespace sim
