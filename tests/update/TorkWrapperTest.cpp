#include <gtest/gtest.h>

#include <shlobj.h>

#include <thread>

#include "tests/update/TorkTestSupport.h"
#include "update/TorkWrapper.h"
#include "win/Paths.h"
#include "win/Strings.h"

using torktest::CLibraryEnvironment;

namespace {

using Lines = std::vector<std::wstring>;

// Clicks a button of this thread's top-level window with the given title once it shows.
std::thread ClickWhenShown(const wchar_t* title, int buttonId) {
    DWORD threadId = ::GetCurrentThreadId();
    std::wstring wanted = title;
    return std::thread([=] {
        ULONGLONG start = ::GetTickCount64();
        while (::GetTickCount64() - start < 60000) {
            HWND window = torktest::FindThreadWindow(threadId, wanted);
            if (window) {
                ::SendMessageW(::GetDlgItem(window, buttonId), BM_CLICK, 0, 0);
                return;
            }
            ::Sleep(20);
        }
    });
}

TEST(TorkWrapper, MissingLibraryForwardsNothing) {
    CLibraryEnvironment environment(L"noupdates;delay=0");
    for (const std::wstring& path : {std::wstring(L"C:\\no such folder\\Tork3.dll"), std::wstring(L""),
                                     std::wstring(L"NoSuchTork3.dll")}) {
        CTorkWrapper library;
        EXPECT_FALSE(library.Load(path));
        EXPECT_FALSE(library.IsLoaded());
        TKCallbackRecord record{};
        EXPECT_EQ(library.TKCreate(), -1);
        EXPECT_EQ(library.TKDoAllUpdates(&record), -1);
        EXPECT_EQ(library.TKDoAllUpdatesWithUI(), -1);
        EXPECT_EQ(library.TKDoAllUpdatesWithUIEx(1), -1);
        EXPECT_EQ(library.TKShowUpdatesSettingsDialog(nullptr), -1);
        EXPECT_EQ(library.DoAllUpdatesWithLibraryWindow(), -1);
        library.Unload();
        EXPECT_EQ(library.Instance(), nullptr);
    }
    EXPECT_FALSE(RunUpdatesWithLibraryWindow(L"C:\\no such folder\\Tork3.dll"));
    EXPECT_FALSE(ShowUpdateOptions(L"C:\\no such folder\\Tork3.dll", nullptr));
    EXPECT_EQ(environment.CallLog(), Lines{});
}

TEST(TorkWrapper, EveryExportIsResolvedAndForwarded) {
    CLibraryEnvironment environment(L"noupdates;close;delay=0");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    ASSERT_EQ(library.TKCreate(), 0);
    EXPECT_NE(library.Instance(), nullptr);

    EXPECT_EQ(library.TKDoAllUpdatesWithUIEx(0), 0);  // a run without the library's window

    HWND parent = ::CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    std::thread cancel = ClickWhenShown(L"Velmora Update Settings", IDCANCEL);
    EXPECT_EQ(library.TKShowUpdatesSettingsDialog(parent), IDCANCEL);
    cancel.join();

    // The scenario closes the library's window when the run ends.
    EXPECT_EQ(library.TKDoAllUpdatesWithUI(), 0);

    torktest::CCallbackRecorder recorder;
    TKCallbackRecord record = recorder.Record();
    EXPECT_EQ(library.TKDoAllUpdates(&record), 0);
    EXPECT_TRUE(recorder.WaitUntilStopped());
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Instance(), nullptr);
    ::DestroyWindow(parent);

    std::wstring parentText = win::Format(L"%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(parent)));
    EXPECT_EQ(environment.CallLog(), (Lines{L"TKCreate", L"TKDoAllUpdatesWithUIEx instance 0",
                                            L"TKShowUpdatesSettingsDialog instance " + parentText,
                                            L"TKDoAllUpdatesWithUI instance", L"TKDoAllUpdates instance",
                                            L"TKDelete instance"}));
    // After unloading nothing is forwarded.
    EXPECT_EQ(library.TKDoAllUpdatesWithUI(), -1);
}

TEST(TorkWrapper, MainProgramUseCallsWithoutAnInstance) {
    CLibraryEnvironment environment(L"noupdates;close;delay=0");
    EXPECT_TRUE(RunUpdatesWithLibraryWindow(torktest::FullLibrary()));
    std::thread cancel = ClickWhenShown(L"Velmora Update Settings", IDCANCEL);
    EXPECT_TRUE(ShowUpdateOptions(torktest::FullLibrary(), nullptr));
    cancel.join();
    EXPECT_EQ(environment.CallLog(), (Lines{L"TKDoAllUpdatesWithUIEx 0 1", L"TKDelete 0",
                                            L"TKShowUpdatesSettingsDialog 0 0", L"TKDelete 0"}));
}

TEST(TorkWrapper, MissingExportsReturnMinusOneWithoutCalling) {
    CLibraryEnvironment environment(L"noupdates;close;delay=0");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::PartialLibrary()));
    EXPECT_TRUE(library.IsLoaded());
    ASSERT_EQ(library.TKCreate(), 0);
    EXPECT_EQ(library.TKDoAllUpdatesWithUIEx(1), -1);
    EXPECT_EQ(library.TKShowUpdatesSettingsDialog(nullptr), -1);
    // Without the extended export the plain one runs the update.
    EXPECT_EQ(library.DoAllUpdatesWithLibraryWindow(), 0);
    // No TKDelete to call: unloading only frees the module.
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(environment.CallLog(), (Lines{L"TKCreate", L"TKDoAllUpdatesWithUI instance"}));
}

TEST(TorkWrapper, LoadingAgainUnloadsFirst) {
    CLibraryEnvironment environment(L"noupdates;delay=0");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    ASSERT_EQ(library.TKCreate(), 0);
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    EXPECT_EQ(library.Instance(), nullptr);
    EXPECT_FALSE(library.Load(L"C:\\no such folder\\Tork3.dll"));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(environment.CallLog(), (Lines{L"TKCreate", L"TKDelete instance", L"TKDelete 0"}));
}

TEST(TorkWrapper, BareNameMeansBesideTheProgram) {
    CLibraryEnvironment environment(L"noupdates;delay=0");
    // The test program's folder holds the partial variant.
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(L"Tork3_partial.dll"));
    EXPECT_EQ(library.TKCreate(), 0);
    library.Unload();

    // A library in the current folder is not picked up by its bare name.
    kvtest::TempFolder folder;
    ASSERT_TRUE(::CopyFileW(torktest::FullLibrary().c_str(), folder.File(L"PlantedTork3.dll").c_str(), FALSE));
    wchar_t previous[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.Path().c_str()));
    bool loaded = library.Load(L"PlantedTork3.dll");
    library.Unload();
    ::SetCurrentDirectoryW(previous);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(environment.CallLog(), (Lines{L"TKCreate"}));
}

TEST(TorkWrapper, CommonLibraryPathIsUnderCommonProgramFiles) {
    std::wstring path = CTorkWrapper::CommonLibraryPath();
    std::wstring common = win::ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
    ASSERT_FALSE(common.empty());
    EXPECT_TRUE(win::EqualsNoCase(path, common + L"\\Velmora\\Tork3\\Tork3.dll")) << win::WideToUtf8(path);
    EXPECT_TRUE(win::DirectoryExists(common));
}

}  // namespace
