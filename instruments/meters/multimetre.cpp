// "Multimètre HP34401": HP 34401A digital multimeter, one channel read by service request (see
// multimetre.h).
#include "instruments/meters/multimetre.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "framework/champs.h"
#include "framework/plugin.h"
#include "gpib/GLOBALES.h"
#include "gpib/hp34401a.h"
#include "gpib/nombres.h"
#include "instruments/echanges_gpib.h"
#include "instruments/ouverture_gpib.h"
#include "instruments/panne_gpib.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/toolbox.h"
#include "platform/ui.h"
#include "uir/UIR_multi.h"

namespace {

const char kFichierUir[] = "UIR_multi.uir";

// The settings block, stored raw in the settings files.
struct S_multi {
    std::int32_t identificateur;     // descriptor opened by the last init
    std::int32_t adresse_gpib;
    std::int32_t digits;             // the driver's resolution code
    std::int32_t Volt_Ampere;        // the driver's function code
    std::int32_t handmulti;          // VISA session of the last init (closed before it returned)
    std::int32_t stop_interruption;
    std::uint32_t numero_mesure[1];
    double zone_memoire[1];
    char nom_instru[128];
};
static_assert(sizeof(S_multi) == 168, "settings block of 168 bytes");
static_assert(offsetof(S_multi, identificateur) == 0);
static_assert(offsetof(S_multi, adresse_gpib) == 4);
static_assert(offsetof(S_multi, digits) == 8);
static_assert(offsetof(S_multi, Volt_Ampere) == 12);
static_assert(offsetof(S_multi, handmulti) == 16);
static_assert(offsetof(S_multi, stop_interruption) == 20);
static_assert(offsetof(S_multi, numero_mesure) == 24);
static_assert(offsetof(S_multi, zone_memoire) == 32);
static_assert(offsetof(S_multi, nom_instru) == 40);
static_assert(std::is_trivially_copyable_v<S_multi>);

// The quantities the panel offers (the driver's function codes) and the resolutions.
constexpr int kVoltDC = 1;
constexpr bool FonctionOfferte(std::int32_t code) { return code == 0 || code == 1 || (code >= 3 && code <= 5); }
constexpr bool ResolutionOfferte(std::int32_t code) { return code >= 0 && code <= 2; }

// What `structure` points to: the block, then what the acquisition runs with and shares with
// the notification callback. The reading passes from the notification thread to the
// user-interface thread through atomics: the value is stored whole before its counter moves on.
struct Multi_prive {
    S_multi bloc;

    int ud = -1;                              // descriptor of the last init (-1: none)
    std::atomic<int> stop_interruption{0};    // RQS while the cycle runs, 0 once stopped
    std::atomic<double> valeur{NotANumber()};
    std::atomic<unsigned> numero{0};
    panne_gpib::Suivi veille;                 // what the cycle says of the multimeter's faults
    plugin::Activite activite;                // configuration panels, the notification

    static constexpr const char *kNomDefaut = "Multimètre"_w;
    static constexpr auto kChampNom = &S_multi::nom_instru;
    // The panel's initial choices, so that the panel and an init before any OK agree.
    void Defauts() {
        bloc.adresse_gpib = 22;
        bloc.digits = 0;
        bloc.Volt_Ampere = kVoltDC;
    }
    void AuLiberer() { panne_gpib::Fermer(veille, ud, activite); }
};
using Vie = plugin::Gestion<Multi_prive, multi>;

Multi_prive *Prive(PInstrument *instrument) { return plugin::Prive<Multi_prive>(instrument); }

// ---- protocol -----------------------------------------------------------------------------

constexpr const char *kIdentite = "HEWLETT-PACKARD,34401";
constexpr const char *kMesure = ":INIT;FETC?;*OPC";
constexpr long kLongueurIdentite = 250;
constexpr long kLongueurMesure = 255;

// The driver part of the set-up: a session on the address, the identity and "*CLS", then the
// quantity with automatic ranging and the resolution. The session serves only here and is
// closed before returning. Returns the first failing status (a code the panel does not offer,
// from a damaged settings file, counts as refused by the driver), else the configuration's.
ViStatus ConfigurerParLePilote(S_multi &b) {
    char ressource[32];
    std::snprintf(ressource, sizeof ressource, "GPIB::%i", static_cast<int>(b.adresse_gpib));
    ViSession vi = VI_NULL;
    ViStatus statut = hp34401a_init(ressource, VI_TRUE, VI_TRUE, &vi);
    if (statut >= 0) {
        if (!FonctionOfferte(b.Volt_Ampere)) statut = VI_ERROR_PARAMETER2;
        else if (!ResolutionOfferte(b.digits)) statut = VI_ERROR_PARAMETER5;
        else statut = hp34401a_conf(vi, static_cast<ViInt16>(b.Volt_Ampere), VI_TRUE, 0.0, static_cast<ViInt16>(b.digits));
    }
    if (vi != VI_NULL) hp34401a_close(vi);
    b.handmulti = static_cast<std::int32_t>(vi);
    return statut;
}

}  // namespace

