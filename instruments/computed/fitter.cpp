// "Fitter de courbes": a formula fitted at every sample to the newest vector of a vector channel
// (see fitter.h).
//
// The private record holds the 860-byte settings block first, then what only lives in this run:
// the compiled formula, the fitted curve and its abscissae, the coefficients and the names
// handed to the evaluator, and the configuration panels this instance has on screen, which
// `liberer` discards so that their OK button never reaches a freed record.
#include "instruments/computed/fitter.h"

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/tables.h"
#include "platform/analysis.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_fitter.h"

#include <matheval.h>
// The output file of libmatheval's formula scanner (an exported function of its scanner).
extern "C" void yyset_out(std::FILE *sortie);

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace {

const char kFichierUir[] = "UIR_fitter.uir";
constexpr int kParametres = 4;
constexpr int kVariablesMax = kParametres + 1;           // four parameters and the variable
// Points of a fitted curve at most: the longest trace of the bench's devices (the oscilloscope's
// record). Only a damaged settings file stores more.
constexpr std::int32_t kPointsMax = 10000;

// The settings block, stored raw in the settings files: 860 bytes, up to and including
// `taille_voie` (the 4 bytes of padding after it are not part of it).
struct S_fitter_reglages {
    char nom_instru[128];      // terminated, at most 39 characters
    char tatoo_voie_fit[30];   // reference of the vector channel to fit; empty: none
    char fonction[500];        // the formula, libmatheval syntax ("^" is the power)
    char nom_inconnue[5];      // the independent variable
    char nom_param1[5];
    char tatoo_param1[30];     // scalar channel giving parameter 1 its start value; empty: none
    double param1;             // constant start value when that channel does not resolve
    char nom_param2[5];
    char tatoo_param2[30];
    double param2;
    char nom_param3[5];
    char tatoo_param3[30];
    double param3;
    char nom_param4[5];
    char tatoo_param4[30];
    double param4;
    std::int32_t taille_voie;  // points of the fitted channel, taken at start
};
constexpr std::size_t kTailleBloc = 860;
static_assert(offsetof(S_fitter_reglages, nom_instru) == 0);
static_assert(offsetof(S_fitter_reglages, tatoo_voie_fit) == 128);
static_assert(offsetof(S_fitter_reglages, fonction) == 158);
static_assert(offsetof(S_fitter_reglages, nom_inconnue) == 658);
static_assert(offsetof(S_fitter_reglages, nom_param1) == 663);
static_assert(offsetof(S_fitter_reglages, tatoo_param1) == 668);
static_assert(offsetof(S_fitter_reglages, param1) == 704);
static_assert(offsetof(S_fitter_reglages, nom_param2) == 712);
static_assert(offsetof(S_fitter_reglages, tatoo_param2) == 717);
static_assert(offsetof(S_fitter_reglages, param2) == 752);
static_assert(offsetof(S_fitter_reglages, nom_param3) == 760);
static_assert(offsetof(S_fitter_reglages, tatoo_param3) == 765);
static_assert(offsetof(S_fitter_reglages, param3) == 800);
static_assert(offsetof(S_fitter_reglages, nom_param4) == 808);
static_assert(offsetof(S_fitter_reglages, tatoo_param4) == 813);
static_assert(offsetof(S_fitter_reglages, param4) == 848);
static_assert(offsetof(S_fitter_reglages, taille_voie) == 856);
static_assert(offsetof(S_fitter_reglages, taille_voie) + sizeof(std::int32_t) == kTailleBloc);
static_assert(sizeof(S_fitter_reglages) >= kTailleBloc);
static_assert(std::is_trivially_copyable_v<S_fitter_reglages>);

// What `structure` points to: the block (the bytes get_memory hands out), then the live state.
struct S_fitter {
    S_fitter_reglages bloc{};

    // Held from a successful start to the stop.
    void *f = nullptr;             // the compiled formula (libmatheval evaluator)
    int num_var = 0;               // fitted coefficients: the formula's variables less one
    bool pret = false;             // the arrays below are sized: the fit runs at every sample
    std::vector<double> calculs;   // the fitted curve, taille_voie values
    std::vector<double> indices;   // the abscissae of the last fitted vector
    std::vector<double> valeurs_y; // the vector being fitted (kept to spare a per-sample allocation)

    double valeurs[kParametres] = {};        // start values, then fitted values
    char variables[kVariablesMax][5] = {};   // names handed to the evaluator

    plugin::Activite activite;       // P_config panels opened by configure, still loaded

    static constexpr const char *kNomDefaut = "Fitter de courbes";
    static constexpr auto kChampNom = &S_fitter_reglages::nom_instru;
    static constexpr ApresLeNom kApresLeNom = ApresLeNom::Zero;  // the whole field is written
    void Defauts();
    void AuLiberer();  // an instrument freed without a stop releases its evaluator
};
using Vie = plugin::Gestion<S_fitter, fitter>;

// The record whose fit is in progress: ModelFunct, called back by NonLinearFit, reaches the
// formula and its names through it. Set just before each fit, cleared after it.
S_fitter *g_fitter = nullptr;

const double kManquant = std::numeric_limits<double>::quiet_NaN();

constexpr auto Prive = plugin::Prive<S_fitter>;

// The four parameters' fields, by parameter number 0 to 3.
struct ChampsParametre {
    char (*nom)[5];
    char (*tatoo)[30];
    double *constante;
    int ctrl_nom, ctrl_ring, ctrl_constante;
};
ChampsParametre Parametre(S_fitter_reglages &b, int k) {
    switch (k) {
    case 0:
        return {&b.nom_param1, &b.tatoo_param1, &b.param1,
                P_config_STRING_1, P_config_RING_1, P_config_NUMERIC_1};
    case 1:
        return {&b.nom_param2, &b.tatoo_param2, &b.param2,
                P_config_STRING_2, P_config_RING_2, P_config_NUMERIC_2};
    case 2:
        return {&b.nom_param3, &b.tatoo_param3, &b.param3,
                P_config_STRING_3, P_config_RING_3, P_config_NUMERIC_3};
    default:
        return {&b.nom_param4, &b.tatoo_param4, &b.param4,
                P_config_STRING_4, P_config_RING_4, P_config_NUMERIC_4};
    }
}

void MessageFitter(PInstrument *instrument, const std::string &cause) {
    char nom[kLongueurNomInstru];
    instrument->get_nom_instru(instrument, nom);
    const std::string texte = std::string(nom) + " : " + cause;
    MessagePopup("Attention", texte.c_str());
}

// Newest value of a scalar channel buffer; the missing value while it has none.
double ValeurRecente(const ptr *b) {
    if (!b || !b->mesure || b->dernier_indice < 0 || b->dernier_indice >= b->profondeur) return kManquant;
    return b->mesure[b->dernier_indice];
}

// Number of points of a vector channel. A reference resolves to the measured channel of its
// instrument when there is one (the table lists measured channels first), otherwise to the
// computed one; an instrument that offers neither size (none of the program's) leaves the
// channel buffer's own length.
int TailleVoie(const ptr2D &b) {
    auto *proprietaire = static_cast<PInstrument *>(b.instrument);
    int taille = b.taille_voie;
    if (proprietaire) {
        if (proprietaire->get_taille_voie2D && proprietaire->nb_voie2D && b.voie >= 1 &&
            b.voie <= proprietaire->nb_voie2D(proprietaire))
            taille = proprietaire->get_taille_voie2D(proprietaire, b.voie);
        else if (proprietaire->get_taille_voie_calcul2D)
            taille = proprietaire->get_taille_voie_calcul2D(proprietaire, b.voie);
    }
    return std::max(taille, 0);
}

void LibererCalcul(S_fitter *p) {
    if (p->f) {
        evaluator_destroy(p->f);
        p->f = nullptr;
    }
    p->pret = false;
    p->calculs = {};
    p->indices = {};
    p->valeurs_y = {};
}

// The model handed to NonLinearFit: the formula with parameter k+1 set to coef[k] and the
// independent variable to x.
double ModelFunct(double x, double coef[], int ncoef) {
    S_fitter *r = g_fitter;
    if (!r || !r->f || ncoef < 0 || ncoef > kParametres) return kManquant;
    double valeurs[kVariablesMax];
    char *noms[kVariablesMax];
    for (int k = 0; k < ncoef; ++k) valeurs[k] = coef[k];
    valeurs[ncoef] = x;
    for (int k = 0; k <= ncoef; ++k) noms[k] = r->variables[k];
    return evaluator_evaluate(r->f, ncoef + 1, noms, valeurs);
}

// ---- management -------------------------------------------------------------------------

void S_fitter::Defauts() {
    S_fitter_reglages &b = bloc;
    EcrireChamp(b.fonction, "a*x^2+b*x+c");
    EcrireChamp(b.nom_inconnue, "x");
    EcrireChamp(b.nom_param1, "a");
    b.param1 = 1.337;
    EcrireChamp(b.nom_param2, "b");
    b.param2 = 5.6;
    EcrireChamp(b.nom_param3, "c");
    b.param3 = 0.0;
    EcrireChamp(b.nom_param4, "d");
    b.param4 = 0.0;
    b.taille_voie = 0;
    std::fill_n(valeurs, kParametres, kManquant);  // no value before the first sample
}

void S_fitter::AuLiberer() {
    LibererCalcul(this);
    if (g_fitter == this) g_fitter = nullptr;
}

void fitter_configure(PInstrument *instrument) {
    S_fitter *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, P_config);
    if (panel < 0) return;
    if (instrument->init_liste_voie2D) instrument->init_liste_voie2D(panel, P_config_RING);
    S_fitter_reglages &b = p->bloc;
    for (int k = 0; k < kParametres; ++k) {
        const ChampsParametre c = Parametre(b, k);
        if (instrument->init_liste_voie) instrument->init_liste_voie(panel, c.ctrl_ring);
        SetCtrlVal(panel, c.ctrl_nom, std::string(TexteChamp(*c.nom)).c_str());
        ChoisirReference(panel, c.ctrl_ring, TexteChamp(*c.tatoo));
        SetCtrlVal(panel, c.ctrl_constante, *c.constante);
    }
    SetCtrlVal(panel, P_config_STRING_0, std::string(TexteChamp(b.nom_inconnue)).c_str());
    ChoisirReference(panel, P_config_RING, TexteChamp(b.tatoo_voie_fit));
    SetCtrlVal(panel, P_config_STRING, std::string(TexteChamp(b.fonction)).c_str());
    SetCtrlAttribute(panel, P_config_OK_BUTTON, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

void fitter_get_memory(PInstrument *instrument, void **p_strct, void **p_member,
                       unsigned * /*size*/, unsigned char *flag) {
    S_fitter *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = reinterpret_cast<unsigned char *>(&p->bloc) + kTailleBloc;
    *flag = 0;
}

// ---- control ----------------------------------------------------------------------------

void fitter_stop(PInstrument *instrument) { LibererCalcul(Prive(instrument)); }

// libmatheval's scanner copies every character it cannot read to its output file, the
// program's standard output unless told otherwise: a formula the operator typed must never
// land there. Its output goes to nowhere instead.
void TaireLecteurFormules() {
    static std::FILE *nulle = std::fopen("/dev/null", "w");
    if (nulle != nullptr) yyset_out(nulle);
}

int fitter_start(PInstrument *instrument) {
    S_fitter *p = Prive(instrument);
    S_fitter_reglages &b = p->bloc;
    LibererCalcul(p);  // what an earlier start still holds

    const std::string reference(TexteChamp(b.tatoo_voie_fit));
    const ptr2D *buffer = instrument->get_buffer2D_from_tatoo && !reference.empty()
                              ? instrument->get_buffer2D_from_tatoo(reference.c_str())
                              : nullptr;
    if (!buffer) {
        MessageFitter(instrument, "La voie à fitter n'est pas choisie, ou elle n'existe plus."_w);
        return kStartEchec;
    }
    const int taille = TailleVoie(*buffer);

    const std::string fonction(TexteChamp(b.fonction));
    TaireLecteurFormules();
    void *f = evaluator_create(const_cast<char *>(fonction.c_str()));
    if (!f) {
        MessageFitter(instrument, "La fonction de fit « "_w + fonction + " » ne peut pas être lue."_w);
        return kStartEchec;
    }
    char **vars = nullptr;
    int nombre = 0;
    evaluator_get_variables(f, &vars, &nombre);
    if (nombre < 1 || nombre > kVariablesMax) {
        evaluator_destroy(f);
        MessageFitter(instrument,
                      "La fonction de fit « "_w + fonction + " » a "_w + std::to_string(nombre) +
                          " variable(s) : il en faut de 1 à 5 (la variable et au plus 4 paramètres)."_w);
        return kStartEchec;
    }

    p->f = f;
    p->num_var = nombre - 1;
    // Parameter k+1 takes coefficient k; the independent variable comes after the fitted ones.
    for (int k = 0; k < kParametres; ++k) EcrireChamp(p->variables[k], TexteChamp(*Parametre(b, k).nom));
    EcrireChamp(p->variables[p->num_var], TexteChamp(b.nom_inconnue));

    b.taille_voie = taille;
    const auto n = static_cast<std::size_t>(taille);
    p->calculs.assign(n, kManquant);
    p->indices.assign(n, kManquant);
    p->valeurs_y.assign(n, 0.0);
    p->pret = true;
    return 0;
}

// ---- computed scalar channels: the parameters ----------------------------------------------

int fitter_nb_voie_calcul(PInstrument * /*instrument*/) { return kParametres; }

void fitter_get_nom_voie_calcul(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "Voie %i", voie);
}

double fitter_mesure_calcul(PInstrument *instrument, int voie) {
    if (voie < 1 || voie > kParametres) return 0.0;
    return Prive(instrument)->valeurs[voie - 1];
}

// The fit runs in calculer_2D; the group is offered whole so that the parameters are channels.
void fitter_calculer_1D(PInstrument * /*instrument*/) {}

// ---- computed vector channel: the fitted curve ------------------------------------------------

int fitter_nb_voie_calcul2D(PInstrument * /*instrument*/) { return 1; }

void fitter_get_nom_voie_calcul_2D(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "%s", "Fittée"_w);
}

