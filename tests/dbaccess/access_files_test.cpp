// Real-world and damaged files: every table of the public test files reads
// with the row counts their README gives; every damaged file ends in an
// error or partial data, quickly, silently and without a crash.

#include "Fixtures.h"
#include "access_child.h"
#include "access_open.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace qb;

namespace {

// Reads every row of every table of the given schema types; table -> rows.
std::map<std::string, long long> readAll(Backend& b, const std::vector<std::string>& types = {"TABLE"}) {
    std::vector<std::string> names;
    auto schema = b.openSchemaTables();
    std::vector<Variant> row;
    while (schema->next(row))
        if (std::find(types.begin(), types.end(), std::get<std::string>(row[3])) != types.end())
            names.push_back(std::get<std::string>(row[2]));
    std::map<std::string, long long> counts;
    for (const auto& name : names) {
        auto rows = b.openRowset("SELECT * FROM `" + name + "`");
        long long n = 0;
        while (rows->next(row)) {
            EXPECT_EQ(row.size(), rows->fields().size());
            ++n;
        }
        EXPECT_EQ(n, rows->rowCount()) << name;
        counts[name] = n;
    }
    return counts;
}

// File name -> (table -> rows) from the README's table of public files.
std::map<QString, std::map<std::string, long long>> readmeCounts() {
    std::map<QString, std::map<std::string, long long>> result;
    QFile f(test::fixture("public/README.md"));
    if (!f.open(QIODevice::ReadOnly)) return result;
    const QRegularExpression item(R"(\s*([^()]+?)\s*\((\d+)[^)]*\)(?:,|$))");
    std::map<std::string, long long> previous;
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        const QStringList cells = line.split('|');
        if (cells.size() < 6 || (!cells[1].contains(".mdb") && !cells[1].contains(".accdb"))) continue;
        if (cells[1].contains("password")) continue;
        std::map<std::string, long long> tables;
        const QString cell = cells[4].trimmed();
        if (cell == "same as above") {
            tables = previous;
        } else {
            for (auto it = item.globalMatch(cell); it.hasNext();) {
                const auto m = it.next();
                tables[m.captured(1).toStdString()] = m.captured(2).toLongLong();
            }
        }
        previous = tables;
        for (const QString& name : cells[1].split('/')) {
            const QString file = name.trimmed().remove(',');
            for (const QString& part : file.split(' ', Qt::SkipEmptyParts))
                if (part.endsWith(".mdb") || part.endsWith(".accdb")) result[part] = tables;
        }
    }
    return result;
}

}  // namespace

TEST(AccessFiles, PublicFilesReadWithTheirRowCounts) {
    const auto expected = readmeCounts();
    ASSERT_GE(expected.size(), 25u);
    const QStringList files =
        QDir(test::fixture("public")).entryList({"*.mdb", "*.accdb"}, QDir::Files, QDir::Name);
    int opened = 0, tables = 0;
    long long rows = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        std::map<std::string, long long> counts;
        try {
            auto b = test::openAccessFile(test::fixture("public/" + file).toStdString());
            counts = readAll(*b, {"TABLE", "SYSTEM TABLE", "ACCESS TABLE"});
            // The user tables once more, as the conversion reads them.
            counts = readAll(*b);
            ++opened;
        } catch (const DbError& e) {
            ADD_FAILURE() << e.description();
            continue;
        }
        for (const auto& [t, n] : counts) rows += n;
        tables += static_cast<int>(counts.size());
        const auto it = expected.find(file);
        if (it == expected.end()) continue;
        EXPECT_EQ(counts, it->second);
    }
    std::printf("[ public ] %d of %lld files opened, %d user tables, %lld rows read\n", opened,
                static_cast<long long>(files.size()), tables, rows);
    EXPECT_EQ(opened, files.size());
}

namespace {

// Opens `path` and reads every table in a child process whose stdout and
// stderr go to a scratch file, killing it after 15 s.
test::ChildOutcome readInChild(const std::string& path) {
    return test::runInChild([&path] {
        auto b = test::openAccessFile(path);
        long long n = 0;
        for (const auto& [t, c] : readAll(*b, {"TABLE", "SYSTEM TABLE", "ACCESS TABLE"})) n += c;
        return "rows " + std::to_string(n);
    });
}

using test::expectClean;

}  // namespace

