// The configuration panels and the settings blocks of the four counter plugins: what a new
// instrument holds, what its panel shows and what OK stores, only the commit acting, a missing
// resource file, and a loaded block whose run-time numbers are never taken for handles.
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/support/banc_test.h"
#include "uir/UIR_HP53131_phase.h"
#include "uir/UIR_freq2voies.h"
#include "uir/UIR_frequencemetre.h"
#include "uir/UIR_frequencemetre_SW.h"

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One control of a panel and the field of the block behind it.
struct Champ {
    int controle;
    std::size_t offset;
    double montre;  // a value the block holds, that the panel shows
    double entre;   // a value the operator gives, that OK stores
    bool reel = false;
};

struct Type {
    const char *cle;
    const char *titre;
    const char *nom;  // of a new instrument
    CtrlCallbackPtr ok;
    int controle_ok;
    std::vector<Champ> champs;
    std::size_t taille;          // of the block
    std::size_t offset_voies;    // nombre_voie, with the count OK gives (0: none)
    int voies;
    std::vector<std::pair<std::size_t, double>> nouveau;  // fields of a new instrument
};

const std::vector<Champ> Entrees(int digits, int couplage, int attenuation, int filtre, int impedance, int adresse,
                                 std::size_t decalage) {
    return {{digits, 8 + decalage, 7, 11},   {couplage, 20 + decalage, 1, 0},    {attenuation, 24 + decalage, 1, 0},
            {filtre, 16 + decalage, 1, 0},   {impedance, 12 + decalage, 1, 0},  {adresse, 4, 12, 17}};
}

std::vector<Type> Types() {
    std::vector<Champ> f2v = Entrees(P_Conf_F_2_RING_Conf_Digit_Freq, P_Conf_F_2_BINARYSW_Conf_Couplag,
                                     P_Conf_F_2_BINARYSW_Conf_Attenua, P_Conf_F_2_BINARYSW_Conf_Filtre,
                                     P_Conf_F_2_BINARYSW_Conf_Impedan, P_Conf_F_2_NUM_Conf_Adr_Freq, 0);
    f2v.push_back({P_Conf_F_2_NUM_WD_Delay, 208, 5.5, 42.0, true});
    std::vector<Champ> sw = Entrees(Conf_FrSw_RING_Conf_Digit_Freq, Conf_FrSw_BINARYSW_Conf_Couplag,
                                    Conf_FrSw_BINARYSW_Conf_Attenua, Conf_FrSw_BINARYSW_Conf_Filtre,
                                    Conf_FrSw_BINARYSW_Conf_Impedan, Conf_FrSw_NUM_Conf_Adr_Freq, 4);
    sw.push_back({Conf_FrSw_RING_Conf_Sw_Freq, 8, 16, 8});
    const std::vector<std::pair<std::size_t, double>> entrees = {{8, 4}, {12, 0}, {16, 0}, {20, 0}, {24, 0}};
    std::vector<std::pair<std::size_t, double>> nouveau_sw = {{4, 3}, {8, 4}, {32, 2}, {64, 0}};
    for (const auto &[o, v] : entrees) nouveau_sw.emplace_back(o + 4, v);
    std::vector<std::pair<std::size_t, double>> nouveau_f2v = {{4, 3}, {44, 2}, {64, 0}};
    nouveau_f2v.insert(nouveau_f2v.end(), entrees.begin(), entrees.end());
    std::vector<std::pair<std::size_t, double>> nouveau_fr = {{4, 4}, {36, 1}};
    nouveau_fr.insert(nouveau_fr.end(), entrees.begin(), entrees.end());
    return {
        {"5313x_2v.dll", "CONFIGURATION DE L'APPAREIL", "Fréquencemètre 2 voies", Conf_F2V_OK, P_Conf_F_2_Conf_OK2V,
         f2v, 216, 44, 2, nouveau_f2v},
        {"5313x_1v.dll", "CONFIGURATION DE L'APPAREIL", "Fréquencemètre", FR_OK, Conf_Fr_B_Conf_OK,
         Entrees(Conf_Fr_RING_Conf_Digit_Freq, Conf_Fr_BINARYSW_Conf_Couplag, Conf_Fr_BINARYSW_Conf_Attenua,
                 Conf_Fr_BINARYSW_Conf_Filtre, Conf_Fr_BINARYSW_Conf_Impedan, Conf_Fr_NUM_Conf_Adr_Freq, 0),
         176, 36, 1, nouveau_fr},
        {"5313x_sw.dll", "CONFIGURATION DE L'APPAREIL", "Fréquencemètre Switché", FR_SW_OK, Conf_FrSw_B_Conf_OK, sw,
         200, 32, 2, nouveau_sw},
        {"HP53131_phase.dll", "Configuration de l'instrument HP53131 - phase.", "HP53131 - phase",
         CB_HP53131_phase_config_ok, P_INSTR_CB_OK,
         {{P_INSTR_NM_GPIB_ADRSS, 136, 12, 17}, {P_INSTR_RINGSLIDE, 140, 0, 1}, {P_INSTR_AVER_COUN, 144, 300, 7}},
         148, 0, 1, {{136, 1}, {140, 1}, {144, 50}}},
    };
}

