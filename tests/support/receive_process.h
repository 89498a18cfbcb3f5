// `korvo --receive-all` as a child process, for tests that kill or signal a real run.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace korvo::test {

// Starts `binary --data-dir DIR --receive-all` with its output in `output`; returns its pid.
inline pid_t StartReceiveAll(const char* binary, const std::string& dataDir,
                             const std::string& output = "/dev/null") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execl(binary, binary, "--data-dir", dataDir.c_str(), "--receive-all",
                static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status; -1 when the run was ended by a signal or did not end within `limit` (it is
// then killed).
inline int WaitForExit(pid_t pid, std::chrono::seconds limit) {
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

}  // namespace korvo::test
