#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "assoc/AssocReader.h"
#include "tests/assoc/AssocTestUtil.h"
#include "tests/support/RegistrySandbox.h"
#include "tests/support/TempFolder.h"
#include "win/Strings.h"

using kvtest::RegistrySandbox;

namespace {

class Random {
public:
    explicit Random(uint32_t seed) : m_engine(seed) {}
    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(m_engine() % n) : 0; }
    std::vector<BYTE> Bytes(size_t maxBytes) {
        std::vector<BYTE> bytes(Below(static_cast<uint32_t>(maxBytes + 1)));
        for (auto& b : bytes) b = static_cast<BYTE>(m_engine());
        return bytes;
    }

private:
    std::mt19937 m_engine;
};

// Command lines assembled from the pieces the resolver reacts to, plus noise.
std::wstring RandomCommand(Random& random, const std::wstring& folder) {
    const std::wstring pieces[] = {
        L"\"", L"%1", L"%*", L" ", L"rundll32.exe ", L"rundll32 ", L",", L"@", L".exe ", L".dll ", L".bat ",
        L" /", L"/s", L"%systemroot%", L"%SystemRoot%\\system32\\", L"%programfiles%", L"%commonprogramfiles%",
        L"%kvt_dir%", L"%", folder, L"\\app.exe", L"\\mod.dll", L"\\app", L"notepad", L"notepad.exe", L"c:", L"\\",
        L"..", L";", std::wstring(300, L'a'), std::wstring(1, static_cast<wchar_t>(0x263A)), L"\x00e9",
        L"kvnothing.exe", L"-101",
    };
    std::wstring command;
    for (uint32_t n = 1 + random.Below(8); n > 0; --n) command += pieces[random.Below(std::size(pieces))];
    return command;
}

// Any type, any shape: text, text without terminator, odd counts, numbers, multi-strings, noise.
void WriteHostile(Random& random, HKEY root, const std::wstring& key, const std::wstring& name,
                  const std::wstring& plausible) {
    static const DWORD types[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY, REG_QWORD, REG_NONE, 0x1234};
    DWORD type = types[random.Below(std::size(types))];
    std::vector<BYTE> bytes;
    switch (random.Below(4)) {
        case 0: {  // the plausible text, perhaps cut
            const BYTE* begin = reinterpret_cast<const BYTE*>(plausible.c_str());
            bytes.assign(begin, begin + (plausible.size() + 1) * sizeof(wchar_t));
            bytes.resize(bytes.size() - random.Below(3));
            break;
        }
        case 1: bytes = random.Bytes(16); break;
        case 2: bytes = random.Bytes(4096); break;
        default: break;  // empty
    }
    RegistrySandbox::SetRaw(root, key, name, type, bytes.empty() ? nullptr : bytes.data(),
                            static_cast<DWORD>(bytes.size()));
}

void CheckRecord(const CFileExtension& record) {
    const UINT known = EXT_PROBLEM_CLASSES_DEFAULT | EXT_PROBLEM_USER_CHOICE | EXT_PROBLEM_CLASSES_OPENWITH |
                       EXT_PROBLEM_USER_OPENWITH;
    const std::string name = win::WideToUtf8(record.m_strName);
    EXPECT_EQ(record.m_nProblems & ~known, 0u) << name;
    bool defaultBroken = !record.m_classesDefault.m_strProgID.empty() && record.m_classesDefault.m_bBroken;
    EXPECT_EQ((record.m_nProblems & EXT_PROBLEM_CLASSES_DEFAULT) != 0, defaultBroken) << name;
    bool classesOpenWithBroken = false, userOpenWithBroken = false;
    for (const auto& type : record.m_classesOpenWith) classesOpenWithBroken |= type->m_bBroken != 0;
    for (const auto& type : record.m_userOpenWith) userOpenWithBroken |= type->m_bBroken != 0;
    EXPECT_EQ((record.m_nProblems & EXT_PROBLEM_CLASSES_OPENWITH) != 0, classesOpenWithBroken) << name;
    EXPECT_EQ((record.m_nProblems & EXT_PROBLEM_USER_OPENWITH) != 0, userOpenWithBroken) << name;
    if (!record.m_userChoice.m_strProgID.empty() && record.m_userChoice.m_bBroken) {
        EXPECT_TRUE(record.m_nProblems & EXT_PROBLEM_USER_CHOICE) << name;
    }
    const CFileTypeInfo* current = record.CurrentType();
    if (current) {
        EXPECT_FALSE(current->m_bBroken) << name;
        EXPECT_FALSE(record.GetCurrentProgID().empty()) << name;
    }
    for (const CFileTypeInfo* type : {&record.m_userChoice, &record.m_classesDefault}) {
        // A sound type with a command found its program; a verb's program is held in lower case.
        if (!type->m_bBroken && !type->m_strCommand.empty()) {
            EXPECT_FALSE(type->m_strProgramPath.empty()) << name;
        }
        for (const auto& [verbName, verb] : type->m_mapVerbs) {
            EXPECT_EQ(verbName, verb->m_strName) << name;
            EXPECT_EQ(verb->m_strProgramPath, kvtest::Lower(verb->m_strProgramPath)) << name;
            EXPECT_FALSE(verb->GetLabel().empty()) << name;
        }
    }
    EXPECT_FALSE(DumpExtension(record).empty());
}

}  // namespace

