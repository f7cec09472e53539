// Damaged, cut, reset, stalled and refused answers of the content server end
// in a verified install or on the retry page, and a later run mends what an
// interrupted one left; a headless run that fails for good says why and
// ends with an exit code of its own.
#include "app_folders.h"
#include "manifest.h"
#include "motd_buffer.h"
#include "release_fixture.h"
#include "settings_store.h"
#include "step_page.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

using testing_support::FileExists;

namespace {

void ExpectVerifiedInstall(const ReleaseFixture& release)
{
    for (const ReleaseFile& file : release.files)
        EXPECT_EQ(FileMd5(file.localPath), file.md5) << file.path;
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The same injection for the first count attempts at an object.
std::string EveryAttempt(const std::string& injection, int count)
{
    std::string attempts = "[";
    for (int i = 0; i < count; ++i)
        attempts += (i ? ", " : "") + injection;
    return attempts + "]";
}

// The largest size a temporary file reaches while the launcher writes it. A
// fetch to memory deletes its file when it closes it: held, the watch opens
// the file first and keeps it open, so the delete leaves the file, and what
// it wrote, until the watch ends. A download's ".tmp" is opened without
// sharing and purged when a run starts: that watch reads the size by path.
class TemporaryFileWatch {
  public:
    TemporaryFileWatch(const std::wstring& path, bool hold)
        : path_(path), file_(hold ? CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                  : INVALID_HANDLE_VALUE)
    {
        if (!hold || file_ != INVALID_HANDLE_VALUE)
            thread_ = std::thread([this] {
                while (!stop_) {
                    Sample();
                    Sleep(1);
                }
            });
    }
    // A fetch to memory's file, by its name.
    static std::wstring FetchFile(const wchar_t* name)
    {
        return std::wstring(GetLocalDataFolder()) + L"\\" + name;
    }
    ~TemporaryFileWatch() { Stop(); }
    bool Watching() const { return thread_.joinable(); }
    // The largest size seen, the size at the end included.
    int64_t Largest()
    {
        Stop();
        return largest_;
    }

  private:
    void Sample()
    {
        int64_t size = 0;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        LARGE_INTEGER held = {};
        if (file_ != INVALID_HANDLE_VALUE
                ? GetFileSizeEx(file_, &held) != FALSE
                : GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) != FALSE)
            size = file_ != INVALID_HANDLE_VALUE
                       ? held.QuadPart
                       : static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
        if (size > largest_)
            largest_ = size;
    }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        Sample();
        if (file_ == INVALID_HANDLE_VALUE)
            return;
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        DeleteFileW(path_.c_str()); // when the launcher never took it
    }

    std::wstring path_;
    HANDLE file_;
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> largest_{0};
    std::thread thread_;
};

TEST(UpdateFaultTest, RecoverableFaultsEndInAVerifiedInstall)
{
    ReleaseFixture release;
    release.Add("/Data/reset.bin", 100000, 1, true);
    release.Add("/Data/range ignored.bin", 60000, 2, false);
    release.Add("/Data/wrong range.bin", 50000, 3, true);
    release.Add("/Data/busy.bin", 3000, 4, false);
    release.Add("/Data/paused.bin", 40000, 5, false);
    release.Add("/Data/dropped.bin", 2000, 6, true);
    ASSERT_TRUE(release.Publish());
    const auto& f = release.files;
    content_server::Fail(f[0].name, R"([{"reset_after": 20000}])");
    content_server::Fail(f[1].name, R"([{"close_after": 10000}, {"ignore_range": true}])");
    content_server::Fail(f[2].name, R"([{"reset_after": 5000}, {"content_range": "bytes 0-10/20"}])");
    content_server::Fail(f[3].name, R"([{"status": 503}, {"status": 500}])");
    content_server::Fail(f[4].name, R"([{"stall": 3, "after": 20000}])");
    content_server::Fail(f[5].name, R"([{"close": true}])");
    content_server::Fail("manifest", R"([{"close_after": 30}])");

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectVerifiedInstall(release);
    EXPECT_TRUE(Contains(log, "HTTP RESUME /Data/reset.bin."));
    EXPECT_TRUE(Contains(log, "Unusuable Content-Range returned for "));
    EXPECT_TRUE(Contains(log, "(status: 503)"));
    EXPECT_TRUE(Contains(log, "HTTP RESUME /origin/"));
    EXPECT_EQ(content_server::Attempts("/Data/wrong%20range.bin." + f[2].md5 + ".lzma"), 3);
}

