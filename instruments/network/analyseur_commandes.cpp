// The network analyser's texts and numbers (see analyseur_commandes.h): pure translations, no
// bus, no record.
#include "instruments/network/analyseur_commandes.h"

#include "gpib/nombres.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// ---- measurement configuration -----------------------------------------------------------------

namespace {

std::string Limite(const char *mnemonique, float valeur) {
    char texte[30];
    std::snprintf(texte, sizeof texte, "%s %e", mnemonique, static_cast<double>(valeur));
    return texte;
}

// Gate mode, with its limits when the gate is on.
void anritsu_apply_gate(const ReglagesAnritsu &r, std::vector<std::string> &c) {
    switch (r.gate) {
    case 1: c.emplace_back("GOF"); break;
    case 2:
        c.emplace_back("GON");
        c.push_back(Limite("GST", r.gate_start));
        c.push_back(Limite("GSP", r.gate_stop));
        break;
    case 3: c.emplace_back("GDS"); break;
    default: break;
    }
}

void anritsu_apply_range(const ReglagesAnritsu &r, std::vector<std::string> &c) {
    c.push_back(Limite("ZST", r.range_start));
    c.push_back(Limite("ZSP", r.range_stop));
}

void anritsu_apply_domain(const ReglagesAnritsu &r, std::vector<std::string> &c) {
    switch (r.freq_temp) {
    case 1: c.emplace_back("FQD"); break;
    case 2:
        c.emplace_back("TBP");
        anritsu_apply_gate(r, c);
        anritsu_apply_range(r, c);
        break;
    case 3:
        c.emplace_back("FGT");
        anritsu_apply_gate(r, c);
        break;
    default: break;
    }
}

// S-parameter and display format of channel 1, then the autoscale.
void anritsu_apply_display(const char *format, const ReglagesAnritsu &r, std::vector<std::string> &c) {
    static constexpr const char *kParametres[] = {"CH1;S11;", "CH1;S12;", "CH1;S21;", "CH1;S22;"};
    if (r.configS < 1 || r.configS > 4) return;
    c.push_back(std::string(kParametres[r.configS - 1]) + format);
    if (r.autoscale == 0) c.emplace_back("ASC");
}

}  // namespace

std::vector<std::string> anritsu_configuration_commands(const ReglagesAnritsu &r) {
    static constexpr const char *kFormats[] = {"MAG", "PHA", "LIN", "SMI", "MPH", "LPH"};
    std::vector<std::string> c;
    if (r.configuration < 1 || r.configuration > 6) return c;
    anritsu_apply_domain(r, c);
    anritsu_apply_display(kFormats[r.configuration - 1], r, c);
    return c;
}

// ---- point count and number fields -------------------------------------------------------------

int anritsu_parse_point_count(std::string_view reponse) {
    long v = 0;
    if (nombres::LireEntier(reponse.substr(0, 31), v) == 0 || v < 1 || v > kAnritsuPointsMax) return -1;
    return static_cast<int>(v);
}

bool anritsu_convert_fields(std::string_view charge, int count, int pas, int decalage, double *serie) {
    if (count < 0 || count > kAnritsuPointsMax || pas <= 0 || decalage < 0) return false;
    if (charge.size() < static_cast<std::size_t>(pas) * static_cast<std::size_t>(count)) return false;
    float valeur = 0.0f;  // a field without a number repeats the value before it
    for (int i = 0; i < count; ++i) {
        const std::size_t debut = static_cast<std::size_t>(pas) * static_cast<std::size_t>(i) +
                                  static_cast<std::size_t>(decalage);
        if (debut < charge.size()) nombres::LireReel(charge.substr(debut), valeur);
        serie[i] = static_cast<double>(valeur);
    }
    return true;
}

// ---- command language --------------------------------------------------------------------------

