#include <gtest/gtest.h>

#include "app/ProductSettings.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

namespace {

std::string Utf16(const std::wstring& text, bool bom) {
    std::string bytes = bom ? std::string("\xFF\xFE", 2) : std::string();
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

ProductSettings Load(const kvtest::TempFolder& folder, const std::wstring& xml, bool bom = true,
                     const std::wstring& affiliate = L"0") {
    return LoadSettingsXml(folder.WriteFile(L"settings.xml", Utf16(xml, bom)), affiliate);
}

TEST(SettingsXml, FirstElementInDocumentOrderAtAnyDepth) {
    kvtest::TempFolder folder;
    const std::wstring xml =
        L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
        L"<root><a><b><APPNAME>Nested</APPNAME></b></a><APPNAME>Later</APPNAME>"
        L"<appname>lower</appname><EXENAME>Kavendor.exe</EXENAME><PID/><CPID>7</CPID>"
        L"<VENDID><![CDATA[v<1>]]></VENDID><URLSUPPORT>https://s/?a=1</URLSUPPORT></root>";
    for (bool bom : {true, false}) {
        ProductSettings s = Load(folder, xml, bom, L"42");
        EXPECT_EQ(s.APPNAME, L"Nested");
        EXPECT_EQ(s.EXENAME, L"Kavendor.exe");
        EXPECT_EQ(s.VENDID, L"v<1>");
        EXPECT_EQ(s.PID, L"");
        EXPECT_EQ(s.LANGID, L"");
        EXPECT_EQ(s.URLSUPPORT, L"https://s/?a=1&uid=42");
        EXPECT_EQ(s.GetSupportUrl(), L"https://s/?a=1&uid=42&cpid=7&pid=");
    }
}

TEST(SettingsXml, NamesAreCaseSensitiveAndTextIsCut) {
    kvtest::TempFolder folder;
    std::wstring longText(300, L'z');
    ProductSettings s = Load(folder, L"<r><appname>x</appname><APPVER>" + longText + L"</APPVER></r>", true, L"");
    EXPECT_EQ(s.APPNAME, L"");
    EXPECT_EQ(s.APPVER, longText.substr(0, 255));
    // No URLSUPPORT element: the maker's address, without the affiliate suffix.
    EXPECT_EQ(s.URLSUPPORT, kDefaultSupportUrl);
}

TEST(SettingsXml, FirstOccurrenceWithoutTextLeavesFieldEmpty) {
    kvtest::TempFolder folder;
    ProductSettings s = Load(folder, L"<r><PID></PID><PID>9</PID><URLSUPPORT>u?x</URLSUPPORT></r>", true, L"");
    EXPECT_EQ(s.PID, L"");
    EXPECT_EQ(s.URLSUPPORT, L"u?x&uid=0");
}

TEST(SettingsXml, DoctypeIsAcceptedAndIgnored) {
    kvtest::TempFolder folder;
    ProductSettings s = Load(folder, L"<?xml version=\"1.0\"?><!DOCTYPE settings [<!ELEMENT settings ANY>]>"
                                     L"<settings><APPNAME>Kavendor</APPNAME></settings>");
    EXPECT_EQ(s.APPNAME, L"Kavendor");
}

TEST(SettingsXml, BadFilesGiveAnEmptyRecord) {
    kvtest::TempFolder folder;
    struct Case {
        const char* label;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"malformed", Utf16(L"<r><APPNAME>x</APPNAME><unclosed></r>", true)},
        {"not xml", Utf16(L"just some text", true)},
        {"binary", std::string("\x00\x01\x02\x03\xFF\xFF\x00", 7)},
    };
    for (const auto& c : cases) {
        ProductSettings s = LoadSettingsXml(folder.WriteFile(L"bad.xml", c.bytes), L"0");
        EXPECT_EQ(s.APPNAME, L"") << c.label;
        EXPECT_EQ(s.URLSUPPORT, L"") << c.label;
    }
    ProductSettings missing = LoadSettingsXml(folder.File(L"does-not-exist.xml"), L"0");
    EXPECT_EQ(missing.URLSUPPORT, L"");
    EXPECT_EQ(missing.GetSupportUrl(), L"&cpid=&pid=");
}

TEST(SettingsXml, DeclaredEntitiesAreNeverExpanded) {
    kvtest::TempFolder folder;
    const std::wstring xml =
        L"<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
        L"<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
        L"<r><APPNAME>&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;</APPNAME><EXENAME>k.exe</EXENAME></r>";
    ProductSettings s = Load(folder, xml);
    EXPECT_EQ(s.APPNAME.find(L"aaaa"), std::wstring::npos);
    EXPECT_LE(s.APPNAME.size(), kMaxSettingLength);
}

TEST(SettingsXml, ShippedFileReads) {
    ProductSettings s = LoadSettingsXml(win::Utf8ToWide(KV_SHIPPED_SETTINGS), L"0");
    EXPECT_EQ(s.APPNAME, L"Kavendor");
    EXPECT_EQ(s.EXENAME, L"Kavendor.exe");
    EXPECT_EQ(s.COMPANYNAME, L"Velmora");
}

}  // namespace