TEST(UpdateFaultTest, RefusedAndCorruptedObjectsEndOnTheRetryPageAndTheNextRunMendsThem)
{
    ReleaseFixture release;
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
    release.Add("/Data/gone.bin", 5000, 1, true);
    release.Add("/Data/flipped.bin", 70000, 2, false);
    release.Add("/Data/fine.bin", 9000, 3, true);
    // The manifest gives it more bytes than the server has.
    release.Add("/Data/longer than sent.bin", 40000, 4, false).objectSize = 50000;
    ASSERT_TRUE(release.Publish());
    content_server::Fail(release.files[0].name, R"([{"status": 404}])");
    content_server::Fail(release.files[1].name, R"([{"flip": 100}])");
    // A body shorter than its Content-Length is resumed; past the end the
    // server answers 416 every time.
    content_server::Fail(release.files[3].name, R"([{"length": 50000}])");

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_TRUE(Contains(log, "(status: 404)")) << log;
    EXPECT_TRUE(Contains(log, "Hash mismatch on downloaded file /Data/flipped.bin."));
    EXPECT_TRUE(Contains(log, "(status: 416)"));
    EXPECT_EQ(release.LastPage(), LauncherPage::Retry);
    EXPECT_NE(release.LastPage(), LauncherPage::Ready);
    EXPECT_FALSE(FileExists(release.files[0].localPath));
    EXPECT_FALSE(FileExists(release.files[1].localPath));
    EXPECT_FALSE(FileExists(release.files[3].localPath));
    EXPECT_EQ(content_server::Attempts(release.files[0].name), 1);
    bool reported = false;
    for (const auto& request : testing_support::TestServer::Requests()) {
        if (request.path == "/stats/launcherUpload.php")
            reported = Contains(request.body, "\"ERROR_404\":1");
    }
    EXPECT_TRUE(reported);

    // A damaged manifest stops the first pass; nothing is touched.
    std::string fine = testing_support::ReadFileBytes(release.files[2].localPath);
    ASSERT_TRUE(content_server::PutManifest("not a manifest\r\n/Data/x.bin.123.lzma,5\r\n").ok);
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    log = release.Log();
    EXPECT_TRUE(Contains(log, "Could not parse binary manifest")) << log;
    EXPECT_TRUE(Contains(log, "Purging vestigial " + Narrow(release.files[1].localPath) + ".tmp"));
    EXPECT_NE(release.LastPage(), LauncherPage::Ready);
    EXPECT_EQ(testing_support::ReadFileBytes(release.files[2].localPath), fine);

    // Served whole again, the next run installs everything.
    ASSERT_TRUE(release.Publish());
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready);
    ExpectVerifiedInstall(release);
}

