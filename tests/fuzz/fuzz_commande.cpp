// The command interpreter on any script line: variable substitution never writes past the line,
// and an instrument command reaches exactly the instruments of that name, with a report that
// fits its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "framework/liste.h"

namespace {

int recus = 0;

void Nom(PInstrument *i, char *nom) { std::strcpy(nom, static_cast<const char *>(i->structure)); }
void Executer(PInstrument *, const char *chaine) {
    if (chaine == nullptr) __builtin_trap();
    ++recus;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    // The line as the sequencer holds it: at most 254 characters in a 255-byte buffer, with a
    // guard after it that nothing may touch.
    char tampon[kLongueurLigne + 16];
    std::memset(tampon, 0x5A, sizeof tampon);
    const std::size_t n = taille < kLongueurLigne - 1 ? taille : kLongueurLigne - 1;
    std::memcpy(tampon, donnees, n);
    tampon[n] = '\0';
    float variables[kNombreVariables];
    for (int k = 0; k < kNombreVariables; ++k) variables[k] = static_cast<float>(k * 1234.5 - 1e6);
    variables[3] = 1e38f;
    interpreter_variables(tampon, variables);
    for (std::size_t k = kLongueurLigne; k < sizeof tampon; ++k)
        if (tampon[k] != 0x5A) __builtin_trap();
    if (strnlen(tampon, kLongueurLigne) == kLongueurLigne) __builtin_trap();

    char nom_a[] = "Cellule";
    char nom_b[] = "cellule";
    PInstrument a{}, b{};
    a.structure = nom_a;
    b.structure = nom_b;
    a.get_nom_instru = b.get_nom_instru = Nom;
    a.execute = Executer;
    fichei nb{nullptr, "b", &b, 2, nullptr};
    fichei na{&nb, "a", &a, 1, nullptr};
    char message[kLongueurLigne + 16];
    std::memset(message, 0x5A, sizeof message);
    recus = 0;
    commander_appareil(tampon, message, &na);
    for (std::size_t k = kLongueurLigne; k < sizeof message; ++k)
        if (message[k] != 0x5A) __builtin_trap();
    if (recus > 1) __builtin_trap();
    return 0;
}
