// User-interface layer: panels loaded from the resource files of ui/, their controls, list
// boxes, tables, pop-ups, timers and the event loop, on Qt Widgets.
//
// Every text crossing this interface is Windows-1252, as inside the rest of the program; the
// layer converts to Unicode for the screen. Every function may be called from any thread: a
// call from another thread is carried out on the user-interface thread, and the caller waits
// for its result. Functions return 0 (or a handle/id > 0) on success and a negative code on
// failure, as the program's callers expect.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>

// Callback of a control or a timer: (panel, control, event, callback data, event data 1, 2).
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData,
                                int eventData1, int eventData2);

// Events delivered to control callbacks.
enum UiEvent {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,             // button pressed, value entered, item chosen
    EVENT_VAL_CHANGED = 2,        // the operator changed the value (sent before the commit)
    EVENT_LEFT_DOUBLE_CLICK = 3,  // eventData1 = item index (list boxes), -1 otherwise
    EVENT_MARK_STATE_CHANGE = 4,  // list box tick box toggled; eventData2 = item index
    EVENT_TIMER_TICK = 5,         // timer interval elapsed
};

// Control and panel attributes.
enum UiAttribute {
    ATTR_DIMMED = 1,              // int 0/1
    ATTR_VISIBLE,                 // int 0/1 (controls and panels)
    ATTR_LABEL_TEXT,              // text
    ATTR_CALLBACK_DATA,           // void *
    ATTR_MAX_ENTRY_LENGTH,        // int, text fields
    ATTR_INTERVAL,                // double seconds, timers
    ATTR_ENABLED,                 // int 0/1, timers
    ATTR_VISIBLE_LINES,           // int, list boxes (read only)
    ATTR_FIRST_VISIBLE_LINE,      // int, list boxes
    ATTR_ON_TEXT,                 // text, toggle buttons and binary switches
    ATTR_OFF_TEXT,                // text
    ATTR_MIN_VALUE,               // int or double, numerics
    ATTR_MAX_VALUE,               // int or double, numerics
    ATTR_TITLE,                   // text, panels
    ATTR_CTRL_KIND,               // int (UiCtrlKind), read only
};

enum UiCtrlKind {
    CTRL_COMMAND_BUTTON = 1,
    CTRL_PICTURE_BUTTON,
    CTRL_NUMERIC,
    CTRL_RING,
    CTRL_SLIDE,
    CTRL_STRING,
    CTRL_TEXT_MSG,
    CTRL_LIST_BOX,
    CTRL_TABLE,
    CTRL_CHECK_BOX,
    CTRL_TOGGLE_BUTTON,
    CTRL_BINARY_SWITCH,
    CTRL_LED,
    CTRL_TIMER,
    CTRL_CANVAS,
    CTRL_TAB,
};

// Error codes (negative results).
enum UiError {
    UIE_NO_FILE = -1,          // resource file missing or unreadable
    UIE_NO_PANEL = -2,         // no such panel in the file
    UIE_BAD_PANEL = -3,        // panel handle unknown (never loaded or discarded)
    UIE_BAD_CONTROL = -4,      // control id unknown in that panel
    UIE_BAD_ATTRIBUTE = -5,    // attribute or value type not valid for that control
    UIE_BAD_INDEX = -6,        // list item, table cell or row out of range
    UIE_NOT_INITIALISED = -7,  // InitUserInterface not called
};

// Maximum path length handed to and filled by the file and directory choosers.
constexpr std::size_t MAX_PATHNAME_LEN = 260;

// ---- run-time -----------------------------------------------------------------------------

