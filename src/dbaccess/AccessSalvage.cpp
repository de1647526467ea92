#include "AccessSalvage.h"

#include <algorithm>
#include <mutex>
#include <unordered_set>

namespace qb::access {

namespace {

constexpr int kMaxHops = 8;

// The pages a usage map lists, as far as it can be read; pages past the end
// of the file are counted in `pastEnd`, not listed. False when part of the
// map could not be read.
bool listedPages(const PageSource& pages, const Layout& layout, std::uint32_t pgRow, std::vector<std::uint32_t>& out,
                 long long& pastEnd) {
    std::vector<unsigned char> page, mapPage;
    int start = 0, end = 0;
    if (!pages.read(pgRow >> 8, page) || page[0] != page::Data ||
        !rowBounds(page.data(), layout, static_cast<int>(pgRow & 0xFF), start, end) || end - start < 1)
        return false;
    const unsigned char* m = page.data() + start;
    const int len = end - start;
    bool whole = true;
    auto addBits = [&](const unsigned char* bits, int n, long long base) {
        for (int i = 0; i < n; ++i) {
            for (int b = 0; bits[i] != 0 && b < 8; ++b) {
                if (!(bits[i] & (1 << b))) continue;
                const long long pg = base + 8LL * i + b;
                if (pg >= pages.pageCount()) ++pastEnd;
                // The page cut short is partly missing, but its rows that
                // are there are taken.
                if ((pg == pages.pageCount() && pages.tailBytes() > 0) || (pg > 0 && pg < pages.pageCount()))
                    out.push_back(static_cast<std::uint32_t>(pg));
                else if (pg <= 0) whole = false;
                else whole = false;
            }
        }
    };
    if (m[0] == 0) {
        if (len < 5) return false;
        addBits(m + 5, len - 5, u32(m + 1));
        return whole;
    }
    if (m[0] != 1) return false;
    const long long perPage = 8LL * (layout.pageSize - 4);
    for (int k = 0; 1 + 4 * k + 4 <= len; ++k) {
        const std::uint32_t mp = u32(m + 1 + 4 * k);
        if (mp == 0) continue;
        if (!pages.read(mp, mapPage) || mapPage[0] != page::UsageMap) {
            whole = false;
            continue;
        }
        addBits(mapPage.data() + 4, layout.pageSize - 4, perPage * k);
    }
    return whole;
}

std::uint64_t key(const RowLocator& at) { return (static_cast<std::uint64_t>(at.page) << 8) | at.row; }

std::mutex notesLock;
std::vector<SalvageReport> tableNotes;
std::vector<std::string> damageNotes;

}  // namespace

bool readSalvaged(const PageSource& pages, std::uint32_t n, std::vector<unsigned char>& buf, std::size_t& valid) {
    if (pages.read(n, buf)) {
        valid = buf.size();
        return true;
    }
    return n == pages.pageCount() && pages.readTail(buf, valid);
}

PageOwners::PageOwners(const PageSource& pages) {
    std::vector<unsigned char> page;
    std::size_t valid = 0;
    for (long long n = 1; n <= pages.pageCount(); ++n) {
        const auto pg = static_cast<std::uint32_t>(n);
        if (!readSalvaged(pages, pg, page, valid) || valid < 8 || page[0] != page::Data) continue;
        // Long-value pages carry "LVAL" where a table's pages name their owner.
        owners_[u32(page.data() + 4)].push_back(pg);
    }
}

const std::vector<std::uint32_t>& PageOwners::of(std::uint32_t definitionPage) const {
    static const std::vector<std::uint32_t> none;
    const auto it = owners_.find(definitionPage);
    return it == owners_.end() ? none : it->second;
}

TableScan salvageScan(const PageSource& pages, const Layout& layout, const TableDef& def, const PageOwners& owners,
                      SalvageCounts& counts) {
    TableScan scan;
    const std::vector<std::uint32_t>& owned = owners.of(def.page);
    std::vector<std::uint32_t> listed;
    long long pastEnd = 0;
    const bool mapWhole = listedPages(pages, layout, def.usageMap, listed, pastEnd);
    counts.incomplete = !mapWhole || pastEnd > 0;
    counts.pagesSkipped += pastEnd;
    // Every page of the file was looked at for `owned`: a listed page
    // missing from it is not a data page of this table any more.
    std::sort(listed.begin(), listed.end());
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    std::vector<std::uint32_t> own;
    for (const std::uint32_t pg : listed) {
        if (std::binary_search(owned.begin(), owned.end(), pg))
            own.push_back(pg);
        else
            ++counts.pagesSkipped;
    }
    // Pages a table gave up keep its mark and their old rows; while the map
    // can be read whole it tells them apart, otherwise every page the table
    // owns is taken.
    if (!mapWhole) own = owned;

    std::vector<unsigned char> page, hop;
    std::vector<bool> viaPointer;
    std::vector<std::uint64_t> targets;
    auto ownData = [&](const std::vector<unsigned char>& p) {
        return p[0] == page::Data && u32(p.data() + layout.dataOwner) == def.page;
    };
    std::size_t valid = 0, hopValid = 0;
    for (const std::uint32_t pg : own) {
        if (!readSalvaged(pages, pg, page, valid) || !ownData(page)) {
            ++counts.pagesSkipped;
            continue;
        }
        const int count = u16(page.data() + layout.dataRowCount);
        if (static_cast<std::size_t>(layout.dataRowCount + 2 + 2 * count) > valid) {
            ++counts.pagesSkipped;
            continue;
        }
        for (int i = 0; i < count; ++i) {
            const std::uint16_t off = u16(page.data() + layout.dataRowCount + 2 + 2 * i);
            if (off & rowflag::Deleted) continue;
            int start = 0, end = 0;
            if (!rowBounds(page.data(), layout, i, start, end) || static_cast<std::size_t>(end) > valid) {
                ++counts.rowsSkipped;
                continue;
            }
            if (!(off & rowflag::Pointer)) {
                scan.rows.push_back({pg, static_cast<std::uint32_t>(i)});
                viaPointer.push_back(false);
                continue;
            }
            bool found = false;
            std::uint32_t target = end - start >= 4 ? u32(page.data() + start) : 0;
            for (int hops = 0; hops < kMaxHops && target != 0; ++hops) {
                const std::uint32_t tpg = target >> 8;
                const int trow = static_cast<int>(target & 0xFF);
                if (!std::binary_search(own.begin(), own.end(), tpg) || !readSalvaged(pages, tpg, hop, hopValid) ||
                    !ownData(hop) || !rowBounds(hop.data(), layout, trow, start, end) ||
                    static_cast<std::size_t>(end) > hopValid)
                    break;
                if (!(u16(hop.data() + layout.dataRowCount + 2 + 2 * trow) & rowflag::Pointer)) {
                    const RowLocator at{tpg, static_cast<std::uint32_t>(trow)};
                    scan.rows.push_back(at);
                    viaPointer.push_back(true);
                    targets.push_back(key(at));
                    found = true;
                    break;
                }
                target = end - start >= 4 ? u32(hop.data() + start) : 0;
            }
            if (!found) ++counts.rowsSkipped;
        }
    }
    if (targets.empty()) return scan;
    // A row reached through a pointer is delivered there; the same row met
    // on its own page (its deleted mark lost) or through a second pointer
    // would be delivered twice.
    std::sort(targets.begin(), targets.end());
    std::unordered_set<std::uint64_t> taken;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < scan.rows.size(); ++i) {
        const std::uint64_t k = key(scan.rows[i]);
        if (std::binary_search(targets.begin(), targets.end(), k)) {
            if (!viaPointer[i] || !taken.insert(k).second) continue;
        }
        scan.rows[kept++] = scan.rows[i];
    }
    scan.rows.resize(kept);
    return scan;
}

