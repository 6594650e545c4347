// "Powermeter Switché" against the simulated E4419B and the simulated parallel port: golden
// transcripts of init, start, the reading cycle and stop; the switch lines moved path by path
// with the other lines of the register kept; the failures of init and start with their pop-ups;
// the notifications that carry no reading; freeing the instrument while its cycle runs; the
// configuration panel and the settings block.
#include "instruments/meters/powswitch.h"
#include "tests/instruments/meters/power_essai.h"
#include "uir/UIR_power_SW.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace power_essai;

// Offsets in the settings block.
constexpr std::size_t kBlocAdresse = 4, kBlocBits = 8, kBlocCapteur = 12, kBlocFrequence = 16, kBlocVoies = 24;
const std::string kIdentite = std::string(sim::E4419B::kIdentite) + "\n";
const double NaN = std::nan("");

class PowerSwitch : public BancE4419B {
protected:
    void SetUp() override {
        BancE4419B::SetUp();
        if (HasFatalFailure()) return;
        // Sensor A behind SW1 (D2), sensor B behind SW3 (D4).
        mesureur->FixerLignes(1, 4);
        mesureur->FixerLignes(2, 16);
        sw = Lister("4419_sw.dll");
        ASSERT_NE(sw, nullptr);
    }
    void Regler(int capteur, int lignes) {
        EcrireEntierBloc(sw, kBlocCapteur, capteur);
        EcrireEntierBloc(sw, kBlocBits, lignes);
    }
    // The init transcript of a meter whose error queue holds the -113 of "*ESR 0" alone.
    static std::vector<std::string> Initialisation(const std::string &condition = "+6\n", int frequence = 110) {
        return std::vector<std::string>{W("*IDN?"), R(kIdentite), W("*RST"), W("*ESR 0"), W("SYST:ERR?"),
                                        R("-113,\"Undefined header\"\n")} +
               SansErreur() + std::vector<std::string>{CLR, W("stat:dev:cond?"), R(condition), W("*DDT \"TRIG1;TRIG2\"")} +
               ReglageFenetres(frequence);
    }
    // init and start without a pop-up, then the transcripts and port writes forgotten.
    void Demarrer() {
        ASSERT_GE(sw->init(sw), 0);
        ASSERT_EQ(sw->start(sw) & 0x8000, 0);
        Transcription();
        EcrituresPort();
        ASSERT_TRUE(PopupsVus().empty());
    }

    PInstrument *sw = nullptr;
};

TEST_F(PowerSwitch, GoldenInitStartFourCyclesPathByPathAndStop) {
    Regler(6, 4 | 16);
    const int resultat = sw->init(sw);
    EXPECT_GE(resultat, 0);
    EXPECT_EQ(Transcription(), Initialisation());
    EXPECT_EQ(EcrituresPort(), std::vector<int>{kOctetInitial}) << "the switches go to RF1, lines D2 and D4 low";
    Voies v = LireVoies(sw);
    EXPECT_EQ(v.noms, (std::vector<std::string>{"Voie A RF1", "Voie A RF2", "Voie B RF1", "Voie B RF2"}));
    EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN, NaN, NaN, NaN}));
    EXPECT_EQ(v.numeros, (std::vector<unsigned>{0, 0, 0, 0}));

    // "*ESR 0" left the command-error bit: "*ESR?" of the start reads and clears it.
    EXPECT_EQ(sw->start(sw) & 0x8000, 0);
    EXPECT_EQ(Transcription(), Demarrage("+32\n"));
    EXPECT_TRUE(PopupsVus().empty());

    // Each reading goes to the path measured before the switches moved: RF1 after the start.
    struct Attendu {
        int octet;
        double a, b;
        std::vector<double> valeurs;
        std::vector<unsigned> numeros;
    };
    const Attendu cycles[] = {
        {0xFF, -10, -30, {-10, NaN, -30, NaN}, {1, 0, 1, 0}},
        {0xEB, -20, -40, {-10, -20, -30, -40}, {1, 1, 1, 1}},
        {0xFF, -10, -30, {-10, -20, -30, -40}, {2, 1, 2, 1}},
        {0xEB, -20, -40, {-10, -20, -30, -40}, {2, 2, 2, 2}},
    };
    int n = 0;
    for (const Attendu &c : cycles) {
        SCOPED_TRACE("cycle " + std::to_string(n + 1));
        ASSERT_NO_FATAL_FAILURE(Cycles(++n));
        EXPECT_EQ(Transcription(), Cycle(c.a, c.b));
        EXPECT_EQ(EcrituresPort(), std::vector<int>{c.octet}) << "only D2 and D4 move";
        v = LireVoies(sw);
        EXPECT_TRUE(MemesValeurs(v.valeurs, c.valeurs));
        EXPECT_EQ(v.numeros, c.numeros);
    }

    // After stop, one more reading and relaunch, then the notification ends.
    sw->stop(sw);
    ASSERT_NO_FATAL_FAILURE(Cycles(5));
    EXPECT_EQ(Transcription(), Cycle(-10, -30));
    EXPECT_EQ(EcrituresPort(), std::vector<int>{0xFF});
    EXPECT_TRUE(Attendre([&] { return mesureur->DemandeService(); })) << "the last relaunch completes";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Transcription().empty()) << "nobody answers its request";
    EXPECT_EQ(LireVoies(sw).numeros, (std::vector<unsigned>{3, 2, 3, 2}));
    sw->stop(sw);
    EXPECT_TRUE(Transcription().empty());
}

