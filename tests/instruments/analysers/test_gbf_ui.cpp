// The function generator "GBF HP3312A" against the simulated HP 33220A: its settings block, its
// configuration panel, the bytes that init, the command language of execute and the
// manual-control panel put on the bus, init's failures, and the generator driven by a sequencer
// script during an acquisition started from the main panel.
#include "app/Interface.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/bench_config.h"
#include "platform/clock.h"
#include "platform/gpib.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "sim/analysers/hp33220a.h"
#include "sim/bus.h"
#include "sim/transcription.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"
#include "uir/UIR_GBF_HP3312A.h"
#include "uir/UIR_GBF_HP3312A_pilot.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr const char *kCle = "GBF_HP3312A.dll";
constexpr std::time_t kDebut = 1765370096;
using Lignes = std::vector<std::string>;

// Offsets of the settings block.
constexpr std::size_t kNom = 0, kIdentificateur = 128, kGpibId = 132, kAdresse = 136, kPanneau = 140;
constexpr std::ptrdiff_t kTailleBloc = 144;

// Every write the generator received, each ending with its NUL.
Lignes Ecrits(const sim::Appareil &g) { return g.Ecritures(); }
Lignes AvecNul(const Lignes &commandes) {
    Lignes r;
    for (const std::string &c : commandes) r.push_back(c + '\0');
    return r;
}

// The transcript: "> text" for a write with END on its last byte ("\0" for a NUL), "<" and the
// bytes of a read with END, "clear" for a device clear.
Lignes Transcript(const sim::Appareil &g) {
    Lignes r;
    for (const sim::Evenement &e : g.Journal()) {
        std::string t;
        for (const char c : e.octets) t += c == '\0' ? std::string("\\0") : std::string(1, c);
        if (!e.fin && e.genre != sim::Evenement::Genre::Effacement) t += " (no END)";
        switch (e.genre) {
        case sim::Evenement::Genre::Ecriture: r.push_back("> " + t); break;
        case sim::Evenement::Genre::Lecture: r.push_back("< " + t); break;
        case sim::Evenement::Genre::SerialPoll: r.push_back("poll"); break;
        case sim::Evenement::Genre::Effacement: r.push_back("clear"); break;
        }
    }
    return r;
}

// A bench configuration of the test's own, board 0 simulated (or absent), its bus emptied;
// everything put back at the end.
class BancSimule {
public:
    BancSimule() { Configurer(true); }
    ~BancSimule() {
        RechargerConfigurationBanc("/nonexistent/banc.conf");
        ReinitialiserCartesGpib();
        sim::BusDeCarte(0)->Vider();
    }
    BancSimule(const BancSimule &) = delete;
    BancSimule &operator=(const BancSimule &) = delete;

    void Configurer(bool avecCarte) {
        const std::string chemin = dossier_.filePath("banc.conf").toStdString();
        std::ofstream(chemin) << (avecCarte ? "gpib0 = sim\n" : "gpib0 = none\n");
        RechargerConfigurationBanc(chemin.c_str());
        ReinitialiserCartesGpib();
    }
    // A new generator at `adresse`.
    static std::shared_ptr<sim::Hp33220A> Generateur(int adresse = 1) {
        auto g = std::make_shared<sim::Hp33220A>();
        sim::BusDeCarte(0)->Brancher(adresse, g);
        return g;
    }

private:
    QTemporaryDir dossier_;
    // The simulated devices note their exchanges while this lives: the tests read them back.
    sim::Transcription transcription_;
};

// What the manual-control panel shows.
struct Pilotage {
    int forme = 0;
    double frequence = 5000.0, amplitude = 2.0, rate = 50.0;
    int cycles = 500;
    bool operator==(const Pilotage &) const = default;
};
void PrintTo(const Pilotage &p, std::ostream *os) {
    *os << "{forme " << p.forme << ", frequence " << p.frequence << ", amplitude " << p.amplitude << ", rate "
        << p.rate << ", cycles " << p.cycles << "}";
}
Pilotage Lire(int panel) {
    Pilotage p;
    GetCtrlVal(panel, P_PILOT_FORME, &p.forme);
    GetCtrlVal(panel, P_PILOT_Frequence, &p.frequence);
    GetCtrlVal(panel, P_PILOT_Amplitude, &p.amplitude);
    GetCtrlVal(panel, P_PILOT_Rate, &p.rate);
    GetCtrlVal(panel, P_PILOT_NbCycle, &p.cycles);
    return p;
}

bool Visible(int panel) {
    int v = -1;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v == 1;
}

// ---- the plugin on its own ------------------------------------------------------------------

