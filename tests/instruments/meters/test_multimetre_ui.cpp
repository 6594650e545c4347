// "Multimètre HP34401" against the simulated 34401A: golden transcripts of init (the :CONF line
// of every quantity and resolution), of start, of the reading cycle and of stop; the failures of
// init and start with their messages; the faults met while the cycle runs, said on the status
// list; its configuration panel. Then an acquisition from the main panel on the demo bench that
// records its readings.
#include "instruments/meters/multimetre.h"
#include "tests/instruments/bench/port_essai.h"    // an instrument added from the add dialog
#include "tests/instruments/meters/power_essai.h"  // transcript lines, program time
#include "platform/visa.h"
#include "sim/meters/hp34401a.h"
#include "sim/transcription.h"
#include "uir/UIR_multi.h"
#include "tests/support/panne_essai.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using power_essai::Attendre;
using power_essai::DeuxMinutes;
using power_essai::Laisser;
using power_essai::LaisserLesLignes;
using power_essai::R;
using power_essai::SP;
using power_essai::W;
using power_essai::operator+;
using Transcript = std::vector<std::string>;
using Popups = std::vector<std::pair<std::string, std::string>>;

constexpr int kAdresse = 22;
// Offsets in the settings block.
constexpr std::size_t kBlocIdentificateur = 0, kBlocAdresse = 4, kBlocDigits = 8, kBlocQuantite = 12,
                      kBlocSession = 16, kBlocStop = 20, kBlocNom = 40;
const std::string kIdentite = "HEWLETT-PACKARD,34401A,0,11-5-2";
const std::string kMesure = ":INIT;FETC?;*OPC";

// The bytes of init after the device clear and the identity check: the driver's own session
// (identity without NUL, "*CLS"), then the configuration line.
Transcript Initialisation(const std::string &conf) {
    return {power_essai::CLR, W("*IDN?"), R(kIdentite + "\n"), "W *IDN?", R(kIdentite + "\n"), "W *CLS\r\n",
            "W " + conf};
}

