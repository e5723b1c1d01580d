#include "engine/AssocWriter.h"

#include <shlobj.h>

#include "win/Strings.h"

namespace {

constexpr DWORD kPauseAfterDeleteMs = 20;

// Text values are stored with their terminating zero, as every reader of the registry expects.
LONG WriteText(win::RegKey& key, const wchar_t* name, const std::wstring& text, DWORD type) {
    return key.WriteRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && win::EqualsNoCase(std::wstring_view(text).substr(text.size() - tail.size()), tail);
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& head) {
    return text.size() >= head.size() && win::EqualsNoCase(std::wstring_view(text).substr(0, head.size()), head);
}

std::wstring FileExtsKey(const std::wstring& extension) {
    return std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension;
}

}  // namespace

bool IsSafeKeyName(const std::wstring& name) {
    if (name.empty() || name.size() > 255) return false;
    for (wchar_t c : name)
        if (c == L'\\' || c < 0x20) return false;
    return true;
}

bool WriteAssociation(const CFileExtRegUtil& util, HKEY root, const std::wstring& extension,
                      const CFileTypeInfo& type) {
    std::wstring data = win::ToLower(type.m_strProgID);
    if (!IsSafeKeyName(extension) || data.empty()) return false;
    std::wstring key = extension;
    std::wstring valueName;  // the default value
    if (util.m_bProtectedUserChoice) {
        // The system resets a per-user choice without its hash: the choice is removed and the
        // per-user classes default, which it does not protect, names the type instead.
        if (root == util.CurrentUser()) return util.PointUserClassesDefault(extension, data);
        // A per-user classes default hides the classes root's: the write goes where it is read.
        if (!util.ReadUserClassesDefault(extension).empty()) {
            root = util.CurrentUser();
            key = CFileExtRegUtil::UserClassesKey(extension);
        }
    } else if (root == util.CurrentUser()) {
        key = util.UserChoiceKey(extension);
        valueName = L"ProgId";
        const bool application = type.m_bApplication || EndsWithNoCase(data, L".exe");
        if (util.m_bLegacyShell && application) {
            if (util.ValueExists(root, key, L"ProgId")) {
                win::RegKey choice;
                if (util.OpenKey(root, key, KV_MASK_SET_VALUE, choice)) choice.DeleteValue(L"ProgId");
            }
            valueName = L"Application";
            // The value names the executable; the reader puts "Applications\" in front again.
            static const std::wstring kPrefix = L"applications\\";
            if (StartsWithNoCase(data, kPrefix)) data.erase(0, kPrefix.size());
            if (data.empty()) return false;
        } else if (!util.m_bLegacyShell) {
            // A choice key may carry a protection the program cannot reproduce: start it afresh.
            if (util.ValueExists(root, key, L"ProgId")) util.DeleteKey(root, key);
        }
    }
    win::RegKey target;
    if (!util.CreateKey(root, key, KV_MASK_SET_VALUE_CREATE, target)) return false;
    return WriteText(target, valueName.empty() ? nullptr : valueName.c_str(), data, REG_SZ) == ERROR_SUCCESS;
}

bool ClearAssociation(const CFileExtRegUtil& util, HKEY root, const std::wstring& extension) {
    if (!IsSafeKeyName(extension)) return false;
    bool done = false;
    if (root != util.CurrentUser()) {
        win::RegKey key;
        if (util.OpenKey(root, extension, KV_MASK_READ_SET_VALUE, key))
            done = key.WriteRaw(nullptr, REG_SZ, nullptr, 0) == ERROR_SUCCESS;
        // A per-user classes default would still be read in its place.
        if (util.m_bProtectedUserChoice && !util.ReadUserClassesDefault(extension).empty()) {
            win::RegKey perUser;
            done = util.OpenKey(util.CurrentUser(), CFileExtRegUtil::UserClassesKey(extension), KV_MASK_READ_SET_VALUE,
                                perUser) &&
                   perUser.WriteRaw(nullptr, REG_SZ, nullptr, 0) == ERROR_SUCCESS;
        }
    } else if (util.m_bProtectedUserChoice) {
        done = util.RemoveUserChoiceKeys(extension);
    } else {
        win::RegKey key;
        if (util.OpenKey(root, FileExtsKey(extension), KV_MASK_READ_SET_VALUE, key)) {
            if (util.m_bLegacyShell)
                done = key.DeleteValue(L"ProgId") == ERROR_SUCCESS;
            else
                done = util.DeleteKeyTree(key.get(), L"UserChoice");
        }
    }
    ::Sleep(kPauseAfterDeleteMs);
    return done;
}

