// The Access back end: reads .mdb/.accdb files read-only with the reader in
// AccessPages/AccessTable (pages, table definitions, usage maps, rows),
// AccessCatalog (the catalog) and AccessDecoder (the values of a row).
//
// Damage is never hidden: a rowset delivers every row it could read and
// then fails with the damaged-database error when a page the table needs
// was missing, unreadable or not the table's, or a row could not be
// cracked. A catalog or table definition that cannot be read fails at once.
// Salvaging (AccessSalvage.h), what cannot be read is counted instead and
// the rest delivered; nothing read in part is delivered.

#include "AccessCatalog.h"
#include "AccessDecoder.h"
#include "Backends.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_set>

namespace qb {

namespace {

using namespace qb::access;

// Rows of one table. The table is walked once when the rowset opens, so
// that the row count is exact before the first row; rows are then decoded
// in batches and handed out by swapping vectors. After the last row that
// could be read, damage found on the way fails the rowset. Salvaging, the
// rows that cannot be read whole are passed over and counted instead, and
// the count is noted when the rowset ends.
class TableRows : public RowSource {
public:
    TableRows(std::shared_ptr<const FileContext> ctx, TableDef def, const std::map<std::string, int>& resultTypes,
              bool complexKeys, std::string name)
        : ctx_(std::move(ctx)), def_(std::move(def)), decoder_(*ctx_, def_, resultTypes, complexKeys),
          scan_(ctx_->salvage ? salvageScan(ctx_->pages, ctx_->layout, def_, *ctx_->owners, report_.counts)
                              : scanTable(ctx_->pages, ctx_->layout, def_)) {
        report_.table = std::move(name);
    }
    ~TableRows() override { noteSalvage(); }
    TableRows(const TableRows&) = delete;
    TableRows& operator=(const TableRows&) = delete;

    const std::vector<FieldInfo>& fields() const override { return decoder_.fields(); }
    long long rowCount() override { return static_cast<long long>(scan_.rows.size()); }

    bool next(std::vector<Variant>& row) override {
        if (pos_ >= filled_) {
            if (done_)
                filled_ = pos_ = 0;
            else
                refill();
            if (filled_ == 0) {
                noteSalvage();
                if (scan_.damaged || decoder_.damaged()) fail(ctx_->damaged());
                return false;
            }
        }
        row.swap(batch_[pos_++]);
        ++report_.rows;
        return true;
    }

private:
    static constexpr std::size_t kBatchRows = 256;
    static constexpr std::size_t kBatchBytes = 8u << 20;

    void noteSalvage() {
        if (!ctx_->salvage || noted_) return;
        noted_ = true;
        noteSalvagedTable(report_);
    }

    // A row that could not be read: damage, or one more row passed over.
    void unreadable() {
        if (ctx_->salvage)
            ++report_.counts.rowsSkipped;
        else
            scan_.damaged = true;
    }

    void refill() {
        pos_ = 0;
        filled_ = 0;
        if (batch_.size() < kBatchRows) batch_.resize(kBatchRows);
        std::size_t bytes = 0;
        while (filled_ < kBatchRows && bytes < kBatchBytes) {
            if (next_ >= scan_.rows.size()) {
                done_ = true;
                break;
            }
            const RowLocator at = scan_.rows[next_++];
            int start = 0, end = 0;
            if (at.page != page_) {
                page_ = 0;
                std::size_t valid = 0;
                if (!(ctx_->salvage ? readSalvaged(ctx_->pages, at.page, buf_, valid) : ctx_->pages.read(at.page, buf_))) {
                    unreadable();
                    continue;
                }
                page_ = at.page;
            }
            auto& row = batch_[filled_];
            if (!rowBounds(buf_.data(), ctx_->layout, static_cast<int>(at.row), start, end) ||
                !decoder_.decode(buf_.data() + start, end - start, row)) {
                unreadable();
                continue;
            }
            // A long value that could not be read leaves its field NULL:
            // a row that is not what the file held.
            if (ctx_->salvage && decoder_.damaged()) {
                decoder_.clearDamage();
                unreadable();
                continue;
            }
            ++filled_;
            for (const auto& v : row) {
                if (const auto* s = std::get_if<std::string>(&v)) bytes += s->size();
                if (const auto* b = std::get_if<Bytes>(&v)) bytes += b->size();
            }
        }
    }

