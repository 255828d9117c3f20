// Starting other programs (the file opener, a terminal, a file manager, another instance of
// this program) so that they live on their own: in a session of their own, with default
// signal handling, without this program's descriptors (everything here is opened close-on-
// exec), and in the folder asked for. They are not ended when this program ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qz {

// How a started program ended: its exit code, or -signal when a signal ended it.
using TExitHandler = std::function<void(int status)>;

// Starts argv (argv[0] looked up in PATH unless it holds a "/") in folder cwd (empty: this
// program's). False with error (naming the program) when it could not be started. onExit,
// when given, is called on a thread of its own when the program ends.
bool LaunchDetached(const std::vector<std::string>& argv, const std::string& cwd,
                    TExitHandler onExit, std::string* error);

// The full path of program as PATH finds it (an executable regular file); empty when none.
// path: the value of PATH (empty: the default "/usr/local/bin:/usr/bin:/bin").
std::string FindProgram(const std::string& program, const std::string& path);
// The value of PATH of this process.
std::string SearchPath();

} // namespace qz
