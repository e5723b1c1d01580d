#include "app/CommandLine.h"

#include "win/Paths.h"
#include "win/Strings.h"

namespace {

std::wstring TrimBlanks(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

CommandLineRequest ParseCommandLine(const std::wstring& tail, LongPathFn longPath, FileExistsFn fileExists) {
    if (!longPath) longPath = &win::LongPath;
    if (!fileExists) fileExists = &win::FileExists;
    CommandLineRequest request;
    if (tail.empty()) return request;

    struct Switch {
        const wchar_t* text;
        bool CommandLineRequest::*flag;
    };
    static const Switch kSwitches[] = {
        {L"-install", &CommandLineRequest::install}, {L"-uninstall", &CommandLineRequest::uninstall},
        {L"-shutdown", &CommandLineRequest::shutdown}, {L"-scan", &CommandLineRequest::scan},
        {L"-tray", &CommandLineRequest::tray},
    };
    for (const auto& entry : kSwitches) {
        if (win::EqualsNoCase(tail, entry.text)) {
            request.*entry.flag = true;
            return request;
        }
    }

    static const std::wstring kReport = L"-report ";
    if (tail.size() > kReport.size() && win::EqualsNoCase(tail.substr(0, kReport.size()), kReport)) {
        std::wstring path = TrimBlanks(tail.substr(kReport.size()));
        if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
        if (!path.empty()) {
            request.report = true;
            request.reportPath = path;
            return request;
        }
    }

    // A file path. Of several quoted tokens only the first counts.
    std::wstring path = tail;
    size_t separator = path.find(L"\" \"");
    if (separator != std::wstring::npos && separator > 1) path.resize(separator + 1);
    if (!path.empty() && path.front() == L'"') path.erase(0, 1);
    if (!path.empty() && path.back() == L'"') path.pop_back();

    std::wstring resolved = longPath(path);
    // A path whose long form cannot be had (the file is gone, or was never there) is taken as given.
    if (resolved.empty()) resolved = path;
    request.extension = win::ExtensionOf(resolved);
    request.scan = !request.extension.empty() || fileExists(resolved);
    return request;
}