class Gbf : public PanneauxInstrument {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        horloge::UtiliserHorlogeFactice(kDebut);
        banc_ = std::make_unique<BancSimule>();
        generateur = BancSimule::Generateur(1);
    }
    void TearDown() override {
        for (PInstrument *i : instances_) i->liberer(i);
        instances_.clear();
        banc_.reset();
        horloge::UtiliserHorlogeReelle();
        PanneauxInstrument::TearDown();
    }

    PInstrument *Nouveau() {
        PInstrument *i = Nouvel_instrument(kCle);
        EXPECT_NE(i, nullptr);
        if (i) instances_.push_back(i);
        return i;
    }
    void Liberer(PInstrument *i) {
        std::erase(instances_, i);
        i->liberer(i);
    }
    // A new instance through a successful init; its manual-control panel. The generator's
    // transcript is emptied.
    PInstrument *Initialise(int *panneau = nullptr) {
        PInstrument *i = Nouveau();
        const int p = PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); });
        if (panneau) *panneau = p;
        generateur->EffacerJournal();
        return i;
    }
    void Banc(bool avecCarte) { banc_->Configurer(avecCarte); }

    std::shared_ptr<sim::Hp33220A> generateur;

private:
    std::unique_ptr<BancSimule> banc_;
    std::vector<PInstrument *> instances_;
};

TEST_F(Gbf, UneNouvelleInstanceSauveSonNomEtSonAdresseSur144Octets) {
    PInstrument *i = Nouveau();
    char nom[kLongueurNomInstru];
    i->get_nom_instru(i, nom);
    EXPECT_STREQ(nom, "GBF HP3312A");
    const ReponseMemoire r = DemanderMemoire(i, 12345);
    EXPECT_EQ(r.flag, 0);
    EXPECT_EQ(r.taille, 12345u) << "the size is not written with flag 0";
    EXPECT_EQ(static_cast<const char *>(r.fin) - static_cast<const char *>(r.debut), kTailleBloc);
    EXPECT_EQ(LireTexteBloc(i, kNom, 128), "GBF HP3312A");
    EXPECT_EQ(DebutBloc(i)[kNom + 11], 0);
    EXPECT_EQ(LireEntierBloc(i, kIdentificateur), 0);
    EXPECT_EQ(LireEntierBloc(i, kGpibId), 0);
    EXPECT_EQ(LireEntierBloc(i, kAdresse), 1);
    EXPECT_EQ(LireEntierBloc(i, kPanneau), 0);
}

// A block saved by another run holds that run's device and panel: the restored instance gets
// its name and address back, loads a manual-control panel of its own at its first init, and
// saves 0 in both places again.
TEST_F(Gbf, UnBlocRechargeNeRamenePasLesPoigneesDUneAutreSession) {
    auto autre = BancSimule::Generateur(9);
    int panneau_existant = 0;
    Initialise(&panneau_existant);

    PInstrument *i = Nouveau();
    DemanderMemoire(i);  // the load asks for the bounds, then reads the stored bytes over them
    EcrireTexteBloc(i, kNom, 128, "Générateur"_w);
    EcrireEntierBloc(i, kIdentificateur, 3);
    EcrireEntierBloc(i, kGpibId, 77);
    EcrireEntierBloc(i, kAdresse, 9);
    EcrireEntierBloc(i, kPanneau, panneau_existant);

    char nom[kLongueurNomInstru];
    i->get_nom_instru(i, nom);
    EXPECT_EQ(std::string(nom), "Générateur"_w);
    const int propre = PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); });
    EXPECT_NE(propre, 0);
    EXPECT_NE(propre, panneau_existant);
    EXPECT_EQ(Ecrits(*autre), AvecNul({"*IDN?", "APPL:SIN 5 KHZ, 3.0 VPP, 0V"}));
    i->execute(i, "sinus");
    EXPECT_EQ(Lire(propre).forme, 0);
    EXPECT_EQ(Ecrits(*autre).back(), AvecNul({"SOUR:FUNC:SHAP:SIN"}).front());

    // Its liberer discards its own panel only.
    DemanderMemoire(i);
    EXPECT_EQ(LireEntierBloc(i, kIdentificateur), 0);
    EXPECT_EQ(LireEntierBloc(i, kPanneau), 0);
    EXPECT_EQ(LireEntierBloc(i, kGpibId), 77) << "the reserved field keeps what was loaded";
    Liberer(i);
    EXPECT_TRUE(Charge(panneau_existant));
    EXPECT_FALSE(Charge(propre));
}

