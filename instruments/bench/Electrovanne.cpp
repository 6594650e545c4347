// "Electrovanne": a solenoid valve on the whole data register of the parallel port (see
// Electrovanne.h).
#include "instruments/bench/Electrovanne.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/bench/pilotage.h"
#include "platform/parport.h"
#include "platform/ui.h"
#include "uir/UIR_Electrovanne.h"

namespace {

const char kFichierUir[] = "UIR_Electrovanne.uir";

// The settings block: the bytes before `dont_remove_me`, stored raw in the settings files.
struct S_Electrovanne {
    char nom_instrument[128];      // terminated, at most 39 characters
    std::int32_t panel_pilotage;   // the manual panel of the run that saved: never read back
    char etat_vanne;               // the last data byte written
    char dont_remove_me;           // end of the saved bytes
};
static_assert(offsetof(S_Electrovanne, nom_instrument) == 0);
static_assert(offsetof(S_Electrovanne, panel_pilotage) == 128);
static_assert(offsetof(S_Electrovanne, etat_vanne) == 132);
static_assert(offsetof(S_Electrovanne, dont_remove_me) == 133, "settings block of 133 bytes");
static_assert(std::is_trivially_copyable_v<S_Electrovanne>);

// What `structure` points to: the block, then the panels of this run.
struct Electrovanne_prive {
    S_Electrovanne bloc;

    int panneau_pilotage = 0;   // P_PILOT of this run: 0 not loaded yet, negative: its load failed
    plugin::Activite activite;  // P_PILOT and the configuration panels still open

    static constexpr const char *kNomDefaut = "Electrovanne";
    static constexpr auto kChampNom = &S_Electrovanne::nom_instrument;
};
using Vie = plugin::Gestion<Electrovanne_prive, Electrovanne>;

Electrovanne_prive *Prive(PInstrument *instrument) { return plugin::Prive<Electrovanne_prive>(instrument); }

// The state becomes `etat` and the whole data byte with it.
void EcrireEtat(Electrovanne_prive &p, int etat) {
    p.bloc.etat_vanne = static_cast<char>(etat);
    CVI_outp(kPortParallele, static_cast<unsigned char>(etat));
}

// A switch shows the valve's line of the state.
void MontrerEtat(int panel, int control, const Electrovanne_prive &p) {
    SetCtrlVal(panel, control, static_cast<unsigned char>(p.bloc.etat_vanne) & 0x01);
}

// The switch of the panel that sent OK.
int EtatDuSwitch(int panel, int control) {
    int etat = 0;
    GetCtrlVal(panel, control, &etat);
    return etat;
}

// ---- management -------------------------------------------------------------------------

void Electrovanne_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                             unsigned char *flag) {
    S_Electrovanne &b = Prive(instrument)->bloc;
    *p_strct = &b;
    *p_member = &b.dont_remove_me;
    *flag = 0;
}

void Electrovanne_configure(PInstrument *instrument) {
    Electrovanne_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_INSTR, P_INSTR_CB_OK, p);
    if (panel <= 0) return;
    MontrerEtat(panel, P_INSTR_BS_SIDE, *p);
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

void Electrovanne_stop(PInstrument * /*instrument*/) {}

int Electrovanne_start(PInstrument * /*instrument*/) { return 0; }

// Loads the manual panel at the first call; the port is not written.
int Electrovanne_init(PInstrument *instrument) {
    Electrovanne_prive *p = Prive(instrument);
    return banc::ChargerPilotage(p->panneau_pilotage, p->bloc.panel_pilotage, p->activite, kFichierUir, P_PILOT) ? 0
                                                                                                              : -1;
}

int Electrovanne_status(PInstrument * /*instrument*/) { return 1; }

// "sens=<c>": the code of the character c becomes the state and the data byte. Anything else
// writes nothing. Either way the manual panel's switch shows the state.
void Electrovanne_execute(PInstrument *instrument, const char *chaine) {
    Electrovanne_prive *p = Prive(instrument);
    char c = 0;
    if (std::sscanf(chaine, "sens=%c", &c) == 1) EcrireEtat(*p, static_cast<unsigned char>(c));
    if (p->panneau_pilotage > 0) MontrerEtat(p->panneau_pilotage, P_PILOT_BS_SIDE, *p);
}

void Electrovanne_piloter(PInstrument *instrument) {
    Electrovanne_prive *p = Prive(instrument);
    const int panel = p->panneau_pilotage;
    if (panel <= 0) return;
    MontrerEtat(panel, P_PILOT_BS_SIDE, *p);
    SetCtrlAttribute(panel, P_PILOT_CB_OK, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    DisplayPanel(panel);
}

}  // namespace

PInstrument Electrovanne = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = Electrovanne_configure,
    .get_memory = Electrovanne_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = Electrovanne_stop,
    .start = Electrovanne_start,
    .init = Electrovanne_init,
    .status = Electrovanne_status,
    .execute = Electrovanne_execute,
    .piloter = Electrovanne_piloter,
};

// ---- panel callbacks ------------------------------------------------------------------------

// OK of P_INSTR (callback data: the private record): the switch becomes the state and the data
// byte at once, acquisition or not; then the panel goes.
int CB_Electrovanne_config_ok(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                              int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Electrovanne_prive *>(callbackData);
    if (p) EcrireEtat(*p, EtatDuSwitch(panel, P_INSTR_BS_SIDE));
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(CB_Electrovanne_config_ok);

// OK of P_PILOT (callback data: the private record): the switch becomes the state and the data
// byte; the panel stays.
int CB_Electrovanne_pilot_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                             int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Electrovanne_prive *>(callbackData)) EcrireEtat(*p, EtatDuSwitch(panel, P_PILOT_BS_SIDE));
    return 0;
}
UI_CALLBACK(CB_Electrovanne_pilot_OK);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(CB_Electrovanne_hide, CacherPanneau);
