// Damage is reported, never hidden: a table whose pages or rows cannot all
// be read delivers the rows it could read and then fails with the damage
// error; rows moved to another page come back in their own place. Salvaging,
// the rows still readable come back whole and what was lost is counted.

#include "Fixtures.h"
#include "access_open.h"
#include "dbaccess/AccessFile.h"
#include "dbaccess/AccessSalvage.h"
#include "dbaccess/AccessTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <functional>

using namespace qb;
using namespace qb::access;

namespace {

QByteArray readFixture(const QString& relative) {
    QFile f(test::fixture(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first definition page of the user table of sample.mdb with `rows` rows.
struct Located {
    TableDef def;
    std::vector<RowLocator> rows;
};

Located locate(const std::string& path, std::size_t rows) {
    const AccessHeader h = inspectAccessFile(path);
    PageSource pages(path, h.pageSize, h.pageCount, nullptr);
    const Layout& layout = layoutFor(h.version);
    std::vector<unsigned char> p;
    for (std::uint32_t n = 3; n < h.pageCount; ++n) {
        if (!pages.read(n, p) || p[0] != page::TableDef) continue;
        auto def = readTableDef(pages, layout, CodePage(h.codePage), n);
        if (!def) continue;
        TableScan scan = scanTable(pages, layout, *def);
        if (scan.rows.size() == rows && !scan.damaged) return {*def, scan.rows};
    }
    ADD_FAILURE() << "no table with " << rows << " rows";
    return {};
}

struct Damage {
    const char* name;
    // Changes the bytes of sample.mdb (4096-byte pages); `t` is Orders.
    std::function<void(QByteArray&, const Located& t)> apply;
    long long expectedRows;  // rows still delivered before the error
    long long salvagedRows;  // rows a salvaging read delivers
    bool mayBeIncomplete;    // what the salvage report says
};

unsigned char* at(QByteArray& b, std::uint32_t page, int offset = 0) {
    return reinterpret_cast<unsigned char*>(b.data()) + static_cast<qsizetype>(page) * 4096 + offset;
}

// Start of row `row` on `page` (Jet 4: offsets from byte 14).
int rowStart(QByteArray& b, std::uint32_t page, std::uint32_t row) {
    return u16(at(b, page, 14 + 2 * static_cast<int>(row))) & 0x1FFF;
}

long long rowsOnPage(const Located& t, std::uint32_t page) {
    long long n = 0;
    for (const auto& r : t.rows) n += r.page == page;
    return n;
}

std::vector<std::vector<Variant>> readAll(Backend& b, const std::string& table) {
    std::vector<std::vector<Variant>> out;
    auto rows = b.openRowset("SELECT * FROM `" + table + "`");
    std::vector<Variant> row;
    while (rows->next(row)) out.push_back(row);
    return out;
}

std::unique_ptr<Backend> openSalvaging(const std::string& path) {
    return openAccessBackend({{"Provider", test::kJetProvider},
                              {"Data Source", path},
                              {"JET OLEDB:Database Password", ""},
                              {kSalvageKey, "True"}});
}

// Every row of `got` is a row of `intact`, none taken twice.
void expectRowsOf(const std::vector<std::vector<Variant>>& got, std::vector<std::vector<Variant>> intact) {
    for (const auto& row : got) {
        const auto it = std::find(intact.begin(), intact.end(), row);
        EXPECT_NE(it, intact.end()) << "a row the intact file does not hold";
        if (it != intact.end()) intact.erase(it);
    }
}

}  // namespace

TEST(AccessDamage, ReadableRowsThenTheDamageError) {
    const QByteArray original = readFixture(QStringLiteral("sample.mdb"));
    ASSERT_FALSE(original.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string plainPath = test::fixture(QStringLiteral("sample.mdb")).toStdString();
    const Located orders = locate(plainPath, 30);
    ASSERT_EQ(orders.rows.size(), 30u);
    const std::uint32_t firstPage = orders.rows.front().page;
    const long long onFirst = rowsOnPage(orders, firstPage);
    const std::uint32_t mapPage = orders.def.usageMap >> 8;
    const std::uint32_t mapRow = orders.def.usageMap & 0xFF;
    const long long pages = original.size() / 4096;

    const std::vector<Damage> cases = {
        {"zeroed data page", [&](QByteArray& b, const Located&) { std::memset(at(b, firstPage), 0, 4096); },
         30 - onFirst, 30 - onFirst, false},
        {"data page of another table",
         [&](QByteArray& b, const Located&) { std::memcpy(at(b, firstPage, 4), "\x03\x00\x00\x00", 4); }, 30 - onFirst,
         30 - onFirst, false},
        {"usage map past the end of the file",
         [&](QByteArray& b, const Located&) {
             // Inline maps start at a page, reference maps name map pages:
             // either way, the first 32 bits after the type move past the end.
             unsigned char* m = at(b, mapPage, rowStart(b, mapPage, mapRow));
             const std::uint32_t past = static_cast<std::uint32_t>(pages + 7);
             std::memcpy(m + 1, &past, 4);
         },
         0, 30, true},
        {"row pointer to itself",
         [&](QByteArray& b, const Located&) {
             const RowLocator r = orders.rows.back();
             unsigned char* slot = at(b, r.page, 14 + 2 * static_cast<int>(r.row));
             slot[1] |= 0x40;
             unsigned char* row = at(b, r.page, rowStart(b, r.page, r.row));
             row[0] = static_cast<unsigned char>(r.row);
             row[1] = static_cast<unsigned char>(r.page);
             row[2] = static_cast<unsigned char>(r.page >> 8);
             row[3] = 0;
         },
         29, 29, false},
        {"row whose column count overruns it",
         [&](QByteArray& b, const Located&) {
             const RowLocator r = orders.rows.back();
             unsigned char* row = at(b, r.page, rowStart(b, r.page, r.row));
             row[0] = row[1] = 0xFF;
         },
         29, 29, false},
    };
    auto intact = test::openAccessFile(plainPath);
    const auto intactOrders = readAll(*intact, "Orders");
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.name);
        QByteArray bytes = original;
        d.apply(bytes, orders);
        const QString path = dir.filePath(QString::fromLatin1(d.name).replace(' ', '_') + ".mdb");
        ASSERT_TRUE(test::writeFile(path, bytes));
        auto b = test::openAccessFile(path.toStdString());
        long long delivered = 0;
        std::string error;
        try {
            auto rows = b->openRowset("SELECT * FROM `Orders`");
            std::vector<Variant> row;
            while (rows->next(row)) ++delivered;
        } catch (const DbError& e) {
            error = e.description();
        }
        EXPECT_EQ(error, "The database '" + path.toStdString() + "' is damaged and cannot be read completely.");
        EXPECT_EQ(delivered, d.expectedRows);
        // The other tables are unharmed.
        auto customers = b->openRowset("SELECT * FROM `Customers`");
        EXPECT_EQ(customers->rowCount(), 18);

        clearSalvageNotes();
        const auto salvaged = readAll(*openSalvaging(path.toStdString()), "Orders");
        EXPECT_EQ(static_cast<long long>(salvaged.size()), d.salvagedRows);
        expectRowsOf(salvaged, intactOrders);
        const auto notes = salvagedTables();
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].rows, d.salvagedRows);
        EXPECT_TRUE(notes[0].counts.any());
        EXPECT_EQ(notes[0].counts.incomplete, d.mayBeIncomplete);
    }
}

