// The simulated TDS 3052 oscilloscope (see tds3052.h).
#include "sim/analysers/tds3052.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <complex>
#include <initializer_list>
#include <numbers>
#include <string_view>
#include <utility>

namespace sim {

namespace {

constexpr const char *kIdentite = "TEKTRONIX,TDS 3052,0,CF:91.1CT FV:v3.11 TDS3FFT:v1.00 TDS3TRG:v1.00";
constexpr double kNiveauxParDivision = 25.0 * 256.0;  // 2-byte levels
constexpr double kDivisions = 10.0;                   // horizontal divisions of a record
constexpr double kTraitement = 0.005;                 // seconds to process a record
constexpr int kNiveauMax = 32767, kNiveauMin = -32768;
enum { CH1 = 0, CH2 = 1, MATH = 2 };

// A word given to a command against a mnemonic of the manual ("FULl"): its short form (the
// capitals) or its whole form. Returns the short form, which the settings keep.
bool Choisir(const std::string &mot, const std::vector<std::string_view> &mnemoniques, std::string &choisi) {
    for (const std::string_view m : mnemoniques) {
        std::size_t k = 0;
        while (k < m.size() && !std::islower(static_cast<unsigned char>(m[k]))) ++k;
        std::string court(m.substr(0, k)), long_(m);
        for (char &c : long_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (mot == court || mot == long_) {
            choisi = court;
            return true;
        }
    }
    return false;
}

// NR3 as the instrument writes it: "4.0000000E-10".
std::string Nr3(double v) {
    char t[40];
    const auto r = std::to_chars(t, t + sizeof t, v, std::chars_format::scientific, 7);
    std::string s(t, r.ptr);
    for (char &c : s)
        if (c == 'e') c = 'E';
    return s;
}

// The smallest 1-2-5 step that shows `v` within 5 divisions of mid-screen.
double EchelleAuto(double v) {
    const double cible = std::max(std::fabs(v) / 5.0, 1e-12);
    double decade = std::pow(10.0, std::floor(std::log10(cible)));
    for (;;) {
        for (const double m : {1.0, 2.0, 5.0})
            if (m * decade >= cible * (1.0 - 1e-12)) return m * decade;
        decade *= 10.0;
    }
}

std::int32_t Numeriser(double v, double ymu, double yze) {
    const double niveau = std::round((v - yze) / ymu);
    return static_cast<std::int32_t>(std::clamp(niveau, double{kNiveauMin}, double{kNiveauMax}));
}

// Radix-2 FFT in place; the size is a power of two.
void Fft(std::vector<std::complex<double>> &x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t longueur = 2; longueur <= n; longueur <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(longueur);
        const std::complex<double> w(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += longueur) {
            std::complex<double> wk(1.0, 0.0);
            for (std::size_t k = 0; k < longueur / 2; ++k) {
                const std::complex<double> u = x[i + k], v = x[i + k + longueur / 2] * wk;
                x[i + k] = u + v;
                x[i + k + longueur / 2] = u - v;
                wk *= w;
            }
        }
    }
}

// Window of the FFT at point i of n, and its coherent gain.
double Fenetre(const std::string &nom, std::size_t i, std::size_t n) {
    const double x = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1);
    if (nom == "HAM") return 0.54 - 0.46 * std::cos(x);
    if (nom == "HAN") return 0.5 - 0.5 * std::cos(x);
    if (nom == "BLA") return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    return 1.0;
}
double GainFenetre(const std::string &nom) {
    if (nom == "HAM") return 0.54;
    if (nom == "HAN") return 0.5;
    if (nom == "BLA") return 0.35875;
    return 1.0;
}

}  // namespace

Tds3052::Tds3052() : Appareil488(kIdentite) {
    signaux_[CH1] = {SignalTds::Forme::Sinus, 1000.0, 1.0, 0.0, 0.0};
    signaux_[CH2] = {SignalTds::Forme::Carre, 1000.0, 0.5, 0.0, 0.0};
    Commandes();
}

std::shared_ptr<Appareil> CreerTds3052() { return std::make_shared<Tds3052>(); }

// ---- for tests ----------------------------------------------------------------------------

