// Text fields of settings blocks, and the instrument name that every plugin keeps in one.
//
// A plugin's settings block stores its texts in fixed-width char fields, and the settings file
// stores the block raw. A block loaded from a file may fill a field to its last byte without a
// terminator, so every read here is bounded by the field; every write leaves a terminator and
// zeros after the text, so that the same settings always save to the same bytes.
#pragma once

#include "framework/instrument.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

// Characters of an instrument name: 39 (kLongueurNomInstru with its terminator).
constexpr std::size_t kNomInstruMax = kLongueurNomInstru - 1;

// The text of a field: at most N-1 characters, even when a loaded block holds no terminator.
template <std::size_t N>
std::string_view TexteChamp(const char (&champ)[N]) {
    return std::string_view(champ, strnlen(champ, N - 1));
}

// Writes at most N-1 characters of `texte` into a field; the rest of the field is zero-filled.
template <std::size_t N>
void EcrireChamp(char (&champ)[N], std::string_view texte) {
    const std::size_t n = std::min(texte.size(), N - 1);
    std::memcpy(champ, texte.data(), n);
    std::memset(champ + n, 0, N - n);
}

// Copies the text of a field, terminated, into `dest` (N bytes at least): for the calls that
// take a C string, such as a channel reference handed to get_buffer_from_tatoo.
template <std::size_t N>
void CopierChamp(const char (&champ)[N], char *dest) {
    const std::string_view texte = TexteChamp(champ);
    std::memcpy(dest, texte.data(), texte.size());
    dest[texte.size()] = '\0';
}

// ---- the instrument name ------------------------------------------------------------------
// Every plugin keeps its instance's name in a field of its settings block (128 bytes in the
// plugins so far), of which only the first 39 characters are a name.

// get_nom_instru: the name into `nom_instru` (kLongueurNomInstru bytes), at most 39 characters
// and the terminator, even when a loaded block holds no terminator.
template <std::size_t N>
void LireNomInstrument(const char (&champ)[N], char *nom_instru) {
    static_assert(N >= kLongueurNomInstru, "a name field holds 39 characters and a terminator");
    const std::string_view nom = TexteChamp(champ).substr(0, kNomInstruMax);
    std::memcpy(nom_instru, nom.data(), nom.size());
    nom_instru[nom.size()] = '\0';
}

// What set_nom_instru writes into the name field beyond the name's 40 bytes. Each plugin keeps
// the rule its settings files were written with, so that a block loaded and renamed saves to
// the same bytes as before.
enum class ApresLeNom {
    Intact,  // bytes 40 and beyond stay as they are (as a load left them)
    Zero,    // the whole field is written: zeros up to its end
};

// set_nom_instru: the first 39 bytes of `nom_instru`, then zeros up to the terminator at
// position 39 (and, with ApresLeNom::Zero, to the end of the field). A null name changes
// nothing.
template <std::size_t N>
void EcrireNomInstrument(char (&champ)[N], const char *nom_instru,
                         ApresLeNom apres = ApresLeNom::Intact) {
    static_assert(N >= kLongueurNomInstru, "a name field holds 39 characters and a terminator");
    if (!nom_instru) return;
    const std::size_t n = strnlen(nom_instru, kNomInstruMax);
    const std::size_t fin = apres == ApresLeNom::Zero ? N : static_cast<std::size_t>(kLongueurNomInstru);
    std::memcpy(champ, nom_instru, n);
    std::memset(champ + n, 0, fin - n);
}
