#pragma once
// One scripted update run: reports rows, statuses and progress through a callback and honours the
// callback's stop request.
#include <windows.h>

#include <string>
#include <vector>

#include "update/TorkApi.h"
#include "update/tork3sim/SimScenario.h"

class CSimRun {
public:
    // `abortEvent` (may be null) ends the run at once and without further reports.
    CSimRun(const TKCallbackRecord& record, const SimScenario& scenario, HANDLE abortEvent);
    // Runs to the end, to a stop request or to an abort. True when it ran to the end.
    bool Execute();
    bool Aborted() const;

private:
    struct Row {
        std::wstring strProduct;
        int nStatus = 0;
        bool bUpdate = false;
        bool bFails = false;
        bool bSkipped = false;
    };

    // Each returns false once the run is to end.
    bool Report(int code, void* data);
    bool ReportRow(int row, const wchar_t* product, int status, int progress);
    bool Pause(DWORD ms);
    bool RunSteps();
    void Finish(int flags);

    TKCallbackRecord m_record;
    SimScenario m_scenario;
    HANDLE m_hAbortEvent;
    bool m_bStopRequested = false;
    int m_nLastDownloading = -1;
    int m_nLastInstalling = -1;
    std::vector<Row> m_rows;
};

// Text of a status code as the update window shows it; empty for codes outside 1 to 11.
const wchar_t* SimStatusText(int status);
