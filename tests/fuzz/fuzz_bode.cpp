// The gain-phase analyser's "#A" trace blocks (instruments/analysers/bode_hp4194): whatever the
// analyser sends after a trace question ("#A", a big-endian byte count, 8-byte values, the two
// bytes that end the reply), the read ends (time-outs at once on the fake clock) and writes only
// the 401 values of its row, whole values only; a block that is not one leaves the row as it was
// and is not taken for a trace.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "instruments/analysers/bode_hp4194.h"
#include "tests/fuzz/bus_fuzz.h"

namespace {
constexpr int kPoints = 401;
constexpr double kGarde = -777.25;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static std::shared_ptr<sim::Enregistreur> appareil = fuzz::AppareilSurLeBus(23);
    static const int ud = ibdev(0, 23, 0, T10s, 1, 0);
    if (ud < 0) __builtin_trap();
    double ligne[kPoints + 2];
    for (double &v : ligne) v = kGarde;
    appareil->AjouterSortie(std::string(reinterpret_cast<const char *>(donnees), taille), true);
    const auto lu = bode_hp4194::bode_hp_read_trace(ud, "A", ligne);
    if (ligne[kPoints] != kGarde || ligne[kPoints + 1] != kGarde) __builtin_trap();
    // Not a block: nothing written.
    const bool bloc = taille >= 4 && std::memcmp(donnees, "#A", 2) == 0;
    if (!bloc) {
        for (const double v : ligne)
            if (v != kGarde) __builtin_trap();
        if (lu == bode_hp4194::Trace::Lue) __builtin_trap();
    }
    ibclr(ud);
    return 0;
}