TEST(UpdateFaultTest, QuittingDuringAStalledDownloadEndsAtOnceAndTheNextRunCompletes)
{
    ReleaseFixture release;
    release.Add("/Data/stalled.bin", 200000, 1, false);
    release.Add("/Data/other.bin", 1000, 2, true);
    ASSERT_TRUE(release.Publish());
    // Every answer stalls after 30000 bytes, so the object is still coming
    // when the window is closed.
    content_server::Fail(release.files[0].name, EveryAttempt(R"({"stall": 60, "after": 30000})", 12));

    std::wstring line = L"\"" + testing_support::BuildFolder() + L"\\Launcher.exe\" -nocef";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    CloseHandle(process.hThread);
    for (int i = 0; i < 300 && content_server::Attempts(release.files[0].name) == 0; ++i)
        Sleep(100);
    Sleep(1000); // the stalled body has begun
    HWND window = FindWindowW(L"Launcher", nullptr);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    // The launcher asks first whether to abort the update; OK.
    HWND question = nullptr;
    for (int i = 0; i < 100 && !question; ++i) {
        Sleep(50);
        question = FindWindowW(L"#32770", nullptr);
    }
    ASSERT_NE(question, nullptr);
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // Far less than the stall or a receive time-out.
    DWORD waited = WaitForSingleObject(process.hProcess, 15000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << release.Log();
    EXPECT_FALSE(FileExists(release.files[0].localPath)) << release.Log();
    content_server::Fail(release.files[0].name, "[]");

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready);
    ExpectVerifiedInstall(release);
}

TEST(UpdateFaultTest, SlowAnswersAreAwaitedAndOnlyAStalledBodyIsResumed)
{
    ReleaseFixture release;
    release.Add("/Data/late.bin", 30000, 1, false);
    release.Add("/Data/late_packed.bin", 50000, 2, true);
    release.Add("/Data/stalled.bin", 60000, 3, false);
    release.Add("/Data/unanswered.bin", 4000, 4, true);
    ContentObject motd = content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma", "{\\rtf1 Welcome}");
    ASSERT_TRUE(release.Publish());
    const auto& f = release.files;
    // Every attempt at these is answered 3 s late, longer than a body may
    // stall: the heads are still awaited, each object fetched at once.
    std::string late = EveryAttempt(R"({"head_delay": 3})", 5);
    std::vector<std::string> lateNames = {"manifest", motd.name, f[0].name, f[1].name};
    for (const std::string& name : lateNames)
        content_server::Fail(name, late);
    // Past the first read of its body, this one stalls: the bytes read so far
    // are kept and the rest is asked for.
    content_server::Fail(f[2].name, R"([{"stall": 10, "after": 45000}])");
    // A head that never comes fails the attempt after the request's whole
    // time-out; the next attempt is answered.
    content_server::Fail(f[3].name, R"([{"head_delay": 60}])");

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectVerifiedInstall(release);
    for (const std::string& name : lateNames)
        EXPECT_EQ(content_server::Attempts(name), 1) << name;
    EXPECT_TRUE(Contains(log, "HTTP RESUME /Data/stalled.bin."));
    EXPECT_EQ(content_server::Attempts(f[2].name), 2);
    EXPECT_TRUE(Contains(log, "Could not send request for /Data/unanswered.bin."));
    EXPECT_EQ(content_server::Attempts(f[3].name), 2);
}

