#include "content_range.h"

#include <cwchar>

bool ParseContentRange(const wchar_t* header, ContentRange& range)
{
    long long first = 0;
    long long last = 0;
    long long length = 0;
    if (!header || swscanf(header, L"bytes %lld-%lld/%lld", &first, &last, &length) != 3)
        return false;
    range.first = first;
    range.last = last;
    range.length = length;
    return true;
}

bool IsUsableContentRange(const ContentRange& range, int64_t received)
{
    return range.first == received;
}
