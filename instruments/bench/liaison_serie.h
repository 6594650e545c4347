// What the serial bench devices' plugins share (the pumps, the regulator, the concentration
// analyser and the acquisition board): the part of the private record that lives only in this
// run, the opening of the port at every init, the configuration panel's life, and the watch over
// a device that pushes its readings.
#pragma once

#include <string>

#include "framework/plugin.h"
#include "framework/signalement.h"

namespace banc {

// The part of a serial plugin's private record beside its settings block. A record derives from
// it: its activity is the one `plugin::Gestion` stops, and the port closes with the instrument
// (unless another instrument uses it: pilotage.h).
struct Liaison {
    int port = 0;               // the port the last init opened (0: none yet); commands, panels,
                                // callbacks and `stop` use it, whatever the settings say since
    plugin::Activite activite;  // panels, receive callback, delayed calls
    plugin::Panne panne;        // a fault said on the main panel's status list

    void AuLiberer();
};

// The same, with the manual-control panel that the first init loads (pilotage.h).
struct LiaisonPilotee : Liaison {
    int panneau_pilotage = 0;  // of this run: 0 not loaded yet, negative: its load failed
};

// Opens the port `comPort` of the settings for an init (9600 baud, 8N1, queues of 512 bytes, the
// bench configuration's device), letting go of a port chosen no longer. The serial layer's
// result.
int OuvrirPort(Liaison &l, int comPort);
// The same, for the plugins that check it: a port that does not open shows "Impossible d'ouvrir
// le port demandé" (title "Attention"); an open one gets no flow control and `delai` seconds for
// every read and write.
int OuvrirPortVerifie(Liaison &l, int comPort, double delai);

// "<what went wrong> (COM<n>)", for a status line.
std::string SurLePort(const std::string &texte, int port);

// A new copy of the configuration panel `idPanneau` of `fichier`, whose OK button `ok` gets
// `donnees` (the record) as callback data, recorded in the activity; the caller fills and
// displays it. 0 when it cannot be loaded (nothing else is done). Every bench plugin loads its
// configuration panel so, those on the parallel port and on GPIB too.
int ChargerConfiguration(plugin::Activite &activite, const char *fichier, int idPanneau, int ok, void *donnees);
// OK of that panel, once its values are read: the panel goes (`activite` null when the callback
// got no record).
void FermerConfiguration(plugin::Activite *activite, int panel);

// The watch over a device that pushes its readings (regulator, analyser, acquisition board): a
// device that falls silent, or whose bytes make no reading, is said once on the status list,
// "<instrument> : l'appareil n'envoie plus de mesures (COMn)" or "... réponses illisibles de
// l'appareil (COMn)", once no reading came for `silence` seconds of program time (at least the
// floor given, and three times the last interval between two readings, so a device that reports
// slowly is not taken for silent); its next reading ends the fault with "l'appareil répond de
// nouveau". While the fault lasts, bytes that make no reading are dropped from the input queue
// at each look, so that the device's reports reach the receive callback again once it recovers
// (a full queue would hold them back). Everything runs on the user-interface thread.
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
    // Program seconds since the last reading (or since the watch was armed).
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
    double intervalle_ = 0.0;  // between the last two readings while no fault was said
    bool lue_ = false;         // a reading came since the arming
    int en_attente_ = 0;       // bytes waiting in the input queue at the previous look
};

}  // namespace banc
