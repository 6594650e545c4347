// What the oscilloscope's tests share: board 0 simulated with a device at the plugin's default
// address, the device's transcript as lines, the offsets of the settings block, and waiting for
// the notification thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/bench_config.h"
#include "platform/gpib.h"
#include "sim/appareil.h"
#include "sim/bus.h"
#include "sim/transcription.h"

namespace tek_essai {

// Offsets of the settings block.
constexpr std::size_t kIdentificateur = 0, kAdresse = 4, kStopInterruption = 8, kVoieActive = 24,
                      kNumeroMesure = 36, kNom = 52, kAcqmod = 180, kAcqnumav = 188, kAcqnume = 192,
                      kCh1ban = 196, kCh2ban = 202, kCh1coup = 208, kCh2coup = 214, kCh1imp = 220,
                      kCh2imp = 226, kCh1inv = 232, kCh2inv = 236, kCh1off = 240, kCh2off = 244,
                      kCh1probe = 248, kCh2probe = 252, kCh1sca = 256, kCh2sca = 260, kHormaisca = 264,
                      kHorUnit = 268, kHorrecord = 272, kHortrigpos = 276, kTrigaedgcoup = 280,
                      kTrigaedgslo = 286, kTrigaedgsou = 292, kTrigalev = 300, kMath1 = 304, kMath2 = 310,
                      kMathf = 316, kFenetre = 322, kLinlog = 328, kSelch1 = 336, kSelch2 = 340,
                      kSelmath = 344;
constexpr unsigned kTailleBloc = 352;
constexpr int kAdresseDefaut = 4;

// Board 0 of the bench configuration simulated (or absent), its bus emptied; put back at the
// end.
class Carte0 {
public:
    explicit Carte0(bool presente = true) {
        dossier_ = std::filesystem::temp_directory_path() /
                   ("tek-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(dossier_);
        Configurer(presente);
    }
    ~Carte0() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
        std::filesystem::remove_all(dossier_);
    }
    Carte0(const Carte0 &) = delete;
    Carte0 &operator=(const Carte0 &) = delete;
    void Configurer(bool presente) {
        const auto chemin = dossier_ / "banc.conf";
        std::ofstream(chemin) << (presente ? "gpib0 = sim\n" : "gpib0 = none\n");
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }

private:
    std::filesystem::path dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

// The transcript from entry `depuis` on: "> text" for a write (NUL shown as \0), "< n" for a
// read of n bytes ("< n END" when END came with it), "poll" and "clear".
inline std::vector<std::string> Journal(const sim::Appareil &a, std::size_t depuis = 0) {
    std::vector<std::string> lignes;
    const std::vector<sim::Evenement> journal = a.Journal();
    for (std::size_t i = depuis; i < journal.size(); ++i) {
        const sim::Evenement &e = journal[i];
        using G = sim::Evenement::Genre;
        if (e.genre == G::Ecriture) {
            std::string t = "> ";
            for (const char c : e.octets) t += c == '\0' ? std::string("\\0") : std::string(1, c);
            lignes.push_back(t);
        } else if (e.genre == G::Lecture) {
            lignes.push_back("< " + std::to_string(e.octets.size()) + (e.fin ? " END" : ""));
        } else {
            lignes.push_back(e.genre == G::SerialPoll ? "poll" : "clear");
        }
    }
    return lignes;
}

// "> <command>\0": how a command the plugin sends shows in the transcript.
inline std::string Ecrit(const std::string &commande) { return "> " + commande + "\\0"; }
// "< n END": the read of a whole reply.
inline std::string Lu(const std::string &reponse) { return "< " + std::to_string(reponse.size()) + " END"; }

// Waits (real time) until `condition` holds; false after `limite`.
inline bool AttendreQue(const std::function<bool()> &condition,
                        std::chrono::milliseconds limite = std::chrono::milliseconds(10000)) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tek_essai
