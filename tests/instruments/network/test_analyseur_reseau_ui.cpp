// "Anritsu MS4623B" against the simulated analyser: the exact bytes of init, start and the
// service-request cycle, the calibration upload, the configuration panel, the failures the
// instrument reports, the stop after one more cycle, freeing while a cycle runs, and an
// acquisition from the main panel recording the resonance.
#include "app/Interface.h"
#include "framework/liste.h"
#include "graphs/graph3D.h"
#include "instruments/catalogue.h"
#include "instruments/network/Analyseur_reseau.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "platform/utility.h"
#include "tests/instruments/network/analyseur_essai.h"
#include "tests/instruments/network/analyseur_instance.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"
#include "uir/UIR_analyseur.h"
#include "uir/UIR_graph3D.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace analyseur_essai;

// ---- init, start and the cycle on the bus -----------------------------------------------------

TEST_F(Analyseur, InitStartAndOneCycleOnTheBus) {
    Regler(1, 3, 1, 1, 0);  // log magnitude of S21 over frequency, autoscale
    EcrireEntierBloc(a, kPanel, 4321);  // a handle brought back by a settings file
    Sim().EffacerJournal();
    ASSERT_EQ(a->init(a), 0);
    EXPECT_EQ(Transcription(Sim()), (Lignes{"clear", "> *IDN?\\0", "< ANRITSU,MS4623B,000000,1.08\\n", "> FQD",
                                             "> CH1;S21;MAG", "> ASC", "> ONCP", "< 401\\n"}));
    EXPECT_GT(LireEntierBloc(a, kIdentificateur), 0);
    EXPECT_EQ(LireEntierBloc(a, kNombrePoint), kPoints);
    EXPECT_EQ(LireEntierBloc(a, kStopInterruption), 0x800);
    EXPECT_EQ(LireEntierBloc(a, kNumero), 0);
    EXPECT_GT(LireEntierBloc(a, kPanel), 0) << "the hidden copy of the panel";
    EXPECT_NE(LireEntierBloc(a, kPanel), 4321) << "a restored handle is not taken for a live one";
    EXPECT_EQ(a->nb_voie2D(a), 1);
    EXPECT_EQ(a->get_taille_voie2D(a, 1), kPoints);

    Sim().EffacerJournal();
    const int sta = a->start(a);
    EXPECT_EQ(sta & 0x8000, 0);
    EXPECT_EQ(Transcription(Sim()), (Lignes{"poll 0", "> *CLS\\0", "> IEM 8\\0", "> HLD\\0", "> *SRE 128\\0",
                                             "> *ESR?\\0", "< +0\\n", "> TRS;WFS\\0"}));

    Sim().EffacerJournal();
    Cycle(1);
    EXPECT_EQ(Transcription(Sim()),
              (Lignes{"> OFD", "< #", "< 4", "< 7619", "< (7620 bytes)", "> OFV", "< #", "< 4", "< 7619",
                      "< (7620 bytes)", "> *CLS\\0", "poll 192", "> ASC", "> TRS;WFS\\0"}));
    EXPECT_EQ(a->numero2D(a, 1), 1u);
    EXPECT_EQ(Voie(1), Valeurs(DernierBloc(1), 1, 0));
    const std::vector<double> f = Abscisses();
    ASSERT_EQ(f.size(), static_cast<std::size_t>(kPoints));
    EXPECT_EQ(f.front(), 1.5e9);
    EXPECT_EQ(f[1], static_cast<double>(static_cast<float>(1.5025e9))) << "taken in single precision";
    EXPECT_EQ(f.back(), 2.5e9);
    const std::vector<double> v = Voie(1);
    const auto pic = std::max_element(v.begin(), v.end()) - v.begin();
    EXPECT_NEAR(f[static_cast<std::size_t>(pic)], Sim().Resonance(), 2.5e6);

    // The next sweeps are counted 2, 3.
    Cycle(2);
    Cycle(3);
    EXPECT_EQ(a->numero2D(a, 2), 3u);
    EXPECT_EQ(Ecrits(Sim(), "OFD"), 3);
}

