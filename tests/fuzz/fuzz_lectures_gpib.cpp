// The GPIB and VISA read paths fed any reply: reads by count, to END, and VISA's formatted
// reads never write past their buffers and always end (time-outs on the program clock, which
// a fake clock makes immediate).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/gpib.h"
#include "platform/visa.h"
#include "tests/fuzz/bus_fuzz.h"

namespace {

std::shared_ptr<sim::Enregistreur> appareil;
int ud = -1;
ViSession session = VI_NULL;

void Preparer() {
    appareil = fuzz::AppareilSurLeBus(5);
    ud = ibdev(0, 5, 0, T1s, 1, 0);
    ViSession rm = VI_NULL;
    viOpenDefaultRM(&rm);
    viOpen(rm, "GPIB0::5::INSTR", 0, 0, &session);
}

// Reads until END or a failure; each read asks for `pas` bytes into a buffer of exactly that
// size, with a guard after it.
void LireParMorceaux(long pas) {
    std::string tampon(static_cast<std::size_t>(pas) + 8, '\x5A');
    for (int k = 0; k < 10000; ++k) {
        const int etat = ibrd(ud, tampon.data(), pas);
        if (ThreadIbcntl() > pas) __builtin_trap();
        for (std::size_t j = static_cast<std::size_t>(pas); j < tampon.size(); ++j)
            if (tampon[j] != '\x5A') __builtin_trap();
        if ((etat & (ERR | END)) != 0) return;
    }
    __builtin_trap();  // a reply of at most the input's length cannot need this many reads
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool pret = (Preparer(), true);
    (void)pret;
    if (taille == 0) return 0;
    const long pas = 1 + donnees[0] % 64;
    const std::string reponse(reinterpret_cast<const char *>(donnees + 1), taille - 1);

    appareil->AjouterSortie(reponse, true);
    LireParMorceaux(pas);
    ibclr(ud);

    appareil->AjouterSortie(reponse, true);
    double reel = 0.0;
    viScanf(session, "%lf", &reel);
    appareil->AjouterSortie(reponse, true);
    char texte[32];
    std::memset(texte, 0, sizeof texte);
    viScanf(session, "%31s", texte);
    appareil->AjouterSortie(reponse, true);
    int a = 0, b = 0;
    viScanf(session, "%d,%d", &a, &b);
    ibclr(ud);
    return 0;
}
