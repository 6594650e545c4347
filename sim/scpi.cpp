// Reading program messages as SCPI instruments do.
#include "sim/scpi.h"

#include <cctype>
#include <charconv>
#include <system_error>

namespace sim::scpi {

bool EstBlanc(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20 && u != 0x0A;
}

namespace {

std::string Majuscules(std::string_view s) {
    std::string r(s);
    for (char &c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::size_t LongueurBloc(std::string_view s, std::size_t i);

// Where the data of `s` end: after its last arbitrary block, whose bytes are data even when
// they look like white space (a text file sent in a block ends with a line feed).
std::size_t FinDonnees(std::string_view s) {
    std::size_t fin = 0;
    char guillemet = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (guillemet != 0) {
            if (c == guillemet) guillemet = 0;
            continue;
        }
        if (c == '"' || c == '\'') guillemet = c;
        else if (c == '#') {
            if (const std::size_t n = LongueurBloc(s, i); n > 0) {
                i += n - 1;
                fin = i + 1;
            }
        }
    }
    return fin;
}

std::string_view Rogner(std::string_view s) {
    while (!s.empty() && (EstBlanc(s.front()) || s.front() == '\n')) s.remove_prefix(1);
    const std::size_t donnees = FinDonnees(s);
    while (s.size() > donnees && (EstBlanc(s.back()) || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

// Length of the arbitrary block that begins at s[i] == '#', or 0 when it is not one; an
// indefinite block (#0) runs to the end.
std::size_t LongueurBloc(std::string_view s, std::size_t i) {
    if (i + 1 >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i + 1]))) return 0;
    const int chiffres = s[i + 1] - '0';
    if (chiffres == 0) return s.size() - i;
    if (i + 2 + static_cast<std::size_t>(chiffres) > s.size()) return s.size() - i;
    std::size_t longueur = 0;
    for (int k = 0; k < chiffres; ++k) {
        const char c = s[i + 2 + static_cast<std::size_t>(k)];
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        longueur = longueur * 10 + static_cast<std::size_t>(c - '0');
    }
    const std::size_t total = 2 + static_cast<std::size_t>(chiffres) + longueur;
    return i + total <= s.size() ? total : s.size() - i;
}

// Splits `s` at the bytes `sep` that lie outside strings, parentheses and blocks. Sets
// `ouvert` when a string or a parenthesis is left open.
std::vector<std::string_view> Decouper(std::string_view s, char sep, bool &ouvert) {
    std::vector<std::string_view> morceaux;
    std::size_t debut = 0;
    char guillemet = 0;
    int parentheses = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (guillemet != 0) {
            if (c == guillemet) guillemet = 0;  // a doubled quote reopens at once
            continue;
        }
        if (c == '"' || c == '\'') guillemet = c;
        else if (c == '(') ++parentheses;
        else if (c == ')' && parentheses > 0) --parentheses;
        else if (c == '#') {
            if (const std::size_t n = LongueurBloc(s, i); n > 0) i += n - 1;
        } else if (c == sep && parentheses == 0) {
            morceaux.push_back(s.substr(debut, i - debut));
            debut = i + 1;
        }
    }
    morceaux.push_back(s.substr(debut));
    ouvert = guillemet != 0 || parentheses != 0;
    return morceaux;
}

bool CaractereEntete(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '*' ||
           c == '?';
}

// One parameter; false for a syntax error.
bool LireParametre(std::string_view t, Parametre &p) {
    if (t.empty()) return false;
    const char c0 = t.front();
    if (c0 == '"' || c0 == '\'') {
        if (t.size() < 2 || t.back() != c0) return false;
        p.genre = Parametre::Genre::Chaine;
        p.texte.clear();
        for (std::size_t i = 1; i + 1 < t.size(); ++i) {
            if (t[i] == c0) {
                if (i + 2 < t.size() && t[i + 1] == c0) ++i;
                else return false;  // a lone quote inside
            }
            p.texte += t[i];
        }
        return true;
    }
    if (c0 == '#') {
        if (t.size() < 2 || !std::isdigit(static_cast<unsigned char>(t[1]))) return false;
        const auto chiffres = static_cast<std::size_t>(t[1] - '0');
        if (2 + chiffres > t.size()) return false;
        const std::string_view donnees = t.substr(2 + chiffres);
        if (chiffres > 0) {  // a definite block holds exactly the length its header gives
            std::size_t longueur = 0;
            for (std::size_t k = 0; k < chiffres; ++k) {
                if (!std::isdigit(static_cast<unsigned char>(t[2 + k]))) return false;
                longueur = longueur * 10 + static_cast<std::size_t>(t[2 + k] - '0');
            }
            if (longueur != donnees.size()) return false;
        }
        p.genre = Parametre::Genre::Bloc;
        p.texte = std::string(donnees);
        return true;
    }
    p.texte = std::string(t);
    if (std::isdigit(static_cast<unsigned char>(c0)) || c0 == '+' || c0 == '-' || c0 == '.') {
        const char *debut = t.data() + (c0 == '+' ? 1 : 0);
        double v = 0.0;
        const auto [fin, err] = std::from_chars(debut, t.data() + t.size(), v);
        if (err == std::errc{} && fin == t.data() + t.size()) {
            p.genre = Parametre::Genre::Nombre;
            p.nombre = v;
            return true;
        }
    }
    p.genre = Parametre::Genre::Mot;
    return true;
}

}  // namespace

bool TerminateurLibre(std::string_view texte) {
    if (texte.empty() || texte.back() != '\n') return false;
    const std::string_view avant = texte.substr(0, texte.size() - 1);
    char guillemet = 0;
    for (std::size_t i = 0; i < avant.size(); ++i) {
        const char c = avant[i];
        if (guillemet != 0) {
            if (c == guillemet) guillemet = 0;
            continue;
        }
        if (c == '"' || c == '\'') {
            guillemet = c;
        } else if (c == '#') {
            if (i + 1 < avant.size() && avant[i + 1] == '0') return false;  // indefinite block
            const std::size_t n = LongueurBloc(texte, i);
            if (n > 0) {
                if (i + n >= texte.size()) return false;  // the line feed is block data
                i += n - 1;
            }
        }
    }
    return guillemet == 0;
}

std::vector<Unite> Analyser(std::string_view message) {
    std::vector<Unite> unites;
    bool ouvert = false;
    const auto morceaux = Decouper(message, ';', ouvert);
    std::vector<std::string> chemin;  // the path that relative headers continue
    for (std::size_t k = 0; k < morceaux.size(); ++k) {
        const std::string_view t = Rogner(morceaux[k]);
        if (t.empty()) continue;
        Unite u;
        std::size_t i = 0;
        while (i < t.size() && !EstBlanc(t[i])) ++i;
        const std::string_view entete = t.substr(0, i);
        u.entete = std::string(entete);
        std::string_view nom = entete;
        const auto Erreur = [&](int code) {
            u.erreur = code;
            unites.push_back(std::move(u));
            return unites;
        };
        for (const char c : nom)
            if (!CaractereEntete(c)) return Erreur(-102);
        if (!nom.empty() && nom.back() == '?') {
            u.question = true;
            nom.remove_suffix(1);
        }
        if (nom.empty() || nom.find('?') != std::string_view::npos) return Erreur(-102);
        if (nom.front() == '*') {
            if (nom.find(':') != std::string_view::npos) return Erreur(-102);
            u.commune = true;
            u.chemin = {Majuscules(nom)};
        } else {
            const bool absolu = nom.front() == ':';
            if (absolu) nom.remove_prefix(1);
            std::vector<std::string> noeuds = absolu ? std::vector<std::string>{} : chemin;
            std::size_t debut = 0;
            for (;;) {
                const std::size_t fin = nom.find(':', debut);
                const std::string_view mot = nom.substr(debut, fin == std::string_view::npos ? nom.npos : fin - debut);
                if (mot.empty() || mot.find('*') != std::string_view::npos) return Erreur(-102);
                noeuds.push_back(Majuscules(mot));
                if (fin == std::string_view::npos) break;
                debut = fin + 1;
            }
            u.chemin = noeuds;
            noeuds.pop_back();
            chemin = std::move(noeuds);
        }
        const std::string_view reste = Rogner(t.substr(i));
        if (!reste.empty()) {
            bool paramOuvert = false;
            for (const std::string_view p : Decouper(reste, ',', paramOuvert)) {
                Parametre param;
                if (paramOuvert || !LireParametre(Rogner(p), param)) return Erreur(-102);
                u.parametres.push_back(std::move(param));
            }
        }
        unites.push_back(std::move(u));
    }
    if (ouvert && (unites.empty() || unites.back().erreur == 0)) {
        Unite u;
        u.erreur = -102;
        unites.push_back(std::move(u));
    }
    return unites;
}

// ---- patterns -----------------------------------------------------------------------------

Motif::Motif(std::string_view texte) {
    if (!texte.empty() && texte.back() == '?') {
        question_ = true;
        texte.remove_suffix(1);
    }
    std::size_t i = 0;
    while (i < texte.size()) {
        Noeud n;
        if (texte[i] == '[') {
            n.optionnel = true;
            ++i;
        }
        if (i < texte.size() && texte[i] == ':') ++i;
        std::string nom;
        while (i < texte.size() && texte[i] != ':' && texte[i] != '[' && texte[i] != ']' &&
               texte[i] != '#')
            nom += texte[i++];
        if (i < texte.size() && texte[i] == '#') {
            n.suffixe = true;
            ++i;
        }
        // The bracket that closes an optional node; a stray one is passed over.
        if (i < texte.size() && texte[i] == ']') ++i;
        if (nom.empty()) continue;
        std::size_t k = 0;
        while (k < nom.size() && !std::islower(static_cast<unsigned char>(nom[k]))) ++k;
        n.court = Majuscules(nom.substr(0, k));
        n.long_ = Majuscules(nom);
        noeuds_.push_back(std::move(n));
    }
}

bool Motif::Correspond(const std::vector<std::string> &chemin, std::vector<int> &suffixes) const {
    std::vector<int> s;
    if (!Correspond(0, 0, chemin, s)) return false;
    suffixes = std::move(s);
    return true;
}

bool Motif::Correspond(std::size_t i, std::size_t j, const std::vector<std::string> &chemin,
                       std::vector<int> &suffixes) const {
    if (i == noeuds_.size()) return j == chemin.size();
    const Noeud &n = noeuds_[i];
    if (j < chemin.size()) {
        std::string_view mot = chemin[j];
        int suffixe = 1;
        bool ok = true;
        if (n.suffixe) {
            std::size_t k = mot.size();
            while (k > 0 && std::isdigit(static_cast<unsigned char>(mot[k - 1]))) --k;
            if (k < mot.size()) {
                const auto [fin, err] = std::from_chars(mot.data() + k, mot.data() + mot.size(), suffixe);
                ok = err == std::errc{} && suffixe >= 1;
                mot = mot.substr(0, k);
            }
        }
        if (ok && (mot == n.court || mot == n.long_)) {
            std::vector<int> s = suffixes;
            if (n.suffixe) s.push_back(suffixe);
            if (Correspond(i + 1, j + 1, chemin, s)) {
                suffixes = std::move(s);
                return true;
            }
        }
    }
    if (n.optionnel) {
        std::vector<int> s = suffixes;
        if (n.suffixe) s.push_back(1);
        if (Correspond(i + 1, j, chemin, s)) {
            suffixes = std::move(s);
            return true;
        }
    }
    return false;
}

}  // namespace sim::scpi
