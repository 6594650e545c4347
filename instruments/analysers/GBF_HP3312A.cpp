// "GBF HP3312A": the function generator (see GBF_HP3312A.h).
//
// The private record holds the 144-byte settings block, the byte that ends the saved bytes, the
// burst values that "burst ON" sends, then what lives only in this run: the device of the last
// successful `init`, the manual-control panel, and the panels the instance has on screen, which
// `liberer` discards before the device goes offline and the record is freed.
//
// Everything here runs on the user-interface thread: the core's calls, `execute` from the
// sequencer's timer and the feedback loop's computation, and the panel callbacks.
#include "instruments/analysers/GBF_HP3312A.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "gpib/nombres.h"
#include "instruments/ouverture_gpib.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_GBF_HP3312A.h"
#include "uir/UIR_GBF_HP3312A_pilot.h"

namespace {

const char kFichierConfig[] = "UIR_GBF_HP3312A.uir";
const char kFichierPilotage[] = "UIR_GBF_HP3312A_pilot.uir";
constexpr std::size_t kTailleExecute = 100;  // bytes a command of `execute` is built in
constexpr std::size_t kTaillePanneau = 200;  // bytes a command of the panel is built in
constexpr long kLongueurIdentite = 250;      // bytes of the identity reply read
constexpr std::string_view kIdentite = "HEWLETT-PACKARD,33220A";

// ---- settings block -----------------------------------------------------------------------

struct S_GBF_HP3312A {
    char nom_instrument[128];
    std::int32_t identificateur;  // saved as 0: the device lives in Gbf_prive::ud
    std::int32_t gpib_ID;         // reserved
    std::int32_t gpib_adresse;
    std::int32_t panel_pilotage;  // saved as 0: the panel lives in Gbf_prive::pilotage
};
static_assert(std::is_trivially_copyable_v<S_GBF_HP3312A>);
static_assert(sizeof(S_GBF_HP3312A) == 144, "settings block of 144 bytes");
static_assert(offsetof(S_GBF_HP3312A, identificateur) == 128);
static_assert(offsetof(S_GBF_HP3312A, gpib_ID) == 132);
static_assert(offsetof(S_GBF_HP3312A, gpib_adresse) == 136);
static_assert(offsetof(S_GBF_HP3312A, panel_pilotage) == 140);

// The block, the byte that ends the saved bytes (get_memory's end member), and the burst values,
// which are not saved.
struct Enregistrement {
    S_GBF_HP3312A bloc;
    char dont_remove_me;
    double BMRate;         // "BM:INT:RATE" of "burst ON"
    std::int32_t BMNbCyc;  // "BM:NCYC" of "burst ON"
};
static_assert(offsetof(Enregistrement, dont_remove_me) == sizeof(S_GBF_HP3312A), "the block ends at 144");

// ---- private record -----------------------------------------------------------------------

struct Gbf_prive : Enregistrement {
    int ud = -1;        // device of the last successful init; -1 before the first
    int pilotage = 0;   // manual-control panel: 0 not loaded yet, negative when its load failed
    plugin::Activite activite;  // the configuration panels on screen and the manual-control panel

    static constexpr const char *kNomDefaut = "GBF HP3312A";
    static constexpr auto kChampNom = &S_GBF_HP3312A::nom_instrument;  // bytes 40..127 kept

