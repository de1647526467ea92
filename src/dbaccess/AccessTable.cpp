#include "AccessTable.h"

#include <algorithm>
#include <unordered_set>

namespace qb::access {

namespace {

// A definition spans at most this many pages (255 columns with long names
// and many indexes fit in far fewer); longer chains are damage.
constexpr int kMaxDefinitionPages = 64;
// Pointer rows lead to the row's new place; a few hops at most in a sound file.
constexpr int kMaxHops = 8;

// Bounds-checked reads from a definition's bytes.
class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& b) : b_(b) {}
    bool has(std::size_t at, std::size_t n) const { return at <= b_.size() && n <= b_.size() - at; }
    const unsigned char* at(std::size_t at) const { return b_.data() + at; }

private:
    const std::vector<unsigned char>& b_;
};

bool readName(const Reader& r, std::size_t& pos, const Layout& layout, const CodePage& codePage, std::string& name) {
    if (!r.has(pos, static_cast<std::size_t>(layout.nameLengthBytes))) return false;
    const std::size_t n = layout.nameLengthBytes == 1 ? *r.at(pos) : u16(r.at(pos));
    pos += static_cast<std::size_t>(layout.nameLengthBytes);
    if (!r.has(pos, n)) return false;
    name.clear();
    if (layout.nameLengthBytes == 1)
        codePage.append(name, r.at(pos), n);
    else
        appendJet4Text(name, r.at(pos), n);
    pos += n;
    return true;
}

}  // namespace

std::optional<TableDef> readTableDef(const PageSource& pages, const Layout& layout, const CodePage& codePage,
                                     std::uint32_t first) {
    std::vector<unsigned char> bytes, page;
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t n = first; n != 0;) {
        if (!seen.insert(n).second || static_cast<int>(seen.size()) > kMaxDefinitionPages) return std::nullopt;
        if (!pages.read(n, page) || page[0] != page::TableDef) return std::nullopt;
        const std::size_t from = bytes.empty() ? 0 : static_cast<std::size_t>(layout.tdefContinuation);
        bytes.insert(bytes.end(), page.begin() + static_cast<std::ptrdiff_t>(from), page.end());
        n = u32(page.data() + layout.tdefNext);
    }
    // Page 0 is the file header, never a definition: a catalog entry that
    // names it is damage, and nothing was read.
    if (bytes.empty()) return std::nullopt;
    const Reader r(bytes);
    TableDef def;
    def.page = first;
    def.storedRows = u32(r.at(layout.tdefRows));
    def.varCols = u16(r.at(layout.tdefVarCols));
    const unsigned numCols = u16(r.at(layout.tdefCols));
    const std::uint32_t numIdx = u32(r.at(layout.tdefLogicalIdx));
    const std::uint32_t numRealIdx = u32(r.at(layout.tdefRealIdx));
    def.usageMap = u32(r.at(layout.tdefUsageMap));
    def.freeMap = u32(r.at(layout.tdefFreeMap));
    // 255 columns is Access's limit; index counts are bounded by what fits.
    if (numCols == 0 || numCols > 255 || numIdx > bytes.size() || numRealIdx > bytes.size()) return std::nullopt;

    std::size_t pos = static_cast<std::size_t>(layout.tdefRealIdxStart) +
                      static_cast<std::size_t>(numRealIdx) * static_cast<std::size_t>(layout.realIdxEntry);
    const std::size_t entry = static_cast<std::size_t>(layout.colEntry);
    if (!r.has(pos, numCols * entry)) return std::nullopt;
    def.columns.resize(numCols);
    for (unsigned i = 0; i < numCols; ++i, pos += entry) {
        const unsigned char* e = r.at(pos);
        ColumnDef& c = def.columns[i];
        c.type = e[layout.colType];
        c.number = u16(e + layout.colNumber);
        c.varIndex = u16(e + layout.colVarIndex);
        c.precision = e[layout.colPrecision];
        c.scale = e[layout.colScale];
        c.flags = e[layout.colFlags];
        c.extFlags = layout.colExtFlags >= 0 ? e[layout.colExtFlags] : 0;
        c.fixedOffset = u16(e + layout.colFixedOffset);
        c.size = u16(e + layout.colSize);
        def.maxCols = std::max(def.maxCols, c.number + 1);
    }
    for (auto& c : def.columns)
        if (!readName(r, pos, layout, codePage, c.name)) return std::nullopt;

    def.realIndexes.resize(numRealIdx);
    for (auto& ix : def.realIndexes) {
        if (!r.has(pos, static_cast<std::size_t>(layout.realIdxDef))) return std::nullopt;
        const unsigned char* e = r.at(pos) + layout.realIdxColumns;
        for (int k = 0; k < 10; ++k) {
            const std::uint16_t col = u16(e + 3 * k);
            if (col != 0xFFFF) ix.columns.push_back({col, e[3 * k + 2] == 0x01});
        }
        ix.usedPages = u32(e + 30);
        ix.firstPage = u32(e + 34);
        ix.flags = r.at(pos)[layout.realIdxFlags];
        pos += static_cast<std::size_t>(layout.realIdxDef);
    }
    def.indexes.resize(numIdx);
    for (auto& ix : def.indexes) {
        if (!r.has(pos, static_cast<std::size_t>(layout.logicalIdxEntry))) return std::nullopt;
        const unsigned char* e = r.at(pos);
        ix.number = u32(e + layout.lixNumber);
        ix.realIndex = u32(e + layout.lixRealIndex);
        ix.relTableType = e[layout.lixRelTableType];
        ix.relIndex = static_cast<std::int32_t>(u32(e + layout.lixRelIndex));
        ix.relTablePage = u32(e + layout.lixRelTablePage);
        ix.cascadeUpdates = e[layout.lixCascadeUpdates] != 0;
        ix.cascadeDeletes = e[layout.lixCascadeDeletes] != 0;
        ix.type = e[layout.lixType];
        pos += static_cast<std::size_t>(layout.logicalIdxEntry);
    }
    for (auto& ix : def.indexes)
        if (!readName(r, pos, layout, codePage, ix.name)) return std::nullopt;

    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
    return def;
}

