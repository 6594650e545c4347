// Internals shared by the modules of the user-interface layer (not for the rest of the program).
#pragma once

#include "platform/ui.h"

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QLabel;
class QTabWidget;

namespace ui_detail {

// ---- resource files (ui_resource.cpp) ----

struct DefControle {
    int id = 0;
    std::string constante;
    std::string genre;        // kind name of the file format
    std::string libelle;      // Windows-1252
    std::string callback;
    int gauche = 0, haut = 0, largeur = 0, hauteur = 0;
    bool grise = false;
    bool visible = true;
    std::string position_libelle;
    QJsonObject brut;         // the control's own fields
};

struct DefPanneau {
    int id = 0;
    std::string constante;
    std::string titre;        // Windows-1252
    int largeur = 0, hauteur = 0;
    int gauche = -1, haut = -1;
    std::vector<DefControle> controles;
};

// The definition of panel `id` of resource file `fichier`, read once and kept; null with
// *erreur set (UIE_NO_FILE, UIE_NO_PANEL) when it cannot be found.
const DefPanneau *TrouverPanneau(const std::string &fichier, int id, int *erreur);
void OublierFichiersLus();
std::string RepertoireRessources();

// ---- live panels and controls (ui.cpp, ui_controls.cpp) ----

struct Element {              // an item of a list box or ring, or a position of a valued switch
    std::string libelle;      // Windows-1252
    bool valeur_texte = false;
    int valeur_entier = 0;
    std::string valeur_chaine;
    bool valeur_reelle = false;  // rings of single-precision values ("float")
    double valeur_reel = 0.0;    // held as the float it is, widened
};

struct Controle {
    int id = 0;
    UiCtrlKind genre = CTRL_CANVAS;
    std::string constante;
    std::string libelle;
    CtrlCallbackPtr callback = nullptr;
    void *donnees = nullptr;
    bool grise = false;
    bool visible = true;
    bool en_callback = false;

    QPointer<QWidget> cadre;        // what is placed on the panel (label + widget)
    QPointer<QWidget> widget;       // the widget that holds the value
    QPointer<QLabel> etiquette;     // the label shown beside the widget, if any

    // Values kept by the layer (widgets show them).
    bool reel = false;              // numerics: double rather than int
    double mini = 0, maxi = 0;
    bool valeur_texte = false;      // rings: string values
    bool valeur_reelle = false;     // rings: single-precision values
    std::vector<Element> elements;  // rings and slides; a valued binary switch: off, then on
    std::string texte_on, texte_off;
    int longueur_max = 0;

    // Timers.
    QTimer *timer = nullptr;
    double intervalle = 1.0;
    bool actif = false;

    // Tab control made from a canvas.
    QPointer<QTabWidget> onglets;
    std::vector<int> feuilles;
};

struct Panneau {
    int handle = 0;
    int parent = 0;
    std::string fichier;
    int id_ressource = 0;
    std::string titre;
    QPointer<QWidget> fenetre;
    std::map<int, std::unique_ptr<Controle>> controles;
    std::vector<int> enfants;       // child panels and tab sheets
    // Panel callback (InstallPanelCallback, ui_graph.cpp): close, focus and size events.
    int (*callback)(int panel, int event, void *callbackData, int eventData1, int eventData2) = nullptr;
    void *donnees = nullptr;
};

std::shared_ptr<Panneau> ChercherPanneau(int handle);
Controle *ChercherControle(int panel, int control, int *erreur);

// Runs a control's callback through the one dispatch path of the layer.
int Distribuer(int panel, int control, int event, int data1, int data2);

// Builds the widgets of a control on `parent` (ui_controls.cpp).
void CreerWidget(Panneau &panneau, Controle &c, const DefControle &def, QWidget *parent);

// Kinds of controls made by the graph and 3D modules (ui_graph.cpp, ui_3d.cpp); they follow
// the kinds of ui.h.
inline constexpr UiCtrlKind CTRL_GRAPH = static_cast<UiCtrlKind>(CTRL_TAB + 1);
inline constexpr UiCtrlKind CTRL_OGL = static_cast<UiCtrlKind>(CTRL_TAB + 2);
// The widget of such a kind placed on `parent`; c.widget is set (ui_graph.cpp).
QWidget *CreerWidgetEtendu(Panneau &panneau, Controle &c, const DefControle &def, QWidget *parent);
// Attributes of ui_graph.h (colours, geometry, graph axis, table rows) on any control, and of
// panels; UIE_BAD_ATTRIBUTE for an attribute they do not know (ui_graph.cpp).
int FixerAttributEtendu(Controle &c, int attribute, int value);
int LireAttributEtendu(Controle &c, int attribute, int *value);
int FixerAttributPanneauEtendu(Panneau &p, int attribute, int value);
// Role of an item's text as the program wrote it (Windows-1252 bytes), for list items and
// table cells.
inline constexpr int RoleTexteBrut = Qt::UserRole;
void DemarrerTimer(Controle &c);

// Text conversions at the screen boundary.
QString VersEcran(const std::string &cp1252);
std::string DepuisEcran(const QString &texte);
// Label with "__X" shortcut marks turned into the toolkit's "&X".
QString LibelleAvecRaccourci(const std::string &cp1252);
// Label as the operator reads it (shortcut marks removed).
QString LibelleVisible(const std::string &cp1252);

// Runs f on the user-interface thread and returns its result.
template <class F>
auto SurFilUi(F &&f) -> decltype(f()) {
    using R = decltype(f());
    if (OnUiThread()) return f();
    if constexpr (std::is_void_v<R>) {
        RunOnUiThread([&] { f(); });
    } else {
        R r{};
        RunOnUiThread([&] { r = f(); });
        return r;
    }
}

// Looks up a control and runs `f` on it on the user-interface thread; an unknown panel or
// control gives its negative UiError.
template <class F>
int AvecControle(int panel, int control, F &&f) {
    return SurFilUi([&]() -> int {
        int err = 0;
        Controle *c = ChercherControle(panel, control, &err);
        if (!c) return err;
        return f(*c);
    });
}

}  // namespace ui_detail