// Both sensors are always measured; the sensors in use choose the slots offered as channels.
TEST_F(PowerSwitch, ChannelsFollowTheSensorsInUse) {
    struct Cas {
        int capteur, lignes;
        std::vector<std::string> noms;
        std::vector<double> valeurs;
    };
    const Cas cas[] = {
        {2, 4, {"Voie A RF1", "Voie A RF2"}, {-10, -20}},
        {4, 16, {"Voie B RF1", "Voie B RF2"}, {-30, -40}},
        {6, 4 | 16, {"Voie A RF1", "Voie A RF2", "Voie B RF1", "Voie B RF2"}, {-10, -20, -30, -40}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE("capteur " + std::to_string(c.capteur));
        Regler(c.capteur, c.lignes);
        ASSERT_NO_FATAL_FAILURE(Demarrer());
        ASSERT_NO_FATAL_FAILURE(Cycles(2));
        const Voies v = LireVoies(sw);
        EXPECT_EQ(v.noms, c.noms);
        EXPECT_TRUE(MemesValeurs(v.valeurs, c.valeurs));
        const auto t = Transcription();
        EXPECT_EQ(std::count(t.begin(), t.end(), W("FETCH2?")), 2) << "window 2 is read whatever the sensors";
        // The next instrument starts on a meter that no notification reaches any more.
        liste_instru = Supprimer_instru(liste_instru, liste_instru);
        NouveauMesureur();
        mesureur->FixerLignes(1, 4);
        mesureur->FixerLignes(2, 16);
        sw = Lister("4419_sw.dll");
    }
}

// A damaged settings block neither drives another plugin's lines nor offers channels that do
// not exist; the channel count follows from the sensors.
TEST_F(PowerSwitch, DamagedBlockDrivesOnlyTheSwitchLines) {
    Regler(6, 0xFF);
    EcrireEntierBloc(sw, kBlocVoies, 99);
    EXPECT_EQ(sw->nb_voie_1D(sw), 4);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    port->EffacerJournal();
    ASSERT_NO_FATAL_FAILURE(Cycles(2));
    EXPECT_EQ(EcrituresPort(), (std::vector<int>{0xFF, 0xE3})) << "D2, D3 and D4 only";

    EcrireEntierBloc(sw, kBlocCapteur, 7);
    EXPECT_EQ(sw->nb_voie_1D(sw), 4) << "the acquisition keeps the sensors it started with";
    sw->stop(sw);
    EXPECT_EQ(sw->nb_voie_1D(sw), 0);
    char nom[kLongueurNomVoie] = "intact";
    sw->get_nom_voie_1D(sw, 1, nom);
    EXPECT_STREQ(nom, "intact");
    EXPECT_TRUE(std::isnan(sw->mesure_1D(sw, 1)));
}

TEST_F(PowerSwitch, InitFailuresShowTheirPopupAndLeaveTheSwitches) {
    const auto Refus = [this](const std::string &commande) {
        return [this, commande] { Refuser(commande); };
    };
    struct Cas {
        const char *nom;
        std::function<void()> panne;
        std::vector<std::pair<std::string, std::string>> popups;
        bool reussit = false;
        int capteur = 2;
    };
    const std::pair<std::string, std::string> sondeA{"Attention", "Il faudrait vérifier les branchements de la sonde A"_w};
    const std::pair<std::string, std::string> sondeB{"Attention", "Il faudrait vérifier les branchements de la sonde B"_w};
    const Cas cas[] = {
        {"address beyond the bus", [this] { EcrireEntierBloc(sw, kBlocAdresse, 31); },
         {{"Attention", "Impossible de détecter le powermeter"_w}}},
        {"no meter", [] { sim::BusDeCarte(0)->Debrancher(kAdresse); },
         {{"Erreur", "Modèle non supporté par ce module !"_w}}},
        {"another model", [this] { mesureur->FixerIdentite("HEWLETT-PACKARD,E4418B,GB1,A1.01"); },
         {{"Erreur", "Modèle non supporté par ce module !"_w}}},
        {"no listener", [] {
             CartePannes::Regles r;
             r.sans_ecouteur = true;
             CarteDuTest()->Fixer(r);
         },
         {{"Attention", "Il faudrait penser à brancher le Powermeter"_w}}},
        {"sensor question refused", Refus("stat:dev:cond?"),
         {{"Attention", "erreur à la vérification du branchement des sondes"_w}}},
        {"sensor reply lost", [] {
             CartePannes::Regles r;
             r.lecture_refusee_apres = "stat:dev:cond?";
             CarteDuTest()->Fixer(r);
         },
         {{"Attention", "erreur à la vérification du statut des sondes"_w}}},
        {"sensor reply without a number", [] {
             CartePannes::Regles r;
             r.question_remplacee = "stat:dev:cond?";
             r.reponse_remplacee = "ERR\n";
             CarteDuTest()->Fixer(r);
         },
         {sondeA, sondeB}, false, 6},
        {"sensor A unplugged", [this] { mesureur->BrancherCapteur(1, false); }, {sondeA}},
        {"both sensors unplugged",
         [this] {
             mesureur->BrancherCapteur(1, false);
             mesureur->BrancherCapteur(2, false);
         },
         {sondeA, sondeB}, false, 6},
        {"sensor B unplugged and in use", [this] { mesureur->BrancherCapteur(2, false); }, {sondeB}, false, 6},
        {"trigger definition refused", Refus("*DDT \"TRIG1;TRIG2\""),
         {{"Attention", "Configurationd de la fréquence de d'interpollation des sondes"_w}}},
        {"window 2 sensor refused", Refus("CONF2:POW:AC DEF,4,(@2)"), {{"Attention", "Capteur i --> fenêtre i"_w}}},
        {"window 1 idle refused", Refus(":ABOR1"), {{"Attention", "Pour mettre en Idle"}}},
        {"window 2 frequency refused", Refus("SENS2:FREQ:FIX 110MHz"),
         {{"Attention", "Configuration de la fréquence d'interpollation des sondes"_w}}},
        {"trigger source refused: the set-up goes on", Refus("TRIG1:SOUR BUS"),
         {{"Attention", "Déclenchement par *TRG"_w}}, true},
        {"sensor B unplugged but not in use", [this] { mesureur->BrancherCapteur(2, false); }, {}, true},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Regler(c.capteur, 4 | 16);
        c.panne();
        Popups(static_cast<int>(c.popups.size()));
        const int resultat = sw->init(sw);
        EXPECT_EQ(PopupsVus(), c.popups);
        if (c.reussit) {
            EXPECT_GE(resultat, 0);
            EXPECT_EQ(EcrituresPort(), std::vector<int>{kOctetInitial});
        } else {
            EXPECT_EQ(resultat, -1);
            EXPECT_TRUE(EcrituresPort().empty()) << "the switches stay where they are";
        }
        // The next case on a fresh bench.
        CarteDuTest()->Fixer({});
        NouveauMesureur();
        EcrireEntierBloc(sw, kBlocAdresse, kAdresse);
    }
}

// The meter's error entries show as they come and stop nothing; the queue is emptied at init
// within a bound, even when the meter keeps answering an error.
TEST_F(PowerSwitch, MeterErrorsAreShownAndTheQueueDrainIsBounded) {
    EcrireEntierBloc(sw, kBlocFrequence, 0);  // below the sensors' range
    Popups(2);
    EXPECT_GE(sw->init(sw), 0);
    const std::pair<std::string, std::string> hors{"Erreur Powermeter", "-222,\"Data out of range\"\n"};
    EXPECT_EQ(PopupsVus(), (std::vector<std::pair<std::string, std::string>>{hors, hors}));
    Transcription();

    CartePannes::Regles r;
    r.question_remplacee = "SYST:ERR?";
    r.reponse_remplacee = "-100,\"Command error\"\n";
    CarteDuTest()->Fixer(r);
    EcrireEntierBloc(sw, kBlocFrequence, 110);
    Popups(24);  // the check after each window command
    EXPECT_GE(sw->init(sw), 0);
    EXPECT_EQ(PopupsVus().size(), 24u);
    const auto t = Transcription();
    const auto clr = std::find(t.begin(), t.end(), CLR);
    EXPECT_EQ(std::count(t.begin(), clr, W("SYST:ERR?")), 32);
}

TEST_F(PowerSwitch, StartFailuresShowTheirPopup) {
    struct Cas {
        const char *nom;
        std::function<void()> panne;
        std::string titre, message;
        int resultat;
    };
    const auto Refus = [this](const std::string &commande) {
        return [this, commande] { Refuser(commande); };
    };
    const Cas cas[] = {
        {"service request refused", Refus("*SRE 32"), "Attention !!!",
         "Impossible d'initialiser l'interruption\nsur le fréquencemètre d'identificateur %d\n iberr=6 \n ibsta=c000\nibcntl=0"_w,
         0xC000},
        {"notification refused",
         [this] {
             sim::Defauts d;
             d.notificationRefusee = true;
             mesureur->FixerDefauts(d);
         },
         "Attention !!!", "Impossible d'initialiser le fréquencemètre\nd'adresse 7"_w, -1},
        {"first trigger refused", Refus("*TRG;*OPC"), "Attention !!!",
         "Impossible de lancer une mesure\nsur le fréquencemètre d'identificateur %d\n iberr=6 \n ibsta=c000\nibcntl=0"_w,
         0xC000},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Regler(6, 4 | 16);
        ASSERT_GE(sw->init(sw), 0);
        const int ud = LireEntierBloc(sw, 0);
        c.panne();
        Popups(1);
        EXPECT_EQ(sw->start(sw), c.resultat);
        std::string message = c.message;
        if (const auto k = message.find("%d"); k != std::string::npos) message.replace(k, 2, std::to_string(ud));
        EXPECT_EQ(PopupsVus(), (std::vector<std::pair<std::string, std::string>>{{c.titre, message}}));
        // No notification is armed: a request of the meter finds nobody.
        Transcription();
        sim::Defauts d;
        d.notificationForcee = 0x8800;
        mesureur->FixerDefauts(d);
        Laisser(1.0);
        EXPECT_TRUE(Transcription().empty());
        CarteDuTest()->Fixer({});
        mesureur->FixerDefauts({});
    }
}

// Notifications that carry no reading: the error status alone ends the cycle after one serial
// poll; the error bit with others is an ordinary notification; a request without a completed
// operation reads nothing and keeps the cycle.
TEST_F(PowerSwitch, NotificationsWithoutAReading) {
    Regler(6, 4 | 16);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    sim::Defauts d;
    d.notificationForcee = 0x8800;
    mesureur->FixerDefauts(d);
    ASSERT_TRUE(Attendre([&] { return mesureur->Journal().size() >= 3; }, 0.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Transcription(), (std::vector<std::string>{SP, W("*ESR?"), R("+0\n")}));
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    EXPECT_EQ(Transcription(), Cycle(-10, -30)) << "the cycle goes on";

    // A request that stays up after the reading: the next notification finds no operation
    // complete, moves nothing and fetches nothing.
    d = {};
    d.requeteCollee = 3;
    mesureur->FixerDefauts(d);
    EcrituresPort();
    ASSERT_NO_FATAL_FAILURE(Cycles(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> sans_mesure = {SP, W("*ESR?"), R("+0\n")};
    EXPECT_EQ(Transcription(), Cycle(-20, -40) + sans_mesure);
    EXPECT_EQ(EcrituresPort(), std::vector<int>{kOctetInitial});
    EXPECT_EQ(LireVoies(sw).numeros, (std::vector<unsigned>{1, 1, 1, 1}));

    // A reply that does not convert keeps the previous reading; the counter still advances.
    mesureur->FixerReponseFetch("#BAD");
    ASSERT_NO_FATAL_FAILURE(Cycles(3));
    Voies v = LireVoies(sw);
    EXPECT_TRUE(MemesValeurs(v.valeurs, {-10, -20, -30, -40}));
    EXPECT_EQ(v.numeros, (std::vector<unsigned>{2, 1, 2, 1}));

    // The error status alone: one serial poll, and the notification ends.
    Transcription();
    d = {};
    d.notificationForcee = 0x8000;
    mesureur->FixerDefauts(d);
    ASSERT_TRUE(Attendre([&] { return !mesureur->Journal().empty(); }, 0.0));
    Laisser(3.0);
    EXPECT_EQ(Transcription(), std::vector<std::string>{SP});
    EXPECT_EQ(LireVoies(sw).numeros, (std::vector<unsigned>{2, 1, 2, 1}));
}

// Freed while its cycle runs: nothing reaches the record or the meter afterwards.
TEST_F(PowerSwitch, FreedWhileTheCycleRuns) {
    Regler(6, 4 | 16);
    ASSERT_NO_FATAL_FAILURE(Demarrer());
    ASSERT_NO_FATAL_FAILURE(Cycles(1));
    liste_instru = Supprimer_instru(liste_instru, liste_instru);
    sw = nullptr;
    Transcription();
    EcrituresPort();
    Laisser(3.0);
    EXPECT_TRUE(Transcription().empty());
    EXPECT_TRUE(EcrituresPort().empty());
}

// ---- the configuration panel ----------------------------------------------------------------

class PowerSwitchPanneau : public PowerSwitch {
protected:
    int Configurer() { return PanneauCharge([&] { sw->configure(sw); }); }
};

TEST_F(PowerSwitchPanneau, ShowsTheSettingsAndOkStoresThem) {
    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "CONFIGURATION DE L'APPAREIL");
    EXPECT_EQ(Libelles(p, Conf_PowSw_RING_Conf_Capt_Power), (std::vector<std::string>{"A", "B", "A et B"}));
    EXPECT_EQ(Libelles(p, Conf_PowSw_RING_Conf_Sw_Power), (std::vector<std::string>{"SW1", "SW2", "SW3"}));
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_PowSw_RING_Conf_2ndSw_Power), "Switch utilisé :");
    EXPECT_EQ(ui_test::TexteVisible(p, Conf_PowSw_NUM_Conf_Freq_Fct_Pow), "Fréquence de");
    EXPECT_EQ(Chaine(p, Conf_PowSw_TEXTMSG), "fonctionnement (MHz)");
    EXPECT_EQ(Valeur(p, Conf_PowSw_NUM_Conf_Adr_Power), 7);
    EXPECT_EQ(Valeur(p, Conf_PowSw_NUM_Conf_Freq_Fct_Pow), 110);
    EXPECT_EQ(Valeur(p, Conf_PowSw_RING_Conf_Capt_Power), 2);
    EXPECT_EQ(Valeur(p, Conf_PowSw_RING_Conf_Sw_Power), 4);
    EXPECT_TRUE(Grise(p, Conf_PowSw_RING_Conf_2ndSw_Power)) << "one sensor: one switch";

    // "A et B" makes the second switch available; once available, it stays so.
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_PowSw_RING_Conf_Capt_Power, 2), 0);
    EXPECT_FALSE(Grise(p, Conf_PowSw_RING_Conf_2ndSw_Power));
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_PowSw_RING_Conf_Capt_Power, 0), 0);
    EXPECT_FALSE(Grise(p, Conf_PowSw_RING_Conf_2ndSw_Power));

    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_PowSw_RING_Conf_Capt_Power, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, Conf_PowSw_RING_Conf_2ndSw_Power, 2), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_PowSw_NUM_Conf_Adr_Power, 13), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, Conf_PowSw_NUM_Conf_Freq_Fct_Pow, 2400), 0);
    Cliquer(p, Conf_PowSw_OK_POWSW);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(sw, kBlocAdresse), 13);
    EXPECT_EQ(LireEntierBloc(sw, kBlocBits), 4 | 16);
    EXPECT_EQ(LireEntierBloc(sw, kBlocCapteur), 6);
    EXPECT_EQ(LireEntierBloc(sw, kBlocFrequence), 2400);
    EXPECT_EQ(LireEntierBloc(sw, kBlocVoies), 4);
    EXPECT_EQ(sw->nb_voie_1D(sw), 4);

    // Opened again, the panel shows both switches it was saved with.
    const int q = Configurer();
    EXPECT_EQ(Valeur(q, Conf_PowSw_RING_Conf_Sw_Power), 4);
    EXPECT_EQ(Valeur(q, Conf_PowSw_RING_Conf_2ndSw_Power), 16);
    EXPECT_FALSE(Grise(q, Conf_PowSw_RING_Conf_2ndSw_Power));
    // "A et B" through one switch: its single line, four channels.
    ASSERT_EQ(ui_test::ChoisirElement(q, Conf_PowSw_RING_Conf_Sw_Power, 2), 0);
    Cliquer(q, Conf_PowSw_OK_POWSW);
    EXPECT_EQ(LireEntierBloc(sw, kBlocBits), 16);
    EXPECT_EQ(LireEntierBloc(sw, kBlocVoies), 4);

    // One sensor: the first switch only, two channels.
    const int r = Configurer();
    ASSERT_EQ(ui_test::ChoisirElement(r, Conf_PowSw_RING_Conf_Capt_Power, 1), 0);
    ASSERT_EQ(ui_test::ChoisirElement(r, Conf_PowSw_RING_Conf_Sw_Power, 1), 0);
    Cliquer(r, Conf_PowSw_OK_POWSW);
    EXPECT_EQ(LireEntierBloc(sw, kBlocBits), 8);
    EXPECT_EQ(LireEntierBloc(sw, kBlocCapteur), 4);
    EXPECT_EQ(LireEntierBloc(sw, kBlocVoies), 2);
    const Voies v = LireVoies(sw);
    EXPECT_EQ(v.noms, (std::vector<std::string>{"Voie B RF1", "Voie B RF2"}));
}

