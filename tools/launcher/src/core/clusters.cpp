#include "clusters.h"

#include "launcher_settings.h"
#include "server_config.h"

namespace {

constexpr wchar_t GAME_EXE_NAME[] = L"Vantorel.x64.exe";

struct ClusterInfo {
    const wchar_t* name;
    const wchar_t* folder;
    const wchar_t* gameOption;
    const char* displayKey;
};

const ClusterInfo CLUSTERS[SC_MAX] = {
    {L"SC_PUBLIC", L"Public", L" -cluster:public", "PUBLIC"},
    {L"SC_TEST", L"Test", L" -cluster:test", "TEST"},
    {L"SC_DEV", L"Dev", L" -cluster:dev", "DEV"},
};

bool IsCluster(int cluster)
{
    return cluster >= 0 && cluster < SC_MAX;
}

// folder + "\" + name, without doubling a separator the folder ends with.
std::wstring JoinPath(const std::wstring& folder, const wchar_t* name)
{
    std::wstring path = folder;
    if (path.empty() || (path.back() != L'\\' && path.back() != L'/'))
        path += L'\\';
    path += name;
    return path;
}

// The cache is a function-local static: created once, safely against a
// concurrent first use, and kept until the process ends.
std::wstring* InstallDirs()
{
    static std::wstring dirs[SC_MAX];
    return dirs;
}

std::wstring ServerBase(int cluster, ServerRole role, const wchar_t* scheme, const wchar_t* path)
{
    if (!IsCluster(cluster))
        return std::wstring();
    return scheme + GetServerHost(cluster, role) + path;
}

} // namespace

const wchar_t* GetClusterName(int cluster)
{
    return IsCluster(cluster) ? CLUSTERS[cluster].name : L"";
}

const wchar_t* GetClusterFolderName(int cluster)
{
    return IsCluster(cluster) ? CLUSTERS[cluster].folder : L"";
}

const wchar_t* GetClusterGameOption(int cluster)
{
    return IsCluster(cluster) ? CLUSTERS[cluster].gameOption : L"";
}

const char* GetClusterDisplayKey(int cluster)
{
    return IsCluster(cluster) ? CLUSTERS[cluster].displayKey : "";
}

const std::wstring& GetClusterInstallDir(int cluster)
{
    static const std::wstring none;
    std::wstring* dirs = InstallDirs();
    if (!IsCluster(cluster))
        return none;
    // Entries are only written while the download folder is set, so threads
    // that read a built entry never see it change.
    if (dirs[cluster].empty() && !DownloadFolder.empty()) {
        for (int i = 0; i < SC_MAX; ++i)
            dirs[i] = SingleClusterMode ? DownloadFolder : JoinPath(DownloadFolder, CLUSTERS[i].folder);
    }
    return dirs[cluster];
}

void ResetClusterInstallDirsForTest()
{
    std::wstring* dirs = InstallDirs();
    for (int i = 0; i < SC_MAX; ++i)
        dirs[i].clear();
}

std::wstring GetGameExePath()
{
    return JoinPath(GetClusterInstallDir(ServerCluster), GAME_EXE_NAME);
}

std::wstring GetContentServerBase(int cluster)
{
    return ServerBase(cluster, ROLE_CONTENT, L"http://", L"");
}

std::wstring GetOriginServerBase(int cluster)
{
    return ServerBase(cluster, ROLE_ORIGIN, L"https://", L"");
}

std::wstring GetWebApiBase(int cluster)
{
    return ServerBase(cluster, ROLE_API, L"https://", L"/api/");
}

std::wstring GetStatsBase(int cluster)
{
    return ServerBase(cluster, ROLE_API, L"https://", L"/stats/");
}

std::wstring GetContentServerUrl()
{
    return GetContentServerBase(ServerCluster);
}
