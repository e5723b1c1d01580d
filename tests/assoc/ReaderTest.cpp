#include <gtest/gtest.h>

#include "assoc/AssocReader.h"
#include "tests/assoc/AssocTestUtil.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"

using kvtest::Lower;
using kvtest::RegistrySandbox;

namespace {

const std::wstring kFileExts = KV_FILEEXTS_KEY;

// A sandboxed registry with two real programs and helpers to describe ProgIDs.
class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = folder.WriteFile(L"app.exe", "MZ");
        module = folder.WriteFile(L"server.dll", "MZ");
        missing = folder.File(L"gone\\missing.exe");
    }
    HKEY C() const { return sandbox.Classes(); }
    HKEY U() const { return sandbox.User(); }
    void Set(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
        RegistrySandbox::SetString(root, key, name, value);
    }
    void Verb(const std::wstring& progId, const std::wstring& verb, const std::wstring& command) {
        Set(C(), progId + L"\\shell\\" + verb + L"\\command", L"", command);
    }
    std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\" \"%1\""; }
    void SoundProgId(const std::wstring& progId) { Verb(progId, L"open", Quoted(app)); }
    void BrokenProgId(const std::wstring& progId) { Verb(progId, L"open", Quoted(missing)); }
    CFileExtRegUtil Util(bool legacy = false) {
        AssocPlatform platform = kvtest::PlainPlatform();
        platform.bLegacyShell = legacy ? 1 : 0;
        return CFileExtRegUtil(sandbox.Roots(), platform);
    }
    CFileTypeInfo ReadType(const std::wstring& ext, const std::wstring& progId) {
        CFileTypeInfo type(progId);
        Util().ReadFileType(ext, type);
        return type;
    }

    kvtest::TempFolder folder;
    RegistrySandbox sandbox;
    std::wstring app, module, missing;
};

}  // namespace

TEST_F(ReaderTest, SoundAndBrokenClassesDefaults) {
    Set(C(), L".txt", L"", L"txtfile");
    SoundProgId(L"txtfile");
    Set(C(), L".bad", L"", L"badfile");
    BrokenProgId(L"badfile");
    CFileExtRegUtil util = Util();

    CFileExtension txt(L".txt");
    EXPECT_TRUE(util.ReadExtension(txt));
    EXPECT_EQ(txt.GetProblems(), 0u);
    EXPECT_EQ(txt.GetCurrentProgID(), L"txtfile");
    EXPECT_EQ(txt.m_classesDefault.m_strDefaultVerb, L"open");
    EXPECT_EQ(txt.m_classesDefault.m_strCommand, Quoted(app));
    EXPECT_EQ(txt.m_classesDefault.m_strProgramPath, Lower(app));
    EXPECT_EQ(txt.m_classesDefault.m_strEffectiveProgID, L"txtfile");

    CFileExtension bad(L".bad");
    util.ReadExtension(bad);
    EXPECT_EQ(bad.GetProblems(), static_cast<UINT>(EXT_PROBLEM_CLASSES_DEFAULT));
    EXPECT_TRUE(bad.m_classesDefault.m_bBroken);
    EXPECT_EQ(bad.m_classesDefault.m_strCommand, Quoted(missing));
    EXPECT_EQ(bad.m_classesDefault.m_strProgramPath, L"");
    EXPECT_EQ(bad.GetCurrentProgID(), L"");
}