TEST_F(PowerSwitchPanneau, OnlyTheCommitActsAndPanelsCloseWithTheInstrument) {
    const int p = Configurer();
    PowSw_OK(p, Conf_PowSw_OK_POWSW, EVENT_VAL_CHANGED, sw->structure, 0, 0);
    EXPECT_TRUE(Charge(p));
    const int q = Configurer();
    liste_instru = Supprimer_instru(liste_instru, liste_instru);
    sw = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_FALSE(Charge(q));
}

TEST_F(PowerSwitchPanneau, MissingResourceFileOpensNothing) {
    SetResourceDirectory("/nonexistent/ui");
    const auto avant = ui_test::PanneauxCharges();
    sw->configure(sw);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
}

// ---- the settings block -----------------------------------------------------------------------

TEST_F(PowerSwitch, BlockOfANewInstrumentAndOfALoadedOne) {
    const ReponseMemoire m = DemanderMemoire(sw);
    EXPECT_EQ(m.taille, 216u);
    EXPECT_EQ(m.flag, 1);
    EXPECT_EQ(m.debut, sw->structure);
    EXPECT_EQ(LireEntierBloc(sw, kBlocAdresse), 7);
    EXPECT_EQ(LireEntierBloc(sw, kBlocFrequence), 110);
    EXPECT_EQ(LireTexteBloc(sw, 84, 128), "Powermeter Switché"_w);
    EXPECT_EQ(LireVoies(sw).noms, (std::vector<std::string>{"Voie A RF1", "Voie A RF2"}));

    // A loaded block gives its channels without the panel.
    EcrireEntierBloc(sw, kBlocCapteur, 4);
    const Voies v = LireVoies(sw);
    EXPECT_EQ(v.noms, (std::vector<std::string>{"Voie B RF1", "Voie B RF2"}));
    EXPECT_TRUE(MemesValeurs(v.valeurs, {NaN, NaN}));
}

}  // namespace
