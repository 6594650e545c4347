// The instrument framework's list module.
#include "framework/liste.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/text.h"
#include "platform/ui.h"
#include "platform/utility.h"
#include "uir/Interface.h"

// ---- named locks --------------------------------------------------------------------------
//
// The table holds the first 10 names that fit its 20-character field (19 characters and the
// terminator). Beyond that, a name of 20 characters or more, or an eleventh name, goes to an
// overflow map without limit: every distinct name still gets a lock of its own (no truncation,
// so two long names never share a lock by accident) and the same name always finds the same
// lock. A name that fits is looked up in the table first, then in the overflow map, so it is
// always found where it was created. A null name counts as the empty name.
//
// The master lock guards the table, its count and the overflow map. Its handle is read, created
// and discarded under `garde_principal`, a mutex that lives as long as the process: at
// shut-down fin_gestion_lock first takes the master lock (so no thread is inside the registry),
// then discards it and clears the handle. A thread that was waiting for the old master lock
// sees it discarded and starts again with a new one, created on demand; no discarded lock is
// ever used, and the named locks, the table and the overflow map outlive the master lock.

namespace {

struct entree_lock {
    char nom_lock[20];
    int lock;
};

constexpr int kTailleTable = 10;

int lock_principal = 0;  // read and written under garde_principal only
entree_lock table_locks[kTailleTable];
int nb_locks = 0;
std::map<std::string, int, std::less<>> locks_debordement;

std::mutex garde_principal;

}  // namespace

int Lock_port_parallele = 0;

namespace {

// Creates the master lock if there is none; caller holds garde_principal.
void CreerPrincipal() {
    if (lock_principal == 0) CmtNewLock(nullptr, 0, &lock_principal);
}

// Takes the master lock, setting the registry up again if it was closed meanwhile. Returns
// the handle taken.
int PrendrePrincipal() {
    for (;;) {
        int principal;
        {
            std::lock_guard g(garde_principal);
            CreerPrincipal();
            principal = lock_principal;
        }
        if (CmtGetLock(principal) == 0) return principal;
        // Discarded between reading its handle and taking it (fin_gestion_lock normally clears
        // the handle itself): forget it if it is still the one recorded, and set up anew.
        std::lock_guard g(garde_principal);
        if (lock_principal == principal) lock_principal = 0;
    }
}

// A new free lock; 0 (refused by every lock call) only if the platform cannot create one.
int NouveauLock() {
    int h = 0;
    return CmtNewLock(nullptr, 0, &h) == 0 ? h : 0;
}

// The lock of `nom`, created on first request; caller holds the master lock.
int TrouverOuCreer(const char *nom) {
    const std::size_t longueur = std::strlen(nom);
    const bool tient = longueur < sizeof(entree_lock::nom_lock);
    if (tient) {
        for (int i = 0; i < nb_locks; ++i)
            if (std::strcmp(table_locks[i].nom_lock, nom) == 0) return table_locks[i].lock;
    }
    if (const auto it = locks_debordement.find(std::string_view(nom, longueur));
        it != locks_debordement.end())
        return it->second;
    const int h = NouveauLock();
    if (h == 0) return 0;  // nothing recorded: a later request tries again
    if (tient && nb_locks < kTailleTable) {
        entree_lock &e = table_locks[nb_locks];
        std::memcpy(e.nom_lock, nom, longueur + 1);
        e.lock = h;
        ++nb_locks;
    } else {
        locks_debordement.emplace(std::string(nom, longueur), h);
    }
    return h;
}

}  // namespace

void init_gestion_lock() {
    std::lock_guard g(garde_principal);
    CreerPrincipal();
}

int gestion_lock(const char *lock_requis) {
    const int principal = PrendrePrincipal();
    const int h = TrouverOuCreer(lock_requis != nullptr ? lock_requis : "");
    CmtReleaseLock(principal);
    return h;
}

void fin_gestion_lock() {
    std::lock_guard g(garde_principal);
    if (lock_principal == 0) return;
    // Waits for a thread inside the registry; the discard then releases this thread's hold.
    if (CmtGetLock(lock_principal) == 0) CmtDiscardLock(lock_principal);
    lock_principal = 0;
}

// ---- status list --------------------------------------------------------------------------

namespace {

constexpr int kLignesStatus = 400;
constexpr const char *kSeparateurVertical = "\x1bvline";

// A burst of lines in one turn of the event loop (a script that reports on every line) must
// not lay out and repaint the whole list for each line. Within one turn:
//  - the number of lines the list shows is read once (the list's size cannot change before the
//    loop runs again; reading it lays out every line);
//  - the first few lines are drawn at once, and past them a line is drawn at once only when
//    the last immediate drawing is old enough to matter to someone watching long work; the
//    event loop draws the rest when it runs.
constexpr int kDessinsImmediatsParTour = 20;
constexpr auto kIntervalleDessins = std::chrono::milliseconds(100);

struct TourStatus {
    int panel = 0;     // the panel whose list this turn wrote to
    int visibles = 0;  // the lines that list shows, once read in this turn (0: not yet)
    int dessins = 0;   // immediate drawings in this turn
    bool fin_postee = false;
};
TourStatus tour;
std::chrono::steady_clock::time_point dernier_dessin;

int LignesVisibles(int panel) {
    if (tour.panel != panel || tour.visibles <= 0) {
        tour.panel = panel;
        tour.visibles = 0;
        GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_VISIBLE_LINES, &tour.visibles);
    }
    return tour.visibles;
}

}  // namespace

