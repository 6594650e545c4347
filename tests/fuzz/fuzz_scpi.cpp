// The simulated instruments' command parser and header patterns on any text: every program
// message splits into units, every pattern is built, and matching ends.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/scpi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string_view texte(reinterpret_cast<const char *>(donnees), taille);
    // The first line is a pattern, the rest a program message.
    const std::size_t fin = texte.find('\n');
    const std::string_view motif = texte.substr(0, fin);
    const std::string_view message = fin == std::string_view::npos ? std::string_view() : texte.substr(fin + 1);
    sim::scpi::TerminateurLibre(message);
    const std::vector<sim::scpi::Unite> unites = sim::scpi::Analyser(message);
    const sim::scpi::Motif m(motif);
    for (const sim::scpi::Unite &u : unites) {
        std::vector<int> suffixes;
        m.Correspond(u.chemin, suffixes);
    }
    return 0;
}
