// Graph windows are not built yet: the acquisition calls these at its start, at every sample
// and at its stop, and they show nothing for now.
#include "graphs/graphtab.h"

void Init_graphtab(int, int, ptr *) {}
void Visu2D(int, ptr *) {}
void MAJ_graphs(int, int) {}
void DiscardGraphTab() {}
