// WM_STEP_SHOW_TEXT with the browser interface: the text goes through the
// hidden rich-edit pane, which turns RTF into plain text, and then into the
// page as HTML.
#pragma once

#include <windows.h>

#include <string>

// The pane's plain text as the page's HTML, which shows exactly what the
// pane shows, made in one pass: "&", "<" and ">" become entities, so that
// no text (the message of the day comes over plain HTTP) turns into markup
// or script; every CR LF becomes "<br><br>"; every rich-text link field
// (HYPERLINK "http...) becomes an anchor "<a target=_blank href=URL>URL</a>",
// the URL ending before the first '<', '>', ')', '"' or white space (or at
// the text's end), which is dropped with the field; every double quote
// becomes "&quot;".
std::wstring PaneTextToPageHtml(std::wstring text);

// The handler: a null lParam does nothing. The message of the day goes to
// the element "buildnotescontent" (now and after the next load) and the
// start page is shown; any other text to the element "agreement" after the
// next load: of the CBA or EULA page of the interface while ShownAgreement
// names one, else of "agreement.html". IDC_ALT_BUTTON is hidden after an
// agreement.
LRESULT ShowTextInPage(HWND window, WPARAM wParam, LPARAM lParam);
