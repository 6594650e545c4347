// Channel tables and rings, channel references, the sampling step and the averages, driven by
// the test double instrument.
#include "framework/voies.h"
#include "platform/clock.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

ConfigEssai Mesures(const std::string &nom, std::vector<std::string> voies) {
    ConfigEssai c;
    c.nom = nom;
    c.mesures_1D = true;
    c.valeurs_1D.assign(voies.size(), 0.0);
    c.numeros_1D.assign(voies.size(), 0u);
    c.noms_1D = std::move(voies);
    return c;
}

ConfigEssai Calculs(const std::string &nom, std::vector<std::string> voies) {
    ConfigEssai c;
    c.nom = nom;
    c.calculs_1D = true;
    c.valeurs_calcul.assign(voies.size(), 0.0);
    c.noms_calcul = std::move(voies);
    return c;
}

ConfigEssai Vecteurs(const std::string &nom, std::vector<std::string> voies, int taille) {
    ConfigEssai c;
    c.nom = nom;
    c.mesures_2D = true;
    c.valeurs_2D.assign(voies.size(), std::vector<double>(static_cast<std::size_t>(taille), 0.0));
    c.indices_2D = c.valeurs_2D;
    c.numeros_2D.assign(voies.size(), 0u);
    c.noms_2D = std::move(voies);
    return c;
}

ConfigEssai CalculsVecteurs(const std::string &nom, std::vector<std::string> voies, int taille) {
    ConfigEssai c;
    c.nom = nom;
    c.calculs_2D = true;
    c.valeurs_calcul2D.assign(voies.size(), std::vector<double>(static_cast<std::size_t>(taille), 0.0));
    c.indices_calcul2D = c.valeurs_calcul2D;
    c.noms_calcul2D = std::move(voies);
    return c;
}

ConfigEssai &Config(PInstrument *p) { return Essai(p).config; }

// Compares a curve or ring with the expected doubles, NaN matching NaN.
void ExpectDoubles(const double *valeurs, const std::vector<double> &attendu) {
    for (std::size_t i = 0; i < attendu.size(); ++i) {
        if (std::isnan(attendu[i]))
            EXPECT_TRUE(std::isnan(valeurs[i])) << "index " << i << ": " << valeurs[i];
        else
            EXPECT_DOUBLE_EQ(valeurs[i], attendu[i]) << "index " << i;
    }
}

bool DansJournal(const std::string &entree) {
    const auto &j = JournalEssai();
    return std::find(j.begin(), j.end(), entree) != j.end();
}

class Voies : public testing::Test {
protected:
    void SetUp() override {
        vivantes_avant = InstancesEssaiVivantes();
        Reserver_buffer_circu(nullptr);
        JournalEssai().clear();
    }

    void TearDown() override {
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
        Voies_echec_allocation(0, 0);
        Vider(liste);
        Vider(hors_liste);
        Reserver_buffer_circu(nullptr);
        nbpointsgraph = 0;
        sous_ech_2D = 1;
        diviseur_short_mid = 2;
        diviseur_mid_long = 5;
        horloge::UtiliserHorlogeReelle();
        JournalEssai().clear();
        EXPECT_EQ(InstancesEssaiVivantes(), vivantes_avant);
    }

    static void Vider(fichei *&tete) {
        while (tete) {
            fichei *suivant = tete->suivant;
            tete->plugin->liberer(tete->plugin);
            delete tete;
            tete = suivant;
        }
    }

    // Makes an instance, gives it the core services and appends it to the list.
    PInstrument *Ajouter(const ConfigEssai &c, int tatoo) {
        PInstrument *p = CreerEssai(c);
        p->init_liste_voie = init_liste_voie;
        p->get_buffer_from_tatoo = get_buffer_from_tatoo;
        p->init_liste_voie2D = init_liste_voie2D;
        p->get_buffer2D_from_tatoo = get_buffer2D_from_tatoo;
        auto *f = new fichei{};
        f->plugin = p;
        f->tatoo = tatoo;
        fichei **fin = &liste;
        while (*fin) fin = &(*fin)->suivant;
        *fin = f;
        return p;
    }

    // Takes the node of `p` out of the list (it is freed at the end of the test).
    void Retirer(PInstrument *p) {
        for (fichei **f = &liste; *f; f = &(*f)->suivant)
            if ((*f)->plugin == p) {
                fichei *n = *f;
                *f = n->suivant;
                n->suivant = hors_liste;
                hors_liste = n;
                return;
            }
    }

    // What an acquisition start does with the buffers.
    int Demarrer(int points, int mid = 2, int long_terme = 5) {
        Reserver_buffer_circu(liste);
        nbpointsgraph = points;
        diviseur_short_mid = mid;
        diviseur_mid_long = long_terme;
        Allouer_buffer_circu();
        return Init_buffer2D_circu(liste);
    }

    void Echantillons(int n) {
        for (int i = 0; i < n; ++i) Echantilloner(liste);
    }

    fichei *liste = nullptr;
    fichei *hors_liste = nullptr;
    int vivantes_avant = 0;
};

// ---- tables -------------------------------------------------------------------------------

