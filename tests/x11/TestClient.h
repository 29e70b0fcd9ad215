// Drives the tests' own X11 program (tests/x11/client) in a process of its
// own: another program's windows, as the desktop service meets them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>

extern char** environ;

namespace kestrun::testing {

class X11TestClient {
public:
    X11TestClient()
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        char path[] = KESTRUN_X11_CLIENT;
        char* argv[] = {path, nullptr};
        const int rc = posix_spawn(&pid_, path, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toClient_ = in[1];
        fromClient_ = out[0];
        if (rc != 0) throw std::runtime_error("cannot start the test client");
    }
    ~X11TestClient() { Stop(); }
    X11TestClient(const X11TestClient&) = delete;
    X11TestClient& operator=(const X11TestClient&) = delete;

    pid_t pid() const { return pid_; }

    // One command, its one-line answer ("" when the client is gone or silent for 20 s).
    std::string Ask(const std::string& command)
    {
        const std::string line = command + "\n";
        if (write(toClient_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return {};
        std::string answer;
        for (;;) {
            pollfd fd{fromClient_, POLLIN, 0};
            if (poll(&fd, 1, 20000) <= 0) return {};
            char c = 0;
            if (read(fromClient_, &c, 1) != 1) return {};
            if (c == '\n') return answer;
            answer.push_back(c);
        }
    }

    // make KEY OPTIONS...: the new window's id (0 on failure).
    uint64_t Make(const std::string& key, const std::string& options = "")
    {
        const std::string answer = Ask("make " + key + " " + options);
        if (answer.rfind(key + " ", 0) != 0) return 0;
        return std::stoull(answer.substr(key.size() + 1));
    }

    // Whether the client process still runs (it is reaped once it has ended).
    bool Running()
    {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }

    void Stop()
    {
        if (toClient_ >= 0) close(toClient_);
        toClient_ = -1;
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (fromClient_ >= 0) close(fromClient_);
        fromClient_ = -1;
    }

private:
    pid_t pid_ = -1;
    int toClient_ = -1;
    int fromClient_ = -1;
};

}  // namespace kestrun::testing