bool rowBounds(const unsigned char* page, const Layout& layout, int row, int& start, int& end) {
    const int count = u16(page + layout.dataRowCount);
    const int tableEnd = layout.dataRowCount + 2 + 2 * count;
    if (row < 0 || row >= count || tableEnd > layout.pageSize) return false;
    start = u16(page + layout.dataRowCount + 2 + 2 * row) & rowflag::OffsetMask;
    end = row == 0 ? layout.pageSize : (u16(page + layout.dataRowCount + 2 * row) & rowflag::OffsetMask);
    return start >= tableEnd && start <= end && end <= layout.pageSize;
}

bool readUsageMap(const PageSource& pages, const Layout& layout, std::uint32_t pgRow, std::vector<std::uint32_t>& out) {
    out.clear();
    std::vector<unsigned char> page, mapPage;
    int start = 0, end = 0;
    if (!pages.read(pgRow >> 8, page) || page[0] != page::Data ||
        !rowBounds(page.data(), layout, static_cast<int>(pgRow & 0xFF), start, end) || end - start < 1)
        return false;
    const unsigned char* m = page.data() + start;
    const int len = end - start;
    auto addBits = [&](const unsigned char* bits, int n, long long base) {
        for (int i = 0; i < n; ++i) {
            if (bits[i] == 0) continue;
            for (int b = 0; b < 8; ++b) {
                if (!(bits[i] & (1 << b))) continue;
                const long long pg = base + 8LL * i + b;
                if (pg <= 0 || pg >= pages.pageCount()) return false;
                out.push_back(static_cast<std::uint32_t>(pg));
            }
        }
        return true;
    };
    if (m[0] == 0) {
        if (len < 5) return false;
        return addBits(m + 5, len - 5, u32(m + 1));
    }
    if (m[0] != 1) return false;
    const long long perPage = 8LL * (layout.pageSize - 4);
    for (int k = 0; 1 + 4 * k + 4 <= len; ++k) {
        const std::uint32_t mp = u32(m + 1 + 4 * k);
        if (mp == 0) continue;
        if (!pages.read(mp, mapPage) || mapPage[0] != page::UsageMap) return false;
        if (!addBits(mapPage.data() + 4, layout.pageSize - 4, perPage * k)) return false;
    }
    return true;
}

