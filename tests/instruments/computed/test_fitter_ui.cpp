// The curve fitter's configuration panel, its settings block, and the starts that cannot fit,
// each refused with a message that names the cause. The fit itself is tested in
// test_fitter.cpp.
#include "framework/voies.h"
#include "instruments/computed/fitter.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/UIR_fitter.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bloc = std::vector<unsigned char>;

// Offsets of the settings block.
constexpr std::size_t kNom = 0, kTatooVoieFit = 128, kFonction = 158, kNomInconnue = 658;
constexpr std::size_t kNomParam[4] = {663, 712, 760, 808};
constexpr std::size_t kTatooParam[4] = {668, 717, 765, 813};
constexpr std::size_t kParam[4] = {704, 752, 800, 848};
constexpr std::size_t kTailleVoie = 856;

unsigned char *Debut(PInstrument *i) {
    const auto [debut, fin, taille, flag] = DemanderMemoire(i, 12345);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(taille, 12345u);  // flag 0: the size is not written
    EXPECT_EQ(static_cast<unsigned char *>(fin) - static_cast<unsigned char *>(debut), 860);
    return static_cast<unsigned char *>(debut);
}
Bloc Sauver(PInstrument *i) { return Bloc(Debut(i), Debut(i) + 860); }
std::string Texte(const Bloc &b, std::size_t offset, std::size_t taille) {
    const char *t = reinterpret_cast<const char *>(b.data() + offset);
    return std::string(t, strnlen(t, taille));
}
double Double(const Bloc &b, std::size_t offset) {
    double v;
    std::memcpy(&v, b.data() + offset, 8);
    return v;
}
std::int32_t Entier(const Bloc &b, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}
void EcrireTexte(PInstrument *i, std::size_t offset, std::size_t taille, const std::string &t) {
    std::memset(Debut(i) + offset, 0, taille);
    std::memcpy(Debut(i) + offset, t.data(), t.size());
}

double Nombre(int panel, int control) {
    double v = -99;
    EXPECT_EQ(GetCtrlVal(panel, control, &v), 0);
    return v;
}

// A bench with a vector channel ("1;1") and a scalar channel ("3;1") in the channel tables, so
// that the panel's rings have something to list.
class FitterPanneau : public PanneauxInstrument, protected ListeInstruments {
protected:
    void SetUp() override {
        PanneauxInstrument::SetUp();
        const ConfigEssai v =
            MesuresVecteurs("Oscillo", {"Trace"}, {std::vector<double>(10, 1.0)}, {std::vector<double>(10, 0.0)}, 1);
        Ajouter(CreerEssai(v), 1);
        Ajouter(CreerEssai(MesuresScalaires("Multi", {"Tension"}, {2.0}, 1)), 3);
        Reserver_buffer_circu(Tete());
    }
    void TearDown() override {
        LibererTout();
        PanneauxInstrument::TearDown();
    }

    PInstrument *Fitter(int tatoo = 2) {
        PInstrument *f = nullptr;
        fitter.nouveau(&f);
        EXPECT_NE(f, nullptr);
        return Ajouter(f, tatoo);
    }
};

TEST_F(FitterPanneau, NewInstanceHoldsTheDefaults) {
    PInstrument *f = Fitter();
    const Bloc b = Sauver(f);
    EXPECT_EQ(Texte(b, kNom, 128), "Fitter de courbes");
    EXPECT_EQ(Texte(b, kTatooVoieFit, 30), "");
    EXPECT_EQ(Texte(b, kFonction, 500), "a*x^2+b*x+c");
    EXPECT_EQ(Texte(b, kNomInconnue, 5), "x");
    const char *noms[] = {"a", "b", "c", "d"};
    const double constantes[] = {1.337, 5.6, 0.0, 0.0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Texte(b, kNomParam[k], 5), noms[k]);
        EXPECT_EQ(Texte(b, kTatooParam[k], 30), "");
        EXPECT_EQ(Double(b, kParam[k]), constantes[k]);
    }
    EXPECT_EQ(Entier(b, kTailleVoie), 0);

    // The table: the computed scalar and vector groups, start and stop; nothing else.
    EXPECT_EQ(fitter.structure, nullptr);
    EXPECT_EQ(fitter.init, nullptr);
    EXPECT_EQ(fitter.execute, nullptr);
    EXPECT_EQ(fitter.piloter, nullptr);
    EXPECT_EQ(fitter.status, nullptr);
    EXPECT_EQ(fitter.nb_voie_1D, nullptr);
    EXPECT_EQ(fitter.nb_voie2D, nullptr);
    EXPECT_NE(fitter.calculer_1D, nullptr);
    EXPECT_NE(fitter.calculer_2D, nullptr);
}

