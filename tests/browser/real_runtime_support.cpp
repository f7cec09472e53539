#include "real_runtime_support.h"

#include "browser_runtime.h"
#include "launcher.h"
#include "runtime_loader.h"
#include "test_support.h"

#include <cwchar>

std::wstring RealRuntimeLauncherFolder()
{
    return testing_support::BuildFolder() + L"\\..\\cef\\";
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