class Multimetre : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        ConfigurerBanc("gpib0 = sim\n");
        NouveauMesureur();
        mm = Nouvel_instrument("multimetre.dll");
        ASSERT_NE(mm, nullptr);
    }
    void TearDown() override {
        if (mm) mm->liberer(mm);
        BancTest::TearDown();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }

    void ConfigurerBanc(const std::string &texte) {
        const std::string chemin = dossier.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << texte;
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
    }

    // The multimeter's transcript since the last call (to be called while no callback runs).
    Transcript Transcription() {
        lances_ += LancementsAuJournal();
        Transcript t;
        for (const sim::Evenement &e : mesureur->Journal()) {
            switch (e.genre) {
            case sim::Evenement::Genre::Ecriture: t.push_back("W " + e.octets); break;
            case sim::Evenement::Genre::Lecture: t.push_back(R(e.octets)); break;
            case sim::Evenement::Genre::SerialPoll: t.push_back(SP); break;
            case sim::Evenement::Genre::Effacement: t.push_back(power_essai::CLR); break;
            }
        }
        mesureur->EffacerJournal();
        return t;
    }
    // Measurements launched since the multimeter was placed.
    int Lancements() const { return lances_ + LancementsAuJournal(); }
    // Lets the cycle run until `n` measurements have been launched in all, then lets the last
    // callback return (the clock stands still meanwhile).
    void Lances(int n) {
        ASSERT_TRUE(Attendre([&] { return Lancements() >= n; })) << Lancements() << " launches";
        EXPECT_EQ(Lancements(), n);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    void Refuser(const std::string &commande) {
        sim::Defauts d;
        d.ecritureRefusee = commande;
        mesureur->FixerDefauts(d);
    }
    static Popups Vus() {
        Popups v;
        for (const ui_test::PopupVu &p : ui_test::Vus()) v.emplace_back(p.titre, p.message);
        ui_test::Effacer();
        return v;
    }
    // Items of a ring of integer values: label and value.
    using Items = std::vector<std::pair<std::string, int>>;
    static Items ElementsEntiers(int panel, int ring) {
        Items e;
        const std::vector<std::string> libelles = Libelles(panel, ring);
        for (std::size_t k = 0; k < libelles.size(); ++k) {
            int v = -1;
            GetValueFromIndex(panel, ring, static_cast<int>(k), &v);
            e.emplace_back(libelles[k], v);
        }
        return e;
    }
    double Mesure() const { return mm->mesure_1D(mm, 1); }
    unsigned Numero() const { return mm->numero_1D(mm, 1); }
    // init and start, the transcript dropped.
    void Demarrer() {
        ASSERT_GE(mm->init(mm), 0);
        ASSERT_EQ(mm->start(mm) & 0x8000, 0);
        Transcription();
    }

    // Places a new multimeter at the address, a reading taking 0.1 s (more than a step of
    // Attendre, so that each step sees at most one reading).
    void NouveauMesureur() {
        mesureur = std::make_shared<sim::Multimetre34401A>();
        mesureur->FixerDureeLecture(0.1);
        sim::BusDeCarte(0)->Brancher(kAdresse, mesureur);
        lances_ = 0;
    }

    std::shared_ptr<sim::Multimetre34401A> mesureur;
    PInstrument *mm = nullptr;

private:
    int LancementsAuJournal() const {
        int n = 0;
        for (const std::string &e : mesureur->Ecritures()) n += e == kMesure + std::string(1, '\0');
        return n;
    }

    int lances_ = 0;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

TEST_F(Multimetre, GoldenInitStartCyclesAndStop) {
    mesureur->FixerValeurs("VOLT", {1.5, -2.25e-3, 12.0});
    const int resultat = mm->init(mm);
    EXPECT_GE(resultat, 0) << "the board descriptor";
    EXPECT_EQ(Transcription(), Initialisation(":CONF:VOLT AUTO,MAX\r\n")) << "Volt DC at 4 1/2 after nouveau";
    EXPECT_EQ(LireEntierBloc(mm, kBlocStop), 0x800);
    EXPECT_TRUE(std::isnan(Mesure()));
    EXPECT_EQ(Numero(), 0u);
    char nom[kLongueurNomVoie] = "";
    mm->get_nom_voie_1D(mm, 7, nom);
    EXPECT_STREQ(nom, "Voie 1");
    EXPECT_EQ(mm->nb_voie_1D(mm), 1);

    EXPECT_EQ(mm->start(mm) & 0x8000, 0);
    // The two enables go without their NUL; the register is read once to clear it.
    EXPECT_EQ(Transcription(), (Transcript{"W *ESE 1", "W *SRE 32", SP, W("*ESR?"), R("+0\n"), W(kMesure)}));
    const struct {
        const char *texte;
        double valeur;
    } lectures[] = {{"+1.50000000E+00\n", 1.5}, {"-2.25000000E-03\n", -2.25e-3}};
    for (unsigned n = 1; n <= 2; ++n) {
        ASSERT_NO_FATAL_FAILURE(Lances(static_cast<int>(n) + 1));
        EXPECT_EQ(Transcription(), (Transcript{SP, R(lectures[n - 1].texte), W("*ESR?"), R("+1\n"), W(kMesure)}));
        EXPECT_EQ(Mesure(), lectures[n - 1].valeur);
        EXPECT_EQ(mm->mesure_1D(mm, 3), lectures[n - 1].valeur) << "every channel number reads the one channel";
        EXPECT_EQ(Numero(), n);
    }

    // After stop, one more request stores its reading and launches one more measurement; then
    // nothing, though the multimeter requests service again.
    mm->stop(mm);
    mm->stop(mm);
    EXPECT_EQ(LireEntierBloc(mm, kBlocStop), 0);
    ASSERT_NO_FATAL_FAILURE(Lances(4));
    EXPECT_EQ(Transcription(), (Transcript{SP, R("+1.20000000E+01\n"), W("*ESR?"), R("+1\n"), W(kMesure)}));
    EXPECT_EQ(Numero(), 3u);
    ASSERT_TRUE(Attendre([&] { return mesureur->DemandeService(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Transcription().empty()) << "the notification ended";
    EXPECT_EQ(Numero(), 3u);
    EXPECT_TRUE(Vus().empty());
}

// Every quantity of the ring at every resolution: the driver's configuration line, and what the
// multimeter then measures.
TEST_F(Multimetre, TheConfLineOfEveryChoice) {
    const struct {
        int code;
        const char *mot;
    } quantites[] = {{0, "VOLT:AC"}, {1, "VOLT"}, {3, "CURR:AC"}, {4, "CURR"}, {5, "RES"}};
    const char *resolutions[] = {"MAX", "DEF", "MIN"};
    for (const auto &q : quantites) {
        for (int digits = 0; digits < 3; ++digits) {
            const std::string conf = std::string(":CONF:") + q.mot + " AUTO," + resolutions[digits] + "\r\n";
            SCOPED_TRACE(conf);
            EcrireEntierBloc(mm, kBlocQuantite, q.code);
            EcrireEntierBloc(mm, kBlocDigits, digits);
            ASSERT_GE(mm->init(mm), 0);
            EXPECT_EQ(Transcription(), Initialisation(conf));
            const sim::Multimetre34401A::Reglages r = mesureur->LireReglages();
            EXPECT_EQ(r.fonction, q.mot);
            EXPECT_TRUE(r.gammeAuto);
            EXPECT_EQ(r.resolution, resolutions[digits]);
        }
    }
    EXPECT_TRUE(Vus().empty());
}

// The driver's session serves init only; each init takes the previous descriptor offline.
TEST_F(Multimetre, InitReleasesWhatThePreviousOneOpened) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Lances(2));
    const int premier = LireEntierBloc(mm, kBlocIdentificateur);
    const auto session = static_cast<ViSession>(LireEntierBloc(mm, kBlocSession));
    ViUInt32 delai = 0;
    EXPECT_NE(session, VI_NULL);
    EXPECT_EQ(viGetAttribute(session, VI_ATTR_TMO_VALUE, &delai), VI_ERROR_INV_OBJECT) << "closed by init";

    // A new start without stop: the previous cycle ends with its descriptor, the counter starts
    // again from 0, and one cycle drives the multimeter.
    mesureur->FixerValeurs("VOLT", {4.0});
    ASSERT_GE(mm->init(mm), 0);
    EXPECT_TRUE(std::isnan(Mesure()));
    EXPECT_EQ(Numero(), 0u);
    EXPECT_NE(LireEntierBloc(mm, kBlocIdentificateur), premier);
    EXPECT_NE(ibwrt(premier, "*CLS", 4) & ERR, 0) << "the first descriptor is offline";
    ASSERT_EQ(mm->start(mm) & 0x8000, 0);
    const int lancements = Lancements();
    ASSERT_NO_FATAL_FAILURE(Lances(lancements + 3));
    EXPECT_EQ(Numero(), 3u) << "one reading per launch: a single cycle";
    EXPECT_EQ(Mesure(), 4.0);
}

TEST_F(Multimetre, ReplyThatIsNoNumberKeepsTheValueAndCounts) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Lances(2));
    EXPECT_EQ(Mesure(), 1.23456789);
    for (const std::string &garbage : {std::string("#\x7f?@!\n"), std::string()}) {
        SCOPED_TRACE(garbage.empty() ? "empty reply" : "garbage");
        sim::Defauts d;
        d.charabia = true;
        d.texteCharabia = garbage;
        mesureur->FixerDefauts(d);
        const unsigned avant = Numero();
        ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 1));
        EXPECT_EQ(Mesure(), 1.23456789);
        EXPECT_EQ(Numero(), avant + 1);
    }
    mesureur->FixerDefauts({});
    ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 1));
    EXPECT_EQ(Mesure(), 1.23456789);
}

