// The 3D view of one vector channel (see graph3D.h).
//
// The surface array `data3D` is the 3D control's own data: the plot refers to it, so that a
// refresh only rewrites it and asks for a redraw; nothing is allocated after the view is open.
//
// Guarantees:
// - The view reads only the rows of a channel that exist and only within `taille_voie`; the
//   positions around the centre are worked out in 64 bits, so that no spacing overflows.
// - A view left open by an earlier start is closed before a new one opens.
// - Missing values (NaN) go into the surface unchanged: the control leaves holes for them.
#include "graphs/graph3D.h"

#include "framework/voies.h"
#include "platform/ui.h"
#include "platform/ui_3d.h"
#include "platform/ui_graph.h"
#include "uir/UIR_graph3D.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>

double data3D[50][50];
int panel3D = 0;
int ctrl3D = 0;

namespace {

constexpr int kPositions = 50;  // rows of the surface: positions along the vector
constexpr int kVecteurs = 50;   // columns: the vectors of the ring, oldest first
static_assert(kVecteurs == kLignesVecteur, "one column per vector of the ring");
constexpr int kLongueurReference = 30;

int plot3D = 0;
ColorMapEntry colormap3D[3];
bool actif = false;  // from a complete opening until the view is closed

// Settings of the 3D control, in the order they are applied, with the type each one takes.
struct Reglage {
    int attribut;
    std::variant<int, double, const char *> valeur;
};
const Reglage kReglages[] = {
    {OGLATTR_HEIGHT, 420},
    {OGLATTR_WIDTH, 490},
    {10051, 0},
    {10030, 2},
    {10307, 1},
    {OGLATTR_Z_NAME, "Z"},
    {OGLATTR_Z_COLOR, 0xFFFF00},
    {10305, 17},
    {10310, 1},
    {10316, 16},
    {10324, 5},
    {10331, -1},
    {OGLATTR_X_NAME, "X"},
    {10100, 1},
    {10106, 17},
    {OGLATTR_X_COLOR, 0xFFFF00},
    {10115, 16},
    {10117, 1},
    {OGLATTR_Y_NAME, "Y"},
    {10200, 1},
    {10206, 17},
    {OGLATTR_Y_COLOR, 0xFFFF00},
    {10217, 1},
    {10215, 16},
    {10404, 1},
    {OGLATTR_XZ_PLANE_COLOR, 0xC0C0C0},
    {10403, 1},
    {OGLATTR_XY_PLANE_COLOR, 0xC0C0C0},
    {10405, 1},
    {OGLATTR_YZ_PLANE_COLOR, 0xC0C0C0},
    {10074, -1.0},
    {10075, 2.0},
    {10070, -1.0},
    {10071, 2.0},
    {10072, -1.0},
    {10073, 2.0},
    {10035, 0},
    {10034, 4.0},
    {10033, 66.0},
    {10032, 64.0},
    {10038, -0.35},
    {10001, 0},
    {10047, 1},
    {10048, 1},
};
static_assert(std::size(kReglages) == 44);

int InitOGLControl() {
    ctrl3D = OGLNewCtrl(panel3D, "", 70, 10);
    if (ctrl3D <= 0) {
        char texte[256] = "";
        OGLGetErrorString(ctrl3D, texte, 255);
        MessagePopup("InitOGLControl", texte);
        return -1;
    }
    for (const Reglage &r : kReglages)
        std::visit([&](auto v) { OGLSetCtrlAttribute(panel3D, ctrl3D, r.attribut, v); }, r.valeur);
    return 0;
}

int InitPlot3D() {
    std::fill(&data3D[0][0], &data3D[0][0] + kPositions * kVecteurs, 0.0);
    plot3D = OGLPlot3DUniform(panel3D, ctrl3D, data3D, kVecteurs, kPositions, OGLVAL_DOUBLE, 1.0, 0.0, 1.0, 0.0);
    OGLSetPlotAttribute(panel3D, ctrl3D, plot3D, 10490, 2);
    OGLSetPlotAttribute(panel3D, ctrl3D, plot3D, 10492, 0.0);
    OGLSetPlotAttribute(panel3D, ctrl3D, plot3D, 10493, 50);
    OGLSetPlotAttribute(panel3D, ctrl3D, plot3D, 10481, -2);
    return 0;
}

void Update_Liste_Voie2D() { init_liste_voie2D(panel3D, P_OGL_RING); }

void SetColorMap3D(int c0, int c1, int c2, double v0, double v1, double v2) {
    const int couleurs[3] = {c0, c1, c2};
    const double valeurs[3] = {v0, v1, v2};
    for (int i = 0; i < 3; ++i) {
        colormap3D[i].dataValue.valDouble = valeurs[i];
        colormap3D[i].color = couleurs[i];
    }
}

// Rebuilds the surface from the chosen channel: row r is the sample at position
// centre + (r - 25) * spacing (held within the vector), column k the k-th vector of the ring
// from the oldest. -1 when no channel can be shown (the surface stays as it was).
int Update_Data3D(double surface[kPositions][kVecteurs], ptr2D *) {
    char reference[kLongueurReference] = "";
    GetCtrlVal(panel3D, P_OGL_RING, reference);
    const ptr2D *voie = get_buffer2D_from_tatoo(reference);
    if (!voie || voie->taille_voie <= 0) return -1;
    const int n = voie->taille_voie;
    const int dernier = voie->dernier_indice;
    if (dernier < 0 || dernier >= kVecteurs) return -1;
    for (int k = 0; k < kVecteurs; ++k)
        if (!voie->mesure[k] || !voie->indices[k]) return -1;

    int centre = 0, pas = 0;
    GetCtrlVal(panel3D, P_OGL_CENTER, &centre);
    GetCtrlVal(panel3D, P_OGL_Z_OUT, &pas);
    if (centre < 0 || centre >= n) {
        centre = n / 2;
        SetCtrlVal(panel3D, P_OGL_CENTER, centre);
    }
    SetCtrlAttribute(panel3D, P_OGL_NUMERIC, ATTR_DIMMED, 0);
    SetCtrlVal(panel3D, P_OGL_NUMERIC, voie->indices[dernier][centre]);

    if (pas >= 1) {
        for (int r = 0; r < kPositions; ++r) {
            const std::int64_t position = centre + static_cast<std::int64_t>(r - kPositions / 2) * pas;
            const int q = static_cast<int>(std::clamp<std::int64_t>(position, 0, n - 1));
            for (int k = 0; k < kVecteurs; ++k) {
                const int tranche = (dernier + 1 + k) % kVecteurs;
                surface[r][k] = voie->mesure[tranche][q];
            }
        }
    }
    return 0;
}

}  // namespace

