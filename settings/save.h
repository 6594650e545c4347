// Settings files of the bench: the registry of memory blocks with the settings file ".sav", the
// general settings file ".gen", and the save and load commands of the main panel
// (Prog_Sauvegarde, Prog_Charger_Fichier, declared by the generated header "uir/Interface.h").
//
// The settings file, as its content (before the line-end mapping below):
//   header     "#<type key> <tatoo>" per instrument, nothing between them, then "#" and 0x0A
//   count      int32, least significant byte first
//   sizes      one int32 per block, least significant byte first
//   blocks     the raw bytes of every block, in header order, nothing between them
// Both files are text files of the Windows program: every byte 0x0A of the content (in the
// count, the sizes and the blocks too) is stored as 0x0D 0x0A, and reading maps every pair
// 0x0D 0x0A back to 0x0A (a lone 0x0D stays). Files from the Windows program load here, and
// ours load there.
//
// A block is stored as the bytes the plugin's record holds in memory, so a file is readable
// only by a build whose settings blocks have the same layout. The load command reads and checks
// the whole settings file before it changes anything (a damaged one is refused), then gives
// each new instrument the stored block of its own entry, found by the stored sizes: an entry
// whose type has no plugin, or whose block does not fit the block its new instrument
// designates, is skipped without moving any other block onto the wrong instrument.
//
// Numbers of the general settings file are always written and read in the C locale.
// Everything here runs on the user-interface thread; the module keeps no global state.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// ---- registry of memory blocks ------------------------------------------------------------

// A list of memory blocks, each with a name and a tatoo written into the settings file header
// and a second label that nothing reads. Entry i is element i of the five arrays; each array
// holds the N entries, with room for N rounded up to a power of two (so that adding entries one
// by one takes time in proportion to their number). The registry owns its arrays and the copies
// of the texts; the blocks belong to whoever registered them.
struct save_registry {
    void **structures;  // start of each block
    void **endings;     // one past the last byte of each block
    char **names;       // header name of each block (a copy)
    int *tatoos;        // header number of each block
    char **noms;        // second label of each block (a copy)
    int N;
};

// Makes the registry empty (null arrays, N = 0). Releases nothing: use it on a fresh or
// released registry.
void init_save(save_registry *registre);
// Appends the block [debut, fin). The entry is not added (the registry stays as it was) when
// memory runs out, when `fin` lies before `debut`, or when a block of more than 0 bytes has no
// start; null texts count as empty.
void add_struct_to_save_A(save_registry *registre, void *debut, void *fin, const char *name,
                          int tatoo, const char *label);
// Appends the block of `taille` bytes from `debut` (as add_struct_to_save_A with the end at
// debut + taille).
void add_struct_to_save_B(save_registry *registre, void *debut, unsigned taille, const char *name,
                          int tatoo, const char *label);
// Releases the copies and the arrays. The fields keep their values: init_save before reuse.
void free_all(save_registry *registre);

// The stored bytes of the settings file of `registre`, line ends mapped. False (nothing in
// `octets`) when an entry could not be read back: a name that is empty or holds "#", a space,
// 0x0A or 0x0D, or a header entry of more than 255 characters.
bool contenu_save_all(const save_registry *registre, std::string &octets);
// Writes the settings file of `registre` at `chemin`, replacing any file of that name, whole or
// not at all (an earlier file stays untouched on failure). 1 when written, 0 otherwise.
int save_all(const char *chemin, const save_registry *registre);

// One instrument of a settings file: its type key, its tatoo and its stored block.
struct instrument_sauve {
    std::string type;
    int tatoo = 0;
    std::string bloc;
};

// Largest settings file that is read (a file of many instruments is a few hundred kilobytes).
constexpr std::size_t kTailleFichierReglagesMax = 64u << 20;

// Reads and checks the whole settings file at `chemin`: a header of well-formed entries closed
// by "#" and a line end (each a type key, a space and a tatoo below INT_MAX), a count equal to the number of entries, sizes that are not negative
// and exactly the bytes of the blocks after them. True with `instruments` filled when the file
// is whole; false with a French message in `erreur` (and `instruments` left as it was)
// otherwise.
bool lire_fichier_reglages(const char *chemin, std::vector<instrument_sauve> &instruments,
                           std::string &erreur);
