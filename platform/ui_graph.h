// The graph control of the user-interface layer, and what the graph windows need beyond the
// calls of ui.h: colours and geometry of any control, table columns and numeric cells, panel
// callbacks with their events.
//
// A graph control ("graph" in a resource file) has an x axis at the bottom and two y axes, left
// and right. Each plot is drawn against the x axis and the y axis that was active when it was
// made (ATTR_ACTIVE_YAXIS); a missing value (NaN) leaves a gap in the line. Every axis is
// either scaled automatically (its range is the smallest one holding every finite value of its
// plots) or manually, between two bounds; the range of an automatic axis is known as soon as a
// plot is made or deleted, without waiting for the screen.
//
// Drawing is coalesced: the calls change the graph's model at once and the screen follows at
// the next turn of the event loop, once for all the changes made meanwhile; a graph that is
// not shown (hidden, or on a hidden panel) is drawn only when it is shown again.
//
// Every call may come from any thread (it is carried out on the user-interface thread) and
// returns 0 or a handle > 0 on success, a negative UiError on failure, as in ui.h.
#pragma once

#include "platform/ui.h"

#include <string>
#include <vector>

// ---- events and attributes beyond ui.h ----------------------------------------------------

enum UiEventGraphe {
    EVENT_RIGHT_CLICK = 20,  // graph: eventData1 = y, eventData2 = x of the pointer, pixels
    EVENT_GOT_FOCUS = 21,    // panel: the window became the active one
    EVENT_LOST_FOCUS = 22,   // panel: the window is no longer the active one
    EVENT_CLOSE = 23,        // panel: the operator asked to close the window (it stays open)
    EVENT_PANEL_SIZE = 24,   // panel: the window's size changed
};

enum UiAttributeGraphe {
    ATTR_LABEL_COLOR = 101,  // int 0xRRGGBB, any control with a label
    ATTR_TEXT_COLOR,         // int 0xRRGGBB, the text of the control's value
    ATTR_LEFT,               // int, pixels from the panel's left edge
    ATTR_TOP,                // int, pixels from the panel's top edge
    ATTR_WIDTH,              // int, pixels
    ATTR_HEIGHT,             // int, pixels
    ATTR_ACTIVE_YAXIS,       // int, graphs: VAL_LEFT_YAXIS or VAL_RIGHT_YAXIS, the axis of new plots
    ATTR_FIRST_VISIBLE_ROW,  // int, tables: row (from 1) scrolled to the top, as far as it goes
    ATTR_USE_LABEL_TEXT,     // int 0/1, table columns: the title text is shown in the header
    ATTR_FORMAT,             // int, table columns: a UiFormat
    ATTR_PRECISION,          // int, table columns: digits (see UiFormat)
    ATTR_TRACE_COLOR,        // int 0xRRGGBB, plots (read only)
    ATTR_PLOT_YAXIS,         // int, plots: the y axis the plot is drawn against (read only)
    ATTR_NUM_POINTS,         // int, plots: number of points (read only)
    ATTR_BACKCOLOR,          // int 0xRRGGBB, panels: background; their texts turn light on dark
};

// Number formats of table columns.
enum UiFormat {
    VAL_DECIMAL_FORMAT = 0xFFF0,     // fixed point, `precision` digits after the point
    VAL_SCIENTIFIC_FORMAT = 0xFFF1,  // mantissa and exponent, `precision` digits after the point
    VAL_AUTO_FORMAT = 0xFFF2,        // the shorter of both, `precision` significant digits
};

// ---- panel callbacks ----------------------------------------------------------------------

// Callback of a panel: (panel, event, callback data, event data 1, 2).
using PanelCallbackPtr = int (*)(int panel, int event, void *callbackData, int eventData1,
                                 int eventData2);

// The callback receives EVENT_CLOSE, EVENT_GOT_FOCUS, EVENT_LOST_FOCUS and EVENT_PANEL_SIZE of
// the panel; a null callback removes it. A panel never closes by itself: a close request only
// reaches the callback.
int InstallPanelCallback(int panel, PanelCallbackPtr callback, void *callbackData);

// ---- tables: columns and numeric cells ----------------------------------------------------

// Inserts `count` empty columns before `column` (from 1); column -1 appends them.
int InsertTableColumns(int panel, int control, int column, int count);
// Deletes `count` columns from `column`; count -1 deletes to the end.
int DeleteTableColumns(int panel, int control, int column, int count);
int GetNumTableColumns(int panel, int control, int *columns);
// ATTR_USE_LABEL_TEXT, ATTR_FORMAT, ATTR_PRECISION (int) and ATTR_LABEL_TEXT (text).
int SetTableColumnAttribute(int panel, int control, int column, int attribute, int value);
int SetTableColumnAttribute(int panel, int control, int column, int attribute, const char *value);
int GetTableColumnAttribute(int panel, int control, int column, int attribute, int *value);
int GetTableColumnAttribute(int panel, int control, int column, int attribute, char *value,
                            std::size_t size);
