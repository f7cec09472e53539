#include "page_text.h"

#include "browser_runtime.h"
#include "motd_buffer.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "text_pane.h"

#include <richedit.h>

#include <vector>

namespace {

constexpr UINT UNICODE_CODE_PAGE = 1200;

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

void ConvertLinkFields(std::wstring& text)
{
    static const std::wstring field = L"HYPERLINK \"http";
    for (size_t p = text.find(field); p != std::wstring::npos; p = text.find(field)) {
        size_t u = text.find(L"http", p + 9);
        size_t e = text.find_first_of(L"< )\"", u);
        if (e == std::wstring::npos)
            e = text.size();
        std::wstring url = text.substr(u, e - u);
        // The field's closing quote goes with it; any other character that
        // ends the address ("<" of a line break, ")", a blank) is text.
        size_t end = e < text.size() && text[e] == L'"' ? e + 1 : e;
        text.replace(p, end - p, L"<a target=_blank href=" + url + L">" + url + L"</a>");
    }
}

std::wstring ReadPlainText(HWND pane)
{
    GETTEXTLENGTHEX lengthQuery = {GTL_USECRLF, UNICODE_CODE_PAGE};
    LRESULT length = SendMessageW(pane, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthQuery), 0);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX textQuery = {static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), GT_USECRLF, UNICODE_CODE_PAGE,
                           nullptr, nullptr};
    SendMessageW(pane, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&textQuery),
                 reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

bool IsMessageOfTheDay(LPARAM lParam)
{
    return !MotdBuffer.empty() && reinterpret_cast<const char*>(lParam) == MotdBuffer.data();
}

} // namespace

std::wstring PaneTextToPageHtml(std::wstring text)
{
    ReplaceAll(text, L"\r\n", L"<br><br>");
    ConvertLinkFields(text);
    ReplaceAll(text, L"\"", L"&quot;");
    return text;
}

LRESULT ShowTextInPage(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (!lParam)
        return 0;
    HWND pane = GetDlgItem(GetDlgItem(window, IDC_TEXT_FRAME), IDC_TEXT_PANE);
    LoadPaneText(pane, wParam, lParam);
    std::wstring html = PaneTextToPageHtml(ReadPlainText(pane));

    if (IsMessageOfTheDay(lParam)) {
        SetElementHtml(L"buildnotescontent", html.c_str(), false);
        SetElementHtml(L"buildnotescontent", html.c_str(), true);
        ShowStartPage(false);
        return 0;
    }
    if (ShownAgreement == AGREEMENT_CBA) {
        LoadLauncherPage(L"agreement.html?page=CBA");
    } else if (ShownAgreement == AGREEMENT_EULA) {
        LoadLauncherPage(L"agreement.html?page=EULA");
    } else {
        SetElementHtml(L"agreement", html.c_str(), true);
        LoadLauncherPage(L"agreement.html");
    }
    ShowWindow(GetDlgItem(window, IDC_ALT_BUTTON), SW_HIDE);
    return 0;
}
