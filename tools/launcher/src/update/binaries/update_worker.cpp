// The order of work of the update worker: the session, the manifest, the
// message of the day, the queue, the disk check and the downloads.
#include "binaries_step.h"

#include "archive/offline_archive.h"
#include "clusters.h"
#include "command_line.h"
#include "entry_applicability.h"
#include "install_purge.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "motd_buffer.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "strings.h"
#include "url_parts.h"

#include <ctime>

std::wstring DiskCheckText;
std::wstring DiskCheckStatKey;

namespace {

const wchar_t* const kLauncherPurgePatterns[] = {L"*.tmp", L"*.dmp", nullptr};
const wchar_t* const kContentPurgePatterns[] = {
    L"*.exe", L"*.dll", L"*.dat", L"*.bin", L"*.pak", L"*charactercodescachedx*", L"*shaderpermutationdx9*",
    nullptr};

constexpr int64_t kDiskReserve = 104857600; // 100 MiB beside the download

void LogSessionConfiguration(HINTERNET session)
{
    LogWrite(L"\nWinINET configuration:\n");
    HTTP_VERSION_INFO version = {};
    DWORD size = sizeof(version);
    if (InternetQueryOptionW(session, INTERNET_OPTION_HTTP_VERSION, &version, &size) &&
        size == sizeof(version))
        LogPrintf(L"INTERNET_OPTION_HTTP_VERSION %d.%d\n", version.dwMajorVersion, version.dwMinorVersion);
    else
        LogWrite(L"INTERNET_OPTION_HTTP_VERSION query failed\n");
    DWORD retries = 0;
    size = sizeof(retries);
    if (InternetQueryOptionW(session, INTERNET_OPTION_CONNECT_RETRIES, &retries, &size) &&
        size == sizeof(retries))
        LogPrintf(L"INTERNET_OPTION_CONNECT_RETRIES: %d\n", retries);
    alignas(INTERNET_PROXY_INFO) unsigned char proxy[4096] = {};
    size = sizeof(proxy);
    if (InternetQueryOptionW(nullptr, INTERNET_OPTION_PROXY, proxy, &size)) {
        const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(proxy);
        const auto* name = reinterpret_cast<const wchar_t*>(info->lpszProxy);
        if (name && name[0])
            LogWrite(L"INTERNET_OPTION_PROXY detected\n");
    }
}

void ConfigureSession(HINTERNET session, int pass)
{
    DWORD one = 1;
    if (!InternetSetOptionW(session, INTERNET_OPTION_IGNORE_OFFLINE, &one, sizeof(one)) &&
        pass == PASS_LAUNCHER)
        LogWrite(L"INTERNET_OPTION_IGNORE_OFFLINE failed\n");
    bool shortConnect = ServerCluster == SC_TEST || ServerCluster == SC_DEV;
    SetContentTimeouts(session, shortConnect ? CONTENT_TIMEOUT_MS / 2 : CONTENT_TIMEOUT_MS);
    DWORD workers = static_cast<DWORD>(DownloadWorkerCount());
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &workers, sizeof(workers));
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &workers, sizeof(workers));
}

} // namespace

std::wstring ShortfallText(int64_t shortfall)
{
    std::wstring text;
    GetLocalizedText("INSUFFICIENT_SPACE", text);
    size_t at = text.find(L"<BYTES>");
    if (at != std::wstring::npos) {
        int64_t megabytes = shortfall < 2 * 1048576 ? 1 : shortfall / 1048576;
        wchar_t amount[64];
        FormatString(amount, 64, L"%I64d MB", megabytes);
        text.replace(at, 7, amount);
    }
    return text;
}

void SetContentTimeouts(HINTERNET handle, DWORD connectTimeout)
{
    DWORD timeout = CONTENT_TIMEOUT_MS;
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof(connectTimeout));
}

DiskCheck ReqBinaries::CheckDiskSpace()
{
    const std::wstring& folder = GetClusterInstallDir(ServerCluster);
    wchar_t volume[MAX_PATH] = {};
    if (!GetVolumePathNameW(folder.c_str(), volume, MAX_PATH)) {
        LogPrintf(L"GetVolumePathName(%s) failed", folder.c_str());
    } else if (!IsSupportedFileSystem(volume)) {
        DiskCheckStatKey = L"UNSUPPORTED_FILE_SYSTEM";
        GetLocalizedText("UNSUPPORTED_FILE_SYSTEM", DiskCheckText);
        return DISK_SHORT;
    }
    // A folder that cannot be made has its StepError: the retry page says it.
    if (!CreateDirectoryChecked(folder.c_str()))
        return DISK_ERROR;
    ULARGE_INTEGER freeToCaller = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &freeToCaller, nullptr, nullptr)) {
        // The download itself fails when the disk is really full.
        LogWrite(L"GetDiskFreeSpaceEx failed\n");
        return DISK_OK;
    }
    int64_t needed = BytesToFetch.load() + kDiskReserve;
    uint64_t free = freeToCaller.QuadPart;
    if (needed <= 0 || free >= static_cast<uint64_t>(needed))
        return DISK_OK;
    DiskCheckStatKey = L"INSUFFICIENT_SPACE";
    DiskCheckText = ShortfallText(needed - static_cast<int64_t>(free));
    return DISK_SHORT;
}

