#include "wizard_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>

#include "resource_ids.h"
#include "test_support.h"

namespace wizard_testing {

namespace {

// The sheet's own buttons.
constexpr int BACK_BUTTON = 0x3023;
constexpr int NEXT_BUTTON = 0x3024;
constexpr int FINISH_BUTTON = 0x3025;
constexpr UINT TICK_MS = 50;

WizardDriver* ActiveDriver = nullptr;

struct Search {
    HWND found = nullptr;
    int childId = 0;
};

BOOL CALLBACK FindDialogWithChild(HWND window, LPARAM lParam)
{
    Search* search = reinterpret_cast<Search*>(lParam);
    wchar_t name[32];
    if (!IsWindowVisible(window) || !GetClassNameW(window, name, 32) || wcscmp(name, L"#32770") != 0)
        return TRUE;
    if (!GetDlgItem(window, search->childId))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindThreadDialog(int childId, DWORD threadId = GetCurrentThreadId())
{
    Search search;
    search.childId = childId;
    EnumThreadWindows(threadId, FindDialogWithChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ButtonActive(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    int read = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(read > 0 ? read : 0));
    return text;
}

BOOL CALLBACK RecordChild(HWND child, LPARAM lParam)
{
    Visit* visit = reinterpret_cast<Visit*>(lParam);
    int id = GetDlgCtrlID(child);
    if (id > 0 && visit->texts.find(id) == visit->texts.end()) {
        visit->texts[id] = WindowText(child);
        visit->visible[id] = IsWindowVisible(child) != FALSE;
    }
    return TRUE;
}

void Press(HWND sheet, int button)
{
    PostMessageW(sheet, PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

void Click(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Ends whatever is up: the details dialog first, then the sheet.
void Abandon()
{
    if (HWND details = FindThreadDialog(IDC_DETAILS_TEXT)) {
        PostMessageW(details, WM_SYSCOMMAND, SC_CLOSE, 0);
        return;
    }
    if (HWND sheet = FindWizardSheet()) {
        Press(sheet, PSBTN_CANCEL);
        Press(sheet, PSBTN_FINISH);
    }
}

} // namespace

std::wstring ArtifactsFolder()
{
    std::wstring folder = testing_support::BuildFolder() + L"\\artifacts";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool CaptureWindow(HWND window, const std::wstring& path)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT area;
    if (!GetClientRect(window, &area))
        return false;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as a BMP file stores it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    info.biSizeImage = stride * static_cast<DWORD>(height);

    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP picture =
        CreateDIBSection(windowDc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (picture) {
        HGDIOBJ old = SelectObject(memoryDc, picture);
        copied = BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memoryDc, old);
    }
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);

    bool written = false;
    if (copied) {
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof(file) + sizeof(info);
        file.bfSize = file.bfOffBits + info.biSizeImage;
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
        bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
        bytes.append(static_cast<const char*>(bits), info.biSizeImage);
        written = testing_support::WriteFileBytes(path, bytes);
    }
    if (picture)
        DeleteObject(picture);
    return written;
}

HWND FindWizardSheet()
{
    return FindThreadDialog(NEXT_BUTTON);
}

HWND FindWizardSheetOf(DWORD threadId)
{
    return FindThreadDialog(NEXT_BUTTON, threadId);
}

int CurrentPageId(HWND sheet)
{
    HWND page = PropSheet_GetCurrentPageHwnd(sheet);
    if (!page)
        return 0;
    int index = PropSheet_HwndToIndex(sheet, page);
    if (index < 0)
        return 0;
    return static_cast<int>(PropSheet_IndexToId(sheet, index));
}

WizardDriver::WizardDriver(std::vector<Step> script, unsigned timeLimitMs)
    : script_(std::move(script)), ticksLeft_(timeLimitMs / TICK_MS)
{
    ActiveDriver = this;
    timer_ = SetTimer(nullptr, 0, TICK_MS, OnTick);
}

WizardDriver::~WizardDriver()
{
    KillTimer(nullptr, timer_);
    ActiveDriver = nullptr;
}

void CALLBACK WizardDriver::OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (ActiveDriver)
        ActiveDriver->Tick();
}

void WizardDriver::Tick()
{
    if (busy_)
        return;
    busy_ = true;
    if (HWND sheet = FindWizardSheet()) {
        int page = CurrentPageId(sheet);
        if (page != 0 && (pagesSeen_.empty() || pagesSeen_.back() != page))
            pagesSeen_.push_back(page);
    }
    if (timedOut_ || ticksLeft_ == 0) {
        timedOut_ = true;
        Abandon();
    } else {
        --ticksLeft_;
        if (next_ < script_.size() && RunStep(script_[next_]))
            ++next_;
    }
    busy_ = false;
}

bool WizardDriver::RunStep(const Step& step)
{
    Visit visit;
    visit.page = step.page;
    HWND window = nullptr;  // the sheet or the details dialog
    HWND content = nullptr; // the page or the details dialog
    if (step.page == DETAILS_DIALOG) {
        window = content = FindThreadDialog(IDC_DETAILS_TEXT);
        if (!window)
            return false;
    } else {
        window = FindWizardSheet();
        if (!window || CurrentPageId(window) != step.page)
            return false;
        if (step.waitForForward && !ButtonActive(window, NEXT_BUTTON) && !ButtonActive(window, FINISH_BUTTON))
            return false;
        content = PropSheet_GetCurrentPageHwnd(window);
        visit.back = ButtonActive(window, BACK_BUTTON);
        visit.next = ButtonActive(window, NEXT_BUTTON);
        visit.finish = ButtonActive(window, FINISH_BUTTON);
        visit.cancel = ButtonActive(window, IDCANCEL);
    }
    if (step.action == Action::TYPE_AND_NEXT)
        SetDlgItemTextW(content, IDC_REPRO_EDIT, step.text.c_str()); // shown in the screenshot
    visit.caption = WindowText(window);
    EnumChildWindows(content, RecordChild, reinterpret_cast<LPARAM>(&visit));
    if (!step.screenshot.empty()) {
        std::wstring path = ArtifactsFolder() + L"\\" + step.screenshot + L".bmp";
        if (CaptureWindow(window, path))
            visit.screenshot = path;
    }
    visits_.push_back(visit);

    switch (step.action) {
    case Action::LOOK:
        break;
    case Action::NEXT:
        Press(window, PSBTN_NEXT);
        break;
    case Action::BACK:
        Press(window, PSBTN_BACK);
        break;
    case Action::FINISH:
        Press(window, PSBTN_FINISH);
        break;
    case Action::CANCEL:
        Press(window, PSBTN_CANCEL);
        break;
    case Action::TYPE_AND_NEXT:
        Press(window, PSBTN_NEXT);
        break;
    case Action::CLICK_DETAILS:
    case Action::SHOW_IN_EXPLORER:
        Click(content, IDC_DETAILS);
        break;
    case Action::OK:
        Click(content, IDOK);
        break;
    case Action::CLOSE:
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    return true;
}

} // namespace wizard_testing
