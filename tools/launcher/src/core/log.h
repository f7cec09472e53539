// LauncherLog: the launcher's one diagnostic log.
//
// Every text goes to the debugger output, to standard output in headless
// mode, and to Launcher.log while it is open. The file holds one byte per
// UTF-16 unit (its low byte); carriage returns are dropped and each line feed
// is written as CR LF. Writes take no lock: each call converts into its own
// 4096-byte stack buffer and writes it straight through.
//
// Formats follow the legacy Windows rules: in a wide format %s takes a wide
// string and %S a narrow one (see wideformat.h).
#pragma once

#include <windows.h>

extern bool HeadlessMode;

// Opens (or creates) the log file. With append the file is written at its
// end and no header is written; otherwise it is created anew. Read sharing
// only. Returns false when the file cannot be opened.
bool LogOpen(const wchar_t* path, bool append);
const wchar_t* LogFilePath();
HANDLE LogFileHandle();

void LogWrite(const wchar_t* text);
void LogPrintf(const wchar_t* format, ...);

// A writer that gathers lines before they reach LogWrite. Printf formats a
// line as LogPrintf does (a line that does not format into its buffer is
// written as its format) and hands it to Write.
class LogLineWriter {
  public:
    virtual void Write(const wchar_t* text) = 0;
    void Printf(const wchar_t* format, ...);

  protected:
    ~LogLineWriter() = default;
};
void LogWriteHeader();
void LogClose();

// Forgets the file without closing it (the hand-over deletes it itself).
void LogDetach();

int ConsolePrintf(const wchar_t* format, ...);

// Narrow bounded printf with the legacy rules: at most size characters are
// stored, no terminator when the text fills the buffer exactly; -1 when the
// text does not fit or the formatting fails.
int FormatNarrow(char* buffer, size_t size, const char* format, ...);
