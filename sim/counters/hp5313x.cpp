// The simulated HP 53131A / 53132A universal counter.
#include "sim/counters/hp5313x.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <utility>

#include "sim/banc.h"

namespace sim {

namespace {

constexpr double kDureeMin = 0.01;  // program seconds of the quickest measurement
constexpr int kBitLimiteEchouee = 1024;  // questionable register
constexpr int kBitMesurant = 256;        // operation register
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FonctionCompteur {
    const char *motif;  // as the manual writes it
    const char *court;  // the function's name in the set-up
    int voies;          // channels it measures
};
constexpr FonctionCompteur kFonctions[] = {
    {"FREQuency", "FREQ", 1},          {"FREQuency:RATio", "FREQ:RAT", 2}, {"PERiod", "PER", 1},
    {"PHASe", "PHAS", 2},              {"TOTalize", "TOT", 1},            {"TOTalize:CONTinuous", "TOT", 1},
    {"TOTalize:TIMed", "TOT", 1},      {"TINTerval", "TINT", 2},          {"RISE:TIMe", "RISE:TIM", 1},
    {"FALL:TIMe", "FALL:TIM", 1},      {"PWIDth", "PWID", 1},             {"NWIDth", "NWID", 1},
    {"DCYCle", "DCYC", 1},             {"MAXimum", "MAX", 1},             {"MINimum", "MIN", 1},
    {"PTPeak", "PTP", 1},              {"VOLTage:MAXimum", "MAX", 1},     {"VOLTage:MINimum", "MIN", 1},
    {"VOLTage:PTPeak", "PTP", 1},
};

std::string Nr1(double v) {
    const long n = std::lround(v);
    return (n >= 0 ? "+" : "") + std::to_string(n);
}
std::string Nr3(double v) { return TexteNombre(v, 14, 3); }

std::string Majuscules(std::string s) {
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The numbers of a channel list ("1,2", "(@1),(@2)") in order.
std::vector<int> Voies(std::string_view texte) {
    std::vector<int> voies;
    for (std::size_t i = 0; i < texte.size();) {
        if (!std::isdigit(static_cast<unsigned char>(texte[i]))) {
            ++i;
            continue;
        }
        int v = 0;
        while (i < texte.size() && std::isdigit(static_cast<unsigned char>(texte[i])))
            v = v * 10 + (texte[i++] - '0');
        voies.push_back(v);
    }
    return voies;
}

// The function of a header ("FREQ", "freq:rat"), or null.
const FonctionCompteur *Fonction(std::string_view entete) {
    std::vector<std::string> chemin;
    std::size_t debut = 0;
    for (;;) {
        const std::size_t fin = entete.find(':', debut);
        chemin.push_back(Majuscules(std::string(entete.substr(debut, fin == entete.npos ? entete.npos : fin - debut))));
        if (fin == entete.npos) break;
        debut = fin + 1;
    }
    for (const FonctionCompteur &f : kFonctions) {
        std::vector<int> suffixes;
        if (scpi::Motif(f.motif).Correspond(chemin, suffixes)) return &f;
    }
    return nullptr;
}

// Channels of a function: false when they do not suit it.
bool VoiesValides(const FonctionCompteur &f, const std::vector<int> &voies, int &v1, int &v2) {
    v1 = voies.size() > 0 ? voies[0] : 1;
    v2 = voies.size() > 1 ? voies[1] : (v1 == 2 ? 1 : 2);
    if (voies.size() > static_cast<std::size_t>(f.voies)) return false;
    const std::string_view court = f.court;
    const int max = court == "FREQ" || court == "PER" || court == "FREQ:RAT" ? 3 : 2;
    if (v1 < 1 || v1 > max) return false;
    if (f.voies == 2 && (v2 < 1 || v2 > max || v2 == v1)) return false;
    return true;
}

// The frequencies of a signal a test gives: those that are no positive number mean no signal.
std::deque<double> Frequences(std::vector<double> frequences) {
    std::erase_if(frequences, [](double f) { return !(f > 0.0); });
    return {frequences.begin(), frequences.end()};
}

template <class T>
T &Champ(Appel &a, int suffixe, T &champ) {
    static thread_local T poubelle{};
    if (a.Suffixe() == suffixe) return champ;
    a.Erreur(-114);
    return poubelle;
}

}  // namespace

Compteur5313x::Compteur5313x(std::string identite)
    : AppareilMesure(std::move(identite)), lecture_(kNaN) {
    signaux_[0].valeurs = {10e6};
    signaux_[1].valeurs = {1e6};
    signaux_[2].amplitude = 0.0;
    ReglagesParDefaut();
    for (Reglages &r : registres_) r = reglages_;
    Commandes();
}

// ---- for tests ----------------------------------------------------------------------------

void Compteur5313x::FixerSignal(int entree, std::vector<double> frequences) {
    if (entree < 1 || entree > 3) return;
    std::lock_guard g(Verrou());
    signaux_[entree - 1].valeurs = Frequences(std::move(frequences));
    if (Mesure() && attenteSignal_ && SignalPresent()) LancerSerie();
    Signaler();
}

void Compteur5313x::FixerAmplitude(int entree, double volts) {
    if (entree < 1 || entree > 3) return;
    std::lock_guard g(Verrou());
    signaux_[entree - 1].amplitude = volts;
}

void Compteur5313x::FixerPhase(std::vector<double> degres) {
    std::lock_guard g(Verrou());
    if (degres.empty()) degres.push_back(0.0);
    phases_.assign(degres.begin(), degres.end());
}

void Compteur5313x::FixerDureeMesure(int entree, double secondes) {
    if (entree < 1 || entree > 3) return;
    std::lock_guard g(Verrou());
    signaux_[entree - 1].duree = secondes;
}

void Compteur5313x::FixerArmementExterne(bool present) {
    std::lock_guard g(Verrou());
    armementExterne_ = present;
    if (Mesure() && attenteSignal_ && SignalPresent()) LancerSerie();
    Signaler();
}

void Compteur5313x::FixerCommutateur(int entree, std::uint8_t lignes, std::vector<double> frequences) {
    std::lock_guard g(Verrou());
    commutateur_ = Commutateur{};
    if (entree < 1 || entree > 3 || lignes == 0) return;
    commutateur_.entree = entree;
    commutateur_.lignes = lignes;
    commutateur_.autre.valeurs = Frequences(std::move(frequences));
}

Compteur5313x::Signal &Compteur5313x::SignalDe(int voie) {
    return const_cast<Signal &>(std::as_const(*this).SignalDe(voie));
}

const Compteur5313x::Signal &Compteur5313x::SignalDe(int voie) const {
    if (voie == commutateur_.entree && commutateur_.haut) return commutateur_.autre;
    return signaux_[voie - 1];
}

Compteur5313x::Reglages Compteur5313x::LireReglages() const {
    std::lock_guard g(Verrou());
    return reglages_;
}

double Compteur5313x::DerniereLecture() const {
    std::lock_guard g(Verrou());
    return lecture_;
}

// ---- commands -----------------------------------------------------------------------------

void Compteur5313x::Commandes() {
    CommandesFonctions();
    CommandesEntrees();
    CommandesArmement("[:SENSe]:FREQuency", &Reglages::frequence, true);
    CommandesArmement("[:SENSe]:TOTalize", &Reglages::totalisation, false);
    CommandesArmement("[:SENSe]:TINTerval", &Reglages::intervalle, false);
    CommandesArmement("[:SENSe]:PHASe", &Reglages::phase, false);
    CommandesCalculs();
    CommandesEtat();
}

void Compteur5313x::CommandesFonctions() {
    Ajouter("[:SENSe]:FUNCtion[:ON]", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() < 1) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        if (p.genre != scpi::Parametre::Genre::Chaine) return a.Erreur(-104);
        std::string_view texte = p.texte;
        while (!texte.empty() && texte.front() == ' ') texte.remove_prefix(1);
        const std::size_t blanc = texte.find(' ');
        const FonctionCompteur *f = Fonction(texte.substr(0, blanc));
        int v1 = 1, v2 = 2;
        if (f == nullptr || !VoiesValides(*f, Voies(blanc == texte.npos ? "" : texte.substr(blanc)), v1, v2))
            return a.Erreur(-224);
        ChoisirFonction(f->court, v1, v2);
    });
    Ajouter("[:SENSe]:FUNCtion[:ON]?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        std::string texte = "\"" + reglages_.fonction + " " + std::to_string(reglages_.voie1);
        const FonctionCompteur *f = Fonction(reglages_.fonction);
        if (f != nullptr && f->voies == 2) texte += "," + std::to_string(reglages_.voie2);
        a.Repondre(texte + "\"");
    });

    // The reading, now or when the running measurement ends.
    const auto Lire = [this](Appel &a) {
        if (!Mesure() && std::isnan(lecture_)) return a.Erreur(-230);
        RepondreApresMesure(a, [this] { return TexteLecture(lecture_); });
    };
    // The function and channels of a :CONF or :MEAS, with its arming back to automatic.
    const auto Configurer = [this](Appel &a, const FonctionCompteur &f) {
        std::vector<int> voies;
        for (const scpi::Parametre &p : a.Unite().parametres)
            if (p.genre == scpi::Parametre::Genre::Mot && p.texte.rfind("(@", 0) == 0)
                for (const int v : Voies(p.texte)) voies.push_back(v);
        int v1 = 1, v2 = 2;
        if (!VoiesValides(f, voies, v1, v2)) {
            a.Erreur(-224);
            return false;
        }
        ChoisirFonction(f.court, v1, v2);
        Armement &armement = ArmementCourant();
        armement.departSource = "IMM";
        armement.arretSource = "IMM";
        reglages_.continu = false;
        return true;
    };
    const auto Lecture = [this, Lire](Appel &a) {
        Abandonner();
        Initier();
        Lire(a);
    };
    for (const FonctionCompteur &f : kFonctions) {
        const std::string motif = f.motif;
        Ajouter(":CONFigure[:SCALar]:" + motif, [Configurer, &f](Appel &a) { Configurer(a, f); });
        Ajouter(":MEASure[:SCALar]:" + motif + "?", [Configurer, Lecture, &f](Appel &a) {
            if (Configurer(a, f)) Lecture(a);
        });
        const auto MemeFonction = [this, &f](Appel &a) {
            if (reglages_.fonction == f.court) return true;
            a.Erreur(-221);
            return false;
        };
        Ajouter(":READ[:SCALar]:" + motif + "?", [MemeFonction, Lecture](Appel &a) {
            if (MemeFonction(a)) Lecture(a);
        });
        Ajouter(":FETCh[:SCALar]:" + motif + "?", [MemeFonction, Lire](Appel &a) {
            if (MemeFonction(a)) Lire(a);
        });
    }
    Ajouter(":READ[:SCALar]?", [Lecture](Appel &a) {
        if (a.AuPlus(0)) Lecture(a);
    });
    Ajouter(":FETCh[:SCALar]?", [Lire](Appel &a) {
        if (a.AuPlus(0)) Lire(a);
    });
    Ajouter("[:SENSe]:DATA?", [Lire](Appel &a) { Lire(a); });
    Ajouter(":INITiate[:IMMediate]", [this](Appel &a) {
        if (a.AuPlus(0)) Initier();
    });
    ReglageBooleen(":INITiate:CONTinuous", [this](Appel &) -> bool & { return reglages_.continu; }, [this] {
        if (reglages_.continu && !Mesure()) Initier();
    });
    ReglageBooleen(":INITiate:AUTO", [this](Appel &) -> bool & { return reglages_.initAuto; });
    Ajouter(":ABORt", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        Abandonner();
        if (reglages_.continu) Initier();
    });
    ReglageBooleen(":TRIGger:COUNt:AUTO", [this](Appel &) -> bool & { return reglages_.comptageAuto; });
    ReglageMot(":FORMat[:DATA]", [this](Appel &) -> std::string & { return reglages_.format; },
               {"ASCii", "REAL"});
    Ajouter(":DISPlay[:WINDow]:TEXT:FEED", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() < 1) return a.Erreur(-109);
        std::string flux = Majuscules(a.Unite().parametres[0].texte);
        if (flux == "CALC" || flux == "CALCULATE") flux = "CALC1";
        if (flux.rfind("CALCULATE", 0) == 0) flux = "CALC" + flux.substr(9);
        if (flux != "CALC1" && flux != "CALC2" && flux != "CALC3") return a.Erreur(-224);
        reglages_.affichage = flux;
    });
    Ajouter(":DISPlay[:WINDow]:TEXT:FEED?", [this](Appel &a) { a.Repondre("\"" + reglages_.affichage + "\""); });
    const auto Registre = [](Appel &a, int &n) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return false;
        if (v < 0 || v > 20) {
            a.Erreur(-222);
            return false;
        }
        n = v;
        return true;
    };
    Ajouter("*SAV", [this, Registre](Appel &a) {
        int n = 0;
        if (Registre(a, n)) registres_[n] = reglages_;
    });
    Ajouter("*RCL", [this, Registre](Appel &a) {
        int n = 0;
        if (!Registre(a, n)) return;
        Abandonner();
        reglages_ = registres_[n];
    });
}

