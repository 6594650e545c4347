// Utility services the program calls by their usual names: thread locks, waiting on the
// program's clock, date and time texts, and file helpers.
//
// Functions return 0 on success and a negative UtilityError on failure.
#pragma once

#include <cstdio>
#include <string>

enum UtilityError {
    UTE_BAD_HANDLE = -1,     // thread lock unknown, or discarded
    UTE_NOT_OWNER = -2,      // release of a thread lock the calling thread does not hold
    UTE_BAD_ARGUMENT = -3,   // null pointer or unusable argument
    UTE_NOT_FOUND = -4,      // file or directory missing
    UTE_ACCESS_DENIED = -5,  // no permission, or read-only file system
    UTE_IO = -6,             // any other file-system failure
    UTE_FILE_EXISTS = -9,    // RenameFile: the target already exists
};

// ---- thread locks -------------------------------------------------------------------------
// A thread lock nests per thread: the thread that holds it may take it again, and must release
// it as many times as it took it before another thread gets it. Any thread may call these.
// Handles are positive and never reused, so a stale handle is refused, never mistaken for a
// newer lock.

// Creates a lock; `name` (may be null) and `options` are recorded only. Fills *handle.
int CmtNewLock(const char *name, int options, int *handle);
// Takes the lock, waiting while another thread holds it. Fails with UTE_BAD_HANDLE if the lock
// is discarded meanwhile.
int CmtGetLock(int handle);
int CmtReleaseLock(int handle);
// Takes the lock if it is free or already held by the calling thread; *obtained is 1 if taken,
// 0 if another thread holds it.
int CmtTryToGetLock(int handle, int *obtained);
// Discards the lock: from now on it cannot be taken, and its handle is refused.
// - Held by the calling thread: every hold of that thread is released first.
// - Held by another thread: that thread keeps it and may still release it; the lock goes
//   once it is released for the last time. Threads waiting for it fail with UTE_BAD_HANDLE.
int CmtDiscardLock(int handle);

// ---- time ---------------------------------------------------------------------------------

// Waits `seconds` on the program's clock: with the fake clock, advances it and returns at once;
// sped up, sleeps seconds / speed. Zero, negative and invalid durations return at once.
void Delay(double seconds);
// Local date "MM-DD-YYYY" and 24-hour time "HH:MM:SS" of the program's calendar. Each call
// overwrites the text of the previous call on the same thread.
const char *DateStr();
const char *TimeStr();

// ---- files --------------------------------------------------------------------------------

// Paths inside the program are Windows-1252 like every other text (the file choosers give
// them so); the file system names files in UTF-8. These open and name files from such paths.
std::string CheminSysteme(const char *chemin);
std::FILE *OuvrirFichier(const char *chemin, const char *mode);

// Renames (or moves, on one file system) `oldPath` to `newPath`. Never replaces an existing
// file: UTE_FILE_EXISTS when `newPath` exists.
int RenameFile(const char *oldPath, const char *newPath);
int CVI_DeleteFile(const char *path);
