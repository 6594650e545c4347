// Simulated syringe pumps (see pousse_seringue.h).
#include "sim/bench/pousse_seringue.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

namespace sim {

namespace {

constexpr char kEtx = '\x03';
constexpr float kDiametreDefaut = 12.06f;
constexpr int kDebitDefaut = 1000;

bool Chiffre(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

PoussesSeringues::PoussesSeringues(std::set<int> adresses) {
    for (const int a : adresses) {
        if (a < 0 || a >= static_cast<int>(pompes_.size())) continue;
        Pompe &p = pompes_[static_cast<std::size_t>(a)];
        p.presente = true;
        p.diametre = kDiametreDefaut;
        p.debit = kDebitDefaut;
    }
}

PoussesSeringues::Pompe PoussesSeringues::Etat(int adresse) const {
    if (adresse < 0 || adresse >= static_cast<int>(pompes_.size())) return {};
    return pompes_[static_cast<std::size_t>(adresse)];
}

void PoussesSeringues::Recevoir(std::string_view octets, serie::Sortie &sortie) {
    for (const char c : octets) {
        if (c == '\r' || c == '\n') {
            // CR LF ends a line; the LF after a CR (or an empty line) is nothing.
            if (!enCours_.empty()) {
                lignes_.push_back(enCours_);
                Executer(enCours_, sortie);
                enCours_.clear();
            }
            continue;
        }
        if (enCours_.size() < 256) enCours_.push_back(c);
    }
}

void PoussesSeringues::Executer(const std::string &ligne, serie::Sortie &sortie) {
    if (ligne.size() < 2 || !Chiffre(ligne[0]) || !Chiffre(ligne[1])) return;
    const int adresse = (ligne[0] - '0') * 10 + (ligne[1] - '0');
    Pompe &p = pompes_[static_cast<std::size_t>(adresse)];
    if (!p.presente) return;  // nobody at this address: silence on the line

    const std::string mnemonique = ligne.substr(2, 3);
    std::string parametre = ligne.size() > 5 ? ligne.substr(5) : std::string();
    const bool avecParametre = !parametre.empty() && parametre.front() == ' ';
    if (avecParametre) parametre.erase(0, 1);
    const bool sansParametre = ligne.size() == 5;

    bool compris = true;
    std::string valeur;
    if (mnemonique == "DIA" && sansParametre) {
        char texte[32];
        std::snprintf(texte, sizeof texte, "%.2f", static_cast<double>(p.diametre));
        valeur = texte;
    } else if (mnemonique == "DIA" && avecParametre) {
        float d = 0.0f;
        const auto [fin, err] = std::from_chars(parametre.data(), parametre.data() + parametre.size(), d);
        compris = err == std::errc{} && fin == parametre.data() + parametre.size() && d > 0.0f;
        if (compris) p.diametre = d;
    } else if (mnemonique == "DIR" && avecParametre && (parametre == "INF" || parametre == "WDR")) {
        p.retrait = parametre == "WDR";
    } else if (mnemonique == "RAT" && avecParametre) {
        int r = 0;
        const auto [fin, err] = std::from_chars(parametre.data(), parametre.data() + parametre.size(), r);
        compris = err == std::errc{} && r >= 0 && std::string_view(fin, parametre.data() + parametre.size() - fin) == "UH";
        if (compris) p.debit = r;
    } else if (mnemonique == "RUN" && sansParametre) {
        p.en_marche = true;
    } else if (mnemonique == "STP" && sansParametre) {
        p.en_marche = false;
    } else {
        compris = false;
    }
    if (compris) ++p.commandes;

    char debut[8];
    std::snprintf(debut, sizeof debut, "\r\n%02d", adresse);
    std::string reponse = debut;
    reponse += !p.en_marche ? 'S' : p.retrait ? 'W' : 'I';
    reponse += compris ? valeur : std::string("?");
    reponse.append(static_cast<std::size_t>(remplissage_ > 0 ? remplissage_ : 0), '.');
    if (bavardage_ <= 0) {
        if (!sansEtx_) reponse += kEtx;
        sortie.Emettre(reponse);
        return;
    }
    if (intervalleBavardage_ <= 0.0) {
        sortie.Emettre(reponse + std::string(static_cast<std::size_t>(bavardage_), '.'));
        return;
    }
    sortie.Emettre(reponse);
    for (int i = 1; i <= bavardage_; ++i) sortie.Emettre(".", i * intervalleBavardage_);
}

}  // namespace sim
