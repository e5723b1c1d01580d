#pragma once
// The records that describe one file extension: its file types, their verbs and the applications
// that can open it. The reader (CFileExtRegUtil) fills them; the scanner, the repair and the
// extension manager work on the C classes; the pages see only the I interfaces.
//
// Ownership: a CFileExtension owns its two embedded types, the types of both Open-With lists and
// the applications of its map; a CFileTypeInfo owns its verbs. Lists handed on hold plain pointers.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// Problem flags of an extension; 0 means it works.
enum : UINT {
    EXT_PROBLEM_CLASSES_DEFAULT = 1,   // the classes-root default type is broken
    EXT_PROBLEM_USER_CHOICE = 2,       // the per-user choice is broken (or names an empty ProgID)
    EXT_PROBLEM_CLASSES_OPENWITH = 4,  // a type listed under the classes root's OpenWithProgIDs is broken
    EXT_PROBLEM_USER_OPENWITH = 8,     // a type listed under the user's OpenWithProgIDs is broken
    EXT_PROBLEM_NO_APPLICATION = 16,   // no program at all (set by the scanner)
};

class CVerb;
class COpenApp;
class CFileTypeInfo;

// Verbs by lower-case name, in ascending name order.
using VerbMap = std::map<std::wstring, std::unique_ptr<CVerb>>;
// Applications by name, in ascending name order.
using OpenAppMap = std::map<std::wstring, std::unique_ptr<COpenApp>>;
// File types in registry order.
using FileTypeList = std::vector<std::unique_ptr<CFileTypeInfo>>;

// Display names and icons of programs, keyed by the program path. The first request for a path
// asks the shell once for both; a failed request is remembered as an empty name and no icon.
// Entries and icons live until the process ends.
class CProgramCache {
public:
    // Empty path: empty name without asking the shell.
    static std::wstring GetName(const std::wstring& programPath);
    // Empty path: null without asking the shell. The cache keeps the icon; never destroy it.
    static HICON GetIcon(const std::wstring& programPath);
    // How many times the shell was asked so far (diagnostics and tests).
    static unsigned long ShellRequests();
};

class IVerb {
public:
    virtual ~IVerb() = default;
    virtual const std::wstring& GetName() const = 0;
    // The label when it is non-empty, otherwise the name.
    virtual const std::wstring& GetLabel() const = 0;
    virtual const std::wstring& GetCommand() const = 0;
    virtual const std::wstring& GetProgramPath() const = 0;
    virtual std::wstring GetProgramName() const = 0;
    virtual HICON GetProgramIcon() const = 0;
};

// One verb key under a ProgID's "shell" key.
class CVerb : public IVerb {
public:
    CVerb() = default;
    explicit CVerb(std::wstring name) : m_strName(std::move(name)) {}

    const std::wstring& GetName() const override { return m_strName; }
    const std::wstring& GetLabel() const override { return m_strLabel.empty() ? m_strName : m_strLabel; }
    const std::wstring& GetCommand() const override { return m_strCommand; }
    const std::wstring& GetProgramPath() const override { return m_strProgramPath; }
    std::wstring GetProgramName() const override;
    HICON GetProgramIcon() const override;

    std::wstring m_strName;         // lower case
    std::wstring m_strCommand;      // default value of the verb's "command" key, as stored
    std::wstring m_strProgramPath;  // what the command resolves to, lower case; empty when it does not
    std::wstring m_strLabel;        // menu label without its first "&"; the name for "@" or empty labels
};

// An application that can open an extension. The interface has no destructor slot: entries are
// owned and deleted as COpenApp.
class IOpenApp {
public:
    virtual const std::wstring& GetName() const = 0;
    virtual HICON GetProgramIcon() const = 0;
    virtual const std::wstring& GetCommand() const = 0;
    virtual const std::wstring& GetProgramPath() const = 0;

protected:
    ~IOpenApp() = default;
};

