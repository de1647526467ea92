#pragma once
// An Interaction for tests: records every message box and link, answers
// questions from a queue (No when the queue is empty), and counts yields.

#include "core/Interaction.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace qb::test {

struct ShownMessage {
    QString text;
    QString title;
    MsgButtons buttons;
    MsgIcon icon;
};

class ScriptedInteraction : public Interaction {
public:
    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override {
        messages.push_back({text, title, buttons, icon});
        if (buttons == MsgButtons::Ok) return MsgResult::Ok;
        if (answers.empty()) return MsgResult::No;
        const MsgResult a = answers.front();
        answers.pop_front();
        return a;
    }
    bool openUrl(const QString& url) override {
        urls.push_back(url);
        return true;
    }
    void yield() override {
        ++yields;
        if (onYield) onYield();
    }
    int drawPercent() override { return nextDraw; }

    // Texts of the messages shown, in order.
    QStringList texts() const {
        QStringList t;
        for (const auto& m : messages) t << m.text;
        return t;
    }

    std::vector<ShownMessage> messages;
    std::deque<MsgResult> answers;
    QStringList urls;
    int yields = 0;
    int nextDraw = 50;
    std::function<void()> onYield;
};

}  // namespace qb::test
