#include "FakeHelpService.h"

#include "common/StdForm.h"
#include "common/help/HelpRouter.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace wdx::common;
using wdx::test::TFakeHelpService;
using wdx::test::THtmlHelpCall;

namespace {

const TStringTable& Table() {
    static const TStringTable table{{1002, "Test window"}};
    return table;
}

class HelpRouterTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetApplicationOnHelp(nullptr);
        SetApplicationHelpFile({});
        Form = std::make_unique<TWDXStdForm>(Table());
        SetFormHelpFile(Form.get(), QStringLiteral("D:\\Docs\\Guide.hlp"));
    }
    void TearDown() override {
        Router.reset();
        Form.reset();
        SetApplicationOnHelp(nullptr);
        SetApplicationHelpFile({});
    }

    THelpRouter& MakeRouter(THelpType Type = htHTMLhelp) {
        Router.reset(new THelpRouter(Form.get()));
        Router->SetHelpType(Type);
        Fake.HtmlCalls.clear();
        Fake.WinCalls.clear();
        return *Router;
    }

    // A request as the application sends it; CallHelp comes back in Handled.
    bool Request(std::uint16_t Command, std::intptr_t Data, bool* CallHelpOut = nullptr) {
        bool callHelp = true;
        const bool result = Router->RouteHelp(Command, Data, callHelp);
        if (CallHelpOut)
            *CallHelpOut = callHelp;
        return result;
    }

    TFakeHelpService Fake;
    THelpServiceScope Scope{Fake};
    std::unique_ptr<TWDXStdForm> Form;
    std::unique_ptr<THelpRouter> Router;
};

TEST_F(HelpRouterTest, OnlyOneRouterAndItStaysInstalled) {
    THelpRouter& first = MakeRouter();
    try {
        THelpRouter second(Form.get());
        FAIL() << "a second router was created";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Multiple instances of THelpRouter are not allowed");
    }
    EXPECT_EQ(ActiveHelpRouter(), &first);
    // The application's requests still reach the first router.
    EXPECT_TRUE(ApplicationHelpContext(118));
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_HELP_CONTEXT);
}

TEST_F(HelpRouterTest, InstallsItselfAndPutsThePreviousHandlerBack) {
    std::vector<std::uint16_t> seenByOld;
    SetApplicationOnHelp([&](std::uint16_t c, std::intptr_t, bool&) {
        seenByOld.push_back(c);
        return false;
    });
    MakeRouter(htWinhelp);
    ApplicationHelpContext(7);
    EXPECT_EQ(seenByOld, std::vector<std::uint16_t>{HELP_CONTEXT}); // asked, then the table served it
    ASSERT_EQ(Fake.WinCalls.size(), 1u);

    Router.reset();
    EXPECT_EQ(ActiveHelpRouter(), nullptr);
    ApplicationHelpContext(9);
    // HELP_QUIT of the router's end passed through the old handler too.
    EXPECT_EQ(seenByOld, (std::vector<std::uint16_t>{HELP_CONTEXT, HELP_QUIT, HELP_CONTEXT}));
    EXPECT_EQ(Fake.WinCalls.size(), 2u); // the quit; the last request went to the old handler only
    SetApplicationOnHelp(nullptr);
}

TEST_F(HelpRouterTest, OwnHandlerFirstThenSavedHandlerThenTable) {
    QStringList order;
    bool oldHandles = false;
    SetApplicationOnHelp([&](std::uint16_t, std::intptr_t, bool& callHelp) {
        order.push_back(QStringLiteral("old"));
        if (oldHandles)
            callHelp = false;
        return true;
    });
    THelpRouter& r = MakeRouter();
    bool ownHandles = true;
    r.SetOnHelp([&](std::uint16_t, std::intptr_t, bool& callHelp) {
        order.push_back(QStringLiteral("own"));
        if (ownHandles)
            callHelp = false;
        return true;
    });

    bool callHelp = true;
    EXPECT_TRUE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(order, QStringList{QStringLiteral("own")});
    EXPECT_TRUE(Fake.HtmlCalls.empty());

    order.clear();
    ownHandles = false;
    oldHandles = true;
    EXPECT_TRUE(Request(HELP_CONTEXT, 118));
    EXPECT_EQ(order, (QStringList{QStringLiteral("own"), QStringLiteral("old")}));
    EXPECT_TRUE(Fake.HtmlCalls.empty());

    order.clear();
    oldHandles = false;
    Fake.HtmlHelpResult = false;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118)); // the table's result replaces the handlers'
    EXPECT_EQ(Fake.HtmlCalls.size(), 1u);
    Router.reset(); // its handlers use this test's locals
}

