// The debug log: off unless enabled (command-line option "debug"). One file per process,
// opened, appended to and closed for every line so that it survives a crash. Each line is
// "yyyymmdd hhnnss", " L", the level, a blank and the message. Callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// Turn the log on with the folder that receives the file; the file name is fixed at the
// first call: "quarzellog" + process start "yyyymmddhhnnss" + ".log".
void EnableDebugLog(const std::string& folder);
void DisableDebugLog();
bool DebugLogEnabled();
// Path of this process's log file (empty while disabled).
std::string DebugLogPath();

void DebugLog(std::string_view message, int level = 0);
void DebugLog(std::u16string_view message, int level = 0);

} // namespace qz
