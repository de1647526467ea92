// A manual look at the preview windows on a real display (run under
// xvfb-run): shows each window with a few statements, takes a screenshot of
// the screen with ImageMagick's `import`, and times Execute SQL and Find and
// Replace over 200,000 lines with the real message loop. Not a test.

#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"
#include "preview/PreviewWindows.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

using namespace qb;

namespace {

QString shotDir;

template <class W>
void whenShown(std::function<void(W&)> action) {
    QTimer::singleShot(100, [action] {
        if (auto* w = dynamic_cast<W*>(QApplication::activeModalWidget())) action(*w);
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
    state.SQLite_conn->open(SQLiteConnectionString(dir.filePath("look.db3")).toStdString());

    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Quellbrook"));
    owner.resize(300, 200);
    owner.move(0, 0);
    owner.show();

    ListViewModel& list = windows.statementList();
    list.add(QStringLiteral("CREATE TABLE IF NOT EXISTS \"Customers\" (\"ID\" INTEGER, \"Name\" TEXT, \"Balance\" NUMERIC)"));
    list.add(QStringLiteral("INSERT INTO \"Customers\" VALUES ('1','Ada Lovelace','12.50')"));
    list.add(QStringLiteral("INSERT INTO \"Customers\" VALUES ('2','Brook Side','0')"));
    list.add(QStringLiteral("INSERT INTO \"Customers\" VALUES ('3','O'Hara','7')"));
    list.add(QStringLiteral("INSERT INTO \"Customers\" VALUES ('4','Quill Ink',NULL)"));
    list.setChecked(2, true);
    ListViewModel& types = windows.datatypeList();
    const char* rows[][4] = {{"Customers", "ID", "int", "INTEGER"},
                             {"Customers", "Name", "varwchar", "TEXT"},
                             {"Customers", "Balance", "currency", "NUMERIC"},
                             {"Customers", "Photo", "", ""}};
    for (const auto& r : rows) {
        const int n = types.add(QLatin1String(r[0]));
        for (int s = 1; s <= 3; ++s) types.setSubItem(n, s, QLatin1String(r[s]));
    }

    whenShown<Form2>([&](Form2& w) {
        w.pushButton1Click();  // stops at line 4
        bench::shoot(shotDir, QStringLiteral("form2"));
        whenShown<Form4>([&](Form4& e) {
            bench::shoot(shotDir, QStringLiteral("form4"));
            e.setText1(QStringLiteral("INSERT INTO \"Customers\" VALUES ('3','O''Hara','7')"));
            e.pushButton2Click();
        });
        w.listView1Click();
        whenShown<Form3>([&](Form3& f) {
            f.text1()->setText(QStringLiteral("customers"));
            f.text2()->setText(QStringLiteral("Clients"));
            bench::shoot(shotDir, QStringLiteral("form3"));
            f.pushButton1Click();
        });
        w.pushButton3Click();
        whenShown<Form5>([&](Form5& f) {
            bench::shoot(shotDir, QStringLiteral("form5"));
            f.pushButton5Click();
        });
        w.pushButton7Click();
        w.pushButton1Click();  // all lines run: closes
    });
    windows.showPreview(&owner, state);
    std::printf("flags after the small list: SQLFormOK=%d StopConverting=%d\n", state.SQLFormOK, state.StopConverting);

    // A whole file's statements with the real message loop. Every statement
    // commits by itself, so a disk file measures the disk; a file in memory
    // (/dev/shm) shows the window's own cost.
    const int lines = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 200000;
    QTemporaryDir bigDir(argc > 3 ? QString::fromLocal8Bit(argv[3]) + QStringLiteral("/qbXXXXXX") : QString());
    state.SQLite_conn->close();
    state.SQLite_conn->open(SQLiteConnectionString(bigDir.filePath("big.db3")).toStdString());
    state.SQLite_conn->execute("CREATE TABLE big (a TEXT, b TEXT)");
    std::vector<QString> statements;
    statements.reserve(lines);
    for (int i = 0; i < lines; ++i) statements.push_back(QStringLiteral("INSERT INTO big VALUES ('%1','x')").arg(i));
    windows.statementList().append(std::move(statements));
    whenShown<Form2>([&](Form2& w) {
        w.listView1()->scrollToBottom();
        whenShown<Form3>([&](Form3& f) {
            f.text1()->setText(QStringLiteral("insert into big"));
            f.text2()->setText(QStringLiteral("INSERT INTO big"));
            QElapsedTimer clock;
            clock.start();
            f.pushButton2Click();
            std::printf("find and replace over %d lines: %lld ms\n", lines, static_cast<long long>(clock.elapsed()));
        });
        w.pushButton3Click();
        QTimer::singleShot(2000, [] { bench::shoot(shotDir, QStringLiteral("form2-executing")); });
        QElapsedTimer clock;
        clock.start();
        w.pushButton1Click();
        std::printf("execute over %d lines: %lld ms\n", lines, static_cast<long long>(clock.elapsed()));
    });
    windows.showPreview(&owner, state);
    Recordset rs;
    rs.open("SELECT * FROM big", *state.SQLite_conn);
    std::printf("rows in big: %lld, SQLFormOK=%d\n", rs.recordcount(), state.SQLFormOK);
    return 0;
}