TEST_F(Voies, TablesHoldMeasuredThenComputedChannelsInListOrder) {
    Ajouter(Calculs("Calc", {"Somme"}), 2);
    PInstrument *multi = Ajouter(Mesures("Multi", {"V1", "V2"}), 3);
    ConfigEssai rien;
    rien.nom = "Rien";
    Ajouter(rien, 4);
    Ajouter(Mesures("Freq", {"F1", "F2", "F3"}), 5);
    Ajouter(Calculs("Stat", {"Moy", "Ecart"}), 6);
    PInstrument *scope = Ajouter(Vecteurs("Scope", {"CH1"}, 401), 7);
    ConfigEssai fit = CalculsVecteurs("Fit", {"Courbe"}, 10);
    fit.calculs_1D = true;
    fit.noms_calcul = {"Chi2"};
    fit.valeurs_calcul = {0.0};
    Ajouter(fit, 8);
    // Part of a group only: the instrument contributes no channel of that kind.
    PInstrument *partiel = Ajouter(Mesures("Partiel", {"P1"}), 9);
    partiel->numero_1D = nullptr;
    PInstrument *partiel2D = Ajouter(Vecteurs("Partiel2D", {"Q1"}, 3), 10);
    partiel2D->get_taille_voie2D = nullptr;

    Reserver_buffer_circu(liste);

    struct Attendu {
        const char *nom_voie;
        int tatoo, voie;
    };
    const Attendu scalaires[] = {{"Multi V1", 3, 1}, {"Multi V2", 3, 2},   {"Freq F1", 5, 1},
                                 {"Freq F2", 5, 2},  {"Freq F3", 5, 3},    {"Calc Somme", 2, 1},
                                 {"Stat Moy", 6, 1}, {"Stat Ecart", 6, 2}, {"Fit Chi2", 8, 1}};
    ASSERT_EQ(nb_Bcirc, 9);
    for (int k = 0; k < nb_Bcirc; ++k) {
        const ptr &b = tableau_Bcirc[k];
        EXPECT_STREQ(b.nom_voie, scalaires[k].nom_voie) << k;
        EXPECT_EQ(b.tatoo, scalaires[k].tatoo) << k;
        EXPECT_EQ(b.voie, scalaires[k].voie) << k;
        EXPECT_EQ(b.ptr_mobile, 0);
        EXPECT_EQ(b.dernier_indice, 0);
        EXPECT_EQ(b.mesure, nullptr);
        EXPECT_EQ(b.numero, nullptr);
        EXPECT_EQ(b.points_mid, nullptr);
        EXPECT_EQ(b.points_long, nullptr);
    }
    EXPECT_EQ(tableau_Bcirc[0].instrument, multi);

    const Attendu vecteurs[] = {{"Scope CH1", 7, 1}, {"Fit Courbe", 8, 1}};
    const int tailles[] = {401, 10};
    ASSERT_EQ(nb_Bcirc2D, 2);
    for (int k = 0; k < nb_Bcirc2D; ++k) {
        const ptr2D &b = tableau_Bcirc2D[k];
        EXPECT_STREQ(b.nom_voie, vecteurs[k].nom_voie) << k;
        EXPECT_EQ(b.tatoo, vecteurs[k].tatoo) << k;
        EXPECT_EQ(b.voie, vecteurs[k].voie) << k;
        EXPECT_EQ(b.taille_voie, tailles[k]) << k;
    }
    EXPECT_EQ(tableau_Bcirc2D[0].instrument, scope);

    // A rebuild after instruments left the list shrinks the counts.
    Retirer(scope);
    Retirer(multi);
    Reserver_buffer_circu(liste);
    EXPECT_EQ(nb_Bcirc, 7);
    EXPECT_STREQ(tableau_Bcirc[0].nom_voie, "Freq F1");
    EXPECT_EQ(nb_Bcirc2D, 1);
    EXPECT_STREQ(tableau_Bcirc2D[0].nom_voie, "Fit Courbe");

    Reserver_buffer_circu(nullptr);
    EXPECT_EQ(nb_Bcirc, 0);
    EXPECT_EQ(nb_Bcirc2D, 0);
    EXPECT_EQ(Init_buffer2D_circu(nullptr), 0);
}

TEST_F(Voies, ChannelNameIsInstrumentBlankChannel) {
    const std::string nom39(39, 'I');
    const std::string voie19(19, 'v');
    Ajouter(Mesures(nom39, {voie19}), 1);
    PInstrument *b = Ajouter(Mesures("Meme", {"X"}), 2);
    Ajouter(Mesures("Meme", {"X"}), 3);
    Reserver_buffer_circu(liste);

    ASSERT_EQ(nb_Bcirc, 3);
    EXPECT_EQ(std::string(tableau_Bcirc[0].nom_voie), nom39 + " " + voie19);
    EXPECT_EQ(std::strlen(tableau_Bcirc[0].nom_voie), 59u);
    // Same name, different tatoos.
    EXPECT_STREQ(tableau_Bcirc[1].nom_voie, tableau_Bcirc[2].nom_voie);
    EXPECT_NE(tableau_Bcirc[1].tatoo, tableau_Bcirc[2].tatoo);

    // A new name shows from the next rebuild on.
    b->set_nom_instru(b, "Nouveau");
    EXPECT_STREQ(tableau_Bcirc[1].nom_voie, "Meme X");
    Reserver_buffer_circu(liste);
    EXPECT_STREQ(tableau_Bcirc[1].nom_voie, "Nouveau X");
}