TEST_F(HelpRouterTest, HtmlTableWithTheChmFileOfTheForm) {
    MakeRouter();
    bool callHelp = true;
    EXPECT_TRUE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_TRUE(Request(HELP_INDEX, 0));
    EXPECT_TRUE(Request(HELP_FINDER, 0));
    EXPECT_TRUE(Request(15, 0));
    EXPECT_TRUE(Request(15, 1));
    const QByteArray keyword = "refresh";
    EXPECT_TRUE(Request(HELP_KEY, reinterpret_cast<std::intptr_t>(keyword.constData())));
    EXPECT_TRUE(Request(HELP_PARTIALKEY, reinterpret_cast<std::intptr_t>(keyword.constData())));

    const std::vector<unsigned> expected{HH_HELP_CONTEXT,  HH_DISPLAY_TOC,   HH_DISPLAY_TOC,  HH_DISPLAY_TOC,
                                         HH_DISPLAY_INDEX, HH_DISPLAY_INDEX, HH_DISPLAY_INDEX};
    ASSERT_EQ(Fake.HtmlCalls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Fake.HtmlCalls[i].Command, expected[i]);
        EXPECT_EQ(Fake.HtmlCalls[i].File, QStringLiteral("D:\\Docs\\Guide.chm"));
        EXPECT_EQ(Fake.HtmlCalls[i].Caller, Form.get());
    }
    EXPECT_EQ(Fake.NumberOf(Fake.HtmlCalls[0]), 118);
    EXPECT_EQ(std::get<QString>(Fake.HtmlCalls[5].Data), QStringLiteral("refresh"));

    Fake.HtmlHelpResult = false;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118));
}

TEST_F(HelpRouterTest, UnknownCommandsAreSwallowedInHtmlMode) {
    MakeRouter();
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXTMENU, 5, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_TRUE(Fake.HtmlCalls.empty());
}

TEST_F(HelpRouterTest, WinHelpModeUsesTheHlpFile) {
    SetFormHelpFile(Form.get(), QStringLiteral("D:\\Docs\\Guide.chm"));
    MakeRouter(htWinhelp);
    Fake.WinHelpResult = false;
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_FALSE(callHelp);
    ASSERT_EQ(Fake.WinCalls.size(), 1u);
    EXPECT_EQ(Fake.WinCalls[0].File, QStringLiteral("D:\\Docs\\Guide.hlp"));
    EXPECT_EQ(Fake.WinCalls[0].Command, HELP_CONTEXT);
    EXPECT_EQ(Fake.WinCalls[0].Data, 118);
    EXPECT_EQ(Fake.WinCalls[0].Owner, Form.get());

    // Command 0 succeeds without a call.
    EXPECT_TRUE(Request(0, 0, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(Fake.WinCalls.size(), 1u);
    EXPECT_TRUE(Fake.HtmlCalls.empty());
}

TEST_F(HelpRouterTest, MixedModeSendsPopupsToWinHelpAndTheRestToHtmlHelp) {
    MakeRouter(htMixedMode);
    Request(HELP_SETPOPUP_POS, 0x00200010);
    Request(HELP_CONTEXTPOPUP, 5001);
    Request(HELP_CONTEXT, 118);
    ASSERT_EQ(Fake.WinCalls.size(), 2u);
    EXPECT_EQ(Fake.WinCalls[0].Command, HELP_SETPOPUP_POS);
    EXPECT_EQ(Fake.WinCalls[1].Command, HELP_CONTEXTPOPUP);
    EXPECT_EQ(Fake.WinCalls[1].File, QStringLiteral("D:\\Docs\\Guide.hlp"));
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_HELP_CONTEXT);
    EXPECT_EQ(Fake.HtmlCalls[0].File, QStringLiteral("D:\\Docs\\Guide.chm"));
}

TEST_F(HelpRouterTest, MainShowTypeTurnsPopupsIntoTopics) {
    THelpRouter& r = MakeRouter();
    r.SetShowType(stMain);
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_SETPOPUP_POS, 0x00200010, &callHelp)); // dropped
    EXPECT_FALSE(callHelp);
    EXPECT_TRUE(r.PopupPos().isNull());
    EXPECT_TRUE(Request(HELP_CONTEXTPOPUP, 5001));
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_HELP_CONTEXT);
    EXPECT_EQ(Fake.NumberOf(Fake.HtmlCalls[0]), 5001);
}

