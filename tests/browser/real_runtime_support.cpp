#include "real_runtime_support.h"

#include "app_folders.h"
#include "browser_runtime.h"
#include "launcher.h"
#include "runtime_loader.h"
#include "settings_store.h"
#include "test_support.h"

#include <tlhelp32.h>

#include <cwchar>

std::wstring RealRuntimeLauncherFolder()
{
    return testing_support::BuildFolder() + L"\\..\\cef\\";
}

bool RealRuntimeInstalled()
{
    return testing_support::FileExists(RealRuntimeLauncherFolder() + L"CEF3_1\\V5\\libcef.dll");
}

bool CiRun()
{
    return !testing_support::EnvW(L"CI").empty();
}

bool PrepareLauncherRun(const std::wstring& downloadFolder, const std::vector<std::string>& objects)
{
    using testing_support::TestServer;
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    std::wstring build = testing_support::BuildFolder();
    if (!CopyFileW((build + L"\\launcher.zip").c_str(), (launcherFolder + L"CEF3_1\\launcher.zip").c_str(),
                   FALSE) ||
        !CopyFileW((build + L"\\Launcher.exe").c_str(), (launcherFolder + L"Launcher.exe").c_str(), FALSE) ||
        !TestServer::Reset())
        return false;
    if (!testing_support::WriteFileBytes(launcherFolder + L"Vantorel.ini", TestServer::ServerConfig()))
        return false;
    std::string game =
        testing_support::Base64Encode(testing_support::ReadFileBytes(build + L"\\Vantorel.x64.exe"));
    std::vector<std::string> release = {R"({"name": "/Data/ready.txt.{md5}.bulk", "data_b64": "cmVhZHk="})",
                                        R"({"name": "/Vantorel.x64.exe.{md5}.bulk", "data_b64": ")" + game +
                                            "\"}"};
    release.insert(release.end(), objects.begin(), objects.end());
    std::string manifest;
    for (const std::string& object : release) {
        std::string stored = TestServer::Control("POST", "/__ctl/content/put", object);
        size_t name = stored.find("\"name\": \"");
        size_t size = stored.find("\"size\": ");
        if (name == std::string::npos || size == std::string::npos)
            return false;
        name += 9;
        size += 8;
        manifest += stored.substr(name, stored.find('"', name) - name) + "," +
                    stored.substr(size, stored.find_first_of(",}", size) - size) + "\r\n";
    }
    TestServer::Control("POST", "/__ctl/content/manifest", manifest);
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", downloadFolder.c_str());
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", 0);
    DeleteFileW(LauncherLogPath().c_str());
    return true;
}

std::wstring LauncherLogPath()
{
    return std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
}

bool RunAsBrowserSubProcess(int* exitCode)
{
    if (!wcsstr(GetCommandLineW(), L"--type="))
        return false;
    CefEnabled = true;
    LoadCEFLibFrom(RealRuntimeLauncherFolder() + L"CEF3_1\\");
    *exitCode = CefEnabled ? ExecuteCEFProcess(GetModuleHandleW(nullptr)) : 1;
    return true;
}

bool NoProcessLeft(const wchar_t* name, DWORD except)
{
    for (int turn = 0; turn < 100; ++turn) {
        bool found = false;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            found = found || (_wcsicmp(entry.szExeFile, name) == 0 && entry.th32ProcessID != except);
        CloseHandle(snapshot);
        if (!found)
            return true;
        Sleep(100);
    }
    return false;
}

void CaptureScreen(HWND window, const std::wstring& path)
{
    RECT place{};
    GetWindowRect(window, &place);
    int width = place.right - place.left;
    int height = place.bottom - place.top;
    int stride = (width * 3 + 3) & ~3;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    GdiFlush();

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + stride * height;
    std::string file(reinterpret_cast<const char*>(&header), sizeof(header));
    file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    file.append(static_cast<const char*>(bits), static_cast<size_t>(stride) * height);
    CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    testing_support::WriteFileBytes(path, file);

    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
}