TEST(UpdateFaultTest, ObjectsAndTheManifestOnASlowLineArriveWhole)
{
    ReleaseFixture release;
    const std::string redirected = release.Add("/Data/trickled.bin", 40000, 1, false).name;
    const std::string plain = release.Add("/Data/trickled_packed.bin", 80000, 2, true).name;
    // A release of 1,500 files, most of them for another build: a manifest
    // object of several TLS records.
    std::string others;
    uint32_t seed = 12345;
    for (int i = 0; i < 1500; ++i) {
        std::string md5;
        for (int k = 0; k < 32; ++k) {
            seed = seed * 1103515245 + 12345;
            md5 += "0123456789ABCDEF"[(seed >> 16) & 15];
        }
        others += "/Data/steam/f" + std::to_string(i) + ".bin." + md5 + ".lzma," +
                  std::to_string(seed % 99999) + "\r\n";
    }
    ASSERT_TRUE(release.Publish(others));
    ASSERT_GT(content_server::Object("manifest").size(), 2u * 16384);
    // A few KiB a second in small pieces: far less than one read's worth
    // arrives within the time a body may go without bytes, yet bytes never
    // stop coming.
    content_server::Fail(plain, EveryAttempt(R"({"rate": 5000, "piece": 512})", 8));
    // The other object's plain address sends it on to the HTTPS side, where
    // the same line carries it in whole TLS records of seconds each: a plain
    // request whose body comes over TLS. Its first body stalls for good past
    // its first record, and the same download thread asks for the rest at
    // the plain address again, which redirects once more.
    const std::string redirect = R"({"redirect": "https://localhost:)" +
                                 std::to_string(testing_support::TestServer::HttpsPort()) + R"("})";
    content_server::Fail(redirected, "[" + redirect +
                                         R"(, {"line_rate": 5000, "stall": 30, "after": 16384}, )" +
                                         EveryAttempt(redirect + R"(, {"line_rate": 5000})", 4).substr(1));
    // The origin's line as slow: its TLS records of 16 KiB take seconds each,
    // while their bytes keep coming. The first answer stalls for good within
    // its second record; the rest of the manifest is asked for.
    content_server::Fail("manifest", R"([{"line_rate": 5000, "stall": 30, "after": 20000}, )" +
                                         EveryAttempt(R"({"line_rate": 5000})", 7).substr(1));

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectVerifiedInstall(release);
    // Only the stall cuts a body short, once.
    EXPECT_FALSE(Contains(log, "InternetReadFile failed for " + plain)) << log;
    const std::string cut = "InternetReadFile failed for " + redirected;
    ASSERT_TRUE(Contains(log, cut)) << log;
    EXPECT_FALSE(Contains(log.substr(log.find(cut) + 1), cut)) << log;
    EXPECT_FALSE(Contains(log, "InternetReadFile of header failed")) << log;
    EXPECT_EQ(content_server::Attempts(plain), 1);
    // The redirect and the request over TLS that stalled, then the resume's
    // redirect and the request over TLS that brought the rest.
    EXPECT_TRUE(Contains(log, "HTTP RESUME /Data/trickled.bin."));
    EXPECT_EQ(content_server::Attempts(redirected), 4);
    EXPECT_TRUE(Contains(log, "HTTP RESUME /origin/"));
    EXPECT_EQ(content_server::Attempts("manifest"), 2);
}

TEST(UpdateFaultTest, AnHttpsOriginIsNeverAskedOverPlainHttp)
{
    ReleaseFixture release;
    release.Add("/Data/a.bin", 3000, 1, true);
    ASSERT_TRUE(release.Publish());
    // The origin's port speaks plain http only: its https fails, and the
    // manifest it would serve over http must not be taken.
    ASSERT_TRUE(testing_support::WriteFileBytes(testing_support::BuildFolder() + L"\\Vantorel.ini",
                                                testing_support::TestServer::ServerConfig(true)));
    release.NewRequests();

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Retry) << log;
    EXPECT_TRUE(Contains(log, "Could not send request for /origin/")) << log;
    EXPECT_FALSE(FileExists(release.files[0].localPath));
    for (const std::string& path : release.NewRequests())
        EXPECT_EQ(path.find("/origin/"), std::string::npos) << path;
}

