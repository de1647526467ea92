// Opening Access files: passwords, encryption, unusable files, the tables
// schema rowset and the statements a rowset accepts.

#include "Fixtures.h"
#include "access_open.h"
#include "dbaccess/AccessText.h"

#include <gtest/gtest.h>

#include <map>

using namespace qb;

namespace {

std::string path(const char* relative) { return test::fixture(relative).toStdString(); }

std::unique_ptr<Backend> open(const std::string& file, const std::string& password = "") {
    return test::openAccessFile(file, password, test::kAceProvider);
}

std::string openError(const std::string& file, const std::string& password = "") {
    try {
        open(file, password);
    } catch (const DbError& e) {
        return e.description();
    }
    return "(opened)";
}

long long countRows(Backend& b, const std::string& table) {
    auto rows = b.openRowset("SELECT * FROM `" + table + "`");
    std::vector<Variant> row;
    long long n = 0;
    while (rows->next(row)) ++n;
    EXPECT_EQ(n, rows->rowCount()) << table;
    return n;
}

// TABLE_NAME -> TABLE_TYPE, and the names in delivery order.
struct SchemaRows {
    std::map<std::string, std::string> typeOf;
    std::vector<std::pair<std::string, std::string>> ordered;
    std::vector<std::string> tables;  // TABLE_TYPE exactly "TABLE"
};

SchemaRows schema(Backend& b) {
    auto rows = b.openSchemaTables();
    int nameCol = -1, typeCol = -1;
    for (std::size_t i = 0; i < rows->fields().size(); ++i) {
        if (rows->fields()[i].name == "TABLE_NAME") nameCol = static_cast<int>(i);
        if (rows->fields()[i].name == "TABLE_TYPE") typeCol = static_cast<int>(i);
    }
    EXPECT_GE(nameCol, 0);
    EXPECT_GE(typeCol, 0);
    SchemaRows s;
    std::vector<Variant> row;
    while (rows->next(row)) {
        const auto name = std::get<std::string>(row[nameCol]);
        const auto type = std::get<std::string>(row[typeCol]);
        s.typeOf[name] = type;
        s.ordered.emplace_back(type, name);
        if (type == "TABLE") s.tables.push_back(name);
    }
    return s;
}

}  // namespace

TEST(AccessOpen, MissingAndForeignFilesGiveTheProviderMessages) {
    const std::string missing = path("no-such-file.mdb");
    EXPECT_EQ(openError(missing), "Could not find file '" + missing + "'.");
    for (const char* f : {"broken/text_renamed.mdb", "broken/empty.mdb", "broken/zeros4k.mdb", "broken/badversion.mdb",
                          "broken/nwind_trunc_50pct.mdb", "broken/header_only_jet4.mdb"}) {
        EXPECT_EQ(openError(path(f)), "Unrecognized database format '" + path(f) + "'.") << f;
    }
}

TEST(AccessOpen, DatabasePasswordIsCheckedCaseSensitively) {
    EXPECT_EQ(openError(path("password.mdb")), "Not a valid password.");
    EXPECT_EQ(openError(path("password.mdb"), "secret1"), "Not a valid password.");
    EXPECT_EQ(openError(path("password.mdb"), "Secret12"), "Not a valid password.");
    auto b = open(path("password.mdb"), "Secret1");
    EXPECT_EQ(countRows(*b, "Customers"), 18);

    for (const char* f : {"public/password/V2000_with-password.mdb", "public/password/V2003_with-password.mdb"}) {
        EXPECT_EQ(openError(path(f)), "Not a valid password.") << f;
        EXPECT_EQ(openError(path(f), "Password"), "Not a valid password.") << f;
        auto pb = open(path(f), "password");
        EXPECT_EQ(countRows(*pb, "Table1"), 3) << f;
    }
    // Files without a password open whatever password is given.
    for (const char* f : {"public/password/V1997_no-password.mdb", "public/password/V2000_no-password.mdb", "sample.mdb"}) {
        EXPECT_NO_THROW(open(path(f), "anything")) << f;
        EXPECT_NO_THROW(open(path(f))) << f;
    }
}

// An encrypted .accdb opens with its password only, and every table of
// it reads whole (pages decrypted on the way).
TEST(AccessOpen, EncryptedAccdbOpensWithItsPasswordOnly) {
    for (const char* f : {"public/password/office-encrypted-4.2.accdb", "public/password/office-encrypted-4.4.accdb",
                          "public/password/V2010_with-password.accdb"}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(openError(path(f)), "Not a valid password.");
        EXPECT_EQ(openError(path(f), "Password"), "Not a valid password.");
        auto b = open(path(f), "password");
        const SchemaRows s = schema(*b);
        long long rows = 0;
        int tables = 0;
        for (const auto& [name, type] : s.typeOf) {
            if (type != "TABLE" && type != "SYSTEM TABLE") continue;
            rows += countRows(*b, name);
            ++tables;
        }
        EXPECT_GT(tables, 1);
        EXPECT_GT(rows, 0);
    }
}

