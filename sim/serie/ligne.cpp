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

// Real seconds the line's thread waits before looking again: an answer due that the terminal
// had no room for; on the fake clock, whose moves make the line act (Agir), only to notice a
// return to the real clock.
constexpr double kTerminalPlein = 0.005;
constexpr double kVeilleFactice = 0.05;
constexpr double kTrancheMax = 0.1;  // real clock: longest wait before the clock is read again
// Bytes of answers waiting for a terminal nobody reads, at most: later ones are lost, as a real
// device's bytes are when the computer's port does not take them.
constexpr std::size_t kEnAttenteMax = 64 * 1024;

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
    participant_ = std::make_unique<horloge::Participant>([this](double maintenant) { return Agir(maintenant); });
    fil_ = std::thread([this] { Tourner(); });
}

Ligne::~Ligne() {
    participant_.reset();  // the clock no longer reaches the line
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
    std::string texte = panne_ == Panne::charabia ? charabia_ : std::string(octets);
    if (enAttente_ + texte.size() > kEnAttenteMax) return;
    const double echeance = horloge::Secondes() + delaiReponse_ + std::max(0.0, delai);
    enAttente_ += texte.size();
    aEnvoyer_.push_back({std::move(texte), echeance});
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
    bool envoye = false;
    while (!aEnvoyer_.empty() && aEnvoyer_.front().echeance <= maintenant) {
        Envoi &e = aEnvoyer_.front();
        if (panne_ != Panne::muet && panne_ != Panne::debranche) {
            const ssize_t n = write(maitre_, e.octets.data(), e.octets.size());
            if (n > 0) {
                NoterEmis(std::string_view(e.octets).substr(0, static_cast<std::size_t>(n)));
                e.octets.erase(0, static_cast<std::size_t>(n));
                enAttente_ -= static_cast<std::size_t>(n);
                envoye = true;
            }
            if (!e.octets.empty()) break;  // the terminal is full: later
        }
        enAttente_ -= e.octets.size();
        aEnvoyer_.pop_front();
    }
    cv_.notify_all();
    return envoye;
}

bool Ligne::Entendre() {
    bool entendu = false;
    char tampon[512];
    for (;;) {
        const ssize_t n = read(maitre_, tampon, sizeof tampon);
        if (n <= 0) break;
        entendu = true;
        if (panne_ == Panne::debranche) continue;
        const double instant = horloge::Secondes();
        NoterRecu(std::string_view(tampon, static_cast<std::size_t>(n)), instant);
        modele_->Recevoir(std::string_view(tampon, static_cast<std::size_t>(n)), *this);
    }
    if (entendu) cv_.notify_all();
    return entendu;
}

double Ligne::Prochain() const {
    double prochain = modele_->Reveil();
    if (!aEnvoyer_.empty()) prochain = std::min(prochain, aEnvoyer_.front().echeance);
    return prochain;
}

horloge::Suite Ligne::Agir(double maintenant) {
    std::lock_guard g(m_);
    bool actif = Entendre();
    if (modele_->Reveil() <= maintenant) modele_->Parler(maintenant, *this);
    actif = EnvoyerEchus() || actif;
    return {Prochain(), actif};
}

void Ligne::Tourner() {
    pollfd fds[3] = {{maitre_, POLLIN, 0}, {arret_, POLLIN, 0}, {reveil_, POLLIN, 0}};
    for (;;) {
        // What a move of the clock would make the line do, done now: the program's bytes taken
        // (under the lock, so they reach the device in the order written whoever takes them),
        // what is due said and sent.
        const double prochain = Agir(horloge::Secondes()).prochain;
        int attente = -1;
        if (std::isfinite(prochain)) {
            const double reste = prochain - horloge::Secondes();
            double reel = kTerminalPlein;
            if (reste > 0.0)
                reel = horloge::HorlogeFactice() ? kVeilleFactice : std::min(reste / horloge::Vitesse(), kTrancheMax);
            attente = std::max(1, static_cast<int>(std::ceil(reel * 1000.0)));
        }
        fds[0].revents = fds[1].revents = fds[2].revents = 0;
        const int r = poll(fds, 3, attente);
        if (fds[1].revents != 0) return;
        if (fds[2].revents != 0) {
            std::uint64_t v;
            [[maybe_unused]] const ssize_t lu = read(reveil_, &v, sizeof v);
        }
        // Nobody holds the terminal's other side: nothing to read; look again soon.
        if (r > 0 && (fds[0].revents & POLLIN) == 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0)
            poll(&fds[1], 1, 10);
    }
}

}  // namespace sim::serie
