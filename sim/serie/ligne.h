// A simulated serial device on a pseudo-terminal: the program opens the terminal's path as it
// would open /dev/ttyS0, through the same termios code, and talks to a model of the device.
//
// The line owns the pseudo-terminal and a thread that hands every byte the program writes to
// the model (Modele::Recevoir, in the order written, in whatever pieces they arrive), and sends
// what the model answers, after the delay it asks for, counted on the program's clock; a model
// that speaks on its own (a device pushing readings) is woken at the program times it asks for
// (Modele::Reveil). With the real clock (sped up or not) the thread keeps those times; with the
// fake clock the line takes part in the clock's moves (horloge::Participant): the clock stops
// at every time the line asks for and the line acts there, so a device says what it has to say
// at its program time however fast the program runs, and a program waiting on its port moves
// the clock on to the device's next byte. Answers waiting for a terminal nobody reads are kept
// up to 64 KB; later ones are lost, as on a real line. The line keeps the terminal's device
// side open itself, so the program may close and reopen the port without the line noticing,
// and, while a sim::Transcription is alive (sim/transcription.h), keeps a log of the bytes
// received (with the program time of their arrival) and sent.
//
// Failures that a test or the demo bench can inject, whatever the model:
// - Panne::muet: the device hears and acts, but its answers are lost (a broken transmit wire,
//   or a device that does not talk);
// - Panne::charabia: every answer is replaced by a garbage text (FixerCharabia);
// - Panne::debranche: the cable is out: nothing reaches the device, nothing comes back.
// A delay added to every answer (FixerDelaiReponse) makes a device slow, or late enough for its
// answer to land in the program's next exchange.
#pragma once

#include <termios.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace sim::serie {

// Where a model's answers go.
class Sortie {
public:
    // Sends `octets` to the program `delai` seconds (program clock) from now, after any answer
    // already waiting.
    virtual void Emettre(std::string_view octets, double delai = 0.0) = 0;

protected:
    ~Sortie() = default;
};

// The behaviour of one device (or of the devices sharing one line).
class Modele {
public:
    virtual ~Modele() = default;
    // Bytes written by the program. Runs on the line's thread, under the line's lock.
    virtual void Recevoir(std::string_view octets, Sortie &sortie) = 0;
    // A device that also speaks on its own (reports at its own pace): the program time at
    // which it next wants to (infinity: only when spoken to), and what it does then, given the
    // program time. Both run on the line's thread, under the line's lock; the line asks again
    // after every call, and whenever a test reached the device through Avec.
    virtual double Reveil() const { return std::numeric_limits<double>::infinity(); }
    virtual void Parler(double /*maintenant*/, Sortie & /*sortie*/) {}
};

enum class Panne { aucune, muet, charabia, debranche };

class Ligne final : private Sortie {
public:
    struct Reception {
        unsigned char octet;
        double instant;  // program clock
    };

    // Opens a pseudo-terminal for `modele` and starts the line. Ouverte() tells whether the
    // system gave one.
    explicit Ligne(std::shared_ptr<Modele> modele);
    ~Ligne();
    Ligne(const Ligne &) = delete;
    Ligne &operator=(const Ligne &) = delete;

    bool Ouverte() const { return maitre_ >= 0; }
    // The terminal the program opens.
    const std::string &Chemin() const { return chemin_; }

    // Runs f(model) under the line's lock: the model's thread does not run meanwhile. The line
    // then looks at the model's Reveil again.
    template <class M, class F>
    auto Avec(F &&f) {
        struct Relance {
            Ligne *ligne;
            ~Relance() { ligne->Relancer(); }
        } relance{this};  // after the lock is let go
        std::lock_guard g(m_);
        return f(static_cast<M &>(*modele_));
    }

    void FixerPanne(Panne panne);
    Panne LaPanne() const;
    void FixerCharabia(std::string texte);
    void FixerDelaiReponse(double secondes);

    // Sends bytes on the device's own initiative (a device that reports by itself), subject to
    // the failures like any answer.
    void Envoyer(std::string_view octets, double delai = 0.0);

    // Every byte received since the last EffacerJournal, and with their arrival times; every
    // byte sent. Only what came while a sim::Transcription was alive; reading them while none
    // is throws.
    std::string Recu() const;
    std::vector<Reception> Receptions() const;
    std::string Emis() const;
    void EffacerJournal();
    // Waits (real time, at most `secondesReelles`) until `n` bytes in all were received since
    // the last EffacerJournal (counted whether a transcript is kept or not). False when they
    // did not come.
    bool AttendreRecu(std::size_t n, double secondesReelles = 5.0) const;
    // Waits (real time) until every answer due has been sent. False when some still waits.
    bool AttendreEmis(double secondesReelles = 5.0) const;

    // The line settings the program gave the terminal (speed, size, stop bits, flow control).
    termios Reglages() const;

private:
    struct Envoi {
        std::string octets;
        double echeance;  // program clock
    };

    void Emettre(std::string_view octets, double delai) override;  // caller holds m_
    void Relancer();  // wakes the line's thread
    void Tourner();
    // Sends every answer that is due; true when bytes went out. Caller holds m_.
    bool EnvoyerEchus();
    // The log of bytes received and sent. Caller holds m_.
    void NoterRecu(std::string_view octets, double instant);
    void NoterEmis(std::string_view octets);
    // Hands the bytes the program wrote to the model; true when there were some. Caller holds m_.
    bool Entendre();
    // The next program time the line has something to do at (infinity: none). Caller holds m_.
    double Prochain() const;
    // What a move of the fake clock to `maintenant` makes the line do.
    horloge::Suite Agir(double maintenant);

    std::shared_ptr<Modele> modele_;
    int maitre_ = -1;
    int esclave_ = -1;  // the device side, kept open by the line
    int arret_ = -1;   // eventfd: the line closes
    int reveil_ = -1;  // eventfd: an answer was queued from outside the thread
    std::string chemin_;

    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    Panne panne_ = Panne::aucune;
    std::string charabia_ = "\x15?#\xA4\xFF garbage";
    double delaiReponse_ = 0.0;
    std::deque<Envoi> aEnvoyer_;
    std::size_t enAttente_ = 0;  // bytes in aEnvoyer_
    std::vector<Reception> recu_;
    std::string emis_;
    std::size_t nbRecus_ = 0;  // bytes received since the last EffacerJournal
    std::unique_ptr<horloge::Participant> participant_;
    std::thread fil_;
};

}  // namespace sim::serie