class COpenApp : public IOpenApp {
public:
    COpenApp() = default;
    COpenApp(std::wstring name, std::wstring command, std::wstring programPath)
        : m_strName(std::move(name)), m_strCommand(std::move(command)), m_strProgramPath(std::move(programPath)) {}

    const std::wstring& GetName() const override { return m_strName; }
    HICON GetProgramIcon() const override;
    const std::wstring& GetCommand() const override { return m_strCommand; }
    const std::wstring& GetProgramPath() const override { return m_strProgramPath; }
    virtual ~COpenApp() = default;

    std::wstring m_strName;         // shell display name of the program, or its executable file name
    std::wstring m_strCommand;      // the command line that starts it
    std::wstring m_strProgramPath;  // the executable the command resolves to
};

class IFileTypeInfo {
public:
    virtual ~IFileTypeInfo() = default;
    virtual const std::wstring& GetProgID() const = 0;
    virtual const std::wstring& GetEffectiveProgID() const = 0;
    virtual const std::wstring& GetCommand() const = 0;
    virtual const std::wstring& GetProgramPath() const = 0;
    virtual const std::wstring& GetTarget() const = 0;
    virtual const VerbMap& GetVerbs() const = 0;
    virtual const std::wstring& GetDefaultVerb() const = 0;
    virtual BOOL IsBroken() const = 0;
    // Of the default verb; empty / null when the default verb is not in the map.
    virtual std::wstring GetProgramName() const = 0;
    virtual HICON GetProgramIcon() const = 0;
};

// One file type (one ProgID).
class CFileTypeInfo : public IFileTypeInfo {
public:
    CFileTypeInfo() = default;
    explicit CFileTypeInfo(std::wstring progId) : m_strProgID(std::move(progId)) {}
    CFileTypeInfo(const CFileTypeInfo&) = delete;
    CFileTypeInfo& operator=(const CFileTypeInfo&) = delete;
    CFileTypeInfo(CFileTypeInfo&&) = default;
    CFileTypeInfo& operator=(CFileTypeInfo&&) = default;

    const std::wstring& GetProgID() const override { return m_strProgID; }
    const std::wstring& GetEffectiveProgID() const override { return m_strEffectiveProgID; }
    const std::wstring& GetCommand() const override { return m_strCommand; }
    const std::wstring& GetProgramPath() const override { return m_strProgramPath; }
    const std::wstring& GetTarget() const override { return m_strTarget; }
    const VerbMap& GetVerbs() const override { return m_mapVerbs; }
    const std::wstring& GetDefaultVerb() const override { return m_strDefaultVerb; }
    BOOL IsBroken() const override { return m_bBroken; }
    std::wstring GetProgramName() const override;
    HICON GetProgramIcon() const override;

    // The default verb's record, or null when the map does not hold it.
    const CVerb* DefaultVerb() const;
    // Back to the state of a freshly constructed type (empty texts, no verbs, flags 0).
    void Reset();

    std::wstring m_strProgID;           // as found; "Applications\<exe>" for an application chosen by name
    std::wstring m_strEffectiveProgID;  // whose verbs were read, after class-identifier redirection
    std::wstring m_strCommand;          // the command examined for the verdict; "NoOpen" when marked so
    std::wstring m_strProgramPath;      // what m_strCommand resolved to; "NoOpen" when marked so
    std::wstring m_strTarget;           // printed after the arrow in the dump; the reader leaves it empty
    VerbMap m_mapVerbs;
    std::wstring m_strDefaultVerb;      // lower case
    BOOL m_bBroken = 0;
    BOOL m_bApplication = 0;            // found through the per-user "Application" value
};