TEST(UpdateFaultTest, AnHttpsOriginThatSendsTheManifestOnToPlainHttpIsRefused)
{
    using testing_support::TestServer;
    ReleaseFixture release;
    release.Add("/Data/a.bin", 3000, 1, true);
    release.Add("/Data/b.bin", 2000, 2, false);
    ASSERT_TRUE(release.Publish());
    // The manifest a redirect chooses lies at a path of its own on another
    // https server (same CA, another port): the release's own, so that
    // taking it would install everything.
    const std::string chosen = "/chosen/index.txt.lzma";
    ASSERT_TRUE(content_server::PutBytes(chosen, content_server::Object("manifest"), R"("format": "raw")").ok);
    const std::string origin = "https://localhost:" + std::to_string(TestServer::HttpsPort());
    const std::string elsewhere = "https://localhost:" + std::to_string(TestServer::OtherHttpsPort());
    const std::string plainHop = "http://127.0.0.1:" + std::to_string(TestServer::HttpPort()) + "/chosen/hop";
    // The origin sends the manifest's request on to plain http, whose answer
    // would send it back to https elsewhere.
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "GET", "path": "/chosen/hop", "status": 302, )"
                                         R"("headers": {"Location": ")" + elsewhere + chosen + R"("}})"));
    content_server::Fail("manifest", R"([{"location": ")" + plainHop + R"("}])");
    release.NewRequests();

    std::wstring shown;
    {
        TemporaryFileWatch manifest(TemporaryFileWatch::FetchFile(L"index.txt.lzma"), true);
        ASSERT_TRUE(manifest.Watching());
        LauncherProcess launcher(L"-nocef");
        ASSERT_TRUE(launcher.Started());
        const std::wstring failed = L"Update failed!";
        launcher.WaitUntil([&] { return launcher.PaneText().find(failed) != std::wstring::npos; }, 120000);
        shown = launcher.PaneText();
        EXPECT_EQ(launcher.RunToItsEnd(), 0);
        EXPECT_EQ(launcher.LastPage(), LauncherPage::Retry) << release.Log();
        // Not a byte of any manifest was stored.
        EXPECT_EQ(manifest.Largest(), 0);
    }
    std::string log = release.Log();
    for (const ReleaseFile& file : release.files)
        EXPECT_FALSE(FileExists(file.localPath)) << file.path;
    // The page says why: the server failed, sending an https request on to
    // plain http.
    EXPECT_NE(shown.find(L"The content servers are temporarily unavailable."), std::wstring::npos)
        << Narrow(shown);
    EXPECT_NE(shown.find(L"ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR"), std::wstring::npos) << Narrow(shown);
    EXPECT_TRUE(Contains(log, "Refused the redirect of " + origin + "/origin/")) << log;
    EXPECT_TRUE(Contains(log, " to " + plainHop + ": ")) << log;
    // One request over https; the plain address it chose was never asked,
    // nor was the server it would have sent the request on to, and the
    // origin was not asked again.
    int origins = 0;
    for (const auto& request : release.NewRecordedRequests()) {
        EXPECT_EQ(request.path.find("/chosen/"), std::string::npos) << request.path << " on " << request.port;
        if (request.path.find("/origin/") != std::string::npos) {
            ++origins;
            EXPECT_TRUE(request.tls);
        }
    }
    EXPECT_EQ(origins, 1);
    EXPECT_EQ(content_server::Attempts("manifest"), 1);
    EXPECT_EQ(content_server::Attempts(chosen), 0);

    // Sent on within https, to the other server and there on to an address
    // relative to it, the manifest is taken. An empty 503 before it is
    // judged by its status, a server failure that is asked again.
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "GET", "path": "/chosen/moved", "status": 302, )"
                                         R"("headers": {"Location": "index.txt.lzma"}})"));
    content_server::Fail("manifest", R"([{"status": 503, "empty": true}, {"location": ")" + elsewhere +
                                         R"(/chosen/moved"}])");
    ASSERT_EQ(release.Run(L"-nocef"), 0) << release.Log();
    log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectVerifiedInstall(release);
    EXPECT_EQ(content_server::Attempts("manifest"), 2);
    int taken = 0;
    for (const auto& request : release.NewRecordedRequests()) {
        if (request.path == chosen) {
            ++taken;
            EXPECT_TRUE(request.tls);
            EXPECT_EQ(request.port, TestServer::OtherHttpsPort());
        }
    }
    EXPECT_EQ(taken, 1);
}

