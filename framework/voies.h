// Channel buffers and channel tables, channel references and choice lists, the sampling step
// and the mid-term and long-term averages.
//
// Every channel of the listed instruments has one buffer: a `ptr` for a scalar channel (a ring
// of `profondeur` values with their reading numbers and two average curves), a `ptr2D` for a
// vector channel (a ring of 50 rows of `taille_voie` values with their abscissae). All scalar
// buffers sit in one contiguous table, all vector buffers in another, in this order: first the
// measured channels of every instrument, then the computed ones, instruments in list order and
// channels 1 to n of each. The graph windows receive a table's base and count and index it.
//
// The average curves `points_mid` and `points_long` of a scalar record are plain arrays of
// `profondeur` points, oldest first; their addresses move as points are added, so readers take
// them from the record at each use, as they do the record itself.
//
// Life of the buffers within one acquisition: the tables are rebuilt from the list
// (Reserver_buffer_circu), the rings are allocated (Init_buffer_circu, Init_buffer2D_circu),
// every sampling tick fills them (Echantilloner), and the stop releases them
// (Liberer_buffer_circu, Liberer_buffer2D_circu). A rebuild may move a table: a record address
// is valid until the next rebuild only, so consumers resolve their channel references again at
// each use.
//
// Guarantees of this module, whatever the instruments report:
// - No fill writes past a table: a channel that has no record (a count that grew since the
//   rebuild, an instrument added since) is not stored, and every channel that has a record is
//   stored into its own record.
// - A vector channel whose size grew since the rebuild is cut to the size of its rows.
// - Settings read from the panel are brought into range before use: `nbpointsgraph` >= 1,
//   `sous_ech_2D` >= 1, 1 <= `diviseur_short_mid`, `diviseur_mid_long` <= `nbpointsgraph`.
// - Allocation failures leave no half-built ring: when a scalar ring cannot be allocated no
//   scalar ring exists for that acquisition (record 0's `mesure` stays null, the test every
//   reader makes), and a vector channel whose rows cannot all be allocated keeps no row and
//   gets the size 0, so that every reader passes it over.
// - The release steps free everything and reset the released pointers to null.
//
// Everything here runs on the user-interface thread.
#pragma once

#include "framework/instrument.h"

#include <ctime>

// ---- tables and acquisition-wide settings ---------------------------------------------------

extern ptr *tableau_Bcirc;      // scalar table, null until a rebuild finds a scalar channel
extern int nb_Bcirc;            // number of valid records in tableau_Bcirc
extern ptr2D *tableau_Bcirc2D;  // vector table, null until a rebuild finds a vector channel
extern int nb_Bcirc2D;          // number of valid records in tableau_Bcirc2D

// Depth of every scalar ring and length of both average curves (0 until the first
// acquisition start).
extern int nbpointsgraph;
// One vector record every `sous_ech_2D` rows of the record file (1 until the first start).
extern int sous_ech_2D;
// Readings per mid-term point (2 until the first start).
extern int diviseur_short_mid;
// Mid-term points per long-term point (5 until the first start).
extern int diviseur_mid_long;

// Calendar time (whole seconds) of the latest sampling step.
extern std::time_t temps_echantillon;

// ---- channel tables and rings --------------------------------------------------------------

// Rebuilds both tables from the list: names "<instrument> <channel>", tatoos, channel numbers,
// vector sizes; rings absent. Rings still allocated (a rebuild during an acquisition) are
// released first.
void Reserver_buffer_circu(fichei *liste);

// Reads `nbpointsgraph` (N_nbpointsgraphs of P_Graphs), `sous_ech_2D` (N_sous_ech_2D of
// P_Commande), `diviseur_short_mid` (N_mid) and `diviseur_mid_long` (N_long of P_Graphs), in
// this order (a control that cannot be read leaves its setting as it was), then allocates the
// scalar rings with Allouer_buffer_circu.
void Init_buffer_circu(int panel_commande, int panel_graphs);

// Brings the four settings into range, then gives every scalar record rings of
// `nbpointsgraph` slots: values NaN, reading numbers 0, both curves NaN, counters 0, ring at
// slot 0. Rings still allocated are released first.
void Allouer_buffer_circu();

// 0 when the last allocation gave every scalar record its rings; otherwise the number of
// allocations that failed, and no scalar ring exists until the next allocation.
int Echecs_buffer_circu();

// Gives every vector record of the table 50 value rows and 50 abscissa rows of `taille_voie`
// doubles, all zero, and 50 reading numbers 0. Returns 0, or minus the number of rows that
// could not be allocated. `liste` is the list the tables were built from.
int Init_buffer2D_circu(fichei *liste);

// Release the scalar rings, resp. the vector rows; the tables and counts stay.
void Liberer_buffer_circu();
void Liberer_buffer2D_circu();

// ---- channel references and choice lists ---------------------------------------------------
// A channel reference is the text "%d;%d" of the owning instrument's tatoo and the channel
// number within its kind; the item "(aucun)" has the empty reference.

// Empties list or ring `control_id` of `panel`, then lists "(aucun)" (value "") and every
// scalar channel of the table (label `nom_voie`, value its reference), in table order.
void init_liste_voie(int panel, int control_id);
// The same with the vector channels.
void init_liste_voie2D(int panel, int control_id);

// The first scalar record whose tatoo and channel number are the two integers read from the
// reference (C's "%i;%i": decimal, octal with a leading 0, hexadecimal with 0x), or null.
ptr *get_buffer_from_tatoo(const char *tatoo_voie);
// The same in the vector table.
ptr2D *get_buffer2D_from_tatoo(const char *tatoo_voie);

// ---- sampling step ---------------------------------------------------------------------------

// One sample of the whole bench: the time, every measured vector channel, every measured
// scalar channel, every calculer_1D, every calculer_2D, every computed scalar channel, every
// computed vector channel, then the averages.
void Echantilloner(fichei *liste);

// Stores the measured vector channels; returns the index of the first computed vector record
// (the number of measured vector records), 0 when there is no vector table.
int mettre_donnees2D_dans_Bcirc2D(fichei *liste);
// Stores the measured scalar channels; returns the index of the first computed scalar record
// (the number of measured scalar records), 0 when the scalar rings do not exist.
int mettre_donnees_dans_Bcirc(fichei *liste);
// Calls calculer_1D (resp. calculer_2D) of every instrument that has it, in list order, when
// the scalar rings exist (resp. the vector table exists).
void lancer_calculs_1D(fichei *liste);
void lancer_calculs_2D(fichei *liste);
// Store the computed scalar (resp. vector) channels from table index `premier` on.
void mettre_calculs_dans_Bcirc(int premier, fichei *liste);
void mettre_calculs2D_dans_Bcirc2D(int premier, fichei *liste);

// Brings the mid-term and long-term curves of every scalar channel up to date (once per
// sample, after every ring of the sample is written).
void generer_graphes_moyens();

// ---- for tests -------------------------------------------------------------------------------

// After `reussites` more successful allocations of this module, the next `echecs` allocations
// fail (a negative `echecs`: every later one), then they succeed again. Voies_echec_allocation(0,
// 0) makes them all succeed.
void Voies_echec_allocation(long reussites, long echecs);
