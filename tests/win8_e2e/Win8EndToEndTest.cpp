// The repair of a broken per-user choice in a prefix that reports Windows 10 and in one that
// reports Windows 7: the platform fact is detected from the reported version, and the per-user
// association ends at the intended type by the writes each system honours.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "tests/support/TempFolder.h"
#include "win/RegKey.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

const std::wstring kExt = L".kvw8e2e";
const std::wstring kFileExt = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + kExt;
const std::wstring kUserClasses = L"Software\\Classes\\" + kExt;
const std::wstring kGood = L"kvw8e2e.good";
const std::wstring kBad = L"kvw8e2e.bad";
const std::wstring kAbsent = L"<absent>";

std::wstring Value(HKEY root, const std::wstring& key, const wchar_t* name) {
    win::RegKey k;
    if (k.Open(root, key, KEY_READ) != ERROR_SUCCESS) return kAbsent;
    return k.ReadString(name).value_or(kAbsent);
}

void SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    win::RegKey k;
    ASSERT_EQ(k.Create(root, key, KEY_SET_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(k.WriteString(name, value), ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const std::wstring& key) {
    win::RegKey k;
    return k.Open(root, key, KEY_READ) == ERROR_SUCCESS;
}

// The prefix's version for the processes started while it lives; the earlier setting afterwards.
class ScopedWineVersion {
public:
    explicit ScopedWineVersion(const std::wstring& version) {
        win::RegKey key;
        if (key.Create(HKEY_CURRENT_USER, L"Software\\Wine", KEY_READ | KEY_SET_VALUE) != ERROR_SUCCESS) return;
        if (auto old = key.ReadString(L"Version")) m_old = *old;
        m_bHadOld = key.ValueExists(L"Version");
        m_bSet = key.WriteString(L"Version", version) == ERROR_SUCCESS;
    }
    ~ScopedWineVersion() {
        win::RegKey key;
        if (key.Open(HKEY_CURRENT_USER, L"Software\\Wine", KEY_SET_VALUE) != ERROR_SUCCESS) return;
        if (m_bHadOld)
            key.WriteString(L"Version", m_old);
        else
            key.DeleteValue(L"Version");
    }
    bool IsSet() const { return m_bSet; }

private:
    std::wstring m_old;
    bool m_bHadOld = false;
    bool m_bSet = false;
};

// The planted association keys of the prefix, removed before and after each run.
class PlantedKeys {
public:
    PlantedKeys() { Remove(); }
    ~PlantedKeys() { Remove(); }
    static void Remove() {
        win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, kExt);
        win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, kGood);
        win::DeleteKeyRecursive(HKEY_CLASSES_ROOT, kBad);
        win::DeleteKeyRecursive(HKEY_CURRENT_USER, kFileExt);
        win::DeleteKeyRecursive(HKEY_CURRENT_USER, kUserClasses);
    }
};

// Runs the engine in a process of its own and returns its result lines as name -> value.
std::map<std::wstring, std::wstring> RunRepair(const kvtest::TempFolder& folder) {
    std::map<std::wstring, std::wstring> result;
    std::wstring exe = win::Utf8ToWide(KV_WIN8_REPAIR_EXE);
    for (auto& c : exe)
        if (c == L'/') c = L'\\';
    std::wstring commandLine = L"\"" + exe + L"\" \"" + folder.Path() + L"\" " + kExt;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return result;
    win::UniqueKernelHandle process(pi.hProcess);
    win::UniqueKernelHandle thread(pi.hThread);
    if (::WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0) return result;
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    result[L"exit"] = std::to_wstring(code);
    win::UniqueFileHandle file(::CreateFileW(folder.File(L"result.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    if (!file) return result;
    char buffer[4096];
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return result;
    const std::wstring text = win::Utf8ToWide(std::string_view(buffer, read));
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = text.substr(start, end - start);
        const size_t eq = line.find(L'=');
        if (eq != std::wstring::npos) result[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 2;
    }
    return result;
}

struct VersionCase {
    const char* name;
    const wchar_t* wineVersion;
    // What GetVersionExW reports to a program without a compatibility manifest: Windows 10 says
    // 6.2, as Windows 8.1 and later do.
    const wchar_t* reported;
    const wchar_t* protectedChoice;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class Win8EndToEnd : public ::testing::TestWithParam<VersionCase> {};

TEST_P(Win8EndToEnd, BrokenUserChoiceEndsAtTheSoundType) {
    const VersionCase& c = GetParam();
    ScopedWineVersion version(c.wineVersion);
    ASSERT_TRUE(version.IsSet());
    PlantedKeys planted;
    const std::wstring notepad = L"\"C:\\windows\\system32\\notepad.exe\" \"%1\"";
    SetValue(HKEY_CLASSES_ROOT, kGood + L"\\shell\\open\\command", nullptr, notepad);
    SetValue(HKEY_CLASSES_ROOT, kBad + L"\\shell\\open\\command", nullptr, L"\"C:\\kv-nowhere\\missing.exe\" \"%1\"");
    SetValue(HKEY_CLASSES_ROOT, kExt, nullptr, kGood);
    SetValue(HKEY_CURRENT_USER, kFileExt + L"\\UserChoice", L"ProgId", kBad);
    SetValue(HKEY_CURRENT_USER, kFileExt + L"\\UserChoice", L"Hash", L"abc=");
    SetValue(HKEY_CURRENT_USER, kFileExt + L"\\UserChoiceLatest", L"ProgId", kBad);
    kvtest::TempFolder folder;

    auto result = RunRepair(folder);
    ASSERT_EQ(result[L"exit"], L"0");
    EXPECT_EQ(result[L"version"], c.reported);
    EXPECT_EQ(result[L"legacy"], L"0");
    EXPECT_EQ(result[L"protected"], c.protectedChoice);
    EXPECT_EQ(result[L"before"], L"2");  // the broken per-user choice
    EXPECT_EQ(result[L"fixed"], L"1");
    EXPECT_EQ(result[L"after"], L"0");
    EXPECT_EQ(result[L"current"], kGood);

    const bool protectedChoice = std::wstring(c.protectedChoice) == L"1";
    if (protectedChoice) {
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kFileExt + L"\\UserChoice"));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kFileExt + L"\\UserChoiceLatest"));
        EXPECT_EQ(Value(HKEY_CURRENT_USER, kUserClasses, nullptr), kGood);
    } else {
        EXPECT_EQ(Value(HKEY_CURRENT_USER, kFileExt + L"\\UserChoice", L"ProgId"), kGood);
        EXPECT_EQ(Value(HKEY_CURRENT_USER, kFileExt + L"\\UserChoice", L"Hash"), kAbsent);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserClasses));
    }
}

INSTANTIATE_TEST_SUITE_P(Prefix, Win8EndToEnd,
                         ::testing::Values(VersionCase{"Windows10", L"win10", L"6.2", L"1"},
                                           VersionCase{"Windows7", L"win7", L"6.1", L"0"}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

}  // namespace