Compteur5313x::Entree &Compteur5313x::EntreeDe(Appel &a, int max) {
    const int s = a.Suffixe();
    if (s >= 1 && s <= max) return reglages_.entrees[s - 1];
    a.Erreur(-114);
    return poubelle_;
}

void Compteur5313x::CommandesEntrees() {
    const auto Entree3 = [this](Appel &a) -> Entree & { return EntreeDe(a, 3); };
    const auto Evenement = [this](Appel &a) -> Entree & { return EntreeDe(a, 2); };
    Ajouter(":INPut#:ATTenuation", [Entree3](Appel &a) {
        double v = 0.0;
        if (!a.AuPlus(1) || !a.Nombre(0, v)) return;
        if (v != 1.0 && v != 10.0) return a.Erreur(-222);
        Entree3(a).attenuation = static_cast<int>(v);
    });
    Ajouter(":INPut#:ATTenuation?", [Entree3](Appel &a) { a.Repondre(Nr1(Entree3(a).attenuation)); });
    ReglageMot(":INPut#:COUPling", [Entree3](Appel &a) -> std::string & { return Entree3(a).couplage; },
               {"AC", "DC"});
    Ajouter(":INPut#:IMPedance", [Entree3](Appel &a) {
        double v = 0.0;
        if (!a.AuPlus(1) || !a.Nombre(0, v)) return;
        if (v != 50.0 && v != 1e6) return a.Erreur(-222);
        Entree3(a).impedance = v;
    });
    Ajouter(":INPut#:IMPedance?", [Entree3](Appel &a) { a.Repondre(Nr3(Entree3(a).impedance)); });
    ReglageBooleen(":INPut#:FILTer[:LPASs][:STATe]", [Entree3](Appel &a) -> bool & { return Entree3(a).filtre; });

    Ajouter(":EVENt#:LEVel[:ABSolute]", [Evenement](Appel &a) {
        double v = 0.0;
        if (!a.AuPlus(1) || !a.Nombre(0, v)) return;
        Entree &e = Evenement(a);
        const double limite = 5.125 * e.attenuation;
        if (!(v >= -limite && v <= limite)) return a.Erreur(-222);
        e.niveau = v;
        e.niveauAuto = false;
    });
    Ajouter(":EVENt#:LEVel[:ABSolute]?", [Evenement](Appel &a) { a.Repondre(Nr3(Evenement(a).niveau)); });
    ReglageBooleen(":EVENt#:LEVel[:ABSolute]:AUTO", [Evenement](Appel &a) -> bool & { return Evenement(a).niveauAuto; });
    ReglageNombre(":EVENt#:LEVel:RELative", [Evenement](Appel &a) -> double & { return Evenement(a).niveauRelatif; },
                  0.0, 100.0, Nr1);
    ReglageMot(":EVENt#:SLOPe", [Evenement](Appel &a) -> std::string & { return Evenement(a).pente; },
               {"POSitive", "NEGative"});
    ReglageNombre(":EVENt#:HYSTeresis:RELative",
                  [Evenement](Appel &a) -> double & { return Evenement(a).hysteresis; }, 0.0, 100.0, Nr1);
    Ajouter(":EVENt#:FEED", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() < 1) return a.Erreur(-109);
        std::string &champ = Champ(a, 2, reglages_.alimentationEvenement2);
        std::vector<int> suffixes;
        const bool entree = scpi::Motif("INPut#").Correspond({Majuscules(a.Unite().parametres[0].texte)}, suffixes);
        if (!entree || suffixes[0] > 2) return a.Erreur(-224);
        champ = "INP" + std::to_string(suffixes[0]);
    });
    Ajouter(":EVENt#:FEED?", [this](Appel &a) {
        a.Repondre("\"" + Champ(a, 2, reglages_.alimentationEvenement2) + "\"");
    });
}

