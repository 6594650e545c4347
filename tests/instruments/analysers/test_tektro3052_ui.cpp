// "Tektronix TDS 3052" on screen: its configuration panel (every control with its items and
// initial state, the record shown, OK storing the operator's choices word for word, a loaded
// block shown as it is, the last of two panels winning, panels closed with the instrument),
// and an acquisition started from the main panel against the simulated oscilloscope: the
// vector record file holds the sine and the square wave the oscilloscope saw with their time
// axis and the spectrum with its frequency axis, and the 3D view draws the sine.
#include "app/Interface.h"
#include "framework/liste.h"
#include "graphs/graph3D.h"
#include "instruments/analysers/tektro3052.h"
#include "instruments/catalogue.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_3d.h"
#include "platform/ui_test.h"
#include "settings/save.h"
#include "sim/analysers/tds3052.h"
#include "tests/instruments/analysers/test_tektro3052.h"
#include "tests/support/banc_test.h"
#include "uir/Interface.h"
#include "uir/UIR_graph3D.h"
#include "uir/UIR_tektro3052.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace tek_essai;

// ---- the configuration panel -----------------------------------------------------------------

class TekPanneau : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        tek = Nouvel_instrument("tektro3052.dll");
        ASSERT_NE(tek, nullptr);
    }
    void TearDown() override {
        if (tek) tek->liberer(tek);
        PanneauxInstrument::TearDown();
    }
    int Configurer() { return PanneauCharge([&] { tek->configure(tek); }); }
    float Reel(std::size_t offset) {
        float v;
        std::memcpy(&v, DebutBloc(tek) + offset, 4);
        return v;
    }
    void FixerReel(std::size_t offset, float v) { std::memcpy(DebutBloc(tek) + offset, &v, 4); }
    static double Double(int p, int control) {
        double v = NAN;
        EXPECT_EQ(GetCtrlVal(p, control, &v), 0);
        return v;
    }
    // Items of a ring as "label=value", whatever the type of their values.
    static std::vector<std::string> Items(int p, int ring) {
        std::vector<std::string> r;
        const std::vector<std::string> libelles = Libelles(p, ring);
        for (std::size_t k = 0; k < libelles.size(); ++k) {
            const int i = static_cast<int>(k);
            char texte[16] = "";
            int entier = 0;
            double reel = 0;
            std::string valeur;
            if (GetValueFromIndex(p, ring, i, texte, sizeof texte) == 0) valeur = texte;
            else if (GetValueFromIndex(p, ring, i, &entier) == 0) valeur = std::to_string(entier);
            else if (GetValueFromIndex(p, ring, i, &reel) == 0) valeur = std::to_string(reel);
            r.push_back(libelles[k] + "=" + valeur);
        }
        return r;
    }

    PInstrument *tek = nullptr;
};