// What one cycle asks and which rows it changes, by display format, domain and autoscale.
TEST_F(Analyseur, CycleTable) {
    struct Cas {
        const char *nom;
        int configuration, freq_temp, autoscale;
        int voies;
        const char *axe;      // query of the abscissae, "" for none
        bool asc;
    } const cas[] = {
        {"log magnitude over frequency", 1, 1, 0, 1, "OFV", true},
        {"phase, frequency with gate, no autoscale", 2, 3, 1, 1, "OFV", false},
        {"log magnitude and phase over time", 5, 2, 0, 2, "OTV", true},
        {"linear magnitude and phase, no domain", 6, 0, 1, 2, "", false},
        {"Smith chart", 4, 1, 0, 1, "OFV", true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Regler(c.configuration, 1, c.freq_temp, 1, c.autoscale);
        EcrireReel(a, kRangeStart, 0.0f);
        EcrireReel(a, kRangeStop, 2e-8f);
        // Rows and abscissae hold markers that a cycle overwrites or leaves.
        ASSERT_EQ(a->init(a), 0);
        ASSERT_EQ(a->start(a) & 0x8000, 0);
        EXPECT_EQ(a->nb_voie2D(a), c.voies);
        Sim().EffacerJournal();
        Cycle(1);
        std::vector<std::string> ecrits;
        for (const std::string &e : Sim().Ecritures()) ecrits.push_back(analyseur_essai::Lisible(e));
        std::vector<std::string> attendu = {"OFD"};
        if (*c.axe) attendu.emplace_back(c.axe);
        attendu.emplace_back("*CLS\\0");
        if (c.asc) attendu.emplace_back("ASC");
        attendu.emplace_back("TRS;WFS\\0");
        EXPECT_EQ(ecrits, attendu);
        const int blocs = *c.axe ? 2 : 1;
        EXPECT_EQ(Voie(1), Valeurs(DernierBloc(blocs - 1), c.voies, 0));
        if (c.voies == 2) {
            EXPECT_EQ(Voie(2), Valeurs(DernierBloc(blocs - 1), 2, 1));
        }
        if (*c.axe) {
            EXPECT_EQ(Abscisses(), Valeurs(DernierBloc(0), 1, 0));
        }
        a->stop(a);
        Cycle(2);  // the last cycle, before the next case's init
    }
}

TEST_F(Analyseur, NoAxisQueryLeavesTheAbscissaeAndOneSeriesLeavesThePhaseRow) {
    Regler(5, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    a->stop(a);
    Cycle(2);
    const std::vector<double> frequences = Abscisses(), phase = Voie(2);
    Regler(1, 3, 0, 1, 1);
    Demarrer();
    Cycle(1);
    EXPECT_EQ(Ecrits(Sim(), "OFV") + Ecrits(Sim(), "OTV"), 0);
    EXPECT_EQ(Abscisses(), frequences) << "unchanged without a domain";
    EXPECT_EQ(Voie(2), phase) << "row 1 is not read with one series";
    EXPECT_NE(Voie(1), Voie(2));
}

TEST_F(Analyseur, StopEndsAfterExactlyOneMoreCycleAndTheNextStartConsumesItsRequest) {
    Regler(1, 3, 1, 1, 1);
    Demarrer();
    const int panel = LireEntierBloc(a, kPanel);
    Cycle(1);
    a->stop(a);
    EXPECT_EQ(LireEntierBloc(a, kStopInterruption), 0);
    Cycle(2);  // the sweep launched before the stop is still read, and one more launched
    EXPECT_EQ(a->numero2D(a, 1), 2u);
    horloge::AvancerHorlogeFactice(5.0);
    EXPECT_FALSE(AttendreQue([&] { return Ecrits(Sim(), "OFD") > 2; }, std::chrono::milliseconds(200)));
    EXPECT_TRUE(Sim().DemandeService()) << "the last sweep's request waits for the next start";

    // A second acquisition: a new descriptor in place of the first, the same hidden panel, the
    // request consumed, counting from 1.
    const int ancien = LireEntierBloc(a, kIdentificateur);
    Sim().EffacerJournal();
    ASSERT_EQ(a->init(a), 0);
    EXPECT_NE(ibwrt(ancien, "*CLS", 4) & ERR, 0) << "the first descriptor is closed";
    EXPECT_EQ(ThreadIberr(), EDVR);
    EXPECT_EQ(LireEntierBloc(a, kPanel), panel);
    EXPECT_EQ(a->numero2D(a, 1), 0u);
    ASSERT_EQ(a->start(a) & 0x8000, 0);
    const Lignes t = Transcription(Sim());
    const auto poll = std::find(t.begin(), t.end(), "poll 192");
    ASSERT_NE(poll, t.end());
    EXPECT_EQ(*(poll + 1), "> *CLS\\0") << "one poll clears it";
    Sim().EffacerJournal();
    Cycle(1);
    EXPECT_EQ(a->numero2D(a, 1), 1u);
}

TEST_F(Analyseur, LibererRightAfterStopOrDuringACycleIsSafe) {
    Regler(1, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    a->stop(a);
    a->liberer(a);  // the notification is still armed for the last sweep
    a = nullptr;
    horloge::AvancerHorlogeFactice(1.0);
    EXPECT_FALSE(AttendreQue([&] { return Ecrits(Sim(), "OFD") > 1; }, std::chrono::milliseconds(200)));

    // Freed while a cycle waits for the device lock: liberer waits for the cycle to end.
    a = Nouvel_instrument("Analyseur_reseau.dll");
    Regler(1, 3, 1, 1, 1);
    Demarrer();
    std::atomic<bool> tenu{false}, lacher{false};
    std::thread t([&] {
        const int verrou = gestion_lock("GPIB0:6");
        CmtGetLock(verrou);
        tenu = true;
        while (!lacher) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        CmtReleaseLock(verrou);
    });
    ASSERT_TRUE(AttendreQue([&] { return tenu.load(); }));
    horloge::AvancerHorlogeFactice(0.6);
    EXPECT_FALSE(AttendreQue([&] { return Ecrits(Sim(), "OFD") > 0; }, std::chrono::milliseconds(200)))
        << "the cycle waits for the device lock";
    EXPECT_EQ(a->numero2D(a, 1), 0u) << "the channels are read meanwhile, without the device lock";
    EXPECT_EQ(Voie(1).size(), static_cast<std::size_t>(kPoints));
    lacher = true;
    a->liberer(a);
    a = nullptr;
    t.join();
    EXPECT_EQ(Ecrits(Sim(), "OFD"), 1) << "the cycle ran to its end";
    EXPECT_EQ(Ecrits(Sim(), kRelance), 1);
}

TEST_F(Analyseur, ErrorAloneEndsTheNotificationWithoutTraffic) {
    Regler(1, 3, 1, 1, 1);
    sim::Defauts d;
    d.notificationForcee = 0x8000;
    Sim().FixerDefauts(d);
    Demarrer();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Sim().Ecritures().empty());
    horloge::AvancerHorlogeFactice(0.6);
    EXPECT_FALSE(AttendreQue([&] { return !Sim().Ecritures().empty(); }, std::chrono::milliseconds(200)));

    // Another status with the error bit runs the whole cycle.
    a->stop(a);
    d.notificationForcee = 0x8800;
    Sim().FixerDefauts(d);
    ASSERT_EQ(a->init(a), 0);
    Sim().EffacerJournal();
    ASSERT_EQ(a->start(a) & 0x8000, 0);
    ASSERT_TRUE(AttendreQue([&] { return Ecrits(Sim(), kRelance) == 2; })) << "start's launch and the cycle's";
    EXPECT_EQ(Ecrits(Sim(), "OFD"), 1);
}

// A block that did not come whole is missing (NaN) in its rows for that sweep, never the previous
// sweep's values; the sweep is counted only when its blocks came whole, and the next sweep is
// launched all the same.
TEST_F(Analyseur, BrokenBlocksLeaveAGapAndRelaunch) {
    const auto Manquante = [](const std::vector<double> &v) {
        return !v.empty() && std::all_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
    };
    Regler(1, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    const std::vector<double> frequences = Abscisses();
    struct Cas {
        const char *nom, *commande;
        std::string reponse;
        bool fin;
        bool trace_lue, axe_lu;  // the axis is not asked for once the analyser stops answering
    } const cas[] = {
        {"short trace", "OFD", "#47619" + std::string(3000, ' '), true, false, true},
        {"trace of too few points", "OFD", "#3190" + std::string(190, '1') + "\n", true, false, true},
        {"trace header garbage", "OFD", "ERROR\n", true, false, true},
        {"trace time-out", "OFD", "#47619" + std::string(100, '1'), false, false, false},
        {"axis too long", "OFV", "#9999999999\n", true, true, false},
        {"axis missing", "OFV", "", false, true, false},
    };
    int n = 1;
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Sim().RemplacerReponse(c.commande, c.reponse, c.fin);
        Cycle(++n);
        EXPECT_EQ(a->numero2D(a, 1), 1u);
        if (c.trace_lue) {
            EXPECT_EQ(Voie(1), Valeurs(DernierBloc(0), 1, 0));
        } else {
            EXPECT_TRUE(Manquante(Voie(1)));
        }
        if (c.axe_lu) {
            EXPECT_EQ(Abscisses(), frequences);
        } else {
            EXPECT_TRUE(Manquante(Abscisses()));
        }
        EXPECT_EQ(Sim().SortieEnAttente(), "");
    }
    Cycle(++n);
    EXPECT_EQ(a->numero2D(a, 1), 2u);
    EXPECT_EQ(Voie(1), Valeurs(DernierBloc(1), 1, 0));
    EXPECT_EQ(Abscisses(), frequences);

    // With magnitude and phase, a trace that did not come leaves both rows missing.
    a->stop(a);
    Cycle(++n);
    Regler(5, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    ASSERT_EQ(a->nb_voie2D(a), 2);
    Sim().RemplacerReponse("OFD", "ERROR\n");
    Cycle(2);
    EXPECT_TRUE(Manquante(Voie(1)));
    EXPECT_TRUE(Manquante(Voie(2)));
    EXPECT_EQ(Abscisses(), frequences);
    Cycle(3);
    EXPECT_EQ(Voie(2), Valeurs(DernierBloc(1), 2, 1));
}

// Unplugged during the acquisition: the channels keep the last trace; plugged back, the request
// of the sweep that ended meanwhile resumes the cycle.
TEST_F(Analyseur, UnpluggedMidRunKeepsTheLastTraceAndResumes) {
    Regler(5, 3, 1, 1, 1);
    Demarrer();
    Cycle(1);
    const std::vector<double> trace = Voie(1), phase = Voie(2);
    sim::Defauts d;
    d.debranche = true;
    Sim().FixerDefauts(d);
    horloge::AvancerHorlogeFactice(3.0);
    EXPECT_FALSE(AttendreQue([&] { return Ecrits(Sim(), "OFD") > 1; }, std::chrono::milliseconds(200)));
    EXPECT_EQ(a->numero2D(a, 1), 1u);
    EXPECT_EQ(Voie(1), trace);
    EXPECT_EQ(Voie(2), phase);
    Sim().FixerDefauts({});
    ASSERT_TRUE(AttendreQue([&] { return Ecrits(Sim(), kRelance) >= 2; }));
    EXPECT_EQ(a->numero2D(a, 2), 2u);
}

// ---- failures ---------------------------------------------------------------------------------

TEST_F(Analyseur, InitFailuresShowTheirMessageAndCloseTheDevice) {
    Regler(1, 3, 1, 1, 1);
    struct Cas {
        const char *nom;
        std::function<void()> preparer;
        const char *titre, *texte;
        bool bus;  // the analyser saw something
    } const cas[] = {
        {"no board", [this] { banc->Configurer("gpib0 = none\n"); }, "Problème de carte"_w,
         "Carte GPIB non détectée"_w, false},
        {"switched off",
         [this] {
             sim::Defauts d;
             d.debranche = true;
             Sim().FixerDefauts(d);
         },
         "Attention", "Il faudrait allumer l'analyseur", false},
        {"another instrument", [this] { Sim().FixerIdentite("HEWLETT-PACKARD,4194A,0,1"); }, "Erreur",
         "Modèle non supporté par ce module !"_w, true},
        {"point count garbage", [this] { Sim().RemplacerReponse("ONCP", "points\n"); }, "Erreur",
         "Nombre de points par trace non reconnu (analyseur)", true},
        {"point count 0", [this] { Sim().RemplacerReponse("ONCP", "0\n"); }, "Erreur",
         "Nombre de points par trace non reconnu (analyseur)", true},
        {"point count beyond the rows", [this] { Sim().RemplacerReponse("ONCP", "5000\n"); }, "Erreur",
         "Nombre de points par trace non reconnu (analyseur)", true},
        {"no point count", [this] { Sim().RemplacerReponse("ONCP", "", false); }, "Erreur",
         "Nombre de points par trace non reconnu (analyseur)", true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        EcrireEntierBloc(a, kIdentificateur, 77);
        EcrireEntierBloc(a, kNombrePoint, 12);
        Sim().EffacerJournal();
        c.preparer();
        ui_test::Repondre(ui_test::Popup::Message);
        EXPECT_EQ(a->init(a), -1);
        AttendrePopup(c.titre, c.texte);
        EXPECT_EQ(Sim().Journal().empty(), !c.bus);
        EXPECT_EQ(LireEntierBloc(a, kNombrePoint), 12);
        if (!c.bus) {
            EXPECT_EQ(LireEntierBloc(a, kIdentificateur), 77) << "keeps its previous value";
        } else {
            EXPECT_NE(ibwrt(LireEntierBloc(a, kIdentificateur), "*CLS", 4) & ERR, 0) << "the device is closed again";
        }
        EXPECT_EQ(a->nb_voie2D(a), 1);
        EXPECT_EQ(a->get_taille_voie2D(a, 1), 12);
        // Put right, the next init opens the analyser again.
        banc.reset();
        banc = std::make_unique<BancAnalyseur>();
        Sim().EffacerJournal();
        ASSERT_EQ(a->init(a), 0);
        EXPECT_EQ(Transcription(Sim()).at(1), "> *IDN?\\0");
    }
    // Without its resource file init fails without a word (the panel it loads is missing).
    a->liberer(a);
    a = Nouvel_instrument("Analyseur_reseau.dll");
    SansRessources();
    EXPECT_EQ(a->init(a), -1);
    EXPECT_TRUE(ui_test::Vus().empty());
}

// Leaves the bus as soon as it has received "*ESR?", so that the write that follows finds no
// listener.
class QuitteApresEsr final : public sim::Appareil {
    void Recu(std::string_view octets, bool) override {
        if (octets.substr(0, 5) == "*ESR?") sim::BusDeCarte(0)->Debrancher(kAdresse);
    }
};

TEST_F(Analyseur, StartFailuresShowTheirMessage) {
    Regler(1, 3, 1, 1, 1);
    ASSERT_EQ(a->init(a), 0);
    sim::Defauts d;
    d.ecrituresBloquees = 4;
    Sim().FixerDefauts(d);
    ui_test::Repondre(ui_test::Popup::Message);
    int sta = a->start(a);
    EXPECT_NE(sta & 0x8000, 0);
    AttendrePopup("Attention !!!", "Impossible d'initialiser l'interruption (analyseur)");
    a->stop(a);

    ASSERT_EQ(a->init(a), 0);
    d = {};
    d.notificationRefusee = true;
    Sim().FixerDefauts(d);
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(a->start(a), -1);
    AttendrePopup("Attention !!!", "Impossible d'initialiser l'analyseur");
    a->stop(a);

    // The launch cannot be written: the notification is cancelled before start returns.
    Sim().FixerDefauts({});
    ASSERT_EQ(a->init(a), 0);
    sim::BusDeCarte(0)->Brancher(kAdresse, std::make_shared<QuitteApresEsr>());
    ui_test::Repondre(ui_test::Popup::Message);
    sta = a->start(a);
    EXPECT_NE(sta & 0x8000, 0);
    AttendrePopup("Attention !!!", "Impossible de lancer une mesure");
    sim::BusDeCarte(0)->Brancher(kAdresse, banc->analyseur);
    Sim().EffacerJournal();
    const int ud = ibdev(0, kAdresse, NO_SAD, T10s, 1, 1);
    ibwrt(ud, "IEM 8;*SRE 128;TRS", 18);
    horloge::AvancerHorlogeFactice(0.6);
    EXPECT_TRUE(Sim().DemandeService());
    EXPECT_FALSE(AttendreQue([&] { return Ecrits(Sim(), "OFD") > 0; }, std::chrono::milliseconds(200)));
    ibonl(ud, 0);
}

// ---- calibration upload -------------------------------------------------------------------------

class AnalyseurCalibration : public Analyseur {
protected:
    // A calibration file of `taille` bytes (no line feed in it, the last one not blank).
    std::string Fichier(std::size_t taille, const char *nom = "essai.cal") {
        std::string contenu(taille, '\0');
        for (std::size_t k = 0; k < taille; ++k) contenu[k] = static_cast<char>(k % 9 == 0 ? 0 : 'A' + k % 26);
        if (taille > 0) contenu.back() = 'Z';
        const auto chemin = banc->Dossier() / nom;
        EcrireFichier(chemin, contenu);
        EcrireTexteBloc(a, kChemin, 260, chemin.string());
        return contenu;
    }
};

TEST_F(AnalyseurCalibration, UploadRecallAndHandOverBeforeTheConfiguration) {
    Regler(1, 3, 1, 1, 1);
    const std::string contenu = Fichier(12345);
    Sim().EffacerJournal();
    ASSERT_EQ(a->init(a), 0);
    EXPECT_EQ(Transcription(Sim()),
              (Lignes{"clear", "> *IDN?\\0", "< ANRITSU,MS4623B,000000,1.08\\n", "> LSB;OID", "< MS4623B,000000,1.08\\n",
                      "> PDT0;*IDN?", "< ANRITSU,MS4623B,000000,1.08\\n", "> (12373 bytes)", "> RECALL \"C:\\A.CAL\"",
                      "> *CLS;*ESE 255;*SRE 48\\1", "> *OPC;TXX? \\1", "< 1\\n", "> *CLS \\1", "> TIN", "> RTL",
                      "> *ESE 0;IEM 0;ILM 0;*SRE 0;PDT0", "> RTL", "> FQD", "> CH1;S21;MAG", "> ONCP", "< 401\\n"}));
    const std::string bloc = Sim().Ecritures().at(3);
    EXPECT_EQ(bloc, "DISKWR \"C:\\A.CAL\", #6012345" + contenu + "\n");
    EXPECT_EQ(Sim().Fichier("C:\\A.CAL"), contenu);
    EXPECT_EQ(Sim().CalibrationRappelee(), "C:\\A.CAL");
    // The file goes again at every init.
    ASSERT_EQ(a->init(a), 0);
    EXPECT_EQ(Ecrits(Sim(), bloc), 2);
}

TEST_F(AnalyseurCalibration, SizesMissingFileAndTheLongWaitForTheRecall) {
    for (const std::size_t taille : {std::size_t{0}, std::size_t{999999}}) {
        const std::string contenu = Fichier(taille);
        Sim().EffacerJournal();
        ASSERT_EQ(a->init(a), 0);
        char chiffres[8];
        std::snprintf(chiffres, sizeof chiffres, "%06zu", taille);
        EXPECT_EQ(Sim().Ecritures().at(3), std::string("DISKWR \"C:\\A.CAL\", #6") + chiffres + contenu + "\n");
        EXPECT_EQ(Sim().Ecritures().at(3).size(), 28 + taille);
        EXPECT_EQ(Sim().Fichier("C:\\A.CAL"), contenu);
    }
    struct Cas {
        const char *nom;
        std::function<void()> preparer;
        const char *texte;
    } const cas[] = {
        {"a million bytes", [this] { Fichier(1000000); },
         "Fichier de calibration trop gros (999999 octets au plus) !"},
        {"missing", [this] { EcrireTexteBloc(a, kChemin, 260, "/nonexistent/essai.cal"); },
         "Fichier de calibration non trouvé !"_w},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        c.preparer();
        Sim().EffacerJournal();
        ui_test::Repondre(ui_test::Popup::Message);
        EXPECT_EQ(a->init(a), -1);
        AttendrePopup("Fichier de calibration", c.texte);
        EXPECT_EQ(Transcription(Sim()), (Lignes{"clear", "> *IDN?\\0", "< ANRITSU,MS4623B,000000,1.08\\n"}))
            << "nothing of the upload is sent";
    }

    // The recall's answer is awaited up to 100 s; the replies after it 10 s again.
    Fichier(10);
    Sim().FixerDureeRappel(60.0);
    Sim().RemplacerReponse("ONCP", "", false);
    const double avant = horloge::Secondes();
    ui_test::Repondre(ui_test::Popup::Message);
    Sim().EffacerJournal();
    EXPECT_EQ(a->init(a), -1);
    ui_test::Effacer();
    const Lignes t = Transcription(Sim());
    EXPECT_NE(std::find(t.begin(), t.end(), "< 1\\n"), t.end()) << "the answer came after 60 s";
    EXPECT_NEAR(horloge::Secondes() - avant, 60.0 + 10.0, 1e-3);
}

// ---- the configuration panel --------------------------------------------------------------------

TEST_F(Analyseur, PanelShowsTheRecordAndOkStoresItInOrder) {
    const int p = PanneauCharge([&] { a->configure(a); });
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Analyseur de reseau");
    EXPECT_EQ(Valeur(p, PANEL_NUMERIC_7), 6);
    EXPECT_EQ(Valeur(p, PANEL_config), 0);
    EXPECT_EQ(Valeur(p, PANEL_SWEEP_2), 1);
    EXPECT_EQ(Valeur(p, PANEL_SWEEP_3), 0);
    EXPECT_EQ(Valeur(p, PANEL_SWEEP_4), 1);
    EXPECT_EQ(Valeur(p, PANEL_AUTOSCALE), 0);
    EXPECT_EQ(Chaine(p, PANEL_STRING), "");
    EXPECT_EQ(Libelles(p, PANEL_SWEEP_3),
              (std::vector<std::string>{"aucun", "Frequency no time gate", "Frequency  with time gate", "Time Bandpass"}));
    EXPECT_EQ(Libelles(p, PANEL_config),
              (std::vector<std::string>{"aucun", "Log magnitude", "Phase", "Linear magnitude", "Smith chart",
                                        "Log magnitude and phase", "Linear magnitude and phase"}));
    EXPECT_EQ(Libelles(p, PANEL_SWEEP_4), (std::vector<std::string>{"Gate setup OFF", "Gate setup ON", "Gate setup Display"}));
    EXPECT_EQ(Libelles(p, PANEL_SWEEP_2), (std::vector<std::string>{"S11", "S12", "S21", "S22"}));
    EXPECT_EQ(Libelles(p, PANEL_AUTOSCALE), (std::vector<std::string>{"YES", "NO"}));
    const std::pair<int, const char *> libelles[] = {
        {PANEL_NUMERIC_7, "Adresse"},    {PANEL_BUTTON_recup, "Recup"}, {PANEL_BUTTON_RAZ, "RAZ"},
        {PANEL_BUTTON_OK, "OK"},         {PANEL_START_2, "Gate Start"}, {PANEL_AUTOSCALE, "Autoscale"},
        {PANEL_STOP_2, "Gate Stop"},     {PANEL_START, "Range Start"},  {PANEL_STOP, "Range Stop"},
        {PANEL_BUTTON_6, "LOAD"}};
    for (const auto &[control, texte] : libelles) EXPECT_EQ(ui_test::TexteVisible(p, control), texte);

    // The domain ring's third item is 3, its fourth 2.
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_3, 2), 0);
    EXPECT_EQ(Valeur(p, PANEL_SWEEP_3), 3);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_3, 3), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_NUMERIC_7, 17), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_config, 5), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_2, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_4, 1), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_AUTOSCALE, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_START, -2.5), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_STOP, 20.0), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_START_2, 0.001), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_STOP_2, 0.004), 0);
    ASSERT_EQ(ui_test::EntrerTexte(p, PANEL_STRING, "/data/mesure 1.cal"), 0);
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 0) << "nothing is stored before OK";
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(a, 0), 17);
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 5);
    EXPECT_EQ(LireEntierBloc(a, kConfigS), 3);
    EXPECT_EQ(LireEntierBloc(a, kFreqTemp), 2);
    EXPECT_EQ(LireEntierBloc(a, kGate), 2);
    EXPECT_EQ(LireEntierBloc(a, kAutoscale), 1) << "NO";
    EXPECT_EQ(LireReel(a, kRangeStart), -2.5f);
    EXPECT_EQ(LireReel(a, kRangeStop), 20.0f);
    EXPECT_EQ(LireReel(a, kGateStart), 0.001f);
    EXPECT_EQ(LireReel(a, kGateStop), 0.004f);
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "/data/mesure 1.cal");
    EXPECT_EQ(a->nb_voie2D(a), 2);

    // A stored block shows as it is; two panels each store their own controls.
    const int p1 = PanneauCharge([&] { a->configure(a); });
    const int p2 = PanneauCharge([&] { a->configure(a); });
    EXPECT_EQ(Valeur(p1, PANEL_config), 5);
    EXPECT_EQ(Valeur(p2, PANEL_SWEEP_3), 2);
    EXPECT_EQ(Chaine(p2, PANEL_STRING), "/data/mesure 1.cal");
    ui_test::ChoisirElement(p1, PANEL_config, 1);
    ui_test::ChoisirElement(p2, PANEL_config, 3);
    ui_test::ChoisirElement(p2, PANEL_AUTOSCALE, 0);
    ASSERT_EQ(ui_test::Cliquer(p2, PANEL_BUTTON_OK), 0);
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 3);
    EXPECT_EQ(LireEntierBloc(a, kAutoscale), 0);
    ASSERT_EQ(ui_test::Cliquer(p1, PANEL_BUTTON_OK), 0);
    EXPECT_EQ(LireEntierBloc(a, kConfiguration), 1);
    EXPECT_EQ(LireEntierBloc(a, kAutoscale), 1);

    // A panel left open goes with its instrument (TearDown checks none is left).
    PanneauCharge([&] { a->configure(a); });
}

