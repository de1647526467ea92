// Loaded only if a connection string reaches the SQLite ODBC driver's
// LoadExt option: leaves the file named by QB_LOADEXT_MARK, so a test can
// tell that the library was loaded.

#include <cstdio>
#include <cstdlib>

namespace {

struct Mark {
    Mark() {
        if (const char* path = std::getenv("QB_LOADEXT_MARK"))
            if (std::FILE* f = std::fopen(path, "w")) std::fclose(f);
    }
} mark;

}  // namespace
