// "Enceinte thermique" against the simulated chamber: its settings block, its two panels, the
// bytes of init, of `execute` and of the manual-control panel, init without a chamber, a second
// init, handles brought back by a settings file, and a sequencer script that steps the
// set-point during an acquisition started from the main panel.
#include "app/Interface.h"
#include "framework/liste.h"
#include "instruments/bench/enceinte_thermique.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/instruments/bench/test_enceinte_thermique.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"
#include "uir/UIR_enceinte_thermique.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using enceinte_essai::BancEnceinte;
using enceinte_essai::kAdresse;
using enceinte_essai::Trame;
using Lignes = std::vector<std::string>;

constexpr const char *kCle = "therm.dll";
constexpr std::size_t kAdresseBloc = 4, kTemp = 8, kNom = 12, kIdEnceinte = 268, kPanneau = 272, kTailleBloc = 280;

float LireTemp(PInstrument *i) {
    float v;
    std::memcpy(&v, DebutBloc(i) + kTemp, 4);
    return v;
}
bool Visible(int panel) {
    int v = -1;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v == 1;
}
double Affiche(int panel) {
    double v = -999.0;
    GetCtrlVal(panel, P_PILOT_NUMERIC, &v);
    return v;
}

class Enceinte : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        banc = std::make_unique<BancEnceinte>();
        a = Nouvel_instrument(kCle);
        ASSERT_NE(a, nullptr);
    }
    void TearDown() override {
        if (a) a->liberer(a);
        banc.reset();
        PanneauxInstrument::TearDown();
    }
    sim::EnceinteThermique &Sim() { return *banc->enceinte; }
    // The manual-control panel of this run (0 before init loaded it).
    int Pilotage() { return LireEntierBloc(a, kPanneau) > 0 ? LireEntierBloc(a, kPanneau) : 0; }

    std::unique_ptr<BancEnceinte> banc;
    PInstrument *a = nullptr;
};

TEST_F(Enceinte, TableDefaultsAndSettingsBlock) {
    EXPECT_EQ(enc_ther.start, nullptr);
    EXPECT_EQ(enc_ther.stop, nullptr);
    EXPECT_EQ(enc_ther.nb_voie_1D, nullptr);
    EXPECT_EQ(enc_ther.nb_voie2D, nullptr);
    EXPECT_EQ(enc_ther.nb_voie_calcul, nullptr);
    EXPECT_EQ(enc_ther.nb_voie_calcul2D, nullptr);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(a->status(a), 1);

    const ReponseMemoire m = DemanderMemoire(a, 777);
    EXPECT_EQ(m.flag, 0);
    EXPECT_EQ(m.taille, 777u) << "the size is not written with flag 0";
    EXPECT_EQ(static_cast<char *>(m.fin) - static_cast<char *>(m.debut), static_cast<long>(kTailleBloc));
    EXPECT_EQ(LireEntierBloc(a, 0), 0);
    EXPECT_EQ(LireEntierBloc(a, kAdresseBloc), 3);
    EXPECT_EQ(LireTemp(a), 0.0f);
    EXPECT_EQ(LireTexteBloc(a, kNom, 128), "Enceinte thermique");
    EXPECT_EQ(LireTexteBloc(a, 140, 128), "");
    EXPECT_EQ(LireEntierBloc(a, kIdEnceinte), 0);
    EXPECT_EQ(LireEntierBloc(a, kPanneau), -1);
    EXPECT_EQ(LireEntierBloc(a, 276), 0) << "padding";
    a->piloter(a);  // no panel before the first init: nothing shown, nothing loaded
    a->execute(a, "T=30");
    EXPECT_TRUE(Sim().Journal().empty()) << "no chamber opened before the first init";
    EXPECT_EQ(LireTemp(a), 30.0f);
}

