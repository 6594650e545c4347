// The simulated HP 34401A digital multimeter.
#include "sim/meters/hp34401a.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace sim {

namespace {

constexpr std::size_t kMemoire = 512;  // readings kept by :INIT
constexpr double kDureeMin = 0.01;     // program seconds

struct FonctionMultimetre {
    const char *motif;
    const char *court;
    double gammeMax;  // 0: takes no range
    double gammeMin;
};
constexpr FonctionMultimetre kFonctions[] = {
    {"VOLTage[:DC]", "VOLT", 1000.0, 0.1},    {"VOLTage:AC", "VOLT:AC", 750.0, 0.1},
    {"VOLTage[:DC]:RATio", "VOLT:RAT", 1000.0, 0.1}, {"CURRent[:DC]", "CURR", 3.0, 0.01},
    {"CURRent:AC", "CURR:AC", 3.0, 1.0},      {"RESistance", "RES", 100e6, 100.0},
    {"FRESistance", "FRES", 100e6, 100.0},    {"FREQuency", "FREQ", 750.0, 0.1},
    {"PERiod", "PER", 750.0, 0.1},            {"CONTinuity", "CONT", 0.0, 0.0},
    {"DIODe", "DIOD", 0.0, 0.0},
};

const FonctionMultimetre &FonctionDe(const std::string &court) {
    for (const FonctionMultimetre &f : kFonctions)
        if (court == f.court) return f;
    return kFonctions[0];
}

std::string Nr1(double v) {
    const long n = std::lround(v);
    return (n >= 0 ? "+" : "") + std::to_string(n);
}
std::string Nr3(double v) { return TexteNombre(v, 8, 2); }

// The first of `valeurs` (sorted) that is at least v, else the last one.
double Arrondir(double v, std::initializer_list<double> valeurs) {
    for (const double x : valeurs)
        if (v <= x) return x;
    return *(valeurs.end() - 1);
}

}  // namespace

Multimetre34401A::Multimetre34401A() : AppareilMesure("HEWLETT-PACKARD,34401A,0,11-5-2") {
    valeurs_ = {{"VOLT", {1.23456789}}, {"VOLT:AC", {0.5}},     {"VOLT:RAT", {1.0}},  {"CURR", {0.001}},
                {"CURR:AC", {0.0005}},  {"RES", {1000.0}},      {"FRES", {1000.0}},   {"FREQ", {1000.0}},
                {"PER", {0.001}},       {"CONT", {0.5}},        {"DIOD", {0.6}}};
    ReglagesParDefaut();
    CommandesMesure();
    CommandesReglages();
    CommandesMath();
    CommandesCalibration();
}

// ---- for tests ----------------------------------------------------------------------------

void Multimetre34401A::FixerValeurs(const std::string &fonction, std::vector<double> valeurs) {
    std::lock_guard g(Verrou());
    if (valeurs.empty()) return;
    valeurs_[fonction].assign(valeurs.begin(), valeurs.end());
}

void Multimetre34401A::FixerDureeLecture(double secondes) {
    std::lock_guard g(Verrou());
    dureeImposee_ = secondes;
}

void Multimetre34401A::FixerBornesAvant(bool avant) {
    std::lock_guard g(Verrou());
    bornesAvant_ = avant;
}

void Multimetre34401A::DeclencherExterne() {
    std::lock_guard g(Verrou());
    if (attente_ && reglages_.source == "EXT") Demarrer();
    Signaler();
}

Multimetre34401A::Reglages Multimetre34401A::LireReglages() const {
    std::lock_guard g(Verrou());
    return reglages_;
}

bool Multimetre34401A::Bip() const {
    std::lock_guard g(Verrou());
    return bip_;
}

int Multimetre34401A::Bips() const {
    std::lock_guard g(Verrou());
    return bips_;
}

bool Multimetre34401A::CalibrationProtegee() const {
    std::lock_guard g(Verrou());
    return protegee_;
}

