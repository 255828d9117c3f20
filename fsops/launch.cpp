#include "fsops/launch.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qz {

std::string SearchPath() {
    const char* p = std::getenv("PATH");
    return p ? p : "";
}

std::string FindProgram(const std::string& program, const std::string& path) {
    if (program.empty()) return {};
    auto runnable = [](const std::string& file) {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               ::access(file.c_str(), X_OK) == 0;
    };
    if (program.find('/') != std::string::npos) return runnable(program) ? program : "";
    const std::string dirs = path.empty() ? "/usr/local/bin:/usr/bin:/bin" : path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string file = dir + "/" + program;
        if (runnable(file)) return file;
        start = end + 1;
    }
    return {};
}

bool LaunchDetached(const std::vector<std::string>& argv, const std::string& cwd,
                    TExitHandler onExit, std::string* error) {
    if (argv.empty()) return false;
    const std::string program = FindProgram(argv[0], SearchPath());
    if (program.empty()) {
        if (error) *error = argv[0] + ": " + std::strerror(ENOENT);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
    // Its own session (a terminal closing does not take it along), no blocked signals and
    // default handlers.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) *error = argv[0] + ": " + std::strerror(rc);
        return false;
    }
    // The child is reaped (and its end reported) by a thread of its own.
    std::thread([pid, onExit = std::move(onExit)] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!onExit) return;
        if (WIFEXITED(status))
            onExit(WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            onExit(-WTERMSIG(status));
    }).detach();
    return true;
}

} // namespace qz