bool multi_lire_mesure(std::string_view reponse, double &valeur) { return nombres::LireReel(reponse, valeur) > 0; }

namespace {

// ---- management -------------------------------------------------------------------------

void multi_configure(PInstrument *instrument) {
    Multi_prive *p = Prive(instrument);
    const int panel = LoadPanel(0, kFichierUir, Conf_multi);
    if (panel < 0) return;
    SetCtrlVal(panel, Conf_multi_NUM_Conf_Adr_Freq, p->bloc.adresse_gpib);
    SetCtrlVal(panel, Conf_multi_RINGSLIDE_choix_multi, p->bloc.Volt_Ampere);
    SetCtrlVal(panel, Conf_multi_RG_DIGITS, p->bloc.digits);
    SetCtrlAttribute(panel, Conf_multi_CB_OK_MULTI, ATTR_CALLBACK_DATA, static_cast<void *>(p));
    p->activite.panneaux.Ajouter(panel);
    DisplayPanel(panel);
}

// ---- control ------------------------------------------------------------------------------

int initialisation_multi_int(PInstrument *instrument) {
    Multi_prive *p = Prive(instrument);
    S_multi &b = p->bloc;
    // The previous acquisition's device goes first, and a cycle still armed on it with it; a
    // callback cut short by it says nothing.
    panne_gpib::Fermer(p->veille, p->ud, p->activite);
    b.zone_memoire[0] = NotANumber();
    b.numero_mesure[0] = 0;
    p->valeur = NotANumber();
    p->numero = 0;
    p->veille.Preparer(b.nom_instru, b.adresse_gpib);

    const ouverture_gpib::Ouverture ouverture{
        .absence = {.texte = "Il faudrait penser à brancher le multimètre à l'adresse "_w},
        .identite = {.modele = kIdentite,
                     .longueur = kLongueurIdentite,
                     .recherche = ouverture_gpib::Recherche::Texte},
        .retrait = {.action = ouverture_gpib::HorsLigneSiOuvert},
    };
    int ud = -1;
    const int carte = ouverture_gpib::Ouvrir(b.adresse_gpib, ouverture, ud);
    if (carte < 0) return -1;
    // A quantity the multimeter did not take would be recorded under the one chosen: the start
    // stops here instead.
    if (const ViStatus statut = ConfigurerParLePilote(b); statut < 0) {
        char texte[256] = {};
        hp34401a_errorMessage(VI_NULL, statut, texte);
        const std::string message = std::string("Configuration du multimètre impossible :\n"_w) + texte;
        MessagePopup("Erreur", message.c_str());
        ibonl(ud, 0);
        return -1;
    }
    p->ud = ud;
    b.identificateur = ud;
    p->stop_interruption = RQS;
    b.stop_interruption = RQS;
    return carte;
}

// The notification mask of the cycle: the service request and the time-out while it runs, 0
// once stopped.
int Masque(const Multi_prive &p) { return panne_gpib::Masque(p.stop_interruption); }

int CB_interruption_multi(int ud, int LocalIbsta, int /*LocalIberr*/, long /*LocalIbcntl*/, void *refData) {
    if (LocalIbsta == ERR) return 0;  // the error alone: the notification ends, nothing is read
    auto *p = static_cast<Multi_prive *>(refData);
    if (panne_gpib::SansRequete(LocalIbsta)) {
        // No request within the time-out: after stop the cycle ends; otherwise the multimeter is
        // looked at: while no reading is coming the channel shows a missing value, and a request
        // found then is served as any other.
        if (Masque(*p) == 0) return 0;
        using panne_gpib::Constat;
        const Constat constat = p->veille.Surveiller(
            ud, [ud] { return panne_gpib::Relancer(ud, kMesure); }, {.ecoute = true, .sondage = true});
        if (constat == Constat::SansMesure) p->valeur = NotANumber();
        if (constat != Constat::Demande) return Masque(*p);
    } else {
        char octet_etat = 0;
        ibrsp(ud, &octet_etat);
    }
    char reponse[kLongueurMesure + 1];
    panne_gpib::Issue issue = panne_gpib::Issue::Lue;
    double v = 0.0;
    if (echanges_gpib::LireTexte(ud, reponse).echec) {
        p->valeur = NotANumber();  // no reading came
        issue = panne_gpib::Issue::SansReponse;
    } else if (multi_lire_mesure(reponse, v)) {
        p->valeur = v;
    } else {
        issue = panne_gpib::Issue::Illisible;  // the previous value stays
    }
    ++p->numero;  // a reply that is no number still counts
    // The event register read off, so that the next operation complete requests service again.
    panne_gpib::ViderEvenements(ud);
    const bool relancee = panne_gpib::Lancer(ud, kMesure);
    p->veille.Cycle(issue, relancee);
    return Masque(*p);
}

int miseenplace_int_multi(PInstrument *instrument) {
    Multi_prive *p = Prive(instrument);
    const int ud = p->ud;
    ibwrt(ud, "*ESE 1", 6);
    const int sre = ibwrt(ud, "*SRE 32", 7);
    if (sre & ERR) {
        echanges_gpib::MontrerEchecBus(
            "Impossible d'initialiser l'interruption\nsur le multimètre d'identificateur "_w, ud);
        return sre;
    }
    char octet_etat = 0;
    ibrsp(ud, &octet_etat);
    // The event register read off, so that the next operation complete requests service again.
    panne_gpib::ViderEvenements(ud);
    if (ibnotify(ud, Masque(*p), CB_interruption_multi, p) & ERR) {
        const std::string message =
            std::string("Impossible d'initialiser le multimètre\nd'adresse "_w) + std::to_string(p->bloc.adresse_gpib);
        MessagePopup("Attention !!!", message.c_str());
        return -1;
    }
    p->activite.NotificationArmee(ud);
    const int sta = ibecr(ud, kMesure);
    if (sta & ERR) {
        echanges_gpib::MontrerEchecBus("Impossible de lancer une mesure\nsur le multimètre d'identificateur "_w, ud);
        ibnotify(ud, 0, nullptr, nullptr);
        p->activite.NotificationDesarmee(ud);
        return sta;
    }
    return sta;
}

// The next request still stores its reading and launches one more measurement, then ends the
// notification.
void multi_stop(PInstrument *instrument) {
    Multi_prive *p = Prive(instrument);
    if (p->stop_interruption != 0) p->stop_interruption = 0;
    p->bloc.stop_interruption = 0;
}

// ---- the channel ----------------------------------------------------------------------------

int multi_nb_voie_1D(PInstrument * /*instrument*/) { return 1; }

void multi_get_nom_voie_1D(PInstrument * /*instrument*/, int /*voie*/, char *nom_voie) {
    std::memcpy(nom_voie, "Voie 1", sizeof "Voie 1");
}

double multi_mesure_1D(PInstrument *instrument, int /*voie*/) { return Prive(instrument)->valeur; }

unsigned multi_numero_1D(PInstrument *instrument, int /*voie*/) { return Prive(instrument)->numero; }

}  // namespace

