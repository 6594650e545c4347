// The number at the head of an instrument's reply (see nombres.h).
#include "gpib/nombres.h"

#include <charconv>
#include <system_error>

namespace nombres {

namespace {

bool Blanc(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool Chiffre(char c) { return c >= '0' && c <= '9'; }

std::size_t Blancs(std::string_view t, std::size_t i) {
    while (i < t.size() && Blanc(t[i])) ++i;
    return i;
}
std::size_t Signe(std::string_view t, std::size_t i) {
    return i < t.size() && (t[i] == '+' || t[i] == '-') ? i + 1 : i;
}
std::size_t Chiffres(std::string_view t, std::size_t i) {
    while (i < t.size() && Chiffre(t[i])) ++i;
    return i;
}

// from_chars over the number of `e`, a plus sign left out (it takes a minus sign only): the
// value when the whole number converts within the range of T.
template <class T>
bool Convertir(std::string_view t, Etendue e, T &v) {
    if (e.Vide()) return false;
    const char *debut = t.data() + e.debut + (t[e.debut] == '+' ? 1 : 0);
    const char *fin = t.data() + e.fin;
    const auto [apres, erreur] = std::from_chars(debut, fin, v);
    return erreur == std::errc{} && apres == fin;
}

template <class T>
std::size_t LireEntierT(std::string_view t, T &v) {
    const Etendue e = Entier(t);
    T lu{};
    if (!Convertir(t, e, lu)) return 0;
    v = lu;
    return e.fin;
}

}  // namespace

Etendue Reel(std::string_view t) {
    const std::size_t debut = Blancs(t, 0);
    const std::size_t entiers = Signe(t, debut);
    std::size_t i = Chiffres(t, entiers);
    std::size_t chiffres = i - entiers;
    if (i < t.size() && t[i] == '.') {
        const std::size_t decimales = i + 1;
        i = Chiffres(t, decimales);
        chiffres += i - decimales;
    }
    if (chiffres == 0) return {};
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        const std::size_t exposant = Signe(t, i + 1);
        const std::size_t fin = Chiffres(t, exposant);
        if (fin > exposant) i = fin;
    }
    return {debut, i};
}

Etendue Entier(std::string_view t) {
    const std::size_t debut = Blancs(t, 0);
    const std::size_t chiffres = Signe(t, debut);
    const std::size_t fin = Chiffres(t, chiffres);
    if (fin == chiffres) return {};
    return {debut, fin};
}

std::size_t LireReel(std::string_view t, double &v) {
    const Etendue e = Reel(t);
    double lu = 0.0;
    if (!Convertir(t, e, lu)) return 0;
    v = lu;
    return e.fin;
}

std::size_t LireReel(std::string_view t, float &v) {
    const Etendue e = Reel(t);
    float lu = 0.0f;
    if (!Convertir(t, e, lu)) {
        // Beyond single precision: the float that the double rounds to.
        double d = 0.0;
        if (!Convertir(t, e, d)) return 0;
        lu = static_cast<float>(d);
    }
    v = lu;
    return e.fin;
}

std::size_t LireEntier(std::string_view t, long &v) { return LireEntierT(t, v); }
std::size_t LireEntier(std::string_view t, int &v) { return LireEntierT(t, v); }

}  // namespace nombres
