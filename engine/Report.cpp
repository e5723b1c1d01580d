#include "engine/Report.h"

#include <new>

#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

enum class Group { Searched, Problems, ApplicationNeeded, Valid };

Group GroupOf(const IFileExtension& record) {
    if (record.IsSearched()) return Group::Searched;
    if (record.GetProblems() == 0) return Group::Valid;
    if (record.GetProblems() == EXT_PROBLEM_NO_APPLICATION) return Group::ApplicationNeeded;
    return Group::Problems;
}

const wchar_t* GroupKey(Group group) {
    switch (group) {
        case Group::Searched: return L"searched";
        case Group::Problems: return L"problems";
        case Group::ApplicationNeeded: return L"application needed";
        default: return L"valid";
    }
}

// Status text as the results page shows it.
const wchar_t* StatusText(UINT problems) {
    switch (problems) {
        case 0: return L"No Problems";
        case EXT_PROBLEM_CLASSES_DEFAULT:
        case EXT_PROBLEM_USER_CHOICE:
        case EXT_PROBLEM_CLASSES_OPENWITH:
        case EXT_PROBLEM_USER_OPENWITH: return L"Fix Registry Problem";
        case EXT_PROBLEM_NO_APPLICATION: return L"New Application Required";
        default: return L"Fix Registry Problems";
    }
}

std::string Utf8(const std::wstring& text) { return win::WideToUtf8(text); }

// ---- Text ----

std::wstring TextReport(const ExtensionList& list) {
    const KVReportCounts counts = CountResults(list);
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    std::wstring out = L"Kavendor scan report\r\n";
    out += win::Format(L"Date: %04u-%02u-%02u %02u:%02u\r\n", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
    out += win::Format(L"Extensions examined: %zu\r\nExtensions with Problems: %zu\r\n"
                       L"Common Extensions Requiring an Application: %zu\r\nValid Extensions: %zu\r\n",
                       counts.nExamined, counts.nProblems, counts.nApplicationsNeeded, counts.nValid);
    struct Section {
        Group group;
        const wchar_t* caption;
    };
    const Section sections[] = {{Group::Searched, L"Searched Extension"},
                                {Group::Problems, L"Extensions with Problems"},
                                {Group::ApplicationNeeded, L"Common Extensions Requiring an Application"},
                                {Group::Valid, L"Valid Extensions"}};
    for (const auto& section : sections) {
        size_t items = 0;
        for (const IFileExtension* record : list)
            if (record && GroupOf(*record) == section.group) ++items;
        if (items == 0 && section.group == Group::Searched) continue;
        out += win::Format(L"\r\n%s: %zu item(s)\r\n", section.caption, items);
        for (const IFileExtension* record : list) {
            if (!record || GroupOf(*record) != section.group) continue;
            out += win::Format(L"%s\t%s\t%s\r\n", record->GetName().c_str(), record->GetDescription().c_str(),
                               StatusText(record->GetProblems()));
            if (record->GetProblems() != 0 && record->GetProblems() != EXT_PROBLEM_NO_APPLICATION) {
                if (auto* full = dynamic_cast<const CFileExtension*>(record)) out += DumpExtension(*full) + L"\r\n";
            }
        }
    }
    return out;
}

// ---- CSV ----

// One quoted field. A leading character a spreadsheet would take for a formula is neutralised,
// so registry text can never run as one.
std::wstring CsvField(const std::wstring& text) {
    std::wstring value = text;
    if (!value.empty() && (value[0] == L'=' || value[0] == L'+' || value[0] == L'-' || value[0] == L'@' ||
                           value[0] == L'\t' || value[0] == L'\r'))
        value.insert(0, 1, L'\'');
    std::wstring out = L"\"";
    for (wchar_t c : value) {
        if (c == L'"') out += L'"';
        out += c;
    }
    return out + L"\"";
}

std::wstring CsvReport(const ExtensionList& list) {
    std::wstring out =
        L"extension,category,group,problems,status,classes_default,classes_default_broken,user_choice,"
        L"user_choice_broken,program\r\n";
    for (const IFileExtension* record : list) {
        if (!record) continue;
        const IFileTypeInfo& classes = record->GetClassesDefaultType();
        const IFileTypeInfo& user = record->GetUserChoiceType();
        out += CsvField(record->GetName()) + L"," + CsvField(record->GetDescription()) + L"," +
               CsvField(GroupKey(GroupOf(*record))) + L"," + win::Format(L"%u", record->GetProblems()) + L"," +
               CsvField(StatusText(record->GetProblems())) + L"," + CsvField(classes.GetProgID()) + L"," +
               (classes.GetProgID().empty() ? L"" : (classes.IsBroken() ? L"1" : L"0")) + L"," +
               CsvField(user.GetProgID()) + L"," + (user.GetProgID().empty() ? L"" : (user.IsBroken() ? L"1" : L"0")) +
               L"," + CsvField(classes.GetProgID().empty() && user.GetProgID().empty()
                                   ? std::wstring()
                                   : (!user.GetProgID().empty() && !user.IsBroken() ? user.GetProgramPath()
                                                                                    : classes.GetProgramPath())) +
               L"\r\n";
    }
    return out;
}

// ---- JSON ----

std::wstring JsonString(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
            case L'"': out += L"\\\""; break;
            case L'\\': out += L"\\\\"; break;
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            case L'\t': out += L"\\t"; break;
            default:
                if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF))
                    out += win::Format(L"\\u%04x", static_cast<unsigned>(c));
                else
                    out += c;
        }
    }
    return out + L"\"";
}

