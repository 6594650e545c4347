// The gain-phase analyser on its configuration panel and through the main panel: the panel's
// controls and what OK stores (and `init` then sends), settings blocks shown again, the
// failures of `init` and `start` with their pop-ups, and an acquisition against the simulated
// analyser that records the low-pass's gain and phase and shows them in the 3D view.
#include "tests/instruments/analysers/test_bode_hp4194.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/Interface.h"
#include "framework/liste.h"
#include "graphs/graph3D.h"
#include "instruments/analysers/bode_hp4194.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_3d.h"
#include "platform/ui_test.h"
#include "sim/analysers/hp4194.h"
#include "sim/bus.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"
#include "uir/UIR_graph3D.h"
#include "uir/UIR_hp4194.h"

namespace {

using namespace bode_essai;
using Lignes = std::vector<std::string>;

double Reel(int panel, int control) {
    double v = -99.0;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

class BodePanneau : public PanneauxInstrument, protected AvecAnalyseur {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        Monter();
    }
    void TearDown() override {
        Demonter();
        PanneauxInstrument::TearDown();
    }
    int Configurer() { return PanneauCharge([&] { bode->configure(bode); }); }
    std::int32_t Entier(std::size_t offset) { return LireEntierBloc(bode, offset); }
    double ReelBloc(std::size_t offset) {
        double v;
        std::memcpy(&v, DebutBloc(bode) + offset, 8);
        return v;
    }
};

TEST_F(BodePanneau, NewInstanceAndItsPanel) {
    char nom[kLongueurNomInstru];
    bode->get_nom_instru(bode, nom);
    EXPECT_STREQ(nom, "Analyseur Gain-Phase");
    EXPECT_EQ(bode->status(bode), 1);
    const ReponseMemoire m = DemanderMemoire(bode);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), 232);

    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration HP4194");
    const struct {
        int controle;
        const char *libelle;
        double valeur;
    } controles[] = {
        {PANEL_bode_REGLAGE, "Reglage", 1},     {PANEL_bode_START, "Start", 1000},
        {PANEL_bode_STOP, "Stop", 100000},      {PANEL_bode_CENTER, "Center", 10000},
        {PANEL_bode_SPAN, "Span", 1000},        {PANEL_bode_GPIB, "Adresse GPIB", 23},
        {PANEL_bode_OSCLEV, "Commande (V)", 1}, {PANEL_bode_MOY, "Moyennage", 1},
        {PANEL_bode_SWEEP, "Balayage", 1},      {PANEL_bode_REF_ATT, "Attenuation", 0},
        {PANEL_bode_REF_IMP, "Impedance", 0},   {PANEL_bode_TRIG, "Trigger", 0},
        {PANEL_bode_MODE, "Mode", 0},           {PANEL_bode_TEST_ATT, "Attenuation", 0},
        {PANEL_bode_TEST_IMP, "Impedance", 0},
    };
    for (const auto &c : controles) {
        SCOPED_TRACE(c.libelle);
        EXPECT_EQ(ui_test::TexteVisible(p, c.controle), c.libelle);
        EXPECT_EQ(Reel(p, c.controle), c.valeur);
    }
    EXPECT_EQ(ui_test::TexteVisible(p, PANEL_bode_COMMANDBUTTON_OK), "OK");
    EXPECT_EQ(Chaine(p, PANEL_bode_TEXTMSG), "Canal de référence"_w);
    EXPECT_EQ(Chaine(p, PANEL_bode_TEXTMSG_2), "Canal de test");
    const Lignes moyennes = {"256", "128", "64", "32", "16", "8", "4", "2", "1"};
    EXPECT_EQ(Libelles(p, PANEL_bode_MOY), moyennes);
    for (std::size_t k = 0; k < moyennes.size(); ++k) {
        ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_bode_MOY, static_cast<int>(k)), 0);
        EXPECT_EQ(Valeur(p, PANEL_bode_MOY), std::stoi(moyennes[k]));
    }
    EXPECT_EQ(Libelles(p, PANEL_bode_REGLAGE), (Lignes{"Start - Stop", "Center - Span"}));
    EXPECT_EQ(Libelles(p, PANEL_bode_SWEEP), (Lignes{"Rapide", "Normal", "Lent"}));
    // Ids as the resource's rule gives them.
    EXPECT_EQ(PANEL_bode_REGLAGE, 2);
    EXPECT_EQ(PANEL_bode_TEST_IMP, 16);
    EXPECT_EQ(PANEL_bode_COMMANDBUTTON_OK, 17);
}

