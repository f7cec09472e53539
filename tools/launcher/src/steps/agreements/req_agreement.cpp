#include "req_agreement.h"

#include "button_subclass.h"
#include "command_line.h"
#include "localization.h"
#include "log.h"
#include "manifest.h"
#include "scoped_handles.h"
#include "settings_store.h"
#include "shown_agreement.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <mmsystem.h>

AgreementDocument CbaDocument = {
    CbaFilePath,   CbaFileHash, L"ReadCba", L"-localcba", L"S:\\Korvessa\\Ornix\\Language\\CBA_en.rtf",
    AGREEMENT_CBA, false,       {},         false};
AgreementDocument EulaDocument = {
    EulaFilePath,   EulaFileHash, L"ReadEula", L"-localeula", L"S:\\Korvessa\\Ornix\\Language\\EULA_en.rtf",
    AGREEMENT_EULA, true,         {},          false};

namespace {

constexpr size_t RECORDED_CAPACITY = 128;

// Reads the whole document into its buffer, followed by a zero byte. False
// when the file is missing, unreadable, empty or larger than
// AGREEMENT_MAX_BYTES.
bool LoadDocument(AgreementDocument& document, const wchar_t* path)
{
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart == 0)
        return false;
    if (size.QuadPart > AGREEMENT_MAX_BYTES) {
        LogPrintf(L"The agreement %s is not shown: %I64d bytes, more than %I64d\n", path, size.QuadPart,
                  AGREEMENT_MAX_BYTES);
        return false;
    }
    std::vector<char> bytes(size.LowPart);
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes.data(), size.LowPart, &read, nullptr))
        read = 0;
    // A short read keeps the bytes read.
    bytes.resize(read);
    bytes.push_back('\0');
    document.buffer.swap(bytes);
    return true;
}

} // namespace

bool IsAgreementAccepted(AgreementDocument& document)
{
    if (document.path.empty())
        return false;
    if (!document.forceConsumed && HasOption(L"-force:agreements")) {
        document.forceConsumed = true;
        WriteSettingString(SCOPE_CLIENT_TYPE, document.setting, L"");
    }
    wchar_t recorded[RECORDED_CAPACITY] = {};
    ReadSettingString(SCOPE_CLIENT_TYPE, recorded, RECORDED_CAPACITY, document.setting);
    return document.hash == recorded;
}

bool IsCbaAccepted()
{
    return IsAgreementAccepted(CbaDocument);
}

bool IsEulaAccepted()
{
    return IsAgreementAccepted(EulaDocument);
}

HWND ReqAgreement::Run(HWND parent)
{
    if (document_.path.empty() || IsAgreementAccepted(document_))
        return nullptr;
    const wchar_t* path = HasOption(document_.localOption) ? document_.sharePath : document_.path.c_str();
    if (LoadDocument(document_, path))
        return ShowStepPage(parent, PageProc(), 0);
    kind = STEP_PROGRESS_HIDDEN;
    return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>("UPDATE_FAILED"));
}

INT_PTR ReqAgreement::HandlePage(AgreementDocument& document, HWND page, UINT message, WPARAM wParam)
{
    HWND parent = GetParent(page);
    switch (message) {
    case WM_INITDIALOG: {
        HWND button = GetDlgItem(parent, IDC_MAIN_BUTTON);
        EnableWindow(button, TRUE);
        SetWindowTextByKey(button, "AGREE", true);
        FocusActionButton(button);
        if (document.eula)
            joySetCapture(parent, JOYSTICKID1, 0, FALSE);
        ShownAgreement = document.shownId;
        SendMessageW(parent, WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(document.buffer.data()));
        if (!HeadlessMode)
            return FALSE;
        // The console has no button: the step succeeds without a record.
        ShownAgreement = AGREEMENT_NONE;
        PostStepSucceeded(page);
        return TRUE;
    }
    case WM_COMMAND:
        if (wParam != IDC_MAIN_BUTTON)
            return FALSE;
        // A failed write goes unnoticed: the document shows again next time.
        WriteSettingString(SCOPE_CLIENT_TYPE, document.setting, document.hash.c_str());
        if (document.eula)
            ShowIntroAfterEula = true;
        ShownAgreement = AGREEMENT_NONE;
        PostStepSucceeded(page);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ReqCBA::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    return HandlePage(CbaDocument, page, message, wParam);
}

INT_PTR CALLBACK ReqEULA::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    return HandlePage(EulaDocument, page, message, wParam);
}
