#include "user_comment.h"

#include <cwchar>
#include <string>

bool AppendUserComment(ReportBody& body, const wchar_t* text)
{
    if (text[0] == 0)
        return false;
    if (!AppendBodyText(body, "&UserComment="))
        return false;
    std::string narrow = NarrowReportText(text, USER_COMMENT_BYTES);
    AppendEncodedValue(body, narrow.c_str());
    return true;
}