TEST_F(Voies, AllocationGivesEmptyRings) {
    Ajouter(Mesures("Multi", {"V1"}), 1);
    Ajouter(Calculs("Calc", {"C1"}), 2);
    Ajouter(Vecteurs("Scope", {"CH1"}, 401), 3);
    PInstrument *negatif = Ajouter(Vecteurs("Vide", {"Z"}, 0), 4);
    negatif->get_taille_voie2D = [](PInstrument *, int) { return -5; };
    ASSERT_EQ(Demarrer(100), 0);

    for (int k = 0; k < nb_Bcirc; ++k) {
        const ptr &b = tableau_Bcirc[k];
        ASSERT_NE(b.mesure, nullptr);
        EXPECT_EQ(b.profondeur, 100);
        EXPECT_EQ(b.cpt_mid, 0);
        EXPECT_EQ(b.cpt_long, 0);
        ExpectDoubles(b.mesure, std::vector<double>(100, NaN));
        ExpectDoubles(b.numero, std::vector<double>(100, 0.0));
        ExpectDoubles(b.points_mid, std::vector<double>(100, NaN));
        ExpectDoubles(b.points_long, std::vector<double>(100, NaN));
        // Before the first sample the newest value reads as NaN, number 0.
        EXPECT_TRUE(std::isnan(b.mesure[b.dernier_indice]));
    }

    const ptr2D &v = tableau_Bcirc2D[0];
    for (int r = 0; r < kLignesVecteur; ++r) {
        ASSERT_NE(v.mesure[r], nullptr);
        ASSERT_NE(v.indices[r], nullptr);
        ExpectDoubles(v.mesure[r], std::vector<double>(401, 0.0));
        ExpectDoubles(v.indices[r], std::vector<double>(401, 0.0));
        EXPECT_EQ(v.numero[r], 0.0);
    }
    // A size below zero counts as 0; the channel still has its rows.
    EXPECT_EQ(tableau_Bcirc2D[1].taille_voie, 0);
    EXPECT_NE(tableau_Bcirc2D[1].mesure[0], nullptr);
}

TEST_F(Voies, SettingsAreBroughtIntoRange) {
    struct Cas {
        int points, sous_ech, mid, long_terme;
        int points_attendu, sous_ech_attendu, mid_attendu, long_attendu;
    };
    const Cas cas[] = {
        {0, 0, 0, 0, 1, 1, 1, 1},
        {-5, -2, -1, -7, 1, 1, 1, 1},
        {10, 3, 20, 11, 10, 3, 10, 10},
        {500, 1, 2, 5, 500, 1, 2, 5},
    };
    Ajouter(Mesures("Multi", {"V1"}), 1);
    Reserver_buffer_circu(liste);
    for (const Cas &c : cas) {
        nbpointsgraph = c.points;
        sous_ech_2D = c.sous_ech;
        diviseur_short_mid = c.mid;
        diviseur_mid_long = c.long_terme;
        // No panel in this program: the controls cannot be read and the settings stay.
        Init_buffer_circu(0, 0);
        EXPECT_EQ(nbpointsgraph, c.points_attendu) << c.points;
        EXPECT_EQ(sous_ech_2D, c.sous_ech_attendu) << c.points;
        EXPECT_EQ(diviseur_short_mid, c.mid_attendu) << c.points;
        EXPECT_EQ(diviseur_mid_long, c.long_attendu) << c.points;
        EXPECT_EQ(tableau_Bcirc[0].profondeur, c.points_attendu);
        EXPECT_EQ(Echecs_buffer_circu(), 0);
    }
}

// ---- rings ----------------------------------------------------------------------------------

TEST_F(Voies, ScalarRingWrapsAtItsDepth) {
    PInstrument *m = Ajouter(Mesures("Multi", {"V1"}), 1);
    PInstrument *n = Ajouter(Mesures("Compteur", {"N"}), 2);
    ASSERT_EQ(Demarrer(3), 0);
    const ptr &b = tableau_Bcirc[0];

    struct Pas {
        int dernier, mobile;
    };
    const Pas pas[] = {{0, 1}, {1, 2}, {2, 0}, {0, 1}};
    for (int s = 1; s <= 4; ++s) {
        Config(m).valeurs_1D[0] = s;
        Config(m).numeros_1D[0] = 10u + static_cast<unsigned>(s);
        Echantilloner(liste);
        EXPECT_EQ(b.dernier_indice, pas[s - 1].dernier) << s;
        EXPECT_EQ(b.ptr_mobile, pas[s - 1].mobile) << s;
    }
    ExpectDoubles(b.mesure, {4, 2, 3});
    ExpectDoubles(b.numero, {14, 12, 13});
    // Oldest first: from ptr_mobile to the end, then from 0.
    std::vector<double> ordre;
    for (int i = 0; i < b.profondeur; ++i) ordre.push_back(b.mesure[(b.ptr_mobile + i) % b.profondeur]);
    EXPECT_EQ(ordre, (std::vector<double>{2, 3, 4}));

    // Reading numbers are the unsigned counter, as a positive double.
    for (unsigned numero : {4294967295u, 2147483648u}) {
        Config(n).numeros_1D[0] = numero;
        Echantilloner(liste);
        EXPECT_EQ(tableau_Bcirc[1].numero[tableau_Bcirc[1].dernier_indice], static_cast<double>(numero));
    }
    EXPECT_EQ(mettre_donnees_dans_Bcirc(liste), 2);
}

