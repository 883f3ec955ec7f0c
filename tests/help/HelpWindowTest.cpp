#include "ChmSample.h"

#include "WdxVersion.h"
#include "clntadmin/Startup.h"
#include "common/Application.h"
#include "common/help/ChmHelpService.h"
#include "common/help/HelpWindow.h"
#include "common/widgets/MessageService.h"
#include "monitor/Startup.h"
#include "support/Controls.h"
#include "support/MessageBoxes.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace wdx::common;
using wdx::test::SampleChm;
using wdx::testsupport::Find;

namespace {

// A point on the page, in the viewer's viewport, inside the link to Href.
QPoint LinkPoint(const THelpBrowser* Browser, const QString& Href) {
    const QTextDocument* doc = Browser->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QTextFragment f = it.fragment(); f.charFormat().anchorHref() == Href) {
                QTextCursor cursor(const_cast<QTextDocument*>(doc));
                cursor.setPosition(f.position() + f.length() / 2);
                return Browser->cursorRect(cursor).center();
            }
    ADD_FAILURE() << "the page has no link to " << Href.toStdString();
    return {};
}

class HelpWindowTest : public ::testing::Test {
protected:
    void TearDown() override { Service.CloseAll(); }

    bool Context(std::intptr_t Id, const QString& File = SampleChm()) {
        return Service.HtmlHelp(nullptr, File, HH_HELP_CONTEXT, THtmlHelpData{Id});
    }
    THelpWindow* Window() const { return Service.Windows().isEmpty() ? nullptr : Service.Windows().first(); }
    QString PageText() const { return Find<THelpBrowser>(Window(), "Browser")->document()->toPlainText(); }

    TChmHelpService Service;
};

TEST_F(HelpWindowTest, ContextOpensItsTopic) {
    ASSERT_TRUE(Context(118));
    THelpWindow* w = Window();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sample Help"));
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/a.htm"));
    EXPECT_TRUE(PageText().contains(QStringLiteral("Caf\u00e9"))); // decoded as the page says

    // The same file's next request reuses the window.
    ASSERT_TRUE(Context(116));
    EXPECT_EQ(Service.Windows().size(), 1);
    EXPECT_EQ(Window(), w);
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm"));
}

TEST_F(HelpWindowTest, MissingTopicOrFileFails) {
    EXPECT_FALSE(Context(999));
    EXPECT_TRUE(Service.Windows().isEmpty()); // nothing left behind

    ASSERT_TRUE(Context(118));
    EXPECT_FALSE(Context(999));
    ASSERT_EQ(Service.Windows().size(), 1); // the page being read stays
    EXPECT_EQ(Window()->CurrentTopic(), QStringLiteral("/a.htm"));

    QTemporaryDir dir;
    EXPECT_FALSE(Context(118, dir.filePath(QStringLiteral("none.chm"))));
    const QString bad = dir.filePath(QStringLiteral("bad.chm"));
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(2048, '\x7f'));
    f.close();
    EXPECT_FALSE(Context(118, bad));
    const QString cut = dir.filePath(QStringLiteral("cut.chm"));
    QFile src(SampleChm());
    ASSERT_TRUE(src.open(QIODevice::ReadOnly));
    QFile dst(cut);
    ASSERT_TRUE(dst.open(QIODevice::WriteOnly));
    dst.write(src.readAll().chopped(200));
    dst.close();
    EXPECT_FALSE(Context(118, cut));
    EXPECT_FALSE(Service.HtmlHelp(nullptr, std::nullopt, HH_HELP_CONTEXT, THtmlHelpData{std::intptr_t(118)}));
    EXPECT_EQ(Service.Windows().size(), 1);
}

