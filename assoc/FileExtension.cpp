#include "assoc/FileExtension.h"

#include <shellapi.h>

#include <mutex>
#include <unordered_map>

#include "win/UniqueHandle.h"
#include "win/Strings.h"

namespace {

struct ProgramEntry {
    std::wstring name;
    win::UniqueIcon icon;
};

// Process-wide; the lock keeps a page and a worker from corrupting the map if both ask.
std::mutex g_programCacheLock;
std::unordered_map<std::wstring, ProgramEntry>* g_pProgramCache = nullptr;
unsigned long g_nShellRequests = 0;

const ProgramEntry& LookUpProgram(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(g_programCacheLock);
    if (!g_pProgramCache) {
        // Deliberately never freed: entries and icons live until the process ends, and no static
        // destructor can then run after the shell is gone.
        g_pProgramCache = new std::unordered_map<std::wstring, ProgramEntry>();
    }
    auto found = g_pProgramCache->find(path);
    if (found != g_pProgramCache->end()) return found->second;
    ProgramEntry entry;
    SHFILEINFOW info{};
    ++g_nShellRequests;
    if (::SHGetFileInfoW(path.c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_DISPLAYNAME)) {
        info.szDisplayName[MAX_PATH - 1] = L'\0';
        entry.name = info.szDisplayName;
        entry.icon.reset(info.hIcon);
    }
    return g_pProgramCache->emplace(path, std::move(entry)).first->second;
}


}  // namespace

std::wstring CProgramCache::GetName(const std::wstring& programPath) {
    if (programPath.empty()) return {};
    return LookUpProgram(programPath).name;
}

HICON CProgramCache::GetIcon(const std::wstring& programPath) {
    if (programPath.empty()) return nullptr;
    return LookUpProgram(programPath).icon.get();
}

unsigned long CProgramCache::ShellRequests() {
    std::lock_guard<std::mutex> lock(g_programCacheLock);
    return g_nShellRequests;
}

std::wstring CVerb::GetProgramName() const { return CProgramCache::GetName(m_strProgramPath); }
HICON CVerb::GetProgramIcon() const { return CProgramCache::GetIcon(m_strProgramPath); }
HICON COpenApp::GetProgramIcon() const { return CProgramCache::GetIcon(m_strProgramPath); }

const CVerb* CFileTypeInfo::DefaultVerb() const {
    auto found = m_mapVerbs.find(m_strDefaultVerb);
    return found == m_mapVerbs.end() ? nullptr : found->second.get();
}

std::wstring CFileTypeInfo::GetProgramName() const {
    const CVerb* verb = DefaultVerb();
    return verb ? verb->GetProgramName() : std::wstring();
}

HICON CFileTypeInfo::GetProgramIcon() const {
    const CVerb* verb = DefaultVerb();
    return verb ? verb->GetProgramIcon() : nullptr;
}

void CFileTypeInfo::Reset() {
    m_strProgID.clear();
    m_strEffectiveProgID.clear();
    m_strCommand.clear();
    m_strProgramPath.clear();
    m_strTarget.clear();
    m_mapVerbs.clear();
    m_strDefaultVerb.clear();
    m_bBroken = 0;
    m_bApplication = 0;
}

CFileExtension::~CFileExtension() { ClearLists(); }

void CFileExtension::ClearLists() {
    m_userOpenWith.clear();
    m_classesOpenWith.clear();
    m_mapApps.clear();
}

const CFileTypeInfo* CFileExtension::CurrentType() const {
    if (!m_userChoice.m_strProgID.empty() && !m_userChoice.m_bBroken) return &m_userChoice;
    if (!m_classesDefault.m_strProgID.empty() && !m_classesDefault.m_bBroken) return &m_classesDefault;
    return nullptr;
}

CFileTypeInfo* CFileExtension::CurrentType() {
    return const_cast<CFileTypeInfo*>(static_cast<const CFileExtension*>(this)->CurrentType());
}

CFileTypeInfo& CFileExtension::CurrentVerbsType() {
    return CurrentType() == &m_userChoice ? m_userChoice : m_classesDefault;
}

std::wstring CFileExtension::GetCurrentProgID() const {
    const CFileTypeInfo* type = CurrentType();
    return type ? type->m_strProgID : std::wstring();
}

std::wstring CFileExtension::GetCurrentEffectiveProgID() const {
    const CFileTypeInfo* type = CurrentType();
    return type ? type->m_strEffectiveProgID : std::wstring();
}

const VerbMap& CFileExtension::GetCurrentVerbs() const {
    return CurrentType() == &m_userChoice ? m_userChoice.m_mapVerbs : m_classesDefault.m_mapVerbs;
}

std::wstring CFileExtension::GetProgramName() const {
    if (CurrentType() == &m_userChoice) return m_userChoice.GetProgramName();
    // The classes-root type names the program even when it is broken.
    if (!m_classesDefault.m_strProgID.empty()) return m_classesDefault.GetProgramName();
    return {};
}

HICON CFileExtension::GetProgramIcon() const {
    if (CurrentType() == &m_userChoice) return m_userChoice.GetProgramIcon();
    if (!m_classesDefault.m_strProgID.empty()) return m_classesDefault.GetProgramIcon();
    return nullptr;
}

const std::wstring& CFileExtension::GetDefaultVerb() const {
    return m_userChoice.m_strDefaultVerb.empty() ? m_classesDefault.m_strDefaultVerb : m_userChoice.m_strDefaultVerb;
}

std::wstring DumpType(const CFileTypeInfo& type) {
    std::wstring text;
    text.reserve(64 + type.m_strProgID.size() + type.m_strTarget.size() + type.m_strCommand.size() +
                 type.m_strProgramPath.size());
    text += type.m_bBroken ? L"[FAILED] " : L"[FOUND] ";
    text += type.m_strProgID;
    text += L" -> ";
    text += type.m_strTarget;
    text += L"\r\n\t\tPRE:  ";
    text += type.m_strCommand;
    text += L"\r\n\t\tPOST: ";
    text += type.m_strProgramPath;
    text += L"\r\n";
    return text;
}

std::wstring DumpExtension(const CFileExtension& extension) {
    const std::wstring side(42, L'=');
    std::wstring text = side + L" " + extension.m_strName + L" " + side + L"\r\n";
    text += L"HKCR DEFAULT:\r\n\t";
    text += DumpType(extension.m_classesDefault);
    text += L"HKCR OpenWithProgIDs:\r\n";
    for (const auto& type : extension.m_classesOpenWith) text += L"\t" + DumpType(*type);
    text += L"HKCU DEFAULT:\r\n\t";
    text += DumpType(extension.m_userChoice);
    text += L"HKCU OpenWithProgIDs:\r\n";
    for (const auto& type : extension.m_userOpenWith) text += L"\t" + DumpType(*type);
    text += std::wstring(94, L'=') + L"\r\n";
    return text;
}
