// The program's one clock. Every time-out, Delay and timer of the program reads it, so that
// tests can replace it with a clock that only moves when told to, or make it run faster.
#pragma once

#include <ctime>
#include <functional>
#include <memory>

namespace horloge {

// Seconds elapsed on the program's clock since an arbitrary origin (monotonic). With a speed
// factor s, it advances s seconds per real second; with the fake clock, only when advanced.
double Secondes();
// Calendar time in whole seconds (what time() gives), on the same clock.
std::time_t Calendrier();

// Program seconds per real second (1 by default); must be > 0.
void FixerVitesse(double facteur);
double Vitesse();

// Replaces the clock with one that stands still at calendar time `debut` until advanced.
void UtiliserHorlogeFactice(std::time_t debut);
// Advances the fake clock (no effect on the real clock), through every time a participant asks
// for on the way: each one acts at its own time, in order.
void AvancerHorlogeFactice(double secondes);
// Back to the real clock at speed 1.
void UtiliserHorlogeReelle();
bool HorlogeFactice();

// One step of a wait until program time `fin`: the real seconds to sleep (or to wait for an
// event) before looking again, at most a tenth of a second; negative once `fin` has passed.
// With the fake clock nothing real is waited for: the participants first act on what they have
// (0 comes back when one of them moved something, or when `pret` then says the wait is over:
// look again), else the clock moves on to the next time a participant asks for, or to `fin`.
// Call it without holding a lock a participant takes (`pret` takes what it needs itself).
double Patienter(double fin, const std::function<bool()> &pret = nullptr);

// The calling thread is sending something whose answer it will wait for: with the fake clock, no
// other thread moves the clock until this one lets it move (a step of Patienter that moves it or
// ends the wait, AvancerHorlogeFactice, Relacher), or a moment of real time has passed. An answer
// due now is then read at the time it was due, however busy the other movers of the clock
// (threads waiting on other devices) are. Nothing with the real clock. Call it without holding a
// lock a participant takes.
void Retenir();
// The calling thread no longer waits for an answer.
void Relacher();

// What the clock tells a participant after it acted.
struct Suite {
    double prochain;  // the next program time it needs to act at (infinity: none of its own)
    bool actif;       // it moved something now (bytes read or sent)
};

// Something that acts at program times of its own (a simulated device answering after a delay or
// reporting every period; a port taking in what its device sent). With the fake clock, every
// move of the clock lets each participant act, until none moves anything more, and the clock
// stops at every time a participant asks for on its way; with the real clock participants are
// never called. `agir` gets the program time, runs on the thread moving the clock, and must not
// move the clock itself. Registered while the object lives; its end waits for a call under way.
class Participant {
public:
    explicit Participant(std::function<Suite(double maintenant)> agir);
    ~Participant();
    Participant(const Participant &) = delete;
    Participant &operator=(const Participant &) = delete;

    struct Inscrit;

private:
    std::shared_ptr<Inscrit> inscrit_;
};

}  // namespace horloge
