// "Pousse Seringue" against simulated syringe pumps on a pseudo-terminal: the set-up lines of
// `init`, the command language, the exchange's log, address test and failures, both panels
// (resizing, LEDs, manual commands) and the settings block.
#include "instruments/bench/Pousse_Seringue.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/bench/pousse_seringue.h"
#include "tests/instruments/bench/banc_serie.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_Pousse_Seringue.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 2;  // the plugin's default port
constexpr std::size_t kNom = 0, kComPort = 128, kPanel = 132, kNbPS = 136, kHauteursConfig = 140,
                      kHauteursPilotage = 156, kLabels = 172, kAdresses = 428, kDirections = 436,
                      kDiametres = 440, kDebits = 456;
const std::string kPasDeReponse =
    "Pas de réponse d'un des pousses seringues. Vérifiez qu'ils soient mis sous tension."_w;

class PousseSeringue : public InstrumentSerie {
protected:
    PousseSeringue() : InstrumentSerie("Pousse_Seringue.dll", "com2 = sim:Pousse_Seringue\n") {}

    // Pumps at these addresses on the line, in place of the default four.
    void Pompes(std::set<int> adresses) {
        pompes_ = std::make_shared<sim::PoussesSeringues>(std::move(adresses));
        ASSERT_NE(sim::serie::BrancherLigne(pompes_, "Pousse_Seringue", kPort), nullptr);
    }
    sim::serie::Ligne &Ligne() { return *banc_->Ligne(kPort); }
    sim::PoussesSeringues::Pompe Pompe(int adresse) {
        return Ligne().Avec<sim::PoussesSeringues>([&](sim::PoussesSeringues &m) { return m.Etat(adresse); });
    }

    unsigned char *Bloc() { return DebutBloc(instrument); }
    void NbPompes(int n) { Bloc()[kNbPS] = static_cast<unsigned char>(n); }
    void Adresse(int i, int a) { Bloc()[kAdresses + i] = static_cast<unsigned char>(a); }
    float Diametre(int i) {
        float d;
        std::memcpy(&d, Bloc() + kDiametres + 4 * i, 4);
        return d;
    }
    void Diametre(int i, float d) { std::memcpy(Bloc() + kDiametres + 4 * i, &d, 4); }
    int Debit(int i) { return LireEntierBloc(instrument, kDebits + 4 * i); }

    int Init() { return instrument->init(instrument); }
    // The manual-control panel that the first init loaded.
    int Pilotage() {
        const int p = PanneauCharge([&] { EXPECT_EQ(Init(), 0); });
        Ligne().EffacerJournal();
        return p;
    }
    // What reached the pumps since the last look.
    std::string Recu() {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a line not sent stays unsent
        const std::string r = Ligne().Recu();
        Ligne().EffacerJournal();
        return r;
    }
    // Lines logged on the manual-control panel since the last look.
    std::vector<std::string> Journal(int panel) {
        std::vector<std::string> l = Libelles(panel, P_PILOT_LS_RS232_ID);
        std::vector<std::string> nouvelles(l.begin() + static_cast<std::ptrdiff_t>(vus_), l.end());
        vus_ = l.size();
        return nouvelles;
    }

    std::shared_ptr<sim::PoussesSeringues> pompes_;
    std::size_t vus_ = 0;
};

