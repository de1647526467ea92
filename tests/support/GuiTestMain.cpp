// The main() of the window tests: a QApplication on the offscreen platform
// (unless another platform is asked for), with the configuration home in a
// scratch folder so that nothing a test saves reaches the real settings.
// With QB_GUI_TEST_C_LOCALE the tests also run in the C locale, for those
// that compare text formatted by the system locale.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef QB_GUI_TEST_C_LOCALE
    qputenv("LC_ALL", "C");
    qputenv("LANG", "C");
#endif
    QTemporaryDir configHome;
    if (!configHome.isValid()) return 2;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
