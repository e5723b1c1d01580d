// Scripted runs of the development update library, driven through the binding as the update
// front-end drives it.
#include <gtest/gtest.h>

#include <thread>

#include "tests/update/TorkTestSupport.h"
#include "update/TorkWrapper.h"
#include "win/RegKey.h"
#include "win/Strings.h"

using torktest::CallbackEvent;
using torktest::CCallbackRecorder;
using torktest::CLibraryEnvironment;

namespace {

using Statuses = std::vector<std::vector<int>>;

struct RunCase {
    const wchar_t* scenario;
    Statuses statuses;
    int finishedFlags;
};

TEST(TorkSimulation, ScriptedRunsReportThroughTheCallback) {
    const std::vector<int> upToDate = {1, 2, 3};
    const std::vector<int> updated = {1, 2, 4, 5, 6, 7, 8};
    std::vector<RunCase> cases = {
        {L"noupdates;delay=0", {upToDate, upToDate, upToDate}, 0},
        {L"update;delay=0", {updated, upToDate, upToDate}, 0},
        {L"failed;delay=0", {{1, 2, 4, 5, 9}, upToDate, {1, 2, 4, 10}}, 0},
        {L"reboot;delay=0", {updated, upToDate, upToDate}, TK_FINISHED_REBOOT},
        {L"update;close;delay=0", {updated, upToDate, upToDate}, TK_FINISHED_CLOSE},
        {L"offline;delay=0", {{1, 2, 11}, {1, 2, 11}, {1, 2, 11}}, 0},
        {L"slow;reboot;close;delay=0", {updated, upToDate, upToDate}, TK_FINISHED_REBOOT | TK_FINISHED_CLOSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(win::WideToUtf8(c.scenario));
        CLibraryEnvironment environment(c.scenario);
        CTorkWrapper library;
        ASSERT_TRUE(library.Load(torktest::FullLibrary()));
        ASSERT_EQ(library.TKCreate(), 0);
        CCallbackRecorder recorder;
        TKCallbackRecord record = recorder.Record();
        ASSERT_EQ(library.TKDoAllUpdates(&record), 0);
        ASSERT_TRUE(recorder.WaitUntilStopped());
        std::vector<CallbackEvent> events = recorder.Events();

        ASSERT_GE(events.size(), 3u);
        // The stop event first, in the caller's thread; then the rows are cleared.
        EXPECT_EQ(events[0].code, TK_CB_STOP_EVENT);
        EXPECT_EQ(events[0].threadId, ::GetCurrentThreadId());
        EXPECT_EQ(events[1].code, TK_CB_DELETE_ROW);
        EXPECT_EQ(events[1].value, TK_ROW_ALL);
        // Completion is the last report.
        EXPECT_EQ(events.back().code, TK_CB_FINISHED);
        EXPECT_EQ(events.back().value, c.finishedFlags);
        EXPECT_EQ(recorder.StatusesByRow(), c.statuses);

        std::vector<std::wstring> products;
        bool indeterminate = false;
        int lastDownload = -1;
        bool downloadRises = true;
        for (const auto& event : events) {
            if (event.code == TK_CB_ROW && event.row == TK_ROW_APPEND) products.push_back(event.product);
            if (event.code == TK_CB_ROW && event.progress == TK_PROGRESS_INDETERMINATE) indeterminate = true;
            if (event.code == TK_CB_ROW && event.row == TK_ROW_LAST_DOWNLOADING && event.progress >= 0) {
                downloadRises = downloadRises && event.progress > lastDownload && event.progress <= 100;
                lastDownload = event.progress;
            }
        }
        EXPECT_EQ(products, (std::vector<std::wstring>{L"Kavendor", L"Velmora Update", L"Velmora Toolbox"}));
        EXPECT_TRUE(indeterminate);
        EXPECT_TRUE(downloadRises);
        if (c.statuses[0].back() == TK_STATUS_COMPLETE) {
            EXPECT_EQ(lastDownload, 100);
        }
        // A second run of the same instance starts afresh.
        CCallbackRecorder again;
        TKCallbackRecord againRecord = again.Record();
        ASSERT_EQ(library.TKDoAllUpdates(&againRecord), 0);
        ASSERT_TRUE(again.WaitUntilStopped());
        EXPECT_EQ(again.StatusesByRow(), c.statuses);
    }
}

TEST(TorkSimulation, ACallbackAnsweringOneStopsTheRun) {
    CLibraryEnvironment environment(L"slow;delay=0");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    ASSERT_EQ(library.TKCreate(), 0);
    CCallbackRecorder recorder;
    recorder.m_pfnStopWhen = [](const CallbackEvent& event) {
        return event.code == TK_CB_ROW && event.row == TK_ROW_LAST_DOWNLOADING && event.progress >= 10;
    };
    TKCallbackRecord record = recorder.Record();
    ASSERT_EQ(library.TKDoAllUpdates(&record), 0);
    ASSERT_TRUE(recorder.WaitUntilStopped());

    std::vector<CallbackEvent> events = recorder.Events();
    size_t stopAt = 0;
    while (stopAt < events.size() && !recorder.m_pfnStopWhen(events[stopAt])) ++stopAt;
    ASSERT_LT(stopAt, events.size());
    // After the request: only the unfinished download marked as skipped, then completion.
    ASSERT_EQ(events.size(), stopAt + 3);
    EXPECT_EQ(events[stopAt + 1].code, TK_CB_ROW);
    EXPECT_EQ(events[stopAt + 1].row, 0);
    EXPECT_EQ(events[stopAt + 1].status, TK_STATUS_SKIPPED);
    EXPECT_EQ(events[stopAt + 2].code, TK_CB_FINISHED);
    EXPECT_EQ(events[stopAt + 2].value, 0);
    EXPECT_EQ(recorder.StatusesByRow(), (Statuses{{1, 2, 4, 5, 10}, {1, 2, 3}, {1, 2, 3}}));
}

TEST(TorkSimulation, OneRunAtATimeAndArgumentsAreChecked) {
    CLibraryEnvironment environment(L"slow;delay=10000");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    // Without an instance there is nothing to run.
    CCallbackRecorder recorder;
    TKCallbackRecord record = recorder.Record();
    EXPECT_NE(library.TKDoAllUpdates(&record), 0);
    ASSERT_EQ(library.TKCreate(), 0);
    EXPECT_NE(library.TKDoAllUpdates(nullptr), 0);
    TKCallbackRecord empty{nullptr, nullptr};
    EXPECT_NE(library.TKDoAllUpdates(&empty), 0);
    EXPECT_TRUE(recorder.Events().empty());

    // The first run waits ten seconds between steps; a second start meanwhile is refused.
    ASSERT_EQ(library.TKDoAllUpdates(&record), 0);
    EXPECT_EQ(library.TKDoAllUpdates(&record), 3);
    // Deleting the instance ends the run without further reports and without waiting for it.
    library.Unload();
    std::vector<CallbackEvent> events = recorder.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].code, TK_CB_STOP_EVENT);
    for (const auto& event : events) EXPECT_NE(event.code, TK_CB_FINISHED);
}

