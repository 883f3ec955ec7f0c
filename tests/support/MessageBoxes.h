#pragma once
// Records every message box of the programs (through the message service,
// common/widgets/MessageService.h) for as long as it lives, and answers each
// one as an operator would: with the next queued answer, else with Answer
// when the box has that button, else with the box's first button (OK, Yes).
//
//   wdx::testsupport::TMessageBoxes Boxes;        // every box answered OK / Yes
//   Boxes.Answers = {TMsgAnswer::No};             // the next box: No
//   ... Boxes.Seen[0].Text, .Caption, .Icon, .Buttons, .Owner, .Focus ...
//
// Recorders nest: the innermost one sees the boxes while it lives.

#include "common/widgets/MessageService.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace wdx::testsupport {

// One box as the program asked for it, with the widget that had the focus in
// its owner's window when it came.
struct TSeenBox : common::TMessageRequest {
    QPointer<QWidget> Focus;
};

class TMessageBoxes {
public:
    TMessageBoxes() = default;
    // Every box not answered from the queue gets Answer where it has that button.
    explicit TMessageBoxes(common::TMsgAnswer Default) : Answer(Default) {}
    TMessageBoxes(const TMessageBoxes&) = delete;
    TMessageBoxes& operator=(const TMessageBoxes&) = delete;

    std::vector<TSeenBox> Seen;
    // Answers for the next boxes, one each, first to last.
    std::deque<common::TMsgAnswer> Answers;
    std::optional<common::TMsgAnswer> Answer;
    // Runs while the box is open, as if from within its own message loop.
    std::function<void(const common::TMessageRequest&)> WhileOpen;

    QStringList Texts() const {
        QStringList texts;
        for (const TSeenBox& box : Seen)
            texts << box.Text;
        return texts;
    }

private:
    static bool HasButton(common::TMsgButtons Buttons, common::TMsgAnswer A) {
        using common::TMsgAnswer;
        switch (Buttons) {
        case common::TMsgButtons::Ok:
            return A == TMsgAnswer::Ok;
        case common::TMsgButtons::OkCancel:
            return A == TMsgAnswer::Ok || A == TMsgAnswer::Cancel;
        case common::TMsgButtons::YesNo:
            return A == TMsgAnswer::Yes || A == TMsgAnswer::No;
        }
        return false;
    }
    common::TMsgAnswer Answered(const common::TMessageRequest& R) {
        Seen.push_back({R, R.Owner ? R.Owner->window()->focusWidget() : nullptr});
        if (WhileOpen)
            WhileOpen(R);
        if (!Answers.empty()) {
            const common::TMsgAnswer a = Answers.front();
            Answers.pop_front();
            return a;
        }
        if (Answer && HasButton(R.Buttons, *Answer))
            return *Answer;
        return R.Buttons == common::TMsgButtons::YesNo ? common::TMsgAnswer::Yes : common::TMsgAnswer::Ok;
    }

    common::TMessageHandlerScope FScope{[this](const common::TMessageRequest& R) { return Answered(R); }};
};

} // namespace wdx::testsupport
