#pragma once
// The account the program runs under and the access list of job files.
#include <string>

struct UserAccount {
    std::wstring m_strUserName;
    std::wstring m_strDomainName;
};

// Account and domain of the calling thread's token, or of the process's token when the thread
// has none. Both stay empty when any step fails.
UserAccount GetCurrentUserAccount();

// Adds an access-allowed entry with GENERIC_ALL for `account` ("domain\user" or "user") to the
// file's access list, keeping the other entries; an older entry for the same account is replaced.
// Each failing step writes its numbered line to the debugger output.
bool AddAccessRights(const std::wstring& account, const std::wstring& file);
