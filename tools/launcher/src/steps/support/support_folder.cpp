#include "support_folder.h"

#include "log.h"
#include "step_error.h"
#include "step_messages.h"
#include "strings.h"

#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace {

constexpr size_t FOLDER_CAPACITY = 261;
constexpr size_t COPY_LIST_CAPACITY = 2080;

wchar_t SupportLogFolder[FOLDER_CAPACITY] = {};

// The game's files worth sending to support, in the product folder.
const wchar_t* const GameFiles[] = {L"QX.log", L"QX.cfg", L"Editor.cfg"};

bool IsFile(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Appends one entry, terminated, to a double-terminated list; false when
// it does not fit.
bool AppendToList(std::wstring& list, const wchar_t* entry)
{
    size_t length = wcslen(entry);
    if (length == 0 || list.size() + length + 2 > COPY_LIST_CAPACITY)
        return false;
    list.append(entry, length);
    list.push_back(L'\0');
    return true;
}

} // namespace

const wchar_t* GetSupportLogFolder()
{
    if (SupportLogFolder[0] == 0) {
        wchar_t desktop[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, desktop))) {
            CopyString(SupportLogFolder, FOLDER_CAPACITY, desktop);
            AppendString(SupportLogFolder, FOLDER_CAPACITY, L"\\Vantorel Logs");
        }
    }
    return SupportLogFolder;
}

void ResetSupportLogFolderForTest()
{
    SupportLogFolder[0] = 0;
}

HWND ReqMakeLogDirectory::Run(HWND parent)
{
    const wchar_t* folder = GetSupportLogFolder();
    // Without a desktop, or with a path that leaves no room for the list's
    // second terminator, there is no folder to replace.
    if (folder[0] == 0 || wcslen(folder) >= FOLDER_CAPACITY - 1) {
        LogPrintf(L"Could not delete %s [0x%08x]\n", folder, ERROR_BUFFER_OVERFLOW);
        return nullptr;
    }
    std::wstring from(folder);
    from.push_back(L'\0'); // the list ends with two terminators
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
    int result = SHFileOperationW(&operation);
    if (result != 0 && result != ERROR_FILE_NOT_FOUND) {
        LogPrintf(L"Could not delete %s [0x%08x]\n", folder, result);
        return nullptr;
    }
    if (CreateDirectoryChecked(folder))
        return nullptr;
    std::wstring text;
    bool fatal = false;
    GetStepError(text, fatal);
    SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    kind = STEP_PROGRESS_HIDDEN;
    return nullptr;
}

HWND ReqCopyLogs::Run(HWND parent)
{
    std::wstring list;
    if (const wchar_t* log = LogFilePath(); log && log[0])
        AppendToList(list, log);
    wchar_t product[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, product))) {
        for (const wchar_t* name : GameFiles) {
            wchar_t path[MAX_PATH] = {};
            FormatString(path, MAX_PATH, L"%s\\Vantorel\\%s", product, name);
            if (IsFile(path))
                AppendToList(list, path);
        }
    }
    if (list.empty())
        return nullptr;
    list.push_back(L'\0');

    std::wstring to(GetSupportLogFolder());
    to.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = parent;
    operation.wFunc = FO_COPY;
    operation.pFrom = list.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_SIMPLEPROGRESS | FOF_NOCOPYSECURITYATTRIBS | FOF_NORECURSION;
    int result = SHFileOperationW(&operation);
    if (result != 0)
        LogPrintf(L"Could not copy log files to %s [0x%08x]\n", GetSupportLogFolder(), result);
    return nullptr;
}
