#include "schedule/AccountInfo.h"

#include <windows.h>

#include <cwchar>
#include <memory>
#include <vector>

#include "win/Debug.h"
#include "win/UniqueHandle.h"

namespace {

constexpr DWORD kMaxNameChars = 1024;  // account and domain names, terminator included

struct HeapDeleter {
    void operator()(void* block) const noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }
};
using HeapBlock = std::unique_ptr<void, HeapDeleter>;

HeapBlock HeapAllocate(DWORD bytes) {
    return HeapBlock(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1));
}

int ErrorCode() { return static_cast<int>(::GetLastError()); }

// The SID an ACE names, when the ACE is of a kind that carries one right after its mask and the
// SID lies wholly inside the ACE.
PSID SidOfAce(const ACE_HEADER* header) {
    switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_DENIED_ACE_TYPE:
        case SYSTEM_AUDIT_ACE_TYPE:
        case SYSTEM_ALARM_ACE_TYPE:
            break;
        default:
            return nullptr;
    }
    constexpr DWORD kSidOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    if (header->AceSize < kSidOffset + 8) return nullptr;
    auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    auto* bytes = static_cast<const BYTE*>(sid);
    DWORD sidBytes = 8u + 4u * bytes[1];  // header of 8 bytes, then the sub-authorities
    if (kSidOffset + sidBytes > header->AceSize || !::IsValidSid(sid)) return nullptr;
    return sid;
}

}  // namespace

UserAccount GetCurrentUserAccount() {
    UserAccount result;
    win::UniqueKernelHandle token;
    if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        if (::GetLastError() != ERROR_NO_TOKEN) return result;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return result;
    }
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER) || size > 64 * 1024) return result;
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return result;
    auto* user = reinterpret_cast<TOKEN_USER*>(buffer.data());

    wchar_t name[kMaxNameChars] = {};
    wchar_t domain[kMaxNameChars] = {};
    DWORD nameChars = kMaxNameChars;
    DWORD domainChars = kMaxNameChars;
    SID_NAME_USE use = SidTypeUnknown;
    if (!::LookupAccountSidW(nullptr, user->User.Sid, name, &nameChars, domain, &domainChars, &use)) return result;
    result.m_strUserName.assign(name, ::wcsnlen(name, kMaxNameChars - 1));
    result.m_strDomainName.assign(domain, ::wcsnlen(domain, kMaxNameChars - 1));
    return result;
}

