// A simulated temperature regulator (see regul_acoustic.h).
#include "sim/bench/regul_acoustic.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/clock.h"

namespace sim {

namespace {

constexpr double kConstanteDeTemps = 20.0;  // seconds
constexpr std::size_t kTexteConsigneMax = 16;

// The whole text is a decimal number.
std::optional<double> Nombre(std::string_view texte) {
    double v = 0.0;
    const auto [fin, err] = std::from_chars(texte.data(), texte.data() + texte.size(), v);
    if (texte.empty() || err != std::errc{} || fin != texte.data() + texte.size()) return std::nullopt;
    return v;
}

}  // namespace

void RegulateurAcoustique::Reguler(double maintenant) {
    if (std::isfinite(dernierCalcul_) && maintenant > dernierCalcul_)
        temperature_ += (consigne_ - temperature_) * (1.0 - std::exp(-(maintenant - dernierCalcul_) / kConstanteDeTemps));
    dernierCalcul_ = maintenant;
}

void RegulateurAcoustique::Parler(double maintenant, serie::Sortie &sortie) {
    Reguler(maintenant);
    cadence_.Parle(maintenant);
    std::string texte;
    if (texteImpose_) {
        texte = *texteImpose_;
    } else {
        char t[32];
        std::snprintf(t, sizeof t, "%.2f\r", temperatureImposee_.value_or(temperature_));
        texte = t;
    }
    std::string rapport = bruitRapport_ + "t";
    if (couper_) rapport += texte.substr(0, texte.size() / 2);
    else rapport += texte + "\n";
    sortie.Emettre(rapport);
    ++rapports_;
}

void RegulateurAcoustique::Recevoir(std::string_view octets, serie::Sortie &sortie) {
    for (const char c : octets) {
        if (c == 'c') {  // a new exchange, also in place of a value that never came
            enConsigne_ = false;
            if (sansAccord_) continue;
            sortie.Emettre(bruitAccord_ + "y");
            enConsigne_ = true;
            texteConsigne_.clear();
            continue;
        }
        if (!enConsigne_) continue;
        texteConsigne_.push_back(c);
        if (texteConsigne_.size() >= 2 && texteConsigne_.ends_with("\r\r")) {
            if (const auto v = Nombre(std::string_view(texteConsigne_).substr(0, texteConsigne_.size() - 2))) {
                Reguler(horloge::Secondes());
                consigne_ = *v;
                consignes_.push_back(*v);
            }
            enConsigne_ = false;
        } else if (texteConsigne_.size() > kTexteConsigneMax) {
            enConsigne_ = false;  // no set-point: the regulator waits for the next 'c'
        }
    }
}

}  // namespace sim
