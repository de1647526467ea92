#pragma once
// Runs a piece of a test in a forked child, so that a crash, a hang or a
// change the child makes to itself (its user, its limits, where its output
// goes) cannot reach the test process. The child's text comes back through
// a pipe that is drained while waiting: a child whose text does not fit in
// the pipe would otherwise block on its write and look like a hang.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace qb::test {

struct ChildResult {
    bool finished = false;  // on its own, before the time limit
    int status = 0;         // as waitpid gives it
    std::string output;     // the text the child sent back
    double seconds = 0;
    bool exitedCleanly() const { return finished && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// `child` runs in the forked process: it fills in the text to send back and
// returns the exit status. An exception that escapes it ends the child with
// status 5; a text that cannot be sent whole turns status 0 into 4. The
// child never returns into the test, and is killed once `limit` has passed.
inline ChildResult runForkedChild(const std::function<int(std::string& output)>& child,
                                  std::chrono::milliseconds limit) {
    ChildResult r;
    int fds[2];
    if (::pipe(fds) != 0) return r;
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return r;
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        int code = 0;
        try {
            code = child(out);
        } catch (...) {
            out = "exception escaped the child";
            code = 5;
        }
        // Output the child buffered would be lost at _exit.
        std::fflush(nullptr);
        std::size_t at = 0;
        while (at < out.size()) {
            const ssize_t n = ::write(fds[1], out.data() + at, out.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        if (at < out.size() && code == 0) code = 4;
        ::_exit(code);
    }
    ::close(fds[1]);
    char buffer[65536];
    for (;;) {
        const auto left = limit - (std::chrono::steady_clock::now() - start);
        if (left <= std::chrono::milliseconds(0)) break;
        pollfd p{fds[0], POLLIN, 0};
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        const int ready = ::poll(&p, 1, static_cast<int>(wait));
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            r.finished = true;
            break;
        }
        r.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (!r.finished) ::kill(pid, SIGKILL);
    ::waitpid(pid, &r.status, 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

}  // namespace qb::test
