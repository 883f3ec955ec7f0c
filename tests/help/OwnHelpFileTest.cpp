// The help file we ship: its topics, contents, index and pop-up texts, and
// every link inside it.

#include "clntadmin/ClntAdminHelpTopics.h"
#include "common/help/ChmFile.h"
#include "common/help/ChmSiteMap.h"
#include "monitor/MonitorHelpTopics.h"

#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

using namespace wdx::common;

namespace {

std::unique_ptr<TChmFile> Shipped() {
    return TChmFile::Open(QStringLiteral(WDX_HELP_CHM));
}

// "topic.htm#anchor" relative to the page From, as an internal path and anchor.
std::pair<QString, QString> Resolve(const QString& From, const QString& Link) {
    const QUrl url = QUrl(QStringLiteral("chm:") + From).resolved(QUrl(Link));
    return {NormaliseChmPath(url.path()), url.fragment()};
}

bool HasAnchor(const TChmFile& Chm, const QString& Page, const QString& Anchor) {
    const QString html = DecodeHtmlText(Chm.Read(Page).value_or(QByteArray()));
    return html.contains(
        QRegularExpression(QStringLiteral("(name|id)=\"%1\"").arg(QRegularExpression::escape(Anchor))));
}

TEST(OwnHelpFile, TopicsOfBothMainWindows) {
    auto chm = Shipped();
    ASSERT_TRUE(chm) << WDX_HELP_CHM;
    EXPECT_EQ(chm->TopicOfContext(wdx::monitor::hc::MainWindow), QStringLiteral("/monitor.htm"));
    EXPECT_EQ(chm->TopicOfContext(wdx::clntadmin::hc::MainWindow), QStringLiteral("/clntadmin.htm"));
    EXPECT_FALSE(chm->Title().isEmpty());
    EXPECT_TRUE(chm->Exists(chm->DefaultTopic()));
}

TEST(OwnHelpFile, EveryDialogControlHasItsPopupText) {
    auto chm = Shipped();
    ASSERT_TRUE(chm);
    std::vector<std::pair<int, const char*>> topics(std::begin(wdx::monitor::hc::PopupTopics),
                                                    std::end(wdx::monitor::hc::PopupTopics));
    topics.insert(topics.end(), std::begin(wdx::clntadmin::hc::PopupTopics),
                  std::end(wdx::clntadmin::hc::PopupTopics));
    for (auto [id, control] : topics) {
        SCOPED_TRACE(control);
        const auto text = chm->PopupText(QStringLiteral("CSHelp.txt"), static_cast<std::uint32_t>(id));
        ASSERT_TRUE(text) << id;
        EXPECT_GT(text->size(), 10) << id;
        EXPECT_FALSE(text->contains(QRegularExpression(QStringLiteral("(^|\\n);"))))
            << id; // notes are not shown
    }
}

TEST(OwnHelpFile, ContentsAndIndexLeadToTopics) {
    auto chm = Shipped();
    ASSERT_TRUE(chm);
    for (const QString& map : {chm->ContentsFile(), chm->IndexFile()}) {
        SCOPED_TRACE(map.toStdString());
        const auto data = chm->Read(map);
        ASSERT_TRUE(data);
        const auto items = ParseSiteMap(DecodeHtmlText(*data));
        EXPECT_GE(items.size(), 5u);
        int checked = 0;
        std::function<void(const std::vector<TSiteMapItem>&)> walk =
            [&](const std::vector<TSiteMapItem>& list) {
                for (const TSiteMapItem& item : list) {
                    EXPECT_FALSE(item.Name.isEmpty());
                    const auto [page, anchor] = Resolve(QStringLiteral("/"), item.Local);
                    EXPECT_TRUE(chm->Exists(page)) << item.Local.toStdString();
                    if (!anchor.isEmpty()) {
                        EXPECT_TRUE(HasAnchor(*chm, page, anchor)) << item.Local.toStdString();
                    }
                    ++checked;
                    walk(item.Children);
                }
            };
        walk(items);
        EXPECT_GE(checked, 9);
    }
}

TEST(OwnHelpFile, EveryLinkAndPictureIsInsideTheFile) {
    auto chm = Shipped();
    ASSERT_TRUE(chm);
    static const QRegularExpression ref(QStringLiteral("(href|src)=\"([^\"]+)\""));
    int pages = 0;
    int links = 0;
    for (const QString& f : chm->Files()) {
        if (!f.endsWith(QStringLiteral(".htm")))
            continue;
        ++pages;
        const QString html = DecodeHtmlText(*chm->Read(f));
        EXPECT_TRUE(html.contains(QStringLiteral("<title>"))) << f.toStdString();
        auto it = ref.globalMatch(html);
        while (it.hasNext()) {
            const QString link = it.next().captured(2);
            const auto [page, anchor] = Resolve(f, link);
            EXPECT_TRUE(chm->Exists(page)) << f.toStdString() << " -> " << link.toStdString();
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(HasAnchor(*chm, page, anchor)) << f.toStdString() << " -> " << link.toStdString();
            }
            ++links;
        }
    }
    EXPECT_GE(pages, 9);
    EXPECT_GE(links, 30);
}

} // namespace
