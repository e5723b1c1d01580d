// The extension database generated at build time, read through the manager as the program reads
// the installed copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "store/DBManager.h"
#include "tests/support/TempFolder.h"

namespace {

class ExtensionDatabaseTest : public testing::Test {
protected:
    void SetUp() override {
        // A copy, so that opening never adds the ignore and history files beside the original.
        ASSERT_TRUE(::CopyFileW(KV_EXTENSION_DB, m_folder.File(L"kv_db.db").c_str(), FALSE))
            << "generated database missing: " << ::GetLastError();
        ASSERT_EQ(m_db.Open(m_folder.Path()), 1);
    }
    kvtest::TempFolder m_folder;
    CDBManager m_db;
};

// The category texts the main window has an image for.
const std::set<std::wstring>& CategoriesWithImages() {
    static const std::set<std::wstring> categories = {
        L"3d graphics file type", L"archive file type", L"audio file type", L"backup file type",
        L"binary file type", L"configuration file type", L"data file type", L"database file type",
        L"disk image file type", L"document file type", L"email related file type", L"encrypted file type",
        L"executable file type", L"font file type", L"game file type", L"graphic file type",
        L"image file type", L"internet related file type", L"miscellaneous file type", L"not found",
        L"plugin file type", L"settings file type", L"source code and script files", L"system file type",
        L"temporary files", L"text file type", L"vector graphic file type", L"video file type",
    };
    return categories;
}

}  // namespace

TEST_F(ExtensionDatabaseTest, KnownExtensionsHaveTheirCategoryFileTypeAndMustScanMark) {
    std::vector<std::wstring> mustScan;
    ASSERT_EQ(m_db.GetMustScanExtensions(mustScan), 1);
    const std::set<std::wstring> mustScanSet(mustScan.begin(), mustScan.end());

    struct Case {
        const wchar_t* ext;
        const wchar_t* category;
        const wchar_t* fileType;
        bool mustScan;
    } cases[] = {
        {L".txt", L"text file type", L"txtfile", true},
        {L".htm", L"internet related file type", L"htmlfile", true},
        {L".html", L"internet related file type", L"htmlfile", true},
        {L".pdf", L"document file type", L"", true},
        {L".docx", L"document file type", L"", true},
        {L".jpg", L"image file type", L"jpegfile", true},
        {L".png", L"image file type", L"pngfile", true},
        {L".mp3", L"audio file type", L"WMP11.AssocFile.MP3", true},
        {L".avi", L"video file type", L"WMP11.AssocFile.AVI", true},
        {L".mkv", L"video file type", L"", true},
        {L".zip", L"archive file type", L"CompressedFolder", true},
        {L".7z", L"archive file type", L"", true},
        {L".exe", L"executable file type", L"exefile", true},
        {L".lnk", L"system file type", L"lnkfile", true},
        {L".xml", L"data file type", L"xmlfile", true},
        {L".reg", L"system file type", L"regfile", false},
        {L".ttf", L"font file type", L"ttffile", false},
        {L".otf", L"font file type", L"otffile", false},
        {L".py", L"source code and script files", L"", false},
        {L".cpp", L"source code and script files", L"", false},
        {L".iso", L"disk image file type", L"", false},
        {L".svg", L"vector graphic file type", L"", false},
        {L".eml", L"email related file type", L"", false},
        {L".bak", L"backup file type", L"", false},
        {L".tmp", L"temporary files", L"", false},
        {L".nes", L"game file type", L"", false},
        {L".ini", L"configuration file type", L"inifile", false},
    };
    for (const auto& c : cases) {
        std::wstring category;
        EXPECT_EQ(m_db.GetTypeName(c.ext, category), 1) << c.ext;
        EXPECT_EQ(category, c.category) << c.ext;
        EXPECT_EQ(m_db.GetDefaultFileType(c.ext), c.fileType) << c.ext;
        EXPECT_EQ(mustScanSet.count(c.ext), c.mustScan ? 1u : 0u) << c.ext;
    }
}

TEST_F(ExtensionDatabaseTest, HoldsTheMimeDatabaseExtensionsAndAFewDozenMustScanOnes) {
    std::vector<std::wstring> mustScan;
    ASSERT_EQ(m_db.GetMustScanExtensions(mustScan), 1);
    EXPECT_GE(mustScan.size(), 24u);
    EXPECT_LE(mustScan.size(), 80u);

    CppSQLite3DB raw;
    raw.Open(m_folder.File(L"kv_db.db"));
    CppSQLite3Query count = raw.ExecuteQuery(L"SELECT count(*) FROM extension");
    EXPECT_GT(std::stoi(count.FieldText(0)), 900);
    // Every stored extension is lower case, has no dot and has a category.
    CppSQLite3Query bad = raw.ExecuteQuery(
        L"SELECT e.ext FROM extension e LEFT JOIN type t ON e.type_id=t.id "
        L"WHERE e.ext<>lower(e.ext) OR e.ext LIKE '%.%' OR e.ext='' OR t.name IS NULL");
    EXPECT_TRUE(bad.AtEnd()) << bad.FieldText(0);
}

TEST_F(ExtensionDatabaseTest, EveryCategoryHasAnImage) {
    CppSQLite3DB raw;
    raw.Open(m_folder.File(L"kv_db.db"));
    int categories = 0;
    for (CppSQLite3Query query = raw.ExecuteQuery(L"SELECT name FROM type"); !query.AtEnd(); query.NextRow()) {
        ++categories;
        EXPECT_EQ(CategoriesWithImages().count(query.FieldText(0)), 1u) << query.FieldText(0);
    }
    EXPECT_GT(categories, 20);
}