TEST_F(PousseSeringue, DefaultsAndSettingsBlock) {
    const ReponseMemoire m = DemanderMemoire(instrument);
    EXPECT_EQ(m.taille, 472u);
    EXPECT_EQ(LireTexteBloc(instrument, kNom, 128), "Pousse Seringue");
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 2);
    EXPECT_EQ(LireEntierBloc(instrument, kPanel), 0);
    EXPECT_EQ(Bloc()[kNbPS], 1);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(LireEntierBloc(instrument, kHauteursConfig + 4 * i), 170 + 130 * i);
        EXPECT_EQ(LireEntierBloc(instrument, kHauteursPilotage + 4 * i), 130 + 110 * i);
        EXPECT_EQ(LireTexteBloc(instrument, kLabels + 64 * i, 64), "Pousse Seringue  " + std::to_string(i + 1));
        EXPECT_EQ(Bloc()[kAdresses + i], i);
        EXPECT_EQ(Bloc()[kDirections + i], 0);
        EXPECT_EQ(Diametre(i), 12.06f);
        EXPECT_EQ(Debit(i), 1000);
    }
    char nom[kLongueurNomInstru];
    instrument->set_nom_instru(instrument, "PS labo 12 avec un nom beaucoup trop long pour la liste");
    instrument->get_nom_instru(instrument, nom);
    EXPECT_EQ(std::string(nom), std::string("PS labo 12 avec un nom beaucoup trop long pour la liste").substr(0, 39));
    EXPECT_EQ(instrument->status(instrument), 1);
    EXPECT_EQ(instrument->start(instrument), 0);
    EXPECT_EQ(instrument->nb_voie_1D, nullptr);
    EXPECT_EQ(instrument->nb_voie2D, nullptr);
}

TEST_F(PousseSeringue, InitSetsUpThePumpsInUseLineByLine) {
    const int panel = Pilotage();
    EXPECT_GT(panel, 0);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(panel)->height(), 130);
    EXPECT_EQ(ui_test::Fenetre(panel)->width(), 280);
    // The lines of that first init, logged with their CR LF.
    EXPECT_EQ(Journal(panel),
              (std::vector<std::string>{"00DIA\r\n", "00DIR INF\r\n", "00DIA 12.06\r\n", "00RAT 1000UH\r\n"}));
    EXPECT_EQ(Pompe(0).diametre, 12.06f);
    EXPECT_EQ(Pompe(0).debit, 1000);
    EXPECT_EQ(Pompe(1).commandes, 0);

    // The line settings: 9600 baud, 8 bits, 1 stop bit, no flow control.
    const termios t = Ligne().Reglages();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & IXON, 0u);

    struct Cas {
        const char *nom;
        std::set<int> pompes;  // addresses where the line has pumps
        int nb;
        std::vector<int> adresses;
        std::vector<int> directions;
        std::vector<float> diametres;
        std::string envoye;
        std::vector<std::string> journal;
    };
    const Cas cas[] = {
        {"one pump at address 5: 00DIA logged, not sent",
         {5}, 1, {5}, {0}, {12.06f},
         "05DIR INF\r\n05DIA 12.06\r\n05RAT 1000UH\r\n",
         {"00DIA\r\n", "05DIR INF\r\n", "05DIA 12.06\r\n", "05RAT 1000UH\r\n"}},
        {"a pump at address 7, withdrawing",
         {0, 7}, 2, {0, 7}, {0, 1}, {12.06f, 12.06f},
         "00DIA\r\n00DIR INF\r\n00DIA 12.06\r\n00RAT 1000UH\r\n07DIR WDR\r\n07DIA 12.06\r\n07RAT 1000UH\r\n",
         {"00DIA\r\n", "00DIR INF\r\n", "00DIA 12.06\r\n", "00RAT 1000UH\r\n", "07DIR WDR\r\n", "07DIA 12.06\r\n",
          "07RAT 1000UH\r\n"}},
        {"two pumps sharing an address: set up twice, the second's values last",
         {1}, 2, {1, 1}, {0, 2}, {0.1f, 30.0f},
         "01DIR INF\r\n01DIA 0.10\r\n01RAT 1000UH\r\n01DIR WDR\r\n01DIA 30.00\r\n01RAT 1000UH\r\n",
         {"00DIA\r\n", "01DIR INF\r\n", "01DIA 0.10\r\n", "01RAT 1000UH\r\n", "01DIR WDR\r\n", "01DIA 30.00\r\n",
          "01RAT 1000UH\r\n"}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Pompes(c.pompes);
        NbPompes(c.nb);
        for (int i = 0; i < c.nb; ++i) {
            Adresse(i, c.adresses[static_cast<std::size_t>(i)]);
            Bloc()[kDirections + i] = static_cast<unsigned char>(c.directions[static_cast<std::size_t>(i)]);
            Diametre(i, c.diametres[static_cast<std::size_t>(i)]);
        }
        const auto avant = ui_test::PanneauxCharges();
        EXPECT_EQ(Init(), 0);
        EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "the panel is loaded once";
        EXPECT_EQ(Recu(), c.envoye);
        EXPECT_EQ(Journal(panel), c.journal);
        EXPECT_TRUE(ui_test::Vus().empty());
    }
    EXPECT_EQ(pompes_->Etat(1).diametre, 30.0f);
    EXPECT_TRUE(pompes_->Etat(1).retrait);
    EXPECT_EQ(ui_test::Fenetre(panel)->height(), 240);  // two pumps in use at the last init
}