    std::shared_ptr<const FileContext> ctx_;
    TableDef def_;
    RowDecoder decoder_;
    SalvageReport report_;  // before scan_, which counts into it
    TableScan scan_;
    std::size_t next_ = 0;
    std::uint32_t page_ = 0;
    std::vector<unsigned char> buf_;
    std::vector<std::vector<Variant>> batch_;
    std::size_t pos_ = 0;
    std::size_t filled_ = 0;
    bool done_ = false;
    bool noted_ = false;
};

class AccessBackend : public Backend {
public:
    AccessBackend(std::shared_ptr<const FileContext> ctx, std::vector<CatalogObject> catalog)
        : ctx_(std::move(ctx)), catalog_(std::move(catalog)) {}

    void execute(const std::string&) override {
        fail("Cannot update. Database or object is read-only.");
    }

    std::unique_ptr<RowSource> openSchemaTables() override {
        struct Entry {
            QString type, name;
            const CatalogObject* object;
        };
        std::vector<Entry> entries;
        for (const auto& o : catalog_) {
            const std::string type = tableTypeOf(o);
            if (type.empty() || lostDefinition(o)) continue;
            entries.push_back({QString::fromStdString(type), QString::fromUtf8(o.name), &o});
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (const int c = a.type.compare(b.type); c != 0) return c < 0;
            return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        });
        std::vector<std::vector<Variant>> rows;
        rows.reserve(entries.size());
        for (const auto& e : entries)
            rows.push_back({Null{}, Null{}, e.object->name, e.type.toStdString(), Null{}});
        std::vector<FieldInfo> fields = {{"TABLE_CATALOG", ado::VarWChar},
                                         {"TABLE_SCHEMA", ado::VarWChar},
                                         {"TABLE_NAME", ado::VarWChar},
                                         {"TABLE_TYPE", ado::VarWChar},
                                         {"DESCRIPTION", ado::VarWChar}};
        return std::make_unique<MaterializedRows>(std::move(fields), std::move(rows));
    }

    std::unique_ptr<RowSource> openRowset(const std::string& source) override {
        static const std::string prefix = "SELECT * FROM `";
        const bool shaped = source.size() > prefix.size() + 1 &&
                            equalsNoCase(source.substr(0, prefix.size()), prefix) && source.back() == '`' &&
                            source.find('`', prefix.size()) == source.size() - 1;
        if (!shaped)
            fail("The statement '" + source + "' cannot be run on an Access source: only SELECT * FROM `table` is supported.");
        return openTable(source.substr(prefix.size(), source.size() - prefix.size() - 1), false);
    }

    std::unique_ptr<RowSource> openTableWithComplexKeys(const std::string& table) override {
        return openTable(table, true);
    }