TEST(UpdateFaultTest, AHeadlessRunOnAFullVolumeEndsFailedWithTheCauseOnItsConsole)
{
    ReleaseFixture release;
    release.Add("/Data/full.bin", 100000, 1, false);
    ASSERT_TRUE(release.Publish());
    // The file's folder is linked to one outside the install, where its
    // temporary file is the system's always-full device: writing it finds
    // the volume full, as when another program fills the disk.
    struct Links {
        std::wstring install, elsewhere;
        // Before the fixture empties its folders, which would not go
        // through the links.
        ~Links()
        {
            testing_support::RemoveLink(install, L"Data");
            testing_support::RemoveLink(elsewhere, L"full.bin.tmp");
        }
    } links{release.installDir,
            release.installDir.substr(0, release.installDir.rfind(L'\\')) + L"\\Elsewhere"};
    ASSERT_TRUE(CreateDirectoryW(links.elsewhere.c_str(), nullptr));
    ASSERT_TRUE(testing_support::MakeLink(links.elsewhere, L"full.bin.tmp", L"/dev/full", false));
    ASSERT_TRUE(testing_support::MakeLink(links.install, L"Data", L"..\\Elsewhere", true));

    std::string output;
    std::optional<int> code = testing_support::RunProcess(
        L"\"" + testing_support::BuildFolder() + L"\\Launcher.exe\" -headless", &output, 120000);
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    std::string temporary;
    for (char c : Narrow(release.files[0].localPath + L".tmp"))
        temporary += c == '\\' ? "\\\\" : std::string(1, c);
    // The retry page's text, whole, with the volume's real state.
    std::string shown = "Update failed!\r\n\r\nCould not update file:\r\n" + temporary + "\r\n\r\n";
    size_t at = output.find(shown);
    ASSERT_NE(at, std::string::npos) << output;
    std::string cause =
        output.substr(at + shown.size(), output.find('\n', at + shown.size()) - at - shown.size());
    EXPECT_NE(cause.find("[0x00000070]"), std::string::npos) << cause;
    EXPECT_TRUE(Contains(output, "(0x00000070)")) << output;
    EXPECT_FALSE(Contains(output, "0x00000000")) << output;
    EXPECT_FALSE(FileExists(release.files[0].localPath));
}

// Runs the launcher until its update fails, then closes it on the retry
// page. The text the failure showed, or "" when it did not fail within a
// bound far above what a failure takes.
std::wstring RunToTheRetryPage()
{
    LauncherProcess launcher(L"-nocef");
    bool failed = launcher.WaitUntil(
        [&] { return launcher.PaneText().find(L"Update failed!") != std::wstring::npos; }, 120000);
    std::wstring shown = failed ? launcher.PaneText() : L"";
    EXPECT_EQ(launcher.RunToItsEnd(false, failed ? 120000 : 0), 0);
    EXPECT_TRUE(!failed || launcher.LastPage() == LauncherPage::Retry);
    return shown;
}

// Each "Downloaded N bytes total (M expected)" line of a log: {N, M}.
std::vector<std::pair<int64_t, int64_t>> DownloadSummaries(const std::string& log)
{
    auto number = [](const std::string& text) {
        std::string digits;
        for (char c : text)
            if (c >= '0' && c <= '9')
                digits += c;
        return digits.empty() ? int64_t(-1) : _strtoi64(digits.c_str(), nullptr, 10);
    };
    std::vector<std::pair<int64_t, int64_t>> summaries;
    const std::string head = "Downloaded ", middle = " bytes total";
    for (size_t at = log.find(head); at != std::string::npos; at = log.find(head, at + 1)) {
        size_t end = log.find(middle, at);
        size_t line = log.find('\n', at);
        if (end == std::string::npos || end > line)
            continue;
        size_t open = log.find(" (", end), close = log.find(" expected)", end);
        int64_t done = number(log.substr(at + head.size(), end - at - head.size()));
        int64_t expected = open < line && close < line ? number(log.substr(open, close - open)) : done;
        summaries.emplace_back(done, expected);
    }
    return summaries;
}