PInstrument multi = {
    .nouveau = Vie::nouveau,
    .liberer = Vie::liberer,
    .configure = multi_configure,
    .get_memory = Vie::get_memory,
    .get_nom_instru = Vie::get_nom_instru,
    .set_nom_instru = Vie::set_nom_instru,
    .stop = multi_stop,
    .start = miseenplace_int_multi,
    .init = initialisation_multi_int,
    .nb_voie_1D = multi_nb_voie_1D,
    .get_nom_voie_1D = multi_get_nom_voie_1D,
    .mesure_1D = multi_mesure_1D,
    .numero_1D = multi_numero_1D,
};

// ---- panel callback -------------------------------------------------------------------------

// OK of Conf_multi (callback data: the private record): stores the address, the quantity and
// the resolution, then closes the panel. The multimeter gets them at the next init.
int MULTI_OK(int panel, int /*control*/, int event, void *callbackData, int /*eventData1*/, int /*eventData2*/) {
    if (event != EVENT_COMMIT) return 0;
    if (auto *p = static_cast<Multi_prive *>(callbackData)) {
        int adresse = 0, quantite = 0, digits = 0;
        GetCtrlVal(panel, Conf_multi_NUM_Conf_Adr_Freq, &adresse);
        GetCtrlVal(panel, Conf_multi_RINGSLIDE_choix_multi, &quantite);
        GetCtrlVal(panel, Conf_multi_RG_DIGITS, &digits);
        p->bloc.adresse_gpib = adresse;
        p->bloc.Volt_Ampere = quantite;
        p->bloc.digits = digits;
        p->activite.panneaux.Retirer(panel);
    }
    DiscardPanel(panel);
    return 0;
}
UI_CALLBACK(MULTI_OK);