TEST_F(TekPanneau, PanelHoldsEveryControlWithItsItems) {
    const int p = Configurer();
    ASSERT_GT(p, 0);
    EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
    EXPECT_EQ(ui_test::Fenetre(p)->windowTitle(), "Configuration oscilloscope");
    // Items the two channels share.
    const std::vector<std::string> sondes = {"1/100=" + std::to_string(double{0.01f}),
                                             "1/10=" + std::to_string(double{0.1f}), "1=1.000000", "10=10.000000",
                                             "100=100.000000"};
    const std::vector<std::string> couplages = {"AC=AC", "DC=DC", "GND=GND"};
    const std::vector<std::string> bandes = {"20 MHz=TWE", "150 MHz=ONE", "Pleine bande=FULL"};
    const std::vector<std::string> impedances = {"50 Ohm=FIF", "1 MOhm=MEG"};
    const struct {
        int controle;
        const char *libelle;  // UTF-8, as the operator reads it
        std::vector<std::string> items;  // Windows-1252; empty for a control without items
    } controles[] = {
        {P_CFG_TEK_MATH2, "Source 2", {"CH1=CH1", "CH2=CH2"}},
        {P_CFG_TEK_MATHF, "Fonction", {"Addition=+", "Soustraction=-", "Multiplication=*", "Division=/", "FFT=FFT"}},
        {P_CFG_TEK_TRIGAEDGSOU, "Source", {"CH1=CH1", "CH2=CH2", "EXT=EXT", "EXT/10=EXT10", "Secteur=LINE"}},
        {P_CFG_TEK_MATH1, "Source 1", {"CH1=CH1", "CH2=CH2"}},
        {P_CFG_TEK_FENETRE, "Fenetre FFT", {"Rectangulaire=RECT", "Hamming=HAM", "Hanning=HAN", "Blackman-Harris=BLA"}},
        {P_CFG_TEK_TRIGAEDGCOUP, "Couplage",
         {"AC=AC", "DC=DC", "Rejection HF=HFR", "Rejection BF=LFR", "Rejection bruit=NOISE"}},
        {P_CFG_TEK_CH2COUP, "Couplage", couplages},
        {P_CFG_TEK_CH2BAN, "Largeur bande", bandes},
        {P_CFG_TEK_CH2IMP, "Impedance", impedances},
        {P_CFG_TEK_CH2PROBE, "Sonde", sondes},
        {P_CFG_TEK_CH1COUP, "Couplage", couplages},
        {P_CFG_TEK_CH1BAN, "Largeur bande", bandes},
        {P_CFG_TEK_CH1IMP, "Impedance", impedances},
        {P_CFG_TEK_CH1PROBE, "Sonde", sondes},
        {P_CFG_TEK_CH2SCA, "Echelle vecticale", {}},
        {P_CFG_TEK_CH2OFF, "Offset", {}},
        {P_CFG_TEK_ACQMOD, "Mode acquisition", {"Echantillon=SAM", "Crête=PEAK"_w, "Moyenne=AVE", "Enveloppe=ENV"}},
        {P_CFG_TEK_HOR_unit, "Unité horizontale",
         {"s=0", "100 ms=-1", "10 ms=-2", "1 ms=-3", "100 µs=-4"_w, "10 µs=-5"_w, "1 µs=-6"_w, "100 ns=-7", "10 ns=-8",
          "1 ns=-9"}},
        {P_CFG_TEK_CH2INV, "Inversion", {}},
        {P_CFG_TEK_HORMAISCA, "Echelle horizontale", {"10=10", "4=4", "2=2", "1=1"}},
        {P_CFG_TEK_ACQNUMAV, "Nb Moyenne", {"2=2", "4=4", "8=8", "16=16", "32=32", "64=64", "128=128", "256=256", "512=512"}},
        {P_CFG_TEK_ACQNUME, "Nb Enveloppe",
         {"Infinie=0", "2=2", "4=4", "8=8", "16=16", "32=32", "64=64", "128=128", "256=256", "512=512"}},
        {P_CFG_TEK_SELCH2, "Active", {}},
        {P_CFG_TEK_CH1SCA, "Echelle vecticale", {}},
        {P_CFG_TEK_CH1OFF, "Offset", {}},
        {P_CFG_TEK_TRIGALEV, "Niveau", {}},
        {P_CFG_TEK_HORTRIGPOS, "Position trigger (%)", {}},
        {P_CFG_TEK_CH1INV, "Inversion", {}},
        {P_CFG_TEK_HORRECORD, "Résolution", {}},
        {P_CFG_TEK_LINLOG, "Echelle", {}},
        {P_CFG_TEK_SELMATH, "Active", {}},
        {P_CFG_TEK_SELCH1, "Active", {}},
        {P_CFG_TEK_TRIGAEDGSLO, "Front", {}},
        {P_CFG_TEK_GPIB, "Adresse GPIB", {}},
        {P_CFG_TEK_TEK_OK, "OK", {}},
    };
    for (const auto &c : controles) {
        SCOPED_TRACE(c.libelle);
        EXPECT_EQ(ui_test::TexteVisible(p, c.controle), c.libelle);
        if (!c.items.empty()) {
            EXPECT_EQ(Items(p, c.controle), c.items);
        }
    }
    // The five group titles.
    EXPECT_EQ(Chaine(p, P_CFG_TEK_STRING), "Channel 1");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_STRING_5), "Channel 2");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_STRING_2), "Maths");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_STRING_3), "Trigger");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_STRING_4), "Acquisition");
    // Ranges of the numerics.
    const struct {
        int controle;
        double mini, maxi;
    } bornes[] = {{P_CFG_TEK_CH1SCA, 0.001, 10}, {P_CFG_TEK_CH2OFF, -100, 100}, {P_CFG_TEK_TRIGALEV, -100, 100},
                  {P_CFG_TEK_HORTRIGPOS, 0, 100}, {P_CFG_TEK_GPIB, 1, 30}};
    for (const auto &b : bornes) {
        double mini = 0, maxi = 0;
        GetCtrlAttribute(p, b.controle, ATTR_MIN_VALUE, &mini);
        GetCtrlAttribute(p, b.controle, ATTR_MAX_VALUE, &maxi);
        EXPECT_EQ(mini, b.mini);
        EXPECT_EQ(maxi, b.maxi);
    }
    // Set BANC_CAPTURES to a directory to keep a picture of the panel.
    if (const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES")); !garder.isEmpty())
        ui_test::Fenetre(p)->grab().save(QDir(garder).filePath("tek_configuration.png"));
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
}

