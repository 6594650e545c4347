// Windows-1252 <-> UTF-8 conversions and the compile-time literal helper.
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"

using texte::Cp1252VersUtf8;
using texte::Utf8VersCp1252;

namespace {

bool Indefini(unsigned char b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

}  // namespace

TEST(Texte, EveryDefinedByteSurvivesTheRoundTrip) {
    for (int i = 0; i < 256; ++i) {
        const std::string octet(1, static_cast<char>(i));
        const std::string utf8 = Cp1252VersUtf8(octet);
        if (Indefini(static_cast<unsigned char>(i))) {
            EXPECT_EQ(utf8, "\xEF\xBF\xBD") << "byte " << i;
            EXPECT_EQ(Utf8VersCp1252(utf8), "?") << "byte " << i;
        } else {
            EXPECT_EQ(Utf8VersCp1252(utf8), octet) << "byte " << i;
        }
    }
}

TEST(Texte, DecodesToTheWindows1252CodePoints) {
    struct Cas {
        std::string_view cp1252;
        std::string_view utf8;
    };
    const Cas cas[] = {
        {"", ""},
        {"abc", "abc"},
        {std::string_view("a\0b", 3), std::string_view("a\0b", 3)},
        {"\x80", "€"},
        {"\x8A\x8C\x8E\x9A\x9C\x9E\x9F", "ŠŒŽšœžŸ"},
        {"\x91\x92\x93\x94\x96\x97\x85", "‘’“”–—…"},
        {"\x99\x89\x83\x88\x98", "™‰ƒˆ˜"},
        {"\xA0\xA9\xB0", "\u00A0©°"},
        {"Dur\xE9" "e \xE9" "coul\xE9" "e", "Durée écoulée"},
        {"\xFF\xE0\xC7", "ÿàÇ"},
        {"x\x8Dy", "x\xEF\xBF\xBDy"},
    };
    for (const Cas &c : cas) EXPECT_EQ(Cp1252VersUtf8(c.cp1252), c.utf8) << c.utf8;
}

TEST(Texte, EncodingReplacesWhatWindows1252CannotHoldAndMalformedSequences) {
    struct Cas {
        std::string_view utf8;
        std::string_view cp1252;
        const char *quoi;
    };
    const Cas cas[] = {
        {"Fréquencemètre", "Fr\xE9quencem\xE8tre", "accents"},
        {"€ œ ™", "\x80 \x9C \x99", "0x80..0x9F range"},
        {"Ā", "?", "U+0100 has no byte"},
        {"α→β", "???", "Greek and arrow"},
        {"a😀b", "a?b", "four-byte sequence outside the BMP"},
        {"\xEF\xBF\xBD", "?", "U+FFFD"},
        {"\x80", "?", "lone continuation byte"},
        {"\xC3", "?", "sequence cut at the end"},
        {"\xC3" "A", "?A", "sequence broken by an ASCII byte"},
        {"\xE2\x82" "x", "?x", "three-byte sequence broken after two"},
        {"\xC0\xAF", "??", "C0 cannot start a sequence"},
        {"\xE0\x80\xAF", "?", "overlong three-byte form"},
        {"\xED\xA0\x80", "?", "surrogate"},
        {"\xF4\x90\x80\x80", "?", "beyond U+10FFFF"},
        {"\xF8\x88\x80\x80\x80", "?????", "five-byte form"},
        {"\xFF" "é", "?\xE9", "invalid byte then a good sequence"},
        {std::string_view("\0é", 3), std::string_view("\0\xE9", 2), "NUL kept"},
    };
    for (const Cas &c : cas) EXPECT_EQ(Utf8VersCp1252(c.utf8), c.cp1252) << c.quoi;
}

TEST(Texte, LiteralHelperMatchesTheRunTimeConversion) {
    struct Cas {
        const char *w;
        const char *utf8;
    };
    const Cas cas[] = {
        {""_w, ""},
        {"PANNEAU DE COMMANDE"_w, "PANNEAU DE COMMANDE"},
        {"Durée maximale en min (acq. limitée)"_w, "Durée maximale en min (acq. limitée)"},
        {"Démarrer A__cquisition"_w, "Démarrer A__cquisition"},
        {"Arrêter A__cquisition"_w, "Arrêter A__cquisition"},
        {"Période d'échantillonage"_w, "Période d'échantillonage"},
        {"Fréquencemètre 2 Voies"_w, "Fréquencemètre 2 Voies"},
        {"€‰Œœ™Ÿ ÀÿÆç«»°µ"_w, "€‰Œœ™Ÿ ÀÿÆç«»°µ"},
    };
    for (const Cas &c : cas) EXPECT_EQ(std::string(c.w), Utf8VersCp1252(c.utf8)) << c.utf8;
    static_assert(std::string_view("é"_w) == "\xE9");
}

// A file is taken for UTF-8 only when it is well-formed UTF-8 and holds a character beyond
// ASCII: ASCII reads the same either way, and Windows-1252 accents are lone high bytes.
TEST(Texte, TellsUtf8FilesFromWindows1252Ones) {
    struct Cas {
        std::string_view octets;
        bool utf8;
        const char *quoi;
    };
    const Cas cas[] = {
        {"", false, "empty"},
        {"marquer debut\r\n", false, "ASCII only"},
        {"marquer début\n", true, "UTF-8 accent"},
        {"marquer d\xE9" "but\n", false, "Windows-1252 accent"},
        {"commande Cellule \xE9t\xE9:mesure", false, "Windows-1252 accents before ':'"},
        {"€ 😀", true, "three- and four-byte characters"},
        {"d\xC3\xA9" "but \xE9", false, "UTF-8 then a lone Windows-1252 byte"},
        {"fin coupée \xC3", false, "a sequence cut at the end"},
        {"\xC3\xA9\xED\xA0\x80", false, "a surrogate"},
        {"\xEF\xBB\xBF" "tic\n", true, "byte-order mark"},
    };
    for (const Cas &c : cas) EXPECT_EQ(texte::EstUtf8(c.octets), c.utf8) << c.quoi;
}

TEST(Texte, NamesTheCharactersWindows1252Lacks) {
    std::vector<char32_t> manquants;
    EXPECT_EQ(Utf8VersCp1252("a→b é 😀 ? \xFF Ā", manquants), "a?b \xE9 ? ? ? ?");
    // The question mark written as such and the ill-formed byte are no missing characters.
    EXPECT_EQ(manquants, (std::vector<char32_t>{0x2192, 0x1F600, 0x0100}));
    EXPECT_EQ(texte::NomCaractere(0x2192), "U+2192");
    EXPECT_EQ(texte::NomCaractere(0xE9), "U+00E9");
    EXPECT_EQ(texte::NomCaractere(0x1F600), "U+1F600");
}
