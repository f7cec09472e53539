#include "downloaded_path.h"

#include "clusters.h"
#include "launcher_settings.h"

#include <shlobj.h>
#include <windows.h>

std::wstring GetDownloadedFilePath(const wchar_t* relativePath)
{
    std::wstring path;
    if (SingleClusterMode) {
        path = DownloadFolder;
    } else {
        wchar_t localData[MAX_PATH];
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, localData)))
            return std::wstring();
        path = localData;
        path += L"\\Vantorel\\Downloaded\\";
        path += GetClusterFolderName(ServerCluster);
    }
    for (const wchar_t* c = relativePath ? relativePath : L""; *c; ++c)
        path += *c == L'/' ? L'\\' : *c;
    return path;
}
