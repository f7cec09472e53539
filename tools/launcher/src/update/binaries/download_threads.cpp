// The download threads of a pass and the install of each file: written as
// "<local path>.tmp", checked against the manifest's MD5, then put in place.
#include "binaries_step.h"

#include "clusters.h"
#include "install_purge.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "public_cache.h"
#include "step_error.h"
#include "strings.h"
#include "wine_check.h"

#include <process.h>

namespace {

constexpr unsigned kThreadStack = 0x80000;
constexpr DWORD kPacketBytes = 8;
const wchar_t kWineBugUrl[] = L"https://bugs.winehq.org/show_bug.cgi?id=46956";

std::wstring SystemText(DWORD error)
{
    std::wstring text;
    AppendSystemErrorText(text, error, 1033);
    return text;
}

void SetFileUpdateError(const std::wstring& local, DWORD error)
{
    std::wstring text;
    GetLocalizedText("FailedFileUpdate", text);
    text += L"\n" + DoubleBackslashes(local) + L"\n\n";
    AppendSystemErrorText(text, error, 1024);
    SetStepError(text, true);
}

// Moves the checked temporary file over the local file.
bool PutInPlace(const ManifestEntry& entry, const std::wstring& temporary)
{
    const std::wstring& local = entry.localPath;
    if (MoveFileExW(temporary.c_str(), local.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    LogPrintf(L"MoveFileEx(%s, %s) failed.\n%s\n", temporary.c_str(), local.c_str(),
              SystemText(GetLastError()).c_str());
    if (ReplaceFileW(local.c_str(), temporary.c_str(), nullptr, 0, nullptr, nullptr))
        return true;
    DWORD error = GetLastError();
    LogPrintf(L"ReplaceFile(%s, %s) failed.\n%s\n", local.c_str(), temporary.c_str(),
              SystemText(error).c_str());
    if (entry.kind == ENTRY_LAUNCHER_FILE && entry.remoteName.compare(0, 10, L"/Tools/CEF") == 0) {
        // The browser runtime is in use by this launcher: the next start
        // moves the staged copy over it.
        std::wstring staged = local + L".cpy";
        if (MoveFileExW(temporary.c_str(), staged.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            LogPrintf(L"Staging file %s\n", staged.c_str());
            return true;
        }
        error = GetLastError();
    } else if (entry.kind == ENTRY_LAUNCHER_FILE && IsRunningUnderWine()) {
        std::wstring text = L"This bug in WINE is likely responsible: ";
        text += kWineBugUrl;
        text += L"\nYou can work around this manually by moving:\n" + DoubleBackslashes(temporary) +
                L"\nto:\n" + DoubleBackslashes(local) + L"\n";
        SetStepError(text, true);
        return false;
    }
    SetFileUpdateError(local, error);
    return false;
}

// The download threads cannot be handed their work, or cannot take it: the
// pass fails with the reason rather than end as if everything were installed.
void ReportPortFailure(const wchar_t* call, DWORD error)
{
    LogPrintf(L"%s failed for the download queue (0x%08X)\n", call, error);
    std::wstring text;
    AppendSystemErrorText(text, error, 1024);
    SetStepError(text, false);
}

// Empties the port of the packets left in it.
void DrainPort(HANDLE port)
{
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    while (GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 0)) {
    }
}

void LogSummary(int64_t done, int64_t expected, DWORD elapsed)
{
    if (done == 0)
        return;
    wchar_t number[64];
    wchar_t line[512];
    FormatNumberWithCommas(number, 64, done);
    FormatString(line, 512, L"Downloaded %s bytes total", number);
    if (expected != done) {
        FormatNumberWithCommas(number, 64, expected);
        AppendString(line, 512, L" (");
        AppendString(line, 512, number);
        AppendString(line, 512, L" expected)");
    }
    if (elapsed != 0) {
        FormatNumberWithCommas(number, 64, done * 1000 / static_cast<int64_t>(elapsed));
        AppendString(line, 512, L" ~ ");
        AppendString(line, 512, number);
        AppendString(line, 512, L" B/s");
    }
    AppendString(line, 512, L"\n");
    LogWrite(line);
}

} // namespace

bool ReqBinaries::FetchObject(ContentConnection& connection, const ManifestEntry& entry, HANDLE file,
                              const std::wstring& temporary, std::wstring& hash)
{
    // Every source of an object is tried here, in order; a source that gives
    // up leaves the file empty for the next.
    if (entry.archive) {
        int64_t taken = 0;
        bool extracted = ExtractFromArchive(*entry.archive, file, temporary, hash, entry, &taken);
        if (extracted && hash == entry.md5)
            return true;
        if (AbortRequested)
            return false;
        // A damaged object or a part that shrank since it was loaded: the
        // network gives what the archive cannot.
        if (extracted)
            LogPrintf(L"Hash mismatch on archived file %s (%s)\n", entry.remoteName.c_str(), hash.c_str());
        LogPrintf(L"Downloading %s instead of installing it from the offline installer\n",
                  entry.remoteName.c_str());
        BytesToFetch.fetch_add(taken);
        Truncate(file);
        hash.clear();
    }
    if (!SingleClusterMode && ServerCluster != SC_PUBLIC && entry.kind == ENTRY_CACHE) {
        if (GetFileFromPublicCache(*this, file, hash, entry))
            return true;
        if (AbortRequested)
            return false;
    }
    return DownloadFile(connection, file, temporary, hash, entry.remoteName, true, NO_SIZE_LIMIT, entry.size);
}

bool ReqBinaries::UpdateFile(ContentConnection& connection, const ManifestEntry& entry)
{
    std::wstring temporary = entry.localPath + L".tmp";
    wchar_t folder[MAX_PATH] = {};
    CopyDirectoryPart(folder, entry.localPath.c_str());
    if (!CreateDirectoryChecked(folder))
        return false;
    UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        LogPrintf(L"Could not create file %s\n", temporary.c_str());
        std::wstring text;
        GetLocalizedText("FailedFileCreate", text);
        text += L"\n" + temporary + L"\n\n";
        AppendSystemErrorText(text, error, 1024);
        SetStepError(text, true);
        return false;
    }
    std::wstring hash;
    bool filled = FetchObject(connection, entry, file.Get(), temporary, hash);
    file.Reset();
    if (!filled)
        return false;
    if (hash != entry.md5) {
        LogPrintf(L"Hash mismatch on downloaded file %s (%s)\n", entry.remoteName.c_str(), hash.c_str());
        SetStepErrorKey("DownloadCorrupted", false);
        return false;
    }
    return PutInPlace(entry, temporary);
}

unsigned __stdcall ReqBinaries::DownloadThreadProc(void* self)
{
    auto* step = static_cast<ReqBinaries*>(self);
    ContentConnection connection;
    if (!step->OpenConnection(connection, SERVER_CONTENT, false))
        return 0;
    bool ok = true;
    while (!step->AbortRequested && ok) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        // Only posted packets come through the port, and those never fail:
        // a false answer is a wait that took nothing.
        if (!GetQueuedCompletionStatus(step->CompletionPort.Get(), &bytes, &key, &overlapped, INFINITE)) {
            ReportPortFailure(L"GetQueuedCompletionStatus", GetLastError());
            return 0;
        }
        if (key == 0)
            break;
        ok = step->UpdateFile(connection, *reinterpret_cast<const ManifestEntry*>(key));
    }
    return ok ? 1 : 0;
}

