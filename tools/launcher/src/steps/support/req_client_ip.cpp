#include "req_client_ip.h"

#include "localization.h"
#include "log.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

HWND ReqClientIP::Run(HWND parent)
{
    return ShowStepPage(parent, PageProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ReqClientIP::PageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto* step = reinterpret_cast<ReqClientIP*>(lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
        SetDlgItemTextByKey(GetParent(page), IDC_STATUS_TEXT, "CHECKING_NET_ROUTE");
        step->page = page;
        LogWrite(L"\n");
        step->OpenSession(WEBAPI_API);
        step->requestPath = L"clientIP.php";
        step->body.clear();
        step->StartRequest();
        return FALSE;
    }
    case WM_WEBAPI_DONE:
        LogWrite(L"\n");
        PostStepSucceeded(page);
        return TRUE;
    case WM_DESTROY:
        if (auto* step = reinterpret_cast<ReqClientIP*>(GetWindowLongPtrW(page, GWLP_USERDATA)))
            step->page = nullptr;
        SetWindowLongPtrW(page, GWLP_USERDATA, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
