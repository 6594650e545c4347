// The network analyser's trace blocks (instruments/network/Analyseur_reseau): the point count
// of an "ONCP" reply, the fields of a block's payload, and whole blocks read from the bus
// ("#", the digit count, the length, the payload) whatever the analyser sends. A count is -1 or
// within 1..kAnritsuPointsMax; a refused block leaves the series as they were; nothing is read
// or written past the series of `count` points; every read ends (time-outs at once on the fake
// clock). The first byte picks the count and the layout, the rest is the reply.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/network/Analyseur_reseau.h"
#include "instruments/network/analyseur_commandes.h"
#include "tests/fuzz/bus_fuzz.h"

namespace {

constexpr double kGarde = -777.25;

// A series of `count` points with two guard values after it.
std::vector<double> Serie(int count) { return std::vector<double>(static_cast<std::size_t>(count) + 2, kGarde); }
void Garde(const std::vector<double> &serie, int count) {
    for (std::size_t k = static_cast<std::size_t>(count); k < serie.size(); ++k)
        if (serie[k] != kGarde) __builtin_trap();
}
bool Intacte(const std::vector<double> &serie) {
    return std::all_of(serie.begin(), serie.end(), [](double v) { return v == kGarde; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static std::shared_ptr<sim::Enregistreur> appareil = fuzz::AppareilSurLeBus(6);
    static const int ud = ibdev(0, 6, 0, T10s, 1, 0);
    if (ud < 0) __builtin_trap();
    if (taille == 0) return 0;
    const std::string reponse(reinterpret_cast<const char *>(donnees + 1), taille - 1);
    const int count = 1 + donnees[0] % 16;
    const int pas = 1 + (donnees[0] >> 4) % 16;

    const int points = anritsu_parse_point_count(reponse);
    if (points != -1 && (points < 1 || points > kAnritsuPointsMax)) __builtin_trap();

    std::vector<double> serie = Serie(count);
    const bool converti = anritsu_convert_fields(reponse, count, pas, donnees[0] % 3, serie.data());
    Garde(serie, count);
    if (!converti && !Intacte(serie)) __builtin_trap();

    std::vector<double> une = Serie(count);
    appareil->AjouterSortie(reponse, true);
    if (!anritsu_read_block("OFD", ud, count, une.data()) && !Intacte(une)) __builtin_trap();
    Garde(une, count);
    ibclr(ud);

    std::vector<double> premiere = Serie(count), seconde = Serie(count);
    appareil->AjouterSortie(reponse, true);
    if (!anritsu_read_block_pairs("OCD", ud, count, premiere.data(), seconde.data()) &&
        !(Intacte(premiere) && Intacte(seconde)))
        __builtin_trap();
    Garde(premiere, count);
    Garde(seconde, count);
    ibclr(ud);
    return 0;
}
