#include "Clipboard.h"

#include "conversion/ListViewModel.h"
#include "core/Interaction.h"

#include <QClipboard>
#include <QGuiApplication>

#include <stdexcept>
#include <vector>

namespace qb {

bool QtClipboard::clear() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->clear();
    return true;
}

bool QtClipboard::setText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(text);
    // The clipboard reports no failure of its own; reading back tells
    // whether the text arrived.
    return clipboard->text() == text;
}

bool retryClipboardCall(const std::function<bool()>& call) {
    for (int i = 0; i < kClipboardTries; ++i) {
        try {
            if (call()) return true;
        } catch (...) {
        }
    }
    return false;
}

void ClearClipboard(ClipboardPort& clipboard) {
    retryClipboardCall([&] { return clipboard.clear(); });
}

bool SetClipboardText(ClipboardPort& clipboard, const QString& text) {
    return retryClipboardCall([&] { return clipboard.setText(text); });
}

namespace {

QString cell(const ListViewModel& list, int row, int column) {
    return column == 1 ? list.text(row) : list.subItem(row, column - 1);
}

void chopTrailingBlanks(QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' ')) --end;
    text.truncate(end);
}

}  // namespace

QString checkedRowsText(const ListViewModel& list, Interaction& ui) {
    const int rows = list.count();
    const int columns = static_cast<int>(list.columns().size());

    // Widths are 16-bit: a longer text cannot be laid out.
    std::vector<qsizetype> width(static_cast<std::size_t>(columns), 0);
    for (int c = 1; c <= columns; ++c) {
        for (int r = 1; r <= rows; ++r) {
            ui.yield();
            const qsizetype length = cell(list, r, c).size();
            if (length > 32767) throw std::overflow_error("Overflow");
            qsizetype& w = width[static_cast<std::size_t>(c - 1)];
            if (length > w) w = length;
        }
    }

    QString text;
    for (int r = 1; r <= rows; ++r) {
        ui.yield();
        if (!list.checked(r)) continue;
        for (int c = 1; c <= columns; ++c) {
            ui.yield();
            const QString t = cell(list, r, c);
            text += t;
            const qsizetype pad = width[static_cast<std::size_t>(c - 1)] - t.size();
            if (pad > 0) text += QString(pad, QLatin1Char(' '));
            text += QLatin1Char('\t');
        }
        if (columns > 0) text.chop(1);
        chopTrailingBlanks(text);
        text += QStringLiteral("\r\n");
    }
    return text;
}

void CopyCheckedRows(const ListViewModel& list, ClipboardPort& clipboard, Interaction& ui) {
    if (list.count() == 0) return;
    const QString text = checkedRowsText(list, ui);
    ClearClipboard(clipboard);
    SetClipboardText(clipboard, text);
}

}  // namespace qb
