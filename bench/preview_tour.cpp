// Screenshots of the five windows during a per-table preview of an Access
// file, through the real program objects (run under xvfb-run; ImageMagick's
// `import` takes the pictures): the main window while the preview is up, the
// SQL Preview, Datatypes Conversion, Edit Line and Find and Replace windows.
// Usage: preview_tour ACCESS_FILE SHOT_DIR

#include "MainWindowHost.h"
#include "preview/PreviewWindows.h"
#include "shell/Form1.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace qb;

namespace {

QString shotDir;

void later(std::function<void()> step) { QTimer::singleShot(400, step); }

QWidget* modalNamed(const char* name) {
    QWidget* w = QApplication::activeModalWidget();
    return w && w->objectName() == QLatin1String(name) ? w : nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: preview_tour ACCESS_FILE SHOT_DIR\n");
        return 2;
    }
    shotDir = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir dir;
    const QString target = bench::emptyTarget(dir);

    bench::QuietInteraction ui(true);
    bench::NoFiles files;
    Form1 form(ui, files);
    PreviewWindows previews(ui);
    MainWindowHost host(form, previews);
    host.install();
    if (!form.formLoad()) return 1;
    form.move(0, 0);
    form.show();
    bench::fillPreviewRun(form, QString::fromLocal8Bit(argv[1]), target, true);

    // The tour, one step per turn of the loop, on the first table's preview.
    bool toured = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* preview = modalNamed("Form2");
        if (!preview) return;
        if (toured) {  // later tables: skip them
            QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("PushButton9")), Qt::LeftButton);
            return;
        }
        toured = true;
        poll.stop();
        preview->move(560, 0);
        later([&, preview] {
            bench::shoot(shotDir, QStringLiteral("form1-and-form2"));
            auto* types = preview->findChild<QPushButton*>(QStringLiteral("PushButton7"));
            later([&] {
                if (QWidget* w = modalNamed("Form5")) {
                    bench::shoot(shotDir, QStringLiteral("form5"));
                    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("PushButton5")), Qt::LeftButton);
                }
                later([&, preview] {
                    auto* find = preview->findChild<QPushButton*>(QStringLiteral("PushButton3"));
                    later([&, preview] {
                        if (QWidget* w = modalNamed("Form3")) {
                            bench::shoot(shotDir, QStringLiteral("form3"));
                            QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("PushButton1")), Qt::LeftButton);
                        }
                        later([&, preview] {
                            auto* list = preview->findChild<QTreeView*>(QStringLiteral("ListView1"));
                            const QModelIndex second = list->model()->index(1, 0);
                            list->setCurrentIndex(second);
                            const QPoint at = list->visualRect(second).center() + QPoint(60, 0);
                            later([&, preview] {
                                if (QWidget* w = modalNamed("Form4")) {
                                    bench::shoot(shotDir, QStringLiteral("form4"));
                                    QTest::mouseClick(w->findChild<QPushButton*>(QStringLiteral("PushButton1")),
                                                      Qt::LeftButton);
                                }
                                later([&, preview] {
                                    poll.start(50);
                                    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("PushButton9")),
                                                      Qt::LeftButton);
                                });
                            });
                            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                        });
                    });
                    QTest::mouseClick(find, Qt::LeftButton);
                });
            });
            QTest::mouseClick(types, Qt::LeftButton);
        });
    });
    poll.start(50);
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("PushButton7")), Qt::LeftButton);
    return 0;
}
