// The counters' replies (see compteur_protocole.h).
#include "instruments/counters/compteur_protocole.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <limits>

#include <locale.h>

namespace compteur {

namespace {

constexpr std::size_t kLongueurMax = 255;

// The C locale, whatever the program's: a reply is never read with a decimal comma.
locale_t LocaleC() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

Lecture AnalyserLecture(std::string_view octets) {
    char texte[kLongueurMax + 1];
    const std::size_t n = octets.size() < kLongueurMax ? octets.size() : kLongueurMax;
    std::memcpy(texte, octets.data(), n);
    texte[n] = '\0';
    // "%lf" itself, in the C locale of this thread only (other threads keep theirs).
    const locale_t avant = uselocale(LocaleC());
    double v = 0.0;
    const int lus = std::sscanf(texte, "%lf", &v);
    uselocale(avant);
    if (lus == EOF) return {};
    if (lus == 0) return {Lecture::Genre::PasUnNombre, 0.0};
    return {Lecture::Genre::Nombre, v};
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