TEST(AssocFuzz, GeneratedCommandsStayWithinBounds) {
    kvtest::TempFolder folder;
    folder.WriteFile(L"app.exe", "MZ");
    folder.WriteFile(L"mod.dll", "MZ");
    kvtest::ScopedEnv dir(L"KVT_DIR", folder.Path().c_str());
    RegistrySandbox sandbox;
    AssocPlatform wow = kvtest::PlainPlatform();
    wow.bWow64 = 1;
    CFileExtRegUtil utils[] = {CFileExtRegUtil(sandbox.Roots(), kvtest::PlainPlatform()),
                               CFileExtRegUtil(sandbox.Roots(), wow)};
    // A caching utility must give exactly what the plain one gives, hit or miss.
    CFileExtRegUtil cached(sandbox.Roots(), kvtest::PlainPlatform());
    cached.EnableResolveCache(true);
    Random random(20261211);
    size_t resolved = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::wstring command = RandomCommand(random, folder.Path());
        for (const auto& util : utils) {
            std::wstring text = command;
            bool ok = util.ResolveCommand(text);
            EXPECT_LE(text.size(), std::max<size_t>(command.size(), MAX_PATH) + 4) << win::WideToUtf8(command);
            if (ok) {
                ++resolved;
                EXPECT_TRUE(text == L"%1" || util.FileExists(text)) << win::WideToUtf8(command);
            }
            if (&util == &utils[0]) {
                for (int twice = 0; twice < 2; ++twice) {
                    std::wstring again = command;
                    EXPECT_EQ(cached.ResolveCommand(again), ok) << win::WideToUtf8(command);
                    EXPECT_EQ(again, text) << win::WideToUtf8(command);
                }
            }
        }
    }
    // Both outcomes must occur, or the generator tests nothing.
    EXPECT_GT(resolved, 100u);
    EXPECT_LT(resolved, 7000u);
}

