// The serial link of the bench devices' plugins (the pumps, the regulator, the concentration
// analyser and the acquisition board): the part of the private record that lives only in this
// run, the opening of the port at every init and its letting-go, the first steps of a receive
// callback, how a failed exchange is told, and the watch over a device that pushes its readings.
#pragma once

#include <string>

#include "framework/plugin.h"
#include "framework/signalement.h"

namespace banc {

// The part of a serial plugin's private record beside its settings block. A record derives from
// it: its activity is the one `plugin::Gestion` stops, and the port closes with the instrument
// (unless another instrument uses it: LacherPort).
struct Liaison {
    int port = 0;               // the port the last init opened (0: none yet); commands, panels,
                                // callbacks and `stop` use it, whatever the settings say since
    plugin::Activite activite;  // panels, receive callback, delayed calls
    plugin::Panne panne;        // a fault said on the main panel's status list

    void AuLiberer();
};

// The same, with the manual-control panel that the first init loads (ChargerPilotage, pilotage.h).
struct LiaisonPilotee : Liaison {
    int panneau_pilotage = 0;  // of this run: 0 not loaded yet, negative: its load failed
};

// ---- opening and letting go of the port ----------------------------------------------------

// Opens the port `comPort` of the settings for an init (9600 baud, 8N1, queues of 512 bytes, the
// bench configuration's device), letting go of a port chosen no longer (PortDeLInit). The serial
// layer's result.
int OuvrirPort(Liaison &l, int comPort);
// The same, for the plugins that check it: a port that does not open shows "Impossible d'ouvrir
// le port demandé" (title "Attention"); an open one gets no flow control and `delai` seconds for
// every read and write.
int OuvrirPortVerifie(Liaison &l, int comPort, double delai);

// The port that an init opens: `comPort` from the settings, which becomes `portOuvert`, the
// port that commands, panels and `liberer` use until the next init. A port opened by an earlier
// init and chosen no longer is closed first, unless another instrument's `portOuvert` names it:
// a port stays open while any instrument uses it (two devices whose ports were swapped, the
// new owner earlier in the list; devices sharing a line).
int PortDeLInit(int &portOuvert, int comPort);
// The instrument lets go of its port (`liberer`): closed unless another instrument uses it.
void LacherPort(int &portOuvert);

// ---- receive callbacks ----------------------------------------------------------------------

// A receive callback's first look: true when bytes wait in the port's input queue, looking once
// more after 0.1 s when none does yet (an earlier call, or an exchange of the user-interface
// thread, may have taken the bytes that raised the event).
bool OctetsEnAttente(int port);
// Reads and drops the bytes already waiting, up to and including `caractere`; true when it
// came. Only bytes already in the queue are read: an event character that an earlier read took
// leaves nothing to wait for, and the next one calls the callback again.
bool SauterJusqua(int port, int caractere);

// ---- failed exchanges -------------------------------------------------------------------------

// "<what went wrong> (COM<n>)", for a status line.
std::string SurLePort(const std::string &texte, int port);

// How a failed exchange with the device is told: a pop-up to the operator who waits for its
// outcome (an init, a panel's button, a command outside an acquisition), or a line on the status
// list (a command of the sequencer during an acquisition, which nobody watches).
enum class Compte { PopUp, Statut };

// The way of telling the failures of a command given through `execute`.
constexpr Compte CompteDeCommande(bool en_acquisition) { return en_acquisition ? Compte::Statut : Compte::PopUp; }

// Tells a failed exchange the way `compte` says: the pop-up `popUp` (title "Attention"), or
// "<nom> : <statut> (COM<port>)" on the status list through `panne`, once until the fault ends.
void SignalerEchec(Compte compte, const char *popUp, plugin::Panne &panne, const char *nom, const std::string &statut,
                   int port);

// ---- the watch over a device that pushes its readings ----------------------------------------

// The watch over a device that pushes its readings (regulator, analyser, acquisition board): a
// device that falls silent, or whose bytes make no reading, is said once on the status list,
// "<instrument> : l'appareil n'envoie plus de mesures (COMn)" or "... réponses illisibles de
// l'appareil (COMn)", once no reading came for `silence` seconds of program time (at least the
// floor given, and three times the last interval between two readings, so a device that reports
// slowly is not taken for silent); its next reading ends the fault with "l'appareil répond de
// nouveau". Time the user-interface thread was held (another instrument waiting on its device)
// is not the device's silence: its bytes waited for that thread. A look held up past its time
// says nothing and counts the silence again from then on; bytes a look finds waiting that the
// receive callback has not yet found unreadable get its turn (a second) before they are said.
// While the fault lasts, bytes that make no reading are dropped from the input queue at each
// look, so that the device's reports reach the receive callback again once it recovers (a full
// queue would hold them back). Everything runs on the user-interface thread.
class Veille {
public:
    // From now on (a start), a reading is expected on the port of `l`. `nom` is the record's
    // name field, read when a line is written.
    void Armer(Liaison &l, const char *nom, double silenceMin);
    // The receive callback is gone (a stop): no more looks.
    void Desarmer();
    // A reading was stored.
    void Lecture();
    // Bytes came that made no reading (cut short, unreadable, a read that failed).
    void Illisible() { illisible_ = true; }
    // Program seconds since the last reading (or since the watch was armed, or was held up).
    double DepuisLecture() const;

private:
    static void Regarder(void *donnees);
    void Poster(double delai);
    double Silence() const;

    Liaison *liaison_ = nullptr;
    const char *nom_ = "";
    bool arme_ = false;
    bool illisible_ = false;
    double silenceMin_ = 0.0;
    double derniere_ = 0.0;    // program time of the last reading, or of the arming
    double reprise_ = 0.0;     // program time the silence counts from: derniere_, or a look held up
    double prevue_ = 0.0;      // program time the next look is due
    double intervalle_ = 0.0;  // between the last two readings while no fault was said
    bool lue_ = false;         // a reading came since the arming
    int en_attente_ = 0;       // bytes waiting in the input queue at the previous look
};

}  // namespace banc
