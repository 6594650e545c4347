// The settings file ".sav" (registry of memory blocks, stored bytes, header readers, damaged
// files) and the general settings file ".gen", without windows.
#include "settings/save.h"
#include "tests/support/banc_test.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Octets = std::vector<unsigned char>;

// A registry over blocks that the test owns.
struct Registre {
    save_registry r;
    Registre() { init_save(&r); }
    ~Registre() { free_all(&r); }
    Registre(const Registre &) = delete;
    Registre &operator=(const Registre &) = delete;
    void Ajouter(Octets &bloc, const char *nom, int tatoo) {
        add_struct_to_save_B(&r, bloc.data(), static_cast<unsigned>(bloc.size()), nom, tatoo, "TODO");
    }
};

class FichierReglages : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dossier.isValid()); }
    std::string Chemin(const char *nom) const { return dossier.filePath(nom).toStdString(); }
    QTemporaryDir dossier;
};

// ---- registry ---------------------------------------------------------------------------------

TEST(RegistreBlocs, LesEntreesSontCopieesDansLOrdreEtGrandissentDUnALaFois) {
    unsigned char memoire[200] = {};
    save_registry r;
    init_save(&r);
    EXPECT_EQ(r.N, 0);
    EXPECT_EQ(r.structures, nullptr);
    char nom[] = "tektro3052.dll";
    add_struct_to_save_A(&r, memoire, memoire + 140, nom, 4, "TODO");
    add_struct_to_save_B(&r, memoire + 10, 140, "Calculatrice.dll", -2, "");
    nom[0] = 'X';  // the registry holds its own copy
    ASSERT_EQ(r.N, 2);
    EXPECT_STREQ(r.names[0], "tektro3052.dll");
    EXPECT_STREQ(r.names[1], "Calculatrice.dll");
    EXPECT_EQ(r.tatoos[0], 4);
    EXPECT_EQ(r.tatoos[1], -2);
    EXPECT_STREQ(r.noms[0], "TODO");
    EXPECT_STREQ(r.noms[1], "");
    // B with a size registers what A registers with the end at start + size.
    EXPECT_EQ(r.structures[1], memoire + 10);
    EXPECT_EQ(r.endings[1], memoire + 150);
    EXPECT_EQ(r.endings[0], memoire + 140);
    free_all(&r);  // the leak checker of this test program sees every copy released
}

TEST(RegistreBlocs, UnBlocImpossibleNEstPasAjoute) {
    unsigned char memoire[8] = {};
    save_registry r;
    init_save(&r);
    add_struct_to_save_A(&r, memoire + 4, memoire, "fin.dll", 1, "");          // end before start
    add_struct_to_save_B(&r, nullptr, 12, "sans_debut.dll", 1, "");            // bytes without a start
    EXPECT_EQ(r.N, 0);
    add_struct_to_save_A(&r, memoire, memoire, "vide.dll", 1, "");             // an empty block is fine
    add_struct_to_save_A(&r, nullptr, nullptr, "nul.dll", 2, nullptr);         // so is a null one
    EXPECT_EQ(r.N, 2);
    free_all(&r);
}

// A bench of many instruments: the registry grows and the file is written and read back in a
// time proportional to the entry count (a registry copied whole at every entry takes tens of
// seconds here).
TEST_F(FichierReglages, BeaucoupDEntreesSEnregistrentEtSeRelisentEnTempsLineaire) {
    constexpr std::size_t kEntrees = 60000;
    std::vector<Octets> blocs(kEntrees, Octets(4, 0x2A));
    const auto debut = std::chrono::steady_clock::now();
    Registre reg;
    for (std::size_t i = 0; i < kEntrees; ++i) reg.Ajouter(blocs[i], "Calculatrice.dll", static_cast<int>(i));
    ASSERT_EQ(reg.r.N, static_cast<int>(kEntrees));
    EXPECT_EQ(reg.r.tatoos[kEntrees - 1], static_cast<int>(kEntrees - 1));
    EXPECT_EQ(reg.r.structures[12345], blocs[12345].data());
    const std::string chemin = Chemin("grand.sav");
    ASSERT_EQ(save_all(chemin.c_str(), &reg.r), 1);
    std::vector<Octets> relus(kEntrees, Octets(4, 0));
    Registre cible;
    for (auto &b : relus) cible.Ajouter(b, "INUTILE", 0);
    ASSERT_EQ(load_all(chemin.c_str(), &cible.r), 1);
    const double secondes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - debut).count();
    EXPECT_TRUE(relus == blocs);
    EXPECT_LT(secondes, 4.0);
}

