#include "ChmSample.h"

#include "common/help/ChmFile.h"
#include "common/help/ChmSiteMap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace wdx::common;
using wdx::test::SampleChm;

namespace {

QByteArray FileBytes(const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& Path, const QByteArray& Bytes) {
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(Bytes), Bytes.size());
}

TEST(ChmFile, SettingsAndFiles) {
    auto chm = TChmFile::Open(SampleChm());
    ASSERT_TRUE(chm);
    EXPECT_EQ(chm->Title(), QStringLiteral("Sample Help"));
    EXPECT_EQ(chm->DefaultTopic(), QStringLiteral("/a.htm"));
    EXPECT_EQ(chm->ContentsFile(), QStringLiteral("/toc.hhc"));
    EXPECT_EQ(chm->IndexFile(), QStringLiteral("/idx.hhk"));
    const QStringList files = chm->Files();
    for (const char* f : {"/a.htm", "/sub/b.htm", "/img/red.png", "/CSHelp.txt"})
        EXPECT_TRUE(files.contains(QString::fromLatin1(f))) << f;

    EXPECT_EQ(chm->Read(QStringLiteral("/img/red.png")), wdx::test::SamplePng());
    EXPECT_TRUE(chm->Exists(QStringLiteral("/SUB/B.HTM"))); // names ignore case
    EXPECT_TRUE(chm->Exists(QStringLiteral("sub\\..\\a.htm")));
    EXPECT_FALSE(chm->Read(QStringLiteral("/nothere.htm")));
    EXPECT_FALSE(chm->Read(QStringLiteral("../a.htm"))); // nothing above the root
}

TEST(ChmFile, ContextMapGivesTheTopics) {
    auto chm = TChmFile::Open(SampleChm());
    ASSERT_TRUE(chm);
    // The compiler stores the names with the folder it compiled in; the
    // topics are found all the same.
    EXPECT_EQ(chm->TopicOfContext(118), QStringLiteral("/a.htm"));
    EXPECT_EQ(chm->TopicOfContext(116), QStringLiteral("/sub/b.htm"));
    EXPECT_TRUE(chm->TopicOfContext(999).isEmpty());
    EXPECT_TRUE(chm->TopicOfContext(0).isEmpty());
    EXPECT_EQ(chm->ContextMap().size(), 2u);
}

TEST(ChmFile, PopupTextsByNumberAndByName) {
    auto chm = TChmFile::Open(SampleChm());
    ASSERT_TRUE(chm);
    EXPECT_EQ(chm->PopupText(QStringLiteral("CSHelp.txt"), 1001),
              QStringLiteral("First line runs on.\n\nSecond paragraph."));
    EXPECT_EQ(chm->PopupText(QStringLiteral("/CSHelp.txt"), 1002), QStringLiteral("The other one."));
    EXPECT_EQ(chm->PopupText(QStringLiteral("CSHelp.txt"), 2002), QStringLiteral("Named topic."));
    EXPECT_FALSE(chm->PopupText(QStringLiteral("CSHelp.txt"), 1003));
    EXPECT_FALSE(chm->PopupText(QStringLiteral("Other.txt"), 1001));
}

TEST(ChmFile, PopupTopicFileFormat) {
    const auto topics = ParsePopupTopics(QStringLiteral("text before any topic\n"
                                                        ".topics 5\nnot a topic line\n"
                                                        ".topic 0x10\n  indented  \n\n\n"
                                                        ".topic 7\n"
                                                        ".topic 4294967296\nid too large\n"
                                                        ".topic IDH_UNKNOWN\nno such name\n"
                                                        ".topic 16\nlater wins\n; a note\n"));
    ASSERT_EQ(topics.size(), 2u);
    EXPECT_EQ(topics.at(16), QStringLiteral("later wins"));
    EXPECT_EQ(topics.at(7), QString());
}

TEST(ChmFile, WhatIsNotAHelpFileDoesNotOpen) {
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.chm"));
    WriteBytes(garbage, QByteArray(4096, 'x'));
    const QString empty = dir.filePath(QStringLiteral("empty.chm"));
    WriteBytes(empty, {});
    const QString folder = dir.filePath(QStringLiteral("folder.chm"));
    QDir().mkpath(folder);

    EXPECT_FALSE(TChmFile::Open(dir.filePath(QStringLiteral("missing.chm"))));
    EXPECT_FALSE(TChmFile::Open(garbage));
    EXPECT_FALSE(TChmFile::Open(empty));
    EXPECT_FALSE(TChmFile::Open(folder));
    EXPECT_FALSE(TChmFile::Open(QString()));
}