bool ReqBinaries::BuildQueue(DownloadQueue& queue)
{
    QueueBuild build;
    build.pass = Pass;
    build.force = TakeForceBinaries();
    build.bulkDownload = EnableBulkDownload;
    build.debuggerAttached = IsDebuggerPresent() != FALSE;
    build.abortRequested = &AbortRequested;
    build.isApplicable = IsManifestEntryApplicable;
    build.eulaPath = &EulaFilePath;
    build.cbaPath = &CbaFilePath;
    build.kind = kind;
    BytesToFetch = 0;
    BytesDone = 0;
    if (Pass != PASS_LAUNCHER) {
        HWND window = PageWindow ? GetParent(PageWindow) : nullptr;
        if (window)
            PostMessageW(window, WM_STEP_SHOW_MOTD, 0, 0);
    }
    bool complete = BuildDownloadQueue(ManifestEntries, build, queue);
    ResetAgreementAcceptance(build);
    if (!complete)
        return false;
    BytesToFetch = build.bytesToFetch;
    RelaunchNeeded = build.relaunchNeeded;
    BuiltKind = build.kind;
    return true;
}

void ReqBinaries::UpdateWorker()
{
    HWND window = PageWindow ? GetParent(PageWindow) : nullptr;
    HWND page = PageWindow;
    if (!CryptoProvider) {
        SetStepErrorKey("BrokenCryptographyAPI", true);
        PostStepFailed(window, page, CHAIN_RETRY_PROMPT);
        return;
    }
    if (HasOption(L"-force:network")) {
        SetStepErrorKey("ServersDown", true);
        PostStepFailed(window, page, CHAIN_RETRY_PROMPT);
        return;
    }
    srand(static_cast<unsigned>(time(nullptr)));

    if (Pass == PASS_LAUNCHER)
        PurgeVestigialFiles(AbortRequested, kLauncherPurgePatterns, false);
    else if (Pass == PASS_CONTENT)
        PurgeVestigialFiles(AbortRequested, kContentPurgePatterns, true);

    InternetSession.Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, L"origin.*", 0));
    if (!InternetSession)
        LogWrite(L"InternetOpen failed\n");
    if (Pass == PASS_LAUNCHER)
        LogSessionConfiguration(InternetSession.Get());
    ConfigureSession(InternetSession.Get(), Pass);

    enum { FAILED, SUCCEEDED, DISK_TEXT } outcome = FAILED;
    DownloadQueue queue;
    bool ready = true;
    if (Pass == PASS_LAUNCHER) {
        ready = false;
        for (bool swap : {false, true}) {
            // The manifest's MD5s are what every object is trusted by, so an
            // https origin is never asked over plain http; a plain http
            // origin is tried once more over https.
            if (swap && (AbortRequested || SchemeFallbackUrl(GetOriginServerBase(ServerCluster)).empty()))
                break;
            ContentConnection origin;
            if (!OpenConnection(origin, SERVER_ORIGIN, swap)) {
                LogWrite(L"Could not open connection\n");
                SetStepErrorKey("ServersDown", false);
                continue;
            }
            if (FetchManifest(origin)) {
                ready = true;
                break;
            }
        }
    }
    if (ready) {
        // Every pass, until an archive has been loaded in this run.
        if (ArchiveIndex.empty())
            LoadOfflineInstaller();
        if (!FetchMotd()) {
            MotdBuffer.clear();
            MotdCacheLanguage = MOTD_NO_LANGUAGE;
            MotdCacheCluster = SC_MAX;
        }
        if (BuildQueue(queue)) {
            DiskCheck disk = CheckDiskSpace();
            if (disk == DISK_SHORT) {
                PutStatistic(DiskCheckStatKey, 1);
                outcome = DISK_TEXT;
            } else if (disk == DISK_ERROR) {
                outcome = FAILED;
            } else if (queue.empty() || RunDownloads(queue)) {
                outcome = SUCCEEDED;
            }
        }
    }
    queue.clear();
    InternetSession.Reset();

    if (AbortRequested)
        return;
    if (outcome == SUCCEEDED) {
        if (page)
            PostMessageW(page, WM_COMMAND, MAKEWPARAM(ID_UPDATE_FINISHED, 0), 0);
    } else if (outcome == DISK_TEXT) {
        if (window)
            PostMessageW(window, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(DiskCheckText.c_str()));
        if (page)
            PostMessageW(page, WM_COMMAND, MAKEWPARAM(ID_UPDATE_DISK_TEXT, 0), 0);
    } else {
        PostStepFailed(window, page, CHAIN_RETRY_PROMPT);
    }
}
