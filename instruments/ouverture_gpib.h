// The opening of a GPIB instrument at init, as the plugins run it: the board looked for, the
// device opened at its address, cleared, asked whether anything listens there, and for most
// instruments asked who it is ("*IDN?") and recognised by its model. Each step that fails shows
// its pop-up and ends the opening:
//   - no board: "Problème de carte" / "Carte GPIB non détectée";
//   - nothing listens at the address: the instrument's own message (for most, "PAS BON" /
//     "Il faudrait penser à brancher <l'instrument> à l'adresse <N> !!!");
//   - another model answers: "Erreur" / "Modèle non supporté par ce module !".
// What the plugins differ in is said by Ouverture: whether the board is looked for, the
// secondary address and end-of-string mode of the device, the listener message, the model and
// how its reply is read, and what becomes of the new device when the opening fails.
//
// The steps are also offered one by one, for the inits that run other steps between them.
#pragma once

#include <functional>
#include <span>

namespace plugin {
class Activite;
}

namespace ouverture_gpib {

// How the model is looked for in the reply to "*IDN?".
enum class Recherche {
    Octets,  // among the bytes received, a NUL byte being one like any other
    Texte,   // in the text of the reply, which ends at its first NUL byte
};

struct Identite {
    const char *modele = nullptr;           // looked for in the reply; none: no identity check
    std::span<const char *const> avant{};   // commands written (ibecr) before "*IDN?"
    long longueur = 250;                    // bytes of the reply read at most
    Recherche recherche = Recherche::Octets;
    // A read that reports more bytes than `longueur` counts as `longueur` bytes (otherwise as
    // none); a negative count is none.
    bool compte_borne = false;
    bool question_verifiee = false;  // the reply is read only when "*IDN?" went out
};

// What nothing listening at the address shows.
struct Absence {
    const char *titre = "PAS BON";
    const char *texte = "";
    bool adresse = true;  // the text followed by the address and " !!!"
};

// What becomes of the new device when a step fails after it was opened.
struct Retrait {
    // Given the descriptor (-1 when the board refused the address). Empty: nothing, the caller
    // keeps the device.
    std::function<void(int ud)> action;
    bool avant_message = false;  // before the step's pop-up, else after it
};
// The device taken offline (ibonl(ud, 0)), whatever the descriptor.
void HorsLigne(int ud);
// Likewise, but only a descriptor that ibdev gave, not its -1 of a refused address (a device
// descriptor is never 0: the boards hold 0 and 1).
void HorsLigneSiOuvert(int ud);
// The device of the last init taken offline, when there is one (`ud` not negative): ibonl
// disarms a notification still armed on it, waiting for a callback that runs, so that nothing
// of that device's cycle reaches the record any more. The activity forgets the notification
// and `ud` becomes -1.
void Fermer(int &ud, plugin::Activite &activite);

struct Ouverture {
    bool verifier_carte = true;  // ibfind("GPIB0") first
    int sad = 0;                 // secondary address of the device and of the listener check
    int eos = 1;                 // end-of-string mode of the device
    Absence absence{};
    Identite identite{};  // none by default: no identity check
    Retrait retrait{};
};

// ibfind("GPIB0"): the board's descriptor, or -1 after "Problème de carte".
int Carte();

// A device clear, then whether anything listens at `adresse` (secondary address `sad`). False
// after the pop-up of `absence` (and `retrait`) when nothing does.
bool Ecouteur(int ud, int adresse, int sad, const Absence &absence, const Retrait &retrait = {});

// The identity check: `avant`, "*IDN?", the reply read and searched for the model. False after
// "Modèle non supporté par ce module !" (and `retrait`) when it is not there. True without a
// word to the device when no model is given.
bool Identifier(int ud, const Identite &identite, const Retrait &retrait = {});

// The whole opening: the board (when asked), the device at `adresse` on board 0 (10 s time-out,
// END with each write's last byte, `o.sad`, `o.eos`), Ecouteur, Identifier. -1 when a step
// failed; otherwise `ud` holds the new descriptor and the result is the board's descriptor (0
// when the board was not looked for).
int Ouvrir(int adresse, const Ouverture &o, int &ud);

}  // namespace ouverture_gpib
