// Entry of the update front-end. For now it only reads its command line; the task and the window
// come later.
#include <windows.h>

#include "update/UpdateCommandLine.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    ParseUpdateCommandLine(commandLine ? commandLine : L"");
    return 0;
}