TEST_F(Gbf, LePanneauDeConfigurationReglerLAdresse) {
    PInstrument *i = Nouveau();
    EcrireEntierBloc(i, kAdresse, 17);
    const int panel = PanneauCharge([&] { i->configure(i); });
    ASSERT_NE(panel, 0);
    char titre[100] = "";
    GetPanelAttribute(panel, ATTR_TITLE, titre, sizeof titre);
    EXPECT_STREQ(titre, "Configuration de l'instrument GBF HP3312A.");
    EXPECT_EQ(Valeur(panel, P_INSTR_NM_GPIB_ADRSS), 17);
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_INSTR_NM_GPIB_ADRSS, 12), 0);
    EXPECT_EQ(LireEntierBloc(i, kAdresse), 17) << "nothing is taken before OK";
    ASSERT_EQ(ui_test::Cliquer(panel, P_INSTR_CB_OK), 0);
    ProcessSystemEvents();
    EXPECT_FALSE(Charge(panel));
    EXPECT_EQ(LireEntierBloc(i, kAdresse), 12);
    EXPECT_TRUE(generateur->Journal().empty()) << "OK sends nothing";

    SansRessources();
    const auto avant = ui_test::PanneauxCharges();
    i->configure(i);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(LireEntierBloc(i, kAdresse), 12);
}

// init: the identity, then a 5 kHz sine; every command with its NUL and END on its last byte.
// The manual-control panel is loaded hidden, once.
TEST_F(Gbf, InitIdentifieLeGenerateurEtLeMetEnSinus5kHz) {
    PInstrument *i = Nouveau();
    const int panel = PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); });
    ASSERT_GT(panel, 0);
    EXPECT_FALSE(Visible(panel));
    EXPECT_EQ(Lire(panel), Pilotage{});
    const Lignes attendu = {"clear", "> *IDN?\\0", "< " + std::string(sim::Hp33220A::kIdentite) + "\n",
                            "> APPL:SIN 5 KHZ, 3.0 VPP, 0V\\0"};
    EXPECT_EQ(Transcript(*generateur), attendu);
    const sim::Hp33220A::Sortie s = generateur->Etat();
    EXPECT_EQ(s.forme, sim::Hp33220A::Forme::Sinus);
    EXPECT_EQ(s.frequence, 5000.0);
    EXPECT_EQ(s.amplitude, 3.0);
    EXPECT_EQ(s.decalage, 0.0);
    EXPECT_TRUE(s.active);
    EXPECT_TRUE(generateur->Erreurs().empty());

    // A second start: the same exchange, no second panel, and commands still reach the
    // generator (the device of the first start went offline, the new one is in use).
    generateur->EffacerJournal();
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(i->init(i), 0);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(Transcript(*generateur), attendu);
    generateur->EffacerJournal();
    i->execute(i, "carre");
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"SOUR:FUNC:SHAP:SQR"}));
}

struct CasEchec {
    const char *nom;
    std::function<void()> panne;
    const char *titre;
    std::string message;
};

// Each failure shows its pop-up and fails init, with the manual-control panel already loaded;
// once the fault is gone the next init loads no second panel and succeeds. Waits on a silent
// generator end at the 10-second time-out.
TEST_F(Gbf, LesEchecsDInitMontrentLeurMessage) {
    const std::string modele = "Modèle non supporté par ce module !"_w;
    const auto Panne = [this](bool sim::Defauts::*defaut) {
        return [this, defaut] {
            sim::Defauts d;
            d.*defaut = true;
            generateur->FixerDefauts(d);
        };
    };
    const std::vector<CasEchec> cas = {
        {"no board", [this] { Banc(false); }, "Problème de carte"_w, "Carte GPIB non détectée"_w},
        {"nothing at the address", [] { sim::BusDeCarte(0)->Debrancher(1); }, "PAS BON",
         "Il faudrait penser à brancher le GBF à l'adresse 1 !!!"_w},
        {"unplugged", Panne(&sim::Defauts::debranche), "PAS BON",
         "Il faudrait penser à brancher le GBF à l'adresse 1 !!!"_w},
        {"another model", [this] { generateur->FixerIdentite("HEWLETT-PACKARD,33120A,0,7.0-5.0-1.0"); }, "Erreur",
         modele},
        {"identity beyond the 250 bytes read",
         [this] { generateur->FixerIdentite(std::string(240, 'x') + sim::Hp33220A::kIdentite); }, "Erreur", modele},
        {"silent", Panne(&sim::Defauts::muet), "Erreur", modele},
        {"garbage", Panne(&sim::Defauts::charabia), "Erreur", modele},
    };
    for (const CasEchec &c : cas) {
        SCOPED_TRACE(c.nom);
        PInstrument *i = Nouveau();
        generateur->EffacerJournal();
        c.panne();
        ui_test::Effacer();
        ui_test::Repondre(ui_test::Popup::Message);
        const int panel = PanneauCharge([&] { EXPECT_EQ(i->init(i), -1); });
        EXPECT_GT(panel, 0);
        const auto vus = ui_test::Vus();
        ASSERT_EQ(vus.size(), 1u);
        EXPECT_EQ(vus[0].titre, c.titre);
        EXPECT_EQ(vus[0].message, c.message);
        for (const std::string &e : Ecrits(*generateur)) EXPECT_NE(e, AvecNul({"APPL:SIN 5 KHZ, 3.0 VPP, 0V"})[0]);

        Banc(true);
        generateur = BancSimule::Generateur(1);
        const auto avant = ui_test::PanneauxCharges();
        EXPECT_EQ(i->init(i), 0);
        EXPECT_EQ(ui_test::PanneauxCharges(), avant);
        Liberer(i);
    }
}