int InitGraph3D(int) {
    if (panel3D != 0) DiscardGraph3D();
    panel3D = LoadPanel(0, "UIR_graph3D.uir", P_OGL);
    if (panel3D < 0) {
        panel3D = 0;
        MessagePopup("Graph 3D", "Impossible de charger le panel 3D");
        return -1;
    }
    InstallPanelCallback(panel3D, P_Graph3D_Callback, nullptr);
    // Without its 3D control the panel stays loaded and hidden until the view is closed.
    if (InitOGLControl() < 0) return -1;
    InitPlot3D();
    Update_Liste_Voie2D();
    PlacePanelWhereFree(panel3D);
    DisplayPanel(panel3D);
    actif = true;
    return 0;
}

void Visu3D(ptr2D *table) {
    if (!actif) return;
    Update_Data3D(data3D, table);
    double zmin = 0, zmax = 0;
    OGLGetCtrlAttribute(panel3D, ctrl3D, OGLATTR_ZMIN, &zmin);
    OGLGetCtrlAttribute(panel3D, ctrl3D, OGLATTR_ZMAX, &zmax);
    SetColorMap3D(0x000000, 0x0000FF, 0xFF0000, zmin, (zmin + zmax) / 2.0, zmax);
    OGLSetPlotColorScheme(panel3D, ctrl3D, plot3D, OGLVAL_SCHEME_COLOR_MAP, colormap3D, 3, 0xFFFF00, 1,
                          nullptr, 0, 0);
    OGLRefreshGraph(panel3D, ctrl3D);
}

int DiscardGraph3D() {
    actif = false;
    if (panel3D != 0) {
        if (ctrl3D > 0) OGLDiscardCtrl(panel3D, ctrl3D);
        DiscardPanel(panel3D);
    }
    panel3D = 0;
    ctrl3D = 0;
    plot3D = 0;
    return 0;
}

int P_Graph3D_Callback(int panel, int event, void *, int, int) {
    if (event != EVENT_PANEL_SIZE) return 0;
    int haut = 0, gauche = 0, largeur = 0, hauteur = 0;
    GetCtrlAttribute(panel, ctrl3D, ATTR_TOP, &haut);
    GetCtrlAttribute(panel, ctrl3D, ATTR_LEFT, &gauche);
    GetCtrlAttribute(panel, ctrl3D, ATTR_WIDTH, &largeur);
    GetCtrlAttribute(panel, ctrl3D, ATTR_HEIGHT, &hauteur);
    OGLSetCtrlAttribute(panel, ctrl3D, OGLATTR_TOP, haut);
    OGLSetCtrlAttribute(panel, ctrl3D, OGLATTR_LEFT, gauche);
    OGLSetCtrlAttribute(panel, ctrl3D, OGLATTR_WIDTH, largeur);
    OGLSetCtrlAttribute(panel, ctrl3D, OGLATTR_HEIGHT, hauteur);
    OGLRefreshGraph(panel, ctrl3D);
    return 0;
}

int CB_Center(int panel, int, int event, void *, int, int) {
    if (event == EVENT_COMMIT) SetCtrlAttribute(panel, P_OGL_NUMERIC, ATTR_DIMMED, 1);
    return 0;
}
UI_CALLBACK(CB_Center);