TEST_F(FitterPanneau, PanelControlsAsTheProgramAddressesThem) {
    PInstrument *f = Fitter();
    const int panel = PanneauCharge([&] { f->configure(f); });
    char titre[64] = {};
    GetPanelAttribute(panel, ATTR_TITLE, titre, sizeof titre);
    EXPECT_STREQ(titre, "Configuration");
    struct Controle {
        int id;
        int genre;
        const char *libelle;
    };
    const Controle controles[] = {
        {P_config_RING_4, CTRL_RING, "Voie pour valeur de départ"}, {P_config_RING_3, CTRL_RING, "Voie pour valeur de départ"},
        {P_config_RING_2, CTRL_RING, "Voie pour valeur de départ"}, {P_config_STRING_4, CTRL_STRING, "Nom paramètre"},
        {P_config_RING_1, CTRL_RING, "Voie pour valeur de départ"}, {P_config_STRING_3, CTRL_STRING, "Nom paramètre"},
        {P_config_NUMERIC_4, CTRL_NUMERIC, "Constante"},            {P_config_RING, CTRL_RING, "Voie à fitter"},
        {P_config_STRING_2, CTRL_STRING, "Nom paramètre"},          {P_config_NUMERIC_3, CTRL_NUMERIC, "Constante"},
        {P_config_STRING_0, CTRL_STRING, "Nom de la variable"},     {P_config_STRING_1, CTRL_STRING, "Nom paramètre"},
        {P_config_NUMERIC_2, CTRL_NUMERIC, "Constante"},            {P_config_STRING, CTRL_STRING, "Fonction de fit"},
        {P_config_OK_BUTTON, CTRL_COMMAND_BUTTON, "__OK"},          {P_config_NUMERIC_1, CTRL_NUMERIC, "Constante"},
    };
    for (int id = 2; id <= 18; ++id) {
        const auto *c = std::find_if(std::begin(controles), std::end(controles), [&](const Controle &e) { return e.id == id; });
        int genre = 0;
        ASSERT_EQ(GetCtrlAttribute(panel, id, ATTR_CTRL_KIND, &genre), 0) << id;
        if (c == std::end(controles)) {
            EXPECT_EQ(id, P_config_DECORATION);
            continue;
        }
        EXPECT_EQ(genre, c->genre) << id;
        char libelle[100] = {};
        GetCtrlAttribute(panel, id, ATTR_LABEL_TEXT, libelle, sizeof libelle);
        EXPECT_EQ(std::string(libelle), texte::Utf8VersCp1252(c->libelle)) << id;
    }
    // The operator cannot type names or a formula that the settings could not hold.
    for (const auto &[id, longueur] : {std::pair{P_config_STRING_0, 4}, {P_config_STRING_1, 4}, {P_config_STRING_4, 4},
                                       {P_config_STRING, 499}}) {
        int max = 0;
        GetCtrlAttribute(panel, id, ATTR_MAX_ENTRY_LENGTH, &max);
        EXPECT_EQ(max, longueur) << id;
    }
}