// The range and gate fields show single-precision numbers in scientific notation with three
// decimals; what the operator typed is stored whole, as a float.
TEST_F(Analyseur, RangeAndGateFieldsShowScientificNotationAndStoreTheFloat) {
    EcrireReel(a, kRangeStart, 12345678.0f);
    EcrireReel(a, kRangeStop, -2.5e-9f);
    EcrireReel(a, kGateStart, 0.0f);
    EcrireReel(a, kGateStop, 1.5e-9f);
    const int p = PanneauCharge([&] { a->configure(a); });
    const auto texte = [p](int control) {
        auto *champ = ui_test::Widget(p, control)->findChild<QLineEdit *>();
        return champ ? champ->text().toStdString() : std::string("?");
    };
    EXPECT_EQ(texte(PANEL_START), "1.235e+07");
    EXPECT_EQ(texte(PANEL_STOP), "-2.500e-09");
    EXPECT_EQ(texte(PANEL_START_2), "0.000e+00");
    EXPECT_EQ(texte(PANEL_STOP_2), "1.500e-09");

    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_SWEEP_3, 3), 0);  // time bandpass: range and gate
    ASSERT_EQ(ui_test::EntrerTexte(p, PANEL_START_2, "0.1"), 0);
    EXPECT_EQ(texte(PANEL_START_2), "1.000e-01");
    ASSERT_EQ(ui_test::EntrerTexte(p, PANEL_STOP, "123456789"), 0);
    EXPECT_EQ(texte(PANEL_STOP), "1.235e+08");
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_OK), 0);
    EXPECT_EQ(LireReel(a, kRangeStart), 12345678.0f) << "a value only shown is kept whole";
    EXPECT_EQ(LireReel(a, kRangeStop), 123456789.0f);
    EXPECT_EQ(LireReel(a, kGateStart), 0.1f);
    EXPECT_EQ(LireReel(a, kGateStop), 1.5e-9f);
}

