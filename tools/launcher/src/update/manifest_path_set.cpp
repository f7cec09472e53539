#include "manifest_path_set.h"

#include <cwctype>

namespace {

// _wcsicmp compares the towlower of each character: equal folded texts are
// exactly the paths it calls equal.
std::wstring Folded(const wchar_t* path)
{
    std::wstring folded(path);
    for (wchar_t& c : folded)
        c = static_cast<wchar_t>(towlower(c));
    return folded;
}

} // namespace

ManifestPathSet::ManifestPathSet(const std::vector<ManifestFile>& files)
{
    folded_.reserve(files.size());
    for (const ManifestFile& file : files)
        folded_.insert(Folded(file.localPath.c_str()));
}

bool ManifestPathSet::Contains(const wchar_t* path) const
{
    return folded_.count(Folded(path)) != 0;
}
