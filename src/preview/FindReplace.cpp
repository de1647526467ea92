#include "FindReplace.h"

#include "conversion/ListViewModel.h"
#include "core/ErrorTrap.h"
#include "core/Interaction.h"

namespace qb {

namespace {

// 1-based position of the first occurrence, 0 when there is none.
qsizetype firstPosition(const QString& line, const QString& find) {
    return line.indexOf(find, 0, Qt::CaseInsensitive) + 1;
}

// The line with positions p to q (1-based) replaced.
QString spliced(const QString& line, qsizetype p, qsizetype q, const QString& replacement) {
    return line.left(p - 1) + replacement + line.mid(q);
}

}  // namespace

QString replaceFirst(const QString& line, const QString& find, const QString& replacement) {
    const qsizetype p = firstPosition(line, find);
    const qsizetype q = p + find.size() - 1;
    // An empty search text "occurs" at position 1 with q = 0: no change.
    if (p < 1 || q < 1) return line;
    return spliced(line, p, q, replacement);
}

ReplaceResult FindAndReplace(ListViewModel& list, const QString& find, const QString& replacement, Interaction& ui,
                             const std::function<void(bool)>& setBusy, int executedLines) {
    ErrorTrap trap(ui, QStringLiteral("Form3"), QStringLiteral("PushButton2_Click"));
    if (trap.test(100, [&] { return list.count() == 0; })) {
        trap.run(128, [&] { showInfo(ui, QStringLiteral("No SQL to run.")); });
        return ReplaceResult::NothingToRun;
    }
    trap.run(102, [&] { setBusy(true); });
    int m = 0;
    int leftAlone = 0;
    trap.run(104, [&] { m = list.count(); });
    for (int n = 1; n <= m; ++n) {
        trap.run(106, [&] { ui.yield(); });
        QString line;
        qsizetype p = 0;
        if (!trap.test(108, [&] {
                line = list.text(n);
                p = firstPosition(line, find);
                return p > 0;
            }))
            continue;
        const qsizetype q = p + find.size() - 1;
        if (!trap.test(116, [&] { return p >= 1 && q >= 1; })) continue;
        if (n <= executedLines) {
            ++leftAlone;
            continue;
        }
        trap.run(120, [&] { list.setText(n, spliced(line, p, q, replacement)); });
    }
    QString done = QStringLiteral("Done.");
    if (leftAlone > 0)
        done += QStringLiteral("\r\r") +
                QStringLiteral("Executed lines left unchanged (they are in the database already): %1").arg(leftAlone);
    trap.run(124, [&] { showInfo(ui, done); });
    return ReplaceResult::Done;
}

}  // namespace qb
