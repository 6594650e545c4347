// The oscilloscope, the gain-phase analyser and the network analyser when their instrument fails
// while an acquisition runs: unplugged, silent, answering garbage, or not taking the launch of
// the next measurement. Each fault is said once on the main panel's status list when it begins
// and once when the instrument answers again; no reading is invented meanwhile (a measurement
// missed is missing, or not counted); the user-interface thread never waits for the bus; and the
// readings resume by themselves once the fault is gone.
#include "app/Interface.h"
#include "framework/instrument.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "sim/analysers/hp4194.h"
#include "sim/analysers/tds3052.h"
#include "sim/appareil.h"
#include "sim/bus.h"
#include "sim/network/ms4623b.h"
#include "tests/instruments/analysers/test_tektro3052.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A plugin and the simulated instrument it drives.
struct Modele {
    const char *cle;
    int adresse;  // the plugin's own address
    std::shared_ptr<sim::Appareil> (*creer)();
    const char *lancement;              // the command that launches the next measurement
    void (*regler)(PInstrument *);      // settings before init
    bool compte_les_manques;            // a measurement missed still counts, its values missing
};

const Modele kModeles[] = {
    // One channel of 500 points, for speed.
    {"tektro3052.dll", 4, sim::CreerTds3052, "ACQ:STATE RUN",
     [](PInstrument *i) {
         EcrireEntierBloc(i, 272, 500);  // horrecord
         EcrireEntierBloc(i, 344, 0);    // selmath
     },
     true},
    {"bode_hp4194.dll", 23, sim::CreerHp4194, "SWTRG", [](PInstrument *) {}, true},
    // Log magnitude of S21 over frequency, without autoscale.
    {"Analyseur_reseau.dll", 6, sim::CreerMS4623B, "TRS;WFS",
     [](PInstrument *i) {
         for (const auto &[offset, valeur] : {std::pair{412, 1}, {432, 3}, {436, 1}, {440, 1}, {444, 1}})
             EcrireEntierBloc(i, static_cast<std::size_t>(offset), valeur);
     },
     false},
};

enum class Genre { Debranche, Muet, Charabia, LancementRefuse };
struct Faute {
    const char *nom;
    Genre genre;
    bool illisible;  // said as a reply that cannot be read, rather than no answer
};
const Faute kFautes[] = {
    {"unplugged", Genre::Debranche, false},
    {"silent", Genre::Muet, false},
    {"garbage", Genre::Charabia, true},
    {"launch refused", Genre::LancementRefuse, false},
};

class PannesEnAcquisition : public BancTest {
protected:
    void TearDown() override {
        if (p) p->liberer(p);
        p = nullptr;
        BancTest::TearDown();
    }

    // A call of the user-interface thread into the plugin, timed: it never waits for the bus.
    template <class F>
    auto Chrono(F &&f) {
        const auto debut = std::chrono::steady_clock::now();
        auto r = f();
        const std::chrono::duration<double> duree = std::chrono::steady_clock::now() - debut;
        attente_max = std::max(attente_max, duree.count());
        return r;
    }
    unsigned Numero() { return Chrono([&] { return p->numero2D(p, 1); }); }
    std::vector<double> Voie() {
        return Chrono([&] {
            std::vector<double> v(static_cast<std::size_t>(p->get_taille_voie2D(p, 1)));
            p->mesure2D(p, 1, v.data());
            return v;
        });
    }
    static bool Manquante(const std::vector<double> &v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
    }
    static bool Entiere(const std::vector<double> &v) {
        return !v.empty() && std::none_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
    }

