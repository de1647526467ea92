// Screenshots of an execution in the SQL Preview window (run under
// xvfb-run; ImageMagick's `import` takes them): while the statements run,
// after a stop at a rejected line, after executing again from that line to
// the next rejected one, and the Datatypes Conversion window shown twice.
// Usage: preview_execution_tour SHOT_DIR

#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "preview/Form2.h"
#include "preview/Form5.h"
#include "preview/PreviewWindows.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace qb;

namespace {

QString shotDir;

void press(QWidget& window, const char* name) {
    QTest::mouseClick(window.findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

// Runs `step` once the window of type W is the modal one.
template <class W>
void whenShown(std::function<void(W&)> step) {
    QTimer::singleShot(300, [step] {
        if (auto* w = dynamic_cast<W*>(QApplication::activeModalWidget())) step(*w);
        else std::fprintf(stderr, "expected window is not up\n");
    });
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    shotDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bench::QuietInteraction ui(true);
    PreviewWindows windows(ui);
    QTemporaryDir dir;
    RunState state;
    state.SQLite_conn = Connection::create();
    state.SQLite_conn->open(SQLiteConnectionString(dir.filePath("tour.db3")).toStdString());

    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Quellbrook"));
    owner.resize(300, 200);
    owner.move(0, 0);
    owner.show();

    // A new table's statements with two rejected rows.
    ListViewModel& list = windows.statementList();
    list.add(QStringLiteral("CREATE TABLE \"Ledger\" (\"ID\" INTEGER, \"Memo\" TEXT)"));
    for (int i = 1; i <= 1200; ++i)
        list.add(QStringLiteral("INSERT INTO \"Ledger\" VALUES ('%1','entry %1')").arg(i));
    list.setText(301, QStringLiteral("INSERT INTO \"Ledger\" VALUES ('300','entry 300'"));
    list.setText(701, QStringLiteral("INSERT INTO \"Ledger\" VALUES ('700',entry 700')"));
    ListViewModel& types = windows.datatypeList();
    for (const char* field : {"ID", "Memo"}) {
        const int n = types.add(QStringLiteral("Ledger"));
        types.setSubItem(n, 1, QLatin1String(field));
        types.setSubItem(n, 2, QLatin1String(field[0] == 'I' ? "int" : "longvar"));
        types.setSubItem(n, 3, QLatin1String(field[0] == 'I' ? "INTEGER" : "TEXT"));
    }

    whenShown<Form2>([&](Form2& w) {
        w.move(320, 0);
        QTimer::singleShot(1500, [] { bench::shoot(shotDir, QStringLiteral("1-preview-executing")); });
        press(w, "PushButton1");  // stops at line 301
        bench::shoot(shotDir, QStringLiteral("2-preview-after-stop"));
        list.setText(301, QStringLiteral("INSERT INTO \"Ledger\" VALUES ('300','entry 300')"));
        press(w, "PushButton1");  // resumes at 301, stops at 701
        bench::shoot(shotDir, QStringLiteral("3-preview-after-resumed-execution"));
        for (const char* shot : {"4-datatypes-first-look", "5-datatypes-second-look"}) {
            whenShown<Form5>([shot](Form5& f) {
                f.move(360, 120);
                bench::shoot(shotDir, QLatin1String(shot));
                press(f, "PushButton5");
            });
            press(w, "PushButton7");
        }
        press(w, "PushButton5");
    });
    windows.showPreview(&owner, state);
    Recordset rs;
    rs.open("SELECT * FROM \"Ledger\"", *state.SQLite_conn);
    std::printf("rows in Ledger: %lld (ErrorLine %d)\n", rs.recordcount(), windows.ErrorLine);
    return 0;
}