std::wstring JsonType(const IFileTypeInfo& type) {
    if (type.GetProgID().empty()) return L"null";
    return L"{\"progId\": " + JsonString(type.GetProgID()) + L", \"command\": " + JsonString(type.GetCommand()) +
           L", \"program\": " + JsonString(type.GetProgramPath()) + L", \"broken\": " +
           (type.IsBroken() ? L"true" : L"false") + L"}";
}

std::wstring JsonTypes(const FileTypeList& types) {
    std::wstring out = L"[";
    bool first = true;
    for (const auto& type : types) {
        if (!type) continue;
        if (!first) out += L", ";
        first = false;
        out += JsonType(*type);
    }
    return out + L"]";
}

std::wstring JsonReport(const ExtensionList& list) {
    const KVReportCounts counts = CountResults(list);
    std::wstring out = win::Format(
        L"{\r\n  \"counts\": {\"examined\": %zu, \"problems\": %zu, \"applicationsNeeded\": %zu, \"valid\": %zu},\r\n"
        L"  \"extensions\": [",
        counts.nExamined, counts.nProblems, counts.nApplicationsNeeded, counts.nValid);
    bool first = true;
    for (const IFileExtension* record : list) {
        if (!record) continue;
        out += first ? L"\r\n    " : L",\r\n    ";
        first = false;
        out += L"{\"name\": " + JsonString(record->GetName()) + L", \"category\": " +
               JsonString(record->GetDescription()) + L", \"group\": " + JsonString(GroupKey(GroupOf(*record))) +
               win::Format(L", \"problems\": %u", record->GetProblems()) + L", \"status\": " +
               JsonString(StatusText(record->GetProblems())) +
               L", \"classesDefault\": " + JsonType(record->GetClassesDefaultType()) +
               L", \"userChoice\": " + JsonType(record->GetUserChoiceType()) +
               L", \"classesOpenWith\": " + JsonTypes(record->GetClassesOpenWithTypes()) +
               L", \"userOpenWith\": " + JsonTypes(record->GetUserOpenWithTypes()) + L"}";
    }
    out += first ? L"]\r\n}\r\n" : L"\r\n  ]\r\n}\r\n";
    return out;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    win::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    size_t offset = 0;
    while (offset < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(bytes.size() - offset > (1u << 20) ? (1u << 20) : bytes.size() - offset);
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + offset, chunk, &written, nullptr) || written == 0) return false;
        offset += written;
    }
    return true;
}

// Remembers how the scan ended.
class CReportScanReceiver : public CKVExtScannerCallbacks {
public:
    int OnScanComplete(ExtensionList*, BOOL bCompleted) override {
        m_bCompleted = bCompleted;
        m_bEnded = 1;
        return 1;
    }
    int OnScanProgress(IFileExtension*) override { return 1; }
    int OnFixComplete(ExtensionList*, BOOL) override { return 1; }

    BOOL m_bCompleted = 0;
    BOOL m_bEnded = 0;
};

}  // namespace

KVReportFormat ReportFormatFor(const std::wstring& path) {
    auto endsWith = [&](const wchar_t* tail) {
        const size_t n = wcslen(tail);
        return path.size() >= n && win::EqualsNoCase(std::wstring_view(path).substr(path.size() - n), tail);
    };
    if (endsWith(L".csv")) return KVReportFormat::Csv;
    if (endsWith(L".json")) return KVReportFormat::Json;
    return KVReportFormat::Text;
}

KVReportCounts CountResults(const ExtensionList& list) {
    KVReportCounts counts;
    for (const IFileExtension* record : list) {
        if (!record) continue;
        ++counts.nExamined;
        const UINT problems = record->GetProblems();
        if (problems == 0)
            ++counts.nValid;
        else if (problems == EXT_PROBLEM_NO_APPLICATION)
            ++counts.nApplicationsNeeded;
        else
            ++counts.nProblems;
    }
    return counts;
}

std::string BuildReport(const ExtensionList& list, KVReportFormat format) {
    switch (format) {
        case KVReportFormat::Csv: return Utf8(CsvReport(list));
        case KVReportFormat::Json: return Utf8(JsonReport(list));
        default: return Utf8(TextReport(list));
    }
}

int RunHeadlessReport(const std::wstring& outputPath, const CEngineEnvironment& env) {
    if (outputPath.empty()) return KV_REPORT_FAILED;
    try {
        CExtScanner scanner(env);
        CReportScanReceiver receiver;
        if (!scanner.StartScanThread(L"", &receiver)) return KV_REPORT_FAILED;
        scanner.WaitForScan();
        if (!receiver.m_bEnded || !receiver.m_bCompleted || !scanner.m_pResultList) return KV_REPORT_FAILED;
        const ExtensionList& list = *scanner.m_pResultList;
        if (!WriteWholeFile(outputPath, BuildReport(list, ReportFormatFor(outputPath)))) return KV_REPORT_FAILED;
        const KVReportCounts counts = CountResults(list);
        return counts.nProblems + counts.nApplicationsNeeded > 0 ? KV_REPORT_PROBLEMS : KV_REPORT_NO_PROBLEMS;
    } catch (const std::bad_alloc&) {
        return KV_REPORT_FAILED;
    }
}
