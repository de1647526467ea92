// libFuzzer target over the Access back end: each input is written to one
// scratch file per process and read completely (schema rowset, every
// object it lists, every value). Only DbError is an acceptable failure.

#include "access_read_all.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

extern "C" void __sanitizer_set_report_fd(void* fd);
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

std::string scratchPath;
int reportFd = -1;
int outputSink = -1;  // stands in for fds 1 and 2 while an input is read
int savedOut = -1, savedErr = -1;
bool verbose = false;  // QB_FUZZ_VERBOSE=1: one summary line per input
bool salvage = false;  // QB_FUZZ_SALVAGE=1: read as --salvage does

void removeScratch() {
    if (!scratchPath.empty()) ::unlink(scratchPath.c_str());
}

bool writeAll(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

constexpr std::uint8_t kDataPage = 0x01, kTableDefinitionPage = 0x02;

}  // namespace

// Most mutations are aimed at one page, chosen by kind: table definitions
// (the densest structure), then data pages, then any page (header, usage
// maps, long values). Whole-input mutations of a large file rarely touch
// the few pages that matter. A quarter of them still go to the input as a
// whole.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    std::minstd_rand rng(seed);
    const std::size_t page = size > 0x14 && data[0x14] == 0 ? 2048 : 4096;
    const std::size_t pages = size / page;
    if (pages < 3 || rng() % 4 == 0) return LLVMFuzzerMutate(data, size, maxSize);
    const unsigned kind = rng() % 8;  // 0-3: definition, 4-5: data, 6-7: any
    const std::uint8_t wanted = kind < 4 ? kTableDefinitionPage : kind < 6 ? kDataPage : 0xFF;
    std::size_t chosen = rng() % pages;
    for (int tries = 0; wanted != 0xFF && tries < 64; ++tries) {
        const std::size_t p = rng() % pages;
        if (data[p * page] == wanted) {
            chosen = p;
            break;
        }
    }
    std::uint8_t* at = data + chosen * page;
    const std::size_t n = LLVMFuzzerMutate(at, page, page);
    // Erasing mutations shrink the page: zeros refill its end, so every
    // later page stays where it was.
    if (n < page) std::fill(at + n, at + page, 0);
    return size;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    scratchPath = std::string(dir) + "/qb-access-fuzz-" + std::to_string(::getpid()) + ".mdb";
    std::atexit(removeScratch);
    // fds 1 and 2 point at a scratch file while an input is read; a
    // sanitizer report raised in there must still reach the terminal.
    reportFd = ::fcntl(2, F_DUPFD_CLOEXEC, 10);
    if (reportFd >= 0) __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(reportFd)));
    verbose = std::getenv("QB_FUZZ_VERBOSE") != nullptr;
    salvage = std::getenv("QB_FUZZ_SALVAGE") != nullptr;
    outputSink = ::memfd_create("qb-access-fuzz-output", MFD_CLOEXEC);
    savedOut = ::fcntl(1, F_DUPFD_CLOEXEC, 10);
    savedErr = ::fcntl(2, F_DUPFD_CLOEXEC, 10);
    if (outputSink < 0 || savedOut < 0 || savedErr < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(scratchPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) std::abort();
    bool ok = writeAll(fd, data, size);
    // A size that is not a whole number of pages is refused before any
    // page is read; padding with zeros keeps inserting and erasing
    // mutations from being wasted on that one check. Salvaging reads such a
    // file up to its last whole page, so half of the inputs stay cut.
    if (ok && size >= 0x400 && size % 4096 != 0 && !(salvage && size % 2 == 0)) {
        static const unsigned char zeros[4096] = {};
        ok = writeAll(fd, zeros, 4096 - size % 4096);
    }
    if (::close(fd) != 0 || !ok) std::abort();

    // Nothing may be printed while a file is read.
    if (::ftruncate(outputSink, 0) != 0 || ::lseek(outputSink, 0, SEEK_SET) != 0) std::abort();
    ::dup2(outputSink, 1);
    ::dup2(outputSink, 2);
    try {
        const qb::fuzz::ReadSummary s = qb::fuzz::readEverything(scratchPath, salvage);
        if (verbose && reportFd >= 0)
            dprintf(reportFd, "%zu bytes: %d rowsets, %d refused, %lld rows\n", size, s.tables, s.refused, s.rows);
        // The row count is promised before the first row is read; callers
        // size progress and loops by it.
        if (s.countMismatches != 0) {
            if (reportFd >= 0)
                dprintf(reportFd, "rowCount() differed from the rows read in %d rowset(s)\n", s.countMismatches);
            std::abort();
        }
    } catch (const qb::DbError& e) {
        if (verbose && reportFd >= 0) dprintf(reportFd, "%zu bytes: %s\n", size, e.what());
    }
    // libFuzzer's fork mode ends its workers without running atexit
    // handlers; the file lives in /dev/shm, that is in memory.
    ::unlink(scratchPath.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    char printed[256];
    const ssize_t n = ::pread(outputSink, printed, sizeof printed - 1, 0);
    if (n > 0) {
        printed[n] = 0;
        if (reportFd >= 0) dprintf(reportFd, "output escaped while reading the file:\n%s\n", printed);
        std::abort();
    }
    return 0;
}
