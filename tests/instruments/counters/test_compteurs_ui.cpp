// What the four counter plugins have in common, checked for each: the failures of init and of
// start with their pop-ups, a notification that carries only the error bit, a new acquisition
// started while the previous request is still due, and freeing the instrument while its
// notification is armed or its callback runs.
#include "gpib/GLOBALES.h"
#include "gpib/HP5313XA.h"
#include "platform/utility.h"
#include "tests/instruments/counters/compteur_essai.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace compteur_essai;

constexpr int kAdresse = 9;

// Each type with the offsets of its block that the tests write.
struct Type {
    const char *cle;
    std::size_t adresse, identificateur;
    bool verifie_carte;
    const char *ecouteur;  // the no-listener message without its address
    // Set up through the counter driver (0: by direct commands): offsets of the coupling and
    // of the digits.
    std::size_t couplage, digits;
};
const char *const kEcouteurCompteur = "Il faudrait penser à brancher le compteur à l'adresse "_w;
const Type kTypes[] = {
    {"5313x_2v.dll", 4, 0, true, kEcouteurCompteur, 20, 8},
    {"5313x_1v.dll", 4, 0, true, kEcouteurCompteur, 20, 8},
    {"5313x_sw.dll", 4, 0, false, kEcouteurCompteur, 24, 12},
    {"HP53131_phase.dll", 136, 128, true, "Il faudrait penser à brancher l'appareil à l'adresse "_w, 0, 0},
};

using Popups_t = std::vector<std::pair<std::string, std::string>>;

class Compteurs : public BancCompteurs {
protected:
    void SetUp() override {
        BancCompteurs::SetUp();
        if (HasFatalFailure()) return;
        compteur = Placer(kAdresse);
    }
    PInstrument *Nouveau(const Type &t) {
        PInstrument *i = Lister(t.cle);
        if (i) EcrireEntierBloc(i, t.adresse, kAdresse);
        // The phase counter's means of two measurements only: its requests come sooner.
        if (i && t.couplage == 0) EcrireEntierBloc(i, 144, 2);
        return i;
    }
    static void Cycles(sim::Appareil &a, int n) {
        ASSERT_TRUE(Attendre([&] { return Envois(a, kRelance) >= n; })) << Envois(a, kRelance);
        EXPECT_EQ(Envois(a, kRelance), n);
    }
    // The instrument leaves the list (and is freed).
    static void Retirer(PInstrument *i) {
        for (fichei *n = liste_instru; n; n = n->suivant)
            if (n->plugin == i) {
                liste_instru = Supprimer_instru(liste_instru, n);
                return;
            }
        ADD_FAILURE() << "not listed";
    }

    std::shared_ptr<sim::Compteur5313x> compteur;
};

std::string TexteStatut(ViStatus statut) {
    char texte[256] = {};
    hp5313xa_errorMessage(VI_NULL, statut, texte);
    return texte;
}

