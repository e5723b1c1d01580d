// The information-service address and the headless report.
#include <gtest/gtest.h>

#include "engine/Md5.h"
#include "engine/Report.h"
#include "engine/ScanEngine.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/GoodAndBadWorld.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

namespace kvtest {
namespace {

TEST(Md5Test, KnownDigests) {
    // RFC 1321, appendix A.5.
    EXPECT_EQ(Md5Hex(""), L"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), L"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), L"f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(LookupUrlTest, KeyIsTheDigestOfTheLowerCasedNameAndTheSalt) {
    // Digests computed independently of this program (Python's hashlib over name + salt).
    struct Case {
        const wchar_t* record;
        const wchar_t* ext;
        const wchar_t* key;
    } cases[] = {
        {L".ZIP", L"ZIP", L"cebf2213f3b39084642eb517457f9a5d"},
        {L"zip", L"zip", L"cebf2213f3b39084642eb517457f9a5d"},
        {L".pdf", L"pdf", L"d4534d3e383ee36312da814577b7922a"},
        {L".tar.gz", L"tar.gz", L"352460f35d6937aa7b1a7c728e511461"},
        {L".", L"", L"8721c45784ceb4ba603101d29b98752d"},
    };
    for (const auto& c : cases) {
        CFileExtension record(c.record);
        EXPECT_EQ(CKVScanEngine::GetLookupURL(&record, 18, L"7", L"1033"),
                  L"http://" + CKVScanEngine::LookupHost() + L"/?ext=" + c.ext + L"&key=" + c.key +
                      L"&pid=18&vid=7&lid=1033")
            << c.record;
    }
}

TEST(LookupUrlTest, NoRecordGivesEmptyAndParametersCannotBeInjected) {
    EXPECT_EQ(CKVScanEngine::GetLookupURL(nullptr, 18, L"7", L"1033"), L"");
    CFileExtension record(L".a&pid=1#x");
    std::wstring url = CKVScanEngine::GetLookupURL(&record, 18, L"v&x=1", L"1033");
    EXPECT_NE(url.find(L"ext=a%26pid%3D1%23x&key="), std::wstring::npos) << url;
    EXPECT_NE(url.find(L"&vid=v%26x%3D1&lid=1033"), std::wstring::npos) << url;
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlantGoodAndBad(w);
        w.ClassesOpenWith(L".bad", L"goodfile");
        w.DatabaseExtension(L"bad", L"document");
        w.DatabaseExtension(L"needed", L"audio", L"", true);
    }
    std::string Run(const std::wstring& name, int expectedExit) {
        const std::wstring path = out.File(name);
        EXPECT_EQ(RunHeadlessReport(path, w.Env()), expectedExit);
        return ReadFileBytes(path);
    }
    EngineWorld w;
    TempFolder out;
};

TEST_F(ReportTest, TextReportGroupsLikeTheResultsPageWithTheChainOfEachProblem) {
    std::string text = Run(L"report.txt", KV_REPORT_PROBLEMS);
    const size_t problems = text.find("Extensions with Problems: 1 item(s)");
    const size_t needed = text.find("Common Extensions Requiring an Application: 1 item(s)");
    const size_t valid = text.find("Valid Extensions: 1 item(s)");
    ASSERT_NE(problems, std::string::npos) << text;
    ASSERT_NE(needed, std::string::npos);
    ASSERT_NE(valid, std::string::npos);
    EXPECT_LT(problems, needed);
    EXPECT_LT(needed, valid);
    EXPECT_NE(text.find(".bad\tdocument\tFix Registry Problem"), std::string::npos);
    EXPECT_NE(text.find("========================================== .bad =========================================="),
              std::string::npos);
    EXPECT_NE(text.find("[FAILED] badfile"), std::string::npos);
    EXPECT_GT(text.find(".needed\taudio\tNew Application Required"), needed);
    EXPECT_GT(text.find(".good\tUnknown\tNo Problems"), valid);
    EXPECT_EQ(text.find(" .good ="), std::string::npos);  // no chain for valid extensions
}

TEST_F(ReportTest, CsvReportHasOneQuotedRowPerExtension) {
    std::string csv = Run(L"REPORT.CSV", KV_REPORT_PROBLEMS);
    EXPECT_EQ(csv.rfind("extension,category,group,problems,status,", 0), 0u);
    EXPECT_NE(csv.find("\".bad\",\"document\",\"problems\",1,\"Fix Registry Problem\",\"badfile\",1,\"\",,"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\".needed\",\"audio\",\"application needed\",16,"), std::string::npos);
    EXPECT_NE(csv.find("\".good\",\"Unknown\",\"valid\",0,\"No Problems\",\"goodfile\",0,"), std::string::npos);
    size_t rows = 0;
    for (size_t pos = 0; (pos = csv.find("\r\n", pos)) != std::string::npos; pos += 2) ++rows;
    EXPECT_EQ(rows, 4u);
}

TEST_F(ReportTest, JsonReportHasCountsAndEveryExaminedExtension) {
    std::string json = Run(L"report.json", KV_REPORT_PROBLEMS);
    EXPECT_NE(json.find("\"counts\": {\"examined\": 3, \"problems\": 1, \"applicationsNeeded\": 1, \"valid\": 1}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"name\": \".bad\", \"category\": \"document\", \"group\": \"problems\", \"problems\": 1,"),
              std::string::npos);
    EXPECT_NE(json.find("\"classesDefault\": {\"progId\": \"badfile\", \"command\": "
                        "\"\\\"C:\\\\kv-nowhere\\\\missing.exe\\\" \\\"%1\\\"\", \"program\": \"\", \"broken\": true}"),
              std::string::npos);
    EXPECT_NE(json.find("\"userChoice\": null, \"classesOpenWith\": [{\"progId\": \"goodfile\""), std::string::npos);
    EXPECT_NE(json.find("{\"name\": \".needed\""), std::string::npos);
    EXPECT_NE(json.find("{\"name\": \".good\""), std::string::npos);
}

TEST_F(ReportTest, ExitCodeIsZeroWithoutProblemsAndTwoWhenTheReportCannotBeWritten) {
    EngineWorld healthy;
    healthy.SoundProgId(L"goodfile");
    healthy.ClassesDefault(L".good", L"goodfile");
    const std::wstring path = out.File(L"healthy.txt");
    EXPECT_EQ(RunHeadlessReport(path, healthy.Env()), KV_REPORT_NO_PROBLEMS);
    EXPECT_NE(ReadFileBytes(path).find("Extensions with Problems: 0 item(s)"), std::string::npos);
    EXPECT_EQ(RunHeadlessReport(L"C:\\kv-nowhere\\folder\\r.txt", healthy.Env()), KV_REPORT_FAILED);
    EXPECT_EQ(RunHeadlessReport(L"", healthy.Env()), KV_REPORT_FAILED);
}

TEST(ReportFormatTest, FormatFollowsTheEnding) {
    EXPECT_EQ(ReportFormatFor(L"C:\\r.csv"), KVReportFormat::Csv);
    EXPECT_EQ(ReportFormatFor(L"r.JSON"), KVReportFormat::Json);
    EXPECT_EQ(ReportFormatFor(L"r.txt"), KVReportFormat::Text);
    EXPECT_EQ(ReportFormatFor(L"csv"), KVReportFormat::Text);
}

}  // namespace
}  // namespace kvtest