// ---- stored bytes -----------------------------------------------------------------------------

TEST_F(FichierReglages, OctetsEcritsEtRelus) {
    struct Cas {
        const char *nom;
        std::vector<std::pair<std::string, int>> entrees;  // name, tatoo
        std::vector<Octets> blocs;
        std::string attendu;
    };
    const std::vector<Cas> cas = {
        {"registre vide", {}, {}, std::string("\x23\x0D\x0A\x00\x00\x00\x00", 7)},
        {"deux instruments, blocs avec 0x0A, 0x0D 0x0A et 0x0D seul",
         {{"tektro3052.dll", 0}, {"Calculatrice.dll", 3}},
         {{0x01, 0x0A, 0x02}, {0x0D, 0x0A, 0x0D, 0x41}},
         "#tektro3052.dll 0#Calculatrice.dll 3#\r\n" + Le32(2) + Le32(3) + Le32(4) +
             "\x01\x0D\x0A\x02" + "\x0D\x0D\x0A\x0D\x41"},
        {"taille 266: un 0x0A dans la taille", {{"a.dll", -5}}, {Octets(266, 0x20)},
         "#a.dll -5#\r\n" + Le32(1) + std::string("\x0D\x0A\x01\x00\x00", 5) + std::string(266, ' ')},
        {"bloc vide", {{"vide.dll", 7}}, {Octets{}}, "#vide.dll 7#\r\n" + Le32(1) + Le32(0)},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        std::vector<Octets> blocs = c.blocs;
        Registre reg;
        for (std::size_t i = 0; i < blocs.size(); ++i)
            reg.Ajouter(blocs[i], c.entrees[i].first.c_str(), c.entrees[i].second);
        const std::string chemin = Chemin("r.sav");
        ASSERT_EQ(save_all(chemin.c_str(), &reg.r), 1);
        EXPECT_EQ(LireFichier(chemin), c.attendu);

        // Read back as the load command reads it, then into blocks of the same sizes.
        std::vector<instrument_sauve> lus;
        std::string erreur;
        ASSERT_TRUE(lire_fichier_reglages(chemin.c_str(), lus, erreur)) << erreur;
        ASSERT_EQ(lus.size(), blocs.size());
        std::vector<Octets> relus;
        Registre cible;
        for (const Octets &b : blocs) relus.emplace_back(b.size(), 0xEE);
        for (std::size_t i = 0; i < blocs.size(); ++i) {
            EXPECT_EQ(lus[i].type, c.entrees[i].first);
            EXPECT_EQ(lus[i].tatoo, c.entrees[i].second);
            EXPECT_EQ(lus[i].bloc, std::string(blocs[i].begin(), blocs[i].end()));
            cible.Ajouter(relus[i], "INUTILE", 0);
        }
        EXPECT_EQ(load_all(chemin.c_str(), &cible.r), 1);
        EXPECT_EQ(relus, blocs);
    }
}

TEST_F(FichierReglages, DixEntreesDonnentUnCompteStockeSurCinqOctets) {
    std::vector<Octets> blocs(10);
    Registre reg;
    for (int i = 0; i < 10; ++i) reg.Ajouter(blocs[static_cast<std::size_t>(i)], "a.dll", i);
    const std::string chemin = Chemin("dix.sav");
    ASSERT_EQ(save_all(chemin.c_str(), &reg.r), 1);
    const std::string octets = LireFichier(chemin);
    const std::size_t fin_entete = octets.find("#\r\n");
    ASSERT_NE(fin_entete, std::string::npos);
    EXPECT_EQ(octets.substr(fin_entete + 3, 5), std::string("\x0D\x0A\x00\x00\x00", 5));
    std::vector<instrument_sauve> lus;
    std::string erreur;
    ASSERT_TRUE(lire_fichier_reglages(chemin.c_str(), lus, erreur)) << erreur;
    EXPECT_EQ(lus.size(), 10u);
}

