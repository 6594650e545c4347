// The panels of the bench devices' plugins, on whatever line the device sits (serial, parallel
// port, GPIB): the manual-control panel that the first `init` loads, and the configuration panel
// that `configure` loads and its OK closes.
#pragma once

#include <cstdint>

#include "framework/plugin.h"

namespace banc {

// The manual-control panel `idPanneau` of `fichier`, loaded by the instance's first init and
// kept for its life (its activity discards it with the instance). `panneau` holds the handle of
// this run: 0 before the first init, negative when that load failed (no panel is loaded again:
// the later inits go on without one). `champBloc`, the handle field of the settings block, gets
// the same value, as the settings files have it, and is never read: after a settings load it
// names a panel of another run. False when this call loaded the panel and the load failed (the
// init then fails).
bool ChargerPilotage(int &panneau, std::int32_t &champBloc, plugin::Activite &activite, const char *fichier,
                     int idPanneau);

// A new copy of the configuration panel `idPanneau` of `fichier`, whose OK button `ok` gets
// `donnees` (the record) as callback data, recorded in the activity; the caller fills and
// displays it. 0 when it cannot be loaded (nothing else is done).
int ChargerConfiguration(plugin::Activite &activite, const char *fichier, int idPanneau, int ok, void *donnees);
// OK of that panel, once its values are read: the panel goes (`activite` null when the callback
// got no record).
void FermerConfiguration(plugin::Activite *activite, int panel);

}  // namespace banc
