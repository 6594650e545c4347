// Main-panel module: the program's entry point, the main panel "PANNEAU DE COMMANDE" and the
// statics that the acquisition control shares.
#pragma once

#include <cstdio>

// Entry point of the program (called by main): loads the panels, runs the event loop, then
// releases everything. Returns -1 when the user interface cannot start, 0 otherwise.
int Interface_main(int argc, char **argv);

// Panel handles of the main window (valid while the program runs).
extern int panel_commande;
extern int panel_timer;
extern int panel_synchro;
extern int panel_instru;
extern int panel_graphs;
extern int onglet_plugins;

// Acquisition state shared by the main-panel commands.
extern char repertoire_defaut[260];
extern int acquisition_en_cours;
extern int echantillons_demande;
extern int duree_limite;
extern std::FILE *fichier_sequenceur;
extern char repertoire_surveille[260];
extern int nb_graphs;
// Serialises read-modify-write of the parallel-port data byte between instruments.
extern int Lock_port_parallele;

// Callbacks of the main panel handled here.
int Prog_Quitter(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CB_TABS(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
