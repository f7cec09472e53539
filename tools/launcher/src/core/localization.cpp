#include "localization.h"

#include "launcher_settings.h"
#include "log.h"
#include "strings.h"

MessageBoxExProc MessageBoxExFunction = MessageBoxExW;

namespace {

std::wstring LocalizationTable;

constexpr size_t WINDOW_TEXT_CAPACITY = 1024;
constexpr size_t MESSAGE_BOX_TEXT_CAPACITY = 512;

} // namespace

void LoadLocalizationTable()
{
    LoadTextTableResource(GetModuleHandleW(nullptr), LOCALIZATION_TABLE_RESOURCE,
                          LocalizationTable);
}

const std::wstring& GetLocalizationTable()
{
    return LocalizationTable;
}

void GetLocalizedText(const char* key, std::wstring& out)
{
    // LanguageIndex may change on the user-interface thread meanwhile; read
    // it once so one lookup uses one language.
    const int language = LanguageIndex;
    FindTableText(LocalizationTable, key, language, out);
}

size_t GetLocalizedTextBuffer(const char* key, wchar_t* buffer, size_t capacity)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return CopyString(buffer, capacity, text.c_str());
}

void SetWindowTextByKey(HWND window, const char* key, bool repaint)
{
    wchar_t text[WINDOW_TEXT_CAPACITY];
    GetLocalizedTextBuffer(key, text, WINDOW_TEXT_CAPACITY);
    if (repaint)
        SetTransparentText(window, text);
    else
        SetWindowTextW(window, text);
}

void SetDlgItemTextByKey(HWND dialog, int itemId, const char* key)
{
    if (HeadlessMode)
        return;
    SetWindowTextByKey(GetDlgItem(dialog, itemId), key, true);
}

void SetTransparentText(HWND window, const wchar_t* text)
{
    SetWindowTextW(window, text);

    HWND target = GetParent(window);
    if (target == nullptr)
        return; // a top-level window: there is no background to clean
    if (HWND grandParent = GetParent(target))
        target = grandParent;

    RECT area;
    if (!GetWindowRect(window, &area))
        return;
    MapWindowPoints(nullptr, target, reinterpret_cast<POINT*>(&area), 2);
    InvalidateRect(target, &area, TRUE);
}

BOOL CALLBACK FindMessageBoxOwnerProc(HWND window, LPARAM owner)
{
    if (!IsWindowEnabled(window) && !IsWindowVisible(window))
        return TRUE;

    HWND windowOwner = GetWindow(window, GW_OWNER);
    if (windowOwner != nullptr && GetAncestor(windowOwner, GA_PARENT) == GetDesktopWindow() &&
        !IsWindowEnabled(windowOwner))
        *reinterpret_cast<HWND*>(owner) = window;
    return TRUE;
}

int LocalizedMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    EnumThreadWindows(GetCurrentThreadId(), FindMessageBoxOwnerProc,
                      reinterpret_cast<LPARAM>(&owner));
    return MessageBoxExFunction(owner, text, caption, type, MessageBoxLanguageId(LanguageIndex));
}

int MessageBoxByKey(HWND owner, const char* textKey, const char* captionKey, UINT type)
{
    wchar_t text[MESSAGE_BOX_TEXT_CAPACITY];
    wchar_t caption[MESSAGE_BOX_TEXT_CAPACITY];
    GetLocalizedTextBuffer(textKey, text, MESSAGE_BOX_TEXT_CAPACITY);
    GetLocalizedTextBuffer(captionKey, caption, MESSAGE_BOX_TEXT_CAPACITY);
    return LocalizedMessageBox(owner, text, caption, type);
}