// A new instance shows its address (4, not the file's 2) and the panel's set-up; OK without a
// change stores that same set-up.
TEST_F(TekPanneau, NewInstanceShowsItsSetUpAndOkKeepsIt) {
    const std::string avant(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc);
    const int p = Configurer();
    EXPECT_EQ(Valeur(p, P_CFG_TEK_GPIB), 4);
    EXPECT_EQ(Chaine(p, P_CFG_TEK_ACQMOD), "SAM");
    EXPECT_EQ(Valeur(p, P_CFG_TEK_ACQNUME), 512);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_HOR_unit), -3);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_HORRECORD), 10000);
    EXPECT_EQ(Chaine(p, P_CFG_TEK_LINLOG), "LOG");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_TRIGAEDGSLO), "FALL");
    EXPECT_EQ(Double(p, P_CFG_TEK_CH1PROBE), 1.0);
    EXPECT_EQ(Double(p, P_CFG_TEK_CH2SCA), 1.0);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_HORTRIGPOS), 50);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_SELCH1), 1);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_SELCH2), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc), avant);
}

// The operator's choices stored word for word: the value of each item, never its label.
TEST_F(TekPanneau, OkStoresTheChoicesAsCommandWords) {
    const int p = Configurer();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_ACQNUME, 0), 0);       // "Infinie"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_TRIGAEDGSOU, 4), 0);   // "Secteur"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_HORMAISCA, 1), 0);     // "4"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_HOR_unit, 6), 0);      // "1 µs"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_CH2PROBE, 1), 0);      // "1/10"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_ACQMOD, 1), 0);        // "Crête"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_MATHF, 3), 0);         // "Division"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_CH1BAN, 0), 0);        // "20 MHz"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_TRIGAEDGCOUP, 4), 0);  // "Rejection bruit"
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TRIGAEDGSLO), 0);             // "Montant"
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_HORRECORD), 0);               // "500"
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_LINLOG), 0);                  // "Lin"
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_SELCH2), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_CH1INV), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_CFG_TEK_GPIB, 17), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_CFG_TEK_CH1SCA, 0.5), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_CFG_TEK_TRIGALEV, -1.5), 0);
    ASSERT_EQ(ui_test::EntrerValeur(p, P_CFG_TEK_HORTRIGPOS, 10), 0);
    // Only the commit of OK stores.
    TEK_OK(p, P_CFG_TEK_TEK_OK, EVENT_VAL_CHANGED, tek->structure, 0, 0);
    EXPECT_TRUE(Charge(p));
    EXPECT_EQ(LireEntierBloc(tek, kAcqnume), 512);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
    EXPECT_FALSE(Charge(p));
    EXPECT_EQ(LireEntierBloc(tek, kAcqnume), 0);
    EXPECT_EQ(LireTexteBloc(tek, kTrigaedgsou, 6), "LINE");
    EXPECT_EQ(LireEntierBloc(tek, kHormaisca), 4);
    EXPECT_EQ(LireEntierBloc(tek, kHorUnit), -6);
    EXPECT_EQ(Reel(kCh2probe), 0.1f);
    EXPECT_EQ(LireTexteBloc(tek, kAcqmod, 6), "PEAK");
    EXPECT_EQ(LireTexteBloc(tek, kMathf, 6), "/");
    EXPECT_EQ(LireTexteBloc(tek, kCh1ban, 6), "TWE");
    EXPECT_EQ(LireTexteBloc(tek, kTrigaedgcoup, 6), "NOISE");
    EXPECT_EQ(LireTexteBloc(tek, kTrigaedgslo, 6), "RIS");
    EXPECT_EQ(LireEntierBloc(tek, kHorrecord), 500);
    EXPECT_EQ(LireTexteBloc(tek, kLinlog, 6), "LIN");
    EXPECT_EQ(LireEntierBloc(tek, kSelch2), 1);
    EXPECT_EQ(LireEntierBloc(tek, kCh1inv), 1);
    EXPECT_EQ(LireEntierBloc(tek, kAdresse), 17);
    EXPECT_EQ(Reel(kCh1sca), 0.5f);
    EXPECT_EQ(Reel(kTrigalev), -1.5f);
    EXPECT_EQ(LireEntierBloc(tek, kHortrigpos), 10);
    // The bytes after a word's terminator are zeros: the same settings save the same bytes.
    EXPECT_EQ(std::memcmp(DebutBloc(tek) + kAcqmod, "PEAK\0\0", 6), 0);
}