void Tds3052::FixerSignal(int voie, const SignalTds &signal) {
    std::lock_guard g(Verrou());
    if (voie == 1 || voie == 2) signaux_[voie - 1] = signal;
}

SignalTds Tds3052::Signal(int voie) const {
    std::lock_guard g(Verrou());
    return signaux_[voie == 2 ? 1 : 0];
}

void Tds3052::FixerDefautsTds(const DefautsTds &defauts) {
    std::lock_guard g(Verrou());
    defauts_ = defauts;
}

ReglagesTds Tds3052::Reglages() const {
    std::lock_guard g(Verrou());
    return r_;
}

unsigned Tds3052::Acquisitions() const {
    std::lock_guard g(Verrou());
    return acquisitions_;
}

std::vector<double> Tds3052::Trace(int source) const {
    std::lock_guard g(Verrou());
    std::vector<double> v;
    if (source < 0 || source > 2) return v;
    const Trace_ &t = traces_[source];
    for (const std::int32_t n : t.niveaux) v.push_back(n * t.ymu + t.yze);
    return v;
}

std::vector<double> Tds3052::Abscisses(int source) const {
    std::lock_guard g(Verrou());
    std::vector<double> v;
    if (source < 0 || source > 2) return v;
    const Trace_ &t = traces_[source];
    for (std::size_t i = 0; i < t.niveaux.size(); ++i) v.push_back(t.xze + static_cast<double>(i) * t.xin);
    return v;
}

// ---- commands -----------------------------------------------------------------------------

void Tds3052::Reinitialiser() {
    const bool entetes = r_.entetes, verbeux = r_.verbeux;
    const int dese = r_.dese;
    r_ = ReglagesTds{};
    r_.entetes = entetes;  // not changed by *RST
    r_.verbeux = verbeux;
    r_.dese = dese;
    for (Trace_ &t : traces_) t = Trace_{};
}

