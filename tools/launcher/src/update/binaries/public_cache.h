// The public cluster's install as a source of cache files: a test or
// development cluster installs the same ".cache" and ".toc" files, so they
// are copied from there before they are downloaded.
#pragma once

#include "manifest.h"

#include <windows.h>

#include <string>

class ReqBinaries;

// Copies the entry's file from the public install into file (open, empty)
// while hashing it. True, with hash = the entry's MD5, when the whole file was
// copied and its MD5 is the manifest's. False otherwise: file is then empty
// again and the step's byte counts expect a download of the whole object.
bool GetFileFromPublicCache(ReqBinaries& step, HANDLE file, std::wstring& hash, const ManifestEntry& entry);