bool AddAccessRights(const std::wstring& account, const std::wstring& file) {
    // The account's identifier.
    SID_NAME_USE use = SidTypeUnknown;
    DWORD sidBytes = 0;
    DWORD domainChars = 0;
    if (!::LookupAccountNameW(nullptr, account.c_str(), nullptr, &sidBytes, nullptr, &domainChars, &use) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        win::DebugOut(L"1 LookupAccountName() failed. Error %d\n", ErrorCode());
        return false;
    }
    HeapBlock sid = HeapAllocate(sidBytes);
    if (!sid) {
        win::DebugOut(L"2 HeapAlloc() failed. Error %d\n", ErrorCode());
        return false;
    }
    HeapBlock domain = HeapAllocate((domainChars + 1) * sizeof(wchar_t));
    if (!domain) {
        win::DebugOut(L"3 HeappAlloc() failed, Error %d\n", ErrorCode());
        return false;
    }
    if (!::LookupAccountNameW(nullptr, account.c_str(), sid.get(), &sidBytes, static_cast<wchar_t*>(domain.get()),
                              &domainChars, &use)) {
        win::DebugOut(L"4 LookupAccountName() failed. Error %d\n", ErrorCode());
        return false;
    }

    // The file's present access list.
    DWORD descriptorBytes = 0;
    if (!::GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &descriptorBytes) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        win::DebugOut(L"5 GetFileSecurity() failed. Error %d\n", ErrorCode());
        return false;
    }
    HeapBlock oldDescriptor = HeapAllocate(descriptorBytes);
    if (!oldDescriptor) {
        win::DebugOut(L"6 HeapAlloc() failed. Error %d\n", ErrorCode());
        return false;
    }
    if (!::GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, oldDescriptor.get(), descriptorBytes,
                            &descriptorBytes)) {
        win::DebugOut(L"7 GetFileSecurity() failed. Error %d\n", ErrorCode());
        return false;
    }

    // The new list: own entries first (without the account's old one), then the account, then
    // the inherited entries, so the order the system expects is kept.
    SECURITY_DESCRIPTOR newDescriptor;
    if (!::InitializeSecurityDescriptor(&newDescriptor, SECURITY_DESCRIPTOR_REVISION)) {
        win::DebugOut(L"8 InitializeSEcurityDescriptor() failed. Error %d\n", ErrorCode());
        return false;
    }
    BOOL hasList = FALSE;
    BOOL defaulted = FALSE;
    PACL oldList = nullptr;
    if (!::GetSecurityDescriptorDacl(oldDescriptor.get(), &hasList, &oldList, &defaulted)) {
        win::DebugOut(L"9 GetSecurityDescriptorDacl() failed. Error %d\n", ErrorCode());
        return false;
    }
    ACL_SIZE_INFORMATION listInfo = {};
    listInfo.AclBytesInUse = sizeof(ACL);
    if (hasList && oldList) {
        if (!::GetAclInformation(oldList, &listInfo, sizeof(listInfo), AclSizeInformation)) {
            win::DebugOut(L"10 GetAclInformation() failed. Error %d\n", ErrorCode());
            return false;
        }
    } else {
        listInfo.AceCount = 0;
    }
    DWORD newBytes = listInfo.AclBytesInUse + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid.get()) - sizeof(DWORD);
    newBytes = (newBytes + 3) & ~3u;
    HeapBlock newList = HeapAllocate(newBytes);
    if (!newList) {
        win::DebugOut(L"11 HeapAlloc() failed. Error %d\n", ErrorCode());
        return false;
    }
    auto* list = static_cast<PACL>(newList.get());
    if (!::InitializeAcl(list, newBytes, ACL_REVISION2)) {
        win::DebugOut(L"12 InitializeAcl() failed. Error %d\n", ErrorCode());
        return false;
    }
    DWORD next = 0;
    for (; next < listInfo.AceCount; ++next) {
        void* ace = nullptr;
        if (!::GetAce(oldList, next, &ace)) {
            win::DebugOut(L"13 GetACE() failed. Error %d\n", ErrorCode());
            return false;
        }
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceFlags & INHERITED_ACE) break;
        PSID aceSid = SidOfAce(header);
        if (aceSid && ::EqualSid(sid.get(), aceSid)) continue;
        if (!::AddAce(list, ACL_REVISION, MAXDWORD, ace, header->AceSize)) {
            win::DebugOut(L"14 AddAce() failed. Error %d\n", ErrorCode());
            return false;
        }
    }
    if (!::AddAccessAllowedAce(list, ACL_REVISION2, GENERIC_ALL, sid.get())) {
        win::DebugOut(L"15 AddAccessAllowedAce() failed. Error %d\n", ErrorCode());
        return false;
    }
    for (; next < listInfo.AceCount; ++next) {
        void* ace = nullptr;
        if (!::GetAce(oldList, next, &ace)) {
            win::DebugOut(L"16 GetAce() failed. Error %d\n", ErrorCode());
            return false;
        }
        if (!::AddAce(list, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) {
            win::DebugOut(L"17 AddAce() failed. Error %d\n", ErrorCode());
            return false;
        }
    }
    if (!::SetSecurityDescriptorDacl(&newDescriptor, TRUE, list, FALSE)) {
        win::DebugOut(L"18 SetSecurityDescriptoreDacl() failed. Error %d\n", ErrorCode());
        return false;
    }

    // Keep the old list's inheritance marks.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(oldDescriptor.get(), &control, &revision)) {
        win::DebugOut(L"19 GetSecurityDescriptorControl() failed. Error %d\n", ErrorCode());
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL marks = 0;
    if (control & SE_DACL_AUTO_INHERITED) marks |= SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED;
    if (control & SE_DACL_PROTECTED) marks |= SE_DACL_PROTECTED;
    if (marks && !::SetSecurityDescriptorControl(&newDescriptor, marks, marks)) {
        win::DebugOut(L"20 SetSecurityDescriptorControl() failed. Error %d\n", ErrorCode());
        return false;
    }

    if (!::SetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, &newDescriptor)) {
        win::DebugOut(L"21 SetFileSecurity() failed. Error %d\n", ErrorCode());
        return false;
    }
    win::DebugOut(L"Access Success");
    return true;
}
