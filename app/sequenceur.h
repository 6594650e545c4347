// The sequencer and the time-limited mode, both run by the one-second timer TIMER_SEQ of the
// hidden timer panel (callback CB_T_Seq, declared with the panel's other callbacks in
// "uir/Interface.h").
//
// Every tick first counts down `duree_limite` (time-limited mode): when it reaches 0 the record
// files are closed while the acquisition goes on sampling. Then, while an acquisition runs in
// the sequencer mode, the tick executes the lines of the operator's script `fichier_sequenceur`
// until a line ends the tick or the script ends.
//
// The script language, one command per line ("#" starts a comment anywhere, leading blanks are
// skipped, "$a" .. "$z" and "$<digit><letter>" are replaced by the variables' values first; a
// blank in a form below stands for any run of spaces and tabs, none included):
//   label x                      x: the next line is where "retour x" goes back to
//   tic / v=toc                  start a stopwatch / v = whole seconds since the last "tic"
//   retour x                     go on after "label x" (in the same tick)
//   faire_si a<b | a=b | a>b     when false, the next line of the file is skipped unread
//   boucle n ... fin_boucle      run the body n times (n = -1: one pass per tick, for ever)
//   attente n                    the next line runs n ticks later (ends the tick)
//   set v=x | v+x | v-x | v*x    arithmetic on the variable v (single precision)
//   ouvrir <path> / fermer       open / close the record files
//   marquer <text> / demarquer   set / clear the data marker
//   pour v utiliser_mesure voie n de : <instrument>   v = measured scalar channel n now
//   pour v utiliser_calcul voie n de : <instrument>   v = computed scalar channel n now
//   attendre <instrument>        wait (tick after tick) until its status is 1
//   commande <instrument>:<text> send the text to the instruments of that name
//   echantillon                  write one record line (samples on request only)
// Commands report on the status list of the main panel. A line that matches no form is
// reported ("Commande non reconnue: ...") and the script goes on. A character that is no
// letter where a letter belongs makes "label", "retour" and "set" do nothing, and ends the tick
// for "v=toc" and "pour". "set" reads its number from the start of what follows the operator
// (0 when there is none); "retour" to a letter that no "label" line of this script has set goes
// back to the first line. A stray "fin_boucle" is reported and ignored; a 31st open loop stops
// the script; a "boucle" line reached again by "retour" while its loop is open starts that loop
// afresh rather than opening another one.
// Variables, the "tic" time, a pending wait and the awaited instrument carry over from one
// script to the next (a tick without an acquisition clears the wait); labels and open loops are
// positions in their script file and start afresh with every script.
//
// Script files may have LF or CR LF line ends: both read the same. A script written in UTF-8 (a
// Linux editor) is read as its Windows-1252 twin; its characters that Windows-1252 lacks read
// as "?" and are reported when the script starts.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Most lines one tick executes: a script that jumps back without ever waiting goes on at the
// next tick instead of holding the program.
constexpr int kLignesParTick = 1000;
// Longest script line, before and after the variables are written in (comments and leading
// blanks not counted).
constexpr std::size_t kLongueurLigneScript = 253;

// A new script was opened (sequencer mode start): labels lead to its first line, no loop is
// open, and how it is written is looked at anew.
void Nouveau_script_sequenceur();

// Reads one line of `script` from its current position: the bytes up to LF, CR LF, or a CR
// that ends the file (a CR elsewhere is kept). Returns false, with `ligne` empty, when the file
// has nothing left. At most `taille_max` bytes are kept in `ligne`; `entiere` is false when
// more were read off (the stream then stands at the start of the next line all the same).
// The stream position stays a plain byte offset, so it can be saved and restored.
bool LireLigneScript(std::FILE *script, std::string &ligne, bool &entiere,
                     std::size_t taille_max = 4096);