// Copies each stored block into the registered block of the same rank. Nothing is copied unless
// the registry has one entry per stored block and every registered size equals the stored one;
// then true, otherwise false with a French message in `erreur`.
bool charger_blocs(const std::vector<instrument_sauve> &instruments, const save_registry *registre,
                   std::string &erreur);
// Fills the registered blocks from the settings file at `chemin`: all of them, or none when the
// file is missing or damaged, or does not match the registry (count or a size). 1 when filled.
int load_all(const char *chemin, const save_registry *registre);

// Entry k (counted from 1) of the header of the settings file at `chemin`: the text between the
// k-th "#" and the next one, into `sortie` (256 bytes; an entry of more than 255 characters is
// cut there). 1 when found; 0 when the header (or the file) ends before it, when k < 1, or when
// the file cannot be opened.
int get_struct_string(const char *chemin, int k, char *sortie);
// The first word of entry k (the type key) into `sortie` (256 bytes); the result of
// get_struct_string. On 1 with an entry that holds no word, `sortie` is left as it was.
int get_struct_type(const char *chemin, int k, char *sortie);
// The number after the first word of entry k (the tatoo) into `*tatoo`; the result of
// get_struct_string. An entry without a number leaves `*tatoo` as it was; a number beyond the
// int range is brought to its nearest end.
int get_struct_tatoo(const char *chemin, int k, int *tatoo);

// ---- general settings file ------------------------------------------------------------------

// The acquisition and graph settings of the main panel and the tatoo counter.
struct reglages_generaux {
    int init_tatoo = 0;       // tatoo counter
    int nb_pts_graph = 0;     // N_nbpointsgraphs of P_Graphs
    int sous_ech_2D = 0;      // N_sous_ech_2D of P_Commande
    int div_mid = 0;          // N_mid of P_Graphs
    int div_long = 0;         // N_long of P_Graphs
    int nb_graphes = 0;       // NUMERIC of P_Graphs
    int mode_fichier = 0;     // Mode_Fichier of P_Commande (0 to 3)
    double frequence_ech = 0; // N_TEch of P_Commande: sampling period in seconds
};

// The stored bytes of the general settings file: a comment line, then one "key=value;" line per
// setting, CR LF line ends, the period with six decimals and a ".".
std::string contenu_reglages_generaux(const reglages_generaux &reglages);
// Reads the general settings file at `chemin` with the key=value reader, as the load uses it:
// the period looked up as a real, the others as integers, each setting that the file lacks (or
// gives with a value of the other kind) 0. True with `reglages` filled; false, with a French
// message in `erreur` and `reglages` left as it was, when the file cannot be opened or gives
// none of the settings.
bool lire_reglages_generaux(const char *chemin, reglages_generaux &reglages, std::string &erreur);

// ---- text-mode storage and whole-file writing ---------------------------------------------

namespace stockage {

// Content to stored form: every 0x0A becomes 0x0D 0x0A.
std::string VersStockage(std::string_view contenu);
// Stored form to content: every pair 0x0D 0x0A becomes 0x0A; every other byte is kept.
std::string DepuisStockage(std::string_view stocke);

// Reads a stored file as its content, one byte at a time.
class LecteurTexte {
public:
    explicit LecteurTexte(const char *chemin);
    ~LecteurTexte();
    LecteurTexte(const LecteurTexte &) = delete;
    LecteurTexte &operator=(const LecteurTexte &) = delete;
    bool Ouvert() const { return fichier_ != nullptr; }
    // The next byte of the content (0 to 255), or EOF at the end of the file or on a read error.
    int Lire();
    // Reads at most `taille` - 1 bytes, up to and including the next 0x0A, and ends them with a
    // NUL (the standard line read). False at the end of the file with nothing read.
    bool LireLigne(char *ligne, std::size_t taille);

private:
    std::FILE *fichier_ = nullptr;
};

// A file written beside its destination, then put in place in one step, so that a failed
// write never leaves the destination half written. Removed when not put in place.
class FichierEnAttente {
public:
    explicit FichierEnAttente(std::string destination);
    ~FichierEnAttente();
    FichierEnAttente(const FichierEnAttente &) = delete;
    FichierEnAttente &operator=(const FichierEnAttente &) = delete;
    // Creates the temporary file and writes `octets` into it, checking every step.
    bool Ecrire(std::string_view octets);
    // Replaces the destination with the written file.
    bool Remplacer();

private:
    std::string destination_;
    std::string provisoire_;
};

}  // namespace stockage
