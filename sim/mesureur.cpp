// A measuring IEEE 488.2 instrument of the simulated bench.
#include "sim/mesureur.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace sim {

std::string TexteNombre(double v, int decimales, int chiffresExposant) {
    if (!std::isfinite(v)) v = 9.91e37;
    char mantisse[64];
    std::snprintf(mantisse, sizeof mantisse, "%+.*E", decimales, v);
    // The exponent to the instrument's width.
    char *e = std::strchr(mantisse, 'E');
    const int exposant = std::atoi(e + 1);
    *e = '\0';
    char texte[80];
    std::snprintf(texte, sizeof texte, "%sE%c%0*d", mantisse, exposant < 0 ? '-' : '+', chiffresExposant,
                  std::abs(exposant));
    return texte;
}

AppareilMesure::AppareilMesure(std::string identite) : Appareil488(std::move(identite)) {}

// ---- for tests ----------------------------------------------------------------------------

void AppareilMesure::ErreurApres(std::string motif, int code) {
    std::lock_guard g(Verrou());
    injections_[std::move(motif)] = code;
}

int AppareilMesure::MesuresFaites() const {
    std::lock_guard g(Verrou());
    return mesures_;
}

bool AppareilMesure::MesureEnCours() const {
    std::lock_guard g(Verrou());
    return mesure_;
}

// ---- commands -----------------------------------------------------------------------------

void AppareilMesure::Ajouter(const std::string &motif, Action action) {
    Commande(motif, [this, motif, action = std::move(action)](Appel &a) {
        action(a);
        if (const auto it = injections_.find(motif); it != injections_.end()) Erreur(it->second);
    });
}

std::string AppareilMesure::Mot(const std::string &mot, const std::vector<std::string> &mots) {
    for (const std::string &m : mots) {
        std::vector<int> suffixes;
        if (!scpi::Motif(m).Correspond({mot}, suffixes)) continue;
        std::string court;
        for (const char c : m)
            if (!std::islower(static_cast<unsigned char>(c))) court += c;
        return court;
    }
    return {};
}

void AppareilMesure::ReglageBooleen(const std::string &motif, Acces<bool> champ, std::function<void()> apres) {
    Ajouter(motif, [champ, apres](Appel &a) {
        bool v = false;
        if (!a.AuPlus(1) || !a.Booleen(0, v)) return;
        champ(a) = v;
        if (apres) apres();
    });
    Ajouter(motif + "?", [champ](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(champ(a) ? "1" : "0");
    });
}

void AppareilMesure::ReglageNombre(const std::string &motif, Acces<double> champ, double min, double max,
                                   std::function<std::string(double)> format, std::function<void()> apres) {
    Ajouter(motif, [champ, min, max, apres](Appel &a) {
        double v = 0.0;
        if (!a.AuPlus(1) || !a.Nombre(0, v)) return;
        if (!(v >= min && v <= max)) return a.Erreur(-222);
        champ(a) = v;
        if (apres) apres();
    });
    Ajouter(motif + "?", [champ, format](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(format(champ(a)));
    });
}

void AppareilMesure::ReglageMot(const std::string &motif, Acces<std::string> champ,
                                std::vector<std::string> mots, std::function<void()> apres) {
    Ajouter(motif, [champ, mots, apres](Appel &a) {
        std::string mot;
        if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
        const std::string court = Mot(mot, mots);
        if (court.empty()) return a.Erreur(-224);
        champ(a) = court;
        if (apres) apres();
    });
    Ajouter(motif + "?", [champ](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(champ(a));
    });
}

// ---- measurements -------------------------------------------------------------------------

void AppareilMesure::LancerMesure(double duree) {
    mesure_ = true;
    DemarrerOperation(duree);
}

void AppareilMesure::PoursuivreMesure(double duree) {
    suite_ = true;
    LancerMesure(duree);
}

void AppareilMesure::AbandonnerMesure() {
    if (!mesure_) return;
    mesure_ = false;
    differee_ = nullptr;
    // The operation stays pending, so that nothing completes until a new measurement ends.
    DemarrerOperation(kJamais);
}

void AppareilMesure::RepondreApresMesure(Appel &a, std::function<std::string()> reponse) {
    if (mesure_) differee_ = std::move(reponse);
    else a.Repondre(reponse());
}

void AppareilMesure::OperationTerminee() {
    if (!mesure_) return;
    mesure_ = false;
    suite_ = false;
    ++mesures_;
    MesureTerminee();
    if (suite_ || !differee_) return;
    const std::string texte = differee_();
    differee_ = nullptr;
    Emettre(texte + "\n", true);
}

void AppareilMesure::Reinitialiser() {
    mesure_ = false;
    differee_ = nullptr;
    ReglagesParDefaut();
}

void AppareilMesure::LectureSansDonnees() {
    if (!mesure_) Erreur(-420);
}

}  // namespace sim
