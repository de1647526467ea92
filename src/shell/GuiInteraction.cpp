#include "GuiInteraction.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

namespace qb {

QString displayLineBreaks(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString keepAddressesWhole(const QString& text) {
    static const QRegularExpression address(QStringLiteral("(?:https?://|mailto:)\\S+"));
    QString shown;
    qsizetype from = 0;
    for (auto it = address.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        shown += text.mid(from, match.capturedStart() - from);
        const QString found = match.captured();
        for (qsizetype i = 0; i < found.size(); ++i) {
            shown += found.at(i);
            if (i + 1 < found.size() && !found.at(i).isHighSurrogate()) shown += QChar(0x2060);
        }
        from = match.capturedEnd();
    }
    return shown + text.mid(from);
}

MsgResult GuiInteraction::message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(keepAddressesWhole(displayLineBreaks(text)));
    box.setIcon(icon == MsgIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    return pressed == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

bool GuiInteraction::openUrl(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

void GuiInteraction::yield() { QCoreApplication::processEvents(); }

int GuiInteraction::drawPercent() { return QRandomGenerator::global()->bounded(1, 101); }

QString QtFileChooser::openFileName(const QString& title, const QString& filter) {
    QFileDialog dialog(parent_, title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name is accepted: the SQLite file may not exist yet.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    const QStringList filters = dialog.nameFilters();
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace qb
