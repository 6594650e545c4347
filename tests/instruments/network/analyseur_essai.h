// What the network analyser's tests share: board 0 simulated with an MS4623B at address 6, the
// device's transcript in a readable form, and waiting for the notification thread.
#pragma once

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/bus.h"
#include "sim/network/ms4623b.h"
#include "sim/transcription.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace analyseur_essai {

constexpr int kAdresse = 6;

// Waits (real time) until `condition` holds; false after `limite`.
inline bool AttendreQue(const std::function<bool()> &condition,
                        std::chrono::milliseconds limite = std::chrono::milliseconds(5000)) {
    const auto fin = std::chrono::steady_clock::now() + limite;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Bytes as a test writes them: NUL "\0", byte 1 "\1", line feed "\n", other control bytes
// "\xNN"; a text of more than 40 bytes as "(N bytes)".
inline std::string Lisible(std::string_view octets) {
    if (octets.size() > 40) return "(" + std::to_string(octets.size()) + " bytes)";
    std::string r;
    for (const char c : octets) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\0') r += "\\0";
        else if (c == '\x01') r += "\\1";
        else if (c == '\n') r += "\\n";
        else if (u < 0x20 || u >= 0x7F) {
            char t[8];
            std::snprintf(t, sizeof t, "\\x%02X", u);
            r += t;
        } else {
            r += c;
        }
    }
    return r;
}

// The device's transcript: "> bytes" written to it, "< bytes" read from it, "poll <status
// byte>", "clear".
inline std::vector<std::string> Transcription(const sim::Appareil &a) {
    std::vector<std::string> t;
    for (const sim::Evenement &e : a.Journal()) {
        switch (e.genre) {
        case sim::Evenement::Genre::Ecriture: t.push_back("> " + Lisible(e.octets)); break;
        case sim::Evenement::Genre::Lecture: t.push_back("< " + Lisible(e.octets)); break;
        case sim::Evenement::Genre::SerialPoll:
            t.push_back("poll " + std::to_string(static_cast<unsigned char>(e.octets.at(0))));
            break;
        case sim::Evenement::Genre::Effacement: t.push_back("clear"); break;
        }
    }
    return t;
}

// How many times `octets` was written to the device.
inline int Ecrits(const sim::Appareil &a, const std::string &octets) {
    int n = 0;
    for (const std::string &e : a.Ecritures()) n += e == octets ? 1 : 0;
    return n;
}

// Board 0 is the simulated bus, with a fresh MS4623B at address 6 and nothing else; on the
// fake clock unless the test has its own clock. Undone at the end.
class BancAnalyseur {
public:
    explicit BancAnalyseur(bool horloge_factice = true) : horloge_(horloge_factice) {
        if (horloge_) horloge::UtiliserHorlogeFactice(1'765'370'096);
        char modele[] = "/tmp/banc-analyseur-XXXXXX";
        if (mkdtemp(modele) != nullptr) dossier_ = modele;
        Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Vider();
        analyseur = std::make_shared<sim::MS4623B>();
        sim::BusDeCarte(0)->Brancher(kAdresse, analyseur);
    }
    ~BancAnalyseur() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
        if (horloge_) horloge::UtiliserHorlogeReelle();
        if (!dossier_.empty()) std::filesystem::remove_all(dossier_);
    }
    BancAnalyseur(const BancAnalyseur &) = delete;
    BancAnalyseur &operator=(const BancAnalyseur &) = delete;

    // Reads `texte` as the bench configuration and chooses the boards again.
    void Configurer(const std::string &texte) {
        const auto chemin = dossier_ / "banc.conf";
        std::ofstream(chemin) << texte;
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
    }
    const std::filesystem::path &Dossier() const { return dossier_; }

    std::shared_ptr<sim::MS4623B> analyseur;

private:
    bool horloge_;
    std::filesystem::path dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace analyseur_essai
