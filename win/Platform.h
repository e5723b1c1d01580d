#pragma once
// Facts about the running system, looked up at run time so the programs start everywhere.
#include <windows.h>

#include <string>

namespace win {

// True when a 32-bit process runs on 64-bit Windows (IsWow64Process, false when missing).
bool IsWow64();
// Major and minor version as the system reports them to this process (GetVersionExW).
struct OsVersion {
    DWORD major = 0;
    DWORD minor = 0;
};
OsVersion GetOsVersion();
// The registry flag that selects the 64-bit view: set only under WOW64, where it matters.
inline REGSAM Wow64ViewFlag(bool wow64) { return wow64 ? KEY_WOW64_64KEY : 0; }

}  // namespace win
