#include "app/OptionsSettings.h"

#include "app/ShellIntegration.h"

OptionsSettings ReadOptionsSettings(const fw::CProfile& profile) {
    OptionsSettings options;
    options.rightClickScan = profile.GetInt(L"RightClickScan", 1) != 0;
    options.useUnknownHook = profile.GetInt(L"UseUnknownHook", 1) != 0;
    options.runAtSystemStart = profile.GetInt(L"RunAtSystemStart", 0) != 0;
    options.minimizeOnExit = profile.GetInt(L"MinimizeOnExit", 0) != 0;
    options.confirmExit = profile.GetInt(L"ConfirmExit", 1) != 0;
    return options;
}

void ApplyOptionsSettings(const OptionsSettings& options, const AppEnvironment& env) {
    CShellIntegration hooks(env.roots, *env.profile, env.programFolder, env.programPath, env.rightClickVerb,
                            env.wow64);
    if (options.rightClickScan)
        hooks.InstallRightClickScan();
    else
        hooks.RemoveRightClickScan();
    if (options.useUnknownHook)
        hooks.InstallUnknownFileHook();
    else
        hooks.RemoveUnknownFileHook();
    if (env.tasks) {
        if (options.runAtSystemStart)
            env.tasks->CreateStartupTask();
        else
            env.tasks->DeleteStartupTask();
    }
    env.profile->WriteInt(L"MinimizeOnExit", options.minimizeOnExit ? 1 : 0);
    env.profile->WriteInt(L"ConfirmExit", options.confirmExit ? 1 : 0);
}
