// The process frame's module-wide flags (declared in launcher.h).
#include "launcher.h"

bool CefEnabled = false;
bool DedicatedMode = false;
COLORREF TextColor = 0xFFFFFF;
int InstalledLanguageCount = 0;
