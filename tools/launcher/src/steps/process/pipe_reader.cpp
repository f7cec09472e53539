#include "pipe_reader.h"

#include "scoped_handles.h"

#include <process.h>

namespace {

// Reads at most this many bytes at a time, so a chunk and its terminating
// zero fit a 1024-byte buffer.
constexpr DWORD READ_CHUNK = 1023;
// How often an idle reader looks at its pipe and the stop event.
constexpr DWORD IDLE_WAIT_MS = 10;

// Owned by the reader thread once it runs.
struct ReaderContext {
    UniqueHandle pipe;
    UniqueHandle stop;
    std::shared_ptr<OutputSink> sink;
};

// Reads what the pipe holds; false when the pipe is broken (every writer
// closed its end and the data is read) or unreadable.
bool ReadAvailable(HANDLE pipe, OutputLineSplitter& splitter, const OutputLineSplitter::Deliver& deliver,
                   bool& readSomething)
{
    readSomething = false;
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr))
        return false;
    while (available > 0) {
        char buffer[READ_CHUNK + 1];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, available < READ_CHUNK ? available : READ_CHUNK, &read, nullptr) ||
            read == 0)
            return false;
        buffer[read] = '\0';
        splitter.Feed(buffer, read, deliver);
        readSomething = true;
        available = available > read ? available - read : 0;
    }
    return true;
}

unsigned __stdcall ReaderThreadProc(void* parameter)
{
    ReaderContext* context = static_cast<ReaderContext*>(parameter);
    OutputLineSplitter splitter;
    OutputLineSplitter::Deliver deliver = [context](const std::wstring& line) {
        context->sink->Deliver(line);
    };
    for (;;) {
        bool readSomething = false;
        if (!ReadAvailable(context->pipe.Get(), splitter, deliver, readSomething))
            break;
        if (readSomething)
            continue;
        if (WaitForSingleObject(context->stop.Get(), IDLE_WAIT_MS) != WAIT_TIMEOUT) {
            // Asked to stop: take what is already there, then end.
            ReadAvailable(context->pipe.Get(), splitter, deliver, readSomething);
            break;
        }
    }
    splitter.Finish(deliver);
    delete context;
    return 0;
}

} // namespace

void OutputLineSplitter::Feed(const char* bytes, size_t size, const Deliver& deliver)
{
    for (size_t i = 0; i < size && bytes[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\r')
            continue;
        if (byte == '\n') {
            line_.push_back(L'\n');
            deliver(line_);
            line_.clear();
            continue;
        }
        line_.push_back(static_cast<wchar_t>(byte));
        if (line_.size() >= MaxLine) {
            line_.push_back(L'\n');
            deliver(line_);
            line_.clear();
        }
    }
}

void OutputLineSplitter::Finish(const Deliver& deliver)
{
    if (line_.empty())
        return;
    line_.push_back(L'\n');
    deliver(line_);
    line_.clear();
}

void OutputSink::Deliver(const std::wstring& line)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (deliver_)
        deliver_(line);
}

void OutputSink::Detach()
{
    std::lock_guard<std::mutex> hold(lock_);
    deliver_ = nullptr;
}

HANDLE StartPipeReader(HANDLE pipe, const std::shared_ptr<OutputSink>& sink, HANDLE stop)
{
    ReaderContext* context = new ReaderContext{UniqueHandle(pipe), UniqueHandle(), sink};
    HANDLE ownStop = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), stop, GetCurrentProcess(), &ownStop, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        delete context;
        return nullptr;
    }
    context->stop.Reset(ownStop);
    uintptr_t thread = _beginthreadex(nullptr, 0, ReaderThreadProc, context, 0, nullptr);
    if (thread == 0) {
        delete context;
        return nullptr;
    }
    return reinterpret_cast<HANDLE>(thread);
}
