// The localisation table: parsing and lookup from byte buffers, the real
// table resource linked into this executable, the window text helpers and
// the owner and language of message boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "text_table.h"

namespace {

enum Language { EN = 0, FR = 1, DE = 3, UK = 8, JA = 10, ZH = 11, TC = 12, KO = 13 };

// The table text as resource bytes: a byte-order mark and UTF-16 units.
std::string TableBytes(const std::wstring& text, bool bigEndian = false)
{
    std::string bytes = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (wchar_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>((c >> 8) & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    }
    return bytes;
}

std::wstring Decode(const std::string& bytes)
{
    std::wstring table;
    DecodeTextTable(bytes.data(), bytes.size(), table);
    return table;
}

std::wstring Lookup(const std::wstring& table, const char* key, int language)
{
    std::wstring out = L"stale";
    FindTableText(table, key, language, out);
    return out;
}

const std::wstring SAMPLE =
    L"[PLAY]\r\n"
    L"En=\"PLAY\"\r\n"
    L"Fr=\"JOUER\"\r\n"
    L"Th=\"THAI\"\r\n"
    L"Ja=\"\x30D7\x30EC\x30A4\"\r\n"
    L"Translated=2:Fr,Ja\r\n"
    L"\r\n"
    L"[QUOTED]\r\n"
    L"En=\"Press \"\"Retry\"\" now\"\r\n"
    L"De=\"\"\"\"\"\"\r\n"
    L"Translated=0\r\n"
    L"\r\n"
    L"[TWO_LINES]\r\n"
    L"En=\"first line\r\n"
    L"second line\"\r\n"
    L"Translated=1:Fr\r\n"
    L"\r\n"
    L"[NO_FRENCH]\r\n"
    L"En=\"English only\"\r\n"
    L"Translated=1:Fr=\"not a text\"\r\n"
    L"\r\n"
    L"[LAST]\r\n"
    L"Fr=\"dernier\"\r\n"
    L"Ko=\"\xB9C8\xC9C0\xB9C9\"\r\n"
    L"Translated=0\r\n";

TEST(TextTable, IndexesOutsideTheTableGiveNoLanguage)
{
    for (int outside : {-1, LANGUAGE_COUNT, 1000}) {
        EXPECT_STREQ(L"", LanguageCodeFromIndex(outside));
        EXPECT_EQ(1033, MessageBoxLanguageId(outside));
    }
}

TEST(TextTable, DecodesBothByteOrdersAlike)
{
    const std::wstring little = Decode(TableBytes(SAMPLE));
    const std::wstring big = Decode(TableBytes(SAMPLE, true));
    EXPECT_EQ(SAMPLE, little);
    EXPECT_EQ(SAMPLE, big);
    EXPECT_EQ(L"\x30D7\x30EC\x30A4", Lookup(big, "PLAY", JA));
    EXPECT_EQ(L"\xB9C8\xC9C0\xB9C9", Lookup(big, "LAST", KO));
}

TEST(TextTable, ShortOrOddBuffersNeverOverrun)
{
    EXPECT_EQ(L"", Decode(""));
    EXPECT_EQ(L"", Decode("\xFF"));
    EXPECT_EQ(L"", Decode("\xFF\xFE"));
    EXPECT_EQ(L"A", Decode(std::string("\xFF\xFE" "A\0B", 5))); // odd trailing byte dropped
    std::wstring table = L"old";
    DecodeTextTable(nullptr, 10, table);
    EXPECT_EQ(L"", table);
    EXPECT_EQ(L"", Lookup(L"", "PLAY", EN));
}

TEST(TextTable, FindsTextsWithDoubledQuotesAndLineEnds)
{
    EXPECT_EQ(L"JOUER", Lookup(SAMPLE, "PLAY", FR));
    EXPECT_EQ(L"dernier", Lookup(SAMPLE, "LAST", FR)); // last section, no empty line after it
    EXPECT_EQ(L"Press \"Retry\" now", Lookup(SAMPLE, "QUOTED", EN));
    EXPECT_EQ(L"\"\"", Lookup(SAMPLE, "QUOTED", DE));
    EXPECT_EQ(L"first line\r\nsecond line", Lookup(SAMPLE, "TWO_LINES", EN));
}

TEST(TextTable, MissingKeysAndLanguagesGiveEmptyText)
{
    EXPECT_EQ(L"", Lookup(SAMPLE, "MISSING", EN));
    EXPECT_EQ(L"", Lookup(SAMPLE, "PLA", EN)); // prefix of a key
    // No fallback to English, and no text taken from a later section.
    EXPECT_EQ(L"", Lookup(SAMPLE, "PLAY", DE));
    EXPECT_EQ(L"", Lookup(SAMPLE, "QUOTED", FR));
    EXPECT_EQ(L"", Lookup(SAMPLE, "LAST", EN));
    EXPECT_EQ(L"", Lookup(SAMPLE, "PLAY", -1));
    EXPECT_EQ(L"", Lookup(SAMPLE, "PLAY", LANGUAGE_COUNT));
    EXPECT_EQ(L"", Lookup(SAMPLE, nullptr, EN));
    const std::string longKey(MAX_TEXT_KEY_LENGTH + 1, 'K');
    const std::wstring longTable = L"[" + std::wstring(longKey.begin(), longKey.end()) +
                                   L"]\r\nEn=\"long\"\r\nTranslated=0\r\n";
    EXPECT_EQ(L"", Lookup(longTable, longKey.c_str(), EN));
    const std::string maxKey(MAX_TEXT_KEY_LENGTH, 'K');
    const std::wstring maxTable = L"[" + std::wstring(maxKey.begin(), maxKey.end()) +
                                  L"]\r\nEn=\"fits\"\r\nTranslated=0\r\n";
    EXPECT_EQ(L"fits", Lookup(maxTable, maxKey.c_str(), EN));
}

TEST(TextTable, ThaiAndTranslatedLinesAreNeverRead)
{
    // "Th" is no language of the index; a Translated= line that looks like a
    // language line is not one, since it does not start after a line feed.
    for (int language = 0; language < LANGUAGE_COUNT; ++language)
        EXPECT_NE(L"THAI", Lookup(SAMPLE, "PLAY", language));
    EXPECT_EQ(L"", Lookup(SAMPLE, "NO_FRENCH", FR));
    EXPECT_EQ(L"English only", Lookup(SAMPLE, "NO_FRENCH", EN));
}

TEST(TextTable, HeaderInsideAnotherTextIsFoundThere)
{
    // The first occurrence of "[KEY]" counts, even inside a text: its own
    // section lies after the next "\n[", so the lookup comes out empty.
    const std::wstring table = L"[A]\r\nEn=\"see [B] below\"\r\nTranslated=0\r\n\r\n"
                               L"[B]\r\nEn=\"b\"\r\nTranslated=0\r\n";
    EXPECT_EQ(L"", Lookup(table, "B", EN));
    EXPECT_EQ(L"see [B] below", Lookup(table, "A", EN));
}

TEST(TextTable, UnterminatedTextRunsToTheEnd)
{
    EXPECT_EQ(L"open end\r\n", Lookup(L"[K]\r\nEn=\"open end\r\n", "K", EN));
}

// Sets LanguageIndex for one test and restores it.
class LanguageScope {
public:
    explicit LanguageScope(int language) : saved_(LanguageIndex) { LanguageIndex = language; }
    ~LanguageScope() { LanguageIndex = saved_; }

private:
    int saved_;
};

class LauncherTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadLocalizationTable(); }
    LanguageScope english_{EN};
};