void Tds3052::Commandes() {
    // Several headers for one command: the manual's, and the shortenings the instrument takes.
    const auto Plusieurs = [this](std::initializer_list<const char *> motifs, const Action &action) {
        for (const char *m : motifs) Commande(m, action);
    };
    // A setting of one word among the mnemonics `choix`.
    const auto MotParmi = [](std::string &champ, std::initializer_list<std::string_view> mnemoniques) {
        // The mnemonics are literals: their views outlive the list that brought them.
        return [&champ, choix = std::vector<std::string_view>(mnemoniques)](Appel &a) {
            std::string mot;
            if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
            if (!Choisir(mot, choix, champ)) a.Erreur(-224);
        };
    };
    const auto Nombre = [](double &champ, double mini, double maxi) {
        return [&champ, mini, maxi](Appel &a) {
            double v = 0;
            if (!a.AuPlus(1) || !a.Nombre(0, v)) return;
            if (v < mini || v > maxi) return a.Erreur(-222);
            champ = v;
        };
    };
    const auto Booleen = [](bool &champ) {
        return [&champ](Appel &a) {
            bool v = false;
            if (a.AuPlus(1) && a.Booleen(0, v)) champ = v;
        };
    };
    // CH1 or CH2 of a "CH#" header; -114 for another suffix.
    const auto Voie = [this](Appel &a) -> ReglagesTds::Voie * {
        if (a.Suffixe() < 1 || a.Suffixe() > 2) {
            a.Erreur(-114);
            return nullptr;
        }
        return &r_.voies[a.Suffixe() - 1];
    };

    Commande(":HEADer", Booleen(r_.entetes));
    Commande(":HEADer?", [this](Appel &a) { a.Repondre(Entete("HEAD", "HEADER") + (r_.entetes ? "1" : "0")); });
    Commande(":VERBose", Booleen(r_.verbeux));
    Commande(":DESE", [this](Appel &a) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v < 0 || v > 255) return a.Erreur(-222);
        r_.dese = v;
    });
    Commande(":DESE?", [this](Appel &a) { a.Repondre(Entete("DESE", "DESE") + std::to_string(r_.dese)); });

    Commande(":ACQuire:MODe", MotParmi(r_.modeAcquisition, {"SAMple", "PEAKdetect", "AVErage", "ENVelope"}));
    Commande(":ACQuire:NUMAVg", [this](Appel &a) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v < 2 || v > 512 || (v & (v - 1)) != 0) return a.Erreur(-222);
        r_.moyennes = v;
    });
    Commande(":ACQuire:NUMEnv", [this](Appel &a) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v != 0 && (v < 2 || v > 512 || (v & (v - 1)) != 0)) return a.Erreur(-222);
        r_.enveloppes = v;  // 0: infinite
    });
    Commande(":ACQuire:STOPAfter", [this](Appel &a) {
        std::string mot, choisi;
        if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
        if (!Choisir(mot, {"RUNSTop", "SEQuence"}, choisi)) return a.Erreur(-224);
        r_.sequence = choisi == "SEQ";
    });
    Commande(":ACQuire:STATE", [this](Appel &a) {
        if (!a.AuPlus(1) || a.NombreParametres() == 0) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        std::string mot = p.texte;
        for (char &c : mot) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (mot == "RUN" || mot == "ON" || (p.genre == scpi::Parametre::Genre::Nombre && p.nombre != 0.0)) {
            Lancer();
        } else if (mot == "STOP" || mot == "OFF" || (p.genre == scpi::Parametre::Genre::Nombre && p.nombre == 0.0)) {
            // Stopped before it ended: it ends now, and the waveforms of the last complete
            // acquisition stay.
            if (enCours_) {
                arrete_ = true;
                DemarrerOperation(0.0);
            }
        } else {
            a.Erreur(-224);
        }
    });
    Commande(":ACQuire:STATE?", [this](Appel &a) {
        a.Repondre(Entete("ACQ:STATE", "ACQUIRE:STATE") + (enCours_ ? "1" : "0"));
    });

    Commande(":CH#:BANdwidth", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            std::string mot;
            if (a.AuPlus(1) && a.Mot(0, mot) && !Choisir(mot, {"TWEnty", "ONEfifty", "FULl"}, v->bande)) a.Erreur(-224);
        }
    });
    Commande(":CH#:COUPling", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            std::string mot;
            if (a.AuPlus(1) && a.Mot(0, mot) && !Choisir(mot, {"AC", "DC", "GND"}, v->couplage)) a.Erreur(-224);
        }
    });
    Commande(":CH#:IMPedance", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            std::string mot;
            if (a.AuPlus(1) && a.Mot(0, mot) && !Choisir(mot, {"FIFty", "MEG"}, v->impedance)) a.Erreur(-224);
        }
    });
    Commande(":CH#:INVert", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            bool b = false;
            if (a.AuPlus(1) && a.Booleen(0, b)) v->inversion = b;
        }
    });
    Plusieurs({":CH#:OFFSet", ":CH#:OFF"}, [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            double d = 0;
            if (!a.AuPlus(1) || !a.Nombre(0, d)) return;
            if (std::fabs(d) > 100.0) return a.Erreur(-222);
            v->decalage = d;
        }
    });
    Commande(":CH#:PRObe", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            double d = 0;
            if (!a.AuPlus(1) || !a.Nombre(0, d)) return;
            if (!(d >= 0.01 && d <= 1000.0)) return a.Erreur(-222);
            v->sonde = d;
        }
    });
    Commande(":CH#:SCAle", [Voie](Appel &a) {
        if (ReglagesTds::Voie *v = Voie(a)) {
            double d = 0;
            if (!a.AuPlus(1) || !a.Nombre(0, d)) return;
            if (!(d >= 1e-3 && d <= 100.0)) return a.Erreur(-222);
            v->echelle = d;
        }
    });

    Commande(":HORizontal:DELay:STATE", Booleen(r_.retard));
    Commande(":HORizontal:MAIn:SCAle", Nombre(r_.echelleHorizontale, 1e-9, 10.0));
    Plusieurs({":HORizontal:RECOrdlength", ":HORizontal:RECORD"}, [this](Appel &a) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v != 500 && v != 10000) return a.Erreur(-222);
        if (v != r_.points)
            for (Trace_ &t : traces_) t = Trace_{};  // the record must be acquired again
        r_.points = v;
    });
    Commande(":HORizontal:RECOrdlength?", [this](Appel &a) {
        a.Repondre(Entete("HOR:RECO", "HORIZONTAL:RECORDLENGTH") + std::to_string(r_.points));
    });
    Commande(":HORizontal:TRIGger:POSition", Nombre(r_.positionDeclenchement, 0.0, 100.0));
    Commande(":MATH:DEFine", [this](Appel &a) {
        if (!a.AuPlus(1) || a.NombreParametres() == 0) return a.Erreur(-109);
        const scpi::Parametre &p = a.Unite().parametres[0];
        if (p.genre != scpi::Parametre::Genre::Chaine) return a.Erreur(-104);
        std::string e = p.texte;
        for (char &c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        e.erase(std::remove(e.begin(), e.end(), ' '), e.end());
        r_.math = e;
    });
    Commande(":MATH:DEFine?", [this](Appel &a) { a.Repondre(Entete("MATH:DEF", "MATH:DEFINE") + "\"" + r_.math + "\""); });
    Commande(":SELect:CH#", [this](Appel &a) {
        if (a.Suffixe() < 1 || a.Suffixe() > 2) return a.Erreur(-114);
        bool b = false;
        if (a.AuPlus(1) && a.Booleen(0, b)) r_.affiches[a.Suffixe() - 1] = b;
    });
    Commande(":SELect:MATH", Booleen(r_.affiches[MATH]));

    Commande(":TRIGger:A:EDGe:COUPling",
             MotParmi(r_.couplageDeclenchement, {"AC", "DC", "HFRej", "LFRej", "NOISErej"}));
    Commande(":TRIGger:A:EDGe:SLOpe", MotParmi(r_.pente, {"RISe", "FALL"}));
    Commande(":TRIGger:A:EDGe:SOUrce", MotParmi(r_.sourceDeclenchement, {"CH1", "CH2", "EXT", "EXT10", "LINE"}));
    Plusieurs({":TRIGger:A:HOLDoff:TIMe", ":TRIGger:A:HOL:TIMe"}, Nombre(r_.maintien, 2.5e-7, 10.0));
    Commande(":TRIGger:A:LEVel", Nombre(r_.niveau, -1000.0, 1000.0));
    Commande(":TRIGger:A:MODe", [this](Appel &a) {
        std::string mot, choisi;
        if (!a.AuPlus(1) || !a.Mot(0, mot)) return;
        if (!Choisir(mot, {"AUTO", "NORMal"}, choisi)) return a.Erreur(-224);
        r_.normal = choisi == "NORM";
    });
    Commande(":TRIGger:A:TYPe", MotParmi(r_.type, {"EDGe", "VIDeo", "LOGIc", "PULse"}));

    Commande(":DATa:ENCdg", MotParmi(r_.codage, {"ASCIi", "RIBinary", "RPBinary", "SRIbinary", "SRPbinary"}));
    Commande(":DATa:WIDth", [this](Appel &a) {
        int v = 0;
        if (!a.AuPlus(1) || !a.Entier(0, v)) return;
        if (v != 1 && v != 2) return a.Erreur(-222);
        r_.largeur = v;
    });
    Commande(":DATa:STARt", [this](Appel &a) {
        int v = 0;
        if (a.AuPlus(1) && a.Entier(0, v)) r_.debut = std::max(v, 1);
    });
    Commande(":DATa:STOP", [this](Appel &a) {
        int v = 0;
        if (a.AuPlus(1) && a.Entier(0, v)) r_.fin = std::max(v, 1);
    });
    Commande(":DATa:SOUrce", MotParmi(r_.source, {"CH1", "CH2", "MATH"}));

    // The preamble of the data source, which must be displayed: its last acquisition, or before
    // the first one what the settings will give.
    const auto Decrire = [this](Appel &a, const char *court, const char *long_, auto valeur) {
        const int s = SourceCourante();
        if (!r_.affiches[s]) return a.Erreur(-200, "Execution error; waveform not displayed");
        const Trace_ attendue = traces_[s].acquise ? Trace_{} : Cadre(s);
        const Trace_ &t = traces_[s].acquise ? traces_[s] : attendue;
        a.Repondre(Entete(court, long_) + (defauts_.preambuleIllisible ? std::string("?") : valeur(t)));
    };
    Commande(":CURVe?", [this](Appel &a) {
        const int s = SourceCourante();
        if (!r_.affiches[s] || !traces_[s].acquise) return a.Erreur(-200, "Execution error; waveform not acquired");
        a.Repondre(Entete("CURV", "CURVE") + Courbe(traces_[s]));
    });
    Commande(":WFMPre:NR_Pt?", [this, Decrire](Appel &a) {
        Decrire(a, "WFMP:NR_P", "WFMPRE:NR_PT", [this](const Trace_ &t) {
            std::size_t premier = 0, nombre = 0;
            Plage(t, premier, nombre);
            return std::to_string(nombre);
        });
    });
    Commande(":WFMPre:XINcr?", [Decrire](Appel &a) {
        Decrire(a, "WFMP:XIN", "WFMPRE:XINCR", [](const Trace_ &t) { return Nr3(t.xin); });
    });
    Commande(":WFMPre:XZEro?", [this, Decrire](Appel &a) {
        Decrire(a, "WFMP:XZE", "WFMPRE:XZERO", [this](const Trace_ &t) {
            std::size_t premier = 0, nombre = 0;
            Plage(t, premier, nombre);
            return Nr3(t.xze + static_cast<double>(premier) * t.xin);
        });
    });
    Commande(":WFMPre:YOFf?", [this, Decrire](Appel &a) {
        Decrire(a, "WFMP:YOF", "WFMPRE:YOFF", [this](const Trace_ &) { return Nr3(Yof()); });
    });
    Commande(":WFMPre:YMUlt?", [this, Decrire](Appel &a) {
        Decrire(a, "WFMP:YMU", "WFMPRE:YMULT", [this](const Trace_ &t) { return Nr3(t.ymu * Pas()); });
    });
    Commande(":WFMPre:YZEro?", [Decrire](Appel &a) {
        Decrire(a, "WFMP:YZE", "WFMPRE:YZERO", [](const Trace_ &t) { return Nr3(t.yze); });
    });
}

