#include "log_capture.h"

#include "log.h"

namespace testing_support {

LogCapture::LogCapture() : path_(dir_ / L"Launcher.log")
{
    LogOpen(path_.c_str(), false);
}

LogCapture::~LogCapture()
{
    LogClose();
}

std::string LogCapture::Text() const
{
    // ReadFileBytes shares writing, so the log may stay open meanwhile.
    return ReadFileBytes(path_);
}

} // namespace testing_support
