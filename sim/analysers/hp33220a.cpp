// The HP 33220A function generator on the simulated bus (see hp33220a.h).
#include "sim/analysers/hp33220a.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <system_error>

namespace sim {

namespace {

constexpr double kFrequenceMin = 1e-6;       // Hz
constexpr double kFrequenceMax = 20e6;       // sine and square
constexpr double kFrequenceMaxRampe = 200e3; // triangle and ramp
constexpr double kAmplitudeMin = 0.01;       // Vpp
constexpr double kAmplitudeMax = 10.0;
constexpr double kCreteMax = 5.0;            // |offset| + amplitude / 2, V
constexpr int kCyclesMax = 50000;
constexpr double kCadenceMin = 0.01;         // Hz
constexpr double kCadenceMax = 50e3;
constexpr double kPhaseMax = 360.0;          // degrees, either way

enum class Grandeur { Frequence, Tension, Nombre };

struct Unite {
    std::string_view nom;
    Grandeur grandeur;
    double facteur;
};
// SCPI reads "MHZ" as megahertz (millihertz would be "MAHZ" there).
constexpr Unite kUnites[] = {
    {"HZ", Grandeur::Frequence, 1.0},  {"KHZ", Grandeur::Frequence, 1e3}, {"MHZ", Grandeur::Frequence, 1e6},
    {"VPP", Grandeur::Tension, 1.0},   {"MVPP", Grandeur::Tension, 1e-3}, {"V", Grandeur::Tension, 1.0},
    {"MV", Grandeur::Tension, 1e-3},
};

std::string Majuscules(std::string_view s) {
    std::string r(s);
    for (char &c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// Parameter i of `a` as a value of `grandeur` between `mini` and `maxi`: a number, a number
// followed by a unit of that quantity, MINimum or MAXimum. A value beyond the limits is brought
// to the nearer one (-222). False, with the error put, when the parameter is unfit.
bool Valeur(Appel &a, std::size_t i, Grandeur grandeur, double mini, double maxi, double &v) {
    if (i >= a.NombreParametres()) {
        a.Erreur(-109);
        return false;
    }
    const scpi::Parametre &p = a.Unite().parametres[i];
    if (p.genre == scpi::Parametre::Genre::Nombre) {
        v = p.nombre;
    } else if (p.genre != scpi::Parametre::Genre::Mot) {
        a.Erreur(-104);
        return false;
    } else {
        const std::string t = Majuscules(p.texte);
        if (t == "MIN" || t == "MINIMUM") {
            v = mini;
            return true;
        }
        if (t == "MAX" || t == "MAXIMUM") {
            v = maxi;
            return true;
        }
        const char *debut = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
        const char *fin_texte = t.data() + t.size();
        const auto [fin, err] = std::from_chars(debut, fin_texte, v);
        if (err == std::errc::result_out_of_range) {
            a.Erreur(-222);
            return false;
        }
        if (err != std::errc{}) {
            a.Erreur(-104);
            return false;
        }
        std::string_view suffixe(fin, static_cast<std::size_t>(fin_texte - fin));
        while (!suffixe.empty() && scpi::EstBlanc(suffixe.front())) suffixe.remove_prefix(1);
        const auto u = std::find_if(std::begin(kUnites), std::end(kUnites),
                                    [&](const Unite &e) { return e.nom == suffixe && e.grandeur == grandeur; });
        if (u == std::end(kUnites)) {
            a.Erreur(-131, "Invalid suffix");
            return false;
        }
        v *= u->facteur;
    }
    if (v < mini || v > maxi) {
        a.Erreur(-222);
        v = std::clamp(v, mini, maxi);
    }
    return true;
}

std::string Nr3(double v) {
    char texte[40];
    std::snprintf(texte, sizeof texte, "%+.15E", v);
    return texte;
}

const char *NomForme(Hp33220A::Forme f) {
    switch (f) {
    case Hp33220A::Forme::Sinus: return "SIN";
    case Hp33220A::Forme::Carre: return "SQU";
    case Hp33220A::Forme::Triangle: return "TRI";
    case Hp33220A::Forme::Rampe: return "RAMP";
    case Hp33220A::Forme::Bruit: return "NOIS";
    }
    return "SIN";
}

double FrequenceMax(Hp33220A::Forme f) {
    return f == Hp33220A::Forme::Triangle || f == Hp33220A::Forme::Rampe ? kFrequenceMaxRampe : kFrequenceMax;
}

struct NomDeForme {
    const char *motif;  // a shape word, as the header node or the parameter gives it
    Hp33220A::Forme forme;
};
constexpr NomDeForme kFormes[] = {
    {"SINusoid", Hp33220A::Forme::Sinus},  {"SQUare", Hp33220A::Forme::Carre},
    {"SQR", Hp33220A::Forme::Carre},       {"TRIangle", Hp33220A::Forme::Triangle},
    {"RAMP", Hp33220A::Forme::Rampe},      {"NOISe", Hp33220A::Forme::Bruit},
};

// Whether the word `mot` (upper case) is `motif` in its short or long form.
bool EstLeMot(std::string_view mot, std::string_view motif) {
    std::size_t k = 0;
    while (k < motif.size() && !std::islower(static_cast<unsigned char>(motif[k]))) ++k;
    return mot == Majuscules(motif.substr(0, k)) || mot == Majuscules(motif);
}

}  // namespace

Hp33220A::Hp33220A() : Appareil488(kIdentite) { Commandes(); }

Hp33220A::Sortie Hp33220A::Etat() const {
    std::lock_guard g(Verrou());
    return sortie_;
}

void Hp33220A::Reinitialiser() { sortie_ = Sortie{}; }

// ---- settings (lock held) -------------------------------------------------------------------

void Hp33220A::ChoisirForme(Forme forme) {
    sortie_.forme = forme;
    if (forme == Forme::Bruit) sortie_.salve = false;
    if (sortie_.frequence > FrequenceMax(forme)) {
        sortie_.frequence = FrequenceMax(forme);
        Erreur(-221, "Settings conflict");
    }
}

void Hp33220A::FixerAmplitude(double vpp) {
    sortie_.amplitude = vpp;
    const double place = kCreteMax - vpp / 2.0;
    if (std::fabs(sortie_.decalage) > place) {
        sortie_.decalage = std::copysign(place, sortie_.decalage);
        Erreur(-221, "Settings conflict");
    }
}

// ---- commands -------------------------------------------------------------------------------

void Hp33220A::Commandes() {
    CommandesSortie();
    CommandesSalve();
}

void Hp33220A::CommandesSortie() {
    for (const NomDeForme &f : kFormes) {
        const Forme forme = f.forme;
        // APPLy: shape, then the values given, each within the new shape's limits; output on.
        if (f.motif != std::string_view("SQR")) {
            Commande(std::string("APPLy:") + f.motif, [this, forme](Appel &a) {
                if (!a.AuPlus(3)) return;
                ChoisirForme(forme);
                double v = 0.0;
                const std::size_t n = a.NombreParametres();
                if (n > 0 && Valeur(a, 0, Grandeur::Frequence, kFrequenceMin, FrequenceMax(forme), v) &&
                    forme != Forme::Bruit)
                    sortie_.frequence = v;
                if (n > 1 && Valeur(a, 1, Grandeur::Tension, kAmplitudeMin, kAmplitudeMax, v)) FixerAmplitude(v);
                const double place = kCreteMax - sortie_.amplitude / 2.0;
                if (n > 2 && Valeur(a, 2, Grandeur::Tension, -place, place, v)) sortie_.decalage = v;
                sortie_.active = true;
            });
        }
        // The shape as the last node of the header ("SOUR:FUNC:SHAP:SIN", "SOUR:NOIS").
        const std::string noeud = forme == Forme::Bruit ? std::string("[:SOURce]:NOISe")
                                                        : std::string("[:SOURce]:FUNCtion:SHAPe:") + f.motif;
        Commande(noeud, [this, forme](Appel &a) {
            if (a.AuPlus(0)) ChoisirForme(forme);
        });
    }
    Commande("APPLy?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        a.Repondre(std::string("\"") + NomForme(sortie_.forme) + " " + Nr3(sortie_.frequence) + "," +
                   Nr3(sortie_.amplitude) + "," + Nr3(sortie_.decalage) + "\"");
    });
    Commande("[:SOURce]:FUNCtion[:SHAPe]", [this](Appel &a) {
        std::string mot;
        if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
        for (const NomDeForme &f : kFormes)
            if (EstLeMot(mot, f.motif)) return ChoisirForme(f.forme);
        a.Erreur(-224);
    });
    Commande("[:SOURce]:FUNCtion[:SHAPe]?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(NomForme(sortie_.forme));
    });
    Commande("[:SOURce]:FREQuency", [this](Appel &a) {
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Frequence, kFrequenceMin, FrequenceMax(sortie_.forme), v))
            sortie_.frequence = v;
    });
    Commande("[:SOURce]:FREQuency?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.frequence));
    });
    Commande("[:SOURce]:VOLTage", [this](Appel &a) {
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Tension, kAmplitudeMin, kAmplitudeMax, v)) FixerAmplitude(v);
    });
    Commande("[:SOURce]:VOLTage?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.amplitude));
    });
    Commande("[:SOURce]:VOLTage:OFFSet", [this](Appel &a) {
        const double place = kCreteMax - sortie_.amplitude / 2.0;
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Tension, -place, place, v)) sortie_.decalage = v;
    });
    Commande("[:SOURce]:VOLTage:OFFSet?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.decalage));
    });
    Commande("OUTPut", [this](Appel &a) {
        bool oui = false;
        if (a.AuPlus(1) && a.Booleen(0, oui)) sortie_.active = oui;
    });
    Commande("OUTPut?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(sortie_.active ? "1" : "0");
    });
}

