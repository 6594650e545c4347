// "Fréquencemètre 2 Voies": HP 5313x measuring input 1 and input 2 in turn, with a watchdog (see
// freq2voies.h).
#include "instruments/counters/freq2voies.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/counters/compteur_commun.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_freq2voies.h"

namespace {

const char kFichierUir[] = "UIR_freq2voies.uir";
constexpr int kTimeoutWatchdog = T1s;  // the watchdog's exchange, on the user-interface thread

// The settings block, stored raw in the settings files.
struct S_freq2v {
    std::int32_t identificateur;   // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t digits;
    std::int32_t impedance;
    std::int32_t filtre;
    std::int32_t couplage;
    std::int32_t attenuation;
    std::int32_t stop_interruption;  // the callback's result: RQS while running, 0 after stop
    std::int32_t lock_interruption;
    std::uint32_t numero_mesure[2];
    std::int32_t nombre_voie;
    double zone_memoire[2];
    std::int32_t etat_voie;        // input being measured: 0 = input 1, 1 = input 2
    char nom_instru[128];
    std::int32_t watchdog;         // ticks since the last reading
    std::int32_t panel_wdog;
    std::int32_t reserve_alignement;
    double delay_wdog;             // seconds
};
static_assert(sizeof(S_freq2v) == 216, "settings block of 216 bytes");
static_assert(offsetof(S_freq2v, identificateur) == 0);
static_assert(offsetof(S_freq2v, adresse_gpib) == 4);
static_assert(offsetof(S_freq2v, digits) == 8);
static_assert(offsetof(S_freq2v, impedance) == 12);
static_assert(offsetof(S_freq2v, filtre) == 16);
static_assert(offsetof(S_freq2v, couplage) == 20);
static_assert(offsetof(S_freq2v, attenuation) == 24);
static_assert(offsetof(S_freq2v, stop_interruption) == 28);
static_assert(offsetof(S_freq2v, lock_interruption) == 32);
static_assert(offsetof(S_freq2v, numero_mesure) == 36);
static_assert(offsetof(S_freq2v, nombre_voie) == 44);
static_assert(offsetof(S_freq2v, zone_memoire) == 48);
static_assert(offsetof(S_freq2v, etat_voie) == 64);
static_assert(offsetof(S_freq2v, nom_instru) == 68);
static_assert(offsetof(S_freq2v, watchdog) == 196);
static_assert(offsetof(S_freq2v, panel_wdog) == 200);
static_assert(offsetof(S_freq2v, delay_wdog) == 208);
static_assert(std::is_trivially_copyable_v<S_freq2v>);

// What `structure` points to: what the acquisition runs with (compteur::Marche), the block, then
// the watchdog and the lock.
struct Freq2v_prive : compteur::Marche {
    S_freq2v bloc;

    int verrou = 0;       // the device lock, shared by the callback and the watchdog
    int panel_wdog = -1;  // the watchdog panel that start loaded

