#include <gtest/gtest.h>

#include "assoc/FileExtension.h"
#include "tests/support/TempFolder.h"

namespace {

std::unique_ptr<CVerb> MakeVerb(const std::wstring& name, const std::wstring& program) {
    auto verb = std::make_unique<CVerb>(name);
    verb->m_strCommand = L"\"" + program + L"\"";
    verb->m_strProgramPath = program;
    return verb;
}

void GiveType(CFileTypeInfo& type, const std::wstring& progId, const std::wstring& program, bool broken) {
    type.m_strProgID = progId;
    type.m_strDefaultVerb = L"open";
    type.m_mapVerbs[L"open"] = MakeVerb(L"open", program);
    type.m_bBroken = broken;
}

}  // namespace

TEST(Records, CurrentTypeFollowsChoiceThenDefault) {
    kvtest::TempFolder folder;
    std::wstring userProgram = folder.WriteFile(L"user.exe", "MZ");
    std::wstring classesProgram = folder.WriteFile(L"classes.exe", "MZ");
    struct Case {
        const char* label;
        bool userNamed, userBroken, classesNamed, classesBroken;
        const wchar_t* current;
        const wchar_t* programOf;  // whose program name GetProgramName gives
    } cases[] = {
        {"sound choice wins", true, false, true, false, L"user.type", L"user"},
        {"broken choice falls back", true, true, true, false, L"classes.type", L"classes"},
        {"broken choice, broken default still names", true, true, true, true, L"", L"classes"},
        {"no choice", false, false, true, false, L"classes.type", L"classes"},
        {"nothing", false, false, false, false, L"", L""},
    };
    for (const auto& c : cases) {
        CFileExtension ext(L".t");
        if (c.userNamed) GiveType(ext.m_userChoice, L"user.type", userProgram, c.userBroken);
        if (c.classesNamed) GiveType(ext.m_classesDefault, L"classes.type", classesProgram, c.classesBroken);
        EXPECT_EQ(ext.GetCurrentProgID(), c.current) << c.label;
        std::wstring expectedName = std::wstring(c.programOf) == L"user"      ? CProgramCache::GetName(userProgram)
                                    : std::wstring(c.programOf) == L"classes" ? CProgramCache::GetName(classesProgram)
                                                                               : L"";
        EXPECT_EQ(ext.GetProgramName(), expectedName) << c.label;
        bool userCurrent = std::wstring(c.current) == L"user.type";
        EXPECT_EQ(&ext.GetCurrentVerbs(), userCurrent ? &ext.m_userChoice.m_mapVerbs : &ext.m_classesDefault.m_mapVerbs)
            << c.label;
    }
    EXPECT_FALSE(CProgramCache::GetName(userProgram).empty());
}

TEST(Records, ProgramCacheAsksTheShellOncePerPath) {
    kvtest::TempFolder folder;
    std::wstring program = folder.WriteFile(L"cached.exe", "MZ");
    std::wstring absent = folder.File(L"absent.exe");
    unsigned long before = CProgramCache::ShellRequests();
    EXPECT_EQ(CProgramCache::GetName(L""), L"");
    EXPECT_EQ(CProgramCache::GetIcon(L""), nullptr);
    EXPECT_EQ(CProgramCache::ShellRequests(), before);
    std::wstring name = CProgramCache::GetName(program);
    HICON icon = CProgramCache::GetIcon(program);
    EXPECT_EQ(name, L"cached.exe");
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(CProgramCache::GetName(absent), L"");
    EXPECT_EQ(CProgramCache::GetIcon(absent), nullptr);
    EXPECT_EQ(CProgramCache::ShellRequests(), before + 2);
    EXPECT_EQ(CProgramCache::GetName(absent), L"");
    EXPECT_EQ(CProgramCache::GetIcon(program), icon);
    EXPECT_EQ(CProgramCache::ShellRequests(), before + 2);
}

TEST(Records, TypeWithoutItsDefaultVerbHasNoProgram) {
    CFileTypeInfo type(L"t");
    type.m_strDefaultVerb = L"open";
    type.m_mapVerbs[L"edit"] = MakeVerb(L"edit", L"c:\\windows\\system32\\notepad.exe");
    EXPECT_EQ(type.GetProgramName(), L"");
    EXPECT_EQ(type.GetProgramIcon(), nullptr);
    EXPECT_EQ(type.DefaultVerb(), nullptr);
}

TEST(Records, DefaultVerbPrefersTheUserChoice) {
    CFileExtension ext(L".v");
    ext.m_classesDefault.m_strDefaultVerb = L"edit";
    EXPECT_EQ(ext.GetDefaultVerb(), L"edit");
    ext.m_userChoice.m_strDefaultVerb = L"play";
    EXPECT_EQ(ext.GetDefaultVerb(), L"play");
}

TEST(Records, DumpTypeLines) {
    CFileTypeInfo sound(L"txtfile");
    sound.m_strTarget = L"target";
    sound.m_strCommand = L"notepad.exe %1";
    sound.m_strProgramPath = L"c:\\windows\\system32\\notepad.exe";
    EXPECT_EQ(DumpType(sound),
              L"[FOUND] txtfile -> target\r\n\t\tPRE:  notepad.exe %1\r\n\t\tPOST: c:\\windows\\system32\\notepad.exe\r\n");
    CFileTypeInfo broken(L"bad");
    broken.m_bBroken = 1;
    EXPECT_EQ(DumpType(broken), L"[FAILED] bad -> \r\n\t\tPRE:  \r\n\t\tPOST: \r\n");
}

TEST(Records, ClearListsKeepsEmbeddedTypesAndFlags) {
    CFileExtension ext(L".c");
    GiveType(ext.m_classesDefault, L"keep", L"c:\\x.exe", false);
    ext.m_userOpenWith.push_back(std::make_unique<CFileTypeInfo>(L"a"));
    ext.m_classesOpenWith.push_back(std::make_unique<CFileTypeInfo>(L"b"));
    ext.m_mapApps.emplace(L"x", std::make_unique<COpenApp>(L"x", L"x.exe", L"c:\\x.exe"));
    ext.m_nProblems = EXT_PROBLEM_USER_OPENWITH;
    ext.ClearLists();
    EXPECT_TRUE(ext.GetUserOpenWithTypes().empty());
    EXPECT_TRUE(ext.GetClassesOpenWithTypes().empty());
    EXPECT_TRUE(ext.GetOpenWithApps().empty());
    EXPECT_EQ(ext.GetClassesDefaultType().GetProgID(), L"keep");
    EXPECT_EQ(ext.GetProblems(), static_cast<UINT>(EXT_PROBLEM_USER_OPENWITH));
    EXPECT_EQ(ext.GetDescription(), L"Unknown");
}
