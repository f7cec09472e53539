#include "purge_bounds.h"

#include "scoped_handles.h"

#include <cwctype>

namespace {

void ToLower(std::wstring& text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
}

} // namespace

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
    ToLower(real);
    return real;
}

bool LiesWhereNamed(const std::wstring& real, const std::wstring& parentReal, const std::wstring& name)
{
    if (real.empty() || parentReal.empty() || name.empty())
        return false;
    std::wstring named = parentReal + L"\\" + name;
    ToLower(named);
    return real == named;
}
