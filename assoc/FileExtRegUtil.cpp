#include "assoc/FileExtRegUtil.h"

AssocPlatform AssocPlatform::Detect() { return {}; }

CFileExtRegUtil::CFileExtRegUtil() : CFileExtRegUtil(win::RegistryRoots{}, AssocPlatform::Detect()) {}
CFileExtRegUtil::CFileExtRegUtil(const win::RegistryRoots& roots) : CFileExtRegUtil(roots, AssocPlatform::Detect()) {}
CFileExtRegUtil::CFileExtRegUtil(const win::RegistryRoots& roots, const AssocPlatform& platform)
    : m_bWow64(platform.bWow64),
      m_bLegacyShell(platform.bLegacyShell),
      m_bProtectedUserChoice(platform.bProtectedUserChoice),
      m_pfnDisableRedirection(platform.pfnDisableRedirection),
      m_pfnRevertRedirection(platform.pfnRevertRedirection),
      m_roots(roots) {}

bool CFileExtRegUtil::OpenKey(HKEY, const std::wstring&, REGSAM, win::RegKey&) const { return false; }
bool CFileExtRegUtil::CreateKey(HKEY, const std::wstring&, REGSAM, win::RegKey&) const { return false; }
bool CFileExtRegUtil::DeleteKey(HKEY, const std::wstring&) const { return false; }
bool CFileExtRegUtil::KeyExists(HKEY, const std::wstring&) const { return false; }
bool CFileExtRegUtil::ValueExists(HKEY, const std::wstring&, const std::wstring&) const { return false; }
std::wstring CFileExtRegUtil::ReadValue(HKEY, const std::wstring&, const std::wstring&, DWORD*) const { return {}; }
bool CFileExtRegUtil::FileExists(const std::wstring&) const { return false; }
std::wstring CFileExtRegUtil::GetUserChoiceKeyPath() const { return {}; }
std::wstring CFileExtRegUtil::UserChoiceKey(const std::wstring&) const { return {}; }
void CFileExtRegUtil::EnumExtensionKeys(HKEY, std::vector<std::wstring>&) const {}
void CFileExtRegUtil::ReadOpenWithProgIDs(HKEY, const std::wstring&, std::vector<std::wstring>&) const {}
bool CFileExtRegUtil::DeleteKeyTree(HKEY, const std::wstring&) const { return false; }
bool CFileExtRegUtil::CopyKeyTree(HKEY, HKEY, const std::wstring&) const { return false; }
bool CFileExtRegUtil::DeleteKeyTreeIn(HKEY, const std::wstring&, int) const { return false; }
bool CFileExtRegUtil::CopyKeyTreeIn(HKEY, HKEY, const std::wstring&, int) const { return false; }
