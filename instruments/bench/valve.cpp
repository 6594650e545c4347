// "Valve EFD": timed pulses on line D0 of the parallel port (see valve.h).
#include "instruments/bench/valve.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "framework/champs.h"
#include "framework/liste.h"  // Lock_port_parallele
#include "framework/plugin.h"
#include "instruments/bench/pilotage.h"
#include "platform/parport.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_valve.h"

namespace {

const char kFichierUir[] = "UIR_valve.uir";

// The valve's line of the data register.
constexpr int kLigneValve = 0x01;

// The settings block, stored raw in the settings files.
struct S_pilote_valve {
    char nom_pilot[128];           // terminated, at most 39 characters
    double duree;                  // seconds
    std::int32_t panel_pilotage;   // the manual panel of the run that saved: never read back
};
static_assert(sizeof(S_pilote_valve) == 144, "settings block of 144 bytes");
static_assert(offsetof(S_pilote_valve, nom_pilot) == 0);
static_assert(offsetof(S_pilote_valve, duree) == 128);
static_assert(offsetof(S_pilote_valve, panel_pilotage) == 136);
static_assert(std::is_trivially_copyable_v<S_pilote_valve>);

// What `structure` points to: the block, then the panels of this run.
struct Valve_prive {
    S_pilote_valve bloc;

    int panneau_pilotage = 0;   // P_PILOT of this run: 0 not loaded yet, negative: its load failed
    plugin::Activite activite;  // P_PILOT and the configuration panels still open

    static constexpr const char *kNomDefaut = "Valve EFD";
    static constexpr auto kChampNom = &S_pilote_valve::nom_pilot;
    void Defauts() { bloc.duree = 0.1; }
};
using Vie = plugin::Gestion<Valve_prive, pilote_valve>;

Valve_prive *Prive(PInstrument *instrument) { return plugin::Prive<Valve_prive>(instrument); }

// ---- the pulse --------------------------------------------------------------------------------
// One pulse for the whole program, whichever pulse valve started it; it belongs to no instance,
// so that deleting the instrument never cuts it short. Touched by the user-interface thread only.

struct Impulsion {
    bool en_cours = false;    // from the start of a pulse to its end; `status` answers its negation
    int verrou = 0;           // the port lock taken for the pulse
    unsigned char octet = 0;  // the data byte last written by the pulse
};
Impulsion impulsion;

// The end of the pulse: D0 low, the other lines as they are now (another plugin may have
// written them during the pulse), then the port lock released.
void FinImpulsion() {
    impulsion.octet = static_cast<unsigned char>(CVI_inp(kPortParallele) & ~kLigneValve);
    CVI_outp(kPortParallele, impulsion.octet);
    CmtReleaseLock(impulsion.verrou);
    impulsion.verrou = 0;
    impulsion.en_cours = false;
}

void CB_pschit_delayed(void * /*callbackData*/) {
    if (impulsion.en_cours) FinImpulsion();
}

// The program ends during a pulse (its delayed call will never run): the valve is closed on the
// way out.
void FermerValveEnSortant() {
    if (impulsion.en_cours) FinImpulsion();
}

// Opens the valve for `duree` seconds. A request during a pulse is dropped, as is one made when
// the port lock is gone (the program is ending).
void envoyer_pschit(double duree) {
    if (impulsion.en_cours) return;
    const int verrou = Lock_port_parallele;
    if (CmtGetLock(verrou) < 0) return;
    impulsion.en_cours = true;
    impulsion.verrou = verrou;
    impulsion.octet = static_cast<unsigned char>((CVI_inp(kPortParallele) & 0xFF) | kLigneValve);
    CVI_outp(kPortParallele, impulsion.octet);
    // Registered once the port is in use, so that it runs before the port goes at exit.
    [[maybe_unused]] static const bool fermeture_prevue = std::atexit(FermerValveEnSortant) == 0;
    // A pulse whose end cannot be scheduled would stay open: it ends at once.
    if (PostDelayedCall(CB_pschit_delayed, &impulsion, duree) < 0) FinImpulsion();
}

// ---- management -------------------------------------------------------------------------

void pilote_valve_configure(PInstrument *instrument) {
    Valve_prive *p = Prive(instrument);
    const int panel = banc::ChargerConfiguration(p->activite, kFichierUir, P_config, P_config_BUTTON_OK, p);
    if (panel > 0) DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

// Loads the manual panel at the first call (showing the instance's duration); the port is not
// touched.
int pilote_valve_init(PInstrument *instrument) {
    Valve_prive *p = Prive(instrument);
    const bool charge = p->panneau_pilotage != 0;
    if (!banc::ChargerPilotage(p->panneau_pilotage, p->bloc.panel_pilotage, p->activite, kFichierUir, P_PILOT))
        return -1;
    if (const int panel = p->panneau_pilotage; panel > 0) {
        if (!charge) SetCtrlVal(panel, P_PILOT_NUMERIC, p->bloc.duree);
        SetCtrlAttribute(panel, P_PILOT_NUMERIC, ATTR_CALLBACK_DATA, static_cast<void *>(p));
        SetCtrlAttribute(panel, P_PILOT_COMMANDBUTTON_2, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    }
    return 0;
}

int pilote_valve_status(PInstrument * /*instrument*/) { return impulsion.en_cours ? 0 : 1; }

// "pschit" (exactly): one pulse of the instance's duration; "duree=<seconds>": the duration,
// shown in the manual panel too. Anything else is ignored.
void pilote_valve_execute(PInstrument *instrument, const char *chaine) {
    Valve_prive *p = Prive(instrument);
    if (std::strcmp(chaine, "pschit") == 0) {
        envoyer_pschit(p->bloc.duree);
        return;
    }
    double duree = 0.0;
    if (std::sscanf(chaine, "duree=%lf", &duree) == 1) {
        p->bloc.duree = duree;
        if (p->panneau_pilotage > 0) SetCtrlVal(p->panneau_pilotage, P_PILOT_NUMERIC, duree);
    }
}

void pilote_valve_piloter(PInstrument *instrument) {
    if (const int panel = Prive(instrument)->panneau_pilotage; panel > 0) DisplayPanel(panel);
}

}  // namespace

PInstrument pilote_valve = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = pilote_valve_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .init = pilote_valve_init,
    .status = pilote_valve_status,
    .execute = pilote_valve_execute,
    .piloter = pilote_valve_piloter,
};

// ---- panel callbacks ------------------------------------------------------------------------

// OK of P_config (callback data: the private record): the panel holds no setting and goes.
int OK_config_valve(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                    int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Valve_prive *>(callbackData);
    banc::FermerConfiguration(p ? &p->activite : nullptr, panel);
    return 0;
}
UI_CALLBACK(OK_config_valve);

// "Cacher" of P_PILOT: the panel is hidden and stays loaded.
UI_CALLBACK_AS(Cacher_Pilotage_Valve, CacherPanneau);

// "Pschit" of P_PILOT (callback data: the private record): the duration shown becomes the
// instance's, then a pulse of it (none when one is running).
int Pschit_valve(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Valve_prive *>(callbackData)) {
        GetCtrlVal(panel, P_PILOT_NUMERIC, &p->bloc.duree);
        envoyer_pschit(p->bloc.duree);
    }
    return 0;
}
UI_CALLBACK(Pschit_valve);

// The duration of P_PILOT (callback data: the private record) becomes the instance's.
int duree_valve(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Valve_prive *>(callbackData)) GetCtrlVal(panel, P_PILOT_NUMERIC, &p->bloc.duree);
    return 0;
}
UI_CALLBACK(duree_valve);
