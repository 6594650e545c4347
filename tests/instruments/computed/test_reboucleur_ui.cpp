// The feedback loop's panel, which serves as its configuration and manual-control panel:
// what it shows, "Valider", "Cacher", the mode slide and its dimming of "Envoyer", and the
// request that "Envoyer" raises, sent once at the next sample. The send step itself is tested
// in test_reboucleur.cpp.
#include "framework/voies.h"
#include "instruments/computed/reboucleur.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_boucleur.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kTatooVoie1 = 128, kTatooInstru = 158, kTemplate = 188, kInputstr = 443;
constexpr std::size_t kMode = 700, kScheduleCmd = 704;

// The control is dimmed, read without error.
bool GriseLu(int panel, int control) {
    int g = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, control, ATTR_DIMMED, &g), 0);
    return g == 1;
}

// Index of the slide's positions, in the order of the panel: Auto, Manu, Off.
constexpr int kAuto = 0, kManu = 1, kOff = 2;

// A bench with a scalar channel ("1;1", 1500) and a target's vector channel ("2;1"), with
// their rings, and the feedback loop (tatoo 3).
class ReboucleurPanneau : public PanneauxInstrument, protected ListeInstruments {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        Ajouter(CreerEssai(MesuresScalaires("Source", {"Valeur"}, {1500.0}, 1)), 1);
        ConfigEssai c = MesuresVecteurs("Cible", {"Trace"}, {{0, 0}}, {{1, 2}}, 1);
        c.avec_execute = true;
        cible_ = Ajouter(CreerEssai(c), 2);
        PInstrument *b = nullptr;
        boucleur.nouveau(&b);
        ASSERT_NE(b, nullptr);
        boucle_ = Ajouter(b, 3);
        ASSERT_EQ(AllouerAnneaux(10), 0);
    }
    void TearDown() override {
        LibererTout();
        PanneauxInstrument::TearDown();
    }

    int Ouvrir() { return PanneauCharge([&] { boucle_->configure(boucle_); }); }
    std::vector<std::string> Envoyees(int echantillons = 1) {
        Essai(cible_).commandes.clear();
        for (int k = 0; k < echantillons; ++k) Echantilloner(Tete());
        return Essai(cible_).commandes;
    }

    PInstrument *cible_ = nullptr, *boucle_ = nullptr;
};

TEST_F(ReboucleurPanneau, PanelControlsAsTheProgramAddressesThem) {
    const int panel = Ouvrir();
    char titre[64] = {};
    GetPanelAttribute(panel, ATTR_TITLE, titre, sizeof titre);
    EXPECT_STREQ(titre, "Configuration");
    struct Controle {
        int id;
        int genre;
        const char *libelle;
    };
    for (const Controle &c : {Controle{P_config_COMMANDBUTTON, CTRL_COMMAND_BUTTON, "__Valider"},
                              Controle{P_config_RING2, CTRL_RING, "Instrument à commander (2D)"},
                              Controle{P_config_RING1, CTRL_RING, "Valeur à utiliser: (Voie 1D)"},
                              Controle{P_config_STRING, CTRL_STRING, "Commande"},
                              Controle{P_config_CACHER, CTRL_COMMAND_BUTTON, "__Cacher"},
                              Controle{P_config_MODE, CTRL_SLIDE, "Mode"},
                              Controle{P_config_ENVOI, CTRL_COMMAND_BUTTON, "__Envoyer"}}) {
        int genre = 0;
        GetCtrlAttribute(panel, c.id, ATTR_CTRL_KIND, &genre);
        EXPECT_EQ(genre, c.genre) << c.id;
        char libelle[100] = {};
        GetCtrlAttribute(panel, c.id, ATTR_LABEL_TEXT, libelle, sizeof libelle);
        EXPECT_EQ(std::string(libelle), texte::Utf8VersCp1252(c.libelle)) << c.id;
    }
    EXPECT_EQ(Libelles(panel, P_config_MODE), (std::vector<std::string>{"Auto", "Manu", "Off"}));
    int max = 0;
    GetCtrlAttribute(panel, P_config_STRING, ATTR_MAX_ENTRY_LENGTH, &max);
    EXPECT_EQ(max, 254);
    ui_test::Cliquer(panel, P_config_CACHER);
}

