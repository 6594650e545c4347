// The layers of the program depend on each other in one direction only: the run-time layer
// (platform/) knows nothing of the program, and the framework (framework/) reaches plugins only
// through their tables and the display only through the main panel's hooks. These tests read
// the include lines of the source tree.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Source files of `dossier` (relative to the source tree) whose include lines name a header
// under one of `interdits`, as "file: line".
std::vector<std::string> InclusionsInterdites(const std::string &dossier,
                                              const std::vector<std::string> &interdits) {
    std::vector<std::string> trouvees;
    for (const auto &e : fs::recursive_directory_iterator(fs::path(BANC_SOURCE_DIR) / dossier)) {
        const std::string ext = e.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        std::ifstream f(e.path());
        std::string ligne;
        while (std::getline(f, ligne)) {
            const auto debut = ligne.find_first_not_of(" \t");
            if (debut == std::string::npos || ligne.compare(debut, 8, "#include") != 0) continue;
            for (const std::string &d : interdits)
                if (ligne.find("\"" + d + "/") != std::string::npos)
                    trouvees.push_back(e.path().filename().string() + ": " + ligne);
        }
    }
    return trouvees;
}

TEST(Dependances, LaCoucheDExecutionNeConnaitPasLeProgramme) {
    EXPECT_EQ(InclusionsInterdites("platform", {"framework", "instruments", "graphs", "app", "sim",
                                                "settings", "gpib"}),
              std::vector<std::string>{});
}

TEST(Dependances, LeNoyauNeConnaitNiLesPluginsNiLAffichageNiLeBancSimule) {
    EXPECT_EQ(InclusionsInterdites("framework", {"instruments", "graphs", "app", "sim", "settings"}),
              std::vector<std::string>{});
}

TEST(Dependances, LesAidesGpibNeDependentQueDeLaCoucheDExecution) {
    EXPECT_EQ(InclusionsInterdites("gpib", {"framework", "instruments", "graphs", "app", "sim", "settings"}),
              std::vector<std::string>{});
    // No part of the GPIB helpers is switched on or off by what else happens to be built.
    for (const auto &e : fs::directory_iterator(fs::path(BANC_SOURCE_DIR) / "gpib")) {
        std::ifstream f(e.path());
        const std::string texte((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        EXPECT_EQ(texte.find("__has_include"), std::string::npos) << e.path().filename();
    }
}

}  // namespace
