// What the fuzz targets of reply parsers on the GPIB bus share: the simulated bench on board 0,
// on the fake clock (a read that finds nothing times out at once), with a recording device at
// an address, which answers each question with the bytes the target queued.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/ui_test.h"
#include "sim/banc.h"
#include "sim/bus.h"
#include "sim/enregistreur.h"
#include "tests/fuzz/fichier_fuzz.h"

namespace fuzz {

// The recording device at `adresse` of board 0, placed once per process; pop-ups are answered
// at once.
inline std::shared_ptr<sim::Enregistreur> AppareilSurLeBus(int adresse) {
    static const bool banc = [] {
        sim::InstallerBanc();
        horloge::UtiliserHorlogeFactice(0);
        ui_test::ActiverScript([](const std::string &) {});
        const std::string conf = "gpib0 = sim\n";
        RechargerConfigurationBanc(
            EcrireFichier(reinterpret_cast<const std::uint8_t *>(conf.data()), conf.size(), ".conf").c_str());
        ReinitialiserCartesGpib();
        return true;
    }();
    (void)banc;
    auto appareil = std::make_shared<sim::Enregistreur>();
    sim::BusDeCarte(0)->Brancher(adresse, appareil);
    return appareil;
}

// A buffer of `taille` bytes with a guard after it, which nothing may touch.
class Tampon {
public:
    explicit Tampon(std::size_t taille) : octets_(taille + kGarde, '\x5A'), taille_(taille) {}
    char *data() { return octets_.data(); }
    void Verifier() const {
        for (std::size_t k = taille_; k < octets_.size(); ++k)
            if (octets_[k] != '\x5A') __builtin_trap();
    }

private:
    static constexpr std::size_t kGarde = 16;
    std::string octets_;
    std::size_t taille_;
};

}  // namespace fuzz