void afficher_status(int panel, const char *message) {
    if (!tour.fin_postee) {
        tour.fin_postee = true;
        PostToUiThread([] { tour = TourStatus{}; });
    }

    std::string ligne = TimeStr();
    ligne += kSeparateurVertical;
    ligne += message ? message : "";
    InsertListItem(panel, P_Commande_STATUS, -1, ligne.c_str(), 0);
    int nombre = 0;
    GetNumListItems(panel, P_Commande_STATUS, &nombre);
    if (nombre > kLignesStatus) {
        DeleteListItem(panel, P_Commande_STATUS, 0, nombre - kLignesStatus);
        nombre = kLignesStatus;
    }
    const int visibles = LignesVisibles(panel);
    if (nombre > visibles) {
        // Once the list is full, a line in and a line out leave the scrolling where it is:
        // setting it again would lay out all 400 lines for nothing.
        int premiere = -1;
        GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, &premiere);
        if (premiere != nombre - visibles)
            SetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, nombre - visibles);
    }

    // The caller may go on with long work before the event loop runs again.
    const auto maintenant = std::chrono::steady_clock::now();
    if (tour.dessins >= kDessinsImmediatsParTour && maintenant - dernier_dessin < kIntervalleDessins) return;
    RedrawCtrl(panel, P_Commande_STATUS);
    ++tour.dessins;
    dernier_dessin = maintenant;
}

// ---- tatoos -------------------------------------------------------------------------------

namespace {
int compteur_tatoo = 0;
}  // namespace

void init_tatoo(int valeur) { compteur_tatoo = valeur; }

int get_tatoo() {
    const int tatoo = compteur_tatoo;
    // Wraps instead of overflowing should a settings file have left the counter at its top.
    compteur_tatoo = static_cast<int>(static_cast<unsigned>(compteur_tatoo) + 1u);
    return tatoo;
}

int status_tatoo() { return compteur_tatoo; }

// ---- instrument list ----------------------------------------------------------------------

fichei *Inserer_instru(fichei *liste, const char *type_apareil, PInstrument *instrument,
                       int tatoo) {
    auto *noeud = new fichei{};
    if (type_apareil != nullptr) {
        const std::size_t n = strnlen(type_apareil, sizeof noeud->Type_Apareil - 1);
        std::memcpy(noeud->Type_Apareil, type_apareil, n);
        noeud->Type_Apareil[n] = '\0';
    }
    noeud->plugin = instrument;
    noeud->tatoo = tatoo;
    noeud->suivant = nullptr;
    noeud->fichier = nullptr;
    if (liste == nullptr) return noeud;
    fichei *dernier = liste;
    while (dernier->suivant != nullptr) dernier = dernier->suivant;
    dernier->suivant = noeud;
    return liste;
}

namespace {
// Frees a node that has left the list, its instance first.
void Liberer_noeud(fichei *noeud) {
    if (noeud->plugin != nullptr) noeud->plugin->liberer(noeud->plugin);
    delete noeud;
}
}  // namespace

fichei *Supprimer_instru(fichei *liste, fichei *noeud) {
    if (liste == nullptr || noeud == nullptr) return liste;
    if (noeud == liste) {
        fichei *suivant = liste->suivant;
        Liberer_noeud(noeud);
        return suivant;
    }
    for (fichei *precedent = liste; precedent->suivant != nullptr; precedent = precedent->suivant) {
        if (precedent->suivant != noeud) continue;
        precedent->suivant = noeud->suivant;
        Liberer_noeud(noeud);
        break;
    }
    return liste;
}

fichei *Effacer_liste_inst(fichei *liste) {
    while (liste != nullptr) {
        fichei *suivant = liste->suivant;
        Liberer_noeud(liste);
        liste = suivant;
    }
    return nullptr;
}

void arret_instru(fichei *liste) {
    for (fichei *noeud = liste; noeud != nullptr; noeud = noeud->suivant)
        if (noeud->plugin != nullptr && noeud->plugin->stop != nullptr) noeud->plugin->stop(noeud->plugin);
}

// ---- command interpreter ------------------------------------------------------------------

