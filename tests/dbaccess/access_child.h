#pragma once
// Runs a read of an Access file in a forked child whose stdout and stderr
// go to a scratch file, so that a crash, a hang or stray libmdb output
// fails the calling test instead of ending the suite.

#include "ForkedChild.h"
#include "core/DbError.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

namespace qb::test {

struct ChildOutcome {
    bool finished = false;
    int status = 0;
    double seconds = 0;
    off_t leaked = 0;
    std::string result;
};

// `work` returns a short text describing what it read; a DbError becomes
// "error <description>", any other exception exit status 3. The child is
// killed after `limit`.
inline ChildOutcome runInChild(const std::function<std::string()>& work,
                               std::chrono::seconds limit = std::chrono::seconds(15)) {
    ChildOutcome o;
    char capture[] = "/tmp/qb-access-child-XXXXXX";
    const int out = ::mkstemp(capture);
    if (out < 0) return o;
    const ChildResult r = runForkedChild(
        [&](std::string& result) {
            ::dup2(out, 1);
            ::dup2(out, 2);
            try {
                result = work();
            } catch (const DbError& e) {
                result = "error " + e.description();
            } catch (...) {
                result = "unexpected exception";
                return 3;
            }
            return 0;
        },
        limit);
    o.finished = r.finished;
    o.status = r.status;
    o.seconds = r.seconds;
    o.result = r.output;
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