TEST_F(FitterPanneau, PanelShowsTheSettingsAndOkTakesThemBack) {
    PInstrument *f = Fitter();
    EcrireTexte(f, kTatooParam[1], 30, "3;1");
    const int panel = PanneauCharge([&] { f->configure(f); });
    EXPECT_TRUE(ui_test::Fenetre(panel)->isVisible());

    // The rings list "(aucun)" and the channels of the tables as last built.
    EXPECT_EQ(Libelles(panel, P_config_RING), (std::vector<std::string>{"(aucun)", "Oscillo Trace"}));
    for (int ring : {P_config_RING_1, P_config_RING_2, P_config_RING_3, P_config_RING_4})
        EXPECT_EQ(Libelles(panel, ring), (std::vector<std::string>{"(aucun)", "Multi Tension"}));
    EXPECT_EQ(Chaine(panel, P_config_STRING), "a*x^2+b*x+c");
    EXPECT_EQ(Chaine(panel, P_config_STRING_0), "x");
    EXPECT_EQ(Chaine(panel, P_config_RING), "");
    EXPECT_EQ(Chaine(panel, P_config_STRING_1), "a");
    EXPECT_EQ(Chaine(panel, P_config_RING_2), "3;1");
    EXPECT_EQ(Nombre(panel, P_config_NUMERIC_1), 1.337);
    EXPECT_EQ(Nombre(panel, P_config_NUMERIC_2), 5.6);

    ui_test::EntrerTexte(panel, P_config_STRING, "A*exp(-k*t)+C");
    ui_test::EntrerTexte(panel, P_config_STRING_0, "t");
    ui_test::ChoisirElement(panel, P_config_RING, 1);
    ui_test::EntrerTexte(panel, P_config_STRING_1, "A");
    ui_test::EntrerTexte(panel, P_config_STRING_2, "k");
    ui_test::EntrerTexte(panel, P_config_STRING_3, "C");
    ui_test::ChoisirElement(panel, P_config_RING_2, 0);
    ui_test::ChoisirElement(panel, P_config_RING_4, 1);
    ui_test::EntrerValeur(panel, P_config_NUMERIC_1, 2.25);
    ui_test::EntrerValeur(panel, P_config_NUMERIC_3, -0.5);
    // Nothing is taken before OK.
    EXPECT_EQ(Texte(Sauver(f), kFonction, 500), "a*x^2+b*x+c");
    ASSERT_EQ(ui_test::Cliquer(panel, P_config_OK_BUTTON), 0);
    EXPECT_FALSE(Charge(panel));

    const Bloc b = Sauver(f);
    EXPECT_EQ(Texte(b, kFonction, 500), "A*exp(-k*t)+C");
    EXPECT_EQ(Texte(b, kNomInconnue, 5), "t");
    EXPECT_EQ(Texte(b, kTatooVoieFit, 30), "1;1");
    EXPECT_EQ(Texte(b, kNomParam[0], 5), "A");
    EXPECT_EQ(Texte(b, kNomParam[1], 5), "k");
    EXPECT_EQ(Texte(b, kNomParam[2], 5), "C");
    EXPECT_EQ(Texte(b, kNomParam[3], 5), "d");
    EXPECT_EQ(Texte(b, kTatooParam[1], 30), "");
    EXPECT_EQ(Texte(b, kTatooParam[3], 30), "3;1");
    EXPECT_EQ(Double(b, kParam[0]), 2.25);
    EXPECT_EQ(Double(b, kParam[1]), 5.6);
    EXPECT_EQ(Double(b, kParam[2]), -0.5);

    // A fresh instance given these bytes, as a settings load does, has the same settings and
    // nothing of a run: no curve to copy.
    PInstrument *copie = Fitter(4);
    std::memcpy(Debut(copie), b.data(), b.size());
    EXPECT_EQ(Sauver(copie), b);
    std::vector<double> temoin(3, -7.0);
    copie->calcul2D(copie, 1, temoin.data());
    EXPECT_EQ(temoin, std::vector<double>(3, -7.0));
    const int panel2 = PanneauCharge([&] { copie->configure(copie); });
    EXPECT_EQ(Chaine(panel2, P_config_STRING), "A*exp(-k*t)+C");
    EXPECT_EQ(Chaine(panel2, P_config_RING_4), "3;1");
    EXPECT_EQ(Nombre(panel2, P_config_NUMERIC_3), -0.5);
}

TEST_F(FitterPanneau, ReferenceMissingFromTheTablesIsKeptByOk) {
    // Right after a settings load the tables may not hold the saved channels: the panel keeps
    // the references, and OK writes them back unchanged.
    PInstrument *f = Fitter();
    EcrireTexte(f, kTatooVoieFit, 30, "7;2");
    EcrireTexte(f, kTatooParam[0], 30, "8;1");
    const int panel = PanneauCharge([&] { f->configure(f); });
    EXPECT_EQ(Chaine(panel, P_config_RING), "7;2");
    EXPECT_EQ(Libelles(panel, P_config_RING).size(), 3u);
    ui_test::Cliquer(panel, P_config_OK_BUTTON);
    const Bloc b = Sauver(f);
    EXPECT_EQ(Texte(b, kTatooVoieFit, 30), "7;2");
    EXPECT_EQ(Texte(b, kTatooParam[0], 30), "8;1");
}

