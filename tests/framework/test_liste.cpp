// The instrument catalogue and tatoos, the instrument list and the command interpreter.
#include "framework/liste.h"
#include "instruments/catalogue.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/bidon_pilote.h"
#include "framework/voies.h"
#include "platform/text.h"
#include "tests/support/plugin_essai.h"

namespace {

// ---- catalogue ----------------------------------------------------------------------------

struct LigneAttendue {
    const char *libelle;
    const char *type_apareil;
};

constexpr const char *kSep = "------------------";

const LigneAttendue kCatalogue[kLignesCatalogue] = {
    {"Fr\xE9quencem\xE8tre", "5313x_1v.dll"},
    {"Fr\xE9quencem\xE8tre 2 Voies", "5313x_2v.dll"},
    {"Fr\xE9quencem\xE8tre Switch\xE9", "5313x_sw.dll"},
    {"Powermeter", "4419.dll"},
    {"Powermeter Switch\xE9", "4419_sw.dll"},
    {"Carte VEXO", "vexo.dll"},
    {"Multim\xE8tre HP34401", "multimetre.dll"},
    {kSep, ""},
    {"Valve EFD", "efd.dll"},
    {"Enceinte thermique", "therm.dll"},
    {"Pilote bidon", "pilote_bidon.dll"},
    {kSep, ""},
    {"Calculatrice", "Calculatrice.dll"},
    {"Reboucleur", "reboucleur.dll"},
    {"D\xE9tecteur d'extremum", "extremum.dll"},
    {"Calcul de statistiques", "stddev.dll"},
    {kSep, ""},
    {"Tektronix TDS 3052", "tektro3052.dll"},
    {"HP 4194 (bodem\xE8tre)", "bode_hp4194.dll"},
    {"Anritsu MS4623B", "Analyseur_reseau.dll"},
    {kSep, ""},
    {"Fitter de courbes", "fitter.dll"},
    {kSep, ""},
    {"Regul Acoustic", "Regul_Acoustic.dll"},
    {"Pousse Seringue", "Pousse_Seringue.dll"},
    {"Pompe Ismatec", "Pompe_Ismatec.dll"},
    {"Electrovanne", "Electrovanne.dll"},
    {"GBF HP3312A", "GBF_HP3312A.dll"},
    {"HP53131 - phase", "HP53131_phase.dll"},
    {"DGM (retour infos)", "DGM110.dll"},
};

TEST(Catalogue, RowsInOrderWithTheirLabelsAndStoredKeys) {
    std::set<std::string> cles;
    int types = 0;
    for (int i = 0; i < kLignesCatalogue; ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const ligne_catalogue &ligne = catalogue_instru[i];
        EXPECT_STREQ(ligne.libelle, kCatalogue[i].libelle);
        EXPECT_STREQ(ligne.type_apareil, kCatalogue[i].type_apareil);
        if (kCatalogue[i].type_apareil[0] == '\0') {
            EXPECT_EQ(ligne.table, nullptr);  // a separator never makes an instrument
        } else {
            ++types;
            EXPECT_TRUE(cles.insert(ligne.type_apareil).second) << "key given twice";
        }
    }
    EXPECT_EQ(types, 25);
    EXPECT_EQ(catalogue_instru[10].table, &pilote_bidon);
}

TEST(Catalogue, KeysThatMakeNoInstrument) {
    const char *const cles[] = {
        nullptr, "", kSep,
        "PILOTE_BIDON.DLL", "Pilote_bidon.dll",  // the key is compared case included
        "pilote_bidon.dll ", " pilote_bidon.dll", "pilote_bidon", "pilote_bidon.dl",
        "Pilote bidon",                          // the label is not a key
        "inconnu.dll",
    };
    for (const char *cle : cles) {
        SCOPED_TRACE(cle ? cle : "(null)");
        EXPECT_EQ(Nouvel_instrument(cle), nullptr);
    }
    // A type whose plugin is not built into the program yet makes no instrument either.
    for (const ligne_catalogue &ligne : catalogue_instru) {
        if (ligne.table == nullptr) {
            EXPECT_EQ(Nouvel_instrument(ligne.type_apareil), nullptr) << ligne.type_apareil;
        }
    }
}

TEST(Catalogue, NewInstanceCarriesTheCoreServices) {
    PInstrument *a = Nouvel_instrument("pilote_bidon.dll");
    PInstrument *b = Nouvel_instrument("pilote_bidon.dll");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (PInstrument *i : {a, b}) {
        EXPECT_NE(i, &pilote_bidon);
        EXPECT_NE(i->structure, nullptr);
        EXPECT_EQ(i->nouveau, pilote_bidon.nouveau);
        EXPECT_EQ(i->gestion_lock, &gestion_lock);
        EXPECT_EQ(i->init_liste_voie, &init_liste_voie);
        EXPECT_EQ(i->get_buffer_from_tatoo, &get_buffer_from_tatoo);
        EXPECT_EQ(i->init_liste_voie2D, &init_liste_voie2D);
        EXPECT_EQ(i->get_buffer2D_from_tatoo, &get_buffer2D_from_tatoo);
    }
    EXPECT_NE(a, b);
    EXPECT_NE(a->structure, b->structure);
    // The global table stays a template: its core-service fields are never written.
    EXPECT_EQ(pilote_bidon.gestion_lock, nullptr);
    EXPECT_EQ(pilote_bidon.init_liste_voie, nullptr);
    EXPECT_EQ(pilote_bidon.get_buffer_from_tatoo, nullptr);
    EXPECT_EQ(pilote_bidon.init_liste_voie2D, nullptr);
    EXPECT_EQ(pilote_bidon.get_buffer2D_from_tatoo, nullptr);
    a->liberer(a);
    b->liberer(b);
}

TEST(Catalogue, Tatoos) {
    init_tatoo(0);
    EXPECT_EQ(get_tatoo(), 0);
    EXPECT_EQ(get_tatoo(), 1);
    EXPECT_EQ(status_tatoo(), 2);
    EXPECT_EQ(status_tatoo(), 2);  // reading does not draw
    EXPECT_EQ(get_tatoo(), 2);
    init_tatoo(17);  // as a settings load does
    EXPECT_EQ(status_tatoo(), 17);
    EXPECT_EQ(get_tatoo(), 17);
    EXPECT_EQ(get_tatoo(), 18);
    EXPECT_EQ(status_tatoo(), 19);
    init_tatoo(INT_MAX);  // a counter left at its top by a file wraps instead of overflowing
    EXPECT_EQ(get_tatoo(), INT_MAX);
    EXPECT_EQ(status_tatoo(), INT_MIN);
    init_tatoo(0);
}

// ---- instrument list ----------------------------------------------------------------------

class ListeInstru : public testing::Test {
protected:
    void SetUp() override {
        JournalEssai().clear();
        vivantes_avant = InstancesEssaiVivantes();
    }
    void TearDown() override {
        liste = Effacer_liste_inst(liste);
        EXPECT_EQ(InstancesEssaiVivantes(), vivantes_avant) << "an instance was freed twice or never";
    }

