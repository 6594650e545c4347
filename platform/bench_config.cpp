// Reading the bench configuration.
#include "platform/bench_config.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <system_error>


namespace {

std::string_view Rogner(std::string_view s) {
    const auto blanc = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && blanc(s.front())) s.remove_prefix(1);
    while (!s.empty() && blanc(s.back())) s.remove_suffix(1);
    return s;
}

std::string Minuscules(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The line without its comment: `#` at its start or after a blank.
std::string_view SansCommentaire(std::string_view ligne) {
    for (std::size_t i = 0; i < ligne.size(); ++i)
        if (ligne[i] == '#' && (i == 0 || ligne[i - 1] == ' ' || ligne[i - 1] == '\t'))
            return ligne.substr(0, i);
    return ligne;
}

// Number n of a key "<prefixe><n>" with n in premier..dernier, written in decimal digits only,
// without a leading zero; -1 for any other key ("com01", "gpib-0", "gpib+1", "com 1").
int NumeroDeCle(std::string_view cle, std::string_view prefixe, int premier, int dernier) {
    if (cle.size() <= prefixe.size() || cle.substr(0, prefixe.size()) != prefixe) return -1;
    const std::string_view chiffres = cle.substr(prefixe.size());
    if (chiffres.size() > 1 && chiffres.front() == '0') return -1;
    for (const char c : chiffres)
        if (c < '0' || c > '9') return -1;
    int n = 0;
    const auto [fin, err] = std::from_chars(chiffres.data(), chiffres.data() + chiffres.size(), n);
    if (err != std::errc{} || fin != chiffres.data() + chiffres.size()) return -1;
    return n >= premier && n <= dernier ? n : -1;
}

}  // namespace

ConfigBanc::ConfigBanc() : portParallele_("/dev/parport0") {
    gpib_.fill(ModeGpib::aucune);
    for (int n = 1; n <= kNbPortsCom; ++n) com_[n - 1] = "/dev/ttyS" + std::to_string(n - 1);
}

ModeGpib ConfigBanc::ModeCarteGpib(int carte) const {
    return carte >= 0 && carte < kNbCartesGpib ? gpib_[carte] : ModeGpib::aucune;
}

const std::map<int, std::string> &ConfigBanc::InstrumentsSimules(int carte) const {
    static const std::map<int, std::string> aucun;
    return carte >= 0 && carte < kNbCartesGpib ? instruments_[static_cast<std::size_t>(carte)] : aucun;
}

const std::string &ConfigBanc::PortCom(int numero) const {
    static const std::string aucun;
    return numero >= 1 && numero <= kNbPortsCom ? com_[numero - 1] : aucun;
}

std::string ConfigBanc::PeripheriqueSimuleCom(int numero) const {
    const std::string &valeur = PortCom(numero);
    if (Minuscules(valeur.substr(0, 4)) != "sim:") return {};
    return std::string(Rogner(std::string_view(valeur).substr(4)));
}

bool ConfigBanc::Appliquer(std::string_view cle, std::string_view valeur, std::string &raison) {
    const std::string k = Minuscules(cle);
    if (valeur.empty()) {
        raison = "no value";
        return false;
    }
    if (const int carte = NumeroDeCle(k, "gpib", 0, kNbCartesGpib - 1); carte >= 0) {
        const std::string v = Minuscules(valeur);
        if (v == "none") gpib_[carte] = ModeGpib::aucune;
        else if (v == "sim") gpib_[carte] = ModeGpib::simulee;
        else if (v == "native") gpib_[carte] = ModeGpib::native;
        else {
            raison = "a GPIB board is none, sim or native";
            return false;
        }
        return true;
    }
    if (const auto point = k.find('.'); point != std::string::npos) {
        const int carte = NumeroDeCle(std::string_view(k).substr(0, point), "gpib", 0, kNbCartesGpib - 1);
        const int pad = NumeroDeCle("a" + k.substr(point + 1), "a", 0, 30);
        if (carte < 0 || pad < 0) {
            raison = "unknown key";
            return false;
        }
        if (Simulation().modele_gpib_connu == nullptr || !Simulation().modele_gpib_connu(valeur)) {
            raison = "unknown simulated instrument";
            return false;
        }
        instruments_[static_cast<std::size_t>(carte)][pad] = std::string(valeur);
        return true;
    }
    if (const int port = NumeroDeCle(k, "com", 1, kNbPortsCom); port >= 0) {
        if (Minuscules(valeur.substr(0, 4)) == "sim:" &&
            (Simulation().modele_serie_connu == nullptr ||
             !Simulation().modele_serie_connu(Rogner(valeur.substr(4))))) {
            raison = "unknown simulated serial device";
            return false;
        }
        com_[port - 1] = std::string(valeur);
        return true;
    }
    if (k == "parport") {
        portParallele_ = Minuscules(valeur) == "sim" ? std::string("sim") : std::string(valeur);
        return true;
    }
    raison = "unknown key";
    return false;
}

ConfigBanc ConfigBanc::Lire(std::istream &texte, std::string_view origine, std::ostream &erreurs) {
    ConfigBanc config;
    std::string ligne;
    for (int numero = 1; std::getline(texte, ligne); ++numero) {
        const std::string_view utile = Rogner(SansCommentaire(ligne));
        if (utile.empty()) continue;
        std::string raison;
        const auto egal = utile.find('=');
        if (egal == std::string_view::npos) {
            raison = "expected key = value";
        } else {
            const std::string_view cle = Rogner(utile.substr(0, egal));
            if (cle.empty()) raison = "no key";
            else config.Appliquer(cle, Rogner(utile.substr(egal + 1)), raison);
        }
        if (!raison.empty())
            erreurs << origine << ':' << numero << ": " << raison << ", line ignored: "
                    << utile << '\n';
    }
    return config;
}

// ---- the configuration of this run --------------------------------------------------------

namespace {

std::mutex mutexConfig;
ConfigBanc &LaConfig() {
    static ConfigBanc config;
    return config;
}
bool configLue = false;  // guarded by mutexConfig

ConfigBanc LireFichier(const std::string &chemin) {
    if (chemin.empty()) return ConfigBanc{};
    std::ifstream f(chemin);
    if (!f) return ConfigBanc{};  // no file: the defaults
    std::ostringstream erreurs;
    ConfigBanc config = ConfigBanc::Lire(f, chemin, erreurs);
    if (f.bad()) erreurs << chemin << ": read error, the rest of the file is ignored\n";
    std::cerr << erreurs.str() << std::flush;
    return config;
}

}  // namespace

std::string CheminConfigurationBanc() {
    if (const char *env = std::getenv("BANC_BENCH_CONFIG"); env != nullptr && *env != '\0')
        return env;
    if (const char *home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.config/banc/banc.conf";
    return {};
}

const ConfigBanc &ConfigurationBanc() {
    std::lock_guard g(mutexConfig);
    if (!configLue) {
        LaConfig() = LireFichier(CheminConfigurationBanc());
        configLue = true;
    }
    return LaConfig();
}

void RechargerConfigurationBanc(const char *chemin) {
    const std::string c = chemin != nullptr ? std::string(chemin) : CheminConfigurationBanc();
    ConfigBanc config = LireFichier(c);
    std::lock_guard g(mutexConfig);
    LaConfig() = std::move(config);
    configLue = true;
}

namespace {
FabriquesSimulation &LesFabriques() {
    static FabriquesSimulation f;
    return f;
}
}  // namespace

void InstallerSimulation(const FabriquesSimulation &fabriques) { LesFabriques() = fabriques; }

const FabriquesSimulation &Simulation() { return LesFabriques(); }
