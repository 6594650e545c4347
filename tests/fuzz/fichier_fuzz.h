// What the fuzz targets share: the input written to a file of their own, for the parts of the
// program that read files by path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace fuzz {

// Writes the input to a file of this process (the same path at every call) and returns its path.
inline std::string EcrireFichier(const std::uint8_t *donnees, std::size_t taille, const char *extension) {
    const std::string chemin = "/tmp/banc-fuzz-" + std::to_string(getpid()) + extension;
    if (std::FILE *f = std::fopen(chemin.c_str(), "wb")) {
        if (taille > 0) std::fwrite(donnees, 1, taille, f);
        std::fclose(f);
    }
    return chemin;
}

}  // namespace fuzz