TEST_F(Analyseur, LoadPutsTheChosenFileInTheRecordAtOnce) {
    const int p = PanneauCharge([&] { a->configure(a); });
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, "/bench/cal/s21.cal");
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_6), 0);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Choisir le fichier à charger"_w);
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "/bench/cal/s21.cal") << "before OK";
    EXPECT_EQ(Chaine(p, PANEL_STRING), "/bench/cal/s21.cal");
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NO_FILE_SELECTED, "/ignored.cal");
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_BUTTON_6), 0);
    EXPECT_EQ(LireTexteBloc(a, kChemin, 260), "/bench/cal/s21.cal") << "a cancelled choice changes nothing";
    EXPECT_EQ(Chaine(p, PANEL_STRING), "/bench/cal/s21.cal");
}

// A panel confirmed while the acquisition runs takes effect at the next init: the channels the
// core sized stay as they are.
TEST_F(Analyseur, PanelConfirmedDuringAnAcquisitionWaitsForTheNextInit) {
    Regler(1, 3, 1, 1, 1);
    Demarrer();
    const int p = PanneauCharge([&] { a->configure(a); });
    ui_test::ChoisirElement(p, PANEL_config, 5);
    ui_test::Cliquer(p, PANEL_BUTTON_OK);
    EXPECT_EQ(a->nb_voie2D(a), 1);
    char nom[kLongueurNomVoie] = "";
    a->get_nom_voie2D(a, 1, nom);
    EXPECT_STREQ(nom, "Log Magnitude");
    Cycle(1);
    EXPECT_EQ(a->numero2D(a, 1), 1u) << "still one series a point";
    a->stop(a);
    EXPECT_EQ(a->nb_voie2D(a), 2);
    Cycle(2);
    ASSERT_EQ(a->init(a), 0);
    EXPECT_EQ(Sim().LireReglages().format, sim::MS4623B::Format::LogMagPhase);
}

