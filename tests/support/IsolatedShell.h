#pragma once
// A scratch settings store and application folder for each test, so that
// no test reads what another saved or what the real program keeps.

#include "Fixtures.h"
#include "core/Main.h"
#include "shell/Settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace qb::test {

class IsolatedShell : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(storeHome.isValid());
        ASSERT_TRUE(appDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, storeHome.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, storeHome.path());
        ASSERT_TRUE(settings::storeFileName().startsWith(storeHome.path())) << settings::storeFileName().toStdString();
        setAppFolderForTesting(appDir.path());
    }
    void TearDown() override { setAppFolderForTesting(QString()); }

    // The keys present in the section, for "only this was written" checks.
    QStringList storedKeys() const {
        QSettings store(settings::storeFileName(), QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Quellbrook"));
        return store.childKeys();
    }

    static int fileMode(const QString& path) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
        return static_cast<int>(st.st_mode & 0777);
    }

    void writeAppFile(const QString& relative, const QByteArray& content) {
        ASSERT_TRUE(writeFile(appDir.path() + relative, content));
    }

    QTemporaryDir storeHome;
    QTemporaryDir appDir;
};

}  // namespace qb::test
