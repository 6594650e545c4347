// Windows-1252 <-> UTF-8 conversions at the edges of the program.
#include "platform/text.h"

#include <cstdio>

namespace texte {
namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
constexpr char32_t kPlage80[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

constexpr char32_t kRemplacement = 0xFFFD;

void AjouterUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {  // every code point reached here is in the Basic Multilingual Plane
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Windows-1252 byte of a code point, or '?' when it has none.
char OctetPour(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kPlage80[i] != 0 && kPlage80[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

bool Suite(unsigned char b) { return (b & 0xC0) == 0x80; }

constexpr char32_t kMalForme = 0xFFFFFFFF;

// The character that starts at `i` (moved past it), or kMalForme for one ill-formed piece: a
// byte that cannot start a sequence, or the longest start of a sequence that breaks off
// (decoding resumes at the byte that broke it), or a complete sequence that is overlong, a
// surrogate or beyond U+10FFFF.
char32_t Decoder(std::string_view utf8, std::size_t &i) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    std::size_t n;
    char32_t c;
    char32_t minimum;
    if (b >= 0xC2 && b <= 0xDF) { n = 2; c = b & 0x1F; minimum = 0x80; }
    else if ((b & 0xF0) == 0xE0) { n = 3; c = b & 0x0F; minimum = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 4; c = b & 0x07; minimum = 0x10000; }
    else {  // continuation byte out of place, C0, C1, F5..FF
        ++i;
        return kMalForme;
    }
    std::size_t k = 1;
    while (k < n && i + k < utf8.size() && Suite(static_cast<unsigned char>(utf8[i + k]))) {
        c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        ++k;
    }
    i += k;
    if (k < n || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kMalForme;
    return c;
}

std::string VersCp1252(std::string_view utf8, std::vector<char32_t> *sans_equivalent) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = Decoder(utf8, i);
        const char octet = c == kMalForme ? '?' : OctetPour(c);
        if (octet == '?' && c != '?' && c != kMalForme && sans_equivalent) sans_equivalent->push_back(c);
        out.push_back(octet);
    }
    return out;
}

}  // namespace

std::string Cp1252VersUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (const char ch : cp1252) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t c = b;
        if (b >= 0x80 && b <= 0x9F) c = kPlage80[b - 0x80] != 0 ? kPlage80[b - 0x80] : kRemplacement;
        AjouterUtf8(out, c);
    }
    return out;
}

std::string Utf8VersCp1252(std::string_view utf8) { return VersCp1252(utf8, nullptr); }

std::string Utf8VersCp1252(std::string_view utf8, std::vector<char32_t> &sans_equivalent) {
    return VersCp1252(utf8, &sans_equivalent);
}

bool EstUtf8(std::string_view octets) {
    bool au_dela_ascii = false;
    for (std::size_t i = 0; i < octets.size();) {
        const char32_t c = Decoder(octets, i);
        if (c == kMalForme) return false;
        au_dela_ascii = au_dela_ascii || c >= 0x80;
    }
    return au_dela_ascii;
}

std::string NomCaractere(char32_t c) {
    char t[16];
    std::snprintf(t, sizeof t, "U+%04X", static_cast<unsigned>(c));
    return t;
}

}  // namespace texte