// A fault while the cycle runs is said once on the status list when it begins, whatever its
// length, and once when the multimeter answers again, never as a pop-up. Meanwhile a multimeter
// that does not answer or does not measure gives no reading (a missing value, its count stays),
// a silent one counts missing readings, one answering garbage keeps its last value; afterwards
// its readings resume by themselves.
TEST_F(Multimetre, AFaultWhileRunningIsSaidOnceAndTheReadingsResume) {
    const std::string sans_reponse = "pas de réponse de l'appareil (GPIB0::22)"_w;
    const CasDePanne cas[] = {
        {"unplugged", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); }, sans_reponse, Pendant::Rien},
        {"silent", Defaut(mesureur, [](sim::Defauts &d) { d.muet = true; }), sans_reponse, Pendant::Manquantes},
        {"garbage", Defaut(mesureur, [](sim::Defauts &d) { d.charabia = true; }),
         "réponse illisible de l'appareil (GPIB0::22)"_w, Pendant::Anciennes},
        {"launch refused", Defaut(mesureur, [](sim::Defauts &d) { d.ecritureRefusee = ":INIT"; }), sans_reponse,
         Pendant::Rien},
    };
    const std::string nom = "Multimètre en panne"_w;
    mm->set_nom_instru(mm, nom.c_str());
    for (const CasDePanne &c : cas) {
        SCOPED_TRACE(c.nom);
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 2));
        const double avant = Mesure();
        const std::size_t deja = Statuts().size();
        const auto Dits = [&] { return LignesDe(nom, deja); };
        const std::string panne = nom + " : " + c.texte;

        c.debut();
        ASSERT_TRUE(LaisserLesLignes([&] { return !Dits().empty(); }));
        const unsigned touche = Numero();
        ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
        EXPECT_EQ(Dits(), std::vector<std::string>{panne}) << "said once, whatever its length";
        switch (c.pendant) {
        case Pendant::Rien:
            EXPECT_EQ(Numero(), touche) << "no reading";
            EXPECT_TRUE(std::isnan(Mesure())) << "a gap in the records, not the last reading repeated";
            break;
        case Pendant::Manquantes:
            EXPECT_GT(Numero(), touche) << "missing readings counted";
            EXPECT_TRUE(std::isnan(Mesure()));
            break;
        case Pendant::Anciennes:
            EXPECT_GT(Numero(), touche) << "readings counted";
            EXPECT_EQ(Mesure(), avant) << "the last value kept";
            break;
        }

        // Repaired: the multimeter is back, and so are its readings, said once.
        mesureur->FixerDefauts({});
        sim::BusDeCarte(0)->Brancher(kAdresse, mesureur);
        const unsigned repare = Numero();
        ASSERT_TRUE(LaisserLesLignes([&] {
            return Numero() > repare && !std::isnan(Mesure()) && Dits().size() >= 2;
        })) << testing::PrintToString(Dits());
        ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
        EXPECT_EQ(Dits(), (std::vector<std::string>{panne, nom + " : " + "l'appareil répond de nouveau"_w}));
        EXPECT_EQ(Mesure(), avant);
        EXPECT_TRUE(Vus().empty()) << "nothing pops up from the bus thread";
        mm->stop(mm);
    }
}

