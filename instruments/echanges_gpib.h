// The exchanges that the GPIB instrument plugins have with their instruments alike, written
// once: one read and what it brought, a text reply ended at the bytes received, the header of a
// definite-length block, the rest of a reply read off, and the pop-up of a start step that the
// bus refused. The number at the head of a reply is read by gpib/nombres.h; the opening of the
// device and its offline are in ouverture_gpib.h; the faults of a running cycle in panne_gpib.h.
#pragma once

#include <cstddef>

namespace echanges_gpib {

// What one read of at most `n` bytes brought.
struct Lecture {
    long octets = 0;     // bytes received, 0 to n (a count beyond what was asked is bounded)
    bool fin = false;    // END came with the last byte: the reply is over
    bool echec = false;  // the read failed: no reply in time, nobody there
};
Lecture Lire(int ud, void *tampon, long n);

// A text reply of at most `n` bytes into `texte` (n + 1 bytes), ended after the bytes received
// (empty when none came).
Lecture LireTexte(int ud, char *texte, long n);
// The same into a whole array, its last byte kept for the end of the text.
template <std::size_t N>
Lecture LireTexte(int ud, char (&texte)[N]) {
    static_assert(N > 1);
    return LireTexte(ud, texte, static_cast<long>(N - 1));
}

// Reads off and drops the rest of the reply `ud` is sending, up to its END, so that the next
// exchange starts in step. A device that never ends its message is left after 1 MiB.
void JeterReste(int ud);

// The length that the header of a definite-length block announces, read after its "#": one
// digit n of 1..9, then n decimal digits. Nothing of the reply is read off here: the caller
// knows whether what follows is wanted.
struct EnteteBloc {
    long longueur = -1;  // the length; -1 when the header is malformed or cut short
    bool fin = false;    // the reply ended with the last byte read
    bool echec = false;  // a read failed (then longueur is -1)
};
EnteteBloc LireLongueurBloc(int ud);

// The pop-up "Attention !!!" of a start step that the bus refused: `debut`, then the descriptor
// and the status of the call that failed, "<ud>\n iberr=<x> \n ibsta=<x>\nibcntl=<x>" (each in
// hexadecimal, on 32 bits).
void MontrerEchecBus(const char *debut, int ud);

}  // namespace echanges_gpib