void Compteur5313x::CommandesArmement(const std::string &sousSysteme, Armement Reglages::*armement,
                                      bool chiffres) {
    const auto Texte = [this, armement](std::string Armement::*champ) {
        return [this, armement, champ](Appel &) -> std::string & { return (reglages_.*armement).*champ; };
    };
    const std::vector<std::string> pentes = {"POSitive", "NEGative"};
    std::vector<std::string> arrets = {"IMMediate", "EXTernal", "TIMer"};
    if (chiffres) arrets.push_back("DIGits");
    ReglageMot(sousSysteme + ":ARM[:STARt]:SOURce", Texte(&Armement::departSource), {"IMMediate", "EXTernal"});
    ReglageMot(sousSysteme + ":ARM[:STARt]:SLOPe", Texte(&Armement::departPente), pentes);
    ReglageMot(sousSysteme + ":ARM:STOP:SOURce", Texte(&Armement::arretSource), arrets);
    ReglageMot(sousSysteme + ":ARM:STOP:SLOPe", Texte(&Armement::arretPente), pentes);
    ReglageNombre(sousSysteme + ":ARM:STOP:TIMer",
                  [this, armement](Appel &) -> double & { return (reglages_.*armement).temps; }, 0.001, 1000.0, Nr3);
    if (chiffres)
        ReglageNombre(sousSysteme + ":ARM:STOP:DIGits",
                      [this, armement](Appel &) -> double & { return (reglages_.*armement).chiffres; }, 3.0, 15.0,
                      Nr1);
}