TEST_F(Compteurs, InitFailuresShowTheirPopup) {
    struct Cas {
        const char *nom;
        std::function<void(const Type &, PInstrument *)> panne;
        std::function<Popups_t(const Type &)> popups;
        int resultat = -1;
        bool frequencemetres_seuls = false;
    };
    const auto PasBon = [](const Type &t) {
        return Popups_t{{"PAS BON", t.ecouteur + std::to_string(kAdresse) + " !!!"}};
    };
    const Cas cas[] = {
        {"no board", [this](const Type &, PInstrument *) { ConfigurerBanc("gpib0 = none\nparport = sim\n"); },
         [&](const Type &t) {
             // The switched counter does not look for the board: no device answers either.
             return t.verifie_carte ? Popups_t{{"Problème de carte"_w, "Carte GPIB non détectée"_w}} : PasBon(t);
         }},
        {"no counter at the address",
         [](const Type &, PInstrument *) { sim::BusDeCarte(0)->Debrancher(kAdresse); }, PasBon},
        {"address beyond the bus", [](const Type &t, PInstrument *i) { EcrireEntierBloc(i, t.adresse, 31); },
         [](const Type &t) { return Popups_t{{"PAS BON", t.ecouteur + std::string("31 !!!")}}; }},
        {"another instrument",
         [this](const Type &, PInstrument *) { compteur->FixerIdentite("HEWLETT-PACKARD,34401A,0,11-5-2"); },
         [](const Type &) { return Popups_t{{"Erreur", "Modèle non supporté par ce module !"_w}}; }},
        {"coupling out of range in the block",
         [](const Type &t, PInstrument *i) { EcrireEntierBloc(i, t.couplage, 5); },
         [](const Type &) { return Popups_t{{"inputCond", TexteStatut(VI_ERROR_PARAMETER3)}}; }, VI_ERROR_PARAMETER3,
         true},
        {"digits the counter refuses",
         [](const Type &t, PInstrument *i) { EcrireEntierBloc(i, t.digits, 2); },
         [](const Type &) { return Popups_t{{"inputCond", TexteStatut(hp5313xa_ERROR_INSTRUMENT_ERROR)}}; },
         hp5313xa_ERROR_INSTRUMENT_ERROR, true},
    };
    for (const Type &t : kTypes) {
        for (const Cas &c : cas) {
            if (c.frequencemetres_seuls && t.couplage == 0) continue;
            SCOPED_TRACE(std::string(t.cle) + ": " + c.nom);
            PInstrument *i = Nouveau(t);
            ASSERT_NE(i, nullptr);
            EcrireEntierBloc(i, t.identificateur, 1234);
            c.panne(t, i);
            port->Fixer(0xA5);
            const Popups_t attendus = c.popups(t);
            Popups(static_cast<int>(attendus.size()));
            EXPECT_EQ(i->init(i), c.resultat);
            EXPECT_EQ(PopupsVus(), attendus);
            if (c.resultat == -1) {
                EXPECT_EQ(LireEntierBloc(i, t.identificateur), 1234) << "no descriptor kept";
                EXPECT_TRUE(EcrituresPort().empty()) << "the switch line stays as it was";
            }
            // The next case on a fresh bench.
            Retirer(i);
            ConfigurerBanc("gpib0 = sim\nparport = sim\n");
            port = sim::RegistreParalleleDuBanc();
            compteur = Placer(kAdresse);
        }
    }
}

// The three failures of the arming, each with its pop-up and result; a failed launch leaves no
// notification armed, and the core's stop after a failed start leaves nothing loaded.
TEST_F(Compteurs, StartFailuresShowTheirPopup) {
    const std::string interruption =
        "Impossible d'initialiser l'interruption\nsur le fréquencemètre d'identificateur "_w;
    const std::string lancement = "Impossible de lancer une mesure\nsur le fréquencemètre d'identificateur "_w;
    for (const Type &t : kTypes) {
        for (const char *refus : {"*SRE 32", "notification", ":INIT:IMM"}) {
            SCOPED_TRACE(std::string(t.cle) + ": " + refus);
            PInstrument *i = Nouveau(t);
            ASSERT_NE(i, nullptr);
            const std::vector<int> avant = ui_test::PanneauxCharges();
            ASSERT_GE(i->init(i), 0);
            const int ud = LireEntierBloc(i, t.identificateur);
            sim::Defauts d;
            if (std::string(refus) == "notification") d.notificationRefusee = true;
            else d.ecritureRefusee = refus;
            compteur->FixerDefauts(d);
            Popups(1);
            const int resultat = i->start(i);
            // A refused write waits for its time-out (ERR, TIMO; iberr EABO, nothing sent).
            const std::string etat = std::to_string(ud) + "\n iberr=6 \n ibsta=c000\nibcntl=0";
            if (std::string(refus) == "*SRE 32") {
                EXPECT_EQ(resultat, ERR | TIMO);
                EXPECT_EQ(PopupsVus(), (Popups_t{{"Attention !!!", interruption + etat}}));
            } else if (std::string(refus) == "notification") {
                EXPECT_EQ(resultat, -1);
                EXPECT_EQ(PopupsVus(), (Popups_t{{"Attention !!!",
                                                  "Impossible d'initialiser le fréquencemètre\nd'adresse "_w +
                                                      std::to_string(kAdresse)}}));
            } else {
                EXPECT_EQ(resultat, ERR | TIMO);
                EXPECT_EQ(PopupsVus(), (Popups_t{{"Attention !!!", lancement + etat}}));
                // A measurement launched anyway (the next write gets through) finds nobody.
                compteur->FixerDefauts({});
                Transcription(*compteur);
                ibecr(ud, kRelance.c_str());
                EXPECT_TRUE(Attendre([&] { return compteur->DemandeService(); }));
                Patienter();
                EXPECT_EQ(Transcription(*compteur), Lignes{W(kRelance)});
            }
            i->stop(i);
            EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "the watchdog goes with the stop";
            compteur->FixerDefauts({});
            Retirer(i);
        }
    }
}