TEST_F(LauncherTable, CurrentLanguageAndBoundedCopies)
{
    std::wstring out;
    {
        LanguageScope german(DE);
        GetLocalizedText("LanguageSelector", out);
        EXPECT_EQ(L"Deutsch", out);
    }
    {
        LanguageScope traditional(TC);
        GetLocalizedText("LanguageSelector", out);
        EXPECT_EQ(L"\x7E41\x9AD4\x4E2D\x6587", out);
    }
    {
        LanguageScope none(LANGUAGE_COUNT);
        GetLocalizedText("PLAY", out);
        EXPECT_EQ(L"", out);
    }
    wchar_t buffer[6];
    EXPECT_EQ(5u, GetLocalizedTextBuffer("FailedFileUpdate", buffer, 6));
    EXPECT_STREQ(L"Could", buffer);
    EXPECT_EQ(0u, GetLocalizedTextBuffer("NO_SUCH_KEY", buffer, 6));
    EXPECT_STREQ(L"", buffer);
}

// A visible top-level window with a label child. The window lives until the
// process ends: hiding or destroying a mapped window makes Wine wait about
// two seconds for the X server.
class LocalizedWindows : public LauncherTable {
protected:
    static HWND MainWindow()
    {
        static HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"main",
                                             WS_POPUP | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                             nullptr, nullptr, nullptr);
        return window;
    }

    void SetUp() override
    {
        main_ = MainWindow();
        ASSERT_NE(nullptr, main_);
        label_ = CreateWindowExW(0, L"STATIC", L"old", WS_CHILD | WS_VISIBLE, 20, 30, 100, 20,
                                 main_, reinterpret_cast<HMENU>(LABEL_ID), nullptr, nullptr);
        ASSERT_NE(nullptr, label_);
        savedMessageBox_ = MessageBoxExFunction;
        MessageBoxExFunction = RecordMessageBox;
        calls_.clear();
    }
    void TearDown() override
    {
        MessageBoxExFunction = savedMessageBox_;
        EnableWindow(main_, TRUE);
        for (HWND window : {popup_, hiddenPopup_, label_})
            if (window != nullptr)
                DestroyWindow(window);
    }

    // An owned popup, hidden (showing it would map an X window).
    HWND MakePopup(HWND owner)
    {
        return CreateWindowExW(0, L"STATIC", L"dialog", WS_POPUP, 0, 0, 50, 50, owner, nullptr,
                               nullptr, nullptr);
    }

    std::wstring Text(HWND window)
    {
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        return text;
    }

    struct Call {
        HWND owner;
        std::wstring text, caption;
        UINT type;
        WORD language;
    };
    static int WINAPI RecordMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, WORD language)
    {
        calls_.push_back({owner, text, caption, type, language});
        return IDCANCEL;
    }

    static constexpr int LABEL_ID = 1037;
    static inline std::vector<Call> calls_;
    MessageBoxExProc savedMessageBox_ = nullptr;
    HWND main_ = nullptr, label_ = nullptr, popup_ = nullptr, hiddenPopup_ = nullptr;
};