// A block as a settings load leaves it: the panel shows exactly its values.
TEST_F(TekPanneau, LoadedBlockShowsAsItIs) {
    EcrireEntierBloc(tek, kAdresse, 12);
    EcrireTexteBloc(tek, kMath1, 6, "CH2");
    EcrireTexteBloc(tek, kFenetre, 6, "HAM");
    EcrireTexteBloc(tek, kCh2imp, 6, "FIF");
    EcrireTexteBloc(tek, kTrigaedgsou, 6, "EXT10");
    EcrireEntierBloc(tek, kAcqnumav, 128);
    EcrireEntierBloc(tek, kHorUnit, -9);
    EcrireEntierBloc(tek, kSelmath, 0);
    FixerReel(kCh1probe, 100.0f);
    FixerReel(kCh2probe, 0.01f);
    FixerReel(kCh2off, -2.25f);
    const int p = Configurer();
    EXPECT_EQ(Valeur(p, P_CFG_TEK_GPIB), 12);
    EXPECT_EQ(Chaine(p, P_CFG_TEK_MATH1), "CH2");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_FENETRE), "HAM");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_CH2IMP), "FIF");
    EXPECT_EQ(Chaine(p, P_CFG_TEK_TRIGAEDGSOU), "EXT10");
    EXPECT_EQ(Valeur(p, P_CFG_TEK_ACQNUMAV), 128);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_HOR_unit), -9);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_SELMATH), 0);
    EXPECT_EQ(Double(p, P_CFG_TEK_CH1PROBE), 100.0);
    EXPECT_EQ(Double(p, P_CFG_TEK_CH2PROBE), static_cast<double>(0.01f));
    EXPECT_EQ(Double(p, P_CFG_TEK_CH2OFF), -2.25);
    const std::string avant(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc), avant);
}

// Through a settings file as the save and load commands write and read it: the 352 bytes come
// back into a new instance whole, and its panel shows the settings confirmed before.
TEST_F(TekPanneau, SettingsFileRoundTrip) {
    int p = Configurer();
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_FENETRE, 2), 0);    // "Hanning"
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_CH1PROBE, 3), 0);   // "10"
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_HORRECORD), 0);            // "500"
    ASSERT_EQ(ui_test::EntrerValeur(p, P_CFG_TEK_GPIB, 9), 0);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
    tek->set_nom_instru(tek, "Scope du banc");
    const auto Enregistrer = [](PInstrument *i, save_registry &r) {
        const ReponseMemoire m = DemanderMemoire(i);
        ASSERT_EQ(m.flag, 0);
        init_save(&r);
        add_struct_to_save_A(&r, m.debut, m.fin, "tektro3052.dll", 3, "Scope du banc");
    };
    save_registry sauve{}, charge{};
    ASSERT_NO_FATAL_FAILURE(Enregistrer(tek, sauve));
    QTemporaryDir dossier;
    const std::string chemin = dossier.filePath("banc.sav").toStdString();
    ASSERT_EQ(save_all(chemin.c_str(), &sauve), 1);
    const std::string avant(reinterpret_cast<const char *>(DebutBloc(tek)), kTailleBloc);
    free_all(&sauve);

    PInstrument *copie = Nouvel_instrument("tektro3052.dll");
    ASSERT_NO_FATAL_FAILURE(Enregistrer(copie, charge));
    EXPECT_EQ(load_all(chemin.c_str(), &charge), 1);
    free_all(&charge);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(DebutBloc(copie)), kTailleBloc), avant);
    std::swap(tek, copie);
    copie->liberer(copie);
    char nom[kLongueurNomInstru];
    tek->get_nom_instru(tek, nom);
    EXPECT_STREQ(nom, "Scope du banc");
    p = Configurer();
    EXPECT_EQ(Chaine(p, P_CFG_TEK_FENETRE), "HAN");
    EXPECT_EQ(Double(p, P_CFG_TEK_CH1PROBE), 10.0);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_HORRECORD), 500);
    EXPECT_EQ(Valeur(p, P_CFG_TEK_GPIB), 9);
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
}