// An init takes the previous descriptor offline, cutting short the exchange of a callback still
// waiting on it: that exchange is the program's doing, not a fault of the multimeter, and nothing
// is said of it, neither then nor in the acquisition that follows (whose first fault is then said
// once). The callback is held in its read by a multimeter that never answers and a descriptor
// without time-out; with a stop before the init or without.
TEST_F(Multimetre, AnInitCuttingACallbackShortSaysNothing) {
    const std::string nom = "Multimètre coupé"_w;
    mm->set_nom_instru(mm, nom.c_str());
    for (const bool arret : {true, false}) {
        SCOPED_TRACE(arret ? "stopped first" : "init without stop");
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 2));
        const std::size_t deja = Statuts().size();
        ASSERT_EQ(ibtmo(LireEntierBloc(mm, kBlocIdentificateur), TNONE) & ERR, 0);
        mesureur->FixerDefauts([] {
            sim::Defauts d;
            d.muet = true;
            return d;
        }());
        // The next request: its serial poll, then the read that waits for good.
        ASSERT_TRUE(Attendre([&] { return Transcription() == Transcript{SP}; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (arret) mm->stop(mm);
        mesureur->FixerDefauts({});
        ASSERT_GE(mm->init(mm), 0);
        const double fin = horloge::Secondes() + 1.0;
        ASSERT_TRUE(LaisserLesLignes([&] { return horloge::Secondes() >= fin; }));
        EXPECT_TRUE(LignesDe(nom, deja).empty()) << testing::PrintToString(LignesDe(nom, deja));

        // The acquisition that follows says its own fault, once.
        ASSERT_EQ(mm->start(mm) & 0x8000, 0);
        ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 1));
        sim::BusDeCarte(0)->Debrancher(kAdresse);
        ASSERT_TRUE(LaisserLesLignes([&] { return !LignesDe(nom, deja).empty(); }));
        ASSERT_NO_FATAL_FAILURE(DeuxMinutes());
        EXPECT_EQ(LignesDe(nom, deja), std::vector<std::string>{nom + " : " + "pas de réponse de l'appareil (GPIB0::22)"_w});
        sim::BusDeCarte(0)->Brancher(kAdresse, mesureur);
        ASSERT_TRUE(LaisserLesLignes([&] { return LignesDe(nom, deja).size() >= 2; }));
        mm->stop(mm);
    }
}

