#include "purge_bounds.h"

#include "scoped_handles.h"

#include <cwctype>

std::wstring RealFolderPath(const std::wstring& folder)
{
    UniqueHandle handle(CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
        return L"";
    return RealFolderPath(handle.Get());
}

std::wstring RealFolderPath(HANDLE folder)
{
    wchar_t path[1024] = {};
    DWORD length = GetFinalPathNameByHandleW(folder, path, 1024, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 1024)
        return L"";
    std::wstring real(path, length);
    while (!real.empty() && (real.back() == L'\\' || real.back() == L'/'))
        real.pop_back();
    for (wchar_t& c : real)
        c = static_cast<wchar_t>(towlower(c));
    return real;
}

bool StaysBelowRoot(const std::wstring& path, DWORD attributes, const std::wstring& root)
{
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    // A link that is not marked as one (Wine shows a Unix link to a folder
    // as a plain folder) is known by where it leads.
    return LiesBelowRoot(RealFolderPath(path), root);
}

bool LiesBelowRoot(const std::wstring& real, const std::wstring& root)
{
    return !root.empty() && real.size() > root.size() + 1 && real.compare(0, root.size(), root) == 0 &&
           real[root.size()] == L'\\';
}
