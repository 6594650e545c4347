// "HP53131 - phase": HP 5313x measuring the phase between its inputs (see HP53131_phase.h).
#include "instruments/counters/HP53131_phase.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/counters/compteur_commun.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_HP53131_phase.h"

namespace {

const char kFichierUir[] = "UIR_HP53131_phase.uir";
constexpr std::int32_t kModeStat = 1;

// The settings block, stored raw in the settings files.
struct S_HP53131_phase {
    char nom_instrument[128];
    std::int32_t identificateur;     // descriptor opened by the last init
    std::int32_t stop_interruption;  // the callback's result: RQS while running, 0 after stop
    std::int32_t gpib_adresse;
    std::int32_t mode;               // 0 Phase, 1 Stat
    std::int32_t aver_coun;          // measurements per mean in mode Stat
};
static_assert(sizeof(S_HP53131_phase) == 148, "settings block of 148 bytes");
static_assert(offsetof(S_HP53131_phase, nom_instrument) == 0);
static_assert(offsetof(S_HP53131_phase, identificateur) == 128);
static_assert(offsetof(S_HP53131_phase, stop_interruption) == 132);
static_assert(offsetof(S_HP53131_phase, gpib_adresse) == 136);
static_assert(offsetof(S_HP53131_phase, mode) == 140);
static_assert(offsetof(S_HP53131_phase, aver_coun) == 144);
static_assert(std::is_trivially_copyable_v<S_HP53131_phase>);

// What `structure` points to: what the acquisition runs with (compteur::Marche), the block, its
// end marker, then the reading.
struct Phase_prive : compteur::Marche {
    S_HP53131_phase bloc;
    char dont_remove_me = 0;      // the settings block ends here
    std::uint32_t numero_mesure = 0;  // readings since start
    double zone_memoire = compteur::NaN();

