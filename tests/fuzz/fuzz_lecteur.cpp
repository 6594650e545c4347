// The key=value reader on any file: lists stay consistent and every lookup answers.
#include <cstddef>
#include <cstdint>

#include "settings/reader.h"
#include "tests/fuzz/fichier_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string chemin = fuzz::EcrireFichier(donnees, taille, ".gen");
    reader_lists table;
    reader_init(&table);
    if (reader_load_file(chemin.c_str(), &table) != 1) __builtin_trap();
    // Every key read is found again, under its kind.
    int entier = 0;
    double reel = 0.0;
    for (int k = 0; k < table.int_N; ++k)
        if (reader_find_int(table.int_words[k], &table, &entier) != 1) __builtin_trap();
    for (int k = 0; k < table.double_N; ++k)
        if (reader_find_double(table.double_words[k], &table, &reel) != 1) __builtin_trap();
    for (int k = 0; k < table.string_N; ++k)
        if (reader_return_string(table.string_words[k], &table) == nullptr) __builtin_trap();
    reader_find_double("frequence_ech", &table, &reel);
    reader_free(&table);
    return 0;
}
