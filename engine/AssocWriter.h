#pragma once
// The registry writes of the repair, the extension manager and the monitor's apply: pointing an
// extension at a file type, clearing a broken association, removing an Open-With entry, and
// replacing a verb's command. Each takes the caller's registry utility, which knows the roots,
// the registry view and where the per-user choice lives on this system.
#include <windows.h>

#include <string>

#include "assoc/FileExtRegUtil.h"
#include "assoc/FileExtension.h"
#include "engine/EngineEnvironment.h"
#include "engine/RegBackup.h"

// An extension or verb name that can safely be used as one registry key name: not empty, at
// most 255 characters, no backslash and no control characters. Names from the registry, the
// databases and the command line are checked before anything is written under them.
bool IsSafeKeyName(const std::wstring& name);

// Points the extension at the type: the default value of the extension's key under the classes
// root, or the per-user choice when root is the current user. On a system that protects the
// per-user choice, the per-user association is the per-user classes default instead (after the
// choice keys are removed; a removal the system denies fails the write), and a classes-root
// write goes to the per-user classes default when that one names a type. Returns whether the
// value was written.
bool WriteAssociation(const CFileExtRegUtil& util, HKEY root, const std::wstring& extension, const CFileTypeInfo& type);
// Blanks the classes-root default (and a per-user classes default that would be read in its
// place), or removes the per-user choice. Returns whether it was done.
bool ClearAssociation(const CFileExtRegUtil& util, HKEY root, const std::wstring& extension);
// Removes one value of the extension's OpenWithProgIDs key (per-user or classes root).
bool DeleteOpenWithProgID(const CFileExtRegUtil& util, const std::wstring& extension, HKEY root,
                          const std::wstring& progId);
// Replaces the verb of the extension's current file type by one holding only the command (and
// the verb's old label). Commands starting with an environment reference are stored expandable.
bool SetVerbCommand(const CFileExtRegUtil& util, const CFileExtension& extension, const std::wstring& verb,
                    const std::wstring& command);

// Records in the backup what WriteAssociation or ClearAssociation on the classes root may change.
void BackupClassesDefault(CRegBackup& backup, const CEngineEnvironment& env, const CFileExtRegUtil& util,
                          const std::wstring& extension);
// Records in the backup what WriteAssociation or ClearAssociation on the current user may change.
void BackupUserChoice(CRegBackup& backup, const CEngineEnvironment& env, const CFileExtRegUtil& util,
                      const std::wstring& extension);

// Tells the shell that file associations changed (once per batch of writes).
void NotifyAssociationsChanged(const CEngineEnvironment& env);
