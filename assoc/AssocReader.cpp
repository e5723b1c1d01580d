#include "assoc/AssocReader.h"

#include <shlwapi.h>

#include <algorithm>

#include "win/Paths.h"
#include "win/Strings.h"

namespace {

// Real systems redirect a ProgID through a class at most two or three times; a longer chain is
// hostile data and is judged broken instead of being followed further.
constexpr size_t kMaxRedirections = 32;
// Key names are at most 255 characters.
constexpr DWORD kNameBuffer = 256;
// The expansion limit of command texts and the length of joined search-path entries.
constexpr DWORD kPathLimit = MAX_PATH;
constexpr DWORD kEnvironmentLimit = 32767;

const std::wstring kNoOpen = L"NoOpen";

bool StartsWithNoCase(const std::wstring& text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && win::EqualsNoCase(std::wstring_view(text).substr(0, prefix.size()), prefix);
}

bool IsClassPath(const std::wstring& progId) { return StartsWithNoCase(progId, L"CLSID\\{"); }

bool ContainsNoCase(const std::vector<std::wstring>& list, const std::wstring& text) {
    return std::any_of(list.begin(), list.end(), [&](const std::wstring& item) { return win::EqualsNoCase(item, text); });
}

// Expands environment references when the result fits the limit; otherwise the text stays.
std::wstring ExpandLimited(const std::wstring& text) {
    if (text.size() >= kPathLimit) return text;
    wchar_t buffer[kPathLimit];
    DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), buffer, kPathLimit);
    if (needed == 0 || needed > kPathLimit) return text;
    return std::wstring(buffer);
}

std::wstring EnvironmentVariable(const wchar_t* name) {
    wchar_t small[1024];
    DWORD length = ::GetEnvironmentVariableW(name, small, 1024);
    if (length == 0 || length > kEnvironmentLimit) return {};
    if (length < 1024) return std::wstring(small, length);
    std::wstring value(length, L'\0');
    length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return {};
    value.resize(length);
    return value;
}

// Default value of an open key as text; empty when missing.
std::wstring DefaultValue(HKEY key) {
    std::wstring text;
    CFileExtRegUtil::QueryText(key, nullptr, text);
    return text;
}

// A command in lower case and, position for position, in its stored case. Lower-casing keeps
// UTF-16 lengths, so every cut made on one applies to the other.
struct CommandText {
    explicit CommandText(const std::wstring& command) : lower(win::ToLower(command)), stored(command) {
        if (stored.size() != lower.size()) stored = lower;
    }
    void Erase(size_t at, size_t count) {
        lower.erase(at, count);
        stored.erase(at, count);
    }
    void Resize(size_t size) {
        lower.resize(size);
        stored.resize(size);
    }
    void Replace(size_t at, size_t count, const wchar_t* with) {
        lower.replace(at, count, with);
        stored.replace(at, count, with);
    }
    void Append(const wchar_t* tail) {
        lower += tail;
        stored += tail;
    }
    void Expand() {
        lower = ExpandLimited(lower);
        stored = ExpandLimited(stored);
        if (stored.size() != lower.size()) stored = lower;
    }
    std::wstring lower;
    std::wstring stored;
};

