#include "machine_test_support.h"

#include "settings_store.h"
#include "step_messages.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>

namespace machine_test {

namespace {

LRESULT CALLBACK RecordShownText(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data)
{
    if (message == WM_STEP_SHOW_TEXT) {
        auto* texts = reinterpret_cast<std::vector<std::wstring>*>(data);
        texts->push_back(!lParam       ? L"<none>"
                         : wParam == 0 ? reinterpret_cast<const wchar_t*>(lParam)
                                       : L"<rtf>");
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

PageParent::PageParent()
{
    SetWindowSubclass(window_.get(), RecordShownText, 1, reinterpret_cast<DWORD_PTR>(&shownTexts));
    for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON, IDC_STATUS_TEXT}) {
        CreateWindowExW(0, id == IDC_STATUS_TEXT ? L"Static" : L"Button", L"", WS_CHILD | WS_DISABLED, 0, 0,
                        10, 10, window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                        nullptr);
    }
}

std::wstring PageParent::ItemText(int id) const
{
    wchar_t text[1024] = {};
    GetWindowTextW(Item(id), text, 1024);
    return text;
}

bool WaitForPosted(HWND window, UINT message, MSG* taken, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    bool quit = false;
    int quitCode = 0;
    bool found = false;
    for (;;) {
        MSG next;
        if (PeekMessageW(&next, window, message, message, PM_REMOVE)) {
            if (taken)
                *taken = next;
            found = true;
            break;
        }
        // Everything else is dispatched as the message loop would.
        while (PeekMessageW(&next, nullptr, 0, message - 1, PM_REMOVE) ||
               PeekMessageW(&next, nullptr, message + 1, 0xFFFFFFFF, PM_REMOVE)) {
            if (next.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(next.wParam);
                continue;
            }
            TranslateMessage(&next);
            DispatchMessageW(&next);
        }
        if (GetTickCount() - start > timeoutMs)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    if (quit)
        PostQuitMessage(quitCode);
    return found;
}

DownloadDirGuard::DownloadDirGuard()
{
    wchar_t value[MAX_PATH] = {};
    ReadSettingString(SCOPE_CLIENT_TYPE, value, MAX_PATH, L"DownloadDir");
    saved_ = value;
}

DownloadDirGuard::~DownloadDirGuard()
{
    if (saved_.empty())
        DeleteSetting(L"DownloadDir");
    else
        WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", saved_.c_str());
}

namespace {

BOOL CALLBACK FindTreeView(HWND window, LPARAM found)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (wcscmp(name, L"SysTreeView32") != 0)
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// The folder dialog is the one dialog with a folder tree.
bool IsFolderDialog(HWND dialog)
{
    bool tree = false;
    EnumChildWindows(dialog, FindTreeView, reinterpret_cast<LPARAM>(&tree));
    return tree;
}

struct DialogSearch {
    DWORD processId;                  // 0: the enumerated thread's windows are all candidates
    bool anyKind;                     // else folderDialog says which kind:
    bool folderDialog;                //   the folder dialog, or a message box
    const std::vector<HWND>* skipped; // or null
    HWND found = nullptr;
};

bool IsDialogOf(HWND window, DWORD processId)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return (!processId || owner == processId) && wcscmp(name, L"#32770") == 0;
}

// A dialog on screen that takes input: not one that is closing (EndDialog
// hides it first) nor one under a modal box of its own.
BOOL CALLBACK FindShownDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<DialogSearch*>(data);
    if (!IsDialogOf(window, search->processId) || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return TRUE;
    if (search->skipped &&
        std::find(search->skipped->begin(), search->skipped->end(), window) != search->skipped->end())
        return TRUE;
    if (!search->anyKind && IsFolderDialog(window) != search->folderDialog)
        return TRUE;
    search->found = window;
    return FALSE;
}

// Every dialog of the enumerated thread, shown or not, taking input or not.
BOOL CALLBACK CollectDialogs(HWND window, LPARAM found)
{
    if (IsDialogOf(window, 0))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

// The user of the thread's dialogs whose timer runs (users made on one
// thread nest).
thread_local DialogUser* ThreadUser = nullptr;

bool Shown(HWND dialog)
{
    return IsWindow(dialog) && IsWindowVisible(dialog);
}

// Polls until the dialog is no longer shown; false after ms.
bool WaitUntilGone(HWND dialog, DWORD ms)
{
    for (DWORD start = GetTickCount(); Shown(dialog); Sleep(25)) {
        if (GetTickCount() - start >= ms)
            return false;
    }
    return true;
}

// Types and presses as a person does; nothing here waits on the dialog's
// thread for longer than a moment, so a thread that does not answer cannot
// hold the user.
void Give(HWND dialog, const DialogAnswer& answer)
{
    if (!answer.messageBox && !answer.typed.empty()) {
        HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.typed.c_str()), SMTO_NORMAL,
                            5000, &result);
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(answer.ok ? IDOK : IDCANCEL, BN_CLICKED), 0);
}

const char* KindName(const DialogAnswer& answer)
{
    return answer.messageBox ? "message box" : "folder dialog";
}

} // namespace

std::atomic<int> DialogUser::endingUsers_{0};

DialogUser::DialogUser(DWORD threadId, std::vector<DialogAnswer> answers, DWORD processId)
    : threadId_(threadId), processId_(processId), answers_(std::move(answers)),
      endedHere_(!processId && threadId == GetCurrentThreadId()), thread_([this] {
          Answer();
          EndTheRest();
      })
{
    if (endedHere_) {
        outerUser_ = ThreadUser;
        ThreadUser = this;
        timer_ = SetTimer(nullptr, 0, 100, EndLeftDialogs);
    }
}

DialogUser::~DialogUser()
{
    stop_ = true;
    thread_.join();
    if (endedHere_) {
        KillTimer(nullptr, timer_);
        ThreadUser = outerUser_;
    }
    if (!failures_.empty()) {
        --endingUsers_;
        ADD_FAILURE() << "The dialogs were not answered as the test meant:\n" << failures_;
    }
}

void DialogUser::Fail(const std::string& what)
{
    std::lock_guard<std::mutex> lock(failuresLock_);
    if (failures_.empty())
        ++endingUsers_;
    failures_ += what + "\n";
}

// Runs within whatever modal loop the thread is in. EndDialog ends that
// loop as the dialog's own procedure would: nothing is left in the queue.
void CALLBACK DialogUser::EndLeftDialogs(HWND, UINT, UINT_PTR, DWORD)
{
    DialogUser* user = ThreadUser;
    DWORD endingSince = user ? user->endingSince_.load() : 0;
    if (!endingSince)
        return;
    std::vector<HWND> open;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialogs, reinterpret_cast<LPARAM>(&open));
    auto& seen = user->seenSince_;
    seen.erase(std::remove_if(seen.begin(), seen.end(),
                              [&](const auto& entry) {
                                  return std::find(open.begin(), open.end(), entry.first) == open.end();
                              }),
               seen.end());
    DWORD now = GetTickCount();
    for (HWND dialog : open) {
        auto entry = std::find_if(seen.begin(), seen.end(), [&](const auto& e) { return e.first == dialog; });
        if (entry == seen.end()) {
            seen.emplace_back(dialog, now);
            continue;
        }
        DWORD since = static_cast<LONG>(entry->second - endingSince) > 0 ? entry->second : endingSince;
        if (now - since < ENDING_MS)
            continue;
        user->Fail("a dialog was still open " + std::to_string(ENDING_MS / 1000) +
                   " s after the user began ending dialogs: the test ended it");
        EndDialog(dialog, IDCANCEL);
        seen.erase(entry);
    }
}