TEST_F(ReboucleurPanneau, PanelShowsTheSettings) {
    EcrireTexteBloc(boucle_, kTatooVoie1, 30, "1;1");
    EcrireTexteBloc(boucle_, kTatooInstru, 30, "2;1");
    const int panel = Ouvrir();
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());
    EXPECT_EQ(Libelles(panel, P_config_RING1), (std::vector<std::string>{"(aucun)", "Source Valeur"}));
    EXPECT_EQ(Libelles(panel, P_config_RING2), (std::vector<std::string>{"(aucun)", "Cible Trace"}));
    EXPECT_EQ(Chaine(panel, P_config_RING1), "1;1");
    EXPECT_EQ(Chaine(panel, P_config_RING2), "2;1");
    EXPECT_EQ(Chaine(panel, P_config_STRING), "toto=$$");  // the settings, not the resource's text
    EXPECT_EQ(Valeur(panel, P_config_MODE), 0);           // a new instrument is Off
    EXPECT_TRUE(GriseLu(panel, P_config_ENVOI));
    ui_test::Cliquer(panel, P_config_CACHER);
}

TEST_F(ReboucleurPanneau, SlideShowsTheModeAndDimsEnvoyer) {
    struct Cas {
        std::int32_t mode;
        int montre;
        bool grise;
    };
    // A mode the slide has no position for acts as Auto and is shown as Auto.
    for (const Cas c : {Cas{0, 0, true}, Cas{1, 1, true}, Cas{2, 2, false}, Cas{7, 1, true}}) {
        EcrireEntierBloc(boucle_, kMode, c.mode);
        const int panel = Ouvrir();
        EXPECT_EQ(Valeur(panel, P_config_MODE), c.montre) << c.mode;
        EXPECT_EQ(GriseLu(panel, P_config_ENVOI), c.grise) << c.mode;
        ui_test::Cliquer(panel, P_config_CACHER);
    }
}

TEST_F(ReboucleurPanneau, ValiderTakesTheSettingsAndKeepsThePanelOpen) {
    const int panel = Ouvrir();
    ui_test::ChoisirElement(panel, P_config_RING1, 1);
    ui_test::ChoisirElement(panel, P_config_RING2, 1);
    ui_test::EntrerTexte(panel, P_config_STRING, "FREQ 100% $$ Hz $$");
    ui_test::ChoisirElement(panel, P_config_MODE, kAuto);
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 0);  // nothing is taken before Valider
    ASSERT_EQ(ui_test::Cliquer(panel, P_config_COMMANDBUTTON), 0);
    EXPECT_TRUE(Charge(panel));
    EXPECT_EQ(LireTexteBloc(boucle_, kTatooVoie1, 30), "1;1");
    EXPECT_EQ(LireTexteBloc(boucle_, kTatooInstru, 30), "2;1");
    EXPECT_EQ(LireTexteBloc(boucle_, kInputstr, 255), "FREQ 100% $$ Hz $$");
    EXPECT_EQ(LireTexteBloc(boucle_, kTemplate, 255), "FREQ 100% %e Hz $$");
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 1);
    EXPECT_EQ(Envoyees(2), (std::vector<std::string>(2, "FREQ 100% 1.500000e+03 Hz $$")));

    // Cacher drops what changed since.
    ui_test::ChoisirElement(panel, P_config_MODE, kOff);
    ui_test::EntrerTexte(panel, P_config_STRING, "autre");
    ui_test::Cliquer(panel, P_config_CACHER);
    EXPECT_FALSE(Charge(panel));
    EXPECT_EQ(LireTexteBloc(boucle_, kInputstr, 255), "FREQ 100% $$ Hz $$");
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 1);
}

