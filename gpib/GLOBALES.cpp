// The GPIB helpers shared by the GPIB instruments.
#include "gpib/GLOBALES.h"

#include <cstring>

#include "platform/gpib.h"
#include "platform/ui.h"

#include "gpib/HP5313XA.h"

int ibecr(int device, const char *commande) {
    const char *texte = commande != nullptr ? commande : "";
    return ibwrt(device, texte, static_cast<long>(std::strlen(texte)) + 1);
}

int ibecr2(int device, const char *commande) {
    const char *texte = commande != nullptr ? commande : "";
    return ibwrt(device, texte, static_cast<long>(std::strlen(texte)));
}

void analyse_msg_VI(const char *titre, ViStatus status) {
    char texte[256] = {};
    viStatusDesc(VI_NULL, status, texte);
    MessagePopup(titre, texte);
}

void analyse_msg_freq(const char *titre, ViStatus status) {
    char texte[256] = {};
    hp5313xa_errorMessage(VI_NULL, status, texte);
    MessagePopup(titre, texte);
}

void SwapEndian(void *destination, const void *source, int size) {
    if (size != 2 && size != 4 && size != 8 && size != 16) return;
    if (destination == nullptr || source == nullptr) return;
    // Through a copy, so that a value reversed in place comes out right too.
    unsigned char copie[16];
    std::memcpy(copie, source, static_cast<std::size_t>(size));
    auto *d = static_cast<unsigned char *>(destination);
    for (int i = 0; i < size; ++i) d[i] = copie[size - 1 - i];
}
