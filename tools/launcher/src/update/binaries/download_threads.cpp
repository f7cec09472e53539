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
    if (!SingleClusterMode && ServerCluster != SC_PUBLIC && entry.kind == ENTRY_CACHE &&
        GetFileFromPublicCache(*this, file, hash, entry))
        return true;
    return DownloadFile(connection, file, temporary, hash, entry.remoteName, true);
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
        GetQueuedCompletionStatus(step->CompletionPort.Get(), &bytes, &key, &overlapped, INFINITE);
        if (key == 0)
            break;
        ok = step->UpdateFile(connection, *reinterpret_cast<const ManifestEntry*>(key));
    }
    return ok ? 1 : 0;
}

bool ReqBinaries::RunDownloads(DownloadQueue& queue)
{
    DownloadStartTick = timeGetTime();
    for (const ManifestEntry& entry : queue)
        PostQueuedCompletionStatus(CompletionPort.Get(), kPacketBytes, reinterpret_cast<ULONG_PTR>(&entry),
                                   nullptr);
    int count = DownloadWorkerCount();
    std::vector<UniqueHandle> threads;
    for (int i = 0; i < count; ++i) {
        UniqueHandle thread(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, kThreadStack, DownloadThreadProc, this, 0, nullptr)));
        if (thread)
            threads.push_back(std::move(thread));
        else
            LogWrite(L"Could not start a download thread\n");
        PostQueuedCompletionStatus(CompletionPort.Get(), kPacketBytes, 0, nullptr);
    }
    bool ok = !threads.empty();
    for (UniqueHandle& thread : threads) {
        WaitForSingleObject(thread.Get(), INFINITE);
        DWORD code = 0;
        if (!GetExitCodeThread(thread.Get(), &code) || code == 0)
            ok = false;
    }
    // Packets a failed thread left behind must not reach a later pass.
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    while (GetQueuedCompletionStatus(CompletionPort.Get(), &bytes, &key, &overlapped, 0)) {
    }
    LogSummary(BytesDone.load(), BytesToFetch.load(), timeGetTime() - DownloadStartTick);
    return ok;
}
