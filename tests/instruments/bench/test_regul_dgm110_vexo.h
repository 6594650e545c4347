// What the tests of the devices that push their readings (regulator, concentration analyser,
// acquisition board) share: their receive callbacks run on the user-interface thread, so a test
// handles that thread's events until what it waits for has happened.
#pragma once

#include "framework/instrument.h"
#include "platform/clock.h"
#include "sim/serie/ligne.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <chrono>
#include <cmath>
#include <thread>

namespace poussee {

// Handles the user-interface thread's events until `fait` (at most 5 s of real time); false when
// it never came.
template <class F>
bool Traiter(F &&fait) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fait()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Waits until `fait` (at most 5 s of real time) without handling events: a callback that falls
// due meanwhile waits to be delivered. False when it never came.
template <class F>
bool Attendre(F &&fait) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fait()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A device just put on its line speaks at once (its first report, frame or call): waits until
// it did, so that what it said goes with the flush of the port's opening instead of landing
// after it.
inline bool AttendreMiseSousTension(const sim::serie::Ligne &ligne) {
    return Attendre([&] { return !ligne.Emis().empty(); });
}

// Handles the events of a moment (50 ms of real time): long enough for a device's bytes to come
// and a callback to run, if any were to.
inline void Laisser() {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (std::chrono::steady_clock::now() < fin) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// `secondes` of program time have passed since `t0` (to within a microsecond: the clock's sums
// round).
inline bool Passe(double t0, double secondes) { return horloge::Secondes() - t0 >= secondes - 1e-6; }

// Channel `voie` of `i` holds `valeur` (NaN for the missing value) with reading counter `numero`.
inline testing::AssertionResult Voie(PInstrument *i, int voie, double valeur, unsigned numero) {
    const double v = i->mesure_1D(i, voie);
    const unsigned n = i->numero_1D(i, voie);
    const bool memeValeur = std::isnan(valeur) ? std::isnan(v) : v == valeur;
    if (memeValeur && n == numero) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "channel " << voie << ": " << v << " #" << n << ", expected " << valeur
                                       << " #" << numero;
}

}  // namespace poussee
