#pragma once
// A multi-line text box that gives back the text it was given, character
// for character. The text document underneath turns every kind of line
// break (CR LF, lone CR, LF, U+2029) into one paragraph break, and its plain
// text turns those into LF, U+2028 into LF and a no-break space into a
// blank. Statements and error texts carry all of these, so the box keeps,
// for every character it shows, the characters of the original text it
// stands for: what the user did not touch comes back unchanged, also after
// an edit elsewhere in the text.

#include <QPlainTextEdit>
#include <QString>
#include <vector>

namespace qb {

class ExactTextEdit : public QPlainTextEdit {
public:
    explicit ExactTextEdit(QWidget* parent = nullptr);

    void setText(const QString& text);
    // The original characters where the box still shows them; what the user
    // entered as typed, with a line break entered as LF.
    QString text() const;

private:
    void noteChange();

    // Where one shown character came from: original_.mid(start, length), or
    // start -1 for a character the user entered.
    struct Source {
        int start;
        int length;
    };
    QString original_;
    QString shown_;  // the document's raw text, one character per source
    std::vector<Source> sources_;
    bool loading_ = false;
};

}  // namespace qb
