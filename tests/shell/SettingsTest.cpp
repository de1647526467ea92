#include "IsolatedShell.h"

#include "shell/Form1Texts.h"
#include "shell/Settings.h"

#include <stdexcept>

namespace qb::test {
namespace {

using Settings = IsolatedShell;

TEST_F(Settings, AbsentKeyGivesTheDefaultAndSavedTextsComeBackAsTheyWere) {
    EXPECT_EQ(settings::read("Check1", "1"), "1");
    EXPECT_EQ(settings::read("SQLiteDatabase"), "");
    // Texts the store's own syntax could misread: commas, quotes, "=", ";", "@", non-ASCII.
    const QStringList texts = {"/data/a, b.db3", "pa;ss=\"w\"ord", "@Variant(x)", "C:\\Users\\Ünïcode.mdb", " lead "};
    for (const QString& t : texts) {
        settings::save("AccessPassword", t);
        EXPECT_EQ(settings::read("AccessPassword", "default"), t) << t.toStdString();
    }
}

TEST_F(Settings, StoreFileIsReadableByItsOwnerOnly) {
    settings::save("AccessPassword", "secret");
    const QString file = settings::storeFileName();
    EXPECT_EQ(fileMode(file), 0600);
    // A store left readable by an older version is closed at the next save.
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup));
    settings::save("AccessPassword", "secret2");
    EXPECT_EQ(fileMode(file), 0600);
    EXPECT_EQ(fileMode(QFileInfo(file).absolutePath()), 0700);
}

TEST_F(Settings, IntegerConversionRoundsHalfToEvenAndRejectsWords) {
    EXPECT_EQ(settings::toInteger("1"), 1);
    EXPECT_EQ(settings::toInteger(" 0 "), 0);
    EXPECT_EQ(settings::toInteger("1.5"), 2);
    EXPECT_EQ(settings::toInteger("2.5"), 2);
    EXPECT_EQ(settings::toInteger("0.4"), 0);
    for (const char* bad : {"", "abc", "True", "1x", "1e400"}) EXPECT_THROW(settings::toInteger(bad), std::runtime_error) << bad;
}

TEST_F(Settings, BooleanConversionTakesWordsInAnyCaseAndNumbers) {
    EXPECT_TRUE(settings::toBoolean("True"));
    EXPECT_TRUE(settings::toBoolean("TRUE"));
    EXPECT_FALSE(settings::toBoolean("false"));
    EXPECT_TRUE(settings::toBoolean("1"));
    EXPECT_TRUE(settings::toBoolean("-1"));
    EXPECT_FALSE(settings::toBoolean("0"));
    EXPECT_FALSE(settings::toBoolean("0.0"));
    try {
        settings::toBoolean("maybe");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Type mismatch");
    }
    EXPECT_THROW(settings::toBoolean(""), std::runtime_error);
}

TEST(FileFilter, PipeFiltersBecomeQtFiltersWithTheFirstEntryFirst) {
    EXPECT_EQ(form1::qtFileFilter(form1::kAccessDialogFilter),
              "All Microsoft Databases (*.mdb,*.accdb) (*.*db);;Microsoft Database (*.mdb) (*.mdb);;"
              "Microsoft 2007 Database (*.accdb) (*.accdb)");
    EXPECT_EQ(form1::qtFileFilter(form1::kSqliteDialogFilter), "SQLite Database (*.db*) (*.db*);;All Files (*.*) (*.*)");
    EXPECT_EQ(form1::qtFileFilter("Two|*.a;*.b|"), "Two (*.a *.b)");
}

}  // namespace
}  // namespace qb::test