TEST(TorkSimulation, CreateCanBeScriptedToFail) {
    CLibraryEnvironment environment(L"createfails");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    EXPECT_NE(library.TKCreate(), 0);
    EXPECT_EQ(library.Instance(), nullptr);
}

// Plays the settings dialog: picks a scenario, ticks the close box, types a pause, presses OK.
std::thread FillSettings(const wchar_t* scenario) {
    DWORD threadId = ::GetCurrentThreadId();
    std::wstring name = scenario;
    return std::thread([=] {
        ULONGLONG start = ::GetTickCount64();
        while (::GetTickCount64() - start < 60000) {
            HWND dialog = torktest::FindThreadWindow(threadId, L"Velmora Update Settings");
            if (dialog) {
                HWND combo = ::GetDlgItem(dialog, 1010);
                LRESULT index = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(name.c_str()));
                ::SendMessageW(combo, CB_SETCURSEL, index, 0);
                ::SendMessageW(::GetDlgItem(dialog, 1011), BM_CLICK, 0, 0);
                ::SetDlgItemTextW(dialog, 1012, L"0");
                ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
                return;
            }
            ::Sleep(20);
        }
    });
}

TEST(TorkSimulation, SettingsDialogChoosesTheRunThroughTheRegistry) {
    CLibraryEnvironment environment(L"");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    ASSERT_EQ(library.TKCreate(), 0);
    std::thread player = FillSettings(L"reboot");
    EXPECT_EQ(library.TKShowUpdatesSettingsDialog(nullptr), IDOK);
    player.join();
    win::RegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, environment.SettingsKey(), KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(key.ReadString(L"SimScenario").value_or(L"<absent>"), L"reboot;close;delay=0");

    CCallbackRecorder recorder;
    TKCallbackRecord record = recorder.Record();
    ASSERT_EQ(library.TKDoAllUpdates(&record), 0);
    ASSERT_TRUE(recorder.WaitUntilStopped());
    ASSERT_FALSE(recorder.Events().empty());
    EXPECT_EQ(recorder.Events().back().value, TK_FINISHED_REBOOT | TK_FINISHED_CLOSE);

    // The environment, when set, wins over the registry.
    environment.SetScenario(L"offline;delay=0");
    CCallbackRecorder offline;
    TKCallbackRecord offlineRecord = offline.Record();
    ASSERT_EQ(library.TKDoAllUpdates(&offlineRecord), 0);
    ASSERT_TRUE(offline.WaitUntilStopped());
    EXPECT_EQ(offline.StatusesByRow(), (Statuses{{1, 2, 11}, {1, 2, 11}, {1, 2, 11}}));
}

