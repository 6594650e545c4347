// The simulated serial devices of the bench configuration (see peripheriques.h).
#include "sim/serie/peripheriques.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/bench_config.h"
#include "platform/clock.h"
#include "sim/bench/dgm110.h"
#include "sim/bench/pompe_ismatec.h"
#include "sim/bench/pousse_seringue.h"
#include "sim/bench/regul_acoustic.h"
#include "sim/bench/vexo.h"

namespace sim::serie {

namespace {

// A loop-back plug: every byte comes back at once.
class Boucle final : public Modele {
public:
    void Recevoir(std::string_view octets, Sortie &sortie) override { sortie.Emettre(octets); }
};

struct Fiche {
    const char *nom;
    std::shared_ptr<Modele> (*creer)();
};

constexpr Fiche kModeles[] = {
    {"Pousse_Seringue", []() -> std::shared_ptr<Modele> { return std::make_shared<PoussesSeringues>(); }},
    {"Pompe_Ismatec", []() -> std::shared_ptr<Modele> { return std::make_shared<PompeIsmatec>(); }},
    {"Regul_Acoustic", []() -> std::shared_ptr<Modele> { return std::make_shared<RegulateurAcoustique>(); }},
    {"DGM110", []() -> std::shared_ptr<Modele> { return std::make_shared<AnalyseurDGM110>(); }},
    {"VEXO", []() -> std::shared_ptr<Modele> { return std::make_shared<CarteVexo>(); }},
    {"boucle", []() -> std::shared_ptr<Modele> { return std::make_shared<Boucle>(); }},
};

bool MemeNom(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const Fiche *Trouver(std::string_view nom) {
    for (const Fiche &f : kModeles)
        if (MemeNom(f.nom, nom)) return &f;
    return nullptr;
}

// The models that "A+B+C" names, blanks around each name dropped; empty when a name is unknown.
std::vector<const Fiche *> Fiches(std::string_view modele) {
    std::vector<const Fiche *> fiches;
    for (;;) {
        const std::size_t plus = modele.find('+');
        std::string_view nom = modele.substr(0, plus);
        while (!nom.empty() && std::isspace(static_cast<unsigned char>(nom.front()))) nom.remove_prefix(1);
        while (!nom.empty() && std::isspace(static_cast<unsigned char>(nom.back()))) nom.remove_suffix(1);
        const Fiche *f = Trouver(nom);
        if (f == nullptr) return {};
        fiches.push_back(f);
        if (plus == std::string_view::npos) return fiches;
        modele.remove_prefix(plus + 1);
    }
}

struct Place {
    std::string modele;
    std::shared_ptr<Ligne> ligne;
};

struct Lignes {
    std::mutex m;
    std::array<Place, ConfigBanc::kNbPortsCom + 1> ports;
};

Lignes &LesLignes() {
    static Lignes *l = [] {
        // The lines' threads read the program's clock: they stop before it goes.
        horloge::Secondes();
        std::atexit(ArreterLignes);
        return new Lignes;  // lines may still be asked for while the program ends
    }();
    return *l;
}

}  // namespace

std::vector<std::string> ModelesConnus() {
    std::vector<std::string> noms;
    for (const Fiche &f : kModeles) noms.emplace_back(f.nom);
    return noms;
}

bool ModeleConnu(std::string_view modele) { return !Fiches(modele).empty(); }

std::shared_ptr<Modele> CreerModele(std::string_view modele) {
    const std::vector<const Fiche *> fiches = Fiches(modele);
    if (fiches.size() == 1) return fiches.front()->creer();
    if (fiches.empty()) return nullptr;
    std::vector<std::shared_ptr<Modele>> appareils;
    for (const Fiche *f : fiches) appareils.push_back(f->creer());
    return std::make_shared<LigneCommune>(std::move(appareils));
}

void LigneCommune::Recevoir(std::string_view octets, Sortie &sortie) {
    for (const auto &a : appareils_) a->Recevoir(octets, sortie);
}

double LigneCommune::Reveil() const {
    double r = std::numeric_limits<double>::infinity();
    for (const auto &a : appareils_) r = std::min(r, a->Reveil());
    return r;
}

void LigneCommune::Parler(double maintenant, Sortie &sortie) {
    for (const auto &a : appareils_)
        if (a->Reveil() <= maintenant) a->Parler(maintenant, sortie);
}

namespace {

// Puts a line of `modele` on `place`; caller holds the lock. The line it replaces is handed
// back, to stop outside the lock.
std::shared_ptr<Ligne> Placer(Place &place, std::shared_ptr<Modele> modele, std::string_view nom,
                              std::shared_ptr<Ligne> &ancienne) {
    auto ligne = std::make_shared<Ligne>(std::move(modele));
    if (!ligne->Ouverte()) return nullptr;
    ancienne = std::exchange(place.ligne, ligne);
    place.modele = std::string(nom);
    return ligne;
}

}  // namespace

std::shared_ptr<Ligne> DemarrerLigne(std::string_view modele, int port) {
    if (port < 1 || port > ConfigBanc::kNbPortsCom) return nullptr;
    Lignes &l = LesLignes();
    std::shared_ptr<Ligne> ancienne;
    std::lock_guard g(l.m);
    Place &place = l.ports[static_cast<std::size_t>(port)];
    if (place.ligne != nullptr && MemeNom(place.modele, modele)) return place.ligne;
    auto m = CreerModele(modele);
    if (m == nullptr) return nullptr;
    return Placer(place, std::move(m), modele, ancienne);
}

std::shared_ptr<Ligne> BrancherLigne(std::shared_ptr<Modele> modele, std::string_view nom, int port) {
    if (port < 1 || port > ConfigBanc::kNbPortsCom || modele == nullptr) return nullptr;
    Lignes &l = LesLignes();
    std::shared_ptr<Ligne> ancienne;
    std::lock_guard g(l.m);
    return Placer(l.ports[static_cast<std::size_t>(port)], std::move(modele), nom, ancienne);
}

std::string CheminPeripherique(const std::string &modele, int port) {
    const std::shared_ptr<Ligne> ligne = DemarrerLigne(modele, port);
    return ligne != nullptr ? ligne->Chemin() : std::string();
}

std::shared_ptr<Ligne> LigneDuPort(int port) {
    if (port < 1 || port > ConfigBanc::kNbPortsCom) return nullptr;
    Lignes &l = LesLignes();
    std::lock_guard g(l.m);
    return l.ports[static_cast<std::size_t>(port)].ligne;
}

void ArreterLignes() {
    std::array<Place, ConfigBanc::kNbPortsCom + 1> parties;
    {
        Lignes &l = LesLignes();
        std::lock_guard g(l.m);
        parties = std::exchange(l.ports, {});
    }
    // The lines stop here, outside the lock.
}

}  // namespace sim::serie
