// A simulated peristaltic pump at pump address 1, driven by commands of ASCII text ended by CR:
//   @1       takes the pump under remote control
//   1+0ddd   tube inner diameter in hundredths of a millimetre (three digits)
//   1J, 1K   clockwise, anticlockwise rotation
//   1M       flow-rate mode
//   1H, 1I   run, stop
//   1!       asks for the maximum flow: 15 bytes, "<flow> ml/min" padded with blanks, CR LF
//   1Snnnnn  speed in per-mille of the maximum flow (the sign and digits after the S)
// Every command of the pump's set is answered by one byte: '*' when done, '#' when refused (a
// speed or a diameter that does not read as a number). Commands for another pump address, and
// text that is no command, get no answer.
//
// The maximum flow follows the tube: 50 ml/min with the 1.52 mm tube, growing with the tube's
// cross-section. A test may impose the maximum, or the text of its reply (a reply without a
// number, a maximum of 0), beside the line's own failures (sim/serie/ligne.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/serie/ligne.h"

namespace sim {

class PompeIsmatec final : public serie::Modele {
public:
    struct Etat {
        bool distance = false;   // under remote control (@1)
        int diametre = 152;      // hundredths of a millimetre
        bool horaire = true;
        bool mode_debit = false; // 1M received
        bool en_marche = false;
        int vitesse = 0;         // per-mille of the maximum flow
    };

    void Recevoir(std::string_view octets, serie::Sortie &sortie) override;

    const Etat &LEtat() const { return etat_; }
    // Every command received, without its CR, in order.
    const std::vector<std::string> &Commandes() const { return commandes_; }
    // The maximum flow (ml/min) the pump reports now.
    double DebitMaximum() const;
    // The flow the pump delivers now (ml/min; 0 when stopped).
    double Debit() const;

    // The maximum flow reported, whatever the tube (nullopt: the tube's).
    void ImposerDebitMaximum(std::optional<double> debit) { debitImpose_ = debit; }
    // The exact text of the maximum-flow reply (nullopt: the normal reply).
    void ImposerReponseDebit(std::optional<std::string> texte) { reponseImposee_ = std::move(texte); }

private:
    void Executer(const std::string &commande, serie::Sortie &sortie);

    Etat etat_;
    std::string enCours_;
    std::vector<std::string> commandes_;
    std::optional<double> debitImpose_;
    std::optional<std::string> reponseImposee_;
};

}  // namespace sim
