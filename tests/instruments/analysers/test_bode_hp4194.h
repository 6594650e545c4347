// What the gain-phase analyser's tests share: the simulated bus of board 0 set up through a
// bench configuration of their own, the analyser's transcript as readable lines, trace blocks
// built byte by byte, the offsets of the settings block, and waiting for the notification
// thread.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/instrument.h"
#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/analysers/hp4194.h"
#include "sim/appareil.h"
#include "sim/bus.h"
#include "sim/transcription.h"

namespace bode_essai {

// Offsets of the settings block.
constexpr std::size_t kAdresse = 0, kIdentificateur = 4, kStopInterruption = 8, kNumeroMesure = 12,
                      kNom = 16, kMode = 144, kSweep = 148, kTrig = 152, kMoy = 156, kReglage = 160,
                      kStart = 168, kStop = 176, kCenter = 184, kSpan = 192, kOsclev = 200,
                      kRefAtt = 208, kRefImp = 212, kTestAtt = 216, kTestImp = 220, kStatus = 224;
constexpr unsigned kTailleBloc = 232;
constexpr int kPoints = 401;

// Board 0 simulated (or absent), its bus emptied; everything put back at the end.
class BusSimule {
public:
    explicit BusSimule(bool avecCarte = true) {
        const auto dossier = std::filesystem::temp_directory_path() /
                             ("bode-" + std::to_string(getpid()) + "-" +
                              std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(dossier);
        chemin_ = dossier / "banc.conf";
        std::ofstream(chemin_) << (avecCarte ? "gpib0 = sim\n" : "gpib0 = none\n");
        RechargerConfigurationBanc(chemin_.c_str());
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }
    ~BusSimule() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
        std::filesystem::remove_all(chemin_.parent_path());
    }
    BusSimule(const BusSimule &) = delete;
    BusSimule &operator=(const BusSimule &) = delete;

private:
    std::filesystem::path chemin_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

// The simulated analyser at address 23 and a new instance of the plugin, on the fake clock; a
// fixture calls Monter in its SetUp and Demonter in its TearDown.
class AvecAnalyseur {
protected:
    void Monter() {
        horloge::UtiliserHorlogeFactice(1765370096);
        sim::BusDeCarte(0)->Brancher(23, hp);
        bode = Nouvel_instrument("bode_hp4194.dll");
        ASSERT_NE(bode, nullptr);
    }
    void Demonter() {
        if (bode) bode->liberer(bode);
        bode = nullptr;
        horloge::UtiliserHorlogeReelle();
    }

    BusSimule bus;
    std::shared_ptr<sim::Hp4194> hp = std::make_shared<sim::Hp4194>();
    PInstrument *bode = nullptr;
};

// The transcript as lines: "> text" for a write (a NUL shown as \0, "(no END)" when END did not
// come), "< n" for a read of n bytes ("< n END" when END came with it), "poll", "clear".
inline std::vector<std::string> Transcript(const sim::Appareil &a) {
    std::vector<std::string> lignes;
    for (const sim::Evenement &e : a.Journal()) {
        switch (e.genre) {
        case sim::Evenement::Genre::Ecriture: {
            std::string t = "> ";
            for (const char c : e.octets) t += c == '\0' ? std::string("\\0") : std::string(1, c);
            lignes.push_back(t + (e.fin ? "" : " (no END)"));
            break;
        }
        case sim::Evenement::Genre::Lecture:
            lignes.push_back("< " + std::to_string(e.octets.size()) + (e.fin ? " END" : ""));
            break;
        case sim::Evenement::Genre::SerialPoll:
            lignes.push_back("poll");
            break;
        case sim::Evenement::Genre::Effacement:
            lignes.push_back("clear");
            break;
        }
    }
    return lignes;
}

// The writes only.
inline std::vector<std::string> Ecritures(const sim::Appareil &a) {
    std::vector<std::string> e;
    for (const std::string &l : Transcript(a))
        if (l.starts_with("> ")) e.push_back(l.substr(2));
    return e;
}

// The transfer of one trace as the plugin makes it: the query, then reads of 2, 2, 3208 and 2.
inline std::vector<std::string> TransfertComplet(const std::string &trace) {
    return {"> " + trace + "?", "< 2", "< 2", "< 3208", "< 2 END"};
}

// A value most significant byte first.
inline std::string GrosBout(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    std::string s;
    for (int i = 7; i >= 0; --i) s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    return s;
}

// "#A", the count `octets` most significant byte first, `donnees`, CR LF.
inline std::string Bloc(unsigned octets, const std::string &donnees) {
    std::string s = "#A";
    s.push_back(static_cast<char>((octets >> 8) & 0xFF));
    s.push_back(static_cast<char>(octets & 0xFF));
    return s + donnees + "\r\n";
}
inline std::string Bloc(const std::vector<double> &valeurs) {
    std::string d;
    for (const double v : valeurs) d += GrosBout(v);
    return Bloc(static_cast<unsigned>(d.size()), d);
}

// Waits (real time, 10 s at most) until `pret()`.
template <class P>
bool Attendre(P pret, double secondes = 10.0) {
    const auto fin = std::chrono::steady_clock::now() + std::chrono::duration<double>(secondes);
    while (!pret()) {
        if (std::chrono::steady_clock::now() > fin) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A channel of the instrument as the core copies it.
inline std::vector<double> Voie(PInstrument *i, int voie) {
    std::vector<double> v(kPoints);
    i->mesure2D(i, voie, v.data());
    return v;
}
inline std::vector<double> Abscisses(PInstrument *i, int voie = 1) {
    std::vector<double> v(kPoints);
    i->indices2D(i, voie, v.data());
    return v;
}

// What the simulated low-pass gives over the sweep of `r`.
struct TracesAttendues {
    std::vector<double> x, gain, phase;
};
inline TracesAttendues Attendu(const sim::Hp4194::Reglages &r, double coupure) {
    TracesAttendues b;
    b.x = sim::Hp4194::Frequences(r);
    for (const double f : b.x) {
        b.gain.push_back(sim::Hp4194::Gain(f, coupure));
        b.phase.push_back(sim::Hp4194::Phase(f, coupure));
    }
    return b;
}

}  // namespace bode_essai
