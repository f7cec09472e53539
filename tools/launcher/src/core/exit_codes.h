// The launcher's exit codes. Scripts that start "-headless" runs (dedicated
// server hosts) read them, so each stays what it is and means one thing: 0 is
// a success only (the game or the servers started, the uninstall done), every
// other ending says why the work was not done. A headless run that hands over
// to the downloaded copy ends with the copy's code, so the crash endings of a
// copy reach the script too: no other ending shares their codes.
#pragma once

// The crash handler ended the process after a crash report: an unhandled
// exception, a stack overflow, an uncaught C++ exception or a call of
// abort() (FaultCourier was started on the report's folder unless the folder
// could not be made). A crash whose report could not be finished (a fault
// inside the report, a report that did not finish in time) ends so too.
constexpr int EXIT_CRASHED = 1;
// A headless run that failed: an update or step failure no automatic retry
// follows (a fatal StepError, or too many failures in a row), a disk that
// cannot take the update, a step's QUIT page (an agreement that cannot be
// read, an applet's log that cannot be deleted, the firewall), a quit the
// person confirmed at the install-folder question, an uninstall that left
// the install (its folder refused, its worker not started, files that
// stayed), or a wait for the downloaded copy that failed.
constexpr int EXIT_RUN_FAILED = 2;
// The process aborted: a pure virtual call, after its report, ends it with
// the code of the C runtime's abort(), which is also what abort() and an
// uncaught C++ exception give where the crash hooks are not installed (under
// a debugger).
constexpr int EXIT_ABORTED = 3;
// A headless run that found another launcher running.
constexpr int EXIT_ANOTHER_LAUNCHER = 4;
// The run could not show its pages: no window, no console dialog, no console
// to print on, a step page that could not be made, or the install-folder
// question that could not be asked.
constexpr int EXIT_NO_STEP_PAGE = 5;
// A headless run on a machine that cannot run the game: the system, the
// processor, the memory or the graphics.
constexpr int EXIT_MACHINE_UNSUPPORTED = 6;
