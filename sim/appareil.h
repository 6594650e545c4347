// A device on the simulated GPIB bus: what it receives, what it has to say, its service
// request, its transcript, and the faults a test can give it.
//
// The simulated board (sim/bus.h) drives a device through the bus-side operations below; a
// personality (sim/ieee488.h, sim/enregistreur.h) fills in the hooks. Every public operation
// is thread-safe: the device has one lock, and the hooks run with it held.
//
// Time: a device may have timed changes (a measurement that ends after some time). They happen
// lazily, on the program's clock (platform/clock.h), whenever the bus looks at the device; a
// transfer waiting on the device under the fake clock moves the clock to the next change or to
// its time-out, whichever comes first, as Delay does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/gpib_carte.h"

namespace sim {

constexpr double kJamais = std::numeric_limits<double>::infinity();

// Faults a test can give a device.
struct Defauts {
    bool debranche = false;          // no longer on the bus: no listener, reads time out
    bool muet = false;               // listens but never talks: every read times out
    int lecturesSansReponse = 0;     // the next n reads time out, then it talks again
    int ecrituresBloquees = 0;       // the next n writes time out (the handshake never ends)
    std::string ecritureRefusee;     // every write beginning with these bytes times out
    bool charabia = false;           // every reply it sends becomes `texteCharabia`
    std::string texteCharabia = "#\x7f?@!\n";  // may be empty: a message of no byte, with END
    int requeteCollee = 0;           // its service request stays set for n more serial polls
                                     // (-1: for ever)
    int notificationForcee = 0;      // the next notification sees this status (0x8000, 0x8800)
    bool notificationRefusee = false;  // a notification cannot be armed on it
};

// One entry of a device's transcript.
struct Evenement {
    enum class Genre { Ecriture, Lecture, SerialPoll, Effacement };
    Genre genre = Genre::Ecriture;
    std::string octets;  // bytes written or read; the status byte of a serial poll
    bool fin = false;    // END came with the last byte
    std::thread::id fil;
};

// How one handle reaches the device: its settings on the simulated board.
struct Liaison {
    int eot = 1;                      // END with the last byte of a write
    int eos = 0;                      // end-of-string mode (REOS, XEOS, BIN and the byte)
    double delai = 10.0;              // time-out in program seconds; 0: none
    const std::atomic<bool> *abandon = nullptr;  // set: the transfer ends (EABO)
};

class Appareil {
public:
    Appareil() = default;
    virtual ~Appareil() = default;
    Appareil(const Appareil &) = delete;
    Appareil &operator=(const Appareil &) = delete;

    // ---- for tests --------------------------------------------------------------------------
    Defauts LireDefauts() const;
    void FixerDefauts(const Defauts &defauts);
    // The transcript: kept only while a sim::Transcription is alive (sim/transcription.h);
    // reading it otherwise throws.
    std::vector<Evenement> Journal() const;
    // The bytes of every write received, in order (a write split by XEOS counts as several).
    std::vector<std::string> Ecritures() const;
    void EffacerJournal();
    // Whether it requests service now.
    bool DemandeService();
    // Bytes it has queued to send and not yet sent.
    std::string SortieEnAttente() const;

    // ---- bus side (the simulated board) -------------------------------------------------------
    bool Ecoute();
    ResultatGpib Ecrire(const char *octets, long n, const Liaison &liaison);
    ResultatGpib Lire(char *octets, long n, const Liaison &liaison);
    ResultatGpib SerialPoll(char *octet, const Liaison &liaison);
    ResultatGpib Effacer();
    // ibwait on the device: RQS waits for a service request (until the time-out with TIMO).
    ResultatGpib Attendre(int masque, const Liaison &liaison);
    ResultatGpib EtatNotification();
    void AttendreChangement(double secondesReelles);
    // Wakes every transfer waiting on the device so that it looks at its abandon flag.
    void Reveiller();

protected:
    // ---- hooks, called with the lock held ----------------------------------------------------
    // Bytes received in one write; `fin`: END came with the last of them.
    virtual void Recu(std::string_view octets, bool fin) = 0;
    // Status byte without bit 6 (RQS), for serial polls.
    virtual std::uint8_t OctetEtat() { return 0; }
    // After a serial poll has read the status byte.
    virtual void ApresSerialPoll() {}
    // Device clear, after the output queue has been emptied.
    virtual void Efface() {}
    // A read begins with nothing to read.
    virtual void LectureSansDonnees() {}
    // Program time of the next timed change, or kJamais.
    virtual double ProchainEvenement() { return kJamais; }
    // Carries out the timed changes due at program time `maintenant`.
    virtual void Avancer(double /*maintenant*/) {}
    // After every change: re-evaluates the service request.
    virtual void Actualiser() {}

    // ---- tools for the personalities (lock held) ----------------------------------------------
    // Queues a message to send; END with its last byte when `fin`. With the garbage fault the
    // message is replaced.
    void Emettre(std::string_view octets, bool fin = true);
    void ViderSortie();
    bool SortieVide() const { return sortie_.empty(); }
    // The service request latch (the SRQ line of this device).
    void LeverRequete() { requete_ = true; }
    void BaisserRequete();
    bool Requete() const { return requete_; }
    // After a change made outside a bus operation (a test's call): re-evaluates the service
    // request and wakes whoever waits on the device.
    void Signaler();
    std::mutex &Verrou() const { return m_; }

private:
    struct Octet {
        char c = 0;
        bool fin = false;
        bool vide = false;  // a message of no byte: only END
    };

    // Brings the device up to now: timed changes, then the service request.
    void AJour();
    // Waits, lock held, until `pret()`, the end of the time-out (false) or the abandon (false).
    template <class P>
    bool AttendreQue(std::unique_lock<std::mutex> &l, const Liaison &liaison, double echeance, P pret);
    void Noter(Evenement::Genre genre, std::string octets, bool fin);

    mutable std::mutex m_;
    std::condition_variable cv_;
    Defauts defauts_;
    std::vector<Evenement> journal_;
    std::deque<Octet> sortie_;
    bool requete_ = false;
};

}  // namespace sim
