#pragma once
// The update library's interface as Kavendor and Velmora_Update3 use it: six exports with the
// standard Windows calling convention, and the callback through which a run reports to the update
// front-end (C calling convention). All integers are 32-bit.
#include <windows.h>

#include <cstdint>

// Handle of one library instance; 0 when the caller never created one.
typedef void* TKHANDLE;

// Reports one event of a run; returns 1 to ask the library to stop, 0 to go on.
typedef int(__cdecl* TKCALLBACK)(HWND dialog, int code, void* data);

// Passed to TKDoAllUpdates: where the run reports to.
struct TKCallbackRecord {
    TKCALLBACK pfnCallback;
    HWND hDialog;
};

// Callback codes and what their data is.
enum : int {
    TK_CB_MESSAGE = 1,     // const wchar_t*: a text to show the user
    TK_CB_FINISHED = 2,    // TK_FINISHED_* bits, cast to a pointer
    TK_CB_ROW = 4,         // TKRowRecord*
    TK_CB_DELETE_ROW = 5,  // row index, or TK_ROW_ALL, cast to a pointer
    TK_CB_STOP_EVENT = 6,  // HANDLE of an event the library signals once it has stopped
};

enum : int {
    TK_FINISHED_CLOSE = 1,   // the front-end's window may close now
    TK_FINISHED_REBOOT = 2,  // a reboot completes the update
};

// Row indexes with a meaning of their own.
enum : int {
    TK_ROW_ALL = -1,               // TK_CB_DELETE_ROW: every row
    TK_ROW_APPEND = -1,            // TK_CB_ROW: a new row at the end
    TK_ROW_LAST_DOWNLOADING = -2,  // the row that last reported TK_STATUS_DOWNLOADING
    TK_ROW_LAST_INSTALLING = -3,   // the row that last reported TK_STATUS_INSTALLING
};

enum : int {
    TK_PROGRESS_UNCHANGED = -2,
    TK_PROGRESS_INDETERMINATE = -1,
};

enum : int {
    TK_STATUS_UNCHANGED = 0,
    TK_STATUS_WAITING_TO_CHECK = 1,
    TK_STATUS_CHECKING = 2,
    TK_STATUS_NO_UPDATES = 3,
    TK_STATUS_FOUND = 4,
    TK_STATUS_DOWNLOADING = 5,
    TK_STATUS_DOWNLOADED = 6,
    TK_STATUS_INSTALLING = 7,
    TK_STATUS_COMPLETE = 8,
    TK_STATUS_FAILED = 9,
    TK_STATUS_SKIPPED = 10,
    TK_STATUS_NO_CONNECTION = 11,
};

struct TKRowRecord {
    int32_t nRow;
    const wchar_t* pszProduct;  // read only when appending
    int32_t nStatus;
    int32_t nProgress;  // 0 to 100, or TK_PROGRESS_*
};

// The exports.
typedef int(WINAPI* PFN_TKCreate)(TKHANDLE* instance);
typedef int(WINAPI* PFN_TKDelete)(TKHANDLE instance);
typedef int(WINAPI* PFN_TKDoAllUpdates)(TKHANDLE instance, TKCallbackRecord* record);
typedef int(WINAPI* PFN_TKDoAllUpdatesWithUI)(TKHANDLE instance);
typedef int(WINAPI* PFN_TKDoAllUpdatesWithUIEx)(TKHANDLE instance, int showWindow);
typedef int(WINAPI* PFN_TKShowUpdatesSettingsDialog)(TKHANDLE instance, HWND parent);
