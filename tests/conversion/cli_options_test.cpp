// The command line's schema and data options: --keys, --child-tables,
// --blobs and --iso-dates, in direct mode, --fast and --sql.

#include "ConversionTestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <nettle/sha2.h>

#include <algorithm>
#include <map>

namespace qb::test {
namespace {

using Result = CliResult;

Result convert(const QStringList& arguments, const QString& locale = QStringLiteral("C")) {
    return runConvert(arguments, {}, 120000, QStringLiteral(QB_CONVERT_EXE), locale);
}

// A table's rows as typeof:quote texts, sorted: the same data whatever the
// row order a key gives the table.
std::vector<std::string> sortedRows(SqliteReader& db, const std::string& table) {
    std::string select;
    for (const auto& c : db.query("SELECT name FROM pragma_table_info(" + SqliteReader::sqlLiteral(table) + ")")) {
        const std::string col = SqliteReader::sqlIdentifier(c.at(0).value_or(""));
        select += std::string(select.empty() ? "" : " || '|' || ") + "typeof(" + col + ") || ':' || quote(" + col + ")";
    }
    std::vector<std::string> rows;
    for (const auto& r : db.query("SELECT " + select + " FROM " + SqliteReader::sqlIdentifier(table)))
        rows.push_back(r.at(0).value_or("<null>"));
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string joined(const ResultRows& rows) {
    std::string out;
    for (const auto& r : rows) {
        for (std::size_t i = 0; i < r.size(); ++i) out += (i ? "|" : "") + r[i].value_or("NULL");
        out += "\n";
    }
    return out;
}

class CliOptions : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    // Runs the script a --sql conversion wrote into a new database.
    void runScript(const QString& script, const QString& db) {
        QFile create(db), text(script);
        ASSERT_TRUE(create.open(QIODevice::WriteOnly));
        create.close();
        ASSERT_TRUE(text.open(QIODevice::ReadOnly));
        SqliteReader(db).execute(text.readAll().toStdString());
    }
    QTemporaryDir dir;
};

TEST_F(CliOptions, KeysGiveTheAccessSchemaOverTheSameData) {
    const QString nwind = fixture(QStringLiteral("public/nwind.mdb"));
    const QString plain = path(QStringLiteral("plain.db")), keys = path(QStringLiteral("keys.db")),
                  fast = path(QStringLiteral("fast.db")), script = path(QStringLiteral("keys.sql"));
    for (const auto& [args, target] : std::vector<std::pair<QStringList, QString>>{
             {{}, plain}, {{QStringLiteral("--keys")}, keys}, {{QStringLiteral("--keys"), QStringLiteral("--fast")}, fast},
             {{QStringLiteral("--keys"), QStringLiteral("--sql"), script}, path(QStringLiteral("unused.db"))}}) {
        const Result r = convert(args + QStringList{nwind, target});
        ASSERT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << "\n" << show(r);
    }
    const QString fromScript = path(QStringLiteral("script.db"));
    runScript(script, fromScript);
    const std::string dump = dumpDatabase(keys);
    EXPECT_EQ(dump, dumpDatabase(fast));
    EXPECT_EQ(dump, dumpDatabase(fromScript));

    SqliteReader db(keys), before(plain);
    EXPECT_EQ(db.scalar("PRAGMA integrity_check"), "ok");
    EXPECT_TRUE(db.query("PRAGMA foreign_key_check").empty());
    const std::vector<std::string> tables = before.tableNames();
    ASSERT_EQ(tables.size(), 9u);
    EXPECT_EQ(db.tableNames(), tables);
    for (const std::string& t : tables) {
        EXPECT_EQ(sortedRows(db, t), sortedRows(before, t)) << t;
        // Every nwind table has a primary key.
        EXPECT_NE(db.scalar("SELECT count(*) FROM pragma_table_info(" + SqliteReader::sqlLiteral(t) + ") WHERE pk > 0"),
                  "0") << t;
    }
    EXPECT_EQ(joined(db.query("SELECT name, pk FROM pragma_table_info('Order Details') WHERE pk > 0 ORDER BY pk")),
              "OrderID|1\nProductID|2\n");
    // The AutoNumber key is the rowid; a text key is a table constraint.
    EXPECT_EQ(db.scalar("SELECT sql LIKE '%[OrderID] INTEGER PRIMARY KEY,%' FROM sqlite_master WHERE name = 'Orders'"), "1");
    EXPECT_EQ(db.scalar("SELECT sql LIKE '%[CompanyName] TEXT NOT NULL,%' FROM sqlite_master WHERE name = 'Customers'"), "1");
    EXPECT_EQ(joined(db.query("SELECT \"table\", \"from\", \"to\", on_update, on_delete FROM "
                              "pragma_foreign_key_list('Order Details') ORDER BY \"table\"")),
              "Orders|OrderID|OrderID|NO ACTION|CASCADE\nProducts|ProductID|ProductID|NO ACTION|NO ACTION\n");
    EXPECT_EQ(joined(db.query("SELECT \"table\", on_update FROM pragma_foreign_key_list('Orders') ORDER BY \"table\"")),
              "Customers|CASCADE\nEmployees|NO ACTION\nShippers|NO ACTION\n");
    // The 24 indexes that are neither a key nor a relationship's; mdbtools'
    // mdb-schema --indexes lists the same.
    EXPECT_EQ(db.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"), "24");
    EXPECT_EQ(db.scalar("SELECT \"unique\" FROM pragma_index_list('Categories') WHERE name = 'Categories_CategoryName'"),
              "1");
}

TEST_F(CliOptions, ChildTablesHoldEveryAttachmentValueAndVersion) {
    // sha256 of each attached file, and the values, as an independent reader
    // (mdb-reader) gives them, with the parent's row.
    const std::map<QString, std::string> expected = {
        {QStringLiteral("attachments.accdb"),
         "Table1_Attachments:\n"
         "2|attachment1.txt|txt|12|bc8197a7b88040521daeedd483efbbf14a699b7c301a32374d383f7650934367\n"
         "3|attachment1.txt|txt|12|bc8197a7b88040521daeedd483efbbf14a699b7c301a32374d383f7650934367\n"
         "3|attachment2.txt|txt|12|a90facf3f342b711cbfff731dae371a4ef1b90d5b99521e1f97e16544dbfd40d\n"
         "3|attachment3.txt|txt|12|67fc16a2b6d5ba103ea5d20e3279d751a20bc0bf8ab175ea6f7409e6c4b8deb5\n"},
        {QStringLiteral("complexDataTestV2010.accdb"),
         "Table1_append-memo-data:\n"
         "row2|row2-memo|2011-09-12 21:21:02\nrow3|row3-memo|2011-09-12 21:21:19\n"
         "row4|row4-memo|2011-09-12 21:22:26\nrow3|row3-memo-revised|2011-09-12 21:22:33\n"
         "row3|row3-memo-again|2011-09-12 21:22:45\n"
         "Table1_attach-data:\n"
         "row2|test_data.txt|txt|38|c9ebf61b9960f16069a79915efd87a507d21d9144bcc317687f9323f1fc055b2\n"
         "row2|test_data2.txt|txt|43|1d83095a80dc9910a6bdf99e6cbae4e392066a91f3a8089975d5957250079b0a\n"
         "row4|test_data2.txt|txt|43|1d83095a80dc9910a6bdf99e6cbae4e392066a91f3a8089975d5957250079b0a\n"
         "Table1_multi-value-data:\n"
         "row2|value1\nrow2|value4\nrow3|value1\nrow3|value2\nrow3|value3\nrow3|value4\n"},
    };
    for (const auto& [file, want] : expected) {
        const QString access = fixture(QStringLiteral("public/") + file);
        const QString plainLink = path(file + QStringLiteral(".rows.db")), keyLink = path(file + QStringLiteral(".keys.db")),
                      script = path(file + QStringLiteral(".sql")), fromScript = path(file + QStringLiteral(".script.db"));
        ASSERT_EQ(convert({QStringLiteral("--child-tables"), access, plainLink}).exitCode, 0);
        const Result fast = convert({QStringLiteral("--child-tables"), QStringLiteral("--keys"), QStringLiteral("--fast"),
                                     access, keyLink});
        ASSERT_EQ(fast.exitCode, 0) << show(fast);
        EXPECT_TRUE(fast.out.contains(QStringLiteral("Table1_"))) << show(fast);
        ASSERT_EQ(convert({QStringLiteral("--child-tables"), QStringLiteral("--keys"), QStringLiteral("--sql"), script,
                           access, path(QStringLiteral("unused.db"))}).exitCode, 0);
        runScript(script, fromScript);
        EXPECT_EQ(dumpDatabase(keyLink), dumpDatabase(fromScript)) << file.toStdString();

        for (const QString& db : {plainLink, keyLink}) {
            SqliteReader reader(db);
            const bool keyed = db == keyLink;
            // The parent's first column: linked by rowid without --keys, by
            // the primary key with it.
            const std::string parentKey = file.startsWith(QStringLiteral("attach")) ? "ID" : "id";
            std::string got;
            for (const std::string& t : reader.tableNames()) {
                if (t == "Table1") continue;
                got += t + ":\n";
                const std::string link = keyed ? "c.[" + parentKey + "]" : "c.ParentRow";
                const std::string parent = keyed ? "p.[" + parentKey + "]" : "p.rowid";
                const std::string shown = file.startsWith(QStringLiteral("attach")) ? parent : "p.[" + parentKey + "]";
                const bool attachment = t.find("ttach") != std::string::npos;
                const std::string rest = attachment ? "c.FileName, c.FileType, length(c.FileData), hex(c.FileData)"
                                                    : "c.*";
                for (const auto& row : reader.query("SELECT " + shown + ", " + rest + " FROM " + SqliteReader::sqlIdentifier(t) +
                                                    " c JOIN Table1 p ON " + parent + " = " + link + " ORDER BY c.rowid")) {
                    std::vector<std::optional<std::string>> cells(row.begin(), row.end());
                    if (attachment) {
                        const QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(cells.back().value_or("")));
                        sha256_ctx ctx;
                        std::uint8_t digest[SHA256_DIGEST_SIZE];
                        sha256_init(&ctx);
                        sha256_update(&ctx, static_cast<std::size_t>(bytes.size()),
                                      reinterpret_cast<const std::uint8_t*>(bytes.constData()));
                        sha256_digest(&ctx, sizeof digest, digest);
                        cells.back() = QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex().toStdString();
                    } else {
                        // c.* repeats the link column: keep the value columns.
                        cells.erase(cells.begin() + 1);
                    }
                    got += joined({ResultRows::value_type(cells.begin(), cells.end())});
                }
            }
            EXPECT_EQ(got, want) << db.toStdString();
        }
        SqliteReader keyed(keyLink);
        EXPECT_TRUE(keyed.query("PRAGMA foreign_key_check").empty());
    }
}

TEST_F(CliOptions, BlobsKeepOleBytesAndIsoDatesIgnoreTheLocale) {
    const QString nwind = fixture(QStringLiteral("public/nwind.mdb"));
    const QString direct = path(QStringLiteral("blobs.db")), fast = path(QStringLiteral("blobs-fast.db"));
    ASSERT_EQ(convert({QStringLiteral("--blobs"), nwind, direct}).exitCode, 0);
    ASSERT_EQ(convert({QStringLiteral("--blobs"), QStringLiteral("--fast"), nwind, fast}).exitCode, 0);
    EXPECT_EQ(dumpDatabase(direct), dumpDatabase(fast));
    // The stored lengths, as the Access file holds them.
    auto source = Connection::create();
    source->open(("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + nwind).toStdString());
    auto photos = source->backend()->openRowset("SELECT * FROM `Employees`");
    const auto& fields = photos->fields();
    const auto photo = std::find_if(fields.begin(), fields.end(), [](const FieldInfo& f) { return f.name == "Photo"; });
    ASSERT_NE(photo, fields.end());
    std::string stored;
    std::vector<Variant> row;
    while (photos->next(row)) stored += "blob|" + std::to_string(std::get<Bytes>(row[photo - fields.begin()]).size()) + "\n";
    SqliteReader db(direct);
    EXPECT_EQ(joined(db.query("SELECT typeof(Photo), length(Photo) FROM Employees ORDER BY rowid")), stored);
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '\n'), 9);

    // Dates in ISO form under a German locale, the same as under C.
    const QString types = fixture(QStringLiteral("types.mdb"));
    const QString german = path(QStringLiteral("de.db")), c = path(QStringLiteral("c.db"));
    ASSERT_EQ(convert({QStringLiteral("--iso-dates"), types, german}, QStringLiteral("de_DE.UTF-8")).exitCode, 0);
    ASSERT_EQ(convert({types, c}).exitCode, 0);
    EXPECT_EQ(dumpDatabase(german), dumpDatabase(c));
    const QRegularExpression iso(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d( \\d\\d:\\d\\d:\\d\\d)?|\\d\\d:\\d\\d:\\d\\d)$"));
    const ResultRows dates = SqliteReader(german).query("SELECT colDate FROM AllTypes WHERE colDate IS NOT NULL");
    ASSERT_GE(dates.size(), 3u);
    for (const auto& d : dates) EXPECT_TRUE(iso.match(QString::fromStdString(d.at(0).value_or(""))).hasMatch()) << *d.at(0);
}

}  // namespace
}  // namespace qb::test
