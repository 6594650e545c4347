// The curve fitter's formulas: whatever text the formula and the names of the unknown and of
// the parameters hold (a settings block may leave them without a terminator), a start either
// refuses it or fits the vector of "Pilote bidon" sample after sample, never reading or writing
// outside its block. Its refusals are pop-ups, answered at once. libmatheval leaks what it built
// of a formula that does not parse (tests/fuzz/lsan.supp).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/ui_test.h"
#include "tests/fuzz/banc_fuzz.h"

namespace {

// Text fields of the fitter's settings block: the formula, then the unknown's and the four
// parameters' names (see instruments/computed/fitter.h).
struct Champ {
    std::size_t offset, taille;
};
constexpr Champ kChamps[] = {{158, 500}, {658, 5}, {663, 5}, {712, 5}, {760, 5}, {808, 5}};
constexpr std::size_t kTatooVoieFit = 128;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool pret = (ui_test::ActiverScript([](const std::string &) {}), true);
    (void)pret;
    fichei *liste = nullptr;
    fuzz::Banc banc(liste);
    banc.Ajouter("pilote_bidon.dll");  // tatoo 1: its vector channel is the one fitted
    PInstrument *f = banc.Ajouter("fitter.dll");
    void *debut = nullptr, *fin = nullptr;
    unsigned octets = 0;
    unsigned char drapeau = 255;
    f->get_memory(f, &debut, &fin, &octets, &drapeau);
    auto *bloc = static_cast<unsigned char *>(debut);
    std::memcpy(bloc + kTatooVoieFit, "1;1", 4);
    // The input fills the fields in turn, each up to a NUL byte or the field's end.
    std::size_t lu = 0;
    for (const Champ &c : kChamps) {
        std::memset(bloc + c.offset, 0, c.taille);
        std::size_t n = 0;
        while (lu < taille && donnees[lu] != 0 && n < c.taille) bloc[c.offset + n++] = donnees[lu++];
        if (lu < taille && donnees[lu] == 0) ++lu;
    }
    if (!banc.Demarrer()) return 0;
    for (int k = 0; k < 3; ++k) {
        Echantilloner(liste);
        for (int voie = 1; voie <= f->nb_voie_calcul(f); ++voie) (void)f->mesure_calcul(f, voie);
    }
    return 0;
}
