// The multimeter's reading of a ":FETC?" reply: whatever the bytes, it reads within them, and a
// number it takes is finite and is what the C library's strtod makes of the same text (in the
// "C" locale; strtod's hexadecimal form, which the multimeter never sends and the reader takes
// as the 0 before its "x", aside); a reply it refuses leaves the previous reading.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "instruments/meters/multimetre.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string_view reponse(reinterpret_cast<const char *>(donnees), taille);
    constexpr double kAvant = -12345.5;
    double valeur = kAvant;
    if (!multi_lire_mesure(reponse, valeur)) {
        if (valeur != kAvant) __builtin_trap();
        return 0;
    }
    if (!std::isfinite(valeur)) __builtin_trap();
    // strtod reads a terminated copy: the text up to the first NUL, which cannot come before
    // the end of the number that was read.
    const std::string texte(reponse);
    std::size_t i = texte.find_first_not_of(" \t\r\n\v\f");
    if (i < texte.size() && (texte[i] == '+' || texte[i] == '-')) ++i;
    if (texte.compare(i, 1, "0") == 0 && i + 1 < texte.size() && (texte[i + 1] == 'x' || texte[i + 1] == 'X')) return 0;
    std::setlocale(LC_NUMERIC, "C");
    if (std::strtod(texte.c_str(), nullptr) != valeur) __builtin_trap();
    return 0;
}
