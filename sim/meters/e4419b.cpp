// The E4419B power meter on the simulated bus (see e4419b.h).
#include "sim/meters/e4419b.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/clock.h"
#include "sim/banc.h"

namespace sim {

namespace {

constexpr double kPeriodeOndulation = 60.0;  // program seconds
constexpr int kComptageAuto = 4;             // averaging count chosen by the automatic count

std::string Majuscules(std::string_view s) {
    std::string r(s);
    for (char &c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// A frequency parameter: a number of hertz, or a number followed by HZ, KHZ, MHZ or GHZ.
bool LireFrequence(const scpi::Parametre &p, double &hertz) {
    if (p.genre == scpi::Parametre::Genre::Nombre) {
        hertz = p.nombre;
        return true;
    }
    if (p.genre != scpi::Parametre::Genre::Mot) return false;
    const std::string t = Majuscules(p.texte);
    const char *debut = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
    double v = 0.0;
    const auto [fin, err] = std::from_chars(debut, t.data() + t.size(), v);
    if (err != std::errc{}) return false;
    const std::string_view unite(fin, static_cast<std::size_t>(t.data() + t.size() - fin));
    double facteur = 0.0;
    if (unite == "HZ") facteur = 1.0;
    else if (unite == "KHZ") facteur = 1e3;
    else if (unite == "MHZ") facteur = 1e6;
    else if (unite == "GHZ") facteur = 1e9;
    else return false;
    hertz = v * facteur;
    return true;
}

// The sensor of a channel list "(@1)" or "(@2)"; 0 when it names none.
int CapteurDeListe(const scpi::Parametre &p) {
    if (p.genre != scpi::Parametre::Genre::Mot) return 0;
    if (p.texte == "(@1)") return 1;
    if (p.texte == "(@2)") return 2;
    return 0;
}

}  // namespace

E4419B::E4419B() : Appareil488(kIdentite) {
    capteurs_[0].rf1 = -10.0;
    capteurs_[0].rf2 = -20.0;
    capteurs_[1].rf1 = -30.0;
    capteurs_[1].rf2 = -40.0;
    Reinitialiser();
    Commandes();
}

// ---- the bench ----------------------------------------------------------------------------

void E4419B::BrancherCapteur(int capteur, bool branche) {
    std::lock_guard g(Verrou());
    if (capteur == 1 || capteur == 2) capteurs_[static_cast<std::size_t>(capteur - 1)].branche = branche;
}

void E4419B::FixerNiveaux(int capteur, double rf1, double rf2) {
    std::lock_guard g(Verrou());
    if (capteur != 1 && capteur != 2) return;
    capteurs_[static_cast<std::size_t>(capteur - 1)].rf1 = rf1;
    capteurs_[static_cast<std::size_t>(capteur - 1)].rf2 = rf2;
}

void E4419B::FixerLignes(int capteur, std::uint8_t lignes) {
    std::lock_guard g(Verrou());
    if (capteur == 1 || capteur == 2) capteurs_[static_cast<std::size_t>(capteur - 1)].lignes = lignes;
}

void E4419B::FixerOndulation(double db) {
    std::lock_guard g(Verrou());
    ondulation_ = db;
}

void E4419B::FixerReponseFetch(std::string texte) {
    std::lock_guard g(Verrou());
    reponseFetch_ = std::move(texte);
}

int E4419B::Mesures() const {
    std::lock_guard g(Verrou());
    return mesures_;
}

// ---- settings and triggers (lock held) ------------------------------------------------------

void E4419B::Reinitialiser() {
    for (std::size_t n = 0; n < fenetres_.size(); ++n) {
        fenetres_[n] = Fenetre{};
        fenetres_[n].capteur = static_cast<int>(n) + 1;
    }
    for (Capteur &c : capteurs_) {
        const Capteur banc = c;
        c = Capteur{};
        c.branche = banc.branche;
        c.rf1 = banc.rf1;
        c.rf2 = banc.rf2;
        c.lignes = banc.lignes;
    }
    ddt_.clear();
    mesureEnCours_ = false;
    reprise_ = false;
}

double E4419B::Niveau(const Capteur &c) const {
    const std::shared_ptr<RegistreParallele> port = RegistreParalleleDuBanc();
    const std::uint8_t lignes = port != nullptr ? port->Lire() : 0;
    const double base = (lignes & c.lignes) != 0 ? c.rf2 : c.rf1;
    const double phase = 2.0 * std::numbers::pi * horloge::Secondes() / kPeriodeOndulation;
    return base + ondulation_ * std::sin(phase);
}

bool E4419B::DeclencherFenetre(int n) {
    Fenetre &f = fenetres_[static_cast<std::size_t>(n - 1)];
    if (!f.initiee || mesureEnCours_) return false;
    const Capteur &c = capteurs_[static_cast<std::size_t>(f.capteur - 1)];
    f.enMesure = true;
    f.aMesurer = c.branche ? Niveau(c) : kNonNombre;
    return true;
}

void E4419B::LancerMesure(bool declenchee) {
    if (!declenchee) {
        Erreur(-211, "Trigger ignored");
        return;
    }
    double duree = 0.0;
    for (const Fenetre &f : fenetres_) {
        if (!f.enMesure) continue;
        const Capteur &c = capteurs_[static_cast<std::size_t>(f.capteur - 1)];
        const int comptage = !c.moyenne ? 1 : c.comptageAuto ? kComptageAuto : c.comptage;
        duree = std::max(duree, comptage / static_cast<double>(c.vitesse));
    }
    ++mesures_;
    // A trigger that *WAI held behind the measurement that has just ended went, in the meter's
    // own time, when that one ended, however late the bus looks at the meter again.
    const double maintenant = horloge::Secondes();
    const double fin = (reprise_ ? instantReprise_ : maintenant) + duree;
    if (reprise_ && fin <= maintenant) {
        // Already over by now: what is held behind it goes on from its end.
        FinirMesure();
        instantReprise_ = fin;
        return;
    }
    mesureEnCours_ = true;
    finPrevue_ = fin;
    DemarrerOperation(fin - maintenant);
}

void E4419B::Declencher() {
    bool declenchee = false;
    if (ddt_.empty()) {
        for (int n = 1; n <= 2; ++n)
            if (fenetres_[static_cast<std::size_t>(n - 1)].source == "BUS") declenchee |= DeclencherFenetre(n);
    } else {
        static const scpi::Motif trig("TRIGger#[:SEQuence][:IMMediate]");
        for (const scpi::Unite &u : scpi::Analyser(ddt_)) {
            std::vector<int> suffixes;
            if (u.erreur != 0 || u.question || !trig.Correspond(u.chemin, suffixes)) {
                Erreur(-113);
                continue;
            }
            if (suffixes.at(0) == 1 || suffixes.at(0) == 2) declenchee |= DeclencherFenetre(suffixes[0]);
        }
    }
    LancerMesure(declenchee);
}

void E4419B::Abandonner(Fenetre &f) {
    f.enMesure = false;
    if (!mesureEnCours_) return;
    for (const Fenetre &autre : fenetres_)
        if (autre.enMesure) return;
    // No window measures any more: the measurement is over now, and what *WAI held behind it goes
    // on.
    mesureEnCours_ = false;
    finPrevue_ = horloge::Secondes();
    DemarrerOperation(0.0);
}

void E4419B::FinirMesure() {
    for (Fenetre &f : fenetres_) {
        if (!f.enMesure) continue;
        f.enMesure = false;
        f.valeur = f.aMesurer;
        f.valide = true;
    }
    mesureEnCours_ = false;
}

void E4419B::OperationTerminee() {
    FinirMesure();
    // The commands held behind the measurement resume now, from its end.
    reprise_ = true;
    instantReprise_ = finPrevue_;
}

std::uint8_t E4419B::BitsEtat() {
    // The status is looked at once the commands held behind a measurement have run: a trigger
    // after that is a new one, taken when it comes.
    reprise_ = false;
    return 0;
}

E4419B::Fenetre *E4419B::FenetreDe(Appel &a) {
    const int n = a.Suffixe();
    if (n < 1 || n > 2) {
        a.Erreur(-114);
        return nullptr;
    }
    return &fenetres_[static_cast<std::size_t>(n - 1)];
}

E4419B::Capteur *E4419B::CapteurDe(Appel &a) {
    const int n = a.Suffixe();
    if (n < 1 || n > 2) {
        a.Erreur(-114);
        return nullptr;
    }
    return &capteurs_[static_cast<std::size_t>(n - 1)];
}

// ---- the command set ----------------------------------------------------------------------

void E4419B::Commandes() {
    // A setting of a window or of a sensor given as a boolean.
    const auto BooleenFenetre = [this](bool Fenetre::*champ) {
        return [this, champ](Appel &a) {
            bool v = false;
            if (Fenetre *f = FenetreDe(a); f && a.AuPlus(1) && a.Booleen(0, v)) f->*champ = v;
        };
    };
    const auto BooleenCapteur = [this](bool Capteur::*champ) {
        return [this, champ](Appel &a) {
            bool v = false;
            if (Capteur *c = CapteurDe(a); c && a.AuPlus(1) && a.Booleen(0, v)) c->*champ = v;
        };
    };

    Commande("*DDT", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() != 1) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        if (p.genre != scpi::Parametre::Genre::Chaine && p.genre != scpi::Parametre::Genre::Bloc)
            return a.Erreur(-104);
        ddt_ = p.texte;
    });
    Commande(":STATus:DEVice:CONDition?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        const int etat = (capteurs_[0].branche ? 2 : 0) | (capteurs_[1].branche ? 4 : 0);
        a.Repondre("+" + std::to_string(etat));
    });

