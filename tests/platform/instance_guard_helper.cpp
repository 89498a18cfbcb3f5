// A program that takes the instance guard of a data directory, prints the outcome and, while
// it holds the guard, waits for an exit request the way the desktop program does: the guard's
// thread posts the request and the main thread carries out the exit.
//
//   instance_guard_helper DIR obey|ignore [WAIT_MS]
//
// "obey" prints "exit-requested" and exits 0 when asked; "ignore" prints it and keeps running.
// Either way the program ends with 3 after 30 seconds so a broken test cannot leave it behind.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/instance_guard.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string mode = argv[2];
    const auto wait = std::chrono::milliseconds(argc > 3 ? std::atoi(argv[3]) : 10000);
    std::mutex mutex;
    std::condition_variable posted;
    bool exitRequested = false;

    korvo::InstanceGuard guard;
    const auto outcome = guard.Acquire(
        argv[1],
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            exitRequested = true;
            posted.notify_all();
        },
        wait);
    switch (outcome) {
        case korvo::InstanceGuard::Outcome::kFirst:
            std::puts("first");
            break;
        case korvo::InstanceGuard::Outcome::kReplaced:
            std::puts("replaced");
            break;
        case korvo::InstanceGuard::Outcome::kStillRunning:
            std::puts("still-running");
            return 1;
        case korvo::InstanceGuard::Outcome::kBusy:
            std::puts("busy");
            return 1;
        case korvo::InstanceGuard::Outcome::kFailed:
            std::printf("failed %s\n", guard.error().c_str());
            return 1;
    }
    std::fflush(stdout);

    std::unique_lock<std::mutex> lock(mutex);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    if (!posted.wait_until(lock, end, [&] { return exitRequested; })) return 3;
    std::puts("exit-requested");
    std::fflush(stdout);
    if (mode == "obey") return 0;
    posted.wait_until(lock, end, [] { return false; });
    return 3;
}
