#pragma once
// The user's options as the options dialog shows and applies them.
#include "app/InstallMode.h"

struct OptionsSettings {
    bool rightClickScan = true;     // "RightClickScan"
    bool useUnknownHook = true;     // "UseUnknownHook"
    bool runAtSystemStart = false;  // "RunAtSystemStart"
    bool confirmExit = true;        // "ConfirmExit"
    bool minimizeOnExit = false;    // "MinimizeOnExit" (the dialog's default; the close handling uses 1)
};

OptionsSettings ReadOptionsSettings(const fw::CProfile& profile);

// Applies the options as OK does: every hook and the start-up job are installed or removed again
// whether or not they changed (each writes its own setting), then the two exit settings.
void ApplyOptionsSettings(const OptionsSettings& options, const AppEnvironment& env);
