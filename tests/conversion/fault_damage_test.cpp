// A damaged source never converts "successfully" with rows missing: every
// cut of sample.mdb at a page boundary either converts every row with exit
// status 0, or names the damage and ends with status 1 or 2.

#include "fault_support.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace qb::test {
namespace {

TEST(DamagedSource, EveryPageCutConvertsWhollyOrFails) {
    QFile in(fixture(QStringLiteral("sample.mdb")));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray whole = in.readAll();
    constexpr int kPage = 4096;
    constexpr long long kRows = 18 + 12 + 30;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QRegularExpression summary(QStringLiteral("Tables: (\\d+), rows: (\\d+)"));
    int whole_ = 0, damaged = 0, unrecognized = 0;
    for (qsizetype cut = kPage; cut < whole.size(); cut += kPage) {
        SCOPED_TRACE("cut after " + std::to_string(cut / kPage) + " pages");
        const QString source = dir.filePath(QStringLiteral("cut.mdb"));
        const QString target = dir.filePath(QStringLiteral("cut%1.db").arg(cut / kPage));
        ASSERT_TRUE(writeFile(source, whole.left(cut)));
        // Both ways of writing: the batched writer thread and one statement at a time.
        QStringList args{QStringLiteral("--overwrite"), QStringLiteral("yes"), source, target};
        if ((cut / kPage) % 2 == 0) args.prepend(QStringLiteral("--fast"));
        const CliResult r = runConvert(args);
        if (r.exitCode == 0) {
            const auto m = summary.match(r.out);
            ASSERT_TRUE(m.hasMatch()) << show(r);
            EXPECT_EQ(m.captured(1).toInt(), 3) << show(r);
            EXPECT_EQ(m.captured(2).toLongLong(), kRows) << show(r);
            ++whole_;
        } else {
            EXPECT_TRUE(r.exitCode == 1 || r.exitCode == 2) << show(r);
            const bool isDamage = r.err.contains(QStringLiteral("is damaged and cannot be read completely"));
            const bool isUnrecognized = r.err.contains(QStringLiteral("Unrecognized database format"));
            EXPECT_TRUE(isDamage || isUnrecognized) << show(r);
            (isDamage ? damaged : unrecognized) += 1;
        }
    }
    std::printf("[ cuts ] %d whole, %d damaged, %d unrecognized\n", whole_, damaged, unrecognized);
    // Most cuts lose pages some table needs.
    EXPECT_GT(damaged, 10);
}

}  // namespace
}  // namespace qb::test