TEST_F(HelpRouterTest, PopupAtTheGivenPositionThenAtTheCursor) {
    THelpRouter& r = MakeRouter();
    r.SetCHMPopupTopics({});
    Fake.HtmlHelpResult = false; // the pop-up's own result does not count
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_SETPOPUP_POS, std::intptr_t(std::int32_t(0xFFFF0010u)), &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(r.PopupPos(), QPoint(16, -1));
    EXPECT_TRUE(Request(HELP_CONTEXTPOPUP, 5001));
    EXPECT_TRUE(Request(HELP_CONTEXTPOPUP, 5002));
    EXPECT_TRUE(r.PopupPos().isNull());

    ASSERT_EQ(Fake.HtmlCalls.size(), 2u);
    const THtmlHelpCall& first = Fake.HtmlCalls[0];
    EXPECT_EQ(first.Command, HH_DISPLAY_TEXT_POPUP);
    EXPECT_EQ(first.File, QStringLiteral("D:\\Docs\\Guide.chm::/CSHelp.txt"));
    const THHPopup& p = Fake.PopupOf(first);
    EXPECT_EQ(p.cbStruct, 52);
    EXPECT_EQ(p.idString, 5001u);
    EXPECT_EQ(p.pt, QPoint(16, -1));
    EXPECT_TRUE(p.pszText.isEmpty());
    EXPECT_EQ(p.clrForeground, -1);
    EXPECT_EQ(p.clrBackground, -1);
    EXPECT_EQ(p.rcMargins.left(), -1);
    EXPECT_EQ(p.rcMargins.bottom(), -1);
    EXPECT_EQ(p.pszFont, QStringLiteral("MS Sans Serif, 8"));
    EXPECT_EQ(Fake.PopupOf(Fake.HtmlCalls[1]).pt, Fake.Cursor);
    // The empty topics-file name was filled in, and kept.
    EXPECT_EQ(r.CHMPopupTopics(), QStringLiteral("CSHelp.txt"));
}

TEST_F(HelpRouterTest, PopupOfContextZeroTakesNoFile) {
    THelpRouter& r = MakeRouter();
    r.SetCHMPopupTopics({});
    Fake.HtmlHelpResult = false;
    EXPECT_FALSE(r.ShowPopup(10, 20, 0));
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_FALSE(Fake.HtmlCalls[0].File.has_value());
    EXPECT_EQ(Fake.HtmlCalls[0].Caller, Form.get());
    EXPECT_TRUE(r.CHMPopupTopics().isEmpty()); // only a real topic fills it in
}

TEST_F(HelpRouterTest, RouterHelpfileWinsAndTheApplicationOwnsTheHelp) {
    SetApplicationHelpFile(QStringLiteral("/app/App.chm"));
    THelpRouter& r = MakeRouter();
    EXPECT_EQ(r.GetHelpTarget().FileName, QStringLiteral("D:\\Docs\\Guide.hlp"));
    EXPECT_EQ(r.GetHelpTarget().Window, Form.get());
    r.SetHelpfile(QStringLiteral("/opt/help/Router"));
    Request(HELP_CONTEXT, 3);
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].File, QStringLiteral("/opt/help/Router.chm"));
    EXPECT_EQ(Fake.HtmlCalls[0].Caller, nullptr);

    r.SetHelpfile({});
    SetFormHelpFile(Form.get(), {});
    EXPECT_EQ(r.GetHelpTarget().FileName, QStringLiteral("/app/App.chm"));
    EXPECT_EQ(r.GetHelpTarget().Window, nullptr);
}

