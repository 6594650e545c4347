// Reading program messages as SCPI instruments do.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/scpi.h"

namespace {

using sim::scpi::Analyser;
using sim::scpi::Motif;
using sim::scpi::Parametre;
using Chemins = std::vector<std::string>;

// Each unit as "PATH:OF:IT?" (common commands as written in upper case).
std::vector<std::string> Entetes(const std::string &message) {
    std::vector<std::string> r;
    for (const auto &u : Analyser(message)) {
        if (u.erreur != 0) {
            r.push_back("error " + std::to_string(u.erreur));
            continue;
        }
        std::string e;
        for (std::size_t i = 0; i < u.chemin.size(); ++i) e += (i > 0 ? ":" : "") + u.chemin[i];
        r.push_back(e + (u.question ? "?" : ""));
    }
    return r;
}

TEST(Scpi, HeadersAndRelativePaths) {
    const struct {
        std::string message;
        std::vector<std::string> entetes;
    } cas[] = {
        {":inp1:att 1;coup ac", {"INP1:ATT", "INP1:COUP"}},
        {":even1:lev:auto on;rel 50", {"EVEN1:LEV:AUTO", "EVEN1:LEV:REL"}},
        {":calc2:lim:fco?;fco:low?;upp?", {"CALC2:LIM:FCO?", "CALC2:LIM:FCO:LOW?", "CALC2:LIM:FCO:UPP?"}},
        {":INIT;FETC?", {"INIT", "FETC?"}},
        {":INIT:IMM;*WAI;*OPC", {"INIT:IMM", "*WAI", "*OPC"}},
        {":SENS:FREQ 1;*CLS;RANG 2", {"SENS:FREQ", "*CLS", "SENS:RANG"}},
        {":A:B 1;:C 2", {"A:B", "C"}},
        {"FORM:DATA ASCII", {"FORM:DATA"}},
        {"*idn?", {"*IDN?"}},
        {"*RST;", {"*RST"}},
        {std::string("*ESE 1\0", 7), {"*ESE"}},
        {"  :syst:err?  ", {"SYST:ERR?"}},
        {"", {}},
        {";;", {}},
        {":A::B", {"error -102"}},
        {":A:B?C", {"error -102"}},
        {"*ESE:X 1", {"error -102"}},
        {":A 1;:B,2;:C", {"A", "error -102"}},
        {":FUNC \"FREQ 1", {"error -102"}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(Entetes(c.message), c.entetes);
    }
}

TEST(Scpi, Parameters) {
    using G = Parametre::Genre;
    const struct {
        std::string message;
        std::vector<std::pair<G, std::string>> parametres;
        double premier;
    } cas[] = {
        {":FUNC 'FREQ 1'", {{G::Chaine, "FREQ 1"}}, 0},
        {":FUNC \"PHASE\"", {{G::Chaine, "PHASE"}}, 0},
        {":TEXT 'it''s;here'", {{G::Chaine, "it's;here"}}, 0},
        {":CONF:VOLT:DC AUTO,MAX", {{G::Mot, "AUTO"}, {G::Mot, "MAX"}}, 0},
        {":LEV -0.5", {{G::Nombre, "-0.5"}}, -0.5},
        {":LEV +1.5E+3, 2", {{G::Nombre, "+1.5E+3"}, {G::Nombre, "2"}}, 1500},
        {":MEAS:FREQ? (@1,2)", {{G::Mot, "(@1,2)"}}, 0},
        {":DATA #15ab;de", {{G::Bloc, "ab;de"}}, 0},
        {":DATA #0x;y", {{G::Bloc, "x;y"}}, 0},
        // A block's last bytes are data even when they look like white space.
        {":DATA #15ab\n \n", {{G::Bloc, "ab\n \n"}}, 0},
        {":DATA #13ab\n, 2 ", {{G::Bloc, "ab\n"}, {G::Nombre, "2"}}, 0},
        {std::string(":LEV 50\0", 8), {{G::Nombre, "50"}}, 50},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.message);
        const auto unites = Analyser(c.message);
        ASSERT_EQ(unites.size(), 1u);
        ASSERT_EQ(unites[0].erreur, 0);
        std::vector<std::pair<G, std::string>> vus;
        for (const auto &p : unites[0].parametres) vus.emplace_back(p.genre, p.texte);
        EXPECT_EQ(vus, c.parametres);
        if (!unites[0].parametres.empty()) {
            EXPECT_EQ(unites[0].parametres[0].nombre, c.premier);
        }
    }
    for (const char *faux : {":A 1,,2", ":A 1,", ":A #15ab"}) {
        SCOPED_TRACE(faux);
        const auto unites = Analyser(faux);
        ASSERT_FALSE(unites.empty());
        EXPECT_EQ(unites.back().erreur, -102);
    }
}

TEST(Scpi, TerminatorOutsideStringsAndBlocks) {
    EXPECT_TRUE(sim::scpi::TerminateurLibre("*IDN?\n"));
    EXPECT_FALSE(sim::scpi::TerminateurLibre(":TEXT 'a\n"));
    EXPECT_TRUE(sim::scpi::TerminateurLibre(":TEXT 'a\n'\n"));
    EXPECT_FALSE(sim::scpi::TerminateurLibre(":DATA #13a\n"));
    EXPECT_TRUE(sim::scpi::TerminateurLibre(":DATA #13a\nb\n"));
    EXPECT_FALSE(sim::scpi::TerminateurLibre(":DATA #0ab\n"));
    EXPECT_FALSE(sim::scpi::TerminateurLibre("*IDN?"));
}

TEST(Scpi, PatternsInShortAndLongFormsWithSuffixesAndOptionalNodes) {
    const struct {
        const char *motif;
        Chemins chemin;
        bool correspond;
        std::vector<int> suffixes;
    } cas[] = {
        {":INPut#:ATTenuation", {"INP", "ATT"}, true, {1}},
        {":INPut#:ATTenuation", {"INPUT2", "ATTENUATION"}, true, {2}},
        {":INPut#:ATTenuation", {"INPU", "ATT"}, false, {}},
        {":INPut#:ATTenuation", {"INP0", "ATT"}, false, {}},
        {":INPut:ATTenuation", {"INP1", "ATT"}, false, {}},
        {"[:SENSe]:FREQuency", {"FREQ"}, true, {}},
        {"[:SENSe]:FREQuency", {"SENS", "FREQ"}, true, {}},
        {"[:SENSe]:FREQuency", {"SENSE", "FREQUENCY"}, true, {}},
        {"[:SENSe]:FREQuency", {"SENS"}, false, {}},
        {":SYSTem:ERRor[:NEXT]", {"SYST", "ERR"}, true, {}},
        {":SYSTem:ERRor[:NEXT]", {"SYSTEM", "ERROR", "NEXT"}, true, {}},
        {":CALCulate#:LIMit:FCOunt:LOWer", {"CALC2", "LIM", "FCO", "LOW"}, true, {2}},
        {":INITiate[:IMMediate]", {"INIT", "IMM"}, true, {}},
        {":INITiate[:IMMediate]", {"INIT"}, true, {}},
        {":EVENt#[:LEVel]:RELative", {"EVEN1", "REL"}, true, {1}},
        {"*ESE", {"*ESE"}, true, {}},
        {"*ESE", {"*ESR"}, false, {}},
        // A stray closing bracket is passed over (it once made the pattern builder loop).
        {":FREQuency]", {"FREQ"}, true, {}},
        {"]:SYSTem]:ERRor", {"SYST", "ERR"}, true, {}},
        {"]", {"X"}, false, {}},
    };
    for (const auto &c : cas) {
        SCOPED_TRACE(c.motif);
        std::vector<int> suffixes;
        EXPECT_EQ(Motif(c.motif).Correspond(c.chemin, suffixes), c.correspond);
        if (c.correspond) {
            EXPECT_EQ(suffixes, c.suffixes);
        }
    }
    EXPECT_TRUE(Motif("*IDN?").Question());
    EXPECT_FALSE(Motif(":INIT").Question());
}

}  // namespace