void Compteur5313x::CommandesCalculs() {
    const double kLimite = 9.999999e12;
    // CALC1: scale and offset.
    ReglageBooleen(":CALCulate#:MATH[:STATe]", [this](Appel &a) -> bool & { return Champ(a, 1, reglages_.math); });
    Ajouter(":TRACe[:DATA]", [this](Appel &a) {
        std::string nom;
        double v = 0.0;
        if (!a.AuPlus(2) || !a.Mot(0, nom) || !a.Nombre(1, v)) return;
        if (nom == "SCALE") reglages_.echelle = v;
        else if (nom == "OFFSET") reglages_.decalage = v;
        else a.Erreur(-224);
    });
    Ajouter(":TRACe[:DATA]?", [this](Appel &a) {
        std::string nom;
        if (!a.AuPlus(1) || !a.Mot(0, nom)) return;
        if (nom == "SCALE") a.Repondre(Nr3(reglages_.echelle));
        else if (nom == "OFFSET") a.Repondre(Nr3(reglages_.decalage));
        else a.Erreur(-224);
    });
    Ajouter(":CALCulate#:DATA?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (a.Suffixe() == 3) {
            double v = 0.0;
            if (!Statistique(reglages_.typeStats, v)) return a.Erreur(-230);
            return a.Repondre(TexteLecture(v));
        }
        if (a.Suffixe() != 1) return a.Erreur(-114);
        if (!Mesure() && std::isnan(lecture_)) return a.Erreur(-230);
        RepondreApresMesure(a, [this] {
            return TexteLecture(reglages_.math ? lecture_ * reglages_.echelle + reglages_.decalage : lecture_);
        });
    });
    // CALC2: limit test.
    ReglageBooleen(":CALCulate#:LIMit[:STATe]", [this](Appel &a) -> bool & { return Champ(a, 2, reglages_.limites); },
                   [this] { echecsBas_ = echecsHaut_ = reussites_ = 0, echec_ = false; });
    ReglageMot(":CALCulate#:LIMit:DISPlay",
               [this](Appel &a) -> std::string & { return Champ(a, 2, reglages_.affichageLimites); },
               {"NUMBer", "GRAPh"});
    ReglageNombre(":CALCulate#:LIMit:UPPer[:DATA]",
                  [this](Appel &a) -> double & { return Champ(a, 2, reglages_.limiteHaute); }, -kLimite, kLimite, Nr3);
    ReglageNombre(":CALCulate#:LIMit:LOWer[:DATA]",
                  [this](Appel &a) -> double & { return Champ(a, 2, reglages_.limiteBasse); }, -kLimite, kLimite, Nr3);
    ReglageBooleen(":CALCulate#:IMMediate:AUTO",
                   [this](Appel &a) -> bool & { return Champ(a, 2, reglages_.limitesAuto); });
    Ajouter(":CALCulate#:IMMediate", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (a.Suffixe() != 2) return a.Erreur(-114);
        if (!std::isnan(lecture_)) TesterLimites(lecture_);
    });
    const auto Compte = [this](const std::string &motif, auto valeur) {
        Ajouter(motif, [valeur](Appel &a) {
            if (!a.AuPlus(0)) return;
            if (a.Suffixe() != 2) return a.Erreur(-114);
            a.Repondre(Nr1(valeur()));
        });
    };
    Compte(":CALCulate#:LIMit:FAIL?", [this] { return echec_ ? 1 : 0; });
    Compte(":CALCulate#:LIMit:FCOunt[:TOTal]?", [this] { return echecsBas_ + echecsHaut_; });
    Compte(":CALCulate#:LIMit:FCOunt:LOWer?", [this] { return echecsBas_; });
    Compte(":CALCulate#:LIMit:FCOunt:UPPer?", [this] { return echecsHaut_; });
    Compte(":CALCulate#:LIMit:PCOunt[:TOTal]?", [this] { return reussites_; });
    // CALC3: statistics.
    ReglageBooleen(":CALCulate#:AVERage[:STATe]", [this](Appel &a) -> bool & { return Champ(a, 3, reglages_.stats); },
                   [this] { stats_.clear(); });
    ReglageNombre(":CALCulate#:AVERage:COUNt",
                  [this](Appel &a) -> double & { return Champ(a, 3, reglages_.compteStats); }, 2.0, 1000000.0, Nr1);
    ReglageMot(":CALCulate#:AVERage:TYPE", [this](Appel &a) -> std::string & { return Champ(a, 3, reglages_.typeStats); },
               {"MEAN", "SDEViation", "MAXimum", "MINimum"});
    ReglageBooleen(":CALCulate#:LFILter[:STATe]",
                   [this](Appel &a) -> bool & { return Champ(a, 3, reglages_.filtreStats); });
    ReglageNombre(":CALCulate#:LFILter:LOWer[:DATA]",
                  [this](Appel &a) -> double & { return Champ(a, 3, reglages_.filtreBas); }, -kLimite, kLimite, Nr3);
    ReglageNombre(":CALCulate#:LFILter:UPPer[:DATA]",
                  [this](Appel &a) -> double & { return Champ(a, 3, reglages_.filtreHaut); }, -kLimite, kLimite, Nr3);
    Ajouter(":CALCulate#:AVERage:ALL?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (a.Suffixe() != 3) return a.Erreur(-114);
        double m = 0.0, s = 0.0, mn = 0.0, mx = 0.0;
        if (!Statistique("MEAN", m) || !Statistique("SDEV", s) || !Statistique("MIN", mn) || !Statistique("MAX", mx))
            return a.Erreur(-230);
        a.Repondre(TexteLecture(m) + "," + TexteLecture(s) + "," + TexteLecture(mn) + "," + TexteLecture(mx));
    });
}

