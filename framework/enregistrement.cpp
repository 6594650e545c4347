// Record files and the data marker (see enregistrement.h for the bytes of the files).
#include "framework/enregistrement.h"

#include "framework/groupes_voies.h"
#include "framework/liste.h"
#include "framework/voies.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace {

// ---- state of the record files (one set for the whole program) ---------------------------

std::FILE *fichier_resultats = nullptr;  // the main record file while it is open
std::time_t temps_debut = 0;             // when the record files were last opened
constexpr std::size_t kLongueurMarqueur = 254;
char marqueur[kLongueurMarqueur + 1] = "";
// Calls of Ecriture_donnees since the program started, never reset. 64 bits: at a short
// sampling period an int would overflow within weeks.
long long compteur_ecritures = 0;

// The record path of the current (or last) set.
std::string chemin_ouvert;
// Write failures of the current set: files that failed, counted once each.
int fichiers_en_erreur = 0;
std::vector<std::FILE *> fichiers_fautifs;

bool Fautif(std::FILE *f) {
    return std::find(fichiers_fautifs.begin(), fichiers_fautifs.end(), f) != fichiers_fautifs.end();
}

void Signaler(std::FILE *f) {
    if (Fautif(f)) return;
    fichiers_fautifs.push_back(f);
    ++fichiers_en_erreur;
}

void Ecrire(std::FILE *f, const void *donnees, std::size_t taille) {
    if (taille != 0 && std::fwrite(donnees, 1, taille, f) != taille) Signaler(f);
}

void Ecrire(std::FILE *f, std::string_view texte) { Ecrire(f, texte.data(), texte.size()); }

void Fermer(std::FILE *&f) {
    if (!f) return;
    // Once closed, the stream's address may come back for another file: forget it first.
    const bool deja = Fautif(f);
    std::erase(fichiers_fautifs, f);
    if (std::fclose(f) != 0 && !deja) ++fichiers_en_erreur;
    f = nullptr;
}

struct NomInstru {
    char texte[kLongueurNomInstru] = {};
};
struct NomVoie {
    char texte[kLongueurNomVoie] = {};
};

NomInstru NomInstrument(PInstrument *p) {
    NomInstru n;
    if (p->get_nom_instru) p->get_nom_instru(p, n.texte);
    n.texte[kLongueurNomInstru - 1] = '\0';
    return n;
}

NomVoie NomDeVoie(void (*operation)(PInstrument *, int, char *), PInstrument *p, int voie) {
    NomVoie n;
    if (operation) operation(p, voie, n.texte);
    n.texte[kLongueurNomVoie - 1] = '\0';
    return n;
}

// ---- numbers as C's "%.6f" and "%.6e" print them ------------------------------------------
//
// A row holds a few hundred numbers and is written at every sample: formatting them is most
// of its cost. The common magnitudes are written here exactly, with integer arithmetic on the
// double's binary value (a double is m * 2^e, so its decimal digits to 6 places are the exact
// quotient of two integers, rounded to the nearest, ties to even, as the C library rounds);
// everything else goes to std::to_chars, which gives the same bytes more slowly.

__extension__ typedef unsigned __int128 u128;

struct Binaire {
    std::uint64_t m;  // |v| = m * 2^e, m < 2^53
    int e;
};

Binaire Decomposer(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const auto champ_exposant = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (champ_exposant == 0) return {fraction, -1074};  // zero and denormals
    return {fraction | (std::uint64_t{1} << 52), champ_exposant - 1075};
}

// n / 2^s rounded to the nearest integer, ties to even (1 <= s < 128).
u128 ArrondirDecalage(u128 n, int s) {
    const u128 q = n >> s;
    const u128 reste = n - (q << s);
    const u128 moitie = u128{1} << (s - 1);
    return q + (reste > moitie || (reste == moitie && (q & 1)) ? 1 : 0);
}

