// Settings files and the save and load commands (see save.h).
#include "settings/save.h"
#include "platform/utility.h"

#include "app/Interface.h"
#include "framework/liste.h"
#include "instruments/catalogue.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "settings/reader.h"
#include "uir/Interface.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <utility>

// ---- text-mode storage and whole-file writing ---------------------------------------------

namespace stockage {

std::string VersStockage(std::string_view contenu) {
    std::string stocke;
    stocke.reserve(contenu.size() + contenu.size() / 16);
    for (const char c : contenu) {
        if (c == '\n') stocke += '\r';
        stocke += c;
    }
    return stocke;
}

std::string DepuisStockage(std::string_view stocke) {
    std::string contenu;
    contenu.reserve(stocke.size());
    for (std::size_t i = 0; i < stocke.size(); ++i) {
        if (stocke[i] == '\r' && i + 1 < stocke.size() && stocke[i + 1] == '\n') continue;
        contenu += stocke[i];
    }
    return contenu;
}

LecteurTexte::LecteurTexte(const char *chemin) {
    if (chemin) fichier_ = OuvrirFichier(chemin, "rb");
}

LecteurTexte::~LecteurTexte() {
    if (fichier_) std::fclose(fichier_);
}

int LecteurTexte::Lire() {
    if (!fichier_) return EOF;
    const int c = std::getc(fichier_);
    if (c != '\r') return c;
    const int suivant = std::getc(fichier_);
    if (suivant == '\n') return '\n';
    if (suivant != EOF) std::ungetc(suivant, fichier_);
    return c;
}

bool LecteurTexte::LireLigne(char *ligne, std::size_t taille) {
    if (taille == 0) return false;
    std::size_t n = 0;
    int c = 0;
    while (n + 1 < taille && (c = Lire()) != EOF) {
        ligne[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    ligne[n] = '\0';
    return n > 0;
}

// The destination is a path of the program (Windows-1252); the file system gets it in UTF-8.
FichierEnAttente::FichierEnAttente(std::string destination) : destination_(CheminSysteme(destination.c_str())) {}

FichierEnAttente::~FichierEnAttente() {
    if (!provisoire_.empty()) ::unlink(provisoire_.c_str());
}

bool FichierEnAttente::Ecrire(std::string_view octets) {
    if (!provisoire_.empty() || destination_.empty()) return false;
    struct stat etat;
    if (::stat(destination_.c_str(), &etat) == 0 && S_ISDIR(etat.st_mode)) return false;
    // A name of its own beside the destination, so that the final rename stays on one file
    // system; the mode follows the user's umask, as a plain creation would.
    int fd = -1;
    std::string nom;
    for (int essai = 0; essai < 100 && fd < 0; ++essai) {
        nom = destination_ + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(essai);
        fd = ::open(nom.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    provisoire_ = nom;
    bool ok = true;
    for (std::size_t fait = 0; ok && fait < octets.size();) {
        const ssize_t n = ::write(fd, octets.data() + fait, octets.size() - fait);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else fait += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0 && errno != EINVAL) ok = false;
    if (::close(fd) != 0) ok = false;
    return ok;
}

bool FichierEnAttente::Remplacer() {
    if (provisoire_.empty()) return false;
    if (std::rename(provisoire_.c_str(), destination_.c_str()) != 0) return false;
    provisoire_.clear();
    return true;
}

}  // namespace stockage

// ---- registry of memory blocks ------------------------------------------------------------

namespace {

char *CopieTexte(const char *texte) {
    if (!texte) texte = "";
    const std::size_t n = std::strlen(texte);
    auto *copie = static_cast<char *>(std::malloc(n + 1));
    if (copie) std::memcpy(copie, texte, n + 1);
    return copie;
}

std::size_t TailleBloc(const save_registry *registre, int i) {
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(registre->endings[i]) -
                                    reinterpret_cast<std::uintptr_t>(registre->structures[i]));
}

// Room that the arrays of a registry of n entries have: n rounded up to a power of two. Adding
// entry by entry then moves each array only at the powers of two, so that registering the
// instruments of a large bench costs time in proportion to their number.
std::size_t Place(std::size_t n) { return n == 0 ? 0 : std::bit_ceil(n); }

// Gives `tableau` room for `place` elements, keeping its elements; false (the array as it was)
// when memory runs out.
template <class T>
bool Agrandir(T *&tableau, std::size_t place) {
    void *nouveau = std::realloc(tableau, place * sizeof(T));
    if (!nouveau) return false;
    tableau = static_cast<T *>(nouveau);
    return true;
}

void AjouterEntier32(std::string &s, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int octet = 0; octet < 4; ++octet) s += static_cast<char>((u >> (8 * octet)) & 0xFF);
}

std::int32_t LireEntier32(std::string_view s, std::size_t pos) {
    std::uint32_t u = 0;
    for (std::size_t octet = 0; octet < 4; ++octet)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[pos + octet])) << (8 * octet);
    return static_cast<std::int32_t>(u);
}

std::string Nombre(long long v) {
    char t[24];
    const auto r = std::to_chars(t, t + sizeof t, v);
    return std::string(t, r.ptr);
}

// An integer of a header entry: an optional "-", then decimal digits to the end of the text.
// (A tatoo of INT_MAX is refused by the caller: no counter value could then follow it.)
bool EntierEntete(std::string_view texte, int &valeur) {
    if (texte.empty()) return false;
    const auto r = std::from_chars(texte.data(), texte.data() + texte.size(), valeur);
    return r.ec == std::errc() && r.ptr == texte.data() + texte.size() && texte.front() != '+';
}

constexpr std::size_t kEntreeEnteteMax = 255;

bool BlancC(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

void init_save(save_registry *registre) {
    *registre = save_registry{nullptr, nullptr, nullptr, nullptr, nullptr, 0};
}

void add_struct_to_save_A(save_registry *registre, void *debut, void *fin, const char *name,
                          int tatoo, const char *label) {
    if (!registre || registre->N < 0 || registre->N == INT_MAX) return;
    const auto d = reinterpret_cast<std::uintptr_t>(debut);
    const auto f = reinterpret_cast<std::uintptr_t>(fin);
    if (f < d || (d == 0 && f != 0)) return;
    const auto n = static_cast<std::size_t>(registre->N);
    char *copie_nom = CopieTexte(name);
    char *copie_label = CopieTexte(label);
    // When one array cannot grow, those that did keep their room, which the next entry finds.
    const std::size_t place = Place(n + 1);
    const bool de_la_place = place == Place(n) ||
                             (Agrandir(registre->structures, place) && Agrandir(registre->endings, place) &&
                              Agrandir(registre->names, place) && Agrandir(registre->tatoos, place) &&
                              Agrandir(registre->noms, place));
    if (!de_la_place || !copie_nom || !copie_label) {
        // Out of memory: the entry is not added and the registry stays whole.
        std::free(copie_nom);
        std::free(copie_label);
        return;
    }
    registre->structures[n] = debut;
    registre->endings[n] = fin;
    registre->names[n] = copie_nom;
    registre->tatoos[n] = tatoo;
    registre->noms[n] = copie_label;
    registre->N = static_cast<int>(n + 1);
}

void add_struct_to_save_B(save_registry *registre, void *debut, unsigned taille, const char *name,
                          int tatoo, const char *label) {
    if (!debut && taille != 0) return;
    void *fin = debut ? static_cast<unsigned char *>(debut) + taille : nullptr;
    add_struct_to_save_A(registre, debut, fin, name, tatoo, label);
}

void free_all(save_registry *registre) {
    for (int i = 0; i < registre->N; ++i) {
        std::free(registre->names[i]);
        std::free(registre->noms[i]);
    }
    std::free(registre->structures);
    std::free(registre->endings);
    std::free(registre->names);
    std::free(registre->tatoos);
    std::free(registre->noms);
}

bool contenu_save_all(const save_registry *registre, std::string &octets) {
    std::string contenu;
    for (int i = 0; i < registre->N; ++i) {
        // A name that the header readers would cut or split gives a file that cannot be
        // loaded back: refused rather than written.
        const std::string_view nom = registre->names[i];
        if (nom.empty() || nom.find_first_of("# \n\r") != std::string_view::npos) return false;
        const std::string entree = std::string(nom) + " " + Nombre(registre->tatoos[i]);
        if (entree.size() > kEntreeEnteteMax) return false;
        if (TailleBloc(registre, i) > static_cast<std::size_t>(INT32_MAX)) return false;
        contenu += '#';
        contenu += entree;
    }
    contenu += "#\n";
    AjouterEntier32(contenu, registre->N);
    for (int i = 0; i < registre->N; ++i)
        AjouterEntier32(contenu, static_cast<std::int32_t>(TailleBloc(registre, i)));
    for (int i = 0; i < registre->N; ++i)
        contenu.append(static_cast<const char *>(registre->structures[i]), TailleBloc(registre, i));
    octets = stockage::VersStockage(contenu);
    return true;
}

int save_all(const char *chemin, const save_registry *registre) {
    std::string octets;
    if (!chemin || !contenu_save_all(registre, octets)) return 0;
    stockage::FichierEnAttente fichier(chemin);
    return fichier.Ecrire(octets) && fichier.Remplacer() ? 1 : 0;
}

bool lire_fichier_reglages(const char *chemin, std::vector<instrument_sauve> &instruments,
                           std::string &erreur) {
    const std::string nom = chemin ? chemin : "";
    std::FILE *f = chemin ? OuvrirFichier(chemin, "rb") : nullptr;
    if (!f) {
        erreur = "Impossible d'ouvrir le fichier " + nom;
        return false;
    }
    std::string stocke;
    char tampon[65536];
    bool trop_grand = false;
    std::size_t n;
    while ((n = std::fread(tampon, 1, sizeof tampon, f)) > 0) {
        if (stocke.size() + n > kTailleFichierReglagesMax) {
            trop_grand = true;
            break;
        }
        stocke.append(tampon, n);
    }
    const bool erreur_lecture = std::ferror(f) != 0;
    std::fclose(f);
    if (erreur_lecture) {
        erreur = "Impossible de lire le fichier " + nom;
        return false;
    }
    const auto Endommage = [&](const std::string &raison) {
        erreur = std::string("Le fichier de réglages "_w) + nom + " est endommagé : "_w + raison + ".";
        return false;
    };
    if (trop_grand) return Endommage("il est bien trop grand pour un fichier de réglages"_w);

    const std::string contenu = stockage::DepuisStockage(stocke);

    // Header: "#" then "<type key> <tatoo>#" per instrument, closed by a line end.
    const std::size_t fin_entete = contenu.find('\n');
    if (fin_entete == std::string::npos) return Endommage("en-tête incomplet"_w);
    const std::string_view entete(contenu.data(), fin_entete);
    if (entete.empty() || entete.front() != '#' || entete.back() != '#')
        return Endommage("en-tête illisible"_w);
    std::vector<instrument_sauve> lus;
    if (entete.size() > 1) {
        std::string_view reste = entete.substr(1, entete.size() - 2);
        for (;;) {
            const std::size_t diese = reste.find('#');
            const std::string_view entree = reste.substr(0, diese);
            const std::size_t espace = entree.find(' ');
            instrument_sauve i;
            if (entree.size() > kEntreeEnteteMax || espace == 0 || espace == std::string_view::npos ||
                !EntierEntete(entree.substr(espace + 1), i.tatoo) || i.tatoo == INT_MAX)
                return Endommage("entrée d'en-tête illisible n° "_w +
                                 Nombre(static_cast<long long>(lus.size()) + 1));
            i.type = std::string(entree.substr(0, espace));
            lus.push_back(std::move(i));
            if (diese == std::string_view::npos) break;
            reste.remove_prefix(diese + 1);
        }
    }

    // Count, sizes, then exactly the bytes of the blocks.
    std::size_t pos = fin_entete + 1;
    if (contenu.size() - pos < 4) return Endommage("fichier tronqué"_w);
    const std::int32_t nombre = LireEntier32(contenu, pos);
    pos += 4;
    if (nombre < 0 || static_cast<std::size_t>(nombre) != lus.size())
        return Endommage("nombre de blocs incorrect ("_w + Nombre(nombre) + " blocs pour " +
                         Nombre(static_cast<long long>(lus.size())) + " instruments)");
    if ((contenu.size() - pos) / 4 < lus.size()) return Endommage("fichier tronqué"_w);
    std::uint64_t total = 0;
    std::vector<std::size_t> tailles;
    for (std::size_t i = 0; i < lus.size(); ++i, pos += 4) {
        const std::int32_t taille = LireEntier32(contenu, pos);
        if (taille < 0) return Endommage("taille de bloc négative"_w);
        tailles.push_back(static_cast<std::size_t>(taille));
        total += static_cast<std::uint64_t>(taille);
    }
    const std::uint64_t disponible = contenu.size() - pos;
    if (disponible < total) return Endommage("fichier tronqué"_w);
    if (disponible > total) return Endommage("données en trop après les blocs"_w);
    for (std::size_t i = 0; i < lus.size(); ++i) {
        lus[i].bloc = contenu.substr(pos, tailles[i]);
        pos += tailles[i];
    }
    instruments = std::move(lus);
    return true;
}

bool charger_blocs(const std::vector<instrument_sauve> &instruments, const save_registry *registre,
                   std::string &erreur) {
    if (registre->N < 0 || static_cast<std::size_t>(registre->N) != instruments.size()) {
        erreur = "Le fichier contient "_w + Nombre(static_cast<long long>(instruments.size())) +
                 " blocs de réglages pour "_w + Nombre(registre->N) + " instruments.";
        return false;
    }
    for (int i = 0; i < registre->N; ++i) {
        const instrument_sauve &s = instruments[static_cast<std::size_t>(i)];
        const std::size_t attendu = TailleBloc(registre, i);
        if (s.bloc.size() != attendu) {
            erreur = "Les réglages de "_w + s.type + " (tatoo " + Nombre(s.tatoo) + ") font " +
                     Nombre(static_cast<long long>(s.bloc.size())) + " octets au lieu de " +
                     Nombre(static_cast<long long>(attendu)) +
                     " : ils viennent d'une autre version de l'instrument."_w;
            return false;
        }
    }
    for (int i = 0; i < registre->N; ++i) {
        const std::string &bloc = instruments[static_cast<std::size_t>(i)].bloc;
        if (!bloc.empty()) std::memcpy(registre->structures[i], bloc.data(), bloc.size());
    }
    return true;
}

int load_all(const char *chemin, const save_registry *registre) {
    std::vector<instrument_sauve> instruments;
    std::string erreur;
    if (!lire_fichier_reglages(chemin, instruments, erreur)) return 0;
    return charger_blocs(instruments, registre, erreur) ? 1 : 0;
}

int get_struct_string(const char *chemin, int k, char *sortie) {
    if (k < 1 || !sortie) return 0;
    stockage::LecteurTexte fichier(chemin);
    if (!fichier.Ouvert()) return 0;
    int c;
    int dieses = 0;
    while ((c = fichier.Lire()) != EOF) {
        if (c == '\n') return 0;
        if (c == '#' && ++dieses == k) break;
    }
    if (c == EOF) return 0;
    char texte[kEntreeEnteteMax + 1];
    std::size_t n = 0;
    while ((c = fichier.Lire()) != EOF) {
        if (c == '\n') return 0;
        if (c == '#') {
            texte[n] = '\0';
            std::memcpy(sortie, texte, n + 1);
            return 1;
        }
        if (n < kEntreeEnteteMax) texte[n++] = static_cast<char>(c);  // the rest of a long entry is dropped
    }
    return 0;
}

int get_struct_type(const char *chemin, int k, char *sortie) {
    char entree[kEntreeEnteteMax + 1];
    const int r = get_struct_string(chemin, k, entree);
    if (r != 1) return r;
    const char *p = entree;
    while (*p && BlancC(static_cast<unsigned char>(*p))) ++p;
    const char *fin = p;
    while (*fin && !BlancC(static_cast<unsigned char>(*fin))) ++fin;
    if (fin > p) {
        std::memcpy(sortie, p, static_cast<std::size_t>(fin - p));
        sortie[fin - p] = '\0';
    }
    return r;
}

int get_struct_tatoo(const char *chemin, int k, int *tatoo) {
    char entree[kEntreeEnteteMax + 1];
    const int r = get_struct_string(chemin, k, entree);
    if (r != 1) return r;
    const char *p = entree;
    while (*p && BlancC(static_cast<unsigned char>(*p))) ++p;
    if (!*p) return r;  // no word
    while (*p && !BlancC(static_cast<unsigned char>(*p))) ++p;
    while (*p && BlancC(static_cast<unsigned char>(*p))) ++p;
    bool negatif = false;
    if (*p == '+' || *p == '-') negatif = *p++ == '-';
    if (*p < '0' || *p > '9') return r;  // no number: the caller's int stays
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (*p - '0');
    if (negatif) n = -n;
    *tatoo = static_cast<int>(n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : n);
    return r;
}

// ---- general settings file ------------------------------------------------------------------

std::string contenu_reglages_generaux(const reglages_generaux &r) {
    std::string c = ";Fichier de sauvegarde des réglages généraux.\n"_w;
    const auto Ligne = [&c](const char *cle, int valeur) {
        c += cle;
        c += '=';
        c += Nombre(valeur);
        c += ";\n";
    };
    Ligne("init_tatoo", r.init_tatoo);
    Ligne("nb_pts_graph", r.nb_pts_graph);
    Ligne("sous_ech_2D", r.sous_ech_2D);
    Ligne("div_mid", r.div_mid);
    Ligne("div_long", r.div_long);
    Ligne("nb_graphes", r.nb_graphes);
    Ligne("mode_fichier", r.mode_fichier);
    // Six decimals and a ".", as "%f" prints in the C locale: the point makes it a real entry.
    char t[400];
    const auto fin = std::to_chars(t, t + sizeof t, r.frequence_ech, std::chars_format::fixed, 6);
    c += "frequence_ech=";
    c.append(t, fin.ptr);
    c += ";\n";
    return stockage::VersStockage(c);
}

bool lire_reglages_generaux(const char *chemin, reglages_generaux &reglages, std::string &erreur) {
    const std::string nom = chemin ? chemin : "";
    reader_lists table;
    reader_init(&table);
    if (!chemin || !reader_load_file(chemin, &table)) {
        reader_free(&table);
        erreur = "Impossible d'ouvrir le fichier des réglages généraux "_w + nom;
        return false;
    }
    reglages_generaux r;  // a setting that the file lacks is 0
    int trouves = reader_find_double("frequence_ech", &table, &r.frequence_ech);
    for (const auto &[cle, valeur] : {std::pair{"nb_pts_graph", &r.nb_pts_graph}, std::pair{"sous_ech_2D", &r.sous_ech_2D},
                                      std::pair{"div_mid", &r.div_mid}, std::pair{"div_long", &r.div_long},
                                      std::pair{"nb_graphes", &r.nb_graphes}, std::pair{"init_tatoo", &r.init_tatoo},
                                      std::pair{"mode_fichier", &r.mode_fichier}})
        trouves += reader_find_int(cle, &table, valeur);
    reader_free(&table);
    if (trouves == 0) {
        erreur = "Le fichier des réglages généraux "_w + nom + " ne contient aucun réglage"_w;
        return false;
    }
    reglages = r;
    return true;
}

// ---- the save and load commands ---------------------------------------------------------------

namespace {

const char *MessageGetMemory() { return "Un plugin n'a pas correctement répondu au get_memory()."_w; }

// Largest settings block a plugin may designate.
constexpr std::size_t kTailleBlocMax = 16u << 20;

// The settings block that an instrument designates, checked: a flag of 0 or 1, an end that is
// not before the start, a start for a block that is not empty, a sensible size.
struct ReponseMemoire {
    bool valide = false;
    bool par_fin = false;  // answered with an end (flag 0) rather than a size (flag 1)
    void *debut = nullptr;
    void *fin = nullptr;
    unsigned taille = 0;
};

ReponseMemoire DemanderMemoire(PInstrument *instrument) {
    void *p_strct = nullptr;
    void *p_member = nullptr;
    unsigned size = 0;
    unsigned char drapeau = 255;
    instrument->get_memory(instrument, &p_strct, &p_member, &size, &drapeau);
    ReponseMemoire r;
    r.debut = p_strct;
    const auto d = reinterpret_cast<std::uintptr_t>(p_strct);
    std::uintptr_t longueur;
    switch (static_cast<signed char>(drapeau)) {
    case 0: {
        const auto f = reinterpret_cast<std::uintptr_t>(p_member);
        if (f < d) return r;
        longueur = f - d;
        r.par_fin = true;
        r.fin = p_member;
        break;
    }
    case 1:
        longueur = size;
        break;
    default:
        return r;
    }
    if (longueur > kTailleBlocMax || (longueur > 0 && p_strct == nullptr)) return r;
    r.taille = static_cast<unsigned>(longueur);
    r.valide = true;
    return r;
}

void Enregistrer(save_registry *registre, const ReponseMemoire &r, const char *nom, int tatoo,
                 const char *label) {
    if (r.par_fin) add_struct_to_save_A(registre, r.debut, r.fin, nom, tatoo, label);
    else add_struct_to_save_B(registre, r.debut, r.taille, nom, tatoo, label);
}

reglages_generaux ReglagesDuPanneau() {
    reglages_generaux r;
    r.init_tatoo = status_tatoo();
    GetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, &r.nb_pts_graph);
    GetCtrlVal(panel_commande, P_Commande_N_sous_ech_2D, &r.sous_ech_2D);
    GetCtrlVal(panel_graphs, P_Graphs_N_mid, &r.div_mid);
    GetCtrlVal(panel_graphs, P_Graphs_N_long, &r.div_long);
    GetCtrlVal(panel_graphs, P_Graphs_NUMERIC, &r.nb_graphes);
    GetCtrlVal(panel_commande, P_Commande_Mode_Fichier, &r.mode_fichier);
    float periode = 0.0f;  // the period is a single-precision value of the panel
    GetCtrlVal(panel_commande, P_Commande_N_TEch, &periode);
    r.frequence_ech = periode;
    return r;
}

// A note on the status list, cut to the 254 characters of a status line.
void Statut(const std::string &message) {
    afficher_status(panel_commande, message.substr(0, kLongueurLigne - 1).c_str());
}

// A load that cannot go through: says why and that nothing has changed.
int RefuserChargement(const char *titre, const std::string &raison) {
    const std::string message =
        raison + "\nChargement annulé : la liste des instruments et les réglages n'ont pas changé."_w;
    MessagePopup(titre, message.c_str());
    return -1;
}

}  // namespace

int Prog_Sauvegarde(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    fichei *liste = liste_instru;
    char chemin[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup(repertoire_defaut, ".sav", "*.sav", "Choisir le fichier d'enregistrement",
                        VAL_SAVE_BUTTON, 0, 0, 1, 1, chemin) <= 0)
        return -1;

    // Both files are written beside their destinations first, and put in place only once both
    // are written whole: a failure leaves the files of an earlier save as they were.
    stockage::FichierEnAttente general(std::string(chemin) + ".gen");
    if (!general.Ecrire(contenu_reglages_generaux(ReglagesDuPanneau())))
        return MessagePopup("Attention", "Impossible d'ouvrir le fichier");

    save_registry registre;
    init_save(&registre);
    bool complet = true;
    for (fichei *noeud = liste; noeud; noeud = noeud->suivant) {
        const ReponseMemoire r = DemanderMemoire(noeud->plugin);
        if (!r.valide) {
            // This instrument is left out of the file; the others are saved.
            MessagePopup("Erreur", MessageGetMemory());
            continue;
        }
        const int avant = registre.N;
        Enregistrer(&registre, r, noeud->Type_Apareil, noeud->tatoo, "TODO");
        if (registre.N != avant + 1) complet = false;  // out of memory
    }
    std::string octets;
    complet = complet && contenu_save_all(&registre, octets);
    free_all(&registre);

    stockage::FichierEnAttente reglages(chemin);
    if (!complet || !reglages.Ecrire(octets) || !general.Remplacer() || !reglages.Remplacer()) {
        const std::string message =
            "Impossible d'enregistrer les réglages dans le fichier "_w + std::string(chemin);
        MessagePopup("Attention", message.c_str());
        return -1;
    }
    return 0;
}
UI_CALLBACK(Prog_Sauvegarde);

int Prog_Charger_Fichier(int, int, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    // The button is dimmed during an acquisition: the instruments of a running acquisition are
    // never freed under it.
    if (acquisition_en_cours == 1) {
        MessagePopup("Attention", "Chargement impossible pendant une acquisition"_w);
        return -1;
    }
    char chemin[MAX_PATHNAME_LEN] = "";
    if (FileSelectPopup(repertoire_defaut, "*.sav", "*.sav", "Choisir le fichier à charger"_w,
                        VAL_LOAD_BUTTON, 0, 0, 1, 1, chemin) <= 0)
        return -1;

    // A settings file that is itself damaged is refused whole, before anything changes.
    std::string erreur;
    std::vector<instrument_sauve> sauves;
    if (!lire_fichier_reglages(chemin, sauves, erreur)) return RefuserChargement("Attention", erreur);

    // The general settings: each control set to what the file gives (0 for a setting it lacks).
    // A file that cannot be read leaves the settings and the counter as they are, and says so.
    reglages_generaux reglages;
    if (lire_reglages_generaux((std::string(chemin) + ".gen").c_str(), reglages, erreur)) {
        SetCtrlVal(panel_commande, P_Commande_N_TEch, reglages.frequence_ech);
        SetCtrlVal(panel_graphs, P_Graphs_N_nbpointsgraphs, reglages.nb_pts_graph);
        SetCtrlVal(panel_commande, P_Commande_N_sous_ech_2D, reglages.sous_ech_2D);
        SetCtrlVal(panel_graphs, P_Graphs_N_mid, reglages.div_mid);
        SetCtrlVal(panel_graphs, P_Graphs_N_long, reglages.div_long);
        nb_graphs = reglages.nb_graphes;
        SetCtrlVal(panel_graphs, P_Graphs_NUMERIC, nb_graphs);
        init_tatoo(reglages.init_tatoo);
        SetCtrlVal(panel_commande, P_Commande_Mode_Fichier, reglages.mode_fichier);
    } else {
        Statut(erreur + " : réglages généraux et compteur de tatoos inchangés"_w);
    }

    ClearListCtrl(panel_instru, P_Instru_LISTBOX_Liste);
    liste_instru = Effacer_liste_inst(liste_instru);

    // One instrument per entry, in file order, each given the stored block of its own entry.
    save_registry registre;
    init_save(&registre);
    std::vector<instrument_sauve> blocs;  // the stored block of each registered entry
    fichei *queue = nullptr;              // the last node: the next one goes after it directly
    long long tatoo_max = LLONG_MIN;
    for (std::size_t k = 0; k < sauves.size(); ++k) {
        const instrument_sauve &s = sauves[k];
        const std::string entree = "entrée n° "_w + Nombre(static_cast<long long>(k) + 1) + " (" + s.type + ", tatoo " +
                                   Nombre(s.tatoo) + ")";
        PInstrument *instrument = Nouvel_instrument(s.type.c_str());
        if (!instrument) {
            Statut("Chargement : "_w + entree + " laissée de côté, type d'instrument inconnu ou non supporté"_w);
            continue;
        }
        if (queue == nullptr) queue = liste_instru = Inserer_instru(nullptr, s.type.c_str(), instrument, s.tatoo);
        else queue = Inserer_instru(queue, s.type.c_str(), instrument, s.tatoo)->suivant;
        tatoo_max = std::max<long long>(tatoo_max, s.tatoo);
        const ReponseMemoire r = DemanderMemoire(instrument);
        if (!r.valide) {
            MessagePopup("Erreur", MessageGetMemory());
            continue;
        }
        if (r.taille != s.bloc.size()) {
            // A block of another size comes from another version of the instrument: copying it
            // would give the instrument settings that mean something else.
            Statut("Chargement : "_w + entree + " gardée avec ses réglages par défaut, ses réglages enregistrés font "_w +
                   Nombre(static_cast<long long>(s.bloc.size())) + " octets au lieu de "_w + Nombre(r.taille));
            continue;
        }
        Enregistrer(&registre, r, "INUTILE", 0, "");
        blocs.push_back(s);
    }
    if (!charger_blocs(blocs, &registre, erreur)) Statut("Chargement : "_w + erreur);  // out of memory only
    free_all(&registre);

    // A loaded tatoo is never handed out again: the counter goes on above every loaded tatoo.
    if (tatoo_max != LLONG_MIN && status_tatoo() <= tatoo_max)
        init_tatoo(static_cast<int>(std::min<long long>(INT_MAX, tatoo_max + 1)));
    for (fichei *noeud = liste_instru; noeud; noeud = noeud->suivant) {
        char nom[256] = "";
        noeud->plugin->get_nom_instru(noeud->plugin, nom);
        InsertListItem(panel_instru, P_Instru_LISTBOX_Liste, -1, nom, 0);
    }
    return 0;
}
UI_CALLBACK(Prog_Charger_Fichier);