TEST_F(HelpWindowTest, LinksAndImagesComeFromTheFile) {
    ASSERT_TRUE(Context(118));
    THelpWindow* w = Window();
    auto* browser = Find<THelpBrowser>(w, "Browser");
    EXPECT_EQ(browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("img/red.png")))
                  .toByteArray(),
              wdx::test::SamplePng());
    // The picture is drawn on the page.
    w->resize(600, 400);
    const QImage shot = browser->viewport()->grab().toImage();
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            red += shot.pixelColor(x, y) == QColor(Qt::red);
    EXPECT_GE(red, 16 * 16 / 2);

    // A click on a link (with an anchor), and one back up a folder.
    const QPoint link = LinkPoint(browser, QStringLiteral("sub/b.htm#part"));
    ASSERT_EQ(browser->anchorAt(link), QStringLiteral("sub/b.htm#part"));
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, link);
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm"));
    EXPECT_TRUE(PageText().contains(QStringLiteral("Topic B")));
    w->OpenLink(QUrl(QStringLiteral("../a.htm")));
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/a.htm"));
    // Back goes to the page before.
    auto* back = Find<QToolButton>(w, "BackBtn");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm"));

    // A link of the form file.chm::/topic, and a broken one.
    w->OpenLink(QUrl(QStringLiteral("ms-its:sample.chm::/a.htm")));
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/a.htm"));
    w->OpenLink(QUrl(QStringLiteral("missing.htm")));
    EXPECT_TRUE(PageText().contains(QStringLiteral("The topic cannot be found.")));
}

TEST_F(HelpWindowTest, ContentsPage) {
    ASSERT_TRUE(Service.HtmlHelp(nullptr, SampleChm(), HH_DISPLAY_TOC, THtmlHelpData{std::intptr_t(0)}));
    THelpWindow* w = Window();
    ASSERT_TRUE(w);
    EXPECT_EQ(Find<QTabWidget>(w, "Tabs")->currentIndex(), 0);
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/a.htm")); // the default topic
    auto* tree = Find<QTreeWidget>(w, "ContentsTree");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_EQ(top->text(0), QStringLiteral("Topic A"));
    ASSERT_EQ(top->childCount(), 1);
    EXPECT_EQ(top->child(0)->text(0), QStringLiteral("Topic B & more"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(top->child(0)).center());
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm"));
}

TEST_F(HelpWindowTest, IndexWithKeyword) {
    ASSERT_TRUE(
        Service.HtmlHelp(nullptr, SampleChm(), HH_DISPLAY_INDEX, THtmlHelpData{QStringLiteral("Beta")}));
    THelpWindow* w = Window();
    ASSERT_TRUE(w);
    EXPECT_EQ(Find<QTabWidget>(w, "Tabs")->currentIndex(), 1);
    auto* edit = Find<QLineEdit>(w, "IndexEdit");
    auto* list = Find<QListWidget>(w, "IndexList");
    EXPECT_EQ(edit->text(), QStringLiteral("Beta"));
    ASSERT_TRUE(list->currentItem());
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("beta"));
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm")); // an entry equal to the keyword is shown

    // A keyword that only starts an entry chooses it without showing it.
    edit->setText(QStringLiteral("betam"));
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("betamax"));
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/sub/b.htm"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(w->CurrentTopic(), QStringLiteral("/a.htm"));
}