void Compteur5313x::CommandesEtat() {
    // *CLS stays with the common commands of the IEEE 488.2 base, which do not reach these
    // registers: :STAT:PRES, which the driver sends after *CLS, empties their events too.
    Ajouter(":STATus:PRESet", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        quesEvenements_ = operEvenements_ = 0;
        quesValidation_ = operValidation_ = 0;
        transitionsPositives_ = 0x7FFF;
        transitionsNegatives_ = 0;
    });
    const auto Registre = [this](const std::string &motif, int Compteur5313x::*champ) {
        Ajouter(motif, [this, champ](Appel &a) {
            int v = 0;
            if (!a.AuPlus(1) || !a.Entier(0, v)) return;
            if (v < 0 || v > 32767) return a.Erreur(-222);
            this->*champ = v;
        });
        Ajouter(motif + "?", [this, champ](Appel &a) {
            if (a.AuPlus(0)) a.Repondre(Nr1(this->*champ));
        });
    };
    const auto Evenements = [this](const std::string &motif, int Compteur5313x::*champ) {
        Ajouter(motif, [this, champ](Appel &a) {
            if (!a.AuPlus(0)) return;
            a.Repondre(Nr1(this->*champ));
            this->*champ = 0;
        });
    };
    Registre(":STATus:QUEStionable:ENABle", &Compteur5313x::quesValidation_);
    Evenements(":STATus:QUEStionable[:EVENt]?", &Compteur5313x::quesEvenements_);
    Ajouter(":STATus:QUEStionable:CONDition?", [this](Appel &a) { a.Repondre(Nr1(echec_ ? kBitLimiteEchouee : 0)); });
    Registre(":STATus:OPERation:ENABle", &Compteur5313x::operValidation_);
    Registre(":STATus:OPERation:PTRansition", &Compteur5313x::transitionsPositives_);
    Registre(":STATus:OPERation:NTRansition", &Compteur5313x::transitionsNegatives_);
    Evenements(":STATus:OPERation[:EVENt]?", &Compteur5313x::operEvenements_);
    Ajouter(":STATus:OPERation:CONDition?", [this](Appel &a) { a.Repondre(Nr1(operCondition_)); });
}