TEST_F(ReaderTest, TypesWithoutCommandsAreSoundWhileTheirKeyExists) {
    Set(C(), L"nocommand", L"", L"Plain type");
    Set(C(), L"emptyshell\\shell", L"", L"");
    Set(C(), L".under\\underfile", L"", L"");
    struct Case {
        const char* label;
        std::wstring ext, progId;
        bool broken;
    } cases[] = {
        {"key without shell or class", L".a", L"nocommand", false},
        {"shell key without verbs", L".a", L"emptyshell", false},
        {"key only under the extension", L".under", L"underfile", false},
        {"named ProgID without key", L".a", L"nowhere", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadType(c.ext, c.progId).m_bBroken, c.broken ? 1 : 0) << c.label;
}

TEST_F(ReaderTest, ClassRedirectionBothWays) {
    SoundProgId(L"target.sound");
    BrokenProgId(L"target.broken");
    Set(C(), L"viaclass", L"", L"");
    Set(C(), L"viaclass\\CLSID", L"", L"{11111111-0000-0000-0000-000000000001}");
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000001}\\ProgID", L"", L"target.sound");
    Set(C(), L"viabroken\\CLSID", L"", L"{11111111-0000-0000-0000-000000000002}");
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000002}\\ProgID", L"", L"target.broken");
    // The class path itself as the ProgID, redirected by its ProgID key.
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000003}\\ProgID", L"", L"target.sound");
    // Classes with only a server module.
    Set(C(), L"modsound\\CLSID", L"", L"{11111111-0000-0000-0000-000000000004}");
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000004}\\InProcServer32", L"", module);
    Set(C(), L"modgone\\CLSID", L"", L"{11111111-0000-0000-0000-000000000005}");
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000005}\\InProcServer32", L"", folder.File(L"gone.dll"));
    Set(C(), L"modwow\\CLSID", L"", L"{11111111-0000-0000-0000-000000000006}");
    Set(C(), L"Wow6432Node\\CLSID\\{11111111-0000-0000-0000-000000000006}\\InProcServer32", L"", module);
    Set(C(), L"CLSID\\{11111111-0000-0000-0000-000000000007}\\InProcServer32", L"", module);

    struct Case {
        const char* label;
        std::wstring progId;
        bool broken;
        std::wstring effective;
        std::wstring program;
    } cases[] = {
        {"class names a sound ProgID", L"viaclass", false, L"target.sound", Lower(app)},
        {"class names a broken ProgID", L"viabroken", true, L"target.broken", L""},
        {"class path redirected by its ProgID", L"CLSID\\{11111111-0000-0000-0000-000000000003}", false,
         L"target.sound", Lower(app)},
        {"class server module exists", L"modsound", false, L"", Lower(module)},
        {"class server module missing", L"modgone", true, L"", L""},
        {"server module of the 32-bit view", L"modwow", false, L"", Lower(module)},
        {"class path with its own server", L"CLSID\\{11111111-0000-0000-0000-000000000007}", false, L"",
         Lower(module)},
    };
    for (const auto& c : cases) {
        CFileTypeInfo type = ReadType(L".x", c.progId);
        EXPECT_EQ(type.m_bBroken, c.broken ? 1 : 0) << c.label;
        EXPECT_EQ(type.m_strEffectiveProgID, c.effective) << c.label;
        EXPECT_EQ(Lower(type.m_strProgramPath), c.program) << c.label;
    }
}

TEST_F(ReaderTest, RedirectionCyclesEndAndStayBroken) {
    // A ProgID whose class names the same ProgID again.
    Set(C(), L"selfish\\CLSID", L"", L"{22222222-0000-0000-0000-000000000000}");
    Set(C(), L"CLSID\\{22222222-0000-0000-0000-000000000000}\\ProgID", L"", L"SELFISH");
    // Two ProgIDs naming each other, and a long ring.
    Set(C(), L"ping\\CLSID", L"", L"{22222222-0000-0000-0000-000000000001}");
    Set(C(), L"CLSID\\{22222222-0000-0000-0000-000000000001}\\ProgID", L"", L"pong");
    Set(C(), L"pong\\CLSID", L"", L"{22222222-0000-0000-0000-000000000002}");
    Set(C(), L"CLSID\\{22222222-0000-0000-0000-000000000002}\\ProgID", L"", L"ping");
    const int ring = 60;
    for (int i = 0; i < ring; ++i) {
        std::wstring clsid = L"{33333333-0000-0000-0000-" + std::to_wstring(100000000000 + i) + L"}";
        Set(C(), L"ring" + std::to_wstring(i) + L"\\CLSID", L"", clsid);
        Set(C(), L"CLSID\\" + clsid + L"\\ProgID", L"", L"ring" + std::to_wstring((i + 1) % ring));
    }
    CFileExtRegUtil util = Util();
    for (const wchar_t* progId : {L"selfish", L"ping", L"ring0"}) {
        VerbMap verbs;
        std::wstring effective = L"untouched";
        EXPECT_FALSE(util.ReadVerbs(progId, verbs, effective)) << progId;
        EXPECT_EQ(effective, L"untouched") << progId;
        EXPECT_TRUE(ReadType(L".x", progId).m_bBroken) << progId;
    }
}