constexpr char kPaires[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The six digits of n < 10^6, leading zeros included.
char *SixChiffres(char *d, std::uint32_t n) {
    const std::uint32_t hauts = n / 10000, milieu = n / 100 % 100, bas = n % 100;
    std::memcpy(d, kPaires + 2 * hauts, 2);
    std::memcpy(d + 2, kPaires + 2 * milieu, 2);
    std::memcpy(d + 4, kPaires + 2 * bas, 2);
    return d + 6;
}

// "%.6f" of a finite |v| < 2^53 (sign apart): the integer part, then the fraction times 10^6
// rounded. Null when the value is outside that range.
char *FixeExact(char *d, double v) {
    const Binaire b = Decomposer(v);
    if (b.e > 0) return nullptr;
    std::uint64_t entier = 0;
    std::uint64_t fraction = b.m;  // the fraction is fraction * 2^-s
    const int s = -b.e;
    if (s == 0) {
        entier = b.m;
        fraction = 0;
    } else if (s < 64) {
        entier = b.m >> s;
        fraction = b.m & ((std::uint64_t{1} << s) - 1);
    }
    std::uint32_t millioniemes = 0;
    // Below 2^-74 of a unit, the fraction times 10^6 is under a quarter: it rounds to 0.
    if (s > 0 && s <= 74) {
        millioniemes = static_cast<std::uint32_t>(ArrondirDecalage(u128{fraction} * 1000000u, s));
        if (millioniemes == 1000000) {
            ++entier;
            millioniemes = 0;
        }
    }
    d = std::to_chars(d, d + 24, entier).ptr;
    *d++ = '.';
    return SixChiffres(d, millioniemes);
}

constexpr std::uint64_t Puissance5(int k) {
    std::uint64_t p = 1;
    for (int i = 0; i < k; ++i) p *= 5;
    return p;
}
constexpr auto kPuissances5 = [] {
    std::array<std::uint64_t, 28> p{};
    for (int k = 0; k < 28; ++k) p[static_cast<std::size_t>(k)] = Puissance5(k);
    return p;
}();

// "%.6e" of zero or of a finite |v| in [1e-21, 1e7) (sign apart): the seven digits are
// |v| * 10^k rounded, k = 6 - (decimal exponent), computed exactly as m * 5^k / 2^-(e + k).
// Null when the value is outside that range.
char *ScientifiqueExact(char *d, double v) {
    const Binaire b = Decomposer(v);
    if (b.m == 0) {
        constexpr std::string_view zero = "0.000000e+00";
        std::memcpy(d, zero.data(), zero.size());
        return d + zero.size();
    }
    // The decimal exponent, first estimated from the binary one (floor(x * log10(2)) for the
    // leading bit), then set by the size of the seven digits.
    const int e2 = b.e + 63 - std::countl_zero(b.m);
    int exposant = (e2 * 78913) >> 18;
    for (int essai = 0; essai < 3; ++essai) {
        const int k = 6 - exposant;
        if (k < 0 || k >= static_cast<int>(kPuissances5.size())) return nullptr;
        const int s = -(b.e + k);  // |v| * 10^k = m * 5^k / 2^s
        if (s <= 0 || s >= 128) return nullptr;
        const u128 p = u128{b.m} * kPuissances5[static_cast<std::size_t>(k)];
        const u128 entier = p >> s;
        if (entier >= 10000000) {
            ++exposant;
            continue;
        }
        if (entier < 1000000) {
            --exposant;
            continue;
        }
        auto chiffres = static_cast<std::uint32_t>(ArrondirDecalage(p, s));
        if (chiffres == 10000000) {
            chiffres = 1000000;
            ++exposant;
        }
        *d++ = static_cast<char>('0' + chiffres / 1000000);
        *d++ = '.';
        d = SixChiffres(d, chiffres % 1000000);
        *d++ = 'e';
        *d++ = exposant < 0 ? '-' : '+';
        const int a = exposant < 0 ? -exposant : exposant;  // below 100 here
        std::memcpy(d, kPaires + 2 * a, 2);
        return d + 2;
    }
    return nullptr;
}

}  // namespace

