#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "noapp/NoApp.h"
#include "noapp/res/resource.h"
#include "tests/noapp/DialogDriver.h"
#include "tests/support/RegistrySandbox.h"
#include "win/RegKey.h"
#include "win/Strings.h"
#include "win/UniqueHandle.h"

using kvtest::RegistrySandbox;
using noapptest::DialogAction;

namespace {

const wchar_t kProfileKey[] = L"Software\\Velmora\\Kavendor";

struct LaunchCall {
    std::wstring kind;  // "open" (the main program) or "run" (the Open With dialog)
    std::wstring file;
    std::wstring parameters;
    bool operator==(const LaunchCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const LaunchCall& call) {
    return out << win::WideToUtf8(call.kind + L" [" + call.file + L"] [" + call.parameters + L"]");
}

class CRecordingLauncher : public INoAppLauncher {
public:
    bool Open(const std::wstring& file, const std::wstring& parameters) override {
        m_calls.push_back({L"open", file, parameters});
        return true;
    }
    bool Run(const std::wstring& file, const std::wstring& parameters) override {
        m_calls.push_back({L"run", file, parameters});
        return true;
    }
    std::vector<LaunchCall> m_calls;
};

struct HandlerRun {
    bool dialogSeen = false;
    bool dialogClosed = false;
    std::wstring shownName;
    bool kavendorChecked = false;
    bool windowsChecked = false;
    bool hasIcon = false;
    std::vector<LaunchCall> calls;
};

// Runs the handler in this thread, as its process would, with the dialog played by a helper thread.
HandlerRun RunHandler(const RegistrySandbox& sandbox, const std::wstring& commandLine, DialogAction action) {
    HandlerRun run;
    CRecordingLauncher launcher;
    CNoApp app;
    app.SetProfileRoot(sandbox.User());
    app.SetLauncher(&launcher);

    const DWORD threadId = ::GetCurrentThreadId();
    std::atomic<bool> finished{false};
    std::thread driver([&] {
        HWND dialog = nullptr;
        while (!finished && !dialog) {
            dialog = noapptest::FindHandlerDialog(0, threadId);
            if (!dialog) ::Sleep(20);
        }
        if (!dialog) return;
        run.dialogSeen = true;
        run.shownName = noapptest::ControlText(dialog, IDC_FILENAME);
        run.kavendorChecked = ::SendMessageW(::GetDlgItem(dialog, IDC_USE_KAVENDOR), BM_GETCHECK, 0, 0) == BST_CHECKED;
        run.windowsChecked = ::SendMessageW(::GetDlgItem(dialog, IDC_USE_WINDOWS), BM_GETCHECK, 0, 0) == BST_CHECKED;
        run.hasIcon = ::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0 &&
                      ::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
        noapptest::PlayAction(dialog, action);
        run.dialogClosed = noapptest::WaitFor([&] { return finished.load(); }, 10000);
        // A dialog the action did not close is ended so that the test can report it.
        if (!run.dialogClosed) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    app.Main(::GetModuleHandleW(nullptr), commandLine.c_str(), SW_SHOWNORMAL);
    finished = true;
    driver.join();
    run.calls = launcher.m_calls;
    return run;
}

struct RunCase {
    const char* label;
    std::wstring commandLine;
    std::optional<std::wstring> installPath;
    DialogAction action;
    bool dialog;
    std::wstring shownName;
    std::vector<LaunchCall> calls;
};

TEST(NoAppDialog, StartsWhatTheUserChose) {
    const std::wstring mainProgram = L"C:\\Program Files\\Kavendor\\Kavendor.exe";
    const std::wstring openWith = CNoApp::OpenWithProgram();
    const std::wstring file = L"C:\\my docs\\report 1.abc";
    const std::wstring openWithFile = L"shell32.dll,OpenAs_RunDLL " + file;
    std::vector<RunCase> cases = {
        {"first choice", file, mainProgram, DialogAction::ChooseKavendor, true, L"report 1.abc",
         {{L"open", mainProgram, file}}},
        {"second choice", file, mainProgram, DialogAction::ChooseWindows, true, L"report 1.abc",
         {{L"run", openWith, openWithFile}}},
        {"cancel", file, mainProgram, DialogAction::Cancel, true, L"report 1.abc", {}},
        {"close box", file, mainProgram, DialogAction::CloseBox, true, L"report 1.abc", {}},
        {"no InstallPath", file, std::nullopt, DialogAction::ChooseKavendor, true, L"report 1.abc", {}},
        {"empty InstallPath", file, L"", DialogAction::ChooseKavendor, true, L"report 1.abc", {}},
        {"InstallPath names a document", file, L"C:\\docs\\notes.txt", DialogAction::ChooseKavendor, true,
         L"report 1.abc", {}},
        {"InstallPath names a folder", file, L"C:\\Program Files\\Kavendor", DialogAction::ChooseKavendor, true,
         L"report 1.abc", {}},
        {"InstallPath in upper case", file, L"C:\\KV\\KAVENDOR.EXE", DialogAction::ChooseKavendor, true,
         L"report 1.abc", {{L"open", L"C:\\KV\\KAVENDOR.EXE", file}}},
        {"no extension", L"C:\\docs\\README", mainProgram, DialogAction::ChooseKavendor, false, L"",
         {{L"run", openWith, L"shell32.dll,OpenAs_RunDLL C:\\docs\\README"}}},
        {"name ending with a dot", L"C:\\docs\\notes.", mainProgram, DialogAction::ChooseKavendor, false, L"",
         {{L"run", openWith, L"shell32.dll,OpenAs_RunDLL C:\\docs\\notes."}}},
        {"empty command line", L"", mainProgram, DialogAction::ChooseKavendor, false, L"", {}},
        {"folder without a file name", L"C:\\docs\\", mainProgram, DialogAction::ChooseKavendor, false, L"", {}},
    };
    for (const auto& c : cases) {
        RegistrySandbox sandbox;
        if (c.installPath) RegistrySandbox::SetString(sandbox.User(), kProfileKey, L"InstallPath", *c.installPath);
        HandlerRun run = RunHandler(sandbox, c.commandLine, c.action);
        EXPECT_EQ(run.dialogSeen, c.dialog) << c.label;
        EXPECT_EQ(run.calls, c.calls) << c.label;
        if (c.dialog) {
            EXPECT_TRUE(run.dialogClosed) << c.label;
            EXPECT_EQ(run.shownName, c.shownName) << c.label;
            EXPECT_TRUE(run.kavendorChecked) << c.label;
            EXPECT_FALSE(run.windowsChecked) << c.label;
            EXPECT_TRUE(run.hasIcon) << c.label;
        }
    }
}

TEST(NoAppDialog, ReadsInstallPathFromTheProgramsProfileKey) {
    RegistrySandbox sandbox;
    // A value elsewhere is not the handler's.
    RegistrySandbox::SetString(sandbox.User(), L"Software\\Velmora", L"InstallPath", L"C:\\wrong.exe");
    RegistrySandbox::SetString(sandbox.User(), L"Software\\Velmora\\Kavendor\\Kavendor", L"InstallPath",
                               L"C:\\wrong2.exe");
    HandlerRun run = RunHandler(sandbox, L"C:\\a.abc", DialogAction::ChooseKavendor);
    EXPECT_TRUE(run.calls.empty());

    win::RegKey key;
    ASSERT_EQ(key.Create(sandbox.User(), kProfileKey, KEY_WRITE), ERROR_SUCCESS);
    // Only a string names the program; other types are not run.
    DWORD number = 5;
    ASSERT_EQ(key.WriteRaw(L"InstallPath", REG_DWORD, &number, sizeof(number)), ERROR_SUCCESS);
    run = RunHandler(sandbox, L"C:\\a.abc", DialogAction::ChooseKavendor);
    EXPECT_TRUE(run.calls.empty());

    ASSERT_EQ(key.WriteString(L"InstallPath", L"C:\\K\\Kavendor.exe"), ERROR_SUCCESS);
    run = RunHandler(sandbox, L"C:\\a.abc", DialogAction::ChooseKavendor);
    EXPECT_EQ(run.calls, (std::vector<LaunchCall>{{L"open", L"C:\\K\\Kavendor.exe", L"C:\\a.abc"}}));
}

// ---- the dialog template as the resource compiler laid it out ----

struct TemplateItem {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring title;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<TemplateItem> items;
};

class CTemplateReader {
public:
    CTemplateReader(const BYTE* data, size_t size) : m_pData(data), m_nSize(size) {}
    template <typename T>
    T Read() {
        T value{};
        if (m_nPos + sizeof(T) <= m_nSize) memcpy(&value, m_pData + m_nPos, sizeof(T));
        m_nPos += sizeof(T);
        return value;
    }
    std::wstring ReadSzOrOrdinal() {
        WORD first = Read<WORD>();
        if (first == 0) return {};
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text(1, static_cast<wchar_t>(first));
        for (WORD c = Read<WORD>(); c != 0 && m_nPos <= m_nSize; c = Read<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { m_nPos = (m_nPos + 3) & ~size_t(3); }
    bool Ok() const { return m_nPos <= m_nSize; }

private:
    const BYTE* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

std::wstring ClassName(const std::wstring& raw) {
    if (raw == L"#128") return L"Button";
    if (raw == L"#129") return L"Edit";
    if (raw == L"#130") return L"Static";
    return raw;
}

DialogTemplate LoadTemplate(UINT id) {
    DialogTemplate result;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (!info) return result;
    auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, info)));
    CTemplateReader reader(data, ::SizeofResource(module, info));
    if (reader.Read<WORD>() != 1 || reader.Read<WORD>() != 0xFFFF) return result;  // DLGTEMPLATEEX only
    reader.Read<DWORD>();  // help id
    reader.Read<DWORD>();  // extended style
    result.style = reader.Read<DWORD>();
    WORD count = reader.Read<WORD>();
    reader.Read<short>();
    reader.Read<short>();
    result.cx = reader.Read<short>();
    result.cy = reader.Read<short>();
    reader.ReadSzOrOrdinal();  // menu
    reader.ReadSzOrOrdinal();  // class
    result.title = reader.ReadSzOrOrdinal();
    if (result.style & DS_SETFONT) {
        result.pointSize = reader.Read<WORD>();
        reader.Read<WORD>();
        reader.Read<BYTE>();
        reader.Read<BYTE>();
        result.font = reader.ReadSzOrOrdinal();
    }
    for (WORD i = 0; i < count && reader.Ok(); ++i) {
        reader.AlignDword();
        TemplateItem item;
        reader.Read<DWORD>();
        reader.Read<DWORD>();
        item.style = reader.Read<DWORD>();
        item.x = reader.Read<short>();
        item.y = reader.Read<short>();
        item.cx = reader.Read<short>();
        item.cy = reader.Read<short>();
        item.id = static_cast<int>(reader.Read<DWORD>());
        item.className = ClassName(reader.ReadSzOrOrdinal());
        item.text = reader.ReadSzOrOrdinal();
        WORD extra = reader.Read<WORD>();
        for (WORD b = 0; b < extra; ++b) reader.Read<BYTE>();
        result.items.push_back(item);
    }
    return result;
}

struct ExpectedItem {
    int id;
    const wchar_t* className;
    std::wstring text;
    short x, y, cx, cy;  // cx and cy < 0: not checked
    DWORD kind;          // the style bits that make the kind of control
    DWORD kindMask;
};

TEST(NoAppDialog, TemplateIsLaidOutAsDesigned) {
    DialogTemplate dialog = LoadTemplate(IDD_NOAPP_DIALOG);
    EXPECT_EQ(dialog.title, L"Kavendor - Manage File Extension");
    EXPECT_EQ(dialog.cx, 296);
    EXPECT_EQ(dialog.cy, 135);
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);

    const DWORD staticKind = SS_TYPEMASK;
    const DWORD buttonKind = BS_TYPEMASK;
    std::vector<ExpectedItem> expected = {
        {IDC_BANNER, L"Static", L"#130", 8, 7, -1, -1, SS_BITMAP | SS_REALSIZEIMAGE, staticKind | SS_REALSIZEIMAGE},
        {-1, L"Static", L"You are trying to open this file:", 51, 7, 190, 8, SS_LEFT, staticKind},
        {-1, L"Static", L"File name:", 51, 30, 34, 8, SS_LEFT, staticKind},
        {IDC_FILENAME, L"Static", L"FileName", 87, 30, 77, 8, SS_LEFT, staticKind},
        {-1, L"Static", L"To open this file, Windows needs to know what program to use.\n\nWhat do you want to do?", 7,
         47, 282, 29, SS_LEFT, staticKind},
        {IDC_USE_KAVENDOR, L"Button", L"Use &Kavendor to manage this type of file", 21, 77, 242, 10,
         BS_AUTORADIOBUTTON | WS_GROUP, buttonKind | WS_GROUP},
        {IDC_USE_WINDOWS, L"Button", L"&Use Windows to manage this type of file", 21, 91, 252, 10,
         BS_AUTORADIOBUTTON, buttonKind | WS_GROUP},
        {-1, L"Static", L"", 8, 110, 282, 1, SS_ETCHEDHORZ, staticKind},
        {IDOK, L"Button", L"OK", 183, 115, 50, 14, BS_DEFPUSHBUTTON, buttonKind},
        {IDCANCEL, L"Button", L"Cancel", 239, 115, 50, 14, BS_PUSHBUTTON, buttonKind},
    };
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& want = expected[i];
        const auto& got = dialog.items[i];
        SCOPED_TRACE(win::WideToUtf8(want.text));
        EXPECT_EQ(static_cast<short>(got.id), static_cast<short>(want.id));
        EXPECT_TRUE(win::EqualsNoCase(got.className, want.className)) << win::WideToUtf8(got.className);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        if (want.cx >= 0) {
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
        }
        EXPECT_EQ(got.style & want.kindMask, want.kind);
    }
}

TEST(NoAppProgramResources, IconBitmapVersionAndManifest) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
    win::UniqueGdiObject bitmap(::LoadImageW(module, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_TRUE(bitmap);
    BITMAP info{};
    ASSERT_NE(::GetObjectW(bitmap.get(), sizeof(info), &info), 0);
    EXPECT_GT(info.bmWidth, 0);

    HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, manifest))),
                     ::SizeofResource(module, manifest));
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
