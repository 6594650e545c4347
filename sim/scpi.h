// Reading program messages as SCPI instruments do (IEEE 488.2 syntax, SCPI headers).
//
// - White space is every byte from 0x00 to 0x20 but line feed (so the NUL that ends many of
//   the program's commands is white space).
// - A message holds units joined by ';'. A header that does not begin with ':' continues the
//   path of the header before it in the message (":INP1:ATT 1;COUP AC" is ":INP1:COUP AC");
//   a leading ':' starts again from the root; common commands ("*ESE 1") change no path.
// - Mnemonics are read in any case, in their short or long form, with an optional numeric
//   suffix where the command has one; nodes in brackets may be left out.
// - Parameters are separated by commas: numbers, character data, strings in single or double
//   quotes (a doubled quote stands for one), arbitrary blocks (#<n><length><bytes> or #0...).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim::scpi {

// IEEE 488.2 white space.
bool EstBlanc(char c);

struct Parametre {
    enum class Genre { Nombre, Mot, Chaine, Bloc };
    Genre genre = Genre::Mot;
    std::string texte;    // as written (Nombre, Mot); the contents (Chaine, Bloc)
    double nombre = 0.0;  // Nombre
};

// One program message unit.
struct Unite {
    bool commune = false;              // a common command (*XXX)
    bool question = false;             // a query
    std::string entete;                // as written, '?' included
    std::vector<std::string> chemin;   // the absolute header: its mnemonics, in upper case
    std::vector<Parametre> parametres;
    int erreur = 0;                    // a syntax error: this unit and the rest are not run
};

// The units of a program message (terminator removed). A unit with an error ends the list.
std::vector<Unite> Analyser(std::string_view message);

// Whether the line feed that ends `texte` is a terminator: not inside a string or a block.
bool TerminateurLibre(std::string_view texte);

// A command header as an instrument's manual writes it: nodes separated by ':', each in its
// long form with the short form in upper case, optional nodes in brackets, '#' after a node that
// takes a numeric suffix, '?' at the end for the query. Examples: ":INPut#:ATTenuation",
// "[:SENSe]:FREQuency:APERture?", "*ESE", ":SYSTem:ERRor[:NEXT]?".
class Motif {
public:
    explicit Motif(std::string_view texte);
    bool Question() const { return question_; }
    // Whether the absolute header `chemin` is this command; fills the numeric suffix of each '#'
    // node in order (1 where none is written).
    bool Correspond(const std::vector<std::string> &chemin, std::vector<int> &suffixes) const;

private:
    struct Noeud {
        std::string court, long_;  // upper case
        bool optionnel = false;
        bool suffixe = false;
    };
    bool Correspond(std::size_t i, std::size_t j, const std::vector<std::string> &chemin,
                    std::vector<int> &suffixes) const;

    std::vector<Noeud> noeuds_;
    bool question_ = false;
};

}  // namespace sim::scpi