TEST(TorkSimulation, SettingsDataOfAnyShapeIsReadSafely) {
    CLibraryEnvironment environment(L"");
    struct Stored {
        DWORD type;
        std::wstring text;
        int finishedFlags;
    };
    std::vector<Stored> stored = {
        {REG_SZ, L"reboot;delay=99999999999999999999", TK_FINISHED_REBOOT},
        {REG_SZ, std::wstring(100000, L';') + L"close", 0},
        {REG_SZ, L"nonsense;close;delay=0", TK_FINISHED_CLOSE},
        {REG_BINARY, L"reboot;delay=0", 0},
        {REG_MULTI_SZ, L"reboot;delay=0", 0},
    };
    for (const auto& s : stored) {
        win::RegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, environment.SettingsKey(), KEY_WRITE), ERROR_SUCCESS);
        ASSERT_EQ(key.WriteRaw(L"SimScenario", s.type, s.text.c_str(), static_cast<DWORD>(s.text.size() * 2)),
                  ERROR_SUCCESS);
        CTorkWrapper library;
        ASSERT_TRUE(library.Load(torktest::FullLibrary()));
        ASSERT_EQ(library.TKCreate(), 0);
        CCallbackRecorder recorder;
        TKCallbackRecord record = recorder.Record();
        ASSERT_EQ(library.TKDoAllUpdates(&record), 0);
        // A pause that could not be read stays at its default, so this run takes a moment.
        ASSERT_TRUE(recorder.WaitUntilStopped());
        ASSERT_FALSE(recorder.Events().empty());
        EXPECT_EQ(recorder.Events().back().value, s.finishedFlags) << win::WideToUtf8(s.text.substr(0, 40));
    }
}

// Reads the library's window while it runs and closes it once the run has finished.
TEST(TorkSimulation, LibraryWindowShowsTheRunAndClosesOnRequest) {
    CLibraryEnvironment environment(L"failed;delay=0");
    CTorkWrapper library;
    ASSERT_TRUE(library.Load(torktest::FullLibrary()));
    DWORD threadId = ::GetCurrentThreadId();
    std::vector<std::wstring> lines;
    std::thread player([&] {
        ULONGLONG start = ::GetTickCount64();
        while (::GetTickCount64() - start < 60000) {
            HWND window = torktest::FindThreadWindow(threadId, L"Velmora Update");
            wchar_t button[32] = {};
            if (window) ::GetDlgItemTextW(window, IDCANCEL, button, 32);
            if (window && std::wstring(button) == L"Close") {
                HWND list = ::GetDlgItem(window, 1001);
                LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
                for (LRESULT i = 0; i < count; ++i) {
                    wchar_t text[256] = {};
                    if (::SendMessageW(list, LB_GETTEXTLEN, i, 0) < 256)
                        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
                    lines.push_back(text);
                }
                ::SendMessageW(::GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0);
                return;
            }
            ::Sleep(20);
        }
    });
    EXPECT_EQ(library.DoAllUpdatesWithLibraryWindow(), 0);
    player.join();
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"Kavendor: Update Failed", L"Velmora Update: No Updates Found",
                                                L"Velmora Toolbox: Update Skipped"}));
}

}  // namespace
