#include <gtest/gtest.h>

#include "assoc/AssocReader.h"
#include "tests/assoc/AssocTestUtil.h"
#include "tests/fixtures/AssocFixture.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

using namespace kvfixture;

namespace {

// Reads every planted extension and compares what the reader finds with what was planted.
void ExpectReaderAgrees(const CAssocFixture& fixture, const kvtest::RegistrySandbox& sandbox, bool legacy,
                        size_t* withProblems = nullptr) {
    AssocPlatform platform = kvtest::PlainPlatform();
    platform.bLegacyShell = legacy ? 1 : 0;
    CFileExtRegUtil util(sandbox.Roots(), platform);
    size_t problems = 0;
    for (const auto& [name, expected] : fixture.Expectations()) {
        CFileExtension record(name);
        util.ReadExtension(record);
        EXPECT_EQ(record.GetProblems(), expected.problems) << win::WideToUtf8(name) << "\n"
                                                           << win::WideToUtf8(DumpExtension(record));
        EXPECT_EQ(!record.GetCurrentProgID().empty(), expected.hasCurrentType) << win::WideToUtf8(name);
        if (expected.problems) ++problems;
    }
    if (withProblems) *withProblems = problems;
}

}  // namespace

TEST(AssocFixture, EveryCommandFormGivesThePlantedVerdict) {
    kvtest::TempFolder folder;
    kvtest::RegistrySandbox sandbox;
    CAssocFixture fixture({folder.Path()});
    for (int form = 0; form <= static_cast<int>(CommandForm::BareNameWithArg); ++form) {
        auto f = static_cast<CommandForm>(form);
        std::wstring progId = std::wstring(L"form.") + FormName(f);
        fixture.AddSimpleProgId(progId, f);
        ExtensionPlan ext;
        ext.name = L".f" + std::to_wstring(form);
        ext.classesDefault = progId;
        fixture.AddExtension(ext);
    }
    ASSERT_TRUE(fixture.CreateProgramFiles());
    ASSERT_TRUE(fixture.WriteRegistry(sandbox.Roots()));
    ScopedFixtureEnvironment environment(fixture);
    size_t broken = 0;
    ExpectReaderAgrees(fixture, sandbox, false, &broken);
    EXPECT_EQ(broken, 5u);  // the five broken forms
}

