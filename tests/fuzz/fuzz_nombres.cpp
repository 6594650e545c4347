// The number at the head of a reply (gpib/nombres.h): whatever the text, the number found lies
// within it after white space only, every reader takes exactly that number, and its value is the
// one strtod gives for the same characters in the C locale (correctly rounded), a double never
// beyond its range.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "gpib/nombres.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool c = std::setlocale(LC_ALL, "C") != nullptr;
    (void)c;
    const std::string_view texte(reinterpret_cast<const char *>(donnees), taille);
    for (const nombres::Etendue e : {nombres::Reel(texte), nombres::Entier(texte)}) {
        if (e.Vide()) {
            if (e.debut != 0) __builtin_trap();
            continue;
        }
        if (e.debut >= e.fin || e.fin > taille) __builtin_trap();
        for (std::size_t i = 0; i < e.debut; ++i)
            if (std::strchr(" \t\n\v\f\r", texte[i]) == nullptr || texte[i] == '\0') __builtin_trap();
    }
    const nombres::Etendue reel = nombres::Reel(texte), entier = nombres::Entier(texte);
    if (!entier.Vide() && (reel.Vide() || reel.fin < entier.fin)) __builtin_trap();  // an integer is a number

    double d = 0.0;
    const std::size_t lus_double = nombres::LireReel(texte, d);
    if (lus_double != 0) {
        if (lus_double != reel.fin || !std::isfinite(d)) __builtin_trap();
        const std::string nombre(texte.substr(reel.debut, reel.fin - reel.debut));
        char *fin = nullptr;
        const double attendu = std::strtod(nombre.c_str(), &fin);
        if (fin != nombre.c_str() + nombre.size() || attendu != d) __builtin_trap();
    }
    // In single precision, every number within double's range is read (an infinity or a zero
    // beyond float's), and nothing else.
    float f = 0.0f;
    const std::size_t lus_float = nombres::LireReel(texte, f);
    if (lus_float != (lus_double != 0 ? reel.fin : 0)) __builtin_trap();
    long l = 0;
    if (const std::size_t lus = nombres::LireEntier(texte, l))
        if (lus != entier.fin) __builtin_trap();
    int n = 0;
    if (nombres::LireEntier(texte, n) != 0 && (static_cast<long>(n) != l)) __builtin_trap();
    return 0;
}