TEST_F(Voies, VectorRingWrapsAtFiftyRows) {
    PInstrument *scope = Ajouter(Vecteurs("Scope", {"CH1"}, 3), 1);
    PInstrument *fit = Ajouter(CalculsVecteurs("Fit", {"Courbe"}, 2), 2);
    ASSERT_EQ(Demarrer(10), 0);
    const ptr2D &m = tableau_Bcirc2D[0];
    const ptr2D &c = tableau_Bcirc2D[1];

    for (int s = 1; s <= 51; ++s) {
        const double x = s;
        Config(scope).valeurs_2D[0] = {x, x + 0.1, x + 0.2};
        Config(scope).indices_2D[0] = {-x, -x, -x};
        Config(scope).numeros_2D[0] = static_cast<unsigned>(100 + s);
        Config(fit).valeurs_calcul2D[0] = {x * 10, x * 20};
        Config(fit).indices_calcul2D[0] = {1, 2};
        Echantilloner(liste);
        if (s == 50) {
            EXPECT_EQ(m.dernier_indice, 49);
            EXPECT_EQ(m.ptr_mobile, 0);
            ExpectDoubles(m.mesure[49], {50, 50.1, 50.2});
            EXPECT_EQ(m.numero[49], 150.0);
        }
    }
    // The 51st vector overwrites row 0.
    EXPECT_EQ(m.dernier_indice, 0);
    EXPECT_EQ(m.ptr_mobile, 1);
    ExpectDoubles(m.mesure[0], {51, 51.1, 51.2});
    ExpectDoubles(m.indices[0], {-51, -51, -51});
    EXPECT_EQ(m.numero[0], 151.0);
    ExpectDoubles(m.mesure[1], {2, 2.1, 2.2});

    // A computed vector channel fills its rows the same way and keeps its numbers at 0.
    EXPECT_EQ(c.dernier_indice, 0);
    EXPECT_EQ(c.ptr_mobile, 1);
    ExpectDoubles(c.mesure[0], {510, 1020});
    ExpectDoubles(c.indices[0], {1, 2});
    for (int r = 0; r < kLignesVecteur; ++r) EXPECT_EQ(c.numero[r], 0.0) << r;
    EXPECT_EQ(mettre_donnees2D_dans_Bcirc2D(liste), 1);
}

TEST_F(Voies, OneSampleCallsTheInstrumentsInOrder) {
    Ajouter(Vecteurs("Scope", {"A", "B"}, 3), 1);
    Ajouter(Mesures("Multi", {"V1", "V2"}), 2);
    Ajouter(Calculs("Calc", {"C1"}), 3);
    ConfigEssai fit = CalculsVecteurs("Fit", {"Courbe"}, 4);
    fit.calculs_1D = true;
    fit.noms_calcul = {"Chi2"};
    fit.valeurs_calcul = {0.0};
    Ajouter(fit, 4);
    Ajouter(Mesures("Freq", {"F1"}), 5);
    ASSERT_EQ(Demarrer(10), 0);
    horloge::UtiliserHorlogeFactice(1765370096);
    JournalEssai().clear();

    Echantilloner(liste);

    const std::vector<std::string> attendu = {
        "mesure2D Scope 1", "indices2D Scope 1", "numero2D Scope 1",
        "mesure2D Scope 2", "indices2D Scope 2", "numero2D Scope 2",
        "mesure_1D Multi 1", "numero_1D Multi 1", "mesure_1D Multi 2", "numero_1D Multi 2",
        "mesure_1D Freq 1", "numero_1D Freq 1",
        "calculer_1D Calc", "calculer_1D Fit",
        "calculer_2D Fit",
        "mesure_calcul Calc 1", "mesure_calcul Fit 1",
        "calcul2D Fit 1", "i_calcul2D Fit 1",
    };
    EXPECT_EQ(JournalEssai(), attendu);
    EXPECT_EQ(temps_echantillon, 1765370096);
}

TEST_F(Voies, ComputedScalarChannelCountsItsReadings) {
    PInstrument *calc = Ajouter(Calculs("Calc", {"C1"}), 1);
    ASSERT_EQ(Demarrer(3), 0);
    const ptr &b = tableau_Bcirc[0];
    struct Cas {
        int echantillons;
        std::vector<double> numeros;
    };
    const Cas cas[] = {{1, {1, 0, 0}}, {3, {3, 2, 3}}, {4, {4, 2, 3}}, {5, {5, 5, 3}}};
    int faits = 0;
    for (const Cas &c : cas) {
        for (; faits < c.echantillons; ++faits) {
            Config(calc).valeurs_calcul[0] = 0.5 * faits;
            Echantilloner(liste);
        }
        ExpectDoubles(b.numero, c.numeros);
    }
    EXPECT_DOUBLE_EQ(b.mesure[b.dernier_indice], 2.0);
}

