#include "wizard.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "scoped_handles.h"
#include "jpeg_bitmap.h"
#include "resource_ids.h"
#include "wizard_pages.h"

namespace {

// Every class of the common controls the wizard may meet.
constexpr DWORD ALL_COMMON_CONTROL_CLASSES = 0xFF;

// The message font, bold and half as large again, for the page summaries.
HFONT CreateTitleFont()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return nullptr;
    LOGFONTW font = metrics.lfMessageFont;
    font.lfWeight = FW_BOLD;
    font.lfHeight = font.lfHeight * 3 / 2;
    return CreateFontIndirectW(&font);
}

} // namespace

PROPSHEETPAGEW MakeWizardPage(int dialogId, DLGPROC procedure, WizardContext* context, DWORD flags)
{
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof(page);
    page.dwFlags = flags;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(dialogId);
    page.pfnDlgProc = procedure;
    page.lParam = reinterpret_cast<LPARAM>(context);
    page.pszHeaderTitle = L"";
    return page;
}

bool RunReportWizard(ReportBody& body, const std::wstring& folder)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ALL_COMMON_CONTROL_CLASSES};
    if (!InitCommonControlsEx(&controls))
        return true;
    ModuleHandle richEdit(LoadLibraryW(L"Riched20.dll"));
    if (!richEdit)
        return true;

    WizardContext context;
    context.body = &body;
    context.folder = folder;
    PageList pages;
    AddIntroPage(pages, &context);
    AddReproStepsPage(pages, &context);
    AddSubmitPage(pages, &context);
    AddOutroPage(pages, &context);

    HMODULE module = GetModuleHandleW(nullptr);
    BitmapHandle watermark(LoadJpegResourceBitmap(module, IDR_WATERMARK_JPEG));
    // A header bitmap given by resource id is not drawn everywhere; a loaded
    // one is.
    BitmapHandle header(static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(IDB_HEADER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    FontHandle titleFont(CreateTitleFont());
    context.titleFont = titleFont.Get();

    PROPSHEETHEADERW sheet = {};
    sheet.dwSize = sizeof(sheet);
    sheet.dwFlags = PSH_WIZARD97 | PSH_PROPSHEETPAGE | PSH_HEADER | PSH_USEHBMHEADER;
    if (watermark)
        sheet.dwFlags |= PSH_WATERMARK | PSH_USEHBMWATERMARK;
    sheet.hwndParent = nullptr;
    sheet.hInstance = module;
    sheet.pszCaption = L"Vantorel";
    sheet.nPages = static_cast<UINT>(pages.size());
    sheet.ppsp = pages.data();
    sheet.hbmWatermark = watermark.Get();
    sheet.hbmHeader = header.Get();
    PropertySheetW(&sheet);
    return !context.failed;
}
