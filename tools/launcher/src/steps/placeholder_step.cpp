#include "placeholder_step.h"

#include "log.h"

HWND PlaceholderStep::Run(HWND)
{
    LogPrintf(L"Step %s is not built yet\n", name_);
    return nullptr;
}
