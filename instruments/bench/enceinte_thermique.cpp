// "Enceinte thermique": the thermal chamber's set-point over GPIB (see enceinte_thermique.h).
//
// The private record holds the 280-byte settings block, the two doubles that end it, then what
// only lives in this run: the device the last successful init opened (commands and the panel
// use it; the block's own copy is never taken for a live one), the manual-control panel this
// run loaded, and the instance's activity (its panels). Everything runs on the user-interface
// thread.
#include "instruments/bench/enceinte_thermique.h"

#include "gpib/nombres.h"
#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/pilotage.h"
#include "instruments/ouverture_gpib.h"
#include "platform/gpib.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/UIR_enceinte_thermique.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

const char kFichierUir[] = "UIR_enceinte_thermique.uir";
constexpr int kAdresseDefaut = 3;
// Reads end at a line feed (REOS with LF); writes are not affected.
constexpr int kFinDeChaine = REOS | '\n';
constexpr std::size_t kLongueurReponsePV = 30;

constexpr char EOT = 0x04, STX = 0x02, ETX = 0x03, ENQ = 0x05, CR = 0x0D;

// ---- saved block --------------------------------------------------------------------------

struct S_enc_ther {
    std::int32_t identificateur;   // unused
    std::int32_t adresse_GPIB;     // primary address of the controller
    float Temp;                    // last set-point
    char nom_pilot[128];           // at most 39 characters
    char nom_instru[128];          // unused
    std::int32_t id_enceinte;      // device of the last init (file format only)
    std::int32_t panel_pilotage;   // panel of the run that saved (file format only)
    char remplissage[4];           // up to the doubles that end the block
};
static_assert(sizeof(S_enc_ther) == 280, "settings block of 280 bytes");
static_assert(offsetof(S_enc_ther, identificateur) == 0);
static_assert(offsetof(S_enc_ther, adresse_GPIB) == 4);
static_assert(offsetof(S_enc_ther, Temp) == 8);
static_assert(offsetof(S_enc_ther, nom_pilot) == 12);
static_assert(offsetof(S_enc_ther, nom_instru) == 140);
static_assert(offsetof(S_enc_ther, id_enceinte) == 268);
static_assert(offsetof(S_enc_ther, panel_pilotage) == 272);
static_assert(std::is_trivially_copyable_v<S_enc_ther>);
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);
// `zone_memoire` follows the block without a gap: get_memory names it as the block's end.
static_assert(sizeof(S_enc_ther) % alignof(double) == 0);

// ---- private record -----------------------------------------------------------------------

struct Enc_ther_prive {
    S_enc_ther bloc;
    double zone_memoire[2];     // the block's end; the missing value from init on

    int ud = 0;                 // device of the last successful init; 0: none yet
    int panneau = 0;            // P_PILOT of this run: 0 not loaded yet, negative: its load failed
    plugin::Activite activite;  // configuration panels still open, and P_PILOT

    static constexpr const char *kNomDefaut = "Enceinte thermique";
    static constexpr auto kChampNom = &S_enc_ther::nom_pilot;

    void Defauts() {
        bloc.adresse_GPIB = kAdresseDefaut;
        bloc.panel_pilotage = -1;
    }
    void AuLiberer() {
        if (ud > 0) ibonl(ud, 0);
        ud = 0;
    }
};
using Vie = plugin::Gestion<Enc_ther_prive, enc_ther>;
constexpr auto Prive = plugin::Prive<Enc_ther_prive>;

void Ecrire(int ud, std::string_view octets) { ibwrt(ud, octets.data(), static_cast<long>(octets.size())); }

// The payload of a set-point, if its frame can carry it.
std::optional<std::string> ChargeConsigne(float consigne) {
    if (!std::isfinite(consigne)) return std::nullopt;
    char charge[64];
    const int n = std::snprintf(charge, sizeof charge, "SL%05.1f", static_cast<double>(consigne));
    if (n < 0 || static_cast<std::size_t>(n) > kEncTherChargeMax) return std::nullopt;
    return std::string(charge, static_cast<std::size_t>(n));
}

}  // namespace

// ---- protocol -------------------------------------------------------------------------------

std::string enc_ther_trame(std::string_view adresse, std::string_view charge) {
    char controle = ETX;
    for (const char c : charge) controle = static_cast<char>(controle ^ c);
    std::string trame;
    trame.reserve(adresse.size() + charge.size() + 5);
    trame += EOT;
    trame += adresse;
    trame += STX;
    trame += charge;
    trame += ETX;
    trame += controle;
    trame += CR;
    return trame;
}

std::optional<std::string> enc_ther_trame_consigne(float consigne) {
    const std::optional<std::string> charge = ChargeConsigne(consigne);
    if (!charge) return std::nullopt;
    return enc_ther_trame(kEncTherAdresse, *charge);
}

std::string enc_ther_question_PV() {
    return std::string(1, EOT) + kEncTherAdresse + "PV" + ENQ + CR;
}

std::optional<float> enc_ther_analyser_PV(std::string_view reponse) {
    // The reply's first byte, whatever it is, is skipped; its text ends at the next ETX (or NUL).
    if (reponse.empty()) return std::nullopt;
    constexpr char kFins[] = {ETX, '\0'};
    std::string_view texte = reponse.substr(0, kLongueurReponsePV).substr(1);
    texte = texte.substr(0, texte.find_first_of(std::string_view(kFins, sizeof kFins)));
    if (!texte.starts_with("PV")) return std::nullopt;
    float valeur = 0.0f;
    if (nombres::LireReel(texte.substr(2), valeur) == 0) return std::nullopt;
    return valeur;
}

