#include "win/Platform.h"

namespace win {

bool IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    if (!kernel) return false;
    auto fn = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return fn && fn(::GetCurrentProcess(), &wow64) && wow64;
}

OsVersion GetOsVersion() {
    using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
    OsVersion version;
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    auto fn = kernel ? reinterpret_cast<GetVersionExFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "GetVersionExW")))
                     : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (fn && fn(&info)) {
        version.major = info.dwMajorVersion;
        version.minor = info.dwMinorVersion;
    }
    return version;
}

}  // namespace win
