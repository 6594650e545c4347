// What the thermal chamber's tests share: board 0 simulated with the chamber at address 3 (the
// plugin's default), on the fake clock unless the test has a clock of its own.
#pragma once

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/bench/enceinte_thermique.h"
#include "sim/bus.h"
#include "sim/transcription.h"

#include <QTemporaryDir>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>

namespace enceinte_essai {

constexpr int kAdresse = 3;
constexpr std::time_t kDebut = 1765370096;

// The set-point frames of the table the chamber's documentation gives, byte for byte.
inline std::string Trame(const std::string &charge, char controle) {
    return "\x04"
           "0011\x02" +
           charge + "\x03" + std::string(1, controle) + "\r";
}

class BancEnceinte {
public:
    explicit BancEnceinte(bool horloge_factice = true) : horloge_(horloge_factice) {
        const std::string chemin = dossier_.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << "gpib0 = sim\n";
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
        if (horloge_) horloge::UtiliserHorlogeFactice(kDebut);
        sim::BusDeCarte(0)->Vider();
        enceinte = std::make_shared<sim::EnceinteThermique>();
        sim::BusDeCarte(0)->Brancher(kAdresse, enceinte);
    }
    ~BancEnceinte() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
        if (horloge_) horloge::UtiliserHorlogeReelle();
    }
    BancEnceinte(const BancEnceinte &) = delete;
    BancEnceinte &operator=(const BancEnceinte &) = delete;

    std::shared_ptr<sim::EnceinteThermique> enceinte;

private:
    bool horloge_;
    QTemporaryDir dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

}  // namespace enceinte_essai