    Commande("CONFigure#[:SCALar][:POWer][:AC]", [this](Appel &a) {
        Fenetre *f = FenetreDe(a);
        if (!f || !a.AuPlus(3)) return;
        int resolution = f->resolution;
        if (a.NombreParametres() > 1) {
            const scpi::Parametre &r = a.Unite().parametres[1];
            if (r.genre == scpi::Parametre::Genre::Nombre) {
                if (!a.Entier(1, resolution)) return;
                if (resolution < 1 || resolution > 4) return a.Erreur(-222);
            } else if (Majuscules(r.texte) != "DEF") {
                return a.Erreur(-224);
            }
        }
        int capteur = f->capteur;
        if (a.NombreParametres() > 2 && (capteur = CapteurDeListe(a.Unite().parametres[2])) == 0)
            return a.Erreur(-224);
        f->capteur = capteur;
        f->resolution = resolution;
        f->initiee = false;
        f->source = "IMM";
        f->delaiAuto = true;
        Abandonner(*f);
        f->valide = false;
    });
    Commande("ABORt#", [this](Appel &a) {
        if (Fenetre *f = FenetreDe(a); f && a.AuPlus(0)) Abandonner(*f);
    });
    Commande("INITiate#:CONTinuous", BooleenFenetre(&Fenetre::initiee));
    Commande("TRIGger#[:SEQuence]:SOURce", [this](Appel &a) {
        Fenetre *f = FenetreDe(a);
        std::string mot;
        if (!f || !a.AuPlus(1) || !a.Mot(0, mot)) return;
        static const std::pair<const char *, const char *> kSources[] = {
            {"BUS", "BUS"}, {"IMM", "IMM"}, {"IMMEDIATE", "IMM"}, {"HOLD", "HOLD"},
            {"EXT", "EXT"}, {"EXTERNAL", "EXT"}, {"INT1", "INT1"}, {"INTERNAL1", "INT1"},
            {"INT2", "INT2"}, {"INTERNAL2", "INT2"}};
        for (const auto &[mot_source, source] : kSources)
            if (mot == mot_source) {
                f->source = source;
                return;
            }
        a.Erreur(-224);
    });
    Commande("TRIGger#[:SEQuence]:DELay:AUTO", BooleenFenetre(&Fenetre::delaiAuto));
    Commande("TRIGger#[:SEQuence][:IMMediate]", [this](Appel &a) {
        if (FenetreDe(a) && a.AuPlus(0)) LancerMesure(DeclencherFenetre(a.Suffixe()));
    });
    Commande("UNIT#:POWer", [this](Appel &a) {
        Fenetre *f = FenetreDe(a);
        std::string mot;
        if (!f || !a.AuPlus(1) || !a.Mot(0, mot)) return;
        if (mot != "DBM" && mot != "W") return a.Erreur(-224);
        f->watts = mot == "W";
    });

