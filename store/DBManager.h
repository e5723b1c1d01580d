#pragma once
// The three databases of the program: the extension database ("kv_db.db", read only), the
// ignore list ("kv_ignore.db") and the history log ("kv_history.db"). One CDBManager belongs to
// the thread that created it; every other thread opens its own. Database errors never reach
// the caller: lookups answer as if nothing were found and failed writes report 0.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

#include "store/CppSQLite3.h"

// One row of the ignore list: the extension as the association record names it (".txt") and
// its category text.
class CIgnoredItem {
public:
    CIgnoredItem() = default;
    CIgnoredItem(std::wstring strExtension, std::wstring strCategory)
        : m_strExtension(std::move(strExtension)), m_strCategory(std::move(strCategory)) {}

    std::wstring m_strExtension;
    std::wstring m_strCategory;
};

// Doubles every single quote, so the text can sit inside a quoted SQL literal.
std::wstring QuoteSql(std::wstring_view text);

class CDBManager {
public:
    explicit CDBManager(int nBusyTimeoutMs = CppSQLite3DB::DEFAULT_BUSY_TIMEOUT_MS);
    CDBManager(const CDBManager&) = delete;
    CDBManager& operator=(const CDBManager&) = delete;
    virtual ~CDBManager();

    // The machine's databases folder: "Kavendor" under the common application-data folder;
    // empty when the shell cannot name that folder.
    static std::wstring DefaultFolder();

    // Opens the three databases in DefaultFolder(), or in the given folder. The folder is
    // created when missing, and a database lacking its tables gets them. Returns 1 when all
    // three are open, 0 otherwise; each database that did open stays usable.
    int Open();
    int Open(const std::wstring& strFolder);
    void Close();

    // Extension database. The extension may be given with or without one leading dot.
    // GetTypeName leaves strName untouched and returns 0 when there is no row or an error.
    int GetTypeName(const std::wstring& strExt, std::wstring& strName);
    std::wstring GetDefaultFileType(const std::wstring& strExt);
    // Appends "." + ext for every must-scan extension; 0 on an error (rows read so far stay).
    int GetMustScanExtensions(std::vector<std::wstring>& list);

    // Ignore list; extensions as the association records name them (".txt").
    int IsIgnored(const std::wstring& strExt);
    // Adds the extension and its category unless it is listed already; 1 when it is listed
    // afterwards.
    int AddIgnored(const std::wstring& strExt, const std::wstring& strCategory);
    // The association record form: takes the record's GetName() and GetDescription().
    template <class TRecord>
    int AddIgnored(const TRecord* pRecord) {
        return pRecord ? AddIgnored(pRecord->GetName(), pRecord->GetDescription()) : 0;
    }
    int RemoveIgnored(const CIgnoredItem* pItem);
    int RemoveIgnored(const std::wstring& strExt);
    int ClearIgnored();
    // Appends one item per row, in the table's order; 0 on an error or without an array.
    int GetIgnoredItems(std::vector<std::unique_ptr<CIgnoredItem>>* pArray);

    // History log, oldest event first; 0 on an error or without an array.
    int GetHistory(std::vector<std::wstring>* pStrings);
    int ClearHistory();
    // Stores "<local date and time>, <text>"; an empty text is not stored (returns 0).
    int AddHistoryEvent(const std::wstring& strText);
    // "%d-%02d-%02d %02d:%02d, %s" from the given time and text.
    static std::wstring FormatHistoryEvent(const SYSTEMTIME& time, const std::wstring& strText);

private:
    // In this order: the extension database, the ignore list, the history log.
    CppSQLite3DB m_dbExtensions;
    CppSQLite3DB m_dbIgnore;
    CppSQLite3DB m_dbHistory;
};