// The identity may stand anywhere in the 250 bytes read.
TEST_F(Gbf, LIdentitePeutSeTrouverDansLaReponse) {
    generateur->FixerIdentite("Agilent Technologies (HEWLETT-PACKARD,33220A,0,2.02)");
    PInstrument *i = Nouveau();
    EXPECT_GT(PanneauCharge([&] { EXPECT_EQ(i->init(i), 0); }), 0);
}

// A start that fails leaves the device of the last good one in use: the manual-control panel
// and execute still drive that generator.
TEST_F(Gbf, UnInitEchoueGardeLeGenerateurDuDernierInitReussi) {
    int panel = 0;
    PInstrument *i = Initialise(&panel);
    EcrireEntierBloc(i, kAdresse, 2);  // nothing there
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(i->init(i), -1);
    i->execute(i, "bruit");
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_Burst), 0);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"SOUR:NOIS", "BM:SOUR INT", "BM:STAT ON", "BM:PHAS 0",
                                            "BM:INT:RATE 50.000000", "BM:NCYC 500"}));
}

// Without its manual-control panel's resource file, init fails with no message; later starts do
// not try the load again, go through the GPIB steps and succeed; the panel operations then act on
// no panel, and execute still sends.
TEST_F(Gbf, SansPanneauDePilotage) {
    PInstrument *i = Nouveau();
    SansRessources();
    const auto avant = ui_test::PanneauxCharges();
    EXPECT_EQ(i->init(i), -1);
    EXPECT_TRUE(generateur->Journal().empty());
    SetResourceDirectory(BANC_SOURCE_DIR "/ui");
    EXPECT_EQ(i->init(i), 0);
    i->piloter(i);
    i->execute(i, "frequence=10");
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"*IDN?", "APPL:SIN 5 KHZ, 3.0 VPP, 0V", "SOUR:FREQ 10.000000"}));
}

// ---- the command language -------------------------------------------------------------------

struct CasCommande {
    Lignes textes;      // given to execute, in order
    Lignes envoye;      // the writes, without their NUL
    Pilotage panneau;   // what the manual-control panel shows afterwards
    bool refus = false; // a command too long for its buffer: a message, nothing sent
};

