// The page bridge against a fake browser client: the mirror of the main
// window's controls, the "Binding" requests, the page URLs and scripts.
#include "browser_runtime.h"
#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "page_bridge.h"
#include "page_client.h"
#include "requirement_queue.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "step_page.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FakeClient : public PageClient {
  public:
    bool HasBrowser() const override { return browser; }
    // The view numbers the page gets are kept apart from the other scripts.
    void RunScriptInMainFrame(const std::wstring& script) override
    {
        if (script.rfind(L"setPageSerial(", 0) == 0)
            serials.push_back(std::stoul(script.substr(14)));
        else
            scripts.push_back(script);
    }
    void LoadInMainFrame(const std::wstring& url) override { loads.push_back(url); }

    std::vector<std::wstring> TakeScripts() { return std::exchange(scripts, {}); }

    bool browser = true;
    std::vector<std::wstring> scripts;
    std::vector<unsigned> serials;
    std::vector<std::wstring> loads;
};

int Pumps = 0;
bool CountingPump()
{
    return ++Pumps, false;
}

// The step page stand-in: keeps the WM_COMMAND wParams it gets.
std::vector<WPARAM> Commands;
LRESULT CALLBACK StepPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        Commands.push_back(wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

class PageBridgeTest : public testing::Test {
  protected:
    void SetUp() override
    {
        WNDCLASSW pageClass{};
        pageClass.lpfnWndProc = StepPageProc;
        pageClass.lpszClassName = L"BridgeTestPage";
        pageClass.hInstance = GetModuleHandleW(nullptr);
        RegisterClassW(&pageClass);
        window_ = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        for (int id : {IDC_STATUS_TEXT, IDC_STATUS_DETAIL})
            CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window_, HMENU(INT_PTR(id)), nullptr,
                          nullptr);
        for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON})
            CreateWindowW(L"BUTTON", L"", WS_CHILD, 0, 0, 10, 10, window_, HMENU(INT_PTR(id)), nullptr,
                          nullptr);
        page_ =
            CreateWindowW(L"BridgeTestPage", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        BrowserParentWindow = window_;
        SimpleHandlerInstance = &client_;
        BrowserPumpStep = CountingPump;
        Pumps = 0;
        ForgetMirror();
        Commands.clear();
    }
    void TearDown() override
    {
        SimpleHandlerInstance = nullptr;
        BrowserPumpStep = nullptr;
        BrowserParentWindow = nullptr;
        BrowserCommandTarget = nullptr;
        ShowIntroAfterEula = false;
        SetCommandLineForTest(nullptr);
        DestroyWindow(page_);
        DestroyWindow(window_);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void SetItem(int id, const wchar_t* text) { SetDlgItemTextW(window_, id, text); }

    HWND window_ = nullptr;
    HWND page_ = nullptr;
    FakeClient client_;
};

