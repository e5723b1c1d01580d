#pragma once
// The scripted runs of the development update library. A scenario is chosen by the environment
// variable KV_TORK3_SCENARIO or else the value "SimScenario" of the library's settings key, as
// "name[;close][;reboot][;message][;delay=ms]":
//   update     (default) one product has an update, which downloads and installs
//   noupdates  every product is up to date
//   failed     one download fails, the other update found is skipped
//   reboot     as update, and the update needs a reboot
//   slow       as update, with a long download
//   offline    no connection for any product
//   createfails  TKCreate fails
// "close" and "reboot" set those bits of the completion report, "message" sends a text first,
// "delay" is the pause between steps (0 to 10000 ms, default 100).
#include <windows.h>

#include <string>

struct SimScenario {
    std::wstring strName = L"update";
    bool bClose = false;
    bool bReboot = false;
    bool bMessage = false;
    DWORD nDelayMs = 100;
};

// Unknown names read as the default; unknown options are ignored.
SimScenario ParseSimScenario(const std::wstring& text);
std::wstring FormatSimScenario(const SimScenario& scenario);

// Where the library keeps its settings: HKCU\Software\Velmora\Tork3\Settings, or the key below
// HKCU that KV_TORK3_SETTINGS_KEY names (tests use a scratch key).
std::wstring SimSettingsKeyPath();
// The scenario in effect now.
SimScenario CurrentSimScenario();
// Text of an environment variable; empty when unset.
std::wstring SimEnvironment(const wchar_t* name);
