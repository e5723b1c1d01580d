#pragma once
// The main program's command line: one switch alone on the line, or a file path.
#include <string>

struct CommandLineRequest {
    bool install = false;
    bool uninstall = false;
    bool shutdown = false;
    bool scan = false;
    bool tray = false;
    std::wstring extension;  // of the file path, dot included, case kept; empty when none

    // "-report <path>": scan without a window and write the results to the path.
    bool report = false;
    std::wstring reportPath;
};

// Parses the text after the program name. `longPath` gives the long form of a path, empty when
// it cannot be determined; `fileExists` tells whether a path names an existing file. Both are
// injectable so the rules can be tested without real files.
using LongPathFn = std::wstring (*)(const std::wstring&);
using FileExistsFn = bool (*)(const std::wstring&);
CommandLineRequest ParseCommandLine(const std::wstring& tail, LongPathFn longPath = nullptr,
                                    FileExistsFn fileExists = nullptr);