TEST_F(TekPanneau, OfTwoPanelsTheLastOkWins) {
    const int p = Configurer();
    const int q = Configurer();
    ASSERT_NE(p, q);
    ASSERT_EQ(ui_test::ChoisirElement(q, P_CFG_TEK_ACQMOD, 2), 0);
    ASSERT_EQ(ui_test::ChoisirElement(p, P_CFG_TEK_ACQMOD, 3), 0);
    ASSERT_EQ(ui_test::Cliquer(q, P_CFG_TEK_TEK_OK), 0);
    EXPECT_EQ(LireTexteBloc(tek, kAcqmod, 6), "AVE");
    ASSERT_EQ(ui_test::Cliquer(p, P_CFG_TEK_TEK_OK), 0);
    EXPECT_EQ(LireTexteBloc(tek, kAcqmod, 6), "ENV");
}

TEST_F(TekPanneau, PanelsLeftOpenCloseWithTheInstrument) {
    const int p = Configurer();
    const int q = Configurer();
    tek->liberer(tek);
    tek = nullptr;
    EXPECT_FALSE(Charge(p));
    EXPECT_FALSE(Charge(q));
}

TEST_F(TekPanneau, MissingResourceFileShowsNothing) {
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    const std::vector<int> avant = ui_test::PanneauxCharges();
    tek->configure(tek);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_TRUE(ui_test::Vus().empty());
}

// ---- an acquisition from the main panel -------------------------------------------------------

class TekAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        sim::BusDeCarte(0)->Brancher(kAdresseDefaut, tds);
    }
    // Adds the oscilloscope through the add dialog; its panel opens, channel 2 is switched on.
    void AjouterOscilloscope() {
        Cliquer(panel_instru, P_Instru_Ajouter);
        const int dialogue = ui_test::PanneauxCharges().back();
        int ligne = -1;
        for (int k = 0; k < kLignesCatalogue; ++k)
            if (std::strcmp(catalogue_instru[k].type_apareil, "tektro3052.dll") == 0) ligne = k;
        ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        const int panneau = PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
        ASSERT_GT(panneau, 0);
        Cliquer(panneau, P_CFG_TEK_SELCH2);
        Cliquer(panneau, P_CFG_TEK_TEK_OK);
        ASSERT_NE(liste_instru, nullptr);
        tek = liste_instru->plugin;
    }
    // One acquisition completed on the oscilloscope and read by the cycle, then one sample.
    void Tick() {
        const unsigned n = tek->numero2D(tek, 1);
        tds->EffacerJournal();
        horloge::AvancerHorlogeFactice(1.0);
        ASSERT_TRUE(AttendreQue([&] {
            const auto j = Journal(*tds);
            return tek->numero2D(tek, 1) == n + 1 && !j.empty() && j.back() == Ecrit("ACQ:STATE RUN;*OPC");
        }));
        ASSERT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
    }

    Carte0 carte;
    std::shared_ptr<sim::Tds3052> tds = std::make_shared<sim::Tds3052>();
    PInstrument *tek = nullptr;
};

double Double(const std::string &octets, std::size_t position) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(octets[position + static_cast<std::size_t>(i)]))
                << (8 * i);
    return std::bit_cast<double>(bits);
}

