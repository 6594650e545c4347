// What the four counter plugins have in common, checked for each: the failures of init and of
// start with their pop-ups, a notification that carries only the error bit, a new acquisition
// started while the previous request is still due, freeing the instrument while its
// notification is armed or its callback runs, and a counter that fails while it runs.
#include "gpib/GLOBALES.h"
#include "gpib/HP5313XA.h"
#include "instruments/counters/compteur_commun.h"
#include "platform/utility.h"
#include "tests/instruments/counters/compteur_essai.h"
#include "tests/support/panne_essai.h"
#include "tests/support/repondeur.h"

#include <QCoreApplication>

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
    // What replies without a number leave in the channels.
    Pendant illisibles = Pendant::Anciennes;
};
const char *const kEcouteurCompteur = "Il faudrait penser à brancher le compteur à l'adresse "_w;
const Type kTypes[] = {
    {"5313x_2v.dll", 4, 0, true, kEcouteurCompteur, 20, 8},
    {"5313x_1v.dll", 4, 0, true, kEcouteurCompteur, 20, 8},
    {"5313x_sw.dll", 4, 0, false, kEcouteurCompteur, 24, 12},
    {"HP53131_phase.dll", 136, 128, true, "Il faudrait penser à brancher l'appareil à l'adresse "_w, 0, 0,
     Pendant::Manquantes},
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
    // A new instrument of type `t` under the name `nom` (its status lines are told from any other
    // instrument's), initialised and started; null when it could not be made.
    PInstrument *Lancer(const Type &t, const std::string &nom) {
        PInstrument *i = Nouveau(t);
        if (!i) return nullptr;
        i->set_nom_instru(i, nom.c_str());
        EXPECT_GE(i->init(i), 0);
        EXPECT_EQ(i->start(i) & 0x8000, 0);
        return i;
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

// The lines of the status list after its first `deja`, once `attendues` of them at least have
// come (posted calls run at the event loop's next poll) and the event loop has run a while more,
// so that a line too many would be there too.
std::vector<std::string> LignesDepuis(std::size_t deja, std::size_t attendues) {
    EXPECT_TRUE(Attendre(
        [&] {
            QCoreApplication::processEvents();
            return Statuts().size() >= deja + attendues;
        },
        0));
    const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (std::chrono::steady_clock::now() < fin) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::vector<std::string> tous = Statuts();
    return {tous.begin() + static_cast<std::ptrdiff_t>(std::min(deja, tous.size())), tous.end()};
}

// The readings of all the channels.
unsigned Total(const Voies &v) {
    unsigned n = 0;
    for (const unsigned k : v.numeros) n += k;
    return n;
}

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

// A stop that lands while a callback runs ends the cycle with that callback: its relaunch is the
// last, and no request after it is served (no reading, input switch or line move more). The
// counter is a responder that holds the callback inside its reading's query while stop runs.
TEST_F(Compteurs, AStopDuringACallbackEndsTheCycleWithIt) {
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        auto repondeur = std::make_shared<essai::Repondeur>();
        repondeur->Repondre("*IDN?", kIdentite);
        repondeur->Repondre(":SYST:ERR?", "+0,\"No error\"\n");
        repondeur->Repondre("*ESR?", "+1\n");
        // The phase counter averages (its default mode); the others fetch a frequency.
        const std::string lecture = t.couplage == 0 ? ":CALC3:DATA?" : "FETCH:FREQ?";
        repondeur->Repondre(lecture, Lecture(1e6));
        // Each measurement launched completes at once.
        for (const char *lancement : {":INIT:IMM;*OPC", ":INIT:IMM;*WAI;*OPC"}) repondeur->DemanderServiceApres(lancement);
        sim::BusDeCarte(0)->Brancher(kAdresse, repondeur);
        PInstrument *i = Nouveau(t);
        ASSERT_NE(i, nullptr);
        ASSERT_GE(i->init(i), 0);
        ASSERT_EQ(i->start(i) & 0x8000, 0);
        ASSERT_TRUE(PopupsVus().empty());
        ASSERT_TRUE(Attendre([&] { return Envois(*repondeur, kRelance) >= 2; }, 0));

        repondeur->Retenir(lecture);
        ASSERT_TRUE(Attendre([&] { return repondeur->Retenu(); }, 0));
        EcrituresPort();  // the line of the switched counter has moved before its query
        i->stop(i);
        repondeur->Relacher();
        // The last relaunch completes, and its request stays up: nobody serves it.
        ASSERT_TRUE(Attendre([&] { return !repondeur->Retenu() && repondeur->DemandeService(); }, 0));
        Patienter();
        EXPECT_TRUE(repondeur->DemandeService());
        const std::vector<std::string> apres = repondeur->ApresRetenue();
        ASSERT_FALSE(apres.empty());
        EXPECT_EQ(apres.back(), kRelance) << "the held callback ends with its relaunch";
        EXPECT_EQ(std::count(apres.begin(), apres.end(), kRelance), 1) << testing::PrintToString(apres);
        EXPECT_EQ(std::count(apres.begin(), apres.end(), lecture), 0) << "no reading after the stop's callback";
        EXPECT_TRUE(EcrituresPort().empty()) << "no line move after it";
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

// A counter that fails while the acquisition runs, one fault after another for each type: the
// fault is said once on the status list when it begins, whatever its length, and once when the
// counter answers again; meanwhile a counter that does not answer or measure gives no reading
// (NaN, its counts stay), a silent one counts missing readings, one answering garbage keeps its
// last value (the phase counter counts missing readings); afterwards its readings resume by
// themselves.
TEST_F(Compteurs, AFaultWhileRunningIsSaidOnceAndTheReadingsResume) {
    const std::string sans_reponse = "pas de réponse de l'appareil"_w;
    const CasDePanne cas[] = {
        {"unplugged", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); }, sans_reponse, Pendant::Rien},
        {"silent", Defaut(compteur, [](sim::Defauts &d) { d.muet = true; }), sans_reponse, Pendant::Manquantes},
        {"garbage", Defaut(compteur, [](sim::Defauts &d) { d.charabia = true; }), "réponse illisible de l'appareil"_w,
         Pendant::Anciennes},
        {"launch refused", Defaut(compteur, [](sim::Defauts &d) { d.ecritureRefusee = ":INIT:IMM"; }), sans_reponse,
         Pendant::Rien},
    };
    // Program time passes by steps of `pas` (and the status list is written) until `condition`
    // holds.
    const auto Laisser = [](const std::function<bool()> &condition, double pas = 0.1) {
        return Attendre(
            [&] {
                QCoreApplication::processEvents();
                return condition();
            },
            pas);
    };
    // Long enough for several looks at a counter that does not request service.
    const auto DeuxMinutes = [&] {
        const double fin = horloge::Secondes() + 120;
        ASSERT_TRUE(Laisser([&] { return horloge::Secondes() >= fin; }, 0.5));
    };
    for (const Type &t : kTypes) {
        for (const CasDePanne &c : cas) {
            SCOPED_TRACE(std::string(t.cle) + ": " + c.nom);
            const std::string nom = std::string("En panne ") + t.cle;
            PInstrument *i = Lancer(t, nom);
            ASSERT_NE(i, nullptr);
            const auto Lectures = [&] { return LireVoies(i); };
            ASSERT_TRUE(AttendreCycles({compteur.get()}, [&] { return Total(Lectures()) >= 4; }));
            const Voies avant = Lectures();
            const std::vector<double> manquantes(avant.valeurs.size(), compteur::NaN());
            const std::size_t deja = Statuts().size();
            // The lines of this instrument since the case began.
            const auto Dits = [&] { return LignesDe(nom, deja); };
            const std::string panne = nom + " : " + c.texte + " (GPIB0::" + std::to_string(kAdresse) + ")";
            const std::string reprise = nom + " : " + "l'appareil répond de nouveau"_w;

            c.debut();
            ASSERT_TRUE(Laisser([&] { return !Dits().empty(); }));
            const Voies touche = Lectures();
            ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
            EXPECT_EQ(Dits(), std::vector<std::string>{panne}) << "said once, whatever its length";
            const Voies pendant = Lectures();
            switch (c.pendant == Pendant::Anciennes ? t.illisibles : c.pendant) {
            case Pendant::Rien:
                EXPECT_EQ(pendant.numeros, touche.numeros) << "no reading";
                EXPECT_TRUE(MemesValeurs(pendant.valeurs, manquantes));
                break;
            case Pendant::Manquantes:
                EXPECT_GT(Total(pendant), Total(touche)) << "missing readings counted";
                EXPECT_TRUE(MemesValeurs(pendant.valeurs, manquantes));
                break;
            case Pendant::Anciennes:
                EXPECT_GT(Total(pendant), Total(touche)) << "readings counted";
                EXPECT_TRUE(MemesValeurs(pendant.valeurs, avant.valeurs)) << "the last value kept";
                break;
            }

            // Repaired: the counter is back, and so are its readings.
            compteur->FixerDefauts({});
            sim::BusDeCarte(0)->Brancher(kAdresse, compteur);
            const Voies repare = Lectures();
            ASSERT_TRUE(Laisser([&] { return ToutesNouvelles(Lectures(), repare) && Dits().size() >= 2; }))
                << testing::PrintToString(Dits());
            EXPECT_TRUE(MemesValeurs(Lectures().valeurs, avant.valeurs));
            ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
            EXPECT_EQ(Dits(), (std::vector<std::string>{panne, reprise}));
            EXPECT_TRUE(PopupsVus().empty()) << "no pop-up from the bus thread";
            i->stop(i);
            Retirer(i);
        }
    }
}

// A measurement that outlasts the counter's time-out is no fault: the looks at the counter that
// the time-outs bring find it measuring, nothing is said, and its reading is filed when it comes.
TEST_F(Compteurs, AMeasurementLongerThanTheTimeOutIsNoFault) {
    for (const Type &t : kTypes) {
        SCOPED_TRACE(t.cle);
        compteur->FixerDureeMesure(1, 15.0);
        compteur->FixerDureeMesure(2, 15.0);
        const std::string nom = std::string("Lent ") + t.cle;
        PInstrument *i = Lancer(t, nom);
        ASSERT_NE(i, nullptr);
        Transcription(*compteur);
        ASSERT_TRUE(AttendreCycles({compteur.get()}, [&] { return Envois(*compteur, kRelance) >= 2; }, 0.05, 300.0));
        const Lignes lignes = Transcription(*compteur);
        EXPECT_GT(std::count(lignes.begin(), lignes.end(), SP), 2 * (t.cle == std::string("5313x_2v.dll") ? 2 : 1))
            << "looks at the counter while it measured";
        EXPECT_EQ(Total(LireVoies(i)), 2u) << "one reading per measurement, and a measurement launched after each";
        for (const double v : LireVoies(i).valeurs) EXPECT_FALSE(std::isnan(v));
        for (const std::string &l : LignesDepuis(0, 0)) EXPECT_FALSE(l.starts_with(nom)) << l;
        i->stop(i);
        Retirer(i);
        compteur = Placer(kAdresse);
    }
}

// The look at a counter that has not requested service for a time-out, case by case, on a
// counter of its own: what it puts on the bus, what it answers, what it says and what becomes of
// the channel.
TEST_F(Compteurs, TheLookAfterATimeOut) {
    struct Cas {
        const char *nom;
        bool en_marche;     // stop has not run
        bool mesure;        // a measurement under way (or else the counter idle)
        bool terminee;      // that measurement has completed, its request up
        bool relance_due;   // a launch did not get through before
        std::function<void()> panne;
        bool servir;        // the callback goes on to serve a reading
        Lignes bus;
        bool dit, nan, relance_due_apres;
    };
    const Lignes relance = {SP, W("*ESR?"), R("+0\n"), W(kRelance)};
    const Cas cas[] = {
        {"after stop", false, true, true, true, {}, false, {}, false, false, true},
        {"still measuring", true, true, false, false, {}, false, {SP}, false, false, false},
        {"completed after all", true, true, true, false, {}, true, {SP}, false, false, false},
        {"idle, a launch owed", true, false, false, true, {}, false, relance, false, false, false},
        {"idle, nothing owed", true, false, false, false, {}, false, {SP}, false, false, false},
        {"unplugged", true, true, false, false, [] { sim::BusDeCarte(0)->Debrancher(kAdresse); }, false, {}, true,
         true, true},
        {"its launch refused", true, false, false, true,
         [this] {
             sim::Defauts d;
             d.ecritureRefusee = ":INIT";
             compteur->FixerDefauts(d);
         },
         false, {SP, W("*ESR?"), R("+0\n")}, true, true, true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        compteur = Placer(kAdresse);
        compteur->FixerDureeMesure(1, 30.0);
        const int ud = ibdev(0, kAdresse, 0, T10s, 1, 1);
        ASSERT_GE(ud, 0);
        // A completed measurement requests service.
        ibecr(ud, "*ESE 1");
        ibecr(ud, "*SRE 32");
        if (c.mesure) ibecr(ud, kRelance.c_str());
        if (c.terminee) {
            ASSERT_TRUE(Attendre([&] { return compteur->DemandeService(); }, 1.0));
        }
        if (c.panne) c.panne();
        Transcription(*compteur);

        compteur::Marche m;
        char nom[kLongueurNomInstru] = "Sous veille";
        m.suivi.Preparer(nom, kAdresse);
        m.suivi.FixerDue(c.relance_due);
        std::int32_t stop = c.en_marche ? RQS : 0;
        double voie = 12.5;
        const std::size_t deja = Statuts().size();
        EXPECT_EQ(compteur::Veiller(ud, stop, m, {&voie, 1}), c.servir);

        sim::BusDeCarte(0)->Brancher(kAdresse, compteur);
        EXPECT_EQ(Transcription(*compteur), c.bus);
        EXPECT_EQ(std::isnan(voie), c.nan);
        EXPECT_EQ(m.suivi.Due(), c.relance_due_apres);
        EXPECT_EQ(compteur->DemandeService(), c.terminee && !c.servir) << "a request is left up after stop only";
        EXPECT_EQ(LignesDepuis(deja, c.dit ? 1 : 0), c.dit ? std::vector<std::string>{"Sous veille : pas de réponse de l'appareil (GPIB0::9)"_w}
                              : std::vector<std::string>{});
        ibonl(ud, 0);
    }
}

}  // namespace
