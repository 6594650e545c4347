// The save and load buttons of the main panel: the two files they write, what a load restores,
// and the damaged files and faulty plugins that a load refuses without changing anything.
#include "app/Interface.h"
#include "framework/bidon_pilote.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "settings/save.h"
#include "tests/support/banc_test.h"
#include "tests/support/plugin_essai.h"
#include "uir/Interface.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The 140-byte block of a "Pilote bidon": identifier, address, name, panel handle.
std::string BlocBidon(const std::string &nom, std::uint32_t adresse) {
    std::string nom_pilot = nom;
    nom_pilot.resize(128, '\0');
    return Le32(0) + Le32(adresse) + nom_pilot + Le32(0);
}

// The block that an instrument designates, as bytes.
std::string BlocDe(PInstrument *i) {
    void *debut = nullptr, *fin = nullptr;
    unsigned taille = 0;
    unsigned char drapeau = 255;
    i->get_memory(i, &debut, &fin, &taille, &drapeau);
    if (drapeau == 0) taille = static_cast<unsigned>(static_cast<char *>(fin) - static_cast<char *>(debut));
    return taille ? std::string(static_cast<const char *>(debut), taille) : std::string();
}

const std::string kGeneral =
    ";Fichier de sauvegarde des r\xE9glages g\xE9n\xE9raux.\r\n"
    "init_tatoo=7;\r\nnb_pts_graph=500;\r\nsous_ech_2D=1;\r\ndiv_mid=2;\r\ndiv_long=5;\r\n"
    "nb_graphes=3;\r\nmode_fichier=3;\r\nfrequence_ech=0.500000;\r\n";

// What the operator can see or the next action relies on.
struct Etat {
    double periode = 0;
    int points = 0, sous_ech = 0, mid = 0, long_terme = 0, graphes = 0, mode = 0;
    int compteur = 0;
    int nb_graphes_memorise = 0;
    std::vector<std::string> libelles;
    std::vector<std::tuple<std::string, int, std::string>> instruments;  // type key, tatoo, block
    bool operator==(const Etat &) const = default;
};

void PrintTo(const Etat &e, std::ostream *os) {
    *os << "{période " << e.periode << ", points " << e.points << ", sous-éch. " << e.sous_ech << ", mid "
        << e.mid << ", long " << e.long_terme << ", graphes " << e.graphes << " (" << e.nb_graphes_memorise
        << "), mode " << e.mode << ", compteur " << e.compteur << ", instruments [";
    for (const auto &[type, tatoo, bloc] : e.instruments) *os << type << " " << tatoo << " (" << bloc.size() << " o) ";
    *os << "]}";
}

class Reglages : public BancTest {
protected:
    void SetUp() override {
        BancTest::SetUp();
        if (HasFatalFailure()) return;
        init_tatoo(0);
        nb_graphs = 1;
    }
    void TearDown() override {
        // A test that pretends an acquisition runs started none: nothing to stop.
        acquisition_en_cours = 0;
        BancTest::TearDown();
    }

    std::string Chemin(const char *nom) const { return dossier.filePath(nom).toStdString(); }

    PInstrument *Ajouter(PInstrument *i, const char *type, int tatoo) {
        liste_instru = Inserer_instru(liste_instru, type, i, tatoo);
        char nom[kLongueurNomInstru] = "";
        i->get_nom_instru(i, nom);
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
        return i;
    }
    PInstrument *AjouterBidon(int tatoo, const char *nom = "Pilote bidon", std::int32_t adresse = 45) {
        PInstrument *i = Nouvel_instrument("pilote_bidon.dll");
        i->set_nom_instru(i, nom);
        void *debut = nullptr, *fin = nullptr;
        unsigned taille = 0;
        unsigned char drapeau = 255;
        i->get_memory(i, &debut, &fin, &taille, &drapeau);
        std::memcpy(static_cast<char *>(debut) + 4, &adresse, 4);
        return Ajouter(i, "pilote_bidon.dll", tatoo);
    }
    PInstrument *AjouterEssai(const ConfigEssai &c, int tatoo) { return Ajouter(CreerEssai(c), "essai.dll", tatoo); }
    void Vider() {
        ClearListCtrl(panel_instru, P_Instru_LISTBOX_Liste);
        liste_instru = Effacer_liste_inst(liste_instru);
    }

