// Entry of the unknown-file handler.
#include <windows.h>

#include "noapp/NoApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    CNoApp app;
    return app.Main(instance, commandLine, showCommand);
}
