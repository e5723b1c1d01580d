// Starting, stopping and destroying monitors while another thread keeps writing to the watched
// keys: nothing crashes or hangs, and no thread or handle is left behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/monitor/MonitorHarness.h"
#include "win/RegKey.h"
#include "win/UniqueHandle.h"

using kvtest::CMonitorSandbox;
using kvtest::CRecordingCallbacks;
using kvtest::PumpFor;

namespace {

std::vector<DWORD> ThreadsOfThisProcess() {
    std::vector<DWORD> ids;
    win::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self) ids.push_back(entry.th32ThreadID);
    return ids;
}

// Open handles of this process, from the system's handle table (SystemExtendedHandleInformation);
// -1 when the system does not tell.
long HandlesOfThisProcess() {
    struct Entry {
        ULONG_PTR object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT backTrace;
        USHORT typeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query) return -1;
    std::vector<BYTE> buffer(1u << 20);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const auto* table = reinterpret_cast<const Table*>(buffer.data());
            const size_t fits = (buffer.size() - offsetof(Table, entries)) / sizeof(Entry);
            long mine = 0;
            for (ULONG_PTR i = 0; i < table->count && i < fits; ++i)
                if (table->entries[i].processId == ::GetCurrentProcessId()) ++mine;
            return mine;
        }
        buffer.resize(buffer.size() * 4);
    }
    return -1;
}

// Writes to both watched places until stopped, with short pauses so comparisons get their turn.
// Failures are ignored: the keys are the sandbox's and the point is the noise.
class CBusyWriter {
public:
    explicit CBusyWriter(const win::RegistryRoots& roots) : m_roots(roots) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CBusyWriter() { Join(); }
    void Join() {
        m_bStop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    unsigned long Writes() const { return m_nWrites; }

private:
    void Run() {
        unsigned long n = 0;
        while (!m_bStop) {
            const std::wstring value = L"busyfile" + std::to_wstring(n % 7);
            win::RegKey classes;
            if (classes.Create(m_roots.classesRoot, L".busy", KEY_SET_VALUE) == ERROR_SUCCESS)
                classes.WriteString(nullptr, value);
            win::RegKey user;
            if (user.Create(m_roots.currentUser, kvtest::kFileExts + L"\\.busy\\UserChoice", KEY_SET_VALUE) ==
                ERROR_SUCCESS)
                user.WriteString(L"ProgId", value);
            m_nWrites = ++n;
            if (n % 20 == 0) ::Sleep(30);
        }
    }

    win::RegistryRoots m_roots;
    std::atomic<bool> m_bStop{false};
    std::atomic<unsigned long> m_nWrites{0};
    std::thread m_thread;
};

TEST(MonitorLifecycle, RepeatedStartStopAndDestroyUnderWritesLeaveNothingBehind) {
    CMonitorSandbox box;
    box.SetClassesDefault(L".txt", L"txtfile");
    CRecordingCallbacks callbacks;
    {
        // The first window and threads of the process allocate lasting system resources, and the
        // first trace starts the test framework's own thread.
        SCOPED_TRACE("warm-up");
        CExtensionMonitor warmUp(box.Roots(), box.Platform());
        ASSERT_EQ(warmUp.Start(&callbacks), 1);
        CBusyWriter writer(box.Roots());
        PumpFor(100);
    }
    const size_t threadsBefore = ThreadsOfThisProcess().size();
    const long handlesBefore = HandlesOfThisProcess();
    ASSERT_GT(threadsBefore, 0u);
    ASSERT_GT(handlesBefore, 0);

    CBusyWriter writer(box.Roots());
    for (int cycle = 0; cycle < 20; ++cycle) {
        SCOPED_TRACE(cycle);
        auto monitor = std::make_unique<CExtensionMonitor>(box.Roots(), box.Platform());
        monitor->SetEnabled(1);
        ASSERT_EQ(monitor->Start(&callbacks), 1);
        PumpFor(static_cast<DWORD>(20 + cycle % 4 * 30));
        switch (cycle % 3) {
        case 0:  // stop, then destroy
            monitor->Stop();
            EXPECT_EQ(monitor->IsRunning(), 0);
            break;
        case 1:  // stop, start again on the same object, stop
            monitor->Stop();
            ASSERT_EQ(monitor->Start(&callbacks), 1);
            PumpFor(20);
            monitor->Stop();
            break;
        default:  // destroy while running
            break;
        }
        monitor.reset();
        // Late posts of the ended watchers reach no window.
        PumpFor(5);
    }
    writer.Join();
    EXPECT_GT(writer.Writes(), 0ul);
    // The comparisons ran and saw the writes.
    EXPECT_FALSE(callbacks.m_calls.empty());

    EXPECT_LE(ThreadsOfThisProcess().size(), threadsBefore);
    // Each cycle takes at least eight handles (two threads, four events, a semaphore, two keys);
    // a few of the system's own may come and go.
    EXPECT_LE(HandlesOfThisProcess(), handlesBefore + 4);
}

TEST(MonitorLifecycle, StopDuringABurstOfNotificationsReturns) {
    CMonitorSandbox box;
    CRecordingCallbacks callbacks;
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        CExtensionMonitor monitor(box.Roots(), box.Platform());
        ASSERT_EQ(monitor.Start(&callbacks), 1);
        CBusyWriter writer(box.Roots());
        while (writer.Writes() < 100) ::Sleep(1);
        // The test thread does not pump: the watchers' posts wait while they are told to stop.
        monitor.Stop();
        EXPECT_EQ(monitor.IsRunning(), 0);
        writer.Join();
        PumpFor(20);
    }
}

}  // namespace