    std::optional<TableSchema> tableSchema(const std::string& table) override {
        const CatalogObject& object = localTable(table);
        const TableDef def = readDefinition(*ctx_, object.page);
        const auto properties = columnProperties(object.properties, *ctx_);
        TableSchema schema;
        std::map<int, int> position;  // column number -> position
        for (const ColumnDef& c : def.columns) {
            position[c.number] = static_cast<int>(schema.columns.size());
            TableSchema::Column column;
            column.name = c.name;
            column.jetType = c.type;
            column.autoNumber = (c.flags & colflag::AutoLong) != 0;
            if (const auto it = properties.find(c.name); it != properties.end()) column.required = it->second.required;
            schema.columns.push_back(std::move(column));
        }
        for (const LogicalIndex& logical : def.indexes) {
            if (logical.realIndex >= def.realIndexes.size()) fail(ctx_->damaged());
            const RealIndex& real = def.realIndexes[logical.realIndex];
            TableSchema::Index index;
            index.name = logical.name;
            index.primary = logical.type == 1;
            index.foreignKey = logical.type == 2;
            index.unique = (real.flags & 0x01) != 0 || index.primary;
            for (const RealIndex::Column& c : real.columns) {
                const auto it = position.find(c.number);
                if (it == position.end()) fail(ctx_->damaged());
                index.parts.push_back({it->second, c.ascending});
            }
            schema.indexes.push_back(std::move(index));
        }
        return schema;
    }

private:
    // Salvaging, a table whose definition cannot be read is named in the
    // damage notes and left out of the list: nothing of it can be read, and
    // the run would otherwise write a table without columns.
    bool lostDefinition(const CatalogObject& o) const {
        if (!ctx_->salvage || o.type != kObjTable) return false;
        if (readTableDef(ctx_->pages, ctx_->layout, ctx_->codePage, o.page)) return false;
        noteSalvageDamage("The definition of table '" + o.name +
                          "' is damaged: none of its rows can be read, and how many it had is unknown.");
        return true;
    }

    const CatalogObject& localTable(const std::string& name) const {
        const CatalogObject* found = nullptr;
        for (const auto& o : catalog_)
            if ((o.type == kObjTable || o.type == kObjLink || o.type == kObjOdbcLink || o.type == kObjQuery) &&
                equalsNoCase(o.name, name)) {
                found = &o;
                if (o.type == kObjTable) break;
            }
        if (!found)
            fail("The Microsoft Jet database engine cannot find the input table or query '" + name +
                 "'.  Make sure it exists and that its name is spelled correctly.");
        if (found->type != kObjTable)
            fail("'" + name + "' is a linked table or a query; only local tables can be read from '" + ctx_->path + "'.");
        return *found;
    }

    std::unique_ptr<RowSource> openTable(const std::string& name, bool complexKeys) {
        const CatalogObject& found = localTable(name);
        std::optional<TableDef> def = readTableDef(ctx_->pages, ctx_->layout, ctx_->codePage, found.page);
        if (!def && ctx_->salvage)
            fail("The definition of table '" + name + "' in '" + ctx_->path +
                 "' is damaged: none of its rows can be read, and how many it had is unknown.");
        if (!def) fail(ctx_->damaged());
        return std::make_unique<TableRows>(ctx_, std::move(*def), calculatedResultTypes(found.properties, *ctx_),
                                           complexKeys, name);
    }

    std::shared_ptr<const FileContext> ctx_;
    std::vector<CatalogObject> catalog_;
};

}  // namespace

std::unique_ptr<Backend> openAccessBackend(const ConnectionPairs& pairs) {
    const std::string path = connectionValue(pairs, "Data Source").value_or("");
    const std::string password = connectionValue(pairs, "JET OLEDB:Database Password").value_or("");
    if (path.empty()) fail("Could not find file ''.");

    const bool salvage = connectionValue(pairs, kSalvageKey).value_or("") == "True";

    AccessHeader header = inspectAccessFile(path, salvage);
    if (header.tailBytes > 0)
        noteSalvageDamage("The file ends " + std::to_string(header.tailBytes) +
                          " bytes into a page: that page is missing, and whatever lay after it.");
    // The codec decodes every page after 0 before anything reads it.
    auto codec = checkAccessPassword(header, password);
    auto ctx = std::make_shared<const FileContext>(path, std::move(header), std::move(codec), salvage);
    std::vector<CatalogObject> catalog = readCatalog(*ctx);
    return std::make_unique<AccessBackend>(std::move(ctx), std::move(catalog));
}

}  // namespace qb