// Points of the fitted curve: those of the last start. Before this run's start the count is the
// stored one, which a fitter further up the list sizes its own curve from: one from a damaged
// settings file is bounded.
std::int32_t Points(const S_fitter_reglages &b) { return std::clamp(b.taille_voie, std::int32_t{0}, kPointsMax); }

int fitter_get_taille_voie_calcul2D(PInstrument *instrument, int /*voie*/) { return Points(Prive(instrument)->bloc); }

void CopierTableau(const S_fitter *p, const std::vector<double> &source, double *mesure) {
    if (!p->pret) return;  // before the first start or after a stop: nothing
    const std::size_t n = std::min(source.size(), static_cast<std::size_t>(Points(p->bloc)));
    std::copy_n(source.data(), n, mesure);
}

void fitter_calcul2D(PInstrument *instrument, int /*voie*/, double *mesure) {
    const S_fitter *p = Prive(instrument);
    CopierTableau(p, p->calculs, mesure);
}

void fitter_i_calcul2D(PInstrument *instrument, int /*voie*/, double *mesure) {
    const S_fitter *p = Prive(instrument);
    CopierTableau(p, p->indices, mesure);
}

// The fitted parameters and the curve when a sample gives no fit: missing values.
void SansResultat(S_fitter *p) {
    std::fill_n(p->valeurs, p->num_var, kManquant);
    std::fill(p->calculs.begin(), p->calculs.end(), kManquant);
}