char *Ecrire_valeur(char *d, double regle, double v) {
    const bool scientifique = 1.0 >= std::fabs(regle);
    if (std::isfinite(v)) {
        char *q = d;
        if (std::signbit(v)) *q++ = '-';
        const double a = std::fabs(v);
        if (char *fin = scientifique ? ScientifiqueExact(q, a) : FixeExact(q, a)) return fin;
    }
    return std::to_chars(d, d + kLongueurValeurMax, v,
                         scientifique ? std::chars_format::scientific : std::chars_format::fixed, 6)
        .ptr;
}

namespace {

// ---- text of one line, built in one buffer --------------------------------------------------

class Ligne {
public:
    Ligne() : tampon_(16384) {}
    void Vider() { taille_ = 0; }
    Ligne &operator<<(std::string_view t) {
        std::memcpy(Place(t.size()), t.data(), t.size());
        taille_ += t.size();
        return *this;
    }
    Ligne &operator<<(char c) {
        *Place(1) = c;
        ++taille_;
        return *this;
    }
    template <class T>
    void Entier(T n) {
        constexpr std::size_t kMax = 24;
        char *d = Place(kMax);
        taille_ = static_cast<std::size_t>(std::to_chars(d, d + kMax, n).ptr - tampon_.data());
    }
    // "%e" when 1.0 >= |regle|, "%f" otherwise (a NaN too); the C library's bytes, exactly.
    void Valeur(double regle, double v) {
        char *d = Place(kLongueurValeurMax);
        taille_ = static_cast<std::size_t>(Ecrire_valeur(d, regle, v) - tampon_.data());
    }
    std::string_view Texte() const { return {tampon_.data(), taille_}; }

private:
    // Room for `n` more bytes at the end of the text; the buffer only grows (rarely: it
    // keeps its size from one line to the next).
    char *Place(std::size_t n) {
        if (taille_ + n > tampon_.size()) [[unlikely]]
            Agrandir(n);
        return tampon_.data() + taille_;
    }
    [[gnu::noinline]] void Agrandir(std::size_t n) {
        tampon_.resize(std::max(2 * tampon_.size(), taille_ + n));
    }