TEST_F(ReaderTest, DefaultVerbFallsBackToTheFirstVerbByName) {
    Set(C(), L"multi\\shell", L"", L"Preview");
    Verb(L"multi", L"Print", Quoted(missing));
    Verb(L"multi", L"Edit", Quoted(app));
    Set(C(), L"multi\\shell\\Edit", L"", L"&Edit with App");
    Set(C(), L"multi\\shell\\Print", L"", L"@shell32.dll,-31250");
    Verb(L"multi", L"View", L"");
    Set(C(), L"multi\\shell\\View", L"", L"Save && &Close");
    CFileTypeInfo type = ReadType(L".m", L"multi");
    EXPECT_EQ(type.m_strDefaultVerb, L"edit");
    EXPECT_FALSE(type.m_bBroken);
    ASSERT_EQ(type.m_mapVerbs.size(), 3u);
    EXPECT_EQ(type.m_mapVerbs.at(L"view")->GetLabel(), L"Save & &Close");
    const CVerb& edit = *type.m_mapVerbs.at(L"edit");
    const CVerb& print = *type.m_mapVerbs.at(L"print");
    EXPECT_EQ(edit.GetLabel(), L"Edit with App");
    EXPECT_EQ(print.GetLabel(), L"print");
    EXPECT_EQ(print.m_strProgramPath, L"");
    EXPECT_EQ(edit.m_strProgramPath, Lower(app));

    // A named default verb decides even when another verb would resolve.
    Set(C(), L"multi\\shell", L"", L"PRINT");
    EXPECT_TRUE(ReadType(L".m", L"multi").m_bBroken);
}

TEST_F(ReaderTest, NoOpenAtBothLevels) {
    Set(C(), L"quiet", L"NoOpen", L"");
    Verb(L"quiet", L"open", Quoted(missing));
    VerbMap verbs;
    std::wstring effective;
    EXPECT_FALSE(Util().ReadVerbs(L"quiet", verbs, effective));
    CFileTypeInfo type = ReadType(L".q", L"quiet");
    EXPECT_FALSE(type.m_bBroken);
    EXPECT_EQ(type.m_strCommand, L"NoOpen");
    EXPECT_EQ(type.m_strProgramPath, L"NoOpen");

    Set(C(), L".sys", L"", L"brokenfile");
    Set(C(), L".sys", L"NoOpen", L"");
    BrokenProgId(L"brokenfile");
    Set(C(), L".sys\\OpenWithProgIDs", L"brokenfile", L"");
    CFileExtension sys(L".sys");
    Util().ReadExtension(sys);
    EXPECT_TRUE(sys.m_bNoOpen);
    EXPECT_EQ(sys.GetProblems(), 0u);
    EXPECT_EQ(sys.m_classesDefault.m_strProgID, L"");
    EXPECT_TRUE(sys.m_classesOpenWith.empty());
}

TEST_F(ReaderTest, UserChoiceForms) {
    SoundProgId(L"good");
    Set(C(), L".e", L"", L"good");
    // An empty ProgID value is a broken choice; the Application value is then not consulted.
    Set(U(), kFileExts + L"\\.e\\UserChoice", L"ProgID", L"");
    Set(U(), kFileExts + L"\\.e\\UserChoice", L"Application", L"app.exe");
    Verb(L"Applications\\app.exe", L"open", Quoted(app));
    Set(U(), kFileExts + L"\\.a\\UserChoice", L"Application", L"app.exe");
    Set(U(), kFileExts + L"\\.g\\UserChoice", L"ProgId", L"good");
    Set(U(), kFileExts + L"\\.l", L"ProgID", L"good");

    CFileExtension empty(L".e"), application(L".a"), modern(L".g"), legacyOnModern(L".l"), legacy(L".l");
    CFileExtRegUtil util = Util();
    util.ReadExtension(empty);
    util.ReadExtension(application);
    util.ReadExtension(modern);
    util.ReadExtension(legacyOnModern);
    Util(true).ReadExtension(legacy);

    EXPECT_EQ(empty.GetProblems(), static_cast<UINT>(EXT_PROBLEM_USER_CHOICE));
    EXPECT_FALSE(empty.m_userChoice.m_bApplication);
    EXPECT_EQ(empty.GetCurrentProgID(), L"good");

    EXPECT_TRUE(application.m_userChoice.m_bApplication);
    EXPECT_EQ(application.m_userChoice.m_strProgID, L"Applications\\app.exe");
    EXPECT_EQ(application.GetProblems(), 0u);
    EXPECT_EQ(application.GetCurrentProgID(), L"Applications\\app.exe");

    EXPECT_EQ(modern.GetCurrentProgID(), L"good");
    EXPECT_EQ(legacyOnModern.m_userChoice.m_strProgID, L"");
    EXPECT_EQ(legacy.m_userChoice.m_strProgID, L"good");
    EXPECT_EQ(legacy.GetCurrentProgID(), L"good");
}

