// FaultCourier: sends one crash folder to the crash server and deletes it.
//
//   FaultCourier.exe "<crash folder>" [/UNATTENDED]
//
// Exit code 0 when the report was handled (the folder is gone), 1 when it
// stopped early (the folder stays), 2 when the report was handled but the
// folder is not one a crash report leaves or changed after it was checked
// (it stays). Failures are printed to standard output as lines that begin
// "Error: ".
#include <windows.h>

#include "command_line.h"
#include "error_output.h"
#include "folder_delete.h"
#include "submit.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    CommandLine arguments;
    switch (ParseCommandLine(commandLine, arguments)) {
    case CommandLineStatus::OK:
        break;
    case CommandLineStatus::NO_FOLDER:
        return 1;
    case CommandLineStatus::TOO_LONG:
        PrintError("Error: command line argument too long\n");
        return 1;
    }
    int result = SubmitCrashReport(arguments.folder, arguments.unattended);
    if (result != 0)
        return result;
    return DeleteCrashFolder(arguments.folder) ? 0 : 2;
}
