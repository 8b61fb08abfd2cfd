// Hooks through which tests observe and steer libwincompat. Not part of the Windows surface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "wincompat/wintypes.h"

namespace wincompat {

// Every line written with OutputDebugStringW/A, exactly as written (UTF-8), goes to the hook
// (as well as to the configured sink). Pass nullptr to remove it.
using DebugLineHook = std::function<void(const std::string& line)>;
void SetDebugLineHook(DebugLineHook hook);
// Whether a debug line goes anywhere (a hook is set or QWBDCAWM_DEBUG names a sink), so that
// a writer may skip formatting a line no one reads.
bool DebugOutputWanted();

// The console sink: the few texts the component prints. Defaults to stdout.
void SetConsoleSink(std::function<void(const std::string& text)> sink);
void ConsoleWrite(const std::string& text);

// Replaces the POSIX TZ rule that GetTimeZoneInformation derives its answer from
// (for example "EST5EDT,M3.2.0,M11.1.0"); an empty string restores the process' own zone.
void SetTimeZoneRuleForTesting(const std::string& posixRule);
// Reads a POSIX TZ rule on its own (no zone files): fills *tzi as GetTimeZoneInformation
// would and, for each of the n UTC file times, the local offset in minutes east of UTC.
// False when the text is not a rule.
bool TimeZoneFromRuleForTesting(const std::string& posixRule, TIME_ZONE_INFORMATION* tzi,
                                LONG* offsetMinutesAt, const int64_t* utcFileTimes, size_t n);

}  // namespace wincompat
