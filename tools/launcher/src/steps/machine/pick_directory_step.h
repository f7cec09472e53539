// ReqPickDirectory ("PickDirectory"): asks once for the folder the game is
// installed below, with the shell's folder dialog, and keeps the answer as
// the download folder (the chosen folder followed by "\Downloaded") and the
// registry value "DownloadDir". With "-cluster:" the launcher's own install
// is used instead and nothing is asked or written.
#pragma once

#include "requirement.h"

#include <windows.h>

// The folder the dialog proposes ("<program files>\Vantorel", else
// "<local application data>\Vantorel") and whether the dialog made it; a
// folder it made is removed again when the user takes another one.
extern wchar_t DefaultInstallFolder[MAX_PATH];
extern bool DefaultInstallFolderCreated;

// What the dialog hands back: the path buffer its callback fills, whether
// that text is the one typed into the edit box, and the edit box's text as
// it was when OK was pressed.
struct FolderChoice {
    wchar_t path[MAX_PATH] = {};
    bool typed = false;
    wchar_t edit[MAX_PATH] = {};
};

// Callback of the folder dialog; data points to the FolderChoice.
int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM item, LPARAM data);

// The install folder of a launcher at modulePath: its folder's parent (for
// "X\Tools\Launcher.exe" that is X).
std::wstring InstallFolderOfModule(const wchar_t* modulePath);

// FAT, FAT32 and CDFS volumes cannot hold the game's cache; a volume whose
// information cannot be read counts as usable.
bool IsUnsupportedFileSystem(const wchar_t* volume);

class ReqPickDirectory : public Requirement {
  public:
    ReqPickDirectory() : Requirement(STEP_PROGRESS_HIDDEN) {}
    HWND Run(HWND parent) override;
};
