// Main-panel module: the program's entry point, the main panel "PANNEAU DE COMMANDE" and the
// statics that the acquisition control shares.
#pragma once

#include "framework/instrument.h"
#include "framework/liste.h"  // Lock_port_parallele

#include <cstdio>

// Entry point of the program (called by main): loads the panels, runs the event loop, then
// releases everything. Returns -1 when the user interface cannot start, 0 otherwise.
int Interface_main(int argc, char **argv);
// The two halves of it around the event loop: start-up up to the main panel on screen (-1
// when the user interface cannot start), and the release of panels and instruments.
int Ouvrir_interface(int argc, char **argv);
void Fermer_interface();

// Panel handles of the main window (valid while the program runs).
extern int panel_commande;
extern int panel_timer;
extern int panel_synchro;
extern int panel_instru;
extern int panel_graphs;
extern int onglet_plugins;

// The instrument list, in the order of the list box of "Plugin d'instruments".
extern fichei *liste_instru;

// Acquisition state shared by the main-panel commands.
extern char repertoire_defaut[260];
extern int acquisition_en_cours;
extern int echantillons_demande;
extern int duree_limite;
extern std::FILE *fichier_sequenceur;
extern char repertoire_surveille[260];
extern int nb_graphs;
// Lock_port_parallele, which the main panel creates at start-up and discards at the quit, is
// the framework's (framework/liste.h): the plugins share it.

// The callbacks of the main panel are declared by the generated header "uir/Interface.h".