    PInstrument *Creer(const std::string &nom, bool avec_stop = false, bool avec_execute = false) {
        ConfigEssai c;
        c.nom = nom;
        c.avec_stop = avec_stop;
        c.avec_execute = avec_execute;
        return CreerEssai(c);
    }
    // Appends instruments named after `noms`, with tatoos 0, 1, 2...
    void Remplir(const std::vector<std::string> &noms) {
        for (const std::string &nom : noms) liste = Inserer_instru(liste, "essai.dll", Creer(nom), Longueur());
        JournalEssai().clear();
    }
    int Longueur() const {
        int n = 0;
        for (const fichei *f = liste; f; f = f->suivant) ++n;
        return n;
    }
    fichei *Noeud(int index) const {
        fichei *f = liste;
        while (index-- > 0) f = f->suivant;
        return f;
    }
    std::vector<std::string> Noms() const {
        std::vector<std::string> noms;
        for (const fichei *f = liste; f; f = f->suivant) noms.push_back(Essai(f->plugin).config.nom);
        return noms;
    }

    fichei *liste = nullptr;
    int vivantes_avant = 0;
};

TEST_F(ListeInstru, AppendsAtTheTail) {
    PInstrument *a = Creer("A");
    liste = Inserer_instru(liste, "pilote_bidon.dll", a, 7);
    ASSERT_NE(liste, nullptr);
    EXPECT_STREQ(liste->Type_Apareil, "pilote_bidon.dll");
    EXPECT_EQ(liste->plugin, a);
    EXPECT_EQ(liste->tatoo, 7);
    EXPECT_EQ(liste->suivant, nullptr);
    EXPECT_EQ(liste->fichier, nullptr);

    fichei *tete = liste;
    for (const char *nom : {"B", "C", "D"}) EXPECT_EQ(liste = Inserer_instru(liste, "x.dll", Creer(nom), 8), tete);
    EXPECT_EQ(Noms(), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(Noeud(3)->suivant, nullptr);
    EXPECT_TRUE(JournalEssai().empty()) << "listing calls no operation";
}

TEST_F(ListeInstru, TypeKeyIsCutToItsField) {
    const std::string longue(400, 'k');
    liste = Inserer_instru(liste, longue.c_str(), Creer("A"), 0);
    EXPECT_EQ(std::string(liste->Type_Apareil), longue.substr(0, 254));
}

TEST_F(ListeInstru, DeleteOne) {
    struct Cas {
        std::vector<std::string> noms;
        int supprime;
        std::vector<std::string> restent;
    };
    const Cas cas[] = {
        {{"A"}, 0, {}},
        {{"A", "B"}, 0, {"B"}},
        {{"A", "B"}, 1, {"A"}},
        {{"A", "B", "C"}, 1, {"A", "C"}},
        {{"A", "B", "C"}, 2, {"A", "B"}},
        {{"A", "A", "A"}, 1, {"A", "A"}},  // same names: the nodes stay independent
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(std::to_string(c.noms.size()) + " nodes, delete " + std::to_string(c.supprime));
        Remplir(c.noms);
        fichei *noeud = Noeud(c.supprime);
        // The head afterwards: the second node when the head goes, else the same head.
        fichei *tete_attendue = c.supprime == 0 ? liste->suivant : liste;
        const std::string nom = Essai(noeud->plugin).config.nom;
        const int vivantes = InstancesEssaiVivantes();

        liste = Supprimer_instru(liste, noeud);

        EXPECT_EQ(liste, tete_attendue);
        EXPECT_EQ(Noms(), c.restent);
        EXPECT_EQ(JournalEssai(), std::vector<std::string>{"liberer " + nom});
        EXPECT_EQ(InstancesEssaiVivantes(), vivantes - 1);
        if (liste) {
            EXPECT_EQ(Noeud(Longueur() - 1)->suivant, nullptr);
        }
        liste = Effacer_liste_inst(liste);
    }
}

TEST_F(ListeInstru, DeleteHeadReturnsSecondNode) {
    Remplir({"A", "B", "C"});
    fichei *deuxieme = Noeud(1);
    liste = Supprimer_instru(liste, liste);
    EXPECT_EQ(liste, deuxieme);
    EXPECT_EQ(liste->tatoo, 1);
}

TEST_F(ListeInstru, DeleteNodeNotInListChangesNothing) {
    Remplir({"A", "B"});
    fichei *tete = liste;
    fichei etranger{};
    EXPECT_EQ(Supprimer_instru(liste, &etranger), tete);
    EXPECT_EQ(Supprimer_instru(liste, nullptr), tete);
    EXPECT_EQ(Supprimer_instru(nullptr, tete), nullptr);
    EXPECT_EQ(Noms(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(JournalEssai().empty());
}

TEST_F(ListeInstru, ClearFreesEachInstanceOnceInOrder) {
    EXPECT_EQ(Effacer_liste_inst(nullptr), nullptr);
    Remplir({"A", "B", "C"});
    EXPECT_EQ(InstancesEssaiVivantes(), vivantes_avant + 3);
    liste = Effacer_liste_inst(liste);
    EXPECT_EQ(liste, nullptr);
    EXPECT_EQ(JournalEssai(), (std::vector<std::string>{"liberer A", "liberer B", "liberer C"}));
    EXPECT_EQ(InstancesEssaiVivantes(), vivantes_avant);
}

TEST_F(ListeInstru, StopInListOrderSkippingThoseWithout) {
    arret_instru(nullptr);
    liste = Inserer_instru(liste, "x.dll", Creer("A", true), 0);
    liste = Inserer_instru(liste, "x.dll", Creer("B", false), 1);
    liste = Inserer_instru(liste, "x.dll", Creer("C", true), 2);
    arret_instru(liste);
    EXPECT_EQ(JournalEssai(), (std::vector<std::string>{"stop A", "stop C"}));
    EXPECT_EQ(Noms(), (std::vector<std::string>{"A", "B", "C"}));
}

// ---- variable substitution ----------------------------------------------------------------

class Variables : public testing::Test {
protected:
    void SetUp() override {
        for (float &v : vars) v = 0.0f;
        vars['a' - 'a'] = 2.5f;
        vars['b' - 'a'] = 1.5f;
        vars['c' - 'a'] = -1.5f;
        vars['z' - 'a'] = 123456.75f;
    }
    std::string Substituer(const std::string &ligne) {
        char tampon[kLongueurLigne] = {};
        std::memcpy(tampon, ligne.data(), std::min(ligne.size(), sizeof tampon - 1));
        interpreter_variables(tampon, vars);
        return tampon;
    }
    float vars[kNombreVariables] = {};
};

TEST_F(Variables, Substitution) {
    struct Cas {
        const char *ligne;
        const char *attendu;
    };
    const Cas cas[] = {
        {"pas de variable %s %d", "pas de variable %s %d"},
        {"", ""},
        {"$a", "2.500000"},
        {"$A", "2.500000"},
        {"$z", "123456.750000"},
        {"$y", "0.000000"},
        {"$3a", "2.500000"},    // a width below 9 changes nothing
        {"$9a", "02.500000"},
        {"$9c", "-1.500000"},   // the sign counts in the width
        {"$9a $b", "02.500000 01.500000"},  // the width stays for the rest of the line
        {"$9a $0b", "02.500000 1.500000"},  // until another digit changes it
        {"$9# $a", "BADVAR# 02.500000"},    // a digit before a non-letter still sets it
        {"$$a", "BADVAR2.500000"},
        {"$#", "BADVAR#"},
        {"$5#", "BADVAR#"},
        {"$", "BADVAR"},
        {"fin $7", "fin BADVAR"},
        {"$12a", "BADVAR2a"},   // one digit at most
        {"$ a", "BADVAR a"},
        {"$\xE9t\xE9", "BADVAR\xE9t\xE9"},  // only ASCII letters name variables
        {"set a=$b+1", "set a=1.500000+1"},
        {"commande freq:F $a Hz", "commande freq:F 2.500000 Hz"},
        {"$a$b$c", "2.5000001.500000-1.500000"},
    };
    for (const Cas &c : cas) EXPECT_EQ(Substituer(c.ligne), c.attendu) << "line: " << c.ligne;
}

TEST_F(Variables, WidthStartsAgainAtEachCall) {
    EXPECT_EQ(Substituer("$9a"), "02.500000");
    EXPECT_EQ(Substituer("$a"), "2.500000");
}

TEST_F(Variables, NumbersPrintedAsTheFConversion) {
    const float valeurs[] = {0.0f, -0.0f, 1.0f, -2.25f, 1e-7f, 3.4e38f, -3.4e38f, 7.0f};
    for (const float v : valeurs) {
        vars[0] = v;
        for (const int largeur : {0, 9}) {
            char attendu[128];
            std::snprintf(attendu, sizeof attendu, "%0*f", largeur, static_cast<double>(v));
            EXPECT_EQ(Substituer("$" + std::to_string(largeur) + "a"), attendu) << v;
        }
    }
}

TEST_F(Variables, LongResultIsCutToTheLine) {
    // 100 variables of 8 characters each would make 800.
    std::string ligne;
    for (int i = 0; i < 100; ++i) ligne += "$a";
    std::string attendu;
    while (attendu.size() < 254) attendu += "2.500000";
    attendu.resize(254);

    char tampon[kLongueurLigne + 64];
    std::memset(tampon, '#', sizeof tampon);
    std::memcpy(tampon, ligne.c_str(), ligne.size() + 1);
    interpreter_variables(tampon, vars);
    EXPECT_EQ(std::string(tampon), attendu);
    for (std::size_t i = kLongueurLigne; i < sizeof tampon; ++i) ASSERT_EQ(tampon[i], '#') << "written at " << i;

    // A line handed over after blanks the caller skipped has less room left.
    std::memset(tampon, '#', sizeof tampon);
    std::memset(tampon, ' ', 10);
    std::memcpy(tampon + 10, ligne.c_str(), ligne.size() + 1);
    interpreter_variables(tampon + 10, vars, kLongueurLigne - 10);
    EXPECT_EQ(std::string(tampon + 10), attendu.substr(0, 244));
    for (std::size_t i = kLongueurLigne; i < sizeof tampon; ++i) ASSERT_EQ(tampon[i], '#') << "written at " << i;
}

TEST_F(Variables, BadVarAtTheEndOfAFullLine) {
    std::string ligne(250, 'x');
    ligne += "$7$$";  // 254 characters
    char tampon[kLongueurLigne + 16];
    std::memset(tampon, '#', sizeof tampon);
    std::memcpy(tampon, ligne.c_str(), ligne.size() + 1);
    interpreter_variables(tampon, vars);
    EXPECT_EQ(std::string(tampon), std::string(250, 'x') + "BADV");
    for (std::size_t i = kLongueurLigne; i < sizeof tampon; ++i) ASSERT_EQ(tampon[i], '#');
}

// ---- command dispatch ---------------------------------------------------------------------

struct InstruCas {
    std::string nom;
    bool execute = true;
    bool sans_nom = false;  // no get_nom_instru
};

class Commande : public ListeInstru {
protected:
    void Lister(const std::vector<InstruCas> &instrus) {
        liste = Effacer_liste_inst(liste);
        instances.clear();
        for (const InstruCas &i : instrus) {
            PInstrument *p = Creer(i.nom, false, i.execute);
            if (i.sans_nom) p->get_nom_instru = nullptr;
            instances.push_back(p);
            liste = Inserer_instru(liste, "essai.dll", p, 0);
        }
    }
    std::string Commander(const std::string &texte, std::size_t taille_message = kLongueurLigne) {
        char commande[kLongueurLigne] = {};
        std::memcpy(commande, texte.data(), std::min(texte.size(), sizeof commande - 1));
        char message[kLongueurLigne + 32];
        std::memset(message, '#', sizeof message);
        commander_appareil(commande, message, liste, taille_message);
        for (std::size_t i = taille_message; i < sizeof message; ++i)
            EXPECT_EQ(message[i], '#') << "message written at " << i;
        texte_apres = commande;
        return message;
    }
    std::vector<std::vector<std::string>> Recues() const {
        std::vector<std::vector<std::string>> r;
        for (PInstrument *p : instances) r.push_back(Essai(p).commandes);
        return r;
    }

    std::vector<PInstrument *> instances;
    std::string texte_apres;
};

std::string NonTrouve(const std::string &nom) {
    return "Commande impossible \"" + nom + "\" non trouv\xE9, v\xE9rifier le nom.";
}
std::string Envoyee(const std::string &nom, const std::string &ordre) {
    return "Commande de \"" + nom + "\" avec \"" + ordre + "\"";
}
std::string SansExecute(const std::string &nom) { return "Commande impossible (" + nom + ") non fonctionnel"; }

TEST_F(Commande, Dispatch) {
    using V = std::vector<std::string>;
    struct Cas {
        const char *titre;
        std::vector<InstruCas> instrus;
        std::string texte;
        std::string message;
        std::vector<V> recues;
    };
    const Cas cas[] = {
        {"blanks around the colon", {{"freq"}}, "freq : MES", Envoyee("freq", "MES"), {{"MES"}}},
        {"case ignored, trailing blanks kept", {{"freq"}}, "FREQ:   MES  ", Envoyee("FREQ", "MES  "), {{"MES  "}}},
        {"only the first colon splits", {{"freq"}}, "freq:a:b", Envoyee("freq", "a:b"), {{"a:b"}}},
        {"a tab before the colon stays in the name", {{"freq"}}, "freq\t:MES", NonTrouve("freq\t"), {{}}},
        {"a tab after the colon stays in the command", {{"freq"}}, "freq:\tMES", Envoyee("freq", "\tMES"), {{"\tMES"}}},
        {"leading blank of the name stays", {{"freq"}}, " freq:MES", NonTrouve(" freq"), {{}}},
        {"empty command", {{"freq"}}, "freq:", Envoyee("freq", ""), {{""}}},
        {"no colon", {{"freq"}}, "freq MES", NonTrouve("freq MES"), {{}}},
        {"empty list", {}, "freq:MES", NonTrouve("freq"), {}},
        {"every instrument of the name, in order",
         {{"freq"}, {"multi"}, {"Freq"}}, "fReQ:X", Envoyee("fReQ", "X"), {{"X"}, {}, {"X"}}},
        {"last match without execute",
         {{"freq"}, {"FREQ", false}}, "freq:X", SansExecute("freq"), {{"X"}, {}}},
        {"last match with execute",
         {{"freq", false}, {"freq"}}, "freq:X", Envoyee("freq", "X"), {{}, {"X"}}},
        {"without get_nom_instru never matches",
         {{"freq", true, true}, {"freq"}}, "freq:X", Envoyee("freq", "X"), {{}, {"X"}}},
        {"only get_nom_instru missing", {{"freq", true, true}}, "freq:X", NonTrouve("freq"), {{}}},
        {"blank name", {{""}, {"freq"}}, "  : X", Envoyee("", "X"), {{"X"}, {}}},
        {"name is not a prefix", {{"freq2"}}, "freq:X", NonTrouve("freq"), {{}}},
        {"only ASCII letters fold", {{"Fr\xE9q"}}, "FR\xC9Q:X", NonTrouve("FR\xC9Q"), {{}}},
        {"accented name, ASCII case", {{"Fr\xE9q"}}, "FR\xE9Q:X", Envoyee("FR\xE9Q", "X"), {{"X"}}},
        {"texts are not formats", {{"%s%n"}}, "%S%N:%d%n%s", Envoyee("%S%N", "%d%n%s"), {{"%d%n%s"}}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.titre);
        Lister(c.instrus);
        EXPECT_EQ(Commander(c.texte), c.message);
        EXPECT_EQ(Recues(), c.recues);
    }
}

TEST_F(Commande, NameEndsAtItsLastCharacterInTheText) {
    Lister({{"freq"}});
    Commander("freq  :MES");
    EXPECT_EQ(texte_apres, "freq");
}

TEST_F(Commande, LongMessageIsCut) {
    const std::string nom(39, 'n');
    const std::string ordre(200, 'o');
    Lister({{nom}});
    const std::string attendu = Envoyee(nom, ordre);
    ASSERT_GT(attendu.size(), 254u);
    EXPECT_EQ(Commander(nom + ":" + ordre), attendu.substr(0, 254));
    EXPECT_EQ(Recues(), (std::vector<std::vector<std::string>>{{ordre}}));  // the command goes whole
    EXPECT_EQ(Commander(nom + ":" + ordre, 20), attendu.substr(0, 19));

    // A long name that no instrument has.
    const std::string inconnu(250, 'i');
    EXPECT_EQ(Commander(inconnu + ":X"), NonTrouve(inconnu).substr(0, 254));
}

}  // namespace
