// The acquisition board's frames: any 20 bytes decode into two 16-bit and four 32-bit counts
// which, written back most significant byte first, give the same 20 bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "instruments/bench/VEXO.h"

namespace {

void Ecrire(unsigned char *o, std::uint32_t v, int octets) {
    for (int i = 0; i < octets; ++i) o[i] = static_cast<unsigned char>(v >> (8 * (octets - 1 - i)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    std::array<unsigned char, kTailleTrameVexo> trame{};
    std::memcpy(trame.data(), donnees, taille < trame.size() ? taille : trame.size());
    const vexo_data d = VEXO_lire_trame(trame);
    std::array<unsigned char, kTailleTrameVexo> relue{};
    Ecrire(&relue[0], static_cast<std::uint16_t>(d.epsilon_1), 2);
    Ecrire(&relue[2], static_cast<std::uint16_t>(d.epsilon_2), 2);
    const std::int32_t comptes[] = {d.freq_1, d.freq_2, d.freq_3, d.freq_4};
    for (int k = 0; k < 4; ++k) Ecrire(&relue[4 + 4 * k], static_cast<std::uint32_t>(comptes[k]), 4);
    if (relue != trame) __builtin_trap();
    return 0;
}