// Blocks dense in 0x0A and 0x0D, of sizes whose bytes hold 0x0A, more of them than any fixed
// table of stored sizes would take: every byte comes back.
TEST_F(FichierReglages, BlocsAleatoiresDenses) {
    std::mt19937 alea(20251210);
    const unsigned char alphabet[] = {0x0A, 0x0D, 0x0D, 0x0A, 0x00, 0x41, 0xFF, 0x1A};
    std::vector<Octets> blocs;
    const std::size_t tailles[] = {0, 1, 2, 10, 266, 2570, 13, 0x0A0A};
    for (int i = 0; i < 300; ++i) {
        Octets b(tailles[static_cast<std::size_t>(i) % std::size(tailles)]);
        for (auto &o : b) o = alphabet[alea() % std::size(alphabet)];
        blocs.push_back(std::move(b));
    }
    Registre reg;
    for (auto &b : blocs) reg.Ajouter(b, "essai.dll", 1);
    const std::string chemin = Chemin("dense.sav");
    ASSERT_EQ(save_all(chemin.c_str(), &reg.r), 1);

    // Stored form: one extra byte per 0x0A of the content, and no 0x0A stands alone.
    const std::string stocke = LireFichier(chemin);
    const std::string contenu = stockage::DepuisStockage(stocke);
    // (compared whole, without the text diff that gtest would print for strings this long)
    EXPECT_TRUE(stockage::VersStockage(contenu) == stocke);
    for (std::size_t i = 0; i < stocke.size(); ++i) {
        if (stocke[i] == '\n') {
            ASSERT_TRUE(i > 0 && stocke[i - 1] == '\r') << i;
        }
    }

    std::vector<Octets> relus;
    for (const auto &b : blocs) relus.emplace_back(b.size(), 0x55);
    Registre cible;
    for (auto &b : relus) cible.Ajouter(b, "INUTILE", 0);
    ASSERT_EQ(load_all(chemin.c_str(), &cible.r), 1);
    EXPECT_TRUE(relus == blocs);
}

TEST(StockageTexte, CorrespondanceDesFinsDeLigne) {
    EXPECT_EQ(stockage::VersStockage(std::string("a\nb\r\n\r", 6)), std::string("a\r\nb\r\r\n\r", 8));
    EXPECT_EQ(stockage::DepuisStockage(std::string("a\r\nb\r\r\n\r", 8)), std::string("a\nb\r\n\r", 6));
    EXPECT_EQ(stockage::DepuisStockage("\n\r"), "\n\r");  // a lone LF or a final CR stays
}

TEST_F(FichierReglages, UnNomQueLEnTeteNePeutPasRelireEstRefuse) {
    const char *noms[] = {"", "a#b.dll", "a b.dll", "a\nb.dll", "a\rb.dll"};
    for (const char *nom : noms) {
        SCOPED_TRACE(nom);
        Registre reg;
        Octets b{1, 2};
        reg.Ajouter(b, nom, 1);
        const std::string chemin = Chemin("refus.sav");
        EXPECT_EQ(save_all(chemin.c_str(), &reg.r), 0);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(chemin)));
    }
    Registre reg;
    Octets b;
    reg.Ajouter(b, std::string(250, 'x').c_str(), 12345);  // entry of 256 characters
    EXPECT_EQ(save_all(Chemin("long.sav").c_str(), &reg.r), 0);
}

TEST_F(FichierReglages, UneEcritureImpossibleEstSignaleeEtNeLaissePasDeFichier) {
    Registre reg;
    EXPECT_EQ(save_all(Chemin("absent/r.sav").c_str(), &reg.r), 0);
    ASSERT_TRUE(QDir(dossier.path()).mkdir("dossier.sav"));
    EXPECT_EQ(save_all(Chemin("dossier.sav").c_str(), &reg.r), 0);  // a directory of that name
    // An earlier file stays whole, and nothing is left beside it.
    EcrireFichier(Chemin("ancien.sav"), "ancien");
    Octets b{1};
    reg.Ajouter(b, "a.dll", 1);
    ASSERT_EQ(save_all(Chemin("ancien.sav").c_str(), &reg.r), 1);
    EXPECT_EQ(QDir(dossier.path()).entryList(QDir::Files), QStringList{"ancien.sav"});
}

