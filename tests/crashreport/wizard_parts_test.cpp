// The wizard's plain parts: the outcome, the answer texts shown and the
// UserComment field.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report_body.h"
#include "user_comment.h"
#include "wizard_context.h"

TEST(ReportOutcome, FirstMatchWins)
{
    WizardContext context;
    EXPECT_EQ(GetReportOutcome(context), REPORT_SUBMITTED);
    context.answer.fixed = true;
    EXPECT_EQ(GetReportOutcome(context), REPORT_FIXED);
    context.answer.rejected = true;
    EXPECT_EQ(GetReportOutcome(context), REPORT_REJECTED);
    context.failed = true;
    EXPECT_EQ(GetReportOutcome(context), REPORT_FAILED);
}

TEST(AnswerText, Utf8OrElseByteByByte)
{
    EXPECT_EQ(AnswerTextToWide("VT-12"), L"VT-12");
    EXPECT_EQ(AnswerTextToWide("Caf\xC3\xA9"), L"Caf\x00E9");
    EXPECT_EQ(AnswerTextToWide("Caf\xE9"), L"Caf\x00E9"); // not UTF-8
    EXPECT_EQ(AnswerTextToWide(""), L"");

    // Only the tracker's own form of a bug number goes into the address
    // that the shell opens.
    EXPECT_TRUE(IsSafeBugNumber("VT-5150"));
    EXPECT_TRUE(IsSafeBugNumber("12345"));
    for (const char* hostile : {"1 & calc", "../x", "1\\..", "VT-1?x=1", "file:", "Caf\xC3\xA9", "a b"})
        EXPECT_FALSE(IsSafeBugNumber(hostile)) << hostile;
}

TEST(UserComment, AppendedOnlyWithTextAndWithinTheBody)
{
    ReportBody body;
    ASSERT_TRUE(CreateReportBody(body));
    ASSERT_TRUE(AppendBodyText(body, "Description=x"));
    EXPECT_FALSE(AppendUserComment(body, L""));
    EXPECT_STREQ(ReportBodyText(body), "Description=x");

    EXPECT_TRUE(AppendUserComment(body, L"a b\x00E9"));
    EXPECT_STREQ(ReportBodyText(body), "Description=x&UserComment=a%20b%E9");
    // Going back and forth sends the field again.
    EXPECT_TRUE(AppendUserComment(body, L"\x0416"));
    EXPECT_STREQ(ReportBodyText(body), "Description=x&UserComment=a%20b%E9&UserComment=%D0%96");

    // A comment whose encoding does not fit leaves an empty field, and the
    // body's end is never passed.
    ReportBody full;
    ASSERT_TRUE(CreateReportBody(full));
    ASSERT_TRUE(AppendBodyText(full, std::string(REPORT_BODY_SIZE - 20, 'x').c_str()));
    EXPECT_TRUE(AppendUserComment(full, L"three words here"));
    EXPECT_EQ(std::string(ReportBodyText(full) + REPORT_BODY_SIZE - 20), "&UserComment=");
    EXPECT_FALSE(AppendUserComment(full, L"more"));
    EXPECT_EQ(ReportBodyLength(full), REPORT_BODY_SIZE - 7);
}
