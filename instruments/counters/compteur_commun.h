// What the four counter plugins share (frequencemetre, freq2voies, frequencemetre_SW,
// HP53131_phase) beyond the reading of a reply (compteur_protocole.h): the readings that the
// notification thread writes and the sampling reads, the opening and recognition of the
// counter, its set-up through the counter driver, the arming of the service-request cycle, the
// pieces of the callbacks, and the channels and panels of the frequency counters.
//
// The cycle, as every counter plugin runs it: init opens a new device descriptor (after taking
// the previous one offline, so that an old notification never competes with the new one),
// recognises an HP 5313x and sets it up; start enables the operation-complete service request,
// arms the notification and launches a measurement; each request's callback reads the reading,
// files it and launches the next measurement, returning the mask that keeps the notification
// armed (RQS) or ends it (0, once stop has run). liberer disarms and releases everything through
// the instance's activity.
//
// While it runs, a counter is kept under watch: the notification is armed on the device's
// time-out as well (TIMO), so that a counter that stops requesting service is looked at every
// time-out. A counter that does not answer, or answers what holds no reading, is said once on the
// main panel's status list (plugin::Panne) and once more when a reading comes again; a measurement
// whose launch did not get through is launched again as soon as the counter answers, so that the
// readings resume by themselves once the counter is back.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <string_view>

#include "framework/champs.h"
#include "framework/instrument.h"
#include "framework/plugin.h"
#include "instruments/counters/compteur_protocole.h"
#include "instruments/ouverture_gpib.h"
#include "instruments/panne_gpib.h"
#include "platform/gpib.h"
#include "platform/ui.h"

namespace compteur {

// ---- readings shared between the notification thread and the sampling ------------------------
// The callback writes a channel's value and its count, the user-interface thread reads them
// without a lock: each field is read and written whole (the pair is not updated at once).

template <class T>
T Charger(T &champ) {
    static_assert(std::atomic_ref<T>::is_always_lock_free);
    return std::atomic_ref<T>(champ).load(std::memory_order_relaxed);
}
template <class T>
void Ranger(T &champ, T valeur) {
    std::atomic_ref<T>(champ).store(valeur, std::memory_order_relaxed);
}
inline double NaN() { return std::numeric_limits<double>::quiet_NaN(); }

// ---- what every counter's private record holds besides its settings block ----------------------

// The record of each counter plugin derives from it: the device, what the instance set going,
// and the watch of its faults while running (its lines on the status list and the measurement
// owed). The name and address of the lines are taken at init, before the notification is armed,
// and only read afterwards.
struct Marche {
    int ud = -1;  // descriptor of the counter since the last init
    plugin::Activite activite;
    panne_gpib::Suivi suivi;

