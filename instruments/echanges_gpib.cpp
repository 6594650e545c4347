// The exchanges that the GPIB plugins have alike (see echanges_gpib.h).
#include "instruments/echanges_gpib.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/gpib.h"
#include "platform/ui.h"

namespace echanges_gpib {

namespace {

constexpr long kResteMax = 1L << 20;  // bytes read off one reply at most
constexpr long kMorceau = 4096;       // bytes read off at a time

bool Chiffre(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Lecture Lire(int ud, void *tampon, long n) {
    const int sta = ibrd(ud, tampon, n);
    return {std::clamp(ThreadIbcntl(), 0L, std::max(n, 0L)), (sta & END) != 0, (sta & ERR) != 0};
}

Lecture LireTexte(int ud, char *texte, long n) {
    const Lecture l = Lire(ud, texte, n);
    texte[l.octets] = '\0';
    return l;
}

void JeterReste(int ud) {
    char tampon[kMorceau];
    for (long total = 0; total < kResteMax;) {
        const Lecture l = Lire(ud, tampon, kMorceau);
        total += l.octets;
        if (l.fin || l.echec || l.octets == 0) return;
    }
}

EnteteBloc LireLongueurBloc(int ud) {
    char chiffre = 0;
    Lecture l = Lire(ud, &chiffre, 1);
    if (l.echec) return {.echec = true};
    if (l.octets != 1 || l.fin || chiffre < '1' || chiffre > '9') return {.fin = l.fin};
    const long n = chiffre - '0';
    char chiffres[9];
    l = Lire(ud, chiffres, n);
    if (l.echec) return {.echec = true};
    if (l.octets != n || !std::all_of(chiffres, chiffres + n, Chiffre)) return {.fin = l.fin};
    long longueur = 0;
    for (long k = 0; k < n; ++k) longueur = longueur * 10 + (chiffres[k] - '0');  // 9 digits at most
    return {.longueur = longueur, .fin = l.fin};
}

void MontrerEchecBus(const char *debut, int ud) {
    char etat[96];
    std::snprintf(etat, sizeof etat, "%d\n iberr=%x \n ibsta=%x\nibcntl=%x", ud, static_cast<unsigned>(iberr),
                  static_cast<unsigned>(ibsta), static_cast<unsigned>(ibcntl));
    MessagePopup("Attention !!!", (std::string(debut) + etat).c_str());
}

}  // namespace echanges_gpib