    void Defauts() {
        bloc.gpib_adresse = 1;
        // What the manual-control panel starts with, so that "burst ON" before "burst rate=" and
        // "burst cycle=" sends what the operator sees there.
        BMRate = 50.0;
        BMNbCyc = 500;
    }
    // Once the panels are gone: the device goes offline.
    void AuLiberer() { ouverture_gpib::Fermer(ud, activite); }
};
using Vie = plugin::Gestion<Gbf_prive, GBF_HP3312A>;
constexpr auto Prive = plugin::Prive<Gbf_prive>;

// ---- protocol -----------------------------------------------------------------------------

// A double as "%f" writes it in the C locale: fixed point, six decimals.
std::string Reel(double v) {
    char texte[330];  // the largest finite double: 309 digits, a sign, the point, 6 decimals
    const auto r = std::to_chars(texte, texte + sizeof texte, v, std::chars_format::fixed, 6);
    return std::string(texte, r.ptr);
}

bool Blanc(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view SansBlancs(std::string_view t) {
    while (!t.empty() && Blanc(t.front())) t.remove_prefix(1);
    return t;
}

// What follows the literal part of a pattern matched from the first character of `texte`, as
// sscanf matches it: the same characters, case included, a blank of the pattern matching any run
// of white space, none included. Nothing when the text does not match.
std::optional<std::string_view> ApresLitteral(std::string_view texte, std::string_view litteral) {
    for (const char c : litteral) {
        if (c == ' ') {
            texte = SansBlancs(texte);
        } else if (!texte.empty() && texte.front() == c) {
            texte.remove_prefix(1);
        } else {
            return std::nullopt;
        }
    }
    return texte;
}

// "<litteral>%lf": white space, then the longest decimal number (sign, digits with an optional
// point, an optional exponent); what follows does not matter. Only a finite value counts.
std::optional<double> LireReel(std::string_view texte, std::string_view litteral) {
    const auto reste = ApresLitteral(texte, litteral);
    double v = 0.0;
    if (!reste || nombres::LireReel(*reste, v) == 0) return std::nullopt;
    return v;
}

// "<litteral>%d": white space, then a decimal int with an optional sign; reading stops at the
// first character that cannot belong to it. A number beyond the int range is not read.
std::optional<int> LireEntier(std::string_view texte, std::string_view litteral) {
    const auto reste = ApresLitteral(texte, litteral);
    int v = 0;
    if (!reste || nombres::LireEntier(*reste, v) == 0) return std::nullopt;
    return v;
}

// The shapes, by their value in the ring FORME.
struct Forme {
    std::string_view mot;       // word command of `execute`
    const char *commande;       // what that word sends
    const char *appl;           // the APPLy form the ring sends
};
constexpr Forme kFormes[] = {
    {"sinus", "SOUR:FUNC:SHAP:SIN", "APPL:SIN "},
    {"carre", "SOUR:FUNC:SHAP:SQR", "APPL:SQU "},
    {"triangle", "SOUR:FUNC:SHAP:TRI", "APPL:TRI "},
    {"rampe", "SOUR:FUNC:SHAP:RAMP", "APPL:RAMP "},
    {"bruit", "SOUR:NOIS", "APPL:NOIS "},
};

// Sends `commande` with its terminating NUL, unless its text would not fit in the `taille`
// bytes it is built in: then nothing is sent and the operator is told. No write is checked.
void Envoyer(int ud, const std::string &commande, std::size_t taille) {
    if (commande.size() >= taille) {
        const std::string message = "Commande trop longue pour le GBF ("_w + std::to_string(commande.size()) +
                                    " caractères, "_w + std::to_string(taille - 1) +
                                    " au plus) : elle n'est pas envoyée.\n"_w + commande.substr(0, 40) + "...";
        MessagePopup("Attention", message.c_str());
        return;
    }
    ibecr(ud, commande.c_str());
}

// ---- management ---------------------------------------------------------------------------

void GBF_HP3312A_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                            unsigned char *flag) {
    Gbf_prive *p = Prive(instrument);
    p->bloc.identificateur = 0;
    p->bloc.panel_pilotage = 0;
    *p_strct = &p->bloc;
    *p_member = &p->dont_remove_me;
    *flag = 0;
}

void GBF_HP3312A_configure(PInstrument *instrument) {
    Gbf_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierConfig, P_INSTR);
    if (panel < 0) return;
    SetCtrlVal(panel, P_INSTR_NM_GPIB_ADRSS, static_cast<int>(p->bloc.gpib_adresse));
    SetCtrlAttribute(panel, P_INSTR_CB_OK, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int GBF_HP3312A_init(PInstrument *instrument) {
    Gbf_prive *p = Prive(instrument);
    if (p->pilotage == 0) {
        // A failed load is not tried again: the panel operations then act on no panel.
        p->pilotage = LoadPanel(0, kFichierPilotage, P_PILOT);
        if (p->pilotage < 0) return -1;
        p->activite.panneaux.Ajouter(p->pilotage);
    }
    if (p->pilotage > 0) {
        SetCtrlAttribute(p->pilotage, P_PILOT_FORME, ATTR_CALLBACK_DATA, static_cast<void *>(p));
        SetCtrlAttribute(p->pilotage, P_PILOT_Burst, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    }
    const ouverture_gpib::Ouverture ouverture{
        .sad = NO_SAD,
        .absence = {.texte = "Il faudrait penser à brancher le GBF à l'adresse "_w},
        .identite = {.modele = kIdentite.data(), .longueur = kLongueurIdentite, .compte_borne = true},
        .retrait = {.action = ouverture_gpib::HorsLigne, .avant_message = true},
    };
    int ud = -1;
    if (ouverture_gpib::Ouvrir(p->bloc.gpib_adresse, ouverture, ud) < 0) return -1;
    ibecr(ud, "APPL:SIN 5 KHZ, 3.0 VPP, 0V");
    // The generator answers at the new device: the one of the previous start goes offline.
    ouverture_gpib::Fermer(p->ud, p->activite);
    p->ud = ud;
    return 0;
}

void GBF_HP3312A_execute(PInstrument *instrument, const char *chaine) {
    Gbf_prive *p = Prive(instrument);
    const std::string_view texte = chaine != nullptr ? chaine : "";
    const int panel = p->pilotage;  // the panel is shown first, the command sent after
    if (const auto v = LireReel(texte, "frequence=")) {
        if (panel > 0) SetCtrlVal(panel, P_PILOT_Frequence, *v);
        Envoyer(p->ud, "SOUR:FREQ " + Reel(*v), kTailleExecute);
    }
    if (const auto v = LireReel(texte, "amplitude=")) {
        if (panel > 0) SetCtrlVal(panel, P_PILOT_Amplitude, *v);
        Envoyer(p->ud, "SOUR:VOLT " + Reel(*v), kTailleExecute);
    }
    if (const auto v = LireReel(texte, "burst rate=")) {
        p->BMRate = *v;
        if (panel > 0) SetCtrlVal(panel, P_PILOT_Rate, *v);
    }
    if (const auto n = LireEntier(texte, "burst cycle=")) {
        p->BMNbCyc = *n;
        if (panel > 0) SetCtrlVal(panel, P_PILOT_NbCycle, *n);
    }
    if (texte == "burst ON") {
        Envoyer(p->ud, "BM:NCYC " + std::to_string(p->BMNbCyc), kTailleExecute);
        Envoyer(p->ud, "BM:INT:RATE " + Reel(p->BMRate), kTailleExecute);
        Envoyer(p->ud, "BM:STATE ON", kTailleExecute);
    }
    if (texte == "burst OFF") Envoyer(p->ud, "BM:STATE OFF", kTailleExecute);
    for (int forme = 0; forme < static_cast<int>(std::size(kFormes)); ++forme) {
        if (texte != kFormes[forme].mot) continue;
        // Setting the ring does not run its callback: only the shape goes out, no APPLy.
        if (panel > 0) SetCtrlVal(panel, P_PILOT_FORME, forme);
        Envoyer(p->ud, kFormes[forme].commande, kTailleExecute);
        break;
    }
}

void GBF_HP3312A_piloter(PInstrument *instrument) {
    if (const int panel = Prive(instrument)->pilotage; panel > 0) DisplayPanel(panel);
}

}  // namespace

PInstrument GBF_HP3312A = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = GBF_HP3312A_configure,
    .get_memory = GBF_HP3312A_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = GBF_HP3312A_init,
    .execute = GBF_HP3312A_execute,
    .piloter = GBF_HP3312A_piloter,
};

// ---- panel callbacks ------------------------------------------------------------------------

// OK of the configuration panel (callback data: the private record): the address, then the
// panel goes. It reaches the generator at the next acquisition start.
int CB_GBF_HP3312A_config_ok(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                             int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Gbf_prive *>(callbackData)) {
        int adresse = 0;
        if (GetCtrlVal(panel, P_INSTR_NM_GPIB_ADRSS, &adresse) == 0) p->bloc.gpib_adresse = adresse;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(CB_GBF_HP3312A_config_ok);

// "Cacher": the manual-control panel stays loaded, with its values, until the instrument goes.
UI_CALLBACK_AS(CB_GBF_HP3312A_hide, CacherPanneau);

// The ring FORME (callback data: the private record, set by init): burst off, then the chosen
// shape with the panel's frequency and amplitude.
int CB_Forme(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Gbf_prive *>(callbackData);
    if (p == nullptr) return 0;
    int forme = 0;
    double frequence = 0.0;
    double amplitude = 0.0;
    GetCtrlVal(panel, P_PILOT_FORME, &forme);
    GetCtrlVal(panel, P_PILOT_Frequence, &frequence);
    GetCtrlVal(panel, P_PILOT_Amplitude, &amplitude);
    Envoyer(p->ud, "BM:STAT OFF", kTaillePanneau);
    if (forme < 0 || forme >= static_cast<int>(std::size(kFormes))) return 0;
    Envoyer(p->ud, kFormes[forme].appl + Reel(frequence) + " ," + Reel(amplitude), kTaillePanneau);
    return 0;
}
UI_CALLBACK(CB_Forme);

// Burst (callback data: the private record, set by init): internal source, burst on, phase 0,
// then the panel's rate and cycle count.
int CB_Burst(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Gbf_prive *>(callbackData);
    if (p == nullptr) return 0;
    double rate = 0.0;
    int cycles = 0;
    GetCtrlVal(panel, P_PILOT_Rate, &rate);
    GetCtrlVal(panel, P_PILOT_NbCycle, &cycles);
    Envoyer(p->ud, "BM:SOUR INT", kTaillePanneau);
    Envoyer(p->ud, "BM:STAT ON", kTaillePanneau);
    Envoyer(p->ud, "BM:PHAS 0", kTaillePanneau);
    Envoyer(p->ud, "BM:INT:RATE " + Reel(rate), kTaillePanneau);
    Envoyer(p->ud, "BM:NCYC " + std::to_string(cycles), kTaillePanneau);
    return 0;
}
UI_CALLBACK(CB_Burst);
