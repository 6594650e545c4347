// Graph windows of the scalar channels and the measurement table.
#pragma once

#include "framework/instrument.h"

void Init_graphtab(int nb_voies, int nb_graphes, ptr *table);
void Visu2D(int nb_voies, ptr *table);
void MAJ_graphs(int n, int nb_points);
void DiscardGraphTab();