// A notification that reports the error status alone ends the cycle without reading; the
// error status with further bits is an ordinary request.
TEST_F(Multimetre, NotificationStatuses) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Lances(2));
    Transcription();
    sim::Defauts d;
    d.notificationForcee = 0x8800;
    mesureur->FixerDefauts(d);
    ASSERT_NO_FATAL_FAILURE(Lances(3));
    EXPECT_EQ(Numero(), 2u);
    EXPECT_EQ(Transcription(), (Transcript{SP, R("+1.23456789E+00\n"), W("*ESR?"), R("+1\n"), W(kMesure)}));

    d.notificationForcee = 0x8000;
    mesureur->FixerDefauts(d);
    ASSERT_TRUE(Attendre([&] { return mesureur->DemandeService(); }));
    Laisser(1.0);
    EXPECT_TRUE(Transcription().empty());
    EXPECT_EQ(Numero(), 2u);
}

TEST_F(Multimetre, InitFailures) {
    const std::string configuration = "Configuration du multimètre impossible :\n"_w;
    struct Cas {
        const char *nom;
        std::function<void()> panne;
        Popups popups;
    };
    const Cas cas[] = {
        {"no board", [this] { ConfigurerBanc("gpib0 = none\n"); }, {{"Problème de carte"_w, "Carte GPIB non détectée"_w}}},
        {"no multimeter", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); },
         {{"PAS BON", "Il faudrait penser à brancher le multimètre à l'adresse 22 !!!"_w}}},
        {"address beyond the bus", [this] { EcrireEntierBloc(mm, kBlocAdresse, 31); },
         {{"PAS BON", "Il faudrait penser à brancher le multimètre à l'adresse 31 !!!"_w}}},
        {"another model", [this] { mesureur->FixerIdentite("HEWLETT-PACKARD,34420A,0,1"); },
         {{"Erreur", "Modèle non supporté par ce module !"_w}}},
        // The model is found anywhere in the reply; the driver wants it at the start.
        {"identity refused by the driver", [this] { mesureur->FixerIdentite("HP HEWLETT-PACKARD,34401A,0,1"); },
         {{"Erreur", configuration + "ERROR: Identification query failed"}}},
        {"quantity the panel does not offer", [this] { EcrireEntierBloc(mm, kBlocQuantite, 2); },
         {{"Erreur", configuration + "ERROR: Parameter 2 out of range"}}},
        {"resolution the panel does not offer", [this] { EcrireEntierBloc(mm, kBlocDigits, 3); },
         {{"Erreur", configuration + "ERROR: Parameter 5 out of range"}}},
        {"configuration refused", [this] { Refuser(":CONF"); },
         {{"Erreur", configuration + "Timeout expired before the operation completed."}}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        ASSERT_NO_FATAL_FAILURE(Lances(Lancements() + 1));
        const int precedent = LireEntierBloc(mm, kBlocIdentificateur);
        c.panne();
        ui_test::Repondre(ui_test::Popup::Message);
        EXPECT_EQ(mm->init(mm), -1);
        EXPECT_EQ(Vus(), c.popups);
        EXPECT_TRUE(std::isnan(Mesure()));
        EXPECT_EQ(Numero(), 0u);
        EXPECT_EQ(LireEntierBloc(mm, kBlocIdentificateur), precedent) << "kept from the last good init";
        // Nothing of the previous cycle runs any more.
        const unsigned lances = static_cast<unsigned>(Lancements());
        Laisser(1.0);
        EXPECT_EQ(static_cast<unsigned>(Lancements()), lances);

        ConfigurerBanc("gpib0 = sim\n");
        NouveauMesureur();
        EcrireEntierBloc(mm, kBlocAdresse, kAdresse);
        EcrireEntierBloc(mm, kBlocQuantite, 1);
        EcrireEntierBloc(mm, kBlocDigits, 0);
    }
}