    void Regler(double periode, int points, int sous_ech, int mid, int long_terme, int graphes, int mode) {
        SetCtrlVal(panel_commande, P_Commande_N_TEch, periode);
        SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, points);
        SetCtrlVal(panel_commande, P_Commande_N_sous_ech_2D, sous_ech);
        SetCtrlVal(panel_graphs, P_Graphs_N_mid, mid);
        SetCtrlVal(panel_graphs, P_Graphs_N_long, long_terme);
        SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, graphes);
        ASSERT_EQ(SetCtrlVal(panel_commande, P_Commande_Mode_Fichier, mode), 0);
    }

    Etat Observer() {
        Etat e;
        GetCtrlVal(panel_commande, P_Commande_N_TEch, &e.periode);
        GetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, &e.points);
        GetCtrlVal(panel_commande, P_Commande_N_sous_ech_2D, &e.sous_ech);
        GetCtrlVal(panel_graphs, P_Graphs_N_mid, &e.mid);
        GetCtrlVal(panel_graphs, P_Graphs_N_long, &e.long_terme);
        GetCtrlVal(panel_graphs, P_Graphs_NUMERIC, &e.graphes);
        GetCtrlVal(panel_commande, P_Commande_Mode_Fichier, &e.mode);
        e.compteur = status_tatoo();
        e.nb_graphes_memorise = nb_graphs;
        int n = 0;
        GetNumListItems(panel_instru, P_Instru_LISTBOX_Liste, &n);
        for (int k = 0; k < n; ++k) {
            char t[256] = "";
            GetLabelFromIndex(panel_instru, P_Instru_LISTBOX_Liste, k, t, sizeof t);
            e.libelles.emplace_back(t);
        }
        for (fichei *f = liste_instru; f; f = f->suivant) e.instruments.emplace_back(f->Type_Apareil, f->tatoo, BlocDe(f->plugin));
        return e;
    }
    std::vector<PInstrument *> Instances() const {
        std::vector<PInstrument *> v;
        for (fichei *f = liste_instru; f; f = f->suivant) v.push_back(f->plugin);
        return v;
    }

    // Each command with its file chooser answered, then `messages` message pop-ups expected.
    static int Sauver(const std::string &chemin, int messages = 0) {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, chemin);
        for (int k = 0; k < messages; ++k) ui_test::Repondre(ui_test::Popup::Message);
        return Prog_Sauvegarde(panel_commande, P_Commande_PICTUREBUTTON_Save, EVENT_COMMIT, nullptr, 0, 0);
    }
    static int Charger(const std::string &chemin, int messages = 0) {
        ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, chemin);
        for (int k = 0; k < messages; ++k) ui_test::Repondre(ui_test::Popup::Message);
        return Prog_Charger_Fichier(panel_commande, P_Commande_PICTUREBUTTON_Load, EVENT_COMMIT, nullptr, 0, 0);
    }
    std::vector<std::string> Fichiers() const {
        std::vector<std::string> v;
        for (const QString &f : QDir(dossier.path()).entryList(QDir::Files, QDir::Name)) v.push_back(f.toStdString());
        return v;
    }
};

ConfigEssai EssaiAvecBloc(std::vector<unsigned char> bloc, int drapeau) {
    ConfigEssai c;
    c.nom = "Essai";
    c.bloc = std::move(bloc);
    c.drapeau_memoire = drapeau;
    return c;
}

// The bytes of both files for Pilote bidon and test instruments, blocks holding 0x0A and
// 0x0D 0x0A, a block size of 10 and both kinds of get_memory answer.
TEST_F(Reglages, OctetsDesDeuxFichiers) {
    AjouterBidon(2);
    AjouterEssai(EssaiAvecBloc({0x00, 0x01, 0x0A, 0x02, 0x0D, 0x0A, 0x0D, 0x03, 'e', 's', 's', 'a', 'i', 0x0A, 0x00, 0xFF}, 1), 5);
    AjouterEssai(EssaiAvecBloc(std::vector<unsigned char>(10, 0x0A), 0), 6);
    AjouterEssai(EssaiAvecBloc({}, 1), 0);
    Regler(0.5, 500, 1, 2, 5, 3, 3);
    init_tatoo(7);
    const Etat avant = Observer();

    ASSERT_EQ(Sauver(Chemin("banc.sav")), 0);
    const std::string sav_attendu =
        "#pilote_bidon.dll 2#essai.dll 5#essai.dll 6#essai.dll 0#\r\n" + Le32(4) + Le32(140) + Le32(16) +
        std::string("\x0D\x0A\x00\x00\x00", 5) + Le32(0) + BlocBidon("Pilote bidon", 45) +
        std::string("\x00\x01\x0D\x0A\x02\x0D\x0D\x0A\x0D\x03" "essai\x0D\x0A\x00\xFF", 19) +
        "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";  // ten 0x0A
    EXPECT_EQ(LireFichier(Chemin("banc.sav")), sav_attendu);
    EXPECT_EQ(LireFichier(Chemin("banc.sav.gen")), kGeneral);
    // Both files, named after the chosen path, and nothing else beside them.
    EXPECT_EQ(Fichiers(), (std::vector<std::string>{"banc.sav", "banc.sav.gen"}));
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Choisir le fichier d'enregistrement");
    // Saving changes nothing.
    EXPECT_EQ(Observer(), avant);
}