// A notification that carries the error bit alone ends the cycle without a word to the counter
// (nor a move of the switch line); with other bits, it is a request like any other.
TEST_F(Compteurs, NotificationWithTheErrorBitAlone) {
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Nouveau(t);
        ASSERT_NE(i, nullptr);
        ASSERT_GE(i->init(i), 0);
        sim::Defauts d;
        d.notificationForcee = ERR | RQS;
        compteur->FixerDefauts(d);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        Transcription(*compteur);
        EcrituresPort();
        ASSERT_NO_FATAL_FAILURE(Cycles(*compteur, 1));
        // The counter goes on measuring: on a loaded machine a further cycle may already be in.
        EXPECT_GE(i->numero_1D(i, 1), 1u);

        // The counter goes on measuring meanwhile: count from here on.
        const auto Lectures = [&] { return i->numero_1D(i, 1) + (i->nb_voie_1D(i) > 1 ? i->numero_1D(i, 2) : 0); };
        d.notificationForcee = ERR;
        compteur->FixerDefauts(d);
        Transcription(*compteur);
        EcrituresPort();
        const unsigned avant = Lectures();
        EXPECT_TRUE(Attendre([&] { return compteur->LireDefauts().notificationForcee == 0; }));
        EXPECT_TRUE(Attendre([&] { return compteur->DemandeService(); })) << "the measurement under way completes";
        Patienter();
        EXPECT_TRUE(Transcription(*compteur).empty());
        EXPECT_TRUE(EcrituresPort().empty());
        EXPECT_EQ(Lectures(), avant);
        EXPECT_TRUE(compteur->DemandeService()) << "nobody serves the request any more";
        i->stop(i);
        Retirer(i);
        compteur->FixerDefauts({});
    }
}

// Stopped with a measurement under way, then started again at once, several times: each init
// takes the old notification down, so that each completion is served once, by the new cycle.
TEST_F(Compteurs, ANewAcquisitionServesEachRequestOnce) {
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Nouveau(t);
        ASSERT_NE(i, nullptr);
        for (int acquisition = 0; acquisition < 3; ++acquisition) {
            ASSERT_GE(i->init(i), 0);
            ASSERT_EQ(i->start(i) & 0x8000, 0);
            Transcription(*compteur);
            ASSERT_NO_FATAL_FAILURE(Cycles(*compteur, 2));
            i->stop(i);
        }
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        Transcription(*compteur);
        ASSERT_NO_FATAL_FAILURE(Cycles(*compteur, 4));
        const Lignes lignes = Transcription(*compteur);
        EXPECT_EQ(std::count(lignes.begin(), lignes.end(), SP), t.cle == std::string("5313x_2v.dll") ? 8 : 4)
            << "one serial poll (two for the two-channel counter) per request";
        Retirer(i);
    }
}

// Freed while its notification is armed, or while its callback waits for the counter: liberer
// waits for the callback, and nothing reaches the freed record afterwards. (The clock runs, sped
// up, so that a read really waits for its time-out.)
TEST_F(Compteurs, FreedWhileTheCycleRuns) {
    horloge::UtiliserHorlogeReelle();
    horloge::FixerVitesse(200.0);
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Nouveau(t);
        ASSERT_NE(i, nullptr);
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        ASSERT_TRUE(Attendre([&] { return Envois(*compteur, kRelance) >= 1; }, 0));
        Retirer(i);
        Transcription(*compteur);
        ASSERT_TRUE(Attendre([&] { return compteur->DemandeService(); }, 0));
        Patienter();
        EXPECT_TRUE(Transcription(*compteur).empty()) << "a request after liberer reaches nobody";

        i = Nouveau(t);
        ASSERT_GE(i->init(i), 0);
        sim::Defauts muet;
        muet.muet = true;
        compteur->FixerDefauts(muet);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        Transcription(*compteur);
        // The callback has asked for its reading, which never comes.
        ASSERT_TRUE(Attendre(
            [&] {
                const auto j = compteur->Journal();
                return !j.empty() && j.back().genre == sim::Evenement::Genre::Ecriture &&
                       j.back().octets.find('?') != std::string::npos && j.back().octets.rfind("*ESR?", 0) != 0;
            },
            0));
        Retirer(i);
        compteur->FixerDefauts({});
        Transcription(*compteur);
        Patienter();
        EXPECT_TRUE(Transcription(*compteur).empty()) << "the callback ended before the record went";
        compteur = Placer(kAdresse);
    }
}

}  // namespace
