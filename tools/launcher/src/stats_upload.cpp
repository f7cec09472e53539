#include "stats_upload.h"

#include "requirement_queue.h"
#include "settings_store.h"
#include "stats_report.h"
#include "step_statistics.h"
#include "web_api.h"

void SendLauncherStats()
{
    if (ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0) != 0)
        return;
    // ClientType is taken with the client-type key path; make sure it was.
    GetSettingsKeyPath(SCOPE_CLIENT_TYPE);

    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    request.OpenSession(WEBAPI_STATS);
    request.requestPath = L"launcherUpload.php";
    request.body = BuildLauncherStatsReport(StepStatistics, TotalStepTime, ClientType);
    request.ExecuteRequest();

    // A run that reached the ready page never sends again, even when its own
    // report was lost.
    if (ReadyToPlayReached)
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 1);
}