TEST_F(Reglages, AllerRetour) {
    AjouterBidon(4, "Bidon A", 12);
    AjouterBidon(1, "G\xE9n\xE9rateur", 0x0A0D0A0D);  // block bytes 0D 0A 0D 0A, name in Windows-1252
    AjouterBidon(7, "Bidon C", 0x0D0A);
    Regler(0.25, 1200, 4, 3, 8, 5, 1);
    init_tatoo(9);
    const Etat sauve = Observer();
    ASSERT_EQ(Sauver(Chemin("banc.sav")), 0);

    // Another bench meanwhile, with an instrument that the load must free.
    Vider();
    AjouterEssai(EssaiAvecBloc({1, 2, 3}, 1), 0);
    Regler(3.0, 100, 1, 1, 1, 0, 0);
    init_tatoo(0);
    nb_graphs = 1;
    ASSERT_NE(Observer(), sauve);

    ui_test::Effacer();
    ASSERT_EQ(Charger(Chemin("banc.sav")), 0);
    EXPECT_EQ(InstancesEssaiVivantes(), 0);
    const Etat charge = Observer();
    Etat attendu = sauve;
    attendu.nb_graphes_memorise = 5;  // the number of graph windows is remembered as loaded
    EXPECT_EQ(charge, attendu);
    EXPECT_EQ(charge.libelles, (std::vector<std::string>{"Bidon A", "G\xE9n\xE9rateur", "Bidon C"}));
    EXPECT_EQ(nb_graphs, 5);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].titre, "Choisir le fichier à charger"_w);
    EXPECT_EQ(get_tatoo(), 9);  // the next instrument added
}

// The counter goes on from its saved value, and never below a loaded tatoo + 1.
TEST_F(Reglages, CompteurDeTatoos) {
    struct Cas {
        int compteur;
        std::vector<int> tatoos;
        int attendu;
    };
    const std::vector<Cas> cas = {{7, {2, 5}, 7}, {0, {2, 5}, 6}, {3, {}, 3}, {0, {9, -4, 3}, 10}};
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.compteur);
        Vider();
        for (const int t : c.tatoos) AjouterBidon(t);
        init_tatoo(c.compteur);
        ASSERT_EQ(Sauver(Chemin("t.sav")), 0);
        init_tatoo(100);
        AjouterBidon(100);
        ASSERT_EQ(Charger(Chemin("t.sav")), 0);
        EXPECT_EQ(status_tatoo(), c.attendu);
        std::vector<int> lus;
        for (fichei *f = liste_instru; f; f = f->suivant) lus.push_back(f->tatoo);
        EXPECT_EQ(lus, c.tatoos);
    }
}

TEST_F(Reglages, ListeVide) {
    Regler(0.5, 500, 1, 2, 5, 3, 3);
    init_tatoo(7);
    ASSERT_EQ(Sauver(Chemin("vide.sav")), 0);
    EXPECT_EQ(LireFichier(Chemin("vide.sav")), std::string("#\r\n\0\0\0\0", 7));
    EXPECT_EQ(LireFichier(Chemin("vide.sav.gen")), kGeneral);

    AjouterBidon(0);
    AjouterBidon(1);
    Regler(1.0, 50, 2, 2, 2, 1, 0);
    ASSERT_EQ(Charger(Chemin("vide.sav")), 0);
    const Etat e = Observer();
    EXPECT_TRUE(e.instruments.empty());
    EXPECT_TRUE(e.libelles.empty());
    EXPECT_EQ(e.periode, 0.5);
    EXPECT_EQ(e.points, 500);
    EXPECT_EQ(e.graphes, 3);
    EXPECT_EQ(e.mode, 3);
    EXPECT_EQ(e.compteur, 7);
}

