// Sends LauncherLog to a temporary file for the life of the object.
#pragma once

#include "test_support.h"

#include <string>

namespace testing_support {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // What was logged so far; every write reaches the file before it returns.
    std::string Text() const;
    bool Contains(const std::string& text) const { return Text().find(text) != std::string::npos; }

private:
    TempDir dir_;
    std::wstring path_;
};

} // namespace testing_support
