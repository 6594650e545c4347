// "Powermeter": E4419B dual power meter, one channel per sensor in use (see powermeter.h).
#include "instruments/meters/powermeter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "instruments/meters/power_commun.h"
#include "platform/gpib.h"
#include "platform/ui.h"
#include "uir/UIR_power.h"

namespace {

const char kFichierUir[] = "UIR_power.uir";

// The settings block, stored raw in the settings files.
struct S_power_simple {
    std::int32_t identificateur;            // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t capteur;                   // 2: A, 4: B, 6: A and B
    std::int32_t frequence_fonctionnement;  // MHz
    std::int32_t stop_interruption;
    std::int32_t nombre_voie;
    std::uint32_t numero_mesure[2];
    double zone_memoire[2];
    char nom_instru[128];
};
static_assert(sizeof(S_power_simple) == 176, "settings block of 176 bytes");
static_assert(offsetof(S_power_simple, identificateur) == 0);
static_assert(offsetof(S_power_simple, adresse_gpib) == 4);
static_assert(offsetof(S_power_simple, capteur) == 8);
static_assert(offsetof(S_power_simple, frequence_fonctionnement) == 12);
static_assert(offsetof(S_power_simple, stop_interruption) == 16);
static_assert(offsetof(S_power_simple, nombre_voie) == 20);
static_assert(offsetof(S_power_simple, numero_mesure) == 24);
static_assert(offsetof(S_power_simple, zone_memoire) == 32);
static_assert(offsetof(S_power_simple, nom_instru) == 48);
static_assert(std::is_trivially_copyable_v<S_power_simple>);

// What `structure` points to: the block, then what the acquisition runs with and shares with
// the notification callback.
struct Power_prive {
    S_power_simple bloc;

    e4419b::Seance seance;
    e4419b::Lecture lectures[2];  // window 1 (sensor A), window 2 (sensor B)
    plugin::Activite activite;

    // Channels: 2 with both sensors, 1 with one, none for a value that is no choice (a damaged
    // settings file); "Voie A" reads window 1, "Voie B" window 2.
    static int NombreVoies(int capteur) {
        if (capteur == e4419b::kCapteursAB) return 2;
        return e4419b::CapteurValide(capteur) ? 1 : 0;
    }
    static int Emplacement(int capteur, int voie) { return capteur == e4419b::kCapteurB ? 1 : voie - 1; }
    static void NomVoie(int capteur, int voie, char *nom_voie) {
        const char *nom = Emplacement(capteur, voie) == 0 ? "Voie A" : "Voie B";
        std::memcpy(nom_voie, nom, std::strlen(nom) + 1);
    }

    static constexpr const char *kNomDefaut = "Powermeter";
    static constexpr auto kChampNom = &S_power_simple::nom_instru;
    void Defauts() {
        bloc.adresse_gpib = 7;
        bloc.frequence_fonctionnement = 110;
        bloc.capteur = e4419b::kCapteurA;
        bloc.nombre_voie = NombreVoies(bloc.capteur);
    }
    void AuLiberer() { seance.Fermer(activite); }
};
using Vie = plugin::Gestion<Power_prive, power_simple>;
using Voies = e4419b::Voies<Power_prive>;

// ---- management -------------------------------------------------------------------------

constexpr e4419b::ControlesConfiguration kControles = {
    Conf_Pow_NUM_Conf_Adr_Power, Conf_Pow_RING_Conf_Capt_Power, Conf_Pow_NUM_Conf_Freq_Fct_Pow, Conf_Pow_OK_POWER};

void power_simple_configure(PInstrument *instrument) {
    Power_prive *p = plugin::Prive<Power_prive>(instrument);
    const int panel = e4419b::ChargerConfiguration(kFichierUir, Conf_Pow, kControles, p->bloc, p, p->activite);
    if (panel >= 0) DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int CB_interruption_powermeter_AB(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/,
                                  void *refData) {
    auto *p = static_cast<Power_prive *>(refData);
    int resultat = 0;
    if (!e4419b::MesureTerminee(ud, LocalIbsta, p->seance, p->lectures, &resultat)) return resultat;
    e4419b::LireEtRelancer(ud, p->seance, p->lectures[0], p->lectures[1]);
    return p->seance.Masque();
}

int initialisation_powermeter_AB_int(PInstrument *instrument) {
    Power_prive *p = plugin::Prive<Power_prive>(instrument);
    S_power_simple &b = p->bloc;
    // An address the board refuses leaves no descriptor: the listener check below reports it.
    const int ud = e4419b::Ouvrir(*p);
    if (!e4419b::VerifierEcouteur(ud, b.adresse_gpib)) return -1;
    if (!e4419b::VerifierIdentite(ud)) return -1;
    const int capteur = b.capteur;
    if (!e4419b::VerifierCapteurs(ud, capteur)) return -1;
    const int statut = e4419b::ConfigurerFenetres(ud, b.frequence_fonctionnement);
    if (statut < 0) return -1;
    return e4419b::Conclure(*p, capteur, statut);
}

int power_simple_start(PInstrument *instrument) {
    Power_prive *p = plugin::Prive<Power_prive>(instrument);
    return e4419b::DemarrerCycle(p->seance.ud, p->bloc.adresse_gpib, p->seance.Masque(), CB_interruption_powermeter_AB,
                                 p, p->activite);
}

void power_simple_stop(PInstrument *instrument) {
    Power_prive *p = plugin::Prive<Power_prive>(instrument);
    p->seance.Arreter(p->bloc.stop_interruption);
}

}  // namespace

PInstrument power_simple = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = power_simple_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = power_simple_stop,
    .start = power_simple_start,
    .init = initialisation_powermeter_AB_int,
    .nb_voie_1D = Voies::nb_voie_1D,
    .get_nom_voie_1D = Voies::get_nom_voie_1D,
    .mesure_1D = Voies::mesure_1D,
    .numero_1D = Voies::numero_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of Conf_Pow (callback data: the private record): stores the address, the sensors, the
// channel count and the frequency, then closes the panel.
int Power_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
             int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<Power_prive *>(callbackData);
    if (p != nullptr) e4419b::LireConfiguration(panel, kControles, Power_prive::NombreVoies, p->bloc);
    e4419b::FermerConfiguration(panel, p != nullptr ? &p->activite : nullptr);
    return 0;
}
UI_CALLBACK(Power_OK);
