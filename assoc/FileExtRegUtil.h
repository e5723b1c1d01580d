#pragma once
// Registry access of the association model, and the reader built on it.
//
// Every worker creates its own CFileExtRegUtil; it is cheap and holds no open keys between calls.
// Under WOW64 every open and create carries KEY_WOW64_64KEY, so a 32-bit build always sees and
// changes the 64-bit registry. The roots and the platform facts are supplied by the caller
// (production defaults: the predefined keys and what the running system reports), so tests can
// sandbox the registry and force the WOW64, legacy-shell and protected-choice paths.
//
// Nothing here reports an error code or throws: a key that does not open, a value that is missing
// or unreadable gives the empty text, an empty list or false. Registry data of any type and size
// is read safely (text up to the first zero character or the end of the data).
#include <windows.h>

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "assoc/FileExtension.h"
#include "win/RegKey.h"
#include "win/RegistryRoots.h"

// Base access masks; Mask() adds the 64-bit view flag under WOW64.
enum : REGSAM {
    KV_MASK_READ = KEY_READ,                                         // 0x20019 reads, enumeration, existence
    KV_MASK_SET_VALUE = KEY_SET_VALUE,                               // 0x00002
    KV_MASK_SET_VALUE_CREATE = KEY_SET_VALUE | KEY_CREATE_SUB_KEY,   // 0x00006 create a key to write a value
    KV_MASK_READ_SET_VALUE = KEY_READ | KEY_SET_VALUE,               // 0x2001B
    KV_MASK_READ_SET_VALUE_CREATE = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY,  // 0x2001F
    KV_MASK_ALL_ACCESS = KEY_ALL_ACCESS,                             // 0xF003F
};

// The per-user Explorer data of every extension.
inline constexpr const wchar_t* KV_FILEEXTS_KEY = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
inline constexpr const wchar_t* KV_APP_PATHS_KEY = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// The per-user classes below the current user: consulted before the machine-wide classes.
inline constexpr const wchar_t* KV_USER_CLASSES_KEY = L"Software\\Classes";
// Subkeys of an extension's FileExts key that hold the per-user choice on later systems.
inline constexpr const wchar_t* KV_USER_CHOICE = L"UserChoice";
inline constexpr const wchar_t* KV_USER_CHOICE_LATEST = L"UserChoiceLatest";

using PFN_WOW64_DISABLE_REDIRECTION = BOOL(WINAPI*)(PVOID* oldValue);
using PFN_WOW64_REVERT_REDIRECTION = BOOL(WINAPI*)(PVOID oldValue);

// What the running system is, as far as the association code cares.
struct AssocPlatform {
    BOOL bWow64 = 0;                // 32-bit process on 64-bit Windows
    BOOL bLegacyShell = 0;          // NT family, major version 5 or lower: the choice lives in the FileExts key itself
    // Windows 8 (6.2) and later: the per-user choice carries a hash the system checks, so the
    // program never writes it; it removes the choice and writes the per-user classes default.
    BOOL bProtectedUserChoice = 0;
    PFN_WOW64_DISABLE_REDIRECTION pfnDisableRedirection = nullptr;
    PFN_WOW64_REVERT_REDIRECTION pfnRevertRedirection = nullptr;

    // The facts of the running system: IsWow64Process, GetVersionExW and the two redirection
    // functions, all looked up in kernel32 at run time.
    static AssocPlatform Detect();
};

class CFileExtRegUtil {
public:
    // Production: the predefined roots and the running system's facts.
    CFileExtRegUtil();
    explicit CFileExtRegUtil(const win::RegistryRoots& roots);
    CFileExtRegUtil(const win::RegistryRoots& roots, const AssocPlatform& platform);
    virtual ~CFileExtRegUtil() = default;

    // Platform facts; set by the constructor and never changed afterwards.
    BOOL m_bWow64 = 0;
    BOOL m_bLegacyShell = 0;
    BOOL m_bProtectedUserChoice = 0;
    PFN_WOW64_DISABLE_REDIRECTION m_pfnDisableRedirection = nullptr;
    PFN_WOW64_REVERT_REDIRECTION m_pfnRevertRedirection = nullptr;

    const win::RegistryRoots& Roots() const { return m_roots; }
    HKEY ClassesRoot() const { return m_roots.classesRoot; }
    HKEY CurrentUser() const { return m_roots.currentUser; }
    HKEY LocalMachine() const { return m_roots.localMachine; }

    // ---- Thin key operations with the right view (for the write operations of the repair and
    // the extension manager). ----
    REGSAM Mask(REGSAM base) const { return m_bWow64 ? (base | KEY_WOW64_64KEY) : base; }
    // RegOpenKeyExW with Mask(base); false when the key is missing or access is denied.
    bool OpenKey(HKEY root, const std::wstring& subKey, REGSAM base, win::RegKey& key) const;
    // RegCreateKeyExW with Mask(base), creating missing intermediate keys.
    bool CreateKey(HKEY root, const std::wstring& subKey, REGSAM base, win::RegKey& key) const;
    // Removes a key without subkeys, in the same view as every open.
    bool DeleteKey(HKEY parent, const std::wstring& subKey) const;
    bool KeyExists(HKEY root, const std::wstring& subKey) const;
    // Any value of an open key as text (null name: the default value); false when it is missing
    // or unreadable, and `text` is then left as it was.
    static bool QueryText(HKEY key, const wchar_t* name, std::wstring& text, DWORD* type = nullptr);

