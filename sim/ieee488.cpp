// An IEEE 488.2 instrument on the simulated bus.
#include "sim/ieee488.h"

#include <cctype>
#include <cmath>
#include <string>

#include "platform/clock.h"

namespace sim {

namespace {

constexpr std::size_t kTailleFileErreurs = 10;

enum : std::uint8_t { OPC = 0x01, QYE = 0x04, DDE = 0x08, EXE = 0x10, CME = 0x20 };
enum : std::uint8_t { EAV = 0x04, MAV = 0x10, ESB = 0x20, MSS = 0x40 };

std::string Nr1(int v) { return (v >= 0 ? "+" : "") + std::to_string(v); }

}  // namespace

// ---- a command's view ---------------------------------------------------------------------

void Appel::Erreur(int code, std::string_view texte) { appareil_.Erreur(code, texte); }

bool Appel::AuPlus(std::size_t n) {
    if (unite_.parametres.size() <= n) return true;
    Erreur(-108);
    return false;
}

bool Appel::Nombre(std::size_t i, double &v) {
    if (i >= unite_.parametres.size()) {
        Erreur(-109);
        return false;
    }
    const scpi::Parametre &p = unite_.parametres[i];
    if (p.genre != scpi::Parametre::Genre::Nombre) {
        Erreur(-104);
        return false;
    }
    v = p.nombre;
    return true;
}

bool Appel::Entier(std::size_t i, int &v) {
    double d = 0.0;
    if (!Nombre(i, d)) return false;
    if (!(std::fabs(d) < 2147483647.0)) {
        Erreur(-222);
        return false;
    }
    v = static_cast<int>(std::lround(d));
    return true;
}

bool Appel::Booleen(std::size_t i, bool &v) {
    if (i >= unite_.parametres.size()) {
        Erreur(-109);
        return false;
    }
    const scpi::Parametre &p = unite_.parametres[i];
    std::string mot = p.texte;
    for (char &c : mot) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (p.genre == scpi::Parametre::Genre::Nombre && (p.nombre == 0.0 || p.nombre == 1.0)) {
        v = p.nombre != 0.0;
        return true;
    }
    if (p.genre == scpi::Parametre::Genre::Mot && (mot == "ON" || mot == "OFF")) {
        v = mot == "ON";
        return true;
    }
    Erreur(-224);
    return false;
}

bool Appel::Mot(std::size_t i, std::string &v) {
    if (i >= unite_.parametres.size()) {
        Erreur(-109);
        return false;
    }
    const scpi::Parametre &p = unite_.parametres[i];
    if (p.genre != scpi::Parametre::Genre::Mot) {
        Erreur(-104);
        return false;
    }
    v = p.texte;
    for (char &c : v) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return true;
}

// ---- the instrument -----------------------------------------------------------------------

Appareil488::Appareil488(std::string identite) : identite_(std::move(identite)) {
    CommandesCommunes();
}

std::string Appareil488::TexteErreur(int code) {
    switch (code) {
    case 0: return "No error";
    case -100: return "Command error";
    case -102: return "Syntax error";
    case -104: return "Data type error";
    case -108: return "Parameter not allowed";
    case -109: return "Missing parameter";
    case -113: return "Undefined header";
    case -114: return "Header suffix out of range";
    case -200: return "Execution error";
    case -222: return "Data out of range";
    case -224: return "Illegal parameter value";
    case -350: return "Queue overflow";
    case -400: return "Query error";
    case -410: return "Query INTERRUPTED";
    case -420: return "Query UNTERMINATED";
    case -430: return "Query DEADLOCKED";
    default: return "Device-specific error";
    }
}

void Appareil488::CommandesCommunes() {
    Commande("*IDN?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(identite_);
    });
    Commande("*RST", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        operation_ = false;
        finOperation_ = kJamais;
        opcArme_ = false;
        Reinitialiser();
    });
    Commande("*CLS", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        esr_ = 0;
        erreurs_.clear();
        opcArme_ = false;
    });
    const auto Registre = [](Appel &a, std::uint8_t &registre, std::uint8_t masque) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v < 0 || v > 255) return a.Erreur(-222);
        registre = static_cast<std::uint8_t>(v & masque);
    };
    Commande("*ESE", [this, Registre](Appel &a) { Registre(a, ese_, 0xFF); });
    Commande("*ESE?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr1(ese_));
    });
    Commande("*ESR?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        a.Repondre(Nr1(esr_));
        esr_ = 0;
    });
    Commande("*SRE", [this, Registre](Appel &a) { Registre(a, sre_, 0xFF & ~MSS); });
    Commande("*SRE?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr1(sre_));
    });
    Commande("*STB?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr1(OctetEtat() | (mss_ ? MSS : 0)));
    });
    Commande("*OPC", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (operation_) opcArme_ = true;
        else esr_ |= OPC;
    });
    Commande("*OPC?", [](Appel &a) {
        if (a.AuPlus(0)) a.Repondre("1");
    });
    Commande("*WAI", [](Appel &a) { a.AuPlus(0); });
    Commande("*TRG", [this](Appel &a) {
        if (a.AuPlus(0)) Declencher();
    });
    Commande("*TST?", [](Appel &a) {
        if (a.AuPlus(0)) a.Repondre("+0");
    });
    Commande(":SYSTem:ERRor[:NEXT]?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (erreurs_.empty()) return a.Repondre("+0,\"No error\"");
        const auto [code, texte] = erreurs_.front();
        erreurs_.pop_front();
        a.Repondre(Nr1(code) + ",\"" + texte + "\"");
    });
}

