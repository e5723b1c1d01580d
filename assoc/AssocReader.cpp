#include "assoc/AssocReader.h"

bool CFileExtRegUtil::ReadExtension(CFileExtension&) const { return true; }
void CFileExtRegUtil::ReadFileType(const std::wstring&, CFileTypeInfo&) const {}
bool CFileExtRegUtil::ReadVerbs(const std::wstring&, VerbMap&, std::wstring&) const { return false; }
bool CFileExtRegUtil::ResolveCommand(std::wstring&) const { return false; }
void CFileExtRegUtil::CollectOpenWithApps(CFileExtension&) const {}
void CFileExtRegUtil::ReadOpenWithList(const std::wstring&, OpenAppMap&) const {}
std::wstring CFileExtRegUtil::ResolveApplicationCommand(const std::wstring&) const { return {}; }
void CFileExtRegUtil::LoadApplicationList(OpenAppMap&) const {}
bool CFileExtRegUtil::ReadVerbsIn(const std::wstring&, VerbMap&, std::wstring&, std::vector<std::wstring>&) const {
    return false;
}
void CFileExtRegUtil::ReadFileTypeIn(const std::wstring&, CFileTypeInfo&, std::vector<std::wstring>&) const {}
bool CFileExtRegUtil::ProgramExists(const std::wstring&) const { return false; }
