// FaultCourier's texts: bounded copies from the table, the language choice
// from the launcher's setting, the control text helpers and the JPEG
// watermark.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "jpeg_bitmap.h"
#include "language.h"
#include "registry_value.h"
#include "resource_ids.h"
#include "scoped_handles.h"
#include "texts.h"

TEST(FaultCourierTexts, BufferCopiesAreCutToTheirRoom)
{
    LanguageSetting setting(L"en");
    wchar_t buffer[8];
    EXPECT_EQ(GetLocalizedTextBuffer("STRING_OUTRO_SUMMARY_SUCCESS", buffer, 8), 7u);
    EXPECT_STREQ(buffer, L"Crash S");
}

TEST(FaultCourierLanguage, FromTheLauncherSettingAnyCase)
{
    LanguageSetting setting(L"Tc");
    EXPECT_STREQ(GetLanguageCode(), L"tc");
    // Anything else, or nothing usable, is English.
    for (const wchar_t* value : {L"xx", L"", L"english", L"ru "}) {
        setting.Set(value);
        EXPECT_STREQ(GetLanguageCode(), L"en") << testing::PrintToString(std::wstring(value));
    }
    setting.Set(nullptr);
    EXPECT_STREQ(GetLanguageCode(), L"en");
    setting.SetNumber(6);
    EXPECT_STREQ(GetLanguageCode(), L"en");
}

TEST(FaultCourierTexts, ControlHelpers)
{
    LanguageSetting setting(L"en");
    HWND dialog =
        CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 50, 20, dialog,
                                   reinterpret_cast<HMENU>(7), nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    wchar_t text[CONTROL_TEXT_SIZE + 8];

    SetDlgItemTextByKey(dialog, 7, "STRING_SUBMITTING_ISSUE");
    AppendDlgItemTextByKey(dialog, 7, "STRING_DONE");
    GetWindowTextW(control, text, CONTROL_TEXT_SIZE + 8);
    EXPECT_STREQ(text, L"Submitting issue to tracking server...done!");
    AppendDlgItemText(dialog, 7, L"\r\n");
    SetControlText(dialog, 8, L"no such control"); // nothing happens
    GetWindowTextW(control, text, CONTROL_TEXT_SIZE + 8);
    EXPECT_STREQ(text, L"Submitting issue to tracking server...done!\r\n");

    // 1020 characters: a wide text that does not fit leaves the control as
    // it was; a key's text is cut to what fits.
    SetControlText(dialog, 7, std::wstring(1020, L'x').c_str());
    AppendDlgItemText(dialog, 7, L"abcd");
    EXPECT_EQ(GetWindowTextLengthW(control), 1020);
    AppendDlgItemText(dialog, 7, L"abc");
    EXPECT_EQ(GetWindowTextLengthW(control), 1023);
    SetControlText(dialog, 7, std::wstring(1020, L'x').c_str());
    AppendDlgItemTextByKey(dialog, 7, "STRING_DONE");
    GetWindowTextW(control, text, CONTROL_TEXT_SIZE + 8);
    EXPECT_EQ(std::wstring(text).substr(1020), L"don");
    DestroyWindow(dialog);
}

TEST(JpegResource, WatermarkBecomesABitmap)
{
    HMODULE module = GetModuleHandleW(nullptr);
    BitmapHandle watermark(LoadJpegResourceBitmap(module, IDR_WATERMARK_JPEG));
    ASSERT_TRUE(watermark);
    BITMAP info = {};
    ASSERT_EQ(GetObjectW(watermark.Get(), sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 164);
    EXPECT_EQ(info.bmHeight, 314);

    // The copy outlives the picture it came from: its top corner is the
    // artwork's dark blue.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, watermark.Get());
    COLORREF corner = GetPixel(dc, 2, 2);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_LT(GetRValue(corner), 60);
    EXPECT_GT(GetBValue(corner), GetRValue(corner));

    EXPECT_EQ(LoadJpegResourceBitmap(module, 4242), nullptr);
}
