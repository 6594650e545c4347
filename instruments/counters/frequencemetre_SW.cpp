// "Fréquencemètre Switché": HP 5313x behind an RF switch on the parallel port (see
// frequencemetre_SW.h).
#include "instruments/counters/frequencemetre_SW.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/counters/compteur_commun.h"
#include "instruments/switch_rf.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/UIR_frequencemetre_SW.h"

namespace {

const char kFichierUir[] = "UIR_frequencemetre_SW.uir";

// The settings block, stored raw in the settings files.
struct S_freq_sw {
    std::int32_t identificateur;  // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t bit_choisi;      // the switch line
    std::int32_t digits;
    std::int32_t impedance;
    std::int32_t filtre;
    std::int32_t couplage;
    std::int32_t attenuation;
    std::int32_t nombre_voie;
    std::int32_t stop_interruption;  // the callback's result: RQS while running, 0 after stop
    std::uint32_t numero_mesure[2];
    double zone_memoire[2];
    std::int32_t etat_switch;     // channel of the next reading: 0 line low, 1 line high
    char nom_instru[128];
    std::int32_t reserve_fin;
};
static_assert(sizeof(S_freq_sw) == 200, "settings block of 200 bytes");
static_assert(offsetof(S_freq_sw, identificateur) == 0);
static_assert(offsetof(S_freq_sw, adresse_gpib) == 4);
static_assert(offsetof(S_freq_sw, bit_choisi) == 8);
static_assert(offsetof(S_freq_sw, digits) == 12);
static_assert(offsetof(S_freq_sw, impedance) == 16);
static_assert(offsetof(S_freq_sw, filtre) == 20);
static_assert(offsetof(S_freq_sw, couplage) == 24);
static_assert(offsetof(S_freq_sw, attenuation) == 28);
static_assert(offsetof(S_freq_sw, nombre_voie) == 32);
static_assert(offsetof(S_freq_sw, stop_interruption) == 36);
static_assert(offsetof(S_freq_sw, numero_mesure) == 40);
static_assert(offsetof(S_freq_sw, zone_memoire) == 48);
static_assert(offsetof(S_freq_sw, etat_switch) == 64);
static_assert(offsetof(S_freq_sw, nom_instru) == 68);
static_assert(std::is_trivially_copyable_v<S_freq_sw>);

// What `structure` points to: what the acquisition runs with (compteur::Marche), then the block,
// then the switch that the callback moves.
struct FreqSw_prive : compteur::Marche {
    S_freq_sw bloc;
    switch_rf::Commutateur commutateur;