// ---- acquisition --------------------------------------------------------------------------

void Tds3052::Lancer() {
    if (!r_.sequence) {
        // Running continuously: the waveforms are those of the latest trigger, taken now.
        AttenteDeclenchement();
        Acquerir();
        return;
    }
    enCours_ = true;
    arrete_ = false;
    const double attente = AttenteDeclenchement();
    if (attente == kJamais) {
        DemarrerOperation(kJamais);  // waits for a trigger that never comes
        return;
    }
    const double remplissage =
        kDivisions * r_.echelleHorizontale * (r_.modeAcquisition == "AVE" ? r_.moyennes : 1);
    DemarrerOperation(attente + remplissage + kTraitement);
}

Tds3052::Fonction Tds3052::AnalyserMath() const {
    Fonction f;
    const std::string &e = r_.math;
    const auto Voie = [](std::string_view t) { return t.rfind("CH2", 0) == 0 ? 1 : 0; };
    if (e.rfind("FFT(", 0) == 0) {
        // FFT(<source>,<window>,<LIN|LOG>)
        std::vector<std::string> champs(1);
        for (const char c : e.substr(4)) {
            if (c == ',') champs.emplace_back();
            else if (c != ')') champs.back() += c;
        }
        f.fft = true;
        f.a = Voie(champs[0]);
        if (champs.size() > 1) f.fenetre = champs[1];
        f.log = champs.size() > 2 && champs[2] == "LOG";
        return f;
    }
    // <source><operator><source>
    const std::size_t op = e.find_first_of("+-*/", 1);
    f.a = Voie(e);
    if (op != std::string::npos) {
        f.op = e[op];
        f.b = Voie(std::string_view(e).substr(op + 1));
    }
    return f;
}

