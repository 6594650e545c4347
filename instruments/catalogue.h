// The instrument catalogue: the fixed list of the instrument types the program knows, in the
// order of the add dialog's ring (25 types and 5 separators), and the making of a new instance
// from a type key.
#pragma once

#include "framework/instrument.h"

// A type key is written like a library file name but only selects a plugin table; the keys are
// stored in settings files, so their letters never change.
struct ligne_catalogue {
    const char *libelle;       // shown in the ring (Windows-1252)
    const char *type_apareil;  // type key; "" for a separator
    PInstrument *table;        // the plugin's global table; null for a separator, and for a
                               // type whose plugin is not built into the program yet
};

constexpr int kLignesCatalogue = 30;
extern const ligne_catalogue catalogue_instru[kLignesCatalogue];

// Empties the ring RING_Ajou_Type of the add dialog `panel` (a loaded PANEL_Ajou), then appends
// the 30 rows in order: the label as item text, the type key as item value.
void remplir_liste_instru(int panel);

// A new instance of the type whose key is `type_apareil` (compared whole, case included), its
// five core services filled in; it is not listed yet. Null, with no plugin called, for a null
// or empty key, a key the catalogue does not hold, or a type whose plugin is not built in; null
// also when the plugin made no instance.
PInstrument *Nouvel_instrument(const char *type_apareil);