// A file cut inside a page is read up to its last whole page; without
// salvaging it is refused whole, as before. Salvaging a sound file passes
// nothing over.
TEST(AccessDamage, SalvagingACutFileGivesTheRowsOfItsWholePages) {
    const std::string plainPath = test::fixture(QStringLiteral("public/nwind.mdb")).toStdString();
    auto intact = test::openAccessFile(plainPath);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray original = readFixture(QStringLiteral("public/nwind.mdb"));
    const QString cut = dir.filePath(QStringLiteral("cut.mdb"));
    ASSERT_TRUE(test::writeFile(cut, original.left(original.size() * 60 / 100 + 7)));
    EXPECT_THROW(test::openAccessFile(cut.toStdString()), DbError);

    const char* tables[] = {"Customers", "Orders", "Order Details", "Products"};
    clearSalvageNotes();
    auto whole = openSalvaging(plainPath);
    for (const char* table : tables) EXPECT_EQ(readAll(*whole, table), readAll(*intact, table)) << table;
    for (const auto& note : salvagedTables()) EXPECT_FALSE(note.counts.any()) << note.table;
    EXPECT_TRUE(salvageDamage().empty());

    auto salvaged = openSalvaging(cut.toStdString());
    long long recovered = 0;
    for (const char* table : tables) {
        SCOPED_TRACE(table);
        const auto got = readAll(*salvaged, table);
        expectRowsOf(got, readAll(*intact, table));
        recovered += static_cast<long long>(got.size());
    }
    EXPECT_GT(recovered, 0);
    EXPECT_EQ(salvageDamage().size(), 1u);
}