    static constexpr const char *kNomDefaut = "Fréquencemètre 2 voies"_w;
    static constexpr auto kChampNom = &S_freq2v::nom_instru;
    void Defauts() {
        bloc.adresse_gpib = 3;
        bloc.delay_wdog = 3.0;
        compteur::DefautsFrequencemetre(bloc, 2);
    }
};
using Vie = plugin::Gestion<Freq2v_prive, freq2v>;
using Voies = compteur::Voies<Freq2v_prive, 2>;

Freq2v_prive *Prive(PInstrument *instrument) { return plugin::Prive<Freq2v_prive>(instrument); }

const compteur::ControlesEntrees kControles = COMPTEUR_CONTROLES_ENTREES(P_Conf_F_2);

// ---- the device lock --------------------------------------------------------------------------

// Holds the device lock for its lifetime: waiting for it, or only when it is free. Without the
// core's lock service (no lock), there is nothing to hold and the holder goes on.
class Verrou {
public:
    enum class Mode { Attendre, Essayer };
    Verrou(int verrou, Mode mode) {
        if (verrou <= 0) return;
        int obtenu = 0;
        if (mode == Mode::Attendre) obtenu = CmtGetLock(verrou) == 0 ? 1 : 0;
        else if (CmtTryToGetLock(verrou, &obtenu) < 0) obtenu = 0;
        if (obtenu == 1) verrou_ = verrou;
        else tenu_ = false;
    }
    ~Verrou() {
        if (verrou_ > 0) CmtReleaseLock(verrou_);
    }
    Verrou(const Verrou &) = delete;
    Verrou &operator=(const Verrou &) = delete;
    bool Tenu() const { return tenu_; }

private:
    int verrou_ = 0;
    bool tenu_ = true;
};

// ---- the cycle ----------------------------------------------------------------------------------

// The other input: 0 becomes 1, anything else 0.
int Autre(int etat_voie) { return etat_voie == 0 ? 1 : 0; }

// The counter to the input `etat_voie` names. False when the counter refused the command.
bool ChoisirEntree(int ud, int etat_voie) {
    char commande[32];
    std::snprintf(commande, sizeof commande, ":FUNC 'FREQ %d'", etat_voie + 1);
    return (ibecr(ud, commande) & ERR) == 0;
}

void ArreterWatchdog(Freq2v_prive *p) {
    if (p->panel_wdog < 0) return;
    compteur::FermerPanneau(p->panel_wdog, p->activite);
    p->panel_wdog = -1;
}

// The service request of a completed measurement, or the time-out without one (reference data:
// the instance).
int CB_interruption_freq_2voies(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (compteur::NotificationEnErreur(LocalIbsta)) return 0;
    Freq2v_prive *p = Prive(static_cast<PInstrument *>(refData));
    S_freq2v &b = p->bloc;
    const int masque = compteur::Masque(b.stop_interruption);
    const Verrou verrou(p->verrou, Verrou::Mode::Attendre);
    if (!compteur::Servir(ud, LocalIbsta, masque, *p, b.zone_memoire)) return compteur::Masque(b.stop_interruption);
    // The reading belongs to the input measured so far; the next one is the other.
    b.etat_voie = Autre(b.etat_voie);
    const int k = 1 - b.etat_voie;
    b.watchdog = 0;
    compteur::Relever(ud, ibecr, "FETCH:FREQ?", *p, b.zone_memoire[k], b.numero_mesure[k]);
    Delay(0.5);
    ChoisirEntree(ud, b.etat_voie);
    if ((ibecr(ud, "*IDN?") & ERR) == 0) {
        char identite[250];
        ibrd(ud, identite, sizeof identite);
    }
    compteur::ViderEvenements(ud);
    compteur::Sonder(ud);
    compteur::Relancer(ud, *p);
    return compteur::Masque(b.stop_interruption);
}

int initialisation_freq_2voies_int(PInstrument *instrument) {
    Freq2v_prive *p = Prive(instrument);
    S_freq2v &b = p->bloc;
    // Nothing of an earlier run goes on: its watchdog stops here, its notification below.
    ArreterWatchdog(p);
    const int carte = compteur::OuvrirFrequencemetre(*p, b, true);
    b.watchdog = 0;
    b.etat_voie = 0;  // the set-up selects input 1
    if (carte < 0) return -1;
    const int statut = compteur::ReglerParPilote(b.adresse_gpib, compteur::EntreesDe(b));
    char nom[32];
    std::snprintf(nom, sizeof nom, "GPIB0:%i", b.adresse_gpib);
    p->verrou = instrument->gestion_lock != nullptr ? instrument->gestion_lock(nom) : 0;
    compteur::Pret(b, p->ud);
    return statut;
}

int miseenplace_int_freq_2voies(PInstrument *instrument) {
    Freq2v_prive *p = Prive(instrument);
    S_freq2v &b = p->bloc;
    ArreterWatchdog(p);
    // The watchdog ticks from now on; without its panel the cycle runs without it.
    const int panel = LoadPanel(0, kFichierUir, P_WD);
    if (panel >= 0) {
        SetCtrlAttribute(panel, P_WD_TIMER, ATTR_CALLBACK_DATA, static_cast<void *>(instrument));
        p->activite.panneaux.Ajouter(panel);
        p->panel_wdog = panel;
        b.panel_wdog = panel;
    }
    const compteur::Armement a{
        .validations = ibecr, .sondage = false, .ecrire_mesure = ibecr, .mesure = ":INIT:IMM;*WAI;*OPC"};
    return compteur::Armer(p->ud, b.adresse_gpib, compteur::Masque(b.stop_interruption), CB_interruption_freq_2voies,
                           instrument, a, p->activite);
}

// The cycle ends at the next request, which still files its reading and relaunches once.
void freq2v_stop(PInstrument *instrument) {
    Freq2v_prive *p = Prive(instrument);
    if (compteur::Arreter(p->bloc)) ArreterWatchdog(p);
}

// ---- management -------------------------------------------------------------------------

void freq2v_configure(PInstrument *instrument) {
    compteur::Configurer(*Prive(instrument), kFichierUir, P_Conf_F_2, P_Conf_F_2_Conf_OK2V, kControles,
                         [](int panel, const S_freq2v &b) { SetCtrlVal(panel, P_Conf_F_2_NUM_WD_Delay, b.delay_wdog); });
}

}  // namespace

