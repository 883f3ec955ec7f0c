#include "AdminTestSupport.h"

#include "common/widgets/RadioGroup.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;

namespace {
// Opens Row for editing, moves it to Scope, presses OK, and hands the still
// open dialog to Then (which must close it) unless OK closed it.
void Move(TFormGuard& Form, int Row, int Scope, std::function<void(TForm2&)> Then = nullptr) {
    ASSERT_GE(Row, 0);
    Find<common::TListView>(Form, "ListView1")->SelectRow(Row);
    TDialogDriver driver([&](TForm2& d) {
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(Scope)->click();
        Find<QPushButton>(d, "OKBtn")->click();
        if (Then)
            Then(d);
    });
    Find<QPushButton>(Form, "Button2")->click();
}
} // namespace

TEST(AdminScopeChange, MovesTheDefinitionAndUpdatesTheRowInPlace) {
    testsupport::TTempStore store;
    Define(scUser, "Mover", "m-host", "07563", "12", true, 2);
    Define(scUser, "Other");
    // A value of other client software, and a sub-key: both go along.
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Mover"), "UseTls", "Y"));
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Mover") + "\\Pool", "Size", "4"));
    TMessageBoxes boxes;
    TFormGuard form;
    const int row = form.Find(QStringLiteral("Mover"), QStringLiteral("User"));
    Move(form, row, 1);
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_FALSE(Exists(scUser, "Mover"));
    EXPECT_EQ(Stored(scSystem, "Mover", "Port"), "07563");
    EXPECT_EQ(Stored(scSystem, "Mover", "ConnectionPooling"), "Y");
    EXPECT_EQ(Stored(scSystem, "Mover", "LogLevel"), "2");
    EXPECT_EQ(Stored(scSystem, "Mover", "UseTls"), "Y");
    EXPECT_EQ(Stored(scSystem, "Mover\\Pool", "Size"), "4");
    EXPECT_EQ(form.Row(row),
              (QStringList{QStringLiteral("Mover"), QStringLiteral("m-host"), QStringLiteral("07563"),
                           QStringLiteral("12"), QStringLiteral("System")}));
    EXPECT_EQ(form.Rows().Count(), 2);

    // And back again.
    Move(form, row, 0);
    EXPECT_FALSE(Exists(scSystem, "Mover"));
    EXPECT_EQ(Stored(scUser, "Mover", "HostName"), "m-host");
    EXPECT_EQ(form.Row(row)[4], QStringLiteral("User"));
}

TEST(AdminScopeChange, AFailedDeleteOfTheOldKeyLeavesBothAndTheDialogOpen) {
    testsupport::TTempStore store;
    Define(scSystem, "Plant");
    Define(scUser, "Mover", "m-host");
    TMessageBoxes boxes;
    TFormGuard form;
    const int row = form.Find(QStringLiteral("Mover"), QStringLiteral("User"));
    {
        TStoreLock lock(store.UserPath()); // the old key cannot be removed now
        ASSERT_TRUE(lock.Held());
        Move(form, row, 1, [&](TForm2& d) {
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot delete Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Mover"));
            EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
            EXPECT_TRUE(d.isVisible());
            // Written first: the new key is there, the old one too.
            EXPECT_EQ(Stored(scSystem, "Mover", "HostName"), "m-host");
            EXPECT_TRUE(Exists(scUser, "Mover"));
            Find<QPushButton>(d, "CancelBtn")->click();
        });
    }
    EXPECT_EQ(form.Row(row)[4], QStringLiteral("User"));
    // Once the store is free, the same move completes.
    boxes.Seen.clear();
    Move(form, row, 1);
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_FALSE(Exists(scUser, "Mover"));
    EXPECT_EQ(form.Row(row)[4], QStringLiteral("System"));
}

TEST(AdminScopeChange, MovingOntoADefinitionOfTheSameNameIsRefused) {
    testsupport::TTempStore store;
    Define(scUser, "Shared", "user-host");
    Define(scSystem, "SHARED", "system-host");
    TMessageBoxes boxes;
    TFormGuard form;
    Move(form, form.Find(QStringLiteral("Shared"), QStringLiteral("User")), 1, [&](TForm2& d) {
        ASSERT_EQ(boxes.Seen.size(), 1u);
        EXPECT_TRUE(boxes.Seen[0].Text.startsWith(QStringLiteral("Duplicate entry. ")))
            << boxes.Texts()[0].toStdString();
        EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Edit Corvanta Component Broker"));
        EXPECT_EQ(boxes.Seen[0].Focus, Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1));
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    EXPECT_EQ(Stored(scSystem, "SHARED", "HostName"), "system-host");
    EXPECT_EQ(Stored(scUser, "Shared", "HostName"), "user-host");
}

// The System scope needs the right to write the System store file.
TEST(AdminScopeChange, WithoutTheRightToWriteSystemNothingIsLost) {
    testsupport::TTempStore store;
    Define(scUser, "Mine", "my-host", "7563", "30", true, 1);
    Define(scSystem, "Plant", "plant");
    TNoSystemWriteRight rights(store);
    if (!rights.Usable())
        GTEST_SKIP() << "the temporary folder cannot be handed to another user";
    TMessageBoxes boxes;
    {
        TFormGuard form;
        ASSERT_EQ(form.Rows().Count(), 2); // both stores stay readable

        // A new System definition: 2001, nothing added.
        TDialogDriver add([&](TForm2& d) {
            Fill(d, QStringLiteral("New"), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
            Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->click();
            Find<QPushButton>(d, "OKBtn")->click();
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot add Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("New"));
            // The operator's own scope still takes it.
            boxes.Seen.clear();
            Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
            Find<QPushButton>(d, "OKBtn")->click();
        });
        Find<QPushButton>(form, "Button1")->click();
        EXPECT_TRUE(boxes.Seen.empty());
        EXPECT_EQ(form.Row(2), (QStringList{QStringLiteral("New"), QStringLiteral("h"), QStringLiteral("1"),
                                            QStringLiteral("1"), QStringLiteral("User")}));

        // Moving a User definition to System: 2002, and the User one stays.
        Move(form, form.Find(QStringLiteral("Mine"), QStringLiteral("User")), 1, [&](TForm2& d) {
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot modify Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Mine"));
            Find<QPushButton>(d, "CancelBtn")->click();
        });
        EXPECT_EQ(form.Row(form.Find(QStringLiteral("Mine"), QStringLiteral("User")))[4],
                  QStringLiteral("User"));

        // Deleting a System definition: 2003, the row stays.
        boxes.Seen.clear();
        Find<common::TListView>(form, "ListView1")
            ->SelectRow(form.Find(QStringLiteral("Plant"), QStringLiteral("System")));
        Find<QPushButton>(form, "Button3")->click();
        ASSERT_EQ(boxes.Seen.size(), 2u);
        EXPECT_EQ(boxes.Seen[1].Text, QStringLiteral("Cannot delete Component Broker details."));
        EXPECT_NE(form.Find(QStringLiteral("Plant"), QStringLiteral("System")), -1);
    }
    EXPECT_EQ(Stored(scUser, "Mine", "HostName"), "my-host");
    EXPECT_EQ(Stored(scUser, "Mine", "ConnectionPooling"), "Y");
    EXPECT_EQ(Stored(scUser, "Mine", "LogLevel"), "1");
    EXPECT_FALSE(Exists(scSystem, "Mine"));
    EXPECT_FALSE(Exists(scSystem, "New"));
    EXPECT_TRUE(Exists(scUser, "New"));
    EXPECT_TRUE(Exists(scSystem, "Plant"));
}
