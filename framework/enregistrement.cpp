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

// ---- text of one line, built in one buffer --------------------------------------------------

// Longest number: "-" 309 digits "." 6 digits ("%f" of the largest double).
constexpr std::size_t kLongueurNombreMax = 330;

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
        const auto format =
            1.0 >= std::fabs(regle) ? std::chars_format::scientific : std::chars_format::fixed;
        char *d = Place(kLongueurNombreMax);
        taille_ = static_cast<std::size_t>(
            std::to_chars(d, d + kLongueurNombreMax, v, format, 6).ptr - tampon_.data());
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

// Abscissae or values of one vector channel, as read from the plugin.
std::vector<double> &TamponVecteur() {
    static std::vector<double> tampon(1);
    return tampon;
}

void EcrireDoubles(std::FILE *f, const double *valeurs, std::size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        Ecrire(f, valeurs, n * sizeof(double));
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            auto octets = std::bit_cast<std::array<unsigned char, sizeof(double)>>(valeurs[i]);
            std::reverse(octets.begin(), octets.end());
            Ecrire(f, octets.data(), octets.size());
        }
    }
}

// One vector channel of a vector record: n abscissae, then n values; n is the channel's size
// now (a negative size counts as 0).
void EcrireVecteur(std::FILE *f, PInstrument *p, int voie, int taille,
                   void (*abscisses)(PInstrument *, int, double *),
                   void (*valeurs)(PInstrument *, int, double *)) {
    const std::size_t n = taille > 0 ? static_cast<std::size_t>(taille) : 0;
    std::vector<double> &tampon = TamponVecteur();
    if (tampon.size() < n) {
        try {
            tampon.resize(n);
        } catch (const std::bad_alloc &) {
            // No room for the channel: its points are missing from this record, and the
            // file is counted as failed.
            Signaler(f);
            return;
        }
    }
    abscisses(p, voie, tampon.data());
    EcrireDoubles(f, tampon.data(), n);
    valeurs(p, voie, tampon.data());
    EcrireDoubles(f, tampon.data(), n);
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
    for (fichei *n = liste; n; n = n->suivant) {
        PInstrument *p = n->plugin;
        if (!p || !n->fichier) continue;
        Ecrire(n->fichier, l.Texte());
        if (MesureVecteurEnregistrement(p))
            for (int voie = 1; voie <= p->nb_voie2D(p); ++voie)
                EcrireVecteur(n->fichier, p, voie, p->get_taille_voie2D(p, voie), p->indices2D,
                              p->mesure2D);
        if (CalculVecteurEnregistrement(p))
            for (int voie = 1; voie <= p->nb_voie_calcul2D(p); ++voie)
                EcrireVecteur(n->fichier, p, voie, p->get_taille_voie_calcul2D(p, voie),
                              p->i_calcul2D, p->calcul2D);
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
