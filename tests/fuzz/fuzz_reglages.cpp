// Settings files through the load command of the main panel: any ".sav" file with any ".gen"
// beside it. The load refuses a damaged file whole, or builds one instrument per entry of a
// known type, each with its stored block or its defaults; the instruments it built then give
// their names and channels without reading or writing out of bounds, and are freed.
// The input: two bytes (little-endian) giving the length of the ".gen" part, that part, then
// the ".sav" file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/Interface.h"
#include "platform/ui.h"
#include "platform/ui_test.h"
#include "tests/fuzz/fichier_fuzz.h"
#include "uir/Interface.h"

namespace {

constexpr int kVoiesVues = 64;  // channels looked at per group: a damaged count may be huge

// A name written into a 256-byte buffer with a guard after it, which must stay untouched.
template <class F>
void Nom(F &&ecrire) {
    char tampon[256 + 16];
    std::memset(tampon, 0x5A, sizeof tampon);
    ecrire(tampon);
    for (std::size_t k = 256; k < sizeof tampon; ++k)
        if (tampon[k] != 0x5A) __builtin_trap();
}

void Examiner(PInstrument *p) {
    Nom([p](char *t) { p->get_nom_instru(p, t); });
    const auto Groupe = [p](int (*nombre)(PInstrument *), void (*nom)(PInstrument *, int, char *)) {
        if (!nombre || !nom) return;
        const int n = std::min(nombre(p), kVoiesVues);
        for (int voie = 1; voie <= n; ++voie) Nom([&](char *t) { nom(p, voie, t); });
    };
    Groupe(p->nb_voie_1D, p->get_nom_voie_1D);
    Groupe(p->nb_voie_calcul, p->get_nom_voie_calcul);
    Groupe(p->nb_voie2D, p->get_nom_voie2D);
    Groupe(p->nb_voie_calcul2D, p->get_nom_voie_calcul_2D);
    if (p->get_taille_voie2D && p->nb_voie2D)
        for (int voie = 1; voie <= std::min(p->nb_voie2D(p), kVoiesVues); ++voie) (void)p->get_taille_voie2D(p, voie);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool pret = (ui_test::ActiverScript([](const std::string &) {}), true);
    (void)pret;
    if (taille < 2) return 0;
    const std::size_t n_gen = std::min<std::size_t>(donnees[0] | (donnees[1] << 8), taille - 2);
    const std::string sav = fuzz::EcrireFichier(donnees + 2 + n_gen, taille - 2 - n_gen, ".sav");
    fuzz::EcrireFichier(donnees + 2, n_gen, ".sav.gen");
    ui_test::Repondre(ui_test::Popup::Fichier, VAL_EXISTING_FILE_SELECTED, sav);
    Prog_Charger_Fichier(0, 0, EVENT_COMMIT, nullptr, 0, 0);
    if (ui_test::ReponsesRestantes() != 0) __builtin_trap();  // the load always asks for its file
    for (fichei *n = liste_instru; n; n = n->suivant) Examiner(n->plugin);
    liste_instru = Effacer_liste_inst(liste_instru);
    return 0;
}
