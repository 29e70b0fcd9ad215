// Runs a program to its end, or kills it and everything it started when a
// bounded wait runs out. For init scripts, which may hang.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

struct CommandResult {
    enum class Outcome {
        Exited,     // exitCode holds its status
        Signalled,  // signal holds what ended it
        TimedOut,   // it and its process group were killed
        NotRun,     // it could not be started (error holds errno)
    };
    Outcome outcome = Outcome::NotRun;
    int exitCode = 0;
    int signal = 0;
    int error = 0;
};

// argv[0] is the program's path. It runs in a process group of its own with
// standard input and output on /dev/null and a plain environment (PATH and LANG
// only), as init runs scripts.
CommandResult RunWithTimeout(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

}  // namespace kestrun::platform::linux_backend
