// What the two plugins of the E4419B dual power meter share: "Powermeter" (powermeter.h) and
// "Powermeter Switché" (powswitch.h) drive the same meter with the same identity check, sensor
// check, trigger definition, window set-up, start sequence and reading cycle, and their channels
// (Voies); their configuration panels share the address, sensor and frequency controls. Each
// plugin file runs these steps in order in its own init, start, callback, stop and panel
// callbacks, and adds there what is its own (the switches of "Powermeter Switché").
//
// The meter measures with both windows at each bus trigger: window 1 on sensor A, window 2 on
// sensor B, in dBm. It completes by service request: "*ESE 1" and "*SRE 32" turn the
// operation-complete event of "*OPC" into a request, which the notification callback answers
// by fetching both windows and triggering the next measurement. The readings pass from the
// notification thread to the user-interface thread through atomics, each value whole.
//
// While the cycle runs, the meter is under watch (panne_gpib.h): a meter that stops answering, or
// answers what cannot be read, is said once on the main panel's status list and once more when
// its readings come again; its channels show missing values meanwhile, and the cycle triggers
// again as soon as the meter can take it, so that the readings resume by themselves.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "framework/plugin.h"
#include "instruments/panne_gpib.h"
#include "platform/gpib.h"
#include "platform/toolbox.h"
#include "platform/ui.h"

// Reads one entry of the meter's error queue ("SYST:ERR?"); when its leading number is not 0,
// shows the reply as received in a pop-up titled "Erreur Powermeter". Returns that number (0
// for a reply without one). Called on the user-interface thread only.
int verif_erreur(int identificateur);

namespace e4419b {

// Sensors in use (the value of the panels' sensor ring and of the blocks' `capteur`).
constexpr int kCapteurA = 2;
constexpr int kCapteurB = 4;
constexpr int kCapteursAB = 6;
constexpr bool CapteurValide(int capteur) {
    return capteur == kCapteurA || capteur == kCapteurB || capteur == kCapteursAB;
}

// The notification mask while the reading cycle runs (RQS); 0 once stopped.
constexpr int kCycleEnCours = RQS;

// The newest reading of one slot and its reading counter.
struct Lecture {
    std::atomic<double> valeur{NotANumber()};
    std::atomic<unsigned> numero{0};

    // No reading yet: the state `init` leaves.
    void Effacer() {
        valeur = NotANumber();
        numero = 0;
    }
    // A reading that did not come: a missing value, the counter as it stands.
    void Manquer() { valeur = NotANumber(); }
};

// The first step of `init`: no reading yet, in the slots and in the block's copy of them.
template <std::size_t N>
void EffacerLectures(Lecture (&lectures)[N], std::uint32_t (&numeros)[N], double (&valeurs)[N]) {
    for (std::size_t k = 0; k < N; ++k) {
        lectures[k].Effacer();
        numeros[k] = 0;
        valeurs[k] = NotANumber();
    }
}

// What an instance runs an acquisition with: the descriptor, the sensors taken at `init` for the
// whole acquisition (the channels follow them, not a panel confirmed meanwhile), the mask the
// notification callback returns, and the watch over the meter.
struct Seance {
    int ud = -1;       // descriptor opened by the last init (-1: none)
    int capteur = 0;   // sensors of the acquisition (0: no acquisition)
    std::atomic<int> stop_interruption{0};
    panne_gpib::Suivi veille;