TEST_F(Multimetre, StartFailures) {
    const std::string lancer = "Impossible de lancer une mesure\nsur le multimètre d'identificateur "_w;
    const std::string interruption = "Impossible d'initialiser l'interruption\nsur le multimètre d'identificateur "_w;
    struct Cas {
        const char *nom;
        std::function<void()> panne;
        std::string titre, debut;
        bool statut_bus;  // the failed call's status is returned (else -1)
    };
    const Cas cas[] = {
        {"service request refused", [this] { Refuser("*SRE 32"); }, "Attention !!!", interruption, true},
        {"notification refused",
         [this] {
             sim::Defauts d;
             d.notificationRefusee = true;
             mesureur->FixerDefauts(d);
         },
         "Attention !!!", "Impossible d'initialiser le multimètre\nd'adresse 22"_w, false},
        {"launch refused", [this] { Refuser(kMesure); }, "Attention !!!", lancer, true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        ASSERT_GE(mm->init(mm), 0);
        const int ud = LireEntierBloc(mm, kBlocIdentificateur);
        c.panne();
        ui_test::Repondre(ui_test::Popup::Message);
        const int resultat = mm->start(mm);
        EXPECT_NE(resultat & 0x8000, 0);
        if (!c.statut_bus) {
            EXPECT_EQ(resultat, -1);
        }
        const Popups vus = Vus();
        ASSERT_EQ(vus.size(), 1u);
        EXPECT_EQ(vus[0].first, c.titre);
        EXPECT_EQ(vus[0].second.rfind(c.debut, 0), 0u) << vus[0].second;
        if (c.statut_bus) {
            EXPECT_EQ(vus[0].second.rfind(c.debut + std::to_string(ud) + "\n iberr=", 0), 0u) << vus[0].second;
        }
        // No callback follows a failed start.
        mm->stop(mm);
        mesureur->FixerDefauts({});
        Transcription();
        Laisser(2.0);
        EXPECT_EQ(Numero(), 0u);
        const Transcript t = Transcription();
        EXPECT_TRUE(std::find(t.begin(), t.end(), SP) == t.end());
    }
}

// liberer while the cycle runs: the notification is disarmed before the record goes.
TEST_F(Multimetre, FreedWhileMeasuring) {
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Lances(2));
    mm->liberer(mm);
    mm = nullptr;
    const int lancements = Lancements();
    Laisser(2.0);
    EXPECT_EQ(Lancements(), lancements);
}