TEST_F(Enceinte, ConfigurationPanelStoresTheAddress) {
    const int p = PanneauCharge([&] { a->configure(a); });
    ASSERT_GT(p, 0);
    EXPECT_TRUE(Visible(p));
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_NUMERIC), "Adresse");
    EXPECT_EQ(ui_test::TexteVisible(p, P_config_BUTTON_OK), "OK");
    EXPECT_EQ(Valeur(p, P_config_NUMERIC), 3);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_config_NUMERIC, 12), 0);
    EXPECT_EQ(LireEntierBloc(a, kAdresseBloc), 3) << "nothing before OK";
    ASSERT_EQ(ui_test::Cliquer(p, P_config_BUTTON_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(a, kAdresseBloc), 12);
    // The new address serves from the next init: nothing listens there.
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(a->init(a), -1);
    // A panel left open goes with its instrument (TearDown checks none is left).
    PanneauCharge([&] { a->configure(a); });
}

TEST_F(Enceinte, InitClearsChecksLoadsThePanelAndSendsMip) {
    a->execute(a, "T=21.5");
    Sim().EffacerJournal();
    const int avant = static_cast<int>(ui_test::PanneauxCharges().size());
    ASSERT_EQ(a->init(a), 0);
    const std::vector<sim::Evenement> j = Sim().Journal();
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0].genre, sim::Evenement::Genre::Effacement);
    EXPECT_EQ(j[1].octets, "MIP RS=26\r");
    EXPECT_TRUE(j[1].fin);
    EXPECT_EQ(Sim().ReglagesInterface(), (Lignes{"MIP RS=26"}));
    EXPECT_EQ(Sim().Consigne(), 20.0) << "the set-point is not sent";
    EXPECT_EQ(static_cast<int>(ui_test::PanneauxCharges().size()), avant + 1);
    const int p = Pilotage();
    ASSERT_GT(p, 0);
    EXPECT_FALSE(Visible(p)) << "loaded hidden";
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Pilotage");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_NUMERIC), "    Temperature");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_COMMANDBUTTON), "Cacher");
    EXPECT_EQ(ui_test::TexteVisible(p, P_PILOT_BUTTON_2), "OK");
    EXPECT_EQ(Affiche(p), 21.5);
    EXPECT_GT(LireEntierBloc(a, kIdEnceinte), 0);
    const ReponseMemoire m = DemanderMemoire(a);
    double fin[2];
    std::memcpy(fin, m.fin, sizeof fin);
    EXPECT_TRUE(std::isnan(fin[0]) && std::isnan(fin[1])) << "the block's end holds the missing value";

    // A second init: another device (the first goes offline), the same panel showing the
    // set-point now stored, "MIP RS=26" again.
    const int premier = LireEntierBloc(a, kIdEnceinte);
    a->execute(a, "T=40");
    Sim().EffacerJournal();
    ASSERT_EQ(a->init(a), 0);
    EXPECT_NE(LireEntierBloc(a, kIdEnceinte), premier);
    EXPECT_NE(ibwrt(premier, "x", 1) & ERR, 0) << "the first device is closed";
    EXPECT_EQ(Pilotage(), p);
    EXPECT_EQ(Affiche(p), 40.0);
    ASSERT_EQ(Sim().Journal().size(), 2u);
    EXPECT_EQ(Sim().Journal()[1].octets, "MIP RS=26\r");
}

TEST_F(Enceinte, NoChamberShowsItsMessageAndSendsNothing) {
    sim::Defauts d;
    d.debranche = true;
    Sim().FixerDefauts(d);
    const auto avant = ui_test::PanneauxCharges();
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(a->init(a), -1);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Attention");
    EXPECT_EQ(vus[0].message, "Il faudrait allumer l'enceinte");
    EXPECT_TRUE(Sim().Ecritures().empty());
    EXPECT_EQ(ui_test::PanneauxCharges(), avant) << "no panel loaded";
    EXPECT_EQ(LireEntierBloc(a, kIdEnceinte), 0);
    EXPECT_EQ(LireEntierBloc(a, kPanneau), -1);
    ui_test::Effacer();

    // Switched on: the next start works. Switched off again: the failed start keeps the device
    // of the last one, which the commands still reach once the chamber is back.
    Sim().FixerDefauts({});
    ASSERT_EQ(a->init(a), 0);
    const int ud = LireEntierBloc(a, kIdEnceinte);
    Sim().FixerDefauts(d);
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(a->init(a), -1);
    EXPECT_EQ(LireEntierBloc(a, kIdEnceinte), ud);
    Sim().FixerDefauts({});
    a->execute(a, "T=33");
    EXPECT_EQ(Sim().Consigne(), 33.0);
}