std::vector<CasCommande> TableDesCommandes() {
    const auto F = [](double f) {
        Pilotage p;
        p.frequence = f;
        return p;
    };
    Pilotage p500 = F(500.0);
    Pilotage amplitude;
    amplitude.amplitude = 0.5;
    Pilotage rate;
    rate.rate = 100.0;
    Pilotage cycles7;
    cycles7.cycles = 7;
    Pilotage burst;
    burst.rate = 100.0;
    burst.cycles = 3;
    Pilotage cyclesMax;
    cyclesMax.cycles = 50000;  // the control's maximum: the value is kept whole for "burst ON"
    const std::string plus99 = "9000000000000000344659835746563911656599806078236977855240938022598689878978854912.000000";
    const std::string moins99 = "-900000000000000013403525240944953826076375071089611321745074722150046737035689984.000000";
    const auto Forme = [](int f) {
        Pilotage p;
        p.forme = f;
        return p;
    };
    return {
        // frequence=%lf: blanks and exponent, text after the number ignored.
        {{"frequence=500"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence= 500"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=\t  500"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=5e2"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=+5E+2"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=500kHz"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=500e"}, {"SOUR:FREQ 500.000000"}, p500},
        {{"frequence=.5"}, {"SOUR:FREQ 0.500000"}, F(0.5)},
        {{"frequence=0.1234567"}, {"SOUR:FREQ 0.123457"}, F(0.12)},
        {{"frequence=-0.0000004"}, {"SOUR:FREQ -0.000000"}, F(0.0)},
        {{"frequence=-3"}, {"SOUR:FREQ -3.000000"}, F(0.0)},  // sent as read; the panel stops at 0
        {{"frequence=9e81"}, {"SOUR:FREQ " + plus99}, F(500000.0)},  // 99 characters: it fits
        {{"frequence=-9e80"}, {"SOUR:FREQ " + moins99}, F(0.0)},
        {{"frequence=2e82"}, {}, F(500000.0), true},                // 100: it does not
        {{"frequence=-2e81"}, {}, F(0.0), true},
        // No number, or the words not matched from the first character, case included.
        {{"frequence =500"}, {}, {}},
        {{"Frequence=500"}, {}, {}},
        {{" frequence=500"}, {}, {}},
        {{"frequence="}, {}, {}},
        {{"frequence=abc"}, {}, {}},
        {{"frequence=-"}, {}, {}},
        {{"frequence=inf"}, {}, {}},
        {{"frequence=nan"}, {}, {}},
        {{"frequence=1e999"}, {}, {}},
        {{"amplitude=0.5"}, {"SOUR:VOLT 0.500000"}, amplitude},
        {{"amplitude=1e-7"}, {"SOUR:VOLT 0.000000"}, Pilotage{.amplitude = 0.0}},
        // The burst values are kept and shown; nothing is sent.
        {{"burst rate=100"}, {}, rate},
        {{"burstrate=100"}, {}, rate},
        {{"burst   rate=100"}, {}, rate},
        {{"burst cycle=7.9"}, {}, cycles7},
        {{"burst cycle= +7"}, {}, cycles7},
        {{"burst cycle=+-7"}, {}, {}},
        {{"burst cycle=x7"}, {}, {}},
        // The edges of an int.
        {{"burst cycle=2147483647", "burst ON"}, {"BM:NCYC 2147483647", "BM:INT:RATE 50.000000", "BM:STATE ON"},
         cyclesMax},
        {{"burst cycle=-2147483648", "burst ON"}, {"BM:NCYC -2147483648", "BM:INT:RATE 50.000000", "BM:STATE ON"},
         Pilotage{.cycles = 1}},
        {{"burst cycle=2147483648", "burst ON"}, {"BM:NCYC 500", "BM:INT:RATE 50.000000", "BM:STATE ON"}, {}},
        // "burst ON": count, rate, then on; before any burst value, what the panel starts with.
        {{"burst rate=100", "burst cycle=3", "burst ON"}, {"BM:NCYC 3", "BM:INT:RATE 100.000000", "BM:STATE ON"},
         burst},
        {{"burst ON"}, {"BM:NCYC 500", "BM:INT:RATE 50.000000", "BM:STATE ON"}, {}},
        {{"burst rate=1e300", "burst ON"}, {"BM:NCYC 500", "BM:STATE ON"}, Pilotage{.rate = 50000.0}, true},
        {{"burst OFF"}, {"BM:STATE OFF"}, {}},
        {{"burst on"}, {}, {}},
        {{"burst ON "}, {}, {}},
        {{"Burst OFF"}, {}, {}},
        // Shapes: the ring follows, only the shape goes out.
        {{"carre"}, {"SOUR:FUNC:SHAP:SQR"}, Forme(1)},
        {{"triangle"}, {"SOUR:FUNC:SHAP:TRI"}, Forme(2)},
        {{"rampe"}, {"SOUR:FUNC:SHAP:RAMP"}, Forme(3)},
        {{"bruit"}, {"SOUR:NOIS"}, Forme(4)},
        {{"bruit", "sinus"}, {"SOUR:NOIS", "SOUR:FUNC:SHAP:SIN"}, Forme(0)},
        {{"Sinus"}, {}, {}},
        {{"carré"_w}, {}, {}},
        {{"rampe "}, {}, {}},
        {{""}, {}, {}},
    };
}

TEST_F(Gbf, LeLangageDeCommandeEnvoieSesOctets) {
    for (const CasCommande &c : TableDesCommandes()) {
        std::string nom;
        for (const std::string &t : c.textes) nom += "[" + t + "]";
        SCOPED_TRACE(nom);
        int panel = 0;
        PInstrument *i = Initialise(&panel);
        ui_test::Effacer();
        if (c.refus) ui_test::Repondre(ui_test::Popup::Message);
        for (const std::string &t : c.textes) i->execute(i, t.c_str());
        EXPECT_EQ(Ecrits(*generateur), AvecNul(c.envoye));
        EXPECT_EQ(Lire(panel), c.panneau);
        const auto vus = ui_test::Vus();
        EXPECT_EQ(vus.size(), c.refus ? 1u : 0u);
        if (c.refus && !vus.empty()) {
            EXPECT_EQ(vus[0].titre, "Attention");
            EXPECT_TRUE(vus[0].message.starts_with("Commande trop longue pour le GBF ("_w)) << vus[0].message;
        }
        EXPECT_FALSE(Visible(panel)) << "execute does not show the panel";
        Liberer(i);
    }
}

TEST_F(Gbf, UneCommandeTropLongueLeDit) {
    PInstrument *i = Initialise();
    ui_test::Repondre(ui_test::Popup::Message);
    i->execute(i, "frequence=2e82");
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].message, "Commande trop longue pour le GBF (100 caractères, 99 au plus) : elle n'est pas envoyée.\n"_w
                              "SOUR:FREQ 199999999999999992681359312617...");
    EXPECT_TRUE(generateur->Journal().empty());
}

