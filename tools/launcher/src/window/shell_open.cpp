#include "shell_open.h"

#include <shellapi.h>

ShellExecuteProc ShellExecuteFunction = ShellExecuteW;
