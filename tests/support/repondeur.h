// A device on the simulated bus that records every message and answers from a table that a test
// may change at any time; it can raise its service request when a chosen message comes, and hold
// the program inside a chosen exchange until the test lets it go.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/appareil.h"

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
    // Raises its service request each time the message `commande` ends (a measurement launched
    // that completes at once).
    void DemanderServiceApres(const std::string &commande) {
        std::lock_guard g(Verrou());
        demandes_.insert(commande);
    }
    // The next message `question` holds the device once it has ended, and so the program's write
    // of it, until Relacher: the test acts while the program is inside that exchange.
    void Retenir(const std::string &question) {
        std::lock_guard g(Verrou());
        retenir_ = question;
    }
    // Whether a message is held now (no lock: the device's is taken while it is held).
    bool Retenu() const { return retenu_.load(); }
    void Relacher() { relacher_.store(true); }
    // The messages that ended after the one held, without their NUL, CR and LF.
    std::vector<std::string> ApresRetenue() const {
        std::lock_guard g(Verrou());
        return {messages_.begin() + static_cast<std::ptrdiff_t>(rang_retenu_), messages_.end()};
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
        messages_.push_back(m);
        if (const auto it = reponses_.find(m); it != reponses_.end()) Emettre(it->second, true);
        if (demandes_.count(m) != 0) LeverRequete();
        if (!retenir_.empty() && m == retenir_) {
            retenir_.clear();
            rang_retenu_ = messages_.size();
            retenu_.store(true);
            while (!relacher_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            retenu_.store(false);
            relacher_.store(false);
        }
    }
    std::uint8_t OctetEtat() override { return octet_; }

    std::map<std::string, std::string> reponses_;
    std::set<std::string> demandes_;
    std::string message_;
    std::uint8_t octet_ = 0;
    std::vector<std::string> messages_;
    std::string retenir_;
    std::size_t rang_retenu_ = 0;
    std::atomic<bool> retenu_{false}, relacher_{false};
};

}  // namespace essai