// Each damaged file is read in a child process, so that a crash or a hang
// fails this test instead of ending the suite; nothing may
// reach the child's stdout or stderr.
TEST(AccessFiles, DamagedFilesEndInAnErrorOrPartialData) {
    const QStringList files = QDir(test::fixture("broken")).entryList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10);
    int errors = 0, partial = 0;
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const test::ChildOutcome o = readInChild(test::fixture("broken/" + file).toStdString());
        expectClean(o);
        (o.result.rfind("error ", 0) == 0 ? errors : partial) += 1;
        std::printf("[ broken ] %-28s %5.2f s  %s\n", file.toStdString().c_str(), o.seconds, o.result.c_str());
    }
    std::printf("[ broken ] %lld files: %d errors, %d read (partially)\n", static_cast<long long>(files.size()), errors,
                partial);
}

// The damaged fixtures mostly fail at the header; these copies keep a
// valid header and corrupt the catalog, table definitions and data pages,
// which is where the reader itself has to cope.
TEST(AccessFiles, CorruptedPagesEndInAnErrorOrPartialData) {
    const char* sources[] = {"sample.mdb", "types2016.accdb", "edge.mdb", "public/nwind.mdb", "public/longtext.accdb"};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::uint32_t seed = 20210831;
    auto random = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    int errors = 0, partial = 0;
    for (int i = 0; i < 40; ++i) {
        QFile in(test::fixture(sources[i % 5]));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QByteArray data = in.readAll();
        const int page = static_cast<unsigned char>(data[0x14]) == 0 ? 2048 : 4096;
        const int span = (i % 2 ? 12 : static_cast<int>(data.size() / page)) * page;  // early pages or anywhere
        const int flips = 5 << (2 * (i % 4));                                          // 5 .. 320 bytes
        for (int k = 0; k < flips; ++k)
            data[page + static_cast<int>(random() % static_cast<std::uint32_t>(std::min<qsizetype>(span, data.size()) - page))] =
                static_cast<char>(random() >> 24);
        const QString path = dir.filePath(QString("corrupt%1.mdb").arg(i));
        ASSERT_TRUE(test::writeFile(path, data));
        SCOPED_TRACE(path.toStdString() + " from " + sources[i % 5]);
        const test::ChildOutcome o = readInChild(path.toStdString());
        expectClean(o);
        (o.result.rfind("error ", 0) == 0 ? errors : partial) += 1;
    }
    std::printf("[ corrupt ] 40 copies: %d errors, %d read (partially)\n", errors, partial);
}

// Column kinds outside the manifest: calculated columns, Date/Time
// Extended, complex columns, unknown types, emoji, Jet 3 code page text.
TEST(AccessFiles, SpecialColumnKinds) {
    auto firstRow = [](const char* file, const char* table, std::vector<FieldInfo>& fields) {
        auto b = test::openAccessFile(test::fixture(file).toStdString());
        auto rows = b->openRowset(std::string("SELECT * FROM `") + table + "`");
        fields = rows->fields();
        std::vector<Variant> row;
        EXPECT_TRUE(rows->next(row));
        return row;
    };
    auto col = [](const std::vector<FieldInfo>& fields, const std::string& name) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == name) return i;
        ADD_FAILURE() << "no column " << name;
        return std::size_t{0};
    };
    std::vector<FieldInfo> f;
    auto r = firstRow("public/calcFieldTestV2010.accdb", "Table1", f);
    EXPECT_EQ(std::get<std::string>(r[col(f, "LastFirst")]), "Wayne, Bruce");
    EXPECT_EQ(std::get<std::int64_t>(r[col(f, "LastFirstLen")]), 12);
    EXPECT_EQ(std::get<std::int64_t>(r[col(f, "IsRich")]), -1);
    EXPECT_EQ(std::get<std::string>(r[col(f, "AllNames")]), "Wayne, Bruce=Wayne, Bruce");
    EXPECT_NEAR(std::get<double>(r[col(f, "WeeklySalary")]), 1000000.0 / 52, 1e-6);

    r = firstRow("public/extDateTestV2019.accdb", "Table1", f);
    EXPECT_EQ(f[col(f, "DateExt")].type, 202);
    EXPECT_EQ(std::get<std::string>(r[col(f, "DateExt")]), "2020-06-17 00:00:00.0000000");

    r = firstRow("public/complexDataTestV2010.accdb", "Table1", f);
    EXPECT_EQ(f[col(f, "attach-data")].type, 136);
    EXPECT_TRUE(isNull(r[col(f, "attach-data")]));

    r = firstRow("public/unsupportedFieldsTestV2007.accdb", "Test", f);
    EXPECT_EQ(f[col(f, "UnknownFix")].type, 204);
    EXPECT_EQ(std::get<Bytes>(r[col(f, "UnknownFix")]).size(), 4u);

    r = firstRow("public/testEmoticonsV2010.accdb", "data", f);
    EXPECT_EQ(std::get<std::string>(r[1]), "a\xF0\x9F\x98\x80" "a");

    r = firstRow("public/nwind.mdb", "Ums\xC3\xA4tze", f);
    EXPECT_EQ(std::get<std::string>(r[col(f, "ShipAddress")]), "Carrera 52 con Ave. Bol\xC3\xADvar #65-98 Llano Largo");

    r = firstRow("public/fixedTextTestV2003.mdb", "users", f);
    EXPECT_EQ(f[col(f, "c_flag_")].type, 130);
}