PInstrument freq2v = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = freq2v_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = freq2v_stop,
    .start = miseenplace_int_freq_2voies,
    .init = initialisation_freq_2voies_int,
    .nb_voie_1D = Voies::nb_voie_1D,
    .get_nom_voie_1D = Voies::get_nom_voie_1D,
    .mesure_1D = Voies::mesure_1D,
    .numero_1D = Voies::numero_1D,
};

// ---- panel callbacks --------------------------------------------------------------------------

// OK of P_Conf_F_2 (callback data: the private record): the address, the input set-up and the
// watchdog delay, which the next tick already uses.
int Conf_F2V_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    return compteur::ConfirmerEntrees<Freq2v_prive>(panel, event, callbackData, kControles, 2, [panel](S_freq2v &b) {
        GetCtrlVal(panel, P_Conf_F_2_NUM_WD_Delay, &b.delay_wdog);
    });
}
UI_CALLBACK(Conf_F2V_OK);

// Tick of the watchdog (callback data: the instance). After more than `delay_wdog` seconds
// (truncated) without a reading, the counter is switched to the other input and relaunched. A
// tick that finds the callback at work skips: the callback restarts the count anyway.
int CB_freq2voies_watchdog(int /*panel*/, int /*control*/, int event, void *callbackData, int /*eventData1*/,
                           int /*eventData2*/) {
    if (event != EVENT_TIMER_TICK || callbackData == nullptr) return 0;
    Freq2v_prive *p = Prive(static_cast<PInstrument *>(callbackData));
    S_freq2v &b = p->bloc;
    const Verrou verrou(p->verrou, Verrou::Mode::Essayer);
    if (!verrou.Tenu()) return 0;
    ++b.watchdog;
    if (!(static_cast<double>(b.watchdog) > std::trunc(b.delay_wdog))) return 0;
    b.watchdog = 0;
    b.etat_voie = Autre(b.etat_voie);
    const int ud = p->ud;
    ibtmo(ud, kTimeoutWatchdog);
    if (ChoisirEntree(ud, b.etat_voie)) {
        compteur::ViderEvenements(ud);
        compteur::Sonder(ud);
        compteur::Relancer(ud, *p);
    } else {
        compteur::Injoignable(*p, b.zone_memoire);
    }
    ibtmo(ud, T10s);
    return 0;
}
UI_CALLBACK(CB_freq2voies_watchdog);
