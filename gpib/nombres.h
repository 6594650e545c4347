// The number at the head of an instrument's reply, read the same way by every driver and plugin:
// in the C locale whatever the program's locale, without allocating, never past the text given.
//
// A decimal number is, after white space (space, tab, line feed, vertical tab, form feed,
// carriage return): an optional sign, digits with an optional point (at least one digit, before
// or after the point), then an exponent ("e" or "E", an optional sign, digits) when digits follow
// its letter; "1e" is the number 1 followed by the letter. No "inf", "nan" or hexadecimal form:
// the instruments report an overload or a value that is not a number as 9.9E37 or 9.91E37,
// which read as the numbers they are, and a reply that holds those words is unreadable.
// An integer is white space, an optional sign and at least one digit. What follows the number
// does not matter to the readers below: a caller that needs it looks past `fin`.
#pragma once

#include <cstddef>
#include <string_view>

namespace nombres {

// Where the number at the head of a text lies: its sign or first digit at `debut`, its end at
// `fin` (the white space before it is what lies before `debut`). Both 0 when no number stands
// there.
struct Etendue {
    std::size_t debut = 0;
    std::size_t fin = 0;
    bool Vide() const { return fin == 0; }
};
Etendue Reel(std::string_view texte);
Etendue Entier(std::string_view texte);

// The value of the number at the head of `texte`: the count of characters read (white space
// before the number included), or 0 when no number stands there or its value lies beyond the
// type's range; `v` is written only when a number was read.
std::size_t LireReel(std::string_view texte, double &v);
std::size_t LireEntier(std::string_view texte, long &v);
std::size_t LireEntier(std::string_view texte, int &v);
// In single precision, a number beyond the float range but within the double range gives the
// float it rounds to, an infinity or a zero (as strtof gives them); beyond double's, 0.
std::size_t LireReel(std::string_view texte, float &v);

}  // namespace nombres