// The generator follows what the commands say, and refuses none of them.
TEST_F(Gbf, LeGenerateurSuitLesCommandes) {
    PInstrument *i = Initialise();
    for (const char *t : {"triangle", "frequence=1500", "amplitude=0.8", "burst rate=20", "burst cycle=12", "burst ON"})
        i->execute(i, t);
    sim::Hp33220A::Sortie s = generateur->Etat();
    EXPECT_EQ(s.forme, sim::Hp33220A::Forme::Triangle);
    EXPECT_EQ(s.frequence, 1500.0);
    EXPECT_EQ(s.amplitude, 0.8);
    EXPECT_TRUE(s.salve);
    EXPECT_EQ(s.cycles, 12);
    EXPECT_EQ(s.cadence, 20.0);
    i->execute(i, "burst OFF");
    i->execute(i, "bruit");
    s = generateur->Etat();
    EXPECT_FALSE(s.salve);
    EXPECT_EQ(s.forme, sim::Hp33220A::Forme::Bruit);
    EXPECT_TRUE(generateur->Erreurs().empty());
    EXPECT_EQ(generateur->RegistreEvenements(), 0);
}

// ---- the manual-control panel ---------------------------------------------------------------

// Choosing a shape ends the burst, then applies the shape with the panel's frequency and
// amplitude: a blank before the comma, none after.
TEST_F(Gbf, LaRoueDesFormesAppliqueLaForme) {
    int panel = 0;
    PInstrument *i = Initialise(&panel);
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_Frequence, 500.0), 0);
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_Amplitude, 0.5), 0);
    EXPECT_TRUE(generateur->Journal().empty()) << "frequency and amplitude have no callback";
    const struct {
        int index;
        const char *envoi;
        sim::Hp33220A::Forme forme;
    } formes[] = {{3, "APPL:RAMP 500.000000 ,0.500000", sim::Hp33220A::Forme::Rampe},
                  {1, "APPL:SQU 500.000000 ,0.500000", sim::Hp33220A::Forme::Carre},
                  {2, "APPL:TRI 500.000000 ,0.500000", sim::Hp33220A::Forme::Triangle},
                  {4, "APPL:NOIS 500.000000 ,0.500000", sim::Hp33220A::Forme::Bruit},
                  {0, "APPL:SIN 500.000000 ,0.500000", sim::Hp33220A::Forme::Sinus}};
    for (const auto &f : formes) {
        SCOPED_TRACE(f.envoi);
        generateur->EffacerJournal();
        ASSERT_EQ(ui_test::ChoisirElement(panel, P_PILOT_FORME, f.index), 0);
        EXPECT_EQ(Ecrits(*generateur), AvecNul({"BM:STAT OFF", f.envoi}));
        const sim::Hp33220A::Sortie s = generateur->Etat();
        EXPECT_EQ(s.forme, f.forme);
        EXPECT_EQ(s.amplitude, 0.5);
        EXPECT_FALSE(s.salve);
    }
    EXPECT_EQ(generateur->Etat().frequence, 500.0);
    EXPECT_TRUE(generateur->Erreurs().empty());
    // execute shows a value on the panel; the next choice sends it.
    i->execute(i, "frequence=1234.5");
    generateur->EffacerJournal();
    ASSERT_EQ(ui_test::ChoisirElement(panel, P_PILOT_FORME, 1), 0);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"BM:STAT OFF", "APPL:SQU 1234.500000 ,0.500000"}));
}

// Burst sends the panel's rate and count after the source, the state and the phase, and leaves
// what "burst ON" sends alone.
TEST_F(Gbf, LeBoutonBurstLanceLaSalveDuPanneau) {
    int panel = 0;
    PInstrument *i = Initialise(&panel);
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_Burst), 0);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"BM:SOUR INT", "BM:STAT ON", "BM:PHAS 0", "BM:INT:RATE 50.000000",
                                            "BM:NCYC 500"}));
    i->execute(i, "burst rate=7");
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_Rate, 12.25), 0);
    ASSERT_EQ(ui_test::EntrerValeur(panel, P_PILOT_NbCycle, 40), 0);
    generateur->EffacerJournal();
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_Burst), 0);
    i->execute(i, "burst ON");
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"BM:SOUR INT", "BM:STAT ON", "BM:PHAS 0", "BM:INT:RATE 12.250000",
                                            "BM:NCYC 40", "BM:NCYC 500", "BM:INT:RATE 7.000000", "BM:STATE ON"}));
    const sim::Hp33220A::Sortie s = generateur->Etat();
    EXPECT_TRUE(s.salve);
    EXPECT_TRUE(s.salveInterne);
    EXPECT_EQ(s.cycles, 500);
    EXPECT_EQ(s.cadence, 7.0);
    EXPECT_TRUE(generateur->Erreurs().empty());
}

