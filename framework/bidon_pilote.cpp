// "Pilote bidon": the instrument without hardware (see bidon_pilote.h).
//
// The private record of an instance holds the 140-byte settings block first, then what only
// lives in this run: the handle of the P_PILOT panel that this instance loaded and the P_config
// panels that it has on screen. The block's own `panel_pilotage` field is kept for the file
// format only: a block loaded from a settings file brings back the handle of the run that saved
// it, so every operation works on the live handle instead, and `liberer` discards exactly the
// panels this instance opened (a P_config still on screen included, so that its OK button
// never reaches a freed record).
#include "framework/bidon_pilote.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_bidon_pilote.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_bidon_pilote.uir";
constexpr int kAdresseDefaut = 45;
constexpr int kTailleVoie = 50;                             // points of the vector channel

// The settings block, stored raw in the settings files.
struct S_pilote_bidon {
    std::int32_t identificateur;  // not used by this instrument
    std::int32_t adresse;         // set in P_config
    char nom_pilot[128];          // terminated, at most 39 characters
    std::int32_t panel_pilotage;  // P_PILOT of the run that saved the block (file format only)
};
static_assert(sizeof(S_pilote_bidon) == 140, "settings block of 140 bytes");
static_assert(offsetof(S_pilote_bidon, identificateur) == 0);
static_assert(offsetof(S_pilote_bidon, adresse) == 4);
static_assert(offsetof(S_pilote_bidon, nom_pilot) == 8);
static_assert(offsetof(S_pilote_bidon, panel_pilotage) == 136);
static_assert(std::is_trivially_copyable_v<S_pilote_bidon>);

// What `structure` points to: the block (the bytes get_memory hands out), then the live state.
struct Pilote_bidon_prive {
    S_pilote_bidon bloc;
    int panel_charge = 0;        // P_PILOT loaded by this instance's init; 0 before
    plugin::Activite activite;   // P_PILOT and the P_config panels still loaded

    static constexpr const char *kNomDefaut = "Pilote bidon";
    static constexpr auto kChampNom = &S_pilote_bidon::nom_pilot;  // bytes 40..127 kept
    void Defauts() {
        bloc.adresse = kAdresseDefaut;
        bloc.panel_pilotage = 0;
    }
};
using Vie = plugin::Gestion<Pilote_bidon_prive, pilote_bidon>;

// Numbers the vectors of every "Pilote bidon" of the program, one after the other.
unsigned compteur_numero2D = 1;

constexpr auto Prive = plugin::Prive<Pilote_bidon_prive>;

// ---- management -------------------------------------------------------------------------