namespace {

// The fixed commands of the first group: domain and gate together.
struct Mot {
    const char *commande;
    const char *domaine;  // written bare
    const char *porte;    // written with its NUL
};
constexpr Mot kMots[] = {
    {"FWTG", "FGT", "GON"},
    {"FNTG", "FQD", "GOF"},
    {"TWTG", "TBP", "GON"},
    {"TNTG", "TBP", "GOF"},
};

// The value commands, in the order they are tried, and the mnemonic each sends.
struct Valeur {
    const char *prefixe;
    const char *mnemonique;
};
constexpr Valeur kValeurs[] = {
    {"GATE_START=", "GST"},
    {"GATE_STOP=", "GSP"},
    {"RANGE_STOP=", "ZSP"},
    {"RANGE_START=", "ZST"},
};

// The display commands: the family's word, its format mnemonic, and the formats it goes with.
struct Affichage {
    const char *mot;
    const char *format;
    bool deux_voies;  // display formats 5 and 6 (two values a point)
};
constexpr Affichage kAffichages[] = {
    {"LOGPHASE", "MPH", true}, {"LINPHASE", "LPH", true}, {"LOG", "MAG", false},
    {"LIN", "LIN", false},     {"PHASE", "PHA", false},
};
constexpr const char *kParametresS[] = {"S11", "S12", "S21", "S22"};

std::string AvecNul(std::string texte) {
    texte += '\0';
    return texte;
}

// "<mot> S<xy>" for the display family of `configuration`: the command it writes, or "".
std::string CommandeAffichage(std::string_view copie, int configuration) {
    const bool deux_voies = configuration >= 5;
    for (const Affichage &a : kAffichages) {
        if (a.deux_voies != deux_voies) continue;
        for (const char *s : kParametresS) {
            if (copie != std::string(a.mot) + ' ' + s) continue;
            std::string ecrit = std::string("CH1;") + s + ';' + a.format;
            // The analyser has always been sent this one without its NUL.
            return copie == "LOG S11" ? ecrit : AvecNul(std::move(ecrit));
        }
    }
    return {};
}

}  // namespace

CommandeAnritsu anritsu_traduire_commande(const char *chaine, int configuration) {
    CommandeAnritsu c;
    if (chaine == nullptr) return c;
    const std::size_t longueur = strnlen(chaine, kAnritsuCommandeMax + 1);
    if (longueur > kAnritsuCommandeMax) return c;
    char copie[kAnritsuCommandeMax + 1];
    std::memcpy(copie, chaine, longueur);
    copie[longueur] = '\0';
    for (std::size_t i = 0; i < longueur; ++i)
        copie[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(copie[i])));
    const std::string_view texte(copie, longueur);

    for (const Mot &m : kMots) {
        if (texte != m.commande) continue;
        c.ecritures = {m.domaine, AvecNul(m.porte)};
        return c;
    }
    for (const Valeur &v : kValeurs) {
        const std::string_view prefixe = v.prefixe;
        if (!texte.starts_with(prefixe)) continue;
        float valeur = 0.0f;
        if (std::sscanf(copie + prefixe.size(), "%f", &valeur) != 1 || !std::isfinite(valeur)) return c;
        c.ecritures = {Limite(v.mnemonique, valeur)};
        return c;
    }
    char nom[kAnritsuCommandeMax + 1];
    if (std::sscanf(copie, "SAVE %254s", nom) == 1) {
        const std::string_view n = nom;
        if (n.size() <= kAnritsuNomFichierMax && n.find('"') == std::string_view::npos) c.fichier = n;
        return c;
    }
    std::string affichage = CommandeAffichage(texte, configuration);
    if (!affichage.empty()) c.ecritures = {std::move(affichage)};
    return c;
}

// ---- read-back ---------------------------------------------------------------------------------

namespace {

// A reply as the read-back converts it: its first 30 bytes, terminated.
struct Reponse30 {
    char texte[31];
    explicit Reponse30(std::string_view r) {
        const std::size_t n = std::min(r.size(), sizeof texte - 1);
        std::memcpy(texte, r.data(), n);
        texte[n] = '\0';
    }
};

}  // namespace

bool anritsu_reponse_entier(std::string_view reponse, int &valeur) {
    const Reponse30 r(reponse);
    return nombres::LireEntier(r.texte, valeur) > 0;
}

bool anritsu_reponse_nombre(std::string_view reponse, float &valeur) {
    const Reponse30 r(reponse);
    float v = 0.0f;
    if (nombres::LireReel(r.texte, v) == 0 || !std::isfinite(v)) return false;
    valeur = v;
    return true;
}

int anritsu_valeur_controle(LectureAnritsu lecture, int code) {
    struct Paire {
        int code, valeur;
    };
    static constexpr Paire kPorte[] = {{0, 1}, {1, 2}, {2, 3}};
    static constexpr Paire kFormat[] = {{1, 1}, {2, 2}, {3, 5}, {4, 4}, {10, 3}, {11, 6}};
    static constexpr Paire kDomaine[] = {{0, 1}, {1, 3}, {4, 2}};
    static constexpr Paire kParametre[] = {{11, 1}, {12, 2}, {21, 3}, {22, 4}};
    const auto Chercher = [code](const auto &table) {
        for (const Paire &p : table)
            if (p.code == code) return p.valeur;
        return -1;
    };
    switch (lecture) {
    case LectureAnritsu::Porte: return Chercher(kPorte);
    case LectureAnritsu::Format: return Chercher(kFormat);
    case LectureAnritsu::Domaine: return Chercher(kDomaine);
    case LectureAnritsu::Parametre: return Chercher(kParametre);
    }
    return -1;
}