    // Takes the previous acquisition's descriptor offline with its notification (waiting for a
    // callback that runs): nothing of that cycle reaches the record any more.
    void Fermer(plugin::Activite &activite);
    // Opens the meter at `adresse` (board 0, 10 s time-out, END with each write's last byte).
    int Ouvrir(int adresse);
    // `init` succeeded: the cycle may run with these sensors.
    void Prete(int capteur_choisi) {
        capteur = CapteurValide(capteur_choisi) ? capteur_choisi : 0;
        stop_interruption = kCycleEnCours;
    }
    // `stop`: the cycle ends at its next notification, which still reads and relaunches once;
    // the channels follow the settings again. `copie` is the block's copy of the mask.
    void Arreter(std::int32_t &copie) {
        if (stop_interruption != 0) stop_interruption = 0;
        capteur = 0;
        copie = 0;
    }
    // The sensors the channels follow: the acquisition's while one runs, else the setting.
    int Capteur(int reglage) const { return capteur != 0 ? capteur : reglage; }
    // The notification's mask: the service request and the time-out while the cycle runs, 0
    // once stopped. It is the mask armed by start and the result of each callback.
    int Masque() const { return panne_gpib::Masque(stop_interruption); }
};

// ---- set-up (user-interface thread; each failure shows the meter's pop-up) ----------------

// "*IDN?": false, after "Modèle non supporté par ce module !", when the reply does not hold
// the meter's model.
bool VerifierIdentite(int ud);
// Empties the error queue without showing it: "SYST:ERR?" until an entry reads 0 (or holds no
// number), for at most 32 entries.
void ViderErreurs(int ud);
// Device clear, then a listener at `adresse`: false, after "Il faudrait penser à brancher le
// Powermeter", when none answers (or the device could not be opened).
bool VerifierEcouteur(int ud, int adresse);
// "stat:dev:cond?": false when it cannot be written or read, or when a sensor in use (`capteur`)
// is not connected, after the pop-up of each.
bool VerifierCapteurs(int ud, int capteur);
// The trigger definition that makes each "*TRG" trigger both windows, then the twelve set-up
// commands of window 1 and of window 2 at `frequence` MHz, each followed by verif_erreur.
// Returns the status of the last set-up write, or -1 after the pop-up of the write that failed
// (a failed trigger-source command shows its pop-up and the set-up goes on).
int ConfigurerFenetres(int ud, int frequence);

// ---- the reading cycle ----------------------------------------------------------------------

// Start of the cycle: service request on operation complete, the notification armed with
// `rappel` and `ref` (recorded in `activite`), and the first measurement triggered. Returns the
// status of that trigger's write; a failure shows its pop-up and returns the failed write's
// status or -1 (bit 0x8000 set either way).
int DemarrerCycle(int ud, int adresse, int masque, GpibNotifyCallback_t rappel, void *ref,
                  plugin::Activite &activite);
// The first steps of a notification. False when the callback must return `*resultat` at once:
// - the error status alone: after a serial poll, 0 (the notification ends);
// - a time-out without a request: the meter looked at, on the bus and by a serial poll
//   (Suivi::Surveiller), and while no reading is coming `lectures` show missing values; after
//   stop, 0;
// - a request: after a serial poll, "*ESR?". A measurement that has not completed gives the mask
//   at once. A register that cannot be read (no answer, or a reply without a number) was read
//   off all the same, so that whatever completed is lost: `lectures` show missing values, the
//   fault is said and the next measurement triggered.
// True when a measurement has completed: the callback fetches it (LireEtRelancer).
bool MesureTerminee(int ud, int statut, Seance &seance, std::span<Lecture> lectures, int *resultat);
// The last steps: a serial poll, window 1 into `fenetre1` and window 2 into `fenetre2`, both
// counters advanced, and the next measurement triggered (five triggers, the last one completing
// by service request). A reply that does not convert keeps the previous value; one that does not
// come is a missing value. What the exchanges came to is said through the watch.
void LireEtRelancer(int ud, Seance &seance, Lecture &fenetre1, Lecture &fenetre2);

// ---- the channels ---------------------------------------------------------------------------

// The measured scalar channels of a power-meter plugin, over its private record P, which holds
// `bloc.capteur` (the setting), `seance` and `lectures`, and gives its own channel map:
// `static int NombreVoies(int capteur)` (0 for a value that is no sensor choice),
// `static int Emplacement(int capteur, int voie)` and `static void NomVoie(int capteur, int voie,
// char *nom_voie)`, asked only for channels 1 to that count. Values and counters are only read,
// so that the core may ask twice in one sample; a channel outside the count is a missing value.
template <class P>
struct Voies {
    static int nb_voie_1D(PInstrument *instrument) { return P::NombreVoies(Capteur(instrument)); }
    static void get_nom_voie_1D(PInstrument *instrument, int voie, char *nom_voie) {
        const int capteur = Capteur(instrument);
        if (voie >= 1 && voie <= P::NombreVoies(capteur)) P::NomVoie(capteur, voie, nom_voie);
    }
    static double mesure_1D(PInstrument *instrument, int voie) {
        const Lecture *l = LectureDe(instrument, voie);
        return l != nullptr ? l->valeur.load() : NotANumber();
    }
    static unsigned numero_1D(PInstrument *instrument, int voie) {
        const Lecture *l = LectureDe(instrument, voie);
        return l != nullptr ? l->numero.load() : 0;
    }

private:
    static int Capteur(PInstrument *instrument) {
        const P *p = plugin::Prive<P>(instrument);
        return p->seance.Capteur(p->bloc.capteur);
    }
    static const Lecture *LectureDe(PInstrument *instrument, int voie) {
        const int capteur = Capteur(instrument);
        if (voie < 1 || voie > P::NombreVoies(capteur)) return nullptr;
        return &plugin::Prive<P>(instrument)->lectures[P::Emplacement(capteur, voie)];
    }
};

// ---- the operations both plugins share ------------------------------------------------------

// Over a plugin's private record P, which holds `bloc` (the settings block, with `adresse_gpib`,
// `capteur`, `frequence_fonctionnement`, `nombre_voie`, `stop_interruption`, `identificateur`,
// `numero_mesure` and `zone_memoire`, and its name field P::kChampNom), `seance`, `lectures` and
// `activite`. In order: init (Ouvrir, the Verifier steps, ConfigurerFenetres, Conclure), start
// (DemarrerCycle), each notification (MesureTerminee, LireEtRelancer), stop (Seance::Arreter).

// The first steps of init: the previous acquisition's descriptor offline, no reading yet, the
// watch ready for a new acquisition, and the meter opened. The descriptor (negative when the
// board refused the address).
template <class P>
int Ouvrir(P &p) {
    p.seance.Fermer(p.activite);
    EffacerLectures(p.lectures, p.bloc.numero_mesure, p.bloc.zone_memoire);
    p.seance.veille.Preparer(p.bloc.*P::kChampNom, p.bloc.adresse_gpib);
    return p.seance.Ouvrir(p.bloc.adresse_gpib);
}

// The end of a successful init: the cycle ready for the sensors `capteur`, the block's copies of
// the mask and the descriptor. Returns `statut`, the status of the last set-up write.
template <class P>
int Conclure(P &p, int capteur, int statut) {
    p.seance.Prete(capteur);
    p.bloc.stop_interruption = p.seance.stop_interruption;
    p.bloc.identificateur = p.seance.ud;
    return statut;
}

// The controls that both configuration panels have, under ids of their own.
struct ControlesConfiguration {
    int adresse, capteur, frequence, ok;
};

// configure, first step: the panel `id` of `fichier` loaded, showing the address, the sensors
// and the frequency of `b`, with `donnees` (the record) as the OK button's callback data and the
// panel recorded in `activite`. The plugin then shows its own controls and displays the panel
// (not modal). Negative when the panel could not be loaded: nothing else happens then.
template <class B>
int ChargerConfiguration(const char *fichier, int id, const ControlesConfiguration &c, const B &b, void *donnees,
                         plugin::Activite &activite) {
    const int panel = LoadPanel(0, fichier, id);
    if (panel < 0) return panel;
    SetCtrlVal(panel, c.adresse, b.adresse_gpib);
    SetCtrlVal(panel, c.capteur, b.capteur);
    SetCtrlVal(panel, c.frequence, b.frequence_fonctionnement);
    SetCtrlAttribute(panel, c.ok, ATTR_CALLBACK_DATA, donnees);
    activite.panneaux.Ajouter(panel);
    return panel;
}

// OK of a configuration panel, on commit: the address, the sensors with their channel count
// (`voies`, the plugin's NombreVoies) and the frequency stored into `b`. The plugin then reads
// its own controls and closes the panel (FermerConfiguration).
template <class B>
void LireConfiguration(int panel, const ControlesConfiguration &c, int (*voies)(int capteur), B &b) {
    int adresse = 0, capteur = 0, frequence = 0;
    GetCtrlVal(panel, c.adresse, &adresse);
    GetCtrlVal(panel, c.capteur, &capteur);
    GetCtrlVal(panel, c.frequence, &frequence);
    b.adresse_gpib = adresse;
    b.capteur = capteur;
    b.nombre_voie = voies(capteur);
    b.frequence_fonctionnement = frequence;
}
// The configuration panel discarded, out of the instance's activity when there is one.
void FermerConfiguration(int panel, plugin::Activite *activite);

}  // namespace e4419b
