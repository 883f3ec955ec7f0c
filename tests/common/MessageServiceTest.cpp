#include "common/widgets/MessageService.h"
#include "support/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace wdx::common;
using wdx::testsupport::TMessageBoxes;
using wdx::testsupport::TSeenBox;

TEST(MessageService, HandlerSeesEveryFieldAndAnswers) {
    std::vector<TSeenBox> seen;
    {
        TMessageBoxes boxes;
        boxes.Answers = {TMsgAnswer::No};
        TMsgAnswer a = ShowMessage({nullptr, QStringLiteral("Sure?"), QStringLiteral("Caption"),
                                    TMsgIcon::Warning, TMsgButtons::YesNo});
        EXPECT_EQ(a, TMsgAnswer::No);
        seen = boxes.Seen;
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Text, QStringLiteral("Sure?"));
    EXPECT_EQ(seen[0].Caption, QStringLiteral("Caption"));
    EXPECT_EQ(seen[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(seen[0].Buttons, TMsgButtons::YesNo);
}

TEST(MessageService, ScopesNestAndRestore) {
    TMessageBoxes outer;
    {
        TMessageBoxes inner;
        ShowMessage({});
        EXPECT_EQ(inner.Seen.size(), 1u);
    }
    ShowMessage({});
    EXPECT_EQ(outer.Seen.size(), 1u);
}

TEST(MessageService, RealBoxClosedByEscapeGivesTheSafeAnswer) {
    // No handler: the real QMessageBox runs; close it from the event loop.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->reject();
    });
    EXPECT_EQ(ShowMessage({nullptr, QStringLiteral("t"), QStringLiteral("c"), TMsgIcon::Error,
                           TMsgButtons::OkCancel}),
              TMsgAnswer::Cancel);
}

TEST(MessageService, RealYesNoBoxHasNoAsItsDefault) {
    QMessageBox::StandardButton seenDefault = QMessageBox::NoButton;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                seenDefault = box->standardButton(box->defaultButton());
                box->defaultButton()->click();
            }
    });
    EXPECT_EQ(ShowMessage({nullptr, QStringLiteral("Sure?"), QStringLiteral("c"), TMsgIcon::Warning,
                           TMsgButtons::YesNo}),
              TMsgAnswer::No);
    EXPECT_EQ(seenDefault, QMessageBox::No);
}
