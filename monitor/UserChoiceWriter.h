#pragma once
// The one registry write of the monitor: making a file type the current user's choice for an
// extension (the monitor page's "put back" and "keep"). Where and how the choice is stored is
// decided here only.
#include <string>

#include "assoc/FileExtRegUtil.h"
#include "assoc/FileExtension.h"

// Writes the type's ProgID (lower case) as the per-user choice of the extension: the "ProgId"
// value of its user-choice key, or on the legacy shell the "Application" value for an application
// type. A choice key that already holds a "ProgId" is removed and created afresh, since it may
// carry data the program cannot reproduce. On a system that protects the per-user choice, the
// "UserChoice" and "UserChoiceLatest" keys are removed instead and the ProgID becomes the default
// of the per-user classes key; a removal the system denies fails the write and writes nothing.
// Returns whether the value was written; nothing is
// written for an empty ProgID or an extension that is not a single safe key name.
bool WriteMonitoredUserChoice(const CFileExtRegUtil& util, const std::wstring& extension, const CFileTypeInfo& type);
