#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "schedule/AccountInfo.h"
#include "tests/support/TempFolder.h"

namespace {

struct Entry {
    BYTE type;
    BYTE flags;
    DWORD mask;
    std::vector<BYTE> sid;
};

std::vector<Entry> ReadEntries(const std::wstring& file) {
    std::vector<Entry> entries;
    DWORD bytes = 0;
    ::GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &bytes);
    std::vector<BYTE> descriptor(bytes ? bytes : 1);
    if (!::GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), bytes, &bytes)) return entries;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present || !acl) return entries;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!::GetAce(acl, i, reinterpret_cast<void**>(&ace))) break;
        PSID sid = &ace->SidStart;
        auto* first = static_cast<BYTE*>(sid);
        entries.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                           std::vector<BYTE>(first, first + ::GetLengthSid(sid))});
    }
    return entries;
}

std::vector<BYTE> SidOf(const std::wstring& account) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidBytes = sizeof(sid);
    wchar_t domain[256];
    DWORD domainChars = 256;
    SID_NAME_USE use;
    if (!::LookupAccountNameW(nullptr, account.c_str(), sid, &sidBytes, domain, &domainChars, &use)) return {};
    return std::vector<BYTE>(sid, sid + ::GetLengthSid(sid));
}

bool IsFullAccess(DWORD mask) { return mask == GENERIC_ALL || (mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS; }

TEST(CurrentUserAccount, NamesTheAccountOfTheProcess) {
    UserAccount account = GetCurrentUserAccount();
    wchar_t user[257] = {};
    DWORD chars = 257;
    ASSERT_TRUE(::GetUserNameW(user, &chars));
    EXPECT_EQ(account.m_strUserName, user);
    EXPECT_FALSE(account.m_strDomainName.empty());
    EXPECT_FALSE(SidOf(account.m_strDomainName + L"\\" + account.m_strUserName).empty());
}

TEST(AddAccessRights, GrantsTheAccountOnceAndKeepsTheOtherEntries) {
    kvtest::TempFolder folder;
    const std::wstring file = folder.WriteFile(L"job.job", "x");
    UserAccount account = GetCurrentUserAccount();
    const std::wstring name = account.m_strDomainName + L"\\" + account.m_strUserName;
    const std::vector<BYTE> sid = SidOf(name);
    ASSERT_FALSE(sid.empty());

    std::vector<Entry> before = ReadEntries(file);
    size_t othersBefore = 0;
    for (const auto& e : before)
        if (e.sid != sid) ++othersBefore;

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(AddAccessRights(name, file));
        std::vector<Entry> after = ReadEntries(file);
        size_t mine = 0, others = 0;
        for (const auto& e : after) {
            if (e.sid == sid && e.type == ACCESS_ALLOWED_ACE_TYPE && !(e.flags & INHERITED_ACE)) {
                ++mine;
                EXPECT_TRUE(IsFullAccess(e.mask)) << std::hex << e.mask;
            } else if (e.sid != sid) {
                ++others;
            }
        }
        EXPECT_EQ(mine, 1u);
        EXPECT_EQ(others, othersBefore);
    }
}

TEST(AddAccessRights, FailsForUnknownAccountsAndMissingFiles) {
    kvtest::TempFolder folder;
    const std::wstring file = folder.WriteFile(L"job.job", "x");
    UserAccount account = GetCurrentUserAccount();
    const std::wstring name = account.m_strDomainName + L"\\" + account.m_strUserName;
    const std::vector<Entry> before = ReadEntries(file);

    EXPECT_FALSE(AddAccessRights(L"NoSuchDomain\\NoSuchUser_7f3a", file));
    EXPECT_EQ(ReadEntries(file).size(), before.size());
    EXPECT_FALSE(AddAccessRights(name, folder.File(L"missing.job")));
}

}  // namespace