TEST_F(PousseSeringue, CommandLanguage) {
    NbPompes(2);  // pumps 0 and 1, at addresses 0 and 1
    const int panel = Pilotage();
    Journal(panel);
    struct Cas {
        const char *commande;
        std::string envoye;
        std::vector<std::string> journal;
        int pompe, led, debit;  // pump whose LED and rate are looked at, -1 for none
    };
    const Cas cas[] = {
        {"02infuse=200UH", "", {"02RAT 200UH\r\n", "02RUN\r\n"}, 2, 1, 200},  // not in use: logged only
        {"1infuse=300UH", "01RAT 300UH\r\n01RUN\r\n", {"01RAT 300UH\r\n", "01RUN\r\n"}, 1, 1, 300},
        {"01stop", "01STP\r\n", {"01STP\r\n"}, 1, 0, 300},
        {" 1infuse=300", "01RAT 300UH\r\n01RUN\r\n", {"01RAT 300UH\r\n", "01RUN\r\n"}, 1, 1, 300},
        {"01infuse=500.000000UH", "01RAT 500UH\r\n01RUN\r\n", {"01RAT 500UH\r\n", "01RUN\r\n"}, 1, 1, 500},
        {"01infuse=UH", "01STP\r\n", {"01STP\r\n"}, 1, 0, 500},
        {"00infuse= 750UH", "00RAT 750UH\r\n00RUN\r\n", {"00RAT 750UH\r\n", "00RUN\r\n"}, 0, 1, 750},
        {"0xyz", "00STP\r\n", {"00STP\r\n"}, 0, 0, 750},
        {"stop", "", {}, -1, 0, 0},
        {"", "", {}, -1, 0, 0},
        {"-1stop", "", {}, -1, 0, 0},   // indexes outside 0..3 do nothing
        {"99stop", "", {}, -1, 0, 0},
        {"4infuse=10UH", "", {}, -1, 0, 0},
        {"-1infuse=10UH", "", {}, -1, 0, 0},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.commande);
        instrument->execute(instrument, c.commande);
        EXPECT_EQ(Recu(), c.envoye);
        EXPECT_EQ(Journal(panel), c.journal);
        if (c.pompe >= 0) {
            EXPECT_EQ(Valeur(panel, index_to_controlID(c.pompe)), c.led);
            EXPECT_EQ(Debit(c.pompe), c.debit);
        }
    }
    EXPECT_TRUE(ui_test::Vus().empty());
    EXPECT_EQ(Valeur(panel, P_PILOT_NUM_RAT_ID_2), 1000) << "execute leaves the rate control";
    EXPECT_FALSE(Pompe(0).en_marche);
    EXPECT_EQ(Pompe(0).debit, 750);
    EXPECT_FALSE(Pompe(1).en_marche);
    EXPECT_EQ(Pompe(1).debit, 500);
}

TEST_F(PousseSeringue, ControlIdsAndPumpIndexes) {
    const int leds[] = {6, 13, 20, 27};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(index_to_controlID(i), leds[i]);
    for (int i : {-1, 4, 99}) EXPECT_EQ(index_to_controlID(i), -1);
    const std::vector<std::vector<int>> lignes = {{4, 5, 7, 8}, {11, 12, 14, 15}, {18, 19, 21, 22}, {25, 26, 28, 29}};
    std::set<int> vus;
    for (int i = 0; i < 4; ++i)
        for (int id : lignes[static_cast<std::size_t>(i)]) {
            EXPECT_EQ(controlID_to_index(id), i) << id;
            vus.insert(id);
        }
    for (int id = -1; id <= 40; ++id) {
        if (!vus.count(id)) {
            EXPECT_EQ(controlID_to_index(id), -1) << id;
        }
    }
}