// OK stores every control; `init` sends them at the next acquisition start.
TEST_F(BodePanneau, OkStoresThePanelAndInitSendsIt) {
    const int p = Configurer();
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_bode_SWEEP, 2), 0);    // Lent
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_bode_MOY, 2), 0);      // 64
    ASSERT_EQ(ui_test::ChoisirElement(p, PANEL_bode_REGLAGE, 1), 0);  // Center - Span
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_REF_ATT), 0);            // 20dB
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_REF_IMP), 0);            // 50 Ohm
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_TRIG), 0);               // Single
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_bode_CENTER, 20000), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_bode_SPAN, 5000), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_bode_OSCLEV, 0.5), 0);
    BODE_OK(p, PANEL_bode_COMMANDBUTTON_OK, EVENT_VAL_CHANGED, bode->structure, 0, 0);
    EXPECT_TRUE(Charge(p)) << "only the commit acts";
    EXPECT_EQ(Entier(kSweep), 1);
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_COMMANDBUTTON_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_TRUE(hp->Journal().empty()) << "OK sends nothing";
    const struct {
        std::size_t offset;
        std::int32_t valeur;
    } entiers[] = {{kAdresse, 23}, {kMode, 1},   {kSweep, 3},   {kTrig, 2},    {kMoy, 64},
                   {kReglage, 0},  {kRefAtt, 2}, {kRefImp, 2}, {kTestAtt, 1}, {kTestImp, 1}};
    for (const auto &e : entiers) EXPECT_EQ(Entier(e.offset), e.valeur) << e.offset;
    EXPECT_EQ(ReelBloc(kCenter), 20000.0);
    EXPECT_EQ(ReelBloc(kSpan), 5000.0);
    EXPECT_EQ(ReelBloc(kOsclev), 0.5);
    EXPECT_EQ(ReelBloc(kStart), 1000.0);

    ASSERT_GE(bode->init(bode), 0);
    EXPECT_EQ(Ecritures(*hp), (Lignes{"FNC2", "GPP1", "SWP1", "SWT1", "SWD1", "SWM2", "ITM3", "NOA=64",
                                      "CENTER=20000.000000;SPAN=5000.000000;NOP=401", "OSC=0.500000",
                                      "PWS1", "ATR2", "ZIR2", "ATT1", "ZIT1", "FMT2"}));
    EXPECT_TRUE(hp->Refusees().empty());
    const sim::Hp4194::Reglages r = hp->LireReglages();
    EXPECT_EQ(r.start, 17500.0);
    EXPECT_EQ(r.stop, 22500.0);
    EXPECT_EQ(r.moyennes, 64);
    EXPECT_EQ(r.integration, 3);
}

TEST_F(BodePanneau, TwoPanelsTheLastOkWins) {
    const int p = Configurer();
    const int q = Configurer();
    ASSERT_NE(p, q);
    ASSERT_EQ(ui_test::EntrerValeur(p, PANEL_bode_GPIB, 5), 0);
    ASSERT_EQ(ui_test::EntrerValeur(q, PANEL_bode_GPIB, 7), 0);
    ASSERT_EQ(ui_test::Cliquer(q, PANEL_bode_COMMANDBUTTON_OK), 0);
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_COMMANDBUTTON_OK), 0);
    EXPECT_EQ(Entier(kAdresse), 5);
}