void pilote_bidon_configure(PInstrument *instrument) {
    Pilote_bidon_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    SetCtrlVal(panel, P_config_NUMERIC, static_cast<int>(p->bloc.adresse));
    SetCtrlAttribute(panel, P_config_BUTTON_OK, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

void pilote_bidon_get_memory(PInstrument *instrument, void **p_strct, void ** /*p_member*/,
                             unsigned *size, unsigned char *flag) {
    Pilote_bidon_prive *p = Prive(instrument);
    // A save writes this run's handle (0 while P_PILOT is not loaded), never one that an
    // earlier load brought back; a load overwrites the whole block and changes no live handle.
    p->bloc.panel_pilotage = p->panel_charge;
    *p_strct = &p->bloc;
    *size = sizeof(S_pilote_bidon);
    *flag = 1;
}

// ---- control ----------------------------------------------------------------------------

int pilote_bidon_init(PInstrument *instrument) {
    Pilote_bidon_prive *p = Prive(instrument);
    if (p->panel_charge == 0) {
        const int panel = LoadPanel(0, kFichierUir, P_PILOT);
        if (panel < 0) {
            p->bloc.panel_pilotage = 0;  // the next init tries again
            return -1;
        }
        p->panel_charge = panel;
        p->activite.panneaux.Ajouter(panel);  // discarded by liberer
        p->bloc.panel_pilotage = panel;
    }
    SetCtrlAttribute(p->panel_charge, P_PILOT_SW_Soleil, ATTR_CALLBACK_DATA,
                     static_cast<void *>(instrument));
    SetCtrlVal(p->panel_charge, P_PILOT_SW_Soleil, 0);
    SetCtrlVal(p->panel_charge, P_PILOT_LED, 0);
    return 0;
}

int pilote_bidon_status(PInstrument * /*instrument*/) { return 1; }

void pilote_bidon_execute(PInstrument *instrument, const char *chaine) {
    const int panel = Prive(instrument)->panel_charge;
    if (!chaine || panel == 0) return;
    int jour;
    if (std::strcmp(chaine, "jour") == 0) jour = 1;
    else if (std::strcmp(chaine, "nuit") == 0) jour = 0;
    else return;
    SetCtrlVal(panel, P_PILOT_SW_Soleil, jour);
    SetCtrlVal(panel, P_PILOT_LED, jour);
}

void pilote_bidon_piloter(PInstrument *instrument) {
    const int panel = Prive(instrument)->panel_charge;
    if (panel != 0) DisplayPanel(panel);
}

// ---- the measured vector channel ----------------------------------------------------------

int pilote_bidon_nb_voie2D(PInstrument * /*instrument*/) { return 1; }

void pilote_bidon_get_nom_voie2D(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "%s", "Voie à la con"_w);
}

int pilote_bidon_get_taille_voie2D(PInstrument * /*instrument*/, int /*voie*/) {
    return kTailleVoie;
}

void pilote_bidon_mesure2D(PInstrument * /*instrument*/, int /*voie*/, double *mesure) {
    std::fill_n(mesure, kTailleVoie, 0.0);
}

void pilote_bidon_indices2D(PInstrument * /*instrument*/, int /*voie*/, double *indice) {
    for (int i = 0; i < kTailleVoie; ++i) indice[i] = i + 1.0;
}

unsigned pilote_bidon_numero2D(PInstrument * /*instrument*/, int /*voie*/) {
    return compteur_numero2D++;
}

}  // namespace

PInstrument pilote_bidon = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = pilote_bidon_configure,
    .get_memory = pilote_bidon_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = pilote_bidon_init,
    .status = pilote_bidon_status,
    .execute = pilote_bidon_execute,
    .piloter = pilote_bidon_piloter,
    .nb_voie2D = pilote_bidon_nb_voie2D,
    .get_nom_voie2D = pilote_bidon_get_nom_voie2D,
    .get_taille_voie2D = pilote_bidon_get_taille_voie2D,
    .mesure2D = pilote_bidon_mesure2D,
    .indices2D = pilote_bidon_indices2D,
    .numero2D = pilote_bidon_numero2D,
};

// ---- panel callbacks ------------------------------------------------------------------------

// OK of P_config (callback data: the private record): stores the address and closes the panel.
int OK_config(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
              int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Pilote_bidon_prive *>(callbackData)) {
        int adresse = 0;
        if (GetCtrlVal(panel, P_config_NUMERIC, &adresse) == 0) p->bloc.adresse = adresse;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_config);

// "Cacher" of P_PILOT: hides the panel, which stays loaded for `piloter`.
UI_CALLBACK_AS(Cacher_Pilotage, CacherPanneau);

// Day/night switch of P_PILOT (callback data: the instance): the lamp follows the switch.
int Allumer_Eteindre(int /*panel*/, int /*control*/, int event, void *callbackData,
                     int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *instrument = static_cast<PInstrument *>(callbackData);
    if (!instrument || !instrument->structure) return 0;
    const int panel = Prive(instrument)->panel_charge;
    if (panel == 0) return 0;
    int jour = 0;
    if (GetCtrlVal(panel, P_PILOT_SW_Soleil, &jour) == 0) SetCtrlVal(panel, P_PILOT_LED, jour);
    return 0;
}
UI_CALLBACK(Allumer_Eteindre);
