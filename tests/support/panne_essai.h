// A table of faults an instrument meets while an acquisition runs, as the instruments' fault
// tests write it.
#pragma once

#include <functional>
#include <string>

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
