// "Calcul de statistiques": moving mean, standard deviation and median of a scalar channel
// (see calcul_moy_stddev.h).
//
// The private record holds the 192-byte settings block (the whole saved record, results
// included), then the configuration panels this instance has on screen, which `liberer`
// discards so that their OK button never reaches a freed record. Every sample recomputes the
// three statistics from a fixed window of 30 values; nothing is summed from one sample to the
// next.
#include "instruments/computed/calcul_moy_stddev.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/tables.h"
#include "platform/analysis.h"
#include "platform/ui.h"
#include "uir/UIR_calcul_moy_stddev.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_calcul_moy_stddev.uir";
constexpr std::size_t kLongueurTatoo = 30;               // channel reference: 29 + terminator
constexpr int kFenetre = 30;                             // values of the window
constexpr int kTailleMedianDefaut = 3;

// The settings block, stored raw in the settings files.
struct S_calcul_moy_stddev {
    char nom_pilot[128];              // terminated, at most 39 characters
    char tatoo_voie[kLongueurTatoo];  // input channel; empty for none
    double moyenne;                   // results of the last computation
    double stddev;
    double median;
    std::int32_t taille_median;       // newest values the median covers, 1 to 30
    char reserve[4];                  // gap, any content
};
static_assert(sizeof(S_calcul_moy_stddev) == 192, "settings block of 192 bytes");
static_assert(offsetof(S_calcul_moy_stddev, nom_pilot) == 0);
static_assert(offsetof(S_calcul_moy_stddev, tatoo_voie) == 128);
static_assert(offsetof(S_calcul_moy_stddev, moyenne) == 160);
static_assert(offsetof(S_calcul_moy_stddev, stddev) == 168);
static_assert(offsetof(S_calcul_moy_stddev, median) == 176);
static_assert(offsetof(S_calcul_moy_stddev, taille_median) == 184);
static_assert(std::is_trivially_copyable_v<S_calcul_moy_stddev>);

const double NaN = std::numeric_limits<double>::quiet_NaN();

// What `structure` points to: the block, then what only lives in this run.
struct Statistiques_prive {
    S_calcul_moy_stddev bloc;
    plugin::Activite activite;  // P_config panels opened by configure, still loaded

    static constexpr const char *kNomDefaut = "Calcul moyenne et ecart-type";
    static constexpr auto kChampNom = &S_calcul_moy_stddev::nom_pilot;  // bytes 40..127 kept
    void Defauts() {
        bloc.taille_median = kTailleMedianDefaut;
        // No result before the first computation.
        bloc.moyenne = NaN;
        bloc.stddev = NaN;
        bloc.median = NaN;
    }
};
using Vie = plugin::Gestion<Statistiques_prive, calcul_moy_stddev>;
constexpr auto Prive = plugin::Prive<Statistiques_prive>;

// Fills `mini_buf` with the channel's 30 newest values, newest first. Slots a ring of fewer
// than 30 does not have hold the missing value.
void Remplir_fenetre(const ptr &voie, double (&mini_buf)[kFenetre]) {
    const int d = voie.dernier_indice;
    const int profondeur = voie.profondeur;
    for (int age = 0; age < kFenetre; ++age) {
        if (age >= profondeur) {
            mini_buf[age] = NaN;
            continue;
        }
        int slot = d - age;
        if (slot < 0) slot += profondeur;
        mini_buf[age] = voie.mesure[slot];
    }
}

// ---- management -------------------------------------------------------------------------

void calcul_moy_stddev_configure(PInstrument *instrument) {
    Statistiques_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    SetCtrlAttribute(panel, P_config_COMMANDBUTTON, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    if (instrument->init_liste_voie) instrument->init_liste_voie(panel, P_config_RING);
    // A reference the ring does not list (its channel is gone) shows as "(aucun)".
    ChoisirReferenceOuAucun(panel, P_config_RING, TexteChamp(p->bloc.tatoo_voie));
    SetCtrlVal(panel, P_config_MEDIAN, static_cast<int>(p->bloc.taille_median));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

int calcul_moy_stddev_init(PInstrument * /*instrument*/) { return 0; }

// ---- the computed channels ----------------------------------------------------------------

int calcul_moy_stddev_nb_voie_calcul(PInstrument * /*instrument*/) { return 3; }

void calcul_moy_stddev_get_nom_voie_calcul(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    static const char *const noms[] = {"Moyenne", "Ecart-type", "Median"};
    if (voie < 1 || voie > 3) return;  // the caller's buffer stays as it was
    std::strcpy(nom_voie, noms[voie - 1]);
}

double calcul_moy_stddev_mesure_calcul(PInstrument *instrument, int voie) {
    const S_calcul_moy_stddev &b = Prive(instrument)->bloc;
    switch (voie) {
    case 1: return b.moyenne;
    case 2: return b.stddev;
    case 3: return b.median;
    default: return 0.0;
    }
}

void calcul_moy_stddev_calculer_1D(PInstrument *instrument) {
    S_calcul_moy_stddev &b = Prive(instrument)->bloc;
    char tatoo[kLongueurTatoo + 1];
    CopierChamp(b.tatoo_voie, tatoo);
    if (tatoo[0] == '\0') return;  // no channel chosen: the results stay
    const ptr *voie = instrument->get_buffer_from_tatoo ? instrument->get_buffer_from_tatoo(tatoo) : nullptr;
    if (!voie || !voie->mesure || voie->profondeur < 1 || voie->dernier_indice < 0 ||
        voie->dernier_indice >= voie->profondeur) {
        // The chosen channel is gone: its statistics are missing, not the last ones computed.
        b.moyenne = b.stddev = b.median = NaN;
        return;
    }
    double mini_buf[kFenetre];
    Remplir_fenetre(*voie, mini_buf);

    double moyenne = 0.0;
    double stddev = 0.0;
    double median = 0.0;
    // A count below 1 gives no median (0); one above the window covers the whole window.
    const int n = std::min<int>(b.taille_median, kFenetre);
    Median(mini_buf, n, &median);
    StdDev(mini_buf, kFenetre, &moyenne, &stddev);
    b.moyenne = moyenne;
    b.stddev = stddev;
    b.median = median;
}

}  // namespace

PInstrument calcul_moy_stddev = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = calcul_moy_stddev_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = calcul_moy_stddev_init,
    .nb_voie_calcul = calcul_moy_stddev_nb_voie_calcul,
    .get_nom_voie_calcul = calcul_moy_stddev_get_nom_voie_calcul,
    .mesure_calcul = calcul_moy_stddev_mesure_calcul,
    .calculer_1D = calcul_moy_stddev_calculer_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of P_config (callback data: the private record): stores the channel and the median size,
// then closes the panel. The results are not reset; the next sample uses the new settings.
int OK_config_calcul_stddev(int panel, int /*control*/, int event, void *callbackData,
                            int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Statistiques_prive *>(callbackData)) {
        // The ring offers references of at most 23 characters; anything that would not fit
        // whole is stored as "no channel" rather than cut into another channel's reference.
        char valeur[64] = "";
        if (GetCtrlVal(panel, P_config_RING, valeur) < 0 || std::strlen(valeur) >= kLongueurTatoo)
            valeur[0] = '\0';
        EcrireChamp(p->bloc.tatoo_voie, valeur);
        int taille = 0;
        if (GetCtrlVal(panel, P_config_MEDIAN, &taille) == 0) p->bloc.taille_median = taille;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_config_calcul_stddev);
