// The launcher's exit codes. Scripts that start "-headless" runs (dedicated
// server hosts) read them, so each stays what it is: 0 is a success only (the
// game or the servers started, the uninstall done), every other ending says
// why the work was not done.
#pragma once

// The run could not show its pages: no window, no console dialog, no console
// to print on, or a step page that could not be made.
constexpr int EXIT_NO_STEP_PAGE = 1;
// A headless run that failed: an update or step failure no automatic retry
// follows (a fatal StepError, or too many failures in a row), a disk that
// cannot take the update, or a step's QUIT page (an agreement that cannot be
// read, a failed applet, the firewall, the cache purge).
constexpr int EXIT_RUN_FAILED = 2;
// A headless run on a machine that cannot run the game: the system, the
// processor, the memory or the graphics.
constexpr int EXIT_MACHINE_UNSUPPORTED = 3;
// A headless run that found another launcher running.
constexpr int EXIT_ANOTHER_LAUNCHER = 4;