bool DeleteOpenWithProgID(const CFileExtRegUtil& util, const std::wstring& extension, HKEY root,
                          const std::wstring& progId) {
    if (!IsSafeKeyName(extension) || progId.empty()) return false;
    std::wstring path = root == util.CurrentUser() ? FileExtsKey(extension) + L"\\OpenWithProgIDs"
                                                   : extension + L"\\OpenWithProgIDs";
    bool done = false;
    {
        win::RegKey key;
        if (util.OpenKey(root, path, KV_MASK_ALL_ACCESS, key)) done = key.DeleteValue(progId.c_str()) == ERROR_SUCCESS;
    }
    ::Sleep(kPauseAfterDeleteMs);
    return done;
}

bool SetVerbCommand(const CFileExtRegUtil& util, const CFileExtension& extension, const std::wstring& verb,
                    const std::wstring& command) {
    const std::wstring progId = extension.GetCurrentProgID();
    if (progId.empty() || !IsSafeKeyName(verb) || command.empty()) return false;
    const HKEY classes = util.ClassesRoot();
    const std::wstring shellPath = progId + L"\\shell";
    const std::wstring verbPath = shellPath + L"\\" + verb;
    DWORD labelType = REG_SZ;
    const std::wstring label = util.ReadValue(classes, verbPath, L"", &labelType);
    {
        win::RegKey shell;
        if (util.OpenKey(classes, shellPath, KV_MASK_READ_SET_VALUE_CREATE, shell))
            util.DeleteKeyTree(shell.get(), verb);
    }
    const bool expandable = (!command.empty() && command[0] == L'%') || command.rfind(L"\"%", 0) == 0;
    win::RegKey commandKey;
    if (!util.CreateKey(classes, verbPath + L"\\command", KV_MASK_SET_VALUE_CREATE, commandKey)) return false;
    const bool written = WriteText(commandKey, nullptr, command, expandable ? REG_EXPAND_SZ : REG_SZ) == ERROR_SUCCESS;
    if (!label.empty()) {
        // The label keeps its own type: an expandable resource reference must stay expandable.
        if (labelType != REG_SZ && labelType != REG_EXPAND_SZ) labelType = REG_SZ;
        win::RegKey verbKey;
        if (util.OpenKey(classes, verbPath, KV_MASK_SET_VALUE, verbKey)) WriteText(verbKey, nullptr, label, labelType);
    }
    return written;
}

void BackupClassesDefault(CRegBackup& backup, const CEngineEnvironment& env, const CFileExtRegUtil& util,
                          const std::wstring& extension) {
    backup.AddValues(env.ClassesRootForBackup(), extension, {L""});
    if (util.m_bProtectedUserChoice)
        backup.AddValues(env.CurrentUserForBackup(), CFileExtRegUtil::UserClassesKey(extension), {L""});
}

void BackupUserChoice(CRegBackup& backup, const CEngineEnvironment& env, const CFileExtRegUtil& util,
                      const std::wstring& extension) {
    if (util.m_bProtectedUserChoice) {
        const std::wstring fileExt = std::wstring(KV_FILEEXTS_KEY) + L"\\" + extension + L"\\";
        backup.AddTree(env.CurrentUserForBackup(), fileExt + KV_USER_CHOICE);
        backup.AddTree(env.CurrentUserForBackup(), fileExt + KV_USER_CHOICE_LATEST);
        backup.AddValues(env.CurrentUserForBackup(), CFileExtRegUtil::UserClassesKey(extension), {L""});
    } else if (util.m_bLegacyShell)
        backup.AddValues(env.CurrentUserForBackup(), util.UserChoiceKey(extension), {L"ProgId", L"Application"});
    else
        backup.AddTree(env.CurrentUserForBackup(), util.UserChoiceKey(extension));
}

void NotifyAssociationsChanged(const CEngineEnvironment& env) {
    if (env.m_bNotifyShell) ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