TEST_F(Enceinte, ExecuteTable) {
    ASSERT_EQ(a->init(a), 0);
    const int p = Pilotage();
    struct Cas {
        const char *commande;
        std::string trame;  // "": nothing sent
        double consigne;    // the chamber's, the panel's and the record's afterwards
    } const cas[] = {
        {"T=25", std::string("\x04\x30\x30\x31\x31\x02\x53\x4C\x30\x32\x35\x2E\x30\x03\x35\x0D", 16), 25.0},
        {"T=-10", Trame("SL-10.0", 0x2E), -10.0},
        {"T=120.5", Trame("SL120.5", 0x34), 120.5},
        {"T= 20", Trame("SL020.0", 0x30), 20.0},
        {"T=25degres", Trame("SL025.0", 0x35), 25.0},
        {"t=30", "", 25.0},
        {"T =30", "", 25.0},
        {"T=", "", 25.0},
        {"consigne=30", "", 25.0},
        {"T=1e30", "", 25.0},   // its frame would be too long
        {"T=inf", "", 25.0},
        {"T=nan", "", 25.0},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.commande);
        Sim().EffacerJournal();
        a->execute(a, c.commande);
        EXPECT_EQ(Sim().Ecritures(), c.trame.empty() ? Lignes{} : Lignes{c.trame});
        EXPECT_EQ(Sim().Consigne(), c.consigne);
        EXPECT_EQ(LireTemp(a), static_cast<float>(c.consigne));
        EXPECT_EQ(Affiche(p), c.consigne);
    }
    // 5.04 goes out with one decimal, and is kept as given.
    a->execute(a, "T=5.04");
    EXPECT_EQ(Sim().Ecritures().back(), Trame("SL005.0", 0x37));
    EXPECT_EQ(LireTemp(a), 5.04f);
    EXPECT_FALSE(Visible(p)) << "execute does not show the panel";
    EXPECT_EQ(Sim().TramesRefusees(), 0);
}

TEST_F(Enceinte, ManualControlPanel) {
    ASSERT_EQ(a->init(a), 0);
    const int p = Pilotage();
    a->piloter(a);
    EXPECT_TRUE(Visible(p));
    Sim().EffacerJournal();
    ASSERT_EQ(ui_test::EntrerValeur(p, P_PILOT_NUMERIC, 42.5), 0);
    EXPECT_TRUE(Sim().Journal().empty()) << "sent by OK only";
    ASSERT_EQ(ui_test::Cliquer(p, P_PILOT_BUTTON_2), 0);
    EXPECT_EQ(Sim().Ecritures(), (Lignes{Trame("SL042.5", 0x03 ^ 'S' ^ 'L' ^ '0' ^ '4' ^ '2' ^ '.' ^ '5')}));
    EXPECT_EQ(Sim().Consigne(), 42.5);
    EXPECT_EQ(LireTemp(a), 42.5f);
    ASSERT_EQ(ui_test::Cliquer(p, P_PILOT_COMMANDBUTTON), 0);
    EXPECT_FALSE(Visible(p));
    EXPECT_TRUE(Charge(p));
    a->piloter(a);
    EXPECT_TRUE(Visible(p));
    // Freed with its panel open: the panel goes, the device goes offline.
    const int ud = LireEntierBloc(a, kIdEnceinte);
    a->liberer(a);
    a = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_NE(ibwrt(ud, "x", 1) & ERR, 0);
}

