// The concentration analyser's frames: the reading of any frame body is the number its decimal
// digits make, in order, every other byte ignored, and nothing once that number exceeds a signed
// 32-bit reading.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "instruments/bench/DGM110.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string_view corps(reinterpret_cast<const char *>(donnees), taille);
    const std::optional<std::int32_t> lecture = DGM110_lecture(corps);
    // The digits alone, without leading zeros.
    std::string chiffres;
    for (const char c : corps)
        if (c >= '0' && c <= '9' && !(chiffres.empty() && c == '0')) chiffres.push_back(c);
    const bool tient = chiffres.size() < 10 || (chiffres.size() == 10 && chiffres <= "2147483647");
    if (tient != lecture.has_value()) __builtin_trap();
    if (lecture && std::to_string(*lecture) != (chiffres.empty() ? "0" : chiffres)) __builtin_trap();
    return 0;
}