TEST_F(ReaderTest, OpenWithListsFlagTheirOwnProblems) {
    SoundProgId(L"good");
    BrokenProgId(L"bad");
    Set(C(), L".o\\OpenWithProgIDs", L"good", L"");
    Set(C(), L".o\\OpenWithProgIDs", L"bad", L"");
    Set(U(), kFileExts + L"\\.o\\OpenWithProgIDs", L"nokey.progid", L"");
    Set(U(), kFileExts + L"\\.o\\UserChoice", L"ProgID", L"bad");
    CFileExtension o(L".o");
    Util().ReadExtension(o);
    EXPECT_EQ(o.GetProblems(),
              static_cast<UINT>(EXT_PROBLEM_CLASSES_OPENWITH | EXT_PROBLEM_USER_OPENWITH | EXT_PROBLEM_USER_CHOICE));
    ASSERT_EQ(o.m_classesOpenWith.size(), 2u);
    ASSERT_EQ(o.m_userOpenWith.size(), 1u);
    EXPECT_TRUE(o.m_userOpenWith[0]->m_bBroken);
    EXPECT_EQ(o.GetCurrentProgID(), L"");
    // The classes-root type names the program even without a current type.
    EXPECT_EQ(o.GetProgramName(), L"");
}

TEST_F(ReaderTest, DumpOfBrokenAndSoundTypes) {
    Set(C(), L".d", L"", L"dgood");
    SoundProgId(L"dgood");
    BrokenProgId(L"dbad");
    Set(C(), L".d\\OpenWithProgIDs", L"dbad", L"");
    CFileExtension d(L".d");
    Util().ReadExtension(d);
    const std::wstring side(42, L'=');
    std::wstring expected = side + L" .d " + side + L"\r\n" + L"HKCR DEFAULT:\r\n\t[FOUND] dgood -> \r\n\t\tPRE:  " +
                            Quoted(app) + L"\r\n\t\tPOST: " + Lower(app) + L"\r\n" +
                            L"HKCR OpenWithProgIDs:\r\n\t[FAILED] dbad -> \r\n\t\tPRE:  " + Quoted(missing) +
                            L"\r\n\t\tPOST: \r\n" + L"HKCU DEFAULT:\r\n\t[FOUND]  -> \r\n\t\tPRE:  \r\n\t\tPOST: \r\n" +
                            L"HKCU OpenWithProgIDs:\r\n" + std::wstring(94, L'=') + L"\r\n";
    EXPECT_EQ(DumpExtension(d), expected);
}

TEST_F(ReaderTest, ReadingAgainLeavesNothingStale) {
    Set(C(), L".r", L"", L"first");
    SoundProgId(L"first");
    Verb(L"first", L"edit", Quoted(app));
    CFileExtRegUtil util = Util();
    CFileExtension r(L".r");
    util.ReadExtension(r);
    ASSERT_EQ(r.GetCurrentProgID(), L"first");

    // The program disappears and the default goes away: nothing of the first read may remain.
    RegistrySandbox::SetString(C(), L"first\\shell\\open\\command", L"", Quoted(missing));
    VerbMap verbs;
    std::wstring effective;
    util.ReadVerbs(L"first", verbs, effective);
    verbs.at(L"open")->m_strProgramPath = L"c:\\stale.exe";
    util.ReadVerbs(L"first", verbs, effective);
    EXPECT_EQ(verbs.at(L"open")->m_strProgramPath, L"");

    RegistrySandbox::SetString(C(), L".r", L"", L"");
    r.ClearLists();
    util.ReadExtension(r);
    EXPECT_EQ(r.m_classesDefault.m_strProgID, L"");
    EXPECT_TRUE(r.m_classesDefault.m_mapVerbs.empty());
    EXPECT_TRUE(r.GetCurrentVerbs().empty());
    EXPECT_EQ(r.GetDefaultVerb(), L"");
}