// A numeric cell, shown in its column's format; NaN is shown as "NaN".
int SetTableCellVal(int panel, int control, Point cell, double value);
// The number of a numeric cell (NaN for a cell that holds none).
int GetTableCellVal(int panel, int control, Point cell, double *value);

// ---- graph control ------------------------------------------------------------------------

enum UiAxe { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1, VAL_RIGHT_YAXIS = 2 };
enum UiEchelle {
    VAL_MANUAL = 0,     // between two bounds
    VAL_AUTOSCALE = 1,  // the range of the finite values of the axis's plots
    VAL_LOCK = 2,       // keeps the range it has now
    VAL_NO_CHANGE = 3,  // SetAxisRange: leaves that axis as it is
};
enum UiTypeDonnee { VAL_DOUBLE = 4, VAL_FLOAT = 3, VAL_INTEGER = 2 };
enum UiStyleTrace { VAL_THIN_LINE = 0, VAL_FAT_LINE = 1, VAL_SCATTER = 2, VAL_CONNECTED_POINTS = 3 };
enum UiStylePoint { VAL_NO_POINT = 0, VAL_SIMPLE_DOT = 1, VAL_EMPTY_SQUARE = 2, VAL_SOLID_SQUARE = 3,
                    VAL_EMPTY_CIRCLE = 4, VAL_SOLID_CIRCLE = 5, VAL_CROSS = 6 };
enum UiStyleLigne { VAL_SOLID = 0, VAL_DASH = 1, VAL_DOT = 2, VAL_DASH_DOT = 3 };
enum UiDessin {
    VAL_IMMEDIATE_DRAW = 0,  // the screen follows at the next turn of the event loop
    VAL_DELAYED_DRAW = 1,    // the same: drawing is always coalesced
    VAL_NO_DRAW = 2,         // the screen follows at the next change that draws
};

// Plots `count` values of `yArray` (of type `yDataType`) at x = 0, 1, 2, ..., against the active
// y axis, in colour 0xRRGGBB. The values are copied. Returns the plot's handle (> 0).
int PlotY(int panel, int control, const void *yArray, int count, int yDataType, int plotStyle,
          int pointStyle, int lineStyle, int pointFrequency, int color);
// Plots the points (x[i], y[i]) in their order.
int PlotXY(int panel, int control, const void *xArray, const void *yArray, int count,
           int xDataType, int yDataType, int plotStyle, int pointStyle, int lineStyle,
           int pointFrequency, int color);
// Deletes a plot; -1 deletes every plot of the graph. A handle that names no plot of the graph
// changes nothing and returns 0.
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
// x axis and active y axis: each VAL_MANUAL (between its bounds), VAL_AUTOSCALE, VAL_LOCK or
// VAL_NO_CHANGE.
int SetAxisRange(int panel, int control, int xScaling, double xmin, double xmax, int yScaling,
                 double ymin, double ymax);
// Sets one axis to VAL_AUTOSCALE, VAL_LOCK, or VAL_MANUAL between min < max.
int SetAxisScalingMode(int panel, int control, int axis, int scaling, double min, double max);
// The axis's mode and the range it has now (an automatic axis: the one its plots give).
int GetAxisScalingMode(int panel, int control, int axis, int *scaling, double *min, double *max);
// Axis titles (text, Windows-1252).
int SetAxisName(int panel, int control, int axis, const char *name);

// Reading back what a graph holds: its plots in the order they were made, a plot's attribute
// (ATTR_TRACE_COLOR, ATTR_PLOT_YAXIS, ATTR_NUM_POINTS) and its points.
int GetGraphPlots(int panel, int control, std::vector<int> *handles);
int GetPlotAttribute(int panel, int control, int plotHandle, int attribute, int *value);
int GetPlotData(int panel, int control, int plotHandle, std::vector<double> *x,
                std::vector<double> *y);
// The ticks of an axis for the range it has now, with their texts as the graph shows them (a
// text with an exponent, "2.5e-07", shows as 2.5·10⁻⁷).
int GetAxisTicks(int panel, int control, int axis, std::vector<double> *values, std::vector<std::string> *labels);
// The plot area inside the graph as the graph lays it out now, in pixels from its top-left
// corner: the graphs of one panel keep their plot areas' left and right edges in line.
int GetGraphPlotArea(int panel, int control, int *left, int *top, int *width, int *height);
// Number of times the graph has been drawn on screen (to check that drawing is coalesced and
// skipped while the graph is not shown).
int GetGraphDrawCount(int panel, int control, int *count);
