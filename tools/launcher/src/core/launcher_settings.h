// LauncherSettings: the settings the launcher holds for the whole run, and
// the access values decided at start-up.
//
// Start-up runs EnumLanguageGroupsProc (through EnumSystemLanguageGroupsW),
// DetermineClusterAccess and LoadSettings once, in this order, on the
// user-interface thread. Afterwards the values change only on that thread
// (dialogs and popups, which then call SaveSettings); worker threads read
// values that do not change while they run.
#pragma once

#include <windows.h>

#include <string>

#include "clusters.h"
#include "text_table.h"

extern bool EnableFullScreen; // game option "-fullscreen:"
extern int GraphicsAPI;       // 0 DirectX 10, 1 DirectX 11, 2 DirectX 12
extern bool EnableBulkDownload;
extern bool EnableAggressiveDownload; // one download thread per processor core
extern bool LauncherGPU;              // the embedded browser may use the GPU
extern bool EnableMTRendering;        // game option "-threadedworker:"
extern bool EnableDeferred;           // game option "-deferred:"
extern int ServerCluster;             // SC_PUBLIC, SC_TEST or SC_DEV
extern int LanguageIndex;             // 0..13, the order of LanguageCodeFromIndex
extern std::wstring DownloadFolder;   // below it the game is installed; "" until known

extern bool SingleClusterMode;                  // "-cluster:" was given
extern int ClusterAccessLevel;                  // highest cluster the user may pick, 0..2
extern bool InstalledLanguages[LANGUAGE_COUNT]; // Windows can show the language

// EnumSystemLanguageGroupsW callback: marks the languages of an installed
// group in InstalledLanguages. Always continues.
BOOL CALLBACK EnumLanguageGroupsProc(LGRPID group, LPWSTR number, LPWSTR name, DWORD flags, LONG_PTR param);

// Sets SingleClusterMode and ClusterAccessLevel from the command line, the
// in-house test and "EnableTestCluster".
void DetermineClusterAccess();

// Reads the settings from the SettingsStore (migrating old values first).
void LoadSettings();

// Writes the settings back (not the download folder).
void SaveSettings();

// Index of an exact (case-sensitive) language code, or -1.
int LanguageIndexFromCode(const wchar_t* code);

// Language index of a Windows language id, by its primary language; 0 for
// languages the launcher does not have. Never 12 (tc).
int LanguageIndexFromLangId(LANGID language);

// The language LoadSettings takes: the stored code when it is one of the
// fourteen, else the system language; English when the chosen language is
// not installed.
int ChooseLanguageIndex(const wchar_t* storedCode, LANGID systemLanguage,
                        const bool installed[LANGUAGE_COUNT]);

// The cluster a "-cluster:" value asks for: "dev..." SC_DEV, "test..."
// SC_TEST (either case), anything else SC_PUBLIC.
int ClusterFromOption(const wchar_t* value);

// Puts every value above back to its state at process start.
void ResetLauncherSettingsForTest();
