// The main-window tests run in a QApplication on the offscreen platform, in
// the C locale (the run formats dates by the system locale), with the
// configuration home in a scratch folder so no real settings are touched.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
    QTemporaryDir configHome;
    if (!configHome.isValid()) return 2;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
