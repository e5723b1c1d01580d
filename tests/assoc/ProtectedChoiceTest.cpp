// Systems that protect the per-user choice (Windows 8 and later): where the reader finds the
// per-user choice and the classes default, and the one write of the per-user association there.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/assoc/AssocTestUtil.h"
#include "tests/fixtures/DeniedKey.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"
#include "win/RegKey.h"

using kvtest::RegistrySandbox;

namespace {

const std::wstring kFileExts = KV_FILEEXTS_KEY;
const std::wstring kAbsent = L"<absent>";

std::wstring Choice(const std::wstring& ext) { return kFileExts + L"\\" + ext + L"\\UserChoice"; }
std::wstring Latest(const std::wstring& ext) { return kFileExts + L"\\" + ext + L"\\UserChoiceLatest"; }
std::wstring UserClasses(const std::wstring& ext) { return L"Software\\Classes\\" + ext; }

class ProtectedChoiceTest : public ::testing::Test {
public:  // the case table plants through these
    void SetUp() override { app = folder.WriteFile(L"app.exe", "MZ"); }
    HKEY C() const { return sandbox->Classes(); }
    HKEY U() const { return sandbox->User(); }
    // A new, empty registry for the next case of a table.
    void Fresh() { sandbox = std::make_unique<RegistrySandbox>(); }
    void Set(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value) {
        RegistrySandbox::SetString(root, key, name, value);
    }
    void SoundProgId(const std::wstring& progId) {
        Set(C(), progId + L"\\shell\\open\\command", L"", L"\"" + app + L"\" \"%1\"");
    }
    CFileExtRegUtil Util(bool protectedChoice) {
        AssocPlatform platform = kvtest::PlainPlatform();
        platform.bProtectedUserChoice = protectedChoice ? 1 : 0;
        return CFileExtRegUtil(sandbox->Roots(), platform);
    }
    std::unique_ptr<CFileExtension> Read(bool protectedChoice, const std::wstring& ext) {
        auto record = std::make_unique<CFileExtension>(ext);
        Util(protectedChoice).ReadExtension(*record);
        return record;
    }