TEST_F(TekAcquisition, VectorsReachTheRecordFileAndTheSineIsDrawn) {
    ASSERT_NO_FATAL_FAILURE(AjouterOscilloscope());
    ASSERT_EQ(ui_test::EntrerValeur(panel_commande, P_Commande_N_sous_ech_2D, 10), 0);
    const std::string chemin = dossier.filePath("m.xls").toStdString();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, chemin);
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 1);
    ASSERT_EQ(tek->nb_voie2D(tek), 3);
    // The 3D view on channel 1: 50 positions 40 points apart around the trigger point.
    ASSERT_GT(panel3D, 0);
    ASSERT_EQ(ui_test::ChoisirElement(panel3D, P_OGL_RING, 1), 0);
    ASSERT_EQ(ui_test::EntrerValeur(panel3D, P_OGL_Z_OUT, 40), 0);
    for (int k = 0; k < 50; ++k) ASSERT_NO_FATAL_FAILURE(Tick());

    // The newest column of the surface is the newest vector of channel 1.
    std::vector<double> ch1(10000);
    tek->mesure2D(tek, 1, ch1.data());
    for (int r = 0; r < 50; ++r) ASSERT_EQ(data3D[r][49], ch1[static_cast<std::size_t>(5000 + (r - 25) * 40)]) << r;
    for (int k = 0; k < 10; ++k) QApplication::processEvents();
    QTemporaryDir captures;
    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    const QString image_chemin = QDir(garder.isEmpty() ? captures.path() : garder).filePath("tek_3d.png");
    ASSERT_EQ(OGLSaveImage(panel3D, ctrl3D, image_chemin.toLocal8Bit().constData()), 0);
    const QImage image(image_chemin);
    ASSERT_FALSE(image.isNull());
    // Two periods of the sine across the rows: bands of red (tops) and blue (middles).
    int bleus = 0, rouges = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            bleus += c.blue() > 120 && c.red() < 90 && c.green() < 90;
            rouges += c.red() > 120 && c.blue() < 90 && c.green() < 90;
        }
    EXPECT_GT(bleus, 1000);
    EXPECT_GT(rouges, 1000);
    if (!garder.isEmpty()) {
        QWidget *fenetre = ui_test::Fenetre(panel3D);
        const QRect r = fenetre->frameGeometry();
        fenetre->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(QDir(garder).filePath("tek_fenetre_3d.png"));
    }

    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(acquisition_en_cours, 0);

    // The vector record file: its header, then every 10th sample a text line and the three
    // channels' abscissae and values.
    const std::string f = LireFichier(dossier.filePath("m-Oscillo 500MHz.xls").toStdString());
    const std::string entete = std::string("Date\tHeure\t") + "Durée écoulée"_w +
                               "\tMarqueur\tIndices Channel 1 [10000]\tMesure Channel 1 [10000]"
                               "\tIndices Channel 2 [10000]\tMesure Channel 2 [10000]"
                               "\tIndices Math [10000]\tMesure Math [10000]\n";
    ASSERT_EQ(f.substr(0, entete.size()), entete);
    constexpr std::size_t kOctetsVecteurs = 6 * 10000 * 8;
    std::size_t position = entete.size();
    int enregistrements = 0;
    while (position < f.size()) {
        const std::size_t fin_ligne = f.find('\n', position);
        ASSERT_NE(fin_ligne, std::string::npos);
        const std::size_t d = fin_ligne + 1;
        ASSERT_LE(d + kOctetsVecteurs, f.size());
        const auto valeur = [&](int vecteur, int i) {
            return Double(f, d + (static_cast<std::size_t>(vecteur) * 10000 + static_cast<std::size_t>(i)) * 8);
        };
        // Channel 1: the sine seen from the falling trigger at 0 s, on its time axis.
        for (int i = 0; i < 10000; i += 37) {
            const double t = valeur(0, i);
            ASSERT_EQ(t, static_cast<double>(-5e-3f) + static_cast<double>(1e-6f) * i);
            ASSERT_NEAR(valeur(1, i), -std::sin(2 * std::numbers::pi * 1000.0 * t), 2e-3) << i;
            ASSERT_NEAR(std::fabs(valeur(3, i)), 0.5, 1e-6) << "the square wave of channel 2";
        }
        // Math: the spectrum of channel 1 in dBV, its peak at 1 kHz on the frequency axis.
        int pic = 0;
        for (int i = 1; i < 4096; ++i)
            if (valeur(5, i) > valeur(5, pic)) pic = i;
        EXPECT_NEAR(valeur(4, pic), 1000.0, 123.0);
        EXPECT_NEAR(valeur(5, pic), -3.0, 1.5);
        position = d + kOctetsVecteurs;
        ++enregistrements;
    }
    EXPECT_EQ(enregistrements, 5);
}

}  // namespace
