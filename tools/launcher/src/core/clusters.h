// Server clusters: per-cluster names, folders, game options and server
// addresses, and the install folders derived from the download folder.
//
// The current cluster is the LauncherSettings value ServerCluster
// (launcher_settings.h). Server hosts come from the server configuration
// (server_config.h).
#pragma once

#include <string>

enum ServerClusterId : int {
    SC_PUBLIC = 0,
    SC_TEST = 1,
    SC_DEV = 2,
    SC_MAX = 3, // the number of clusters; the stored default, never a cluster
};

// For clusters 0..2; every other value gives "" (a null-free empty text).
const wchar_t* GetClusterName(int cluster);       // "SC_PUBLIC", "SC_TEST", "SC_DEV"
const wchar_t* GetClusterFolderName(int cluster); // "Public", "Test", "Dev"
const wchar_t* GetClusterGameOption(int cluster); // " -cluster:public", ...
const char* GetClusterDisplayKey(int cluster);    // localisation keys "PUBLIC", "TEST", "DEV"

// Install folder of cluster 0..2, without a trailing "\": the download
// folder followed by "\" and the cluster's folder name, or in
// SingleClusterMode the download folder itself. The three entries are built
// together by the first call that finds its entry empty while the download
// folder is set, and then kept for the rest of the run. Any other cluster
// gives an empty text.
const std::wstring& GetClusterInstallDir(int cluster);

// Empties the three entries so the next call builds them again.
void ResetClusterInstallDirsForTest();

// Current cluster's install folder, "\" and "Vantorel.x64.exe".
std::wstring GetGameExePath();

// Server bases of a cluster; "" for a value other than 0, 1 and 2.
std::wstring GetContentServerBase(int cluster); // "http://" host, no trailing "/"
std::wstring GetOriginServerBase(int cluster);  // "https://" host
std::wstring GetWebApiBase(int cluster);        // "https://" host "/api/"
std::wstring GetStatsBase(int cluster);         // "https://" host "/stats/"

// Content server base of the current cluster.
std::wstring GetContentServerUrl();
