#include "tests/engine/EngineTestSupport.h"

#include <gtest/gtest.h>

#include "store/CppSQLite3.h"
#include "store/DBManager.h"
#include "win/Paths.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace kvtest {

EngineWorld::EngineWorld() {
    m_env.m_roots = m_sandbox.Roots();
    m_env.m_strClassesRootName = L"HKEY_CURRENT_USER\\" + m_sandbox.Path() + L"\\Classes";
    m_env.m_strCurrentUserName = L"HKEY_CURRENT_USER\\" + m_sandbox.Path() + L"\\User";
    m_env.m_platform = AssocPlatform{};
    m_env.m_strDatabaseFolder = m_folder.File(L"db");
    m_env.m_strDumpFolder = m_folder.Path();
    m_env.m_bNotifyShell = false;
    m_strProgram = m_folder.WriteFile(L"programs\\viewer.exe", "MZ");
    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
}

void EngineWorld::SoundProgId(const std::wstring& progId) {
    RegistrySandbox::SetString(Classes(), progId + L"\\shell\\open\\command", L"", SoundCommand());
}

void EngineWorld::BrokenProgId(const std::wstring& progId) {
    RegistrySandbox::SetString(Classes(), progId + L"\\shell\\open\\command", L"", BrokenCommand());
}

void EngineWorld::ClassesDefault(const std::wstring& ext, const std::wstring& progId) {
    RegistrySandbox::SetString(Classes(), ext, L"", progId);
}

void EngineWorld::ClassesOpenWith(const std::wstring& ext, const std::wstring& progId) {
    RegistrySandbox::SetRaw(Classes(), ext + L"\\OpenWithProgIDs", progId, REG_NONE, nullptr, 0);
}

void EngineWorld::UserChoice(const std::wstring& ext, const std::wstring& progId) {
    RegistrySandbox::SetString(User(), std::wstring(kFileExts) + L"\\" + ext + L"\\UserChoice", L"ProgId", progId);
}

void EngineWorld::UserOpenWith(const std::wstring& ext, const std::wstring& progId) {
    RegistrySandbox::SetRaw(User(), std::wstring(kFileExts) + L"\\" + ext + L"\\OpenWithProgids", progId, REG_NONE,
                            nullptr, 0);
}

std::wstring EngineWorld::UserChoiceValue(const std::wstring& ext) const {
    return RegistrySandbox::GetString(User(), std::wstring(kFileExts) + L"\\" + ext + L"\\UserChoice", L"ProgId");
}

void EngineWorld::DatabaseExtension(const std::wstring& extNoDot, const std::wstring& category,
                                    const std::wstring& defaultType, bool mustScan) {
    CppSQLite3DB db;
    db.Open(win::JoinPath(m_env.m_strDatabaseFolder, L"kv_db.db"));
    const int typeId = m_nextTypeId++;
    db.ExecuteStatement(win::Format(L"INSERT INTO type (id, name) VALUES (%d, '%s')", typeId,
                                    QuoteSql(category).c_str()));
    db.ExecuteStatement(win::Format(
        L"INSERT INTO extension (ext, type_id, default_filetype, must_scan) VALUES ('%s', %d, '%s', %d)",
        QuoteSql(extNoDot).c_str(), typeId, QuoteSql(defaultType).c_str(), mustScan ? 1 : 0));
}

std::vector<std::wstring> EngineWorld::History() const {
    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
    std::vector<std::wstring> lines;
    db.GetHistory(&lines);
    return lines;
}

void EngineWorld::Ignore(const std::wstring& ext, const std::wstring& category) {
    CDBManager db;
    db.Open(m_env.m_strDatabaseFolder);
    db.AddIgnored(ext, category);
}

std::vector<std::wstring> EngineWorld::BackupFiles() const {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data{};
    const std::wstring folder = m_env.BackupFolder();
    win::UniqueFindHandle find(::FindFirstFileW(win::JoinPath(folder, L"*.reg").c_str(), &data));
    if (!find) return files;
    do {
        files.push_back(win::JoinPath(folder, data.cFileName));
    } while (::FindNextFileW(find.get(), &data));
    return files;
}

int EventRecorder::OnScanComplete(ExtensionList*, BOOL bCompleted) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nScanCompletions;
    m_bScanCompleted = bCompleted;
    return 1;
}

int EventRecorder::OnScanProgress(IFileExtension* pExtension) {
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.push_back(pExtension->GetName());
        count = m_progress.size();
    }
    if (m_onProgress) m_onProgress(count);
    return 1;
}

int EventRecorder::OnFixComplete(ExtensionList*, BOOL bCompleted) {
    if (m_onFix) m_onFix();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nFixCompletions;
    m_bFixCompleted = bCompleted;
    return 1;
}

int EventRecorder::OnAssociationsChanged() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nAssociationsChanged;
    return 1;
}

std::vector<std::wstring> EventRecorder::Progress() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progress;
}
int EventRecorder::ScanCompletions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nScanCompletions;
}
int EventRecorder::FixCompletions() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nFixCompletions;
}
BOOL EventRecorder::LastScanCompleted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bScanCompleted;
}
BOOL EventRecorder::LastFixCompleted() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bFixCompleted;
}
int EventRecorder::AssociationsChanged() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nAssociationsChanged;
}

namespace {
void ImageInto(HKEY key, const std::wstring& path, RegistryImage& image) {
    auto& values = image[path];
    win::RegKey self;
    if (self.Open(key, L"", KEY_READ) != ERROR_SUCCESS) return;
    for (const auto& name : self.ValueNames()) {
        auto raw = self.ReadRaw(name.c_str());
        if (raw) values[name] = {raw->type, raw->data};
    }
    for (const auto& child : self.SubKeyNames()) {
        win::RegKey sub;
        if (sub.Open(self.get(), child, KEY_READ) == ERROR_SUCCESS)
            ImageInto(sub.get(), path.empty() ? child : path + L"\\" + child, image);
    }
}
}  // namespace

RegistryImage ImageOf(HKEY root) {
    RegistryImage image;
    ImageInto(root, L"", image);
    return image;
}

bool ImportWithRegedit(const std::wstring& regFile) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring exe = std::wstring(windows) + L"\\regedit.exe";
    std::wstring command = L"\"" + exe + L"\" /S \"" + regFile + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    win::UniqueKernelHandle thread(process.hThread);
    win::UniqueKernelHandle child(process.hProcess);
    return ::WaitForSingleObject(child.get(), 120000) == WAIT_OBJECT_0;
}

void WriteFileAt(const std::wstring& path, const std::string& bytes) {
    win::CreateDirectories(win::FolderOf(path));
    win::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

std::vector<std::wstring> NamesOf(const ExtensionList& list) {
    std::vector<std::wstring> names;
    for (const IFileExtension* record : list) names.push_back(record->GetName());
    return names;
}

CFileExtension* Result(CExtScanner& scanner, const std::wstring& name) {
    if (!scanner.m_pResults) return nullptr;
    auto it = scanner.m_pResults->find(name);
    return it == scanner.m_pResults->end() ? nullptr : it->second.get();
}

bool ScanAndWait(CExtScanner& scanner, const std::wstring& filter, CKVExtScannerCallbacks* callbacks) {
    if (!scanner.StartScanThread(filter, callbacks)) return false;
    scanner.WaitForScan();
    return true;
}

bool RepairAndWait(CExtScanner& scanner, CKVExtScannerCallbacks* callbacks) {
    if (!scanner.StartRepairThread(callbacks)) return false;
    scanner.WaitForRepair();
    return true;
}

}  // namespace kvtest
