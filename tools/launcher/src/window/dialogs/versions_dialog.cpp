#include "dialogs/versions_dialog.h"

#include "clusters.h"
#include "dialogs/dialog_placement.h"
#include "localization.h"
#include "strings.h"

std::wstring LauncherVersion;

void FillVersionsDialog(HWND dialog)
{
    if (LauncherVersion.empty()) {
        wchar_t path[MAX_PATH] = {};
        if (GetModuleFileNameW(nullptr, path, MAX_PATH))
            GetProductVersion(path, LauncherVersion);
    }
    SetDlgItemTextW(dialog, IDC_LAUNCHER_VERSION, LauncherVersion.c_str());

    std::wstring engine;
    HWND engineVersion = GetDlgItem(dialog, IDC_ENGINE_VERSION);
    if (GetProductVersion(GetGameExePath().c_str(), engine)) {
        SetWindowTextW(engineVersion, engine.c_str());
        ShowWindow(engineVersion, SW_SHOW);
    } else {
        ShowWindow(engineVersion, SW_HIDE);
    }
}

INT_PTR CALLBACK VersionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        PlaceDialog(dialog);
        SetWindowTextByKey(dialog, "VERSIONS", false);
        SetDlgItemTextByKey(dialog, IDC_DIALOG_OK, "OK");
        SetDlgItemTextByKey(dialog, IDC_LAUNCHER_LABEL, "LAUNCHER");
        SetDlgItemTextByKey(dialog, IDC_ENGINE_LABEL, "ENGINE");
        FillVersionsDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_DIALOG_OK) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
