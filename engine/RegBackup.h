#pragma once
// Undo files for the program's own association writes. Before a repair or a Manage change
// touches the registry, it records what it is about to change: the named values of a key (a
// value that is missing then is deleted again on restore) or a whole key tree (restored by
// replacing the tree). The record is written as a .reg file that regedit imports to put the
// registry back exactly as it was.
#include <windows.h>

#include <string>
#include <vector>

#include "win/RegKey.h"

// A registry root as the code reaches it (a handle) and as regedit names it
// ("HKEY_CLASSES_ROOT", or the full path of a sandbox key).
struct RegBackupRoot {
    HKEY hKey = nullptr;
    std::wstring strName;
};

class CRegBackup {
public:
    // viewFlags: KEY_WOW64_64KEY when the writes go to the 64-bit view.
    explicit CRegBackup(REGSAM viewFlags = 0) : m_viewFlags(viewFlags) {}

    // Records the named values of root\subKey ("" names the default value) as they are now.
    void AddValues(const RegBackupRoot& root, const std::wstring& subKey, const std::vector<std::wstring>& names);
    // Records root\subKey with all its values and sub-keys as they are now.
    void AddTree(const RegBackupRoot& root, const std::wstring& subKey);

    bool IsEmpty() const { return m_entries.empty(); }
    // False when something could not be read completely (a backup would then be unreliable).
    bool IsComplete() const { return m_bComplete; }

    // The .reg text (without the byte-order mark).
    std::wstring Text() const;

    // Writes the backup as a new UTF-16 .reg file in folder (created when missing), named by the
    // local date and time and the given tag, e.g. "2026-12-11 094512.123 repair.reg". Returns
    // the file's path, or the empty text when the backup is incomplete or cannot be written
    // (a partial file is removed).
    std::wstring WriteFile(const std::wstring& folder, const std::wstring& tag) const;

    // Text of one value line ("name"=data) in regedit's syntax.
    static std::wstring FormatValue(const std::wstring& name, const win::RegValue& value);

private:
    struct ValueState {
        std::wstring strName;
        bool bExists = false;
        win::RegValue value;
    };
    struct KeyState {
        std::wstring strPath;     // full path, root name included
        bool bExists = false;
        bool bWholeKey = false;   // the key's own values are all listed and replace it
        std::vector<ValueState> values;
    };
    struct Entry {
        bool bTree = false;
        std::wstring strDeletePath;  // key to remove first (missing key or replaced tree)
        std::vector<KeyState> keys;  // in creation order, parents first
    };

    // Highest key between the root and subKey that does not exist, or empty when subKey exists.
    std::wstring FirstMissingKey(HKEY root, const std::wstring& subKey) const;
    bool CaptureTree(HKEY key, const std::wstring& path, int depth, std::vector<KeyState>& keys);
    // Opens root\subKey for capture into `key`. When it is missing, `entry` records the first
    // missing key for deletion on restore and `key` stays closed. False when it exists but
    // cannot be opened.
    bool OpenForCapture(const RegBackupRoot& root, const std::wstring& subKey, Entry& entry, win::RegKey& key) const;

    REGSAM m_viewFlags = 0;
    bool m_bComplete = true;
    std::vector<Entry> m_entries;
};