void Appareil488::Commande(std::string_view motif, Action action) {
    commandes_.push_back({scpi::Motif(motif), std::move(action)});
}

// ---- for tests ----------------------------------------------------------------------------

void Appareil488::FixerIdentite(std::string identite) {
    std::lock_guard g(Verrou());
    identite_ = std::move(identite);
}

std::string Appareil488::Identite() const {
    std::lock_guard g(Verrou());
    return identite_;
}

void Appareil488::AccepterInconnues(bool oui) {
    std::lock_guard g(Verrou());
    permissif_ = oui;
}

std::vector<std::string> Appareil488::CommandesInconnues() const {
    std::lock_guard g(Verrou());
    return inconnues_;
}

std::vector<std::pair<int, std::string>> Appareil488::Erreurs() const {
    std::lock_guard g(Verrou());
    return {erreurs_.begin(), erreurs_.end()};
}

std::uint8_t Appareil488::RegistreEvenements() const {
    std::lock_guard g(Verrou());
    return esr_;
}

void Appareil488::TerminerOperation() {
    std::lock_guard g(Verrou());
    if (operation_) FinOperation();
    Signaler();
}

bool Appareil488::OperationEnCours() const {
    std::lock_guard g(Verrou());
    return operation_;
}

void Appareil488::AjouterErreur(int code, std::string texte) {
    std::lock_guard g(Verrou());
    Erreur(code, texte);
    Signaler();
}

// ---- tools --------------------------------------------------------------------------------

void Appareil488::DemarrerOperation(double duree) {
    operation_ = true;
    finOperation_ = duree == kJamais || !(duree >= 0.0) ? kJamais : horloge::Secondes() + duree;
}

void Appareil488::Erreur(int code, std::string_view texte) {
    if (code <= -100 && code > -200) esr_ |= CME;
    else if (code <= -200 && code > -300) esr_ |= EXE;
    else if (code <= -400 && code > -500) esr_ |= QYE;
    else if (code != 0) esr_ |= DDE;
    if (erreurs_.size() >= kTailleFileErreurs) {
        erreurs_.back() = {-350, TexteErreur(-350)};
        return;
    }
    erreurs_.emplace_back(code, texte.empty() ? TexteErreur(code) : std::string(texte));
}