TEST_F(HelpWindowTest, PopupTextAtThePoint) {
    THHPopup p;
    p.idString = 1001;
    p.pt = QPoint(300, 200);
    p.clrBackground = 0x0000FF; // red, as the platform writes colours
    const QString topics = SampleChm() + QStringLiteral("::/CSHelp.txt");
    ASSERT_TRUE(Service.HtmlHelp(nullptr, topics, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    QPointer<THelpPopup> popup = Service.Popup();
    ASSERT_TRUE(popup);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->Text(), QStringLiteral("First line runs on.\n\nSecond paragraph."));
    EXPECT_EQ(popup->frameGeometry().top(), 200);
    EXPECT_LE(std::abs(popup->frameGeometry().center().x() - 300), 1);
    EXPECT_EQ(popup->palette().color(QPalette::Window), QColor(255, 0, 0));

    // A topic that is not there fails and leaves the open pop-up alone.
    p.idString = 4711;
    EXPECT_FALSE(Service.HtmlHelp(nullptr, topics, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    EXPECT_EQ(Service.Popup(), popup.data());
    EXPECT_FALSE(Service.HtmlHelp(nullptr, SampleChm() + QStringLiteral("::/None.txt"), HH_DISPLAY_TEXT_POPUP,
                                  THtmlHelpData{p}));

    // Without a file: the record's own text, and nothing at all without one.
    p.pszText.clear();
    EXPECT_FALSE(Service.HtmlHelp(nullptr, std::nullopt, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    p.pszText = QStringLiteral("Plain text");
    ASSERT_TRUE(Service.HtmlHelp(nullptr, std::nullopt, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    EXPECT_EQ(Service.Popup()->Text(), QStringLiteral("Plain text"));
    EXPECT_FALSE(popup); // one pop-up at a time
}

TEST_F(HelpWindowTest, PopupStaysOnTheScreen) {
    THHPopup p;
    p.idString = 1002;
    p.pt = QPoint(-500, 100000);
    ASSERT_TRUE(Service.HtmlHelp(nullptr, SampleChm() + QStringLiteral("::/CSHelp.txt"),
                                 HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    const QRect screen = Service.Popup()->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(Service.Popup()->frameGeometry()));
}

TEST_F(HelpWindowTest, CloseAllClosesEverything) {
    ASSERT_TRUE(Context(118));
    THHPopup p;
    p.pszText = QStringLiteral("x");
    ASSERT_TRUE(Service.HtmlHelp(nullptr, std::nullopt, HH_DISPLAY_TEXT_POPUP, THtmlHelpData{p}));
    QPointer<THelpWindow> w = Window();
    QPointer<THelpPopup> popup = Service.Popup();
    EXPECT_TRUE(Service.HtmlHelp(nullptr, std::nullopt, HH_CLOSE_ALL, THtmlHelpData{std::intptr_t(0)}));
    EXPECT_FALSE(w);
    EXPECT_FALSE(popup);
    EXPECT_TRUE(Service.Windows().isEmpty());
}

TEST_F(HelpWindowTest, WinHelpAndOtherCommandsFail) {
    EXPECT_FALSE(Service.WinHelp(nullptr, QStringLiteral("Guide.hlp"), HELP_CONTEXT, 1));
    EXPECT_FALSE(Service.HtmlHelp(nullptr, SampleChm(), 3 /* search */, THtmlHelpData{std::intptr_t(0)}));
    EXPECT_TRUE(Service.Windows().isEmpty());
}

TEST_F(HelpWindowTest, HelpWindowBelongsToTheCallersWindow) {
    QWidget owner;
    QWidget child(&owner);
    ASSERT_TRUE(Service.HtmlHelp(&child, SampleChm(), HH_HELP_CONTEXT, THtmlHelpData{std::intptr_t(118)}));
    EXPECT_EQ(Window()->parentWidget(), &owner);
    EXPECT_TRUE(Window()->isWindow());
}

TEST_F(HelpWindowTest, OpenHelpDoesNotKeepTheProgramRunning) {
    QWidget main;
    main.show();
    ASSERT_TRUE(Context(118)); // owned by no window of the program
    ASSERT_TRUE(Window()->isVisible());
    bool timedOut = false;
    QTimer::singleShot(0, &main, &QWidget::close);
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec(); // ends when the last window of the program closes
    EXPECT_FALSE(timedOut);
}

} // namespace

// The monitor's command line has no --version, so the help viewer's About
// tells each program's name, version and title.
TEST(HelpWindowAbout, TellsTheProgramAndItsVersion) {
    auto* app = TWDXApplication::Instance();
    ASSERT_TRUE(app);
    const QString name = app->applicationName(), version = app->applicationVersion(), title = app->Title();
    for (bool monitor : {true, false}) {
        if (monitor)
            app->Start(wdx::monitor::Program);
        else
            app->Start(wdx::clntadmin::Program);
        EXPECT_EQ(QGuiApplication::desktopFileName(),
                  QString::fromLatin1(monitor ? wdx::MonitorDesktopName : wdx::AdminDesktopName));
        TChmHelpService service;
        ASSERT_TRUE(service.HtmlHelp(nullptr, SampleChm(), HH_HELP_CONTEXT, THtmlHelpData{118}));
        auto* about = Find<QToolButton>(service.Windows().first(), "AboutBtn");
        wdx::testsupport::TMessageBoxes recorder;
        const std::vector<wdx::testsupport::TSeenBox>& boxes = recorder.Seen;
        QTest::mouseClick(about, Qt::LeftButton);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Caption, QStringLiteral("About"));
        EXPECT_EQ(boxes[0].Icon, TMsgIcon::Information);
        const QString expected =
            QString::fromLatin1(monitor ? "Corvanta Component Broker Monitor\nWDXMonitor "
                                        : "NPX Client Administrator\nWDXClntAdmin ") +
            QString::fromLatin1(wdx::Version);
        EXPECT_EQ(boxes[0].Text, expected);
        service.CloseAll();
    }
    app->setApplicationName(name);
    app->setApplicationVersion(version);
    app->SetTitle(title);
}