std::string Multimetre34401A::CodeSecurite() const {
    std::lock_guard g(Verrou());
    return code_;
}

std::string Multimetre34401A::TexteCalibration() const {
    std::lock_guard g(Verrou());
    return chaineCalibration_;
}

double Multimetre34401A::ValeurCalibration() const {
    std::lock_guard g(Verrou());
    return valeurCalibration_;
}

// ---- commands -----------------------------------------------------------------------------

bool Multimetre34401A::Configurer(Appel &a, const std::string &court) {
    const FonctionMultimetre &f = FonctionDe(court);
    if (f.gammeMax == 0.0 && !a.AuPlus(0)) return false;
    if (!a.AuPlus(2)) return false;
    Reglages r = reglages_;
    r.fonction = court;
    r.gammeAuto = true;
    r.resolution = "DEF";
    if (a.NombreParametres() >= 1) {
        const scpi::Parametre &p = a.Unite().parametres[0];
        std::string mot = p.texte;
        for (char &c : mot) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (p.genre == scpi::Parametre::Genre::Nombre) {
            if (!(p.nombre >= 0.0 && p.nombre <= f.gammeMax)) {
                a.Erreur(-222);
                return false;
            }
            r.gammeAuto = false;
            r.gamme = p.nombre;
        } else if (mot == "MIN" || mot == "MINIMUM" || mot == "MAX" || mot == "MAXIMUM") {
            r.gammeAuto = false;
            r.gamme = mot[1] == 'I' ? f.gammeMin : f.gammeMax;
        } else if (mot != "AUTO" && mot != "DEF" && mot != "DEFAULT") {
            a.Erreur(-224);
            return false;
        }
    }
    if (a.NombreParametres() >= 2) {
        const scpi::Parametre &p = a.Unite().parametres[1];
        std::string mot = p.texte;
        for (char &c : mot) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (p.genre == scpi::Parametre::Genre::Nombre) r.resolution = p.texte;
        else if (const std::string m = Mot(mot, {"MINimum", "DEFault", "MAXimum"}); !m.empty()) r.resolution = m;
        else {
            a.Erreur(-224);
            return false;
        }
    }
    // The resolution sets the integration time of the DC functions.
    const std::string cle = court == "VOLT:RAT" ? "VOLT" : court;
    if (r.nplc.count(cle) != 0) r.nplc[cle] = r.resolution == "MIN" ? 100.0 : r.resolution == "MAX" ? 0.02 : 10.0;
    // What :CONF sets besides.
    r.source = "IMM";
    r.delaiAuto = true;
    r.declenchements = r.echantillons = 1.0;
    r.math = false;
    AbandonnerMesure();
    attente_ = false;
    reglages_ = std::move(r);
    return true;
}

void Multimetre34401A::CommandesMesure() {
    const auto Fetch = [this](Appel &a) {
        if (!Mesure() && lectures_.empty()) return a.Erreur(-230);
        RepondreApresMesure(a, [this] { return TexteLectures(); });
    };
    const auto Read = [this, Fetch](Appel &a) {
        if (reglages_.source == "BUS") return a.Erreur(-214);  // Trigger deadlock
        AbandonnerMesure();
        attente_ = false;
        Initier();
        Fetch(a);
    };
    for (const FonctionMultimetre &f : kFonctions) {
        const std::string court = f.court;
        Ajouter(std::string(":CONFigure:") + f.motif, [this, court](Appel &a) { Configurer(a, court); });
        Ajouter(std::string(":MEASure:") + f.motif + "?", [this, court, Read](Appel &a) {
            if (Configurer(a, court)) Read(a);
        });
    }
    Ajouter(":CONFigure?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        a.Repondre("\"" + reglages_.fonction + " " + (reglages_.gammeAuto ? std::string("AUTO") : Nr3(reglages_.gamme)) +
                   "," + reglages_.resolution + "\"");
    });
    Ajouter(":INITiate[:IMMediate]", [this](Appel &a) {
        if (a.AuPlus(0)) Initier();
    });
    Ajouter(":FETCh?", [Fetch](Appel &a) {
        if (a.AuPlus(0)) Fetch(a);
    });
    Ajouter(":READ?", [Read](Appel &a) {
        if (a.AuPlus(0)) Read(a);
    });
    Ajouter(":ABORt", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        AbandonnerMesure();
        attente_ = false;
    });
}

