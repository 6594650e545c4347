// A measuring IEEE 488.2 instrument of the simulated bench (the universal counter, the
// multimeter): what they share on top of sim/ieee488.h.
//
// - A measurement is the instrument's overlapped operation: it runs for a time on the program's
//   clock (for ever when its signal or trigger never comes), and *OPC completes when it ends.
// - A reading query sent while a measurement runs is answered when it ends, as the real
//   instruments hold such a query (the reply is then a message of its own); a read that starts
//   while a measurement runs is not a query error.
// - Aborting a measurement (a new function, ABORt) stores nothing and completes nothing: an armed
//   *OPC then waits for the next measurement to end.
// - Settings are registered as SCPI commands with their query (the pattern with '?'), each in
//   one line: booleans (ON, OFF, 1, 0 -> "1" / "0"), numbers within bounds (else -222), words
//   among the instrument's keywords (short or long form, answered in the short form).
// - Tests can make any of its own commands put an error in the queue (ErreurApres).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ieee488.h"

namespace sim {

// A number as the instruments send it: sign, one digit, `decimales` decimals, "E", sign and an
// exponent of `chiffresExposant` digits ("+1.000000000000E+007"). Not a number gives the SCPI
// 9.91E37.
std::string TexteNombre(double v, int decimales, int chiffresExposant);

class AppareilMesure : public Appareil488 {
public:
    explicit AppareilMesure(std::string identite);

    // ---- for tests (thread-safe) --------------------------------------------------------------
    // Each time the command registered as `motif` runs, error `code` joins the queue.
    void ErreurApres(std::string motif, int code);
    // Readings completed since the instrument was made.
    int MesuresFaites() const;
    bool MesureEnCours() const;

protected:
    // ---- commands (from the personality's constructor) ----------------------------------------
    // A command of the personality (its errors injected after it).
    void Ajouter(const std::string &motif, Action action);
    template <class Champ>
    using Acces = std::function<Champ &(Appel &)>;
    void ReglageBooleen(const std::string &motif, Acces<bool> champ, std::function<void()> apres = {});
    void ReglageNombre(const std::string &motif, Acces<double> champ, double min, double max,
                       std::function<std::string(double)> format, std::function<void()> apres = {});
    // `mots`: the accepted keywords as a manual writes them ("POSitive"); the setting keeps the
    // short form in upper case ("POS").
    void ReglageMot(const std::string &motif, Acces<std::string> champ, std::vector<std::string> mots,
                    std::function<void()> apres = {});
    // The short form of the keyword `mot` among `mots`, or an empty text.
    static std::string Mot(const std::string &mot, const std::vector<std::string> &mots);

    // ---- measurements (lock held) ------------------------------------------------------------
    // Starts a measurement of `duree` program seconds (kJamais: never ends by itself).
    void LancerMesure(double duree);
    // From MesureTerminee: the same measurement goes on for `duree` (a reading query waiting for
    // it keeps waiting), where LancerMesure starts a new one (the query is answered first).
    void PoursuivreMesure(double duree);
    // Stops the measurement without completing it.
    void AbandonnerMesure();
    bool Mesure() const { return mesure_; }
    // Answers the query with `reponse()` now, or when the running measurement ends.
    void RepondreApresMesure(Appel &a, std::function<std::string()> reponse);
    // The measurement ended: the personality takes its reading (and may launch the next one).
    virtual void MesureTerminee() = 0;
    // *RST: the personality's settings back to their defaults.
    virtual void ReglagesParDefaut() = 0;

private:
    void OperationTerminee() final;
    void Reinitialiser() final;
    void LectureSansDonnees() override;

    bool mesure_ = false;
    bool suite_ = false;
    int mesures_ = 0;
    std::function<std::string()> differee_;
    std::map<std::string, int> injections_;
};

}  // namespace sim
