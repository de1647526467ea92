// Per-file SQL Preview of a large Access file through the real main window,
// run, preview and Find and Replace windows (run it under xvfb-run; see
// bench/run-preview). Prints how long the preview window takes to appear
// after the last statement was added, how long a Find and Replace over all
// lines takes, and the peak memory of the whole program.

#include "MainWindowHost.h"
#include "preview/Form3.h"
#include "preview/PreviewWindows.h"
#include "conversion/ListViewModel.h"
#include "shell/Form1.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace qb;

namespace {

// Notes when the last statement went into the list.
struct TimedHost : MainWindowHost {
    using MainWindowHost::MainWindowHost;
    void showPreview() override {
        lastAdded.start();
        MainWindowHost::showPreview();
    }
    QElapsedTimer lastAdded;
};

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench ACCESS_FILE\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString target = bench::emptyTarget(dir);

    bench::QuietInteraction ui(false);
    bench::NoFiles files;
    Form1 form(ui, files);
    form.checkProvider = [](Interaction&) { return true; };
    PreviewWindows previews(ui);
    TimedHost host(form, previews);
    host.install();
    form.formLoad();
    form.show();
    bench::fillPreviewRun(form, QString::fromLocal8Bit(argv[1]), target, false);

    double shownMs = -1, replaceMs = -1;
    int lines = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (modal->objectName() == QStringLiteral("Form2") && shownMs < 0) {
            shownMs = static_cast<double>(host.lastAdded.nsecsElapsed()) / 1e6;
            lines = previews.statementList().count();
            // Clicked from a fresh turn of the loop: the window it opens runs
            // its own loop, in which this timer must be able to fire again.
            QPushButton* findButton = modal->findChild<QPushButton*>(QStringLiteral("PushButton3"));
            QTimer::singleShot(0, findButton, [findButton] { QTest::mouseClick(findButton, Qt::LeftButton); });
        } else if (auto* find = dynamic_cast<Form3*>(modal); find && replaceMs < 0) {
            find->text1()->setText(QStringLiteral("insert into"));
            find->text2()->setText(QStringLiteral("INSERT INTO"));
            QTimer::singleShot(0, find, [find, &replaceMs] {
                QElapsedTimer t;
                t.start();
                find->pushButton2Click();
                replaceMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
            });
            replaceMs = 0;  // started
        } else if (modal->objectName() == QStringLiteral("Form2") && replaceMs > 0) {
            QPushButton* back = modal->findChild<QPushButton*>(QStringLiteral("PushButton5"));
            QTimer::singleShot(0, back, [back] { QTest::mouseClick(back, Qt::LeftButton); });
            replaceMs = -replaceMs;  // reported below as a positive figure
        }
    });
    poll.start(5);

    QElapsedTimer whole;
    whole.start();
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("PushButton7")), Qt::LeftButton);
    std::printf("statements in the preview   %d\n", lines);
    std::printf("whole run                   %.1f s (collecting, preview, find and replace)\n",
                static_cast<double>(whole.elapsed()) / 1000.0);
    std::printf("preview shown after         %.0f ms from the last statement added\n", shownMs);
    std::printf("find and replace, all lines %.0f ms\n", -replaceMs);
    std::printf("peak memory                 %ld KiB\n", peakKiB());
    return 0;
}
