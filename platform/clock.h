// The program's one clock. Every time-out, Delay and timer of the program reads it, so that
// tests can replace it with a clock that only moves when told to, or make it run faster.
#pragma once

#include <ctime>

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
// Advances the fake clock (no effect on the real clock).
void AvancerHorlogeFactice(double secondes);
// Back to the real clock at speed 1.
void UtiliserHorlogeReelle();
bool HorlogeFactice();

}  // namespace horloge
