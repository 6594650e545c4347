// Driving the user interface from tests: pop-ups answered from a script, controls operated
// through the same path as the operator's mouse and keyboard, timers fired on demand.
#pragma once

#include "platform/ui.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace ui_test {

enum class Popup { Message, Confirmation, Fichier, Repertoire };

struct PopupVu {
    Popup genre;
    std::string titre;    // Windows-1252
    std::string message;  // Windows-1252 (the title again for file and directory choosers)
};

// From now on pop-ups never show: each takes the next scripted answer. A pop-up without one
// calls `echec` with a description and is answered "no / cancel" so the test goes on.
void ActiverScript(std::function<void(const std::string &)> echec);
void DesactiverScript();
// Queues the answer to the next pop-up, which must be of kind `genre`: `resultat` is what the
// pop-up returns (1/0 for a confirmation, a UiFileSelection or UiDirSelection for choosers);
// `chemin` is the path a chooser fills.
void Repondre(Popup genre, int resultat = 0, const std::string &chemin = {});
std::size_t ReponsesRestantes();
// Every pop-up shown since the last call of Effacer (in order).
std::vector<PopupVu> Vus();
void Effacer();

// Operating controls as the operator does. They return a negative UiError when the control is
// unknown. A dimmed control ignores the operator, as on screen.
int Cliquer(int panel, int control);
// EntrerTexte types into a text field or a numeric (which refuses the keys that cannot make a
// number), then presses Enter; EntrerValeur types the value's shortest text into a numeric.
int EntrerTexte(int panel, int control, const std::string &cp1252);
int EntrerValeur(int panel, int control, double valeur);
int ChoisirElement(int panel, int control, int index);
int BasculerCoche(int panel, int control, int index);
int DoubleCliquer(int panel, int control, int index);
// Fires one tick of a timer control through the normal dispatch.
int DeclencherTimer(int panel, int control);

QWidget *Fenetre(int panel);
QWidget *Widget(int panel, int control);
// The text the operator reads on a control (button caption, or the label beside it), UTF-8.
std::string TexteVisible(int panel, int control);
// Handles of the panels now loaded.
std::vector<int> PanneauxCharges();

}  // namespace ui_test