// ---- measurements -------------------------------------------------------------------------

void Compteur5313x::ReglagesParDefaut() {
    reglages_ = Reglages{};
    reglages_.entrees[2].impedance = 50.0;
    lecture_ = kNaN;
    serie_ = 0;
    attenteSignal_ = false;
    stats_.clear();
    echecsBas_ = echecsHaut_ = reussites_ = 0;
    echec_ = false;
    Mesurant(false);
}

std::uint8_t Compteur5313x::BitsEtat() {
    std::uint8_t bits = 0;
    if ((quesEvenements_ & quesValidation_) != 0) bits |= 0x08;
    if ((operEvenements_ & operValidation_) != 0) bits |= 0x80;
    return bits;
}

Compteur5313x::Armement &Compteur5313x::ArmementCourant() {
    return const_cast<Armement &>(std::as_const(*this).ArmementCourant());
}

const Compteur5313x::Armement &Compteur5313x::ArmementCourant() const {
    const std::string &f = reglages_.fonction;
    if (f == "TOT") return reglages_.totalisation;
    if (f == "PHAS") return reglages_.phase;
    if (f == "FREQ" || f == "PER" || f == "FREQ:RAT" || f == "MAX" || f == "MIN" || f == "PTP")
        return reglages_.frequence;
    return reglages_.intervalle;
}

