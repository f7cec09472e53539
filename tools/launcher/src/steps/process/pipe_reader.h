// The reading side of a child's output pipes: bytes become lines, and one
// thread per pipe hands each complete line to the step.
//
// Lines reach the step through an OutputSink shared by the step's readers,
// whose lock makes the step see one line at a time, from whichever thread.
// A reader owns its pipe end: it reads until the child's end is closed by
// every process that holds it, or until the step sets the stop event (a
// grandchild may keep the pipe open long after the child ended). A reader
// that still has not ended can be detached: it then delivers nothing more
// and cleans up after itself, so the step may go away first.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Splits a child's bytes into lines. A zero byte ends the walk of its chunk;
// carriage returns are dropped; each line is delivered with its "\n". Bytes
// widen to one UTF-16 unit each, without sign extension, so the log, which
// writes each unit's low byte, reproduces the child's bytes. A line that
// grows to MaxLine units without an end is delivered as it stands, so a
// child that never ends its line cannot make the launcher's memory grow.
class OutputLineSplitter {
  public:
    static constexpr size_t MaxLine = 65536;
    using Deliver = std::function<void(const std::wstring& line)>;

    void Feed(const char* bytes, size_t size, const Deliver& deliver);
    // The unfinished line, if not empty, with "\n" appended.
    void Finish(const Deliver& deliver);

  private:
    std::wstring line_;
};

class OutputSink {
  public:
    explicit OutputSink(OutputLineSplitter::Deliver deliver) : deliver_(std::move(deliver)) {}
    void Deliver(const std::wstring& line);
    // After this no line is delivered any more.
    void Detach();

  private:
    std::mutex lock_;
    OutputLineSplitter::Deliver deliver_;
};

// Starts the reader thread of pipe (the launcher's read end, which the
// reader closes when it ends). stop is duplicated for the reader. Returns
// the thread's handle, or null when no thread could start (the pipe is
// closed then).
HANDLE StartPipeReader(HANDLE pipe, const std::shared_ptr<OutputSink>& sink, HANDLE stop);