Tds3052::Trace_ Tds3052::Cadre(int source) const {
    Trace_ t;
    t.taille = static_cast<std::size_t>(r_.points);
    t.xin = kDivisions * r_.echelleHorizontale / static_cast<double>(t.taille);
    t.xze = -r_.positionDeclenchement / 100.0 * static_cast<double>(t.taille) * t.xin;
    if (source != MATH) {
        t.yze = r_.voies[source].decalage;
        t.ymu = r_.voies[source].echelle / kNiveauxParDivision;
        return t;
    }
    t.ymu = 1.0 / kNiveauxParDivision;  // the math scale follows its values
    if (const Fonction f = AnalyserMath(); f.fft) {
        std::size_t n2 = 1;
        while (n2 * 2 <= t.taille) n2 *= 2;
        t.xin = 1.0 / (static_cast<double>(n2) * t.xin);
        t.xze = 0.0;
        t.taille = n2 / 2;
    }
    return t;
}

double Tds3052::AttenteDeclenchement() {
    std::uniform_real_distribution<double> uniforme(0.0, 1.0);
    const int source = r_.sourceDeclenchement == "CH1" ? CH1 : r_.sourceDeclenchement == "CH2" ? CH2 : -1;
    const auto Libre = [&] {
        // Free-running against the inputs: any instant of the signals.
        instantDeclenchement_ = 1000.0 * uniforme(alea_);
        return 0.0;
    };
    if (source < 0) return Libre();  // external or line trigger: always there
    const SignalTds &s = signaux_[source];
    const double decalage = r_.couplageDeclenchement == "AC" ? 0.0 : s.decalage;
    const double x = s.amplitude != 0.0 ? (r_.niveau - decalage) / s.amplitude : 2.0;
    if (!(std::fabs(x) < 1.0) || !(s.frequence > 0.0)) {
        // The level is never crossed: NORMal waits for ever, AUTO triggers by itself.
        if (r_.normal) return kJamais;
        return Libre();
    }
    const bool montant = r_.pente == "RIS";
    double phase;
    if (s.forme == SignalTds::Forme::Sinus) phase = montant ? std::asin(x) : std::numbers::pi - std::asin(x);
    else phase = montant ? 0.0 : std::numbers::pi;
    const double periodes = std::floor(1000.0 * uniforme(alea_));
    instantDeclenchement_ = (phase + 2.0 * std::numbers::pi * periodes) / (2.0 * std::numbers::pi * s.frequence);
    return std::min(1.0 / s.frequence, 1.0);
}