    std::vector<char> tampon_;
    std::size_t taille_ = 0;
};

Ligne &LigneCourante() {
    static Ligne ligne;
    return ligne;
}

// One vector record of one instrument, built whole so that it reaches the file with one write:
// the text line, then the abscissae and the values of every channel. The plugins write their
// doubles straight into the buffer, at the doubles' own alignment, and the text line is put
// just before the first of them. The buffer only grows (rarely: it keeps its size from one
// record to the next).
class EnregistrementVecteurs {
public:
    // Starts a record with its text line; false when the buffer cannot even hold the line.
    bool Commencer(std::string_view ligne) {
        debut_ = (sizeof(double) - ligne.size() % sizeof(double)) % sizeof(double);
        taille_ = 0;
        const std::size_t n = (debut_ + ligne.size()) / sizeof(double);
        if (!Reserver(n)) return false;
        taille_ = n;
        std::memcpy(reinterpret_cast<char *>(doubles_.data()) + debut_, ligne.data(), ligne.size());
        return true;
    }
    // Room for `n` more doubles at the end of the record, or null when the buffer cannot grow.
    double *Ajouter(std::size_t n) {
        if (!Reserver(taille_ + n)) return nullptr;
        double *place = doubles_.data() + taille_;
        taille_ += n;
        return place;
    }
    std::string_view Octets() const {
        return {reinterpret_cast<const char *>(doubles_.data()) + debut_, taille_ * sizeof(double) - debut_};
    }

private:
    bool Reserver(std::size_t n) {
        if (n <= doubles_.size()) return true;
        try {
            doubles_.resize(std::max(n, 2 * doubles_.size()));
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }

    std::vector<double> doubles_;
    std::size_t debut_ = 0;   // bytes before the text line
    std::size_t taille_ = 0;  // doubles in use, the line's included
};

EnregistrementVecteurs &EnregistrementCourant() {
    static EnregistrementVecteurs e;
    return e;
}

// The doubles of the file in its byte order (little-endian).
void PetitBoutiste(double *valeurs, std::size_t n) {
    if constexpr (std::endian::native != std::endian::little) {
        for (std::size_t i = 0; i < n; ++i) {
            auto *octets = reinterpret_cast<unsigned char *>(valeurs + i);
            std::reverse(octets, octets + sizeof(double));
        }
    }
}

// One vector channel of a vector record: n abscissae, then n values; n is the channel's size
// now (a negative size counts as 0). False when the buffer had no room for it: its points are
// then missing from the record.
bool AjouterVecteur(EnregistrementVecteurs &e, PInstrument *p, int voie, int taille,
                    void (*abscisses)(PInstrument *, int, double *),
                    void (*valeurs)(PInstrument *, int, double *)) {
    const std::size_t n = taille > 0 ? static_cast<std::size_t>(taille) : 0;
    double *place = e.Ajouter(2 * n);
    if (!place) return false;
    abscisses(p, voie, place);
    valeurs(p, voie, place + n);
    PetitBoutiste(place, 2 * n);
    return true;
}

// ---- headers -----------------------------------------------------------------------------

void EcrireEnTetePrincipal(std::FILE *f, fichei *liste) {
    Ligne &l = LigneCourante();
    l.Vider();
    l << "Date\tHeure\tMarqueur\t" << "Durée écoulée"_w;
    for (fichei *n = liste; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !MesureScalaire(p)) continue;
        const NomInstru instru = NomInstrument(p);
        for (int voie = 1; voie <= p->nb_voie_1D(p); ++voie)
            l << '\t' << instru.texte << ' ' << NomDeVoie(p->get_nom_voie_1D, p, voie).texte
              << '\t' << "Mesure n°"_w;
    }
    for (fichei *n = liste; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !CalculScalaire(p)) continue;
        const NomInstru instru = NomInstrument(p);
        for (int voie = 1; voie <= p->nb_voie_calcul(p); ++voie)
            l << '\t' << instru.texte << ' ' << NomDeVoie(p->get_nom_voie_calcul, p, voie).texte;
    }
    l << "\r\n";
    Ecrire(f, l.Texte());
}

void EnTeteVoie(Ligne &l, const char *nom, int taille) {
    l << "\tIndices " << nom << " [";
    l.Entier(taille);
    l << "]\tMesure " << nom << " [";
    l.Entier(taille);
    l << ']';
}

void EcrireEnTeteVecteurs(std::FILE *f, PInstrument *p) {
    Ligne &l = LigneCourante();
    l.Vider();
    l << "Date\tHeure\t" << "Durée écoulée"_w << "\tMarqueur";
    if (MesureVecteurEnregistrement(p))
        for (int voie = 1; voie <= p->nb_voie2D(p); ++voie)
            EnTeteVoie(l, NomDeVoie(p->get_nom_voie2D, p, voie).texte, p->get_taille_voie2D(p, voie));
    if (CalculVecteurEnregistrement(p))
        for (int voie = 1; voie <= p->nb_voie_calcul2D(p); ++voie)
            EnTeteVoie(l, NomDeVoie(p->get_nom_voie_calcul_2D, p, voie).texte,
                       p->get_taille_voie_calcul2D(p, voie));
    l << '\n';
    Ecrire(f, l.Texte());
}

// ---- vector file names -------------------------------------------------------------------

struct CheminDecoupe {
    std::string souche;     // the path up to its last '.'
    std::string extension;  // the text after it
    bool avec_point = false;
};

// Splits at the last '.' of the whole path, directories included.
CheminDecoupe Decouper(const std::string &chemin) {
    const std::size_t point = chemin.rfind('.');
    if (point == std::string::npos) return {chemin, {}, false};
    return {chemin.substr(0, point), chemin.substr(point + 1), true};
}

std::string NomFichierVecteurs(const CheminDecoupe &c, const std::string &nom) {
    std::string r = c.souche + "-" + nom;
    if (c.avec_point) r += "." + c.extension;
    return r;
}

