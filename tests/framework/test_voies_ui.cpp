// Channel choice lists filled into real controls, and the acquisition settings read from the
// main panel's controls.
#include "framework/voies.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <string>
#include <utility>
#include <vector>

namespace {

const std::string FichierEssai = BANC_SOURCE_DIR "/tests/ui/Essai.uir";
enum { P_ESSAI = 1 };
enum { ANNEAU_TEXTE = 7, JOURNAL = 12 };

using Elements = std::vector<std::pair<std::string, std::string>>;  // label, value

class VoiesUi : public testing::Test {
protected:
    void SetUp() override {
        SetResourceDirectory(BANC_SOURCE_DIR "/ui");
        panel = LoadPanel(0, FichierEssai.c_str(), P_ESSAI);
        ASSERT_GT(panel, 0);
    }
    void TearDown() override {
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
        while (liste) {
            fichei *suivant = liste->suivant;
            liste->plugin->liberer(liste->plugin);
            delete liste;
            liste = suivant;
        }
        Reserver_buffer_circu(nullptr);
        nbpointsgraph = 0;
        sous_ech_2D = 1;
        diviseur_short_mid = 2;
        diviseur_mid_long = 5;
        DiscardPanel(panel);
        QApplication::processEvents();
    }

    void Ajouter(const ConfigEssai &c, int tatoo) {
        auto *f = new fichei{};
        f->plugin = CreerEssai(c);
        f->tatoo = tatoo;
        fichei **fin = &liste;
        while (*fin) fin = &(*fin)->suivant;
        *fin = f;
    }

    Elements Lire(int control) const {
        Elements e;
        int n = 0;
        EXPECT_EQ(GetNumListItems(panel, control, &n), 0);
        for (int i = 0; i < n; ++i) {
            char label[100] = "";
            char valeur[30] = "";
            EXPECT_EQ(GetLabelFromIndex(panel, control, i, label, sizeof label), 0);
            EXPECT_EQ(GetValueFromIndex(panel, control, i, valeur, sizeof valeur), 0);
            e.emplace_back(label, valeur);
        }
        return e;
    }

    int panel = 0;
    fichei *liste = nullptr;
};

TEST_F(VoiesUi, ChoiceListsShowNoneThenEveryChannelWithItsReference) {
    ConfigEssai a;
    a.nom = "Fréquencemètre"_w;
    a.mesures_1D = true;
    a.noms_1D = {"Voie 1", "Voie 2"};
    Ajouter(a, 3);
    ConfigEssai b;
    b.nom = "Calc";
    b.calculs_1D = true;
    b.noms_calcul = {"Somme"};
    Ajouter(b, 5);
    ConfigEssai v;
    v.nom = "Scope";
    v.mesures_2D = true;
    v.noms_2D = {"CH1"};
    v.valeurs_2D = {{0.0, 0.0}};
    Ajouter(v, 2);

    for (int control : {ANNEAU_TEXTE, JOURNAL}) {
        SCOPED_TRACE(control);
        // An empty table gives "(aucun)" alone.
        Reserver_buffer_circu(nullptr);
        init_liste_voie(panel, control);
        EXPECT_EQ(Lire(control), (Elements{{"(aucun)", ""}}));

        Reserver_buffer_circu(liste);
        init_liste_voie(panel, control);
        init_liste_voie(panel, control);  // a second fill replaces the first
        const Elements scalaires = {{"(aucun)", ""},
                                    {"Fréquencemètre Voie 1"_w, "3;1"},
                                    {"Fréquencemètre Voie 2"_w, "3;2"},
                                    {"Calc Somme", "5;1"}};
        EXPECT_EQ(Lire(control), scalaires);

        init_liste_voie2D(panel, control);
        EXPECT_EQ(Lire(control), (Elements{{"(aucun)", ""}, {"Scope CH1", "2;1"}}));
    }
}

TEST_F(VoiesUi, SettingsAreReadFromTheMainPanel) {
    const int commande = LoadPanel(0, "Interface.uir", P_Commande);
    const int graphs = LoadPanel(0, "Interface.uir", P_Graphs);
    ASSERT_GT(commande, 0);
    ASSERT_GT(graphs, 0);
    ConfigEssai a;
    a.mesures_1D = true;
    a.noms_1D = {"V1"};
    Ajouter(a, 1);
    Reserver_buffer_circu(liste);

    struct Cas {
        int points, sous_ech, mid, long_terme;
        int mid_attendu, long_attendu;
    };
    // The controls allow divisors above the number of points: they are brought down to it.
    const Cas cas[] = {{500, 3, 2, 5, 2, 5}, {4, 1, 10, 100, 4, 4}};
    for (const Cas &c : cas) {
        SetCtrlVal(graphs, P_Graphs_N_nbpointsgraphs, c.points);
        SetCtrlVal(commande, P_Commande_N_sous_ech_2D, c.sous_ech);
        SetCtrlVal(graphs, P_Graphs_N_mid, c.mid);
        SetCtrlVal(graphs, P_Graphs_N_long, c.long_terme);
        Init_buffer_circu(commande, graphs);
        EXPECT_EQ(nbpointsgraph, c.points);
        EXPECT_EQ(sous_ech_2D, c.sous_ech);
        EXPECT_EQ(diviseur_short_mid, c.mid_attendu);
        EXPECT_EQ(diviseur_mid_long, c.long_attendu);
        ASSERT_NE(tableau_Bcirc[0].mesure, nullptr);
        EXPECT_EQ(tableau_Bcirc[0].profondeur, c.points);
    }
    DiscardPanel(commande);
    DiscardPanel(graphs);
}

}  // namespace