    static constexpr const char *kNomDefaut = "Fréquencemètre Switché"_w;
    static constexpr auto kChampNom = &S_freq_sw::nom_instru;
    void Defauts() {
        bloc.adresse_gpib = 3;
        bloc.bit_choisi = 4;
        compteur::DefautsFrequencemetre(bloc, 2);
    }
};
using Vie = plugin::Gestion<FreqSw_prive, freq_sw>;
using Voies = compteur::Voies<FreqSw_prive, 2>;

const compteur::ControlesEntrees kControles = COMPTEUR_CONTROLES_ENTREES(Conf_FrSw);

// ---- the switch line ----------------------------------------------------------------------------

// The line of the switch: the switch lines of `bit_choisi` only.
int Ligne(S_freq_sw &b) { return switch_rf::Lignes(compteur::Charger(b.bit_choisi)); }

// ---- the cycle ----------------------------------------------------------------------------------

// The service request of a completed measurement, or the time-out without one (reference data:
// the private record).
int CB_interruption_freq_switch(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (compteur::NotificationEnErreur(LocalIbsta)) return 0;
    auto *p = static_cast<FreqSw_prive *>(refData);
    S_freq_sw &b = p->bloc;
    const int masque = compteur::Masque(b.stop_interruption);
    // After a time-out, the line moves only once a completed measurement is found.
    const bool veille = compteur::SansRequete(LocalIbsta);
    if (veille && !compteur::Veiller(ud, masque, *p, b.zone_memoire)) return compteur::Masque(b.stop_interruption);
    // The reading fetched below was measured in position `etat`, which the line leaves now if it
    // can: otherwise the next measurement is made, and filed, in the same position.
    const int etat = b.etat_switch != 0 ? 1 : 0;
    const bool deplacee = p->commutateur.Deplacer(Ligne(b), etat == 0);
    if (!veille) compteur::Sonder(ud);
    compteur::Relever(ud, ibecr2, "FETCH:FREQ?", *p, b.zone_memoire[etat], b.numero_mesure[etat]);
    if (deplacee) b.etat_switch = etat == 0 ? 1 : 0;
    compteur::ViderEvenements(ud);
    Delay(0.01);  // the switch settles before the measurement it selects
    compteur::Relancer(ud, *p);
    return compteur::Masque(b.stop_interruption);
}

int initialisation_freq_switch_int(PInstrument *instrument) {
    FreqSw_prive *p = plugin::Prive<FreqSw_prive>(instrument);
    S_freq_sw &b = p->bloc;
    if (compteur::OuvrirFrequencemetre(*p, b, false) < 0) return -1;
    const int statut = compteur::ReglerParPilote(b.adresse_gpib, compteur::EntreesDe(b));
    // The first measurement, line low, is "Voie 1"; without the line there is none.
    if (!switch_rf::Commutateur::Initialiser(Ligne(b))) return -1;
    p->commutateur.Preparer(b.nom_instru);
    b.etat_switch = 0;
    compteur::Pret(b, p->ud);
    return statut;
}

int miseenplace_int_freq_switch(PInstrument *instrument) {
    FreqSw_prive *p = plugin::Prive<FreqSw_prive>(instrument);
    const compteur::Armement a{
        .validations = ibecr2, .sondage = false, .ecrire_mesure = ibecr, .mesure = ":INIT:IMM;*WAI;*OPC"};
    return compteur::Armer(p->ud, p->bloc.adresse_gpib, compteur::Masque(p->bloc.stop_interruption),
                           CB_interruption_freq_switch, p, a, p->activite);
}

// The cycle ends at the next request, which still moves the line, files its reading and
// relaunches once.
void freq_sw_stop(PInstrument *instrument) { compteur::Arreter(plugin::Prive<FreqSw_prive>(instrument)->bloc); }

// ---- management -------------------------------------------------------------------------

void freq_sw_configure(PInstrument *instrument) {
    compteur::Configurer(*plugin::Prive<FreqSw_prive>(instrument), kFichierUir, Conf_FrSw, Conf_FrSw_B_Conf_OK, kControles,
                         [](int panel, const S_freq_sw &b) { SetCtrlVal(panel, Conf_FrSw_RING_Conf_Sw_Freq, b.bit_choisi); });
}

}  // namespace

PInstrument freq_sw = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = freq_sw_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = freq_sw_stop,
    .start = miseenplace_int_freq_switch,
    .init = initialisation_freq_switch_int,
    .nb_voie_1D = Voies::nb_voie_1D,
    .get_nom_voie_1D = Voies::get_nom_voie_1D,
    .mesure_1D = Voies::mesure_1D,
    .numero_1D = Voies::numero_1D,
};

// ---- panel callback -----------------------------------------------------------------------------

// OK of Conf_FrSw (callback data: the private record): the address, the switch line (used from
// the next request on) and the input set-up (for the next init).
int FR_SW_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    return compteur::ConfirmerEntrees<FreqSw_prive>(panel, event, callbackData, kControles, 2, [panel](S_freq_sw &b) {
        int bit = 0;
        GetCtrlVal(panel, Conf_FrSw_RING_Conf_Sw_Freq, &bit);
        compteur::Ranger(b.bit_choisi, static_cast<std::int32_t>(bit));
    });
}
UI_CALLBACK(FR_SW_OK);