TEST_F(HelpRouterTest, ActiveFormFirstAndADialogBorrowsTheMainWindowsFile) {
    MakeRouter();
    TWDXStdForm dialog(Table(), Form.get());
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 2000));
    EXPECT_EQ(Router->GetHelpForm(), &dialog);

    SetFormHelpFile(&dialog, QStringLiteral("/d/Dialog.chm"));
    EXPECT_EQ(Router->GetHelpTarget().FileName, QStringLiteral("/d/Dialog.chm"));
    EXPECT_EQ(Router->GetHelpTarget().Window, &dialog);

    // Without a file of its own (nor one of the application), the dialog's
    // help comes from the main window's file.
    SetFormHelpFile(&dialog, {});
    EXPECT_EQ(Router->GetHelpTarget().FileName, QStringLiteral("D:\\Docs\\Guide.hlp"));
    EXPECT_EQ(Router->GetHelpTarget().Window, Form.get());
    dialog.hide();
}

TEST_F(HelpRouterTest, QuitAtTheEndClosesAllHtmlHelp) {
    MakeRouter();
    Router.reset();
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_CLOSE_ALL);
    EXPECT_FALSE(Fake.HtmlCalls[0].File.has_value());

    // An application with a help file of its own keeps its help open.
    SetApplicationHelpFile(QStringLiteral("App.chm"));
    MakeRouter();
    Router.reset();
    EXPECT_TRUE(Fake.HtmlCalls.empty());
}

TEST_F(HelpRouterTest, WithoutTheEngineHtmlRequestsStayUnhandledAndLoadingIsRetried) {
    Fake.LoadResult = false;
    THelpRouter& r = MakeRouter();
    const int loadsAfterCreate = Fake.Loads;
    EXPECT_EQ(loadsAfterCreate, 1); // the HTML type asked for the engine at once

    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_TRUE(callHelp);
    EXPECT_FALSE(r.ShowPopup(1, 1, 5001));
    EXPECT_FALSE(Request(HELP_CONTEXTPOPUP, 5001, &callHelp));
    EXPECT_TRUE(callHelp);
    EXPECT_TRUE(Fake.HtmlCalls.empty());
    EXPECT_EQ(Fake.Loads, loadsAfterCreate + 3);
    // The application's request reports the failure.
    EXPECT_FALSE(ApplicationHelpContext(118));

    // A throwing engine counts as missing; a later load that works is used.
    Fake.ThrowOnLoad = true;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_TRUE(callHelp);
    Fake.ThrowOnLoad = false;
    Fake.LoadResult = true;
    EXPECT_TRUE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(Fake.HtmlCalls.size(), 1u);
}

TEST_F(HelpRouterTest, EngineLoadedButEntryMissingIsNotRetried) {
    Fake.BindResult = false;
    MakeRouter();
    bool callHelp = true;
    EXPECT_FALSE(Request(HELP_CONTEXT, 118, &callHelp));
    EXPECT_TRUE(callHelp);
    EXPECT_EQ(Fake.Loads, 1);
}

TEST_F(HelpRouterTest, WinHelpTypeDoesNotLoadTheEngine) {
    MakeRouter(htWinhelp);
    EXPECT_EQ(Fake.Loads, 0);
    Router->SetHelpType(htMixedMode);
    EXPECT_EQ(Fake.Loads, 1);
}

TEST(HelpFileExt, ReplacesOnlyTheLastExtensionOfTheName) {
    EXPECT_EQ(ChangeHelpFileExt(QStringLiteral("D:\\Docs\\Guide.hlp"), QStringLiteral(".chm")),
              QStringLiteral("D:\\Docs\\Guide.chm"));
    EXPECT_EQ(ChangeHelpFileExt(QStringLiteral("a.b.c"), QStringLiteral(".chm")), QStringLiteral("a.b.chm"));
    EXPECT_EQ(ChangeHelpFileExt(QStringLiteral("D:\\Docs.v2\\Guide"), QStringLiteral(".chm")),
              QStringLiteral("D:\\Docs.v2\\Guide.chm"));
    EXPECT_EQ(ChangeHelpFileExt(QStringLiteral("/opt/docs.v2/Guide"), QStringLiteral(".hlp")),
              QStringLiteral("/opt/docs.v2/Guide.hlp"));
    EXPECT_EQ(ChangeHelpFileExt(QStringLiteral("C:Guide"), QStringLiteral(".chm")),
              QStringLiteral("C:Guide.chm"));
    EXPECT_EQ(ChangeHelpFileExt(QString(), QStringLiteral(".chm")), QStringLiteral(".chm"));
}

} // namespace
