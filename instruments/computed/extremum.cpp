// "Détecteur d'extremum": maximum or minimum of a vector channel's newest vector, or its
// abscissa (see extremum.h).
//
// The private record holds the 176-byte settings block (the whole saved record, result
// included), then the configuration panels this instance has on screen, which `liberer`
// discards so that their OK button never reaches a freed record. The scan reads the vector
// where the channel's ring holds it; nothing is copied.
#include "instruments/computed/extremum.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/tables.h"
#include "platform/ui.h"
#include "uir/UIR_extremum.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_extremum.uir";
constexpr std::size_t kLongueurTatoo = 30;               // channel reference: 29 + terminator

// The settings block, stored raw in the settings files.
struct S_calcul_extremum {
    char tatoo_voie[kLongueurTatoo];  // input vector channel; empty for none
    char nom_pilot[128];              // terminated, at most 39 characters
    double mesure;                    // result of the last computation
    std::int32_t type;                // 0: minimum; any other value: maximum
    std::int32_t type_extrem;         // 0: the extreme value; any other value: its abscissa
};
static_assert(sizeof(S_calcul_extremum) == 176, "settings block of 176 bytes");
static_assert(offsetof(S_calcul_extremum, tatoo_voie) == 0);
static_assert(offsetof(S_calcul_extremum, nom_pilot) == 30);
static_assert(offsetof(S_calcul_extremum, mesure) == 160);
static_assert(offsetof(S_calcul_extremum, type) == 168);
static_assert(offsetof(S_calcul_extremum, type_extrem) == 172);
static_assert(std::is_trivially_copyable_v<S_calcul_extremum>);

const double NaN = std::numeric_limits<double>::quiet_NaN();

// What `structure` points to: the block, then what only lives in this run.
struct Extremum_prive {
    S_calcul_extremum bloc;
    plugin::Activite activite;  // P_config panels opened by configure, still loaded

    static constexpr const char *kNomDefaut = "Calcul extremum";
    static constexpr auto kChampNom = &S_calcul_extremum::nom_pilot;  // bytes 40..127 kept
    void Defauts() {
        bloc.mesure = NaN;     // no result before the first computation
        bloc.type = 1;         // maximum
        bloc.type_extrem = 0;  // its value
    }
};
using Vie = plugin::Gestion<Extremum_prive, calcul_extremum>;

constexpr auto Prive = plugin::Prive<Extremum_prive>;

// ---- management -------------------------------------------------------------------------

void calcul_extremum_configure(PInstrument *instrument) {
    Extremum_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    SetCtrlAttribute(panel, P_config_COMMANDBUTTON, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    if (instrument->init_liste_voie2D) instrument->init_liste_voie2D(panel, P_config_RING);
    // A reference the ring does not list (its channel is gone) shows as "(aucun)".
    ChoisirReferenceOuAucun(panel, P_config_RING, TexteChamp(p->bloc.tatoo_voie));
    // Any value other than 0 means maximum, resp. abscissa: the switches show them as 1.
    SetCtrlVal(panel, P_config_TYPE, p->bloc.type != 0 ? 1 : 0);
    SetCtrlVal(panel, P_config_T_EXTREM, p->bloc.type_extrem != 0 ? 1 : 0);
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

int calcul_extremum_init(PInstrument * /*instrument*/) { return 0; }

// ---- the computed channel -----------------------------------------------------------------

int calcul_extremum_nb_voie_calcul(PInstrument * /*instrument*/) { return 1; }

void calcul_extremum_get_nom_voie_calcul(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::memcpy(nom_voie, "Voie 1", sizeof "Voie 1");
}

double calcul_extremum_mesure_calcul(PInstrument *instrument, int /*voie*/) {
    return Prive(instrument)->bloc.mesure;
}

void calcul_extremum_calculer_1D(PInstrument *instrument) {
    S_calcul_extremum &b = Prive(instrument)->bloc;
    char tatoo[kLongueurTatoo + 1];
    CopierChamp(b.tatoo_voie, tatoo);
    if (tatoo[0] == '\0') return;  // no channel chosen: the result stays
    const ptr2D *voie =
        instrument->get_buffer2D_from_tatoo ? instrument->get_buffer2D_from_tatoo(tatoo) : nullptr;
    const int d = voie ? voie->dernier_indice : -1;
    // A channel that is gone, a vector of no point or rows that do not exist: no extremum.
    if (!voie || voie->taille_voie < 1 || d < 0 || d >= kLignesVecteur || !voie->mesure[d] ||
        !voie->indices[d]) {
        b.mesure = NaN;
        return;
    }
    const double *valeurs = voie->mesure[d];
    const double *abscisses = voie->indices[d];
    const bool maximum = b.type != 0;
    // Strict comparisons: an equal point never replaces the candidate, and every comparison
    // with a missing value is false, so a missing value neither replaces nor is replaced.
    int candidat = 0;
    for (int k = 1; k < voie->taille_voie; ++k) {
        const double v = valeurs[k];
        if (maximum ? valeurs[candidat] < v : valeurs[candidat] > v) candidat = k;
    }
    b.mesure = b.type_extrem == 0 ? valeurs[candidat] : abscisses[candidat];
}

}  // namespace

PInstrument calcul_extremum = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = calcul_extremum_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = calcul_extremum_init,
    .nb_voie_calcul = calcul_extremum_nb_voie_calcul,
    .get_nom_voie_calcul = calcul_extremum_get_nom_voie_calcul,
    .mesure_calcul = calcul_extremum_mesure_calcul,
    .calculer_1D = calcul_extremum_calculer_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of P_config (callback data: the private record): stores the channel and the two switches,
// then closes the panel. The result is not reset; the next sample uses the new settings.
int OK_config_calcul_extremum(int panel, int /*control*/, int event, void *callbackData,
                              int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Extremum_prive *>(callbackData)) {
        // The ring offers references of at most 23 characters; anything that would not fit
        // whole is stored as "no channel" rather than cut into another channel's reference.
        char valeur[64] = "";
        if (GetCtrlVal(panel, P_config_RING, valeur) < 0 || std::strlen(valeur) >= kLongueurTatoo)
            valeur[0] = '\0';
        EcrireChamp(p->bloc.tatoo_voie, valeur);
        int type = 0;
        if (GetCtrlVal(panel, P_config_TYPE, &type) == 0) p->bloc.type = type;
        int type_extrem = 0;
        if (GetCtrlVal(panel, P_config_T_EXTREM, &type_extrem) == 0) p->bloc.type_extrem = type_extrem;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_config_calcul_extremum);
