#pragma once
// Binding to the update library Tork3.dll, loaded at run time. Exports are resolved by name; a
// missing one stays unresolved and every call that would need it returns -1 without calling.
#include <windows.h>

#include <string>

#include "update/TorkApi.h"
#include "win/UniqueHandle.h"

class CTorkWrapper {
public:
    CTorkWrapper() = default;
    CTorkWrapper(const CTorkWrapper&) = delete;
    CTorkWrapper& operator=(const CTorkWrapper&) = delete;
    ~CTorkWrapper() { Unload(); }

    // Loads the library (a bare file name from the program's folder, a path as it is)
    // and resolves its exports. Anything loaded before is unloaded first. False when the module
    // cannot be loaded; a module that lacks exports still counts as loaded.
    bool Load(const std::wstring& path);
    // Deletes the instance (TKDelete, when exported), frees the module and clears every field.
    void Unload();
    bool IsLoaded() const { return static_cast<bool>(m_hModule); }

    // Forwarders. The instance is the one TKCreate filled, or 0 when it was never called.
    int TKCreate();
    int TKDoAllUpdates(TKCallbackRecord* record);
    int TKDoAllUpdatesWithUI();
    int TKDoAllUpdatesWithUIEx(int showWindow);
    int TKShowUpdatesSettingsDialog(HWND parent);

    // A complete update with the library's own window: the extended export with 1 when the
    // library has it, else the plain one.
    int DoAllUpdatesWithLibraryWindow();

    TKHANDLE Instance() const { return m_hTkInstance; }

    // Where Kavendor finds the library: the common program files folder (created when absent)
    // followed by "\Velmora\Tork3\Tork3.dll". Empty when the folder is unknown.
    static std::wstring CommonLibraryPath();

private:
    win::UniqueModule m_hModule;
    TKHANDLE m_hTkInstance = nullptr;
    PFN_TKCreate m_pfnCreate = nullptr;
    PFN_TKDelete m_pfnDelete = nullptr;
    PFN_TKDoAllUpdates m_pfnDoAllUpdates = nullptr;
    PFN_TKDoAllUpdatesWithUI m_pfnDoAllUpdatesWithUI = nullptr;
    PFN_TKDoAllUpdatesWithUIEx m_pfnDoAllUpdatesWithUIEx = nullptr;
    PFN_TKShowUpdatesSettingsDialog m_pfnShowUpdatesSettingsDialog = nullptr;
};

// Kavendor's two uses: load the library from `libraryPath`, make the call, unload. Nothing happens
// when the library cannot be loaded; false then.
bool RunUpdatesWithLibraryWindow(const std::wstring& libraryPath);
bool ShowUpdateOptions(const std::wstring& libraryPath, HWND parent);