void envoyer_MIP(int ud) { Ecrire(ud, "MIP RS=26\r"); }

bool envoyer_trame(const char *adresse, const char *charge, int ud) {
    const std::string trame = enc_ther_trame(adresse, charge);
    if (trame.size() > kEncTherTrameMax) return false;
    Ecrire(ud, trame);
    return true;
}

bool ecrire_consigne(float consigne, int ud) {
    const std::optional<std::string> charge = ChargeConsigne(consigne);
    return charge && envoyer_trame(kEncTherAdresse, charge->c_str(), ud);
}

float lire_PV(int ud) {
    Ecrire(ud, enc_ther_question_PV());
    char reponse[kLongueurReponsePV];
    ibrd(ud, reponse, static_cast<long>(sizeof reponse));
    const long n = std::clamp(ThreadIbcntl(), 0L, static_cast<long>(sizeof reponse));
    return enc_ther_analyser_PV(std::string_view(reponse, static_cast<std::size_t>(n)))
        .value_or(std::numeric_limits<float>::quiet_NaN());
}

// ---- management -----------------------------------------------------------------------------

namespace {

void enc_ther_configure(PInstrument *instrument) {
    Enc_ther_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_config, P_config_BUTTON_OK, p);
    if (panel <= 0) return;
    SetCtrlVal(panel, P_config_NUMERIC, static_cast<int>(p->bloc.adresse_GPIB));
    DisplayPanel(panel);
}

// Flag 0: the block runs from the record's start up to `zone_memoire`.
void enc_ther_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                         unsigned char *flag) {
    Enc_ther_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->zone_memoire;
    *flag = 0;
}

// A set-point that its frame can carry becomes the stored one and goes to the chamber of the
// last init (none before the first).
bool Consigner(Enc_ther_prive *p, float consigne) {
    if (!enc_ther_trame_consigne(consigne)) return false;
    p->bloc.Temp = consigne;
    if (p->ud > 0) ecrire_consigne(consigne, p->ud);
    return true;
}

}  // namespace

// ---- control --------------------------------------------------------------------------------

namespace {

// Opens the controller and checks that it listens; loads the manual-control panel the first
// time; sends "MIP RS=26". 0, or -1 (with the pop-up when no chamber answers).
int enc_ther_init(PInstrument *instrument) {
    Enc_ther_prive *p = Prive(instrument);
    S_enc_ther &b = p->bloc;
    p->zone_memoire[0] = p->zone_memoire[1] = NotANumber();
    const int adresse = b.adresse_GPIB;
    const ouverture_gpib::Ouverture ouverture{
        .verifier_carte = false,
        .sad = NO_SAD,
        .eos = kFinDeChaine,
        .absence = {.titre = "Attention", .texte = "Il faudrait allumer l'enceinte", .adresse = false},
        .retrait = {.action = ouverture_gpib::HorsLigneSiOuvert, .avant_message = true},
    };
    int ud = -1;
    if (ouverture_gpib::Ouvrir(adresse, ouverture, ud) < 0) return -1;
    // The chamber of the previous start gives way to this one.
    if (p->ud > 0 && p->ud != ud) ibonl(p->ud, 0);
    p->ud = ud;
    b.id_enceinte = ud;
    if (!banc::ChargerPilotage(p->panneau, b.panel_pilotage, p->activite, kFichierUir, P_PILOT)) return -1;
    if (p->panneau > 0) {
        SetCtrlVal(p->panneau, P_PILOT_NUMERIC, static_cast<double>(b.Temp));
        SetCtrlAttribute(p->panneau, P_PILOT_BUTTON_2, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    }
    envoyer_MIP(ud);
    return 0;
}

int enc_ther_status(PInstrument * /*instrument*/) { return 1; }

// "T=<x>": the set-point shown in the panel, kept and sent. Any other text does nothing.
void enc_ther_execute(PInstrument *instrument, const char *chaine) {
    Enc_ther_prive *p = Prive(instrument);
    float consigne = 0.0f;
    if (chaine == nullptr || std::sscanf(chaine, "T=%f", &consigne) != 1) return;
    if (!Consigner(p, consigne)) return;
    if (p->panneau > 0) SetCtrlVal(p->panneau, P_PILOT_NUMERIC, static_cast<double>(consigne));
}

void enc_ther_piloter(PInstrument *instrument) {
    const Enc_ther_prive *p = Prive(instrument);
    if (p->panneau > 0) DisplayPanel(p->panneau);
}

}  // namespace

PInstrument enc_ther = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = enc_ther_configure,
    .get_memory = enc_ther_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = enc_ther_init,
    .status = enc_ther_status,
    .execute = enc_ther_execute,
    .piloter = enc_ther_piloter,
};

// ---- panel callbacks --------------------------------------------------------------------------

// OK of P_config (callback data: the private record): the address, used from the next init.
int OK_conf(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Enc_ther_prive *>(callbackData);
    int adresse = 0;
    if (p != nullptr && GetCtrlVal(panel, P_config_NUMERIC, &adresse) == 0) p->bloc.adresse_GPIB = adresse;
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(OK_conf);

// OK of P_PILOT (callback data: the private record, set by init): the set-point of the panel.
int OK_pilote(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Enc_ther_prive *>(callbackData);
    float consigne = 0.0f;
    if (p != nullptr && GetCtrlVal(panel, P_PILOT_NUMERIC, &consigne) == 0) Consigner(p, consigne);
    return 0;
}
UI_CALLBACK(OK_pilote);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(Cacher, CacherPanneau);
