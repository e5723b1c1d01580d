#include "update/TorkWrapper.h"

#include <shlobj.h>

#include "win/Paths.h"

namespace {
template <typename T>
T Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<T>(::GetProcAddress(module, name));
}
}  // namespace

bool CTorkWrapper::Load(const std::wstring& path) {
    Unload();
    if (path.empty()) return false;
    // A broken or missing library must not bring up the system's error boxes.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    // A bare file name means the library beside the program, never one that the search path
    // would find in the current folder.
    std::wstring file = path.find_first_of(L"\\/:") == std::wstring::npos
                            ? win::JoinPath(win::FolderOf(win::ModuleFilePath()), path)
                            : path;
    HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ::SetThreadErrorMode(oldMode, nullptr);
    if (!module) return false;
    m_hModule.reset(module);
    m_pfnCreate = Resolve<PFN_TKCreate>(module, "TKCreate");
    m_pfnDelete = Resolve<PFN_TKDelete>(module, "TKDelete");
    m_pfnDoAllUpdates = Resolve<PFN_TKDoAllUpdates>(module, "TKDoAllUpdates");
    m_pfnDoAllUpdatesWithUI = Resolve<PFN_TKDoAllUpdatesWithUI>(module, "TKDoAllUpdatesWithUI");
    m_pfnDoAllUpdatesWithUIEx = Resolve<PFN_TKDoAllUpdatesWithUIEx>(module, "TKDoAllUpdatesWithUIEx");
    m_pfnShowUpdatesSettingsDialog = Resolve<PFN_TKShowUpdatesSettingsDialog>(module, "TKShowUpdatesSettingsDialog");
    return true;
}

void CTorkWrapper::Unload() {
    if (m_pfnDelete) m_pfnDelete(m_hTkInstance);
    m_pfnCreate = nullptr;
    m_pfnDelete = nullptr;
    m_pfnDoAllUpdates = nullptr;
    m_pfnDoAllUpdatesWithUI = nullptr;
    m_pfnDoAllUpdatesWithUIEx = nullptr;
    m_pfnShowUpdatesSettingsDialog = nullptr;
    m_hTkInstance = nullptr;
    m_hModule.reset();
}

int CTorkWrapper::TKCreate() { return m_pfnCreate ? m_pfnCreate(&m_hTkInstance) : -1; }

int CTorkWrapper::TKDoAllUpdates(TKCallbackRecord* record) {
    return m_pfnDoAllUpdates ? m_pfnDoAllUpdates(m_hTkInstance, record) : -1;
}

int CTorkWrapper::TKDoAllUpdatesWithUI() {
    return m_pfnDoAllUpdatesWithUI ? m_pfnDoAllUpdatesWithUI(m_hTkInstance) : -1;
}

int CTorkWrapper::TKDoAllUpdatesWithUIEx(int showWindow) {
    return m_pfnDoAllUpdatesWithUIEx ? m_pfnDoAllUpdatesWithUIEx(m_hTkInstance, showWindow) : -1;
}

int CTorkWrapper::TKShowUpdatesSettingsDialog(HWND parent) {
    return m_pfnShowUpdatesSettingsDialog ? m_pfnShowUpdatesSettingsDialog(m_hTkInstance, parent) : -1;
}

int CTorkWrapper::DoAllUpdatesWithLibraryWindow() {
    return m_pfnDoAllUpdatesWithUIEx ? TKDoAllUpdatesWithUIEx(1) : TKDoAllUpdatesWithUI();
}

std::wstring CTorkWrapper::CommonLibraryPath() {
    std::wstring folder = win::ShellFolder(CSIDL_PROGRAM_FILES_COMMON | CSIDL_FLAG_CREATE);
    if (folder.empty()) return {};
    return win::JoinPath(folder, L"Velmora\\Tork3\\Tork3.dll");
}

bool RunUpdatesWithLibraryWindow(const std::wstring& libraryPath) {
    CTorkWrapper library;
    if (!library.Load(libraryPath)) return false;
    library.DoAllUpdatesWithLibraryWindow();
    library.Unload();
    return true;
}

bool ShowUpdateOptions(const std::wstring& libraryPath, HWND parent) {
    CTorkWrapper library;
    if (!library.Load(libraryPath)) return false;
    library.TKShowUpdatesSettingsDialog(parent);
    library.Unload();
    return true;
}