TEST_F(PousseSeringue, SilentPumpsEachGiveTheirPopUpAfterFiveSeconds) {
    NbPompes(4);
    Ligne().FixerPanne(sim::serie::Panne::muet);
    for (int i = 0; i < 13; ++i) ui_test::Repondre(ui_test::Popup::Message);
    const double t0 = horloge::Secondes();
    const int panel = PanneauCharge([&] { EXPECT_EQ(Init(), 0); });
    EXPECT_NEAR(horloge::Secondes() - t0, 13 * 5.0, 1e-6);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 13u);
    for (const auto &v : vus) {
        EXPECT_EQ(v.titre, "Attention");
        EXPECT_EQ(v.message, kPasDeReponse);
    }
    std::string lignes = "00DIA\r\n";
    for (const char *a : {"00", "01", "02", "03"})
        lignes += std::string(a) + "DIR INF\r\n" + a + "DIA 12.06\r\n" + a + "RAT 1000UH\r\n";
    EXPECT_EQ(Ligne().Recu(), lignes) << "every line went out";
    EXPECT_EQ(Libelles(panel, P_PILOT_LS_RS232_ID).size(), 13u);
}

TEST_F(PousseSeringue, RepliesWithoutEtxOrTooLongOrGarbled) {
    const int panel = Pilotage();
    Journal(panel);
    // A reply longer than any buffer: read to its ETX, no pop-up.
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) { m.FixerRemplissage(200); });
    instrument->execute(instrument, "00infuse=10UH");
    EXPECT_TRUE(ui_test::Vus().empty());
    EXPECT_EQ(GetInQLen(kPort), 0);
    // No ETX: the exchange waits until 5 s after its line went out, then the pop-up.
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) {
        m.FixerRemplissage(0);
        m.FixerSansEtx(true);
    });
    ui_test::Repondre(ui_test::Popup::Message);
    double t0 = horloge::Secondes();
    instrument->execute(instrument, "00stop");
    EXPECT_NEAR(horloge::Secondes() - t0, 5.0, 1e-6);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].message, kPasDeReponse);
    ui_test::Effacer();
    // Garbage without ETX: the same.
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) { m.FixerSansEtx(false); });
    Ligne().FixerPanne(sim::serie::Panne::charabia);
    ui_test::Repondre(ui_test::Popup::Message);
    instrument->execute(instrument, "00stop");
    EXPECT_EQ(ui_test::Vus().size(), 1u);
    ui_test::Effacer();
    // Unplugged: nothing reaches the pump; each of the two lines gives its pop-up.
    Ligne().FixerPanne(sim::serie::Panne::debranche);
    Ligne().EffacerJournal();
    ui_test::Repondre(ui_test::Popup::Message);
    ui_test::Repondre(ui_test::Popup::Message);
    t0 = horloge::Secondes();
    instrument->execute(instrument, "00infuse=20UH");
    EXPECT_EQ(ui_test::Vus().size(), 2u);
    EXPECT_NEAR(horloge::Secondes() - t0, 10.0, 1e-6);
    EXPECT_EQ(Ligne().Recu(), "");
    EXPECT_EQ(Journal(panel).size(), 6u) << "every line is logged";
    ui_test::Effacer();
    Ligne().FixerPanne(sim::serie::Panne::aucune);

    // A pump that floods the line without ETX: the exchange gives up after 256 bytes, at once,
    // and drops what is left, so that the next line's reply reads right.
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) { m.FixerBavardage(1000, 0.0); });
    ui_test::Repondre(ui_test::Popup::Message);
    t0 = horloge::Secondes();
    instrument->execute(instrument, "00stop");
    EXPECT_LT(horloge::Secondes() - t0, 5.0);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].message, kPasDeReponse);
    ui_test::Effacer();
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) { m.FixerBavardage(0, 0.0); });
    instrument->execute(instrument, "00stop");
    EXPECT_TRUE(ui_test::Vus().empty());
    EXPECT_EQ(GetInQLen(kPort), 0);

    // A pump that keeps talking, a byte every half second for 30 s, without ETX: the exchange
    // still gives up 5 s after its line went out. On a running clock, sped up.
    horloge::UtiliserHorlogeReelle();
    horloge::FixerVitesse(20.0);
    Ligne().Avec<sim::PoussesSeringues>([](sim::PoussesSeringues &m) { m.FixerBavardage(60, 0.5); });
    ui_test::Repondre(ui_test::Popup::Message);
    t0 = horloge::Secondes();
    instrument->execute(instrument, "00stop");
    const double duree = horloge::Secondes() - t0;
    EXPECT_GE(duree, 5.0);
    EXPECT_LT(duree, 10.0);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].message, kPasDeReponse);
}

