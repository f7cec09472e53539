// ReqApplet: a step that runs the game's own executable as a maintenance
// applet (the cache steps of the main chain). It deletes the applet's old
// log before the start, builds the game's command line with the applet's
// arguments and gives the child the game's environment.
#pragma once

#include "process/spawn_process.h"

class ReqApplet : public ReqSpawnProcess {
  public:
    using ReqSpawnProcess::ReqSpawnProcess;

    // Deletes the applet's log in the install folder and shows the process
    // page; a log that cannot be deleted shows the QUIT page instead.
    HWND Run(HWND parent) override;
    void BuildCommandLine(wchar_t* buffer, size_t capacity) override;
    void BuildEnvironment(EnvironmentBlock& block) override;
    // 0 succeeds; 0xC000007B (the applet cannot run on this system) is let
    // pass; any other code sets the failure text and fails.
    bool CheckExitCode(DWORD code) override;

    // Appended to the command line, for example
    // " -applet:/QX/Types/Framework/CacheRepair".
    virtual void GetAppletArguments(wchar_t* buffer, size_t capacity) = 0;
    // The applet's log file in the install folder, "Repair.log".
    virtual const wchar_t* GetLogFileName() = 0;

  protected:
    // The end of the step: the handles closed, then success, or the chain
    // asked for (the retry page for the applets).
    void PostSuccess();
    void PostFailure(int chain = CHAIN_RETRY_PROMPT);
};

// The failure text of an applet step: the failure key's text, a blank line
// and the "AppletCrashed" text.
std::wstring AppletFailureText(const char* failureKey);
