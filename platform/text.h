// Text inside the program is single-byte Windows-1252 (names, markers, file texts: "é" is the
// byte 0xE9). These helpers convert at the edges (the screen, UTF-8 files) and turn accented
// literals of the source (UTF-8) into Windows-1252 at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace texte {

// Windows-1252 -> UTF-8. The five bytes that Windows-1252 leaves undefined map to U+FFFD.
std::string Cp1252VersUtf8(std::string_view cp1252);
// UTF-8 -> Windows-1252. A character Windows-1252 lacks, or a malformed sequence, becomes '?'.
std::string Utf8VersCp1252(std::string_view utf8);
// The same; each well-formed character that Windows-1252 lacks is also appended to
// `sans_equivalent` as its code point.
std::string Utf8VersCp1252(std::string_view utf8, std::vector<char32_t> &sans_equivalent);
// True when `octets` is well-formed UTF-8 holding at least one character beyond ASCII: the text
// of a file that a UTF-8 editor wrote. Windows-1252 text with accents practically never is (its
// accented letters are lone bytes of 0x80 and above, which UTF-8 never has), and pure ASCII
// reads the same either way.
bool EstUtf8(std::string_view octets);
// The encoding of U+FEFF that some editors put at the start of a UTF-8 file: no part of its text.
inline constexpr std::string_view kMarqueUtf8 = "\xEF\xBB\xBF";
// "U+00E9": a code point as the status list names a character it cannot show.
std::string NomCaractere(char32_t c);

namespace detail {
template <std::size_t N>
struct LitteralUtf8 {
    char octets[N]{};
    consteval LitteralUtf8(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) octets[i] = s[i];
    }
};
// Windows-1252 byte of a code point, 0 when it has none (also a compile-time error below).
// Only called at compile time, from VersCp1252.
constexpr unsigned char OctetCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    constexpr char32_t table[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (table[i] == c && c != 0) return static_cast<unsigned char>(0x80 + i);
    return 0;
}
template <LitteralUtf8 S>
consteval auto VersCp1252() {
    std::array<char, sizeof(S.octets)> out{};
    std::size_t o = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.octets);) {
        const auto b = static_cast<unsigned char>(S.octets[i]);
        char32_t c;
        int n;
        if (b < 0x80) { c = b; n = 1; }
        else if ((b >> 5) == 0x6) { c = b & 0x1F; n = 2; }
        else if ((b >> 4) == 0xE) { c = b & 0x0F; n = 3; }
        else { c = b & 0x07; n = 4; }
        for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(S.octets[i + k]) & 0x3F);
        const unsigned char w = OctetCp1252(c);
        if (w == 0 && c != 0) throw "character without a Windows-1252 byte";
        out[o++] = static_cast<char>(w);
        i += static_cast<std::size_t>(n);
    }
    return out;
}
template <LitteralUtf8 S>
inline constexpr auto stocke = VersCp1252<S>();
}  // namespace detail

}  // namespace texte

// "Durée écoulée"_w is the Windows-1252 text "Dur\xE9e \xE9coul\xE9e" (a const char *).
// The literal's characters arrive as a pack (a GNU form that both GCC and Clang accept), so
// that the literal may stand anywhere, braced initialiser lists included.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wgnu-string-literal-operator-template"
#endif
template <typename C, C... octets>
constexpr const char *operator""_w() {
    return texte::detail::stocke<texte::detail::LitteralUtf8<sizeof...(octets) + 1>({octets..., '\0'})>.data();
}
#pragma GCC diagnostic pop