TEST_F(PousseSeringue, APortThatCannotBeOpenedEndsInitAndLaterCommandsFailAtOnce) {
    banc_->Configurer("com2 = /nonexistent/ttyUSB9\n");
    ui_test::Repondre(ui_test::Popup::Message);
    int r = 0;
    const int panel = PanneauCharge([&] { r = Init(); });
    EXPECT_EQ(r, kRS_CanNotOpenPort);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "Attention");
    EXPECT_EQ(ui_test::Vus()[0].message, "Impossible d'ouvrir le port demandé"_w);
    ui_test::Effacer();
    EXPECT_GT(panel, 0) << "the manual-control panel is loaded by then";

    // The run button of the panel: the write and the read fail at once; one pop-up per line,
    // and the program's clock does not move.
    instrument->piloter(instrument);
    ui_test::Repondre(ui_test::Popup::Message);
    ui_test::Repondre(ui_test::Popup::Message);
    const double t0 = horloge::Secondes();
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_RUN_ID_1), 0);
    EXPECT_EQ(horloge::Secondes(), t0);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 2u);
    for (const auto &v : vus) EXPECT_EQ(v.message, "Erreur de transmission");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_1), 1) << "the LED follows the command, whatever came of it";
}

TEST_F(PousseSeringue, ManualControlPanel) {
    NbPompes(2);
    const auto avant = ui_test::PanneauxCharges();
    instrument->piloter(instrument);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "no panel before the first init";
    const int panel = Pilotage();
    Journal(panel);
    EcrireTexteBloc(instrument, kLabels + 64, 64, "Seringue B");
    instrument->piloter(instrument);
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(panel)->windowTitle(), "Pilotage");
    EXPECT_EQ(Chaine(panel, P_PILOT_LB_ID_1), "Pousse Seringue  1");
    EXPECT_EQ(Chaine(panel, P_PILOT_LB_ID_2), "Seringue B");
    EXPECT_EQ(Chaine(panel, P_PILOT_LB_ID_3), "Pousse Seringue  3");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_CB_RUN_ID_1), "Pump");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_CB_STP_ID_1), "Stop");
    EXPECT_EQ(ui_test::TexteVisible(panel, P_PILOT_LS_RS232_ID), "RS232 status");

    // A rate waits for the run button, which sends it before the run line.
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_NUM_RAT_ID_2, 2500), 0);
    EXPECT_EQ(Recu(), "");
    EXPECT_EQ(Debit(1), 2500);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_RUN_ID_2), 0);
    EXPECT_EQ(Recu(), "01RAT 2500UH\r\n01RUN\r\n");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_2), 1);
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_1), 0);
    // A direction goes at once.
    ASSERT_EQ(ui_test::ChoisirElement(panel, P_PILOT_RG_DIR_ID_1, 1), 0);
    EXPECT_EQ(Recu(), "00DIR WDR\r\n");
    EXPECT_EQ(Bloc()[kDirections], 1);
    ASSERT_EQ(ui_test::ChoisirElement(panel, P_PILOT_RG_DIR_ID_1, 0), 0);
    EXPECT_EQ(Recu(), "00DIR INF\r\n");
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_STP_ID_2), 0);
    EXPECT_EQ(Recu(), "01STP\r\n");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_2), 0);
    // The stop of a pump not in use is logged, sent only when a pump in use has its address.
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_RUN_ID_4), 0);
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_4), 1);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_STP_ID_4), 0);
    EXPECT_EQ(Recu(), "");
    EXPECT_EQ(Valeur(panel, P_PILOT_LED_RUN_ID_4), 0);
    Adresse(3, 1);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_STP_ID_4), 0);
    EXPECT_EQ(Recu(), "01STP\r\n");
    EXPECT_EQ(Journal(panel), (std::vector<std::string>{"01RAT 2500UH\r\n", "01RUN\r\n", "00DIR WDR\r\n",
                                                        "00DIR INF\r\n", "01STP\r\n", "03RAT 1000UH\r\n",
                                                        "03RUN\r\n", "03STP\r\n", "01STP\r\n"}));
    // Hidden, not discarded; the log is kept.
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_HIDE), 0);
    EXPECT_FALSE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_TRUE(Charge(panel));
    instrument->piloter(instrument);
    EXPECT_EQ(Libelles(panel, P_PILOT_LS_RS232_ID).size(), 7u + 9u);
    EXPECT_TRUE(ui_test::Vus().empty());
}

