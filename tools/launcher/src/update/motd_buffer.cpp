#include "motd_buffer.h"

std::vector<char> MotdBuffer;
int MotdCacheLanguage = MOTD_NO_LANGUAGE;
int MotdCacheCluster = 3;