// A block saved by one instance and loaded into a new one, as the settings files do.
TEST_F(BodePanneau, LoadedBlockIsShownAsSaved) {
    bode->set_nom_instru(bode, "Filtre sous test");
    EcrireEntierBloc(bode, kAdresse, 12);
    EcrireEntierBloc(bode, kReglage, 2);  // center and span, whatever the value
    EcrireEntierBloc(bode, kMode, 2);
    EcrireEntierBloc(bode, kTestImp, 2);
    EcrireEntierBloc(bode, kMoy, 16);
    EcrireEntierBloc(bode, kSweep, 2);
    const double span = 123.5;
    std::memcpy(DebutBloc(bode) + kSpan, &span, 8);
    PInstrument *charge = Nouvel_instrument("bode_hp4194.dll");
    ASSERT_NE(charge, nullptr);
    std::memcpy(DebutBloc(charge), DebutBloc(bode), kTailleBloc);
    bode->liberer(bode);
    bode = charge;

    char nom[kLongueurNomInstru];
    bode->get_nom_instru(bode, nom);
    EXPECT_STREQ(nom, "Filtre sous test");
    EXPECT_EQ(bode->status(bode), 1);
    const int p = Configurer();
    EXPECT_EQ(Valeur(p, PANEL_bode_GPIB), 12);
    EXPECT_EQ(Valeur(p, PANEL_bode_REGLAGE), 0) << "Center - Span";
    EXPECT_EQ(Valeur(p, PANEL_bode_MODE), 1) << "Single";
    EXPECT_EQ(Valeur(p, PANEL_bode_TEST_IMP), 1) << "50 Ohm";
    EXPECT_EQ(Valeur(p, PANEL_bode_REF_IMP), 0) << "1M Ohm";
    EXPECT_EQ(Valeur(p, PANEL_bode_MOY), 16);
    EXPECT_EQ(Valeur(p, PANEL_bode_SWEEP), 2);
    EXPECT_EQ(Reel(p, PANEL_bode_SPAN), 123.5);
    ASSERT_EQ(ui_test::Cliquer(p, PANEL_bode_COMMANDBUTTON_OK), 0);
    EXPECT_EQ(Entier(kReglage), 0);
    EXPECT_EQ(Entier(kMode), 2);
    EXPECT_EQ(Entier(kTestImp), 2);
}

TEST_F(BodePanneau, MissingResourceFileOpensNothingAndSaysNothing) {
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    const std::vector<int> avant = ui_test::PanneauxCharges();
    bode->configure(bode);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
}

// ---- failures of init and start -----------------------------------------------------------

TEST_F(BodePanneau, InitWithoutBoard) {
    BusSimule sansCarte(false);
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(bode->init(bode), -1);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "Problème de carte"_w);
    EXPECT_EQ(ui_test::Vus()[0].message, "Carte GPIB non détectée"_w);
    EXPECT_TRUE(hp->Journal().empty());
}

TEST_F(BodePanneau, InitWithNothingListeningAtTheAddress) {
    EcrireEntierBloc(bode, kAdresse, 9);
    EcrireEntierBloc(bode, kIdentificateur, 41);
    EcrireEntierBloc(bode, kStopInterruption, 5);
    EcrireEntierBloc(bode, kNumeroMesure, 6);
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(bode->init(bode), -1);
    ASSERT_EQ(ui_test::Vus().size(), 1u);
    EXPECT_EQ(ui_test::Vus()[0].titre, "PAS BON");
    EXPECT_EQ(ui_test::Vus()[0].message, "Il faudrait penser à brancher le HP à l'adresse 9 !!!"_w);
    EXPECT_TRUE(hp->Journal().empty());
    EXPECT_EQ(Entier(kIdentificateur), 41);
    EXPECT_EQ(Entier(kStopInterruption), 5);
    EXPECT_EQ(Entier(kNumeroMesure), 6);
    // And a start after it sends nothing anywhere, with its message.
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_TRUE(bode->start(bode) & ERR);
    EXPECT_TRUE(hp->Journal().empty());
}

// A device that leaves the bus as soon as it has received `apres`.
class QuitteLeBus final : public sim::Appareil {
public:
    explicit QuitteLeBus(std::string apres) : apres_(std::move(apres)) {}

private:
    void Recu(std::string_view octets, bool) override {
        if (octets == apres_) sim::BusDeCarte(0)->Debrancher(23);
    }
    std::string apres_;
};

