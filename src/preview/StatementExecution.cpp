#include "StatementExecution.h"

#include "Clipboard.h"
#include "conversion/ConversionHost.h"
#include "conversion/ListViewModel.h"
#include "core/AppConfig.h"
#include "core/ErrorTrap.h"
#include "core/Interaction.h"

#include <QUrl>

#include <algorithm>
#include <stdexcept>

namespace qb {

namespace {

const QString kForm = QStringLiteral("Form2");

// Throws the list's own out-of-range error when the line does not exist.
void requireLine(const ListViewModel& list, int line) { (void)list.text(line); }

}  // namespace

bool isBlank(const QString& text) {
    for (const QChar ch : text)
        if (ch != QLatin1Char(' ')) return false;
    return true;
}

StatementRunner runnerOn(RunState& state) {
    return [&state](const QString& statement) {
        if (!state.SQLite_conn) throw std::runtime_error("Object variable or With block variable not set");
        executeOnRun(state, statement.toStdString());
    };
}

ExecuteResult ExecuteSQL(ListViewModel& list, const StatementRunner& run, RunState& state, int& ErrorLine,
                         ExecutionDisplay& display, Interaction& ui, int firstLine, int* linesRun) {
    ErrorTrap trap(ui, kForm, QStringLiteral("PushButton1_Click"));
    int n = 0;
    QString description;

    // Each step runs under this handler's own trap: a rejected statement
    // ends the execution; anything else is reported and passed over.
    auto step = [&](int label, auto&& statement) -> bool {
        try {
            statement();
            return true;
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            description = describeException(error);
            if (description.contains(QStringLiteral("SQLException"), Qt::CaseInsensitive)) return false;
            trap.run(label, [&] { std::rethrow_exception(error); });
            return true;
        }
    };
    auto stop = [&] {
        if (linesRun) *linesRun = std::max(0, n - 1);
        trap.run(154, [&] { ErrorLine = n; });
        trap.run(156, [&] {
            requireLine(list, ErrorLine);
            display.selectLine(ErrorLine);
        });
        trap.run(158, [&] {
            requireLine(list, ErrorLine);
            display.scrollToLine(ErrorLine);
        });
        trap.run(160, [&] { display.setErrorText(description); });
        trap.run(162, [&] { display.setProgressValue(0); });
        trap.run(164, [&] { display.setProgressText(QString()); });
        trap.run(166, [&] { display.setBusy(false); });
        trap.run(168, [&] { showInfo(ui, QStringLiteral("Error found.")); });
        return ExecuteResult::Stopped;
    };
    // The statements before line n stay: each one stands by itself.
    auto abandon = [&](int m) {
        trap.run(162, [&] { display.setProgressValue(0); });
        trap.run(164, [&] { display.setProgressText(QString()); });
        trap.run(166, [&] { display.setBusy(false); });
        if (linesRun) *linesRun = std::max(0, n - 1);
        trap.run(168, [&] { showInfo(ui, partlyExecutedText(n - 1, m)); });
        return ExecuteResult::Abandoned;
    };

    if (list.count() == 0) {
        trap.run(150, [&] { showInfo(ui, QStringLiteral("No SQL to run.")); });
        return ExecuteResult::NothingToRun;
    }
    if (!step(106, [&] { display.setBusy(true); })) return stop();

    const int m = list.count();
    for (n = std::max(firstLine, 1); n <= m; ++n) {
        if (!step(112, [&] { ui.yield(); })) return stop();
        if (display.leaving()) return abandon(m);
        if (!step(114, [&] { display.setProgressValue(static_cast<double>(n) / list.count() * 100.0); }))
            return stop();
        if (!step(116, [&] {
                display.setProgressText(QStringLiteral("Please wait.. Processing row: ") + QString::number(n) +
                                        QStringLiteral(" of ") + QString::number(list.count()));
            }))
            return stop();
        QString text;
        bool blank = true;
        // A line that cannot be read counts as blank: there is nothing to run.
        if (!step(118, [&] {
                text = list.text(n);
                blank = isBlank(text);
            }))
            return stop();
        if (blank) continue;
        const int label = text.contains(QStringLiteral("INSERT INTO"), Qt::CaseInsensitive) ? 132 : 134;
        if (!step(label, [&] { run(text); })) return stop();
    }

    if (linesRun) *linesRun = m;
    if (!step(138, [&] { state.SQLFormOK = true; })) return stop();
    if (!step(140, [&] { state.StopConverting = false; })) return stop();
    if (!step(142, [&] { display.setProgressValue(0); })) return stop();
    if (!step(144, [&] { display.setProgressText(QString()); })) return stop();
    if (!step(146, [&] { display.setBusy(false); })) return stop();
    return ExecuteResult::Completed;
}

QString partlyExecutedText(int linesRun, int lines) {
    const QString done =
        linesRun > 1   ? QStringLiteral("Lines 1 to %1 have been executed and stay in the database.").arg(linesRun)
        : linesRun == 1 ? QStringLiteral("Line 1 has been executed and stays in the database.")
                        : QStringLiteral("No line has been executed.");
    return QStringLiteral("Execution stopped before line %1 of %2.").arg(linesRun + 1).arg(lines) +
           QStringLiteral("\r\r") + done;
}

void JumpToErrorLine(const ListViewModel& list, int ErrorLine, ExecutionDisplay& display, Interaction& ui) {
    ErrorTrap trap(ui, kForm, QStringLiteral("PushButton6_Click"));
    if (!trap.test(100, [&] { return list.count() > 0; })) return;
    if (!trap.test(102, [&] { return ErrorLine > 0; })) return;
    trap.run(104, [&] {
        requireLine(list, ErrorLine);
        display.selectLine(ErrorLine);
    });
    trap.run(106, [&] {
        requireLine(list, ErrorLine);
        display.scrollToLine(ErrorLine);
    });
}

void CopyErrorMessage(const QString& errorText, ClipboardPort& clipboard, Interaction& ui) {
    ErrorTrap trap(ui, kForm, QStringLiteral("PushButton4_Click"));
    if (!trap.test(100, [&] { return !isBlank(errorText); })) return;
    trap.run(102, [&] { ClearClipboard(clipboard); });
    trap.run(104, [&] { SetClipboardText(clipboard, errorText); });
    trap.run(106, [&] {
        showInfo(ui, QStringLiteral("Error message have been copied to the clipboard.") + QStringLiteral("\r\r") +
                         QStringLiteral("Click a text area where you normally type and press Ctrl+V to paste the "
                                        "clipboard."));
    });
}

QString errorMailLink(const QString& errorText) {
    auto encoded = [](const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); };
    return QStringLiteral("mailto:") + config::kSupportEmail + QStringLiteral("?subject=") +
           encoded(config::kProductName) + QStringLiteral("&body=") +
           encoded(QStringLiteral("Here is the error message that I get: \n") + errorText);
}

void EmailErrorMessage(const QString& errorText, Interaction& ui) {
    ErrorTrap trap(ui, kForm, QStringLiteral("PushButton8_Click"));
    if (!trap.test(100, [&] { return !isBlank(errorText); })) return;
    QString link;
    trap.run(102, [&] { link = errorMailLink(errorText); });
    trap.run(104, [&] { ui.openUrl(link); });
}

}  // namespace qb