HWND DialogUser::FindShown(Kind kind, bool anyAnswered) const
{
    DialogSearch search = {processId_, kind == Kind::ANY, kind == Kind::FOLDER_DIALOG,
                           anyAnswered ? nullptr : &answeredDialogs_};
    if (processId_)
        EnumWindows(FindShownDialog, reinterpret_cast<LPARAM>(&search));
    else
        EnumThreadWindows(threadId_, FindShownDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void DialogUser::Answer()
{
    for (size_t i = 0; i < answers_.size(); ++i) {
        const DialogAnswer& answer = answers_[i];
        std::string which = "answer " + std::to_string(i + 1) + " (" + KindName(answer) + ")";
        Kind kind = answer.messageBox ? Kind::MESSAGE_BOX : Kind::FOLDER_DIALOG;
        HWND dialog = nullptr;
        for (DWORD start = GetTickCount(); !(dialog = FindShown(kind)); Sleep(25)) {
            if (stop_) {
                Fail(which + ": no dialog came before the code under test went on");
                return;
            }
            if (GetTickCount() - start >= APPEAR_MS) {
                Fail(which + ": no dialog came within " + std::to_string(APPEAR_MS / 1000) + " s");
                return;
            }
        }
        answeredDialogs_.push_back(dialog);
        // A press that the dialog did not take (it stays on screen) is
        // made again.
        DWORD start = GetTickCount();
        do {
            Give(dialog, answer);
            if (WaitUntilGone(dialog, 5000))
                break;
        } while (GetTickCount() - start < TAKE_MS);
        if (Shown(dialog)) {
            Fail(which + ": the dialog was still shown " + std::to_string(TAKE_MS / 1000) +
                 " s after the answer");
            return;
        }
        ++answered_;
    }
}

void DialogUser::EndTheRest()
{
    endingSince_ = GetTickCount() | 1;
    std::vector<HWND> ended;
    while (!stop_) {
        HWND dialog = FindShown(Kind::ANY, true);
        if (!dialog) {
            Sleep(25);
            continue;
        }
        if (std::find(ended.begin(), ended.end(), dialog) == ended.end()) {
            ended.push_back(dialog);
            Fail(std::string("a ") + (IsFolderDialog(dialog) ? "folder dialog" : "message box") +
                 " was shown that no answer was for, or that did not take its answer: the test ended it");
        }
        // Cancel, as a person would; a dialog that does not take it is
        // closed. One that takes neither (a box without Cancel, a dialog
        // procedure that ignores both) is ended by its thread's timer, or,
        // in another process, has its modal loop ended by a quit message to
        // its thread: the loop returns and destroys the dialog.
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (WaitUntilGone(dialog, 1000))
            continue;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        if (WaitUntilGone(dialog, 1000))
            continue;
        if (!endedHere_)
            PostThreadMessageW(GetWindowThreadProcessId(dialog, nullptr), WM_QUIT, 0, 0);
        WaitUntilGone(dialog, endedHere_ ? ENDING_MS : 1000);
    }
}

} // namespace machine_test
