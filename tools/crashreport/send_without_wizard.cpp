#include "send_without_wizard.h"

#include "answer.h"
#include "attach.h"
#include "crash_endpoint.h"
#include "transport.h"

void SendReportWithoutWizard(ReportBody& body, const std::wstring& folder)
{
    AttachCrashFiles(body, folder);
    ServerAnswer answer;
    PostCrashReport(CrashEndpointUrl().c_str(), ReportBodyText(body), answer, true);
}
