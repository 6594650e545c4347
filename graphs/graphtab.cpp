// Graph windows and measurement table (see graphtab.h).
//
// Guarantees kept whatever happens to the panels:
// - `nbgraphs` is the number of windows in the list: a table panel that cannot be loaded builds
//   no window and counts none, and a count lowered while acquiring never unlinks from an empty
//   list.
// - A window whose panels could not be loaded stays in the list (and in the count) but is never
//   read: it draws nothing.
// - A channel is read within its own ring: the raw trace is unrolled over the ring's depth, the
//   average curves are drawn only when they exist.
// - Missing values (NaN) go through unchanged: the plots leave gaps, the table shows them.
#include "graphs/graphtab.h"

#include "framework/voies.h"
#include "platform/ui.h"
#include "platform/ui_graph.h"
#include "uir/UIR_graphtab.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

LC_GRAPH *graphs = nullptr;
int nbgraphs = 1;

namespace {

constexpr const char *kFichier = "UIR_graphtab.uir";
constexpr int kMaxLignesAvantAjout = 500;  // the table keeps at most 501 rows
constexpr int kLongueurReference = 30;      // a channel reference and its terminator

struct CouleurTrace {
    const char *libelle;
    int valeur;
};
constexpr CouleurTrace kCouleurs[] = {
    {"Blanc", 0xFFFFFF}, {"Jaune", 0xFFFF00}, {"Vert", 0x00FF00},   {"Bleu", 0x0000FF},
    {"Rouge", 0xFF0000}, {"Cyan", 0x00FFFF},  {"Magenta", 0xFF00FF},
};
constexpr int kJaune = 0xFFFF00;
constexpr int kVert = 0x00FF00;
// The windows are dark, as their plot areas, so that the coloured labels and values of the two
// sides stay readable.
constexpr int kFondFenetre = 0x2E3136;

// The controls that take the colour of a side: its channel ring and its three span indicators.
constexpr int kControlesGauche[] = {P_Graph_TRACE_GAUCHE, P_Graph_DIFF_VOIE_1_2, P_Graph_DIFF_VOIE_1_1,
                                    P_Graph_DIFF_VOIE_1};
constexpr int kControlesDroite[] = {P_Graph_TRACE_DROIT, P_Graph_DIFF_VOIE_2_2, P_Graph_DIFF_VOIE_2_1,
                                    P_Graph_DIFF_VOIE_2};

constexpr int kGraphes[] = {P_Graph_GRAPH, P_Graph_GRAPH_2, P_Graph_GRAPH_3};

// What differs between the two sides of a window.
struct Cote {
    int axe;
    int anneau_voie;
    const int *indicateurs;  // span of GRAPH, GRAPH_2, GRAPH_3
    int anneau_echelle;
    int minimum, maximum, centrage;
};
constexpr int kIndicateursGauche[] = {P_Graph_DIFF_VOIE_1, P_Graph_DIFF_VOIE_1_1, P_Graph_DIFF_VOIE_1_2};
constexpr int kIndicateursDroite[] = {P_Graph_DIFF_VOIE_2, P_Graph_DIFF_VOIE_2_1, P_Graph_DIFF_VOIE_2_2};
constexpr Cote kGauche = {VAL_LEFT_YAXIS, P_Graph_TRACE_GAUCHE, kIndicateursGauche,
                          P_Choix_RING_Choix_Echelle_G, P_Choix_NUM_Val_MIN_Gauche,
                          P_Choix_NUM_Val_MAX_Gauche, P_Choix_NUM_Val_Centrage_G};
constexpr Cote kDroite = {VAL_RIGHT_YAXIS, P_Graph_TRACE_DROIT, kIndicateursDroite,
                          P_Choix_RING_Choix_Echelle_D, P_Choix_NUM_Val_MIN_Droite,
                          P_Choix_NUM_Val_MAX_Droite, P_Choix_NUM_Val_Centrage_D};

int panelTableau = 0;
// The raw ring unrolled oldest first; kept from one refresh to the next.
std::vector<double> travail;

template <std::size_t N>
void Colorer(int panel, const int (&controles)[N], int couleur) {
    for (int c : controles) {
        SetCtrlAttribute(panel, c, ATTR_LABEL_COLOR, couleur);
        SetCtrlAttribute(panel, c, ATTR_TEXT_COLOR, couleur);
    }
}

LC_GRAPH *FenetreDe(int panel) {
    for (LC_GRAPH *w = graphs; w; w = w->next)
        if (w->panelGraph == panel) return w;
    return nullptr;
}

int Compter() {
    int n = 0;
    for (LC_GRAPH *w = graphs; w; w = w->next) ++n;
    return n;
}

void Jeter(LC_GRAPH *w) {
    if (w->panelGraph > 0) DiscardPanel(w->panelGraph);
    if (w->panelChoixAxe > 0) DiscardPanel(w->panelChoixAxe);
    delete w;
}

// Builds one window's panels and shows it, drawing nothing until a channel is chosen.
void Init_graph(int nb_points, LC_GRAPH *w) {
    w->panelGraph = LoadPanel(0, kFichier, P_Graph);
    if (w->panelGraph < 0) return;
    w->panelChoixAxe = LoadPanel(0, kFichier, P_Choix);
    if (w->panelChoixAxe < 0) return;
    InstallPanelCallback(w->panelGraph, CB_panel_graph, nullptr);
    SetPanelAttribute(w->panelGraph, ATTR_BACKCOLOR, kFondFenetre);

    for (const CouleurTrace &c : kCouleurs) InsertListItem(w->panelGraph, P_Graph_RG_COLOR_G, -1, c.libelle, c.valeur);
    for (const CouleurTrace &c : kCouleurs) InsertListItem(w->panelGraph, P_Graph_RG_COLOR_D, -1, c.libelle, c.valeur);
    w->color_left = kJaune;
    SetCtrlVal(w->panelGraph, P_Graph_RG_COLOR_G, w->color_left);
    w->color_right = kVert;
    SetCtrlVal(w->panelGraph, P_Graph_RG_COLOR_D, w->color_right);
    Colorer(w->panelGraph, kControlesDroite, w->color_right);
    Colorer(w->panelGraph, kControlesGauche, w->color_left);

    init_liste_voie(w->panelGraph, P_Graph_TRACE_GAUCHE);
    init_liste_voie(w->panelGraph, P_Graph_TRACE_DROIT);

    for (int g : kGraphes)
        SetAxisRange(w->panelGraph, g, VAL_MANUAL, 0.0, nb_points - 1.0, VAL_NO_CHANGE, 0.0, 0.0);
    // Where it leaves the main panel and the windows already open in view as far as it can.
    PlacePanelWhereFree(w->panelGraph);
    DisplayPanel(w->panelGraph);
}

// Draws one side of a window: the channel's three curves, the spans of its axis, then the
// scaling chosen for that axis of GRAPH.
void Tracer(LC_GRAPH *w, const ptr &voie, const Cote &cote, int couleur, int *handles[3]) {
    const int panel = w->panelGraph;
    for (int g : kGraphes) SetCtrlAttribute(panel, g, ATTR_ACTIVE_YAXIS, cote.axe);

    // The ring, oldest value first: slots ptr_mobile to the end, then 0 to ptr_mobile - 1.
    const int profondeur = voie.profondeur;
    const bool brut = voie.mesure && profondeur > 0;
    if (brut) {
        const int mobile = std::clamp(voie.ptr_mobile, 0, profondeur - 1);
        travail.resize(static_cast<std::size_t>(profondeur));
        std::copy(voie.mesure + mobile, voie.mesure + profondeur, travail.begin());
        std::copy(voie.mesure, voie.mesure + mobile, travail.begin() + (profondeur - mobile));
        *handles[0] = PlotY(panel, P_Graph_GRAPH, travail.data(), profondeur, VAL_DOUBLE, VAL_THIN_LINE,
                            VAL_EMPTY_SQUARE, VAL_SOLID, 1, couleur);
    }
    // The average curves are as long as the ring.
    const int points = std::min(nbpointsgraph, profondeur);
    if (voie.points_mid && points > 0)
        *handles[1] = PlotY(panel, P_Graph_GRAPH_2, voie.points_mid, points, VAL_DOUBLE, VAL_THIN_LINE,
                            VAL_EMPTY_SQUARE, VAL_SOLID, 1, couleur);
    if (voie.points_long && points > 0)
        *handles[2] = PlotY(panel, P_Graph_GRAPH_3, voie.points_long, points, VAL_DOUBLE, VAL_THIN_LINE,
                            VAL_EMPTY_SQUARE, VAL_SOLID, 1, couleur);

    // The spans as the new plots give them, before this refresh's scaling choice.
    for (int k = 0; k < 3; ++k) {
        int mode = 0;
        double mini = 0, maxi = 0;
        if (GetAxisScalingMode(panel, kGraphes[k], cote.axe, &mode, &mini, &maxi) >= 0)
            SetCtrlVal(panel, cote.indicateurs[k], maxi - mini);
    }

    // The scaling choice of the dialog, read at every refresh.
    int choix = 0;
    GetCtrlIndex(w->panelChoixAxe, cote.anneau_echelle, &choix);
    switch (choix) {
    case 0:
        SetAxisScalingMode(panel, P_Graph_GRAPH, cote.axe, VAL_AUTOSCALE, 0.0, 0.0);
        break;
    case 1: {
        double mini = 0, maxi = 0;
        GetCtrlVal(w->panelChoixAxe, cote.minimum, &mini);
        GetCtrlVal(w->panelChoixAxe, cote.maximum, &maxi);
        if (mini < maxi) SetAxisScalingMode(panel, P_Graph_GRAPH, cote.axe, VAL_MANUAL, mini, maxi);
        break;
    }
    case 2: {
        double c = 0;
        GetCtrlVal(w->panelChoixAxe, cote.centrage, &c);
        // Centred on the newest value; a missing one leaves the axis as it is.
        const double v = brut ? travail.back() : std::numeric_limits<double>::quiet_NaN();
        const double bas = v - c, haut = v + c;
        if (bas < haut) SetAxisScalingMode(panel, P_Graph_GRAPH, cote.axe, VAL_MANUAL, bas, haut);
        break;
    }
    default:
        break;
    }
}

void Visu_graph(LC_GRAPH *w) {
    // A window whose panels did not load has nothing to read or draw.
    if (w->panelGraph <= 0 || w->panelChoixAxe <= 0) return;
    char reference_gauche[kLongueurReference] = "";
    char reference_droite[kLongueurReference] = "";
    GetCtrlVal(w->panelGraph, P_Graph_TRACE_GAUCHE, reference_gauche);
    GetCtrlVal(w->panelGraph, P_Graph_TRACE_DROIT, reference_droite);
    const ptr *gauche = get_buffer_from_tatoo(reference_gauche);
    const ptr *droite = get_buffer_from_tatoo(reference_droite);

    const int panel = w->panelGraph;
    DeleteGraphPlot(panel, P_Graph_GRAPH, w->handle_plot_gauche, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(panel, P_Graph_GRAPH_2, w->handle_plot_gauche_2, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(panel, P_Graph_GRAPH_3, w->handle_plot_gauche_3, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(panel, P_Graph_GRAPH, w->handle_plot_droite, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(panel, P_Graph_GRAPH_2, w->handle_plot_droite_2, VAL_IMMEDIATE_DRAW);
    DeleteGraphPlot(panel, P_Graph_GRAPH_3, w->handle_plot_droite_3, VAL_IMMEDIATE_DRAW);

    if (gauche) {
        int *h[3] = {&w->handle_plot_gauche, &w->handle_plot_gauche_2, &w->handle_plot_gauche_3};
        Tracer(w, *gauche, kGauche, w->color_left, h);
    }
    if (droite) {
        int *h[3] = {&w->handle_plot_droite, &w->handle_plot_droite_2, &w->handle_plot_droite_3};
        Tracer(w, *droite, kDroite, w->color_right, h);
    }
}

void Visu_tableau(int nb_voies, ptr *table) {
    if (panelTableau <= 0) return;
    int lignes = 0;
    GetNumTableRows(panelTableau, P_AFF_TAB_TABLE, &lignes);
    if (lignes > kMaxLignesAvantAjout) DeleteTableRows(panelTableau, P_AFF_TAB_TABLE, 1, 1);
    InsertTableRows(panelTableau, P_AFF_TAB_TABLE, -1, 1);
    // The newest rows stay in view (the first sample finds no row to scroll to).
    if (lignes > 0) SetCtrlAttribute(panelTableau, P_AFF_TAB_TABLE, ATTR_FIRST_VISIBLE_ROW, lignes);
    const int derniere = std::min(lignes, kMaxLignesAvantAjout) + 1;
    for (int i = 0; i < nb_voies; ++i) {
        const ptr &v = table[i];
        const bool lisible = v.mesure && v.dernier_indice >= 0 && v.dernier_indice < v.profondeur;
        const double valeur = lisible ? v.mesure[v.dernier_indice] : std::numeric_limits<double>::quiet_NaN();
        SetTableCellVal(panelTableau, P_AFF_TAB_TABLE, MakePoint(i + 1, derniere), valeur);
    }
}

}  // namespace

void Init_graphtab(int nb_voies, int nb_graphes, ptr *table) {
    // What an earlier start left behind goes first.
    if (graphs || panelTableau > 0) DiscardGraphTab();
    nbgraphs = 0;
    panelTableau = LoadPanel(0, kFichier, P_AFF_TAB);
    if (panelTableau < 0) {
        panelTableau = 0;
        return;
    }
    if (table && nb_voies > 0) nbpointsgraph = table[0].profondeur;

    for (int k = 0; k < nb_graphes; ++k) {
        auto *w = new LC_GRAPH{};
        w->next = graphs;
        graphs = w;
        Init_graph(nbpointsgraph, w);
        ++nbgraphs;
    }

    DeleteTableRows(panelTableau, P_AFF_TAB_TABLE, 1, -1);
    DeleteTableColumns(panelTableau, P_AFF_TAB_TABLE, 1, -1);
    InsertTableColumns(panelTableau, P_AFF_TAB_TABLE, 1, nb_voies);
    for (int i = 0; i < nb_voies; ++i) {
        SetTableColumnAttribute(panelTableau, P_AFF_TAB_TABLE, i + 1, ATTR_USE_LABEL_TEXT, 1);
        SetTableColumnAttribute(panelTableau, P_AFF_TAB_TABLE, i + 1, ATTR_LABEL_TEXT, table[i].nom_voie);
        SetTableColumnAttribute(panelTableau, P_AFF_TAB_TABLE, i + 1, ATTR_FORMAT, VAL_AUTO_FORMAT);
        SetTableColumnAttribute(panelTableau, P_AFF_TAB_TABLE, i + 1, ATTR_PRECISION, 8);
    }
    PlacePanelWhereFree(panelTableau);
    DisplayPanel(panelTableau);
}

void Visu2D(int nb_voies, ptr *table) {
    for (LC_GRAPH *w = graphs; w; w = w->next) Visu_graph(w);
    Visu_tableau(nb_voies, table);
}

void MAJ_graphs(int n, int nb_points) {
    if (n < 1) return;
    nbgraphs = Compter();
    while (nbgraphs < n) {
        auto *w = new LC_GRAPH{};
        LC_GRAPH **fin = &graphs;
        while (*fin) fin = &(*fin)->next;
        *fin = w;
        Init_graph(nb_points, w);
        ++nbgraphs;
    }
    while (nbgraphs > n && graphs) {
        LC_GRAPH **dernier = &graphs;
        while ((*dernier)->next) dernier = &(*dernier)->next;
        LC_GRAPH *w = *dernier;
        *dernier = nullptr;
        Jeter(w);
        --nbgraphs;
    }
}

void DiscardGraphTab() {
    while (graphs) {
        LC_GRAPH *w = graphs;
        graphs = w->next;
        Jeter(w);
    }
    if (panelTableau > 0) DiscardPanel(panelTableau);
    panelTableau = 0;
}

// ---- callbacks ------------------------------------------------------------------------------

int Prog_Graph_Choix_Axe(int panel, int, int event, void *, int, int) {
    if (event != EVENT_RIGHT_CLICK) return 0;
    LC_GRAPH *w = FenetreDe(panel);
    if (!w || w->panelChoixAxe <= 0) return 0;
    // The dialog opens where it leaves the main panel and the windows in view as far as it can;
    // one already open stays where the operator has it.
    int ouvert = 0;
    GetPanelAttribute(w->panelChoixAxe, ATTR_VISIBLE, &ouvert);
    if (!ouvert) PlacePanelWhereFree(w->panelChoixAxe);
    DisplayPanel(w->panelChoixAxe);
    return 0;
}
UI_CALLBACK(Prog_Graph_Choix_Axe);

int Choix_echelles(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) HidePanel(panel);
    return 0;
}
UI_CALLBACK(Choix_echelles);

namespace {

// Dims the values the chosen scaling does not use: none for automatic scaling, the centring
// value for manual scaling, the bounds for centred scaling.
void GriserEchelle(int panel, int anneau, int minimum, int maximum, int centrage) {
    int mode = 0;
    GetCtrlVal(panel, anneau, &mode);
    int bornes, centre;
    switch (mode) {
    case 1: bornes = 1; centre = 1; break;
    case 2: bornes = 0; centre = 1; break;
    case 3: bornes = 1; centre = 0; break;
    default: return;
    }
    SetCtrlAttribute(panel, minimum, ATTR_DIMMED, bornes);
    SetCtrlAttribute(panel, maximum, ATTR_DIMMED, bornes);
    SetCtrlAttribute(panel, centrage, ATTR_DIMMED, centre);
}

}  // namespace

int Choix_Echelle_Gauche(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT)
        GriserEchelle(panel, control, P_Choix_NUM_Val_MIN_Gauche, P_Choix_NUM_Val_MAX_Gauche, P_Choix_NUM_Val_Centrage_G);
    return 0;
}
UI_CALLBACK(Choix_Echelle_Gauche);

int Choix_Echelle_Droite(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT)
        GriserEchelle(panel, control, P_Choix_NUM_Val_MIN_Droite, P_Choix_NUM_Val_MAX_Droite, P_Choix_NUM_Val_Centrage_D);
    return 0;
}
UI_CALLBACK(Choix_Echelle_Droite);

int CB_ring_color_left(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    LC_GRAPH *w = FenetreDe(panel);
    if (!w) return 0;
    GetCtrlVal(panel, control, &w->color_left);
    Colorer(panel, kControlesGauche, w->color_left);
    return 0;
}
UI_CALLBACK(CB_ring_color_left);

int CB_ring_color_right(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    LC_GRAPH *w = FenetreDe(panel);
    if (!w) return 0;
    GetCtrlVal(panel, control, &w->color_right);
    Colorer(panel, kControlesDroite, w->color_right);
    return 0;
}
UI_CALLBACK(CB_ring_color_right);

int CB_panel_graph(int, int, void *, int, int) {
    // Got focus, lost focus and close requests change nothing: the window lasts as long as the
    // acquisition.
    return 0;
}

int CB_enable_graph_2(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int visible = 1;
    GetCtrlVal(panel, control, &visible);
    for (int c : {P_Graph_GRAPH_2, P_Graph_DIFF_VOIE_1_1, P_Graph_DIFF_VOIE_2_1})
        SetCtrlAttribute(panel, c, ATTR_VISIBLE, visible);
    return 0;
}
UI_CALLBACK(CB_enable_graph_2);

int CB_enable_graph_3(int panel, int control, int event, void *, int, int) {
    if (event != EVENT_COMMIT) return 0;
    int visible = 1;
    GetCtrlVal(panel, control, &visible);
    for (int c : {P_Graph_GRAPH_3, P_Graph_DIFF_VOIE_1_2, P_Graph_DIFF_VOIE_2_2})
        SetCtrlAttribute(panel, c, ATTR_VISIBLE, visible);
    return 0;
}
UI_CALLBACK(CB_enable_graph_3);
