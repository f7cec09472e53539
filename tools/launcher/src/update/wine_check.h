// Whether the launcher runs under Wine (NTDLL exports "wine_get_version").
#pragma once

// Asked once; the first answer "yes" logs "WINE detected.".
bool IsRunningUnderWine();
