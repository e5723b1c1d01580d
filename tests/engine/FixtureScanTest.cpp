// A full scan over generated registries finds exactly the problems the generator planted.
#include <gtest/gtest.h>

#include "engine/ExtScanner.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/fixtures/AssocFixture.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

namespace kvtest {
namespace {

class FixtureScanTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FixtureScanTest, FullScanFindsThePlantedProblemsAndNoOthers) {
    EngineWorld w;
    TempFolder programs;
    kvfixture::CAssocFixture fixture({programs.Path()});
    fixture.GenerateRandom({GetParam(), 300, 0.25, 3});
    ASSERT_TRUE(fixture.CreateProgramFiles());
    ASSERT_TRUE(fixture.WriteRegistry(w.Env().m_roots));
    kvfixture::ScopedFixtureEnvironment environment(fixture);

    CExtScanner scanner(w.Env());
    EventRecorder events;
    ASSERT_TRUE(ScanAndWait(scanner, L"", &events));
    ASSERT_EQ(events.LastScanCompleted(), 1);

    const auto expectations = fixture.Expectations();
    size_t planted = 0;
    for (const auto& [name, expectation] : expectations) {
        CFileExtension* record = Result(scanner, name);
        ASSERT_NE(record, nullptr) << win::WideToUtf8(name);
        EXPECT_EQ(record->GetProblems(), expectation.problems) << win::WideToUtf8(name);
        if (expectation.problems) ++planted;
    }
    EXPECT_GT(planted, 0u);
    EXPECT_EQ(scanner.m_pResultList->size(), expectations.size());
    EXPECT_EQ(events.Progress().size(), expectations.size());
}

INSTANTIATE_TEST_SUITE_P(Seeds, FixtureScanTest, ::testing::Values(3u, 11u));

}  // namespace
}  // namespace kvtest
