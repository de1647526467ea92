#pragma once
// Runs a read of an Access file in a forked child whose stdout and stderr
// go to a scratch file, so that a crash, a hang or stray libmdb output
// fails the calling test instead of ending the suite.

#include "dbaccess/DbError.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace qb::test {

struct ChildOutcome {
    bool finished = false;
    int status = 0;
    double seconds = 0;
    off_t leaked = 0;
    std::string result;
};

// `work` returns a short text describing what it read; a DbError becomes
// "error <description>". The child is killed after `limit`.
inline ChildOutcome runInChild(const std::function<std::string()>& work,
                               std::chrono::seconds limit = std::chrono::seconds(15)) {
    ChildOutcome o;
    char capture[] = "/tmp/qb-access-child-XXXXXX";
    const int out = ::mkstemp(capture);
    int pipeFds[2];
    if (out < 0 || ::pipe(pipeFds) != 0) return o;
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::string result;
        int code = 0;
        try {
            result = work();
        } catch (const DbError& e) {
            result = "error " + e.description();
        } catch (...) {
            result = "unexpected exception";
            code = 3;
        }
        if (::write(pipeFds[1], result.data(), result.size()) < 0) code = 4;
        ::_exit(code);
    }
    ::close(pipeFds[1]);
    const auto start = std::chrono::steady_clock::now();
    while (pid > 0 && std::chrono::steady_clock::now() - start < limit) {
        if (::waitpid(pid, &o.status, WNOHANG) == pid) {
            o.finished = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (pid > 0 && !o.finished) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &o.status, 0);
    }
    o.result.resize(4096);
    const ssize_t got = ::read(pipeFds[0], o.result.data(), o.result.size());
    o.result.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    ::close(pipeFds[0]);
    o.leaked = ::lseek(out, 0, SEEK_END);
    ::close(out);
    ::unlink(capture);
    return o;
}

// Finished on its own, exit code 0, nothing printed, quick, and said what it read.
inline void expectClean(const ChildOutcome& o, double maxSeconds = 5.0) {
    EXPECT_TRUE(o.finished) << "still running when killed";
    EXPECT_TRUE(WIFEXITED(o.status)) << "signal " << (WIFSIGNALED(o.status) ? WTERMSIG(o.status) : 0);
    EXPECT_EQ(WIFEXITED(o.status) ? WEXITSTATUS(o.status) : -1, 0) << o.result;
    EXPECT_EQ(o.leaked, 0) << "libmdb output reached the terminal";
    EXPECT_LT(o.seconds, maxSeconds);
    EXPECT_FALSE(o.result.empty());
}

}  // namespace qb::test
