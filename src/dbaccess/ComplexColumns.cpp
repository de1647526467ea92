// Attachment, multi-value and version-history columns.
//
// Where things are. MSysComplexColumns has one row per complex column:
// ColumnName, the parent table (ConceptualTableID), the hidden "flat" table
// holding the entries (FlatTableID) and a template table (ComplexTypeObjectID)
// whose columns say what an entry holds; each ID is an object's Id in
// MSysObjects, whose low 24 bits are the page of the table's definition.
// The flat table repeats the template's columns and adds two Long columns
// of its own: an AutoNumber numbering the entries, and the key the parent
// row's complex column holds. So the key column is the flat table's Long
// that is neither in the template nor an AutoNumber.
//
// The kind comes from the template's columns rather than its name: a single
// column of a plain type is a multi-value field (its value column); a memo,
// two texts, a long binary, a date and a Long make an attachment (name,
// type, data, time stamp, flags, and a URL memo); a memo and a date without
// the rest make a version history.
//
// Version history. An append-only memo keeps its earlier texts in a hidden
// complex column of the parent (named VersionHistory_<GUID>, with a template
// of its own). Each entry is one version: the text in a memo column named
// after the parent's memo column, and the time it was saved in a date
// column. The parent's memo itself holds the current text.
//
// Attachment data. The stored value starts with two 32-bit little-endian
// words: 0 for raw or 1 for zlib-compressed content, then the length of the
// content once inflated. The content starts with a header: its own length
// (32 bits, counting itself), a word that is always 1, the length in
// characters of the file extension, then the extension in UTF-16 with a
// terminating NUL. The attached file's bytes follow the header up to the
// declared length.

#include "ComplexColumns.h"

#include "AccessFormat.h"

#include <QString>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>

