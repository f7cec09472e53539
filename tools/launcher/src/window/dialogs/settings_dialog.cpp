#include "dialogs/settings_dialog.h"

#include "applets/maintenance_requests.h"
#include "dialogs/dedicated_server_dialog.h"
#include "dialogs/dialog_placement.h"
#include "dialogs/versions_dialog.h"
#include "drawing_resources.h"
#include "game_launch.h"
#include "launcher_settings.h"
#include "localization.h"
#include "machine/directx_step.h"
#include "machine/platform_step.h"
#include "machine/ready_to_play_step.h"
#include "requirement.h"
#include "settings_store.h"
#include "step_message_gate.h"
#include "step_messages.h"

namespace {

// Every question defaults to Cancel, and only OK counts as yes.
constexpr UINT QUESTION = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;
constexpr size_t LIST_TEXT_CAPACITY = 128;
constexpr int DRIVER_COUNT = 3;

const char* const GraphicsApiNames[DRIVER_COUNT] = {"GRAPHICS_DRIVER_DX10", "GRAPHICS_DRIVER_DX11",
                                                    "GRAPHICS_DRIVER_DX12"};

struct ItemKey {
    int id;
    const char* key;
};

const ItemKey ItemTexts[] = {
    {IDC_GRAPHICS_API_GROUP, "GRAPHICS_API"},
    {IDC_GRAPHICS_ENGINE_GROUP, "GRAPHICS_ENGINE"},
    {IDC_SETTINGS_GROUP, "SETTINGS"},
    {IDC_FULL_SCREEN, "ENABLE_FULL_SCREEN"},
    {IDC_BULK_DOWNLOAD, "ENABLE_BULK_DOWNLOAD"},
    {IDC_AGGRESSIVE_DOWNLOAD, "ENABLE_AGGRESSIVE_DOWNLOAD"},
    {IDC_THREADED_RENDERING, "ENABLE_THREADED_RENDERING"},
    {IDC_LAUNCHER_GPU, "LAUNCHER_GPU"},
    {IDC_CACHE_GROUP, "DOWNLOAD_CACHE"},
    {IDC_VERIFY, "VERIFY"},
    {IDC_DEFRAG, "DEFRAG"},
    {IDC_DIAGNOSTICS_GROUP, "DIAGNOSTICS"},
    {IDC_GET_LOGS, "GET_LOGS"},
    {IDC_VERSIONS, "VERSIONS"},
    {IDC_SERVER_GROUP, "DEDICATED_SERVER"},
    {IDC_START_SERVER, "START_SERVER"},
    {IDC_DIALOG_OK, "OK"},
    {IDC_DIALOG_CANCEL, "CANCEL"},
};

// Clearing one of these boxes asks first.
const ItemKey SettingsConfirmations[] = {
    {IDC_BULK_DOWNLOAD, "CONFIRM_BULK_DOWNLOAD"},
    {IDC_AGGRESSIVE_DOWNLOAD, "CONFIRM_AGGRESSIVE_DOWNLOAD"},
    {IDC_THREADED_RENDERING, "CONFIRM_THREADING"},
};

// List position -> GraphicsAPI value, filled when the dialog opens.
int GraphicsApiListMap[DRIVER_COUNT] = {};
// The driver list's accepted position (CB_ERR for none): where a refused
// choice goes back to. One settings dialog is open at a time.
LRESULT AcceptedDriver = CB_ERR;

HWND Owner(HWND dialog)
{
    return GetWindow(dialog, GW_OWNER);
}

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Tick(HWND dialog, int id, bool ticked)
{
    CheckDlgButton(dialog, id, ticked ? BST_CHECKED : BST_UNCHECKED);
}

bool KeyHeld(int key)
{
    return GetKeyState(key) < 0;
}

LRESULT Selection(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
}

void AddListText(HWND list, const char* key)
{
    wchar_t text[LIST_TEXT_CAPACITY] = {};
    GetLocalizedTextBuffer(key, text, LIST_TEXT_CAPACITY);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Only the supported drivers are offered; a stored driver that is not
// among them leaves the list without a selection.
void FillDriverList(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_GRAPHICS_API);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int position = 0;
    for (int driver = 0; driver < DRIVER_COUNT; ++driver) {
        if (!GraphicsApiSupported[driver])
            continue;
        AddListText(list, GraphicsApiNames[driver]);
        if (driver == GraphicsAPI)
            SendMessageW(list, CB_SETCURSEL, position, 0);
        GraphicsApiListMap[position++] = driver;
    }
    for (; position < DRIVER_COUNT; ++position)
        GraphicsApiListMap[position] = GraphicsAPI;
    AcceptedDriver = SendMessageW(list, CB_GETCURSEL, 0, 0);
}

void InitSettingsDialog(HWND dialog)
{
    PlaceDialog(dialog);
    SetWindowTextByKey(dialog, "SETTINGS", false);
    for (const ItemKey& item : ItemTexts)
        SetDlgItemTextByKey(dialog, item.id, item.key);

    Tick(dialog, IDC_FULL_SCREEN, EnableFullScreen);
    FillDriverList(dialog);
    HWND engine = GetDlgItem(dialog, IDC_GRAPHICS_ENGINE);
    SendMessageW(engine, CB_RESETCONTENT, 0, 0);
    AddListText(engine, "GRAPHICS_ENGINE_FORWARD");
    AddListText(engine, "GRAPHICS_ENGINE_DEFERRED");
    SendMessageW(engine, CB_SETCURSEL, EnableDeferred ? 1 : 0, 0);

    Tick(dialog, IDC_BULK_DOWNLOAD, EnableBulkDownload);
    Tick(dialog, IDC_AGGRESSIVE_DOWNLOAD, EnableAggressiveDownload);
    Tick(dialog, IDC_LAUNCHER_GPU, LauncherGPU);
    Tick(dialog, IDC_THREADED_RENDERING, MTRenderingSupported && EnableMTRendering);
    EnableWindow(GetDlgItem(dialog, IDC_THREADED_RENDERING), MTRenderingSupported);
    EnableWindow(GetDlgItem(dialog, IDC_START_SERVER), ReadyToPlayShown && !LaunchedModes[1]);
}

// DirectX 11, and the stored driver, are taken without a question. A
// refused driver is never left selected: the list goes back to the choice
// it held before, so OK cannot store it unconfirmed.
void ChooseDriver(HWND dialog)
{
    LRESULT selection = Selection(dialog, IDC_GRAPHICS_API);
    if (selection < 0 || selection >= DRIVER_COUNT)
        return;
    int driver = GraphicsApiListMap[selection];
    const char* question = driver == 0 ? "CONFIRM_OLD_DRIVER" : driver == 2 ? "CONFIRM_DX12_DRIVER" : nullptr;
    if (driver == GraphicsAPI || !question ||
        MessageBoxByKey(dialog, question, "WARNING", QUESTION) == IDOK) {
        AcceptedDriver = selection;
        return;
    }
    SendDlgItemMessageW(dialog, IDC_GRAPHICS_API, CB_SETCURSEL, static_cast<WPARAM>(AcceptedDriver), 0);
}

// False when the click cleared a box whose question was not answered yes;
// the box is then ticked again.
bool ConfirmClearedBox(HWND dialog, int id)
{
    for (const ItemKey& confirmation : SettingsConfirmations) {
        if (confirmation.id != id || Ticked(dialog, id))
            continue;
        if (MessageBoxByKey(dialog, confirmation.key, "WARNING", QUESTION) == IDOK)
            return true;
        Tick(dialog, id, true);
        return false;
    }
    return true;
}

// Takes the dialog's values into LauncherSettings and closes it. A changed
// driver or bulk download restarts the main chain, as does any action that
// asks for it.
void StoreAndClose(HWND dialog, bool restart)
{
    EnableFullScreen = Ticked(dialog, IDC_FULL_SCREEN);
    LRESULT selection = Selection(dialog, IDC_GRAPHICS_API);
    if (selection >= 0 && selection < DRIVER_COUNT && GraphicsApiListMap[selection] != GraphicsAPI) {
        GraphicsAPI = GraphicsApiListMap[selection];
        restart = true;
    }
    EnableDeferred = Selection(dialog, IDC_GRAPHICS_ENGINE) == 1;
    bool bulk = Ticked(dialog, IDC_BULK_DOWNLOAD);
    if (bulk != EnableBulkDownload)
        restart = true;
    EnableBulkDownload = bulk;
    EnableAggressiveDownload = Ticked(dialog, IDC_AGGRESSIVE_DOWNLOAD);
    LauncherGPU = Ticked(dialog, IDC_LAUNCHER_GPU);
    if (MTRenderingSupported)
        EnableMTRendering = Ticked(dialog, IDC_THREADED_RENDERING);
    if (restart)
        PostStepFailed(Owner(dialog), nullptr, CHAIN_MAIN);
    EndDialog(dialog, 0);
}

void Verify(HWND dialog)
{
    bool pending = IsVerifyPending();
    if (MessageBoxByKey(dialog, pending ? "CANCEL_VERIFY" : "VERIFY_PROMPT", "VERIFY_CAPTION", QUESTION) !=
        IDOK)
        return;
    SetVerifyPending(!pending);
    StoreAndClose(dialog, true);
}

void GetLogs(HWND dialog)
{
    if (MessageBoxByKey(dialog, "GET_LOGS_WARNING", "WARNING", QUESTION) != IDOK)
        return;
    PostStepFailed(Owner(dialog), nullptr, CHAIN_SUPPORT);
    StoreAndClose(dialog, false);
}

// The settings dialog ends first and owns the server dialog while that one
// is up; it closes when the server dialog returns. Nothing is stored.
void StartServer(HWND dialog)
{
    EndDialog(dialog, 0);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DEDICATED_SERVER), dialog,
                    DedicatedServerDialogProc, 0);
}

