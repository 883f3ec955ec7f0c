#include "AdminTestSupport.h"

#include "common/widgets/RadioGroup.h"
#include "common/widgets/UpDown.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;

namespace {
QToolButton* Arrow(common::TUpDown* UpDown, bool Up) {
    return UpDown->findChild<QToolButton*>(Up ? QStringLiteral("UpButton") : QStringLiteral("DownButton"));
}

// Opens the dialog from the list window (Add, or Edit on Row) and drives it.
void Add(TFormGuard& Form, std::function<void(TForm2&)> Drive) {
    TDialogDriver driver(std::move(Drive));
    Find<QPushButton>(Form, "Button1")->click();
}
void Edit(TFormGuard& Form, int Row, std::function<void(TForm2&)> Drive) {
    ASSERT_GE(Row, 0);
    Find<common::TListView>(Form, "ListView1")->SelectRow(Row);
    TDialogDriver driver(std::move(Drive));
    Find<QPushButton>(Form, "Button2")->click();
}
} // namespace

TEST(AdminEditForm, NewModeStartsEmptyWithTheStartingValues) {
    testsupport::TTempStore store;
    TMessageBoxes boxes;
    TFormGuard form;
    Add(form, [&](TForm2& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("New Corvanta Component Broker"));
        EXPECT_EQ(d.size(), QSize(249, 398));
        EXPECT_TRUE(d.windowFlags() & Qt::WindowContextHelpButtonHint);
        EXPECT_EQ(d.parentWidget(), form.Form);
        EXPECT_EQ((QStringList{Find<QLabel>(d, "Label1")->text(), Find<QLabel>(d, "Label2")->text(),
                               Find<QLabel>(d, "Label3")->text(), Find<QLabel>(d, "Label4")->text()}),
                  (QStringList{QStringLiteral("Component Broker:"), QStringLiteral("Host name:"),
                               QStringLiteral("Port number:"), QStringLiteral("Timeout (s):")}));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->title(), QStringLiteral("Type of setting"));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->text(), QStringLiteral("User"));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->text(), QStringLiteral("System"));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->ItemIndex(), 0);
        EXPECT_EQ(
            (QStringList{Find<QCheckBox>(d, "chkbConnectionPooling")->text(),
                         Find<QGroupBox>(d, "grpbLogging")->title(), Find<QCheckBox>(d, "chkbComms")->text(),
                         Find<QCheckBox>(d, "chkbCalls")->text(), Find<QPushButton>(d, "OKBtn")->text(),
                         Find<QPushButton>(d, "CancelBtn")->text()}),
            (QStringList{QStringLiteral("Connection pooling"), QStringLiteral("Logging"),
                         QStringLiteral("Communications"), QStringLiteral("Function calls"),
                         QStringLiteral("OK"), QStringLiteral("Cancel")}));
        EXPECT_TRUE(Find<QPushButton>(d, "OKBtn")->isDefault());
        EXPECT_FALSE(Find<QLineEdit>(d, "Edit1")->isReadOnly());
        EXPECT_EQ(d.focusWidget(), Find<QLineEdit>(d, "Edit1"));
        EXPECT_EQ((QStringList{Find<QLineEdit>(d, "Edit1")->text(), Find<QLineEdit>(d, "Edit2")->text(),
                               Find<QLineEdit>(d, "Edit3")->text(), Find<QLineEdit>(d, "Edit4")->text()}),
                  (QStringList{QStringLiteral(""), QStringLiteral(""), QStringLiteral("7563"),
                               QStringLiteral("0")}));
        EXPECT_FALSE(Find<QCheckBox>(d, "chkbConnectionPooling")->isChecked() ||
                     Find<QCheckBox>(d, "chkbComms")->isChecked() ||
                     Find<QCheckBox>(d, "chkbCalls")->isChecked());
        EXPECT_EQ(Find<common::TUpDown>(d, "UpDown1")->Min(), 1025);
        EXPECT_EQ(Find<common::TUpDown>(d, "UpDown1")->Max(), 32767);
        EXPECT_EQ(Find<common::TUpDown>(d, "UpDown2")->Max(), 1000);
        EXPECT_FALSE(Find<common::TUpDown>(d, "UpDown1")->Wrap());
        EXPECT_TRUE(d.Changed());
        QStringList order;
        QWidget* w = Find<QLineEdit>(d, "Edit1");
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->window() == &d)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != Find<QLineEdit>(d, "Edit1"));
        EXPECT_EQ(
            order,
            (QStringList{QStringLiteral("Edit1"), QStringLiteral("Edit2"), QStringLiteral("Edit3"),
                         QStringLiteral("UpDown1"), QStringLiteral("Edit4"), QStringLiteral("UpDown2"),
                         QStringLiteral("RadioGroup1Item0"), QStringLiteral("RadioGroup1Item1"),
                         QStringLiteral("chkbConnectionPooling"), QStringLiteral("chkbComms"),
                         QStringLiteral("chkbCalls"), QStringLiteral("OKBtn"), QStringLiteral("CancelBtn")}));
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(form.Rows().Count(), 0);
    // The dialog is gone once the modal showing returns.
    EXPECT_EQ(form->findChild<TForm2*>(), nullptr);
}

