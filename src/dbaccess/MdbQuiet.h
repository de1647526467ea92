#pragma once
// libmdb reports trouble by printing to stderr (and, with some debug
// options, dumping pages to stdout). None of it may reach the user, so
// every call into libmdb runs inside a QuietLibmdb scope, which points
// fds 1 and 2 at a private scratch file and puts them back afterwards.

#include <string>

namespace qb::access {

class QuietLibmdb {
public:
    QuietLibmdb();
    ~QuietLibmdb();
    QuietLibmdb(const QuietLibmdb&) = delete;
    QuietLibmdb& operator=(const QuietLibmdb&) = delete;

    // The first non-blank line libmdb printed since the outermost scope
    // began, or "" when it printed nothing.
    std::string firstLine() const;

private:
    bool outermost_ = false;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

// Removes the variables that make libmdb look elsewhere for files, change
// its character sets or switch on debug output.
void clearLibmdbEnvironment();

}  // namespace qb::access