double Tds3052::Valeur(int voie, double t) {
    const SignalTds &s = signaux_[voie];
    const ReglagesTds::Voie &v = r_.voies[voie];
    if (v.couplage == "GND") return 0.0;
    const double theta = 2.0 * std::numbers::pi * s.frequence * t;
    double y = s.forme == SignalTds::Forme::Sinus ? std::sin(theta) : (std::sin(theta) >= 0.0 ? 1.0 : -1.0);
    y *= s.amplitude;
    if (v.couplage != "AC") y += s.decalage;
    if (s.bruit > 0.0) {
        const double sigma = r_.modeAcquisition == "AVE" ? s.bruit / std::sqrt(r_.moyennes) : s.bruit;
        y += std::normal_distribution<double>(0.0, sigma)(alea_);
    }
    return v.inversion ? -y : y;
}

void Tds3052::Acquerir() {
    for (const int voie : {CH1, CH2}) {
        Trace_ &t = traces_[voie];
        t = Cadre(voie);
        t.acquise = true;
        t.niveaux.resize(t.taille);
        for (std::size_t i = 0; i < t.taille; ++i)
            t.niveaux[i] = Numeriser(Valeur(voie, instantDeclenchement_ + t.xze + static_cast<double>(i) * t.xin),
                                     t.ymu, t.yze);
    }
    CalculerMath();
    ++acquisitions_;
}

void Tds3052::OperationTerminee() {
    enCours_ = false;
    if (!arrete_) Acquerir();
    arrete_ = false;
}

