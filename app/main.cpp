#include "app/KVApp.h"

namespace {
CKVApp theApp;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    return theApp.Main(instance, commandLine, showCommand);
}
