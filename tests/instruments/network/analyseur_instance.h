// The network analyser's instance against the simulated analyser, for the tests that open its
// panels: the settings block's offsets, the settings a loaded block gives, init and start, one
// measurement cycle, and what the channels and the analyser's transcript hold.
#pragma once

#include "framework/instrument.h"
#include "instruments/catalogue.h"
#include "instruments/network/Analyseur_reseau.h"
#include "instruments/network/analyseur_commandes.h"
#include "platform/ui_test.h"
#include "tests/instruments/network/analyseur_essai.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace analyseur_essai {

using Lignes = std::vector<std::string>;

inline constexpr std::size_t kIdentificateur = 4, kNombrePoint = 8, kStopInterruption = 12, kNumero = 16, kPanel = 20,
                      kChemin = 24, kConfiguration = 412, kRangeStart = 416, kRangeStop = 420, kGateStart = 424,
                      kGateStop = 428, kConfigS = 432, kFreqTemp = 436, kGate = 440, kAutoscale = 444;
inline constexpr int kPoints = 401;                 // the simulated sweep
inline const std::string kRelance("TRS;WFS\0", 8);  // launches a sweep

inline float LireReel(PInstrument *i, std::size_t offset) {
    float v;
    std::memcpy(&v, DebutBloc(i) + offset, 4);
    return v;
}
inline void EcrireReel(PInstrument *i, std::size_t offset, float v) { std::memcpy(DebutBloc(i) + offset, &v, 4); }

// The analyser's trace and abscissae of a block reply, converted as the plugin converts them.
inline std::vector<double> Valeurs(std::string bloc, int parPoint, int rang) {
    const std::size_t debut = 2 + static_cast<std::size_t>(bloc[1] - '0');
    std::vector<double> v(kPoints);
    EXPECT_TRUE(anritsu_convert_fields(bloc.substr(debut), kPoints, 19 * parPoint, 19 * rang, v.data()));
    return v;
}

class Analyseur : public PanneauxInstrument {
protected:
    // On the fake clock, or on the real one.
    explicit Analyseur(bool horloge_factice = true) : horloge_factice_(horloge_factice) {}

    void SetUp() override {
        PanneauxInstrument::SetUp();
        banc = std::make_unique<BancAnalyseur>(horloge_factice_);
        a = Nouvel_instrument("Analyseur_reseau.dll");
        ASSERT_NE(a, nullptr);
    }
    void TearDown() override {
        if (a) a->liberer(a);
        banc.reset();
        PanneauxInstrument::TearDown();
    }

    sim::MS4623B &Sim() { return *banc->analyseur; }

    // The settings, as a loaded settings block gives them.
    void Regler(int configuration, int configS, int freq_temp, int gate, int autoscale) {
        EcrireEntierBloc(a, kConfiguration, configuration);
        EcrireEntierBloc(a, kConfigS, configS);
        EcrireEntierBloc(a, kFreqTemp, freq_temp);
        EcrireEntierBloc(a, kGate, gate);
        EcrireEntierBloc(a, kAutoscale, autoscale);
    }
    // init and start that succeed, the transcript then emptied.
    void Demarrer() {
        ASSERT_EQ(a->init(a), 0);
        ASSERT_EQ(a->start(a) & 0x8000, 0);
        Sim().EffacerJournal();
    }
    // A little more than one sweep: it ends, and its cycle launches the next (the `n`-th launch
    // since the transcript was emptied).
    void Cycle(int n) {
        horloge::AvancerHorlogeFactice(0.6);
        ASSERT_TRUE(AttendreQue([&] { return Ecrits(Sim(), kRelance) >= n; })) << "cycle " << n;
    }
    std::vector<double> Voie(int voie) {
        std::vector<double> v(static_cast<std::size_t>(a->get_taille_voie2D(a, voie)));
        a->mesure2D(a, voie, v.data());
        return v;
    }
    std::vector<double> Abscisses() {
        std::vector<double> v(static_cast<std::size_t>(a->get_taille_voie2D(a, 1)));
        a->indices2D(a, 1, v.data());
        return v;
    }
    // The last block the analyser sent ("#"... reads are the header, the next one its payload).
    std::string DernierBloc(int rang_depuis_la_fin = 0) {
        const auto j = Sim().Journal();
        int vus = 0;
        for (auto it = j.rbegin(); it != j.rend(); ++it) {
            if (it->genre != sim::Evenement::Genre::Lecture || it->octets.size() < 20) continue;
            if (vus++ < rang_depuis_la_fin) continue;
            // Rebuild the whole reply from the three header reads before it.
            std::string longueur = (it + 1)->octets, chiffre = (it + 2)->octets;
            return "#" + chiffre + longueur + it->octets;
        }
        ADD_FAILURE() << "no block read";
        return "#10";
    }

    void AttendrePopup(const char *titre, const char *texte) {
        const auto vus = ui_test::Vus();
        ASSERT_EQ(vus.size(), 1u);
        EXPECT_EQ(vus[0].titre, titre);
        EXPECT_EQ(vus[0].message, texte);
        ui_test::Effacer();
    }

    std::unique_ptr<BancAnalyseur> banc;
    PInstrument *a = nullptr;

private:
    bool horloge_factice_;
};

}  // namespace analyseur_essai
