// The parallel port's data lines, moved under the program's port lock (see liste.h).
#include <chrono>
#include <thread>

#include "framework/liste.h"
#include "platform/clock.h"
#include "platform/parport.h"
#include "platform/utility.h"

bool Positionner_lignes_port(int lignes, bool haut, double attente_max) {
    // A valve's pulse runs on the program's clock: so does the wait for its end.
    const double limite = horloge::Secondes() + attente_max;
    for (;;) {
        int obtenu = 0;
        if (CmtTryToGetLock(Lock_port_parallele, &obtenu) < 0) return false;  // no lock any more
        if (obtenu) break;
        if (horloge::Secondes() >= limite) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int octet = CVI_inp(kPortParallele);
    CVI_outp(kPortParallele, haut ? (octet | lignes) : (octet & ~lignes));
    CmtReleaseLock(Lock_port_parallele);
    return true;
}
