// The RF switches of the switched instruments ("Fréquencemètre Switché", "Powermeter
// Switché"): each switch follows one data line of the parallel port, D2, D3 or D4 (SW1, SW2,
// SW3: bits 4, 8 and 16 of the data register), and the instrument files each reading under the
// position its lines were in while it was measured.
//
// The lines move under the program's port lock, which a valve's pulse holds for as long as the
// pulse lasts, and a move waits for it only so long (Positionner_lignes_port). A reading is thus
// only ever filed under the position the lines really had: when they could not move, the
// instrument measures the same position again and files that reading there too. A switch that
// cannot move is said once on the main panel's status list, "<name> : le switch ne peut pas
// changer de voie (le port parallèle est occupé)", and once more when it moves again, "<name> :
// le switch change de nouveau de voie"; never a pop-up from a bus thread. An init that cannot
// set its lines says why in a pop-up.
#pragma once

#include <cstddef>

#include "framework/signalement.h"

namespace switch_rf {

// The switch lines: D2, D3 and D4 of the data register.
constexpr int kLignesSwitch = 4 | 8 | 16;

// The switch lines of a settings block's `bit_choisi`: those lines only, whatever a settings file
// holds, so that no other plugin's line is ever driven. 0: no switch is chosen.
constexpr int Lignes(int bit_choisi) { return bit_choisi & kLignesSwitch; }

class Commutateur {
public:
    // At init, before the notification is armed: the name the status lines carry; a switch that
    // could not move during an earlier acquisition is over without a line.
    template <std::size_t N>
    void Preparer(const char (&nom)[N]) {
        panne_.Preparer(nom);
    }

    // init, on the user-interface thread: `lignes` low, the switches on their first position.
    // False, nothing written, after a pop-up that says why: no switch is chosen, or the port
    // stayed busy.
    static bool Initialiser(int lignes);

    // A reading cycle, on the notification thread: `lignes` high (`haut`) or low. False when
    // they did not move: no switch is chosen, or the port stayed busy; said once until a move
    // gets through, which is said too.
    bool Deplacer(int lignes, bool haut);

private:
    plugin::PanneNommee panne_;
};

}  // namespace switch_rf