// One sample: the start values, then the fit of the channel's newest vector.
void fitter_calculer_2D(PInstrument *instrument) {
    S_fitter *p = Prive(instrument);
    S_fitter_reglages &b = p->bloc;

    // Every fit starts again from the configured start values.
    for (int k = 0; k < kParametres; ++k) {
        const ChampsParametre c = Parametre(b, k);
        const std::string reference(TexteChamp(*c.tatoo));
        const ptr *source = instrument->get_buffer_from_tatoo && !reference.empty()
                                ? instrument->get_buffer_from_tatoo(reference.c_str())
                                : nullptr;
        p->valeurs[k] = source ? ValeurRecente(source) : *c.constante;
    }
    if (!p->pret || !p->f) return;

    // The channel is resolved again at every sample: the tables may have been rebuilt, and the
    // configuration panel may have chosen another channel since the start.
    const std::string reference(TexteChamp(b.tatoo_voie_fit));
    const ptr2D *buffer = instrument->get_buffer2D_from_tatoo && !reference.empty()
                              ? instrument->get_buffer2D_from_tatoo(reference.c_str())
                              : nullptr;
    const int ligne = buffer ? buffer->dernier_indice : -1;
    const auto n = p->calculs.size();
    if (!buffer || buffer->taille_voie != b.taille_voie || ligne < 0 || ligne >= kLignesVecteur ||
        (n > 0 && (!buffer->mesure[ligne] || !buffer->indices[ligne]))) {
        SansResultat(p);  // gone, or no longer of the length the fitted channel was sized for
        return;
    }
    std::copy_n(buffer->indices[ligne], n, p->indices.data());
    std::copy_n(buffer->mesure[ligne], n, p->valeurs_y.data());

    g_fitter = p;
    if (p->num_var == 0) {
        // No parameter to fit: the curve is the formula itself.
        for (std::size_t i = 0; i < n; ++i) p->calculs[i] = ModelFunct(p->indices[i], p->valeurs, 0);
    } else {
        double erreur = 0.0;
        const int resultat = NonLinearFit(p->indices.data(), p->valeurs_y.data(), p->calculs.data(),
                                          static_cast<int>(n), ModelFunct, p->valeurs, p->num_var, &erreur);
        if (resultat < 0) SansResultat(p);
    }
    g_fitter = nullptr;
}

}  // namespace