TEST_F(Reglages, ParLesBoutonsDuPanneau) {
    AjouterBidon(3, "Par le bouton");
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NEW_FILE_SELECTED, Chemin("b.sav"));
    ASSERT_EQ(ui_test::Cliquer(panel_commande, P_Commande_PICTUREBUTTON_Save), 0);
    ASSERT_TRUE(QFile::exists(dossier.filePath("b.sav")));
    Vider();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, Chemin("b.sav"));
    ASSERT_EQ(ui_test::Cliquer(panel_commande, P_Commande_PICTUREBUTTON_Load), 0);
    EXPECT_EQ(Observer().libelles, std::vector<std::string>{"Par le bouton"});
}

TEST_F(Reglages, AnnulationEtAutresEvenements) {
    AjouterBidon(1);
    const Etat avant = Observer();
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NO_FILE_SELECTED);
    EXPECT_EQ(Prog_Sauvegarde(panel_commande, P_Commande_PICTUREBUTTON_Save, EVENT_COMMIT, nullptr, 0, 0), -1);
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_NO_FILE_SELECTED);
    EXPECT_EQ(Prog_Charger_Fichier(panel_commande, P_Commande_PICTUREBUTTON_Load, EVENT_COMMIT, nullptr, 0, 0), -1);
    // Other events do nothing at all (a pop-up would fail the test).
    EXPECT_EQ(Prog_Sauvegarde(panel_commande, P_Commande_PICTUREBUTTON_Save, EVENT_VAL_CHANGED, nullptr, 0, 0), 0);
    EXPECT_EQ(Prog_Charger_Fichier(panel_commande, P_Commande_PICTUREBUTTON_Load, EVENT_LEFT_DOUBLE_CLICK, nullptr, 0, 0), 0);
    EXPECT_EQ(Observer(), avant);
    EXPECT_TRUE(Fichiers().empty());
}

// A plugin whose get_memory answer is unusable is left out of the file with a message; the
// others are saved and load back.
TEST_F(Reglages, ReponsesGetMemoryFautives) {
    using GetMemory = void (*)(PInstrument *, void **, void **, unsigned *, unsigned char *);
    static unsigned char zone[8];
    struct Cas {
        const char *nom;
        int drapeau;          // answered by the test instrument itself, or
        GetMemory reponse;    // an answer of its own
    };
    const std::vector<Cas> cas = {
        {"drapeau 7", 7, nullptr},
        {"rien de r\xE9pondu", 255, nullptr},
        {"fin avant le d\xE9" "but", 0, [](PInstrument *, void **d, void **f, unsigned *, unsigned char *o) {
             *d = zone + 4, *f = zone, *o = 0;
         }},
        {"taille sans d\xE9" "but", 1, [](PInstrument *, void **d, void **, unsigned *t, unsigned char *o) {
             *d = nullptr, *t = 8, *o = 1;
         }},
        {"taille d\xE9mesur\xE9" "e", 1, [](PInstrument *, void **d, void **, unsigned *t, unsigned char *o) {
             *d = zone, *t = 1u << 30, *o = 1;
         }},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Vider();
        AjouterBidon(1, "Premier");
        PInstrument *fautif = AjouterEssai(EssaiAvecBloc({1, 2, 3, 4}, c.drapeau), 2);
        if (c.reponse) fautif->get_memory = c.reponse;
        AjouterBidon(3, "Dernier");
        ui_test::Effacer();
        ASSERT_EQ(Sauver(Chemin("f.sav"), 1), 0);
        const auto vus = ui_test::Vus();
        ASSERT_EQ(vus.size(), 2u);
        EXPECT_EQ(vus[1].titre, "Erreur");
        EXPECT_EQ(vus[1].message, "Un plugin n'a pas correctement répondu au get_memory()."_w);

        ASSERT_EQ(Charger(Chemin("f.sav")), 0);
        const Etat e = Observer();
        EXPECT_EQ(e.libelles, (std::vector<std::string>{"Premier", "Dernier"}));
        ASSERT_EQ(e.instruments.size(), 2u);
        EXPECT_EQ(std::get<1>(e.instruments[0]), 1);
        EXPECT_EQ(std::get<1>(e.instruments[1]), 3);
    }
}

// A settings file as the Windows program writes it: "#<key> <tatoo>" entries, the count, the
// sizes, then the blocks.
std::string Sav(const std::vector<std::pair<std::string, int>> &entrees, std::uint32_t compte,
                const std::vector<std::string> &blocs) {
    std::string c;
    for (const auto &[type, tatoo] : entrees) c += "#" + type + " " + std::to_string(tatoo);
    c += "#\n" + Le32(compte);
    for (const auto &b : blocs) c += Le32(static_cast<std::uint32_t>(b.size()));
    for (const auto &b : blocs) c += b;
    return stockage::VersStockage(c);
}

