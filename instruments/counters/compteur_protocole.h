// The counters' replies as the counter plugins read them: a pure parser, shared by the four
// plugins and fed arbitrary bytes by its fuzz target.
#pragma once

#include <string_view>

namespace compteur {

// What "%lf" makes of a reply.
struct Lecture {
    enum class Genre {
        Rien,         // nothing, or only white space: the reading is missing
        PasUnNombre,  // text that does not begin with a number
        Nombre,
    };
    Genre genre = Genre::Rien;
    double valeur = 0.0;
};

// Reads `octets` (a reply as received, not terminated) with "%lf" in the C locale, whatever the
// program's locale: the text ends at its first NUL byte; leading white space is skipped; then a
// decimal or hexadecimal number, an infinity or a not-a-number, with its sign. Only the first 255
// bytes are looked at (the longest reply the plugins read).
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
