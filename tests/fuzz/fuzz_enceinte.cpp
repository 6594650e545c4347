// The thermal chamber's protocol: a process-value reply read whatever its bytes (never past its
// first 30), a value it gives being "PV" and the number every reply's reader reads from the text
// that follows the reply's first byte, up to the next ETX; and the set-point frame of any float: refused for a value that is not
// finite, otherwise at most 29 bytes, framed and checked as the controller expects, its payload
// giving back the value to a tenth.
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
#include "instruments/bench/enceinte_thermique.h"

namespace {

void Reponse(std::string_view reponse) {
    const std::optional<float> v = enc_ther_analyser_PV(reponse);
    // The text from the second byte of the 30 read, up to its first ETX (or NUL).
    std::string texte(reponse.substr(0, 30).substr(reponse.empty() ? 0 : 1));
    const std::size_t fin = texte.find_first_of(std::string("\x03\0", 2));
    if (fin != std::string::npos) texte.resize(fin);
    if (texte.compare(0, 2, "PV") != 0) {
        if (v) __builtin_trap();
        return;
    }
    float attendu = 0.0f;
    const bool lu = nombres::LireReel(std::string_view(texte).substr(2), attendu) > 0;
    if (lu != v.has_value()) __builtin_trap();
    if (lu && (std::isnan(*v) || *v != attendu)) __builtin_trap();
}

void Consigne(float consigne) {
    const std::optional<std::string> trame = enc_ther_trame_consigne(consigne);
    if (!std::isfinite(consigne)) {
        if (trame) __builtin_trap();
        return;
    }
    if (!trame) {
        if (std::fabs(consigne) < 1e14f) __builtin_trap();  // such values always fit
        return;
    }
    const std::string &t = *trame;
    if (t.size() > kEncTherTrameMax || t.size() < 9 + 7) __builtin_trap();
    if (t.compare(0, 8, "\x04" "0011\x02SL") != 0 || t[t.size() - 3] != '\x03' || t.back() != '\r') __builtin_trap();
    const std::string charge = t.substr(6, t.size() - 9);
    char controle = 0x03;
    for (const char c : charge) controle = static_cast<char>(controle ^ c);
    if (controle != t[t.size() - 2]) __builtin_trap();
    const double relu = std::strtod(charge.c_str() + 2, nullptr);
    if (std::fabs(relu - static_cast<double>(consigne)) > 0.05 + std::fabs(relu) * 1e-15) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    std::setlocale(LC_NUMERIC, "C");
    Reponse(std::string_view(reinterpret_cast<const char *>(donnees), taille));
    if (taille >= sizeof(float)) {
        float consigne = 0.0f;
        std::memcpy(&consigne, donnees, sizeof consigne);
        Consigne(consigne);
    }
    return 0;
}