// Menu label of a verb: resource references and empty labels show the verb's name; the first
// "&" (the access key) is dropped.
std::wstring VerbLabel(std::wstring label, const std::wstring& verbName) {
    if (!label.empty() && label[0] == L'@') label.clear();
    if (label.empty()) label = verbName;
    size_t amp = label.find(L'&');
    if (amp != std::wstring::npos) label.erase(amp, 1);
    return label;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ReadExtension

bool CFileExtRegUtil::ReadExtension(CFileExtension& extension) const {
    try {
        const std::wstring& ext = extension.m_strName;
        // An empty name would read the root's own values as if they were an extension's.
        if (ext.empty()) return true;
        HKEY classes = m_roots.classesRoot;
        // A record read again must not keep what an earlier read left in its embedded types.
        extension.m_userChoice.Reset();
        extension.m_classesDefault.Reset();
        extension.m_bNoOpen = 0;

        {
            // One open serves both the mark and the default type.
            win::RegKey extKey;
            if (OpenKey(classes, ext, KV_MASK_READ, extKey)) {
                if (::RegQueryValueExW(extKey.get(), kNoOpen.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS) {
                    extension.m_bNoOpen = 1;
                    return true;
                }
                QueryText(extKey.get(), nullptr, extension.m_classesDefault.m_strProgID);
            }
        }
        {
            // The per-user classes come before the machine-wide ones, as the merged classes view
            // shows them; a protected system's per-user association lives there.
            std::wstring perUser = ReadUserClassesDefault(ext);
            if (!perUser.empty()) extension.m_classesDefault.m_strProgID = std::move(perUser);
        }
        if (!extension.m_classesDefault.m_strProgID.empty()) {
            ReadFileType(ext, extension.m_classesDefault);
            if (extension.m_classesDefault.m_bBroken) extension.m_nProblems = EXT_PROBLEM_CLASSES_DEFAULT;
        }

        std::vector<std::wstring> names;
        ReadOpenWithProgIDs(classes, ext, names);
        for (auto& name : names) {
            auto type = std::make_unique<CFileTypeInfo>(std::move(name));
            ReadFileType(ext, *type);
            if (type->m_bBroken) extension.m_nProblems |= EXT_PROBLEM_CLASSES_OPENWITH;
            extension.m_classesOpenWith.push_back(std::move(type));
        }

        HKEY user = m_roots.currentUser;
        std::wstring choiceKey = UserChoiceReadKey(ext);
        CFileTypeInfo& choice = extension.m_userChoice;
        {
            win::RegKey key;
            if (OpenKey(user, choiceKey, KV_MASK_READ, key)) {
                QueryText(key.get(), L"ProgID", choice.m_strProgID);
                if (choice.m_strProgID.empty()) {
                    if (::RegQueryValueExW(key.get(), L"ProgID", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
                        // A choice that names nothing leaves the user without a program.
                        extension.m_nProblems |= EXT_PROBLEM_USER_CHOICE;
                    } else {
                        std::wstring application;
                        QueryText(key.get(), L"Application", application);
                        if (!application.empty()) {
                            choice.m_bApplication = 1;
                            choice.m_strProgID = L"Applications\\" + application;
                        }
                    }
                }
            }
        }
        if (!choice.m_strProgID.empty()) {
            ReadFileType(ext, choice);
            if (choice.m_bBroken) extension.m_nProblems |= EXT_PROBLEM_USER_CHOICE;
        }

        names.clear();
        ReadOpenWithProgIDs(user, ext, names);
        for (auto& name : names) {
            auto type = std::make_unique<CFileTypeInfo>(std::move(name));
            ReadFileType(ext, *type);
            if (type->m_bBroken) extension.m_nProblems |= EXT_PROBLEM_USER_OPENWITH;
            extension.m_userOpenWith.push_back(std::move(type));
        }
    } catch (...) {
        // Out of memory while reading: the record keeps what was read so far.
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// ReadFileType

void CFileExtRegUtil::ReadFileType(const std::wstring& extension, CFileTypeInfo& type) const {
    if (type.m_strProgID.empty()) return;
    try {
        std::vector<std::wstring> chain{type.m_strProgID};
        ReadFileTypeIn(extension, type, chain);
    } catch (...) {
        type.m_bBroken = 1;
    }
}

void CFileExtRegUtil::ReadFileTypeIn(const std::wstring& extension, CFileTypeInfo& type,
                                     std::vector<std::wstring>& chain) const {
    const std::wstring progId = type.m_strProgID;
    HKEY classes = m_roots.classesRoot;
    // Everything below describes this ProgID only; nothing of an earlier read stays.
    type.m_mapVerbs.clear();
    type.m_strEffectiveProgID.clear();
    type.m_strCommand.clear();
    type.m_strProgramPath.clear();
    type.m_strDefaultVerb.clear();

    type.m_bBroken = 1;
    bool commandFound = false;
    bool classFound = false;

    std::vector<std::wstring> visited;
    VerbsShellDefault shellDefault;
    if (ReadVerbsIn(progId, type.m_mapVerbs, type.m_strEffectiveProgID, visited, &shellDefault)) {
        // The default verb comes from the ProgID's own shell key, even after a redirection.
        std::wstring verbName = shellDefault.known ? shellDefault.text : ReadValue(classes, progId + L"\\shell", L"");
        if (verbName.empty()) verbName = L"open";
        verbName = win::ToLower(verbName);
        if (!type.m_mapVerbs.count(verbName) && !type.m_mapVerbs.empty()) verbName = type.m_mapVerbs.begin()->first;
        type.m_strDefaultVerb = verbName;
        auto found = type.m_mapVerbs.find(verbName);
        if (found != type.m_mapVerbs.end()) {
            const CVerb& verb = *found->second;
            if (!verb.m_strCommand.empty()) {
                commandFound = true;
                type.m_strCommand = verb.m_strCommand;
            }
            if (!verb.m_strProgramPath.empty()) {
                type.m_bBroken = 0;
                type.m_strProgramPath = verb.m_strProgramPath;
            }
        }
    }

    if (type.m_bBroken && IsClassPath(progId)) {
        std::wstring module = ReadValue(classes, progId + L"\\InProcServer32", L"");
        if (!module.empty()) {
            commandFound = true;
            type.m_strCommand = module;
            if (ResolveCommand(module)) {
                type.m_bBroken = 0;
                type.m_strProgramPath = module;
            }
        }
    }

    if (type.m_bBroken) {
        std::wstring clsid = ReadValue(classes, progId + L"\\CLSID", L"");
        if (!clsid.empty()) {
            classFound = true;
            const std::wstring classKey = L"CLSID\\" + clsid;
            // The class names its ProgID in the default of its "ProgID" subkey, as COM registers it.
            std::wstring target = ReadValue(classes, classKey + L"\\ProgID", L"");
            if (target.empty()) {
                std::wstring module = ReadValue(classes, classKey + L"\\InProcServer32", L"");
                if (module.empty()) module = ReadValue(classes, L"Wow6432Node\\" + classKey + L"\\InProcServer32", L"");
                if (!module.empty()) {
                    type.m_strCommand = module;
                    if (ResolveCommand(module)) {
                        type.m_bBroken = 0;
                        type.m_strProgramPath = module;
                    }
                }
            } else if (!ContainsNoCase(chain, target) && chain.size() < kMaxRedirections) {
                chain.push_back(target);
                CFileTypeInfo redirected(target);
                ReadFileTypeIn(extension, redirected, chain);
                if (!redirected.m_bBroken) {
                    type.m_bBroken = 0;
                    type.m_strProgramPath = redirected.m_strProgramPath;
                    type.m_strCommand = redirected.m_strCommand;
                }
            }
        }
    }

    if (type.m_bBroken && ValueExists(classes, progId, kNoOpen)) {
        type.m_strCommand = kNoOpen;
        type.m_strProgramPath = kNoOpen;
        type.m_bBroken = 0;
    }

    if (type.m_bBroken && !commandFound && !classFound) {
        // Nothing to run was named: the type is sound as long as its key exists.
        type.m_bBroken = 0;
        if (!IsClassPath(progId) && !KeyExists(classes, progId) && !KeyExists(classes, extension + L"\\" + progId))
            type.m_bBroken = 1;
    }
}

// ---------------------------------------------------------------------------------------------
// ReadVerbs

bool CFileExtRegUtil::ReadVerbs(const std::wstring& progId, VerbMap& verbs, std::wstring& effective) const {
    try {
        std::vector<std::wstring> visited;
        return ReadVerbsIn(progId, verbs, effective, visited, nullptr);
    } catch (...) {
        return false;
    }
}

bool CFileExtRegUtil::ReadVerbsIn(const std::wstring& progId, VerbMap& verbs, std::wstring& effective,
                                  std::vector<std::wstring>& visited, VerbsShellDefault* shellDefault) const {
    if (progId.empty() || ContainsNoCase(visited, progId) || visited.size() >= kMaxRedirections) return false;
    visited.push_back(progId);
    HKEY classes = m_roots.classesRoot;

    win::RegKey progKey;
    bool progKeyOpen = OpenKey(classes, progId, KV_MASK_READ, progKey);
    if (progKeyOpen &&
        ::RegQueryValueExW(progKey.get(), kNoOpen.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        return false;

    if (IsClassPath(progId)) {
        std::wstring target = ReadValue(classes, progId + L"\\ProgID", L"");
        if (!target.empty()) return ReadVerbsIn(target, verbs, effective, visited, nullptr);
    }

    win::RegKey shell;
    if (!progKeyOpen || !OpenKey(progKey.get(), L"shell", KV_MASK_READ, shell)) {
        std::wstring clsid = progKeyOpen ? ReadValue(progKey.get(), L"CLSID", L"") : std::wstring();
        if (!clsid.empty()) {
            std::wstring target = ReadValue(classes, L"CLSID\\" + clsid + L"\\ProgID", L"");
            if (!target.empty()) return ReadVerbsIn(target, verbs, effective, visited, nullptr);
        }
        return false;
    }
    if (shellDefault) {
        shellDefault->known = true;
        shellDefault->text = DefaultValue(shell.get());
    }

    DWORD count = 0;
    if (::RegQueryInfoKeyW(shell.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr) == ERROR_SUCCESS) {
        wchar_t name[kNameBuffer];
        for (DWORD index = 0; index < count; ++index) {
            DWORD length = kNameBuffer;
            LONG rc = ::RegEnumKeyExW(shell.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS || length == 0) continue;
            std::wstring verbName = win::ToLower(std::wstring_view(name, length));
            auto& slot = verbs[verbName];
            if (!slot) slot = std::make_unique<CVerb>(verbName);
            slot->m_strName = verbName;
            slot->m_strCommand.clear();
        }
    }

    for (auto& [verbName, verb] : verbs) {
        // A verb read again must not keep the program of its earlier command.
        verb->m_strProgramPath.clear();
        verb->m_strCommand.clear();
        std::wstring label;
        win::RegKey verbKey;
        if (OpenKey(shell.get(), verbName, KV_MASK_READ, verbKey)) {
            label = DefaultValue(verbKey.get());
            win::RegKey commandKey;
            if (OpenKey(verbKey.get(), L"command", KV_MASK_READ, commandKey))
                verb->m_strCommand = DefaultValue(commandKey.get());
        }
        verb->m_strLabel = VerbLabel(std::move(label), verb->m_strName);
        if (!verb->m_strCommand.empty()) {
            std::wstring resolved = verb->m_strCommand;
            if (ResolveCommand(resolved)) verb->m_strProgramPath = win::ToLower(resolved);
        }
    }
    effective = progId;
    return true;
}

// ---------------------------------------------------------------------------------------------
// ResolveCommand

void CFileExtRegUtil::EnableResolveCache(bool enable) {
    m_bResolveCache = enable;
    m_mapResolved.clear();
}

bool CFileExtRegUtil::ResolveCommand(std::wstring& command) const {
    if (command.empty()) return false;
    if (!m_bResolveCache) return ResolveUncached(command);
    try {
        auto found = m_mapResolved.find(command);
        if (found != m_mapResolved.end()) {
            command = found->second.second;
            return found->second.first;
        }
        std::wstring text = command;
        bool resolved = ResolveUncached(text);
        m_mapResolved.emplace(std::move(command), std::make_pair(resolved, text));
        command = std::move(text);
        return resolved;
    } catch (...) {
        return ResolveUncached(command);
    }
}

bool CFileExtRegUtil::ResolveUncached(std::wstring& command) const {
    if (command.empty()) return false;
    try {
        // The rule works on the lower-case text, and that is the result. File tests use the same
        // text in its stored case: equal on a case-insensitive file system, and much cheaper where
        // a lower-case name must be matched by scanning the folder (Wine).
        CommandText text(command);

        // A resource reference names its module before the last comma.
        if (text.lower[0] == L'@') {
            text.Erase(0, 1);
            size_t comma = text.lower.rfind(L',');
            if (comma != std::wstring::npos && comma > 0) text.Resize(comma);
        }

        // rundll32 runs a module's entry point: the module is what must exist.
        size_t runner = text.lower.find(L"rundll32.exe ");
        if (runner == std::wstring::npos) runner = text.lower.find(L"rundll32 ");
        if (runner != std::wstring::npos) {
            size_t comma = text.lower.find(L',', 1);
            if (comma != std::wstring::npos) text.Resize(comma);
            size_t blank = text.lower.find(L' ', runner);
            if (blank != std::wstring::npos) text.Erase(0, blank + 1);
        }

        while (!text.lower.empty() && text.lower[0] == L'"') {
            text.Erase(0, 1);
            size_t quote = text.lower.find(L'"');
            if (quote != std::wstring::npos) text.Resize(quote);
        }

        // Arguments after the program; the order of the list decides, not the position.
        static const wchar_t* const kPrograms[] = {L".exe ", L".dll ", L".bat ", L".com ", L".ocx "};
        for (const wchar_t* pattern : kPrograms) {
            size_t at = text.lower.find(pattern);
            if (at != std::wstring::npos) {
                text.Resize(at + 4);
                break;
            }
        }

        if (m_bWow64) {
            // A 32-bit process must look in the 64-bit program folders.
            size_t at = text.lower.find(L"%programfiles%");
            if (at != std::wstring::npos) {
                text.Replace(at, 14, L"%programW6432%");
            } else if ((at = text.lower.find(L"%commonprogramfiles%")) != std::wstring::npos) {
                text.Replace(at, 20, L"%commonprogramW6432%");
            }
        }

        text.Expand();
        // The placeholder stands for the file itself (the command of programs): nothing to look for.
        if (win::EqualsNoCase(text.lower, L"%1")) {
            command = std::move(text.lower);
            return true;
        }

        bool found = false;
        if (!text.lower.empty()) {
            found = ProgramExists(text.stored);
            if (!found) {
                size_t switchAt = text.lower.find(L" /");
                if (switchAt != std::wstring::npos) text.Resize(switchAt);
                found = !text.lower.empty() && ProgramExists(text.stored);
                if (!found && !text.lower.empty() && ProgramExists(text.stored + L".exe")) {
                    text.Append(L".exe");
                    found = true;
                }
            }
        }
        if (found) {
            command = std::move(text.lower);
            return true;
        }

        // A path with a drive letter names exactly one place; there is nothing else to try.
        if (text.lower.empty() || (text.lower.size() >= 2 && text.lower[1] == L':')) {
            command = std::move(text.lower);
            return false;
        }

        if (ProgramExists(ExpandLimited(L"%systemroot%\\system32\\" + text.stored))) {
            command = ExpandLimited(L"%systemroot%\\system32\\" + text.lower);
            return true;
        }

        {
            win::RegKey appPath;
            if (OpenKey(m_roots.localMachine, std::wstring(KV_APP_PATHS_KEY) + L"\\" + text.lower, KV_MASK_READ,
                        appPath)) {
                std::wstring value;
                DWORD type = REG_NONE;
                if (QueryText(appPath.get(), nullptr, value, &type) && type == REG_SZ && !value.empty() &&
                    value.size() <= kPathLimit && ProgramExists(value)) {
                    command = std::move(value);
                    return true;
                }
            }
        }

        const std::wstring path = EnvironmentVariable(L"PATH");
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find(L';', start);
            if (end == std::wstring::npos) end = path.size();
            std::wstring entry = path.substr(start, end - start);
            start = end + 1;
            if (entry.empty() || entry.size() + 1 + text.lower.size() >= kPathLimit) continue;
            wchar_t joined[kPathLimit] = {};
            std::copy(entry.begin(), entry.end(), joined);
            if (!::PathAppendW(joined, text.stored.c_str()) || !ProgramExists(joined)) continue;
            wchar_t result[kPathLimit] = {};
            std::copy(entry.begin(), entry.end(), result);
            command = ::PathAppendW(result, text.lower.c_str()) ? std::wstring(result) : std::wstring(joined);
            return true;
        }

        command = std::move(text.lower);
        return false;
    } catch (...) {
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Applications

void CFileExtRegUtil::CollectOpenWithApps(CFileExtension& extension) const {
    try {
        for (const CFileTypeInfo* type : {&extension.m_userChoice, &extension.m_classesDefault}) {
            auto found = type->m_mapVerbs.find(type->m_strDefaultVerb);
            if (found == type->m_mapVerbs.end() || found->second->m_strProgramPath.empty()) continue;
            const CVerb& verb = *found->second;
            std::wstring name = verb.GetProgramName();
            // Without a display name the program is still known by its file name.
            if (name.empty()) name = win::FileNameOf(verb.m_strProgramPath);
            if (!extension.m_mapApps.count(name))
                extension.m_mapApps.emplace(
                    name, std::make_unique<COpenApp>(name, verb.m_strCommand, win::ToLower(verb.m_strProgramPath)));
        }
        // Both sources read the same per-user list, so one read yields everything the second would.
        if (!extension.m_userChoice.m_strProgID.empty() || !extension.m_classesDefault.m_strProgID.empty())
            ReadOpenWithList(extension.m_strName, extension.m_mapApps);
    } catch (...) {
    }
}

void CFileExtRegUtil::ReadOpenWithList(const std::wstring& extension, OpenAppMap& apps) const {
    try {
        win::RegKey key;
        if (!OpenKey(m_roots.currentUser, std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension + L"\\OpenWithList",
                     KV_MASK_READ, key))
            return;
        for (const std::wstring& valueName : key.ValueNames()) {
            auto raw = key.ReadRaw(valueName.c_str());
            if (!raw) continue;
            std::wstring exe = win::RegDataToString(raw->data.data(), raw->data.size());
            // As stored: the list's order value and anything else without ".exe" is no program.
            if (exe.find(L".exe") == std::wstring::npos) continue;
            if (apps.count(exe)) continue;
            std::wstring verb = ReadValue(m_roots.classesRoot, L"Applications\\" + exe + L"\\shell", L"");
            if (verb.empty()) verb = L"open";
            std::wstring command =
                ReadValue(m_roots.classesRoot, L"Applications\\" + exe + L"\\shell\\" + verb + L"\\command", L"");
            if (command.empty())
                command = ReadValue(m_roots.localMachine, std::wstring(KV_APP_PATHS_KEY) + L"\\" + exe, L"") +
                          L" \"%1\"";
            std::wstring resolved = command;
            if (ResolveCommand(resolved)) apps.emplace(exe, std::make_unique<COpenApp>(exe, command, resolved));
        }
    } catch (...) {
    }
}

std::wstring CFileExtRegUtil::ResolveApplicationCommand(const std::wstring& exe) const {
    try {
        HKEY classes = m_roots.classesRoot;
        HKEY machine = m_roots.localMachine;
        const std::wstring shellKey = L"Applications\\" + exe + L"\\shell";
        auto firstSubKey = [&](HKEY root, const std::wstring& subKey) {
            win::RegKey key;
            if (!OpenKey(root, subKey, KV_MASK_READ, key)) return std::wstring();
            wchar_t name[kNameBuffer];
            DWORD length = kNameBuffer;
            if (::RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                return std::wstring();
            return win::ToLower(std::wstring_view(name, length));
        };
        auto commandOf = [&](HKEY root, const std::wstring& base, const std::wstring& verb) {
            return verb.empty() ? std::wstring() : ReadValue(root, base + L"\\" + verb + L"\\command", L"");
        };

        std::wstring verb = ReadValue(classes, shellKey, L"");
        if (verb.empty()) verb = L"open";
        std::wstring command = commandOf(classes, shellKey, verb);
        if (command.empty()) command = commandOf(classes, shellKey, firstSubKey(classes, shellKey));
        if (command.empty()) {
            const std::wstring machineShell = L"SOFTWARE\\Classes\\" + shellKey;
            verb = ReadValue(machine, machineShell, L"");
            if (verb.empty()) verb = L"open";
            command = commandOf(machine, machineShell, verb);
            if (command.empty()) command = commandOf(machine, machineShell, firstSubKey(machine, machineShell));
        }
        if (command.empty()) {
            command = ReadValue(machine, std::wstring(KV_APP_PATHS_KEY) + L"\\" + exe, L"");
            if (!command.empty()) command += L" \"%1\"";
        }
        return command;
    } catch (...) {
        return {};
    }
}

void CFileExtRegUtil::LoadApplicationList(OpenAppMap& apps) const {
    try {
        win::RegKey key;
        if (!OpenKey(m_roots.classesRoot, L"*\\OpenWithList", KV_MASK_READ, key)) return;
        for (const std::wstring& name : key.SubKeyNames()) {
            if (name.size() >= kNameBuffer || win::ToLower(name).find(L".exe") == std::wstring::npos) continue;
            if (apps.count(name)) continue;
            std::wstring command = ResolveApplicationCommand(name);
            std::wstring resolved = command;
            if (ResolveCommand(resolved)) apps.emplace(name, std::make_unique<COpenApp>(name, command, resolved));
        }
    } catch (...) {
    }
}