// A row moved to another page leaves a pointer in its place (rows 7 and 8
// of this table); the row is delivered there, once.
TEST(AccessDamage, MovedRowsComeBackInTheirPlace) {
    auto b = test::openAccessFile(test::fixture(QStringLiteral("public/extDateTestV2019.accdb")).toStdString());
    auto rows = b->openRowset("SELECT * FROM `Table1`");
    std::vector<std::int64_t> ids;
    std::vector<Variant> row;
    while (rows->next(row)) ids.push_back(std::get<std::int64_t>(row.at(0)));
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// A text value in two-byte units with a byte over cannot be whole (only the
// compressed form has units of one byte): its row is delivered, and the
// table ends in the damage error instead of a value read off by one byte.
TEST(AccessDamage, TextOfOddLengthIsDamage) {
    QByteArray bytes = readFixture(QStringLiteral("sample.mdb"));
    const Located customers = locate(test::fixture(QStringLiteral("sample.mdb")).toStdString(), 18);
    bool flipped = false;
    std::vector<FieldSpan> spans;
    for (const RowLocator& r : customers.rows) {
        const int start = rowStart(bytes, r.page, r.row);
        const int end = r.row == 0 ? 4096 : rowStart(bytes, r.page, r.row - 1);
        unsigned char* row = at(bytes, r.page, start);
        if (flipped || !crackRow(customers.def, layoutFor(1), row, end - start, spans)) continue;
        for (std::size_t c = 0; c < spans.size() && !flipped; ++c) {
            const FieldSpan& f = spans[c];
            // "FF FE" starts the compressed form; with it gone the value
            // reads as two-byte units.
            if (customers.def.columns[c].type == coltype::Text && f.present && f.size % 2 == 1 &&
                row[f.start] == 0xFF && row[f.start + 1] == 0xFE) {
                row[f.start + 1] = 0xF6;
                flipped = true;
            }
        }
    }
    ASSERT_TRUE(flipped) << "no compressed text of odd length in Customers";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flipped.mdb"));
    ASSERT_TRUE(test::writeFile(path, bytes));
    auto b = test::openAccessFile(path.toStdString());
    long long delivered = 0;
    std::string error;
    try {
        auto rows = b->openRowset("SELECT * FROM `Customers`");
        std::vector<Variant> row;
        while (rows->next(row)) ++delivered;
    } catch (const DbError& e) {
        error = e.description();
    }
    EXPECT_EQ(delivered, 18);
    EXPECT_EQ(error, "The database '" + path.toStdString() + "' is damaged and cannot be read completely.");
}
