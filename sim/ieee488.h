// An IEEE 488.2 instrument on the simulated bus, speaking SCPI: the base of the simulated
// counters, meters and oscilloscope.
//
// What every such instrument does here:
// - Program messages end at a line feed (outside strings and blocks) or with END; the units are
//   read by sim/scpi.h and run in order. A unit that matches no command is an error -113
//   ("Undefined header"), unless the instrument accepts unknown commands (then it only notes
//   them); a syntax error drops the rest of the message.
// - The replies of the queries of one message go out as one response message, joined by ';',
//   ended by a line feed with END. A new message that comes while a reply is unread clears it
//   (-410, "Query INTERRUPTED"); a read with nothing to read and nothing coming gets -420.
// - Status: Standard Event Status Register (ESR; *ESR? reads and clears it) and its enable
//   register (*ESE); status byte with MAV (bit 4, a reply is waiting), ESB (bit 5: ESR & ESE),
//   EAV (bit 2, the error queue is not empty) and the personality's own bits; Service Request
//   Enable (*SRE). The device requests service when (status byte & SRE) becomes non-zero (a
//   rising edge); a serial poll returns the status byte with bit 6 set and clears the request,
//   which also drops when the reason goes away. *STB? reads the status byte without clearing.
// - An overlapped operation (a measurement) runs for a time on the program's clock: *OPC sets
//   ESR bit 0 when it has ended (at once when none runs), *OPC? answers "1" then, and *WAI
//   holds the commands that follow it until then.
// - Error queue of 10 entries read by :SYST:ERR? ("+0,\"No error\"" when empty; the last entry
//   becomes -350 "Queue overflow" when full); each error sets its ESR bit (CME 0x20 for -1xx,
//   EXE 0x10 for -2xx, DDE 0x08 for -3xx and device errors, QYE 0x04 for -4xx).
// - Common commands: *IDN?, *RST, *CLS, *ESE, *ESE?, *ESR?, *SRE, *SRE?, *STB?, *OPC, *OPC?,
//   *WAI, *TRG, *TST? ("+0"); device clear empties the input, the output and the held commands.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/appareil.h"
#include "sim/scpi.h"

namespace sim {

class Appareil488;

// One command as a personality's action sees it.
class Appel {
public:
    Appel(const scpi::Unite &unite, std::vector<int> suffixes, std::vector<std::string> &reponses,
          Appareil488 &appareil)
        : unite_(unite), suffixes_(std::move(suffixes)), reponses_(reponses), appareil_(appareil) {}

    const scpi::Unite &Unite() const { return unite_; }
    // Numeric suffix of the i-th '#' node of the command (1 when none was written).
    int Suffixe(std::size_t i = 0) const { return i < suffixes_.size() ? suffixes_[i] : 1; }
    std::size_t NombreParametres() const { return unite_.parametres.size(); }
    // Parameter i read as a number, a whole number, a boolean (ON, OFF, 1, 0) or a word in upper
    // case. A missing or unfit parameter puts the error (-109 or -224) and gives false.
    bool Nombre(std::size_t i, double &v);
    bool Entier(std::size_t i, int &v);
    bool Booleen(std::size_t i, bool &v);
    bool Mot(std::size_t i, std::string &v);
    // Puts -108 when more than `n` parameters were given; false then.
    bool AuPlus(std::size_t n);
    void Repondre(std::string texte) { reponses_.push_back(std::move(texte)); }
    void Erreur(int code, std::string_view texte = {});

private:
    const scpi::Unite &unite_;
    std::vector<int> suffixes_;
    std::vector<std::string> &reponses_;
    Appareil488 &appareil_;
};

using Action = std::function<void(Appel &)>;

class Appareil488 : public Appareil {
public:
    explicit Appareil488(std::string identite);

    // ---- for tests (thread-safe) --------------------------------------------------------------
    void FixerIdentite(std::string identite);
    std::string Identite() const;
    // Accepts commands it does not know, noting them, instead of putting -113.
    void AccepterInconnues(bool oui);
    std::vector<std::string> CommandesInconnues() const;
    std::vector<std::pair<int, std::string>> Erreurs() const;  // the queue, left as it is
    std::uint8_t RegistreEvenements() const;                    // ESR, left as it is
    // Ends the overlapped operation now (the signal it waited for came).
    void TerminerOperation();
    bool OperationEnCours() const;
    // Puts an error in the queue, as the instrument would on its own.
    void AjouterErreur(int code, std::string texte);

    // The standard text of an error number (used when a command gives none).
    static std::string TexteErreur(int code);

protected:
    // Adds a command of the personality: `motif` as sim/scpi.h reads it. The first command
    // that matches runs, the common commands (registered first) before the personality's. To
    // be called from the personality's constructor.
    void Commande(std::string_view motif, Action action);

    // ---- hooks, called with the lock held ---------------------------------------------------
    virtual void Reinitialiser() {}        // *RST: the settings back to their defaults
    virtual void Declencher() {}           // *TRG
    virtual void OperationTerminee() {}    // the overlapped operation has ended
    virtual std::uint8_t BitsEtat() { return 0; }  // its own bits 0, 1, 3 and 7 of the status byte

    // ---- tools (lock held) ------------------------------------------------------------------
    // Starts an overlapped operation that ends `duree` program seconds from now (kJamais: when
    // TerminerOperation is called).
    void DemarrerOperation(double duree = kJamais);
    void Erreur(int code, std::string_view texte = {});

    friend class Appel;

private:
    struct Travail {
        std::vector<scpi::Unite> unites;
        std::size_t suivante = 0;
        std::vector<std::string> reponses;
    };
    struct Commandes {
        scpi::Motif motif;
        Action action;
    };

    void Recu(std::string_view octets, bool fin) override;
    std::uint8_t OctetEtat() override;
    void Efface() override;
    void LectureSansDonnees() override;
    double ProchainEvenement() override;
    void Avancer(double maintenant) override;
    void Actualiser() override;

    void Executer(std::string_view message);
    // Runs the units of `t` in order; false when held by *WAI (or *OPC?) behind an operation.
    bool Executer(Travail &t);
    void Lancer(const scpi::Unite &u, std::vector<std::string> &reponses);
    void Reprendre();
    void FinOperation();
    void CommandesCommunes();

    std::string identite_;
    bool permissif_ = false;
    std::vector<std::string> inconnues_;
    std::vector<Commandes> commandes_;
    std::string entree_;
    bool entreeCommencee_ = false;
    std::deque<Travail> differes_;
    std::uint8_t esr_ = 0, ese_ = 0, sre_ = 0;
    bool mss_ = false;
    std::deque<std::pair<int, std::string>> erreurs_;
    bool operation_ = false;
    double finOperation_ = kJamais;
    bool opcArme_ = false;
};

}  // namespace sim
