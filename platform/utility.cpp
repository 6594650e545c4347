// Utility services: thread locks on std::recursive_mutex, Delay and date/time on the program's
// clock, file helpers on POSIX calls.
#include "platform/utility.h"

#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

#include "platform/clock.h"

// ---- thread locks -------------------------------------------------------------------------
//
// The registry's mutex guards the table and each lock's owner, depth and discarded flag; a
// thread never waits for a lock's own mutex while it holds the registry's mutex. A thread that
// takes a lock keeps its own reference to it, so a lock discarded meanwhile is freed only once
// nobody waits on it or holds it.

namespace {

struct Verrou {
    std::recursive_mutex mutex;
    std::string nom;
    int options = 0;
    std::thread::id proprietaire{};  // no thread while free
    int profondeur = 0;               // holds of the owner
    bool jete = false;
};

struct Registre {
    std::mutex mutex;
    std::unordered_map<int, std::shared_ptr<Verrou>> verrous;
    int prochain = 1;
};

Registre &LeRegistre() {
    static Registre r;
    return r;
}

// The lock under `handle` (nullptr if unknown); caller holds the registry's mutex.
std::shared_ptr<Verrou> Chercher(Registre &r, int handle) {
    const auto it = r.verrous.find(handle);
    return it == r.verrous.end() ? nullptr : it->second;
}

// Records the calling thread as holder of `v`, whose mutex it has just taken. Gives the mutex
// back and fails if the lock was discarded while the thread waited for it.
int Inscrire(Registre &r, Verrou &v) {
    std::lock_guard g(r.mutex);
    if (v.jete) {
        v.mutex.unlock();
        return UTE_BAD_HANDLE;
    }
    v.proprietaire = std::this_thread::get_id();
    ++v.profondeur;
    return 0;
}

}  // namespace

int CmtNewLock(const char *name, int options, int *handle) {
    if (handle == nullptr) return UTE_BAD_ARGUMENT;
    auto v = std::make_shared<Verrou>();
    v->nom = name != nullptr ? name : "";
    v->options = options;
    Registre &r = LeRegistre();
    std::lock_guard g(r.mutex);
    const int h = r.prochain++;
    r.verrous.emplace(h, std::move(v));
    *handle = h;
    return 0;
}

int CmtGetLock(int handle) {
    Registre &r = LeRegistre();
    std::shared_ptr<Verrou> v;
    {
        std::lock_guard g(r.mutex);
        v = Chercher(r, handle);
        if (v == nullptr || v->jete) return UTE_BAD_HANDLE;
    }
    v->mutex.lock();
    return Inscrire(r, *v);
}

int CmtTryToGetLock(int handle, int *obtained) {
    if (obtained == nullptr) return UTE_BAD_ARGUMENT;
    *obtained = 0;
    Registre &r = LeRegistre();
    std::shared_ptr<Verrou> v;
    {
        std::lock_guard g(r.mutex);
        v = Chercher(r, handle);
        if (v == nullptr || v->jete) return UTE_BAD_HANDLE;
    }
    if (!v->mutex.try_lock()) return 0;
    const int resultat = Inscrire(r, *v);
    if (resultat == 0) *obtained = 1;
    return resultat;
}

int CmtReleaseLock(int handle) {
    Registre &r = LeRegistre();
    std::lock_guard g(r.mutex);
    const std::shared_ptr<Verrou> v = Chercher(r, handle);  // a discarded lock still held is here
    if (v == nullptr) return UTE_BAD_HANDLE;
    if (v->proprietaire != std::this_thread::get_id() || v->profondeur == 0) return UTE_NOT_OWNER;
    if (--v->profondeur == 0) {
        v->proprietaire = std::thread::id{};
        if (v->jete) r.verrous.erase(handle);
    }
    v->mutex.unlock();
    return 0;
}

