// Text fields of settings blocks and the instrument name kept in one, as every plugin reads and
// writes them: bounded reads of a loaded field without terminator, zero-filled writes, and the
// two rules for the bytes of a name field beyond its 40.
#include "framework/champs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

TEST(Champs, ReadsStopAtTheTerminatorOrAtTheLastByte) {
    struct Cas {
        const char *nom;
        std::string contenu;  // the field's bytes, completed with zeros
        std::string texte;
    } cas[] = {
        {"court", "ab", "ab"},
        {"vide", "", ""},
        {"plein, terminé", std::string(7, 'x'), std::string(7, 'x')},
        {"plein sans terminateur", std::string(8, 'y'), std::string(7, 'y')},
        {"octets après le terminateur", std::string("a\0zzzzzz", 8), "a"},
    };
    for (const Cas &c : cas) {
        SCOPED_TRACE(c.nom);
        char champ[8] = {};
        std::memcpy(champ, c.contenu.data(), c.contenu.size());
        EXPECT_EQ(TexteChamp(champ), c.texte);
        char copie[9];
        std::memset(copie, '#', sizeof copie);
        CopierChamp(champ, copie);
        EXPECT_EQ(std::string(copie), c.texte);
        EXPECT_EQ(copie[8], '#') << "CopierChamp writes at most the field's size";
    }
}

TEST(Champs, WritesAreCutAndZeroFilled) {
    for (const std::string &texte : {std::string("abc"), std::string(7, 'm'), std::string(12, 'L'), std::string()}) {
        SCOPED_TRACE(texte);
        char champ[8];
        std::memset(champ, '#', sizeof champ);
        EcrireChamp(champ, texte);
        const std::size_t n = std::min<std::size_t>(texte.size(), 7);
        EXPECT_EQ(std::string(champ, n), texte.substr(0, n));
        for (std::size_t k = n; k < sizeof champ; ++k) EXPECT_EQ(champ[k], '\0') << k;
    }
}

TEST(Champs, NameReadIsAtMost39CharactersAndItsTerminator) {
    for (const std::size_t longueur : {std::size_t{0}, std::size_t{5}, std::size_t{39}, std::size_t{40}, std::size_t{128}}) {
        SCOPED_TRACE(longueur);
        char champ[128] = {};
        std::memset(champ, 'n', longueur);  // 128: a loaded field without terminator
        char nom[kLongueurNomInstru + 4];
        std::memset(nom, '#', sizeof nom);
        LireNomInstrument(champ, nom);
        EXPECT_EQ(std::string(nom), std::string(std::min<std::size_t>(longueur, 39), 'n'));
        EXPECT_EQ(nom[kLongueurNomInstru], '#') << "written past 40 bytes";
    }
}

// A field as a load leaves it: bytes everywhere, no terminator.
struct ChampCharge {
    char octets[128];
    ChampCharge() { std::memset(octets, 'z', sizeof octets); }
};

TEST(Champs, NameWriteKeepsOrClearsTheBytesBeyond40AsThePluginSays) {
    for (const std::string &nom : {std::string("Lampe"), std::string(50, 'N'), std::string()}) {
        SCOPED_TRACE(nom);
        const std::size_t n = std::min<std::size_t>(nom.size(), 39);
        ChampCharge intact, zero;
        EcrireNomInstrument(intact.octets, nom.c_str(), ApresLeNom::Intact);
        EcrireNomInstrument(zero.octets, nom.c_str(), ApresLeNom::Zero);
        for (const ChampCharge *c : {&intact, &zero}) {
            EXPECT_EQ(std::string(c->octets, n), nom.substr(0, n));
            for (std::size_t k = n; k < kLongueurNomInstru; ++k) EXPECT_EQ(c->octets[k], '\0') << k;
        }
        for (std::size_t k = kLongueurNomInstru; k < 128; ++k) {
            EXPECT_EQ(intact.octets[k], 'z') << k;
            EXPECT_EQ(zero.octets[k], '\0') << k;
        }
    }
    ChampCharge c;
    EcrireNomInstrument(c.octets, nullptr);
    EXPECT_EQ(std::string(c.octets, 128), std::string(128, 'z')) << "a null name changes nothing";
}

}  // namespace