TEST_F(BodePanneau, StartFailures) {
    const struct {
        const char *cas;
        const char *message;
        bool refuseNotification;  // the notification cannot be armed
        const char *quitteApres;  // the device leaves the bus after this command ("": at once)
        int resultat;             // -1, or 0 for "a status with bit 0x8000"
    } cas[] = {
        {"RQS2 refused", "Impossible d'initialiser l'interruption (bode)", false, "", 0},
        {"notification refused", "Impossible d'initialiser le HP", true, nullptr, -1},
        {"SWTRG refused", "Impossible de lancer une mesure", false, "RQS2", 0},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.cas);
        std::shared_ptr<sim::Appareil> appareil = hp;
        if (c.quitteApres && c.quitteApres[0]) appareil = std::make_shared<QuitteLeBus>(c.quitteApres);
        sim::BusDeCarte(0)->Brancher(23, appareil);
        sim::Defauts d;
        d.notificationRefusee = c.refuseNotification;
        hp->FixerDefauts(d);
        ASSERT_GE(bode->init(bode), 0);
        if (c.quitteApres && !c.quitteApres[0]) sim::BusDeCarte(0)->Debrancher(23);
        ui_test::Effacer();
        ui_test::Repondre(ui_test::Popup::Message);
        const int r = bode->start(bode);
        if (c.resultat == -1) {
            EXPECT_EQ(r, -1);
        }
        EXPECT_TRUE(r & ERR);
        ASSERT_EQ(ui_test::Vus().size(), 1u);
        EXPECT_EQ(ui_test::Vus()[0].titre, "Attention !!!");
        EXPECT_EQ(ui_test::Vus()[0].message, c.message);
        if (std::string(c.cas) == "SWTRG refused") {
            // Disarmed: the analyser back on the bus and requesting service calls nothing back.
            EXPECT_EQ(Ecritures(*appareil), (Lignes{"FNC2", "GPP1", "SWP1", "SWT1", "SWD1", "SWM2", "ITM1", "NOA=1",
                                                    "START=1000.000000;STOP=100000.000000;NOP=401", "OSC=1.000000",
                                                    "PWS1", "ATR1", "ZIR1", "ATT1", "ZIT1", "FMT2", "RQS2"}));
            sim::BusDeCarte(0)->Brancher(23, hp);
            hp->EffacerJournal();
            char octet = 0;
            const int ud = LireEntierBloc(bode, kIdentificateur);
            ibwrt(ud, "RQS2;SWTRG", 10);
            horloge::AvancerHorlogeFactice(1.0);
            ASSERT_TRUE(hp->DemandeService());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            EXPECT_EQ(Transcript(*hp), (Lignes{"> RQS2;SWTRG"})) << "no callback";
            EXPECT_EQ(bode->numero2D(bode, 1), 0u);
            ibrsp(ud, &octet);
        }
        sim::BusDeCarte(0)->Brancher(23, hp);
    }
}

// ---- an acquisition through the main panel --------------------------------------------------

class BodeAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        hp->FixerCoupure(30e3);
        sim::BusDeCarte(0)->Brancher(23, hp);
        SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, 0);
    }
    void TearDown() override {
        if (acquisition_en_cours == 1) ui_test::Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        BancTest::TearDown();
    }
    // One sampling tick once the analyser's next sweep has been taken in. The count moves with
    // the three traces, before the cycle triggers the next sweep, so the cycle is over only once
    // that sweep is triggered: only then may the clock move on, or that sweep would start after
    // the tick's time.
    void Tick(unsigned sweep) {
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(Attendre([&] {
            if (bode->numero2D(bode, 1) < sweep) return false;
            const auto lignes = Transcript(*hp);
            return static_cast<unsigned>(std::count(lignes.begin(), lignes.end(), "> SWTRG")) > sweep;
        }));
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    BusSimule bus;
    std::shared_ptr<sim::Hp4194> hp = std::make_shared<sim::Hp4194>();
    PInstrument *bode = nullptr;
};

