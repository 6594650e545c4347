// The instrument framework's list module.
#include "framework/liste.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

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
}  // namespace

void afficher_status(int panel, const char *message) {
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
    int visibles = 0;
    GetCtrlAttribute(panel, P_Commande_STATUS, ATTR_VISIBLE_LINES, &visibles);
    if (nombre > visibles) SetCtrlAttribute(panel, P_Commande_STATUS, ATTR_FIRST_VISIBLE_LINE, nombre - visibles);
    // The caller may go on with long work before the event loop runs again.
    ProcessDrawEvents();
}