// Starts the toolkit. Returns 1 on success, 0 on failure. Resets LC_NUMERIC to "C" afterwards.
int InitUserInterface(int argc, char **argv);
// Directory where resource files are looked for (default: the build's ui directory, or the
// directory named by the BENCH_UI_DIR environment variable).
void SetResourceDirectory(const char *dir);
// Runs the event loop until QuitUserInterface; returns the code given there.
int RunUserInterface();
// Asks the event loop to end once the callback now running has returned.
int QuitUserInterface(int code);
// True once QuitUserInterface has been called and the loop has not yet returned.
bool QuitRequested();
// Redraws every visible panel now, without dispatching any callback.
void ProcessDrawEvents();
// Handles pending events (callbacks included).
void ProcessSystemEvents();
// Redraws one control of a visible panel now, without dispatching any callback: the cheap form
// of ProcessDrawEvents for a control that changes many times in one turn of the event loop.
// Of a list or a table, the rows are redrawn now; its frame, scroll bars and headers, which
// seldom change with a new row, follow at the next turn of the event loop.
int RedrawCtrl(int panel, int control);
// Busy cursor on (1) or off (0).
void SetWaitCursor(int on);

// ---- panels -------------------------------------------------------------------------------

// Loads a fresh copy of panel `panelId` of resource file `file`; `parent` 0 makes a top-level
// panel. Returns the new handle (> 0) or a negative UiError.
int LoadPanel(int parent, const char *file, int panelId);
int DisplayPanel(int panel);
// Moves a top-level panel, before it is shown, where it covers as little as the screen allows
// of the windows already shown: of their controls above all, then of the rest of them. Among
// equal places, the one nearest to where the resource file puts it.
int PlacePanelWhereFree(int panel);
int HidePanel(int panel);
// Discards a panel with its child panels and tab sheets. Safe from inside one of its own
// callbacks: the callback finishes, then the widgets go.
int DiscardPanel(int panel);
// Gives a top-level panel a new height and width, in pixels (both at least 1).
int SetPanelSize(int panel, int height, int width);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char *value);
int GetPanelAttribute(int panel, int attribute, int *value);
int GetPanelAttribute(int panel, int attribute, char *value, std::size_t size);

// ---- controls -----------------------------------------------------------------------------

// Rings, slides and binary switches with values of their own (`value_type` in the resource
// file: "int", "string", or for rings "float") are set by one of their values, which chooses
// the first item holding it (UIE_BAD_INDEX, nothing changed, when none does), and read as the
// value of the chosen item. A ring of "float" values holds single-precision numbers: it is set
// with a double (or an int) taken to single precision and read as a double or a float. A
// binary switch without values is 0 (off) or 1 (on).
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char *value);
int GetCtrlVal(int panel, int control, int *value);
int GetCtrlVal(int panel, int control, double *value);
int GetCtrlVal(int panel, int control, float *value);
// Text value, cut to fit `size` bytes (terminator included).
int GetCtrlVal(int panel, int control, char *value, std::size_t size);
template <std::size_t N> int GetCtrlVal(int panel, int control, char (&value)[N]) {
    return GetCtrlVal(panel, control, value, N);
}

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char *value);
int SetCtrlAttribute(int panel, int control, int attribute, void *value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);
int GetCtrlAttribute(int panel, int control, int attribute, double *value);
int GetCtrlAttribute(int panel, int control, int attribute, void **value);
int GetCtrlAttribute(int panel, int control, int attribute, char *value, std::size_t size);

// ---- list boxes and rings -----------------------------------------------------------------
// Item indices count from 0; index -1 means "at the end".

int ClearListCtrl(int panel, int control);
int InsertListItem(int panel, int control, int index, const char *label, int value);
int InsertListItem(int panel, int control, int index, const char *label, const char *value);
int ReplaceListItem(int panel, int control, int index, const char *label, int value);
int ReplaceListItem(int panel, int control, int index, const char *label, const char *value);
// Deletes `count` items from `index`; count -1 deletes to the end.
int DeleteListItem(int panel, int control, int index, int count);
int GetNumListItems(int panel, int control, int *count);
int GetLabelFromIndex(int panel, int control, int index, char *label, std::size_t size);
int GetValueFromIndex(int panel, int control, int index, int *value);
int GetValueFromIndex(int panel, int control, int index, char *value, std::size_t size);
// Rings of single-precision values ("float" in the resource file): the item's value, widened.
int GetValueFromIndex(int panel, int control, int index, double *value);
int GetCtrlIndex(int panel, int control, int *index);
int SetCtrlIndex(int panel, int control, int index);
int IsListItemChecked(int panel, int control, int index, int *checked);
int CheckListItem(int panel, int control, int index, int checked);