TEST(UpdateFaultTest, AnObjectThatOnlyEverStartsOverFailsAfterAFewStartsAndNothingInstalledIsHarmed)
{
    ReleaseFixture release;
    release.Add("/Data/first.bin", 3000, 1, true);
    release.Add("/Data/restarting.bin", 60000, 2, false);
    ASSERT_TRUE(release.Publish());
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    ASSERT_EQ(release.LastPage(), LauncherPage::Ready) << release.Log();
    ExpectVerifiedInstall(release);
    const std::string installed = release.files[1].md5;

    // A new release changes the object. Every fresh request of it stalls
    // after some bytes and every resume names a range that cannot be used:
    // each start brings bytes and then has to begin again.
    release.files.pop_back();
    const ReleaseFile& restarting = release.Add("/Data/restarting.bin", 60000, 3, false);
    ASSERT_TRUE(release.Publish());
    ASSERT_TRUE(content_server::FailEvery(restarting.name, R"({"stall": 5, "after": 20000})",
                                          R"({"content_range": "bytes garbage"})"));

    // An object started over for ever meets the run's bound.
    std::wstring shown = RunToTheRetryPage();
    std::string log = release.Log();
    ASSERT_FALSE(shown.empty()) << log;
    EXPECT_NE(shown.find(L"The content servers are temporarily unavailable."), std::wstring::npos)
        << Narrow(shown);
    EXPECT_TRUE(Contains(log, "Unparsable Content-Range returned for ")) << log;
    // Five starts, each a fresh request and a resume.
    EXPECT_EQ(content_server::Attempts(restarting.name), 10) << log;
    // The old file stays whole; the partial one was never put in its place.
    EXPECT_EQ(FileMd5(restarting.localPath), installed);
    EXPECT_EQ(FileMd5(release.files[0].localPath), release.files[0].md5);
    // The bytes each start threw away were counted again as bytes to fetch:
    // what is left to fetch is the object, once.
    std::vector<std::pair<int64_t, int64_t>> summaries = DownloadSummaries(log);
    ASSERT_EQ(summaries.size(), 1u) << log;
    EXPECT_EQ(summaries[0].second - summaries[0].first, restarting.objectSize) << log;

    // Served whole again, the next run installs it.
    ASSERT_TRUE(content_server::Fail(restarting.name, "[]"));
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << release.Log();
    ExpectVerifiedInstall(release);
}

TEST(UpdateFaultTest, ObjectsReadWholeAreRefusedPastTheirBoundBeforeTheyAreStored)
{
    ReleaseFixture release;
    release.Add("/Data/a.bin", 3000, 1, true);
    // More than the message of the day may have, in zeros: a few KiB served.
    ContentObject motd = content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma",
                                                  std::string(MOTD_MAX_BYTES + (1 << 20), '\0'));
    ASSERT_TRUE(release.Publish());
    const std::string huge = R"({"lzma_size": 4294967296})";

    // A manifest whose header declares 4 GiB is refused from the header: the
    // step fails and nothing is installed.
    content_server::Fail("manifest", "[" + huge + ", " + huge + "]");
    {
        TemporaryFileWatch manifest(TemporaryFileWatch::FetchFile(L"index.txt.lzma"), true);
        ASSERT_TRUE(manifest.Watching());
        ASSERT_EQ(release.Run(L"-nocef"), 0);
        std::string log = release.Log();
        EXPECT_EQ(release.LastPage(), LauncherPage::Retry) << log;
        EXPECT_TRUE(Contains(log, "it declares 4294967296 bytes")) << log;
        EXPECT_FALSE(FileExists(release.files[0].localPath));
        EXPECT_LE(manifest.Largest(), static_cast<int64_t>(MANIFEST_MAX_BYTES));
    }
    content_server::Fail("manifest", "[]");

    // A message of the day whose header declares 4 GiB is refused before a
    // byte of it is stored, and not asked for again (a second answer would
    // declare its true size, past the limit too): the run goes on without it
    // and installs.
    content_server::Fail(motd.name, "[" + huge + "]");
    TemporaryFileWatch message(TemporaryFileWatch::FetchFile(L"MOTD_en.rtf.lzma"), true);
    ASSERT_TRUE(message.Watching());
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectVerifiedInstall(release);
    EXPECT_TRUE(Contains(log, "The message of the day is not shown")) << log;
    EXPECT_EQ(message.Largest(), 0);
    EXPECT_EQ(content_server::Attempts(motd.name), 1);
}

