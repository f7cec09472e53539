#include "applet_steps.h"

#include "maintenance_requests.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "manifest.h"
#include "strings.h"
#include "binaries/install_purge.h"

namespace {

// "-force:defrag" without a trigger offers this many bytes (564 MB).
constexpr int64_t FORCED_DEFRAG_BYTES = 0x23400000;
constexpr uint64_t MIB = 1ull << 20;
constexpr uint64_t GIB = 1ull << 30;
constexpr size_t CAPTION_CAPACITY = 512;

// The localised text of key with its first "<BYTES>" replaced by amount.
std::wstring TextWithAmount(const char* key, const wchar_t* amount)
{
    std::wstring text;
    GetLocalizedText(key, text);
    size_t at = text.find(L"<BYTES>");
    if (at != std::wstring::npos)
        text.replace(at, 7, amount);
    return text;
}

bool AskToDefragment(HWND parent, uint64_t bytes)
{
    wchar_t amount[32];
    FormatString(amount, 32, L"%d MB", static_cast<int>((bytes + MIB - 1) / MIB));
    std::wstring text = TextWithAmount("OPTIMIZE_CACHE_PROMPT", amount);
    wchar_t caption[CAPTION_CAPACITY];
    GetLocalizedTextBuffer("OPTIMIZE_CACHE_CAPTION", caption, CAPTION_CAPACITY);
    return LocalizedMessageBox(parent, text.c_str(), caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void DeleteUnusedCacheFiles()
{
    uint64_t deleted = 0;
    for (const UnusedCacheFile& file : ListUnusedCacheFiles()) {
        if (DeleteFileW(file.path.c_str())) {
            LogPrintf(L"Deleted %s\n", file.path.c_str());
            deleted += static_cast<uint64_t>(file.size);
        } else {
            LogPrintf(L"Could not delete file %s\n", file.path.c_str());
        }
    }
    if (deleted != 0)
        LogPrintf(L"Deleted %llu bytes of unused binaries\n", static_cast<unsigned long long>(deleted));
}

int64_t LargestManifestFile()
{
    int64_t largest = 0;
    for (const ManifestFile& file : ManifestFileList)
        largest = file.size > largest ? file.size : largest;
    return largest;
}

} // namespace

HWND ReqDefrag::Run(HWND parent)
{
    int64_t trigger = DefragTrigger;
    if (which == 0 && trigger != DEFRAG_WITHOUT_ASKING)
        return nullptr;
    DefragTrigger = 0;
    if (trigger != DEFRAG_WITHOUT_ASKING && HasOption(L"-force:defrag"))
        trigger = FORCED_DEFRAG_BYTES;
    if (trigger == 0 || HeadlessMode)
        return nullptr;
    if (trigger != DEFRAG_WITHOUT_ASKING && !AskToDefragment(parent, static_cast<uint64_t>(trigger)))
        return nullptr;

    DeleteUnusedCacheFiles();

    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(DownloadFolder.c_str(), &available, nullptr, nullptr)) {
        LogWrite(L"GetDiskFreeSpaceEx failed\n");
        return nullptr;
    }
    uint64_t free = HasOption(L"-force:defragSpace") ? 1 : available.QuadPart;
    int64_t largest = LargestManifestFile();
    uint64_t needed = static_cast<uint64_t>(largest + largest / 2);
    if (free >= needed)
        return ReqApplet::Run(parent);

    LogPrintf(L"Skipping defrag; not enough disk space to do it safely (%lld GB free).\n",
              static_cast<long long>((free + GIB / 2) / GIB));
    wchar_t amount[32];
    FormatString(amount, 32, L"%d GB", static_cast<int>((needed + GIB - 1) / GIB));
    std::wstring text = TextWithAmount("INSUFFICIENT_SPACE", amount);
    wchar_t caption[CAPTION_CAPACITY];
    GetLocalizedTextBuffer("OPTIMIZE_FAILED_CAPTION", caption, CAPTION_CAPACITY);
    LocalizedMessageBox(parent, text.c_str(), caption, MB_OK | MB_ICONERROR);
    return nullptr;
}

void ReqDefrag::OnFinished(bool ok)
{
    if (ok)
        PostSuccess();
    else
        PostFailure();
}

void ReqDefrag::GetAppletArguments(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L" -applet:/QX/Types/Framework/CacheDefraggerAsync /Tools/CachePlan.txt");
}
