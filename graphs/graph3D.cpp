// The 3D view is not built yet: the acquisition calls these and they show nothing for now.
#include "graphs/graph3D.h"

int InitGraph3D(int) { return 0; }
void Visu3D(ptr2D *) {}
int DiscardGraph3D() { return 0; }
