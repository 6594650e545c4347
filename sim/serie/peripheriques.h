// The simulated serial devices that the bench configuration can put on a COM port
// ("com2 = sim:<model>"), by model name, and the lines started for the ports.
//
// Models, in the configuration's spelling (any case):
//   Pousse_Seringue   one to four syringe pumps on one line (sim/bench/pousse_seringue.h)
//   Pompe_Ismatec     a peristaltic pump (sim/bench/pompe_ismatec.h)
//   Regul_Acoustic    a temperature regulator reporting on its own (sim/bench/regul_acoustic.h)
//   DGM110            a concentration analyser pushing its readings (sim/bench/dgm110.h)
//   VEXO              a four-channel acquisition board in lock step (sim/bench/vexo.h)
//   boucle            a loop-back plug: every byte written comes back
// Several models joined by '+' ("Pompe_Ismatec+Pousse_Seringue") share one line: addressed
// devices that speak only when spoken to, each ignoring the lines of the others (LigneCommune).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/serie/ligne.h"

namespace sim::serie {

// Devices sharing one line: every byte the program writes reaches each of them, in order, and
// what each says goes out on the line as it says it. Each keeps its own pace (Reveil, Parler).
class LigneCommune final : public Modele {
public:
    explicit LigneCommune(std::vector<std::shared_ptr<Modele>> appareils) : appareils_(std::move(appareils)) {}

    void Recevoir(std::string_view octets, Sortie &sortie) override;
    double Reveil() const override;
    void Parler(double maintenant, Sortie &sortie) override;

    // The `rang`-th device of the line (in the order of its name), as its model `M`.
    template <class M>
    M &Appareil(std::size_t rang) {
        return dynamic_cast<M &>(*appareils_.at(rang));
    }

private:
    std::vector<std::shared_ptr<Modele>> appareils_;
};

// The models one can name alone (a line shared by several joins their names with '+').
std::vector<std::string> ModelesConnus();
// `modele` names known models: one, or several joined by '+'.
bool ModeleConnu(std::string_view modele);
// A new device of `modele` (a LigneCommune for several); null when a name is unknown.
std::shared_ptr<Modele> CreerModele(std::string_view modele);

// The line of COM`port` (1..16) running `modele`: the one already started there when it runs
// that model, else a new one (replacing another model's). Null for an unknown model, a bad port
// number, or when the system gives no pseudo-terminal. Lines stay until ArreterLignes, so a
// device keeps its state while the program closes and reopens its port.
std::shared_ptr<Ligne> DemarrerLigne(std::string_view modele, int port);
// The path of that line's terminal (empty without a line): the factory the run-time layer
// calls when it opens a port configured "sim:<model>" (FabriquesSimulation::peripherique_serie).
std::string CheminPeripherique(const std::string &modele, int port);
// Puts a new line running `modele` (a device the caller made, under the model name `nom`) on
// COM`port`, in place of the one there: a test's own set of devices. Null when the system gives
// no pseudo-terminal or for a bad port number.
std::shared_ptr<Ligne> BrancherLigne(std::shared_ptr<Modele> modele, std::string_view nom, int port);
// The line now on COM`port`, or null.
std::shared_ptr<Ligne> LigneDuPort(int port);
// Stops every line (their terminals go away).
void ArreterLignes();

}  // namespace sim::serie