// A computed instrument that copies the newest value of a channel into its own channel.
template <int Tatoo>
void CopierNouvelle(PInstrument *p) {
    const std::string reference = std::to_string(Tatoo) + ";1";
    ptr *source = p->get_buffer_from_tatoo(reference.c_str());
    Essai(p).config.valeurs_calcul[0] = source ? source->mesure[source->dernier_indice] : -1.0;
}

TEST_F(Voies, CalculationsSeeThisSampleMeasuresAndThePreviousResults) {
    PInstrument *m = Ajouter(Mesures("Multi", {"V1"}), 1);
    PInstrument *x = Ajouter(Calculs("X", {"Copie"}), 2);
    PInstrument *y = Ajouter(Calculs("Y", {"Copie"}), 3);
    x->calculer_1D = CopierNouvelle<1>;  // reads the measured channel
    y->calculer_1D = CopierNouvelle<2>;  // reads X's computed channel
    ASSERT_EQ(Demarrer(10), 0);

    Config(m).valeurs_1D[0] = 7.0;
    Echantilloner(liste);
    EXPECT_EQ(Config(x).valeurs_calcul[0], 7.0);
    EXPECT_TRUE(std::isnan(Config(y).valeurs_calcul[0]));

    Config(m).valeurs_1D[0] = 8.0;
    Echantilloner(liste);
    EXPECT_EQ(Config(x).valeurs_calcul[0], 8.0);
    EXPECT_EQ(Config(y).valeurs_calcul[0], 7.0);
    EXPECT_EQ(tableau_Bcirc[2].mesure[tableau_Bcirc[2].dernier_indice], 7.0);
}

// ---- averages -------------------------------------------------------------------------------

TEST_F(Voies, AveragesOfARamp) {
    PInstrument *m = Ajouter(Mesures("Multi", {"V1"}), 1);
    PInstrument *c = Ajouter(Calculs("Calc", {"C1"}), 2);
    ASSERT_EQ(Demarrer(100, 2, 5), 0);

    auto echantillon = [&](int s) {
        Config(m).valeurs_1D[0] = s;
        Config(c).valeurs_calcul[0] = s;
        Echantilloner(liste);
    };
    std::vector<double> mid(100, NaN);
    std::vector<double> lng(100, NaN);
    for (int s = 1; s <= 10; ++s) {
        // The counter stands at D - 1 before the sample that makes a point.
        EXPECT_EQ(tableau_Bcirc[0].cpt_mid, (s - 1) % 2) << s;
        echantillon(s);
        if (s == 1) {
            ExpectDoubles(tableau_Bcirc[0].points_mid, mid);
            ExpectDoubles(tableau_Bcirc[0].points_long, lng);
        }
        if (s == 2) {
            mid[99] = 1.5;
            ExpectDoubles(tableau_Bcirc[0].points_mid, mid);
        }
        if (s == 4) {
            mid[98] = 1.5;
            mid[99] = 3.5;
            ExpectDoubles(tableau_Bcirc[0].points_mid, mid);
        }
    }
    std::copy_n(std::vector<double>{1.5, 3.5, 5.5, 7.5, 9.5}.begin(), 5, mid.begin() + 95);
    lng[99] = 5.5;
    // The computed channel gets its curves exactly like the measured one.
    for (int k = 0; k < 2; ++k) {
        ExpectDoubles(tableau_Bcirc[k].points_mid, mid);
        ExpectDoubles(tableau_Bcirc[k].points_long, lng);
        EXPECT_EQ(tableau_Bcirc[k].cpt_mid, 0);
        EXPECT_EQ(tableau_Bcirc[k].cpt_long, 0);
    }
}

TEST_F(Voies, NaNReadingSpoilsItsPointsOnly) {
    PInstrument *m = Ajouter(Mesures("Multi", {"V1"}), 1);
    ASSERT_EQ(Demarrer(100, 2, 5), 0);
    const ptr &b = tableau_Bcirc[0];
    std::vector<double> mid_apres;  // newest mid-term point after each even sample
    for (int s = 1; s <= 10; ++s) {
        Config(m).valeurs_1D[0] = s == 3 ? NaN : s;
        Echantilloner(liste);
        if (s % 2 == 0) mid_apres.push_back(b.points_mid[99]);
    }
    EXPECT_DOUBLE_EQ(mid_apres[0], 1.5);  // sample 2
    EXPECT_TRUE(std::isnan(mid_apres[1]));  // sample 4
    EXPECT_DOUBLE_EQ(mid_apres[2], 5.5);  // sample 6
    EXPECT_DOUBLE_EQ(mid_apres[3], 7.5);  // sample 8
    EXPECT_DOUBLE_EQ(mid_apres[4], 9.5);  // sample 10
    EXPECT_TRUE(std::isnan(b.points_long[99]));
}

