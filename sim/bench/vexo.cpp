// A simulated four-channel acquisition board (see vexo.h).
#include "sim/bench/vexo.h"

#include <algorithm>

#include "platform/clock.h"

namespace sim {

namespace {

constexpr char kEtx = 0x03;
constexpr char kEot = 0x04;
constexpr double kPeriodeAppel = 3.0;  // seconds between two calls
constexpr int kManquesMax = 3;         // periods without progress before the board calls again
constexpr double kTolerance = 1e-6;    // seconds: a clock moved by exactly the periods reaches them
constexpr std::array<std::int32_t, 4> kComptesDeBase = {10000, 20000, 30000, 40000};
constexpr std::int16_t kEpsilon1 = 1, kEpsilon2 = -1;

void GrandBoutiste(unsigned char *o, std::uint32_t v, int octets) {
    for (int i = 0; i < octets; ++i) o[i] = static_cast<unsigned char>(v >> (8 * (octets - 1 - i)));
}

}  // namespace

CarteVexo::CarteVexo() : cadence_(kPeriodeAppel) { Reinitialiser(); }

void CarteVexo::Reinitialiser() {
    etape_ = Etape::Appel1;
    aAppele_ = false;
    enTrame_ = false;
    cadence_ = Cadence(kPeriodeAppel);
    cadence_.MaintenantPuisChaquePeriode();
}

void CarteVexo::Appeler(serie::Sortie &sortie) {
    sortie.Emettre(bruitAppel_ + kEtx);
    ++appels_;
    aAppele_ = true;
}

std::array<unsigned char, CarteVexo::kTailleTrame> CarteVexo::Trame() const {
    std::array<unsigned char, kTailleTrame> t{};
    const std::array<std::int16_t, 2> e = epsilons_.value_or(std::array<std::int16_t, 2>{kEpsilon1, kEpsilon2});
    GrandBoutiste(&t[0], static_cast<std::uint16_t>(e[0]), 2);
    GrandBoutiste(&t[2], static_cast<std::uint16_t>(e[1]), 2);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::int32_t n = comptes_ ? (*comptes_)[k] : kComptesDeBase[k] + trames_;
        GrandBoutiste(&t[4 + 4 * k], static_cast<std::uint32_t>(n), 4);
    }
    return t;
}

bool CarteVexo::Oublier(double maintenant, serie::Sortie &sortie) {
    if (etape_ != Etape::Acquisition || maintenant - dernierSigne_ < kManquesMax * cadence_.Periode() - kTolerance)
        return false;
    Reinitialiser();
    cadence_.Parle(maintenant);
    Appeler(sortie);
    return true;
}

void CarteVexo::Parler(double maintenant, serie::Sortie &sortie) {
    if (Oublier(maintenant, sortie)) return;
    cadence_.Parle(maintenant);
    if (etape_ == Etape::Appel1 || etape_ == Etape::Appel2) {
        Appeler(sortie);
        return;
    }
    if (etape_ != Etape::Acquisition) {
        cadence_.Taire();
        return;
    }
    if (enTrame_) {
        if (coupe_ && envoyes_ >= *coupe_) enTrame_ = false;  // a frame cut short is given up
        return;
    }
    trame_ = Trame();
    enTrame_ = true;
    envoyes_ = 0;
    dernierSigne_ = maintenant;
    sortie.Emettre(zeroAvantTrame_ ? std::string("\0\x03", 2) : std::string(1, kEtx));
}

void CarteVexo::Statut(char bon, Etape suivante, serie::Sortie &sortie) {
    int &faux = bon == '7' ? statutsFaux_[0] : statutsFaux_[1];
    if (faux > 0) {
        --faux;
        sortie.Emettre(bon == '7' ? "6" : "9");
        Appeler(sortie);  // and calls again
        return;
    }
    sortie.Emettre(std::string(1, bon));
    etape_ = suivante;
    cadence_.Taire();
}

void CarteVexo::Acquerir(double maintenant) {
    etape_ = Etape::Acquisition;
    dernierSigne_ = maintenant;
    cadence_ = Cadence(std::max(1, octetPeriode_));
    cadence_.Parle(maintenant);  // the first frame one period from now
}

void CarteVexo::Recevoir(std::string_view octets, serie::Sortie &sortie) {
    for (const char c : octets) Recevoir(static_cast<unsigned char>(c), sortie);
}

void CarteVexo::Recevoir(unsigned char c, serie::Sortie &sortie) {
    // A byte that comes after the board took the computer for gone finds it calling again,
    // whichever of the two the line saw first.
    Oublier(horloge::Secondes(), sortie);
    switch (etape_) {
    case Etape::Appel1:
        if (c == kEot && aAppele_) Statut('7', Etape::Requete1, sortie);  // before its first call, nothing
        break;
    case Etape::Appel2:
        if (c == kEot) Statut('8', Etape::Requete2, sortie);
        break;
    case Etape::Requete1:
    case Etape::Requete2: {
        const bool premiere = etape_ == Etape::Requete1;
        if (c == kEtx) {
            sortie.Emettre(std::string(1, kEot));
            etape_ = premiere ? Etape::Configuration : Etape::Periode;
            if (premiere) configuration_.clear();
            else octetPeriode_ = -1;
        } else if (c == kEot) {
            // The computer missed the call or the status (it timed out, or answered a call it
            // found late): the board calls again and repeats its status at once.
            Appeler(sortie);
            sortie.Emettre(premiere ? "7" : "8");
        }
        break;
    }
    case Etape::Configuration:
        configuration_.push_back(static_cast<char>(c));
        if (configuration_.size() == kTailleConfiguration) {
            etape_ = Etape::Appel2;
            cadence_ = Cadence(kPeriodeAppel);
            cadence_.Parle(horloge::Secondes());
            Appeler(sortie);
        }
        break;
    case Etape::Periode:
        if (octetPeriode_ < 0) octetPeriode_ = c;
        else if (c == kEot) Acquerir(horloge::Secondes());
        break;
    case Etape::Acquisition:
        if (c != kEot || !enTrame_) break;
        if (reinitialiserApres_ == envoyes_) {
            // Reset before this acknowledgement came: it answers the board's new call.
            reinitialiserApres_.reset();
            Reinitialiser();
            Appeler(sortie);
            Statut('7', Etape::Requete1, sortie);
            break;
        }
        dernierSigne_ = horloge::Secondes();
        if (envoyes_ == kTailleTrame) {
            ++trames_;
            enTrame_ = false;
        } else if (coupe_ && envoyes_ >= *coupe_) {
            // cut: silent, and the next period gives the frame up instead of sending one
        } else {
            sortie.Emettre(std::string(1, static_cast<char>(trame_[envoyes_++])));
        }
        break;
    }
}

}  // namespace sim
