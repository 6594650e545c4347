// A simulated peristaltic pump (see pompe_ismatec.h).
#include "sim/bench/pompe_ismatec.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace sim {

namespace {

constexpr double kDebitTubeReference = 50.0;  // ml/min with the reference tube
constexpr double kTubeReference = 152.0;      // hundredths of a millimetre
constexpr std::size_t kLongueurReponseDebit = 15;

// The whole text reads as an integer (an optional sign, then digits).
bool Entier(std::string_view texte, int &valeur) {
    if (!texte.empty() && texte.front() == '+') texte.remove_prefix(1);
    const auto [fin, err] = std::from_chars(texte.data(), texte.data() + texte.size(), valeur);
    return !texte.empty() && err == std::errc{} && fin == texte.data() + texte.size();
}

}  // namespace

double PompeIsmatec::DebitMaximum() const {
    if (debitImpose_) return *debitImpose_;
    const double rapport = etat_.diametre / kTubeReference;
    return std::round(kDebitTubeReference * rapport * rapport * 100.0) / 100.0;
}

double PompeIsmatec::Debit() const { return etat_.en_marche ? DebitMaximum() * etat_.vitesse / 1000.0 : 0.0; }

void PompeIsmatec::Recevoir(std::string_view octets, serie::Sortie &sortie) {
    for (const char c : octets) {
        if (c == '\r') {
            if (!enCours_.empty()) {
                commandes_.push_back(enCours_);
                Executer(enCours_, sortie);
            }
            enCours_.clear();
        } else if (c != '\n' && enCours_.size() < 64) {
            enCours_.push_back(c);
        }
    }
}

void PompeIsmatec::Executer(const std::string &commande, serie::Sortie &sortie) {
    if (commande == "@1") {
        etat_.distance = true;
        sortie.Emettre("*");
        return;
    }
    if (commande.size() < 2 || commande[0] != '1') return;  // another pump, or no command
    const char code = commande[1];
    const std::string_view parametre = std::string_view(commande).substr(2);
    bool fait = true;
    switch (code) {
    case 'J': etat_.horaire = true; break;
    case 'K': etat_.horaire = false; break;
    case 'M': etat_.mode_debit = true; break;
    case 'H': etat_.en_marche = true; break;
    case 'I': etat_.en_marche = false; break;
    case '+': {
        int d = 0;
        fait = parametre.size() == 4 && Entier(parametre, d) && d > 0;
        if (fait) etat_.diametre = d;
        break;
    }
    case 'S': {
        int v = 0;
        fait = Entier(parametre, v) && v >= 0 && v <= 1000;
        if (fait) etat_.vitesse = v;
        break;
    }
    case '!': {
        std::string texte;
        if (reponseImposee_) {
            texte = *reponseImposee_;
        } else {
            char t[32];
            std::snprintf(t, sizeof t, "%.2f ml/min", DebitMaximum());
            texte = t;
            texte.resize(kLongueurReponseDebit - 2, ' ');
            texte += "\r\n";
        }
        sortie.Emettre(texte);
        return;
    }
    default: return;  // not a command of this pump
    }
    sortie.Emettre(fait ? "*" : "#");
}

}  // namespace sim