TEST(AssocFixture, HandBuiltShapesGiveThePlantedVerdict) {
    kvtest::TempFolder folder;
    kvtest::RegistrySandbox sandbox;
    CAssocFixture fixture({folder.Path()});
    fixture.AddSimpleProgId(L"sound", CommandForm::QuotedPathQuotedArg)
        .AddSimpleProgId(L"broken", CommandForm::MissingQuotedPath)
        .AddProgId({L"redirect.sound", ProgIdShape::ClassRedirect, L"", {}, L"sound"})
        .AddProgId({L"redirect.broken", ProgIdShape::ClassRedirect, L"", {}, L"broken"})
        .AddProgId({L"module.sound", ProgIdShape::ClassModule, L"", {}, L"", true})
        .AddProgId({L"module.gone", ProgIdShape::ClassModule, L"", {}, L"", false})
        .AddProgId({L"cycle1", ProgIdShape::ClassCycle, L"", {}, L"", true, 1})
        .AddProgId({L"cycle5", ProgIdShape::ClassCycle, L"", {}, L"", true, 5})
        .AddProgId({L"noopen", ProgIdShape::NoOpen})
        .AddProgId({L"plain", ProgIdShape::NoShellKey})
        .AddProgId({L"emptyshell", ProgIdShape::EmptyShellKey})
        .AddProgId({L"missing", ProgIdShape::Missing})
        .AddProgId({L"fallback", ProgIdShape::Verbs, L"nosuchverb",
                    {{L"Print", L"", CommandForm::MissingBareProgram}, {L"Edit", L"&Edit", CommandForm::ExeRetry}}})
        .AddApplication({L"good.exe", CommandForm::SystemFolderProgram})
        .AddApplication({L"bad.exe", CommandForm::BareNameWithArg});
    int n = 0;
    for (const wchar_t* progId : {L"sound", L"broken", L"redirect.sound", L"redirect.broken", L"module.sound",
                                  L"module.gone", L"cycle1", L"cycle5", L"noopen", L"plain", L"emptyshell",
                                  L"missing", L"fallback"}) {
        ExtensionPlan ext;
        ext.name = L".h" + std::to_wstring(n++);
        ext.classesDefault = progId;
        fixture.AddExtension(ext);
    }
    ExtensionPlan mixed;
    mixed.name = L".mixed";
    mixed.classesDefault = L"kv.nokey";
    mixed.progIdUnderExtension = true;
    mixed.classesOpenWith = {L"sound", L"cycle5"};
    mixed.userChoice = UserChoiceKind::Application;
    mixed.userChoiceValue = L"bad.exe";
    mixed.userOpenWith = {L"missing"};
    fixture.AddExtension(mixed);
    ExtensionPlan app;
    app.name = L".app";
    app.userChoice = UserChoiceKind::Application;
    app.userChoiceValue = L"good.exe";
    fixture.AddExtension(app);
    ExtensionPlan empty;
    empty.name = L".empty";
    empty.classesDefault = L"sound";
    empty.userChoice = UserChoiceKind::EmptyProgId;
    fixture.AddExtension(empty);

    EXPECT_EQ(fixture.PlantedProblems(),
              (std::map<std::wstring, UINT>{{L".h1", 1}, {L".h3", 1}, {L".h5", 1}, {L".h6", 1}, {L".h7", 1},
                                            {L".h11", 1}, {L".mixed", 4 | 2 | 8}, {L".empty", 2}}));
    ASSERT_TRUE(fixture.CreateProgramFiles());
    ASSERT_TRUE(fixture.WriteRegistry(sandbox.Roots()));
    ScopedFixtureEnvironment environment(fixture);
    ExpectReaderAgrees(fixture, sandbox, false);
}

TEST(AssocFixture, RandomRegistriesReadAsPlanted) {
    for (uint32_t seed : {1u, 2u, 3u, 17u, 2024u}) {
        kvtest::TempFolder folder;
        kvtest::RegistrySandbox sandbox;
        FixtureOptions options{folder.Path()};
        options.legacyShell = seed == 3u;
        CAssocFixture fixture(options);
        fixture.GenerateRandom({seed, 120, 0.25, 3});
        ASSERT_TRUE(fixture.CreateProgramFiles());
        ASSERT_TRUE(fixture.WriteRegistry(sandbox.Roots()));
        ScopedFixtureEnvironment environment(fixture);
        size_t withProblems = 0;
        ExpectReaderAgrees(fixture, sandbox, options.legacyShell, &withProblems);
        // Both verdicts must be represented for the comparison to mean anything.
        EXPECT_GT(withProblems, 10u) << seed;
        EXPECT_LT(withProblems, 110u) << seed;
    }
}

TEST(AssocFixture, SameSeedSameRegistry) {
    auto text = [](uint32_t seed) {
        CAssocFixture fixture({L"C:\\kvfx"});
        fixture.GenerateRandom({seed, 60, 0.2, 3});
        return fixture.RegFileText();
    };
    EXPECT_EQ(text(9), text(9));
    EXPECT_NE(text(9), text(10));
}

TEST(AssocFixture, RegFileTextEscapesAndEncodes) {
    CAssocFixture fixture({L"C:\\kv \"fx\""});
    fixture.AddSimpleProgId(L"t", CommandForm::SystemRootProgram);
    fixture.AddExtension({L".t", L"t"});
    std::wstring text = fixture.RegFileText(L"HKEY_CURRENT_USER\\Software\\Classes");
    EXPECT_EQ(text.rfind(L"Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\Software\\Classes\\t\\shell\\open\\command]\r\n@=hex(2):25,00,53,00"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\kvapptool.exe]"
                        L"\r\n@=\"C:\\\\kv \\\"fx\\\"\\\\apps\\\\kvapptool.exe\"\r\n"),
              std::wstring::npos);
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\Software\\Classes\\.t]\r\n@=\"t\"\r\n"), std::wstring::npos);
}
