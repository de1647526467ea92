#include "MdbQuiet.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace qb::access {

namespace {

int depth = 0;

int scratchFd() {
    static int fd = [] {
        int f = ::memfd_create("libmdb-output", MFD_CLOEXEC);
        if (f < 0) {
            char name[] = "/tmp/qb-libmdb-XXXXXX";
            f = ::mkostemp(name, O_CLOEXEC);
            if (f >= 0) ::unlink(name);
        }
        return f;
    }();
    return fd;
}

void restore(int saved, int target) {
    if (saved >= 0) {
        ::dup2(saved, target);
        ::close(saved);
    } else {
        ::close(target);
    }
}

}  // namespace

QuietLibmdb::QuietLibmdb() {
    if (depth++ > 0) return;
    const int scratch = scratchFd();
    if (scratch < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    if (::ftruncate(scratch, 0) != 0) return;
    ::lseek(scratch, 0, SEEK_SET);
    savedOut_ = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    savedErr_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    ::dup2(scratch, 1);
    ::dup2(scratch, 2);
    outermost_ = true;
}

QuietLibmdb::~QuietLibmdb() {
    --depth;
    if (!outermost_) return;
    // libmdb's stdout output may still sit in the stdio buffer.
    std::fflush(stdout);
    std::fflush(stderr);
    restore(savedOut_, 1);
    restore(savedErr_, 2);
}

std::string QuietLibmdb::firstLine() const {
    const int scratch = scratchFd();
    if (scratch < 0) return {};
    std::fflush(stdout);
    std::fflush(stderr);
    char buf[4096];
    const ssize_t n = ::pread(scratch, buf, sizeof buf, 0);
    if (n <= 0) return {};
    std::string text(buf, static_cast<std::size_t>(n));
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos) return line.substr(first);
        pos = end + 1;
    }
    return {};
}

void clearLibmdbEnvironment() {
    ::unsetenv("MDBPATH");
    ::unsetenv("MDB_JET3_CHARSET");
    ::unsetenv("MDBICONV");
    ::unsetenv("MDBOPTS");
}

}  // namespace qb::access