// A settings file that is itself damaged is refused whole with its reason; the bench stays as
// it was.
TEST_F(Reglages, FichiersEndommagesRefuses) {
    const std::string b1 = BlocBidon("Nouveau 1", 10), b2 = BlocBidon("Nouveau 2", 20);
    const std::string sav = Sav({{"pilote_bidon.dll", 1}, {"pilote_bidon.dll", 2}}, 2, {b1, b2});
    struct Cas {
        const char *nom;
        std::string sav;  // empty: no file
        std::string gen;  // empty: no file
        const char *titre;
        std::string raison;
    };
    const std::vector<Cas> cas = {
        {"fichier absent", "", kGeneral, "Attention", "Impossible d'ouvrir le fichier "},
        {"tronqu\xE9", sav.substr(0, sav.size() - 5), kGeneral, "Attention", "fichier tronqu\xE9"},
        {"octets en trop", sav + "x", kGeneral, "Attention", "donn\xE9" "es en trop"},
        {"en-t\xEAte illisible", Sav({{"pilote_bidon.dll", 1}, {"pilote_bidon.dll x", 2}}, 2, {b1, b2}), kGeneral,
         "Attention", "illisible n\xB0 2"},
        {"compte faux", Sav({{"pilote_bidon.dll", 1}, {"pilote_bidon.dll", 2}}, 3, {b1, b2}), kGeneral,
         "Attention", "nombre de blocs incorrect"},
        {"taille n\xE9gative", Sav({{"pilote_bidon.dll", 1}, {"pilote_bidon.dll", 2}}, 2, {b1, b2}).replace(
                                    std::string("#\r\n").size() + sav.find("#\r\n") + 4, 4, Le32(0xFFFFFFFF)),
         kGeneral, "Attention", "taille de bloc n\xE9gative"},
    };

    AjouterBidon(3, "Avant 1", 1);
    AjouterBidon(8, "Avant 2", 2);
    Regler(2.0, 300, 4, 3, 6, 2, 1);
    init_tatoo(11);
    nb_graphs = 2;
    const Etat avant = Observer();
    const std::vector<PInstrument *> instances = Instances();
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        const std::string chemin = Chemin("abime.sav");
        QFile::remove(QString::fromStdString(chemin));
        QFile::remove(QString::fromStdString(chemin + ".gen"));
        if (!c.sav.empty()) EcrireFichier(chemin, c.sav);
        if (!c.gen.empty()) EcrireFichier(chemin + ".gen", c.gen);
        ui_test::Effacer();
        EXPECT_EQ(Charger(chemin, 1), -1);
        const auto vus = ui_test::Vus();
        ASSERT_EQ(vus.size(), 2u);
        EXPECT_EQ(vus[1].titre, c.titre);
        EXPECT_NE(vus[1].message.find(c.raison), std::string::npos) << vus[1].message;
        EXPECT_NE(vus[1].message.find("Chargement annulé"_w), std::string::npos);
        EXPECT_EQ(Observer(), avant);
        EXPECT_EQ(Instances(), instances);
    }
    // The same files made whole load.
    EcrireFichier(Chemin("entier.sav"), sav);
    EcrireFichier(Chemin("entier.sav.gen"), kGeneral);
    ASSERT_EQ(Charger(Chemin("entier.sav")), 0);
    EXPECT_EQ(Observer().libelles, (std::vector<std::string>{"Nouveau 1", "Nouveau 2"}));
}

