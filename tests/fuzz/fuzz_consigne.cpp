// Set-point files of the synchronised mode: whatever a file holds, reading it never fails
// unsafely, and a set-point taken as valid names a file of the watched directory and has a
// period between 1 second and the duration.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/synchro.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    ConsigneBanc consigne;
    if (!Lire_consigne(std::string_view(reinterpret_cast<const char *>(donnees), taille), consigne)) return 0;
    if (!Nom_mesure_valide(consigne.nom)) __builtin_trap();
    if (consigne.periode < 1 || consigne.periode > consigne.duree) __builtin_trap();
    return 0;
}
