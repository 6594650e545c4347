// "Powermeter Switché": E4419B power meter with RF switches on the parallel port (see
// powswitch.h).
#include "instruments/meters/powswitch.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "instruments/meters/power_commun.h"
#include "instruments/switch_rf.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "uir/UIR_power_SW.h"

namespace {

const char kFichierUir[] = "UIR_power_SW.uir";

// The switches SW1, SW2, SW3: lines D2, D3 and D4 of the data register.
constexpr int kSwitches[] = {4, 8, 16};

// The settings block, stored raw in the settings files.
struct S_power_switch {
    std::int32_t identificateur;            // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t bit_choisi;                // switch lines
    std::int32_t capteur;                   // 2: A, 4: B, 6: A and B
    std::int32_t frequence_fonctionnement;  // MHz
    std::int32_t stop_interruption;
    std::int32_t nombre_voie;
    std::uint32_t numero_mesure[4];
    std::int32_t reserve_alignement;
    double zone_memoire[4];
    std::int32_t etat_switch;               // 0: RF1, 1: RF2
    char nom_instru[128];
    std::int32_t reserve_fin;
};
static_assert(sizeof(S_power_switch) == 216, "settings block of 216 bytes");
static_assert(offsetof(S_power_switch, identificateur) == 0);
static_assert(offsetof(S_power_switch, adresse_gpib) == 4);
static_assert(offsetof(S_power_switch, bit_choisi) == 8);
static_assert(offsetof(S_power_switch, capteur) == 12);
static_assert(offsetof(S_power_switch, frequence_fonctionnement) == 16);
static_assert(offsetof(S_power_switch, stop_interruption) == 20);
static_assert(offsetof(S_power_switch, nombre_voie) == 24);
static_assert(offsetof(S_power_switch, numero_mesure) == 28);
static_assert(offsetof(S_power_switch, zone_memoire) == 48);
static_assert(offsetof(S_power_switch, etat_switch) == 80);
static_assert(offsetof(S_power_switch, nom_instru) == 84);
static_assert(std::is_trivially_copyable_v<S_power_switch>);

// What `structure` points to: the block, what the acquisition runs with, then what the
// notification callback shares with the user-interface thread.
struct PowSw_prive {
    S_power_switch bloc;

    e4419b::Seance seance;
    int lignes = 0;                  // switch lines taken at init (D2..D4 only)
    e4419b::Lecture lectures[4];     // slots: A RF1, A RF2, B RF1, B RF2
    int etat_switch = 0;             // path being measured (the callback's, once started)
    switch_rf::Commutateur commutateur;
    plugin::Activite activite;

    // Channels: 4 with both sensors, 2 with one, none for a value that is no choice (a damaged
    // settings file); each sensor in use gives its path RF1, then its path RF2.
    static int NombreVoies(int capteur) {
        if (capteur == e4419b::kCapteursAB) return 4;
        return e4419b::CapteurValide(capteur) ? 2 : 0;
    }
    static int Emplacement(int capteur, int voie) { return capteur == e4419b::kCapteurB ? voie + 1 : voie - 1; }
    static void NomVoie(int capteur, int voie, char *nom_voie) {
        const bool sonde_b = capteur == e4419b::kCapteurB || (capteur == e4419b::kCapteursAB && voie > 2);
        std::snprintf(nom_voie, kLongueurNomVoie, sonde_b ? "Voie B RF%i" : "Voie A RF%i", voie > 2 ? voie - 2 : voie);
    }