double LireChamp(PInstrument *i, const Champ &c) {
    if (!c.reel) return LireEntierBloc(i, c.offset);
    double v = 0;
    std::memcpy(&v, DebutBloc(i) + c.offset, sizeof v);
    return v;
}
void EcrireChamp(PInstrument *i, const Champ &c, double v) {
    if (c.reel) std::memcpy(DebutBloc(i) + c.offset, &v, sizeof v);
    else EcrireEntierBloc(i, c.offset, static_cast<std::int32_t>(v));
}
double ValeurControle(int panel, const Champ &c) {
    if (!c.reel) return Valeur(panel, c.controle);
    double v = 0;
    EXPECT_EQ(GetCtrlVal(panel, c.controle, &v), 0);
    return v;
}

class PanneauxCompteurs : public PanneauxInstrument {
protected:
    void TearDown() override {
        for (PInstrument *i : instruments) i->liberer(i);
        PanneauxInstrument::TearDown();
    }
    PInstrument *Creer(const char *cle) {
        PInstrument *i = Nouvel_instrument(cle);
        EXPECT_NE(i, nullptr);
        if (i) instruments.push_back(i);
        return i;
    }
    std::vector<PInstrument *> instruments;
};

TEST_F(PanneauxCompteurs, ANewInstrumentAndItsBlock) {
    for (const Type &t : Types()) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Creer(t.cle);
        ASSERT_NE(i, nullptr);
        char nom[kLongueurNomInstru] = "";
        i->get_nom_instru(i, nom);
        EXPECT_EQ(texte::Cp1252VersUtf8(nom), t.nom);
        for (const auto &[offset, valeur] : t.nouveau)
            EXPECT_EQ(LireEntierBloc(i, offset), valeur) << "offset " << offset;
        EXPECT_EQ(i->nb_voie_1D(i), t.voies) << "the channels of the panel's defaults";
        for (int voie = 1; voie <= t.voies; ++voie) {
            EXPECT_TRUE(std::isnan(i->mesure_1D(i, voie)));
            EXPECT_EQ(i->numero_1D(i, voie), 0u);
        }
        // The block: the whole record by size, or (the phase counter) up to its end marker.
        const ReponseMemoire r = DemanderMemoire(i, 12345);
        EXPECT_EQ(r.debut, static_cast<void *>(DebutBloc(i)));
        if (t.offset_voies != 0) {
            EXPECT_EQ(r.flag, 1);
            EXPECT_EQ(r.taille, t.taille);
            EXPECT_EQ(r.fin, nullptr) << "p_member is not written";
        } else {
            EXPECT_EQ(r.flag, 0);
            EXPECT_EQ(static_cast<unsigned char *>(r.fin) - DebutBloc(i), static_cast<std::ptrdiff_t>(t.taille));
            EXPECT_EQ(r.taille, 12345u) << "size is not written";
        }
    }
    // A new two-channel counter watches its inputs every 3 s.
    PInstrument *f2v = Creer("5313x_2v.dll");
    double delai = 0;
    std::memcpy(&delai, DebutBloc(f2v) + 208, sizeof delai);
    EXPECT_EQ(delai, 3.0);
}

TEST_F(PanneauxCompteurs, PanelShowsTheBlockAndOkStoresIt) {
    for (const Type &t : Types()) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Creer(t.cle);
        ASSERT_NE(i, nullptr);
        for (const Champ &c : t.champs) EcrireChamp(i, c, c.montre);
        if (t.offset_voies) EcrireEntierBloc(i, t.offset_voies, 0);
        const int p = PanneauCharge([&] { i->configure(i); });
        ASSERT_GT(p, 0);
        EXPECT_TRUE(ui_test::Fenetre(p)->isVisible());
        EXPECT_EQ(ui_test::Fenetre(p)->windowTitle().toStdString(), t.titre);
        for (const Champ &c : t.champs) EXPECT_EQ(ValeurControle(p, c), c.montre) << "control " << c.controle;

        // Any other event of the button changes nothing and leaves the panel open.
        void *donnees = nullptr;
        ASSERT_EQ(GetCtrlAttribute(p, t.controle_ok, ATTR_CALLBACK_DATA, &donnees), 0);
        EXPECT_EQ(donnees, i->structure);
        for (const Champ &c : t.champs) {
            if (c.reel) SetCtrlVal(p, c.controle, c.entre);
            else SetCtrlVal(p, c.controle, static_cast<int>(c.entre));
        }
        EXPECT_EQ(t.ok(p, t.controle_ok, EVENT_VAL_CHANGED, donnees, 0, 0), 0);
        EXPECT_TRUE(Charge(p));
        for (const Champ &c : t.champs) EXPECT_EQ(LireChamp(i, c), c.montre);

        ASSERT_EQ(ui_test::Cliquer(p, t.controle_ok), 0);
        EXPECT_FALSE(Charge(p));
        for (const Champ &c : t.champs) EXPECT_EQ(LireChamp(i, c), c.entre) << "control " << c.controle;
        if (t.offset_voies) {
            EXPECT_EQ(LireEntierBloc(i, t.offset_voies), t.voies);
        }
        EXPECT_EQ(i->nb_voie_1D(i), t.voies);
    }
}

