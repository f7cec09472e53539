// LauncherStatsReport: the JSON text of StepStatistics that the launcher
// posts at exit. No white space; categories and keys in map order; values as
// unsigned 64-bit decimals; then "TotalTime" and "ClientType":
//
//   {"Platform":{"Attempts":1,"ElapsedTime":31,"Success":1},"TotalTime":31,"ClientType":""}
//
// Names, keys and the ClientType are narrowed to one byte per UTF-16 unit
// (its low byte); in strings a double quote, a backslash, control bytes and
// bytes above 0x7E are escaped (\", \\, \u00XX) so the text stays valid
// JSON whatever the names hold.
#pragma once

#include "step_statistics.h"

#include <cstdint>
#include <string>

std::string BuildLauncherStatsReport(const StepStatisticsMap& statistics, uint32_t totalTime,
                                     const std::wstring& clientType);
