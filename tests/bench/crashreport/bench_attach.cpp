// Benchmark of FaultCourier's zip attachment: a crash folder whose "QX.cfg"
// is 25 MiB of settings and comment runs goes through AttachCrashFiles (read,
// cut to 20 MiB, comments taken out, deflated, Base64- and URL-encoded into
// the report body). Prints the time taken and what the body got.
//   bench_attach [folder]   (default: a new folder in the temp folder)
#include <windows.h>

#include <cstdio>
#include <string>

#include "attach.h"
#include "report_body.h"

namespace {

constexpr size_t CONFIG_SIZE = 25u << 20;

bool WriteConfig(const std::wstring& path)
{
    // Lines of settings between runs of comment lines, some indented.
    std::string text;
    text.reserve(CONFIG_SIZE + 64);
    for (unsigned line = 0; text.size() < CONFIG_SIZE; ++line) {
        switch (line % 5) {
        case 0:
            text += "r_setting" + std::to_string(line) + "=" + std::to_string(line * 7) + "\n";
            break;
        case 1:
        case 2:
            text += "; comment about the setting above\n";
            break;
        case 3:
            text += "   ;indented comment\n";
            break;
        default:
            text += "name" + std::to_string(line) + " = value ; not a comment\n";
            break;
        }
    }
    text.resize(CONFIG_SIZE);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring folder;
    if (argc > 1) {
        folder = argv[1];
    } else {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"bench_attach";
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!WriteConfig(folder + L"\\QX.cfg")) {
        fprintf(stderr, "cannot write the configuration file\n");
        return 1;
    }

    ReportBody body;
    if (!CreateReportBody(body) || !AppendBodyText(body, "Description=bench")) {
        fprintf(stderr, "no report body\n");
        return 1;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool attached = AttachCrashFiles(body, folder);
    QueryPerformanceCounter(&end);
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;

    DeleteFileW((folder + L"\\QX.cfg").c_str());
    if (argc <= 1)
        RemoveDirectoryW(folder.c_str());
    printf("attach of a 25 MiB .cfg: %.2f s, body %u bytes%s\n", seconds,
           static_cast<unsigned>(ReportBodyLength(body)), attached ? "" : " (not attached)");
    return attached ? 0 : 1;
}
