// What the bench tests share: files read and written whole, the program opened as the operator
// finds it (BancTest), the reading of what the operator sees, an instrument's configuration
// panels, its settings block as a settings load writes it, and an instrument list built by
// hand for plugin tests that run without the main panel.
#pragma once

#include "framework/instrument.h"
#include "platform/ui_test.h"
#include "tests/support/plugin_essai.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <ios>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// ---- files ------------------------------------------------------------------------------------

// Every byte of a file ("" when there is none).
std::string LireFichier(const std::filesystem::path &chemin);
// Writes `octets` as they are, over the file (or after it, with std::ios::app).
void EcrireFichier(const std::filesystem::path &chemin, const std::string &octets,
                   std::ios::openmode mode = std::ios::trunc);
// A 32-bit value as the settings files store it: 4 bytes, little-endian.
std::string Le32(std::uint32_t v);

// ---- the operator's bench ---------------------------------------------------------------------

// The program opened by Ouvrir_interface on the resource files of the source tree, with the fake
// clock standing at kDebut in UTC, an empty call log of the test instruments, and a fresh
// temporary directory. TearDown stops an acquisition left running, closes the program, leaves
// neither a countdown nor a data mark for the next test, returns to the real clock and checks
// that every test instrument was freed. A fixture that adds to SetUp calls BancTest::SetUp()
// first and stops there on a fatal failure.
class BancTest : public testing::Test {
protected:
    static constexpr std::time_t kDebut = 1765370096;  // 12-10-2025 12:34:56 UTC

    void SetUp() override;
    void TearDown() override;

    static void Cliquer(int panel, int control) { ASSERT_EQ(ui_test::Cliquer(panel, control), 0); }

    // A test instrument enters the list and the list box as a settings load puts it there: type
    // key "essai.dll", the next tatoo, its configured name as the label.
    static PInstrument *AjouterEssai(const ConfigEssai &config);

    QTemporaryDir dossier;
};

// The demo bench (sim/demo-banc.conf) in place of the test bench: its simulated GPIB bus with
// its instruments, its parallel port and serial devices, board 0 chosen. FermerBancDemo closes
// the serial ports, stops the serial devices and goes back to a bench without board.
void OuvrirBancDemo();
void FermerBancDemo();

// Messages of the main panel's status list, oldest first, without their time.
std::vector<std::string> Statuts();
// The control is dimmed.
bool Grise(int panel, int control);
// Two series of values are the same, a missing value (NaN) matching only a missing one.
testing::AssertionResult MemesValeurs(const std::vector<double> &lu, const std::vector<double> &attendu);

// What the core reads of an instrument's scalar channels: names, values, reading numbers.
struct Voies {
    std::vector<std::string> noms;
    std::vector<double> valeurs;
    std::vector<unsigned> numeros;
};
Voies LireVoies(PInstrument *i);
// Every channel has a reading newer than in `avant`, and none is missing.
bool ToutesNouvelles(const Voies &v, const Voies &avant);

// ---- an instrument's panels -------------------------------------------------------------------

// Runs `f` and returns the one panel it loaded (0, and a failure, when it loaded none or more).
template <class F>
int PanneauCharge(F &&f) {
    const std::vector<int> avant = ui_test::PanneauxCharges();
    std::forward<F>(f)();
    std::vector<int> charges;
    for (int h : ui_test::PanneauxCharges())
        if (std::find(avant.begin(), avant.end(), h) == avant.end()) charges.push_back(h);
    EXPECT_EQ(charges.size(), 1u);
    return charges.empty() ? 0 : charges.front();
}
// The panel is still loaded.
bool Charge(int panel);

// Items of a list box or ring: label and value.
using Elements = std::vector<std::pair<std::string, std::string>>;
Elements ElementsDe(int panel, int ring);
// Labels of the items of a list box or ring.
std::vector<std::string> Libelles(int panel, int control);
// The text of a control, and its integer value (-99 when it has none).
std::string Chaine(int panel, int control);
int Valeur(int panel, int control);

// Configuration panels opened without the main panel. SetUp points to the resource files of the
// source tree and notes the panels already loaded; TearDown, which a fixture calls once it has
// freed its instruments, checks that no panel outlived its instrument.
class PanneauxInstrument : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The resource files go missing: they are looked for in an empty directory.
    void SansRessources();

private:
    std::vector<int> avant_;
    QTemporaryDir vide_;
};

// ---- settings blocks --------------------------------------------------------------------------
// The bytes of an instance's block, read and written in place as a settings save and load do.
// Nothing here checks what get_memory answers: a test that pins it does so itself.

// What get_memory answers, each output set beforehand to a value it cannot mean (the size to
// `taille`, the flag to 255), so that a test sees what the instance wrote and what it left.
struct ReponseMemoire {
    void *debut = nullptr;
    void *fin = nullptr;
    unsigned taille = 0;
    unsigned char flag = 255;
};
ReponseMemoire DemanderMemoire(PInstrument *i, unsigned taille = 0);

unsigned char *DebutBloc(PInstrument *i);
// A text field of `taille` bytes: its text up to the terminator, `taille` characters at most.
std::string LireTexteBloc(PInstrument *i, std::size_t offset, std::size_t taille);
// Zeros over a text field of `taille` bytes, then the text (cut to the field).
void EcrireTexteBloc(PInstrument *i, std::size_t offset, std::size_t taille, const std::string &texte);
std::int32_t LireEntierBloc(PInstrument *i, std::size_t offset);
void EcrireEntierBloc(PInstrument *i, std::size_t offset, std::int32_t v);

// ---- an instrument list built by hand ---------------------------------------------------------

// The instrument list of a plugin test that runs without the main panel: instruments in the
// order added, each with its tatoo and the core services wired in as the real list does, freed
// by LibererInstruments. A fixture derives from it to call Ajouter and Tete directly.
class ListeInstruments {
protected:
    PInstrument *Ajouter(PInstrument *p, int tatoo);
    fichei *Tete() const { return noeuds_.empty() ? nullptr : noeuds_.front().get(); }
    // Frees every instrument through its own liberer, and empties the list.
    void LibererInstruments();
    // What an acquisition start does with the channel buffers of the list, curves of `points`
    // points; the answer of Init_buffer2D_circu.
    int AllouerAnneaux(int points);
    // Frees the channel buffers and every instrument, and leaves neither a channel table nor a
    // curve length for the next test.
    void LibererTout();

    // The nodes in list order, for a test that takes an instrument out or swaps one.
    std::vector<std::unique_ptr<fichei>> noeuds_;
};

// ---- an instrument list on the real list ------------------------------------------------------

// Frees the channel buffers and every instrument of `liste` (left empty), and leaves neither a
// channel table nor a curve length for the next test.
void LibererBanc(fichei *&liste);

// Instruments entered with the real list (tatoos 1, 2, ... in the order listed) and sampled as
// an acquisition does, on the fake clock. TearDown frees everything and returns to the real
// clock.
class BancCalcul : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Frees the bench: the next instrument listed gets tatoo 1 again.
    void Vider();
    PInstrument *Lister(PInstrument *p, const char *cle);
    // What an acquisition start does with the channel buffers.
    void Demarrer(int points = 100);

    fichei *liste = nullptr;
    int prochain_tatoo = 1;
};
