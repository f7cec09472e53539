// In-house extras: the game log's last level, editor selection and command.
#include <gtest/gtest.h>

#include <string>

#include "log_context.h"
#include "test_support.h"

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string ContextOf(const std::string& log)
{
    TempDir dir;
    EXPECT_TRUE(WriteFileBytes(dir / L"QX.log", log));
    return ExtractLogContext(dir.path());
}

const char CONNECTED_ARENA[] =
    "12.5 Net [Client]: ===[ Arena successfully connected to: 10.0.0.1/x ]===\r\n";

} // namespace

TEST(LogContext, NewestMatchesWin)
{
    std::string log = std::string("0.1 Net [Client]: ===[ Lobby successfully connected to: lobby.example.net ]===\r\n") +
                      "3.25 Ed [Editor]: Selected 4: {Props/Crate01}\r\n" +
                      "3.5 Con [Console]: Executing command: reload\r\n" + "unrelated line\r\n" + CONNECTED_ARENA +
                      "4.75 Con [Console]: Executing command: Map\\Load\r\n";
    EXPECT_EQ(ContextOf(log),
              "\n\rLast level loaded: Arena: 10.0.0.1/x"
              "\n\rLast editor selection: Props/Crate01"
              "\n\rLast command executed: Map\\Load");
}

TEST(LogContext, PartsAppearOnlyWhenKnown)
{
    EXPECT_EQ(ContextOf(CONNECTED_ARENA), "\n\rLast level loaded: Arena: 10.0.0.1/x");
    EXPECT_EQ(ContextOf("  [Editor]: Selected 1: {a/b}\n"), "\n\rLast editor selection: a/b");
    // Whole-line matches only.
    EXPECT_EQ(ContextOf("x 3.5 Con [Console]: Executing command: reload\n"), "");
    EXPECT_EQ(ContextOf("3.5 Con [Console]: Executing command: re load\n"), "");
    EXPECT_EQ(ContextOf(""), "");
    TempDir empty;
    EXPECT_EQ(ExtractLogContext(empty.path()), "");
}

TEST(LogContext, ScanStopsAtAnOverLongLine)
{
    std::string filler(1023, 'z');
    EXPECT_EQ(ContextOf(filler + "\n" + CONNECTED_ARENA), "\n\rLast level loaded: Arena: 10.0.0.1/x");
    EXPECT_EQ(ContextOf(filler + "z\n" + CONNECTED_ARENA), "");
}
