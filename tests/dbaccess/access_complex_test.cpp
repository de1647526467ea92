// Attachment, multi-value and version-history columns: where they are found
// and what their entries hold, against what an independent reader (the npm
// package mdb-reader 3.2.0) gives for the same files.

#include "Fixtures.h"
#include "access_open.h"
#include "dbaccess/ComplexColumns.h"

#include <nettle/sha2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <map>

using namespace qb;

namespace {

std::string sha256Hex(const Bytes& data) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, data.size(), data.data());
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    std::string hex;
    for (std::uint8_t b : digest) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    return hex;
}

// A value as the reference listing writes it: texts quoted, dates in UTC
// to the millisecond.
std::string render(const Variant& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return "\"" + *s + "\"";
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<OleDate>(&v)) {
        const long long ms = std::llround((d->days - 25569.0) * 86400000.0);
        const std::time_t secs = static_cast<std::time_t>(std::floor(ms / 1000.0));
        std::tm tm{};
        gmtime_r(&secs, &tm);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ((ms % 1000) + 1000) % 1000);
        return buf;
    }
    return isNull(v) ? "null" : "?";
}

std::vector<std::vector<Variant>> readAll(std::unique_ptr<RowSource> source) {
    std::vector<std::vector<Variant>> rows;
    std::vector<Variant> row;
    while (source->next(row)) rows.push_back(row);
    return rows;
}

// Every complex column of `table` and its entries, in the reference's
// form: attachments per parent row (position in the table), other kinds
// per key in the hidden table's order.
std::string listComplex(Backend& access, const std::string& table) {
    static const char* kinds[] = {"attachment", "multi-value", "version-history"};
    std::string out;
    const auto parentRows = readAll(access.openTableWithComplexKeys(table));
    for (const ComplexColumn& cc : complexColumnsOf(access, table)) {
        auto flatSource = access.openRowset("SELECT * FROM `" + cc.flatTable + "`");
        const auto flatFields = flatSource->fields();
        const auto flatRows = readAll(std::move(flatSource));
        out += "COLUMN " + table + "." + cc.column + " " + kinds[static_cast<int>(cc.kind)] + " flat=" + cc.flatTable +
               " key=" + flatFields.at(static_cast<std::size_t>(cc.keyField)).name + " as";
        for (const auto& name : cc.valueNames) out += " " + name;
        out += "\n";
        if (cc.kind != ComplexKind::Attachment) {
            for (const auto& r : flatRows) {
                out += "  key " + render(r.at(static_cast<std::size_t>(cc.keyField)));
                for (std::size_t i = 0; i < cc.valueFields.size(); ++i)
                    out += " " + cc.valueNames[i] + "=" + render(r.at(static_cast<std::size_t>(cc.valueFields[i])));
                out += "\n";
            }
            continue;
        }
        EXPECT_EQ(cc.valueFields.size(), 4u);
        EXPECT_EQ(cc.valueFields.back(), cc.dataField);
        for (std::size_t p = 0; p < parentRows.size(); ++p) {
            const Variant& key = parentRows[p].at(static_cast<std::size_t>(cc.parentField));
            for (const auto& r : flatRows) {
                if (r.at(static_cast<std::size_t>(cc.keyField)) != key) continue;
                const auto* stored = std::get_if<Bytes>(&r.at(static_cast<std::size_t>(cc.dataField)));
                const auto file = stored ? attachmentFileBytes(*stored) : std::nullopt;
                out += "  row " + std::to_string(p) + " name=" + render(r.at(static_cast<std::size_t>(cc.valueFields[0]))) +
                       " type=" + render(r.at(static_cast<std::size_t>(cc.valueFields[1]))) +
                       " stamp=" + render(r.at(static_cast<std::size_t>(cc.valueFields[2])));
                out += file ? " len=" + std::to_string(file->size()) + " sha256=" + sha256Hex(*file) : " damaged";
                out += "\n";
            }
        }
    }
    return out;
}

