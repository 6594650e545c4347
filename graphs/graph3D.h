// The 3D view of one vector channel: while an acquisition runs, the newest 50 vectors of the
// channel chosen in the window, drawn as a surface of 50 positions along the vector (around a
// chosen centre sample, with a chosen spacing) against the 50 vectors in time order, coloured
// from black at the bottom of the Z axis through blue to red at the top.
//
// The acquisition drives it through the display hooks of framework/affichage.h: InitGraph3D at
// the start, Visu3D after every sample, DiscardGraph3D at the stop.
#pragma once

#include "framework/instrument.h"

// Opens the view; 0, or -1 when its panel or its 3D control cannot be made (a pop-up says so).
int InitGraph3D(int nb_voies2D);
// Redraws the view from the chosen channel, when the view is open.
void Visu3D(ptr2D *table);
// Closes the view; 0.
int DiscardGraph3D();

// Panel callback of the view: a new window size is handed to the 3D control.
int P_Graph3D_Callback(int panel, int event, void *callbackData, int eventData1, int eventData2);

// The surface as last rebuilt (row: position along the vector, column: vector, oldest first).
extern double data3D[50][50];
// Handle of the view's panel (0 when there is no view) and id of its 3D control.
extern int panel3D;
extern int ctrl3D;