TableScan scanTable(const PageSource& pages, const Layout& layout, const TableDef& def) {
    TableScan scan;
    std::vector<std::uint32_t> listed;
    if (!readUsageMap(pages, layout, def.usageMap, listed)) {
        scan.damaged = true;
        return scan;
    }
    std::vector<unsigned char> page, hop;
    auto ownData = [&](const std::vector<unsigned char>& p) {
        return p[0] == page::Data && u32(p.data() + layout.dataOwner) == def.page;
    };
    for (const std::uint32_t pg : listed) {
        if (!pages.read(pg, page)) {
            scan.damaged = true;
            continue;
        }
        // No healthy file seen lists pages that are not its own data pages
        // (checked over every fixture); such a page means the map or the
        // page is damaged.
        if (!ownData(page)) {
            scan.damaged = true;
            continue;
        }
        const int count = u16(page.data() + layout.dataRowCount);
        if (layout.dataRowCount + 2 + 2 * count > layout.pageSize) {
            scan.damaged = true;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const std::uint16_t off = u16(page.data() + layout.dataRowCount + 2 + 2 * i);
            if (off & rowflag::Deleted) continue;
            int start = 0, end = 0;
            if (!rowBounds(page.data(), layout, i, start, end)) {
                scan.damaged = true;
                continue;
            }
            if (!(off & rowflag::Pointer)) {
                scan.rows.push_back({pg, static_cast<std::uint32_t>(i)});
                continue;
            }
            // Follow the pointer to where the row lives now; it is delivered
            // here, in this row's place.
            bool found = false;
            std::uint32_t target = end - start >= 4 ? u32(page.data() + start) : 0;
            for (int hops = 0; hops < kMaxHops && target != 0; ++hops) {
                const std::uint32_t tpg = target >> 8;
                const int trow = static_cast<int>(target & 0xFF);
                if (!pages.read(tpg, hop) || !ownData(hop) || !rowBounds(hop.data(), layout, trow, start, end)) break;
                if (!(u16(hop.data() + layout.dataRowCount + 2 + 2 * trow) & rowflag::Pointer)) {
                    scan.rows.push_back({tpg, static_cast<std::uint32_t>(trow)});
                    found = true;
                    break;
                }
                target = end - start >= 4 ? u32(hop.data() + start) : 0;
            }
            if (!found) scan.damaged = true;
        }
    }
    return scan;
}

bool crackRow(const TableDef& def, const Layout& layout, const unsigned char* row, int len, std::vector<FieldSpan>& out) {
    out.assign(def.columns.size(), FieldSpan{});
    const bool jet3 = layout.rowCountBytes == 1;
    const int head = layout.rowCountBytes;
    if (len < head) return false;
    const int numCols = jet3 ? row[0] : u16(row);
    const int maskLen = (numCols + 7) / 8;
    if (len < head + maskLen) return false;
    const unsigned char* mask = row + len - maskLen;
    int dataEnd = len - maskLen;  // where the fixed and variable data must end

    std::vector<int> varOffsets;  // slot k: start of variable column k; the last is the end of data
    int varLen = 0;
    if (def.varCols > 0) {
        if (jet3) {
            if (dataEnd - 1 < head) return false;
            varLen = row[dataEnd - 1];
            int jumps = (len - 1) / 256;
            const int colPtr = len - 2 - maskLen - jumps;  // slot 0 of the offset table
            if (colPtr - varLen >= 0 && (colPtr - varLen) / 256 < jumps) --jumps;
            if (colPtr - varLen < head) return false;
            varOffsets.resize(static_cast<std::size_t>(varLen) + 1);
            int used = 0;
            for (int i = 0; i <= varLen; ++i) {
                while (used < jumps && i == row[len - maskLen - 2 - used]) ++used;
                varOffsets[static_cast<std::size_t>(i)] = row[colPtr - i] + 256 * used;
            }
            dataEnd = colPtr - varLen;
        } else {
            if (dataEnd - 2 < head) return false;
            varLen = u16(row + dataEnd - 2);
            const int tableStart = dataEnd - 2 - 2 * (varLen + 1);
            if (tableStart < head) return false;
            varOffsets.resize(static_cast<std::size_t>(varLen) + 1);
            for (int i = 0; i <= varLen; ++i)
                varOffsets[static_cast<std::size_t>(i)] = u16(row + dataEnd - 4 - 2 * i);
            dataEnd = tableStart;
        }
        if (varOffsets.back() > dataEnd) return false;
    }

    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        FieldSpan& f = out[i];
        if (c.number >= numCols) continue;  // added after the row was written
        f.present = (mask[c.number / 8] >> (c.number % 8)) & 1;
        if (c.type == coltype::Bool) continue;
        if (c.fixed()) {
            const int start = head + c.fixedOffset;
            if (f.present && (start > dataEnd || c.size > dataEnd - start)) return false;
            f.start = start;
            f.size = c.size;
            continue;
        }
        if (def.varCols == 0 || c.varIndex >= varLen) {
            f.present = false;
            continue;
        }
        const int start = varOffsets[static_cast<std::size_t>(c.varIndex)];
        const int end = varOffsets[static_cast<std::size_t>(c.varIndex) + 1];
        if (f.present && (start < head || start > end || end > dataEnd)) return false;
        f.start = start;
        f.size = end - start;
    }
    return true;
}

}  // namespace qb::access
