// FaultCourier: sends one crash folder to the crash server and deletes it.
//
//   FaultCourier.exe "<crash folder>" [/UNATTENDED]
//
// Exit code 0 when the report was delivered (or the user chose not to send
// it) and the folder is gone, 1 when it stopped before sending (the folder
// stays), 2 when the report was handled but the folder stays: it is not one
// a crash report leaves, changed after it was checked or could not be
// deleted whole; 4 when the report was sent but not delivered (no answer,
// or one other than 2xx) and the folder is gone. Failures are printed to
// standard output as lines that begin "Error: ".
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
        PrintError("Error: no crash folder in double quotes on the command line\n");
        return COURIER_STOPPED;
    case CommandLineStatus::TOO_LONG:
        PrintError("Error: command line argument too long\n");
        return COURIER_STOPPED;
    }
    int result = SubmitCrashReport(arguments.folder, arguments.unattended);
    if (result == COURIER_STOPPED)
        return result;
    // Nothing sends the report again, delivered or not: the folder goes.
    return DeleteCrashFolder(arguments.folder) ? result : COURIER_FOLDER_KEPT;
}
