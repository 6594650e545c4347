// GPIB bus scan of the main panel: the window "Scan GPIB bus" lists the devices that listen on
// board 0, at addresses 1 to 30, with their answer to "*IDN?", so that the operator can find the
// addresses to enter in the instruments' configuration panels.
//
// Callbacks (declared by "uir/Interface.h", bound by name): Prog_Scan_GPIB (button GPIB_SCAN of
// P_Commande) opens a new scan window, DO_Scan (BTN_SCAN) scans and fills its table, Fermer_Scan
// (BTN_DONE) closes it.
//
// A scan and an acquisition exclude each other: a scan sends "*IDN?" to every listener, which
// would clear the replies of instruments being measured. While at least one scan window is open
// the start button COMMANDBUTTON_Acq is dimmed and Prog_Acquisition does not start; it comes
// back when the last scan window closes. While an acquisition runs no scan window opens and no
// scan runs.
#pragma once

// Scan windows now open on the current main panel (windows left over from a main panel that
// was closed since are not counted).
int Fenetres_scan_ouvertes();