// ---- tables -------------------------------------------------------------------------------
// Rows and columns count from 1.

struct Point {
    int x;  // column
    int y;  // row
};
inline Point MakePoint(int x, int y) { return Point{x, y}; }

// Deletes `count` rows from `row`; count -1 deletes to the end.
int DeleteTableRows(int panel, int control, int row, int count);
// Inserts `count` empty rows before `row`; row -1 appends them.
int InsertTableRows(int panel, int control, int row, int count);
int GetNumTableRows(int panel, int control, int *rows);
int SetTableCellVal(int panel, int control, Point cell, const char *value);
int GetTableCellVal(int panel, int control, Point cell, char *value, std::size_t size);

// ---- pop-ups (modal) ----------------------------------------------------------------------

enum UiPopupButton { VAL_OK_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_SELECT_BUTTON = 2, VAL_LOAD_BUTTON = 3 };
enum UiFileSelection {
    VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2,
};
enum UiDirSelection { VAL_NO_DIRECTORY_SELECTED = 0, VAL_DIRECTORY_SELECTED = 1 };

int MessagePopup(const char *title, const char *message);
// 1 for yes, 0 for no.
int ConfirmPopup(const char *title, const char *message);
// Fills `path` (MAX_PATHNAME_LEN bytes) and returns a UiFileSelection; negative on failure.
int FileSelectPopup(const char *defaultDirectory, const char *defaultFileSpec,
                    const char *fileTypeList, const char *title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, char *path);
// Fills `path` (MAX_PATHNAME_LEN bytes) and returns a UiDirSelection; negative on failure.
int DirSelectPopup(const char *defaultDirectory, const char *title, int allowCancel,
                   int allowMakeDirectory, char *path);

// ---- tab control --------------------------------------------------------------------------

// Turns a canvas of `panel` into a tab control; returns its control id (the canvas's id).
int EasyTab_ConvertFromCanvas(int panel, int canvas);
struct TabSheet {
    int panelId;     // panel of the resource file
    int *handle;     // receives the sheet's panel handle
};
// Loads each panel of `file` as a sheet of the tab control, in order; each tab shows the
// panel's title. `row` is accepted for the caller's benefit: there is one row of tabs.
int EasyTab_LoadPanels(int panel, int tabControl, int row, const char *file,
                       std::initializer_list<TabSheet> sheets);
// Index (0-based) of the sheet shown, and its choice.
int EasyTab_GetActiveSheet(int panel, int tabControl, int *index);
int EasyTab_SetActiveSheet(int panel, int tabControl, int index);

// ---- callbacks by name --------------------------------------------------------------------

// Makes a callback known under its name, so that resource files can bind it.
bool RegisterCallback(const char *name, CtrlCallbackPtr callback);
CtrlCallbackPtr FindCallback(const char *name);

// Registers `fn` under its own name at program start. Use once, after the definition.
#define UI_CALLBACK(fn) \
    [[maybe_unused]] static const bool ui_callback_registered_##fn = RegisterCallback(#fn, fn)
// Registers the shared callback `fn` under `name`, the name a resource file gives it.
#define UI_CALLBACK_AS(name, fn) \
    [[maybe_unused]] static const bool ui_callback_registered_##name = RegisterCallback(#name, fn)

// ---- threads ------------------------------------------------------------------------------

// True on the user-interface thread.
bool OnUiThread();
// Runs `fn` on the user-interface thread and waits for it (runs it at once on that thread).
void RunOnUiThread(const std::function<void()> &fn);
// Queues `fn` to run on the user-interface thread after `delaySeconds` (read on the program's
// clock), without waiting. Safe from any thread.
void PostToUiThread(std::function<void()> fn, double delaySeconds = 0.0);