    static constexpr const char *kNomDefaut = "Powermeter Switché"_w;
    static constexpr auto kChampNom = &S_power_switch::nom_instru;
    void Defauts() {
        bloc.adresse_gpib = 7;
        bloc.frequence_fonctionnement = 110;
        bloc.capteur = e4419b::kCapteurA;
        bloc.nombre_voie = NombreVoies(bloc.capteur);
        bloc.bit_choisi = kSwitches[0];
    }
    void AuLiberer() { seance.Fermer(activite); }
};
using Vie = plugin::Gestion<PowSw_prive, power_switch>;
using Voies = e4419b::Voies<PowSw_prive>;

PowSw_prive *Prive(PInstrument *instrument) { return plugin::Prive<PowSw_prive>(instrument); }

constexpr e4419b::ControlesConfiguration kControles = {Conf_PowSw_NUM_Conf_Adr_Power, Conf_PowSw_RING_Conf_Capt_Power,
                                                       Conf_PowSw_NUM_Conf_Freq_Fct_Pow, Conf_PowSw_OK_POWSW};

// ---- management -------------------------------------------------------------------------

void power_switch_configure(PInstrument *instrument) {
    PowSw_prive *p = Prive(instrument);
    const int panel = e4419b::ChargerConfiguration(kFichierUir, Conf_PowSw, kControles, p->bloc, p, p->activite);
    if (panel < 0) return;
    // The saved lines back on the two rings: the lowest on the first, the other (the same one
    // when both sensors share a switch) on the second, which only "A et B" uses.
    int premier = 0, second = 0;
    for (const int sw : kSwitches) {
        if ((p->bloc.bit_choisi & sw) == 0) continue;
        if (premier == 0) premier = sw;
        second = sw;
    }
    if (premier != 0) SetCtrlVal(panel, Conf_PowSw_RING_Conf_Sw_Power, premier);
    const bool deux_capteurs = p->bloc.capteur == e4419b::kCapteursAB;
    if (deux_capteurs && second != 0) SetCtrlVal(panel, Conf_PowSw_RING_Conf_2ndSw_Power, second);
    SetCtrlAttribute(panel, Conf_PowSw_RING_Conf_2ndSw_Power, ATTR_DIMMED, deux_capteurs ? 0 : 1);
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int CB_interruption_powermeter_AB_switch(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/,
                                         void *refData) {
    auto *p = static_cast<PowSw_prive *>(refData);
    int resultat = 0;
    if (!e4419b::MesureTerminee(ud, LocalIbsta, p->seance, p->lectures, &resultat)) return resultat;
    // The readings were taken on the path the switches are leaving, if they can: they go to its
    // slots, and so do those of the next measurement when the switches stay.
    const int etat = p->etat_switch;
    const bool deplaces = p->commutateur.Deplacer(p->lignes, etat == 0);
    e4419b::LireEtRelancer(ud, p->seance, p->lectures[etat], p->lectures[etat + 2]);
    if (deplaces) p->etat_switch = 1 - etat;
    return p->seance.Masque();
}

int initialisation_powermeter_AB_switch_int(PInstrument *instrument) {
    PowSw_prive *p = Prive(instrument);
    S_power_switch &b = p->bloc;
    const int ud = e4419b::Ouvrir(*p);
    if (ud < 0) {
        MessagePopup("Attention", "Impossible de détecter le powermeter"_w);
        return -1;
    }
    if (!e4419b::VerifierIdentite(ud)) return -1;
    ibecr(ud, "*RST");
    ibecr(ud, "*ESR 0");
    e4419b::ViderErreurs(ud);
    if (!e4419b::VerifierEcouteur(ud, b.adresse_gpib)) return -1;
    const int capteur = b.capteur;
    if (!e4419b::VerifierCapteurs(ud, capteur)) return -1;
    const int statut = e4419b::ConfigurerFenetres(ud, b.frequence_fonctionnement);
    if (statut < 0) return -1;

    // Only the switch lines, whatever a settings file holds: the other lines are other plugins'.
    const int lignes = switch_rf::Lignes(b.bit_choisi);
    if (!switch_rf::Commutateur::Initialiser(lignes)) return -1;
    p->commutateur.Preparer(b.nom_instru);
    p->lignes = lignes;
    p->etat_switch = b.etat_switch = 0;
    return e4419b::Conclure(*p, capteur, statut);
}

int power_switch_start(PInstrument *instrument) {
    PowSw_prive *p = Prive(instrument);
    return e4419b::DemarrerCycle(p->seance.ud, p->bloc.adresse_gpib, p->seance.Masque(),
                                 CB_interruption_powermeter_AB_switch, p, p->activite);
}

void power_switch_stop(PInstrument *instrument) {
    PowSw_prive *p = Prive(instrument);
    p->seance.Arreter(p->bloc.stop_interruption);
}

}  // namespace

PInstrument power_switch = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = power_switch_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = power_switch_stop,
    .start = power_switch_start,
    .init = initialisation_powermeter_AB_switch_int,
    .nb_voie_1D = Voies::nb_voie_1D,
    .get_nom_voie_1D = Voies::get_nom_voie_1D,
    .mesure_1D = Voies::mesure_1D,
    .numero_1D = Voies::numero_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of Conf_PowSw (callback data: the private record): stores the address, the switch lines of
// the sensors chosen, the sensors, the channel count and the frequency, then closes the panel.
int PowSw_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/,
             int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<PowSw_prive *>(callbackData);
    if (p != nullptr) {
        S_power_switch &b = p->bloc;
        e4419b::LireConfiguration(panel, kControles, PowSw_prive::NombreVoies, b);
        int premier = 0, second = 0;
        GetCtrlVal(panel, Conf_PowSw_RING_Conf_Sw_Power, &premier);
        GetCtrlVal(panel, Conf_PowSw_RING_Conf_2ndSw_Power, &second);
        b.bit_choisi = b.capteur == e4419b::kCapteursAB ? (premier | second) : premier;
    }
    e4419b::FermerConfiguration(panel, p != nullptr ? &p->activite : nullptr);
    return 0;
}
UI_CALLBACK(PowSw_OK);
