// The global table of every instrument plugin, named after its instrument. The catalogue
// (catalogue.cpp) reaches each plugin through its table only; a plugin includes this header so
// that its definition is checked against the declaration everyone else sees.
#pragma once

#include "framework/bidon_pilote.h"  // pilote_bidon, the framework's reference instrument
#include "framework/instrument.h"

// Frequency counters.
extern PInstrument freq;           // one channel
extern PInstrument freq2v;         // two alternating channels
extern PInstrument freq_sw;        // channels behind RF switches
extern PInstrument HP53131_phase;  // phase

// Power meters and multimeter.
extern PInstrument power_simple;
extern PInstrument power_switch;
extern PInstrument multi;

// Oscilloscope, function generator, gain-phase analyser.
extern PInstrument tek;
extern PInstrument GBF_HP3312A;
extern PInstrument bode_hp;

// Network analyser.
extern PInstrument anritsu;

// Bench devices.
extern PInstrument pilote_valve;
extern PInstrument Electrovanne;
extern PInstrument Regul_Acoustic;
extern PInstrument Pousse_Seringue;
extern PInstrument Pompe_Ismatec;
extern PInstrument DGM110;
extern PInstrument vexo_4v;
extern PInstrument enc_ther;

// Computed-channel instruments.
extern PInstrument Calculatrice;
extern PInstrument boucleur;
extern PInstrument calcul_extremum;
extern PInstrument calcul_moy_stddev;
extern PInstrument fitter;