bool Compteur5313x::SignalPresent() const {
    const Armement &a = ArmementCourant();
    if (!armementExterne_ && (a.departSource == "EXT" || a.arretSource == "EXT")) return false;
    const auto Present = [this](int voie) { return !SignalDe(voie).valeurs.empty(); };
    const FonctionCompteur *fc = Fonction(reglages_.fonction);
    const bool deuxVoies = fc != nullptr && fc->voies == 2 &&
                           !(reglages_.fonction == "TINT" && reglages_.alimentationEvenement2 == "INP1");
    return Present(reglages_.voie1) && (!deuxVoies || Present(reglages_.voie2));
}

double Compteur5313x::Duree() const {
    const double impose = signaux_[reglages_.voie1 - 1].duree;
    if (impose >= 0.0) return impose;
    const Armement &a = ArmementCourant();
    const std::string &f = reglages_.fonction;
    if (f == "MAX" || f == "MIN" || f == "PTP") return kDureeMin;
    if (a.arretSource == "DIG") return std::max(kDureeMin, std::pow(10.0, std::trunc(a.chiffres) - 10.0));
    if (a.arretSource == "TIM") return a.temps;
    return kDureeMin;
}

double Compteur5313x::Valeur() const {
    const auto Frequence = [this](int voie) {
        const std::deque<double> &valeurs = SignalDe(voie).valeurs;
        return valeurs.empty() ? kNaN : valeurs.front();
    };
    const double f1 = Frequence(reglages_.voie1);
    const double phase = phases_.empty() ? kNaN : phases_.front();
    const std::string &f = reglages_.fonction;
    double v = kNaN;
    if (f == "FREQ") v = f1;
    else if (f == "PER") v = 1.0 / f1;
    else if (f == "FREQ:RAT") v = f1 / Frequence(reglages_.voie2);
    else if (f == "PHAS") v = phase;
    else if (f == "TOT") v = std::round(f1 * Duree());
    else if (f == "TINT") v = reglages_.alimentationEvenement2 == "INP1" ? 0.5 / f1 : phase / 360.0 / f1;
    else if (f == "RISE:TIM" || f == "FALL:TIM") v = 0.1 / f1;
    else if (f == "PWID" || f == "NWID") v = 0.5 / f1;
    else if (f == "DCYC") v = 0.5;
    else if (f == "MAX") v = signaux_[reglages_.voie1 - 1].amplitude;
    else if (f == "MIN") v = -signaux_[reglages_.voie1 - 1].amplitude;
    else if (f == "PTP") v = 2.0 * signaux_[reglages_.voie1 - 1].amplitude;
    const bool frequentielle = f == "FREQ" || f == "PER" || f == "FREQ:RAT";
    if (frequentielle && reglages_.frequence.arretSource == "DIG" && v != 0.0 && std::isfinite(v)) {
        const int chiffres = static_cast<int>(reglages_.frequence.chiffres);
        char texte[64];
        std::snprintf(texte, sizeof texte, "%.*e", chiffres - 1, v);
        v = std::strtod(texte, nullptr);
    }
    return v;
}

bool Compteur5313x::Initier() {
    if (Mesure()) {
        Erreur(-213);  // Init ignored
        return false;
    }
    const bool bloc = reglages_.stats && reglages_.comptageAuto;
    serie_ = bloc ? std::max(1, static_cast<int>(reglages_.compteStats)) : 1;
    if (bloc) stats_.clear();
    LancerSerie();
    return true;
}