// An entry whose type has no plugin is left out, and one whose block does not fit its new
// instrument keeps that instrument's defaults: each is said on the status list, and every other
// instrument gets its own block.
TEST_F(Reglages, EntreesLaisseesDeCoteSansDecalerLesAutres) {
    const std::string b1 = BlocBidon("Nouveau 1", 10), b2 = BlocBidon("Nouveau 2", 20), b3 = BlocBidon("Nouveau 3", 30);
    const std::string inconnu = std::string("\x0A\x0D\x0A bloc d'un type inconnu\x0A", 27);
    PInstrument *neuf = Nouvel_instrument("pilote_bidon.dll");
    const std::string defaut = BlocDe(neuf);
    neuf->liberer(neuf);
    EcrireFichier(Chemin("banc.sav"), Sav({{"pilote_bidon.dll", 1}, {"inconnu.dll", 5}, {"pilote_bidon.dll", 2},
                                           {"pilote_bidon.dll", 8}, {"Pilote_bidon.dll", 9}, {"pilote_bidon.dll", 3}},
                                          6, {b1, inconnu, b2, b3.substr(0, 100), b1, b3}));
    EcrireFichier(Chemin("banc.sav.gen"), kGeneral);
    AjouterBidon(4, "Avant");
    ClearListCtrl(panel_commande, P_Commande_STATUS);
    ASSERT_EQ(Charger(Chemin("banc.sav")), 0);
    const Etat e = Observer();
    EXPECT_EQ(e.libelles, (std::vector<std::string>{"Nouveau 1", "Nouveau 2", "Pilote bidon", "Nouveau 3"}));
    EXPECT_EQ(e.instruments, (std::vector<std::tuple<std::string, int, std::string>>{
                                 {"pilote_bidon.dll", 1, b1},
                                 {"pilote_bidon.dll", 2, b2},
                                 {"pilote_bidon.dll", 8, defaut},
                                 {"pilote_bidon.dll", 3, b3}}));
    EXPECT_EQ(e.compteur, 9);  // above the loaded tatoos, the saved counter being 7
    EXPECT_EQ(e.periode, 0.5);
    EXPECT_EQ(e.mode, 3);
    EXPECT_EQ(Statuts(), (std::vector<std::string>{
                             "Chargement : entrée n° 2 (inconnu.dll, tatoo 5) laissée de côté, type d'instrument "
                             "inconnu ou non supporté"_w,
                             "Chargement : entrée n° 4 (pilote_bidon.dll, tatoo 8) gardée avec ses réglages par "
                             "défaut, ses réglages enregistrés font 100 octets au lieu de 140"_w,
                             "Chargement : entrée n° 5 (Pilote_bidon.dll, tatoo 9) laissée de côté, type d'instrument "
                             "inconnu ou non supporté"_w}));
}

// A bench of many instruments loads in a time in proportion to their number: four times as
// many entries take about four times as long, where a cost growing with the square of the count
// takes sixteen times as long. Every instrument comes back in order with its own block.
TEST_F(Reglages, GrandBancChargeEnTempsProportionnel) {
    const auto Fichier = [&](int n) {
        std::vector<std::pair<std::string, int>> entrees;
        std::vector<std::string> blocs;
        for (int k = 0; k < n; ++k) {
            entrees.emplace_back("pilote_bidon.dll", k);
            blocs.push_back(BlocBidon("Bidon " + std::to_string(k), static_cast<std::uint32_t>(k)));
        }
        const std::string chemin = Chemin(("banc" + std::to_string(n) + ".sav").c_str());
        EcrireFichier(chemin, Sav(entrees, static_cast<std::uint32_t>(n), blocs));
        EcrireFichier(chemin + ".gen", kGeneral);
        return chemin;
    };
    // Seconds of one load, the bench emptied before it.
    const auto Duree = [&](const std::string &chemin) {
        Vider();
        const auto debut = std::chrono::steady_clock::now();
        EXPECT_EQ(Charger(chemin), 0);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
    };
    constexpr int n = 10000;
    const std::string petit = Fichier(n), grand = Fichier(4 * n);
    // A busy machine can slow one load down: the comparison is made again, three times at most.
    double t = 0, t4 = 0;
    for (int essai = 0; essai < 3; ++essai) {
        t = Duree(petit);
        t4 = Duree(grand);
        if (t4 < 8 * t + 0.25) break;
    }
    EXPECT_LT(t4, 8 * t + 0.25) << n << " entrées : " << t << " s, " << 4 * n << " entrées : " << t4 << " s";

    int k = 0;
    for (fichei *f = liste_instru; f; f = f->suivant, ++k) {
        ASSERT_EQ(f->tatoo, k);
        ASSERT_EQ(BlocDe(f->plugin), BlocBidon("Bidon " + std::to_string(k), static_cast<std::uint32_t>(k)));
    }
    EXPECT_EQ(k, 4 * n);
    int libelles = 0;
    GetNumListItems(panel_instru, P_Instru_LISTBOX_Liste, &libelles);
    EXPECT_EQ(libelles, 4 * n);
    EXPECT_EQ(status_tatoo(), 4 * n);  // above the loaded tatoos
}

