// The key=value reader: how lines become typed entries, the lookups, the single steps.
#include "settings/reader.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

// A table loaded from a file of the given bytes, released at the end.
class Table {
public:
    explicit Table(const std::string &octets) {
        const std::string chemin = dossier_.filePath("t.gen").toStdString();
        std::ofstream(chemin, std::ios::binary) << octets;
        reader_init(&t);
        resultat = reader_load_file(chemin.c_str(), &t);
    }
    ~Table() { reader_free(&t); }
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    std::optional<int> Entier(const char *cle) const {
        int v = 0;
        return reader_find_int(cle, &t, &v) ? std::optional<int>(v) : std::nullopt;
    }
    std::optional<double> Reel(const char *cle) const {
        double v = 0;
        return reader_find_double(cle, &t, &v) ? std::optional<double>(v) : std::nullopt;
    }
    std::optional<std::string> Texte(const char *cle) const {
        const char *v = reader_return_string(cle, &t);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    int Entrees() const { return t.int_N + t.double_N + t.string_N; }

    reader_lists t;
    int resultat = 0;

private:
    QTemporaryDir dossier_;
};

// One line of a file and the single entry it gives (or none).
TEST(LecteurCleValeur, LignesEtEntrees) {
    enum Genre { Aucun, Entier, Reel, Texte };
    struct Cas {
        const char *nom;
        std::string ligne;
        Genre genre;
        std::string cle;
        double valeur = 0;       // integer or real
        std::string texte = {};  // text
    };
    const std::vector<Cas> cas = {
        {"ligne du fichier g\xE9n\xE9ral", "init_tatoo=7;\r\n", Entier, "init_tatoo", 7},
        {"p\xE9riode \xE9" "crite avec %f", "frequence_ech=0.500000;\r\n", Reel, "frequence_ech", 0.5},
        {"blancs supprim\xE9s partout", "nb pts = 1 0 ;\n", Entier, "nbpts", 10},
        {"tabulation dans la cl\xE9", "a\t=5;\n", Entier, "a\t", 5},
        {"tabulation devant le nombre", "x=\t7;\n", Entier, "x", 7},
        {"point-virgule entre guillemets", "name=\"a;b\";\n", Entier, "name", 0},
        {"signes \xE9gal en trop", "a=b=c;\n", Entier, "a", 0},
        {"\xE9gal dans un texte", "q=\"x=y\";\n", Texte, "q", 0, "xy"},
        {"texte avec blancs", "t=\" a b \";\n", Texte, "t", 0, " a b "},
        {"guillemets int\xE9rieurs", "t=\"a\"b\";\n", Texte, "t", 0, "a\"b"},
        {"texte sans point-virgule", "t=\"abc\"\r\n", Entier, "t", 0},
        {"texte \xE0 point sans point-virgule", "t=\"a.c\"\n", Reel, "t", 0.0},
        {"nombre sans point-virgule", "n=7\n", Entier, "n", 7},
        {"1.2.3", "v=1.2.3;", Reel, "v", 1.2},
        {"1e5", "v=1e5;", Entier, "v", 1},
        {".5", "v=.5;", Reel, "v", 0.5},
        {"virgule d\xE9" "cimale", "v=1,5;", Entier, "v", 1},
        {"n\xE9gatif", "v=-7;", Entier, "v", -7},
        {"mot \xE0 point", "v=a.b;", Reel, "v", 0.0},
        {"mot", "v=abc;", Entier, "v", 0},
        {"valeur vide", "v=;", Entier, "v", 0},
        {"guillemets vides", "v=\"\";", Texte, "v", 0, ""},
        {"un guillemet seul", "v=\";", Texte, "v", 0, ""},
        {"cl\xE9 vide", "=3;", Entier, "", 3},
        {"au-del\xE0 des entiers", "g=3000000000;", Entier, "g", INT_MAX},
        {"en de\xE7\xE0 des entiers", "g=-3000000000;", Entier, "g", INT_MIN},
        {"commentaire", ";Fichier de sauvegarde des r\xE9glages g\xE9n\xE9raux.\r\n", Aucun, ""},
        {"sans \xE9gal", "bonjour;\n", Aucun, ""},
        {"ligne vide", "\r\n", Aucun, ""},
        {"ligne de blancs", "    \n", Aucun, ""},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        const Table t(c.ligne);
        ASSERT_EQ(t.resultat, 1);
        ASSERT_EQ(t.Entrees(), c.genre == Aucun ? 0 : 1);
        const char *cle = c.cle.c_str();
        switch (c.genre) {
        case Aucun: break;
        case Entier:
            EXPECT_EQ(t.Entier(cle), static_cast<int>(c.valeur));
            EXPECT_EQ(reader_return_int(cle, &t.t), static_cast<int>(c.valeur));
            break;
        case Reel:
            EXPECT_EQ(t.Reel(cle), c.valeur);
            EXPECT_EQ(reader_return_double(cle, &t.t), c.valeur);
            break;
        case Texte:
            EXPECT_EQ(t.Texte(cle), c.texte);
            break;
        }
    }
}

TEST(LecteurCleValeur, Recherches) {
    const Table t("k=1;\nk=2;\nk=2.5;\nK=9;\nfrequence_ech=2;\nnom=\"banc\";\nnom=\"autre\";\n");
    EXPECT_EQ(reader_return_int("k", &t.t), 1);         // the first line of a key wins
    EXPECT_EQ(reader_return_double("k", &t.t), 2.5);    // kinds are looked up apart
    EXPECT_EQ(reader_return_int("K", &t.t), 9);         // case counts
    EXPECT_EQ(t.Entier("absent"), std::nullopt);
    EXPECT_EQ(reader_return_int("absent", &t.t), 0);
    // A real written without a point is an integer: the real lookup finds nothing.
    EXPECT_EQ(reader_return_double("frequence_ech", &t.t), 0.0);
    EXPECT_EQ(t.Reel("frequence_ech"), std::nullopt);
    EXPECT_STREQ(reader_return_string("nom", &t.t), "banc");
    EXPECT_EQ(reader_return_string("k", &t.t), nullptr);
    EXPECT_EQ(t.t.int_N, 4);
    EXPECT_EQ(t.t.double_N, 1);
    EXPECT_EQ(t.t.string_N, 2);
    EXPECT_STREQ(t.t.int_words[3], "frequence_ech");  // entries stand in file order
}

TEST(LecteurCleValeur, LigneDePlusDe255Caracteres) {
    // The first read takes 255 characters; the rest of the line is read as a line of its own.
    const Table t("k1=1;" + std::string(250, ' ') + "k2=2;\n");
    EXPECT_EQ(t.Entier("k1"), 1);
    EXPECT_EQ(t.Entier("k2"), 2);
    // One blank less: the cut falls inside "k2", which is lost.
    const Table u("k1=1;" + std::string(249, ' ') + "k2=2;\n");
    EXPECT_EQ(u.Entier("k2"), std::nullopt);
}

TEST(LecteurCleValeur, FichierAbsentOuAjoute) {
    reader_lists t;
    reader_init(&t);
    EXPECT_EQ(reader_load_file("/nonexistent/banc/absent.gen", &t), 0);
    EXPECT_EQ(t.int_N + t.double_N + t.string_N, 0);
    EXPECT_EQ(reader_return_int("init_tatoo", &t), 0);
    EXPECT_EQ(reader_return_double("frequence_ech", &t), 0.0);
    EXPECT_EQ(reader_return_string("nom", &t), nullptr);
    reader_free(&t);

    // A second file appends its entries after those of the first.
    QTemporaryDir d;
    const std::string a = d.filePath("a").toStdString(), b = d.filePath("b").toStdString();
    std::ofstream(a) << "x=1;\n";
    std::ofstream(b) << "x=2;\ny=3;\n";
    reader_init(&t);
    EXPECT_EQ(reader_load_file(a.c_str(), &t), 1);
    EXPECT_EQ(reader_load_file(b.c_str(), &t), 1);
    EXPECT_EQ(reader_return_int("x", &t), 1);
    EXPECT_EQ(reader_return_int("y", &t), 3);
    EXPECT_EQ(t.int_N, 3);
    reader_free(&t);
}

TEST(LecteurCleValeur, EtapesSeules) {
    char ligne[] = " a = \"b c\" ; d";
    EXPECT_EQ(reader_extract_string(ligne), 1);
    EXPECT_STREQ(ligne, "a=\"b c\"");
    EXPECT_EQ(reader_extract_string(nullptr), 0);

    // Only the characters copied are written: empty parts leave their buffers as they were.
    char cle[256] = "ancienne", valeur[256] = "ancienne";
    EXPECT_EQ(reader_extract_values("=", cle, valeur), 1);
    EXPECT_STREQ(cle, "ancienne");
    EXPECT_STREQ(valeur, "ancienne");
    char cle2[256] = "", valeur2[256] = "";
    EXPECT_EQ(reader_extract_values("sans", cle2, valeur2), 0);
    EXPECT_STREQ(cle2, "sans");
    // Buffers smaller than the line are never overrun.
    char petite_cle[4] = "", petite_valeur[4] = "";
    EXPECT_EQ(reader_extract_values("longue_cle=longue_valeur", petite_cle, petite_valeur, 4), 1);
    EXPECT_STREQ(petite_cle, "lon");
    EXPECT_STREQ(petite_valeur, "lon");

    EXPECT_EQ(reader_return_rvalue_type("\""), 3);
    EXPECT_EQ(reader_return_rvalue_type("\"a.b\""), 3);
    EXPECT_EQ(reader_return_rvalue_type("a.b"), 2);
    EXPECT_EQ(reader_return_rvalue_type(""), 1);

    char texte[8] = "garde";
    EXPECT_EQ(reader_convert_rvalue_to_string("\"\"", texte), 0);
    EXPECT_STREQ(texte, "garde");
    EXPECT_EQ(reader_convert_rvalue_to_string("\"0123456789\"", texte, sizeof texte), 1);
    EXPECT_STREQ(texte, "0123456");

    int n = 5;
    EXPECT_EQ(reader_convert_rvalue_to_int("  +42x", &n), 1);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(reader_convert_rvalue_to_int("x", &n), 1);
    EXPECT_EQ(n, 0);

    int *entiers = nullptr;
    EXPECT_EQ(reader_add_int_to_list(4, &entiers, 2), 0);  // a null array takes element 1 only
    EXPECT_EQ(entiers, nullptr);
    EXPECT_EQ(reader_add_int_to_list(4, &entiers, 1), 1);
    EXPECT_EQ(reader_add_int_to_list(5, &entiers, 2), 1);
    EXPECT_EQ(reader_add_int_to_list(6, &entiers, 0), 0);
    EXPECT_EQ(entiers[0], 4);
    EXPECT_EQ(entiers[1], 5);
    std::free(entiers);
    char **mots = nullptr;
    const char source[] = "cle";
    EXPECT_EQ(reader_add_string_to_list(source, &mots, 1), 1);
    EXPECT_NE(mots[0], source);
    EXPECT_STREQ(mots[0], "cle");
    std::free(mots[0]);
    std::free(mots);
}

// Reals are read with a "." whatever the process locale: under a French locale the C
// library's own strtod would stop at the "." and read 0.
TEST(LecteurCleValeur, ReelsSousUneLocaleFrancaise) {
    const std::string ancienne = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "locale fr_FR.UTF-8 absente";
    EXPECT_EQ(std::strtod("0.5", nullptr), 0.0);  // the locale is really in force
    double v = 0;
    reader_convert_rvalue_to_double("0.500000", &v);
    const Table t("frequence_ech=0.250000;\r\n");
    const std::optional<double> lu = t.Reel("frequence_ech");
    std::setlocale(LC_ALL, ancienne.c_str());
    EXPECT_EQ(v, 0.5);
    EXPECT_EQ(lu, 0.25);
}

}  // namespace