TEST_F(ReaderTest, ApplicationsFromOpenWithListsAndTheGlobalList) {
    kvtest::ScopedEnv noPath(L"PATH", L"");
    Set(C(), L".w", L"", L"wfile");
    SoundProgId(L"wfile");
    std::wstring apps = folder.WriteFile(L"apps\\viewer.exe", "MZ");
    Verb(L"Applications\\editor.exe", L"open", Quoted(app));
    Set(sandbox.Machine(), std::wstring(KV_APP_PATHS_KEY) + L"\\viewer.exe", L"", apps);
    Verb(L"Applications\\ghost.exe", L"open", Quoted(missing));
    const std::wstring list = kFileExts + L"\\.w\\OpenWithList";
    Set(U(), list, L"a", L"editor.exe");
    Set(U(), list, L"b", L"viewer.exe");
    Set(U(), list, L"c", L"ghost.exe");
    Set(U(), list, L"d", L"UPPER.EXE");
    Set(U(), list, L"MRUList", L"abcd");

    CFileExtRegUtil util = Util();
    CFileExtension w(L".w");
    util.ReadExtension(w);
    util.CollectOpenWithApps(w);
    std::vector<std::wstring> names;
    for (const auto& [name, openApp] : w.m_mapApps) names.push_back(name);
    ASSERT_EQ(names.size(), 3u);  // the default type's program, editor.exe, viewer.exe
    EXPECT_EQ(w.m_mapApps.count(L"editor.exe"), 1u);
    EXPECT_EQ(w.m_mapApps.at(L"viewer.exe")->GetCommand(), apps + L" \"%1\"");
    EXPECT_EQ(Lower(w.m_mapApps.at(L"viewer.exe")->GetProgramPath()), Lower(apps));
    EXPECT_EQ(w.m_mapApps.count(L"ghost.exe"), 0u);

    // Without any ProgID there are no Open-With-list applications.
    CFileExtension none(L".none");
    Set(U(), kFileExts + L"\\.none\\OpenWithList", L"a", L"editor.exe");
    util.ReadExtension(none);
    util.CollectOpenWithApps(none);
    EXPECT_TRUE(none.m_mapApps.empty());

    // The global list: registry names containing ".exe", commands through every source.
    Set(C(), L"*\\OpenWithList\\editor.exe", L"", L"");
    Set(C(), L"*\\OpenWithList\\viewer.exe", L"", L"");
    Set(C(), L"*\\OpenWithList\\ghost.exe", L"", L"");
    Set(C(), L"*\\OpenWithList\\notanexe", L"", L"");
    Set(C(), L"Applications\\firstverb.exe\\shell\\view\\command", L"", Quoted(app));
    Set(C(), L"*\\OpenWithList\\FirstVerb.exe", L"", L"");
    Set(sandbox.Machine(), L"SOFTWARE\\Classes\\Applications\\machine.exe\\shell\\open\\command", L"", Quoted(app));
    Set(C(), L"*\\OpenWithList\\machine.exe", L"", L"");
    OpenAppMap all;
    util.LoadApplicationList(all);
    std::vector<std::wstring> allNames;
    for (const auto& [name, openApp] : all) allNames.push_back(name);
    EXPECT_EQ(allNames, (std::vector<std::wstring>{L"FirstVerb.exe", L"editor.exe", L"machine.exe", L"viewer.exe"}));
    EXPECT_EQ(util.ResolveApplicationCommand(L"viewer.exe"), apps + L" \"%1\"");
    EXPECT_EQ(util.ResolveApplicationCommand(L"FirstVerb.exe"), Quoted(app));
    EXPECT_EQ(util.ResolveApplicationCommand(L"unknown.exe"), L"");
}
