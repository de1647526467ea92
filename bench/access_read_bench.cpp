// Reads every row of every user table of an Access file through the back
// end, as the conversion's reading thread does, and prints the rows per
// second. Usage: access_read_bench FILE [PASSWORD]

#include "dbaccess/Backends.h"
#include "dbaccess/ConnectionString.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [PASSWORD]\n", argv[0]);
        return 2;
    }
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    long long rows = 0;
    std::size_t touched = 0;
    try {
        auto backend = qb::openAccessBackend({{"Provider", "Microsoft.ACE.OLEDB.12.0"},
                                              {"Data Source", argv[1]},
                                              {"JET OLEDB:Database Password", argc > 2 ? argv[2] : ""}});
        std::vector<std::string> tables;
        std::vector<qb::Variant> row;
        for (auto schema = backend->openSchemaTables(); schema->next(row);)
            if (std::get<std::string>(row[3]) == "TABLE") tables.push_back(std::get<std::string>(row[2]));
        for (const auto& name : tables) {
            auto rs = backend->openRowset("SELECT * FROM `" + name + "`");
            while (rs->next(row)) {
                ++rows;
                for (const auto& v : row) touched += v.index();
            }
        }
    } catch (const qb::DbError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double s = std::chrono::duration<double>(clock::now() - start).count();
    std::printf("%lld rows in %.3f s: %.0f rows/s (%zu)\n", rows, s, rows / (s > 0 ? s : 1e-9), touched);
    return 0;
}
