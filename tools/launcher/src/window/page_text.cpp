#include "page_text.h"

#include "browser_runtime.h"
#include "motd_buffer.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "text_pane.h"

#include <richedit.h>

#include <cwctype>
#include <vector>

namespace {

constexpr UINT UNICODE_CODE_PAGE = 1200;

// The plain text's own characters as HTML: "&", "<" and ">" as entities,
// so that no text becomes markup (only the line breaks and anchors made
// here are), and the double quote as "&quot;".
void AppendEscaped(std::wstring& html, wchar_t c)
{
    switch (c) {
    case L'&':
        html += L"&amp;";
        break;
    case L'<':
        html += L"&lt;";
        break;
    case L'>':
        html += L"&gt;";
        break;
    case L'"':
        html += L"&quot;";
        break;
    default:
        html += c;
    }
}

// Where a link's address ends: before a '<', '>', ')', '"' or any white
// space (a line break among them), or at the text's end. White space must
// end it: the address becomes an unquoted attribute value.
size_t AddressEnd(const std::wstring& text, size_t from)
{
    for (size_t at = from; at < text.size(); ++at) {
        wchar_t c = text[at];
        if (c == L'<' || c == L'>' || c == L')' || c == L'"' || iswspace(c))
            return at;
    }
    return text.size();
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
    // One pass from left to right, so that the cost follows the text's
    // length whatever it holds.
    static const std::wstring field = L"HYPERLINK \"http";
    std::wstring html;
    html.reserve(text.size() + text.size() / 4);
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, field.size(), field) == 0) {
            size_t u = at + field.size() - 4;
            size_t e = AddressEnd(text, u);
            // The address keeps its "&" as "&amp;": the attribute and the
            // anchor's text both read it as "&".
            std::wstring url;
            for (size_t c = u; c < e; ++c)
                AppendEscaped(url, text[c]);
            html += L"<a target=_blank href=" + url + L">" + url + L"</a>";
            // The field's closing quote goes with it; any other character
            // that ends the address is text.
            at = e < text.size() && text[e] == L'"' ? e + 1 : e;
        } else if (text.compare(at, 2, L"\r\n") == 0) {
            html += L"<br><br>";
            at += 2;
        } else {
            AppendEscaped(html, text[at]);
            ++at;
        }
    }
    return html;
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
    // The page shows the very document whose MD5 the acceptance records.
    SetElementHtml(L"agreement", html.c_str(), true);
    if (ShownAgreement == AGREEMENT_CBA)
        LoadLauncherPage(L"agreement.html?page=CBA");
    else if (ShownAgreement == AGREEMENT_EULA)
        LoadLauncherPage(L"agreement.html?page=EULA");
    else
        LoadLauncherPage(L"agreement.html");
    ShowWindow(GetDlgItem(window, IDC_ALT_BUTTON), SW_HIDE);
    return 0;
}