// The curves stay plain arrays of their depth, oldest point first, however many points they
// take (many times their depth, so that they move back to the start of their room often), and
// equal to a curve that moves every point at each new one.
TEST_F(Voies, CurvesStayPlainArraysOverManyPoints) {
    PInstrument *m = Ajouter(Mesures("Multi", {"V1", "V2"}), 1);
    constexpr int kProfondeur = 7;
    ASSERT_EQ(Demarrer(kProfondeur, 1, 3), 0);
    std::vector<double> mid(kProfondeur, NaN), lng(kProfondeur, NaN);
    const auto pousser = [](std::vector<double> &courbe, double point) {
        courbe.erase(courbe.begin());
        courbe.push_back(point);
    };
    for (int s = 1; s <= 200; ++s) {
        Config(m).valeurs_1D = {static_cast<double>(s), -0.5 * s};
        Echantilloner(liste);
        pousser(mid, s);
        if (s % 3 == 0) pousser(lng, (s + (s - 1) + (s - 2)) / 3.0);
        ExpectDoubles(tableau_Bcirc[0].points_mid, mid);
        ExpectDoubles(tableau_Bcirc[0].points_long, lng);
        EXPECT_DOUBLE_EQ(tableau_Bcirc[1].points_mid[kProfondeur - 1], -0.5 * s);
        if (HasFailure()) FAIL() << "sample " << s;
    }
    Liberer_buffer_circu();
    EXPECT_EQ(tableau_Bcirc[0].points_mid, nullptr);
    EXPECT_EQ(tableau_Bcirc[0].points_long, nullptr);
}

TEST_F(Voies, DivisorsOutOfRangeAreClamped) {
    struct Cas {
        const char *quoi;
        int points, mid, long_terme;
        bool change_apres_allocation;  // divisors written after the rings were allocated
        int echantillons;
        std::vector<double> mid_attendu, long_attendu;
    };
    const Cas cas[] = {
        {"D = 1: every reading is a point", 5, 1, 1, false, 3, {NaN, NaN, 1, 2, 3}, {NaN, NaN, 1, 2, 3}},
        {"D above the depth reads the whole ring", 3, 10, 1, false, 3, {NaN, NaN, 2}, {NaN, NaN, 2}},
        {"L above the depth", 3, 1, 7, false, 3, {1, 2, 3}, {NaN, NaN, 2}},
        {"D = 0 after allocation counts as 1", 4, 0, 1, true, 2, {NaN, NaN, 1, 2}, {NaN, NaN, 1, 2}},
        {"negative L after allocation counts as 1", 4, 2, -3, true, 4, {NaN, NaN, 1.5, 3.5}, {NaN, NaN, 1.5, 3.5}},
        {"D above the depth after allocation", 2, 9, 1, true, 2, {NaN, 1.5}, {NaN, 1.5}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.quoi);
        Vider(liste);
        PInstrument *m = Ajouter(Mesures("Multi", {"V1"}), 1);
        if (c.change_apres_allocation) {
            ASSERT_EQ(Demarrer(c.points), 0);
            diviseur_short_mid = c.mid;
            diviseur_mid_long = c.long_terme;
        } else {
            ASSERT_EQ(Demarrer(c.points, c.mid, c.long_terme), 0);
        }
        for (int s = 1; s <= c.echantillons; ++s) {
            Config(m).valeurs_1D[0] = s;
            Echantilloner(liste);
        }
        ExpectDoubles(tableau_Bcirc[0].points_mid, c.mid_attendu);
        ExpectDoubles(tableau_Bcirc[0].points_long, c.long_attendu);
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
    }
}

// ---- channel references -----------------------------------------------------------------

TEST_F(Voies, ReferencesResolveInTheirOwnTable) {
    Ajouter(Mesures("A", {"1", "2"}), 3);
    Ajouter(Mesures("B", {"1"}), 5);
    Ajouter(Mesures("C", {"1"}), 8);
    Ajouter(Vecteurs("S", {"CH1"}, 2), 3);
    Reserver_buffer_circu(liste);
    ASSERT_EQ(nb_Bcirc, 4);

    struct Cas {
        const char *texte;
        int indice;  // record expected, -1 for null
    };
    const Cas cas[] = {
        {"3;1", 0},   {"3;2", 1},    {"5;1", 2},     {" 3;2", 1},   {"3; 2", 1}, {"3 ;2", -1},
        {"3;2abc", 1}, {"010;1", 3}, {"0x3;1", 0},   {"+5;1", 2},   {"3;9", -1}, {"9;1", -1},
        {"", -1},     {"3", -1},     {"abc", -1},    {";1", -1},    {"3;", -1},
    };
    for (const Cas &c : cas) {
        // Resolution needs no ring.
        ptr *b = get_buffer_from_tatoo(c.texte);
        if (c.indice < 0)
            EXPECT_EQ(b, nullptr) << '"' << c.texte << '"';
        else
            EXPECT_EQ(b, &tableau_Bcirc[c.indice]) << '"' << c.texte << '"';
    }
    EXPECT_EQ(get_buffer_from_tatoo(nullptr), nullptr);

    // The same text names a scalar and a vector channel, each in its table.
    EXPECT_EQ(get_buffer2D_from_tatoo("3;1"), &tableau_Bcirc2D[0]);
    EXPECT_EQ(get_buffer2D_from_tatoo("3;2"), nullptr);
    EXPECT_EQ(get_buffer2D_from_tatoo("5;1"), nullptr);

    // After a rebuild without those instruments the references name nothing.
    Vider(liste);
    Reserver_buffer_circu(liste);
    EXPECT_EQ(get_buffer_from_tatoo("3;1"), nullptr);
    EXPECT_EQ(get_buffer2D_from_tatoo("3;1"), nullptr);
}

