#pragma once
// Reads everything an Access file offers through the back end: the tables
// schema rowset, then every object it lists (system, Access, linked tables
// and queries too) as "SELECT * FROM `name`", each value touched, then its
// keys and indexes, its rows with their complex keys, and the entries of its
// attachment and multi-value columns with every attached file decoded. Shared by
// the fuzz target and its replay test so that both walk the same path.

#include "dbaccess/Backends.h"
#include "dbaccess/AccessQueries.h"
#include "dbaccess/ComplexColumns.h"
#include "conversion/ViewTranslation.h"

#include <cstdint>
#include <deque>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace qb::fuzz {

struct ReadSummary {
    int tables = 0;        // rowsets opened
    int refused = 0;       // rowsets that ended in a DbError
    long long rows = 0;
    // Rowsets whose rowCount() differed from the rows read; salvaging, only
    // those that delivered more rows than it promised (rows that turn out
    // unreadable are passed over after the count).
    int countMismatches = 0;
    std::uint64_t checksum = 0;  // over every value, so no read can be skipped
};

inline std::uint64_t mixValue(std::uint64_t h, const Variant& v) {
    auto mix = [&h](std::uint64_t x) { h = (h ^ x) * 0x100000001B3ull; };
    mix(v.index());
    std::visit(
        [&mix](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, Bytes>) {
                mix(x.size());
                for (auto c : x) mix(static_cast<unsigned char>(c));
            } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t>) {
                mix(static_cast<std::uint64_t>(x));
            } else if constexpr (std::is_same_v<T, Currency>) {
                mix(static_cast<std::uint64_t>(x.scaled));
            } else if constexpr (std::is_same_v<T, Decimal>) {
                mix(static_cast<std::uint64_t>(x.mantissa));
                mix(static_cast<std::uint64_t>(x.mantissa >> 64));
                mix(static_cast<std::uint64_t>(x.scale));
                mix(x.negative);
            } else if constexpr (std::is_same_v<T, Guid>) {
                for (auto b : x.bytes) mix(b);
            } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
                mix(static_cast<std::uint64_t>(static_cast<double>(x) == 0 ? 0 : 1));
            } else if constexpr (std::is_same_v<T, OleDate>) {
                mix(static_cast<std::uint64_t>(x.days == 0 ? 0 : 1));
            }
        },
        v);
    return h;
}

// Tables by their schemas, for translating the queries that read them.
class SchemaRelations : public RelationLookup {
public:
    explicit SchemaRelations(Backend& backend) : backend_(backend) {}
    const Relation* find(const std::string& name) override {
        std::optional<TableSchema> schema;
        try {
            schema = backend_.tableSchema(name);
        } catch (const DbError&) {
            return nullptr;
        }
        if (!schema) return nullptr;
        auto& r = relations_.emplace_back();
        r.name = name;
        for (const auto& c : schema->columns) r.columns.push_back(relationColumn(c.name, c.jetType));
        return &r;
    }

private:
    Backend& backend_;
    std::deque<Relation> relations_;
};

// The saved queries: their rows, the SQL rebuilt from them and their views.
inline void readQueries(Backend& backend, ReadSummary& s) {
    try {
        SchemaRelations relations(backend);
        for (const SavedQuery& q : readSavedQueries(backend)) {
            s.checksum = mixValue(s.checksum, Variant(q.name));
            try {
                s.checksum = mixValue(s.checksum, Variant(accessSql(q)));
            } catch (const DbError&) {
                ++s.refused;
            }
            try {
                s.checksum = mixValue(s.checksum, Variant(translateQuery(q, relations).select));
            } catch (const NotTranslated&) {
                ++s.refused;
            }
        }
    } catch (const DbError&) {
        ++s.refused;
    }
}

// Opens `path` and reads it all, salvaging with `salvage`. A DbError from
// opening the file propagates; one from a single rowset is counted and the
// next object is tried.
inline ReadSummary readEverything(const std::string& path, bool salvage = false) {
    ReadSummary s;
    auto backend = openAccessBackend(parseConnectionString(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + quoteConnectionValue(path) +
        ";JET OLEDB:Database Password=" + (salvage ? std::string(";") + kSalvageKey + "=True" : std::string())));
    std::vector<std::string> names;
    {
        auto schema = backend->openSchemaTables();
        const auto& fields = schema->fields();
        std::size_t nameCol = fields.size();
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == "TABLE_NAME") nameCol = i;
        std::vector<Variant> row;
        while (schema->next(row)) {
            for (const auto& v : row) s.checksum = mixValue(s.checksum, v);
            if (nameCol < row.size())
                if (const auto* name = std::get_if<std::string>(&row[nameCol])) names.push_back(*name);
        }
    }
    std::vector<Variant> row;
    for (const auto& name : names) {
        try {
            auto rows = backend->openRowset("SELECT * FROM `" + name + "`");
            ++s.tables;
            for (const auto& f : rows->fields()) s.checksum = mixValue(s.checksum, Variant(f.name));
            const long long count = rows->rowCount();
            long long n = 0;
            while (rows->next(row)) {
                for (const auto& v : row) s.checksum = mixValue(s.checksum, v);
                ++n;
            }
            s.rows += n;
            if (salvage ? n > count : count != n) ++s.countMismatches;
        } catch (const DbError&) {
            ++s.refused;
        }
        try {
            if (const auto schema = backend->tableSchema(name)) {
                for (const auto& index : schema->indexes)
                    for (const auto& part : index.parts) s.checksum = mixValue(s.checksum, std::int64_t{part.column});
            }
            auto keyed = backend->openTableWithComplexKeys(name);
            while (keyed->next(row))
                for (const auto& v : row) s.checksum = mixValue(s.checksum, v);
            for (const ComplexColumn& column : complexColumnsOf(*backend, name)) {
                auto entries = backend->openRowset("SELECT * FROM `" + column.flatTable + "`");
                while (entries->next(row)) {
                    const auto at = static_cast<std::size_t>(column.dataField);
                    if (column.dataField < 0 || at >= row.size()) continue;
                    if (const auto* stored = std::get_if<Bytes>(&row[at]))
                        if (const auto file = attachmentFileBytes(*stored)) s.checksum = mixValue(s.checksum, *file);
                }
            }
        } catch (const DbError&) {
            ++s.refused;
        }
    }
    readQueries(*backend, s);
    return s;
}

}  // namespace qb::fuzz