// ---- an acquisition from the main panel ---------------------------------------------------------

class AnalyseurAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        banc = std::make_unique<BancAnalyseur>(false);
    }
    void TearDown() override {
        BancTest::TearDown();
        banc.reset();
    }
    // One sampling period: the sweep ends, its cycle runs (counting the trace when it came
    // whole), the sampling timer ticks.
    void Tick(bool compte = true) {
        PInstrument *i = liste_instru->plugin;
        const unsigned avant = i->numero2D(i, 1);
        const int relances = Ecrits(*banc->analyseur, kRelance);
        horloge::AvancerHorlogeFactice(1.0);
        // The cycle counts the trace, then launches the next sweep: once that launch is in, the
        // next second's advance of the clock ends that sweep, however late this thread ran.
        ASSERT_TRUE(AttendreQue([&] {
            return (!compte || i->numero2D(i, 1) > avant) && Ecrits(*banc->analyseur, kRelance) > relances;
        }));
        EXPECT_EQ(i->numero2D(i, 1), compte ? avant + 1 : avant);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    // The analyser added from the catalogue and configured in its panel (log magnitude of S21
    // over frequency, no autoscale), then an acquisition started into "mesure.xls".
    void AjouterEtLancer() {
        Cliquer(panel_instru, P_Instru_Ajouter);
        const int dialogue = ui_test::PanneauxCharges().back();
        const std::vector<std::string> types = Libelles(dialogue, PANEL_Ajou_RING_Ajou_Type);
        const auto ligne = std::find(types.begin(), types.end(), "Anritsu MS4623B");
        ASSERT_NE(ligne, types.end());
        ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, static_cast<int>(ligne - types.begin())), 0);
        Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK);
        const int p = ui_test::PanneauxCharges().back();
        ASSERT_EQ(ui_test::Fenetre(p)->windowTitle(), "Analyseur de reseau");
        ui_test::ChoisirElement(p, PANEL_config, 1);   // log magnitude
        ui_test::ChoisirElement(p, PANEL_SWEEP_2, 2);  // S21
        ui_test::ChoisirElement(p, PANEL_SWEEP_3, 1);  // frequency
        ui_test::ChoisirElement(p, PANEL_AUTOSCALE, 1);
        Cliquer(p, PANEL_BUTTON_OK);

        const std::string chemin = dossier.filePath("mesure.xls").toStdString();
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, chemin);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1);
    }

    // One sample of the vector record file: its abscissae and its values.
    struct Enregistrement {
        std::vector<double> f, v;
    };
    // The vector record file: its header, then per sample a text line, 401 abscissae, 401 values.
    std::vector<Enregistrement> Enregistrements() {
        const std::string fichier = LireFichier(dossier.filePath("mesure-Analyseur de reseau.xls").toStdString());
        const std::string entete = "Date\tHeure\tDur\xE9" "e \xE9" "coul\xE9" "e\tMarqueur\tIndices Log Magnitude [401]\tMesure Log Magnitude [401]\n";
        std::vector<Enregistrement> r;
        EXPECT_EQ(fichier.substr(0, entete.size()), entete);
        std::size_t pos = entete.size();
        while (pos < fichier.size()) {
            const std::size_t fin = fichier.find('\n', pos);
            EXPECT_NE(fin, std::string::npos);
            pos = fin + 1;
            if (fin == std::string::npos || pos + 2 * 401 * 8 > fichier.size()) {
                ADD_FAILURE() << "record cut short";
                break;
            }
            Enregistrement e{std::vector<double>(401), std::vector<double>(401)};
            std::memcpy(e.f.data(), fichier.data() + pos, 401 * 8);
            std::memcpy(e.v.data(), fichier.data() + pos + 401 * 8, 401 * 8);
            pos += 2 * 401 * 8;
            r.push_back(std::move(e));
        }
        return r;
    }

    std::unique_ptr<BancAnalyseur> banc;
};

