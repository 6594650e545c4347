// The GPIB helpers shared by the GPIB instruments: command writers, error pop-ups and byte-order
// reversal.
#pragma once

#include "platform/visa.h"

// Writes `commande` followed by its terminating NUL, as one message (strlen + 1 bytes).
// Returns ibwrt's status; shows nothing.
int ibecr(int device, const char *commande);
// Writes `commande` without its NUL (strlen bytes). Returns ibwrt's status; shows nothing.
int ibecr2(int device, const char *commande);
// Shows VISA's text of `status` in a message pop-up titled `titre`.
void analyse_msg_VI(const char *titre, ViStatus status);
// Shows the counter driver's text of `status` (its own codes and VISA's) in a message pop-up
// titled `titre`.
void analyse_msg_freq(const char *titre, ViStatus status);
// Copies the value of `size` bytes at `source` to `destination` with its byte order reversed,
// for sizes 2, 4, 8 and 16; any other size writes nothing. `destination` may be `source`.
void SwapEndian(void *destination, const void *source, int size);