void Multimetre34401A::CommandesReglages() {
    ReglageMot(":TRIGger:SOURce", [this](Appel &) -> std::string & { return reglages_.source; },
               {"IMMediate", "BUS", "EXTernal"});
    ReglageNombre(":TRIGger:DELay", [this](Appel &) -> double & { return reglages_.delai; }, 0.0, 3600.0, Nr3,
                  [this] { reglages_.delaiAuto = false; });
    ReglageBooleen(":TRIGger:DELay:AUTO", [this](Appel &) -> bool & { return reglages_.delaiAuto; });
    ReglageNombre(":TRIGger:COUNt", [this](Appel &) -> double & { return reglages_.declenchements; }, 1.0, 50000.0, Nr3);
    ReglageNombre(":SAMPle:COUNt", [this](Appel &) -> double & { return reglages_.echantillons; }, 1.0, 50000.0, Nr1);
    // Integration time and aperture, each function its own, rounded up to the instrument's steps.
    for (const auto &[motif, cle] : std::initializer_list<std::pair<const char *, const char *>>{
             {"[:SENSe]:VOLTage[:DC]:NPLCycles", "VOLT"}, {"[:SENSe]:CURRent[:DC]:NPLCycles", "CURR"},
             {"[:SENSe]:RESistance:NPLCycles", "RES"}, {"[:SENSe]:FRESistance:NPLCycles", "FRES"}}) {
        const std::string c = cle;
        ReglageNombre(motif, [this, c](Appel &) -> double & { return reglages_.nplc[c]; }, 0.02, 100.0, Nr3,
                      [this, c] { reglages_.nplc[c] = Arrondir(reglages_.nplc[c], {0.02, 0.2, 1.0, 10.0, 100.0}); });
    }
    for (const auto &[motif, cle] : std::initializer_list<std::pair<const char *, const char *>>{
             {"[:SENSe]:FREQuency:APERture", "FREQ"}, {"[:SENSe]:PERiod:APERture", "PER"}}) {
        const std::string c = cle;
        ReglageNombre(motif, [this, c](Appel &) -> double & { return reglages_.ouverture[c]; }, 0.00001, 1.0, Nr3,
                      [this, c] { reglages_.ouverture[c] = Arrondir(reglages_.ouverture[c], {0.01, 0.1, 1.0}); });
    }
    ReglageMot("[:SENSe]:ZERO:AUTO", [this](Appel &) -> std::string & { return reglages_.zeroAuto; },
               {"OFF", "ON", "ONCE"}, [this] {
                   if (reglages_.zeroAuto == "ONCE") reglages_.zeroAuto = "OFF";
               });
    ReglageBooleen(":INPut:IMPedance:AUTO", [this](Appel &) -> bool & { return reglages_.impedanceAuto; });
    ReglageNombre("[:SENSe]:DETector:BANDwidth", [this](Appel &) -> double & { return reglages_.bande; }, 3.0, 200.0,
                  Nr3, [this] { reglages_.bande = Arrondir(reglages_.bande, {3.0, 20.0, 200.0}); });
    ReglageBooleen("SYSTem:BEEPer:STATe", [this](Appel &) -> bool & { return bip_; });
    Ajouter("SYSTem:BEEPer[:IMMediate]", [this](Appel &a) {
        if (a.AuPlus(0)) ++bips_;
    });
    ReglageBooleen(":DISPlay[:WINDow][:STATe]", [this](Appel &) -> bool & { return reglages_.affichage; });
    Ajouter(":DISPlay[:WINDow]:TEXT[:DATA]", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() < 1) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        if (p.genre != scpi::Parametre::Genre::Chaine) return a.Erreur(-104);
        if (p.texte.size() > 12) return a.Erreur(-223);  // Too much data
        reglages_.texte = p.texte;
    });
    Ajouter(":DISPlay[:WINDow]:TEXT[:DATA]?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre("\"" + reglages_.texte + "\"");
    });
    Ajouter(":DISPlay[:WINDow]:TEXT:CLEar", [this](Appel &a) {
        if (a.AuPlus(0)) reglages_.texte.clear();
    });
    Ajouter(":ROUTe:TERMinals?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(bornesAvant_ ? "FRON" : "REAR");
    });
    Ajouter(":SYSTem:VERSion?", [](Appel &a) {
        if (a.AuPlus(0)) a.Repondre("1991.0");
    });
}