// ---- header readers -------------------------------------------------------------------------

TEST_F(FichierReglages, LecteursDEnTete) {
    const std::string chemin = Chemin("entete.sav");
    EcrireFichier(chemin, "#tektro3052.dll 0#Calculatrice.dll 3#sans_nombre#" + std::string(300, 'L') +
                              " 9#fin.dll 4#\r\n" + Le32(5));
    char texte[256] = "inchange";
    int tatoo = -1;
    EXPECT_EQ(get_struct_string(chemin.c_str(), 1, texte), 1);
    EXPECT_STREQ(texte, "tektro3052.dll 0");
    EXPECT_EQ(get_struct_type(chemin.c_str(), 2, texte), 1);
    EXPECT_STREQ(texte, "Calculatrice.dll");
    EXPECT_EQ(get_struct_tatoo(chemin.c_str(), 2, &tatoo), 1);
    EXPECT_EQ(tatoo, 3);
    // An entry without a number leaves the caller's int as it was.
    EXPECT_EQ(get_struct_tatoo(chemin.c_str(), 3, &tatoo), 1);
    EXPECT_EQ(tatoo, 3);
    // An entry of more than 255 characters is cut, and the next one is still found.
    EXPECT_EQ(get_struct_string(chemin.c_str(), 4, texte), 1);
    EXPECT_EQ(std::string(texte), std::string(255, 'L'));
    EXPECT_EQ(get_struct_tatoo(chemin.c_str(), 5, &tatoo), 1);
    EXPECT_EQ(tatoo, 4);
    std::strcpy(texte, "inchange");
    for (const int k : {6, 0, -1}) {
        EXPECT_EQ(get_struct_string(chemin.c_str(), k, texte), 0) << k;
        EXPECT_EQ(get_struct_type(chemin.c_str(), k, texte), 0) << k;
        EXPECT_EQ(get_struct_tatoo(chemin.c_str(), k, &tatoo), 0) << k;
    }
    EXPECT_STREQ(texte, "inchange");
    EXPECT_EQ(tatoo, 4);
    EXPECT_EQ(get_struct_string(Chemin("absent.sav").c_str(), 1, texte), 0);
    // A file that ends inside the header gives no entry after its last "#".
    EcrireFichier(chemin, "#a.dll 1#b.dll 2");
    EXPECT_EQ(get_struct_string(chemin.c_str(), 1, texte), 1);
    EXPECT_EQ(get_struct_string(chemin.c_str(), 2, texte), 0);
}

// ---- damaged files ----------------------------------------------------------------------------

