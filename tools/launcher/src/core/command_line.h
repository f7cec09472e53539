// The launcher's command-line options.
//
// Options are not parsed: each one is found by a case-sensitive substring
// search of the whole command line, so "-dedicated" also matches
// "-dedicated:2". Every option lookup of the launcher goes through here.
#pragma once

#include <string>

// The command line the options are searched in: GetCommandLineW(), or the
// text given to SetCommandLineForTest.
const wchar_t* GetLauncherCommandLine();

// Tests run the option lookups on a command line of their own; null goes
// back to the process's command line. The text is copied.
void SetCommandLineForTest(const wchar_t* commandLine);

// Whether option occurs anywhere in the command line.
bool HasOption(const wchar_t* option);

// The text that follows the first occurrence of prefix (up to the end of the
// command line), or null when prefix does not occur.
const wchar_t* FindOptionValue(const wchar_t* prefix);

// The text after the first occurrence of prefix up to the next blank (or the
// end). Returns false, and leaves value empty, when prefix does not occur;
// a blank right after prefix gives true and an empty value.
bool GetOptionWord(const wchar_t* prefix, std::wstring& value);

// The arguments of commandLine: what follows the program's name (quoted, or
// up to the first blank or tab), blanks included. Never null.
const wchar_t* SkipProgramName(const wchar_t* commandLine);
