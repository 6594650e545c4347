// The sequencer on any script: ticks of the sequencer timer run it as during an acquisition in
// the sequencer mode, over a list of "Pilote bidon" and a calculator, with the channel tables
// and rings of a running acquisition: every tick ends (at most 1,000 lines each), and nothing
// reads or writes out of bounds. The record files a script opens stay in the target's own
// directory: the input's "/" are read as "_", so that "ouvrir" never names a file elsewhere.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "app/Interface.h"
#include "app/sequenceur.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/fuzz/banc_fuzz.h"
#include "uir/Interface.h"

namespace {

constexpr int kTicks = 4;

std::filesystem::path dossier;
std::filesystem::path script;

void Effacer() {
    std::error_code ignore;
    std::filesystem::remove_all(dossier, ignore);
}

// Every path of the command line made absolute (corpus directories and files, and the flags
// that name a path): the target works in a directory of its own.
void CheminsAbsolus(int argc, char **argv) {
    constexpr std::string_view kDrapeauxChemins[] = {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                                                     "-features_dir=", "-merge_control_file="};
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        std::string::size_type debut = 0;
        if (a.starts_with('-')) {
            for (const std::string_view d : kDrapeauxChemins)
                if (a.starts_with(d)) debut = d.size();
            if (debut == 0) continue;
        }
        const std::string chemin = a.substr(debut);
        if (chemin.empty() || chemin.starts_with('/')) continue;
        a = a.substr(0, debut) + std::filesystem::absolute(chemin).string();
        argv[k] = strdup(a.c_str());
    }
}

}  // namespace

// Before any input: absolute paths, then the directory of this process (removed at its exit),
// the fake clock, and pop-ups answered at once.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    CheminsAbsolus(*argc, *argv);
    dossier = std::filesystem::temp_directory_path() / ("banc-fuzz-seq-" + std::to_string(getpid()));
    std::filesystem::create_directories(dossier);
    std::filesystem::current_path(dossier);
    std::atexit(Effacer);
    script = dossier / "script.txt";
    horloge::UtiliserHorlogeFactice(1'700'000'000);
    ui_test::ActiverScript([](const std::string &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    std::string texte(reinterpret_cast<const char *>(donnees), taille);
    for (char &c : texte)
        if (c == '/') c = '_';
    if (std::FILE *f = std::fopen(script.c_str(), "wb")) {
        std::fwrite(texte.data(), 1, texte.size(), f);
        std::fclose(f);
    }
    {
        // A new list for every input: an instrument awaited by the previous script is gone.
        fuzz::Banc banc(liste_instru);
        banc.Ajouter("pilote_bidon.dll");
        banc.Ajouter("Calculatrice.dll");
        banc.Demarrer();
        fichier_sequenceur = std::fopen(script.c_str(), "rb");
        if (fichier_sequenceur == nullptr) __builtin_trap();
        Nouveau_script_sequenceur();
        acquisition_en_cours = 1;
        for (int k = 0; k < kTicks; ++k) {
            horloge::AvancerHorlogeFactice(1.0);
            CB_T_Seq(panel_timer, 0, EVENT_TIMER_TICK, nullptr, 0, 0);
        }
        acquisition_en_cours = 0;
        CB_T_Seq(panel_timer, 0, EVENT_TIMER_TICK, nullptr, 0, 0);  // clears a pending wait
        std::fclose(fichier_sequenceur);
        fichier_sequenceur = nullptr;
        Fermer_enregistrement(liste_instru);
        Marquer_donnees("", 0, 0);
        echantillons_demande = 0;
    }
    // The record files the script opened.
    for (const auto &e : std::filesystem::directory_iterator(dossier)) {
        std::error_code ignore;
        if (e.path() != script) std::filesystem::remove_all(e.path(), ignore);
    }
    return 0;
}
