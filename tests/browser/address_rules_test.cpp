// Which addresses leave the interface for the shell, and which frames count
// as the interface itself.
#include "interface_origin.h"
#include "shell_open.h"

#include <gtest/gtest.h>

namespace {

TEST(AddressRulesTest, OnlyWebAndMailAddressesGoToTheShell)
{
    for (const wchar_t* url :
         {L"https://vantorel.example/news", L"HTTP://x/", L"mailto:team@vantorel.example"})
        EXPECT_TRUE(IsUrlForTheShell(url)) << url;
    for (const wchar_t* url :
         {L"file:///C:/Windows/notepad.exe", L"file://host/share/x.exe", L"ms-msdt:/id PCWDiagnostic",
          L"search-ms:query=x", L"shell:startup", L"javascript:alert(1)", L"C:\\Windows\\x.exe",
          L"\\\\server\\share\\x.exe", L"notepad.exe", L"", L"https://x/\" --flag", L"http://x/\r\nnext"})
        EXPECT_FALSE(IsUrlForTheShell(url)) << url;
}

TEST(AddressRulesTest, InterfaceFramesAreThoseBelowItsBase)
{
    const wchar_t* zip = L"http://launcher/";
    EXPECT_TRUE(IsUrlBelowBase(L"http://launcher/index.html?language=en&cluster=http://x/", zip));
    EXPECT_TRUE(IsUrlBelowBase(L"http://launcher/", zip));
    for (const wchar_t* url :
         {L"http://launcher.example/index.html", L"http://127.0.0.1/launcher/", L"data:text/html,x",
          L"about:blank", L"file:///C:/launcher/index.html", L"https://launcher/index.html",
          L"http://x/?http://launcher/", L"", L"http://launcher%2F.example/",
          // The host and port are compared, not read as path segments.
          L"http://../launcher/x", L"http://evil/%2e%2e/launcher/x", L"http://evil/../launcher/x",
          L"http://launcher.evil/", L"http://launcher:8080/index.html", L"http://x@launcher/index.html",
          L"http:launcher/index.html", L"http:/launcher/index.html"})
        EXPECT_FALSE(IsUrlBelowBase(url, zip)) << url;
    EXPECT_TRUE(IsUrlBelowBase(L"HTTP://Launcher/x/../index.html", zip));

    // "-nozip": the folder's base as the launcher builds it, and its pages as
    // the runtime writes them.
    const wchar_t* folder = L"file:///C:\\Program Files\\Vantorel\\CEF3_1\\\\launcher/";
    EXPECT_TRUE(IsUrlBelowBase(L"file:///C:/Program%20Files/Vantorel/CEF3_1//launcher/index.html?language=en",
                               folder));
    EXPECT_TRUE(IsUrlBelowBase(L"file:///c:/program files/vantorel/cef3_1/launcher/intro.html", folder));
    EXPECT_FALSE(IsUrlBelowBase(L"file:///C:/Program%20Files/Vantorel/CEF3_1/other/index.html", folder));
    EXPECT_FALSE(IsUrlBelowBase(L"file:///C:/Program%20Files/Vantorel/CEF3_1/launcher/../x.html", folder));
    EXPECT_FALSE(
        IsUrlBelowBase(L"file:///C:/Program%20Files/Vantorel/CEF3_1/launcher/%2E%2E/x.html", folder));
    EXPECT_FALSE(IsUrlBelowBase(L"http://launcher/index.html", folder));
    EXPECT_FALSE(
        IsUrlBelowBase(L"file://evil/C:/Program%20Files/Vantorel/CEF3_1/launcher/index.html", folder));
    EXPECT_FALSE(IsUrlBelowBase(L"http://launcher/C:/Program%20Files/Vantorel/CEF3_1/launcher/x", folder));
    // A base with dot segments (a folder found relative to another).
    EXPECT_TRUE(IsUrlBelowBase(L"file:///Z:/work/cef/CEF3_1//launcher/index.html",
                               L"file:///Z:\\work\\x64\\..\\cef\\.\\CEF3_1\\\\launcher/"));
}

} // namespace
