// The temperature regulator's protocol: a report's temperature read from any bytes (never past
// their first 50, a NUL ending the text) as every reply's number is read, 0 without one; and
// the set-point message of any double: refused for a value that is not finite or whose text does
// not fit, otherwise at most 9 bytes, two decimals and two CRs, giving back the value to within
// half a hundredth.
#include <clocale>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "gpib/nombres.h"
#include "instruments/bench/Regul_Acoustic.h"

namespace {

void Rapport(std::string_view texte) {
    const double v = Regul_Acoustic_temperature(texte);
    std::string t(texte.substr(0, 50));
    t.resize(std::strlen(t.c_str()));
    double attendu = 0.0;
    nombres::LireReel(t, attendu);
    if (!std::isfinite(v) || v != attendu) __builtin_trap();
}

void Consigne(double consigne) {
    const std::optional<std::string> message = Regul_Acoustic_message_consigne(consigne);
    if (!message) {
        char t[400];
        const int n = std::snprintf(t, sizeof t, "%.2f", consigne);
        if (std::isfinite(consigne) && n <= 7) __builtin_trap();  // a set-point that fits was refused
        return;
    }
    const std::string &m = *message;
    if (!std::isfinite(consigne) || m.size() > 9 || m.size() < 6) __builtin_trap();
    if (m.compare(m.size() - 2, 2, "\r\r") != 0) __builtin_trap();
    const std::string valeur = m.substr(0, m.size() - 2);
    if (valeur.size() < 4 || valeur[valeur.size() - 3] != '.') __builtin_trap();
    if (valeur.find_first_not_of("-0123456789.") != std::string::npos) __builtin_trap();
    char *fin = nullptr;
    const double relu = std::strtod(valeur.c_str(), &fin);
    if (*fin != '\0' || std::fabs(relu - consigne) > 0.005 + 1e-9 * std::fabs(consigne)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool c = std::setlocale(LC_ALL, "C") != nullptr;
    (void)c;
    const std::string_view octets(reinterpret_cast<const char *>(donnees), taille);
    Rapport(octets);
    if (taille >= sizeof(double)) {
        double consigne;
        std::memcpy(&consigne, donnees, sizeof consigne);
        Consigne(consigne);
    }
    return 0;
}
