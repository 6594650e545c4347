// The simulated instruments of the bench configuration.
#include "sim/instruments.h"

#include <cctype>
#include <utility>

#include "sim/analysers/hp33220a.h"
#include "sim/analysers/hp4194.h"
#include "sim/analysers/tds3052.h"
#include "sim/bench/enceinte_thermique.h"
#include "sim/counters/hp5313x.h"
#include "sim/meters/e4419b.h"
#include "sim/meters/hp34401a.h"
#include "sim/network/ms4623b.h"

namespace sim {

namespace {

struct Modele {
    const char *nom;
    const char *identite;
    // The model of the instrument's behaviour (sim/<family>/); null: an instrument that only
    // answers the common commands with its identity.
    std::shared_ptr<Appareil> (*creer)();
};

constexpr Modele kModeles[] = {
    {"53131A", "HEWLETT-PACKARD,53131A,0,3703", CreerHp53131A},
    {"53132A", "HEWLETT-PACKARD,53132A,0,3703", CreerHp53132A},
    {"53131A-SW", "HEWLETT-PACKARD,53131A,0,3703", CreerHp53131ACommute},
    {"E4419B", "HEWLETT-PACKARD,E4419B,GB40201234,A1.01.07", CreerE4419B},
    {"34401A", "HEWLETT-PACKARD,34401A,0,11-5-2", CreerHp34401A},
    {"33220A", "HEWLETT-PACKARD,33220A,0,2.02-2.02-22-2", CreerHp33220A},
    {"TDS3052", "TEKTRONIX,TDS 3052,0,CF:91.1CT FV:v3.11 TDS3FFT:v1.00 TDS3TRG:v1.00", CreerTds3052},
    {"MS4623B", "ANRITSU,MS4623B,000000,1.08", CreerMS4623B},
    {"4194A", "HP4194A", CreerHp4194},
    {"ENCEINTE", "BANC,ENCEINTE THERMIQUE,0,1.0", CreerEnceinteThermique},
};

const Modele *Trouver(std::string_view nom) {
    for (const Modele &m : kModeles) {
        const std::string_view n = m.nom;
        if (n.size() != nom.size()) continue;
        bool egal = true;
        for (std::size_t i = 0; i < n.size() && egal; ++i)
            egal = std::toupper(static_cast<unsigned char>(nom[i])) == n[i];
        if (egal) return &m;
    }
    return nullptr;
}

class Identite final : public Appareil488 {
public:
    explicit Identite(std::string identite) : Appareil488(std::move(identite)) {
        AccepterInconnues(true);
    }
};

}  // namespace

std::shared_ptr<Appareil488> InstrumentIdentite(std::string identite) {
    return std::make_shared<Identite>(std::move(identite));
}

std::vector<std::string> ModelesConnus() {
    std::vector<std::string> noms;
    for (const Modele &m : kModeles) noms.emplace_back(m.nom);
    return noms;
}

bool ModeleConnu(std::string_view modele) { return Trouver(modele) != nullptr; }

std::shared_ptr<Appareil> CreerInstrument(std::string_view modele) {
    const Modele *m = Trouver(modele);
    if (m == nullptr) return nullptr;
    return m->creer != nullptr ? m->creer() : InstrumentIdentite(m->identite);
}

}  // namespace sim