TEST_F(ReboucleurPanneau, EnvoyerRaisesOneRequestForTheNextSample) {
    EcrireTexteBloc(boucle_, kTatooVoie1, 30, "1;1");
    EcrireTexteBloc(boucle_, kTatooInstru, 30, "2;1");
    EcrireTexteBloc(boucle_, kInputstr, 255, "CENTER=$$");
    const int panel = Ouvrir();
    // The slide moved to Manu makes Envoyer usable; the mode itself waits for Valider.
    ui_test::ChoisirElement(panel, P_config_MODE, kManu);
    EXPECT_FALSE(GriseLu(panel, P_config_ENVOI));
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 0);
    ui_test::Cliquer(panel, P_config_ENVOI);
    ui_test::Cliquer(panel, P_config_ENVOI);
    EXPECT_EQ(LireEntierBloc(boucle_, kScheduleCmd), 1);
    EXPECT_TRUE(Envoyees().empty());  // still Off: the request waits
    ui_test::Cliquer(panel, P_config_COMMANDBUTTON);
    EXPECT_EQ(Envoyees(3), std::vector<std::string>{"CENTER=1.500000e+03"});
    // Back to Auto on the slide: Envoyer is dimmed and ignores the operator.
    ui_test::ChoisirElement(panel, P_config_MODE, kAuto);
    EXPECT_TRUE(GriseLu(panel, P_config_ENVOI));
    ui_test::Cliquer(panel, P_config_ENVOI);
    EXPECT_EQ(LireEntierBloc(boucle_, kScheduleCmd), 0);
    ui_test::Cliquer(panel, P_config_CACHER);
}

TEST_F(ReboucleurPanneau, ValiderRefusesATextTheValueCouldNotFit) {
    const int panel = Ouvrir();
    const std::string trop_long = "$$" + std::string(241, 'x');  // 243 characters
    ui_test::EntrerTexte(panel, P_config_STRING, trop_long);
    ui_test::ChoisirElement(panel, P_config_MODE, kAuto);
    ui_test::Effacer();
    ui_test::Repondre(ui_test::Popup::Message);
    ui_test::Cliquer(panel, P_config_COMMANDBUTTON);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Attention");
    EXPECT_EQ(vus[0].message, texte::Utf8VersCp1252("La commande contient $$ et compte 243 caractères : elle ne doit "
                                                    "pas en compter plus de 242, pour que la valeur y trouve sa place."));
    EXPECT_EQ(LireTexteBloc(boucle_, kInputstr, 255), "toto=$$");  // nothing taken
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 0);

    // 242 characters with "$$", or 254 without, are taken.
    for (const std::string &texte : {"$$" + std::string(240, 'x'), std::string(254, 'y')}) {
        ui_test::EntrerTexte(panel, P_config_STRING, texte);
        ui_test::Cliquer(panel, P_config_COMMANDBUTTON);
        EXPECT_EQ(LireTexteBloc(boucle_, kInputstr, 255), texte);
    }
    ui_test::Cliquer(panel, P_config_CACHER);
}

TEST_F(ReboucleurPanneau, ReferenceMissingFromTheTablesIsKeptByValider) {
    EcrireTexteBloc(boucle_, kTatooVoie1, 30, "8;1");
    EcrireTexteBloc(boucle_, kTatooInstru, 30, "9;1");
    const int panel = Ouvrir();
    EXPECT_EQ(Chaine(panel, P_config_RING1), "8;1");
    EXPECT_EQ(Chaine(panel, P_config_RING2), "9;1");
    ui_test::Cliquer(panel, P_config_COMMANDBUTTON);
    EXPECT_EQ(LireTexteBloc(boucle_, kTatooVoie1, 30), "8;1");
    EXPECT_EQ(LireTexteBloc(boucle_, kTatooInstru, 30), "9;1");
    ui_test::Cliquer(panel, P_config_CACHER);
}

TEST_F(ReboucleurPanneau, PiloterOpensAnotherCopyAndFreeingDiscardsThemAll) {
    const int p1 = Ouvrir();
    const int p2 = PanneauCharge([&] { boucle_->piloter(boucle_); });
    EXPECT_NE(p1, p2);
    ui_test::ChoisirElement(p2, P_config_MODE, kManu);
    ui_test::Cliquer(p2, P_config_COMMANDBUTTON);  // both copies write the same record
    EXPECT_EQ(LireEntierBloc(boucle_, kMode), 2);
    noeuds_.back()->plugin->liberer(noeuds_.back()->plugin);
    noeuds_.pop_back();
    noeuds_.back()->suivant = nullptr;
    EXPECT_FALSE(Charge(p1));
    EXPECT_FALSE(Charge(p2));
}

}  // namespace