// The hidden switch to the test cluster: Control, Alt and Shift held on
// VERSIONS while only the public cluster is open to the user.
void SwitchToTestCluster(HWND dialog)
{
    if (SingleClusterMode) {
        MessageBoxByKey(dialog, "TEST_CLUSTER_REQUIRES_MSI", "TEST_CLUSTER_CAPTION", MB_ICONERROR);
        return;
    }
    HWND owner = Owner(dialog);
    HWND mainButton = GetDlgItem(owner, IDC_MAIN_BUTTON);
    if (!mainButton || !IsWindowEnabled(mainButton)) {
        MessageBoxByKey(dialog, "TEST_CLUSTER_REQUIRES_PUBLIC", "TEST_CLUSTER_CAPTION", MB_ICONERROR);
        return;
    }
    MessageBoxByKey(dialog, "TEST_CLUSTER_ENABLED", "TEST_CLUSTER_CAPTION", MB_ICONINFORMATION);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 1);
    ClusterAccessLevel = 1;
    ServerCluster = SC_TEST;
    HWND cluster = GetDlgItem(owner, IDC_CLUSTER);
    SetWindowTextW(cluster, ClusterNames[SC_TEST]);
    ShowWindow(cluster, SW_SHOW);
    StoreAndClose(dialog, true);
}

void Versions(HWND dialog)
{
    if (ClusterAccessLevel == 0 && KeyHeld(VK_CONTROL) && KeyHeld(VK_MENU) && KeyHeld(VK_SHIFT)) {
        SwitchToTestCluster(dialog);
        return;
    }
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VERSIONS), dialog, VersionsDialogProc, 0);
}

void Click(HWND dialog, int id)
{
    if (!ConfirmClearedBox(dialog, id))
        return;
    switch (id) {
    case IDC_VERIFY:
        Verify(dialog);
        break;
    case IDC_DEFRAG:
        DefragTrigger = -1;
        StoreAndClose(dialog, true);
        break;
    case IDC_START_SERVER:
        StartServer(dialog);
        break;
    case IDC_GET_LOGS:
        GetLogs(dialog);
        break;
    case IDC_DIALOG_OK:
        StoreAndClose(dialog, false);
        break;
    case IDC_VERSIONS:
        Versions(dialog);
        break;
    case IDC_DIALOG_CANCEL:
        EndDialog(dialog, 0);
        break;
    default:
        break;
    }
}

} // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitSettingsDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == IDC_GRAPHICS_API)
            ChooseDriver(dialog);
        else if (HIWORD(wParam) == BN_CLICKED)
            Click(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
