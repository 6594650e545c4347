// What the instrument drivers' tests share: a device that records every message and answers
// from a table that a test may change at any time, and the bench it sits on.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/visa.h"
#include "sim/appareil.h"
#include "sim/bus.h"
#include "tests/support/gpib_essai.h"

namespace essai {

using Messages = std::vector<std::pair<std::string, bool>>;  // bytes, END with the last one

class Repondeur : public sim::Appareil {
public:
    // When a message ends whose bytes, without the NUL, carriage return and line feed at its
    // end, are `question`, `reponse` is sent (END on its last byte). Replaces an earlier reply.
    void Repondre(const std::string &question, std::string reponse) {
        std::lock_guard g(Verrou());
        reponses_[question] = std::move(reponse);
    }
    void Oublier(const std::string &question) {
        std::lock_guard g(Verrou());
        reponses_.erase(question);
    }
    void FixerOctetEtat(std::uint8_t octet) {
        std::lock_guard g(Verrou());
        octet_ = octet;
        Signaler();
    }
    // Raises its service request; a serial poll clears it (and reads bit 6 set).
    void DemanderService() {
        std::lock_guard g(Verrou());
        LeverRequete();
        Signaler();
    }
    // Every message received since the last call.
    Messages Recus() {
        Messages messages;
        for (const sim::Evenement &e : Journal())
            if (e.genre == sim::Evenement::Genre::Ecriture) messages.emplace_back(e.octets, e.fin);
        EffacerJournal();
        return messages;
    }
    // Bytes read by the program since the journal was last emptied.
    std::vector<std::string> Lus() const {
        std::vector<std::string> lus;
        for (const sim::Evenement &e : Journal())
            if (e.genre == sim::Evenement::Genre::Lecture) lus.push_back(e.octets);
        return lus;
    }

private:
    void Recu(std::string_view octets, bool fin) override {
        message_ += octets;
        if (!fin) return;
        std::string m = std::move(message_);
        message_.clear();
        while (!m.empty() && (m.back() == '\0' || m.back() == '\r' || m.back() == '\n')) m.pop_back();
        if (const auto it = reponses_.find(m); it != reponses_.end()) Emettre(it->second, true);
    }
    std::uint8_t OctetEtat() override { return octet_; }

    std::map<std::string, std::string> reponses_;
    std::string message_;
    std::uint8_t octet_ = 0;
};

// A bench with board 0 simulated and a Repondeur at address `adresse`.
class BancPilote {
public:
    explicit BancPilote(int adresse) : repondeur_(std::make_shared<Repondeur>()) {
        banc_.Configurer("gpib0 = sim\n");
        sim::BusDeCarte(0)->Brancher(adresse, repondeur_);
    }
    Repondeur &Appareil() { return *repondeur_; }
    const Banc &LeBanc() const { return banc_; }

private:
    Banc banc_;
    std::shared_ptr<Repondeur> repondeur_;
};

inline std::pair<std::string, bool> Fin(std::string octets) { return {std::move(octets), true}; }

// The time-out of a VISA session, in ms.
inline ViUInt32 DelaiSession(ViSession vi) {
    ViUInt32 delai = 0;
    viGetAttribute(vi, VI_ATTR_TMO_VALUE, &delai);
    return delai;
}

}  // namespace essai