PInstrument fitter = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = fitter_configure,
    .get_memory = fitter_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = fitter_stop,
    .start = fitter_start,
    .nb_voie_calcul = fitter_nb_voie_calcul,
    .get_nom_voie_calcul = fitter_get_nom_voie_calcul,
    .mesure_calcul = fitter_mesure_calcul,
    .calculer_1D = fitter_calculer_1D,
    .nb_voie_calcul2D = fitter_nb_voie_calcul2D,
    .get_nom_voie_calcul_2D = fitter_get_nom_voie_calcul_2D,
    .get_taille_voie_calcul2D = fitter_get_taille_voie_calcul2D,
    .calcul2D = fitter_calcul2D,
    .i_calcul2D = fitter_i_calcul2D,
    .calculer_2D = fitter_calculer_2D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of P_config (callback data: the private record): reads the fifteen controls back into the
// settings, then closes the panel. The formula and the names act from the next start, the
// references and the constants from the next sample.
int OK_fit(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
           int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<S_fitter *>(callbackData)) {
        S_fitter_reglages &b = p->bloc;
        char texte[sizeof b.fonction];
        for (int k = 0; k < kParametres; ++k) {
            const ChampsParametre c = Parametre(b, k);
            if (GetCtrlVal(panel, c.ctrl_nom, texte) == 0) EcrireChamp(*c.nom, texte);
            if (GetCtrlVal(panel, c.ctrl_ring, texte) == 0) EcrireChamp(*c.tatoo, texte);
            double constante = 0.0;
            if (GetCtrlVal(panel, c.ctrl_constante, &constante) == 0) *c.constante = constante;
        }
        if (GetCtrlVal(panel, P_config_RING, texte) == 0) EcrireChamp(b.tatoo_voie_fit, texte);
        if (GetCtrlVal(panel, P_config_STRING, texte) == 0) EcrireChamp(b.fonction, texte);
        if (GetCtrlVal(panel, P_config_STRING_0, texte) == 0) EcrireChamp(b.nom_inconnue, texte);
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(OK_fit);
