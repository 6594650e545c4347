// A simulated serial device on a pseudo-terminal (see ligne.h).
#include "sim/serie/ligne.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "platform/clock.h"
#include "sim/transcription.h"

namespace sim::serie {

namespace {

constexpr double kTrancheFactice = 0.005;  // real seconds between two looks at the fake clock

void Signaler(int efd) {
    if (efd < 0) return;
    const std::uint64_t un = 1;
    [[maybe_unused]] const ssize_t n = write(efd, &un, sizeof un);
}

}  // namespace

Ligne::Ligne(std::shared_ptr<Modele> modele) : modele_(std::move(modele)) {
    maitre_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char nom[128] = {};
    if (maitre_ < 0 || grantpt(maitre_) != 0 || unlockpt(maitre_) != 0 || ptsname_r(maitre_, nom, sizeof nom) != 0) {
        if (maitre_ >= 0) close(maitre_);
        maitre_ = -1;
        return;
    }
    chemin_ = nom;
    // Kept open for the line's whole life: the terminal survives the program's closings, and
    // what the device sends before the program opens it is not turned into canonical input.
    esclave_ = open(nom, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (esclave_ >= 0) {
        termios t{};
        tcgetattr(esclave_, &t);
        cfmakeraw(&t);
        tcsetattr(esclave_, TCSANOW, &t);
    }
    arret_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    reveil_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    fil_ = std::thread([this] { Tourner(); });
}

Ligne::~Ligne() {
    if (fil_.joinable()) {
        Signaler(arret_);
        fil_.join();
    }
    for (const int fd : {reveil_, arret_, esclave_, maitre_})
        if (fd >= 0) close(fd);
}

void Ligne::FixerPanne(Panne panne) {
    std::lock_guard g(m_);
    panne_ = panne;
}

Panne Ligne::LaPanne() const {
    std::lock_guard g(m_);
    return panne_;
}

void Ligne::FixerCharabia(std::string texte) {
    std::lock_guard g(m_);
    charabia_ = std::move(texte);
}

void Ligne::FixerDelaiReponse(double secondes) {
    std::lock_guard g(m_);
    delaiReponse_ = std::max(0.0, secondes);
}

void Ligne::Envoyer(std::string_view octets, double delai) {
    {
        std::lock_guard g(m_);
        Emettre(octets, delai);
    }
    Relancer();  // the thread may be waiting for the program with nothing to send
}

void Ligne::Relancer() { Signaler(reveil_); }

std::string Ligne::Recu() const {
    Transcription::ExigerActive("Ligne::Recu");
    std::lock_guard g(m_);
    std::string s;
    for (const Reception &r : recu_) s.push_back(static_cast<char>(r.octet));
    return s;
}

std::vector<Ligne::Reception> Ligne::Receptions() const {
    Transcription::ExigerActive("Ligne::Receptions");
    std::lock_guard g(m_);
    return recu_;
}

std::string Ligne::Emis() const {
    Transcription::ExigerActive("Ligne::Emis");
    std::lock_guard g(m_);
    return emis_;
}

void Ligne::EffacerJournal() {
    std::lock_guard g(m_);
    recu_.clear();
    emis_.clear();
    nbRecus_ = 0;
}

bool Ligne::AttendreRecu(std::size_t n, double secondesReelles) const {
    std::unique_lock l(m_);
    return cv_.wait_for(l, std::chrono::duration<double>(secondesReelles), [&] { return nbRecus_ >= n; });
}

bool Ligne::AttendreEmis(double secondesReelles) const {
    std::unique_lock l(m_);
    return cv_.wait_for(l, std::chrono::duration<double>(secondesReelles), [&] { return aEnvoyer_.empty(); });
}

termios Ligne::Reglages() const {
    termios t{};
    if (esclave_ >= 0) tcgetattr(esclave_, &t);
    return t;
}

void Ligne::Emettre(std::string_view octets, double delai) {
    if (octets.empty()) return;
    const double echeance = horloge::Secondes() + delaiReponse_ + std::max(0.0, delai);
    aEnvoyer_.push_back({panne_ == Panne::charabia ? charabia_ : std::string(octets), echeance});
}

void Ligne::NoterRecu(std::string_view octets, double instant) {
    nbRecus_ += octets.size();
    if (!Transcription::Active()) return;
    for (const char c : octets) recu_.push_back({static_cast<unsigned char>(c), instant});
}

void Ligne::NoterEmis(std::string_view octets) {
    if (Transcription::Active()) emis_.append(octets);
}

bool Ligne::EnvoyerEchus() {
    const double maintenant = horloge::Secondes();
    while (!aEnvoyer_.empty() && aEnvoyer_.front().echeance <= maintenant) {
        Envoi &e = aEnvoyer_.front();
        if (panne_ == Panne::muet || panne_ == Panne::debranche) {
            aEnvoyer_.pop_front();
            continue;
        }
        const ssize_t n = write(maitre_, e.octets.data(), e.octets.size());
        if (n > 0) {
            NoterEmis(std::string_view(e.octets).substr(0, static_cast<std::size_t>(n)));
            e.octets.erase(0, static_cast<std::size_t>(n));
        }
        if (!e.octets.empty()) return true;  // the terminal is full: later
        aEnvoyer_.pop_front();
    }
    cv_.notify_all();
    return !aEnvoyer_.empty();
}

void Ligne::Tourner() {
    pollfd fds[3] = {{maitre_, POLLIN, 0}, {arret_, POLLIN, 0}, {reveil_, POLLIN, 0}};
    for (;;) {
        int attente = -1;
        {
            std::lock_guard g(m_);
            const double maintenant = horloge::Secondes();
            if (modele_->Reveil() <= maintenant) modele_->Parler(maintenant, *this);
            double prochain = modele_->Reveil();
            if (EnvoyerEchus()) prochain = std::min(prochain, aEnvoyer_.front().echeance);
            if (std::isfinite(prochain)) {
                const double reste = prochain - horloge::Secondes();
                if (horloge::HorlogeFactice() || reste <= 0.0) attente = static_cast<int>(kTrancheFactice * 1000.0);
                else attente = std::max(1, static_cast<int>(std::ceil(std::min(reste / horloge::Vitesse(), 0.1) * 1000.0)));
            }
        }
        fds[0].revents = fds[1].revents = fds[2].revents = 0;
        const int r = poll(fds, 3, attente);
        if (fds[1].revents != 0) return;
        if (fds[2].revents != 0) {
            std::uint64_t v;
            [[maybe_unused]] const ssize_t lu = read(reveil_, &v, sizeof v);
        }
        if (r <= 0 || (fds[0].revents & POLLIN) == 0) {
            // Nobody holds the terminal's other side: nothing to read; look again soon.
            if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0) poll(&fds[1], 1, 10);
            continue;
        }
        char tampon[512];
        const ssize_t n = read(maitre_, tampon, sizeof tampon);
        if (n <= 0) continue;
        std::lock_guard g(m_);
        if (panne_ == Panne::debranche) continue;
        const double instant = horloge::Secondes();
        NoterRecu(std::string_view(tampon, static_cast<std::size_t>(n)), instant);
        modele_->Recevoir(std::string_view(tampon, static_cast<std::size_t>(n)), *this);
        cv_.notify_all();
    }
}

}  // namespace sim::serie
