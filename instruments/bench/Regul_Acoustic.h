// "Regul Acoustic": the bench's temperature regulator on a serial port. Two scalar channels:
// 1 "Regulation", the temperature the regulator reports on its own, and 2 "Consigne", the last
// set-point sent to it. No status, no vector or computed channel.
//
// Every acquisition start (`init`) loads the manual-control panel "Pilotage" once, opens the
// port (9600 baud, 8N1, no flow control, 5 s time-out on every read and write) and sends the
// set-point; `start` empties the input queue and installs the receive callback on the report's
// first byte 't'; `stop` hides the manual-control panel and removes the callback. The port stays
// open until the next init, or until the instrument is freed.
//
// While acquiring, a regulator that sends no report for 10 s (or three times its own interval)
// is said once on the main panel's status list, and again when it reports anew; a set-point
// command (`execute`) that it does not take during an acquisition is said there too, instead of
// the pop-up that the start and the manual-control panel show.
//
// Wire format. The regulator reports by itself: 't', the temperature as decimal text, LF (a CR
// before the LF is harmless). A set-point is an exchange: the computer sends 'c', the regulator
// answers 'y' (other bytes meanwhile are dropped), and 0.1 s later the computer sends the value
// as "%2.2f" followed by two CRs ("20.00\r\r"). The set-point goes out at every init, on the
// command "consigne=<°C>" of `execute` and from the manual-control panel's "Envoyer"; the
// configuration panel's set-point waits for the next init. A set-point whose text does not fit
// the regulator's 7 characters (below -999.99 or above 9999.99) is never sent.
//
// Settings block (144 bytes, little-endian; get_memory flag 0, up to the record's end marker):
// 0 nom_instrument char[128], 128 com_port int32, 132 panel_pilotage int32 (the handle of the
// run that saved it: never taken for a live one), 136 consigne double (°C).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Catalogue type key "Regul_Acoustic.dll"; its table `Regul_Acoustic` is declared with every
// plugin's in instruments/tables.h.
#include "instruments/tables.h"

// The temperature of a report's text (what comes between 't' and LF, at most 50 bytes): its
// leading number as every reply's is read (nombres::LireReel, gpib/nombres.h: white space, sign,
// digits with a point, exponent; no "inf", "nan" or hexadecimal), 0.0 when there is none.
double Regul_Acoustic_temperature(std::string_view texte);

// The bytes that carry `consigne` to the regulator after its 'y': "%2.2f" and two CRs, at most
// 9 bytes. Nothing for a set-point whose text would need more (or that is no number).
std::optional<std::string> Regul_Acoustic_message_consigne(double consigne);