void Multimetre34401A::CommandesMath() {
    ReglageMot(":CALCulate:FUNCtion", [this](Appel &) -> std::string & { return reglages_.fonctionMath; },
               {"NULL", "AVERage", "DB", "DBM", "LIMit"});
    ReglageBooleen(":CALCulate:STATe", [this](Appel &) -> bool & { return reglages_.math; });
    ReglageNombre(":CALCulate:NULL:OFFSet", [this](Appel &) -> double & { return reglages_.decalageNul; }, -1.2e3,
                  1.2e8, Nr3);
    ReglageNombre(":CALCulate:DB:REFerence", [this](Appel &) -> double & { return reglages_.referenceDb; }, -200.0,
                  200.0, Nr3);
    ReglageNombre(":CALCulate:DBM:REFerence", [this](Appel &) -> double & { return reglages_.referenceDbm; }, 50.0,
                  8000.0, Nr3);
    ReglageNombre(":CALCulate:LIMit:UPPer", [this](Appel &) -> double & { return reglages_.limiteHaute; }, -1.2e8,
                  1.2e8, Nr3);
    ReglageNombre(":CALCulate:LIMit:LOWer", [this](Appel &) -> double & { return reglages_.limiteBasse; }, -1.2e8,
                  1.2e8, Nr3);
}

void Multimetre34401A::CommandesCalibration() {
    Ajouter(":CALibration:SECure:STATe", [this](Appel &a) {
        bool etat = false;
        std::string code;
        if (!a.AuPlus(2) || !a.Booleen(0, etat) || !a.Mot(1, code)) return;
        if (code != code_) return a.Erreur(-224);
        protegee_ = etat;
    });
    Ajouter(":CALibration:SECure:STATe?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(protegee_ ? "1" : "0");
    });
    Ajouter(":CALibration:SECure:CODE", [this](Appel &a) {
        std::string code;
        if (!a.AuPlus(1) || !a.Mot(0, code)) return;
        if (protegee_) return a.Erreur(-203);  // Command protected
        if (code.size() > 12) return a.Erreur(-223);
        code_ = code;
    });
    Ajouter(":CALibration:STRing", [this](Appel &a) {
        if (!a.AuPlus(1)) return;
        if (a.NombreParametres() < 1) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        if (p.genre != scpi::Parametre::Genre::Chaine) return a.Erreur(-104);
        if (protegee_) return a.Erreur(-203);
        if (p.texte.size() > 40) return a.Erreur(-223);
        chaineCalibration_ = p.texte;
    });
    Ajouter(":CALibration:STRing?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre("\"" + chaineCalibration_ + "\"");
    });
    ReglageNombre(":CALibration:VALue", [this](Appel &) -> double & { return valeurCalibration_; }, -1.2e8, 1.2e8,
                  Nr3);
    Ajouter(":CALibration[:ALL]?", [this](Appel &a) {
        if (!a.AuPlus(0)) return;
        if (protegee_) {
            a.Erreur(-203);
            return a.Repondre("+1");
        }
        ++calibrations_;
        a.Repondre("+0");
    });
    Ajouter(":CALibration:COUNt?", [this](Appel &a) {
        if (a.AuPlus(0)) a.Repondre(Nr1(calibrations_));
    });
}

