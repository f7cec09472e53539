// Throughput of the content update's local work: HashFile over a file, and
// LZMA decoding with MD5 of an ".lzma" object, on one or several threads.
// Run by scripts/bench_update.sh, which prints the figures beside md5sum and
// xz on the same data.
//
//   bench_update hash <file> [rounds]
//   bench_update decode <file.lzma> [threads] [rounds]
#include "download_transfer.h"
#include "hash_file.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

std::wstring Wide(const char* text)
{
    int count = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(count > 0 ? count - 1 : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), count);
    return wide;
}

// The object read sequentially from a file, in the reader's own pieces.
class FileSource : public BodySource {
  public:
    explicit FileSource(HANDLE file) : file_(file) {}
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override
    {
        DWORD count = 0;
        if (!ReadFile(file_, buffer, size, &count, nullptr)) {
            errorName = "ReadFile";
            return false;
        }
        *read = count;
        return true;
    }

  private:
    HANDLE file_;
};

int BenchHash(const std::wstring& path, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        HANDLE file = OpenFileForHash(path.c_str());
        if (file == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "cannot open the file\n");
            return 1;
        }
        LARGE_INTEGER size;
        GetFileSizeEx(file, &size);
        double start = Seconds();
        std::wstring digest = HashFile(file);
        double elapsed = Seconds() - start;
        CloseHandle(file);
        printf("hash %S %.3f s %.1f MB/s\n", digest.c_str(), elapsed, size.QuadPart / elapsed / 1e6);
    }
    return 0;
}

struct DecodeRun {
    std::wstring digest;
    uint64_t bytes = 0;
    double seconds = 0;
    bool ok = false;
};

DecodeRun DecodeOnce(const std::wstring& path)
{
    DecodeRun run;
    HANDLE input = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    HANDLE output = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE)
        return run;
    auto transfer = std::make_unique<DownloadTransfer>();
    transfer->targetFile = output;
    transfer->url = L"bench";
    std::atomic<int64_t> bytesDone{0};
    std::atomic<bool> abort{false};
    FileSource source(input);
    unsigned char header[LZMA_HEADER_SIZE] = {};
    DWORD got = 0;
    ReadFile(input, header, sizeof header, &got, nullptr);
    for (int i = 7; i >= 0; --i)
        run.bytes = (run.bytes << 8) | header[5 + i];
    SetFilePointer(input, 0, nullptr, FILE_BEGIN);

    double start = Seconds();
    TransferResult result = transfer->ReadLzmaBody(source, bytesDone, abort);
    run.digest = MD5FinalText(transfer->md5);
    run.seconds = Seconds() - start;
    run.ok = result == TRANSFER_DONE;
    CloseHandle(input);
    CloseHandle(output);
    return run;
}

int BenchDecode(const std::wstring& path, int threads, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        std::vector<DecodeRun> runs(threads);
        std::vector<std::thread> workers;
        double start = Seconds();
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&runs, &path, t] { runs[t] = DecodeOnce(path); });
        for (auto& worker : workers)
            worker.join();
        double wall = Seconds() - start;
        double slowest = 0;
        for (const DecodeRun& run : runs) {
            if (!run.ok) {
                fprintf(stderr, "decode failed\n");
                return 1;
            }
            slowest = run.seconds > slowest ? run.seconds : slowest;
        }
        printf("decode %S threads %d %.3f s per thread %.1f MB/s total %.1f MB/s\n", runs[0].digest.c_str(),
               threads, slowest, runs[0].bytes / slowest / 1e6, runs[0].bytes * threads / wall / 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: bench_update hash <file> [rounds] | decode <file.lzma> [threads] [rounds]\n");
        return 2;
    }
    std::string mode = argv[1];
    std::wstring path = Wide(argv[2]);
    if (mode == "hash")
        return BenchHash(path, argc > 3 ? atoi(argv[3]) : 3);
    if (mode == "decode")
        return BenchDecode(path, argc > 3 ? atoi(argv[3]) : 1, argc > 4 ? atoi(argv[4]) : 3);
    fprintf(stderr, "unknown mode\n");
    return 2;
}
