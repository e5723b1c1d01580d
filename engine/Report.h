#pragma once
// The headless report: a full scan without any window, written to a file for administrators and
// scripts. Plain UTF-8 text grouped as the scan results page groups the extensions, CSV for
// ".csv" paths and JSON for ".json" paths.
#include <string>

#include "engine/EngineEnvironment.h"
#include "engine/ExtScanner.h"

// Exit codes of the report.
enum : int {
    KV_REPORT_NO_PROBLEMS = 0,
    KV_REPORT_PROBLEMS = 1,
    KV_REPORT_FAILED = 2,  // the scan could not run or the report could not be written
};

enum class KVReportFormat { Text, Csv, Json };

struct KVReportCounts {
    size_t nExamined = 0;
    size_t nProblems = 0;            // any status other than 0 and 16
    size_t nApplicationsNeeded = 0;  // status 16
    size_t nValid = 0;               // status 0
};

// The format the path's ending asks for (case-insensitive ".csv" or ".json"; text otherwise).
KVReportFormat ReportFormatFor(const std::wstring& path);
KVReportCounts CountResults(const ExtensionList& list);
// The report's bytes (UTF-8).
std::string BuildReport(const ExtensionList& list, KVReportFormat format);

// Scans every extension and writes the report to outputPath. Returns KV_REPORT_NO_PROBLEMS,
// KV_REPORT_PROBLEMS or KV_REPORT_FAILED.
int RunHeadlessReport(const std::wstring& outputPath, const CEngineEnvironment& env = CEngineEnvironment::Production());