TEST_F(Multimetre, PanelShowsTheSettingsAndOkStoresThem) {
    const int p = PanneauCharge([&] { mm->configure(mm); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Untitled Panel");
    EXPECT_EQ(ElementsEntiers(p, Conf_multi_RINGSLIDE_choix_multi),
              (Items{{"Volt AC", 0}, {"Volt DC", 1}, {"Courant AC", 3}, {"Courant DC", 4}, {"Ohmetre (2fils)", 5}}));
    EXPECT_EQ(ElementsEntiers(p, Conf_multi_RG_DIGITS), (Items{{"4 1/2", 0}, {"5 1/2", 1}, {"6 1/2", 2}}));
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_multi_NUM_Conf_Adr_Freq), "Adresse GPIB");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_multi_RINGSLIDE_choix_multi), "Choix mesure");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_multi_RG_DIGITS), "Nombre de digits");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_multi_CB_OK_MULTI), "OK");
    // A new instrument: address 22, Volt DC, 4 1/2 digits, its name.
    EXPECT_EQ(Valeur(p, Conf_multi_NUM_Conf_Adr_Freq), 22);
    EXPECT_EQ(Valeur(p, Conf_multi_RINGSLIDE_choix_multi), 1);
    EXPECT_EQ(Valeur(p, Conf_multi_RG_DIGITS), 0);
    EXPECT_EQ(LireTexteBloc(mm, kBlocNom, 128), "Multimètre"_w);

    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_multi_NUM_Conf_Adr_Freq, 9), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_multi_RINGSLIDE_choix_multi, 3), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_multi_RG_DIGITS, 2), 0);
    MULTI_OK(p, Conf_multi_CB_OK_MULTI, EVENT_VAL_CHANGED, mm->structure, 0, 0);
    EXPECT_EQ(LireEntierBloc(mm, kBlocAdresse), 22) << "only the commit acts";
    Cliquer(p, Conf_multi_CB_OK_MULTI);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(mm, kBlocAdresse), 9);
    EXPECT_EQ(LireEntierBloc(mm, kBlocQuantite), 4);
    EXPECT_EQ(LireEntierBloc(mm, kBlocDigits), 2);
    EXPECT_TRUE(Transcription().empty()) << "the panel sends nothing";

    // The panel shows what a settings file restored.
    EcrireEntierBloc(mm, kBlocQuantite, 5);
    const int q = PanneauCharge([&] { mm->configure(mm); });
    EXPECT_EQ(Valeur(q, Conf_multi_NUM_Conf_Adr_Freq), 9);
    EXPECT_EQ(Valeur(q, Conf_multi_RINGSLIDE_choix_multi), 5);
    EXPECT_EQ(Valeur(q, Conf_multi_RG_DIGITS), 2);
    Cliquer(q, Conf_multi_CB_OK_MULTI);
}

// ---- on the demo bench, from the main panel ---------------------------------------------------

class MultimetreDemo : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        sim::BusDeCarte(0)->Vider();
        RechargerConfigurationBanc(BANC_SOURCE_DIR "/sim/demo-banc.conf");
        ReinitialiserCartesGpib();
        CarteGpibNumero(0);  // the board, and the demo's instruments on it
        mesureur = sim::BusDeCarte(0)->AppareilA<sim::Multimetre34401A>(kAdresse);
        ASSERT_NE(mesureur, nullptr);
        mesureur->FixerValeurs("CURR", {0.125});
    }
    void TearDown() override {
        BancTest::TearDown();
        RechargerConfigurationBanc("/nonexistent/banc-tests/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }

    std::shared_ptr<sim::Multimetre34401A> mesureur;
};

TEST_F(MultimetreDemo, AnAcquisitionRecordsItsReadings) {
    // Added from the add dialog, set to DC current in its panel.
    const int p = port_essai::AjouterParLeDialogue("multimetre.dll");
    ASSERT_GT(p, 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_multi_RINGSLIDE_choix_multi, 3), 0);
    Cliquer(p, Conf_multi_CB_OK_MULTI);
    EXPECT_EQ(Libelles(panel_instru, P_Instru_LISTBOX_Liste), (std::vector<std::string>{"Multimètre"_w}));

    const std::string fichier = dossier.filePath("mesure.xls").toStdString();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_EQ(mesureur->LireReglages().fonction, "CURR");
    PInstrument *mm = liste_instru->plugin;
    ASSERT_TRUE(Attendre([&] { return mm->numero_1D(mm, 1) >= 2; }));
    for (int k = 0; k < 2; ++k) {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    std::istringstream contenu(LireFichier(fichier));
    std::string entete, ligne_donnees, derniere;
    std::getline(contenu, entete);
    while (std::getline(contenu, ligne_donnees))
        if (!ligne_donnees.empty() && ligne_donnees != "\r") derniere = ligne_donnees;
    EXPECT_NE(entete.find(std::string("\t") + "Multimètre Voie 1"_w), std::string::npos) << entete;
    std::vector<std::string> champs;
    std::istringstream l(derniere);
    for (std::string c; std::getline(l, c, '\t');) champs.push_back(c);
    ASSERT_GE(champs.size(), 6u) << derniere;
    EXPECT_EQ(champs[4], "1.250000e-01");
    EXPECT_GE(std::stoul(champs[5]), 2u);
}

}  // namespace