// Each damaged file is refused whole: no registered block changes, and the message says why.
TEST_F(FichierReglages, FichiersEndommages) {
    const std::string entete1 = "#pilote_bidon.dll 2#\r\n";
    struct Cas {
        const char *nom;
        std::string octets;  // null: no file at all
        bool existe;
        std::vector<std::size_t> tailles_registre;
        const char *raison;  // in the message (Windows-1252)
    };
    const std::vector<Cas> cas = {
        {"fichier absent", "", false, {4}, "Impossible d'ouvrir le fichier"},
        {"fichier vide", "", true, {4}, "en-t\xEAte incomplet"},
        {"en-t\xEAte sans fin de ligne", "#pilote_bidon.dll 2#", true, {4}, "en-t\xEAte incomplet"},
        {"en-t\xEAte non ferm\xE9", "#pilote_bidon.dll 2\r\n" + Le32(1) + Le32(4) + "abcd", true, {4}, "en-t\xEAte illisible"},
        {"entr\xE9" "e sans tatoo", "#pilote_bidon.dll#\r\n" + Le32(1) + Le32(4) + "abcd", true, {4}, "entr\xE9" "e d'en-t\xEAte illisible n\xB0 1"},
        {"tatoo illisible", "#a.dll 1#b.dll 2x#\r\n", true, {0, 0}, "n\xB0 2"},
        {"type vide", "# 2#\r\n" + Le32(1) + Le32(0), true, {0}, "illisible"},
        {"tatoo sans suivant", "#a.dll 2147483647#\r\n" + Le32(1) + Le32(0), true, {0}, "illisible"},
        {"tatoo hors des entiers", "#a.dll 2147483648#\r\n" + Le32(1) + Le32(0), true, {0}, "illisible"},
        {"compte absent", entete1, true, {4}, "tronqu\xE9"},
        {"compte trop grand", entete1 + Le32(2) + Le32(4) + Le32(4) + "abcdabcd", true, {4}, "nombre de blocs incorrect (2 blocs pour 1 instruments)"},
        {"compte n\xE9gatif", entete1 + Le32(0xFFFFFFFF) + Le32(4) + "abcd", true, {4}, "nombre de blocs incorrect"},
        {"tailles tronqu\xE9" "es", entete1 + Le32(1) + "\x04", true, {4}, "tronqu\xE9"},
        {"taille n\xE9gative", entete1 + Le32(1) + Le32(0xFFFFFFFC) + "abcd", true, {4}, "taille de bloc n\xE9gative"},
        {"bloc tronqu\xE9", entete1 + Le32(1) + Le32(4) + "abc", true, {4}, "tronqu\xE9"},
        {"octets en trop", entete1 + Le32(1) + Le32(4) + "abcde", true, {4}, "donn\xE9" "es en trop"},
        {"bloc d'une autre taille", entete1 + Le32(1) + Le32(5) + "abcde", true, {4}, "5 octets au lieu de 4"},
        {"plus de blocs que d'instruments enregistr\xE9s", "#a.dll 1#b.dll 2#\r\n" + Le32(2) + Le32(4) + Le32(4) + "abcdefgh", true, {4}, "2 blocs de r\xE9glages pour 1 instruments"},
        {"moins de blocs", entete1 + Le32(1) + Le32(4) + "abcd", true, {4, 4}, "1 blocs de r\xE9glages pour 2 instruments"},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        const std::string chemin = Chemin("abime.sav");
        QFile::remove(QString::fromStdString(chemin));
        if (c.existe) EcrireFichier(chemin, c.octets);

        std::vector<Octets> blocs;
        for (const std::size_t t : c.tailles_registre) blocs.emplace_back(t, 0xEE);
        const std::vector<Octets> avant = blocs;
        Registre reg;
        for (auto &b : blocs) reg.Ajouter(b, "INUTILE", 0);
        EXPECT_EQ(load_all(chemin.c_str(), &reg.r), 0);
        EXPECT_EQ(blocs, avant);

        std::vector<instrument_sauve> lus(1, instrument_sauve{"garde", 42, "x"});
        std::string erreur;
        const bool entier = lire_fichier_reglages(chemin.c_str(), lus, erreur);
        if (entier) {
            EXPECT_FALSE(charger_blocs(lus, &reg.r, erreur));
        } else {
            ASSERT_EQ(lus.size(), 1u);  // the caller's list is left as it was
            EXPECT_EQ(lus[0].type, "garde");
        }
        EXPECT_NE(erreur.find(c.raison), std::string::npos) << erreur;
        EXPECT_EQ(blocs, avant);
    }
}

TEST_F(FichierReglages, UnFichierAuxFinsDeLigneUnixSeLitAussi) {
    const std::string chemin = Chemin("unix.sav");
    EcrireFichier(chemin, "#a.dll 1#\n" + Le32(1) + Le32(2) + "\x0D\x41");
    Octets b(2, 0);
    Registre reg;
    reg.Ajouter(b, "INUTILE", 0);
    EXPECT_EQ(load_all(chemin.c_str(), &reg.r), 1);
    EXPECT_EQ(b, (Octets{0x0D, 0x41}));
}

// ---- general settings file ------------------------------------------------------------------

const std::string kGeneralAttendu =
    ";Fichier de sauvegarde des r\xE9glages g\xE9n\xE9raux.\r\n"
    "init_tatoo=7;\r\nnb_pts_graph=500;\r\nsous_ech_2D=1;\r\ndiv_mid=2;\r\ndiv_long=5;\r\n"
    "nb_graphes=3;\r\nmode_fichier=3;\r\nfrequence_ech=0.500000;\r\n";

