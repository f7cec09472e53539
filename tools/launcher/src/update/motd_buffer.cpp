#include "motd_buffer.h"

std::vector<char> MotdBuffer;