TEST(UpdateFaultTest, ObjectsLargerThanTheManifestSaysAreRefusedAndWhatIsInstalledStays)
{
    ReleaseFixture release;
    auto publish = [&](int seed) {
        release.files.clear();
        release.Add("/Data/declared.bin", 1 << 20, seed, false);
        release.Add("/Data/undeclared.bin", 1 << 20, seed + 1, false);
        release.Add("/Data/packed.bin", 50000, seed + 2, true);
        return release.Publish();
    };
    ASSERT_TRUE(publish(1));
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    ASSERT_EQ(release.LastPage(), LauncherPage::Ready) << release.Log();
    std::vector<std::string> installed;
    for (const ReleaseFile& file : release.files)
        installed.push_back(file.md5);

    // A new release changes every object. Behind each raw object's bytes the
    // server sends 64 MiB of zeros, once counted in its Content-Length, once
    // up to the end of the connection; the packed object's header declares
    // 1 TiB decoded. Every fresh request is answered so.
    ASSERT_TRUE(publish(4));
    const std::vector<ReleaseFile>& f = release.files;
    const std::string pad = std::to_string(64 << 20);
    ASSERT_TRUE(content_server::FailEvery(f[0].name, R"({"declared": true, "pad": )" + pad + "}", "{}"));
    ASSERT_TRUE(content_server::FailEvery(f[1].name, R"({"pad": )" + pad + "}", "{}"));
    ASSERT_TRUE(content_server::FailEvery(f[2].name, R"({"lzma_size": 1099511627776})", "{}"));
    {
        TemporaryFileWatch declared(f[0].localPath + L".tmp", false);
        TemporaryFileWatch undeclared(f[1].localPath + L".tmp", false);
        std::wstring shown = RunToTheRetryPage();
        std::string log = release.Log();
        ASSERT_FALSE(shown.empty()) << log;
        EXPECT_NE(shown.find(L"Downloaded data was corrupted."), std::wstring::npos) << Narrow(shown);
        // No ".tmp" ever held more than its object, and none is left with
        // what it took.
        EXPECT_LE(declared.Largest(), f[0].objectSize) << log;
        EXPECT_LE(undeclared.Largest(), f[1].objectSize) << log;
        for (const ReleaseFile& file : f)
            EXPECT_LE(FileSize(file.localPath + L".tmp"), 0) << file.path;
        // Each was refused at once, not asked for again.
        for (const ReleaseFile& file : f)
            EXPECT_EQ(content_server::Attempts(file.name), 1) << file.path << "\n" << log;
        EXPECT_TRUE(Contains(log, ": it declares " + std::to_string((1 << 20) + (64 << 20)) +
                                      " bytes, more than the 1048576 it may have (the manifest gives it "
                                      "1048576 bytes)"))
            << log;
        for (size_t i = 0; i < f.size(); ++i)
            EXPECT_EQ(FileMd5(f[i].localPath), installed[i]) << f[i].path;
    }

    // Served as the manifest says, the next run installs everything.
    for (const ReleaseFile& file : f)
        ASSERT_TRUE(content_server::Fail(file.name, "[]"));
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << release.Log();
    ExpectVerifiedInstall(release);
}

} // namespace