TEST_F(PageBridgeTest, MirrorSendsChangesOnceAndEverythingAfterALoadEnd)
{
    SetItem(IDC_STATUS_TEXT, L"Checking files");
    SetItem(IDC_MAIN_BUTTON, L"Play");
    EnableWindow(GetDlgItem(window_, IDC_ALT_BUTTON), FALSE);
    UpdateCEF();
    EXPECT_EQ(client_.TakeScripts(),
              (std::vector<std::wstring>{L"footerdescription.innerHTML=\"Checking files\";",
                                         L"mainbutton.innerHTML=\"Play\";", L"setMainButtonState('true');",
                                         L"setAltButtonState('false');"}));
    EXPECT_EQ(Pumps, 1);

    // Nothing changed: no script at all.
    UpdateCEF();
    EXPECT_TRUE(client_.scripts.empty());

    // A text that goes back and forth is sent each time; a text holding a
    // quote or a line break stays inside its script string.
    SetItem(IDC_STATUS_TEXT, L"Say \"hi\"\r\nnow");
    UpdateCEF();
    SetItem(IDC_STATUS_TEXT, L"Checking files");
    EnableWindow(GetDlgItem(window_, IDC_MAIN_BUTTON), FALSE);
    UpdateCEF();
    EXPECT_EQ(client_.TakeScripts(),
              (std::vector<std::wstring>{L"footerdescription.innerHTML=\"Say \\\"hi\\\"\\r\\nnow\";",
                                         L"footerdescription.innerHTML=\"Checking files\";",
                                         L"setMainButtonState('false');"}));

    // A load end: the title and the waiting script at once, then every text
    // that is not empty and both states at the next turn. The waiting script
    // runs only once.
    SetElementHtml(L"agreement", L"<p>terms</p>", true);
    OnPageLoadEnd();
    OnPageLoadEnd();
    wchar_t title[1024] = L"";
    GetLocalizedTextBuffer("UPDATE_TITLE", title, 1024);
    std::wstring titleScript = std::wstring(L"logoText.innerHTML=\"") + title + L"\";";
    EXPECT_EQ(
        client_.TakeScripts(),
        (std::vector<std::wstring>{titleScript, L"agreement.innerHTML=\"<p>terms</p>\";", titleScript}));
    UpdateCEF();
    EXPECT_EQ(client_.TakeScripts(),
              (std::vector<std::wstring>{L"footerdescription.innerHTML=\"Checking files\";",
                                         L"mainbutton.innerHTML=\"Play\";", L"setMainButtonState('false');",
                                         L"setAltButtonState('false');"}));
    // The load end showed the window and asked the queue to run.
    EXPECT_TRUE(IsWindowVisible(window_));
    MSG message;
    EXPECT_TRUE(PeekMessageW(&message, window_, WM_STEP_NEXT, WM_STEP_NEXT, PM_REMOVE));

    // Without a browser, or without a client, nothing is sent; the runtime's
    // work still runs.
    client_.browser = false;
    SetItem(IDC_STATUS_TEXT, L"x");
    UpdateCEF();
    SimpleHandlerInstance = nullptr;
    EXPECT_FALSE(UpdateCEF());
    SetPageValue(L"progress.value", L"1.00");
    EXPECT_TRUE(client_.scripts.empty());
    EXPECT_EQ(Pumps, 7);
}

TEST_F(PageBridgeTest, BindingRequestsReachTheCurrentStepsButtons)
{
    BrowserCommandTarget = page_;
    for (const char* request :
         {"Binding:Cancel", "Binding Cancel now", "BindingCancel", "Binding:OK", "Binding!", "Binding"})
        EXPECT_TRUE(HandleBindingRequest(request)) << request;
    EXPECT_EQ(Commands, (std::vector<WPARAM>{IDC_ALT_BUTTON, IDC_ALT_BUTTON, IDC_MAIN_BUTTON, IDC_MAIN_BUTTON,
                                             IDC_MAIN_BUTTON, IDC_MAIN_BUTTON}));

    Commands.clear();
    EXPECT_FALSE(HandleBindingRequest("Play"));
    BrowserCommandTarget = nullptr;
    EXPECT_TRUE(HandleBindingRequest("Binding:Cancel"));
    EXPECT_TRUE(Commands.empty());
}