reglages_generaux Exemple() {
    reglages_generaux r;
    r.init_tatoo = 7;
    r.nb_pts_graph = 500;
    r.sous_ech_2D = 1;
    r.div_mid = 2;
    r.div_long = 5;
    r.nb_graphes = 3;
    r.mode_fichier = 3;
    r.frequence_ech = 0.5;
    return r;
}

bool Egaux(const reglages_generaux &a, const reglages_generaux &b) {
    return a.init_tatoo == b.init_tatoo && a.nb_pts_graph == b.nb_pts_graph &&
           a.sous_ech_2D == b.sous_ech_2D && a.div_mid == b.div_mid && a.div_long == b.div_long &&
           a.nb_graphes == b.nb_graphes && a.mode_fichier == b.mode_fichier &&
           a.frequence_ech == b.frequence_ech;
}

TEST_F(FichierReglages, FichierGeneralOctetsEtRelecture) {
    EXPECT_EQ(contenu_reglages_generaux(Exemple()), kGeneralAttendu);
    const std::string chemin = Chemin("banc.sav.gen");
    EcrireFichier(chemin, kGeneralAttendu);
    reglages_generaux lu;
    std::string erreur;
    ASSERT_TRUE(lire_reglages_generaux(chemin.c_str(), lu, erreur)) << erreur;
    EXPECT_TRUE(Egaux(lu, Exemple()));

    // Other periods: six decimals, read back to the value written.
    reglages_generaux r = Exemple();
    r.frequence_ech = static_cast<float>(0.1);  // as the panel hands it over
    EXPECT_NE(contenu_reglages_generaux(r).find("frequence_ech=0.100000;\r\n"), std::string::npos);
    r.frequence_ech = 3600;
    EXPECT_NE(contenu_reglages_generaux(r).find("frequence_ech=3600.000000;\r\n"), std::string::npos);
    r.init_tatoo = -3;
    EXPECT_NE(contenu_reglages_generaux(r).find("init_tatoo=-3;\r\n"), std::string::npos);
}

// Under a French locale the period is still written and read with a "." (a "," would make the
// reader take it for the integer 0).
TEST_F(FichierReglages, FichierGeneralSousUneLocaleFrancaise) {
    const std::string ancienne = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "locale fr_FR.UTF-8 absente";
    char temoin[16];
    std::snprintf(temoin, sizeof temoin, "%.1f", 0.5);
    EXPECT_STREQ(temoin, "0,5");  // the locale is really in force

    reglages_generaux r = Exemple();
    r.frequence_ech = 0.25;
    const std::string contenu = contenu_reglages_generaux(r);
    EXPECT_NE(contenu.find("frequence_ech=0.250000;"), std::string::npos);
    const std::string chemin = Chemin("fr.gen");
    EcrireFichier(chemin, contenu);
    reglages_generaux lu;
    std::string erreur;
    const bool ok = lire_reglages_generaux(chemin.c_str(), lu, erreur);
    std::setlocale(LC_ALL, ancienne.c_str());
    ASSERT_TRUE(ok) << erreur;
    EXPECT_EQ(lu.frequence_ech, 0.25);
}

