// A simulated four-channel acquisition board on a serial line (9600 baud, 8N1), which talks
// in lock step: every byte it sends after a call waits for the computer's EOT (0x04).
//
// After a reset (power-on, Reinitialiser: the operator resets the board and switches it to
// computer use) the board calls the computer: ETX (0x03), again every 3 s of program time until
// an EOT answers (bytes before its first call are ignored). It then sends its status '7' and
// waits for the computer's request, ETX, which it acknowledges with EOT; it takes the next 17
// bytes as its configuration, calls again (ETX), answers the EOT with its status '8',
// acknowledges the next request and takes one byte as its sampling period in seconds (0 counts
// as 1) and then an EOT. From then on it acquires: once per
// period it calls (ETX) and, for every EOT, sends the next byte of a 20-byte frame: two 16-bit
// and four 32-bit signed counts, most significant byte first. The counts are 10000, 20000, 30000
// and 40000 plus the frame's number, unless a test imposes them.
//
// Where the computer is slow or lost, the model behaves as below. This is the model's own
// choice, not the real board's (whose firmware decides, and which the plugin does not rely on
// beyond the exchange above): it gives the tests a board that starts its handshake again in the
// middle of an acquisition, which the plugin must recognise among a frame's bytes.
// - an EOT while the board waits for a request (the computer timed out, or answered a call it
//   found late) makes it call again and repeat its status at once;
// - a frame still waiting for EOTs when the next period comes is not replaced (a frame cut
//   short is given up then); once three periods have passed without an acknowledgement (program
//   time, however few times the board was woken meanwhile) the board takes the computer for gone
//   and calls again, as after a reset: the next acquisition start finds it calling, as the
//   operator's reset would leave it.
//
// Failures, beyond those of the line (sim/serie/ligne.h: silence, garbage, unplugging, delay):
// wrong status bytes ('6' for '7', '9' for '8', each followed by a new call), bytes before the
// calls, a 0x00 before each frame's ETX, frames cut after a number of bytes, a reset in the
// middle of a frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/bench/cadence.h"
#include "sim/serie/ligne.h"

namespace sim {

class CarteVexo final : public serie::Modele {
public:
    enum class Etape { Appel1, Requete1, Configuration, Appel2, Requete2, Periode, Acquisition };
    static constexpr std::size_t kTailleConfiguration = 17;
    static constexpr std::size_t kTailleTrame = 20;

    CarteVexo();

    void Recevoir(std::string_view octets, serie::Sortie &sortie) override;
    double Reveil() const override { return cadence_.Prochaine(); }
    void Parler(double maintenant, serie::Sortie &sortie) override;

    // The operator resets the board: it calls the computer at once.
    void Reinitialiser();

    Etape LEtape() const { return etape_; }
    // The configuration bytes last received.
    const std::string &Configuration() const { return configuration_; }
    // The period byte last received (-1: none yet).
    int OctetPeriode() const { return octetPeriode_; }
    // Frames sent whole and acknowledged.
    int Trames() const { return trames_; }
    // Calls (ETX outside frames) sent so far.
    int Appels() const { return appels_; }
    // A frame was called and is not over (nor given up).
    bool TrameEnCours() const { return enTrame_; }

    // The four counts of the frames (nullopt: the board's own).
    void ImposerComptes(std::optional<std::array<std::int32_t, 4>> comptes) { comptes_ = comptes; }
    // The two 16-bit fields that begin the frames (nullopt: the board's own, 1 and -1).
    void ImposerEpsilons(std::optional<std::array<std::int16_t, 2>> epsilons) { epsilons_ = epsilons; }
    // The next `premier` status bytes '7' and the next `second` status bytes '8' are wrong.
    void FixerStatutsFaux(int premier, int second = 0) { statutsFaux_ = {premier, second}; }
    void FixerBruitAvantAppel(std::string octets) { bruitAppel_ = std::move(octets); }
    void FixerZeroAvantTrame(bool zero) { zeroAvantTrame_ = zero; }
    // Frames stop after `n` bytes (nullopt: whole frames): the board then keeps silent until
    // the next period, which gives the frame up and sends none.
    void CouperTrames(std::optional<std::size_t> n) { coupe_ = n; }
    // The operator resets the board once it has sent `octets` bytes of its next frame (0: only
    // the frame's call), while the computer's acknowledgement of the last of them is on its way:
    // the board's call crosses that EOT and takes it for its answer, so its status '7' follows.
    void ReinitialiserApres(std::size_t octets) { reinitialiserApres_ = octets; }

private:
    void Appeler(serie::Sortie &sortie);
    void Statut(char bon, Etape suivante, serie::Sortie &sortie);
    void Acquerir(double maintenant);
    // The computer is gone (see above): the board calls again. True when it did.
    bool Oublier(double maintenant, serie::Sortie &sortie);
    std::array<unsigned char, kTailleTrame> Trame() const;
    void Recevoir(unsigned char c, serie::Sortie &sortie);

    Etape etape_ = Etape::Appel1;
    Cadence cadence_;
    std::string configuration_;
    int octetPeriode_ = -1;
    int trames_ = 0;
    int appels_ = 0;

    bool enTrame_ = false;          // a frame's ETX was sent and the frame is not over
    std::size_t envoyes_ = 0;       // bytes of that frame sent
    std::array<unsigned char, kTailleTrame> trame_{};
    double dernierSigne_ = 0.0;     // program time of the computer's last acknowledgement
                                    // while acquiring (or of the frame's call)
    bool aAppele_ = false;          // called since the last reset: an EOT answers the call

    std::optional<std::array<std::int32_t, 4>> comptes_;
    std::array<int, 2> statutsFaux_{};
    std::string bruitAppel_;
    bool zeroAvantTrame_ = false;
    std::optional<std::size_t> coupe_;
    std::optional<std::array<std::int16_t, 2>> epsilons_;
    std::optional<std::size_t> reinitialiserApres_;
};

}  // namespace sim
