// The counters' replies: any bytes read as a reading give a missing reading (nothing but white
// space before the first NUL), no number, or a number, and the channel then holds NaN, its
// previous value, or that number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "instruments/counters/compteur_protocole.h"

namespace {

bool Blanc(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool MemeValeur(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string_view octets(reinterpret_cast<const char *>(donnees), taille);
    const compteur::Lecture l = compteur::AnalyserLecture(octets);
    // What a reading looks at: up to 255 bytes, up to the first NUL.
    std::string_view texte = octets.substr(0, 255);
    texte = texte.substr(0, texte.find('\0'));
    bool blanc = true;
    for (const char c : texte) blanc = blanc && Blanc(c);
    if ((l.genre == compteur::Lecture::Genre::Rien) != blanc) __builtin_trap();
    constexpr double kPrecedente = 1234.5;
    const double apres = compteur::ValeurApres(l, kPrecedente);
    switch (l.genre) {
    case compteur::Lecture::Genre::Rien:
        if (!std::isnan(apres)) __builtin_trap();
        break;
    case compteur::Lecture::Genre::PasUnNombre:
        if (apres != kPrecedente) __builtin_trap();
        break;
    case compteur::Lecture::Genre::Nombre:
        if (!MemeValeur(apres, l.valeur)) __builtin_trap();
        break;
    }
    return 0;
}
