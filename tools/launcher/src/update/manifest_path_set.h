// The local paths of the manifest's files, looked up in any letter case in
// constant time: the purge and the unused-cache list ask it once per file
// found on disk, which a walk over the manifest would make quadratic.
#pragma once

#include "manifest.h"

#include <string>
#include <unordered_set>
#include <vector>

class ManifestPathSet {
  public:
    explicit ManifestPathSet(const std::vector<ManifestFile>& files);

    // Whether a file's local path equals path, compared the way _wcsicmp does.
    bool Contains(const wchar_t* path) const;

  private:
    std::unordered_set<std::wstring> folded_;
};
