// Which terminal to open in a folder: the one named by $TERMINAL, else the system's default
// (x-terminal-emulator), else the first of the common terminals found in PATH. Terminals
// that take the starting folder as an option get it; every terminal is also started in that
// folder.
#pragma once

#include <string>
#include <vector>

namespace qz {

// The command that opens a terminal in folder; empty when no terminal is found.
// terminalEnv: the value of $TERMINAL (may hold options after the program); path: PATH.
std::vector<std::string> TerminalCommand(const std::string& folder, const std::string& terminalEnv,
                                         const std::string& path);

// The terminals looked for after $TERMINAL and x-terminal-emulator, in order.
const std::vector<std::string>& KnownTerminals();

} // namespace qz