// A settings file brings back the handles of the run that saved it: never taken for live ones.
TEST_F(Enceinte, RestoredHandlesAreNotUsed) {
    ASSERT_EQ(a->init(a), 0);
    const int autre = Pilotage();  // another instance's panel, in this run
    const int ud = LireEntierBloc(a, kIdEnceinte);
    PInstrument *b = Nouvel_instrument(kCle);
    ASSERT_NE(b, nullptr);
    std::memcpy(DebutBloc(b), DebutBloc(a), kTailleBloc);
    EXPECT_EQ(LireEntierBloc(b, kPanneau), autre);
    Sim().EffacerJournal();
    b->execute(b, "T=35");
    EXPECT_TRUE(Sim().Journal().empty()) << "not through the saved device";
    b->piloter(b);
    EXPECT_FALSE(Visible(autre));
    ASSERT_EQ(b->init(b), 0);
    EXPECT_NE(LireEntierBloc(b, kPanneau), autre) << "a panel of its own";
    EXPECT_NE(LireEntierBloc(b, kIdEnceinte), ud);
    b->execute(b, "T=36");
    EXPECT_EQ(Sim().Consigne(), 36.0);
    EXPECT_EQ(Affiche(autre), 0.0);
    b->liberer(b);
    EXPECT_TRUE(Charge(autre));
}

// ---- a sequencer script during an acquisition -----------------------------------------------------

class EnceinteSequence : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        banc = std::make_unique<BancEnceinte>(false);
    }
    void TearDown() override {
        BancTest::TearDown();
        banc.reset();
    }
    std::string Chemin(const std::string &nom) const { return dossier.filePath(QString::fromStdString(nom)).toStdString(); }
    void Seconde() {
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
    }
    std::unique_ptr<BancEnceinte> banc;
};

TEST_F(EnceinteSequence, AScriptStepsTheSetPointDuringAnAcquisition) {
    AjouterEssai(MesuresScalaires("Essai", {"U"}, {1.5}, 3));
    int ligne = 0;
    while (std::strcmp(catalogue_instru[ligne].type_apareil, kCle) != 0) ++ligne;
    const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
    ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
    const int config = PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
    EXPECT_EQ(Valeur(config, P_config_NUMERIC), kAdresse);
    Cliquer(config, P_config_BUTTON_OK);

    const std::string script = Chemin("enceinte.txt");
    std::ofstream(script, std::ios::binary) << "ouvrir " + Chemin("enceinte.xls") + "\n"
                                               "commande Enceinte thermique:T=25\n"
                                               "attendre Enceinte thermique\n"
                                               "attente 2\n"
                                               "commande enceinte thermique : T=30.5\n"
                                               "attente 2\n"
                                               "commande Enceinte thermique:T=-5\n"
                                               "attente 1\n"
                                               "fermer\n";
    ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, script);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    EXPECT_EQ(banc->enceinte->ReglagesInterface(), (Lignes{"MIP RS=26"}));

    // The chamber holds each set-point in turn for at least one sample, while the other
    // instrument is recorded.
    std::vector<double> tenues;
    for (int s = 0; s < 8; ++s) {
        Seconde();
        const double c = banc->enceinte->Consigne();
        if (tenues.empty() || tenues.back() != c) tenues.push_back(c);
    }
    EXPECT_EQ(tenues, (std::vector<double>{25.0, 30.5, -5.0}));
    EXPECT_EQ(banc->enceinte->Consignes(), tenues) << "each sent once";
    EXPECT_EQ(banc->enceinte->TramesRefusees(), 0);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);

    const std::vector<std::string> statuts = Statuts();
    for (const std::string &c : {std::string("Commande de \"Enceinte thermique\" avec \"T=25\""), std::string("Instru prêt"_w),
                                 std::string("Commande de \"enceinte thermique\" avec \"T=30.5\"")})
        EXPECT_NE(std::find(statuts.begin(), statuts.end(), c), statuts.end()) << c;
    // The other instrument's samples were recorded meanwhile.
    const std::string lignes = LireFichier(Chemin("enceinte.xls"));
    EXPECT_GE(std::count(lignes.begin(), lignes.end(), '\n'), 5) << lignes;
}

}  // namespace
