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

TEST(ProviderCheck, AdviceTextHasSevenParagraphs) {
    const QStringList paragraphs = providerAdviceText().split(QStringLiteral("\r\n\r\n"));
    ASSERT_EQ(paragraphs.size(), 7);
    EXPECT_EQ(paragraphs[0], "Error #3706: Provider cannot be found. It may not be properly installed.");
    EXPECT_EQ(paragraphs[2], "1. Microsoft Access is not installed on your computer.");
    EXPECT_EQ(paragraphs[6], "(If you have any further questions please email a screenshot of this error message to " +
                                 config::kSupportEmail + ")");
}

TEST(ProviderCheck, MissingDriverAsksAndNoOpensNothing) {
    const ProbeOutput out = runWithoutDrivers("no");
    ASSERT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_TRUE(out.lines.contains("RESULT 0"));
    EXPECT_EQ(out.values("MESSAGE"), QStringList{providerAdviceText()});
    EXPECT_TRUE(out.lines.contains("BUTTONS yesno"));
    EXPECT_TRUE(out.values("URL").isEmpty());
}

TEST(ProviderCheck, MissingDriverYesOpensBothDownloadPagesInOrder) {
    const ProbeOutput out = runWithoutDrivers("yes");
    ASSERT_EQ(out.exitCode, 0) << out.lines.join('\n').toStdString();
    EXPECT_TRUE(out.lines.contains("RESULT 0"));
    EXPECT_EQ(out.values("MESSAGE").size(), 1);
    EXPECT_EQ(out.values("URL"), (QStringList{config::kEngine2010Download, config::kEngine2016Download}));
}

}  // namespace
}  // namespace qb
