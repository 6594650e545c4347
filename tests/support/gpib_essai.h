// What the tests of the GPIB and VISA layer share: a bench configuration of their own, the
// simulated bus of board 0 emptied, the program's clock put back, and the choice of board 0's
// backend: the simulated bus itself, or the native backend through the stand-in library over
// the same bus.
#pragma once

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/parport.h"
#include "sim/bus.h"
#include "sim/transcription.h"

namespace essai {

enum class Backend { Simule, Natif };

inline std::string NomBackend(const testing::TestParamInfo<Backend> &info) {
    return info.param == Backend::Simule ? "Simule" : "Natif";
}

// Attaches the stand-in library's board 0 to the simulated bus of board 0 (once per run).
inline void BrancherBibliothequeEssai() {
    static const bool fait = [] {
        void *h = dlopen(BANC_GPIB_ESSAI, RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) return false;
        using Brancher = void (*)(int, CarteGpib *);
        const auto brancher = reinterpret_cast<Brancher>(dlsym(h, "banc_essai_brancher"));
        if (brancher == nullptr) return false;
        // Kept for the whole run: the library holds the pointer.
        static const std::shared_ptr<CarteGpib> carte = sim::NouvelleCarte(sim::BusDeCarte(0));
        brancher(0, carte.get());
        return true;
    }();
    ASSERT_TRUE(fait) << dlerror();
}

class Banc {
public:
    Banc() {
        char modele[] = "/tmp/banc-gpib-XXXXXX";
        if (mkdtemp(modele) != nullptr) dossier_ = modele;
        sim::BusDeCarte(0)->Vider();
        sim::BusDeCarte(1)->Vider();
    }
    ~Banc() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        FixerBibliothequeGpibNative(nullptr);
        ReinitialiserPortParallele();
        sim::BusDeCarte(0)->Vider();
        sim::BusDeCarte(1)->Vider();
        horloge::UtiliserHorlogeReelle();
        if (!dossier_.empty()) std::filesystem::remove_all(dossier_);
    }
    Banc(const Banc &) = delete;
    Banc &operator=(const Banc &) = delete;

    std::string Ecrire(const std::string &nom, const std::string &texte) const {
        const auto chemin = dossier_ / nom;
        std::ofstream(chemin) << texte;
        return chemin.string();
    }
    // Reads `texte` as the bench configuration and chooses the boards and the port again.
    void Configurer(const std::string &texte) {
        RechargerConfigurationBanc(Ecrire("banc.conf", texte).c_str());
        ReinitialiserCartesGpib();
        ReinitialiserPortParallele();
    }
    // Board 0 on `backend`, over the simulated bus of board 0.
    void Carte0(Backend backend) {
        if (backend == Backend::Natif) {
            BrancherBibliothequeEssai();
            FixerBibliothequeGpibNative(BANC_GPIB_ESSAI);
            Configurer("gpib0 = native\n");
        } else {
            Configurer("gpib0 = sim\n");
        }
    }
    const std::filesystem::path &Dossier() const { return dossier_; }

private:
    std::filesystem::path dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace essai