// Reads everything a help request could read from a damaged copy. A copy cut
// short holds only original bytes: what it gives must be the original
// content or nothing. A scrambled one may give anything but must not crash.
void ReadEverything(const QString& Path, const TChmFile& Original, bool MustMatch) {
    auto chm = TChmFile::Open(Path);
    if (!chm)
        return;
    for (const QString& f : Original.Files()) {
        const auto got = chm->Read(f);
        if (MustMatch && got) {
            EXPECT_EQ(*got, *Original.Read(f)) << f.toStdString();
        }
    }
    for (const auto& [id, topic] : chm->ContextMap())
        (void)chm->TopicOfContext(id);
    (void)chm->PopupText(QStringLiteral("CSHelp.txt"), 1001);
}

TEST(ChmFile, DamagedCopiesNeverCrashTheReader) {
    const QByteArray good = FileBytes(SampleChm());
    ASSERT_GT(good.size(), 1000);
    auto original = TChmFile::Open(SampleChm());
    ASSERT_TRUE(original);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.chm"));

    // Cut short anywhere.
    for (int percent = 0; percent < 100; percent += 3) {
        SCOPED_TRACE(percent);
        WriteBytes(path, good.left(good.size() * percent / 100));
        ReadEverything(path, *original, true);
    }
    // Scrambled in every region: headers, directory, compressed content.
    for (qsizetype at = 0; at < good.size(); at += 97) {
        SCOPED_TRACE(at);
        QByteArray bad = good;
        for (qsizetype i = at; i < std::min(at + 8, bad.size()); ++i)
            bad[i] = char(~bad[i]);
        WriteBytes(path, bad);
        ReadEverything(path, *original, false);
    }
}

TEST(ChmFile, ATruncatedFileFailsToGiveItsTopics) {
    const QByteArray good = FileBytes(SampleChm());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.chm"));
    WriteBytes(path, good.left(good.size() / 2));
    auto chm = TChmFile::Open(path);
    if (chm) {
        EXPECT_TRUE(chm->TopicOfContext(118).isEmpty() || !chm->Read(chm->TopicOfContext(118)));
    }
}

TEST(ChmPath, Normalised) {
    EXPECT_EQ(NormaliseChmPath(QStringLiteral("a.htm")), QStringLiteral("/a.htm"));
    EXPECT_EQ(NormaliseChmPath(QStringLiteral("\\sub\\.\\b.htm")), QStringLiteral("/sub/b.htm"));
    EXPECT_EQ(NormaliseChmPath(QStringLiteral("/sub//x/../b.htm")), QStringLiteral("/sub/b.htm"));
    EXPECT_EQ(NormaliseChmPath(QStringLiteral("/#SYSTEM")), QStringLiteral("/#SYSTEM"));
    EXPECT_TRUE(NormaliseChmPath(QStringLiteral("/sub/../../etc/passwd")).isEmpty());
    EXPECT_TRUE(NormaliseChmPath(QString()).isEmpty());
}

TEST(ChmSiteMap, NestedItemsWithEntities) {
    const auto items = ParseSiteMap(QStringLiteral(
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"One &amp; &#65;\">"
        "<param name=\"Local\" value='one.htm'><param name=\"Local\" value=\"second.htm\"></OBJECT>"
        "<UL><LI><object TYPE=text/sitemap><PARAM NAME=name VALUE=Child><param name=local "
        "value=c.htm></object>"
        "</UL><LI><OBJECT type=\"text/site properties\"><param name=\"Name\" value=\"ignored\"></OBJECT>"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Two\"></OBJECT></UL>"
        "<UL><LI><OBJECT type=\"text/sitemap\"></OBJECT>"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].Name, QStringLiteral("One & A"));
    EXPECT_EQ(items[0].Local, QStringLiteral("one.htm"));
    ASSERT_EQ(items[0].Children.size(), 1u);
    EXPECT_EQ(items[0].Children[0].Name, QStringLiteral("Child"));
    EXPECT_EQ(items[0].Children[0].Local, QStringLiteral("c.htm"));
    EXPECT_EQ(items[1].Name, QStringLiteral("Two"));
    EXPECT_TRUE(items[1].Local.isEmpty());
}

} // namespace
