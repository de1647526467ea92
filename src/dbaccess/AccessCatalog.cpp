#include "AccessCatalog.h"

#include "AccessDecoder.h"

namespace qb::access {

TableDef readDefinition(const FileContext& ctx, std::uint32_t page) {
    auto def = readTableDef(ctx.pages, ctx.layout, ctx.codePage, page);
    if (!def) fail(ctx.damaged());
    return std::move(*def);
}

// MSysObjects, whose definition always sits on page 2. Read whole or not
// at all: a catalog with rows missing would hide tables. Salvaging, the
// rows that can be read, with a note that tables may be missing.
std::vector<CatalogObject> readCatalog(const FileContext& ctx) {
    const TableDef def = readDefinition(ctx, 2);
    RowDecoder decoder(ctx, def, {});
    int idCol = -1, nameCol = -1, typeCol = -1, flagsCol = -1, propCol = -1;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const std::string& name = def.columns[i].name;
        const int type = def.columns[i].type;
        const int at = static_cast<int>(i);
        if (equalsNoCase(name, "Id") && type == coltype::Long) idCol = at;
        if (equalsNoCase(name, "Name") && type == coltype::Text) nameCol = at;
        if (equalsNoCase(name, "Type") && type == coltype::Int) typeCol = at;
        if (equalsNoCase(name, "Flags") && type == coltype::Long) flagsCol = at;
        if (equalsNoCase(name, "LvProp") && type == coltype::Ole) propCol = at;
    }
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) fail(ctx.damaged());

    // Salvaging, the rows still readable are the catalog: a table missing
    // from it is named in the damage note, not a reason to lose the others.
    SalvageCounts counts;
    const TableScan scan = ctx.salvage ? salvageScan(ctx.pages, ctx.layout, def, *ctx.owners, counts)
                                       : scanTable(ctx.pages, ctx.layout, def);
    if (scan.damaged) fail(ctx.damaged());
    long long skipped = 0;
    std::vector<CatalogObject> objects;
    std::vector<unsigned char> page;
    std::uint32_t current = 0;
    Variant id, name, type, flags, props;
    for (const RowLocator& at : scan.rows) {
        if (at.page != current) {
            current = 0;
            std::size_t valid = 0;
            if (!(ctx.salvage ? readSalvaged(ctx.pages, at.page, page, valid) : ctx.pages.read(at.page, page))) {
                if (!ctx.salvage) fail(ctx.damaged());
                ++skipped;
                continue;
            }
            current = at.page;
        }
        int start = 0, end = 0;
        if (!rowBounds(page.data(), ctx.layout, static_cast<int>(at.row), start, end)) {
            if (!ctx.salvage) fail(ctx.damaged());
            ++skipped;
            continue;
        }
        const unsigned char* row = page.data() + start;
        const int len = end - start;
        if (!decoder.decodeColumn(row, len, static_cast<std::size_t>(idCol), id) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(nameCol), name) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(typeCol), type) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(flagsCol), flags)) {
            if (!ctx.salvage) fail(ctx.damaged());
            ++skipped;
            continue;
        }
        if (!std::holds_alternative<std::int64_t>(id) || !std::holds_alternative<std::string>(name) ||
            !std::holds_alternative<std::int64_t>(type))
            continue;
        CatalogObject o;
        o.name = std::get<std::string>(name);
        // Forms, reports, macros and modules have negative types; they are
        // not tables or queries of any kind.
        o.type = static_cast<int>(std::get<std::int64_t>(type));
        if (o.type < 0 || o.name.empty()) continue;
        o.flags = std::holds_alternative<std::int64_t>(flags) ? static_cast<std::uint32_t>(std::get<std::int64_t>(flags)) : 0;
        o.page = static_cast<std::uint32_t>(std::get<std::int64_t>(id)) & 0x00FFFFFFu;
        if (o.type == kObjTable && propCol >= 0) {
            props = Null{};
            if (!decoder.decodeColumn(row, len, static_cast<std::size_t>(propCol), props) && !ctx.salvage)
                fail(ctx.damaged());
            if (const auto* b = std::get_if<Bytes>(&props)) o.properties.assign(b->begin(), b->end());
        }
        objects.push_back(std::move(o));
    }
    if (decoder.damaged() && !ctx.salvage) fail(ctx.damaged());
    // Column properties lost with a long value leave a table without its
    // calculated columns' result types and its required fields: counted.
    skipped += counts.rowsSkipped + counts.pagesSkipped + (decoder.damaged() ? 1 : 0);
    if (skipped > 0 || counts.incomplete)
        noteSalvageDamage("The list of tables could be read only in part (" + std::to_string(skipped) +
                          " of its pages and rows passed over): tables may be missing.");
    return objects;
}

// The TABLE_TYPE the providers report, or "" for objects not in the
// tables rowset (forms, reports, action queries and the like).
std::string tableTypeOf(const CatalogObject& o) {
    switch (o.type) {
    case kObjTable:
        if (o.flags & kSystemObject) return "SYSTEM TABLE";
        if (o.flags & kAccessObject) return "ACCESS TABLE";
        return "TABLE";
    case kObjLink: return "LINK";
    case kObjOdbcLink: return "PASS-THROUGH";
    case kObjQuery:
        // The high nibble of the low byte tells the query kind; 0 is select.
        return (o.flags & 0xF0) == 0 ? "VIEW" : "";
    default: return "";
    }
}

}  // namespace qb::access
