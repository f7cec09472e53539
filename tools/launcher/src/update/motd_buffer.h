// MotdBuffer: the message of the day, RTF bytes in the current language,
// empty when there is none. Filled by the content update's first pass
// before it ends; read by the main window (WM_STEP_SHOW_MOTD) on the
// user-interface thread afterwards. The bytes carry no terminating zero.
#pragma once

#include <cstddef>
#include <vector>

extern std::vector<char> MotdBuffer;

// A larger message of the day is refused before it is stored: it comes over
// plain HTTP, and every show of it converts the whole text.
constexpr size_t MOTD_MAX_BYTES = size_t{2} << 20;

// The language index and server cluster whose message MotdBuffer holds;
// MOTD_NO_LANGUAGE and SC_MAX (3) when none is held.
constexpr int MOTD_NO_LANGUAGE = 14;
extern int MotdCacheLanguage;
extern int MotdCacheCluster;