bool ReqBinaries::RunDownloads(DownloadQueue& queue)
{
    DownloadStartTick = timeGetTime();
    if (!CompletionPort) {
        ReportPortFailure(L"CreateIoCompletionPort", ERROR_INVALID_HANDLE);
        return false;
    }
    // Every entry and then one stop key per thread lie in the port before
    // any thread starts, so a thread never waits for a key that could not be
    // posted. The key of a thread that does not start is drained below.
    int count = DownloadWorkerCount();
    HANDLE port = CompletionPort.Get();
    bool posted = true;
    for (const ManifestEntry& entry : queue) {
        posted = posted &&
                 PostQueuedCompletionStatus(port, kPacketBytes, reinterpret_cast<ULONG_PTR>(&entry), nullptr);
    }
    for (int i = 0; i < count; ++i)
        posted = posted && PostQueuedCompletionStatus(port, kPacketBytes, 0, nullptr);
    if (!posted) {
        ReportPortFailure(L"PostQueuedCompletionStatus", GetLastError());
        DrainPort(port);
        return false;
    }
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < count; ++i) {
        UniqueHandle thread(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, kThreadStack, DownloadThreadProc, this, 0, nullptr)));
        if (thread)
            threads.push_back(std::move(thread));
        else
            LogWrite(L"Could not start a download thread\n");
    }
    bool ok = !threads.empty();
    for (UniqueHandle& thread : threads) {
        WaitForSingleObject(thread.Get(), INFINITE);
        DWORD code = 0;
        if (!GetExitCodeThread(thread.Get(), &code) || code == 0)
            ok = false;
    }
    // Packets a failed thread left behind must not reach a later pass.
    DrainPort(port);
    LogSummary(BytesDone.load(), BytesToFetch.load(), timeGetTime() - DownloadStartTick);
    return ok;
}
