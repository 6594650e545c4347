// The simulated bench installed into the run-time layer (see banc.h).
#include "sim/banc.h"

#include <map>
#include <string>

#include "platform/bench_config.h"
#include "sim/bus.h"
#include "sim/instruments.h"
#include "sim/serie/peripheriques.h"

namespace sim {

namespace {

// The bus of board `carte`, with the configured instruments at addresses still free (a test
// may have placed its own devices first).
std::shared_ptr<CarteGpib> CarteDuBanc(int carte, const std::map<int, std::string> &instruments) {
    const std::shared_ptr<Bus> bus = BusDeCarte(carte);
    for (const auto &[pad, modele] : instruments)
        if (bus->AppareilA(pad) == nullptr)
            if (auto appareil = CreerInstrument(modele)) bus->Brancher(pad, appareil);
    return NouvelleCarte(bus);
}

std::shared_ptr<RegistreDonnees> NouveauRegistre() { return std::make_shared<RegistreParallele>(); }

}  // namespace

void InstallerBanc() {
    FabriquesSimulation f;
    f.modele_gpib_connu = ModeleConnu;
    f.carte_gpib = CarteDuBanc;
    f.port_parallele = NouveauRegistre;
    f.modele_serie_connu = serie::ModeleConnu;
    f.peripherique_serie = serie::CheminPeripherique;
    InstallerSimulation(f);
}

std::shared_ptr<RegistreParallele> RegistreParalleleDuBanc() {
    return std::dynamic_pointer_cast<RegistreParallele>(RegistreParalleleSimule());
}

}  // namespace sim
