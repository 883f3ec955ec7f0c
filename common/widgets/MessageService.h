#pragma once
// Every message box of both programs goes through here, so that a test can
// read each box (owner, text, caption, icon, buttons) and give the answer.

#include <QString>
#include <functional>

class QWidget;

namespace wdx::common {

enum class TMsgIcon { Error, Warning, Information, Question };
// A Yes/No box asks before something is undone: No is its default button.
enum class TMsgButtons { Ok, OkCancel, YesNo };
enum class TMsgAnswer { Ok, Cancel, Yes, No };

struct TMessageRequest {
    QWidget* Owner = nullptr;
    QString Text;
    QString Caption;
    TMsgIcon Icon = TMsgIcon::Error;
    TMsgButtons Buttons = TMsgButtons::Ok;
};

using TMessageHandler = std::function<TMsgAnswer(const TMessageRequest&)>;

// Shows a box (modal, owned by Request.Owner) and returns the button pressed.
// Closing the box without a button counts as Cancel, No or Ok, whichever of
// them the box has.
TMsgAnswer ShowMessage(const TMessageRequest& Request);

// Replaces the real box for as long as the returned guard lives (tests).
class TMessageHandlerScope {
public:
    explicit TMessageHandlerScope(TMessageHandler Handler);
    ~TMessageHandlerScope();
    TMessageHandlerScope(const TMessageHandlerScope&) = delete;
    TMessageHandlerScope& operator=(const TMessageHandlerScope&) = delete;

private:
    TMessageHandler FPrevious;
};

} // namespace wdx::common
