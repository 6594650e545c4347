// The bench configuration: which GPIB boards exist and how they are reached, which device each
// COM port is, which parallel port the bench uses. It belongs to the run-time layer, like the
// configuration utility of a GPIB driver, and lies outside the program's own settings.
//
// File: BANC_BENCH_CONFIG if set (and not empty), else $HOME/.config/banc/banc.conf. A missing
// file leaves every default. Lines are `key = value`; blank lines are skipped; `#` starts a
// comment at the start of a line or after a blank. Keys (any case):
//   gpib0, gpib1     none | sim | native   (default none: no board)
//   gpib0.<pad>      a simulated instrument at primary address <pad> (0..30) of a simulated
//   gpib1.<pad>      board 0 or 1: a model the simulated bench knows (53131A, 34401A...)
//   com1 .. com16    device path            (default /dev/ttyS<n-1>)
//                    | sim:<model>          a simulated serial device (platform/rs232.h)
//   parport          device path | sim      (default /dev/parport0)
// A line that cannot be used is reported once on stderr, with its line number, and skipped;
// when a key appears twice, the later line wins.
#pragma once

#include <array>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class CarteGpib;
class RegistreDonnees;

// The simulated bench. The run-time layer reaches simulated devices only through these
// factories, which the program's start-up installs (sim/banc.h). Without them, a configuration
// line naming a simulated instrument is refused, and a simulated GPIB board or parallel port
// behaves as absent.
struct FabriquesSimulation {
    // Whether `modele` names a simulated GPIB instrument (any case).
    bool (*modele_gpib_connu)(std::string_view modele) = nullptr;
    // The simulated GPIB board `carte`, with `instruments` (model by primary address) placed at
    // the addresses its bus still has free.
    std::shared_ptr<CarteGpib> (*carte_gpib)(int carte, const std::map<int, std::string> &instruments) =
        nullptr;
    // A simulated data register of the parallel port.
    std::shared_ptr<RegistreDonnees> (*port_parallele)() = nullptr;
    // Whether `modele` names a simulated serial device (any case).
    bool (*modele_serie_connu)(std::string_view modele) = nullptr;
    // Starts the simulated serial device `modele` for COM`port`, or finds the one already
    // started there, and returns the path of the pseudo-terminal it answers on (empty when it
    // cannot). Called at every opening of such a port (platform/rs232.h).
    std::string (*peripherique_serie)(const std::string &modele, int port) = nullptr;
};
void InstallerSimulation(const FabriquesSimulation &fabriques);
const FabriquesSimulation &Simulation();

enum class ModeGpib {
    aucune,   // no board: every call fails with "no board"
    simulee,  // the simulated bus
    native,   // the host's GPIB library (libgpib.so.0), loaded at run time
};

class ConfigBanc {
public:
    static constexpr int kNbCartesGpib = 2;
    static constexpr int kNbPortsCom = 16;

    ConfigBanc();  // the defaults

    // Reads a configuration text; `origine` names it in the reports written to `erreurs`.
    static ConfigBanc Lire(std::istream &texte, std::string_view origine, std::ostream &erreurs);

    // Mode of GPIB board `carte`; aucune for a board number outside 0..kNbCartesGpib-1.
    ModeGpib ModeCarteGpib(int carte) const;
    // Simulated instruments of board `carte`: model by primary address (empty for a board
    // number outside 0..kNbCartesGpib-1). They are used when the board is simulated.
    const std::map<int, std::string> &InstrumentsSimules(int carte) const;
    // Device of COM`numero` (1..kNbPortsCom); empty for another number.
    const std::string &PortCom(int numero) const;
    // Model of the simulated device of COM`numero` ("sim:<model>"); empty when the port is a
    // device path, and for another number.
    std::string PeripheriqueSimuleCom(int numero) const;
    // Device of the parallel port, or "sim".
    const std::string &PortParallele() const { return portParallele_; }
    bool PortParalleleSimule() const { return portParallele_ == "sim"; }

private:
    // Applies one `key = value` line; false with a reason when it cannot be used.
    bool Appliquer(std::string_view cle, std::string_view valeur, std::string &raison);

    std::array<ModeGpib, kNbCartesGpib> gpib_{};
    std::array<std::map<int, std::string>, kNbCartesGpib> instruments_;
    std::array<std::string, kNbPortsCom> com_;
    std::string portParallele_;
};

// The configuration of this run, read on first use (thread-safe).
const ConfigBanc &ConfigurationBanc();
// Path the configuration is read from when none is given.
std::string CheminConfigurationBanc();
// Reads the configuration again, from `chemin`, or from CheminConfigurationBanc() when null.
// The reference given by ConfigurationBanc() stays valid and sees the new values; call it while
// no other thread reads the configuration (tests, start-up).
void RechargerConfigurationBanc(const char *chemin);
