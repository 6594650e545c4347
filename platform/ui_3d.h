// The OpenGL 3D-graph control of the user-interface layer: a surface over a uniform grid,
// drawn from an array that the caller keeps (the control reads it at every refresh, it makes
// no copy), coloured from a colour map, with three named axes and a fixed viewpoint.
//
// The control is made at run time on a loaded panel (OGLNewCtrl) and then behaves as any other
// control of the panel for the calls of ui.h and ui_graph.h (visible, geometry...). It needs a
// real OpenGL context: on a display without one (the toolkit's "offscreen" platform, say),
// OGLNewCtrl fails with an error code instead of crashing.
//
// The grid: OGLPlot3DUniform takes an array of `numberOfYPoints` rows of `numberOfXPoints`
// values each (row-major); row j, column i lies at x = xStart + i * xSpacing,
// y = yStart + j * ySpacing, and its value is its height on the Z axis. Missing values (NaN)
// leave holes in the surface. The Z axis scales itself to the finite values of the array:
// OGLGetCtrlAttribute(OGLATTR_ZMIN / OGLATTR_ZMAX) gives its bounds for the array as it is now.
//
// Every call may come from any thread (it is carried out on the user-interface thread) and
// returns 0 or an id/handle > 0 on success, a negative code on failure.
#pragma once

#include <cstddef>
#include <vector>

// Error codes of OGLNewCtrl and the other calls (negative results).
enum OglErreur {
    OGL_ERR_PANEL = -1,        // the panel handle names no loaded panel
    OGL_ERR_CONTROL = -2,      // the control id names no 3D control of that panel
    OGL_ERR_PLOT = -3,         // the plot handle names no plot of that control
    OGL_ERR_ATTRIBUTE = -4,    // attribute number or value not valid
    OGL_ERR_NO_GL = -5,        // no OpenGL context can be made on this display
    OGL_ERR_ARGUMENT = -6,     // a null array, a count below 2 or an unknown data type
};

// Attributes of the control. The numbers run by group: the control 10000-10099, the X axis
// 10100-10199, the Y axis 10200-10299, the Z axis 10300-10399, the grid planes 10400-10479,
// the plots 10480-10499. Any number in these groups may be set and read back; those named here
// act on the view.
enum OglAttribut {
    OGLATTR_LEFT = 10010,            // int, pixels
    OGLATTR_TOP = 10011,             // int, pixels
    OGLATTR_WIDTH = 10012,           // int, pixels
    OGLATTR_HEIGHT = 10013,          // int, pixels
    OGLATTR_X_COLOR = 10102,         // int 0xRRGGBB: labels and title of the X axis
    OGLATTR_X_NAME = 10120,          // text
    OGLATTR_Y_COLOR = 10202,         // int 0xRRGGBB
    OGLATTR_Y_NAME = 10220,          // text
    OGLATTR_Z_COLOR = 10301,         // int 0xRRGGBB
    OGLATTR_Z_NAME = 10320,          // text
    OGLATTR_ZMIN = 10329,            // double, read only: lower bound of the Z axis
    OGLATTR_ZMAX = 10330,            // double, read only: upper bound of the Z axis
    OGLATTR_XY_PLANE_COLOR = 10406,  // int 0xRRGGBB: grid lines (the three planes share them)
    OGLATTR_XZ_PLANE_COLOR = 10407,
    OGLATTR_YZ_PLANE_COLOR = 10408,
};

// Data type of OGLPlot3DUniform's array: 8-byte doubles.
constexpr int OGLVAL_DOUBLE = 4;

// Colour schemes of OGLSetPlotColorScheme.
enum OglSchema {
    OGLVAL_SCHEME_COLOR_MAP = 4,  // colours interpolated (or stepped) between colour-map entries
};

// One entry of a colour map: a value and the colour it takes.
union ColorMapValue {
    int valInt;
    float valFloat;
    double valDouble;
};
struct ColorMapEntry {
    ColorMapValue dataValue;  // this control reads valDouble
    int color;                // 0xRRGGBB
};

// A new 3D control on `panel`, at (top, left), labelled `label`; its id (> 0) or an OglErreur.
int OGLNewCtrl(int panel, const char *label, int top, int left);
// The description of an error code, cut to fit `size` bytes (terminator included).
int OGLGetErrorString(int code, char *text, int size);
// Removes the control from its panel.
int OGLDiscardCtrl(int panel, int control);

int OGLSetCtrlAttribute(int panel, int control, int attribute, int value);
int OGLSetCtrlAttribute(int panel, int control, int attribute, double value);
int OGLSetCtrlAttribute(int panel, int control, int attribute, const char *value);
int OGLGetCtrlAttribute(int panel, int control, int attribute, int *value);
int OGLGetCtrlAttribute(int panel, int control, int attribute, double *value);
int OGLGetCtrlAttribute(int panel, int control, int attribute, char *value, int size);

// A surface over a uniform grid that refers to `zArray` (see the top of this file); its handle.
// The control keeps one plot: a new one replaces the previous one.
int OGLPlot3DUniform(int panel, int control, const void *zArray, int numberOfXPoints,
                     int numberOfYPoints, int zDataType, double xSpacing, double xStart,
                     double ySpacing, double yStart);
int OGLSetPlotAttribute(int panel, int control, int plot, int attribute, int value);
int OGLSetPlotAttribute(int panel, int control, int plot, int attribute, double value);
// Scheme OGLVAL_SCHEME_COLOR_MAP: the surface takes the colours of the `count` entries of
// `colorMap` (in increasing value order), interpolated between them when `interpolate` is 1;
// values above the last entry take `hiColor`. The map is copied. `colorArray` and its two
// dimensions are not read by this scheme.
int OGLSetPlotColorScheme(int panel, int control, int plot, int scheme,
                          const ColorMapEntry *colorMap, int count, int hiColor, int interpolate,
                          const int *colorArray, int dim1, int dim2);
// Redraws the surface from its array (the screen follows at the next turn of the event loop).
int OGLRefreshGraph(int panel, int control);

// ---- reading back (the program's checks and the tests) -----------------------------------

// What the control shows now: its grid, how many refreshes it had, the bounds of its Z axis,
// the heights of the surface (row-major, as the array was at the last refresh; NaN for a hole)
// and the gradient it is coloured with (each stop: its position, 0 at the bottom of the Z axis
// and 1 at the top, and its colour 0xRRGGBB).
struct OglEtat {
    int lignes = 0, colonnes = 0;
    std::size_t rafraichissements = 0;
    double zmin = 0, zmax = 0;
    std::vector<double> hauteurs;
    struct Arret {
        double position;
        int couleur;
    };
    std::vector<Arret> arrets;
};
int OGLGetState(int panel, int control, OglEtat *etat);
// Saves what the screen shows of the control into a PNG file.
int OGLSaveImage(int panel, int control, const char *path);

// For tests: from now on OGLNewCtrl fails with `code` (a negative OglErreur); 0 ends that.
void OGLEchecCreation(int code);
