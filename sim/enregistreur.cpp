// A recording device.
#include "sim/enregistreur.h"

namespace sim {

void Enregistreur::Programmer(std::string question, std::string reponse) {
    std::lock_guard g(Verrou());
    regles_.emplace_back(std::move(question), std::move(reponse));
}

void Enregistreur::AjouterSortie(std::string octets, bool fin) {
    std::lock_guard g(Verrou());
    Emettre(octets, fin);
    Signaler();
}

void Enregistreur::FixerOctetEtat(std::uint8_t octet) {
    std::lock_guard g(Verrou());
    octet_ = octet;
    Signaler();
}

void Enregistreur::DemanderService() {
    std::lock_guard g(Verrou());
    LeverRequete();
    Signaler();
}

std::vector<std::pair<std::string, bool>> Enregistreur::Messages() const {
    std::vector<std::pair<std::string, bool>> messages;
    for (const Evenement &e : Journal())
        if (e.genre == Evenement::Genre::Ecriture) messages.emplace_back(e.octets, e.fin);
    return messages;
}

void Enregistreur::Recu(std::string_view octets, bool fin) {
    message_ += octets;
    if (!fin) return;
    std::string_view m = message_;
    while (!m.empty() && (m.back() == '\0' || m.back() == '\r' || m.back() == '\n')) m.remove_suffix(1);
    for (const auto &[question, reponse] : regles_) {
        if (m != question) continue;
        Emettre(reponse, true);
        break;
    }
    message_.clear();
}

}  // namespace sim
