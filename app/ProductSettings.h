#pragma once
// Product identities from "settings.xml" beside the program, read once at start-up and only
// read afterwards.
#include <string>

struct ProductSettings {
    std::wstring VENDID;
    std::wstring APPNAME;
    std::wstring APPVER;
    std::wstring EXENAME;
    std::wstring COMPANYNAME;
    std::wstring LANGID;
    std::wstring CPID;
    std::wstring PID;
    std::wstring URLSUPPORT;

    // URLSUPPORT followed by "&cpid=<CPID>&pid=<PID>".
    std::wstring GetSupportUrl() const;
};

// The maker's web site: the support address when "settings.xml" names none.
extern const wchar_t kDefaultSupportUrl[];

// Longest text a setting keeps.
constexpr size_t kMaxSettingLength = 255;

// Parses the settings document. `affiliateId` is the per-user "AffiliateID" (empty counts as "0").
// A file that is missing, empty, unreadable or not well-formed leaves every field empty.
ProductSettings LoadSettingsXml(const std::wstring& settingsFile, const std::wstring& affiliateId);

// The process-wide record.
ProductSettings& GetProductSettings();