// What a load takes from a general settings file that was edited or cut short: each setting
// that it lacks, or gives as a value of the other kind, is 0; a file that cannot be opened or
// gives no setting at all is not read (the caller keeps its settings).
TEST_F(FichierReglages, FichierGeneralIncomplet) {
    const auto Sans = [](const std::string &ligne) {
        std::string s = kGeneralAttendu;
        const std::size_t p = s.find(ligne);
        return s.erase(p, ligne.size());
    };
    const auto Remplace = [](const std::string &de, const std::string &par) {
        std::string s = kGeneralAttendu;
        return s.replace(s.find(de), de.size(), par);
    };
    const auto Avec = [](auto modifier) {
        reglages_generaux r = Exemple();
        modifier(r);
        return r;
    };
    struct Cas {
        const char *nom;
        std::string octets;
        bool existe;
        std::optional<reglages_generaux> lu;  // none: not read
        const char *raison = "";
    };
    const std::vector<Cas> cas = {
        {"absent", "", false, std::nullopt, "Impossible d'ouvrir le fichier des r\xE9glages g\xE9n\xE9raux"},
        {"vide", "", true, std::nullopt, "ne contient aucun r\xE9glage"},
        {"commentaire seul", ";Fichier de sauvegarde\r\n", true, std::nullopt, "ne contient aucun r\xE9glage"},
        {"r\xE9glages sous d'autres noms", "periode=0.5;\r\nINIT_TATOO=7;\r\n", true, std::nullopt, "aucun"},
        {"tronqu\xE9", kGeneralAttendu.substr(0, 100), true, Avec([](reglages_generaux &r) {
             r.div_mid = r.div_long = r.nb_graphes = r.mode_fichier = 0;
             r.frequence_ech = 0;
         })},
        {"sans init_tatoo", Sans("init_tatoo=7;\r\n"), true, Avec([](reglages_generaux &r) { r.init_tatoo = 0; })},
        {"sans mode_fichier", Sans("mode_fichier=3;\r\n"), true, Avec([](reglages_generaux &r) { r.mode_fichier = 0; })},
        {"p\xE9riode sans point", Remplace("0.500000", "2"), true, Avec([](reglages_generaux &r) { r.frequence_ech = 0; })},
        {"p\xE9riode nulle", Remplace("0.500000", "0.0"), true, Avec([](reglages_generaux &r) { r.frequence_ech = 0; })},
        {"p\xE9riode infinie", Remplace("0.500000", "1e999."), true,
         Avec([](reglages_generaux &r) { r.frequence_ech = HUGE_VAL; })},
        {"mode inconnu", Remplace("mode_fichier=3", "mode_fichier=4"), true,
         Avec([](reglages_generaux &r) { r.mode_fichier = 4; })},
        {"compteur n\xE9gatif", Remplace("init_tatoo=7", "init_tatoo=-1"), true,
         Avec([](reglages_generaux &r) { r.init_tatoo = -1; })},
        {"entier en r\xE9\x65l", Remplace("div_mid=2", "div_mid=2.0"), true, Avec([](reglages_generaux &r) { r.div_mid = 0; })},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        const std::string chemin = Chemin("abime.sav.gen");
        QFile::remove(QString::fromStdString(chemin));
        if (c.existe) EcrireFichier(chemin, c.octets);
        reglages_generaux lu = Exemple();
        lu.init_tatoo = 99;
        std::string erreur;
        const bool ok = lire_reglages_generaux(chemin.c_str(), lu, erreur);
        ASSERT_EQ(ok, c.lu.has_value()) << erreur;
        if (ok) {
            EXPECT_TRUE(Egaux(lu, *c.lu));
        } else {
            EXPECT_EQ(lu.init_tatoo, 99);
            EXPECT_NE(erreur.find(c.raison), std::string::npos) << erreur;
        }
    }
}

TEST_F(FichierReglages, FichierGeneralEditeALaMain) {
    // Line ends of either kind, blanks, comments and unknown keys; the first value of a key wins.
    const std::string chemin = Chemin("main.gen");
    EcrireFichier(chemin,
                  "; mes r\xE9glages\n\n"
                  "frequence_ech = 2.5 ; deux secondes et demie\n"
                  "init_tatoo=12;\nnb_pts_graph=1 000;\r\nsous_ech_2D=3\nautre=\"x\";\n"
                  "div_mid=4;\ndiv_mid=8;\ndiv_long=6;\nnb_graphes=2;\nmode_fichier=1;\n");
    reglages_generaux lu;
    std::string erreur;
    ASSERT_TRUE(lire_reglages_generaux(chemin.c_str(), lu, erreur)) << erreur;
    EXPECT_EQ(lu.frequence_ech, 2.5);
    EXPECT_EQ(lu.init_tatoo, 12);
    EXPECT_EQ(lu.nb_pts_graph, 1000);
    EXPECT_EQ(lu.sous_ech_2D, 3);
    EXPECT_EQ(lu.div_mid, 4);
    EXPECT_EQ(lu.mode_fichier, 1);
}

}  // namespace
