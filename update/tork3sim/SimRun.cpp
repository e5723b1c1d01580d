#include "update/tork3sim/SimRun.h"

namespace {
// The small catalogue every run checks.
const wchar_t* const kProducts[] = {L"Kavendor", L"Velmora Update", L"Velmora Toolbox"};

bool IsFinal(int status) {
    return status == TK_STATUS_NO_UPDATES || status == TK_STATUS_COMPLETE || status == TK_STATUS_FAILED ||
           status == TK_STATUS_SKIPPED || status == TK_STATUS_NO_CONNECTION;
}

void* AsData(int value) { return reinterpret_cast<void*>(static_cast<INT_PTR>(value)); }
}  // namespace

const wchar_t* SimStatusText(int status) {
    static const wchar_t* const kTexts[] = {L"",
                                            L"Waiting to Check for Updates",
                                            L"Checking for Updates",
                                            L"No Updates Found",
                                            L"Update Found, Waiting to Download",
                                            L"Downloading Update",
                                            L"Updated Downloaded, Waiting to Install",
                                            L"Installing Update",
                                            L"Update Complete",
                                            L"Update Failed",
                                            L"Update Skipped",
                                            L"No Internet Connection"};
    return status >= 1 && status <= 11 ? kTexts[status] : L"";
}

CSimRun::CSimRun(const TKCallbackRecord& record, const SimScenario& scenario, HANDLE abortEvent)
    : m_record(record), m_scenario(scenario), m_hAbortEvent(abortEvent) {
    const std::wstring& name = m_scenario.strName;
    for (const wchar_t* product : kProducts) m_rows.push_back({product});
    bool hasUpdate = name == L"update" || name == L"reboot" || name == L"slow" || name == L"failed";
    m_rows[0].bUpdate = hasUpdate;
    m_rows[0].bFails = name == L"failed";
    m_rows[2].bUpdate = name == L"failed";
    m_rows[2].bSkipped = name == L"failed";
}

bool CSimRun::Aborted() const { return m_hAbortEvent && ::WaitForSingleObject(m_hAbortEvent, 0) == WAIT_OBJECT_0; }

bool CSimRun::Report(int code, void* data) {
    if (Aborted()) return false;
    if (m_bStopRequested) return false;
    if (m_record.pfnCallback && m_record.pfnCallback(m_record.hDialog, code, data) == 1) m_bStopRequested = true;
    return !m_bStopRequested && !Aborted();
}

bool CSimRun::ReportRow(int row, const wchar_t* product, int status, int progress) {
    int index = row == TK_ROW_LAST_DOWNLOADING ? m_nLastDownloading
                : row == TK_ROW_LAST_INSTALLING ? m_nLastInstalling
                                                : row;
    if (index >= 0 && index < static_cast<int>(m_rows.size()) && status != TK_STATUS_UNCHANGED) {
        m_rows[index].nStatus = status;
        if (status == TK_STATUS_DOWNLOADING) m_nLastDownloading = index;
        if (status == TK_STATUS_INSTALLING) m_nLastInstalling = index;
    }
    TKRowRecord record{row, product, status, progress};
    return Report(TK_CB_ROW, &record);
}

bool CSimRun::Pause(DWORD ms) {
    if (ms == 0) return !Aborted();
    if (m_hAbortEvent) return ::WaitForSingleObject(m_hAbortEvent, ms) != WAIT_OBJECT_0;
    ::Sleep(ms);
    return true;
}

bool CSimRun::RunSteps() {
    const DWORD delay = m_scenario.nDelayMs;
    if (m_scenario.bMessage && !Report(TK_CB_MESSAGE, const_cast<wchar_t*>(L"Velmora Update is checking your products.")))
        return false;
    if (!Report(TK_CB_DELETE_ROW, AsData(TK_ROW_ALL))) return false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        m_rows[i].nStatus = TK_STATUS_WAITING_TO_CHECK;
        if (!ReportRow(TK_ROW_APPEND, m_rows[i].strProduct.c_str(), TK_STATUS_WAITING_TO_CHECK, 0)) return false;
    }
    if (!Pause(delay)) return false;

    const bool offline = m_scenario.strName == L"offline";
    for (size_t i = 0; i < m_rows.size(); ++i) {
        int row = static_cast<int>(i);
        if (!ReportRow(row, nullptr, TK_STATUS_CHECKING, TK_PROGRESS_INDETERMINATE) || !Pause(delay)) return false;
        int status = offline ? TK_STATUS_NO_CONNECTION : m_rows[i].bUpdate ? TK_STATUS_FOUND : TK_STATUS_NO_UPDATES;
        int progress = status == TK_STATUS_NO_UPDATES ? 100 : 0;
        if (!ReportRow(row, nullptr, status, progress)) return false;
    }

    for (size_t i = 0; i < m_rows.size() && !offline; ++i) {
        const Row& product = m_rows[i];
        int row = static_cast<int>(i);
        if (!product.bUpdate) continue;
        if (product.bSkipped) {
            // An earlier update failed: this one waits for the next run.
            if (!ReportRow(row, nullptr, TK_STATUS_SKIPPED, 0)) return false;
            continue;
        }
        if (!ReportRow(row, nullptr, TK_STATUS_DOWNLOADING, 0)) return false;
        const int steps = m_scenario.strName == L"slow" ? 100 : 10;
        const int failAt = product.bFails ? steps * 4 / 10 : steps + 1;
        bool failed = false;
        for (int step = 1; step <= steps; ++step) {
            if (!Pause(delay)) return false;
            if (step == failAt) {
                failed = true;
                break;
            }
            if (!ReportRow(TK_ROW_LAST_DOWNLOADING, nullptr, TK_STATUS_UNCHANGED, step * 100 / steps)) return false;
        }
        if (failed) {
            if (!ReportRow(TK_ROW_LAST_DOWNLOADING, nullptr, TK_STATUS_FAILED, TK_PROGRESS_UNCHANGED)) return false;
            continue;
        }
        if (!ReportRow(row, nullptr, TK_STATUS_DOWNLOADED, 100) || !Pause(delay)) return false;
        if (!ReportRow(row, nullptr, TK_STATUS_INSTALLING, TK_PROGRESS_INDETERMINATE) || !Pause(delay)) return false;
        if (!ReportRow(TK_ROW_LAST_INSTALLING, nullptr, TK_STATUS_COMPLETE, 100)) return false;
    }
    return true;
}

void CSimRun::Finish(int flags) {
    if (m_record.pfnCallback) m_record.pfnCallback(m_record.hDialog, TK_CB_FINISHED, AsData(flags));
}

bool CSimRun::Execute() {
    bool completed = RunSteps();
    if (Aborted()) return false;  // the caller is going away: nothing more is reported
    if (!completed) {
        // Stopped on request: what was still under way is left for the next run.
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (IsFinal(m_rows[i].nStatus)) continue;
            m_rows[i].nStatus = TK_STATUS_SKIPPED;
            TKRowRecord record{static_cast<int>(i), nullptr, TK_STATUS_SKIPPED, 0};
            if (m_record.pfnCallback) m_record.pfnCallback(m_record.hDialog, TK_CB_ROW, &record);
        }
        Finish(0);
        return false;
    }
    int flags = 0;
    if (m_scenario.bClose) flags |= TK_FINISHED_CLOSE;
    if (m_scenario.bReboot) flags |= TK_FINISHED_REBOOT;
    Finish(flags);
    return true;
}