TEST(AssocFuzz, HostileRegistryReadsAsEmptyOrBroken) {
    kvtest::TempFolder folder;
    std::wstring app = folder.WriteFile(L"app.exe", "MZ");
    RegistrySandbox sandbox;
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    Random random(77);
    const std::wstring fileExts = KV_FILEEXTS_KEY;
    const int extensions = 150;
    auto progIdName = [&](uint32_t n) { return L"fz" + std::to_wstring(n); };
    for (uint32_t p = 0; p < 60; ++p) {
        const std::wstring progId = progIdName(p);
        const std::wstring target = progIdName(random.Below(60));
        const std::wstring clsid = L"{F" + std::to_wstring(random.Below(20)) + L"}";
        switch (random.Below(5)) {
            case 0:
                WriteHostile(random, sandbox.Classes(), progId + L"\\shell\\open\\command", L"",
                             L"\"" + app + L"\" \"%1\"");
                WriteHostile(random, sandbox.Classes(), progId + L"\\shell", L"", L"open");
                break;
            case 1:
                WriteHostile(random, sandbox.Classes(), progId + L"\\CLSID", L"", clsid);
                WriteHostile(random, sandbox.Classes(), L"CLSID\\" + clsid + L"\\ProgID", L"", target);
                break;
            case 2:
                WriteHostile(random, sandbox.Classes(), L"CLSID\\" + clsid + L"\\InProcServer32", L"", app);
                WriteHostile(random, sandbox.Classes(), progId + L"\\CLSID", L"", clsid);
                break;
            case 3:
                WriteHostile(random, sandbox.Classes(), progId, L"NoOpen", L"");
                WriteHostile(random, sandbox.Classes(), progId + L"\\shell\\" + std::wstring(200, L'v') + L"\\command",
                             L"", std::wstring(5000, L'x'));
                break;
            default:
                WriteHostile(random, sandbox.Classes(), L"CLSID\\" + clsid + L"\\ProgID", L"",
                             L"CLSID\\" + clsid);
                WriteHostile(random, sandbox.Classes(), progId, L"", L"CLSID\\" + clsid);
                break;
        }
    }
    for (int e = 0; e < extensions; ++e) {
        const std::wstring ext = L".fz" + std::to_wstring(e);
        const std::wstring userKey = fileExts + L"\\" + ext;
        WriteHostile(random, sandbox.Classes(), ext, L"", progIdName(random.Below(70)));
        if (random.Below(4) == 0) WriteHostile(random, sandbox.Classes(), ext, L"NoOpen", L"");
        RegistrySandbox::SetString(sandbox.Classes(), ext + L"\\OpenWithProgIDs", progIdName(random.Below(70)), L"");
        WriteHostile(random, sandbox.User(), userKey + L"\\UserChoice", L"ProgID", progIdName(random.Below(70)));
        WriteHostile(random, sandbox.User(), userKey + L"\\UserChoice", L"Application", L"app.exe");
        RegistrySandbox::SetString(sandbox.User(), userKey + L"\\OpenWithProgIDs", progIdName(random.Below(70)), L"");
        WriteHostile(random, sandbox.User(), userKey + L"\\OpenWithList", L"a", L"app.exe");
    }
    WriteHostile(random, sandbox.Classes(), L"Applications\\app.exe\\shell", L"", L"open");
    RegistrySandbox::SetString(sandbox.Classes(), L"*\\OpenWithList\\app.exe", L"", L"");

    std::vector<std::wstring> names;
    util.EnumExtensionKeys(sandbox.Classes(), names);
    util.EnumExtensionKeys(sandbox.User(), names);
    ASSERT_GE(names.size(), static_cast<size_t>(extensions));
    for (const auto& name : names) {
        CFileExtension record(name);
        util.ReadExtension(record);
        util.CollectOpenWithApps(record);
        CheckRecord(record);
    }
    OpenAppMap all;
    util.LoadApplicationList(all);
    for (const auto& [name, openApp] : all) EXPECT_FALSE(openApp->GetProgramPath().empty());
}

TEST(AssocFuzz, KeysChangingDuringReadsNeverBreakTheReader) {
    kvtest::TempFolder folder;
    std::wstring app = folder.WriteFile(L"app.exe", "MZ");
    RegistrySandbox sandbox;
    for (int i = 0; i < 20; ++i) {
        std::wstring ext = L".ch" + std::to_wstring(i);
        RegistrySandbox::SetString(sandbox.Classes(), ext, L"", L"churn");
        RegistrySandbox::SetString(sandbox.Classes(), ext + L"\\OpenWithProgIDs", L"churn", L"");
    }
    std::atomic<bool> stop{false};
    // Another program rewriting the type's verbs all the time.
    std::thread writer([&] {
        CFileExtRegUtil own(sandbox.Roots(), kvtest::PlainPlatform());
        for (int round = 0; !stop; ++round) {
            for (int v = 0; v < 6; ++v)
                RegistrySandbox::SetString(sandbox.Classes(), L"churn\\shell\\verb" + std::to_wstring(v) + L"\\command",
                                           L"", L"\"" + app + L"\" \"%1\"");
            own.DeleteKeyTree(sandbox.Classes(), L"churn\\shell");
            if (round % 3 == 0) own.DeleteKeyTree(sandbox.Classes(), L"churn");
        }
    });
    CFileExtRegUtil util(sandbox.Roots(), kvtest::PlainPlatform());
    for (int pass = 0; pass < 60; ++pass) {
        for (int i = 0; i < 20; ++i) {
            CFileExtension record(L".ch" + std::to_wstring(i));
            util.ReadExtension(record);
            CheckRecord(record);
        }
    }
    stop = true;
    writer.join();
}
