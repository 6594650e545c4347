// The network analyser's texts: a command of `execute` translated whatever its bytes (never past
// its terminator, nor past 254 characters), into writes the analyser's command set knows or a
// trace-file name fit for its disk; and read-back replies converted within their first 30 bytes
// into finite values, each code translated to an item the panel has or to none.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "instruments/network/analyseur_commandes.h"

namespace {

bool EcritureConnue(const std::string &e) {
    if (e == "FGT" || e == "FQD" || e == "TBP" || e == std::string("GON\0", 4) || e == std::string("GOF\0", 4))
        return true;
    // A limit: mnemonic, one blank, "%e" of a finite value.
    for (const char *m : {"GST ", "GSP ", "ZST ", "ZSP "}) {
        if (e.rfind(m, 0) != 0) continue;
        if (e.size() > 29) return false;
        char *fin = nullptr;
        const double v = std::strtod(e.c_str() + 4, &fin);
        return std::isfinite(v) && *fin == '\0' && fin != e.c_str() + 4;
    }
    // A display command, with its NUL but for one.
    if (e.rfind("CH1;S", 0) != 0) return false;
    const std::string sans_nul = !e.empty() && e.back() == '\0' ? e.substr(0, e.size() - 1) : e;
    if ((sans_nul == "CH1;S11;MAG") != (sans_nul.size() == e.size())) return false;
    return sans_nul.size() == 11 && sans_nul[7] == ';';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    const std::string brut(reinterpret_cast<const char *>(donnees), taille);
    const std::string chaine = brut.c_str();  // what `execute` receives: a terminated text
    const int configuration = taille > 0 ? donnees[0] % 9 - 1 : 0;
    const CommandeAnritsu c = anritsu_traduire_commande(chaine.c_str(), configuration);
    if (chaine.size() > kAnritsuCommandeMax && (!c.ecritures.empty() || !c.fichier.empty())) __builtin_trap();
    if (!c.fichier.empty() && !c.ecritures.empty()) __builtin_trap();
    if (c.ecritures.size() > 2) __builtin_trap();
    for (const std::string &e : c.ecritures)
        if (!EcritureConnue(e)) __builtin_trap();
    if (c.fichier.size() > kAnritsuNomFichierMax || c.fichier.find('"') != std::string::npos) __builtin_trap();
    for (const char ch : c.fichier)
        if (std::islower(static_cast<unsigned char>(ch)) || std::isspace(static_cast<unsigned char>(ch))) __builtin_trap();

    int code = 0;
    if (anritsu_reponse_entier(brut, code)) {
        for (const LectureAnritsu l : {LectureAnritsu::Porte, LectureAnritsu::Format, LectureAnritsu::Domaine,
                                       LectureAnritsu::Parametre}) {
            const int v = anritsu_valeur_controle(l, code);
            if (v < -1 || v > 6 || v == 0) __builtin_trap();
        }
    }
    float nombre = 0.0f;
    if (anritsu_reponse_nombre(brut, nombre) && !std::isfinite(nombre)) __builtin_trap();
    return 0;
}
