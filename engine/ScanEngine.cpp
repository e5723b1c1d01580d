#include "engine/ScanEngine.h"

#include "engine/AssocWriter.h"
#include "engine/Md5.h"
#include "win/Strings.h"

#ifndef KV_LOOKUP_HOST
#define KV_LOOKUP_HOST "extensions.velmora.com"
#endif

CKVScanEngine* g_pScanEngine = nullptr;

namespace {

// Salt of the information service's key.
constexpr const char* kLookupSalt = "{7E31A9C0-5B84-4f2d-8C6A-19D3F0B2E475}";
// A finished repair waits a moment before the monitor records again, so its own writes settle.
constexpr DWORD kAfterRepairPauseMs = 100;

// Query parameters are percent-encoded (UTF-8): a name from the registry or a settings file can
// never add parameters of its own or break the address.
std::wstring EncodeQueryValue(const std::wstring& text) {
    std::string bytes = win::WideToUtf8(text);
    std::wstring result;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~')
            result += static_cast<wchar_t>(c);
        else
            result += win::Format(L"%%%02X", c);
    }
    return result;
}

}  // namespace

CKVScanEngine::CKVScanEngine(CKVScanEngineCallbacks* pCallbacks, const CEngineEnvironment& env)
    : m_pCallbacks(pCallbacks), m_scanner(env), m_manager(env), m_env(env) {
    CFileExtRegUtil util(m_env.m_roots, m_env.m_platform);
    util.LoadApplicationList(m_mapAllApps);
    m_db.Open(m_env.m_strDatabaseFolder);
}

CKVScanEngine::~CKVScanEngine() {
    // No event reaches the user interface any more while the engine goes.
    m_pCallbacks = nullptr;
    if (m_monitor) m_monitor->Stop();
    m_scanner.m_bScanCancel = 1;
    m_scanner.WaitForScan();
    m_scanner.WaitForRepair();
    m_monitor.reset();
}

std::wstring CKVScanEngine::LookupHost() { return L"" KV_LOOKUP_HOST; }

void CKVScanEngine::AttachMonitor(std::unique_ptr<IExtensionMonitorLink> monitor) {
    if (m_monitor) m_monitor->Stop();
    m_monitor = std::move(monitor);
    if (m_monitor) m_monitor->Start(this);
}

void CKVScanEngine::SuspendMonitor() {
    if (m_monitor) m_monitor->SuspendRecording();
}

void CKVScanEngine::ResumeMonitor() {
    if (m_monitor) m_monitor->ResumeRecording();
}

int CKVScanEngine::OnScanComplete(ExtensionList* pList, BOOL bCompleted) {
    if (CKVScanEngineCallbacks* callbacks = m_pCallbacks.load()) callbacks->OnScanComplete(pList, bCompleted);
    return 1;
}

int CKVScanEngine::OnScanProgress(IFileExtension* pExtension) {
    if (CKVScanEngineCallbacks* callbacks = m_pCallbacks.load()) callbacks->OnScanProgress(pExtension);
    return 1;
}

int CKVScanEngine::OnFixComplete(ExtensionList* pList, BOOL bCompleted) {
    if (CKVScanEngineCallbacks* callbacks = m_pCallbacks.load()) {
        callbacks->OnFixComplete(pList, bCompleted);
        callbacks->OnAssociationsChanged();
    }
    ::Sleep(kAfterRepairPauseMs);
    ResumeMonitor();
    return 1;
}

int CKVScanEngine::OnMonitoredChanges(ExtensionChangeMap* pChanges, int newChangeRecorded) {
    CKVScanEngineCallbacks* callbacks = m_pCallbacks.load();
    if (m_bReportChanges) {
        if (!callbacks) return 1;
        if (newChangeRecorded) callbacks->OnExtensionsChanged(pChanges);
    }
    if (callbacks) callbacks->OnAssociationsChanged();
    return 1;
}

BOOL CKVScanEngine::StartScan(const std::wstring& filter) {
    if (m_scanner.m_bScanRunning || m_scanner.m_bRepairRunning) return 0;
    return m_scanner.StartScanThread(filter, this) ? 1 : 0;
}

BOOL CKVScanEngine::StartFix() {
    if (m_scanner.m_bScanRunning || m_scanner.m_bRepairRunning) return 0;
    SuspendMonitor();
    if (!m_scanner.StartRepairThread(this)) {
        ResumeMonitor();
        return 0;
    }
    return 1;
}

void CKVScanEngine::CancelScan() {
    if (m_scanner.m_bScanRunning) m_scanner.m_bScanCancel = 1;
}

BOOL CKVScanEngine::IgnoreExtension(IFileExtension* pExtension) {
    // The workers own the records while they run.
    if (!pExtension || m_scanner.m_bScanRunning || m_scanner.m_bRepairRunning) return 0;
    // Only an extension the ignore list really holds leaves the results.
    if (!m_db.AddIgnored(pExtension)) return 0;
    return m_scanner.RemoveExtension(pExtension) ? 1 : 0;
}

std::wstring CKVScanEngine::GetLookupURL(const IFileExtension* pExtension, int productId,
                                         const std::wstring& vendorId, const std::wstring& languageId) {
    if (!pExtension) return {};
    std::wstring ext = pExtension->GetName();
    if (!ext.empty() && ext[0] == L'.') ext.erase(0, 1);
    std::string keyInput = win::WideToCodePage(ext, CP_THREAD_ACP);
    if (!keyInput.empty()) ::CharLowerBuffA(keyInput.data(), static_cast<DWORD>(keyInput.size()));
    keyInput += kLookupSalt;
    const std::wstring key = Md5Hex(keyInput);
    return L"http://" + LookupHost() +
           win::Format(L"/?ext=%s&key=%s&pid=%d&vid=%s&lid=%s", EncodeQueryValue(ext).c_str(), key.c_str(), productId,
                       EncodeQueryValue(vendorId).c_str(), EncodeQueryValue(languageId).c_str());
}

BOOL CKVScanEngine::ApplyChange(const CFileTypeInfo& fileType, const std::wstring& extensionName) {
    // The caller may pass the change map's own key, which the monitor frees when it forgets the change.
    const std::wstring extension = extensionName;
    SuspendMonitor();
    bool written = false;
    if (m_monitor) {
        written = m_monitor->ApplyAssociation(extension, fileType) != 0;
    } else {
        CFileExtRegUtil util(m_env.m_roots, m_env.m_platform);
        written = WriteAssociation(util, util.CurrentUser(), extension, fileType);
    }
    if (written) {
        NotifyAssociationsChanged(m_env);
        CDBManager db;
        db.Open(m_env.m_strDatabaseFolder);
        db.AddHistoryEvent(win::Format(KV_HISTORY_ASSOCIATION_CHANGED, extension.c_str()));
    }
    if (CKVScanEngineCallbacks* callbacks = m_pCallbacks.load()) callbacks->OnAssociationsChanged();
    ResumeMonitor();
    return written ? 1 : 0;
}

BOOL CKVScanEngine::ChangeAction(CFileExtension& record, const std::wstring& verb, const std::wstring& command,
                                 KVChangeResult* pResult, std::wstring* pBackupPath) {
    return m_manager.ChangeAction(record, verb, command, m_monitor.get(), pResult, pBackupPath) ? 1 : 0;
}
