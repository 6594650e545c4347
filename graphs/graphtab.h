// Graph windows of the scalar channels and the measurement table.
//
// While an acquisition runs, each graph window shows a left and a right channel chosen in the
// window, each on its own y axis and in its own colour, at three time scales: the raw values of
// the channel's ring (GRAPH), its mid-term (GRAPH_2) and its long-term (GRAPH_3) average curve,
// with the span of every y axis beside its graph. The measurement table gains a row of the
// newest value of every scalar channel at each sample and keeps the newest 501 rows.
//
// The acquisition drives this module through the display hooks of framework/affichage.h:
// Init_graphtab at the start, Visu2D after every sample, MAJ_graphs when the operator changes
// the number of windows, DiscardGraphTab at the stop. Nothing here is saved.
#pragma once

#include "framework/instrument.h"

// One graph window. (Names beginning with an underscore and a capital are the compiler's, so
// the record is LC_GRAPH.)
struct LC_GRAPH {
    int panelGraph;           // its P_Graph panel
    int panelChoixAxe;        // its P_Choix panel (scaling of GRAPH)
    int handle_plot_gauche;   // plots drawn at the last refresh: left and right trace on GRAPH,
    int handle_plot_droite;   // GRAPH_2 and GRAPH_3
    int handle_plot_gauche_2;
    int handle_plot_droite_2;
    int handle_plot_gauche_3;
    int handle_plot_droite_3;
    int color_left;           // colour of the left traces, 0xRRGGBB
    int color_right;          // colour of the right traces
    LC_GRAPH *next;
};

// The windows, the last one built at the start first; null outside an acquisition.
extern LC_GRAPH *graphs;
// The number of windows in `graphs` (1 before the first acquisition).
extern int nbgraphs;

// Builds the table (one column per channel of `table`) and `nb_graphes` windows.
void Init_graphtab(int nb_voies, int nb_graphes, ptr *table);
// Refreshes every window, then appends a table row.
void Visu2D(int nb_voies, ptr *table);
// Adds windows at the end of the list, or removes the last ones, until there are `n`; n below
// 1 changes nothing.
void MAJ_graphs(int n, int nb_points);
// Discards every window and the table.
void DiscardGraphTab();

// Panel callback of every P_Graph: its close button does not close it.
int CB_panel_graph(int panel, int event, void *callbackData, int eventData1, int eventData2);
