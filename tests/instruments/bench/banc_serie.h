// What the tests of the serial bench devices share: a bench configuration whose COM ports are
// simulated devices on pseudo-terminals (the plugin opens them through the same termios code a
// real port gets), on the fake clock, with everything closed and put back afterwards; and a
// fixture holding one instance of a plugin on such a bench.
#pragma once

#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/rs232.h"
#include "sim/serie/ligne.h"
#include "sim/serie/peripheriques.h"
#include "sim/transcription.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

class BancSerie {
public:
    static constexpr std::time_t kDebut = 1765370096;

    // `configuration`: the bench configuration's lines ("com2 = sim:Pousse_Seringue\n").
    explicit BancSerie(const std::string &configuration = {}) {
        horloge::UtiliserHorlogeFactice(kDebut);
        Configurer(configuration);
    }
    ~BancSerie() {
        FermerTousLesPortsCom();
        sim::serie::ArreterLignes();
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        horloge::UtiliserHorlogeReelle();
    }
    BancSerie(const BancSerie &) = delete;
    BancSerie &operator=(const BancSerie &) = delete;

    void Configurer(const std::string &configuration) {
        const std::string chemin = dossier_.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << configuration;
        RechargerConfigurationBanc(chemin.c_str());
    }

    // The device on COM`port` (started now if the configuration names one and none runs yet).
    std::shared_ptr<sim::serie::Ligne> Ligne(int port) const {
        if (auto l = sim::serie::LigneDuPort(port)) return l;
        const std::string modele = ConfigurationBanc().PeripheriqueSimuleCom(port);
        return modele.empty() ? nullptr : sim::serie::DemarrerLigne(modele, port);
    }

private:
    QTemporaryDir dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

// An instance of the catalogue's `cle`, made by SetUp on a bench whose COM ports are the
// simulated devices of `configuration`, freed by TearDown (unless the test freed it and left
// `instrument` null), which then checks that no panel outlived it.
class InstrumentSerie : public PanneauxInstrument {
protected:
    InstrumentSerie(const char *cle, std::string configuration)
        : cle_(cle), configuration_(std::move(configuration)) {}
    void SetUp() override {
        PanneauxInstrument::SetUp();
        banc_ = std::make_unique<BancSerie>(configuration_);
        instrument = Nouvel_instrument(cle_);
        ASSERT_NE(instrument, nullptr) << cle_;
    }
    void TearDown() override {
        if (instrument != nullptr) instrument->liberer(instrument);
        banc_.reset();
        PanneauxInstrument::TearDown();
    }

    PInstrument *instrument = nullptr;
    std::unique_ptr<BancSerie> banc_;

private:
    const char *cle_;
    std::string configuration_;
};