void Hp33220A::CommandesSalve() {
    Commande("BM:NCYCles", [this](Appel &a) {
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Nombre, 1.0, kCyclesMax, v))
            sortie_.cycles = static_cast<int>(std::lround(v));
    });
    Commande("BM:NCYCles?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.cycles));
    });
    Commande("BM:INTernal:RATE", [this](Appel &a) {
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Frequence, kCadenceMin, kCadenceMax, v)) sortie_.cadence = v;
    });
    Commande("BM:INTernal:RATE?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.cadence));
    });
    Commande("BM:PHASe", [this](Appel &a) {
        double v = 0.0;
        if (a.AuPlus(1) && Valeur(a, 0, Grandeur::Nombre, -kPhaseMax, kPhaseMax, v)) sortie_.phase = v;
    });
    Commande("BM:PHASe?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr3(sortie_.phase));
    });
    Commande("BM:SOURce", [this](Appel &a) {
        std::string mot;
        if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
        if (EstLeMot(mot, "INTernal")) sortie_.salveInterne = true;
        else if (EstLeMot(mot, "EXTernal")) sortie_.salveInterne = false;
        else a.Erreur(-224);
    });
    Commande("BM:SOURce?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(sortie_.salveInterne ? "INT" : "EXT");
    });
    Commande("BM:STATe", [this](Appel &a) {
        bool oui = false;
        if (!a.AuPlus(1) || !a.Booleen(0, oui)) return;
        if (oui && sortie_.forme == Forme::Bruit) return a.Erreur(-221, "Settings conflict");
        sortie_.salve = oui;
    });
    Commande("BM:STATe?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(sortie_.salve ? "1" : "0");
    });
}

std::shared_ptr<Appareil> CreerHp33220A() { return std::make_shared<Hp33220A>(); }

}  // namespace sim
