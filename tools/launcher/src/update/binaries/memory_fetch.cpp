// Objects needed in memory rather than as installed files: the manifest and
// the message of the day.
#include "binaries_step.h"

#include "app_folders.h"
#include "command_line.h"
#include "install_purge.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "motd_buffer.h"
#include "scoped_handles.h"
#include "step_error.h"
#include "strings.h"
#include "text_table.h"

namespace {

// The temporary file of a memory fetch: the product folder and the object's
// file name.
std::wstring TemporaryPathFor(const wchar_t* objectName)
{
    wchar_t name[MAX_PATH];
    CopyString(name, MAX_PATH, GetFileNamePart(objectName));
    std::wstring path = std::wstring(GetLocalDataFolder()) + L"\\" + name;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

} // namespace

bool ReqBinaries::FetchToMemory(std::vector<char>& buffer, ContentConnection& connection,
                                const wchar_t* objectName, bool allowCache, uint64_t limit)
{
    std::wstring path = TemporaryPathFor(objectName);
    if (!CreateDirectoryChecked(GetLocalDataFolder()))
        return false;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY,
                                  nullptr));
    if (!file) {
        DWORD error = GetLastError();
        LogPrintf(L"Could not create %s temp file %s\n", objectName, path.c_str());
        std::wstring text;
        GetLocalizedText("FailedFileCreate", text);
        text += L"\n" + path + L"\n\n";
        AppendSystemErrorText(text, error, 1024);
        SetStepError(text, true);
        return false;
    }
    std::wstring hash;
    if (!DownloadFile(connection, file.Get(), path, hash, objectName, allowCache, limit)) {
        file.Reset();
        LogPrintf(L"Could not get %s\n", objectName);
        return false;
    }
    LARGE_INTEGER zero = {};
    LARGE_INTEGER length = {};
    if (SetFilePointerEx(file.Get(), zero, &length, FILE_CURRENT) && length.QuadPart > 0) {
        if (length.QuadPart > 0x7FFFFFFF) {
            buffer.clear();
        } else {
            buffer.resize(static_cast<size_t>(length.QuadPart));
            DWORD read = 0;
            if (!SetFilePointerEx(file.Get(), zero, nullptr, FILE_BEGIN) ||
                !ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) ||
                read != buffer.size())
                buffer.clear();
        }
    }
    return true;
}

bool ReqBinaries::FetchMotd()
{
    if (Pass != PASS_LAUNCHER)
        return true;
    if (MotdCacheLanguage == LanguageIndex && MotdCacheCluster == ServerCluster)
        return true;
    MotdCacheLanguage = LanguageIndex;
    MotdCacheCluster = ServerCluster;
    MotdBuffer.clear();

    const wchar_t* code = LanguageCodeFromIndex(LanguageIndex);
    if (HasOption(L"-localmotd")) {
        std::wstring path =
            std::wstring(L"S:\\Korvessa\\Ornix\\Language\\MOTD_") + (code ? code : L"") + L".rtf";
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info = {};
        // The size is checked before the read: a larger file is not read.
        if (file && GetFileInformationByHandle(file.Get(), &info) && info.nFileSizeLow > 0 &&
            info.nFileSizeHigh == 0 && info.nFileSizeLow <= MOTD_MAX_BYTES) {
            MotdBuffer.resize(info.nFileSizeLow);
            DWORD read = 0;
            if (!ReadFile(file.Get(), MotdBuffer.data(), info.nFileSizeLow, &read, nullptr))
                read = 0;
            MotdBuffer.resize(read);
        }
        if (info.nFileSizeHigh != 0 || info.nFileSizeLow > MOTD_MAX_BYTES)
            LogPrintf(L"The message of the day is not shown: %s is larger than %u bytes\n", path.c_str(),
                      static_cast<unsigned>(MOTD_MAX_BYTES));
        return true;
    }

    ContentConnection connection;
    if (!OpenConnection(connection, SERVER_CONTENT, false))
        return false;
    std::wstring name = std::wstring(L"/Ornix/Language/MOTD_") + (code ? code : L"") + L".rtf.lzma";
    if (FetchToMemory(MotdBuffer, connection, name.c_str(), true, MOTD_MAX_BYTES))
        return true;
    LogPrintf(L"The message of the day is not shown: %s could not be taken\n", name.c_str());
    return false;
}

bool ReqBinaries::FetchManifest(ContentConnection& connection)
{
    ManifestEntries.clear();
    ManifestFileList.clear();
    ForgetUnusedCacheFiles();
    std::wstring name = MakeManifestObjectName();
    std::vector<char> bytes;
    if (!FetchToMemory(bytes, connection, name.c_str(), false, MANIFEST_MAX_BYTES))
        return false;
    ManifestParseContext context = MakeManifestParseContext(EulaName, CbaName);
    return LoadManifestText(context, bytes.data(), bytes.size());
}