// A general settings file that is missing or gives no setting leaves the general settings and
// the counter as they were, and says so; the instruments load. One that lacks some settings
// sets each of them to 0, as the control it goes to takes it.
TEST_F(Reglages, FichierGeneralAbsentOuIncomplet) {
    AjouterBidon(2, "Sauv\xE9");
    Regler(0.5, 500, 1, 2, 5, 3, 3);
    init_tatoo(7);
    ASSERT_EQ(Sauver(Chemin("banc.sav")), 0);
    const std::string sav = LireFichier(Chemin("banc.sav"));

    struct Cas {
        const char *nom;
        std::string gen;  // empty: no file
        bool inchange;
    };
    const std::vector<Cas> cas = {
        {"absent", "", true},
        {"sans r\xE9glage", ";Fichier de sauvegarde\r\n", true},
        {"tronqu\xE9", kGeneral.substr(0, 100), false},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Vider();
        Regler(2.0, 300, 4, 3, 6, 2, 1);
        init_tatoo(11);
        nb_graphs = 2;
        const std::string chemin = Chemin("copie.sav");
        EcrireFichier(chemin, sav);
        QFile::remove(QString::fromStdString(chemin + ".gen"));
        if (!c.gen.empty()) EcrireFichier(chemin + ".gen", c.gen);
        ClearListCtrl(panel_commande, P_Commande_STATUS);
        ASSERT_EQ(Charger(chemin), 0);
        const Etat e = Observer();
        EXPECT_EQ(e.libelles, std::vector<std::string>{"Sauv\xE9"});
        if (c.inchange) {
            EXPECT_EQ(e.periode, 2.0);
            EXPECT_EQ(e.points, 300);
            EXPECT_EQ(e.sous_ech, 4);
            EXPECT_EQ(e.mid, 3);
            EXPECT_EQ(e.long_terme, 6);
            EXPECT_EQ(e.graphes, 2);
            EXPECT_EQ(e.nb_graphes_memorise, 2);
            EXPECT_EQ(e.mode, 1);
            EXPECT_EQ(e.compteur, 11);
            ASSERT_EQ(Statuts().size(), 1u);
            EXPECT_NE(Statuts()[0].find(" : réglages généraux et compteur de tatoos inchangés"_w), std::string::npos)
                << Statuts()[0];
        } else {
            // init_tatoo, nb_pts_graph and sous_ech_2D are there; the others are 0, as each
            // control takes it (its lowest value).
            EXPECT_EQ(e.points, 500);
            EXPECT_EQ(e.sous_ech, 1);
            EXPECT_EQ(e.periode, 0.01);
            EXPECT_EQ(e.mid, 1);
            EXPECT_EQ(e.long_terme, 1);
            EXPECT_EQ(e.graphes, 0);
            EXPECT_EQ(e.nb_graphes_memorise, 0);
            EXPECT_EQ(e.mode, 0);
            EXPECT_EQ(e.compteur, 7);
            EXPECT_TRUE(Statuts().empty());
        }
    }

    // A period written without its point is an integer entry: the period is 0, as the control
    // takes it; the counter that the file lacks is 0, raised above the loaded tatoo.
    std::string gen = kGeneral;
    gen.replace(gen.find("0.500000"), 8, "2");
    gen.erase(gen.find("init_tatoo=7;\r\n"), 15);
    EcrireFichier(Chemin("copie.sav.gen"), gen);
    ASSERT_EQ(Charger(Chemin("copie.sav")), 0);
    const Etat e = Observer();
    EXPECT_EQ(e.periode, 0.01);
    EXPECT_EQ(e.points, 500);
    EXPECT_EQ(e.mode, 3);
    EXPECT_EQ(e.compteur, 3);
}

// A plugin whose get_memory answer is unusable when its instrument is loaded: the message, and
// the instrument stays in the list with its defaults; the others get their own blocks.
TEST_F(Reglages, ReponseGetMemoryFautiveAuChargement) {
    using GetMemory = void (*)(PInstrument *, void **, void **, unsigned *, unsigned char *);
    static GetMemory normale = pilote_bidon.get_memory;
    static int appels = 0;
    const std::string b1 = BlocBidon("Nouveau 1", 10), b2 = BlocBidon("Nouveau 2", 20);
    EcrireFichier(Chemin("f.sav"), Sav({{"pilote_bidon.dll", 1}, {"pilote_bidon.dll", 2}}, 2, {b1, b2}));
    EcrireFichier(Chemin("f.sav.gen"), kGeneral);
    appels = 0;
    pilote_bidon.get_memory = [](PInstrument *i, void **d, void **f, unsigned *t, unsigned char *o) {
        if (appels++ == 0) return;  // the first instrument answers nothing
        normale(i, d, f, t, o);
    };
    const int r = Charger(Chemin("f.sav"), 1);
    pilote_bidon.get_memory = normale;
    ASSERT_EQ(r, 0);
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 2u);
    EXPECT_EQ(vus[1].titre, "Erreur");
    EXPECT_EQ(vus[1].message, "Un plugin n'a pas correctement répondu au get_memory()."_w);
    const Etat e = Observer();
    EXPECT_EQ(e.libelles, (std::vector<std::string>{"Pilote bidon", "Nouveau 2"}));
    ASSERT_EQ(e.instruments.size(), 2u);
    EXPECT_EQ(std::get<1>(e.instruments[0]), 1);
    EXPECT_EQ(std::get<2>(e.instruments[1]), b2);
}

