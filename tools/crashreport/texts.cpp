#include "texts.h"

#include "language.h"
#include "resource_ids.h"
#include "strings.h"
#include "text_table.h"

#include <cwchar>

namespace {

std::wstring LocalizationTable;

// The control's text, at most CONTROL_TEXT_SIZE - 1 characters.
size_t ReadControlText(HWND control, wchar_t* buffer)
{
    buffer[0] = 0;
    int length = GetWindowTextW(control, buffer, static_cast<int>(CONTROL_TEXT_SIZE));
    return length > 0 ? static_cast<size_t>(length) : 0;
}

} // namespace

void LoadLocalizationTable()
{
    GetLanguageIndex();
    LoadTextTableResource(GetModuleHandleW(nullptr), IDR_TEXT_TABLE, LocalizationTable);
}

void GetLocalizedText(const char* key, std::wstring& out)
{
    if (LocalizationTable.empty())
        LoadLocalizationTable();
    FindTableText(LocalizationTable, key, GetLanguageIndex(), out);
}

size_t GetLocalizedTextBuffer(const char* key, wchar_t* buffer, size_t capacity)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return CopyString(buffer, capacity, text.c_str());
}

void SetWindowTextByKey(HWND window, const char* key)
{
    wchar_t text[CONTROL_TEXT_SIZE];
    GetLocalizedTextBuffer(key, text, CONTROL_TEXT_SIZE);
    SetWindowTextW(window, text);
}

void SetDlgItemTextByKey(HWND dialog, int itemId, const char* key)
{
    SetWindowTextByKey(GetDlgItem(dialog, itemId), key);
}

void SetControlText(HWND dialog, int itemId, const wchar_t* text)
{
    SetDlgItemTextW(dialog, itemId, text);
}

void AppendDlgItemText(HWND dialog, int itemId, const wchar_t* text)
{
    HWND control = GetDlgItem(dialog, itemId);
    wchar_t buffer[CONTROL_TEXT_SIZE];
    size_t length = ReadControlText(control, buffer);
    if (length + wcslen(text) >= CONTROL_TEXT_SIZE)
        return;
    CopyString(buffer + length, CONTROL_TEXT_SIZE - length, text);
    SetWindowTextW(control, buffer);
}

void AppendDlgItemTextCut(HWND dialog, int itemId, const wchar_t* text, size_t reserve)
{
    static const wchar_t ELLIPSIS[] = L"...";
    const size_t ellipsisLength = wcslen(ELLIPSIS);
    HWND control = GetDlgItem(dialog, itemId);
    wchar_t buffer[CONTROL_TEXT_SIZE];
    size_t length = ReadControlText(control, buffer);
    size_t room = CONTROL_TEXT_SIZE - 1 - length;
    room = room > reserve ? room - reserve : 0;
    size_t textLength = wcslen(text);
    if (textLength <= room) {
        CopyString(buffer + length, CONTROL_TEXT_SIZE - length, text);
    } else if (room > ellipsisLength) {
        size_t kept = room - ellipsisLength;
        wmemcpy(buffer + length, text, kept);
        CopyString(buffer + length + kept, CONTROL_TEXT_SIZE - length - kept, ELLIPSIS);
    } else {
        return;
    }
    SetWindowTextW(control, buffer);
}

void AppendDlgItemTextByKey(HWND dialog, int itemId, const char* key)
{
    HWND control = GetDlgItem(dialog, itemId);
    wchar_t buffer[CONTROL_TEXT_SIZE];
    size_t length = ReadControlText(control, buffer);
    GetLocalizedTextBuffer(key, buffer + length, CONTROL_TEXT_SIZE - length);
    SetWindowTextW(control, buffer);
}