// piloter shows the panel, Cacher hides it; it stays loaded with its values until liberer.
TEST_F(Gbf, PiloterMontreEtCacherMasque) {
    int panel = 0;
    PInstrument *i = Initialise(&panel);
    i->execute(i, "amplitude=1.5");
    i->piloter(i);
    EXPECT_TRUE(Visible(panel));
    ASSERT_EQ(ui_test::Cliquer(panel, P_PILOT_CB_HIDE), 0);
    ProcessSystemEvents();
    EXPECT_FALSE(Visible(panel));
    EXPECT_TRUE(Charge(panel));
    i->piloter(i);
    EXPECT_TRUE(Visible(panel));
    EXPECT_EQ(Lire(panel).amplitude, 1.5);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"SOUR:VOLT 1.500000"})) << "showing and hiding send nothing";
    // With a configuration panel open too: liberer discards both.
    const int config = PanneauCharge([&] { i->configure(i); });
    Liberer(i);
    ProcessSystemEvents();
    EXPECT_FALSE(Charge(panel));
    EXPECT_FALSE(Charge(config));
}

// ---- an acquisition driven by a sequencer script --------------------------------------------

class GbfAcquisition : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        banc_ = std::make_unique<BancSimule>();
        generateur = BancSimule::Generateur(4);
    }
    void TearDown() override {
        BancTest::TearDown();
        banc_.reset();
    }

    // The generator added through the add dialog, at address `adresse` set in its configuration
    // panel.
    void AjouterGenerateur(int adresse) {
        int ligne = 0;
        while (std::strcmp(catalogue_instru[ligne].type_apareil, kCle) != 0) ++ligne;
        const int dialogue = PanneauCharge([] { Cliquer(panel_instru, P_Instru_Ajouter); });
        ASSERT_EQ(ui_test::ChoisirElement(dialogue, PANEL_Ajou_RING_Ajou_Type, ligne), 0);
        const int config = PanneauCharge([&] { Cliquer(dialogue, PANEL_Ajou_COMMANDBUTTON_OK); });
        ASSERT_EQ(ui_test::EntrerValeur(config, P_INSTR_NM_GPIB_ADRSS, adresse), 0);
        Cliquer(config, P_INSTR_CB_OK);
    }
    std::string Script(const std::string &nom, const std::string &texte) {
        const std::string chemin = Chemin(nom);
        std::ofstream(chemin, std::ios::binary) << texte;
        return chemin;
    }
    std::string Chemin(const std::string &nom) const { return dossier.filePath(QString::fromStdString(nom)).toStdString(); }
    void Demarrer(const std::string &script) {
        ASSERT_EQ(ui_test::ChoisirElement(panel_commande, P_Commande_Mode_Fichier, 2), 0);
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, script);
        Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
        ASSERT_EQ(acquisition_en_cours, 1);
    }
    // One second: the sampling tick, then the sequencer tick.
    void Seconde() {
        horloge::AvancerHorlogeFactice(1.0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_echantillon), 0);
        EXPECT_EQ(ui_test::DeclencherTimer(panel_timer, PANEL_Time_TIMER_SEQ), 0);
    }
    static int Fichier(int (*commande)(int, int, int, void *, int, int), int bouton, int choix, const std::string &chemin) {
        ui_test::Repondre(ui_test::Popup::Fichier, choix, chemin);
        return commande(panel_commande, bouton, EVENT_COMMIT, nullptr, 0, 0);
    }

    // The manual-control panels now loaded.
    static std::vector<int> PanneauxPilotage() {
        std::vector<int> r;
        for (const int p : ui_test::PanneauxCharges()) {
            char titre[40] = "";
            if (GetPanelAttribute(p, ATTR_TITLE, titre, sizeof titre) == 0 && std::string(titre) == "Pilotage")
                r.push_back(p);
        }
        return r;
    }

    std::shared_ptr<sim::Hp33220A> generateur;

private:
    std::unique_ptr<BancSimule> banc_;
};