namespace {

bool LettreAscii(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool ChiffreAscii(char c) { return c >= '0' && c <= '9'; }
char MinusculeAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value as "%0<largeur>f" writes it in the C locale: six decimals, leading zeros after the
// sign up to the width; an infinity or a NaN is padded with spaces, as printf does.
void AjouterValeur(std::string &sortie, double valeur, int largeur) {
    char chiffres[400];  // a double in fixed notation: at most 309 digits, sign, point, 6 decimals
    const auto [fin, erreur] =
        std::to_chars(chiffres, chiffres + sizeof chiffres, valeur, std::chars_format::fixed, 6);
    if (erreur != std::errc{}) return;
    const std::string_view texte(chiffres, static_cast<std::size_t>(fin - chiffres));
    const std::size_t manque =
        static_cast<std::size_t>(largeur) > texte.size() ? static_cast<std::size_t>(largeur) - texte.size() : 0;
    if (!std::isfinite(valeur)) {
        sortie.append(manque, ' ');
        sortie += texte;
        return;
    }
    const bool signe = texte.front() == '-';
    if (signe) sortie += '-';
    sortie.append(manque, '0');
    sortie += texte.substr(signe ? 1 : 0);
}

// Copies `texte` into `dest`, cut to fit `taille` bytes with the terminator.
void CopierCoupe(std::string_view texte, char *dest, std::size_t taille) {
    if (dest == nullptr || taille == 0) return;
    const std::size_t n = std::min(texte.size(), taille - 1);
    std::memmove(dest, texte.data(), n);
    dest[n] = '\0';
}

bool MemeNomSansCasse(const char *a, const char *b) {
    for (;; ++a, ++b) {
        if (MinusculeAscii(*a) != MinusculeAscii(*b)) return false;
        if (*a == '\0') return true;
    }
}

std::string MessageNonTrouve(std::string_view nom) {
    std::string m = "Commande impossible \"";
    m += nom;
    m += "\" non trouvé, vérifier le nom."_w;
    return m;
}

}  // namespace

void interpreter_variables(char *ligne, const float variables[kNombreVariables],
                           std::size_t taille_ligne) {
    if (ligne == nullptr || taille_ligne == 0) return;
    // Never read past the caller's room, even if the line is not terminated inside it.
    const std::size_t longueur = strnlen(ligne, taille_ligne - 1);
    const std::string_view entree(ligne, longueur);
    if (entree.find('$') == std::string_view::npos) return;

    // The rebuilt line holds at most 254 characters and must fit the room.
    const std::size_t limite = std::min(taille_ligne, kLongueurLigne) - 1;
    std::string sortie;
    sortie.reserve(limite + 64);
    int largeur = 0;  // one width per call: a digit sets it for the rest of the line
    std::size_t i = 0;
    // Text that a substitution adds never holds a "$", and each one only changes what follows
    // its "$": one pass left to right, stopping once the room is full, gives the same line.
    while (i < entree.size() && sortie.size() < limite) {
        const char c = entree[i++];
        if (c != '$') {
            sortie += c;
            continue;
        }
        if (i < entree.size() && ChiffreAscii(entree[i])) largeur = entree[i++] - '0';
        if (i < entree.size() && LettreAscii(entree[i])) {
            const int index = MinusculeAscii(entree[i++]) - 'a';
            AjouterValeur(sortie, variables != nullptr ? static_cast<double>(variables[index]) : 0.0,
                          largeur);
        } else {
            sortie += "BADVAR";
        }
    }
    CopierCoupe(std::string_view(sortie).substr(0, limite), ligne, taille_ligne);
}

void commander_appareil(char *commande, char *message, fichei *liste, std::size_t taille_message) {
    if (commande == nullptr) {
        CopierCoupe(MessageNonTrouve(""), message, taille_message);
        return;
    }
    char *deux_points = std::strchr(commande, ':');
    if (deux_points == nullptr) {
        // No command part: the whole text is taken as a name that no instrument answers to.
        CopierCoupe(MessageNonTrouve(commande), message, taille_message);
        return;
    }
    const char *ordre = deux_points + 1;
    while (*ordre == ' ') ++ordre;
    char *fin_nom = deux_points;
    while (fin_nom > commande && fin_nom[-1] == ' ') --fin_nom;
    *fin_nom = '\0';
    const char *nom = commande;

    std::string resultat = MessageNonTrouve(nom);
    for (fichei *noeud = liste; noeud != nullptr; noeud = noeud->suivant) {
        PInstrument *instrument = noeud->plugin;
        if (instrument == nullptr || instrument->get_nom_instru == nullptr) continue;
        char nom_instru[kLongueurLigne] = {};
        instrument->get_nom_instru(instrument, nom_instru);
        nom_instru[kLongueurLigne - 1] = '\0';
        if (!MemeNomSansCasse(nom_instru, nom)) continue;
        if (instrument->execute != nullptr) {
            instrument->execute(instrument, ordre);
            resultat = "Commande de \"";
            resultat += nom;
            resultat += "\" avec \"";
            resultat += ordre;
            resultat += '"';
        } else {
            resultat = "Commande impossible (";
            resultat += nom;
            resultat += ") non fonctionnel";
        }
    }
    CopierCoupe(resultat, message, taille_message);
}
