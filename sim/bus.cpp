// The simulated GPIB bus and its board backend.
#include "sim/bus.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/gpib.h"

namespace sim {

// ---- bus ----------------------------------------------------------------------------------

void Bus::Brancher(int pad, std::shared_ptr<Appareil> appareil, int sad) {
    std::lock_guard g(m_);
    appareils_[{pad, sad}] = std::move(appareil);
}

void Bus::Debrancher(int pad, int sad) {
    std::lock_guard g(m_);
    appareils_.erase({pad, sad});
}

void Bus::Vider() {
    std::lock_guard g(m_);
    appareils_.clear();
}

std::shared_ptr<Appareil> Bus::AppareilA(int pad, int sad) const {
    std::lock_guard g(m_);
    const auto it = appareils_.find({pad, sad});
    return it != appareils_.end() ? it->second : nullptr;
}

std::map<std::pair<int, int>, std::shared_ptr<Appareil>> Bus::Appareils() const {
    std::lock_guard g(m_);
    return appareils_;
}

std::shared_ptr<Bus> BusDeCarte(int carte) {
    // Never destroyed: a notification worker may still reach a device while the program ends.
    static auto *les = new std::array<std::shared_ptr<Bus>, 2>{std::make_shared<Bus>(),
                                                               std::make_shared<Bus>()};
    return carte == 0 || carte == 1 ? (*les)[static_cast<std::size_t>(carte)] : nullptr;
}

// ---- board --------------------------------------------------------------------------------

namespace {

// What an address without a device does: nobody listens, nobody talks.
class Personne final : public Appareil {
public:
    Personne() {
        Defauts d;
        d.debranche = true;
        FixerDefauts(d);
    }

private:
    void Recu(std::string_view, bool) override {}
};

bool PadValide(int pad) { return pad >= 0 && pad <= 30; }
bool SadValide(int sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

class CarteSimulee final : public CarteGpib {
public:
    explicit CarteSimulee(std::shared_ptr<Bus> bus) : bus_(std::move(bus)) {}

    ResultatGpib InterfaceClear() override { return {CMPL | CIC, 0, 0}; }

    ResultatGpib Ecoutant(int h, int pad, int sad, short *trouve) override {
        if (h != kCarte && Session(h) == nullptr) return {ERR, EDVR, EBADF};
        bool ecoute = false;
        if (sad == ALL_SAD) {
            for (const auto &[adresse, appareil] : bus_->Appareils())
                if (adresse.first == pad && appareil->Ecoute()) ecoute = true;
        } else if (const auto appareil = bus_->AppareilA(pad, sad)) {
            ecoute = appareil->Ecoute();
        }
        *trouve = ecoute ? 1 : 0;
        return {CMPL | CIC, 0, 0};
    }

    int Ouvrir(int pad, int sad, int tmo, int eot, int eos, ResultatGpib &r) override {
        auto s = std::make_shared<Liens>();
        s->pad = pad;
        s->sad = sad;
        s->tmo = tmo;
        s->delai = SecondesDuCodeTmo(tmo);
        s->eot = eot != 0 ? 1 : 0;
        s->eos = eos;
        std::lock_guard g(m_);
        const int h = prochain_++;
        sessions_[h] = std::move(s);
        r = {CMPL, 0, 0};
        return h;
    }

    ResultatGpib Fermer(int h) override {
        std::lock_guard g(m_);
        return sessions_.erase(h) != 0 ? ResultatGpib{CMPL, 0, 0} : ResultatGpib{ERR, EDVR, EBADF};
    }

    ResultatGpib Configurer(int h, int option, int valeur) override {
        if (h == kCarte) return ConfigurerCarte(option, valeur);
        const auto s = Session(h);
        if (s == nullptr) return {ERR, EDVR, EBADF};
        std::lock_guard g(m_);
        int ancien = 0;
        switch (option) {
        case IbcPAD:
            if (!PadValide(valeur)) return {ERR, EARG, 0};
            ancien = s->pad;
            s->pad = valeur;
            break;
        case IbcSAD:
            if (!SadValide(valeur)) return {ERR, EARG, 0};
            ancien = s->sad;
            s->sad = valeur;
            break;
        case IbcTMO:
            if (valeur < TNONE || valeur > T1000s) return {ERR, EARG, 0};
            ancien = s->tmo;
            s->tmo = valeur;
            s->delai = SecondesDuCodeTmo(valeur);
            break;
        case IbcEOT:
            ancien = s->eot;
            s->eot = valeur != 0 ? 1 : 0;
            break;
        case IbcEOSrd: ancien = Bit(s->eos, REOS, valeur); break;
        case IbcEOSwrt: ancien = Bit(s->eos, XEOS, valeur); break;
        case IbcEOScmp: ancien = Bit(s->eos, BIN, valeur); break;
        case IbcEOSchar:
            if (valeur < 0 || valeur > 0xFF) return {ERR, EARG, 0};
            ancien = s->eos & 0xFF;
            s->eos = (s->eos & ~0xFF) | valeur;
            break;
        case IbcREADDR:
        case IbcSPollTime:
        case IbcEndBitIsNormal:
        case IbcUnAddr: {
            int &v = s->autres[option];
            ancien = v;
            v = valeur;
            break;
        }
        default: return {ERR, EARG, 0};
        }
        return {CMPL, ancien, 0};
    }

    ResultatGpib FixerDelai(int h, double secondes) override {
        const auto s = Session(h);
        if (s == nullptr) return {ERR, EDVR, EBADF};
        if (!(secondes >= 0.0)) return {ERR, EARG, 0};
        std::lock_guard g(m_);
        const int ancien = s->tmo;
        s->delai = secondes;
        s->tmo = CodeTmoPourSecondes(secondes);
        return {CMPL, ancien, 0};
    }

    ResultatGpib Ecrire(int h, const void *octets, long n) override {
        return Sur(h, [&](Appareil &a, const Liaison &l) {
            return a.Ecrire(static_cast<const char *>(octets), n, l);
        });
    }
    ResultatGpib Lire(int h, void *octets, long n) override {
        return Sur(h, [&](Appareil &a, const Liaison &l) {
            return a.Lire(static_cast<char *>(octets), n, l);
        });
    }
    ResultatGpib Effacer(int h) override {
        return Sur(h, [](Appareil &a, const Liaison &) { return a.Effacer(); });
    }
    ResultatGpib SerialPoll(int h, char *octet) override {
        return Sur(h, [&](Appareil &a, const Liaison &l) { return a.SerialPoll(octet, l); });
    }

    ResultatGpib Attendre(int h, int masque) override {
        if (h == kCarte) return AttendreCarte(masque);
        return Sur(h, [&](Appareil &a, const Liaison &l) { return a.Attendre(masque, l); });
    }

    ResultatGpib Interrompre(int h) override {
        const auto s = Session(h);
        if (s == nullptr) return {ERR, EDVR, EBADF};
        s->abandon = true;
        AppareilDe(*s)->Reveiller();
        return {CMPL, 0, 0};
    }

    bool NotificationPossible(int h) override {
        const auto s = Session(h);
        return s != nullptr && !AppareilDe(*s)->LireDefauts().notificationRefusee;
    }
    ResultatGpib EtatNotification(int h) override {
        const auto s = Session(h);
        if (s == nullptr) return {ERR, EDVR, EBADF};
        return AppareilDe(*s)->EtatNotification();
    }
    void AttendreChangement(int h, double secondesReelles) override {
        if (const auto s = Session(h)) AppareilDe(*s)->AttendreChangement(secondesReelles);
    }

private:
    struct Liens {
        int pad = 0, sad = 0, tmo = T10s, eot = 1, eos = 0;
        double delai = 10.0;
        std::atomic<bool> abandon{false};
        std::map<int, int> autres;  // options accepted without effect here
    };

    static int Bit(int &eos, int bit, int valeur) {
        const int ancien = (eos & bit) != 0 ? 1 : 0;
        eos = valeur != 0 ? eos | bit : eos & ~bit;
        return ancien;
    }

    std::shared_ptr<Liens> Session(int h) {
        std::lock_guard g(m_);
        const auto it = sessions_.find(h);
        return it != sessions_.end() ? it->second : nullptr;
    }

    std::shared_ptr<sim::Appareil> AppareilDe(const Liens &s) {
        int pad, sad;
        {
            std::lock_guard g(m_);
            pad = s.pad;
            sad = s.sad;
        }
        if (auto a = bus_->AppareilA(pad, sad)) return a;
        return personne_;
    }

    template <class F>
    ResultatGpib Sur(int h, F &&f) {
        const auto s = Session(h);
        if (s == nullptr) return {ERR, EDVR, EBADF};
        Liaison l;
        {
            std::lock_guard g(m_);
            l.eot = s->eot;
            l.eos = s->eos;
            l.delai = s->delai;
        }
        l.abandon = &s->abandon;
        return f(*AppareilDe(*s), l);
    }

    ResultatGpib ConfigurerCarte(int option, int valeur) {
        switch (option) {
        case IbcTMO:
            if (valeur < TNONE || valeur > T1000s) return {ERR, EARG, 0};
            break;
        case IbcPAD:
            if (!PadValide(valeur)) return {ERR, EARG, 0};
            break;
        case IbcSAD:
            if (!SadValide(valeur)) return {ERR, EARG, 0};
            break;
        case IbcEOT: case IbcPPC: case IbcAUTOPOLL: case IbcCICPROT: case IbcIRQ: case IbcSC:
        case IbcSRE: case IbcEOSrd: case IbcEOSwrt: case IbcEOScmp: case IbcEOSchar: case IbcPP2:
        case IbcTIMING: case IbcDMA: case IbcReadAdjust: case IbcWriteAdjust: case IbcSendLLO:
        case IbcPPollTime: case IbcEndBitIsNormal: case IbcUnAddr: case IbcHSCableLength:
        case IbcIst: case IbcRsv: case IbcLON:
            break;
        default: return {ERR, EARG, 0};
        }
        std::lock_guard g(m_);
        const auto it = carte_.find(option);
        const int ancien = it != carte_.end() ? it->second : 0;
        carte_[option] = valeur;
        return {CMPL | CIC, ancien, 0};
    }

    // ibwait on the board: SRQI while any device requests service.
    ResultatGpib AttendreCarte(int masque) {
        const auto Srq = [&] {
            for (const auto &[adresse, appareil] : bus_->Appareils())
                if (appareil->DemandeService()) return true;
            return false;
        };
        double delai = 10.0;
        {
            std::lock_guard g(m_);
            if (const auto it = carte_.find(IbcTMO); it != carte_.end())
                delai = SecondesDuCodeTmo(it->second);
        }
        const double fin = (masque & TIMO) != 0 && delai > 0.0 ? horloge::Secondes() + delai : kJamais;
        bool echeance = false;
        if ((masque & SRQI) != 0) {
            while (!Srq()) {
                const double maintenant = horloge::Secondes();
                if (maintenant >= fin) {
                    echeance = true;
                    break;
                }
                if (horloge::HorlogeFactice() && fin != kJamais) horloge::AvancerHorlogeFactice(fin - maintenant);
                else std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return {CMPL | CIC | (Srq() ? SRQI : 0) | (echeance ? TIMO : 0), 0, 0};
    }

    std::shared_ptr<Bus> bus_;
    const std::shared_ptr<Personne> personne_ = std::make_shared<Personne>();
    std::mutex m_;  // guards the sessions and their settings
    std::map<int, std::shared_ptr<Liens>> sessions_;
    std::map<int, int> carte_{{IbcTMO, T10s}, {IbcAUTOPOLL, 1}, {IbcSC, 1}};
    int prochain_ = 0;
};

}  // namespace

std::shared_ptr<CarteGpib> NouvelleCarte(std::shared_ptr<Bus> bus) {
    return std::make_shared<CarteSimulee>(std::move(bus));
}

}  // namespace sim