TEST_F(FitterPanneau, FreeingTheInstrumentDiscardsItsOpenPanels) {
    PInstrument *f = Fitter();
    const int p1 = PanneauCharge([&] { f->configure(f); });
    const int p2 = PanneauCharge([&] { f->configure(f); });
    ui_test::Cliquer(p1, P_config_OK_BUTTON);  // one closed by its OK
    EXPECT_TRUE(Charge(p2));
    noeuds_.back()->plugin->liberer(noeuds_.back()->plugin);
    noeuds_.pop_back();
    noeuds_.back()->suivant = nullptr;
    EXPECT_FALSE(Charge(p2));  // and the fixture checks that nothing else is left
}

// ---- starts that cannot fit ----------------------------------------------------------------

struct CasDemarrage {
    const char *nom;
    const char *voie;
    const char *formule;
    const char *message;  // after "Fitter de courbes : "
};

class DemarrageRefuse : public FitterPanneau, public testing::WithParamInterface<CasDemarrage> {};

TEST_P(DemarrageRefuse, FailsWithAMessageAndHoldsNothing) {
    const CasDemarrage &c = GetParam();
    PInstrument *f = Fitter();
    EcrireTexte(f, kTatooVoieFit, 30, c.voie);
    EcrireTexte(f, kFonction, 500, c.formule);
    ui_test::Effacer();
    ui_test::Repondre(ui_test::Popup::Message);
    testing::internal::CaptureStdout();
    EXPECT_EQ(f->start(f) & 0x8000, 0x8000);
    // The formula's characters never land on the program's standard output.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Attention");
    EXPECT_EQ(vus[0].message, "Fitter de courbes : " + texte::Utf8VersCp1252(c.message));
    // The stop that the failed acquisition start calls releases nothing twice.
    f->stop(f);
    f->stop(f);
    std::vector<double> temoin(2, -7.0);
    f->calcul2D(f, 1, temoin.data());
    EXPECT_EQ(temoin, std::vector<double>(2, -7.0));
}

INSTANTIATE_TEST_SUITE_P(
    Cas, DemarrageRefuse,
    testing::Values(
        CasDemarrage{"SansVoie", "", "a*x", "La voie à fitter n'est pas choisie, ou elle n'existe plus."},
        CasDemarrage{"VoieDisparue", "5;1", "a*x", "La voie à fitter n'est pas choisie, ou elle n'existe plus."},
        CasDemarrage{"FormuleIllisible", "1;1", "a*x+", "La fonction de fit « a*x+ » ne peut pas être lue."},
        CasDemarrage{"FormuleVide", "1;1", "", "La fonction de fit «  » ne peut pas être lue."},
        CasDemarrage{"FormuleAvecSymboles", "1;1", "a*x+@;{}", "La fonction de fit « a*x+@;{} » ne peut pas être lue."},
        CasDemarrage{"SansVariable", "1;1", "3*pi",
                     "La fonction de fit « 3*pi » a 0 variable(s) : il en faut de 1 à 5 (la variable et au plus 4 paramètres)."},
        CasDemarrage{"SixVariables", "1;1", "a+b+c+d+e1+x",
                     "La fonction de fit « a+b+c+d+e1+x » a 6 variable(s) : il en faut de 1 à 5 (la variable et au plus 4 paramètres)."}),
    [](const testing::TestParamInfo<CasDemarrage> &i) { return std::string(i.param.nom); });

TEST_F(FitterPanneau, StartAfterARunWhoseChannelIsGoneFails) {
    PInstrument *f = Fitter();
    EcrireTexte(f, kTatooVoieFit, 30, "1;1");
    EXPECT_EQ(f->start(f), 0);
    EXPECT_EQ(Entier(Sauver(f), kTailleVoie), 10);
    f->stop(f);
    // The vector instrument leaves the list.
    noeuds_.front()->plugin->liberer(noeuds_.front()->plugin);
    noeuds_.erase(noeuds_.begin());
    Reserver_buffer_circu(Tete());
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(f->start(f), 0x8000);
    f->stop(f);
    EXPECT_EQ(Entier(Sauver(f), kTailleVoie), 10);  // the last run's length until a start succeeds
}

}  // namespace