TEST_F(Reglages, ChargementRefusePendantUneAcquisition) {
    AjouterBidon(1);
    ASSERT_EQ(Sauver(Chemin("a.sav")), 0);
    const Etat avant = Observer();
    acquisition_en_cours = 1;
    ui_test::Effacer();
    ui_test::Repondre(ui_test::Popup::Message);
    EXPECT_EQ(Prog_Charger_Fichier(panel_commande, P_Commande_PICTUREBUTTON_Load, EVENT_COMMIT, nullptr, 0, 0), -1);
    acquisition_en_cours = 0;
    const auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 1u);
    EXPECT_EQ(vus[0].message, "Chargement impossible pendant une acquisition"_w);
    EXPECT_EQ(Observer(), avant);
}

TEST_F(Reglages, EcritureImpossibleSignalee) {
    AjouterBidon(1);
    // The general settings file cannot be created: the message, and no file.
    Sauver(Chemin("absent/x.sav"), 1);
    auto vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 2u);
    EXPECT_EQ(vus[1].titre, "Attention");
    EXPECT_EQ(vus[1].message, "Impossible d'ouvrir le fichier");

    // The settings file cannot be written (a directory has its name): reported, and the
    // general settings file is not put in place either.
    ASSERT_TRUE(QDir(dossier.path()).mkdir("d.sav"));
    ui_test::Effacer();
    EXPECT_EQ(Sauver(Chemin("d.sav"), 1), -1);
    vus = ui_test::Vus();
    ASSERT_EQ(vus.size(), 2u);
    EXPECT_EQ(vus[1].titre, "Attention");
    EXPECT_EQ(vus[1].message, "Impossible d'enregistrer les réglages dans le fichier "_w + Chemin("d.sav"));
    EXPECT_TRUE(Fichiers().empty());

    // An earlier pair stays as it was when a save over it fails.
    ASSERT_EQ(Sauver(Chemin("bon.sav")), 0);
    const std::string sav = LireFichier(Chemin("bon.sav")), gen = LireFichier(Chemin("bon.sav.gen"));
    AjouterEssai(EssaiAvecBloc({1}, 1), 4);
    std::strcpy(liste_instru->suivant->Type_Apareil, "a b");  // a type key the header cannot hold
    ui_test::Effacer();
    EXPECT_EQ(Sauver(Chemin("bon.sav"), 1), -1);
    EXPECT_EQ(LireFichier(Chemin("bon.sav")), sav);
    EXPECT_EQ(LireFichier(Chemin("bon.sav.gen")), gen);
    EXPECT_EQ(Fichiers(), (std::vector<std::string>{"bon.sav", "bon.sav.gen"}));
}

// Under a French locale the period is written and read with a ".".
TEST_F(Reglages, PeriodeSousUneLocaleFrancaise) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"), nullptr) << "locale fr_FR.UTF-8 absente";
    char temoin[16];
    std::snprintf(temoin, sizeof temoin, "%.2f", 0.25);
    const bool locale_active = std::string(temoin) == "0,25";
    Regler(0.25, 500, 1, 2, 5, 1, 0);
    const int r = Sauver(Chemin("fr.sav"));
    SetCtrlVal(panel_commande, P_Commande_N_TEch, 1.0);
    const int r2 = Charger(Chemin("fr.sav"));
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_TRUE(locale_active) << temoin;
    ASSERT_EQ(r, 0);
    ASSERT_EQ(r2, 0);
    EXPECT_NE(LireFichier(Chemin("fr.sav.gen")).find("frequence_ech=0.250000;\r\n"), std::string::npos);
    EXPECT_EQ(Observer().periode, 0.25);
}

}  // namespace
