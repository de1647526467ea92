// Access inputs that cannot be read: missing, a folder, empty, not an Access
// file, cut short, a wrong or missing password, an encrypted file. The run
// reports each failing step and writes nothing; the command line names the
// file and the reason and ends with status 2 before touching the target.

#include "fault_support.h"

#include <QTemporaryDir>

namespace qb::test {
namespace {

struct BadSource {
    const char* name;
    QString path;      // relative to the fixtures, or to the scratch folder when it starts with "@"
    QString password;
    QString reason;    // start of the description in each report
};

std::vector<BadSource> badSources() {
    return {
        {"missing", QStringLiteral("@missing.mdb"), {}, QStringLiteral("Could not find file")},
        {"folder", QStringLiteral("@folder.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"zero_length", QStringLiteral("broken/empty.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"text_file", QStringLiteral("broken/text_renamed.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"random_bytes", QStringLiteral("broken/random100.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"header_only", QStringLiteral("broken/header_only_jet4.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"truncated_2_pages", QStringLiteral("broken/nwind_trunc_2pages.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"truncated_half", QStringLiteral("broken/nwind_trunc_50pct.mdb"), {}, QStringLiteral("Unrecognized database format")},
        {"truncated_accdb", QStringLiteral("broken/accdb_trunc_60pct.accdb"), {}, QStringLiteral("Unrecognized database format")},
        {"damaged_catalog", QStringLiteral("broken/jet4_header_plus_random.mdb"), {}, QStringLiteral("The database '")},
        {"wrong_password", QStringLiteral("password.mdb"), QStringLiteral("secret1"), QStringLiteral("Not a valid password.")},
        {"missing_password", QStringLiteral("password.mdb"), {}, QStringLiteral("Not a valid password.")},
        {"encrypted_accdb", QStringLiteral("public/password/office-encrypted-4.2.accdb"), QStringLiteral("password"),
         QStringLiteral("The file '")},
    };
}

class BadAccessFile : public ::testing::TestWithParam<BadSource> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mdb")));
        target = makeEmptyDatabase(dir.path());
        putMarkerTable(target);
        before = dumpDatabase(target);
    }
    QString source() const {
        const QString p = GetParam().path;
        return p.startsWith(QLatin1Char('@')) ? dir.path() + QLatin1Char('/') + p.mid(1) : fixture(p);
    }

    QTemporaryDir dir;
    QString target;
    std::string before;
};

TEST_P(BadAccessFile, RunReportsEachFailingStepAndWritesNothing) {
    const BadSource& bad = GetParam();
    ScriptedHost host(source(), target);
    host.form.accessPassword = bad.password;
    RunState state;
    ConversionRun(host, state).run();

    // Only a missing file is caught by the table listing itself.
    const bool missing = QString::fromLatin1(bad.name) == QStringLiteral("missing");
    const QStringList texts = host.interaction.texts();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_EQ(texts.last(), QStringLiteral("Done."));
    if (missing) {
        EXPECT_EQ(texts.first(), QStringLiteral("Unable to access the database"));
        EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{132, 408}));
    } else {
        EXPECT_FALSE(texts.contains(QStringLiteral("Unable to access the database")));
        EXPECT_EQ(reportedLines(host.interaction), (std::vector<int>{126, 132, 408}));
    }
    // The step that opens the file says why it could not.
    const QStringList reports = reportTexts(host.interaction);
    ASSERT_GE(reports.size(), 2);
    EXPECT_TRUE(reports.at(reports.size() - 2).startsWith(bad.reason)) << reports.at(reports.size() - 2).toStdString();
    EXPECT_EQ(texts.size(), reports.size() + (missing ? 2 : 1));

    EXPECT_TRUE(host.list2.isEmpty());
    EXPECT_FALSE(state.IsConverting);
    EXPECT_EQ(dumpDatabase(target), before);
}

TEST_P(BadAccessFile, CommandLineNamesFileAndReasonAndExits2) {
    const BadSource& bad = GetParam();
    QStringList args;
    if (!bad.password.isEmpty()) args << QStringLiteral("--password") << bad.password;
    const QString fresh = dir.path() + QStringLiteral("/fresh.db");
    for (const QString& out : {target, fresh}) {
        const CliResult r = runConvert(args + QStringList{source(), out});
        EXPECT_EQ(r.exitCode, 2) << show(r);
        EXPECT_TRUE(r.out.isEmpty()) << show(r);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("quellbrook-convert: ") + source() + QStringLiteral(": ") + bad.reason))
            << show(r);
        EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << show(r);
    }
    EXPECT_EQ(dumpDatabase(target), before);
    EXPECT_FALSE(QFile::exists(fresh)) << "target created for an unreadable source";
}

INSTANTIATE_TEST_SUITE_P(Sources, BadAccessFile, ::testing::ValuesIn(badSources()),
                         [](const auto& info) { return std::string(info.param.name); });

// A FIFO blocks whoever opens it until a writer comes: it is refused as
// not an Access file before it is opened, by the run and the command line.
TEST(FifoAccessFile, RefusedAtOnce) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.mdb"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString target = makeEmptyDatabase(dir.path());
    const std::string refused = "Unrecognized database format '" + fifo.toStdString() + "'.";

    const ChildResult run = runForked(nullptr,
                                      [&] {
                                          ScriptedHost host(fifo, target);
                                          RunState state;
                                          ConversionRun(host, state).run();
                                          return reportTexts(host.interaction).join('\n').toStdString();
                                      },
                                      std::chrono::seconds(10));
    ASSERT_TRUE(run.exitedCleanly()) << "finished: " << run.finished << ", " << run.output;
    EXPECT_EQ(run.output.find(refused), 0u) << run.output;

    const CliResult r = runConvert({fifo, dir.filePath(QStringLiteral("fresh.db"))}, {}, 10000);
    EXPECT_EQ(r.exitCode, 2) << show(r);
    EXPECT_EQ(r.err, QStringLiteral("quellbrook-convert: ") + fifo + QStringLiteral(": ") +
                         QString::fromStdString(refused) + QLatin1Char('\n'))
        << show(r);
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{QStringLiteral("pipe.mdb"), QStringLiteral("target.db")}));
}

// The encrypted file's report says what is wrong and what to do: the
// password when it is wrong, the encryption when it is right.
TEST(EncryptedAccessFile, ReportNamesTheEncryption) {
    QTemporaryDir dir;
    const QString target = makeEmptyDatabase(dir.path());
    for (const QString& password : {QString(), QStringLiteral("password"), QStringLiteral("wrong")}) {
        ScriptedHost host(fixture("public/password/office-encrypted-4.2.accdb"), target);
        host.form.accessPassword = password;
        RunState state;
        ConversionRun(host, state).run();
        const QStringList reports = reportTexts(host.interaction);
        ASSERT_EQ(reports.size(), 3) << password.toStdString();
        EXPECT_TRUE(reports[0].contains(password == QStringLiteral("password")
                                            ? QStringLiteral("is encrypted with a database password and cannot be read")
                                            : QStringLiteral("Not a valid password.")))
            << reports[0].toStdString();
    }
    EXPECT_TRUE(SqliteReader(target).tableNames().empty());
}

}  // namespace
}  // namespace qb::test
