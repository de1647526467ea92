#include "ScriptedInteraction.h"
#include "dbaccess/ODBCProvider.h"
#include "odbc_probe.h"
#include "core/AppConfig.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qb {
namespace {

using test::ProbeOutput;

// CheckProvider in a process whose driver manager finds no drivers at all.
ProbeOutput runWithoutDrivers(const QString& answer) {
    QTemporaryDir empty;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ODBCSYSINI", empty.path());
    env.insert("HOME", empty.path());  // no per-user driver list either
    env.remove("ODBCINSTINI");
    return test::runProbe({"provider", answer}, env);
}

TEST(ProviderCheck, RegisteredDriverPassesSilently) {
    test::ScriptedInteraction ui;
    EXPECT_TRUE(CheckProvider(ui));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.urls.isEmpty());
}

// What is missing here is the SQLite ODBC driver, not an Access engine: the
// advice says what to install and how to register it.
TEST(ProviderCheck, AdviceNamesTheMissingDriverAndHowToInstallIt) {
    const QString advice = providerAdviceText();
    const QStringList paragraphs = advice.split(QStringLiteral("\r\n\r\n"));
    ASSERT_EQ(paragraphs.size(), 5);
    EXPECT_EQ(paragraphs[0], "Error #3706: Provider cannot be found. It may not be properly installed.");
    EXPECT_TRUE(paragraphs[1].contains(QStringLiteral("\"SQLite3 ODBC Driver\"")) &&
                paragraphs[1].contains(QStringLiteral("not registered")))
        << paragraphs[1].toStdString();
    EXPECT_TRUE(paragraphs[2].contains(QStringLiteral("apt-get install libsqliteodbc unixodbc")) &&
                paragraphs[2].contains(QStringLiteral("scripts/setup")))
        << paragraphs[2].toStdString();
    EXPECT_EQ(paragraphs[3], "Would you like me to open the setup instructions now?");
    EXPECT_EQ(paragraphs[4], "(If you have any further questions please email a screenshot of this error message to " +
                                 config::kSupportEmail + ")");
    EXPECT_FALSE(advice.contains(QStringLiteral("Microsoft"))) << advice.toStdString();
}

TEST(ProviderCheck, MissingDriverAsksAndNoOpensNothing) {
    const ProbeOutput out = runWithoutDrivers("no");
    ASSERT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_TRUE(out.lines.contains("RESULT 0"));
    EXPECT_EQ(out.values("MESSAGE"), QStringList{providerAdviceText()});
    EXPECT_TRUE(out.lines.contains("BUTTONS yesno"));
    EXPECT_TRUE(out.values("URL").isEmpty());
}

TEST(ProviderCheck, MissingDriverYesOpensTheSetupInstructions) {
    const ProbeOutput out = runWithoutDrivers("yes");
    ASSERT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_TRUE(out.lines.contains("RESULT 0"));
    EXPECT_EQ(out.values("MESSAGE").size(), 1);
    EXPECT_EQ(out.values("URL"), QStringList{config::kSetupInstructionsPage});
}

}  // namespace
}  // namespace qb
