// The calculator's reverse-Polish formulas: any text in the formula field (a settings block may
// leave it without a terminator) evaluates to a number or the missing value, and never reads or
// writes outside the block and its stack.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/instrument.h"
#include "instruments/catalogue.h"

namespace {
constexpr std::size_t kChampFormule = 100;  // the formula field opens the block
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static PInstrument *calculatrice = Nouvel_instrument("Calculatrice.dll");
    if (calculatrice == nullptr) __builtin_trap();
    void *debut = nullptr;
    void *fin = nullptr;
    unsigned octets = 0;
    unsigned char flag = 255;
    calculatrice->get_memory(calculatrice, &debut, &fin, &octets, &flag);
    auto *formule = static_cast<unsigned char *>(debut);
    std::memset(formule, 0, kChampFormule);
    std::memcpy(formule, donnees, std::min(taille, kChampFormule));
    calculatrice->calculer_1D(calculatrice);
    (void)calculatrice->mesure_calcul(calculatrice, 1);
    return 0;
}
