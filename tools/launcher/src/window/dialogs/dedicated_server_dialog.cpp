#include "dialogs/dedicated_server_dialog.h"

#include "dialogs/dialog_placement.h"
#include "game_launch.h"
#include "localization.h"

#include <vector>

const char* const DedicatedServerModes[] = {"SB_Title", "TDM_Title", "DM_Title", "CTF_Title", nullptr};

namespace {

constexpr size_t MODE_TEXT_CAPACITY = 1024;

void InitDedicatedServerDialog(HWND dialog)
{
    PlaceDialog(dialog);
    SetWindowTextByKey(dialog, "DEDICATED_SERVER", false);
    SetDlgItemTextByKey(dialog, IDC_DIALOG_OK, "OK");
    SetDlgItemTextByKey(dialog, IDC_DIALOG_CANCEL, "CANCEL");
    SendDlgItemMessageW(dialog, IDC_SERVER_MOTD, EM_LIMITTEXT, SERVER_MOTD_LIMIT, 0);

    HWND modes = GetDlgItem(dialog, IDC_SERVER_MODE);
    for (const char* const* mode = DedicatedServerModes; *mode; ++mode) {
        wchar_t text[MODE_TEXT_CAPACITY] = {};
        GetLocalizedTextBuffer(*mode, text, MODE_TEXT_CAPACITY);
        SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageW(modes, CB_SETCURSEL, 0, 0);

    SetDlgItemTextByKey(dialog, IDC_CLAN_ONLY, "CLAN_ONLY");
    SetDlgItemTextByKey(dialog, IDC_ALT_MODE, "ALT_MODE");
}

// The record lives for the launch only.
void StartServer(HWND dialog)
{
    DedicatedServerOptions options;
    ReadDedicatedServerOptions(dialog, options);
    LaunchGame(dialog, 1, &options);
    EndDialog(dialog, 0);
}

} // namespace

void ReadDedicatedServerOptions(HWND dialog, DedicatedServerOptions& options)
{
    options.clanOnly = IsDlgButtonChecked(dialog, IDC_CLAN_ONLY) == BST_CHECKED;

    LRESULT mode = SendDlgItemMessageW(dialog, IDC_SERVER_MODE, CB_GETCURSEL, 0, 0);
    constexpr LRESULT MODE_COUNT = sizeof(DedicatedServerModes) / sizeof(DedicatedServerModes[0]) - 1;
    if (mode >= 0 && mode < MODE_COUNT)
        options.missionId = DedicatedServerModes[mode];

    HWND motd = GetDlgItem(dialog, IDC_SERVER_MOTD);
    int length = GetWindowTextLengthW(motd);
    if (length > 0 && length <= SERVER_MOTD_LIMIT) {
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
        int read = GetWindowTextW(motd, text.data(), length + 1);
        options.motd.assign(text.data(), static_cast<size_t>(read > 0 ? read : 0));
    }

    options.altPvpMode = IsDlgButtonChecked(dialog, IDC_ALT_MODE) == BST_CHECKED;
}

INT_PTR CALLBACK DedicatedServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDedicatedServerDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        if (LOWORD(wParam) == IDC_DIALOG_OK) {
            StartServer(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_DIALOG_CANCEL) {
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
