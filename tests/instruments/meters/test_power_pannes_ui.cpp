// Both power meters while their reading cycle runs against a meter that fails: each fault is
// said once on the main panel's status list when it begins and once when the meter answers
// again, never as a pop-up; meanwhile no reading comes and the channels show missing values;
// once repaired, the readings resume by themselves. And a start right after a stop, which finds
// the meter still measuring, says nothing.
#include "tests/instruments/meters/power_essai.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace power_essai;

// Both plugins, set to both sensors: the plain meter reads its windows whatever the port holds,
// the switched one moves sensor A on D2 and sensor B on D4.
struct Type {
    const char *cle;
    std::size_t bloc_capteur;
    int lignes_a, lignes_b;
    std::size_t bloc_bits;  // 0: no switch
};
constexpr Type kTypes[] = {
    {"4419.dll", 8, 0, 0, 0},
    {"4419_sw.dll", 12, 4, 16, 8},
};

class PowermetresEnPanne : public BancE4419B {
protected:
    PInstrument *Preparer(const Type &t) {
        mesureur->FixerLignes(1, static_cast<std::uint8_t>(t.lignes_a));
        mesureur->FixerLignes(2, static_cast<std::uint8_t>(t.lignes_b));
        PInstrument *i = Lister(t.cle);
        if (i == nullptr) return nullptr;
        EcrireEntierBloc(i, t.bloc_capteur, 6);
        if (t.bloc_bits != 0) EcrireEntierBloc(i, t.bloc_bits, t.lignes_a | t.lignes_b);
        return i;
    }
    // The instrument, alone in the list, leaves it; the next case on a new meter.
    void Suivant(PInstrument *i) {
        i->stop(i);
        liste_instru = Supprimer_instru(liste_instru, liste_instru);
        NouveauMesureur();
    }
    // A fault of the meter in place when it begins.
    std::function<void()> Panne(std::function<void(sim::Defauts &)> regler) {
        return [this, regler] { Defaut(mesureur, regler)(); };
    }
};

TEST_F(PowermetresEnPanne, AFaultIsSaidOnceTheChannelsShowMissingValuesAndTheReadingsResume) {
    struct Cas {
        const char *nom;
        std::function<void()> debut;
        std::string texte;
    };
    const std::string sans_reponse = "pas de réponse de l'appareil (GPIB0::7)"_w;
    const Cas cas[] = {
        {"unplugged", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); }, sans_reponse},
        {"silent", Panne([](sim::Defauts &d) { d.muet = true; }), sans_reponse},
        {"garbage", Panne([](sim::Defauts &d) { d.charabia = true; }),
         "réponse illisible de l'appareil (GPIB0::7)"_w},
        {"empty replies",
         Panne([](sim::Defauts &d) {
             d.charabia = true;
             d.texteCharabia.clear();
         }),
         "réponse illisible de l'appareil (GPIB0::7)"_w},
        {"triggers refused", Panne([](sim::Defauts &d) { d.ecritureRefusee = "*TRG"; }), sans_reponse},
    };
    for (const Type &t : kTypes) {
        for (const Cas &c : cas) {
            SCOPED_TRACE(std::string(t.cle) + ": " + c.nom);
            PInstrument *i = Preparer(t);
            ASSERT_NE(i, nullptr);
            // A name of its own: its lines are told from those of any other instrument.
            const std::string nom = std::string("En panne ") + t.cle;
            i->set_nom_instru(i, nom.c_str());
            ASSERT_GE(i->init(i), 0);
            ASSERT_EQ(i->start(i) & 0x8000, 0);
            const Voies depart = LireVoies(i);
            ASSERT_TRUE(LaisserLesLignes([&] { return ToutesNouvelles(LireVoies(i), depart); }));
            const std::size_t deja = Statuts().size();
            const auto Dits = [&] { return LignesDe(nom, deja); };
            const std::string reprise = nom + " : " + "l'appareil répond de nouveau"_w;

            c.debut();
            ASSERT_TRUE(LaisserLesLignes([&] { return !Dits().empty(); }));
            const Voies touche = LireVoies(i);
            ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
            EXPECT_EQ(Dits(), std::vector<std::string>{nom + " : " + c.texte}) << "said once, whatever its length";
            const Voies pendant = LireVoies(i);
            EXPECT_EQ(pendant.numeros, touche.numeros) << "no reading";
            EXPECT_TRUE(MemesValeurs(pendant.valeurs, std::vector<double>(pendant.valeurs.size(), std::nan(""))))
                << "a gap in the records, not the last readings repeated";

            // Repaired: the meter is back, and so are its readings, said once.
            mesureur->FixerDefauts({});
            sim::BusDeCarte(0)->Brancher(kAdresse, mesureur);
            ASSERT_TRUE(
                LaisserLesLignes([&] { return ToutesNouvelles(LireVoies(i), pendant) && Dits().size() >= 2; }))
                << testing::PrintToString(Dits());
            ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
            EXPECT_EQ(Dits(), (std::vector<std::string>{nom + " : " + c.texte, reprise}));
            EXPECT_TRUE(PopupsVus().empty()) << "nothing pops up from the bus thread";

            Suivant(i);
        }
    }
}

// A stop leaves the meter measuring once more; a start right after it, before that measurement
// has ended, still gets its readings, and nothing is said.
TEST_F(PowermetresEnPanne, AStartRightAfterAStopSaysNothing) {
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Preparer(t);
        ASSERT_NE(i, nullptr);
        const std::size_t deja = Statuts().size();
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        ASSERT_NO_FATAL_FAILURE(Cycles(2));
        i->stop(i);
        ASSERT_NO_FATAL_FAILURE(Cycles(3));  // the last relaunch: the meter is measuring
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        const Voies depart = LireVoies(i);
        ASSERT_TRUE(LaisserLesLignes([&] { return ToutesNouvelles(LireVoies(i), depart); }));
        ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
        const std::vector<std::string> tous = Statuts();
        EXPECT_EQ(std::vector<std::string>(tous.begin() + static_cast<std::ptrdiff_t>(deja), tous.end()),
                  std::vector<std::string>{});
        EXPECT_TRUE(PopupsVus().empty());
        Suivant(i);
    }
}

}  // namespace