// The texts the operator reads. Set BANC_CAPTURES to a directory to keep pictures of the
// four panels.
TEST_F(PanneauxCompteurs, TheTextsOfThePanels) {
    const QString garder = QString::fromLocal8Bit(qgetenv("BANC_CAPTURES"));
    if (!garder.isEmpty()) {
        for (const Type &t : Types()) {
            PInstrument *i = Creer(t.cle);
            const int p = PanneauCharge([&] { i->configure(i); });
            QApplication::processEvents();
            ui_test::Fenetre(p)->grab().save(QDir(garder).filePath(QString(t.cle) + ".png"));
        }
    }
    PInstrument *f2v = Creer("5313x_2v.dll");
    const int p = PanneauCharge([&] { f2v->configure(f2v); });
    EXPECT_EQ(Libelles(p, P_Conf_F_2_RING_Conf_Digit_Freq),
              (std::vector<std::string>{"4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    const struct {
        int controle;
        const char *texte;
    } libelles[] = {{P_Conf_F_2_RING_Conf_Digit_Freq, "Digits :"},
                    {P_Conf_F_2_BINARYSW_Conf_Couplag, "Couplage"},
                    {P_Conf_F_2_BINARYSW_Conf_Attenua, "Atténuation"},
                    {P_Conf_F_2_BINARYSW_Conf_Filtre, "Filtre 100 kHz"},
                    {P_Conf_F_2_BINARYSW_Conf_Impedan, "Impédance"},
                    {P_Conf_F_2_NUM_WD_Delay, "Durée du watchdog (s)"},
                    {P_Conf_F_2_NUM_Conf_Adr_Freq, "Adresse GPIB de l'appareil :"},
                    {P_Conf_F_2_Conf_OK2V, "OK"}};
    for (const auto &l : libelles) EXPECT_EQ(ui_test::TexteVisible(p, l.controle), l.texte);

    PInstrument *sw = Creer("5313x_sw.dll");
    const int q = PanneauCharge([&] { sw->configure(sw); });
    EXPECT_EQ(Libelles(q, Conf_FrSw_RING_Conf_Sw_Freq), (std::vector<std::string>{"SW1", "SW2", "SW3"}));
    EXPECT_EQ(ui_test::TexteVisible(q, Conf_FrSw_RING_Conf_Sw_Freq), "Switch utilisé :");

    PInstrument *ph = Creer("HP53131_phase.dll");
    const int r = PanneauCharge([&] { ph->configure(ph); });
    EXPECT_EQ(Libelles(r, P_INSTR_RINGSLIDE), (std::vector<std::string>{"Phase", "Stat"}));
    EXPECT_EQ(ui_test::TexteVisible(r, P_INSTR_AVER_COUN), "Nb d'echantillon pour la stat");
    EXPECT_EQ(ui_test::TexteVisible(r, P_INSTR_RINGSLIDE), "Mode Select");
}

// Each OK acts on its own panel; a panel left open goes with its instrument.
TEST_F(PanneauxCompteurs, SeveralPanelsAndAMissingResourceFile) {
    for (const Type &t : Types()) {
        SCOPED_TRACE(t.cle);
        PInstrument *i = Nouvel_instrument(t.cle);
        ASSERT_NE(i, nullptr);
        const int p = PanneauCharge([&] { i->configure(i); });
        const int q = PanneauCharge([&] { i->configure(i); });
        const Champ &c = t.champs.back();
        if (c.reel) SetCtrlVal(q, c.controle, c.entre);
        else SetCtrlVal(q, c.controle, static_cast<int>(c.entre));
        ASSERT_EQ(ui_test::Cliquer(q, t.controle_ok), 0);
        EXPECT_EQ(LireChamp(i, c), c.entre);
        EXPECT_TRUE(Charge(p));
        i->liberer(i);
        EXPECT_FALSE(Charge(p));
    }
    ASSERT_NO_FATAL_FAILURE(SansRessources());
    for (const Type &t : Types()) {
        PInstrument *i = Creer(t.cle);
        const std::vector<unsigned char> avant(DebutBloc(i), DebutBloc(i) + t.taille);
        const std::vector<int> panneaux = ui_test::PanneauxCharges();
        i->configure(i);
        EXPECT_EQ(ui_test::PanneauxCharges(), panneaux) << t.cle;
        EXPECT_EQ(std::vector<unsigned char>(DebutBloc(i), DebutBloc(i) + t.taille), avant);
    }
    EXPECT_TRUE(ui_test::Vus().empty());
}

}  // namespace