    static constexpr const char *kNomDefaut = "HP53131 - phase";
    static constexpr auto kChampNom = &S_HP53131_phase::nom_instrument;
    void Defauts() {
        bloc.gpib_adresse = 1;
        bloc.mode = kModeStat;
        bloc.aver_coun = 50;
    }
};
using Vie = plugin::Gestion<Phase_prive, HP53131_phase>;

Phase_prive *Prive(PInstrument *instrument) { return plugin::Prive<Phase_prive>(instrument); }

// ---- the cycle ----------------------------------------------------------------------------------

// The service request of a completed measurement, or the time-out without one (reference data:
// the private record).
int CB_interruption_phase(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (compteur::NotificationEnErreur(LocalIbsta)) return 0;
    auto *p = static_cast<Phase_prive *>(refData);
    const int masque = compteur::Masque(p->bloc.stop_interruption);
    if (!compteur::Servir(ud, LocalIbsta, masque, *p, {&p->zone_memoire, 1}))
        return compteur::Masque(p->bloc.stop_interruption);
    const bool stat = compteur::Charger(p->bloc.mode) == kModeStat;
    // A reading that does not convert is missing, whatever the reply held.
    compteur::Relever(ud, ibecr, stat ? ":CALC3:DATA?" : ":FETC?", *p, p->zone_memoire, p->numero_mesure,
                      compteur::SansNombre::Manquante);
    compteur::ViderEvenements(ud);
    compteur::Relancer(ud, *p);
    return compteur::Masque(p->bloc.stop_interruption);
}

int HP53131_phase_init(PInstrument *instrument) {
    Phase_prive *p = Prive(instrument);
    S_HP53131_phase &b = p->bloc;
    const compteur::Ouverture o{.verifier_carte = true,
                                .sans_ecouteur = "Il faudrait penser à brancher l'appareil à l'adresse "_w};
    const int carte = compteur::Ouvrir(*p, TexteChamp(b.nom_instrument), b.gpib_adresse, o, {&p->zone_memoire, 1},
                                       {&p->numero_mesure, 1});
    if (carte < 0) return -1;
    const int ud = p->ud;
    // Both inputs alike, phase of input 2 behind input 1; the statuses are not examined.
    for (const char *commande :
         {":INIT:CONT OFF", ":FUNC \"PHASE\"", ":INP1:COUP AC", ":INP2:COUP AC", ":INP1:FILT ON", ":INP2:FILT ON",
          ":INP1:IMP 1000000", ":INP2:IMP 1000000", ":INP1:ATT 1", ":INP2:ATT 1", ":EVENT1:HYST:REL 100",
          ":EVENT2:HYST:REL 100", ":EVENT1:SLOP POS", ":EVENT2:SLOP POS", ":EVEN1:LEV:AUTO ON", ":EVEN2:LEV:AUTO ON",
          ":EVEN1:LEV:REL 50", ":EVEN2:LEV:REL 50", ":TRIG:COUN:AUTO ON"})
        ibecr(ud, commande);
    if (b.mode == kModeStat) {
        char compte[100];
        std::snprintf(compte, sizeof compte, ":CALC3:AVER:COUN %d", b.aver_coun);
        for (const char *commande : {":DISP:TEXT:FEED \"CALC3\"", static_cast<const char *>(compte),
                                     ":CALC3:AVER:TYPE MEAN", ":CALC3:LFIL:STAT OFF", ":CALC3:AVER:STAT ON"})
            ibecr(ud, commande);
    } else {
        ibecr(ud, ":CALC3:AVER:STAT OFF");
    }
    compteur::Pret(b, ud);
    return carte;
}

int HP53131_phase_start(PInstrument *instrument) {
    Phase_prive *p = Prive(instrument);
    compteur::Ranger(p->numero_mesure, 0u);
    const compteur::Armement a{
        .validations = ibecr2, .sondage = true, .ecrire_mesure = ibecr, .mesure = ":INIT:IMM;*OPC"};
    return compteur::Armer(p->ud, p->bloc.gpib_adresse, compteur::Masque(p->bloc.stop_interruption),
                           CB_interruption_phase, p, a, p->activite);
}

// The cycle ends at the next request, which still files its reading and relaunches once.
void HP53131_phase_stop(PInstrument *instrument) { compteur::Arreter(Prive(instrument)->bloc); }

// ---- management and channel -----------------------------------------------------------------

void HP53131_phase_configure(PInstrument *instrument) {
    Phase_prive *p = Prive(instrument);
    const int panel = compteur::ChargerConfiguration(kFichierUir, P_INSTR, P_INSTR_CB_OK, p, p->activite);
    if (panel < 0) return;
    SetCtrlVal(panel, P_INSTR_NM_GPIB_ADRSS, p->bloc.gpib_adresse);
    SetCtrlVal(panel, P_INSTR_RINGSLIDE, p->bloc.mode);
    SetCtrlVal(panel, P_INSTR_AVER_COUN, p->bloc.aver_coun);
    DisplayPanel(panel);
}

// The block is the record up to its end marker (flag 0).
void HP53131_phase_get_memory(PInstrument *instrument, void **p_strct, void **p_member, unsigned * /*size*/,
                              unsigned char *flag) {
    Phase_prive *p = Prive(instrument);
    *p_strct = &p->bloc;
    *p_member = &p->dont_remove_me;
    *flag = 0;
}

int HP53131_phase_nb_voie_1D(PInstrument * /*instrument*/) { return 1; }

void HP53131_phase_get_nom_voie_1D(PInstrument * /*instrument*/, int voie, char *nom_voie) {
    std::snprintf(nom_voie, kLongueurNomVoie, "%s", voie == 1 ? "Phase 1 to 2" : "Erreur");
}

double HP53131_phase_mesure_1D(PInstrument *instrument, int /*voie*/) {
    return compteur::Charger(Prive(instrument)->zone_memoire);
}

unsigned HP53131_phase_numero_1D(PInstrument *instrument, int /*voie*/) {
    return compteur::Charger(Prive(instrument)->numero_mesure);
}

}  // namespace

PInstrument HP53131_phase = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = HP53131_phase_configure,
    .get_memory = HP53131_phase_get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = HP53131_phase_stop,
    .start = HP53131_phase_start,
    .init = HP53131_phase_init,
    .nb_voie_1D = HP53131_phase_nb_voie_1D,
    .get_nom_voie_1D = HP53131_phase_get_nom_voie_1D,
    .mesure_1D = HP53131_phase_mesure_1D,
    .numero_1D = HP53131_phase_numero_1D,
};

// ---- panel callback -----------------------------------------------------------------------------

// OK of P_INSTR (callback data: the private record): the averaging count and the address (for
// the next init) and the mode (whose query the next completion already uses).
int CB_HP53131_phase_config_ok(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                               int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Phase_prive *>(callbackData);
    if (p == nullptr) return 0;
    int mode = kModeStat;
    GetCtrlVal(panel, P_INSTR_AVER_COUN, &p->bloc.aver_coun);
    GetCtrlVal(panel, P_INSTR_RINGSLIDE, &mode);
    compteur::Ranger(p->bloc.mode, static_cast<std::int32_t>(mode));
    GetCtrlVal(panel, P_INSTR_NM_GPIB_ADRSS, &p->bloc.gpib_adresse);
    compteur::FermerPanneau(panel, p->activite);
    return 0;
}
UI_CALLBACK(CB_HP53131_phase_config_ok);
