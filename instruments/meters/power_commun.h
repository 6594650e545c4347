// What the two plugins of the E4419B dual power meter share: "Powermeter" (powermeter.h) and
// "Powermeter Switché" (powswitch.h) drive the same meter with the same identity check, sensor
// check, trigger definition, window set-up, start sequence and reading cycle, and their
// configuration panels share the callback of the sensor ring.
//
// The meter measures with both windows at each bus trigger: window 1 on sensor A, window 2 on
// sensor B, in dBm. It completes by service request: "*ESE 1" and "*SRE 32" turn the
// operation-complete event of "*OPC" into a request, which the notification callback answers
// by fetching both windows and triggering the next measurement. The readings pass from the
// notification thread to the user-interface thread through atomics, each value whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/plugin.h"
#include "platform/gpib.h"
#include "platform/toolbox.h"

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
// whole acquisition (the channels follow them, not a panel confirmed meanwhile), and the mask
// the notification callback returns.
struct Seance {
    int ud = -1;       // descriptor opened by the last init (-1: none)
    int capteur = 0;   // sensors of the acquisition (0: no acquisition)
    std::atomic<int> stop_interruption{0};

    // Opens the meter at `adresse` (board 0, 10 s time-out, END with each write's last byte),
    // after taking the previous acquisition's descriptor offline with its notification.
    int Ouvrir(int adresse, plugin::Activite &activite);
    // `init` succeeded: the cycle may run with these sensors.
    void Prete(int capteur_choisi) {
        capteur = CapteurValide(capteur_choisi) ? capteur_choisi : 0;
        stop_interruption = kCycleEnCours;
    }
    // `stop`: the cycle ends at its next notification; the channels follow the settings again.
    void Arreter() {
        if (stop_interruption != 0) stop_interruption = 0;
        capteur = 0;
    }
    // The sensors the channels follow: the acquisition's while one runs, else the setting.
    int Capteur(int reglage) const { return capteur != 0 ? capteur : reglage; }
    // `liberer`, once the notification is disarmed: the descriptor goes offline.
    void Fermer() {
        if (ud >= 0) ibonl(ud, 0);
        ud = -1;
    }
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
// The first steps of a notification: a serial poll, then whether a measurement has completed.
// False when the callback must return `*resultat` at once: 0 for a notification that reports
// the error status alone, `masque` when no measurement completed.
bool MesureTerminee(int ud, int statut, int masque, int *resultat);
// The last steps: a serial poll, window 1 into `fenetre1` and window 2 into `fenetre2` (a reply
// that does not convert keeps the previous value), both counters advanced, and the next
// measurement triggered (five triggers, the last one completing by service request).
void LireEtRelancer(int ud, Lecture &fenetre1, Lecture &fenetre2);

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

}  // namespace e4419b
