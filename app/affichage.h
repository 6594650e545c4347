// What the main panel shows of an acquisition: the look of its controls while acquiring or
// stopped, and the hooks that hand the channel tables to the graph windows and the 3D view.
#pragma once

// Controls that must not change while an acquisition runs are dimmed; "Piloter" is available.
void Mode_boutons_acq(int panel_commande, int panel_instru, int panel_graphs);
// The stopped look: the reverse.
void Mode_boutons_stopped(int panel_commande, int panel_instru, int panel_graphs);

// Display hooks: each passes the right channel table to the graphs, and does nothing when
// there is no channel of its kind.
void Visu();
void Init2D(int nb_graphes);
void MAJ2D(int nb_graphes);
void Discard2D();
void Init3D();
void Discard3D();
