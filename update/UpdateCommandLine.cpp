#include "update/UpdateCommandLine.h"

#include "win/Strings.h"

UpdateCommand ParseUpdateCommandLine(const std::wstring& commandLine) {
    if (win::EqualsNoCase(commandLine, L"-AddTask")) return UpdateCommand::AddTask;
    if (win::EqualsNoCase(commandLine, L"-DeleteTask")) return UpdateCommand::DeleteTask;
    if (win::EqualsNoCase(commandLine, L"-ShutDown")) return UpdateCommand::ShutDown;
    if (win::EqualsNoCase(commandLine, L"-fs")) return UpdateCommand::ForceShow;
    return UpdateCommand::Window;
}

bool UpdateCommandShowsWindow(UpdateCommand command) {
    return command == UpdateCommand::ForceShow || command == UpdateCommand::Window;
}
