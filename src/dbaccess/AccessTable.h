#pragma once
// Table definitions, usage maps, the walk over a table's data pages and
// the cracking of a row into its fields. See AccessFormat.h for the layout.

#include "AccessFormat.h"
#include "AccessPages.h"
#include "AccessText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::access {

struct ColumnDef {
    std::string name;
    int type = 0;
    int number = 0;      // counts deleted columns too; the null-mask bit
    int varIndex = 0;    // slot in the row's variable-offset table
    int fixedOffset = 0; // from the start of the fixed part
    int size = 0;
    int precision = 0, scale = 0;
    unsigned char flags = 0, extFlags = 0;
    bool fixed() const { return (flags & colflag::Fixed) != 0; }
    bool calculated() const { return (extFlags & colflag::Calculated) == colflag::Calculated; }
};

// Kept for the index and relationship work that builds on the reader.
struct RealIndex {
    struct Column {
        int number = 0;
        bool ascending = true;
    };
    std::vector<Column> columns;
    std::uint32_t usedPages = 0, firstPage = 0;
    unsigned char flags = 0;  // 0x01 unique, 0x02 ignore nulls, 0x08 required
};

struct LogicalIndex {
    std::string name;
    std::uint32_t number = 0;
    std::uint32_t realIndex = 0;
    int type = 0;  // 1 primary key, 2 foreign key
    int relTableType = 0;
    std::int32_t relIndex = -1;
    std::uint32_t relTablePage = 0;
    bool cascadeUpdates = false, cascadeDeletes = false;
};

struct TableDef {
    std::uint32_t page = 0;
    long long storedRows = 0;  // as the definition says; not always right
    int maxCols = 0, varCols = 0;
    std::uint32_t usageMap = 0, freeMap = 0;  // row pointers
    std::vector<ColumnDef> columns;           // by column number
    std::vector<RealIndex> realIndexes;
    std::vector<LogicalIndex> indexes;
};

// The definition starting at `page`; no value when it cannot be read whole.
std::optional<TableDef> readTableDef(const PageSource& pages, const Layout& layout, const CodePage& codePage,
                                     std::uint32_t page);

// Start and end (exclusive) of row `row` on a data page; false when the
// offset table or the row lies outside the page.
bool rowBounds(const unsigned char* page, const Layout& layout, int row, int& start, int& end);

// Pages a usage map lists, ascending; false when the map or a page it
// needs cannot be read or names a page past the end of the file.
bool readUsageMap(const PageSource& pages, const Layout& layout, std::uint32_t pgRow, std::vector<std::uint32_t>& out);

struct RowLocator {
    std::uint32_t page = 0;
    std::uint32_t row = 0;
};

struct TableScan {
    std::vector<RowLocator> rows;  // in table order; pointer rows already followed
    // A listed page could not be read or was not a data page of the table,
    // or a row slot or pointer led nowhere.
    bool damaged = false;
};

TableScan scanTable(const PageSource& pages, const Layout& layout, const TableDef& def);

// One field of a cracked row: where its bytes are, relative to the row.
struct FieldSpan {
    int start = 0;
    int size = 0;
    bool present = false;  // false: NULL (or, for Yes/No, false)
};

// Splits a row into one span per column of `def`; false when the row's
// structure does not fit inside it.
bool crackRow(const TableDef& def, const Layout& layout, const unsigned char* row, int len, std::vector<FieldSpan>& out);

}  // namespace qb::access