    kvtest::TempFolder folder;
    std::unique_ptr<RegistrySandbox> sandbox = std::make_unique<RegistrySandbox>();
    std::wstring app;
};

// The same registry read with the fact off and on.
TEST_F(ProtectedChoiceTest, ReaderTakesTheNewestChoiceAndThePerUserClassesOnlyWhenProtected) {
    struct Case {
        const char* label;
        void (*plant)(ProtectedChoiceTest&);
        const wchar_t* choiceOff;
        const wchar_t* choiceOn;
        const wchar_t* defaultOff;
        const wchar_t* defaultOn;
    };
    const Case cases[] = {
        {"latest choice wins over the older one",
         [](ProtectedChoiceTest& t) {
             t.Set(t.U(), Choice(L".a"), L"ProgId", L"oldtype");
             t.Set(t.U(), Latest(L".a"), L"ProgId", L"newtype");
         },
         L"oldtype", L"newtype", L"", L""},
        {"latest choice in its ProgId subkey",
         [](ProtectedChoiceTest& t) {
             t.Set(t.U(), Choice(L".a"), L"ProgId", L"oldtype");
             t.Set(t.U(), Latest(L".a") + L"\\ProgId", L"ProgId", L"newtype");
         },
         L"oldtype", L"newtype", L"", L""},
        {"latest key without a ProgId leaves the older choice",
         [](ProtectedChoiceTest& t) {
             t.Set(t.U(), Choice(L".a"), L"ProgId", L"oldtype");
             t.Set(t.U(), Latest(L".a"), L"ProgId", L"");
             t.Set(t.U(), Latest(L".a"), L"Hash", L"abc=");
         },
         L"oldtype", L"oldtype", L"", L""},
        {"per-user classes default comes before the classes root",
         [](ProtectedChoiceTest& t) {
             t.Set(t.C(), L".a", L"", L"machinetype");
             t.Set(t.U(), UserClasses(L".a"), L"", L"usertype");
         },
         L"", L"", L"machinetype", L"usertype"},
        {"empty per-user classes default leaves the classes root",
         [](ProtectedChoiceTest& t) {
             t.Set(t.C(), L".a", L"", L"machinetype");
             t.Set(t.U(), UserClasses(L".a"), L"", L"");
         },
         L"", L"", L"machinetype", L"machinetype"},
        {"per-user classes default of an extension without a classes-root key",
         [](ProtectedChoiceTest& t) { t.Set(t.U(), UserClasses(L".a"), L"", L"usertype"); },
         L"", L"", L"", L"usertype"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        for (const wchar_t* id : {L"oldtype", L"newtype", L"machinetype", L"usertype"}) SoundProgId(id);
        c.plant(*this);
        auto off = Read(false, L".a");
        auto on = Read(true, L".a");
        EXPECT_EQ(off->m_userChoice.m_strProgID, c.choiceOff);
        EXPECT_EQ(on->m_userChoice.m_strProgID, c.choiceOn);
        EXPECT_EQ(off->m_classesDefault.m_strProgID, c.defaultOff);
        EXPECT_EQ(on->m_classesDefault.m_strProgID, c.defaultOn);
        EXPECT_EQ(on->GetProblems(), 0u);
    }
}

TEST_F(ProtectedChoiceTest, BrokenPerUserClassesDefaultIsAClassesDefaultProblem) {
    SoundProgId(L"machinetype");
    Set(C(), L".a", L"", L"machinetype");
    Set(U(), UserClasses(L".a"), L"", L"gonetype");
    EXPECT_EQ(Read(false, L".a")->GetProblems(), 0u);
    EXPECT_EQ(Read(true, L".a")->GetProblems(), static_cast<UINT>(EXT_PROBLEM_CLASSES_DEFAULT));
}

TEST_F(ProtectedChoiceTest, PointingRemovesBothChoiceKeysAndWritesThePerUserClassesDefault) {
    Set(U(), Choice(L".a"), L"ProgId", L"oldtype");
    Set(U(), Choice(L".a"), L"Hash", L"abc=");
    Set(U(), Latest(L".a") + L"\\ProgId", L"ProgId", L"oldtype");
    Set(U(), kFileExts + L"\\.a\\OpenWithProgids", L"newtype", L"");
    SoundProgId(L"newtype");
    ASSERT_TRUE(Util(true).PointUserClassesDefault(L".a", L"newtype"));
    EXPECT_FALSE(RegistrySandbox::KeyExists(U(), Choice(L".a")));
    EXPECT_FALSE(RegistrySandbox::KeyExists(U(), Latest(L".a")));
    EXPECT_EQ(RegistrySandbox::GetString(U(), kFileExts + L"\\.a\\OpenWithProgids", L"newtype"), L"");
    EXPECT_EQ(RegistrySandbox::GetString(U(), UserClasses(L".a"), L""), L"newtype");
    auto record = Read(true, L".a");
    EXPECT_EQ(record->GetCurrentProgID(), L"newtype");
    EXPECT_EQ(record->GetProblems(), 0u);
}

TEST_F(ProtectedChoiceTest, DeniedRemovalFailsAndWritesNothing) {
    for (bool latest : {false, true}) {
        SCOPED_TRACE(latest ? "UserChoiceLatest" : "UserChoice");
        const std::wstring locked = latest ? Latest(L".a") : Choice(L".a");
        Set(U(), locked, L"ProgId", L"oldtype");
        {
            kvtest::CRemovalDeniedKey guard(U(), locked);
            ASSERT_TRUE(guard.IsLocked());
            CFileExtRegUtil util = Util(true);
            EXPECT_FALSE(util.RemoveUserChoiceKeys(L".a"));
            EXPECT_FALSE(util.PointUserClassesDefault(L".a", L"newtype"));
            EXPECT_TRUE(RegistrySandbox::KeyExists(U(), locked));
            EXPECT_EQ(RegistrySandbox::GetString(U(), locked, L"ProgId"), L"oldtype");
            EXPECT_FALSE(RegistrySandbox::KeyExists(U(), UserClasses(L".a")));
        }
        win::DeleteKeyRecursive(U(), locked);
    }
}

TEST_F(ProtectedChoiceTest, RefusesUnsafeNamesAndEmptyTypes) {
    CFileExtRegUtil util = Util(true);
    EXPECT_FALSE(util.PointUserClassesDefault(L"", L"newtype"));
    EXPECT_FALSE(util.PointUserClassesDefault(L".a\\..\\b", L"newtype"));
    EXPECT_FALSE(util.PointUserClassesDefault(L".a", L""));
    EXPECT_FALSE(RegistrySandbox::KeyExists(U(), L"Software\\Classes"));
}

TEST_F(ProtectedChoiceTest, UserClassesExtensionsAreEnumeratedLowerCased) {
    Set(U(), UserClasses(L".PDF"), L"", L"x");
    Set(U(), L"Software\\Classes\\CLSID", L"", L"x");
    Set(U(), UserClasses(L".txt"), L"", L"x");
    std::vector<std::wstring> names;
    Util(true).EnumUserClassesExtensionKeys(names);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".pdf", L".txt"}));
}

}  // namespace
