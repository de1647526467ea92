#pragma once
// Reading what is left of a damaged file: a table's data pages are found by
// their owner as well as through the table's usage map, each page is read
// on its own, and what could not be read is counted instead of ending the
// table.

#include "AccessTable.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qb::access {

// Page `n`, or the page cut short at the end of the file; `valid`: how many
// of its first bytes the file holds.
bool readSalvaged(const PageSource& pages, std::uint32_t n, std::vector<unsigned char>& buf, std::size_t& valid);

// The data pages of the file by owner (the first definition page of their
// table), from one pass over every page: four bytes per data page.
class PageOwners {
public:
    explicit PageOwners(const PageSource& pages);
    // Ascending; empty for a page that owns none.
    const std::vector<std::uint32_t>& of(std::uint32_t definitionPage) const;

private:
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> owners_;
};

struct SalvageCounts {
    long long pagesSkipped = 0;  // listed or found, but missing or unreadable
    long long rowsSkipped = 0;   // slots that held no readable row
    // Something of the table may be gone without a trace: its usage map
    // could not be read whole, or the file was cut short.
    bool incomplete = false;
    bool any() const { return pagesSkipped > 0 || rowsSkipped > 0 || incomplete; }
};

// The rows of a table from the pages its usage map lists and the pages it
// owns, each page once, each row once; pointer rows followed only to a row
// of one of the table's own pages.
TableScan salvageScan(const PageSource& pages, const Layout& layout, const TableDef& def, const PageOwners& owners,
                      SalvageCounts& counts);

// What a salvaging read found, per table, for the report after the run.
struct SalvageReport {
    std::string table;
    long long rows = 0;  // delivered
    SalvageCounts counts;
};

// The reports of salvaging reads in this process, in the order the tables
// finished, and the damage found outside any one table (a file cut short,
// a catalog read in part), once per text. Safe to use from several threads.
void noteSalvagedTable(const SalvageReport& report);
void noteSalvageDamage(const std::string& text);
std::vector<SalvageReport> salvagedTables();
std::vector<std::string> salvageDamage();
void clearSalvageNotes();

// The error a read that does not salvage fails with when the file is
// damaged, and whether a description is that error: the window offers to
// read the file again, salvaging, when it sees it.
std::string damagedDatabaseText(const std::string& path);
bool isDamagedDatabaseText(const std::string& text);

}  // namespace qb::access
