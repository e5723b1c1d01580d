#include "monitor/UserChoiceWriter.h"

#include "win/RegKey.h"
#include "win/Strings.h"

namespace {

// Extension names come from the registry and the change lists: one key name, nothing more.
bool IsSingleKeyName(const std::wstring& name) {
    if (name.empty() || name.size() > 255) return false;
    for (wchar_t c : name)
        if (c == L'\\' || c < 0x20) return false;
    return true;
}

bool EndsWithNoCase(const std::wstring& text, std::wstring_view tail) {
    return text.size() >= tail.size() && win::EqualsNoCase(std::wstring_view(text).substr(text.size() - tail.size()), tail);
}

}  // namespace

bool WriteMonitoredUserChoice(const CFileExtRegUtil& util, const std::wstring& extension, const CFileTypeInfo& type) {
    std::wstring data = win::ToLower(type.GetProgID());
    if (!IsSingleKeyName(extension) || data.empty()) return false;
    // The system resets a per-user choice without its hash: the per-user classes default instead.
    if (util.m_bProtectedUserChoice) return util.PointUserClassesDefault(extension, data);
    const HKEY root = util.CurrentUser();
    const std::wstring key = util.UserChoiceKey(extension);
    const wchar_t* valueName = L"ProgId";
    if (util.m_bLegacyShell && (type.m_bApplication || EndsWithNoCase(data, L".exe"))) {
        if (util.ValueExists(root, key, L"ProgId")) {
            win::RegKey choice;
            if (util.OpenKey(root, key, KV_MASK_SET_VALUE, choice)) choice.DeleteValue(L"ProgId");
        }
        // The value names the executable; readers put "Applications\" in front again.
        constexpr std::wstring_view kPrefix = L"applications\\";
        if (data.compare(0, kPrefix.size(), kPrefix) == 0) data.erase(0, kPrefix.size());
        if (data.empty()) return false;
        valueName = L"Application";
    } else if (!util.m_bLegacyShell && util.ValueExists(root, key, L"ProgId")) {
        util.DeleteKey(root, key);
    }
    win::RegKey target;
    if (!util.CreateKey(root, key, KV_MASK_SET_VALUE_CREATE, target)) return false;
    // Stored with its terminating zero, as every reader of the registry expects.
    return target.WriteString(valueName, data) == ERROR_SUCCESS;
}
