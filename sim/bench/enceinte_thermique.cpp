// The simulated thermal chamber (see enceinte_thermique.h).
#include "sim/bench/enceinte_thermique.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/clock.h"

namespace sim {

namespace {

constexpr const char *kIdentite = "BANC,ENCEINTE THERMIQUE,0,1.0";
constexpr std::string_view kAdresse = "0011";
constexpr char EOT = 0x04, STX = 0x02, ETX = 0x03, ENQ = 0x05, ACK = 0x06, NAK = 0x15;
constexpr double kConsigneMin = -70.0, kConsigneMax = 180.0;

char Controle(std::string_view octets) {
    char c = ETX;
    for (const char o : octets) c = static_cast<char>(c ^ o);
    return c;
}

// Only line-end bytes: what may follow a frame.
bool FinDeLigne(std::string_view reste) { return reste.find_first_not_of("\r\n") == std::string_view::npos; }

// A whole text read as a number.
bool Nombre(std::string_view texte, double &v) {
    const std::string t(texte);
    if (t.empty() || t.find_first_of(" \t\r\n") != std::string::npos) return false;
    char *fin = nullptr;
    errno = 0;
    v = std::strtod(t.c_str(), &fin);
    return errno == 0 && fin == t.c_str() + t.size() && std::isfinite(v);
}

}  // namespace

std::shared_ptr<Appareil> CreerEnceinteThermique() { return std::make_shared<EnceinteThermique>(); }

// ---- for tests ----------------------------------------------------------------------------

double EnceinteThermique::Consigne() const {
    std::lock_guard g(Verrou());
    return consigne_;
}

double EnceinteThermique::Temperature() const {
    std::lock_guard g(Verrou());
    return TemperatureA(horloge::Secondes());
}

std::vector<double> EnceinteThermique::Consignes() const {
    std::lock_guard g(Verrou());
    return consignes_;
}

int EnceinteThermique::TramesRefusees() const {
    std::lock_guard g(Verrou());
    return refusees_;
}

std::vector<std::string> EnceinteThermique::ReglagesInterface() const {
    std::lock_guard g(Verrou());
    return reglages_;
}

void EnceinteThermique::FixerConstanteDeTemps(double secondes) {
    std::lock_guard g(Verrou());
    const double maintenant = horloge::Secondes();
    depart_ = TemperatureA(maintenant);
    instantDepart_ = maintenant;
    constante_ = secondes > 0.0 ? secondes : 1e-9;
}

double EnceinteThermique::TemperatureA(double instant) const {
    const double ecoule = std::max(instant - instantDepart_, 0.0);
    return consigne_ + (depart_ - consigne_) * std::exp(-ecoule / constante_);
}

// ---- the bus side -----------------------------------------------------------------------------

void EnceinteThermique::Recu(std::string_view octets, bool fin) {
    message_ += octets;
    if (!fin) return;
    const std::string message = std::move(message_);
    message_.clear();
    ViderSortie();  // a reply left unread goes
    if (!message.empty() && message.front() == EOT) Trame(message);
    else Interface(message);
}

void EnceinteThermique::Efface() { message_.clear(); }

void EnceinteThermique::Interface(std::string_view message) {
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == '\0'))
        message.remove_suffix(1);
    if (message == "*IDN?") Emettre(std::string(kIdentite) + "\n");
    else if (message.starts_with("MIP ")) reglages_.emplace_back(message);
}

void EnceinteThermique::Trame(std::string_view trame) {
    if (trame.size() < 1 + kAdresse.size() || trame.substr(1, kAdresse.size()) != kAdresse) return;
    const std::string_view corps = trame.substr(1 + kAdresse.size());
    if (!corps.empty() && corps.front() == STX) {
        const std::size_t etx = corps.find(ETX);
        if (etx == std::string_view::npos || etx + 1 >= corps.size()) {
            ++refusees_;
            Emettre(std::string(1, NAK));
            return;
        }
        const std::string_view charge = corps.substr(1, etx - 1);
        Ecriture(charge, corps[etx + 1] == Controle(charge), corps.substr(etx + 2));
        return;
    }
    const std::size_t enq = corps.find(ENQ);
    if (enq == 2 && FinDeLigne(corps.substr(enq + 1))) Interrogation(corps.substr(0, 2));
}

void EnceinteThermique::Ecriture(std::string_view charge, bool controle_juste, std::string_view reste) {
    double valeur = 0.0;
    const bool ok = controle_juste && FinDeLigne(reste) && charge.starts_with("SL") && Nombre(charge.substr(2), valeur) &&
                    valeur >= kConsigneMin && valeur <= kConsigneMax;
    if (!ok) {
        ++refusees_;
        Emettre(std::string(1, NAK));
        return;
    }
    const double maintenant = horloge::Secondes();
    depart_ = TemperatureA(maintenant);
    instantDepart_ = maintenant;
    consigne_ = valeur;
    consignes_.push_back(valeur);
    Emettre(std::string(1, ACK));
}

void EnceinteThermique::Interrogation(std::string_view mnemonique) {
    double valeur = 0.0;
    if (mnemonique == "PV") valeur = TemperatureA(horloge::Secondes());
    else if (mnemonique == "SL") valeur = consigne_;
    else return Emettre(std::string(1, EOT));
    char texte[64];
    std::snprintf(texte, sizeof texte, "%.1f", valeur);
    const std::string donnees = std::string(mnemonique) + texte;
    Emettre(std::string(1, STX) + donnees + ETX + Controle(donnees) + "\r\n");
}

}  // namespace sim