namespace qb {

namespace {

bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

[[noreturn]] void fail(const std::string& text) { throw DbError(errnum::Generic, text); }


std::uint32_t pageOf(const Variant& id) {
    return static_cast<std::uint32_t>(std::get<std::int64_t>(id)) & 0x00FFFFFFu;
}

// A system table read whole, with the positions of the named columns.
struct SystemRows {
    std::vector<std::vector<Variant>> rows;
    std::vector<int> columns;
};

SystemRows readSystemTable(Backend& access, const std::string& table, const std::vector<std::string>& names) {
    auto source = access.openRowset("SELECT * FROM `" + table + "`");
    SystemRows out;
    const auto& fields = source->fields();
    for (const std::string& name : names) {
        const auto it = std::find_if(fields.begin(), fields.end(),
                                     [&](const FieldInfo& f) { return equalsNoCase(f.name, name); });
        if (it == fields.end()) fail("The system table " + table + " has no column " + name + ".");
        out.columns.push_back(static_cast<int>(it - fields.begin()));
    }
    std::vector<Variant> row;
    while (source->next(row)) out.rows.push_back(row);
    return out;
}

bool isType(int jetType, std::initializer_list<int> types) {
    return std::find(types.begin(), types.end(), jetType) != types.end();
}

// The kind a template's column types tell, if any.
std::optional<ComplexKind> kindOf(const TableSchema& templ) {
    const auto& cols = templ.columns;
    using namespace access;
    if (cols.size() == 1 && isType(cols[0].jetType, {coltype::Byte, coltype::Int, coltype::Long, coltype::Float,
                                                     coltype::Double, coltype::Guid, coltype::Numeric, coltype::Text}))
        return ComplexKind::MultiValue;
    std::map<int, int> count;
    for (const auto& c : cols) ++count[c.jetType];
    if (count[coltype::Memo] >= 1 && count[coltype::Text] >= 2 && count[coltype::Ole] >= 1 &&
        count[coltype::DateTime] >= 1 && count[coltype::Long] >= 1)
        return ComplexKind::Attachment;
    if (count[coltype::Memo] >= 1 && count[coltype::DateTime] >= 1) return ComplexKind::VersionHistory;
    return std::nullopt;
}

}  // namespace

std::vector<ComplexColumn> complexColumnsOf(Backend& access, const std::string& table) {
    const auto parent = access.tableSchema(table);
    if (!parent) return {};
    const bool anyComplex = std::any_of(parent->columns.begin(), parent->columns.end(),
                                        [](const auto& c) { return c.jetType == access::coltype::Complex; });
    if (!anyComplex) return {};

    // Table pages to names, and the parent's page.
    const SystemRows objects = readSystemTable(access, "MSysObjects", {"Id", "Name", "Type"});
    std::map<std::uint32_t, std::string> tableAt;
    std::optional<std::uint32_t> parentPage;
    for (const auto& row : objects.rows) {
        const Variant& id = row[objects.columns[0]];
        const Variant& name = row[objects.columns[1]];
        const Variant& type = row[objects.columns[2]];
        if (!std::holds_alternative<std::int64_t>(id) || !std::holds_alternative<std::string>(name) ||
            type != Variant(std::int64_t{1}))
            continue;
        tableAt[pageOf(id)] = std::get<std::string>(name);
        if (equalsNoCase(std::get<std::string>(name), table)) parentPage = pageOf(id);
    }
    if (!parentPage) fail("The table '" + table + "' is not in MSysObjects.");

    const SystemRows entries = readSystemTable(
        access, "MSysComplexColumns", {"ColumnName", "ConceptualTableID", "FlatTableID", "ComplexTypeObjectID"});

    std::vector<ComplexColumn> out;
    for (std::size_t i = 0; i < parent->columns.size(); ++i) {
        const auto& pc = parent->columns[i];
        if (pc.jetType != access::coltype::Complex) continue;
        const std::string where = "the column '" + pc.name + "' of '" + table + "'";
        const std::vector<Variant>* entry = nullptr;
        for (const auto& row : entries.rows) {
            const Variant& name = row[entries.columns[0]];
            const Variant& conceptual = row[entries.columns[1]];
            if (std::holds_alternative<std::string>(name) && std::holds_alternative<std::int64_t>(conceptual) &&
                pageOf(conceptual) == *parentPage && equalsNoCase(std::get<std::string>(name), pc.name)) {
                entry = &row;
                break;
            }
        }
        if (!entry) fail("MSysComplexColumns has no entry for " + where + ".");
        const Variant& flatId = (*entry)[entries.columns[2]];
        const Variant& templId = (*entry)[entries.columns[3]];
        if (!std::holds_alternative<std::int64_t>(flatId) || !std::holds_alternative<std::int64_t>(templId) ||
            !tableAt.count(pageOf(flatId)) || !tableAt.count(pageOf(templId)))
            fail("The hidden tables of " + where + " are missing.");

        ComplexColumn cc;
        cc.column = pc.name;
        cc.parentField = static_cast<int>(i);
        cc.flatTable = tableAt[pageOf(flatId)];
        const std::string templName = tableAt[pageOf(templId)];
        const auto templ = access.tableSchema(templName);
        const auto flat = access.tableSchema(cc.flatTable);
        if (!templ || !flat) fail("The hidden tables of " + where + " cannot be read.");
        const auto kind = kindOf(*templ);
        if (!kind) continue;  // a kind this program does not know: left as the plain column is
        cc.kind = *kind;

        // The flat table's own columns and the template's, by position in the flat table.
        std::vector<int> fromTemplate;
        for (std::size_t f = 0; f < flat->columns.size(); ++f) {
            const auto& col = flat->columns[f];
            const bool inTemplate = std::any_of(templ->columns.begin(), templ->columns.end(),
                                                [&](const auto& t) { return equalsNoCase(t.name, col.name); });
            if (inTemplate)
                fromTemplate.push_back(static_cast<int>(f));
            else if (col.jetType == access::coltype::Long && !col.autoNumber && cc.keyField < 0)
                cc.keyField = static_cast<int>(f);
        }
        if (cc.keyField < 0) fail("The hidden table '" + cc.flatTable + "' of " + where + " has no key column.");
        auto firstOf = [&](int jetType, const char* name = nullptr) {
            for (int f : fromTemplate) {
                const auto& col = flat->columns[static_cast<std::size_t>(f)];
                if (col.jetType == jetType && (!name || equalsNoCase(col.name, name))) return f;
            }
            return -1;
        };
        auto nameAt = [&](int f) { return flat->columns[static_cast<std::size_t>(f)].name; };

        switch (cc.kind) {
        case ComplexKind::Attachment: {
            int fileName = firstOf(access::coltype::Text, "FileName");
            int fileType = firstOf(access::coltype::Text, "FileType");
            // Renamed template columns: the texts in order are name, then type.
            for (int f : fromTemplate) {
                if (flat->columns[static_cast<std::size_t>(f)].jetType != access::coltype::Text || f == fileName ||
                    f == fileType)
                    continue;
                if (fileName < 0)
                    fileName = f;
                else if (fileType < 0)
                    fileType = f;
            }
            const int stamp = firstOf(access::coltype::DateTime);
            cc.dataField = firstOf(access::coltype::Ole);
            if (fileName < 0 || fileType < 0 || stamp < 0 || cc.dataField < 0)
                fail("The hidden table '" + cc.flatTable + "' of " + where + " lacks attachment columns.");
            cc.valueFields = {fileName, fileType, stamp, cc.dataField};
            cc.valueNames = {"FileName", "FileType", "FileTimeStamp", "FileData"};
            break;
        }
        case ComplexKind::MultiValue:
            if (fromTemplate.size() != 1)
                fail("The hidden table '" + cc.flatTable + "' of " + where + " lacks its value column.");
            cc.valueFields = {fromTemplate[0]};
            cc.valueNames = {nameAt(fromTemplate[0])};
            break;
        case ComplexKind::VersionHistory: {
            const int text = firstOf(access::coltype::Memo);
            const int modified = firstOf(access::coltype::DateTime);
            if (text < 0 || modified < 0)
                fail("The hidden table '" + cc.flatTable + "' of " + where + " lacks its text or date column.");
            // The text column is named after the parent's memo; the date's
            // name carries a GUID, so the child table gets a plain one.
            const std::string memo = nameAt(text);
            cc.valueFields = {text, modified};
            cc.valueNames = {memo, equalsNoCase(memo, "Modified") ? nameAt(modified) : std::string("Modified")};
            const auto it = std::find_if(parent->columns.begin(), parent->columns.end(), [&](const auto& c) {
                return c.jetType == access::coltype::Memo && equalsNoCase(c.name, memo);
            });
            if (it != parent->columns.end()) cc.column = it->name;
            break;
        }
        }
        out.push_back(std::move(cc));
    }
    return out;
}

std::optional<Bytes> attachmentFileBytes(const Bytes& stored) {
    constexpr std::size_t kWrapper = 8;
    constexpr std::uint32_t kRaw = 0, kDeflated = 1;
    if (stored.size() < kWrapper) return std::nullopt;
    const std::uint32_t type = access::u32(stored.data());
    const std::uint32_t length = access::u32(stored.data() + 4);  // of the content, header included
    const std::uint8_t* body = stored.data() + kWrapper;
    const std::size_t bodySize = stored.size() - kWrapper;
    if (length < 4) return std::nullopt;

    Bytes inflated;
    const std::uint8_t* content = nullptr;
    if (type == kRaw) {
        // Bytes after the declared length are not part of the file.
        if (length > bodySize) return std::nullopt;
        content = body;
    } else if (type == kDeflated) {
        // Deflate expands at most about 1032 to 1: a larger declared length
        // is damage, and the output grows only as inflating produces it.
        if (bodySize > UINT_MAX || length >= UINT_MAX || length > std::uint64_t(bodySize) * 1032 + 64)
            return std::nullopt;
        z_stream zs{};
        if (inflateInit(&zs) != Z_OK) return std::nullopt;
        zs.next_in = const_cast<Bytef*>(body);
        zs.avail_in = static_cast<uInt>(bodySize);
        inflated.resize(std::min<std::size_t>(std::size_t(length) + 1, 1u << 20));
        int rc = Z_OK;
        while (true) {
            zs.next_out = inflated.data() + zs.total_out;
            zs.avail_out = static_cast<uInt>(inflated.size() - zs.total_out);
            rc = inflate(&zs, Z_FINISH);
            // One byte more than declared is enough to know it is too long.
            if (rc == Z_STREAM_END || zs.total_out > length) break;
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || zs.avail_out != 0) break;  // bad or cut short
            inflated.resize(std::min<std::size_t>(inflated.size() * 2, std::size_t(length) + 1));
        }
        const bool whole = rc == Z_STREAM_END && zs.total_out == length;
        inflateEnd(&zs);
        if (!whole) return std::nullopt;
        content = inflated.data();
    } else {
        return std::nullopt;
    }

    const std::uint32_t header = access::u32(content);
    if (header < 4 || header > length) return std::nullopt;
    return Bytes(content + header, content + length);
}

}  // namespace qb
