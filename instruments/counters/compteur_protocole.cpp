// The counters' replies (see compteur_protocole.h).
#include "instruments/counters/compteur_protocole.h"

#include "gpib/nombres.h"

#include <cstddef>
#include <limits>

namespace compteur {

namespace {

constexpr std::size_t kLongueurMax = 255;
// The white space a reply may hold around its number.
constexpr std::string_view kBlancs = " \t\n\v\f\r";

}  // namespace

Lecture AnalyserLecture(std::string_view octets) {
    // What a read brings, up to its first NUL.
    std::string_view texte = octets.substr(0, kLongueurMax);
    texte = texte.substr(0, texte.find('\0'));
    double v = 0.0;
    if (nombres::LireReel(texte, v) > 0) return {Lecture::Genre::Nombre, v};
    if (texte.find_first_not_of(kBlancs) != std::string_view::npos) return {Lecture::Genre::PasUnNombre, 0.0};
    return {};
}

double ValeurApres(const Lecture &lecture, double precedente, SansNombre sans_nombre) {
    switch (lecture.genre) {
    case Lecture::Genre::Rien: return std::numeric_limits<double>::quiet_NaN();
    case Lecture::Genre::PasUnNombre:
        return sans_nombre == SansNombre::Garder ? precedente : std::numeric_limits<double>::quiet_NaN();
    case Lecture::Genre::Nombre: return lecture.valeur;
    }
    return precedente;
}

}  // namespace compteur
