#include "release_fixture.h"

#include "app_folders.h"
#include "launcher_process.h"
#include "md5.h"
#include "settings_store.h"

#include <windows.h>

using testing_support::TestServer;

std::string Narrow(const std::wstring& wide)
{
    return std::string(wide.begin(), wide.end());
}

std::wstring Wide(const std::string& narrow)
{
    return std::wstring(narrow.begin(), narrow.end());
}

ReleaseFixture::ReleaseFixture()
{
    TestServer::Reset();
    iniPath_ = testing_support::BuildFolder() + L"\\Vantorel.ini";
    hadIni_ = testing_support::FileExists(iniPath_);
    if (hadIni_)
        savedIni_ = testing_support::ReadFileBytes(iniPath_);
    testing_support::WriteFileBytes(iniPath_, TestServer::ServerConfig());

    wchar_t saved[MAX_PATH] = {};
    ReadSettingString(SCOPE_CLIENT_TYPE, saved, MAX_PATH, L"DownloadDir");
    savedDownloadDir_ = saved;
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", downloadDir_.path().c_str());
    savedStats_ = ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 1);
    savedCluster_ = ReadSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 3);
    savedTestAccess_ = ReadSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 0);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 0);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 0);

    installDir = downloadDir_.path() + L"\\Public";
    launcherDir = std::wstring(GetLocalDataFolder()) + L"\\Downloaded\\Public";
    testing_support::RemoveTree(launcherDir);
}

ReleaseFixture::~ReleaseFixture()
{
    testing_support::RemoveTree(launcherDir);
    if (hadIni_)
        testing_support::WriteFileBytes(iniPath_, savedIni_);
    else
        DeleteFileW(iniPath_.c_str());
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", savedDownloadDir_.c_str());
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", savedStats_);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", savedCluster_);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", savedTestAccess_);
}

void ReleaseFixture::UseTestCluster()
{
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 1);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 1);
    installDir = downloadDir_.path() + L"\\Test";
    testing_support::RemoveTree(launcherDir);
    launcherDir = std::wstring(GetLocalDataFolder()) + L"\\Downloaded\\Test";
    testing_support::RemoveTree(launcherDir);
}

ReleaseFile& ReleaseFixture::Add(const std::string& path, int64_t size, int seed, bool lzma)
{
    ContentObject object = content_server::Put(path + ".{md5}" + (lzma ? ".lzma" : ".bulk"), size, seed);
    ReleaseFile file{path, object.name, object.md5, object.objectSize, L""};
    bool launcher = path.rfind("/Tools/", 0) == 0;
    std::wstring local = (launcher ? launcherDir : installDir) + Wide(path);
    for (wchar_t& c : local)
        c = c == L'/' ? L'\\' : c;
    file.localPath = local;
    files.push_back(file);
    return files.back();
}

ReleaseFile& ReleaseFixture::AddBytes(const std::string& path, const std::string& bytes, bool lzma)
{
    ContentObject object = content_server::PutBytes(path + ".{md5}" + (lzma ? ".lzma" : ".bulk"), bytes);
    ReleaseFile file{path, object.name, object.md5, object.objectSize, L""};
    bool launcher = path.rfind("/Tools/", 0) == 0;
    std::wstring local = (launcher ? launcherDir : installDir) + Wide(path);
    for (wchar_t& c : local)
        c = c == L'/' ? L'\\' : c;
    file.localPath = local;
    files.push_back(file);
    return files.back();
}

bool ReleaseFixture::Publish(const std::string& extraLines)
{
    std::string text;
    for (const ReleaseFile& file : files)
        text += file.name + "," + std::to_string(file.objectSize) + "\r\n";
    text += extraLines;
    // The game's stand-in, listed and already installed, so that the applet
    // steps after the update passes find the game and nothing more is fetched.
    std::wstring game = testing_support::BuildFolder() + L"\\Vantorel.x64.exe";
    ContentObject object =
        content_server::PutBytes("/Vantorel.x64.exe.{md5}.bulk", testing_support::ReadFileBytes(game));
    CreateDirectoryW(installDir.c_str(), nullptr);
    CopyFileW(game.c_str(), (installDir + L"\\Vantorel.x64.exe").c_str(), FALSE);
    text += object.name + "," + std::to_string(object.objectSize) + "\r\n";
    return content_server::PutManifest(text).ok;
}

std::optional<int> ReleaseFixture::Run(const std::wstring& arguments)
{
    LauncherProcess launcher(arguments);
    std::optional<int> code = launcher.RunToItsEnd();
    lastPage_ = launcher.LastPage();
    return code;
}

std::string ReleaseFixture::Log() const
{
    return testing_support::ReadFileBytes(std::wstring(GetLocalDataFolder()) + L"\\Launcher.log");
}

std::vector<std::string> ReleaseFixture::NewRequests()
{
    std::vector<std::string> paths;
    for (const auto& request : NewRecordedRequests())
        paths.push_back(request.path);
    return paths;
}

std::vector<testing_support::RecordedRequest> ReleaseFixture::NewRecordedRequests()
{
    auto requests = TestServer::Requests();
    std::vector<testing_support::RecordedRequest> fresh;
    for (size_t i = seenRequests_; i < requests.size(); ++i)
        fresh.push_back(requests[i]);
    seenRequests_ = requests.size();
    return fresh;
}

std::vector<std::wstring> FindFiles(const std::wstring& folder, const std::wstring& suffix)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW item;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &item);
    if (find == INVALID_HANDLE_VALUE)
        return found;
    do {
        std::wstring name = item.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring path = folder + L"\\" + name;
        if (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const std::wstring& inner : FindFiles(path, suffix))
                found.push_back(inner);
        } else if (name.size() >= suffix.size() &&
                   name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            found.push_back(path);
        }
    } while (FindNextFileW(find, &item));
    FindClose(find);
    return found;
}

std::string FileMd5(const std::wstring& path)
{
    if (!testing_support::FileExists(path))
        return "";
    std::string bytes = testing_support::ReadFileBytes(path);
    Md5Context context;
    MD5Init(context);
    MD5Update(context, bytes.data(), bytes.size());
    return Narrow(MD5FinalText(context));
}
