#include "content_transport.h"

#include "internet_errors.h"

#include <process.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// How often a waiting caller looks at the abort flag.
constexpr DWORD kAbortPollMs = 100;
constexpr unsigned kCallerStack = 0x10000;

} // namespace

// What the caller and its helper thread share; the last of the two to let go
// deletes it.
struct InternetCaller::Shared {
    std::atomic<int> owners{2};
    HANDLE start = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::function<void()> call; // set by the caller before start, run by the helper
    bool quit = false;          // likewise

    ~Shared()
    {
        CloseHandle(start);
        CloseHandle(done);
    }
    void Release()
    {
        if (--owners == 0)
            delete this;
    }
    static unsigned __stdcall Helper(void* argument)
    {
        auto* shared = static_cast<Shared*>(argument);
        for (;;) {
            WaitForSingleObject(shared->start, INFINITE);
            if (shared->quit)
                break;
            shared->call();
            shared->call = nullptr;
            SetEvent(shared->done);
        }
        shared->Release();
        return 0;
    }
};

InternetCaller::~InternetCaller()
{
    if (!shared_)
        return;
    shared_->quit = true;
    SetEvent(shared_->start);
    shared_->Release();
}

bool InternetCaller::Run(std::function<void()> call, DWORD limitMs, const std::atomic<bool>* abortRequested)
{
    if (abandoned_)
        return false;
    if (!shared_) {
        auto* shared = new Shared;
        HANDLE thread = shared->start && shared->done
                            ? reinterpret_cast<HANDLE>(
                                  _beginthreadex(nullptr, kCallerStack, Shared::Helper, shared, 0, nullptr))
                            : nullptr;
        if (!thread) {
            // No helper: the call runs here, without a limit.
            delete shared;
            call();
            return !(abortRequested && abortRequested->load());
        }
        CloseHandle(thread);
        shared_ = shared;
    }
    shared_->call = std::move(call);
    SetEvent(shared_->start);
    DWORD waited = 0;
    for (;;) {
        DWORD slice = limitMs == INFINITE ? kAbortPollMs : std::min(kAbortPollMs, limitMs - waited);
        if (WaitForSingleObject(shared_->done, slice) == WAIT_OBJECT_0)
            return true;
        waited += slice;
        if ((abortRequested && abortRequested->load()) || (limitMs != INFINITE && waited >= limitMs)) {
            abandoned_ = true;
            return false;
        }
    }
}

BOOL SendRequestAbortable(HINTERNET request, const std::wstring& headers,
                          const std::atomic<bool>& abortRequested)
{
    struct Outcome {
        BOOL sent = FALSE;
        DWORD error = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    InternetCaller caller;
    bool returned = caller.Run(
        [outcome, request, headers] {
            outcome->sent = HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                                             headers.empty() ? 0 : static_cast<DWORD>(-1), nullptr, 0);
            outcome->error = GetLastError();
        },
        INFINITE, &abortRequested);
    if (!returned) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
        return FALSE;
    }
    SetLastError(outcome->error);
    return outcome->sent;
}

int64_t QueryContentLength(HINTERNET request)
{
    wchar_t text[32] = L"";
    DWORD size = sizeof(text);
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr) || !text[0])
        return -1;
    int64_t length = 0;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || length > (INT64_MAX - 9) / 10)
            return -1;
        length = length * 10 + (*c - L'0');
    }
    return length;
}

// One read of the helper: its buffer and answer.
struct InternetBodySource::Pending {
    std::vector<unsigned char> bytes;
    DWORD count = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
};

InternetBodySource::InternetBodySource(HINTERNET request, const std::atomic<bool>* abortRequested)
    : request_(request), abortRequested_(abortRequested), expected_(QueryContentLength(request)),
      pending_(std::make_shared<Pending>())
{
}

bool InternetBodySource::Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName)
{
    char name[32];
    *read = 0;
    std::shared_ptr<Pending> pending = pending_;
    if (pending->bytes.size() < size)
        pending->bytes.resize(size);
    HINTERNET request = request_;
    bool returned = caller_.Run(
        [pending, request, size] {
            pending->count = 0;
            pending->ok = InternetReadFile(request, pending->bytes.data(), size, &pending->count);
            pending->error = GetLastError();
        },
        BODY_READ_SLICE_MS, abortRequested_);
    if (!returned) {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        errorName = GetInternetErrorName(name);
        return false;
    }
    if (!pending->ok) {
        SetLastError(pending->error);
        errorName = GetInternetErrorName(name);
        return false;
    }
    DWORD count = std::min<DWORD>(pending->count, size);
    if (count == 0 && expected_ >= 0 && delivered_ < expected_) {
        SetLastError(ERROR_INTERNET_CONNECTION_ABORTED);
        errorName = GetInternetErrorName(name);
        return false;
    }
    memcpy(buffer, pending->bytes.data(), count);
    delivered_ += count;
    *read = count;
    return true;
}

TransferResult DownloadTransfer::ReadRawBody(std::atomic<int64_t>& bytesDone,
                                             const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request, &abortRequested);
    return ReadRawBody(source, bytesDone, abortRequested);
}

TransferResult DownloadTransfer::ReadLzmaBody(std::atomic<int64_t>& bytesDone,
                                              const std::atomic<bool>& abortRequested)
{
    InternetBodySource source(request, &abortRequested);
    return ReadLzmaBody(source, bytesDone, abortRequested);
}