// A file as the file system knows it: two names of one file (the same name twice, or names
// that a link or the file system's rules make one) give the same identity.
struct Identite {
    dev_t peripherique;
    ino_t inode;
    bool operator==(const Identite &) const = default;
};

std::optional<Identite> IdentiteDe(std::FILE *f) {
    struct stat st;
    if (!f || ::fstat(fileno(f), &st) != 0) return std::nullopt;
    return Identite{st.st_dev, st.st_ino};
}

// True when `chemin` names one of the files `ouverts` of the set being opened.
bool DejaOuvert(const std::string &chemin, const std::vector<Identite> &ouverts) {
    struct stat st;
    if (::stat(CheminSysteme(chemin.c_str()).c_str(), &st) != 0) return false;
    return std::find(ouverts.begin(), ouverts.end(), Identite{st.st_dev, st.st_ino}) != ouverts.end();
}

// The vector file name of one instrument: the name the path and the instrument name make,
// unless that file is already open in this set (an earlier instrument of the same name): then
// "-<tatoo>" goes after the instrument name, and a number after that if need be.
std::string NomLibre(const CheminDecoupe &c, const NomInstru &instru, int tatoo,
                     const std::vector<Identite> &ouverts) {
    const std::string nom = instru.texte;
    const auto libre = [&](const std::string &n) { return !DejaOuvert(n, ouverts); };
    std::string candidat = NomFichierVecteurs(c, nom);
    if (libre(candidat)) return candidat;
    const std::string avec_tatoo = nom + "-" + std::to_string(tatoo);
    candidat = NomFichierVecteurs(c, avec_tatoo);
    // An instrument may itself be called "<name>-<tatoo>": number on until the name is free.
    for (int k = 2; !libre(candidat); ++k)
        candidat = NomFichierVecteurs(c, avec_tatoo + "-" + std::to_string(k));
    return candidat;
}

// Closes the set; true when a file was open.
bool FermerTout(fichei *liste) {
    bool ouvert = fichier_resultats != nullptr;
    Fermer(fichier_resultats);
    for (fichei *n = liste; n; n = n->suivant) {
        ouvert = ouvert || n->fichier != nullptr;
        Fermer(n->fichier);
    }
    return ouvert;
}

}  // namespace

// ---- operations ----------------------------------------------------------------------------

int Ouvrir_enregistrement(const char *fichier, fichei *liste) {
    temps_debut = horloge::Calendrier();
    FermerTout(liste);
    fichiers_en_erreur = 0;
    fichiers_fautifs.clear();

    const bool chemin_valide = fichier && fichier[0] != '\0';
    chemin_ouvert = chemin_valide ? fichier : "";
    int echecs = 0;
    if (chemin_valide) fichier_resultats = OuvrirFichier(fichier, "wb");
    if (fichier_resultats) EcrireEnTetePrincipal(fichier_resultats, liste);
    else ++echecs;

    const CheminDecoupe decoupe = Decouper(chemin_valide ? fichier : "");
    std::vector<Identite> ouverts;
    if (const auto id = IdentiteDe(fichier_resultats)) ouverts.push_back(*id);
    for (fichei *n = liste; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !(MesureVecteurEnregistrement(p) || CalculVecteurEnregistrement(p))) continue;
        if (!chemin_valide) {
            ++echecs;
            continue;
        }
        n->fichier = OuvrirFichier(NomLibre(decoupe, NomInstrument(p), n->tatoo, ouverts).c_str(), "wb");
        if (!n->fichier) {
            ++echecs;
            continue;
        }
        if (const auto id = IdentiteDe(n->fichier)) ouverts.push_back(*id);
        EcrireEnTeteVecteurs(n->fichier, p);
    }
    return -echecs;
}

