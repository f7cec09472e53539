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

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// "&", "<" and ">" of the plain text as entities, so that no text becomes
// markup: only the line breaks and anchors made below are.
void EscapeMarkup(std::wstring& text)
{
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'>':
            escaped += L"&gt;";
            break;
        default:
            escaped += c;
        }
    }
    text.swap(escaped);
}

// Where a link's address ends in the escaped text: before a '<' (of a line
// break), a ')', a '"', any white space or an escaped "<" or ">", or at the
// text's end. White space must end it: the address becomes an unquoted
// attribute value.
size_t AddressEnd(const std::wstring& text, size_t from)
{
    for (size_t at = from; at < text.size(); ++at) {
        wchar_t c = text[at];
        if (c == L'<' || c == L')' || c == L'"' || iswspace(c))
            return at;
        if (c == L'&' && (text.compare(at, 4, L"&lt;") == 0 || text.compare(at, 4, L"&gt;") == 0))
            return at;
    }
    return text.size();
}

void ConvertLinkFields(std::wstring& text)
{
    static const std::wstring field = L"HYPERLINK \"http";
    for (size_t p = text.find(field); p != std::wstring::npos; p = text.find(field)) {
        size_t u = text.find(L"http", p + 9);
        size_t e = AddressEnd(text, u);
        // The address keeps its "&amp;": the attribute and the anchor's text
        // both read it as "&".
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
    EscapeMarkup(text);
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