// ---- fills stay inside their records ------------------------------------------------------

// The counts or the list changed after the rebuild (which the acquisition forbids, but a
// dialog left open or a plugin may still do): every channel that has a record lands in it,
// the others are not stored, and nothing is written outside a table.
TEST_F(Voies, ChangedCountsNeverLeaveTheRecords) {
    enum Changement { Grandit, Retrecit, InstrumentAjoute, InstrumentRetire };
    const struct {
        Changement changement;
        const char *quoi;
    } cas[] = {{Grandit, "a count grew"},
               {Retrecit, "a count shrank"},
               {InstrumentAjoute, "an instrument was added"},
               {InstrumentRetire, "an instrument was removed"}};
    for (const auto &c : cas) {
        SCOPED_TRACE(c.quoi);
        Vider(liste);
        Vider(hors_liste);
        PInstrument *a = Ajouter(Mesures("A", {"A1", "A2"}), 1);
        PInstrument *b = Ajouter(Mesures("B", {"B1"}), 2);
        PInstrument *k = Ajouter(Calculs("K", {"K1"}), 3);
        Config(a).valeurs_1D = {1, 2};
        Config(b).valeurs_1D = {10};
        Config(k).valeurs_calcul = {100};
        ASSERT_EQ(Demarrer(4), 0);
        ASSERT_EQ(nb_Bcirc, 4);

        switch (c.changement) {
        case Grandit:
            Config(a).noms_1D.push_back("A3");
            Config(a).valeurs_1D.push_back(3);
            Config(a).numeros_1D.push_back(0);
            Config(k).noms_calcul.push_back("K2");
            Config(k).valeurs_calcul.push_back(200);
            break;
        case Retrecit:
            Config(a).noms_1D.pop_back();
            break;
        case InstrumentAjoute:
            Config(Ajouter(Mesures("N", {"N1", "N2"}), 4)).valeurs_1D = {-1, -2};
            Config(Ajouter(Calculs("M", {"M1"}), 5)).valeurs_calcul = {-3};
            break;
        case InstrumentRetire:
            Retirer(a);
            break;
        }
        JournalEssai().clear();
        Echantilloner(liste);

        EXPECT_EQ(nb_Bcirc, 4);
        const double a1 = c.changement == InstrumentRetire ? NaN : 1;
        const double a2 = c.changement == InstrumentRetire || c.changement == Retrecit ? NaN : 2;
        ExpectDoubles(tableau_Bcirc[0].mesure, {a1, NaN, NaN, NaN});
        ExpectDoubles(tableau_Bcirc[1].mesure, {a2, NaN, NaN, NaN});
        ExpectDoubles(tableau_Bcirc[2].mesure, {10, NaN, NaN, NaN});
        ExpectDoubles(tableau_Bcirc[3].mesure, {100, NaN, NaN, NaN});
        EXPECT_EQ(tableau_Bcirc[3].numero[0], 1.0);
        // Channels without a record are not read.
        EXPECT_FALSE(DansJournal("mesure_1D A 3"));
        EXPECT_FALSE(DansJournal("mesure_calcul K 2"));
        EXPECT_FALSE(DansJournal("mesure_1D N 1"));
        Liberer_buffer_circu();
        Liberer_buffer2D_circu();
    }
}

TEST_F(Voies, VectorFillsKeepToTheirRows) {
    // Offers the table's operations but not mesure2D: it has a record that no fill writes.
    PInstrument *sans_mesure = Ajouter(Vecteurs("Sans", {"S1"}, 2), 1);
    sans_mesure->mesure2D = nullptr;
    PInstrument *v = Ajouter(Vecteurs("V", {"V1"}, 4), 2);
    PInstrument *f = Ajouter(CalculsVecteurs("F", {"F1"}, 2), 3);
    ASSERT_EQ(Demarrer(4), 0);
    ASSERT_EQ(nb_Bcirc2D, 3);

    // After the rebuild the vector grows to 10 points and a channel appears.
    Config(v).valeurs_2D[0] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Config(v).indices_2D[0] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Config(v).noms_2D.push_back("V2");
    Config(v).valeurs_2D.push_back(std::vector<double>(50, 9.0));
    Config(v).indices_2D.push_back(std::vector<double>(50, 9.0));
    Config(v).numeros_2D = {7, 8};
    Config(f).valeurs_calcul2D[0] = {-1, -2};
    Config(f).indices_calcul2D[0] = {0.5, 1.5};
    Echantilloner(liste);

    EXPECT_EQ(tableau_Bcirc2D[0].ptr_mobile, 0);
    ExpectDoubles(tableau_Bcirc2D[0].mesure[0], {0, 0});
    ExpectDoubles(tableau_Bcirc2D[1].mesure[0], {1, 2, 3, 4});
    ExpectDoubles(tableau_Bcirc2D[1].indices[0], {0, 1, 2, 3});
    EXPECT_EQ(tableau_Bcirc2D[1].numero[0], 7.0);
    ExpectDoubles(tableau_Bcirc2D[2].mesure[0], {-1, -2});
    ExpectDoubles(tableau_Bcirc2D[2].indices[0], {0.5, 1.5});
    EXPECT_FALSE(DansJournal("mesure2D V 2"));
}

