// A table of faults an instrument meets while an acquisition runs, as the instruments' fault
// tests write it.
#pragma once

#include "sim/appareil.h"
#include "tests/support/banc_test.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the instrument's readings do while the fault lasts: none come (its counts stay), missing
// readings are counted, or the last value stays and is counted.
enum class Pendant { Rien, Manquantes, Anciennes };

// One fault: its name, what starts it, the text the status list says it with, and the readings
// meanwhile.
struct CasDePanne {
    const char *nom;
    std::function<void()> debut;
    std::string texte;
    Pendant pendant;
};

// The lines of the status list said for the instrument named `nom`, after the first `deja`.
inline std::vector<std::string> LignesDe(const std::string &nom, std::size_t deja) {
    std::vector<std::string> dits;
    const std::vector<std::string> tous = Statuts();
    for (std::size_t k = deja; k < tous.size(); ++k)
        if (tous[k].starts_with(nom + " : ")) dits.push_back(tous[k]);
    return dits;
}

// A fault of the simulated device `appareil`, set by `regler`, for a table of faults.
inline std::function<void()> Defaut(std::shared_ptr<sim::Appareil> appareil,
                                    std::function<void(sim::Defauts &)> regler) {
    return [appareil, regler] {
        sim::Defauts d;
        regler(d);
        appareil->FixerDefauts(d);
    };
}