// Expected: mdb-reader's attachments (name, type, the bytes' length and
// SHA-256) and the rows of the hidden tables it reads; the columns' kinds
// and key columns as its listing of the hidden tables shows them.
TEST(AccessComplexColumns, EntriesMatchAnIndependentReader) {
    struct Case {
        const char* file;
        const char* table;
        const char* expected;
    };
    const Case cases[] = {
        {"public/attachments.accdb", "Table1",
         R"(COLUMN Table1.Attachments attachment flat=f_F42896D510474144890B9076E2CD27D9_Field1 key=_Field1 as FileName FileType FileTimeStamp FileData
  row 1 name="attachment1.txt" type="txt" stamp=null len=12 sha256=bc8197a7b88040521daeedd483efbbf14a699b7c301a32374d383f7650934367
  row 2 name="attachment1.txt" type="txt" stamp=null len=12 sha256=bc8197a7b88040521daeedd483efbbf14a699b7c301a32374d383f7650934367
  row 2 name="attachment2.txt" type="txt" stamp=null len=12 sha256=a90facf3f342b711cbfff731dae371a4ef1b90d5b99521e1f97e16544dbfd40d
  row 2 name="attachment3.txt" type="txt" stamp=null len=12 sha256=67fc16a2b6d5ba103ea5d20e3279d751a20bc0bf8ab175ea6f7409e6c4b8deb5
)"},
        {"public/attachments.accdb", "MSysResources",
         R"(COLUMN MSysResources.Data attachment flat=f_C6D29A8E61514CBAB1FA6881739A7137_Data key=_Data as FileName FileType FileTimeStamp FileData
  row 0 name="Office Theme.thmx" type="thmx" stamp=null len=3428 sha256=12a14b1dc49e88e66526fd7cd0bfefb7a0e6d7325dbcc7d2a2c01ce390980d18
)"},
        {"public/complexDataTestV2010.accdb", "MSysResources",
         R"(COLUMN MSysResources.Data attachment flat=f_63A2725FD5F0424B858BA73DA673639B_Data key=_Data as FileName FileType FileTimeStamp FileData
  row 0 name="Office Theme.thmx" type="thmx" stamp=null len=3096 sha256=a2740036202f5706ceec95e322fe85cd3ed1b983f3e6e6d819627a6e9a7c5cf1
)"},
        {"public/complexDataTestV2010.accdb", "Table1",
         R"(COLUMN Table1.append-memo-data version-history flat=f_0BFE159C44334BFB968A820EA89C2D7E_VersionHistory_F5F8918F-0A3F- key=_VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880 as append-memo-data Modified
  key 2 append-memo-data="row2-memo" Modified=2011-09-12T21:21:02.334Z
  key 3 append-memo-data="row3-memo" Modified=2011-09-12T21:21:19.126Z
  key 4 append-memo-data="row4-memo" Modified=2011-09-12T21:22:25.758Z
  key 3 append-memo-data="row3-memo-revised" Modified=2011-09-12T21:22:33.077Z
  key 3 append-memo-data="row3-memo-again" Modified=2011-09-12T21:22:45.382Z
COLUMN Table1.multi-value-data multi-value flat=f_FCC66D28D650455480D923D1BD446BA6_multi-value-data key=_multi-value-data as Value
  key 2 Value="value1"
  key 2 Value="value4"
  key 3 Value="value1"
  key 3 Value="value2"
  key 3 Value="value3"
  key 3 Value="value4"
COLUMN Table1.attach-data attachment flat=f_3B07F994AD0A4B56A3A1E13B3A1D3B70_attach-data key=_attach-data as FileName FileType FileTimeStamp FileData
  row 1 name="test_data.txt" type="txt" stamp=null len=38 sha256=c9ebf61b9960f16069a79915efd87a507d21d9144bcc317687f9323f1fc055b2
  row 1 name="test_data2.txt" type="txt" stamp=null len=43 sha256=1d83095a80dc9910a6bdf99e6cbae4e392066a91f3a8089975d5957250079b0a
  row 3 name="test_data2.txt" type="txt" stamp=null len=43 sha256=1d83095a80dc9910a6bdf99e6cbae4e392066a91f3a8089975d5957250079b0a
)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.table);
        auto access = test::openAccessFile(test::fixture(c.file).toStdString());
        EXPECT_EQ(listComplex(*access, c.table), c.expected);
    }
    // A table without complex columns needs none of the system tables.
    auto plain = test::openAccessFile(test::fixture("sample.mdb").toStdString());
    auto tables = readAll(plain->openSchemaTables());
    ASSERT_FALSE(tables.empty());
    for (const auto& t : tables) {
        if (std::get<std::string>(t.at(3)) == "TABLE") {
            EXPECT_TRUE(complexColumnsOf(*plain, std::get<std::string>(t.at(2))).empty());
        }
    }
}

// Stored attachment data that is damaged gives no bytes, whatever its
// lengths claim; a sound stored value gives exactly the attached file.
TEST(AccessComplexColumns, DamagedAttachmentDataGivesNoValue) {
    auto access = test::openAccessFile(test::fixture("public/attachments.accdb").toStdString());
    const auto deflated = std::get<Bytes>(
        readAll(access->openRowset("SELECT * FROM `f_C6D29A8E61514CBAB1FA6881739A7137_Data`")).at(0).at(0));
    ASSERT_EQ(deflated.at(0), 1);
    // Raw content: header of 20 bytes (length, 1, 4 characters, "txt\0"), then the file.
    const Bytes raw = {0, 0, 0, 0, 23, 0, 0, 0, 20, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0,
                       't', 0, 'x', 0, 't', 0, 0, 0, 'a', 'b', 'c', 'x', 'y'};
    ASSERT_EQ(attachmentFileBytes(raw), (Bytes{'a', 'b', 'c'}));
    ASSERT_TRUE(attachmentFileBytes(deflated).has_value());

    auto with = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    auto cut = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); };
    const struct {
        const char* what;
        Bytes stored;
    } damaged[] = {
        {"empty", {}},
        {"no length word", cut(raw, 7)},
        {"raw cut short", cut(raw, 30)},
        {"raw length beyond the data", with(raw, 4, {0xFF, 0xFF, 0xFF, 0x7F})},
        {"length too small for a header", with(raw, 4, {3, 0, 0, 0})},
        {"header longer than the content", with(raw, 8, {24, 0, 0, 0})},
        {"header length zero", with(raw, 8, {0, 0, 0, 0})},
        {"unknown storage type", with(raw, 0, {2})},
        {"deflated cut short", cut(deflated, deflated.size() / 2)},
        {"deflated checksum cut off", cut(deflated, deflated.size() - 2)},
        {"deflated length too big", with(deflated, 4, {0xFF, 0xFF, 0xFF, 0xFF})},
        {"deflated length one too big", with(deflated, 4, {static_cast<std::uint8_t>(deflated[4] + 1)})},
        {"deflated length one too small", with(deflated, 4, {static_cast<std::uint8_t>(deflated[4] - 1)})},
        {"bad zlib header", with(deflated, 8, {0x00, 0x00})},
        {"bad deflate data", with(deflated, deflated.size() / 2, {0xFF, 0xFF, 0xFF, 0xFF})},
    };
    for (const auto& d : damaged) EXPECT_EQ(attachmentFileBytes(d.stored), std::nullopt) << d.what;
}

}  // namespace
