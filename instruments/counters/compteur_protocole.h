// The counters' replies as the counter plugins read them: a pure parser, shared by the four
// plugins and fed arbitrary bytes by its fuzz target.
#pragma once

#include <string_view>

namespace compteur {

// What a reply says.
struct Lecture {
    enum class Genre {
        Rien,         // nothing, or only white space: the reading is missing
        PasUnNombre,  // text that does not begin with a number: the reply is unreadable
        Nombre,
    };
    Genre genre = Genre::Rien;
    double valeur = 0.0;
};

// Reads `octets` (a reply as received, not terminated) as every reply's number is read
// (nombres::LireReel, gpib/nombres.h): the text ends at its first NUL byte; leading white space,
// then a decimal number with its sign, a point always (whatever the program's locale). "inf",
// "nan" or a number beyond the double range make no number; "0x10" is the number 0 and what
// follows it. Only the first 255 bytes are looked at (the longest reply the plugins read).
Lecture AnalyserLecture(std::string_view octets);

// What a reply that is no number leaves in its channel.
enum class SansNombre {
    Garder,     // the previous value
    Manquante,  // a missing reading, as after a reply that brought nothing
};

// The value a channel holds after a reply: a missing reading is NaN (a gap in the records,
// never a made-up value), a reply that is no number leaves what `sans_nombre` says.
double ValeurApres(const Lecture &lecture, double precedente, SansNombre sans_nombre = SansNombre::Garder);

}  // namespace compteur
