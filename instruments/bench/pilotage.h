// What the bench devices' plugins share around an acquisition start: the manual-control panel
// that the first `init` loads, and the serial port that every `init` opens; and the first steps
// of the receive callbacks of the devices that push their readings.
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

// The port that an init opens: `comPort` from the settings, which becomes `portOuvert`, the
// port that commands, panels and `liberer` use until the next init. A port opened by an earlier
// init and chosen no longer is closed first, unless another instrument's `portOuvert` names it:
// a port stays open while any instrument uses it (two devices whose ports were swapped, the
// new owner earlier in the list; devices sharing a line).
int PortDeLInit(int &portOuvert, int comPort);
// The instrument lets go of its port (`liberer`): closed unless another instrument uses it.
void LacherPort(int &portOuvert);

// A receive callback's first look: true when bytes wait in the port's input queue, looking once
// more after 0.1 s when none does yet (an earlier call, or an exchange of the user-interface
// thread, may have taken the bytes that raised the event).
bool OctetsEnAttente(int port);
// Reads and drops the bytes already waiting, up to and including `caractere`; true when it
// came. Only bytes already in the queue are read: an event character that an earlier read took
// leaves nothing to wait for, and the next one calls the callback again.
bool SauterJusqua(int port, int caractere);

}  // namespace banc