TEST(AccessSchema, TypesAndOrderOfTheTablesRowset) {
    auto b = open(path("edge.mdb"));
    const SchemaRows s = schema(*b);
    EXPECT_EQ(s.typeOf.at("Linked Customers"), "LINK");
    EXPECT_EQ(s.typeOf.at("MSysObjects"), "SYSTEM TABLE");
    EXPECT_EQ(s.typeOf.at("MSysACEs"), "SYSTEM TABLE");
    // Sorted by type, then by name without regard to case ("$abc" < "a\"b" < "ab$" < "abc$def" < "Empty" ...).
    const std::vector<std::string> users = {"$abc", "a\"b", "ab$", "abc$def", "Empty", "OnlyOle", "Order Details", "Wide"};
    EXPECT_EQ(s.tables, users);
    for (std::size_t i = 1; i < s.ordered.size(); ++i)
        EXPECT_LE(s.ordered[i - 1].first, s.ordered[i].first) << s.ordered[i].second;

    auto q = open(path("public/queryTestV2000.mdb"));
    const SchemaRows qs = schema(*q);
    EXPECT_EQ(qs.tables, (std::vector<std::string>{"Table1", "Table2", "Table3"}));
    int views = 0;
    for (const auto& [type, name] : qs.ordered) views += type == "VIEW";
    EXPECT_GT(views, 0);

    const SchemaRows linker = schema(*open(path("public/linkerTestV2007.accdb")));
    EXPECT_EQ(linker.tables, std::vector<std::string>{"Table1"});
    EXPECT_EQ(linker.typeOf.at("Table2"), "LINK");

    // An ODBC link is a pass-through table; a hidden user table is still a table.
    const SchemaRows odbc = schema(*open(path("public/odbcLinkerTestV2007.accdb")));
    EXPECT_EQ(odbc.typeOf.at("Ordrar"), "PASS-THROUGH");
    EXPECT_EQ(odbc.tables, std::vector<std::string>{"Lokal"});

    EXPECT_TRUE(schema(*open(path("public/emptyJet4.mdb"))).tables.empty());
}

TEST(AccessRowset, AcceptsOnlySelectAllFromAQuotedTable) {
    auto b = open(path("sample.mdb"));
    for (const std::string bad : {"SELECT * FROM Customers", "SELECT Name FROM `Customers`",
                                  "SELECT * FROM `Customers` WHERE ID = 1", "DELETE FROM `Customers`", "",
                                  "SELECT * FROM `Cust`omers`"}) {
        try {
            b->openRowset(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const DbError& e) {
            EXPECT_NE(e.description().find("'" + bad + "'"), std::string::npos) << e.description();
        }
    }
    try {
        b->openRowset("SELECT * FROM `Nothing`");
        ADD_FAILURE() << "opened a missing table";
    } catch (const DbError& e) {
        EXPECT_EQ(e.description().rfind("The Microsoft Jet database engine cannot find the input table or query 'Nothing'.", 0), 0u)
            << e.description();
    }
    EXPECT_THROW(b->execute("DELETE FROM `Customers`"), DbError);
    // Table names are found without regard to case, as Jet does.
    EXPECT_EQ(countRows(*b, "customers"), 18);
}

TEST(AccessRowset, EmptyTableAndIndependentRowsets) {
    auto b = open(path("edge.mdb"));
    auto empty = b->openRowset("SELECT * FROM `Empty`");
    std::vector<Variant> row;
    EXPECT_EQ(empty->rowCount(), 0);
    EXPECT_FALSE(empty->next(row));

    // Two rowsets read in turns must not disturb each other.
    auto s = open(path("sample.mdb"));
    auto a = s->openRowset("SELECT * FROM `Customers`");
    auto o = s->openRowset("SELECT * FROM `Orders`");
    std::vector<Variant> ra, ro;
    long long ids = 0, n = 0;
    while (true) {
        const bool moreA = a->next(ra), moreO = o->next(ro);
        if (!moreA && !moreO) break;
        if (moreA) ids += std::get<std::int64_t>(ra[0]);
        if (moreO) ++n;
    }
    EXPECT_EQ(ids, 18 * 19 / 2);
    EXPECT_EQ(n, 30);
    // The rowsets outlive the back end that opened them.
    s.reset();
    EXPECT_FALSE(a->next(ra));
}

TEST(AccessText, CompressedUnicodeAndSurrogates) {
    std::string out;
    // "ab", switch to two-byte units for U+1F601 (a surrogate pair), back to one byte for "c".
    const unsigned char compressed[] = {0xFF, 0xFE, 'a', 'b', 0x00, 0x3D, 0xD8, 0x01, 0xDE, 0x00, 'c'};
    access::appendJet4Text(out, compressed, sizeof compressed);
    EXPECT_EQ(out, "ab\xF0\x9F\x98\x81" "c");

    out.clear();
    // Plain UTF-16LE keeps NUL characters and turns a lone surrogate into U+FFFD.
    const unsigned char plain[] = {'x', 0, 0, 0, 'y', 0, 0x00, 0xD8, 'z', 0};
    access::appendJet4Text(out, plain, sizeof plain);
    EXPECT_EQ(out, std::string("x\0y\xEF\xBF\xBDz", 7));

    out.clear();
    const unsigned char cp1252[] = {'C', 'a', 'f', 0xE9, ' ', 0x80};
    access::CodePage(1252).append(out, cp1252, sizeof cp1252);
    EXPECT_EQ(out, "Caf\xC3\xA9 \xE2\x82\xAC");
}

// Forms, reports, macros and modules have negative catalog types; without
// their sign a report (-32764) would pass for an ODBC link (4).
TEST(AccessSchema, FormsAndReportsAreNotListed) {
    auto count = [](const char* file) {
        auto b = open(path(file));
        int links = 0;
        for (const auto& [name, type] : schema(*b).typeOf) links += type == "PASS-THROUGH";
        return links;
    };
    EXPECT_EQ(count("public/nwind.mdb"), 0);  // 13 reports among its objects
    EXPECT_EQ(count("public/odbcLinkerTestV2007.accdb"), 1);
}
