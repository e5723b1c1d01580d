// Stand-in for a program the handler starts: appends its own path and the command line it received
// to the file named by KV_STANDIN_LOG (UTF-8, one line per start, tab between the two).
#include <windows.h>

#include <string>

#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t logPath[4096] = {};
    DWORD length = ::GetEnvironmentVariableW(L"KV_STANDIN_LOG", logPath, 4096);
    if (length == 0 || length >= 4096) return 2;
    std::string line = win::WideToUtf8(win::ModuleFilePath() + L"\t" + ::GetCommandLineW() + L"\n");
    win::UniqueFileHandle file(::CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 3;
    DWORD written = 0;
    return ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ? 0 : 4;
}
