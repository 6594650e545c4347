// The simulated HP 4194A gain-phase analyser (see hp4194.h).
#include "sim/analysers/hp4194.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <optional>

#include "platform/clock.h"

namespace sim {

namespace {

// A decimal number, the whole text (a leading '+' allowed).
std::optional<double> Nombre(std::string_view texte) {
    if (!texte.empty() && texte.front() == '+') texte.remove_prefix(1);
    if (texte.empty() || texte.front() == '+') return std::nullopt;
    double v = 0.0;
    const auto [fin, ec] = std::from_chars(texte.data(), texte.data() + texte.size(), v,
                                           std::chars_format::general);
    if (ec != std::errc() || fin != texte.data() + texte.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// Seconds a point takes for each integration time ITM1..ITM3.
constexpr double kSecondesParPoint[] = {0.5e-3, 5e-3, 20e-3};

// Appends `valeur` most significant byte first.
template <class T>
void GrosBout(std::string &s, T valeur) {
    using Entier = std::conditional_t<sizeof(T) == 8, std::uint64_t,
                                      std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t>>;
    const auto bits = std::bit_cast<Entier>(valeur);
    for (int i = static_cast<int>(sizeof(T)) - 1; i >= 0; --i)
        s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

}  // namespace

Hp4194::Hp4194() {
    a_.assign(static_cast<std::size_t>(r_.points), 0.0);
    b_ = a_;
    x_ = Frequences(r_);
}

// ---- for tests ------------------------------------------------------------------------------

void Hp4194::FixerCoupure(double hz) {
    std::lock_guard g(Verrou());
    coupure_ = hz;
}

double Hp4194::Coupure() const {
    std::lock_guard g(Verrou());
    return coupure_;
}

void Hp4194::FixerPannes(const Pannes &pannes) {
    std::lock_guard g(Verrou());
    pannes_ = pannes;
}

Hp4194::Reglages Hp4194::LireReglages() {
    std::lock_guard g(Verrou());
    Signaler();  // up to now on the program's clock
    return r_;
}

int Hp4194::Balayages() {
    std::lock_guard g(Verrou());
    Signaler();
    return balayages_;
}

bool Hp4194::Balaie() {
    std::lock_guard g(Verrou());
    Signaler();
    return balaie_;
}

std::vector<std::string> Hp4194::Refusees() const {
    std::lock_guard g(Verrou());
    return refusees_;
}

double Hp4194::Gain(double f, double fc) {
    const double x = f / fc;
    return -10.0 * std::log10(1.0 + x * x);
}

double Hp4194::Phase(double f, double fc) { return -std::atan(f / fc) * 180.0 / std::numbers::pi; }

std::vector<double> Hp4194::Frequences(const Reglages &r) {
    const int n = r.points;
    std::vector<double> f(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
        f[static_cast<std::size_t>(i)] = r.lineaire == 2 && r.start > 0.0 && r.stop > 0.0
                                             ? r.start * std::pow(r.stop / r.start, t)
                                             : r.start + (r.stop - r.start) * t;
    }
    if (r.sens == 2) std::reverse(f.begin(), f.end());
    return f;
}

double Hp4194::Duree(const Reglages &r) {
    const int itm = std::clamp(r.integration, 1, 3);
    return r.points * kSecondesParPoint[itm - 1] * r.moyennes;
}

// ---- messages -------------------------------------------------------------------------------

void Hp4194::Recu(std::string_view octets, bool fin) {
    // A new message discards a reply left unread.
    if (entree_.empty()) {
        ViderSortie();
        differee_.clear();
        pret_ = kJamais;
    }
    for (const char c : octets) {
        if (c == '\n') {
            Executer(entree_);
            entree_.clear();
        } else {
            entree_ += c;
        }
    }
    if (fin) {
        Executer(entree_);
        entree_.clear();
    }
}

void Hp4194::Executer(std::string_view message) {
    std::string unite;
    for (const char c : message) {
        if (c == ';') {
            Unite(std::move(unite));
            unite.clear();
        } else if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') {
            unite += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    Unite(std::move(unite));
}

void Hp4194::Refuser(std::string unite) {
    refusees_.push_back(std::move(unite));
    stb_ |= kErreur;
}

void Hp4194::Unite(std::string u) {
    if (u.empty()) return;
    // Queries.
    if (u == "A?" || u == "B?" || u == "X?") {
        Repondre(Trace(u[0] == 'A' ? a_ : u[0] == 'B' ? b_ : x_), true);
        return;
    }
    if (u == "STB?") {
        Repondre(std::to_string(stb_ | (Requete() ? 0x40 : 0)) + "\r\n", false);
        return;
    }
    if (u == "ID?") {
        Repondre("HP4194A\r\n", false);
        return;
    }
    if (u == "SWTRG") {
        Declencher();
        return;
    }
    // NAME=value.
    if (const auto egal = u.find('='); egal != std::string::npos) {
        const std::string nom = u.substr(0, egal);
        const std::optional<double> v = Nombre(std::string_view(u).substr(egal + 1));
        if (!v) return Refuser(std::move(u));
        if (nom == "START" && *v >= 0.0) r_.start = *v;
        else if (nom == "STOP" && *v >= 0.0) r_.stop = *v;
        else if (nom == "CENTER" && *v >= 0.0) {
            // The center moves, the span stays, narrowed if the start would fall below 0 Hz.
            const double demi = std::min((r_.stop - r_.start) / 2.0, *v);
            r_.start = *v - demi;
            r_.stop = *v + demi;
        } else if (nom == "SPAN" && *v >= 0.0) {
            const double centre = (r_.start + r_.stop) / 2.0;
            const double demi = std::min(*v / 2.0, centre);
            r_.start = centre - demi;
            r_.stop = centre + demi;
        } else if (nom == "NOP" && *v >= 2.0 && *v <= kPointsMax) {
            r_.points = static_cast<int>(std::lround(*v));
        } else if (nom == "NOA" && *v >= 1.0 && *v <= 256.0 && std::has_single_bit(static_cast<unsigned>(*v)) &&
                   *v == std::floor(*v)) {
            r_.moyennes = static_cast<int>(*v);
        } else if (nom == "OSC" && *v >= 0.0 && *v <= 1.2) {
            r_.osc = *v;
        } else {
            Refuser(std::move(u));
        }
        return;
    }
    // Mnemonic and a number: FNC2, ITM3, RQS2...
    std::size_t k = 0;
    while (k < u.size() && std::isalpha(static_cast<unsigned char>(u[k]))) ++k;
    const std::string nom = u.substr(0, k);
    int n = -1;
    const auto [fin, ec] = std::from_chars(u.data() + k, u.data() + u.size(), n);
    if (k == 0 || k == u.size() || ec != std::errc() || fin != u.data() + u.size()) return Refuser(std::move(u));
    struct Choix {
        const char *nom;
        int Reglages::*champ;
        int min, max;
    };
    static constexpr Choix kChoix[] = {
        {"FNC", &Reglages::fonction, 1, 4},  {"GPP", &Reglages::affichage, 1, 4},
        {"SWP", &Reglages::parametre, 1, 4}, {"SWT", &Reglages::lineaire, 1, 2},
        {"SWD", &Reglages::sens, 1, 2},      {"ITM", &Reglages::integration, 1, 3},
        {"PWS", &Reglages::pws, 1, 2},       {"ATR", &Reglages::atr, 1, 2},
        {"ZIR", &Reglages::zir, 1, 2},       {"ATT", &Reglages::att, 1, 2},
        {"ZIT", &Reglages::zit, 1, 2},       {"FMT", &Reglages::format, 1, 3},
        {"RQS", &Reglages::masque, 0, 255},
    };
    for (const Choix &c : kChoix) {
        if (nom != c.nom) continue;
        if (n < c.min || n > c.max) return Refuser(std::move(u));
        r_.*c.champ = n;
        return;
    }
    if (nom == "SWM" && n >= 1 && n <= 3) {
        r_.mode = n;
        // Repeat starts sweeping at once; single and manual stop after the sweep that runs.
        if (n == 1 && !balaie_) Declencher();
        return;
    }
    Refuser(std::move(u));
}

void Hp4194::Repondre(std::string reponse, bool trace) {
    if (trace && pannes_.delaiReponse > 0.0) {
        differee_ = std::move(reponse);
        pret_ = horloge::Secondes() + pannes_.delaiReponse;
        return;
    }
    Emettre(reponse, true);
}

std::string Hp4194::Trace(const std::vector<double> &valeurs) const {
    std::vector<double> v = valeurs;
    for (int i = 0; i < pannes_.valeursEnTrop; ++i) v.push_back(v.empty() ? 0.0 : v.back());
    if (r_.format == 1) {
        std::string s;
        char t[32];
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::snprintf(t, sizeof t, "%s%+.6E", i > 0 ? "," : "", v[i]);
            s += t;
        }
        return s + "\r\n";
    }
    const std::size_t taille = r_.format == 3 ? 4 : 8;
    std::string donnees;
    for (const double x : v) {
        if (taille == 4) GrosBout(donnees, static_cast<float>(x));
        else GrosBout(donnees, x);
    }
    std::string s = "#A";
    GrosBout(s, static_cast<std::uint16_t>(std::min<std::size_t>(donnees.size(), 0xFFFF)));
    if (pannes_.octetsBloc >= 0 && static_cast<std::size_t>(pannes_.octetsBloc) < donnees.size())
        return s + donnees.substr(0, static_cast<std::size_t>(pannes_.octetsBloc));
    return s + donnees + "\r\n";
}

// ---- the sweep ------------------------------------------------------------------------------

void Hp4194::Declencher() {
    balayage_ = r_;
    balaie_ = true;
    finBalayage_ = horloge::Secondes() + Duree(balayage_);
}

void Hp4194::TerminerBalayage() {
    x_ = Frequences(balayage_);
    a_.resize(x_.size());
    b_.resize(x_.size());
    for (std::size_t i = 0; i < x_.size(); ++i) {
        a_[i] = Gain(x_[i], coupure_);
        b_[i] = Phase(x_[i], coupure_);
    }
    ++balayages_;
    stb_ |= kFinBalayage;
}

double Hp4194::ProchainEvenement() { return std::min(balaie_ ? finBalayage_ : kJamais, pret_); }

void Hp4194::Avancer(double maintenant) {
    while (balaie_ && maintenant >= finBalayage_) {
        const double fin = finBalayage_;
        TerminerBalayage();
        if (r_.mode == 1) {
            balayage_ = r_;
            finBalayage_ = fin + Duree(balayage_);
        } else {
            balaie_ = false;
            finBalayage_ = kJamais;
        }
    }
    if (maintenant >= pret_) {
        Emettre(differee_, true);
        differee_.clear();
        pret_ = kJamais;
    }
}

void Hp4194::Actualiser() {
    const bool motif = (stb_ & r_.masque) != 0;
    if (motif && !motif_) LeverRequete();
    else if (!motif && Requete()) BaisserRequete();
    motif_ = motif;
}

void Hp4194::ApresSerialPoll() { stb_ = 0; }

void Hp4194::Efface() {
    entree_.clear();
    differee_.clear();
    pret_ = kJamais;
}

std::shared_ptr<Appareil> CreerHp4194() { return std::make_shared<Hp4194>(); }

}  // namespace sim