    Commande("[SENSe#]:SPEed", [this](Appel &a) {
        Capteur *c = CapteurDe(a);
        int v = 0;
        if (!c || !a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v != 20 && v != 40 && v != 200) return a.Erreur(-224);
        c->vitesse = v;
    });
    Commande("[SENSe#]:AVERage[:STATe]", BooleenCapteur(&Capteur::moyenne));
    Commande("[SENSe#]:AVERage:COUNt:AUTO", BooleenCapteur(&Capteur::comptageAuto));
    Commande("[SENSe#]:AVERage:SDETect", BooleenCapteur(&Capteur::detectionSaut));
    Commande("[SENSe#]:AVERage:COUNt", [this](Appel &a) {
        Capteur *c = CapteurDe(a);
        int v = 0;
        if (!c || !a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v < 1 || v > 1024) return a.Erreur(-222);
        c->comptage = v;
        c->comptageAuto = false;  // a count given by hand ends the automatic count
    });
    const auto Frequence = [this](Appel &a) {
        Capteur *c = CapteurDe(a);
        if (!c || !a.AuPlus(1)) return;
        if (a.NombreParametres() != 1) return a.Erreur(-109);
        double hertz = 0.0;
        if (!LireFrequence(a.Unite().parametres[0], hertz)) return a.Erreur(-224);
        if (!(hertz >= 1e3 && hertz <= 1e12)) return a.Erreur(-222);
        c->frequence = hertz;
    };
    Commande("[SENSe#]:FREQuency[:CW]", Frequence);
    Commande("[SENSe#]:FREQuency:FIXed", Frequence);

    Commande("FETCh#[:SCALar][:POWer][:AC]?", [this](Appel &a) {
        Fenetre *f = FenetreDe(a);
        if (!f || !a.AuPlus(0)) return;
        if (!f->valide) return a.Erreur(-230, "Data corrupt or stale");
        if (!reponseFetch_.empty()) return a.Repondre(reponseFetch_);
        double v = f->valeur;
        if (f->watts && v != kNonNombre) v = std::pow(10.0, v / 10.0) / 1000.0;
        char texte[32];
        std::snprintf(texte, sizeof texte, "%+.8E", v);
        a.Repondre(texte);
    });
}

std::shared_ptr<Appareil> CreerE4419B() { return std::make_shared<E4419B>(); }

}  // namespace sim
