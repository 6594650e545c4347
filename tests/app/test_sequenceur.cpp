// Reading script lines: LF and CR LF read the same, and the stream positions stay byte offsets
// that can be saved and restored (labels and loops go back to them).
#include "app/sequenceur.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Fichier {
    explicit Fichier(const std::string &octets) : f(std::tmpfile()) {
        std::fwrite(octets.data(), 1, octets.size(), f);
        std::rewind(f);
    }
    ~Fichier() { std::fclose(f); }
    Fichier(const Fichier &) = delete;
    Fichier &operator=(const Fichier &) = delete;
    std::FILE *f;
};

std::vector<std::string> Lignes(std::FILE *f, std::size_t taille_max = 4096) {
    std::vector<std::string> r;
    std::string ligne;
    bool entiere = true;
    while (LireLigneScript(f, ligne, entiere, taille_max)) r.push_back(entiere ? ligne : ligne + "...");
    return r;
}

TEST(LectureScript, LineEndsAndOddBytes) {
    struct Cas {
        const char *nom;
        std::string octets;
        std::vector<std::string> lignes;
    };
    const Cas cas[] = {
        {"LF", "tic\nattente 1\n", {"tic", "attente 1"}},
        {"CR LF", "tic\r\nattente 1\r\n", {"tic", "attente 1"}},
        {"mixed, no end of line at the end", "tic\r\nattente 1\nfermer", {"tic", "attente 1", "fermer"}},
        {"a CR that ends the file", "fermer\r", {"fermer"}},
        {"a CR inside a line stays", "a\rb\r\r\nc\n", {"a\rb\r", "c"}},
        {"empty lines", "\n\r\n\n", {"", "", ""}},
        {"nothing", "", {}},
        {"trailing blanks stay", "ouvrir x.xls  \r\n", {"ouvrir x.xls  "}},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        Fichier f(c.octets);
        EXPECT_EQ(Lignes(f.f), c.lignes);
    }
}

TEST(LectureScript, PositionsAreByteOffsetsWithEitherLineEnd) {
    for (const char *fin : {"\n", "\r\n"}) {
        SCOPED_TRACE(fin[0] == '\r' ? "CR LF" : "LF");
        const std::string f1 = std::string("label a") + fin + "set i+1" + fin + "retour a" + fin;
        Fichier f(f1);
        std::string ligne;
        bool entiere = true;
        ASSERT_TRUE(LireLigneScript(f.f, ligne, entiere));
        const long apres_label = std::ftell(f.f);
        EXPECT_EQ(apres_label, static_cast<long>(7 + std::string(fin).size()));
        ASSERT_TRUE(LireLigneScript(f.f, ligne, entiere));
        ASSERT_TRUE(LireLigneScript(f.f, ligne, entiere));
        EXPECT_EQ(ligne, "retour a");
        std::fseek(f.f, apres_label, SEEK_SET);
        ASSERT_TRUE(LireLigneScript(f.f, ligne, entiere));
        EXPECT_EQ(ligne, "set i+1");
        ASSERT_TRUE(LireLigneScript(f.f, ligne, entiere));
        ASSERT_FALSE(LireLigneScript(f.f, ligne, entiere));
        EXPECT_EQ(std::ftell(f.f), static_cast<long>(f1.size()));
    }
}

// A line longer than what is kept is read off whole: the next read starts on the next line.
TEST(LectureScript, LongLineIsReadOffWhole) {
    Fichier f(std::string(10000, 'x') + "\r\ntic\r\n");
    EXPECT_EQ(Lignes(f.f, 300), (std::vector<std::string>{std::string(300, 'x') + "...", "tic"}));
}

}  // namespace
