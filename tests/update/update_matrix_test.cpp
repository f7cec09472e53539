// Every fault the content server can inject meets every kind of object
// (launcher, content and cache files, each as ".lzma" and as bulk) in one
// release. Each run ends with the objects it reached verified, or on the
// retry page with the failure of each object it gave up logged; no file ever
// holds anything but its manifest's bytes, nothing verified is fetched again,
// and the runs end with a verified install.
#include "app_folders.h"
#include "release_fixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <iostream>
#include <set>

namespace {

constexpr int kMaxRuns = 30;

// What a fault does to an object that meets it.
enum Outcome {
    RECOVERED, // the run mends it (retries, resumes or restarts)
    REFUSED,   // the run gives the file up; the next one fetches it
    EITHER,    // a damaged ".lzma" stream restarts; a wrong file is refused
};

struct Fault {
    const char* name;
    Outcome outcome;
    bool lzmaOnly;
    const char* reason; // the log's line for a refused file ("" when it depends)
};

const Fault kFaults[] = {
    {"404", REFUSED, false, "(status: 404)"},
    {"410", REFUSED, false, "(status: 410)"},
    {"500", RECOVERED, false, ""},
    {"503", RECOVERED, false, ""},
    {"unanswered", RECOVERED, false, ""},
    {"range_ignored", RECOVERED, false, ""},
    {"wrong_range", RECOVERED, false, ""},
    {"reset", RECOVERED, false, ""},
    {"cut", RECOVERED, false, ""},
    {"stall", RECOVERED, false, ""},
    {"flip", EITHER, false, "Hash mismatch on downloaded file "},
    {"lzma_size", EITHER, true, "Hash mismatch on downloaded file "},
};

struct Kind {
    const char* name;
    const char* prefix;
    const char* suffix;
};

const Kind kKinds[] = {
    {"launcher", "/Tools/CEF3_1/m_", ".pak"},
    {"content", "/Data/m_", ".bin"},
    {"cache", "/Cache.Windows/m_", "_xx.cache"},
};

// The injections of the first attempts at an object.
std::string Plan(const std::string& fault, int64_t objectSize, int64_t contentSize, int kind)
{
    std::string middle = std::to_string(objectSize / 2);
    std::string third = std::to_string(objectSize / 3);
    if (fault == "404" || fault == "410" || fault == "500")
        return "[{\"status\": " + fault + "}]";
    if (fault == "503")
        return R"([{"status": 503}, {"status": 503}])";
    if (fault == "unanswered")
        return R"([{"close": true}])";
    if (fault == "range_ignored")
        return "[{\"close_after\": " + third + "}, {\"ignore_range\": true}]";
    if (fault == "wrong_range")
        return "[{\"reset_after\": " + third + R"(}, {"content_range": "bytes 0-10/20"}])";
    if (fault == "reset")
        return "[{\"reset_after\": " + middle + "}]";
    if (fault == "cut")
        return "[{\"close_after\": " + middle + "}]";
    if (fault == "stall") // longer than the engine waits for a read
        return "[{\"stall\": 4, \"after\": " + middle + "}]";
    if (fault == "flip")
        return "[{\"flip\": " + middle + "}]";
    // The header declares one byte too few, or a thousand too many.
    int64_t declared = kind == 1 ? contentSize + 1000 : contentSize - 1;
    return "[{\"lzma_size\": " + std::to_string(declared) + "}]";
}

struct Case {
    const Fault* fault;
    const Kind* kind;
    bool lzma;
    ReleaseFile file;
    int refusals = 0;
};

bool LogNames(const std::string& log, const std::string& name, const std::string& reason)
{
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        if (line.find(name) != std::string::npos && line.find(reason) != std::string::npos)
            return true;
        start = end + 1;
    }
    return false;
}

TEST(UpdateMatrixTest, EveryFaultMeetsEveryKindAndNoRunLeavesADamagedFile)
{
    ReleaseFixture release;
    std::string recorder =
        testing_support::ReadFileBytes(testing_support::BuildFolder() + L"\\relaunch_recorder.exe");
    ASSERT_FALSE(recorder.empty());
    release.AddBytes("/Tools/Launcher.exe", recorder, false);

    std::vector<Case> cases;
    int seed = 100;
    for (int k = 0; k < 3; ++k) {
        for (const Fault& fault : kFaults) {
            for (bool lzma : {true, false}) {
                if (fault.lzmaOnly && !lzma)
                    continue;
                std::string path =
                    std::string(kKinds[k].prefix) + fault.name + (lzma ? "_z" : "_b") + kKinds[k].suffix;
                int64_t size = 20000 + 700 * (seed % 40);
                ReleaseFile file = release.Add(path, size, seed++, lzma);
                cases.push_back({&fault, &kKinds[k], lzma, file});
                ASSERT_TRUE(content_server::Fail(file.name, Plan(fault.name, file.objectSize, size, k)));
            }
        }
    }
    ASSERT_TRUE(release.Publish());
    release.NewRequests();

    std::wstring logPath = std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
    bool complete = false;
    int runs = 0;
    while (!complete && runs < kMaxRuns) {
        ++runs;
        std::set<std::string> verified;
        for (const ReleaseFile& file : release.files) {
            if (FileMd5(file.localPath) == file.md5)
                verified.insert(file.name);
        }
        std::vector<int> attemptsBefore;
        for (const Case& c : cases)
            attemptsBefore.push_back(content_server::Attempts(c.file.name));
        DeleteFileW(logPath.c_str());
        ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0) << "run " << runs;
        std::string log = release.Log();

        for (const std::string& path : release.NewRequests())
            EXPECT_EQ(verified.count(path), 0u) << "run " << runs << " fetched again: " << path;
        for (size_t i = 0; i < cases.size(); ++i) {
            Case& c = cases[i];
            std::string md5 = FileMd5(c.file.localPath);
            EXPECT_TRUE(md5.empty() || md5 == c.file.md5) << "run " << runs << " damaged " << c.file.path;
            bool reached = content_server::Attempts(c.file.name) > attemptsBefore[i];
            if (!reached || md5 == c.file.md5)
                continue;
            // Given up: the log says why, and only faults that may refuse do.
            ++c.refusals;
            EXPECT_NE(c.fault->outcome, RECOVERED) << c.file.path << "\n" << log;
            EXPECT_TRUE(LogNames(log, c.file.name, c.fault->reason)) << c.file.path << "\n" << log;
            EXPECT_NE(release.LastPage(), LauncherPage::Ready) << log;
        }
        complete = release.LastPage() == LauncherPage::Ready;
    }
    EXPECT_TRUE(complete) << "after " << runs << " runs";

    std::cout << "Fault matrix over " << runs
              << " runs (R: mended in its run, X: retry page, then mended):\n";
    for (const Case& c : cases) {
        content_server::AttemptCounts counts = content_server::Counts(c.file.name);
        EXPECT_GE(counts.injected, 1) << c.file.path;
        EXPECT_EQ(FileMd5(c.file.localPath), c.file.md5) << c.file.path;
        if (c.fault->outcome == REFUSED || (c.fault->outcome == EITHER && !c.lzma)) {
            EXPECT_EQ(c.refusals, 1) << c.file.path;
        }
        std::cout << "  " << c.fault->name << " x " << c.kind->name << (c.lzma ? " lzma" : " bulk") << ": "
                  << (c.refusals ? "X" : "R") << "\n";
    }
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());
    EXPECT_TRUE(FindFiles(release.launcherDir, L".tmp").empty());
    EXPECT_TRUE(FindFiles(release.launcherDir, L".cpy").empty());
}

} // namespace