    void AuLiberer();
};

// The counter does not answer and no reading is coming: said once ("pas de réponse de l'appareil
// (GPIB0::<adresse>)"), and `voies` become NaN (a gap in the records rather than the last reading
// repeated); their counts stay.
void Injoignable(Marche &m, std::span<double> voies);

// Files one reply into a channel, its value (ValeurApres, `sans_nombre` for a reply without a
// number) and its count + 1, and tells what the reply says of the counter: a number ends a fault
// said earlier; a read that failed (`lue` false) begins one, "pas de réponse", and a reply
// without a number "réponse illisible".
void Classer(Marche &m, double &zone, std::uint32_t &numero, const Lecture &lecture, bool lue,
             SansNombre sans_nombre = SansNombre::Garder);

// ---- the counter on the bus -------------------------------------------------------------------

struct Ouverture {
    bool verifier_carte = true;     // board check first ("Problème de carte")
    const char *sans_ecouteur = "";  // no listener: this text, the address and " !!!"
};
// The opening of every counter init: the previous descriptor released, then the board check
// (`ibfind("GPIB0")`, when asked), the device at `adresse` (10 s time-out, END on writes), a
// device clear, the listener check and the identity ("HEWLETT-PACKARD,5313" in the reply to
// "*IDN?"). Each failure shows its pop-up and gives -1 (the new descriptor released);
// otherwise `ud` holds the new descriptor and the result is the board descriptor (0 or more).
int Ouvrir(int &ud, int adresse, const Ouverture &o, plugin::Activite &activite);

// Input conditioning of the settings block, as the panels set it.
struct Entrees {
    int digits, impedance, filtre, couplage, attenuation;
};
template <class B>
Entrees EntreesDe(const B &b) {
    return {b.digits, b.impedance, b.filtre, b.couplage, b.attenuation};
}
// The set-up of the frequency counters through the counter driver, on a session of its own that
// lives only here: reset, status registers off, frequency of input 1 armed by digits, ASCII
// readings, both inputs conditioned alike with an automatic trigger level at 50 %. A step that
// warns is shown in a pop-up titled with its name and the set-up goes on; the first step that
// fails is shown the same way and ends it. The session is closed on every path. The result:
// the first failure, else the first warning, else 0.
int ReglerParPilote(int adresse, const Entrees &e);

// Opening (see Ouvrir, with the counters' listener message) then the driver set-up: the status
// of the set-up, or `ouvert` false when the counter was not found or not recognised.
struct Initialisation {
    bool ouvert = false;
    int statut = -1;
};
Initialisation OuvrirEtRegler(int &ud, int adresse, const Entrees &e, bool verifier_carte, plugin::Activite &activite);

// The readings of a block with arrays `zone_memoire` and `numero_mesure`: none yet.
template <class B>
void EffacerLectures(B &b) {
    for (double &z : b.zone_memoire) Ranger(z, NaN());
    for (std::uint32_t &n : b.numero_mesure) Ranger(n, 0u);
}

// The init of the frequency counters up to their own steps, over their private record P: the
// previous descriptor released (from then on no callback of an earlier run touches the record),
// the readings cleared, the fault state of a new run, the counter opened and set up through the
// driver.
template <class P>
Initialisation InitialiserFrequencemetre(P &p, bool verifier_carte) {
    ouverture_gpib::Fermer(p.ud, p.activite);
    EffacerLectures(p.bloc);
    p.suivi.Preparer(p.bloc.*P::kChampNom, p.bloc.adresse_gpib);
    return OuvrirEtRegler(p.ud, p.bloc.adresse_gpib, EntreesDe(p.bloc), verifier_carte, p.activite);
}

// The end of every init: the descriptor noted in the block, the callback's result RQS.
template <class B>
void Pret(B &b, int ud) {
    b.identificateur = ud;
    Ranger(b.stop_interruption, static_cast<std::int32_t>(RQS));
}

// The end of a frequency counter's init: -1 when the counter was not found or not recognised,
// otherwise the cycle made ready and the status of the set-up.
template <class P>
int Conclure(P &p, const Initialisation &r) {
    if (!r.ouvert) return -1;
    Pret(p.bloc, p.ud);
    return r.statut;
}

// stop: the next callback, which still files its reading and relaunches, returns 0 and so ends
// the notification. False when the cycle was not running.
template <class B>
bool Arreter(B &b) {
    if (Charger(b.stop_interruption) == 0) return false;
    Ranger(b.stop_interruption, 0);
    return true;
}

// How a plugin arms its cycle in start.
struct Armement {
    bool validations_sans_nul = false;  // "*ESE 1" and "*SRE 32" written without their NUL
    bool serial_poll = false;           // a serial poll before "*ESR?" clears a stale request
    const char *lancement = ":INIT:IMM;*OPC";
    bool lancement_sans_nul = false;
};
// Enables the operation-complete request, empties the event register, arms the notification
// (`rappel` with `ref`, mask `masque`) and launches the first measurement. Each failure shows
// its pop-up: "*SRE 32" refused gives its status, the notification refused -1, the launch
// refused its status (the notification disarmed again). Otherwise the launch's status.
int Armer(int ud, int adresse, int masque, GpibNotifyCallback_t rappel, void *ref, const Armement &a,
          plugin::Activite &activite);

// The notification mask of a counter under watch, from its `stop_interruption`: the service
// request and the device's time-out while it runs (RQS | TIMO), 0 once stop has run. It is the
// mask armed by start and the result of each callback, read as the callback returns: a stop
// that lands while a callback runs ends the cycle with that callback, whose relaunch completes
// with nobody listening, and the first callback to begin after a stop still serves its request
// in full and ends the cycle.
inline int Masque(std::int32_t &stop_interruption) {
    return panne_gpib::Masque(Charger(stop_interruption));
}

// ---- pieces of the callbacks ----------------------------------------------------------------

// A notification that carries only the error bit ends the cycle without touching the device.
constexpr bool NotificationEnErreur(int ibsta_notification) { return ibsta_notification == ERR; }
// The notification came of the device's time-out: no service request within it.
using panne_gpib::SansRequete;
// The watch of a counter that has not requested service for a time-out (a callback called with
// SansRequete, `masque` the mask as it began): after stop, nothing (false). Otherwise the
// counter is looked at by a serial poll alone (Suivi::Surveiller, the launch owed relaunched
// after its events are emptied); while no reading is coming `voies` become NaN. True when it
// requests service after all: the callback serves it.
bool Veiller(int ud, int masque, Marche &m, std::span<double> voies);
// The opening of the callback of a counter under watch: the serial poll of a service request
// (true), or Veiller after a time-out.
bool Servir(int ud, int ibsta_notification, int masque, Marche &m, std::span<double> voies);
// Writes `texte` with its NUL (ibecr), or without it.
int Ecrire(int ud, const char *texte, bool sans_nul = false);
// A query written and its reply (at most 255 bytes) read; `lue` tells whether the read ended
// well (its status without ERR).
Lecture Interroger(int ud, const char *question, bool sans_nul = false, bool *lue = nullptr);
// "*ESR?" and its reply, dropped: the event register emptied so that the next completion
// raises a new request. Nothing is read when the query could not be written.
using panne_gpib::ViderEvenements;
// The query and its reply filed into a channel (Classer).
void Relever(int ud, const char *question, bool sans_nul, Marche &m, double &zone, std::uint32_t &numero,
             SansNombre sans_nombre = SansNombre::Garder);
// A serial poll whose status byte is dropped.
void Sonder(int ud);
// The next measurement: ":INIT:IMM;*OPC". A launch that does not get through is said
// ("pas de réponse") and owed until one does.
void Relancer(int ud, Marche &m);

// ---- channels and panels of the frequency counters ---------------------------------------------

// The channel operations over a private record P whose block holds `nombre_voie`,
// `zone_memoire[N]` and `numero_mesure[N]`. A channel count or a channel number outside 1..N
// (a damaged settings file, a caller's mistake) never reaches beyond the arrays.
template <class P, int N>
struct Voies {
    static P *Prive(PInstrument *i) { return plugin::Prive<P>(i); }
    static int nb_voie_1D(PInstrument *i) {
        const int n = Prive(i)->bloc.nombre_voie;
        return n < 0 ? 0 : (n > N ? N : n);
    }
    static void get_nom_voie_1D(PInstrument * /*i*/, int voie, char *nom_voie) {
        std::snprintf(nom_voie, kLongueurNomVoie, "Voie %i", voie);
    }
    static double mesure_1D(PInstrument *i, int voie) {
        return voie >= 1 && voie <= N ? Charger(Prive(i)->bloc.zone_memoire[voie - 1]) : NaN();
    }
    static unsigned numero_1D(PInstrument *i, int voie) {
        return voie >= 1 && voie <= N ? Charger(Prive(i)->bloc.numero_mesure[voie - 1]) : 0u;
    }
};

// Loads panel `id` of `fichier` as a top-level panel with `p` as the callback data of
// `bouton_ok`, records it in the instance's activity and returns it (negative: not loaded).
int ChargerConfiguration(const char *fichier, int id, int bouton_ok, void *p, plugin::Activite &activite);
// A panel of the instance discarded (by its OK callback, or the watchdog by stop): it leaves
// the instance's activity.
void FermerPanneau(int panel, plugin::Activite &activite);

// The life cycle over the table `Table` and the `N` channels of a frequency counter's record P.
template <class P, const PInstrument &Table, int N>
struct Operations : plugin::Gestion<P, Table>, Voies<P, N> {};

// The controls of the input set-up, which the three frequency panels share under ids of their
// own, named after the panel (the resource compiler's constants `<panel>_<control>`).
struct ControlesEntrees {
    int adresse, digits, impedance, filtre, couplage, attenuation;
};
#define COMPTEUR_CONTROLES_ENTREES(panneau)                                                               \
    compteur::ControlesEntrees {                                                                        \
        panneau##_NUM_Conf_Adr_Freq, panneau##_RING_Conf_Digit_Freq, panneau##_BINARYSW_Conf_Impedan,   \
            panneau##_BINARYSW_Conf_Filtre, panneau##_BINARYSW_Conf_Couplag, panneau##_BINARYSW_Conf_Attenua \
    }
// The block's address and input set-up into the controls (configure).
template <class B>
void MontrerEntrees(int panel, const ControlesEntrees &c, const B &b) {
    SetCtrlVal(panel, c.adresse, b.adresse_gpib);
    SetCtrlVal(panel, c.digits, b.digits);
    SetCtrlVal(panel, c.impedance, b.impedance);
    SetCtrlVal(panel, c.filtre, b.filtre);
    SetCtrlVal(panel, c.couplage, b.couplage);
    SetCtrlVal(panel, c.attenuation, b.attenuation);
}
// The controls into the block (OK).
template <class B>
void LireEntrees(int panel, const ControlesEntrees &c, B &b) {
    GetCtrlVal(panel, c.adresse, &b.adresse_gpib);
    GetCtrlVal(panel, c.digits, &b.digits);
    GetCtrlVal(panel, c.impedance, &b.impedance);
    GetCtrlVal(panel, c.filtre, &b.filtre);
    GetCtrlVal(panel, c.couplage, &b.couplage);
    GetCtrlVal(panel, c.attenuation, &b.attenuation);
}
// configure of a frequency counter: panel `id` of `fichier` loaded with the record as the data of
// `bouton_ok`, the address and the input set-up shown, then what `aussi` shows of the panel's own
// controls, and the panel displayed. Nothing happens when the panel cannot be loaded.
template <class P, class F>
void Configurer(P &p, const char *fichier, int id, int bouton_ok, const ControlesEntrees &c, F &&aussi) {
    const int panel = ChargerConfiguration(fichier, id, bouton_ok, &p, p.activite);
    if (panel < 0) return;
    MontrerEntrees(panel, c, p.bloc);
    aussi(panel, p.bloc);
    DisplayPanel(panel);
}

// OK of a frequency panel (callback data: the private record P): on commit, the controls into
// the block, then what `aussi` reads of the panel's own controls, the channel count, and the
// panel discarded. Any other event changes nothing.
template <class P, class F>
int ConfirmerEntrees(int panel, int event, void *donnees, const ControlesEntrees &c, int voies, F &&aussi) {
    if (event != EVENT_COMMIT) return 0;
    auto *p = static_cast<P *>(donnees);
    if (p == nullptr) return 0;
    LireEntrees(panel, c, p->bloc);
    aussi(p->bloc);
    p->bloc.nombre_voie = voies;
    FermerPanneau(panel, p->activite);
    return 0;
}

// A new frequency counter: the settings its panel starts from (4 digits, every switch at 0),
// its `voies` channels, no reading yet.
template <class B>
void DefautsFrequencemetre(B &b, int voies) {
    b.digits = 4;
    b.impedance = b.filtre = b.couplage = b.attenuation = 0;
    b.nombre_voie = voies;
    for (double &z : b.zone_memoire) z = NaN();
}


}  // namespace compteur