class IFileExtension {
public:
    virtual ~IFileExtension() = default;
    virtual const std::wstring& GetName() const = 0;
    virtual const std::wstring& GetDescription() const = 0;
    virtual UINT GetProblems() const = 0;
    virtual BOOL IsFixed() const = 0;
    virtual BOOL IsSearched() const = 0;
    virtual std::wstring GetCurrentProgID() const = 0;
    virtual std::wstring GetCurrentEffectiveProgID() const = 0;
    virtual const VerbMap& GetCurrentVerbs() const = 0;
    virtual std::wstring GetProgramName() const = 0;
    virtual HICON GetProgramIcon() const = 0;
    virtual const std::wstring& GetDefaultVerb() const = 0;
    virtual const FileTypeList& GetUserOpenWithTypes() const = 0;
    virtual const FileTypeList& GetClassesOpenWithTypes() const = 0;
    virtual const OpenAppMap& GetOpenWithApps() const = 0;
    virtual const IFileTypeInfo& GetClassesDefaultType() const = 0;
    virtual const IFileTypeInfo& GetUserChoiceType() const = 0;
    virtual void ClearLists() = 0;
};

// One extension.
class CFileExtension : public IFileExtension {
public:
    CFileExtension() = default;
    // The name is kept as given; callers hold extensions in lower case with their dot.
    explicit CFileExtension(std::wstring name) : m_strName(std::move(name)) {}
    CFileExtension(const CFileExtension&) = delete;
    CFileExtension& operator=(const CFileExtension&) = delete;
    ~CFileExtension() override;

    const std::wstring& GetName() const override { return m_strName; }
    const std::wstring& GetDescription() const override { return m_strDescription; }
    UINT GetProblems() const override { return m_nProblems; }
    BOOL IsFixed() const override { return m_bFixed; }
    BOOL IsSearched() const override { return m_bSearched; }
    std::wstring GetCurrentProgID() const override;
    std::wstring GetCurrentEffectiveProgID() const override;
    const VerbMap& GetCurrentVerbs() const override;
    std::wstring GetProgramName() const override;
    HICON GetProgramIcon() const override;
    const std::wstring& GetDefaultVerb() const override;
    const FileTypeList& GetUserOpenWithTypes() const override { return m_userOpenWith; }
    const FileTypeList& GetClassesOpenWithTypes() const override { return m_classesOpenWith; }
    const OpenAppMap& GetOpenWithApps() const override { return m_mapApps; }
    const IFileTypeInfo& GetClassesDefaultType() const override { return m_classesDefault; }
    const IFileTypeInfo& GetUserChoiceType() const override { return m_userChoice; }
    // Deletes the types of both Open-With lists and the applications; the embedded types and the
    // flags stay as they are.
    void ClearLists() override;

    // The current type: the user's choice when it names a ProgID and is sound, otherwise the
    // classes-root default when it names a ProgID and is sound, otherwise none (null).
    const CFileTypeInfo* CurrentType() const;
    CFileTypeInfo* CurrentType();
    // The type whose verbs GetCurrentVerbs shows (the user's choice when current, otherwise the
    // classes-root default); the extension manager edits its verb map.
    CFileTypeInfo& CurrentVerbsType();

    std::wstring m_strName;                        // lower case, with its dot
    std::wstring m_strDescription = L"Unknown";    // category text from the extension database
    BOOL m_bNoOpen = 0;                            // the extension key carries "NoOpen"; nothing else read
    CFileTypeInfo m_userChoice;                    // the current user's choice
    CFileTypeInfo m_classesDefault;                // the classes root's default type
    FileTypeList m_userOpenWith;                   // the user's OpenWithProgIDs, registry order
    FileTypeList m_classesOpenWith;                // the classes root's OpenWithProgIDs, registry order
    OpenAppMap m_mapApps;                          // filled only for the Manage page
    UINT m_nProblems = 0;                          // EXT_PROBLEM_* flags
    BOOL m_bFixed = 0;                             // set by the repair when every problem was repaired
    BOOL m_bSearched = 0;                          // the extension a single-extension scan asked for
};

// "[FOUND|FAILED] <ProgID> -> <target>\r\n\t\tPRE:  <command>\r\n\t\tPOST: <program>\r\n"
std::wstring DumpType(const CFileTypeInfo& type);
// Banner, both defaults and both Open-With lists, closing rule; the text of the error dump.
std::wstring DumpExtension(const CFileExtension& extension);