TEST_F(LocalizedWindows, ControlTextsByKey)
{
    SetWindowTextByKey(label_, "RETRY", false);
    EXPECT_EQ(L"Retry", Text(label_));

    ValidateRect(main_, nullptr);
    SetDlgItemTextByKey(main_, LABEL_ID, "QUIT");
    EXPECT_EQ(L"Quit", Text(label_));
    RECT dirty = {};
    ASSERT_TRUE(GetUpdateRect(main_, &dirty, FALSE)); // the label's area repaints in the parent
    EXPECT_LE(dirty.left, 20);
    EXPECT_LE(dirty.top, 30);
    EXPECT_GE(dirty.right, 120);
    EXPECT_GE(dirty.bottom, 50);

    HeadlessMode = true;
    SetDlgItemTextByKey(main_, LABEL_ID, "PLAY");
    HeadlessMode = false;
    EXPECT_EQ(L"Quit", Text(label_));

    SetTransparentText(main_, L"top"); // no parent: only the text changes
    EXPECT_EQ(L"top", Text(main_));
    SetWindowTextW(main_, L"main");
}

TEST_F(LocalizedWindows, MessageBoxOwnerIsTheModalDialog)
{
    popup_ = MakePopup(main_); // hidden but enabled: still a candidate
    ASSERT_NE(nullptr, popup_);

    // Nothing modal: the caller's owner.
    EXPECT_EQ(IDCANCEL, MessageBoxByKey(main_, "CONFIRM_QUIT", "QUIT", MB_OKCANCEL | MB_ICONQUESTION));
    ASSERT_EQ(1u, calls_.size());
    EXPECT_EQ(main_, calls_[0].owner);
    EXPECT_EQ(L"Abort update process and quit?", calls_[0].text);
    EXPECT_EQ(L"Quit", calls_[0].caption);
    EXPECT_EQ(UINT(MB_OKCANCEL | MB_ICONQUESTION), calls_[0].type);
    EXPECT_EQ(1033, calls_[0].language);

    // The main window disabled by a modal dialog: the dialog owns the box.
    EnableWindow(main_, FALSE);
    MessageBoxByKey(main_, "CONFIRM_QUIT", "QUIT", MB_OK);
    ASSERT_EQ(2u, calls_.size());
    EXPECT_EQ(popup_, calls_[1].owner);

    // An owned window that is both disabled and hidden is passed over.
    hiddenPopup_ = MakePopup(main_);
    EnableWindow(hiddenPopup_, FALSE);
    LocalizedMessageBox(nullptr, L"text", L"caption", MB_OK);
    ASSERT_EQ(3u, calls_.size());
    EXPECT_EQ(popup_, calls_[2].owner);
    EXPECT_EQ(L"text", calls_[2].text);
}

TEST_F(LocalizedWindows, MessageBoxUsesTheCurrentLanguage)
{
    LanguageScope german(DE);
    MessageBoxByKey(main_, "CONFIRM_QUIT", "QUIT", MB_OK);
    LanguageIndex = ZH;
    MessageBoxByKey(main_, "NO_SUCH_KEY", "QUIT", MB_OK);
    ASSERT_EQ(2u, calls_.size());
    EXPECT_EQ(1031, calls_[0].language);
    EXPECT_NE(L"Abort update process and quit?", calls_[0].text);
    EXPECT_FALSE(calls_[0].text.empty());
    EXPECT_EQ(0x0404, calls_[1].language);
    EXPECT_EQ(L"", calls_[1].text);
}

} // namespace