TEST_F(GbfAcquisition, UnScriptPiloteLeGenerateurPendantLAcquisition) {
    AjouterEssai(MesuresScalaires("Essai", {"U"}, {1.5}, 3));
    AjouterGenerateur(4);
    const std::string script = Script("gbf.txt",
                                      "ouvrir " + Chemin("gbf.xls") + "\n"
                                      "commande GBF HP3312A:carre\n"
                                      "set f=1000\n"
                                      "boucle 2\n"
                                      "commande GBF HP3312A:frequence=$f\n"
                                      "set f*2\n"
                                      "attente 1\n"
                                      "fin_boucle\n"
                                      "commande gbf hp3312a : burst rate=$f\n"
                                      "commande GBF HP3312A:burst cycle=25\n"
                                      "commande GBF HP3312A:burst ON\n"
                                      "attente 1\n"
                                      "fermer\n");
    Demarrer(script);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"*IDN?", "APPL:SIN 5 KHZ, 3.0 VPP, 0V"}));
    generateur->EffacerJournal();
    for (int s = 0; s < 4; ++s) Seconde();
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"SOUR:FUNC:SHAP:SQR", "SOUR:FREQ 1000.000000", "SOUR:FREQ 2000.000000",
                                            "BM:NCYC 25", "BM:INT:RATE 4000.000000", "BM:STATE ON"}));
    const std::vector<std::string> statuts = Statuts();
    for (const char *c : {"Commande de \"GBF HP3312A\" avec \"carre\"",
                                 "Commande de \"GBF HP3312A\" avec \"frequence=1000.000000\"",
                                 "Commande de \"gbf hp3312a\" avec \"burst rate=4000.000000\"",
                                 "Commande de \"GBF HP3312A\" avec \"burst ON\""})
        EXPECT_NE(std::find(statuts.begin(), statuts.end(), c), statuts.end()) << c;
    sim::Hp33220A::Sortie s = generateur->Etat();
    EXPECT_EQ(s.forme, sim::Hp33220A::Forme::Carre);
    EXPECT_EQ(s.frequence, 2000.0);
    EXPECT_TRUE(s.salve);
    EXPECT_EQ(s.cycles, 25);
    EXPECT_EQ(s.cadence, 4000.0);
    EXPECT_TRUE(generateur->Erreurs().empty());

    // The manual-control command shows the panel the script has been writing on.
    ASSERT_EQ(CheckListItem(panel_instru, P_Instru_LISTBOX_Liste, 1, 1), 0);
    const auto avant = ui_test::PanneauxCharges();
    Cliquer(panel_instru, P_Instru_Piloter);
    EXPECT_EQ(ui_test::PanneauxCharges(), avant);
    ASSERT_EQ(PanneauxPilotage().size(), 1u);
    const int pilotage = PanneauxPilotage().front();
    EXPECT_TRUE(Visible(pilotage));
    EXPECT_EQ(Lire(pilotage), (Pilotage{1, 2000.0, 2.0, 4000.0, 25}));

    // The stop sends nothing: the generator keeps its output; the panel still drives it.
    generateur->EffacerJournal();
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    EXPECT_TRUE(generateur->Journal().empty());
    EXPECT_TRUE(generateur->Etat().salve);
    ASSERT_EQ(ui_test::ChoisirElement(pilotage, P_PILOT_FORME, 0), 0);
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"BM:STAT OFF", "APPL:SIN 2000.000000 ,2.000000"}));

    // The record file holds the samples of the other instrument, taken while the script ran.
    const std::string lignes = LireFichier(Chemin("gbf.xls"));
    EXPECT_TRUE(lignes.starts_with("Date\tHeure\tMarqueur\tDurée écoulée\tEssai U\tMesure n°\r\n"_w)) << lignes;
    EXPECT_EQ(std::count(lignes.begin(), lignes.end(), '\n'), 4) << lignes;
    EXPECT_NE(lignes.find("\t1.500000\t3\r\n"), std::string::npos) << lignes;
}

// Saved and loaded through the settings files: the name and the address come back, the
// manual-control panel of the run that saved does not.
TEST_F(GbfAcquisition, LesReglagesSauvesRamenentNomEtAdresse) {
    AjouterGenerateur(4);
    Demarrer(Script("vide.txt", "\n"));
    Cliquer(panel_commande, P_Commande_COMMANDBUTTON_Acq);
    ASSERT_EQ(Fichier(Prog_Sauvegarde, P_Commande_PICTUREBUTTON_Save, VAL_NEW_FILE_SELECTED, Chemin("banc.sav")), 0);
    const std::string sav = LireFichier(Chemin("banc.sav"));
    ASSERT_TRUE(sav.starts_with("#GBF_HP3312A.dll ")) << sav;
    const std::size_t fin_entete = sav.find("#\r\n", 1) + 3;
    ASSERT_EQ(sav.substr(fin_entete, 8), Le32(1) + Le32(144));
    const std::string bloc = "GBF HP3312A" + std::string(117, '\0') + Le32(0) + Le32(0) + Le32(4) + Le32(0);
    EXPECT_EQ(sav.substr(fin_entete + 8), bloc);

    ASSERT_EQ(Fichier(Prog_Charger_Fichier, P_Commande_PICTUREBUTTON_Load, VAL_EXISTING_FILE_SELECTED,
                      Chemin("banc.sav")),
              0);
    ASSERT_NE(liste_instru, nullptr);
    PInstrument *charge = liste_instru->plugin;
    EXPECT_EQ(LireEntierBloc(charge, kAdresse), 4);
    EXPECT_TRUE(PanneauxPilotage().empty()) << "the load freed the instance that had one";
    generateur->EffacerJournal();
    Demarrer(Script("vide.txt", "\n"));
    EXPECT_EQ(PanneauxPilotage().size(), 1u) << "the restored instance loads a panel of its own";
    EXPECT_EQ(Ecrits(*generateur), AvecNul({"*IDN?", "APPL:SIN 5 KHZ, 3.0 VPP, 0V"}));
}

}  // namespace
