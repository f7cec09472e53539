// FaultCourier's texts: the shared table reader as this program builds it,
// the table resource linked into this executable, the language choice from
// the launcher's setting, the control text helpers and the JPEG watermark.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "jpeg_bitmap.h"
#include "language.h"
#include "language_setting.h"
#include "resource_ids.h"
#include "scoped_handles.h"
#include "text_table.h"
#include "texts.h"

namespace {

const char* const KEYS[] = {
    "STRING_INTRO_SUMMARY",
    "STRING_INTRO_DESCRIPTION",
    "STRING_DETAILS",
    "STRING_REPRO_STEPS",
    "STRING_ENTER_REPRO_STEPS",
    "STRING_REPRO_STEPS_THANKS",
    "STRING_REPORTING_PROBLEM",
    "STRING_BUILDING_SEND_REQUEST",
    "STRING_SUBMITTING_ISSUE",
    "STRING_DONE",
    "STRING_FAILED",
    "STRING_CONNECTION_LOST",
    "STRING_OUTRO_SUMMARY_SUCCESS",
    "STRING_OUTRO_DESCRIPTION_SUCCESS",
    "STRING_OUTRO_SUMMARY_FIXED",
    "STRING_OUTRO_DESCRIPTION_FIXED",
    "STRING_OUTRO_SUMMARY_REJECTED",
    "STRING_OUTRO_PRE_SUSPECT_TEXT",
    "STRING_OUTRO_POST_SUSPECT_TEXT",
    "STRING_OUTRO_SUMMARY_FAILURE",
    "STRING_OUTRO_DESCRIPTION_FAILURE",
    "STRING_OUTRO_INCLUDE_BUG_NUMBER",
    "STRING_ENTER_REPRO",
    "STRING_CONFIRM_ABORT",
    "STRING_DIAGNOSING_PROBLEM",
};

// Resource bytes of a table text: a byte-order mark, then UTF-16 units.
std::string TableBytes(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (wchar_t c : text) {
        char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::wstring Lookup(const std::wstring& table, const char* key, int language)
{
    std::wstring out = L"stale";
    FindTableText(table, key, language, out);
    return out;
}

std::wstring Text(const char* key)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return text;
}

const std::wstring SAMPLE = L"[GREETING]\r\n"
                            L"En=\"Say \"\"hello\"\" \x00E9\"\r\n"
                            L"Ru=\"\x041F\x0440\x0438\x0432\x0435\x0442\"\r\n"
                            L"Translated=1:Ru\r\n"
                            L"\r\n"
                            L"[NEXT_KEY]\r\n"
                            L"En=\"next\"\r\n"
                            L"Uk=\"\x0434\x0430\x043B\x0456\"\r\n"
                            L"Translated=1:Uk\r\n";

} // namespace

TEST(TextTable, BigEndianTablesAreSwapped)
{
    for (bool bigEndian : {false, true}) {
        std::string bytes = TableBytes(SAMPLE, bigEndian);
        std::wstring table;
        DecodeTextTable(bytes.data(), bytes.size(), table);
        EXPECT_EQ(table, SAMPLE);
        EXPECT_EQ(Lookup(table, "GREETING", 6), L"\x041F\x0440\x0438\x0432\x0435\x0442");
    }
}

TEST(TextTable, DoubledQuotesAndMissingLanguageLines)
{
    EXPECT_EQ(Lookup(SAMPLE, "GREETING", 0), L"Say \"hello\" \x00E9");
    // The next section's Uk line does not belong to GREETING.
    EXPECT_EQ(Lookup(SAMPLE, "GREETING", 8), L"");
    EXPECT_EQ(Lookup(SAMPLE, "NEXT_KEY", 8), L"\x0434\x0430\x043B\x0456");
    // No fallback to English, and unknown keys are empty.
    EXPECT_EQ(Lookup(SAMPLE, "NEXT_KEY", 1), L"");
    EXPECT_EQ(Lookup(SAMPLE, "MISSING", 0), L"");
}

TEST(FaultCourierTexts, EveryKeyHasATextInEveryLanguage)
{
    LanguageSetting setting(L"en");
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        setting.Set(LanguageCodeFromIndex(language));
        ASSERT_EQ(GetLanguageIndex(), language);
        for (const char* key : KEYS)
            EXPECT_NE(Text(key), L"") << key << " " << language;
    }
}

TEST(FaultCourierTexts, EnglishTextsAsShipped)
{
    LanguageSetting setting(L"en");
    EXPECT_EQ(Text("STRING_INTRO_SUMMARY"), L"An Error Has Occurred.");
    EXPECT_EQ(Text("STRING_REPRO_STEPS"), L"Report Crash");
    EXPECT_EQ(Text("STRING_BUILDING_SEND_REQUEST"), L"Preparing report to send...");
    EXPECT_EQ(Text("STRING_DONE"), L"done!");
    EXPECT_EQ(Text("STRING_OUTRO_SUMMARY_FAILURE"), L"Connection Failed");
    EXPECT_EQ(Text("STRING_OUTRO_POST_SUSPECT_TEXT").substr(0, 81),
              L" is responsible for the crash, to help diagnose you can try one of the following:");
    // Multi-line texts keep their line ends as the controls need them.
    EXPECT_NE(Text("STRING_INTRO_DESCRIPTION").find(L".\r\n\r\nPlease help us"), std::wstring::npos);

    wchar_t buffer[8];
    EXPECT_EQ(GetLocalizedTextBuffer("STRING_OUTRO_SUMMARY_SUCCESS", buffer, 8), 7u);
    EXPECT_STREQ(buffer, L"Crash S");
}

TEST(FaultCourierLanguage, FromTheLauncherSettingAnyCase)
{
    LanguageSetting setting(L"ru");
    EXPECT_STREQ(GetLanguageCode(), L"ru");
    setting.Set(L"RU");
    EXPECT_STREQ(GetLanguageCode(), L"ru");
    EXPECT_EQ(Text("STRING_DONE"), L"\x0433\x043E\x0442\x043E\x0432\x043E!");
    setting.Set(L"Tc");
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
