// A device on the simulated GPIB bus.
#include "sim/appareil.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "platform/gpib.h"
#include "sim/transcription.h"

namespace sim {

namespace {

constexpr double kTranche = 0.01;  // real seconds between two looks while waiting

double Echeance(const Liaison &liaison) {
    return liaison.delai > 0.0 ? horloge::Secondes() + liaison.delai : kJamais;
}

bool Abandonne(const Liaison &liaison) {
    return liaison.abandon != nullptr && liaison.abandon->load();
}

// Whether byte `c` is the end-of-string byte of mode `eos` (7 or 8 bits compared).
bool FinDeChaine(char c, int eos) {
    const int masque = (eos & BIN) != 0 ? 0xFF : 0x7F;
    return (static_cast<unsigned char>(c) & masque) == (eos & masque);
}

// Outcome of a transfer that did not end in time.
ResultatGpib Interrompu(const Liaison &liaison, long n) {
    return {Abandonne(liaison) ? ERR : ERR | TIMO, EABO, n};
}

}  // namespace

// ---- for tests ----------------------------------------------------------------------------

Defauts Appareil::LireDefauts() const {
    std::lock_guard g(m_);
    return defauts_;
}

void Appareil::FixerDefauts(const Defauts &defauts) {
    std::lock_guard g(m_);
    defauts_ = defauts;
    Signaler();
}

std::vector<Evenement> Appareil::Journal() const {
    Transcription::ExigerActive("Appareil::Journal");
    std::lock_guard g(m_);
    return journal_;
}

std::vector<std::string> Appareil::Ecritures() const {
    Transcription::ExigerActive("Appareil::Ecritures");
    std::lock_guard g(m_);
    std::vector<std::string> ecritures;
    for (const Evenement &e : journal_)
        if (e.genre == Evenement::Genre::Ecriture) ecritures.push_back(e.octets);
    return ecritures;
}

void Appareil::EffacerJournal() {
    std::lock_guard g(m_);
    journal_.clear();
}

bool Appareil::DemandeService() {
    std::lock_guard g(m_);
    AJour();
    return requete_;
}

std::string Appareil::SortieEnAttente() const {
    std::lock_guard g(m_);
    std::string s;
    for (const Octet &o : sortie_)
        if (!o.vide) s += o.c;
    return s;
}

// ---- bus side -----------------------------------------------------------------------------

bool Appareil::Ecoute() {
    std::lock_guard g(m_);
    return !defauts_.debranche;
}

ResultatGpib Appareil::Ecrire(const char *octets, long n, const Liaison &liaison) {
    std::unique_lock l(m_);
    AJour();
    if (defauts_.debranche) return {ERR, ENOL, 0};
    if (Abandonne(liaison)) return {ERR, EABO, 0};
    const bool refusee = !defauts_.ecritureRefusee.empty() && n > 0 &&
                         std::string_view(octets, static_cast<std::size_t>(n)).starts_with(defauts_.ecritureRefusee);
    if (defauts_.ecrituresBloquees > 0 || refusee) {
        if (!refusee) --defauts_.ecrituresBloquees;
        AttendreQue(l, liaison, Echeance(liaison), [] { return false; });
        return Interrompu(liaison, 0);
    }
    if (n <= 0) return {CMPL, 0, 0};
    const std::string_view tout(octets, static_cast<std::size_t>(n));
    std::size_t debut = 0;
    if ((liaison.eos & XEOS) != 0) {
        for (std::size_t i = 0; i < tout.size(); ++i) {
            if (!FinDeChaine(tout[i], liaison.eos)) continue;
            const std::string_view piece = tout.substr(debut, i + 1 - debut);
            Noter(Evenement::Genre::Ecriture, std::string(piece), true);
            Recu(piece, true);
            debut = i + 1;
        }
    }
    if (debut < tout.size()) {
        const std::string_view piece = tout.substr(debut);
        Noter(Evenement::Genre::Ecriture, std::string(piece), liaison.eot != 0);
        Recu(piece, liaison.eot != 0);
    }
    AJour();
    cv_.notify_all();
    return {CMPL, 0, n};
}

ResultatGpib Appareil::Lire(char *octets, long n, const Liaison &liaison) {
    std::unique_lock l(m_);
    AJour();
    if (Abandonne(liaison)) return {ERR, EABO, 0};
    if (n <= 0) return {CMPL, 0, 0};
    const double echeance = Echeance(liaison);
    bool sansReponse = defauts_.debranche || defauts_.muet;
    if (!sansReponse && defauts_.lecturesSansReponse > 0) {
        --defauts_.lecturesSansReponse;
        sansReponse = true;
    }
    if (sansReponse) {
        AttendreQue(l, liaison, echeance, [] { return false; });
        return Interrompu(liaison, 0);
    }
    if (sortie_.empty()) LectureSansDonnees();
    std::string lus;
    bool fin = false, echec = false;
    while (static_cast<long>(lus.size()) < n && !fin) {
        const bool pret = AttendreQue(l, liaison, echeance, [&] {
            return !sortie_.empty() || defauts_.debranche || defauts_.muet;
        });
        if (!pret || defauts_.debranche || defauts_.muet) {
            if (pret) AttendreQue(l, liaison, echeance, [] { return false; });
            echec = true;
            break;
        }
        while (!sortie_.empty() && static_cast<long>(lus.size()) < n && !fin) {
            const Octet o = sortie_.front();
            sortie_.pop_front();
            if (o.vide) {
                fin = true;
                break;
            }
            lus += o.c;
            fin = o.fin || ((liaison.eos & REOS) != 0 && FinDeChaine(o.c, liaison.eos));
        }
    }
    std::copy(lus.begin(), lus.end(), octets);
    const long nb = static_cast<long>(lus.size());
    if (nb > 0 || fin) Noter(Evenement::Genre::Lecture, std::move(lus), fin);
    AJour();
    cv_.notify_all();
    if (echec) return Interrompu(liaison, nb);
    return {CMPL | (fin ? END : 0), 0, nb};
}

ResultatGpib Appareil::SerialPoll(char *octet, const Liaison &liaison) {
    std::unique_lock l(m_);
    AJour();
    if (Abandonne(liaison)) return {ERR, EABO, 0};
    if (defauts_.debranche) {
        AttendreQue(l, liaison, Echeance(liaison), [] { return false; });
        return Interrompu(liaison, 0);
    }
    const auto stb = static_cast<std::uint8_t>((OctetEtat() & ~0x40) | (requete_ ? 0x40 : 0));
    if (requete_) {
        if (defauts_.requeteCollee > 0) --defauts_.requeteCollee;
        else if (defauts_.requeteCollee == 0) requete_ = false;
    }
    *octet = static_cast<char>(stb);
    ApresSerialPoll();
    AJour();
    cv_.notify_all();
    Noter(Evenement::Genre::SerialPoll, std::string(1, static_cast<char>(stb)), false);
    return {CMPL | (requete_ ? RQS : 0), 0, 0};
}

ResultatGpib Appareil::Effacer() {
    std::lock_guard g(m_);
    AJour();
    if (defauts_.debranche) return {ERR, ENOL, 0};
    sortie_.clear();
    Efface();
    AJour();
    cv_.notify_all();
    Noter(Evenement::Genre::Effacement, {}, false);
    return {CMPL, 0, 0};
}

ResultatGpib Appareil::Attendre(int masque, const Liaison &liaison) {
    std::unique_lock l(m_);
    AJour();
    bool echeance = false;
    if ((masque & (CMPL | END)) == 0 && (masque & (RQS | TIMO)) != 0) {
        const double fin = (masque & TIMO) != 0 ? Echeance(liaison) : kJamais;
        const bool attendu = (masque & RQS) != 0;
        const bool ok = AttendreQue(l, liaison, fin, [&] {
            return attendu && requete_ && !defauts_.debranche;
        });
        if (!ok && Abandonne(liaison)) return {ERR, EABO, 0};
        echeance = !ok;
    }
    return {CMPL | (requete_ && !defauts_.debranche ? RQS : 0) | (echeance ? TIMO : 0), 0, 0};
}

ResultatGpib Appareil::EtatNotification() {
    std::lock_guard g(m_);
    AJour();
    if (defauts_.notificationForcee != 0) {
        const int sta = defauts_.notificationForcee;
        defauts_.notificationForcee = 0;
        return {sta, (sta & ERR) != 0 ? EABO : 0, 0};
    }
    return {CMPL | (requete_ && !defauts_.debranche ? RQS : 0), 0, 0};
}

void Appareil::AttendreChangement(double secondesReelles) {
    std::unique_lock l(m_);
    AJour();
    double reel = secondesReelles;
    if (!horloge::HorlogeFactice()) {
        const double prochain = ProchainEvenement();
        if (prochain != kJamais)
            reel = std::min(reel, (prochain - horloge::Secondes()) / horloge::Vitesse());
    }
    if (reel > 0.0) cv_.wait_for(l, std::chrono::duration<double>(reel));
    AJour();
}

void Appareil::Reveiller() {
    std::lock_guard g(m_);
    cv_.notify_all();
}

// ---- tools --------------------------------------------------------------------------------

void Appareil::Emettre(std::string_view octets, bool fin) {
    if (defauts_.charabia) octets = defauts_.texteCharabia;
    if (octets.empty()) {
        if (fin) sortie_.push_back({0, true, true});
        return;
    }
    for (std::size_t i = 0; i < octets.size(); ++i)
        sortie_.push_back({octets[i], fin && i + 1 == octets.size(), false});
}

void Appareil::ViderSortie() { sortie_.clear(); }

void Appareil::BaisserRequete() {
    if (defauts_.requeteCollee == 0) requete_ = false;
}

void Appareil::Signaler() {
    AJour();
    cv_.notify_all();
}

void Appareil::AJour() {
    Avancer(horloge::Secondes());
    Actualiser();
}

template <class P>
bool Appareil::AttendreQue(std::unique_lock<std::mutex> &l, const Liaison &liaison,
                           double echeance, P pret) {
    for (;;) {
        AJour();
        if (pret()) return true;
        if (Abandonne(liaison)) return false;
        const double maintenant = horloge::Secondes();
        if (maintenant >= echeance) return false;
        const double cible = std::min(echeance, ProchainEvenement());
        if (cible <= maintenant) {
            cv_.wait_for(l, std::chrono::milliseconds(1));
        } else if (horloge::HorlogeFactice()) {
            // Nothing else moves the fake clock: on to the next change or the time-out.
            if (cible == kJamais) cv_.wait_for(l, std::chrono::duration<double>(kTranche));
            else horloge::AvancerHorlogeFactice(cible - maintenant + 1e-9);
        } else {
            double reel = kTranche;
            if (cible != kJamais) reel = std::min(reel, (cible - maintenant) / horloge::Vitesse());
            cv_.wait_for(l, std::chrono::duration<double>(reel));
        }
    }
}

void Appareil::Noter(Evenement::Genre genre, std::string octets, bool fin) {
    if (!Transcription::Active()) return;
    journal_.push_back({genre, std::move(octets), fin, std::this_thread::get_id()});
}

}  // namespace sim
