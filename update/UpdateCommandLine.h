#pragma once
// The update front-end's command line: the whole text is one switch, compared without regard to
// letter case; anything else, including several switches together, asks for the window.
#include <string>

enum class UpdateCommand {
    AddTask,     // "-AddTask": create the weekly task, no window
    DeleteTask,  // "-DeleteTask": delete the task, no window
    ShutDown,    // "-ShutDown": ask a running front-end to quit, no window
    ForceShow,   // "-fs": the window, whenever the last run was
    Window,      // anything else: the window, subject to the time since the last run
};

UpdateCommand ParseUpdateCommandLine(const std::wstring& commandLine);
// Whether the command goes on to the window.
bool UpdateCommandShowsWindow(UpdateCommand command);