void Tds3052::CalculerMath() {
    Trace_ &m = traces_[MATH];
    const Fonction f = AnalyserMath();
    const Trace_ &a = traces_[f.a], &b = traces_[f.b];
    const auto Volts = [](const Trace_ &t, std::size_t i) { return t.niveaux[i] * t.ymu + t.yze; };
    m = Cadre(MATH);
    m.acquise = true;
    std::vector<double> valeurs;
    if (f.fft) {
        const std::size_t n2 = 2 * m.taille;
        std::vector<std::complex<double>> x(n2);
        for (std::size_t i = 0; i < n2; ++i) x[i] = Volts(a, i) * Fenetre(f.fenetre, i, n2);
        Fft(x);
        const double gain = GainFenetre(f.fenetre) * static_cast<double>(n2);
        for (std::size_t k = 0; k < m.taille; ++k) {
            // Volts rms of the component (the mean value at bin 0).
            const double rms = std::abs(x[k]) / gain * (k == 0 ? 1.0 : std::numbers::sqrt2);
            valeurs.push_back(f.log ? 20.0 * std::log10(std::max(rms, 1e-10)) : rms);
        }
    } else {
        for (std::size_t i = 0; i < m.taille; ++i) {
            const double u = Volts(a, i), v = Volts(b, i);
            valeurs.push_back(f.op == '+' ? u + v : f.op == '-' ? u - v : f.op == '*' ? u * v : (v != 0.0 ? u / v : 0.0));
        }
    }
    double maximum = 0.0;
    for (const double v : valeurs) maximum = std::max(maximum, std::fabs(v));
    m.ymu = EchelleAuto(maximum) / kNiveauxParDivision;
    m.niveaux.reserve(valeurs.size());
    for (const double v : valeurs) m.niveaux.push_back(Numeriser(v, m.ymu, m.yze));
}

// ---- replies ------------------------------------------------------------------------------

std::string Tds3052::Entete(const char *court, const char *long_) const {
    if (!r_.entetes) return {};
    return std::string(":") + (r_.verbeux ? long_ : court) + " ";
}

int Tds3052::SourceCourante() const { return r_.source == "CH2" ? CH2 : r_.source == "MATH" ? MATH : CH1; }

void Tds3052::Plage(const Trace_ &t, std::size_t &premier, std::size_t &nombre) const {
    const std::size_t taille = t.taille;
    premier = std::min(static_cast<std::size_t>(r_.debut - 1), taille);
    const std::size_t fin = std::min(static_cast<std::size_t>(std::max(r_.fin, r_.debut)), taille);
    nombre = fin > premier ? fin - premier : 0;
}

double Tds3052::Yof() const {
    const bool nonSigne = r_.codage == "RPB" || r_.codage == "SRP";
    return nonSigne ? (r_.largeur == 2 ? 32768.0 : 128.0) : 0.0;
}

double Tds3052::Pas() const { return r_.largeur == 2 ? 1.0 : 256.0; }

std::string Tds3052::Courbe(const Trace_ &t) const {
    std::size_t premier = 0, nombre = 0;
    Plage(t, premier, nombre);
    const bool poidsFaibleDabord = r_.codage == "SRI" || r_.codage == "SRP";
    const auto decalage = static_cast<std::int32_t>(Yof());  // 0 for signed encodings
    const bool octet = r_.largeur == 1;
    const auto Echantillon = [&](std::size_t i) -> std::int32_t {
        std::int32_t n = t.niveaux[premier + i];
        if (octet) n = static_cast<std::int32_t>(std::floor(n / 256.0));
        return n + decalage;
    };
    if (r_.codage == "ASCI") {
        std::string s;
        for (std::size_t i = 0; i < nombre; ++i) s += (i > 0 ? "," : "") + std::to_string(Echantillon(i));
        return s;
    }
    std::string donnees;
    donnees.reserve(nombre * static_cast<std::size_t>(r_.largeur) + static_cast<std::size_t>(defauts_.octetsEnTrop));
    for (std::size_t i = 0; i < nombre; ++i) {
        const auto u = static_cast<std::uint32_t>(Echantillon(i));
        if (octet) {
            donnees += static_cast<char>(u & 0xFF);
        } else if (poidsFaibleDabord) {
            donnees += static_cast<char>(u & 0xFF);
            donnees += static_cast<char>((u >> 8) & 0xFF);
        } else {
            donnees += static_cast<char>((u >> 8) & 0xFF);
            donnees += static_cast<char>(u & 0xFF);
        }
    }
    const std::string longueur = std::to_string(donnees.size());
    const std::string entete = defauts_.blocIllisible ? "#X" : "#" + std::to_string(longueur.size()) + longueur;
    donnees.append(static_cast<std::size_t>(std::max(defauts_.octetsEnTrop, 0)), '\x55');
    donnees.resize(donnees.size() - std::min(donnees.size(), static_cast<std::size_t>(std::max(defauts_.octetsManquants, 0))));
    return entete + donnees;
}

}  // namespace sim
