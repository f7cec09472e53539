/* The pure-call hook of this toolchain.
 *
 * Code built by g++ calls __cxa_pure_virtual (not the C runtime's _purecall)
 * when a pure virtual function is called through an unfinished object, and
 * the runtime's _set_purecall_handler only stores its argument. Defining the
 * hook here, in C so that the name is not mangled, replaces the support
 * library's version (which prints to a console the launcher does not have)
 * and routes the call to the handler the launcher installed. */
#include <stdlib.h>

typedef void (*PureCallHook)(void);

static PureCallHook InstalledPureCallHandler;
static PureCallHook InstalledPureCallEnd;

/* handler reports the call; end, which does not return, ends the process
 * once that report (and any other one in progress) is done. */
void InstallPureCallHook(PureCallHook handler, PureCallHook end)
{
    InstalledPureCallHandler = handler;
    InstalledPureCallEnd = end;
}

/* After the handler has returned the process ends as the runtime's abort
 * would, with its exit code 3 (EXIT_ABORTED of exit_codes.h) and without its
 * message box: the report has already been made. */
static void EndAfterPureCall(void)
{
    if (InstalledPureCallHandler)
        InstalledPureCallHandler();
    if (InstalledPureCallEnd)
        InstalledPureCallEnd();
    _exit(3);
}

void __cxa_pure_virtual(void)
{
    EndAfterPureCall();
}

/* Same object in the support library as the hook above; defined here so that
 * the library's copy is never linked beside ours. */
void __cxa_deleted_virtual(void)
{
    EndAfterPureCall();
}
