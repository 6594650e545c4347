// The 3D view of one vector channel.
#pragma once

#include "framework/instrument.h"

int InitGraph3D(int nb_voies2D);
void Visu3D(ptr2D *table);
int DiscardGraph3D();
