#pragma once
// The association reader: ReadExtension, ReadFileType, ReadVerbs, ResolveCommand,
// CollectOpenWithApps, ReadOpenWithList, ResolveApplicationCommand and LoadApplicationList are
// reading operations of CFileExtRegUtil (declared there, implemented in AssocReader.cpp). This
// header is the one include for code that reads associations into records.
#include "assoc/FileExtRegUtil.h"
#include "assoc/FileExtension.h"