    // ---- Primitives ----
    // True when the key opens for reading and the value can be queried; empty data counts.
    bool ValueExists(HKEY root, const std::wstring& subKey, const std::wstring& valueName) const;
    // The value's data as text whatever its type (REG_EXPAND_SZ is not expanded), or empty.
    // `type` receives the stored type when the value exists (untouched otherwise).
    std::wstring ReadValue(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                           DWORD* type = nullptr) const;
    // Existence of a file or folder; under WOW64 a second test runs with file-system redirection
    // turned off for the calling thread (and always turned back on).
    bool FileExists(const std::wstring& path) const;
    // Format text with one %s for the extension, applied under the current user.
    std::wstring GetUserChoiceKeyPath() const;
    // The user-choice key of one extension (GetUserChoiceKeyPath with the extension in place).
    std::wstring UserChoiceKey(const std::wstring& extension) const;
    // Where the per-user choice is read on this system: on a protected system "UserChoiceLatest"
    // when it holds a "ProgId" (as a value, or in its "ProgId" subkey), otherwise "UserChoice";
    // elsewhere UserChoiceKey.
    std::wstring UserChoiceReadKey(const std::wstring& extension) const;
    // "Software\Classes\<ext>" below the current user.
    static std::wstring UserClassesKey(const std::wstring& extension);
    // The extension's default type in the classes-root view: on a protected system the per-user
    // classes default when it names one, otherwise the classes root's default.
    std::wstring ReadClassesDefault(const std::wstring& extension) const;
    // The per-user classes default (empty when missing), read on protected systems only.
    std::wstring ReadUserClassesDefault(const std::wstring& extension) const;
    // Removes the extension's "UserChoice" and "UserChoiceLatest" keys where present. False when
    // one of them is still there afterwards (the system denied the removal).
    bool RemoveUserChoiceKeys(const std::wstring& extension) const;
    // The per-user association of a protected system: removes the choice keys and then writes
    // the ProgID as the default of the per-user classes key. Nothing is written when the removal
    // fails. The extension must be a single safe key name.
    bool PointUserClassesDefault(const std::wstring& extension, const std::wstring& progId) const;
    // Appends every name beginning with "." below the per-user classes key, lower-cased.
    void EnumUserClassesExtensionKeys(std::vector<std::wstring>& list) const;
    // Appends every name beginning with "." below the classes root (classesRoot) or the per-user
    // FileExts key (currentUser), lower-cased. Any other root appends nothing.
    void EnumExtensionKeys(HKEY root, std::vector<std::wstring>& list) const;
    // Appends the value names of the extension's OpenWithProgIDs key (per-user when root is the
    // current user, otherwise the classes root's), as stored; the default value is skipped.
    void ReadOpenWithProgIDs(HKEY root, const std::wstring& extension, std::vector<std::wstring>& list) const;
    // Removes parent\subKey with everything below it, deepest keys first.
    bool DeleteKeyTree(HKEY parent, const std::wstring& subKey) const;
    // Copies source with all values and subkeys to destParent\destSubKey; false when anything
    // could not be copied.
    bool CopyKeyTree(HKEY source, HKEY destParent, const std::wstring& destSubKey) const;

    // ---- Reader (reads only) ----
    // Fills a fresh or cleared record and its problem flags; always true.
    bool ReadExtension(CFileExtension& extension) const;
    // Fills the type named by type.m_strProgID and decides m_bBroken; nothing when the ProgID is empty.
    void ReadFileType(const std::wstring& extension, CFileTypeInfo& type) const;
    // Reads the verbs of a ProgID, following class-identifier redirections; `effective` receives
    // the ProgID whose verbs were read. False when no verbs key was found (or the type is NoOpen).
    bool ReadVerbs(const std::wstring& progId, VerbMap& verbs, std::wstring& effective) const;
    // Turns a command line into the path of an existing program or module (in place). True when
    // it does, or when the command is the "%1" placeholder; the text is then stripped of quotes,
    // arguments and switches and has its environment references expanded.
    bool ResolveCommand(std::wstring& text) const;
    // Remembers the outcome of every command resolved from now on, keyed by the command text, until
    // turned off. For one scan, which takes the files, the environment and App Paths as unchanging
    // meanwhile; shared ProgIDs and common commands are then judged once. Off by default.
    void EnableResolveCache(bool enable);
    // Fills the record's application map from its current types and the per-user Open-With list.
    void CollectOpenWithApps(CFileExtension& extension) const;
    // Adds the applications of the extension's per-user Open-With list whose command resolves.
    void ReadOpenWithList(const std::wstring& extension, OpenAppMap& apps) const;
    // The command that starts an application registered by its executable name, or empty.
    std::wstring ResolveApplicationCommand(const std::wstring& exe) const;
    // Every application of the classes root's "*\OpenWithList" whose command resolves.
    void LoadApplicationList(OpenAppMap& apps) const;

private:
    // The default of the first ProgID's own shell key, when the verbs were read from it.
    struct VerbsShellDefault {
        bool known = false;
        std::wstring text;
    };
    bool ReadVerbsIn(const std::wstring& progId, VerbMap& verbs, std::wstring& effective,
                     std::vector<std::wstring>& visited, VerbsShellDefault* shellDefault) const;

    void ReadFileTypeIn(const std::wstring& extension, CFileTypeInfo& type, std::vector<std::wstring>& chain) const;
    bool ProgramExists(const std::wstring& path) const;
    bool DeleteKeyTreeIn(HKEY parent, const std::wstring& subKey, int depth) const;
    bool CopyKeyTreeIn(HKEY source, HKEY destParent, const std::wstring& destSubKey, int depth) const;

    bool ResolveUncached(std::wstring& text) const;
    void EnumExtensionKeysBelow(HKEY root, const std::wstring& subKey, std::vector<std::wstring>& list) const;

    win::RegistryRoots m_roots;
    bool m_bResolveCache = false;
    mutable std::unordered_map<std::wstring, std::pair<bool, std::wstring>> m_mapResolved;
};
