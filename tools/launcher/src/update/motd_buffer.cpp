#include "motd_buffer.h"

#include "log.h"

std::vector<char> MotdBuffer;
int MotdCacheLanguage = MOTD_NO_LANGUAGE;
int MotdCacheCluster = 3;

void DropOversizedMotd()
{
    if (MotdBuffer.size() <= MOTD_MAX_BYTES)
        return;
    LogPrintf(L"The message of the day is not shown: %u bytes, more than %u\n",
              static_cast<unsigned>(MotdBuffer.size()), static_cast<unsigned>(MOTD_MAX_BYTES));
    MotdBuffer.clear();
    MotdBuffer.shrink_to_fit();
}