// ---- allocation failures, guards and release ---------------------------------------------

TEST_F(Voies, ScalarAllocationFailureLeavesNoRing) {
    Ajouter(Mesures("A", {"A1"}), 1);
    Ajouter(Calculs("K", {"K1"}), 2);
    Reserver_buffer_circu(liste);
    nbpointsgraph = 10;
    Voies_echec_allocation(5, 1);  // record 0 gets its four rings, record 1 only one
    Allouer_buffer_circu();
    EXPECT_GT(Echecs_buffer_circu(), 0);
    for (int k = 0; k < nb_Bcirc; ++k) {
        EXPECT_EQ(tableau_Bcirc[k].mesure, nullptr) << k;
        EXPECT_EQ(tableau_Bcirc[k].numero, nullptr) << k;
        EXPECT_EQ(tableau_Bcirc[k].points_mid, nullptr) << k;
        EXPECT_EQ(tableau_Bcirc[k].points_long, nullptr) << k;
    }
    JournalEssai().clear();
    Echantilloner(liste);
    EXPECT_TRUE(JournalEssai().empty());

    // The next allocation that succeeds brings the rings back.
    Allouer_buffer_circu();
    EXPECT_EQ(Echecs_buffer_circu(), 0);
    EXPECT_NE(tableau_Bcirc[1].mesure, nullptr);
}

TEST_F(Voies, VectorAllocationFailureDropsThatChannelOnly) {
    Ajouter(Vecteurs("V", {"V1"}, 4), 1);
    Ajouter(Vecteurs("W", {"W1"}, 4), 2);
    Reserver_buffer_circu(liste);
    Voies_echec_allocation(3, 1);  // row 1 of V1's abscissae
    EXPECT_EQ(Init_buffer2D_circu(liste), -1);
    const ptr2D &v = tableau_Bcirc2D[0];
    const ptr2D &w = tableau_Bcirc2D[1];
    EXPECT_EQ(v.taille_voie, 0);
    for (int r = 0; r < kLignesVecteur; ++r) {
        EXPECT_EQ(v.mesure[r], nullptr) << r;
        EXPECT_EQ(v.indices[r], nullptr) << r;
        EXPECT_NE(w.mesure[r], nullptr) << r;
        EXPECT_NE(w.indices[r], nullptr) << r;
    }
    JournalEssai().clear();
    Echantilloner(liste);
    EXPECT_FALSE(DansJournal("mesure2D V 1"));
    EXPECT_TRUE(DansJournal("mesure2D W 1"));
    EXPECT_EQ(w.ptr_mobile, 1);
}

TEST_F(Voies, TableThatCannotGrowKeepsTheChannelsItHolds) {
    std::vector<std::string> noms;
    for (int i = 0; i < 5000; ++i) noms.push_back("V" + std::to_string(i + 1));
    PInstrument *m = Ajouter(Mesures("Beaucoup", noms), 1);
    for (int i = 0; i < 5000; ++i) Config(m).valeurs_1D[static_cast<std::size_t>(i)] = i + 1;
    Voies_echec_allocation(0, -1);
    Reserver_buffer_circu(liste);
    Voies_echec_allocation(0, 0);
    EXPECT_LT(nb_Bcirc, 5000);
    nbpointsgraph = 2;
    Allouer_buffer_circu();
    Echantilloner(liste);
    for (int k = 0; k < nb_Bcirc; ++k) {
        EXPECT_EQ(tableau_Bcirc[k].voie, k + 1);
        EXPECT_EQ(tableau_Bcirc[k].mesure[0], k + 1.0);
    }
}

TEST_F(Voies, NothingIsSampledWithoutRings) {
    Ajouter(Vecteurs("V", {"V1"}, 4), 1);
    Ajouter(Mesures("A", {"A1"}), 2);
    Ajouter(Calculs("K", {"K1"}), 3);

    // Tables built, rings absent.
    Reserver_buffer_circu(liste);
    JournalEssai().clear();
    Echantilloner(liste);
    EXPECT_TRUE(JournalEssai().empty());

    // Rings released at the end of an acquisition: pointers back to null.
    ASSERT_EQ(Demarrer(5), 0);
    Echantilloner(liste);
    Liberer_buffer_circu();
    Liberer_buffer2D_circu();
    for (int k = 0; k < nb_Bcirc; ++k) EXPECT_EQ(tableau_Bcirc[k].mesure, nullptr);
    for (int r = 0; r < kLignesVecteur; ++r) EXPECT_EQ(tableau_Bcirc2D[0].mesure[r], nullptr);
    JournalEssai().clear();
    Echantilloner(liste);
    EXPECT_TRUE(JournalEssai().empty());
    Liberer_buffer_circu();  // twice is harmless
    Liberer_buffer2D_circu();

    // A rebuild or a new allocation while rings exist releases them first (leak detection
    // checks it).
    ASSERT_EQ(Demarrer(5), 0);
    Allouer_buffer_circu();
    ASSERT_EQ(Init_buffer2D_circu(liste), 0);
    Reserver_buffer_circu(liste);
    EXPECT_EQ(tableau_Bcirc[0].mesure, nullptr);
    EXPECT_EQ(tableau_Bcirc2D[0].mesure[0], nullptr);
}

}  // namespace