// The page's presses carry the number of the view they were made on; the
// step gets only those made on the view of the current step page, once it
// has been up for a moment, while the model's button is enabled. The others
// are answered all the same.
TEST_F(PageBridgeTest, PressesCountOnlyForTheViewTheyWereMadeOn)
{
    auto pressMain = [](unsigned serial) {
        Commands.clear();
        EXPECT_TRUE(HandleBindingRequest("Binding:Main@" + std::to_string(serial)));
        return Commands == std::vector<WPARAM>{IDC_MAIN_BUTTON};
    };
    HWND cba = page_;
    BrowserCommandTarget = cba;
    UpdateCEF();
    ASSERT_EQ(client_.serials.size(), 1u);
    unsigned cbaView = client_.serials.back();
    EXPECT_FALSE(pressMain(cbaView)); // the second click of a double click
    Sleep(PAGE_SETTLE_MS + 50);
    EXPECT_TRUE(pressMain(cbaView));

    // The press opens the next step, whose page loads a document: until it
    // has loaded, the old view stays on screen and its presses go nowhere,
    // and the page gets no number; then the new view's number.
    HWND eula =
        CreateWindowW(L"BridgeTestPage", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    BrowserCommandTarget = eula;
    LoadLauncherPage(L"agreement.html?page=EULA");
    UpdateCEF();
    EXPECT_EQ(client_.serials.size(), 1u);
    EXPECT_FALSE(pressMain(cbaView));
    OnPageLoadEnd();
    UpdateCEF();
    ASSERT_EQ(client_.serials.size(), 2u);
    unsigned eulaView = client_.serials.back();
    EXPECT_NE(eulaView, cbaView);
    Sleep(PAGE_SETTLE_MS + 50);
    EXPECT_FALSE(pressMain(cbaView));
    EXPECT_TRUE(pressMain(eulaView));

    // A disabled button of the model takes no press, with or without a view
    // number; another step page makes the view's number stale.
    EnableWindow(GetDlgItem(window_, IDC_MAIN_BUTTON), FALSE);
    EXPECT_FALSE(pressMain(eulaView));
    Commands.clear();
    EXPECT_TRUE(HandleBindingRequest("Binding:Main"));
    EXPECT_TRUE(Commands.empty());
    EnableWindow(GetDlgItem(window_, IDC_MAIN_BUTTON), TRUE);
    BrowserCommandTarget = cba;
    EXPECT_FALSE(pressMain(eulaView));
    DestroyWindow(eula);
}

TEST_F(PageBridgeTest, PagesCarryTheQueryAndTheStartPageFollowsTheEula)
{
    int language = LanguageIndex;
    LanguageIndex = 1;
    SetCommandLineForTest(L"Launcher.exe -registry:Steam");
    LoadLauncherPage(L"agreement.html?page=EULA");
    std::wstring expected =
        L"http://launcher/agreement.html?page=EULA&language=fr&steam=1&cluster=" + GetContentServerUrl();
    ASSERT_EQ(client_.loads.size(), 1u);
    EXPECT_EQ(client_.loads[0], expected);
    EXPECT_EQ(client_.CurrentUrl, expected);

    SetCommandLineForTest(L"Launcher.exe");
    ShowStartPage(false);
    ASSERT_EQ(client_.loads.size(), 2u);
    EXPECT_EQ(client_.loads[1].rfind(L"http://launcher/index.html?language=fr&cluster=", 0), 0u);
    ShowStartPage(false); // already shown
    EXPECT_EQ(client_.loads.size(), 2u);
    ShowStartPage(true); // again, with a fresh query
    EXPECT_EQ(client_.loads.size(), 3u);

    ShowIntroAfterEula = true;
    ShowStartPage(false);
    ShowStartPage(true);
    EXPECT_EQ(client_.loads.size(), 4u);
    EXPECT_NE(client_.loads[3].find(L"intro.html"), std::wstring::npos);

    // No browser: no load, and the URL last given stays.
    client_.browser = false;
    std::wstring current = client_.CurrentUrl;
    LoadLauncherPage(L"index.html");
    EXPECT_EQ(client_.loads.size(), 4u);
    EXPECT_EQ(client_.CurrentUrl, current);
    LanguageIndex = language;
}

TEST(LoadErrorPageTest, AddressAndErrorTextAreEscaped)
{
    EXPECT_EQ(
        LoadErrorPageHtml(L"http://launcher/a.html?x=<script>&y=\"1\"", L"net::ERR_<b>", -105),
        "<html><body bgcolor=\"white\"><h2>Failed to load URL http://launcher/a.html?x=&lt;script&gt;&amp;y="
        "&quot;1&quot; with error net::ERR_&lt;b&gt; (-105).</h2></body></html>");
}

} // namespace
