// The instrument framework's list module: the named-lock registry, the status list, the
// tatoos, the instrument list and the command interpreter.
#pragma once

#include <cstddef>

#include "framework/instrument.h"

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

// Serialises read-modify-write of the parallel-port data byte between the instruments that
// drive its lines (valves, RF switches). Created by the program's start-up, discarded at the
// quit; 0 (refused by every lock call) outside that time.
extern int Lock_port_parallele;

// Drives the data lines `lignes` of the parallel port high (`haut`) or low, leaving every other
// line as it is, under Lock_port_parallele. A valve's pulse holds the lock for its whole length,
// which has no bound, so the lock is waited for at most `attente_max` seconds of the program's
// clock (the clock of the pulse; with the fake clock, the wait ends only as the clock is moved
// on): a notification callback that waits here must never wait for ever, since the
// user-interface thread, which releases the lock, may itself be waiting for that callback to
// end. The thread that holds the lock (a pulse started on the user-interface thread) takes it
// again at once. False, nothing written, when the lock could not be taken (busy past the wait,
// or the program is ending): the caller then knows its lines stayed where they were.
bool Positionner_lignes_port(int lignes, bool haut, double attente_max = 10.0);

// ---- status list --------------------------------------------------------------------------
// The running log of the main panel: each call appends "HH:MM:SS", the list's vertical rule
// and the message (shown as written, never taken as a format), keeps the newest 400 lines,
// scrolls the newest into the bottom row and redraws the list at once. User-interface thread.
void afficher_status(int panel, const char *message);

// ---- tatoos -------------------------------------------------------------------------------

// The tatoo counter: the permanent identifier that the next new instrument receives; 0 when the
// program starts. A tatoo is never given twice in a run unless a settings load sets it back.
void init_tatoo(int valeur);  // sets the counter (settings load)
int get_tatoo();              // returns the counter, then adds 1 (add command)
int status_tatoo();           // returns the counter unchanged (settings save)

// ---- instrument list ----------------------------------------------------------------------
// A singly linked list of `fichei` nodes known by its head (null: empty). Every operation
// returns the head to use afterwards. The list owns its nodes; each instance is freed by its
// own `liberer`. User-interface thread only; the list carries no lock.

// Appends a node at the tail holding a copy of the type key (at most 254 characters), the
// instance and the tatoo, with no record file. Returns the new node when the list was empty,
// otherwise the head unchanged.
fichei *Inserer_instru(fichei *liste, const char *type_apareil, PInstrument *instrument,
                       int tatoo);
// Unlinks `noeud`, then calls its instance's `liberer` once and frees the node. Returns the new
// head (the second node when `noeud` was the head). A node that is not in the list (or null)
// changes nothing and frees nothing.
fichei *Supprimer_instru(fichei *liste, fichei *noeud);
// Frees every node from head to tail, each instance through its `liberer` once; returns null.
// Record files are not looked at: closing them belongs to the record-file module.
fichei *Effacer_liste_inst(fichei *liste);
// Calls `stop` of every instance that has one, in list order, whether it was started or not.
void arret_instru(fichei *liste);

// ---- command interpreter ------------------------------------------------------------------
// Text operations that the sequencer applies to its script lines.

constexpr std::size_t kLongueurLigne = 255;  // script lines and status messages: 254 + terminator
constexpr int kNombreVariables = 26;         // the sequencer's variables a to z

// Replaces, in place and left to right, every "$" of `ligne`: "$" then an optional digit (a
// field width, kept for the later variables of the line that carry none) then a letter (either
// case) becomes the value of that variable written with "%0<width>f"; a "$" not followed by a
// letter (after at most one digit) becomes "BADVAR", the digit being dropped. `taille_ligne` is
// the room of the caller's buffer from `ligne` on, terminator included (less than 255 when the
// line handed over starts inside the buffer): the result is cut to fit it.
void interpreter_variables(char *ligne, const float variables[kNombreVariables],
                           std::size_t taille_ligne = kLongueurLigne);

// Carries out "<instrument name>:<command>": hands the command (leading spaces skipped) to
// `execute` of every listed instrument whose name equals the name given (spaces before the ":"
// dropped, ASCII letters compared without regard to case), in list order, and leaves the outcome
// in `message` (cut to fit `taille_message`, terminator included):
//   no such instrument:        Commande impossible "<name>" non trouvé, vérifier le nom.
//   sent:                      Commande de "<name>" avec "<command>"
//   instrument without execute: Commande impossible (<name>) non fonctionnel
// The message reports the last instrument that matched. Instruments without `get_nom_instru`
// never match. A text without ":" names no instrument (the whole text is the name) and sends
// nothing. A terminator is written into `commande` after the name.
void commander_appareil(char *commande, char *message, fichei *liste,
                        std::size_t taille_message = kLongueurLigne);
