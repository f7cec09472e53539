#include "pick_directory_step.h"

#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "settings_store.h"
#include "step_page.h"
#include "strings.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

wchar_t DefaultInstallFolder[MAX_PATH] = {};
bool DefaultInstallFolderCreated = false;

namespace {

constexpr UINT BROWSE_FLAGS = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;

// Proposes the first default folder that exists or can be made.
void ProposeDefaultFolder(HWND dialog)
{
    for (int folderId : {CSIDL_PROGRAM_FILES, CSIDL_LOCAL_APPDATA}) {
        if (FAILED(
                SHGetFolderPathW(nullptr, folderId | CSIDL_FLAG_CREATE, nullptr, 0, DefaultInstallFolder))) {
            LogPrintf(L"SHGetFolderPath %08X failed\n", folderId);
            continue;
        }
        AppendString(DefaultInstallFolder, MAX_PATH, L"\\");
        AppendString(DefaultInstallFolder, MAX_PATH, L"Vantorel");
        int result = SHCreateDirectoryExW(nullptr, DefaultInstallFolder, nullptr);
        if (result == ERROR_SUCCESS) {
            LogPrintf(L"Created default install directory %s\n", DefaultInstallFolder);
            DefaultInstallFolderCreated = true;
        } else if (result == ERROR_ALREADY_EXISTS) {
            LogPrintf(L"Pre-existing default install directory %s\n", DefaultInstallFolder);
        } else {
            LogPrintf(L"Could not create default install directory %s\n", DefaultInstallFolder);
            continue;
        }
        SendMessageW(dialog, BFFM_SETEXPANDED, 1, reinterpret_cast<LPARAM>(DefaultInstallFolder));
        SendMessageW(dialog, BFFM_SETSELECTIONW, 1, reinterpret_cast<LPARAM>(DefaultInstallFolder));
        return;
    }
}

void ForgetUnusedDefaultFolder(bool cancelled, const wchar_t* chosen)
{
    if (!DefaultInstallFolderCreated || (!cancelled && wcscmp(chosen, DefaultInstallFolder) == 0))
        return;
    LogPrintf(L"Remving unused default install directory %s\n", DefaultInstallFolder);
    if (!RemoveDirectoryW(DefaultInstallFolder))
        LogPrintf(L"Could not remove default install directory %s\n", DefaultInstallFolder);
    DefaultInstallFolderCreated = false;
    DefaultInstallFolder[0] = L'\0';
}

// Keeps the edit box's text when OK is pressed: the dialog's own result may
// be the tree's selection whatever was typed.
LRESULT CALLBACK KeepEditText(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR data)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        auto* choice = reinterpret_cast<FolderChoice*>(data);
        HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
        if (edit)
            GetWindowTextW(edit, choice->edit, MAX_PATH);
    }
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(dialog, KeepEditText, 1);
    return DefSubclassProc(dialog, message, wParam, lParam);
}

// One showing of the dialog. False when it was cancelled; choice holds the
// folder otherwise (possibly empty).
bool ShowFolderDialog(HWND parent, FolderChoice& choice)
{
    wchar_t title[512] = {};
    GetLocalizedTextBuffer("SELECT_INSTALL_FOLDER", title, 512);
    BROWSEINFOW info = {};
    info.hwndOwner = parent;
    info.lpszTitle = title;
    info.ulFlags = BROWSE_FLAGS;
    info.lpfn = BrowseCallbackProc;
    info.lParam = reinterpret_cast<LPARAM>(&choice);
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list)
        return false;
    // The folder typed into the edit box is the one chosen, whatever the
    // tree shows: a full path typed there wins; otherwise the dialog's
    // result (which is the typed folder when the dialog resolved it).
    wchar_t path[MAX_PATH] = {};
    if (choice.edit[0] && !PathIsRelativeW(choice.edit)) {
        CopyString(choice.path, MAX_PATH, choice.edit);
        PathRemoveBackslashW(choice.path);
    } else if (!choice.typed && SHGetPathFromIDListW(list, path)) {
        CopyString(choice.path, MAX_PATH, path);
    }
    CoTaskMemFree(list);
    return true;
}

