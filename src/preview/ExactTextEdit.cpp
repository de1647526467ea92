#include "ExactTextEdit.h"

#include <QTextDocument>
#include <algorithm>

namespace qb {

namespace {

// The characters the document takes as the end of a paragraph (besides the
// two-character CR LF).
bool breaksParagraph(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

}  // namespace

ExactTextEdit::ExactTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
    connect(document(), &QTextDocument::contentsChanged, this, [this] { noteChange(); });
}

void ExactTextEdit::setText(const QString& text) {
    // What the document will show, worked out first, so that the change
    // notice of setPlainText finds nothing new.
    original_ = text;
    shown_.clear();
    shown_.reserve(text.size());
    sources_.clear();
    sources_.reserve(static_cast<std::size_t>(text.size()));
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool crlf = c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n');
        sources_.push_back({i, crlf ? 2 : 1});
        shown_.append(breaksParagraph(c) ? QChar(QChar::ParagraphSeparator) : c);
        if (crlf) ++i;
    }
    loading_ = true;
    setPlainText(text);
    loading_ = false;
    // Should the document show anything else, that part counts as entered.
    noteChange();
}

void ExactTextEdit::noteChange() {
    if (loading_) return;
    const QString now = document()->toRawText();
    if (now == shown_) return;
    // One edit (a key, a cut, a paste, an undo step) changes one stretch:
    // what lies before and after it keeps its sources.
    const int oldSize = static_cast<int>(shown_.size());
    const int newSize = static_cast<int>(now.size());
    const int most = std::min(oldSize, newSize);
    int head = 0;
    while (head < most && shown_.at(head) == now.at(head)) ++head;
    int tail = 0;
    while (tail < most - head && shown_.at(oldSize - 1 - tail) == now.at(newSize - 1 - tail)) ++tail;
    const auto first = sources_.begin() + head;
    sources_.erase(first, first + (oldSize - head - tail));
    sources_.insert(sources_.begin() + head, static_cast<std::size_t>(newSize - head - tail), Source{-1, 1});
    shown_ = now;
}

QString ExactTextEdit::text() const {
    QString result;
    result.reserve(original_.size());
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        const Source& s = sources_[i];
        if (s.start >= 0) {
            result.append(QStringView(original_).mid(s.start, s.length));
            continue;
        }
        const QChar c = shown_.at(static_cast<qsizetype>(i));
        result.append(c == QChar::ParagraphSeparator || c == QChar::LineSeparator ? QChar(QLatin1Char('\n')) : c);
    }
    return result;
}

}  // namespace qb
