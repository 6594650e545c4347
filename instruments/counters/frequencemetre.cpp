// "Fréquencemètre": HP 5313x measuring input 1 (see frequencemetre.h).
#include "instruments/counters/frequencemetre.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/counters/compteur_commun.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_frequencemetre.h"

namespace {

const char kFichierUir[] = "UIR_frequencemetre.uir";
constexpr int kEssaisLecture = 3;  // reads of one fetch before the reading counts as missing

// The settings block, stored raw in the settings files.
struct S_freq {
    std::int32_t identificateur;  // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t digits;
    std::int32_t impedance;
    std::int32_t filtre;
    std::int32_t couplage;
    std::int32_t attenuation;
    std::int32_t stop_interruption;  // the callback's result: RQS while running, 0 after stop
    std::uint32_t numero_mesure[1];
    std::int32_t nombre_voie;
    double zone_memoire[1];
    char nom_instru[128];
};
static_assert(sizeof(S_freq) == 176, "settings block of 176 bytes");
static_assert(offsetof(S_freq, identificateur) == 0);
static_assert(offsetof(S_freq, adresse_gpib) == 4);
static_assert(offsetof(S_freq, digits) == 8);
static_assert(offsetof(S_freq, impedance) == 12);
static_assert(offsetof(S_freq, filtre) == 16);
static_assert(offsetof(S_freq, couplage) == 20);
static_assert(offsetof(S_freq, attenuation) == 24);
static_assert(offsetof(S_freq, stop_interruption) == 28);
static_assert(offsetof(S_freq, numero_mesure) == 32);
static_assert(offsetof(S_freq, nombre_voie) == 36);
static_assert(offsetof(S_freq, zone_memoire) == 40);
static_assert(offsetof(S_freq, nom_instru) == 48);
static_assert(std::is_trivially_copyable_v<S_freq>);

// What `structure` points to: what the acquisition runs with (compteur::Marche), then the block.
struct Freq_prive : compteur::Marche {
    S_freq bloc;

    static constexpr const char *kNomDefaut = "Fréquencemètre"_w;
    static constexpr auto kChampNom = &S_freq::nom_instru;
    void Defauts() {
        bloc.adresse_gpib = 4;
        compteur::DefautsFrequencemetre(bloc, 1);
    }
};
using Vie = plugin::Gestion<Freq_prive, freq>;
using Voies = compteur::Voies<Freq_prive, 1>;

const compteur::ControlesEntrees kControles = COMPTEUR_CONTROLES_ENTREES(Conf_Fr);

// ---- the cycle ----------------------------------------------------------------------------------

// The service request of a completed measurement, or the time-out without one (reference data:
// the private record).
int CB_interruption_freq_1voie(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (compteur::NotificationEnErreur(LocalIbsta)) return 0;
    auto *p = static_cast<Freq_prive *>(refData);
    S_freq &b = p->bloc;
    const int masque = compteur::Masque(b.stop_interruption);
    if (!compteur::Servir(ud, LocalIbsta, masque, *p, b.zone_memoire)) return compteur::Masque(b.stop_interruption);
    compteur::Lecture lecture;
    bool lue = false;
    int essais = 0;
    while (!lue && essais < kEssaisLecture) {
        lecture = compteur::Interroger(ud, ibecr, "FETCH:FREQ?", &lue);
        ++essais;
    }
    if (essais > 1) {
        // The enable register written anew after the repeated query.
        ibecr(ud, "*ESE 0");
        ibecr(ud, "*ESE 1");
    }
    compteur::Classer(*p, b.zone_memoire[0], b.numero_mesure[0], lue ? lecture : compteur::Lecture{}, lue);
    compteur::ViderEvenements(ud);
    compteur::Relancer(ud, *p);
    return compteur::Masque(b.stop_interruption);
}

int initialisation_freq_1voie_int(PInstrument *instrument) {
    Freq_prive *p = plugin::Prive<Freq_prive>(instrument);
    S_freq &b = p->bloc;
    if (compteur::OuvrirFrequencemetre(*p, b, true) < 0) return -1;
    const int statut = compteur::ReglerParPilote(b.adresse_gpib, compteur::EntreesDe(b));
    compteur::Pret(b, p->ud);
    return statut;
}

int miseenplace_int_freq_1voie(PInstrument *instrument) {
    Freq_prive *p = plugin::Prive<Freq_prive>(instrument);
    const compteur::Armement a{
        .validations = ibecr2, .sondage = true, .ecrire_mesure = ibecr2, .mesure = ":INIT:IMM;*OPC"};
    return compteur::Armer(p->ud, p->bloc.adresse_gpib, compteur::Masque(p->bloc.stop_interruption),
                           CB_interruption_freq_1voie, p, a, p->activite);
}

// The cycle ends at the next request, which still files its reading and relaunches once.
void freq_stop(PInstrument *instrument) { compteur::Arreter(plugin::Prive<Freq_prive>(instrument)->bloc); }

// ---- management and channel -----------------------------------------------------------------

void freq_configure(PInstrument *instrument) {
    compteur::Configurer(*plugin::Prive<Freq_prive>(instrument), kFichierUir, Conf_Fr, Conf_Fr_B_Conf_OK, kControles,
                         [](int, const S_freq &) {});
}

void freq_get_nom_voie_1D(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::memcpy(nom_voie, "Voie 1", sizeof "Voie 1");
}

}  // namespace

PInstrument freq = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = freq_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = freq_stop,
    .start = miseenplace_int_freq_1voie,
    .init = initialisation_freq_1voie_int,
    .nb_voie_1D = Voies::nb_voie_1D,
    .get_nom_voie_1D = freq_get_nom_voie_1D,
    .mesure_1D = Voies::mesure_1D,
    .numero_1D = Voies::numero_1D,
};

// ---- panel callback -----------------------------------------------------------------------------

// OK of Conf_Fr (callback data: the private record): the address and the input set-up, for the
// next init.
int FR_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    return compteur::ConfirmerEntrees<Freq_prive>(panel, event, callbackData, kControles, 1, [](S_freq &) {});
}
UI_CALLBACK(FR_OK);