    // One second of program time; the notification thread (which looks at the device every
    // 10 ms) and the event loop then catch up.
    static void Seconde() {
        horloge::AvancerHorlogeFactice(1.0);
        for (int k = 0; k < 4; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            QCoreApplication::processEvents();
        }
    }
    // Seconds of program time until `condition`, 120 at most.
    static bool JusquA(const std::function<bool()> &condition) {
        for (int s = 0; s < 120; ++s) {
            if (condition()) return true;
            Seconde();
        }
        return condition();
    }
    // The cycle waits for its next measurement: the launch was the last thing written.
    bool AuRepos(const sim::Appareil &a, const Modele &m) {
        return tek_essai::AttendreQue([&] {
            const std::vector<std::string> e = a.Ecritures();
            return !e.empty() && e.back().starts_with(m.lancement);
        });
    }
    // The status lines of the instrument, without its name.
    std::vector<std::string> Lignes() {
        char nom[kLongueurNomInstru] = "";
        p->get_nom_instru(p, nom);
        const std::string debut = std::string(nom) + " : ";
        std::vector<std::string> r;
        for (const std::string &s : Statuts())
            if (s.starts_with(debut)) r.push_back(s.substr(debut.size()));
        return r;
    }

    tek_essai::Carte0 carte;
    PInstrument *p = nullptr;
    double attente_max = 0.0;
};

TEST_F(PannesEnAcquisition, SaidOnceReadingsNeverInventedAndResumingByThemselves) {
    for (const Modele &m : kModeles) {
        for (const Faute &f : kFautes) {
            SCOPED_TRACE(std::string(m.cle) + ", " + f.nom);
            ClearListCtrl(panel_commande, P_Commande_STATUS);
            const auto bus = sim::BusDeCarte(0);
            const std::shared_ptr<sim::Appareil> appareil = m.creer();
            bus->Brancher(m.adresse, appareil);
            p = Nouvel_instrument(m.cle);
            ASSERT_NE(p, nullptr);
            m.regler(p);
            ASSERT_GE(p->init(p), 0);
            ASSERT_EQ(p->start(p) & ERR, 0);
            ASSERT_TRUE(JusquA([&] { return Numero() >= 2 && Entiere(Voie()); })) << "readings before the fault";
            ASSERT_TRUE(AuRepos(*appareil, m));

            // The fault, for a minute.
            sim::Defauts d;
            switch (f.genre) {
            case Genre::Debranche: bus->Debrancher(m.adresse); break;
            case Genre::Muet: d.muet = true; break;
            case Genre::Charabia: d.charabia = true; break;
            case Genre::LancementRefuse: d.ecritureRefusee = m.lancement; break;
            }
            appareil->FixerDefauts(d);
            attente_max = 0.0;
            unsigned numero = Numero();
            bool deja_lancee = f.genre == Genre::LancementRefuse;  // taken whole: only its launch fails
            for (int s = 0; s < 60; ++s) {
                Seconde();
                const unsigned n = Numero();
                if (n == numero) continue;
                numero = n;
                const std::vector<double> v = Voie();
                if (std::exchange(deja_lancee, false) && Entiere(v)) continue;
                EXPECT_TRUE(m.compte_les_manques) << "a trace not read is not counted";
                EXPECT_TRUE(Manquante(v)) << "measurement " << n << " is missing, not invented";
            }
            const std::string adresse = "(GPIB0::" + std::to_string(m.adresse) + ")";
            const std::string texte = std::string(f.illisible ? "réponse illisible de l'appareil "_w
                                                              : "pas de réponse de l'appareil "_w) + adresse;
            EXPECT_EQ(Lignes(), std::vector<std::string>{texte}) << "said once";

            // Repaired: the readings come back by themselves, and it is said once.
            if (f.genre == Genre::Debranche) bus->Brancher(m.adresse, appareil);
            appareil->FixerDefauts({});
            const unsigned avant = Numero();
            EXPECT_TRUE(JusquA([&] { return Numero() > avant && Entiere(Voie()); })) << "readings resume";
            EXPECT_TRUE(JusquA([&] { return Lignes().size() >= 2; }));
            for (int s = 0; s < 20; ++s) Seconde();
            EXPECT_EQ(Lignes(), (std::vector<std::string>{texte, "l'appareil répond de nouveau"_w}));
            EXPECT_GT(Numero(), avant + 2) << "and go on";
            EXPECT_LT(attente_max, 0.1) << "the user-interface thread waited for the bus";

            p->stop(p);
            p->liberer(p);
            p = nullptr;
            bus->Debrancher(m.adresse);
        }
    }
}

}  // namespace