// ---- hooks of the device ------------------------------------------------------------------

void Appareil488::Recu(std::string_view octets, bool fin) {
    for (const char c : octets) {
        if (!entreeCommencee_) {
            entreeCommencee_ = true;
            if (!SortieVide()) {
                ViderSortie();
                Erreur(-410);
            }
        }
        entree_ += c;
        if (c == '\n' && scpi::TerminateurLibre(entree_)) {
            const std::string message = entree_.substr(0, entree_.size() - 1);
            entree_.clear();
            entreeCommencee_ = false;
            Executer(message);
        }
    }
    if (fin && entreeCommencee_) {
        const std::string message = std::move(entree_);
        entree_.clear();
        entreeCommencee_ = false;
        Executer(message);
    }
}

std::uint8_t Appareil488::OctetEtat() {
    std::uint8_t stb = BitsEtat() & 0x8B;
    if (!erreurs_.empty()) stb |= EAV;
    if (!SortieVide()) stb |= MAV;
    if ((esr_ & ese_) != 0) stb |= ESB;
    return stb;
}

void Appareil488::Efface() {
    entree_.clear();
    entreeCommencee_ = false;
    differes_.clear();
    opcArme_ = false;
}

void Appareil488::LectureSansDonnees() {
    if (differes_.empty()) Erreur(-420);
}

double Appareil488::ProchainEvenement() { return operation_ ? finOperation_ : kJamais; }

void Appareil488::Avancer(double maintenant) {
    if (operation_ && maintenant >= finOperation_) FinOperation();
}

void Appareil488::Actualiser() {
    const bool mss = (OctetEtat() & sre_ & ~MSS) != 0;
    if (mss && !mss_) LeverRequete();
    if (!mss) BaisserRequete();
    mss_ = mss;
}

// ---- running commands ---------------------------------------------------------------------

void Appareil488::Executer(std::string_view message) {
    Travail t;
    t.unites = scpi::Analyser(message);
    if (!differes_.empty()) {
        differes_.push_back(std::move(t));
        return;
    }
    if (!Executer(t)) differes_.push_back(std::move(t));
}

bool Appareil488::Executer(Travail &t) {
    while (t.suivante < t.unites.size()) {
        const scpi::Unite &u = t.unites[t.suivante];
        if (u.erreur != 0) {
            Erreur(u.erreur);
            t.suivante = t.unites.size();
            break;
        }
        const bool attend = u.commune && (u.chemin[0] == "*WAI" || (u.chemin[0] == "*OPC" && u.question));
        if (attend && operation_) return false;
        ++t.suivante;
        Lancer(u, t.reponses);
    }
    if (!t.reponses.empty()) {
        std::string texte;
        for (std::size_t i = 0; i < t.reponses.size(); ++i) texte += (i > 0 ? ";" : "") + t.reponses[i];
        Emettre(texte + "\n", true);
    }
    return true;
}

void Appareil488::Lancer(const scpi::Unite &u, std::vector<std::string> &reponses) {
    for (const Commandes &c : commandes_) {
        std::vector<int> suffixes;
        if (c.motif.Question() != u.question || !c.motif.Correspond(u.chemin, suffixes)) continue;
        Appel appel(u, std::move(suffixes), reponses, *this);
        c.action(appel);
        return;
    }
    if (permissif_) inconnues_.push_back(u.entete);
    else Erreur(-113);
}

void Appareil488::Reprendre() {
    while (!differes_.empty() && Executer(differes_.front())) differes_.pop_front();
}

void Appareil488::FinOperation() {
    operation_ = false;
    finOperation_ = kJamais;
    OperationTerminee();
    if (!operation_ && opcArme_) {
        esr_ |= OPC;
        opcArme_ = false;
    }
    Reprendre();
}

}  // namespace sim
