// What the four counter plugins share (frequencemetre, freq2voies, frequencemetre_SW,
// HP53131_phase) beyond the reading of a reply (compteur_protocole.h). This header and
// compteur_commun.cpp follow a counter's life in the order it happens; each plugin file calls
// these steps in that order and names there what is its own (its commands, how each is written,
// its channels):
//
// - init: Ouvrir takes the previous descriptor offline (so that an old notification never
//   competes with the new one), clears the readings, prepares the fault watch, and opens and
//   recognises an HP 5313x; the frequency counters are set up through the counter driver
//   (ReglerParPilote); Pret notes the descriptor and makes the cycle ready.
// - start: Armer enables the operation-complete service request, arms the notification and
//   launches a measurement, as the plugin's Armement says.
// - each callback: Servir (the serial poll of a request, or the watch after a time-out), then the
//   plugin's query filed into a channel (Relever, Interroger and Classer), "*ESR?"
//   (ViderEvenements) and the next measurement (Relancer); it returns Masque, which keeps the
//   notification armed or ends it.
// - stop: Arreter, so that the next callback ends the cycle. liberer disarms and releases
//   everything through the instance's activity.
//
// While it runs, a counter is kept under watch (panne_gpib::Suivi, looked at by a serial poll
// alone): the notification is armed on the device's time-out as well (TIMO), so that a counter
// that stops requesting service is looked at every time-out. A counter that does not answer, or
// answers what holds no reading, is said once on the main panel's status list (plugin::Panne)
// and once more when a reading comes again; a measurement whose launch did not get through is
// launched again as soon as the counter answers, so that the readings resume by themselves.
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
#include "gpib/GLOBALES.h"
#include "instruments/counters/compteur_protocole.h"
#include "instruments/panne_gpib.h"
#include "platform/gpib.h"
#include "platform/text.h"
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

// ---- init ---------------------------------------------------------------------------------
// Every counter's init, in order: Ouvrir, or OuvrirFrequencemetre for the frequency counters
// (the previous descriptor offline, the readings cleared, the watch prepared, the counter opened
// and recognised), ReglerParPilote for the frequency counters, the plugin's own steps, then Pret.

// How the opening goes: whether the board is looked for, and the text nothing listening shows.
struct Ouverture {
    bool verifier_carte = true;      // board check first ("Problème de carte")
    const char *sans_ecouteur = "";  // no listener: this text, the address and " !!!"
};
// The listener text of the frequency counters.
inline constexpr const char *kSansCompteur = "Il faudrait penser à brancher le compteur à l'adresse "_w;

// The first steps of every counter init, in order: the descriptor of an earlier init taken
// offline (ouverture_gpib::Fermer: from then on no callback of an earlier run touches the
// record), the readings `zones` (NaN) and their counts `numeros` (0) cleared, the watch prepared
// under `nom` and `adresse` (a new run: no fault said, no launch owed), then the board check
// (`ibfind("GPIB0")`, when asked), the device at `adresse` (10 s time-out, END on writes), a
// device clear, the listener check and the identity ("HEWLETT-PACKARD,5313" in the reply to
// "*IDN?"). Each failure shows its pop-up and gives -1 (the new descriptor taken offline);
// otherwise `m.ud` holds the new descriptor and the result is the board descriptor (0 or more).
int Ouvrir(Marche &m, std::string_view nom, int adresse, const Ouverture &o, std::span<double> zones,
           std::span<std::uint32_t> numeros);

// Ouvrir for a frequency counter, over the name, address and readings of its block `b` (with
// `nom_instru`, `adresse_gpib`, `zone_memoire` and `numero_mesure`), with kSansCompteur.
template <class B>
int OuvrirFrequencemetre(Marche &m, B &b, bool verifier_carte) {
    const Ouverture o{.verifier_carte = verifier_carte, .sans_ecouteur = kSansCompteur};
    return Ouvrir(m, TexteChamp(b.nom_instru), b.adresse_gpib, o, b.zone_memoire, b.numero_mesure);
}

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

// The end of every init: the descriptor noted in the block, the callback's result RQS.
template <class B>
void Pret(B &b, int ud) {
    b.identificateur = ud;
    Ranger(b.stop_interruption, static_cast<std::int32_t>(RQS));
}

// ---- start ----------------------------------------------------------------------------------

// How a command goes out: ibecr (with its NUL) or ibecr2 (without it).
using Ecriture = int (*)(int ud, const char *texte);

// How a plugin arms its cycle in start; each plugin names every field.
struct Armement {
    Ecriture validations;    // how "*ESE 1" and "*SRE 32" are written
    bool sondage;            // a serial poll before "*ESR?" clears a stale request
    Ecriture ecrire_mesure;  // how the first measurement is written
    const char *mesure;      // the first measurement
};
// start, in order: "*ESE 1" and "*SRE 32", the serial poll when asked, "*ESR?" and its reply
// dropped, the notification armed (`rappel` with `ref`, mask `masque`), the first measurement.
// Each failure shows its pop-up: "*SRE 32" refused gives its status, the notification refused
// -1, the measurement refused its status (the notification disarmed again). Otherwise the
// measurement's status.
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
// A query written by `ecrire` and its reply (at most 255 bytes) read; `lue` tells whether the read
// ended well (its status without ERR).
Lecture Interroger(int ud, Ecriture ecrire, const char *question, bool *lue = nullptr);
// "*ESR?" and its reply, dropped: the event register emptied so that the next completion
// raises a new request. Nothing is read when the query could not be written.
using panne_gpib::ViderEvenements;
// The query and its reply filed into a channel (Classer).
void Relever(int ud, Ecriture ecrire, const char *question, Marche &m, double &zone, std::uint32_t &numero,
             SansNombre sans_nombre = SansNombre::Garder);
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
// A serial poll whose status byte is dropped.
void Sonder(int ud);
// The next measurement: ":INIT:IMM;*OPC". A launch that does not get through is said
// ("pas de réponse") and owed until one does.
void Relancer(int ud, Marche &m);

// ---- stop -------------------------------------------------------------------------------------

// stop: the next callback, which still files its reading and relaunches, returns 0 and so ends
// the notification. False when the cycle was not running.
template <class B>
bool Arreter(B &b) {
    if (Charger(b.stop_interruption) == 0) return false;
    Ranger(b.stop_interruption, 0);
    return true;
}

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
