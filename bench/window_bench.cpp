// A whole conversion through the real main window without the SQL Preview
// (run it under xvfb-run or on the offscreen platform; see bench/run):
// "Start Converting" pressed, timed until "Done.". Prints the seconds, the
// target's journal mode afterwards and whether a -wal or -shm file was left.
// With a third argument "shots", also saves a screenshot of the Options
// window into that folder.

#include "MainWindowHost.h"
#include "preview/PreviewWindows.h"
#include "shell/Form1.h"
#include "shell/OptionsWindow.h"
#include "BenchSupport.h"
#include "dbaccess/Connection.h"
#include "dbaccess/JournalMode.h"
#include "dbaccess/SQLite.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>

#include <cstdio>

using namespace qb;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench ACCESS_FILE SQLITE_FILE [SHOT_DIR]\n");
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[2]);
    bench::QuietInteraction ui(false);
    bench::NoFiles files;
    Form1 form(ui, files);
    form.checkProvider = [](Interaction&) { return true; };
    PreviewWindows previews(ui);
    MainWindowHost host(form, previews);
    host.install();
    form.formLoad();
    form.show();
    bench::fillPreviewRun(form, QString::fromLocal8Bit(argv[1]), target, false);
    form.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(false);

    if (argc > 3) {
        form.findChild<QPushButton*>(QStringLiteral("PushButton9"))->click();
        if (auto* options = form.findChild<OptionsWindow*>()) {
            options->move(form.geometry().topRight() + QPoint(20, 0));
            bench::shoot(QString::fromLocal8Bit(argv[3]), QStringLiteral("options"));
            options->pushButton1Click();
        }
    }

    QElapsedTimer timer;
    timer.start();
    form.findChild<QPushButton*>(QStringLiteral("PushButton7"))->click();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    // Looked at before anything else opens the file.
    const bool walLeft = QFileInfo::exists(target + QStringLiteral("-wal"));
    const bool shmLeft = QFileInfo::exists(target + QStringLiteral("-shm"));
    auto connection = Connection::create();
    connection->open(SQLiteConnectionString(target).toStdString());
    const std::string mode = journalModeOf(*connection);
    connection->close();
    std::printf("window %.2f s, journal mode %s, -wal %s, -shm %s\n", seconds, mode.c_str(),
                walLeft ? "left" : "none", shmLeft ? "left" : "none");
    return 0;
}
