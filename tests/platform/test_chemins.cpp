// Paths of the program are Windows-1252 (as the file choosers give them); files on disk carry
// their names in UTF-8.
#include "platform/text.h"
#include "platform/utility.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

TEST(Chemins, AccentedNamesReachTheFileSystemInUtf8) {
    const std::filesystem::path dossier = std::filesystem::temp_directory_path() / "banc_chemins_essai";
    std::filesystem::remove_all(dossier);
    std::filesystem::create_directories(dossier);
    const std::string base = dossier.string() + "/";

    const std::string cree = base + "mesure_\xE9t\xE9.xls";  // "mesure_été.xls" in Windows-1252
    std::FILE *f = OuvrirFichier(cree.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("x", f);
    std::fclose(f);
    EXPECT_TRUE(std::filesystem::exists(dossier / "mesure_été.xls"));

    const std::string recu = base + "re\xE7u.ent";  // "reçu.ent"
    EXPECT_EQ(RenameFile(cree.c_str(), recu.c_str()), 0);
    EXPECT_TRUE(std::filesystem::exists(dossier / "reçu.ent"));
    EXPECT_EQ(CVI_DeleteFile(recu.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dossier / "reçu.ent"));
    std::filesystem::remove_all(dossier);
}

}  // namespace
