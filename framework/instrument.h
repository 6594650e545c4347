// The plugin interface that every instrument type implements, the node of the instrument list
// and the two kinds of channel buffers. Every plugin defines one global PInstrument named
// after the instrument; `nouveau` makes an instance as a heap copy of it.
#pragma once

#include <cstdio>

struct PInstrument;
struct ptr;
struct ptr2D;

// Lengths of the texts the core and the plugins exchange.
constexpr int kLongueurNomInstru = 40;  // instrument names: at most 39 characters
constexpr int kLongueurNomVoie = 20;    // channel names: at most 19 characters
constexpr int kLongueurNomAffiche = 60; // "<instrument> <channel>"
constexpr int kLongueurTypeApareil = 255;
constexpr int kLignesVecteur = 50;      // depth of every vector ring
constexpr int kStartEchec = 0x8000;     // bit of a `start` result that means failure

// 38 pointer-sized fields, in this order: the private record, the five core services, then the
// operations in six groups. A null operation is one the plugin does not offer. Every field is
// null unless set: a plugin writes its table with designated initialisers, naming each
// operation it offers (`PInstrument freq = {.nouveau = ..., .mesure_1D = ...};`), so that no
// operation can land in the slot of another of the same type.
struct PInstrument {
    void *structure = nullptr;

    // Core services, written into every instance by the core.
    int (*gestion_lock)(const char *lock_requis) = nullptr;
    void (*init_liste_voie)(int panel, int control_id) = nullptr;
    ptr *(*get_buffer_from_tatoo)(const char *tatoo_voie) = nullptr;
    void (*init_liste_voie2D)(int panel, int control_id) = nullptr;
    ptr2D *(*get_buffer2D_from_tatoo)(const char *tatoo_voie) = nullptr;

    // Management (mandatory).
    void (*nouveau)(PInstrument **instrument) = nullptr;
    void (*liberer)(PInstrument *instrument) = nullptr;
    void (*configure)(PInstrument *instrument) = nullptr;
    void (*get_memory)(PInstrument *instrument, void **p_strct, void **p_member, unsigned *size,
                       unsigned char *flag) = nullptr;
    void (*get_nom_instru)(PInstrument *instrument, char *nom_instru) = nullptr;
    void (*set_nom_instru)(PInstrument *instrument, const char *nom_instru) = nullptr;

    // Control.
    void (*stop)(PInstrument *instrument) = nullptr;
    int (*start)(PInstrument *instrument) = nullptr;
    int (*init)(PInstrument *instrument) = nullptr;
    int (*status)(PInstrument *instrument) = nullptr;
    void (*execute)(PInstrument *instrument, const char *chaine) = nullptr;
    void (*piloter)(PInstrument *instrument) = nullptr;

    // Measured vector channels.
    int (*nb_voie2D)(PInstrument *instrument) = nullptr;
    void (*get_nom_voie2D)(PInstrument *instrument, int voie, char *nom_voie) = nullptr;
    int (*get_taille_voie2D)(PInstrument *instrument, int voie) = nullptr;
    void (*mesure2D)(PInstrument *instrument, int voie, double *mesure) = nullptr;
    void (*indices2D)(PInstrument *instrument, int voie, double *indice) = nullptr;
    unsigned (*numero2D)(PInstrument *instrument, int voie) = nullptr;

    // Computed scalar channels.
    int (*nb_voie_calcul)(PInstrument *instrument) = nullptr;
    void (*get_nom_voie_calcul)(PInstrument *instrument, int voie, char *nom_voie) = nullptr;
    double (*mesure_calcul)(PInstrument *instrument, int voie) = nullptr;
    void (*calculer_1D)(PInstrument *instrument) = nullptr;

    // Measured scalar channels.
    int (*nb_voie_1D)(PInstrument *instrument) = nullptr;
    void (*get_nom_voie_1D)(PInstrument *instrument, int voie, char *nom_voie) = nullptr;
    double (*mesure_1D)(PInstrument *instrument, int voie) = nullptr;
    unsigned (*numero_1D)(PInstrument *instrument, int voie) = nullptr;

    // Computed vector channels.
    int (*nb_voie_calcul2D)(PInstrument *instrument) = nullptr;
    void (*get_nom_voie_calcul_2D)(PInstrument *instrument, int voie, char *nom_voie) = nullptr;
    int (*get_taille_voie_calcul2D)(PInstrument *instrument, int voie) = nullptr;
    void (*calcul2D)(PInstrument *instrument, int voie, double *mesure) = nullptr;
    void (*i_calcul2D)(PInstrument *instrument, int voie, double *mesure) = nullptr;
    void (*calculer_2D)(PInstrument *instrument) = nullptr;
};
static_assert(sizeof(PInstrument) == 38 * sizeof(void *), "38 pointer-sized fields");

// One node of the instrument list.
struct fichei {
    fichei *suivant;
    char Type_Apareil[kLongueurTypeApareil];  // type key of the catalogue
    PInstrument *plugin;
    int tatoo;
    std::FILE *fichier;  // the instrument's vector record file while one is open
};

// Buffer of one scalar channel: a ring of `profondeur` values and reading numbers with the
// mid-term and long-term average curves.
struct ptr {
    double *mesure;
    double *numero;
    double *points_mid;
    double *points_long;
    int cpt_mid;
    int cpt_long;
    int profondeur;
    int ptr_mobile;       // slot of the next value (the oldest once the ring has wrapped)
    int dernier_indice;   // slot of the newest value
    void *instrument;     // the owning PInstrument instance
    char nom_voie[kLongueurNomAffiche];
    int tatoo;
    int voie;
};

// Buffer of one vector channel: a ring of 50 vectors (rows 0 to 49 of the 100-entry arrays)
// with their abscissae and reading numbers.
struct ptr2D {
    double *mesure[100];
    double *indices[100];
    double numero[100];
    int ptr_mobile;
    int dernier_indice;
    void *instrument;
    char nom_voie[kLongueurNomAffiche];
    int tatoo;
    int voie;
    int taille_voie;
};
