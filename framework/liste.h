// The instrument framework's list module: the instrument list and the named-lock registry.
#pragma once

// ---- named locks --------------------------------------------------------------------------
// One thread lock per name, so that code which shares no variable (two instances of a plugin,
// or a plugin's GPIB notification thread and its own user-interface code) serialises access to
// one device by agreeing on a name ("GPIB0:<n>"). Locks are handed out free: the caller takes
// and releases them with CmtGetLock / CmtReleaseLock (platform/utility.h). Any thread may call.

// Sets up the registry (creates its master lock). Called once by main at start-up; a later
// call does nothing while the registry is set up.
void init_gestion_lock();
// The lock registered under `lock_requis` (names are compared exactly, case included), created
// on first request. Always a valid handle, whatever the name's length or the number of names.
int gestion_lock(const char *lock_requis);
// Closes the registry at shut-down (discards its master lock). The named locks stay valid; a
// later gestion_lock call (a late GPIB notification) sets the registry up again and works.
void fin_gestion_lock();

// ---- status list --------------------------------------------------------------------------
// The running log of the main panel: each call appends "HH:MM:SS", the list's vertical rule
// and the message (shown as written, never taken as a format), keeps the newest 400 lines,
// scrolls the newest into the bottom row and redraws the list at once. User-interface thread.
void afficher_status(int panel, const char *message);