TEST_F(PousseSeringue, ConfigurationPanel) {
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_GT(p, 0);
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration des Pousses Seringues");
    EXPECT_EQ(ui_test::Fenetre(p)->height(), 170);
    EXPECT_EQ(ui_test::Fenetre(p)->width(), 280);
    EXPECT_EQ(Valeur(p, P_INSTR_RG_COM_ID), 2);
    EXPECT_EQ(Valeur(p, P_INSTR_NUM_PS_ID), 1);
    EXPECT_EQ(Chaine(p, P_INSTR_STR_PS_ID_3), "Pousse Seringue  3");
    EXPECT_EQ(Valeur(p, P_INSTR_NUM_PS_ID_4), 3);
    EXPECT_EQ(Libelles(p, P_INSTR_RG_DIR_ID_1), (std::vector<std::string>{">> Injection", "<< Pompage"}));

    // The count is stored at once and the panel shows the rows in use.
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_PS_ID, 3), 0);
    EXPECT_EQ(ui_test::Fenetre(p)->height(), 430);
    EXPECT_EQ(Bloc()[kNbPS], 3);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_PS_ID, 1), 0);
    EXPECT_EQ(ui_test::Fenetre(p)->height(), 170);

    // OK stores the four rows, those below the panel's edge included.
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_RG_COM_ID, 3), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_PS_ID_4, 42), 0);
    ASSERT_EQ(ui_test::EntrerTexte(p, P_INSTR_STR_PS_ID_4, "Seringue d'acide"), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_DIA_ID_4, 4.61), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_RAT_ID_4, 12300), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_INSTR_RG_DIR_ID_4, 1), 0);
    EXPECT_EQ(Recu(), "") << "nothing is sent";
    ASSERT_EQ(ui_test::Cliquer(p, P_INSTR_CB_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(instrument, kComPort), 4);
    EXPECT_EQ(Bloc()[kAdresses + 3], 42);
    EXPECT_EQ(LireTexteBloc(instrument, kLabels + 3 * 64, 64), "Seringue d'acide");
    EXPECT_EQ(Diametre(3), 4.61f);
    EXPECT_EQ(Debit(3), 12300);
    EXPECT_EQ(Bloc()[kDirections + 3], 1);
    EXPECT_EQ(Bloc()[kNbPS], 1);

    // Opened with two pumps in use: 300 pixels. A panel left open goes with the instrument.
    NbPompes(2);
    const int q = PanneauCharge([&] { instrument->configure(instrument); });
    EXPECT_EQ(ui_test::Fenetre(q)->height(), 300);
    EXPECT_EQ(Valeur(q, P_INSTR_RG_COM_ID), 4);
}