void noteSalvagedTable(const SalvageReport& report) {
    const std::lock_guard<std::mutex> lock(notesLock);
    tableNotes.push_back(report);
}

void noteSalvageDamage(const std::string& text) {
    const std::lock_guard<std::mutex> lock(notesLock);
    if (std::find(damageNotes.begin(), damageNotes.end(), text) == damageNotes.end()) damageNotes.push_back(text);
}

std::vector<SalvageReport> salvagedTables() {
    const std::lock_guard<std::mutex> lock(notesLock);
    return tableNotes;
}

std::vector<std::string> salvageDamage() {
    const std::lock_guard<std::mutex> lock(notesLock);
    return damageNotes;
}

namespace {
const std::string kDamagedHead = "The database '";
const std::string kDamagedTail = "' is damaged and cannot be read completely.";
}  // namespace

std::string damagedDatabaseText(const std::string& path) { return kDamagedHead + path + kDamagedTail; }

bool isDamagedDatabaseText(const std::string& text) {
    return text.size() >= kDamagedHead.size() + kDamagedTail.size() && text.starts_with(kDamagedHead) &&
           text.ends_with(kDamagedTail);
}

void clearSalvageNotes() {
    const std::lock_guard<std::mutex> lock(notesLock);
    tableNotes.clear();
    damageNotes.clear();
}

}  // namespace qb::access