void Compteur5313x::LancerSerie() {
    if (commutateur_.lignes != 0) {
        const std::shared_ptr<RegistreParallele> port = RegistreParalleleDuBanc();
        commutateur_.haut = port != nullptr && (port->Lire() & commutateur_.lignes) != 0;
    }
    attenteSignal_ = !SignalPresent();
    LancerMesure(attenteSignal_ ? kJamais : serie_ * Duree());
    Mesurant(true);
}

void Compteur5313x::Abandonner() {
    AbandonnerMesure();
    serie_ = 0;
    attenteSignal_ = false;
    Mesurant(false);
}

void Compteur5313x::Mesurant(bool oui) {
    const int avant = operCondition_;
    operCondition_ = oui ? (avant | kBitMesurant) : (avant & ~kBitMesurant);
    const int montees = operCondition_ & ~avant, descentes = avant & ~operCondition_;
    operEvenements_ |= (montees & transitionsPositives_) | (descentes & transitionsNegatives_);
}

void Compteur5313x::MesureTerminee() {
    Mesurant(false);
    const FonctionCompteur *fc = Fonction(reglages_.fonction);
    // Each input used gives its next value to the next measurement.
    const auto Suivante = [](std::deque<double> &valeurs) {
        if (valeurs.size() > 1) valeurs.pop_front();
    };
    for (int i = 0; i < serie_; ++i) {
        const double v = Valeur();
        Suivante(SignalDe(reglages_.voie1).valeurs);
        if (fc != nullptr && fc->voies == 2) Suivante(SignalDe(reglages_.voie2).valeurs);
        if (reglages_.fonction == "PHAS" || reglages_.fonction == "TINT") Suivante(phases_);
        lecture_ = v;
        const double calcule = reglages_.math ? v * reglages_.echelle + reglages_.decalage : v;
        if (reglages_.limites && reglages_.limitesAuto) TesterLimites(calcule);
        const bool garde = !reglages_.filtreStats || (calcule >= reglages_.filtreBas && calcule <= reglages_.filtreHaut);
        if (reglages_.stats && garde) {
            stats_.push_back(calcule);
            while (stats_.size() > static_cast<std::size_t>(reglages_.compteStats)) stats_.pop_front();
        }
    }
    if (reglages_.continu) Initier();
}

void Compteur5313x::TesterLimites(double v) {
    echec_ = v < reglages_.limiteBasse || v > reglages_.limiteHaute;
    if (v < reglages_.limiteBasse) ++echecsBas_;
    else if (v > reglages_.limiteHaute) ++echecsHaut_;
    else ++reussites_;
    if (echec_) quesEvenements_ |= kBitLimiteEchouee;
}

void Compteur5313x::ChoisirFonction(const std::string &fonction, int voie1, int voie2) {
    // A new function ends the measurement under way, which then completes nothing.
    Abandonner();
    reglages_.fonction = fonction;
    reglages_.voie1 = voie1;
    reglages_.voie2 = voie2;
}

std::string Compteur5313x::TexteLecture(double v) const { return TexteNombre(v, 12, 3); }

bool Compteur5313x::Statistique(const std::string &type, double &v) const {
    if (stats_.empty()) return false;
    const double n = static_cast<double>(stats_.size());
    const double moyenne = std::accumulate(stats_.begin(), stats_.end(), 0.0) / n;
    if (type == "MEAN") v = moyenne;
    else if (type == "MAX") v = *std::max_element(stats_.begin(), stats_.end());
    else if (type == "MIN") v = *std::min_element(stats_.begin(), stats_.end());
    else {
        double somme = 0.0;
        for (const double x : stats_) somme += (x - moyenne) * (x - moyenne);
        v = stats_.size() > 1 ? std::sqrt(somme / (n - 1.0)) : 0.0;
    }
    return true;
}

std::shared_ptr<Appareil> CreerHp53131A() { return std::make_shared<Compteur5313x>(); }
std::shared_ptr<Appareil> CreerHp53132A() {
    return std::make_shared<Compteur5313x>("HEWLETT-PACKARD,53132A,0,3703");
}
std::shared_ptr<Appareil> CreerHp53131ACommute() {
    auto compteur = std::make_shared<Compteur5313x>();
    compteur->FixerCommutateur(1, 4, {15e6});
    return compteur;
}

}  // namespace sim
