// Binding manifest entries to the objects of the offline installer archive.
#include "offline_archive.h"

#include "log.h"

#include <cwctype>

namespace {

constexpr size_t kSuffixLength = 5; // ".lzma" or ".bulk"
constexpr size_t kMd5Length = 32;

bool EndsWith(const std::wstring& text, const wchar_t* tail, size_t length)
{
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

bool HasObjectSuffix(const std::wstring& name)
{
    return EndsWith(name, L".lzma", kSuffixLength) || EndsWith(name, L".bulk", kSuffixLength);
}

// The remote name without "." MD5 and suffix; empty when it has not that form.
std::wstring CacheStem(const std::wstring& remoteName)
{
    size_t tail = 1 + kMd5Length + kSuffixLength;
    if (!HasObjectSuffix(remoteName) || remoteName.size() <= tail ||
        remoteName[remoteName.size() - tail] != L'.')
        return std::wstring();
    return remoteName.substr(0, remoteName.size() - tail);
}

// Whether name is a version of the file stem: stem "." 32 hexadecimal
// characters ".lzma" or ".bulk" and nothing else. A plain prefix test would
// take "world.toc-v2.<md5>.lzma" for "world.toc".
bool IsVersionOf(const std::wstring& name, const std::wstring& stem)
{
    if (name.size() != stem.size() + 1 + kMd5Length + kSuffixLength ||
        name.compare(0, stem.size(), stem) != 0 || name[stem.size()] != L'.' || !HasObjectSuffix(name))
        return false;
    for (size_t i = 0; i < kMd5Length; ++i) {
        if (!iswxdigit(name[stem.size() + 1 + i]))
            return false;
    }
    return true;
}

// The first version of the cache file in name order, or the index's end.
ArchiveIndexMap::const_iterator FindCacheVersion(const ArchiveIndexMap& index, const std::wstring& remoteName)
{
    std::wstring stem = CacheStem(remoteName);
    if (stem.empty())
        return index.end();
    for (auto it = index.lower_bound(stem); it != index.end(); ++it) {
        if (it->first.compare(0, stem.size(), stem) != 0)
            break;
        if (IsVersionOf(it->first, stem))
            return it;
    }
    return index.end();
}

} // namespace

int BindArchiveEntries(ManifestList& entries, const ArchiveIndexMap& index)
{
    int bound = 0;
    for (ManifestEntry& entry : entries) {
        entry.archive = nullptr;
        if (entry.kind == ENTRY_LAUNCHER_FILE)
            continue;
        if (entry.kind == ENTRY_CACHE) {
            // The archive's version of a cache file is taken whatever the
            // manifest's MD5 and size were.
            auto found = FindCacheVersion(index, entry.remoteName);
            if (found != index.end()) {
                entry.archive = &found->second;
                entry.remoteName = found->first;
                entry.size = found->second.size;
                entry.md5 = found->first.substr(found->first.size() - kSuffixLength - kMd5Length, kMd5Length);
            }
        } else {
            auto found = index.find(entry.remoteName);
            if (found != index.end()) {
                if (found->second.size != entry.size) {
                    LogPrintf(L"Archive size mismatch detected %lld != %llX for %s\n",
                              static_cast<long long>(found->second.size), static_cast<long long>(entry.size),
                              entry.remoteName.c_str());
                    continue;
                }
                entry.archive = &found->second;
            }
        }
        if (entry.archive)
            ++bound;
        else
            LogPrintf(L"Could not find %s in archive\n", entry.remoteName.c_str());
    }
    return bound;
}