int CmtDiscardLock(int handle) {
    Registre &r = LeRegistre();
    std::lock_guard g(r.mutex);
    const std::shared_ptr<Verrou> v = Chercher(r, handle);
    if (v == nullptr || v->jete) return UTE_BAD_HANDLE;
    v->jete = true;
    if (v->proprietaire == std::this_thread::get_id()) {
        for (; v->profondeur > 0; --v->profondeur) v->mutex.unlock();
        v->proprietaire = std::thread::id{};
    }
    // Free now: gone. Held by another thread: its last release removes it.
    if (v->profondeur == 0) r.verrous.erase(handle);
    return 0;
}

// ---- time ---------------------------------------------------------------------------------

void Delay(double seconds) {
    if (!(seconds > 0.0) || !std::isfinite(seconds)) return;
    if (horloge::HorlogeFactice()) {
        horloge::AvancerHorlogeFactice(seconds);
        return;
    }
    // Sleeps in short steps so that a change of speed, or a switch to the fake clock (which
    // would never reach the end on its own), is seen during a long wait.
    const double fin = horloge::Secondes() + seconds;
    constexpr double kPasMax = 0.05;  // real seconds
    for (;;) {
        if (horloge::HorlogeFactice()) return;
        const double reste = fin - horloge::Secondes();
        if (reste <= 0.0) return;
        const double reel = std::min(reste / horloge::Vitesse(), kPasMax);
        std::this_thread::sleep_for(std::chrono::duration<double>(reel));
    }
}

namespace {

std::tm HeureLocale() {
    const std::time_t t = horloge::Calendrier();
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace

const char *DateStr() {
    thread_local char texte[40];  // room for any int fields
    const std::tm tm = HeureLocale();
    std::snprintf(texte, sizeof texte, "%02d-%02d-%04d", tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_year + 1900);
    return texte;
}

const char *TimeStr() {
    thread_local char texte[40];  // room for any int fields
    const std::tm tm = HeureLocale();
    std::snprintf(texte, sizeof texte, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return texte;
}

// ---- files --------------------------------------------------------------------------------

namespace {

int ErreurFichier(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR: return UTE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return UTE_ACCESS_DENIED;
    case EEXIST:
    case ENOTEMPTY: return UTE_FILE_EXISTS;
    case EINVAL:
    case ENAMETOOLONG: return UTE_BAD_ARGUMENT;
    default: return UTE_IO;
    }
}

}  // namespace

std::string CheminSysteme(const char *chemin) { return texte::Cp1252VersUtf8(chemin ? chemin : ""); }

std::FILE *OuvrirFichier(const char *chemin, const char *mode) {
    if (chemin == nullptr || mode == nullptr) return nullptr;
    return std::fopen(CheminSysteme(chemin).c_str(), mode);
}

int RenameFile(const char *oldPathCp1252, const char *newPathCp1252) {
    if (oldPathCp1252 == nullptr || newPathCp1252 == nullptr || *oldPathCp1252 == '\0' ||
        *newPathCp1252 == '\0')
        return UTE_BAD_ARGUMENT;
    const std::string ancien = CheminSysteme(oldPathCp1252), nouveau = CheminSysteme(newPathCp1252);
    const char *oldPath = ancien.c_str();
    const char *newPath = nouveau.c_str();
    // rename() would replace the target silently; RENAME_NOREPLACE refuses it in one step.
    if (renameat2(AT_FDCWD, oldPath, AT_FDCWD, newPath, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return ErreurFichier(errno);
    // File system without RENAME_NOREPLACE: check, then rename.
    struct stat st;
    if (lstat(oldPath, &st) != 0) return ErreurFichier(errno);
    if (lstat(newPath, &st) == 0) return UTE_FILE_EXISTS;
    return std::rename(oldPath, newPath) == 0 ? 0 : ErreurFichier(errno);
}

int CVI_DeleteFile(const char *path) {
    if (path == nullptr || *path == '\0') return UTE_BAD_ARGUMENT;
    return unlink(CheminSysteme(path).c_str()) == 0 ? 0 : ErreurFichier(errno);
}