TEST_F(AnalyseurAcquisition, TheResonanceIsRecordedAndDrawn) {
    AjouterEtLancer();
    ASSERT_GT(panel3D, 0);
    ASSERT_EQ(ui_test::ChoisirElement(panel3D, P_OGL_RING, 1), 0);
    for (int k = 0; k < 3; ++k) Tick();
    // The view shows the newest trace around its middle point, where the resonance lies.
    std::vector<double> colonne(50);
    for (int r = 0; r < 50; ++r) colonne[static_cast<std::size_t>(r)] = data3D[r][49];
    const auto sommet = std::max_element(colonne.begin(), colonne.end()) - colonne.begin();
    EXPECT_NEAR(static_cast<double>(sommet), 25.0, 2.0);
    EXPECT_NEAR(colonne[static_cast<std::size_t>(sommet)], 20 * std::log10(100.0 / 105.0), 0.3);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    const std::vector<Enregistrement> e = Enregistrements();
    for (const Enregistrement &r : e) {
        EXPECT_EQ(r.f.front(), 1.5e9);
        EXPECT_EQ(r.f.back(), 2.5e9);
        const auto pic = std::max_element(r.v.begin(), r.v.end()) - r.v.begin();
        EXPECT_NEAR(r.f[static_cast<std::size_t>(pic)], 2.0e9, 5e6);
        EXPECT_LT(r.v.front(), -20.0);
    }
    EXPECT_EQ(e.size(), 3u);
}

// A trace that did not come whole is a gap in the record of its sample, not the previous trace
// again; the next trace read is recorded as it came.
TEST_F(AnalyseurAcquisition, AFailedTraceIsAGapInTheRecord) {
    AjouterEtLancer();
    Tick();
    banc->analyseur->RemplacerReponse("OFD", "ERROR\n");
    Tick(false);
    Tick();
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    const std::vector<Enregistrement> e = Enregistrements();
    ASSERT_EQ(e.size(), 3u);
    const auto Finie = [](const std::vector<double> &v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
    };
    for (const Enregistrement &r : e) {
        EXPECT_EQ(r.f.front(), 1.5e9) << "the abscissae came whole in every sweep";
        EXPECT_EQ(r.f.back(), 2.5e9);
    }
    EXPECT_TRUE(Finie(e[0].v));
    EXPECT_TRUE(std::all_of(e[1].v.begin(), e[1].v.end(), [](double x) { return std::isnan(x); }))
        << "the sample of the failed trace";
    EXPECT_TRUE(Finie(e[2].v)) << "the next trace comes back";
    EXPECT_NE(e[2].v, e[0].v) << "a new trace, not the first one again";
}

}  // namespace