// ---- measurements -------------------------------------------------------------------------

void Multimetre34401A::ReglagesParDefaut() {
    reglages_ = Reglages{};
    attente_ = false;
    declenchementsRestants_ = 0;
    lectures_.clear();
}

double Multimetre34401A::DureeLecture() const {
    if (dureeImposee_ >= 0.0) return dureeImposee_;
    const std::string &f = reglages_.fonction;
    if (f == "FREQ" || f == "PER") return reglages_.ouverture.at(f);
    if (f == "VOLT:AC" || f == "CURR:AC") return reglages_.bande <= 3.0 ? 7.0 : reglages_.bande <= 20.0 ? 1.0 : 0.1;
    if (f == "CONT" || f == "DIOD") return kDureeMin;
    const auto it = reglages_.nplc.find(f == "VOLT:RAT" ? "VOLT" : f);
    const double nplc = it != reglages_.nplc.end() ? it->second : 10.0;
    return std::max(kDureeMin, nplc / 50.0 * (reglages_.zeroAuto == "ON" ? 2.0 : 1.0));
}

bool Multimetre34401A::Initier() {
    if (Mesure()) {
        Erreur(-213);  // Init ignored
        return false;
    }
    lectures_.clear();
    if (reglages_.declenchements * reglages_.echantillons > static_cast<double>(kMemoire))
        Erreur(531, "Insufficient memory");
    declenchementsRestants_ = static_cast<int>(reglages_.declenchements);
    if (reglages_.source == "IMM") {
        // Triggers follow one another at once: the whole set in one measurement.
        const double delai = reglages_.delaiAuto ? 0.0 : reglages_.delai;
        LancerMesure(reglages_.declenchements * (delai + reglages_.echantillons * DureeLecture()));
        declenchementsRestants_ = 1;
        attente_ = false;
    } else {
        Attendre();
    }
    return true;
}

void Multimetre34401A::Attendre() {
    attente_ = true;
    LancerMesure(kJamais);
}

void Multimetre34401A::Declencher() {
    if (!attente_ || reglages_.source != "BUS") return Erreur(-211);  // Trigger ignored
    Demarrer();
}

void Multimetre34401A::Demarrer() {
    attente_ = false;
    const double delai = reglages_.delaiAuto ? 0.0 : reglages_.delai;
    LancerMesure(delai + reglages_.echantillons * DureeLecture());
}

double Multimetre34401A::Lecture() {
    std::deque<double> &valeurs = valeurs_[reglages_.fonction];
    const double v = valeurs.empty() ? 0.0 : valeurs.front();
    if (valeurs.size() > 1) valeurs.pop_front();
    if (!reglages_.math) return v;
    const std::string &m = reglages_.fonctionMath;
    const double dbm = 10.0 * std::log10(v * v / reglages_.referenceDbm / 0.001);
    if (m == "NULL") return v - reglages_.decalageNul;
    if (m == "DBM") return dbm;
    if (m == "DB") return dbm - reglages_.referenceDb;
    return v;
}

void Multimetre34401A::MesureTerminee() {
    const bool toutEnUne = reglages_.source == "IMM";
    const double n = toutEnUne ? reglages_.declenchements * reglages_.echantillons : reglages_.echantillons;
    for (double i = 0; i < n; ++i) {
        const double v = Lecture();
        if (lectures_.size() < kMemoire) lectures_.push_back(v);
    }
    if (--declenchementsRestants_ > 0) {
        attente_ = true;
        PoursuivreMesure(kJamais);
    }
}

std::string Multimetre34401A::TexteLectures() const {
    std::string texte;
    for (std::size_t i = 0; i < lectures_.size(); ++i) texte += (i > 0 ? "," : "") + Nr3(lectures_[i]);
    return texte;
}

std::shared_ptr<Appareil> CreerHp34401A() { return std::make_shared<Multimetre34401A>(); }

}  // namespace sim
