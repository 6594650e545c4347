// The simulated Anritsu MS4623B (see ms4623b.h).
#include "sim/network/ms4623b.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <utility>

#include "platform/clock.h"

namespace sim {

namespace {

constexpr const char *kIdentite = "ANRITSU,MS4623B,000000,1.08";
constexpr int kPointsMax = 1601;
constexpr std::uint8_t kBalayageTermine = 0x08;  // extended event register
constexpr std::uint8_t kResumeEvenements = 0x80; // status byte bit 7

// The device under test.
constexpr double kZ0 = 50.0;
constexpr double kResistance = 5.0;        // loss of the resonator (ohms)
constexpr double kQCharge = 50.0;          // loaded quality factor
constexpr double kResonance = 2.0e9;       // Hz, drifting by kDerive over kPeriodeDerive
constexpr double kDerive = 2.0e6;
constexpr double kPeriodeDerive = 60.0;    // program seconds
constexpr double kRetard = 1.5e-9;         // delay of the direct path through the lines (s)
constexpr double kRetardEcho = 6.0e-9;     // delay of the echo path (s)
constexpr double kEchoTransmission = 0.02;
constexpr double kEchoReflexion = 0.03;

constexpr double kPi = std::numbers::pi;

std::complex<double> Retard(double f, double tau) { return std::polar(1.0, -2.0 * kPi * f * tau); }

std::string Nombre(double v) {
    char t[40];
    std::snprintf(t, sizeof t, "%e", v);
    return t;
}

}  // namespace

MS4623B::MS4623B() : Appareil488(kIdentite) {
    Commandes();
    LancerBalayage();
}

std::shared_ptr<Appareil> CreerMS4623B() { return std::make_shared<MS4623B>(); }

// ---- for tests ----------------------------------------------------------------------------

MS4623B::Reglages MS4623B::LireReglages() const {
    std::lock_guard g(Verrou());
    return reglages_;
}

void MS4623B::FixerBalayage(double debut, double fin, int points) {
    std::lock_guard g(Verrou());
    debut_ = debut;
    fin_ = fin;
    points_ = std::clamp(points, 1, kPointsMax);
    mesure_.clear();
    Signaler();
}

void MS4623B::FixerDureeBalayage(double secondes) {
    std::lock_guard g(Verrou());
    dureeBalayage_ = std::max(secondes, 0.0);
}

void MS4623B::FixerDureeRappel(double secondes) {
    std::lock_guard g(Verrou());
    dureeRappel_ = std::max(secondes, 0.0);
}

double MS4623B::Resonance() const {
    return kResonance + kDerive * std::sin(2.0 * kPi * horloge::Secondes() / kPeriodeDerive);
}

int MS4623B::BalayagesTermines() const {
    std::lock_guard g(Verrou());
    return balayages_;
}

int MS4623B::Autoscales() const {
    std::lock_guard g(Verrou());
    return autoscales_;
}

std::optional<std::string> MS4623B::Fichier(const std::string &nom) const {
    std::lock_guard g(Verrou());
    const auto it = disque_.find(Nom(nom));
    if (it == disque_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> MS4623B::FichierSupprime(const std::string &nom) const {
    std::lock_guard g(Verrou());
    const auto it = supprimes_.find(Nom(nom));
    if (it == supprimes_.end()) return std::nullopt;
    return it->second;
}

std::string MS4623B::CalibrationRappelee() const {
    std::lock_guard g(Verrou());
    return calibration_;
}

void MS4623B::RemplacerReponse(const std::string &commande, std::string octets, bool fin) {
    std::lock_guard g(Verrou());
    remplacements_[Nom(commande)].emplace_back(std::move(octets), fin);
}

// ---- status and timing ------------------------------------------------------------------------

void MS4623B::Reinitialiser() {
    reglages_ = {};
    continu_ = true;
    masqueEvenements_ = 0;
    evenements_ = 0;
    LancerBalayage();
}

void MS4623B::LancerBalayage() {
    if (tache_ == Tache::Rappel && reponseRappel_) {
        Emettre("1\n");  // the recall is over as the sweep takes its place
        reponseRappel_ = false;
    }
    evenements_ &= static_cast<std::uint8_t>(~kBalayageTermine);
    tache_ = Tache::Balayage;
    DemarrerOperation(dureeBalayage_);
}

void MS4623B::OperationTerminee() {
    const Tache tache = std::exchange(tache_, Tache::Aucune);
    if (tache == Tache::Balayage) {
        Mesurer();
        ++balayages_;
        evenements_ |= kBalayageTermine;
    } else if (tache == Tache::Rappel && reponseRappel_) {
        Emettre("1\n");
        reponseRappel_ = false;
    }
    if (tache != Tache::Aucune && continu_) LancerBalayage();
}

std::uint8_t MS4623B::BitsEtat() {
    return (evenements_ & masqueEvenements_) != 0 ? kResumeEvenements : 0;
}

void MS4623B::ApresSerialPoll() { evenements_ = 0; }

// ---- the measurement --------------------------------------------------------------------------

std::vector<double> MS4623B::Frequences() const {
    std::vector<double> f(static_cast<std::size_t>(points_));
    for (int i = 0; i < points_; ++i)
        f[static_cast<std::size_t>(i)] = points_ > 1 ? debut_ + (fin_ - debut_) * i / (points_ - 1) : debut_;
    return f;
}

std::vector<double> MS4623B::Temps() const {
    const double a = reglages_.plageDebut, b = reglages_.plageFin;
    std::vector<double> t(static_cast<std::size_t>(points_));
    for (int i = 0; i < points_; ++i)
        t[static_cast<std::size_t>(i)] = points_ > 1 ? a + (b - a) * i / (points_ - 1) : a;
    return t;
}

// The S-parameter at `f`: the direct path through the resonator and the echo, each kept only
// when its delay lies in [debutPorte, finPorte].
std::complex<double> MS4623B::Reponse(double f, double debutPorte, double finPorte) const {
    const double f0 = Resonance();
    const double x = kQCharge * (2.0 * kZ0 + kResistance) * (f / f0 - f0 / f);
    const std::complex<double> z(kResistance, x);
    const bool transmission = reglages_.parametre == 12 || reglages_.parametre == 21;
    const std::complex<double> direct = transmission ? 2.0 * kZ0 / (2.0 * kZ0 + z) : z / (2.0 * kZ0 + z);
    const double echo = transmission ? kEchoTransmission : kEchoReflexion;
    const auto Garde = [&](double tau) { return tau >= debutPorte && tau <= finPorte; };
    std::complex<double> s;
    if (Garde(kRetard)) s += direct * Retard(f, kRetard);
    if (Garde(kRetardEcho)) s += echo * Retard(f, kRetardEcho);
    return s;
}

void MS4623B::Mesurer() {
    double debutPorte = -INFINITY, finPorte = INFINITY;
    if (reglages_.porte == Porte::Marche && reglages_.domaine != Domaine::Frequence) {
        debutPorte = reglages_.porteDebut;
        finPorte = reglages_.porteFin;
    }
    const std::vector<double> f = Frequences();
    std::vector<std::complex<double>> s(f.size());
    for (std::size_t k = 0; k < f.size(); ++k) s[k] = Reponse(f[k], debutPorte, finPorte);
    if (reglages_.domaine != Domaine::Temps) {
        mesure_ = std::move(s);
        return;
    }
    // Band-pass time response over the range: the inverse transform of the windowed sweep.
    const std::size_t n = f.size();
    std::vector<double> w(n, 1.0);
    double somme = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        if (n > 1) w[k] = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(k) / static_cast<double>(n - 1));
        somme += w[k];
    }
    const std::vector<double> t = Temps();
    mesure_.assign(t.size(), {});
    for (std::size_t m = 0; m < t.size(); ++m) {
        std::complex<double> h;
        for (std::size_t k = 0; k < n; ++k) h += w[k] * s[k] * std::conj(Retard(f[k], t[m]));
        mesure_[m] = somme > 0.0 ? h / somme : h;
    }
}

// The trace in the display format, as a block (two fields a point for the two-quantity formats).
std::string MS4623B::Trace() const {
    const auto dB = [](std::complex<double> s) { return 20.0 * std::log10(std::max(std::abs(s), 1e-10)); };
    const auto degres = [](std::complex<double> s) { return std::arg(s) * 180.0 / kPi; };
    std::vector<double> v;
    for (const std::complex<double> s : mesure_) {
        switch (reglages_.format) {
        case Format::LogMag: v.push_back(dB(s)); break;
        case Format::Phase: v.push_back(degres(s)); break;
        case Format::LinMag: v.push_back(std::abs(s)); break;
        case Format::Smith: v.push_back(s.real()); break;
        case Format::LogMagPhase:
            v.push_back(dB(s));
            v.push_back(degres(s));
            break;
        case Format::LinMagPhase:
            v.push_back(std::abs(s));
            v.push_back(degres(s));
            break;
        }
    }
    return Bloc(v);
}

// "#<n><length>" and one 19-character field per value.
std::string MS4623B::Bloc(const std::vector<double> &valeurs) {
    std::string charge;
    charge.reserve(valeurs.size() * 19);
    for (const double v : valeurs) {
        char champ[32];
        std::snprintf(champ, sizeof champ, "%18.10E,", v);
        charge += champ;
    }
    const std::string longueur = std::to_string(charge.size());
    return "#" + std::to_string(longueur.size()) + longueur + charge;
}

// The saved trace: its settings and point count in a text line, then per point the abscissa,
// the real and the imaginary part as little-endian doubles.
std::string MS4623B::FichierTrace() const {
    static constexpr const char *kFormats[] = {"MAG", "PHA", "LIN", "SMI", "MPH", "LPH"};
    static constexpr const char *kDomaines[] = {"FQD", "FGT", "TBP"};
    const std::vector<double> x = reglages_.domaine == Domaine::Temps ? Temps() : Frequences();
    const std::size_t n = std::min(mesure_.size(), x.size());
    char entete[80];
    std::snprintf(entete, sizeof entete, "MS4623B S%d %s %s %zu\r\n", reglages_.parametre,
                  kFormats[static_cast<int>(reglages_.format)], kDomaines[static_cast<int>(reglages_.domaine)], n);
    std::string fichier = entete;
    const auto Double = [&fichier](double v) {
        unsigned char octets[8];
        std::memcpy(octets, &v, sizeof octets);
        if constexpr (std::endian::native == std::endian::big) std::reverse(octets, octets + 8);
        fichier.append(reinterpret_cast<const char *>(octets), sizeof octets);
    };
    for (std::size_t i = 0; i < n; ++i) {
        Double(x[i]);
        Double(mesure_[i].real());
        Double(mesure_[i].imag());
    }
    return fichier;
}

std::string MS4623B::Nom(const std::string &nom) {
    std::string n = nom;
    for (char &c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return n;
}

// A reply, unless a test replaced it.
void MS4623B::Repondre(Appel &a, const std::string &commande, std::string texte) {
    auto it = remplacements_.find(commande);
    if (it != remplacements_.end() && !it->second.empty()) {
        auto [octets, fin] = std::move(it->second.front());
        it->second.pop_front();
        Emettre(octets, fin);
        return;
    }
    a.Repondre(std::move(texte));
}

// ---- the command set --------------------------------------------------------------------------

void MS4623B::Commandes() {
    const auto Reglage = [this](std::string_view motif, auto &&appliquer) {
        Commande(motif, [appliquer](Appel &a) {
            if (a.AuPlus(0)) appliquer();
        });
    };
    const auto Valeur = [this](std::string_view motif, double Reglages::*champ) {
        Commande(motif, [this, champ](Appel &a) {
            double v = 0.0;
            if (a.AuPlus(1) && a.Nombre(0, v)) reglages_.*champ = v;
        });
    };
    const auto Question = [this](std::string_view motif, auto &&texte) {
        Commande(motif, [this, texte, nom = Nom(std::string(motif))](Appel &a) {
            if (a.AuPlus(0)) Repondre(a, nom, texte());
        });
    };
    const auto Nom_ = [](Appel &a, std::string &nom) {
        if (a.NombreParametres() < 1 || a.Unite().parametres[0].genre != scpi::Parametre::Genre::Chaine) {
            a.Erreur(-109);
            return false;
        }
        nom = Nom(a.Unite().parametres[0].texte);
        return true;
    };

    // Domain, gate, range, display.
    Reglage("FQD", [this] { reglages_.domaine = Domaine::Frequence; });
    Reglage("FGT", [this] { reglages_.domaine = Domaine::FrequencePorte; });
    Reglage("TBP", [this] { reglages_.domaine = Domaine::Temps; });
    Reglage("GOF", [this] { reglages_.porte = Porte::Arret; });
    Reglage("GON", [this] { reglages_.porte = Porte::Marche; });
    Reglage("GDS", [this] { reglages_.porte = Porte::Affichage; });
    Valeur("GST", &Reglages::porteDebut);
    Valeur("GSP", &Reglages::porteFin);
    Valeur("ZST", &Reglages::plageDebut);
    Valeur("ZSP", &Reglages::plageFin);
    Commande("CH#", [](Appel &a) {
        if (a.AuPlus(0) && a.Suffixe() > 4) a.Erreur(-114);
    });
    for (const int s : {11, 12, 21, 22})
        Reglage("S" + std::to_string(s), [this, s] { reglages_.parametre = s; });
    const std::pair<const char *, Format> formats[] = {
        {"MAG", Format::LogMag}, {"PHA", Format::Phase},       {"LIN", Format::LinMag},
        {"SMI", Format::Smith},  {"MPH", Format::LogMagPhase}, {"LPH", Format::LinMagPhase}};
    for (const auto &[motif, format] : formats) Reglage(motif, [this, f = format] { reglages_.format = f; });
    Reglage("ASC", [this] { ++autoscales_; });

    // Read-back.
    Question("GOF?", [this] { return std::to_string(static_cast<int>(reglages_.porte)); });
    Question("GST?", [this] { return Nombre(reglages_.porteDebut); });
    Question("GSP?", [this] { return Nombre(reglages_.porteFin); });
    Question("ZST?", [this] { return Nombre(reglages_.plageDebut); });
    Question("ZSP?", [this] { return Nombre(reglages_.plageFin); });
    Question("GRF?", [this] {
        static constexpr int kCodes[] = {1, 2, 10, 4, 3, 11};
        return std::to_string(kCodes[static_cast<int>(reglages_.format)]);
    });
    Question("TDX?", [this] {
        static constexpr int kCodes[] = {0, 1, 4};
        return std::to_string(kCodes[static_cast<int>(reglages_.domaine)]);
    });
    Question("SXX?", [this] { return std::to_string(reglages_.parametre); });

    // Sweeps and traces.
    Commande("ONCP", [this](Appel &a) {
        if (a.AuPlus(0)) Repondre(a, "ONCP", std::to_string(points_));
    });
    Reglage("HLD", [this] {
        continu_ = false;
        evenements_ &= static_cast<std::uint8_t>(~kBalayageTermine);
        if (tache_ == Tache::Balayage) {
            tache_ = Tache::Aucune;  // abandoned: its end measures nothing
            DemarrerOperation(0.0);
        }
    });
    Reglage("TRS", [this] { LancerBalayage(); });
    Reglage("WFS", [] {});
    Commande("IEM", [this](Appel &a) {
        int v = 0;
        if (a.AuPlus(1) && a.Entier(0, v)) masqueEvenements_ = static_cast<std::uint8_t>(v & 0xFF);
    });
    Commande("OFD", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (mesure_.size() != static_cast<std::size_t>(points_)) Mesurer();
        Repondre(a, "OFD", Trace());
    });
    Commande("OFV", [this](Appel &a) {
        if (a.AuPlus(0)) Repondre(a, "OFV", Bloc(Frequences()));
    });
    Commande("OTV", [this](Appel &a) {
        if (a.AuPlus(0)) Repondre(a, "OTV", Bloc(Temps()));
    });

    // Disk and calibration.
    Commande("DISKWR", [this, Nom_](Appel &a) {
        std::string nom;
        if (!a.AuPlus(2) || !Nom_(a, nom)) return;
        if (a.NombreParametres() < 2 || a.Unite().parametres[1].genre != scpi::Parametre::Genre::Bloc)
            return a.Erreur(-109);
        disque_[nom] = a.Unite().parametres[1].texte;
    });
    Commande("RECALL", [this, Nom_](Appel &a) {
        std::string nom;
        if (!a.AuPlus(1) || !Nom_(a, nom)) return;
        if (disque_.count(nom) == 0) return a.Erreur(-256, "File name not found");
        calibration_ = nom;
        tache_ = Tache::Rappel;
        DemarrerOperation(dureeRappel_);
    });
    Commande("TXX?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (tache_ == Tache::Rappel) reponseRappel_ = true;  // answered when the recall ends
        else a.Repondre("1");
    });
    Commande("SAVE", [this, Nom_](Appel &a) {
        std::string nom;
        if (!a.AuPlus(1) || !Nom_(a, nom)) return;
        if (mesure_.empty()) Mesurer();
        disque_[nom] = FichierTrace();
    });
    Commande("DISKRD", [this, Nom_](Appel &a) {
        std::string nom;
        if (!a.AuPlus(1) || !Nom_(a, nom)) return;
        const auto it = disque_.find(nom);
        if (it == disque_.end()) return a.Erreur(-256, "File name not found");
        const std::string longueur = std::to_string(it->second.size());
        Repondre(a, "DISKRD", "#" + std::to_string(longueur.size()) + longueur + it->second);
    });
    Commande("DEL", [this, Nom_](Appel &a) {
        std::string nom;
        if (!a.AuPlus(1) || !Nom_(a, nom)) return;
        const auto it = disque_.find(nom);
        if (it == disque_.end()) return a.Erreur(-256, "File name not found");
        supprimes_[nom] = std::move(it->second);
        disque_.erase(it);
    });

    // Accepted without effect on the measurement.
    Question("OID", [] { return std::string("MS4623B,000000,1.08"); });
    for (const char *motif : {"LSB", "PDT0", "PDT1", "TIN", "RTL"}) Reglage(motif, [] {});
    Commande("ILM", [](Appel &a) {
        int v = 0;
        if (a.AuPlus(1)) a.Entier(0, v);
    });
}

}  // namespace sim