TEST_F(BodeAcquisition, RecordsGainAndPhaseOfTheLowPassAndShowsThem) {
    // Added through the dialog: its panel opens; OK with its settings as they are.
    Cliquer(panel_instru, P_Instru_Ajouter);
    const int dialogue = ui_test::PanneauxCharges().back();
    ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, 18), 0);
    Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK);
    ASSERT_NE(liste_instru, nullptr);
    EXPECT_STREQ(liste_instru->Type_Apareil, "bode_hp4194.dll");
    bode = liste_instru->plugin;
    const int config = ui_test::PanneauxCharges().back();
    ASSERT_EQ(ui_test::Fenetre(config)->windowTitle(), "Configuration HP4194");
    Cliquer(config, PANEL_bode_COMMANDBUTTON_OK);

    const std::string fichier = dossier.filePath("m.xls").toStdString();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, fichier);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    for (unsigned k = 1; k <= 3; ++k) ASSERT_NO_FATAL_FAILURE(Tick(k));

    // The 3D view lists both channels and draws the one chosen.
    ASSERT_GT(panel3D, 0);
    EXPECT_EQ(Libelles(panel3D, P_OGL_RING),
              (Lignes{"(aucun)", "Analyseur Gain-Phase Gain", "Analyseur Gain-Phase Phase"}));
    const TracesAttendues attendu = Attendu(hp->LireReglages(), 30e3);
    const struct {
        int index;
        double min, max;
    } vues[] = {{1, *std::min_element(attendu.gain.begin(), attendu.gain.end()), 0.0}, {2, -90.0, 0.0}};
    unsigned sweep = 3;
    for (const auto &v : vues) {
        SCOPED_TRACE(v.index);
        ASSERT_EQ(ui_test::ChoisirElement(panel3D, P_OGL_RING, v.index), 0);
        ASSERT_NO_FATAL_FAILURE(Tick(++sweep));
        OglEtat e;
        ASSERT_EQ(OGLGetState(panel3D, ctrl3D, &e), 0);
        ASSERT_FALSE(e.hauteurs.empty());
        const auto [bas, haut] = std::minmax_element(e.hauteurs.begin(), e.hauteurs.end());
        EXPECT_GE(*bas, v.min);
        EXPECT_LE(*haut, v.max);
        EXPECT_LT(*bas, *haut) << "a curve, not a flat surface";
    }
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    // The vector record file: a header, then per sample a text line and, per channel, the
    // frequencies and the values, as raw doubles.
    std::string vecteurs;
    for (const auto &f : std::filesystem::directory_iterator(dossier.path().toStdString()))
        if (f.path().filename().string().starts_with("m-")) vecteurs = LireFichier(f.path());
    ASSERT_FALSE(vecteurs.empty());
    std::size_t pos = vecteurs.find('\n');
    ASSERT_NE(pos, std::string::npos);
    EXPECT_EQ(vecteurs.substr(0, pos), "Date\tHeure\tDurée écoulée\tMarqueur\tIndices Gain [401]\tMesure Gain [401]"
                                       "\tIndices Phase [401]\tMesure Phase [401]"_w);
    ++pos;
    int echantillons = 0;
    auto Doubles = [&](std::size_t debut) {
        std::vector<double> v(kPoints);
        std::memcpy(v.data(), vecteurs.data() + debut, kPoints * 8);
        return v;
    };
    while (pos < vecteurs.size()) {
        const std::size_t fin_ligne = vecteurs.find('\n', pos);
        ASSERT_NE(fin_ligne, std::string::npos);
        pos = fin_ligne + 1;
        ASSERT_LE(pos + 4 * kPoints * 8, vecteurs.size());
        EXPECT_TRUE(MemesValeurs(Doubles(pos), attendu.x));
        EXPECT_TRUE(MemesValeurs(Doubles(pos + kPoints * 8), attendu.gain));
        EXPECT_TRUE(MemesValeurs(Doubles(pos + 2 * kPoints * 8), attendu.x));
        EXPECT_TRUE(MemesValeurs(Doubles(pos + 3 * kPoints * 8), attendu.phase));
        pos += 4 * kPoints * 8;
        ++echantillons;
    }
    EXPECT_EQ(echantillons, 5);
}

}  // namespace