TEST(AdminEditForm, ChecksRunInOrderWithTheirMessageAndFocus) {
    testsupport::TTempStore store;
    Define(scSystem, "ABC");
    TMessageBoxes boxes;
    TFormGuard form;
    struct TCase {
        const char *Name, *Host, *Port, *TimeOut, *Text, *Focus;
    };
    const TCase cases[] = {
        {"", "", "", "", "Invalid input.", "Edit1"},
        {"n", "", "", "", "Invalid input.", "Edit2"},
        {"n", "h", "", "x", "Invalid input.", "Edit3"},
        {"n", "h", "x", "", "Invalid input.", "Edit4"},
        {"a\\b", "h", "1", "1", "Invalid input. A Component Broker name cannot contain \"\\\".", "Edit1"},
        {"abc", "", "1", "1", "Invalid input.", "Edit2"},    // empty fields come first
        {"abc", "h", "x", "1", "Duplicate entry.", "Edit1"}, // in another scope, another case
        {"n", "h", "  ", "1", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", "x", "y", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", " 7563", "1", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", "2147483648", "1", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", "+-1", "1", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", "0x10", "1", "Invalid entry: must be an integer.", "Edit3"},
        {"n", "h", "1", "1.5", "Invalid entry: must be an integer.", "Edit4"},
    };
    Add(form, [&](TForm2& d) {
        for (const TCase& c : cases) {
            boxes.Seen.clear();
            Fill(d, QString::fromUtf8(c.Name), QString::fromUtf8(c.Host), QString::fromUtf8(c.Port),
                 QString::fromUtf8(c.TimeOut));
            Find<QPushButton>(d, "OKBtn")->click();
            ASSERT_EQ(boxes.Seen.size(), 1u) << c.Name << "/" << c.Port;
            const auto& box = boxes.Seen[0];
            EXPECT_EQ(box.Text, QString::fromUtf8(c.Text)) << c.Name << "/" << c.Port;
            EXPECT_EQ(box.Caption, QStringLiteral("New Corvanta Component Broker"));
            EXPECT_EQ(box.Icon, common::TMsgIcon::Error);
            EXPECT_EQ(box.Buttons, common::TMsgButtons::Ok);
            ASSERT_TRUE(box.Focus);
            EXPECT_EQ(box.Focus->objectName(), QString::fromUtf8(c.Focus)) << c.Name << "/" << c.Port;
            // The dialog stays open with the input as typed.
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(Find<QLineEdit>(d, "Edit3")->text(), QString::fromUtf8(c.Port));
        }
        // A name followed by a blank is another name; the widest numbers and
        // a sign pass; no range is checked.
        boxes.Seen.clear();
        Fill(d, QStringLiteral("ABC "), QStringLiteral("h"), QStringLiteral("-2147483648"),
             QStringLiteral("+2147483647"));
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_TRUE(boxes.Seen.empty()) << boxes.Texts().join(u'|').toStdString();
    EXPECT_EQ(form.Rows().Count(), 2);
    EXPECT_EQ(Stored(scUser, "ABC ", "Port"), "-2147483648");
    EXPECT_EQ(Stored(scUser, "ABC ", "TimeOut"), "+2147483647");
    EXPECT_FALSE(Exists(scUser, "a"));
}

TEST(AdminEditForm, AddWritesAndAppendsAndKeepsTheSelection) {
    testsupport::TTempStore store;
    Define(scUser, "First");
    Define(scSystem, "Second");
    TMessageBoxes boxes;
    TFormGuard form;
    Find<common::TListView>(form, "ListView1")->SelectRow(0);
    Add(form, [](TForm2& d) {
        Fill(d, QStringLiteral("Plant"), QStringLiteral("plant.example.com"), QStringLiteral("07563"),
             QStringLiteral("-5"));
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->click();
        Find<QCheckBox>(d, "chkbConnectionPooling")->click();
        Find<QCheckBox>(d, "chkbComms")->click();
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_TRUE(boxes.Seen.empty());
    ASSERT_EQ(form.Rows().Count(), 3);
    EXPECT_EQ(form.Row(2),
              (QStringList{QStringLiteral("Plant"), QStringLiteral("plant.example.com"),
                           QStringLiteral("07563"), QStringLiteral("-5"), QStringLiteral("System")}));
    EXPECT_EQ(Find<common::TListView>(form, "ListView1")->SelectedRow(), 0);
    EXPECT_EQ(Stored(scSystem, "Plant", "HostName"), "plant.example.com");
    EXPECT_EQ(Stored(scSystem, "Plant", "Port"), "07563");
    EXPECT_EQ(Stored(scSystem, "Plant", "TimeOut"), "-5");
    EXPECT_EQ(Stored(scSystem, "Plant", "ConnectionPooling"), "Y");
    EXPECT_EQ(Stored(scSystem, "Plant", "LogLevel"), "1");
    EXPECT_FALSE(Exists(scUser, "Plant"));

    // A User definition goes after it, with both logging options.
    Add(form, [](TForm2& d) {
        Fill(d, QStringLiteral("Mine"), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
        Find<QCheckBox>(d, "chkbComms")->click();
        Find<QCheckBox>(d, "chkbCalls")->click();
        QTest::keyClick(Find<QLineEdit>(d, "Edit4"), Qt::Key_Return); // OK is the default button
    });
    EXPECT_EQ(form.Row(3), (QStringList{QStringLiteral("Mine"), QStringLiteral("h"), QStringLiteral("1"),
                                        QStringLiteral("1"), QStringLiteral("User")}));
    EXPECT_EQ(Stored(scUser, "Mine", "LogLevel"), "3");
    EXPECT_EQ(Stored(scUser, "Mine", "ConnectionPooling"), "N");
}

TEST(AdminEditForm, CancelInNewModeClearsTheSelectionTheCloseBoxDoesNot) {
    testsupport::TTempStore store;
    Define(scUser, "First");
    TMessageBoxes boxes;
    TFormGuard form;
    for (int way = 0; way < 3; ++way) {
        Find<common::TListView>(form, "ListView1")->SelectRow(0);
        Add(form, [way](TForm2& d) {
            Fill(d, QStringLiteral("New"), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
            if (way == 0)
                Find<QPushButton>(d, "CancelBtn")->click();
            else if (way == 1)
                QTest::keyClick(Find<QLineEdit>(d, "Edit2"), Qt::Key_Escape);
            else
                d.close();
        });
        EXPECT_EQ(Find<common::TListView>(form, "ListView1")->SelectedRow(), way == 2 ? 0 : -1) << way;
        EXPECT_EQ(Find<QPushButton>(form, "Button2")->isEnabled(), way == 2) << way;
        EXPECT_EQ(Find<QPushButton>(form, "Button3")->isEnabled(), way == 2) << way;
        EXPECT_EQ(form.Rows().Count(), 1);
        EXPECT_FALSE(Exists(scUser, "New"));
    }
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST(AdminEditForm, EditShowsTheRowAndTheStoredOptions) {
    testsupport::TTempStore store;
    Define(scSystem, "Plant", "plant", "07563", "30", true, 3);
    Define(scUser, "Seven", "h", "1", "1", false, 0);
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Seven"), "LogLevel", "7"));
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Seven"), "ConnectionPooling", "y"));
    ASSERT_TRUE(registry::DeleteValue(TRegRoot::User, BrokerKey("Seven"), "TimeOut"));
    TMessageBoxes boxes;
    TFormGuard form;
    Edit(form, form.Find(QStringLiteral("Plant"), QStringLiteral("System")), [](TForm2& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Edit Corvanta Component Broker"));
        EXPECT_TRUE(Find<QLineEdit>(d, "Edit1")->isReadOnly());
        EXPECT_FALSE(Find<QLineEdit>(d, "Edit1")->focusPolicy() & Qt::TabFocus);
        EXPECT_EQ((QStringList{Find<QLineEdit>(d, "Edit1")->text(), Find<QLineEdit>(d, "Edit2")->text(),
                               Find<QLineEdit>(d, "Edit3")->text(), Find<QLineEdit>(d, "Edit4")->text()}),
                  (QStringList{QStringLiteral("Plant"), QStringLiteral("plant"), QStringLiteral("07563"),
                               QStringLiteral("30")}));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->ItemIndex(), 1);
        EXPECT_EQ(d.LoadedScope(), 1);
        EXPECT_TRUE(Find<QCheckBox>(d, "chkbConnectionPooling")->isChecked() &&
                    Find<QCheckBox>(d, "chkbComms")->isChecked() &&
                    Find<QCheckBox>(d, "chkbCalls")->isChecked());
        EXPECT_FALSE(d.Changed());
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    // The fields come from the row (time-out "0"), the options from the
    // store; OK without a change writes nothing, though the two differ.
    Edit(form, form.Find(QStringLiteral("Seven"), QStringLiteral("User")), [](TForm2& d) {
        EXPECT_EQ(Find<QLineEdit>(d, "Edit4")->text(), QStringLiteral("0"));
        EXPECT_EQ(d.LoadedScope(), 0);
        EXPECT_FALSE(Find<QCheckBox>(d, "chkbConnectionPooling")->isChecked());
        EXPECT_TRUE(Find<QCheckBox>(d, "chkbComms")->isChecked() &&
                    Find<QCheckBox>(d, "chkbCalls")->isChecked());
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(Stored(scUser, "Seven", "TimeOut"), "<missing>");
    EXPECT_EQ(Stored(scUser, "Seven", "LogLevel"), "7");
    // Cancel in edit mode keeps the selection.
    EXPECT_EQ(Find<common::TListView>(form, "ListView1")->SelectedRow(),
              form.Find(QStringLiteral("Seven"), QStringLiteral("User")));
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST(AdminEditForm, OnlyTheOperatorsChangesCount) {
    testsupport::TTempStore store;
    Define(scUser, "B", "h", "1", "1");
    TMessageBoxes boxes;
    TFormGuard form;
    const int row = form.Find(QStringLiteral("B"), QStringLiteral("User"));
    struct TChange {
        const char* What;
        std::function<void(TForm2&)> Make;
        bool Writes;
    };
    const TChange changes[] = {
        {"nothing", [](TForm2&) {}, false},
        {"scope there and back",
         [](TForm2& d) {
             Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->click();
             Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
         },
         false},
        {"a text set by code", [](TForm2& d) { Find<QLineEdit>(d, "Edit2")->setText(QStringLiteral("h")); },
         false},
        {"a box clicked twice",
         [](TForm2& d) {
             Find<QCheckBox>(d, "chkbCalls")->click();
             Find<QCheckBox>(d, "chkbCalls")->click();
         },
         true},
        {"a pasted text", [](TForm2& d) { Enter(Find<QLineEdit>(d, "Edit2"), QStringLiteral("p")); }, true},
        {"a typed text",
         [](TForm2& d) {
             QTest::keyClick(Find<QLineEdit>(d, "Edit2"), Qt::Key_End);
             QTest::keyClicks(Find<QLineEdit>(d, "Edit2"), QStringLiteral("x"));
         },
         true},
        {"an arrow",
         [](TForm2& d) {
             QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown2"), true), Qt::LeftButton);
         },
         true},
    };
    for (const TChange& c : changes) {
        registry::DeleteValue(TRegRoot::User, BrokerKey("B"), "LogLevel");
        Edit(form, row, [&](TForm2& d) {
            c.Make(d);
            EXPECT_EQ(d.Changed(), c.Writes) << c.What;
            Find<QPushButton>(d, "OKBtn")->click();
        });
        EXPECT_EQ(Stored(scUser, "B", "LogLevel") != "<missing>", c.Writes) << c.What;
    }
    // The arrow marked its field as changed by the operator and the typed
    // host name went into the row.
    EXPECT_EQ(form.Row(row), (QStringList{QStringLiteral("B"), QStringLiteral("px"), QStringLiteral("1"),
                                          QStringLiteral("2"), QStringLiteral("User")}));
    EXPECT_TRUE(boxes.Seen.empty());
    Edit(form, row, [](TForm2& d) {
        QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown1"), false), Qt::LeftButton);
        EXPECT_TRUE(Find<QLineEdit>(d, "Edit3")->isModified());
        EXPECT_FALSE(Find<QLineEdit>(d, "Edit4")->isModified());
        Find<QPushButton>(d, "CancelBtn")->click();
    });
}

TEST(AdminEditForm, UpDownsWritePlainDigitsAndNeverRewriteOrLimitTheText) {
    testsupport::TTempStore store;
    Define(scUser, "Low", "h", "80", "999");
    Define(scUser, "Zero", "h", "07563", "abc");
    TMessageBoxes boxes;
    TFormGuard form;
    Edit(form, form.Find(QStringLiteral("Low"), QStringLiteral("User")), [](TForm2& d) {
        // Shown as stored, though outside the up-down's range.
        EXPECT_EQ(Find<QLineEdit>(d, "Edit3")->text(), QStringLiteral("80"));
        EXPECT_EQ(Find<common::TUpDown>(d, "UpDown1")->Position(), 1025);
        QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown2"), true), Qt::LeftButton);
        QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown2"), true), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit4")->text(), QStringLiteral("1000"));
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(Stored(scUser, "Low", "TimeOut"), "1000");
    EXPECT_EQ(Stored(scUser, "Low", "Port"), "80");
    Edit(form, form.Find(QStringLiteral("Zero"), QStringLiteral("User")), [](TForm2& d) {
        EXPECT_EQ(Find<QLineEdit>(d, "Edit3")->text(), QStringLiteral("07563"));
        EXPECT_EQ(Find<QLineEdit>(d, "Edit4")->text(), QStringLiteral("abc"));
        QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown1"), true), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit3")->text(), QStringLiteral("7564"));
        // A text that is no number steps from the last position (0 here).
        QTest::mouseClick(Arrow(Find<common::TUpDown>(d, "UpDown2"), true), Qt::LeftButton);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit4")->text(), QStringLiteral("1"));
        // Typing is not limited by the range.
        Enter(Find<QLineEdit>(d, "Edit3"), QStringLiteral("99999999"));
        EXPECT_EQ(Find<QLineEdit>(d, "Edit3")->text(), QStringLiteral("99999999"));
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(Stored(scUser, "Zero", "Port"), "99999999");
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST(AdminEditForm, LogLevelThatIsNoNumberOpensTheDialogAndLosesNothing) {
    testsupport::TTempStore store;
    Define(scUser, "Odd", "h", "1", "1", true, 0);
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Odd"), "LogLevel", "abc"));
    TMessageBoxes boxes;
    TFormGuard form;
    Edit(form, 0, [&](TForm2& d) {
        ASSERT_EQ(boxes.Seen.size(), 1u);
        const auto& box = boxes.Seen[0];
        EXPECT_EQ(box.Caption, QStringLiteral("Odd"));
        EXPECT_EQ(box.Icon, common::TMsgIcon::Warning);
        EXPECT_EQ(box.Owner, &d);
        EXPECT_TRUE(box.Text.contains(QStringLiteral("\"abc\""))) << box.Text.toStdString();
        EXPECT_TRUE(box.Text.startsWith(QStringLiteral("Cannot read the logging options:")))
            << box.Text.toStdString();
        EXPECT_TRUE(Find<QCheckBox>(d, "chkbConnectionPooling")->isChecked());
        EXPECT_FALSE(Find<QCheckBox>(d, "chkbComms")->isChecked() ||
                     Find<QCheckBox>(d, "chkbCalls")->isChecked());
        EXPECT_FALSE(d.Changed());
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(Stored(scUser, "Odd", "LogLevel"), "abc");
    // Saved with a change, the boxes as shown are written.
    Edit(form, 0, [](TForm2& d) {
        QTest::keyClick(Find<QLineEdit>(d, "Edit2"), Qt::Key_End);
        QTest::keyClicks(Find<QLineEdit>(d, "Edit2"), QStringLiteral("2"));
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_EQ(Stored(scUser, "Odd", "LogLevel"), "0");
    EXPECT_EQ(Stored(scUser, "Odd", "ConnectionPooling"), "Y");
    EXPECT_EQ(Stored(scUser, "Odd", "HostName"), "h2");
}

TEST(AdminEditForm, LongTextsAndAnyCharactersRoundTripExactly) {
    testsupport::TTempStore store;
    TMessageBoxes boxes;
    TFormGuard form;
    // 253 characters as the registry counts them (🙂 is two): a key name has at most 255.
    const QString name = QString::fromUtf8("Brøker-日本-🙂-") + QString(240, QChar(0x00e9));
    const QString host = QString::fromUtf8("höst.пример.") + QString(5000, QLatin1Char('h'));
    Add(form, [&](TForm2& d) {
        Fill(d, name, host, QStringLiteral("7563"), QStringLiteral("0"));
        Find<QPushButton>(d, "OKBtn")->click();
    });
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(form.Row(0),
              (QStringList{name, host, QStringLiteral("7563"), QStringLiteral("0"), QStringLiteral("User")}));
    EXPECT_EQ(QString::fromStdString(Stored(scUser, name.toStdString(), "HostName")), host);
    EXPECT_EQ(brokerstore::ListBrokerNames(scUser), std::vector<std::string>{name.toStdString()});
    // The same name differing in case only (É for é) is a duplicate.
    Add(form, [&](TForm2& d) {
        Fill(d, name.toUpper(), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
        Find<QPushButton>(d, "OKBtn")->click();
        EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Duplicate entry.")});
        // Text that cannot be stored as typed (an unpaired surrogate) is refused.
        boxes.Seen.clear();
        Fill(d, QStringLiteral("n"), QString(QChar(0xd800)) + u'h', QStringLiteral("1"), QStringLiteral("1"));
        Find<QPushButton>(d, "OKBtn")->click();
        ASSERT_EQ(boxes.Seen.size(), 1u);
        EXPECT_EQ(boxes.Seen[0].Focus, Find<QLineEdit>(d, "Edit2"));
        EXPECT_TRUE(boxes.Seen[0].Text.startsWith(QStringLiteral("Invalid input. ")))
            << boxes.Texts()[0].toStdString();
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    EXPECT_FALSE(Exists(scUser, "n"));
    Edit(form, 0, [&](TForm2& d) {
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), name);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit2")->text(), host);
        Find<QPushButton>(d, "CancelBtn")->click();
    });
}

TEST(AdminEditForm, AFailedWriteShowsItsMessageAndKeepsTheDialogAndTheList) {
    testsupport::TTempStore store;
    Define(scUser, "Mine");
    TMessageBoxes boxes;
    TFormGuard form;
    {
        TStoreLock lock(store.UserPath()); // another program is writing the User store
        ASSERT_TRUE(lock.Held());
        Add(form, [&](TForm2& d) {
            Fill(d, QStringLiteral("New"), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
            Find<QPushButton>(d, "OKBtn")->click();
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot add Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("New"));
            EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("New"));
            Find<QPushButton>(d, "CancelBtn")->click();
        });
        boxes.Seen.clear();
        Edit(form, 0, [&](TForm2& d) {
            QTest::keyClicks(Find<QLineEdit>(d, "Edit2"), QStringLiteral("x"));
            Find<QPushButton>(d, "OKBtn")->click();
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot modify Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Mine"));
            Find<QPushButton>(d, "CancelBtn")->click();
        });
    }
    EXPECT_EQ(form.Rows().Count(), 1);
    EXPECT_EQ(form.Row(0)[1], QStringLiteral("localhost"));
    EXPECT_EQ(Stored(scUser, "Mine", "HostName"), "localhost");
}
