#pragma once
// What the preview window tests share: reaching the modal window of the
// moment, its buttons and lines, and a preview over a scratch SQLite file.

#include "ScriptedInteraction.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"
#include "preview/ExactTextEdit.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"
#include "preview/PreviewWindows.h"
#include "shell/Appearance.h"
#include "shell/GuiInteraction.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>


namespace qb {
namespace {

using test::ScriptedInteraction;

// Runs `action` on the window that is modal once the next modal loop runs.
// The flag tells whether it ran: checks inside an action that never ran
// would pass unseen.
template <class W>
std::shared_ptr<bool> whenShown(std::function<void(W&)> action) {
    auto ran = std::make_shared<bool>(false);
    QTimer::singleShot(0, [action, ran] {
        auto* window = dynamic_cast<W*>(QApplication::activeModalWidget());
        if (!window) {
            ADD_FAILURE() << "expected window is not the modal one";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        *ran = true;
        action(*window);
    });
    return ran;
}

inline QPushButton* button(QWidget& window, const char* name) {
    auto* b = window.findChild<QPushButton*>(QLatin1String(name));
    EXPECT_NE(b, nullptr) << name;
    return b;
}

// Where a user clicks on line `line` (1-based): its text, or its check box.
inline QPoint textOf(QTreeView* view, int line) { return view->visualRect(view->model()->index(line - 1, 0)).center(); }
inline QPoint checkBoxOf(QTreeView* view, int line) {
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(view->model()->index(line - 1, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view).center();
}
inline void click(QTreeView* view, QPoint at) { QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at); }

// Closes every window that opens over the preview, noting which one it was
// ("Form4:5" for Edit Line on line 5).
struct ChildWindows {
    QStringList seen;
    QTimer poll;
    ChildWindows() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal->objectName() == QStringLiteral("Form2")) return;
            if (auto* edit = dynamic_cast<Form4*>(modal))
                seen << QStringLiteral("Form4:%1:%2").arg(edit->ListLine).arg(edit->text1()->toPlainText());
            else
                seen << modal->objectName();
            modal->close();
        });
        poll.start(5);
    }
};

struct PreviewWindowsTest : ::testing::Test {
    ScriptedInteraction ui;
    PreviewWindows windows{ui};
    RunState state;
    QWidget owner;

    void fill(const QStringList& lines) {
        windows.statementList().clear();
        windows.statementList().append(lines);
    }
    // Shows the preview; `action` runs inside its modal loop.
    void show(std::function<void(Form2&)> action) {
        const auto ran = whenShown<Form2>(std::move(action));
        windows.showPreview(&owner, state);
        EXPECT_TRUE(*ran) << "the preview was not shown modally";
    }
};
struct SqliteFile : PreviewWindowsTest {
    QTemporaryDir dir;
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        state.SQLite_conn = Connection::create();
        state.SQLite_conn->open(SQLiteConnectionString(dir.filePath("target.db3")).toStdString());
        state.SQLite_conn->execute("CREATE TABLE t (a TEXT)");
    }
    long long rows(const std::string& table = "t") {
        Recordset rs;
        rs.open("SELECT * FROM " + table, *state.SQLite_conn);
        return rs.recordcount();
    }
};

// While the statements run, the message loop gets a turn per line: a click

}  // namespace
}  // namespace qb
