#include "wine_check.h"

#include "log.h"

#include <windows.h>

namespace {

bool Answered = false;
bool UnderWine = false;

} // namespace

bool IsRunningUnderWine()
{
    if (Answered)
        return UnderWine;
    Answered = true;
    UnderWine = false;
    HMODULE ntdll = GetModuleHandleW(L"NTDLL.DLL");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version")) {
        LogWrite(L"WINE detected.\n");
        UnderWine = true;
    }
    return UnderWine;
}
