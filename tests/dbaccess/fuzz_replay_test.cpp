// Replays the inputs that once made the Access fuzz target fail, and its
// seed corpus (the fixtures), through the same reading path: each must end
// in an error or in data, quickly, in a child that neither crashes nor
// hangs nor prints, with row counts that match the rows delivered; then
// once more salvaging, as --salvage reads them.

#include "Fixtures.h"
#include "access_child.h"
#include "access_read_all.h"

#include <QDirIterator>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace qb;

namespace {

test::ChildOutcome replay(const std::string& path, bool salvage) {
    return test::runInChild(
        [&path, salvage] {
            const fuzz::ReadSummary s = fuzz::readEverything(path, salvage);
            std::string text = "rows " + std::to_string(s.rows) + " in " + std::to_string(s.tables) + " rowsets";
            if (s.countMismatches != 0) text += ", rowCount mismatch in " + std::to_string(s.countMismatches);
            return text;
        },
        std::chrono::seconds(10));
}

// Replays every file below `dir` (recursively); returns how many.
int replayAll(const QString& dir, const QStringList& skip = {}) {
    int files = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (skip.contains(QFileInfo(path).fileName())) continue;
        for (const bool salvage : {false, true}) {
            SCOPED_TRACE(path.toStdString() + (salvage ? " (salvaging)" : ""));
            const test::ChildOutcome o = replay(path.toStdString(), salvage);
            test::expectClean(o);
            EXPECT_TRUE(o.result.rfind("error ", 0) == 0 || o.result.rfind("rows ", 0) == 0) << o.result;
            EXPECT_EQ(o.result.find("mismatch"), std::string::npos) << o.result;
        }
        ++files;
    }
    return files;
}

}  // namespace

TEST(FuzzReplay, RegressionInputsEndInAnErrorOrData) {
    EXPECT_GE(replayAll(QStringLiteral(QB_FUZZ_REGRESSIONS_DIR)), 1);
}

// big.mdb only costs time: it is a plain, valid file.
TEST(FuzzReplay, SeedCorpusEndsInAnErrorOrData) {
    EXPECT_GE(replayAll(test::fixturesDir(), {QStringLiteral("big.mdb")}), 60);
}