// Makes "<folder>\Downloaded"; false after telling the user why not.
bool MakeDownloadFolder(HWND parent, const wchar_t* chosen, std::wstring& folder)
{
    wchar_t volume[MAX_PATH] = {};
    if (!GetVolumePathNameW(chosen, volume, MAX_PATH)) {
        LogPrintf(L"GetVolumePathName(%s) failed", chosen);
    } else if (IsUnsupportedFileSystem(volume)) {
        MessageBoxByKey(parent, "UNSUPPORTED_FILE_SYSTEM", "OK", MB_ICONERROR);
        return false;
    }
    wchar_t path[MAX_PATH] = {};
    CopyString(path, MAX_PATH, chosen);
    AppendString(path, MAX_PATH, L"\\");
    AppendString(path, MAX_PATH, L"Downloaded");
    int result = SHCreateDirectoryExW(nullptr, path, nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) {
        LogPrintf(L"Could not create download directory %s\n", path);
        MessageBoxByKey(parent, "UNUSABLE_INSTALL_FOLDER", "OK", MB_ICONERROR);
        return false;
    }
    folder = path;
    return true;
}

} // namespace

int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM item, LPARAM data)
{
    auto* choice = reinterpret_cast<FolderChoice*>(data);
    switch (message) {
    case BFFM_INITIALIZED:
        SetWindowSubclass(dialog, KeepEditText, 1, reinterpret_cast<DWORD_PTR>(choice));
        ProposeDefaultFolder(dialog);
        break;
    case BFFM_SELCHANGED:
        choice->path[0] = L'\0';
        if (!item || !SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), choice->path))
            choice->path[0] = L'\0';
        break;
    case BFFM_VALIDATEFAILEDW:
        CopyString(choice->path, MAX_PATH, reinterpret_cast<const wchar_t*>(item));
        choice->typed = true;
        break;
    default:
        break;
    }
    return 0;
}

std::wstring InstallFolderOfModule(const wchar_t* modulePath)
{
    std::wstring path = modulePath;
    for (int level = 0; level < 2; ++level) {
        size_t slash = path.find_last_of(L"\\/");
        path.erase(slash == std::wstring::npos ? 0 : slash);
    }
    return path;
}

bool IsUnsupportedFileSystem(const wchar_t* volume)
{
    wchar_t name[MAX_PATH] = {};
    if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH))
        return false;
    return wcscmp(name, L"FAT") == 0 || wcscmp(name, L"FAT32") == 0 || wcscmp(name, L"CDFS") == 0;
}

namespace {

// Where nothing can be asked, the run ends: asking again would never end.
HWND EndTheRunUnasked(HWND parent)
{
    LogPrintf(L"Could not ask for the install folder: the run ends (exit code %d)\n", EXIT_NO_STEP_PAGE);
    PostQuitMessage(EXIT_NO_STEP_PAGE);
    return parent;
}

// The person chose to quit. Headless, the script that started the run did
// not get its work done and has to know why.
void EndConfirmedQuit()
{
    if (!HeadlessMode) {
        PostQuitMessage(0);
        return;
    }
    LogWrite(L"The run was given up at the install-folder question\n");
    EndFailedRun(EXIT_RUN_FAILED);
}

} // namespace

HWND ReqPickDirectory::Run(HWND parent)
{
    if (SingleClusterMode) {
        wchar_t module[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, module, MAX_PATH);
        wchar_t full[MAX_PATH] = {};
        DWORD length = GetFullPathNameW(module, MAX_PATH, full, nullptr);
        DownloadFolder = InstallFolderOfModule(length > 0 && length < MAX_PATH ? full : module);
        return nullptr;
    }
    if (!DownloadFolder.empty())
        return nullptr;
    // Without the launcher's own window (no window driver) the folder dialog
    // cannot be shown either, and may never return.
    if (!IsWindow(parent))
        return EndTheRunUnasked(parent);
    while (DownloadFolder.empty()) {
        FolderChoice choice;
        bool taken = ShowFolderDialog(parent, choice);
        ForgetUnusedDefaultFolder(!taken, choice.path);
        if (!taken || choice.path[0] == L'\0') {
            int answer = MessageBoxByKey(parent, "CONFIRM_QUIT", "QUIT",
                                         MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
            if (answer == IDOK) {
                EndConfirmedQuit();
                return parent;
            }
            // Where no window can be shown (no window driver) neither the
            // dialog nor the question appears (the box fails with 0, or
            // under Wine with -1): asking again would never end.
            if (answer <= 0)
                return EndTheRunUnasked(parent);
            continue;
        }
        std::wstring folder;
        if (MakeDownloadFolder(parent, choice.path, folder))
            DownloadFolder = folder;
    }
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", DownloadFolder.c_str());
    return nullptr;
}
