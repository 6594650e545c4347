// A test double instrument: its channel groups, counts, names, values, vector sizes, results
// and its call log are set by the test.
#pragma once

#include "framework/instrument.h"

#include <string>
#include <vector>

struct ConfigEssai {
    std::string nom = "Essai";

    // Each channel group is offered whole or not at all.
    bool mesures_1D = false;
    std::vector<std::string> noms_1D;       // one per channel
    std::vector<double> valeurs_1D;         // latest value per channel
    std::vector<unsigned> numeros_1D;       // reading counter per channel

    bool calculs_1D = false;
    std::vector<std::string> noms_calcul;
    std::vector<double> valeurs_calcul;

    bool mesures_2D = false;
    std::vector<std::string> noms_2D;
    std::vector<std::vector<double>> valeurs_2D;  // latest vector per channel (its size is the channel's)
    std::vector<std::vector<double>> indices_2D;  // abscissae per channel
    std::vector<unsigned> numeros_2D;

    bool calculs_2D = false;
    std::vector<std::string> noms_calcul2D;
    std::vector<std::vector<double>> valeurs_calcul2D;
    std::vector<std::vector<double>> indices_calcul2D;

    // Control operations: offered or not, and what they return.
    bool avec_init = false;
    int resultat_init = 0;
    bool avec_start = false;
    int resultat_start = 0;
    bool avec_stop = false;
    bool avec_status = false;
    int resultat_status = 1;
    bool avec_execute = false;
    bool avec_piloter = false;

    // Settings block designated by get_memory: its initial bytes (its size is the block's size;
    // empty: a block of 0 bytes at the record's start). `drapeau_memoire` is the flag answered:
    // 1 with the start and the size, 0 with the start and the end, any other value as it is (a
    // plugin that answers wrongly).
    std::vector<unsigned char> bloc;
    int drapeau_memoire = 1;
};

// The private record of an instance: its configuration, which the test may change at any time.
struct EssaiPrive {
    ConfigEssai config;
    std::vector<std::string> commandes;  // texts received by execute
    std::vector<unsigned char> bloc;     // the settings block, first taken from config.bloc
};

// Plugin table of the double; its `nouveau` takes the configuration set by FixerConfigEssai.
extern PInstrument plugin_essai;
void FixerConfigEssai(const ConfigEssai &config);
// Makes an instance with `config` through the table's own `nouveau`, as the catalogue would.
PInstrument *CreerEssai(const ConfigEssai &config);
EssaiPrive &Essai(PInstrument *instance);
// A double named `nom` that measures the scalar channels `noms` at `valeurs`, every reading
// counter at `numero`.
ConfigEssai MesuresScalaires(const std::string &nom, std::vector<std::string> noms, std::vector<double> valeurs,
                             unsigned numero = 0);
// A double named `nom` that measures the vector channels `noms` with these vectors and
// abscissae, every reading counter at `numero`.
ConfigEssai MesuresVecteurs(const std::string &nom, std::vector<std::string> noms,
                            std::vector<std::vector<double>> valeurs, std::vector<std::vector<double>> indices,
                            unsigned numero = 0);

// Every operation called on any instance of the double, in order: "<operation> <name>" or
// "<operation> <name> <voie>".
std::vector<std::string> &JournalEssai();
// Number of instances not yet freed by liberer.
int InstancesEssaiVivantes();