void Ecriture_donnees(fichei *liste) {
    char date[16] = {};
    char heure[16] = {};
    std::strncpy(date, DateStr(), sizeof date - 1);
    std::strncpy(heure, TimeStr(), sizeof heure - 1);
    const long long ecoule = static_cast<long long>(temps_echantillon - temps_debut);

    Ligne &l = LigneCourante();
    if (fichier_resultats) {
        l.Vider();
        l << date << '\t' << heure << '\t' << marqueur << '\t';
        l.Entier(ecoule);
        for (fichei *n = liste; n; n = n->suivant) {
            PInstrument *p = n->plugin;
            if (!p || !MesureScalaire(p)) continue;
            for (int voie = 1; voie <= p->nb_voie_1D(p); ++voie) {
                // The first reading chooses the format, the second is written.
                const double regle = p->mesure_1D(p, voie);
                const unsigned numero = p->numero_1D(p, voie);
                const double valeur = p->mesure_1D(p, voie);
                l << '\t';
                l.Valeur(regle, valeur);
                l << '\t';
                l.Entier(numero);
            }
        }
        for (fichei *n = liste; n; n = n->suivant) {
            PInstrument *p = n->plugin;
            if (!p || !CalculScalaire(p)) continue;
            for (int voie = 1; voie <= p->nb_voie_calcul(p); ++voie) {
                const double regle = p->mesure_calcul(p, voie);
                const double valeur = p->mesure_calcul(p, voie);
                l << '\t';
                l.Valeur(regle, valeur);
            }
        }
        l << "\r\n";
        Ecrire(fichier_resultats, l.Texte());
    }

    ++compteur_ecritures;
    const long long diviseur = sous_ech_2D > 0 ? sous_ech_2D : 1;
    if (compteur_ecritures % diviseur != 0) return;

    l.Vider();
    l << date << '\t' << heure << '\t';
    l.Entier(ecoule);
    l << '\t' << marqueur << '\n';
    EnregistrementVecteurs &e = EnregistrementCourant();
    for (fichei *n = liste; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !n->fichier) continue;
        if (!e.Commencer(l.Texte())) {
            // No room for the record: the line alone, and the file is incomplete.
            Ecrire(n->fichier, l.Texte());
            Signaler(n->fichier);
            continue;
        }
        bool complet = true;
        if (MesureVecteurEnregistrement(p))
            for (int voie = 1; voie <= p->nb_voie2D(p); ++voie)
                complet &= AjouterVecteur(e, p, voie, p->get_taille_voie2D(p, voie), p->indices2D, p->mesure2D);
        if (CalculVecteurEnregistrement(p))
            for (int voie = 1; voie <= p->nb_voie_calcul2D(p); ++voie)
                complet &= AjouterVecteur(e, p, voie, p->get_taille_voie_calcul2D(p, voie), p->i_calcul2D,
                                          p->calcul2D);
        Ecrire(n->fichier, e.Octets());
        // A channel that found no room is missing from the record: the file is incomplete.
        if (!complet) Signaler(n->fichier);
    }
}

void Fermer_enregistrement(fichei *liste) { FermerTout(liste); }

void Fermer_enregistrement_signale(fichei *liste, int panel) {
    if (!FermerTout(liste) || fichiers_en_erreur == 0) return;
    // Said once, here: the failures of this set are no longer counted.
    fichiers_en_erreur = 0;
    const std::string message =
        "Erreur d'écriture : le fichier d'enregistrement est incomplet ("_w + chemin_ouvert + ")";
    afficher_status(panel, message.substr(0, kLongueurLigne - 1).c_str());
}

void Marquer_donnees(const char *texte, int panel, int control) {
    const std::size_t n = texte ? strnlen(texte, kLongueurMarqueur) : 0;
    if (n) std::memmove(marqueur, texte, n);
    marqueur[n] = '\0';
    SetCtrlVal(panel, control, marqueur);
}

long long Nombre_ecritures() { return compteur_ecritures; }
const char *Marqueur_courant() { return marqueur; }
bool Enregistrement_ouvert() { return fichier_resultats != nullptr; }
int Fichiers_en_erreur() { return fichiers_en_erreur; }
