// The power meters' replies (instruments/meters/power_commun): the error queue, the identity,
// the sensors' state, the event register of a notification and the two windows' readings, each
// fed any reply. Every step ends (a silent meter times out at once on the fake clock), nothing
// is read or written out of bounds, and a reading cycle counts one reading per window. The
// first byte of the input picks the step, the rest is the reply.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "instruments/meters/power_commun.h"
#include "tests/fuzz/bus_fuzz.h"

namespace {

std::shared_ptr<sim::Enregistreur> appareil;
int ud = -1;
e4419b::Seance seance;  // the cycle's watch: what it says goes nowhere without the program

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *donnees, std::size_t taille) {
    static const bool pret = [] {
        appareil = fuzz::AppareilSurLeBus(7);
        ud = ibdev(0, 7, 0, T10s, 1, 0);
        seance.stop_interruption = e4419b::kCycleEnCours;
        return ud >= 0;
    }();
    if (!pret) __builtin_trap();
    if (taille == 0) return 0;
    const std::string reponse(reinterpret_cast<const char *>(donnees + 1), taille - 1);
    appareil->AjouterSortie(reponse, true);
    switch (donnees[0] % 5) {
    case 0: verif_erreur(ud); break;
    case 1: e4419b::VerifierIdentite(ud); break;
    case 2: e4419b::VerifierCapteurs(ud, e4419b::kCapteursAB); break;
    case 3: {
        int resultat = -1;
        e4419b::Lecture fenetres[2];
        e4419b::MesureTerminee(ud, 0x800, seance, fenetres, &resultat);
        if (resultat != seance.Masque()) __builtin_trap();
        break;
    }
    default: {
        // Both windows read from the same reply stream: the first reply, then what follows.
        appareil->AjouterSortie(reponse, true);
        e4419b::Lecture f1, f2;
        e4419b::LireEtRelancer(ud, seance, f1, f2);
        if (f1.numero != 1 || f2.numero != 1) __builtin_trap();
        break;
    }
    }
    ibclr(ud);
    return 0;
}