TEST_F(PousseSeringue, PilotPanelHeightIsTheOneOfTheLastInit) {
    const int panel = Pilotage();
    const int p = PanneauCharge([&] { instrument->configure(instrument); });
    ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_PS_ID, 4), 0);
    instrument->piloter(instrument);
    EXPECT_EQ(ui_test::Fenetre(panel)->height(), 130);
    EXPECT_EQ(Init(), 0);
    EXPECT_EQ(ui_test::Fenetre(panel)->height(), 460);
}

// Heights from a damaged settings file that no panel can have: each panel opens at once at its
// whole height (560 and 460 pixels), at the configuration panel's opening, at its count of pumps,
// and at init; a height it can have is kept. The stored bytes stay as they are.
TEST_F(PousseSeringue, PanelHeightsFromADamagedSettingsFileAreBounded) {
    const struct {
        std::int32_t hauteur;          // every entry of both tables
        int configuration, pilotage;  // the heights the panels take
    } cas[] = {
        {0x7F7F7F7F, 560, 460},
        {561, 560, 460},
        {0, 560, 460},
        {-1, 560, 460},
        {std::numeric_limits<std::int32_t>::min(), 560, 460},
        {500, 500, 460},
        {200, 200, 200},
    };
    const int pilotage = Pilotage();
    for (const auto &c : cas) {
        SCOPED_TRACE(c.hauteur);
        for (int i = 0; i < 4; ++i) {
            EcrireEntierBloc(instrument, kHauteursConfig + 4 * i, c.hauteur);
            EcrireEntierBloc(instrument, kHauteursPilotage + 4 * i, c.hauteur);
        }
        NbPompes(1);
        const auto debut = std::chrono::steady_clock::now();
        const int p = PanneauCharge([&] { instrument->configure(instrument); });
        ASSERT_GT(p, 0);
        EXPECT_EQ(ui_test::Fenetre(p)->height(), c.configuration);
        ASSERT_EQ(ui_test::EntrerValeur(p, P_INSTR_NUM_PS_ID, 4), 0);
        EXPECT_EQ(ui_test::Fenetre(p)->height(), c.configuration) << "four pumps";
        ASSERT_EQ(ui_test::Cliquer(p, P_INSTR_CB_OK), 0);
        EXPECT_EQ(Init(), 0);
        instrument->piloter(instrument);
        EXPECT_EQ(ui_test::Fenetre(pilotage)->height(), c.pilotage);
        EXPECT_EQ(ui_test::Fenetre(pilotage)->width(), 280);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count(), 5.0);
        ASSERT_EQ(ui_test::Cliquer(pilotage, P_PILOT_CB_HIDE), 0);
        EXPECT_EQ(LireEntierBloc(instrument, kHauteursConfig), c.hauteur);
        EXPECT_EQ(LireEntierBloc(instrument, kHauteursPilotage + 12), c.hauteur);
    }
}

// A settings load brings back the handle of the run that saved the block: init loads a panel of
// its own, and never writes into the panel that handle may name now.
TEST_F(PousseSeringue, ARestoredPanelHandleIsNeverUsed) {
    const int autre = LoadPanel(0, "UIR_Pousse_Seringue.uir", P_PILOT);
    ASSERT_GT(autre, 0);
    EcrireEntierBloc(instrument, kPanel, autre);
    const int panel = Pilotage();
    EXPECT_NE(panel, autre);
    EXPECT_EQ(Libelles(autre, P_PILOT_LS_RS232_ID).size(), 0u);
    EXPECT_EQ(Libelles(panel, P_PILOT_LS_RS232_ID).size(), 4u);
    instrument->liberer(instrument);
    instrument = nullptr;
    EXPECT_TRUE(Charge(autre));
    DiscardPanel(autre);
}

// Freed right after an acquisition start: the port closes with it (the device may be opened
// again at once), and its panels go.
TEST_F(PousseSeringue, LibererClosesThePortItOpened) {
    Pilotage();
    EXPECT_EQ(GetInQLen(kPort), 0);
    instrument->liberer(instrument);
    instrument = nullptr;
    EXPECT_EQ(GetInQLen(kPort), kRS_PortNotOpen);
}

}  // namespace
