// MotdBuffer: the message of the day, RTF bytes in the current language,
// empty when there is none. Filled by the content update's first pass
// before it ends; read by the main window (WM_STEP_SHOW_MOTD) on the
// user-interface thread afterwards. The bytes carry no terminating zero.
#pragma once

#include <vector>

extern std::vector<char> MotdBuffer;