// Calculated columns store their result in the bytes of the expression's
// result type (a column property), which may differ from the column's own
// type; each value below was read off the file's bytes.
TEST(AccessFiles, CalculatedColumnsDecodeByTheirResultType) {
    auto b = test::openAccessFile(test::fixture("public/calcFieldTestV2010.accdb").toStdString());
    auto rows = b->openRowset("SELECT * FROM `Table1`");
    std::map<std::string, std::size_t> col;
    for (std::size_t i = 0; i < rows->fields().size(); ++i) col[rows->fields()[i].name] = i;
    // A Yes/No result in an integer column is a Boolean to the caller.
    EXPECT_EQ(rows->fields()[col["IsRich"]].type, 11);
    std::vector<std::vector<Variant>> r(4);
    for (auto& row : r) ASSERT_TRUE(rows->next(row));
    const auto dec = [](bool negative, unsigned long long mantissa, int scale) {
        return Variant(Decimal{negative, mantissa, scale});
    };
    // Currency result in a Double column: 833333333 ten-thousandths.
    EXPECT_EQ(r[0][col["MonthlySalary"]], Variant(83333.3333));
    EXPECT_EQ(r[1][col["MonthlySalary"]], Variant(-0.0833));
    // Decimal result in a Double column: 192307692307692 at scale 10, rounded once.
    EXPECT_EQ(r[0][col["WeeklySalary"]], Variant(19230.7692307692));
    EXPECT_EQ(r[3][col["WeeklySalary"]], Variant(1.92307692307692));
    // Single result in a Decimal column: the float 0x45217359.
    EXPECT_EQ(r[0][col["FloatTest"]], Variant(2583.2092f));
    EXPECT_EQ(r[0][col["DecimalTest"]], dec(false, 50325000, 6));
    EXPECT_EQ(r[1][col["DecimalTest"]], dec(true, 36222200, 6));
    // A calculated text kept inline as a long value.
    EXPECT_EQ(r[2][col["AllNames"]], Variant(std::string("Doe, John=Doe, John")));
    EXPECT_EQ(r[0][col["IsRich"]], Variant(std::int64_t{-1}));
    EXPECT_EQ(r[1][col["IsRich"]], Variant(std::int64_t{0}));
    EXPECT_EQ(r[0][col["SalaryTest"]], Variant(Currency{10000000000}));
}

// The unique flag of an index, Jet 4 and Jet 3 alike, as an independent
// reader of these files has it: a plain index read as unique breaks the
// conversion of the rows, a unique one read as plain costs its foreign keys.
TEST(AccessFiles, IndexesAreUniqueWhereAccessSaysSo) {
    struct Expected {
        const char* file;
        const char* table;
        const char* index;
        bool unique;
    };
    const std::vector<Expected> cases = {
        {"public/testV2007.accdb", "Table1", "B", false},
        {"public/binIdxTestV2010.accdb", "Test", "BinAscIdx", false},
        {"public/test2V2003.mdb", "MSP_PROJECTS", "I_MSP_PROJECTS", true},
        {"public/test2V2003.mdb", "MSP_PROJECTS", "I_PROJ_NAME", true},
        {"public/nwind.mdb", "Categories", "CategoryName", true},
        {"public/nwind.mdb", "Customers", "CompanyName", false},
        {"public/test2V1997.mdb", "MSP_PROJECTS", "I_PROJ_NAME", true},
        {"public/testV1997.mdb", "Table1", "B", false},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(std::string(e.file) + " " + e.table + "." + e.index);
        auto b = test::openAccessFile(test::fixture(QString::fromLatin1(e.file)).toStdString());
        const auto schema = b->tableSchema(e.table);
        ASSERT_TRUE(schema);
        const auto index = std::find_if(schema->indexes.begin(), schema->indexes.end(),
                                        [&](const TableSchema::Index& i) { return i.name == e.index; });
        ASSERT_NE(index, schema->indexes.end());
        EXPECT_EQ(index->unique, e.unique);
        EXPECT_FALSE(index->primary);
    }
}
