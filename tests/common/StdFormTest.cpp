#include "clntadmin/ClntAdminStrings.h"
#include "clntadmin/WDXClntStdClasses.h"
#include "monitor/MonitorStrings.h"
#include "monitor/WDXMntrStdClasses.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace wdx;

namespace {
QImage Image(const common::TWDXStdForm& Form, const char* Name, int Size) {
    return Form.LoadIconImage(QString::fromUtf8(Name), Size).toImage().convertToFormat(QImage::Format_ARGB32);
}
} // namespace

TEST(StdForm, BothProgramsCarryTheSamePictureUnderBothNames) {
    monitor::TWDXMntrStdForm mon;
    clntadmin::TWDXClntStdForm adm;
    for (int size : {16, 32}) {
        QImage reference = Image(mon, "ICON_VKR", size);
        ASSERT_FALSE(reference.isNull()) << size;
        EXPECT_EQ(reference.size(), QSize(size, size));
        EXPECT_EQ(Image(mon, "MAINICON", size), reference) << size;
        EXPECT_EQ(Image(adm, "ICON_VKR", size), reference) << size;
        EXPECT_EQ(Image(adm, "MAINICON", size), reference) << size;
        // A real picture: some pixels are painted, the corners are clear.
        EXPECT_EQ(qAlpha(reference.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(reference.pixel(size / 2, size / 2)), 255);
    }
    EXPECT_TRUE(mon.LoadIconImage(QStringLiteral("ICON_VKR"), 48).isNull());
    EXPECT_TRUE(mon.LoadIconImage(QStringLiteral("NOSUCHICON"), 16).isNull());
    QIcon icon = adm.LoadProgramIcon(QStringLiteral("MAINICON"));
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
}

TEST(StdForm, EachProgramReadsItsOwnResourcesOnly) {
    // The resources are told apart by program, not merely by name.
    EXPECT_NE(monitor::MonitorModule().IconRoot, clntadmin::ClntAdminModule().IconRoot);
    EXPECT_EQ(&monitor::MonitorModule().Strings, &monitor::MonitorStrings());
    EXPECT_EQ(&clntadmin::ClntAdminModule().Strings, &clntadmin::ClntAdminStrings());
}

TEST(StdForm, HeaderImageShowsTheIconAtItsStandardSize) {
    monitor::TWDXMntrStdForm form;
    QLabel image(&form);
    image.setFixedSize(33, 33);
    form.LoadHeaderImage(&image);
    EXPECT_EQ(image.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(image.pixmap().toImage().convertToFormat(QImage::Format_ARGB32), Image(form, "ICON_VKR", 32));
}

TEST(StdForm, CommonLook) {
    clntadmin::TWDXClntStdForm form;
    EXPECT_EQ(form.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(form.font().pointSize(), 8);
    // Where the font itself is missing, an installed sans-serif stands in.
    const QStringList standIns{QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
                               QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                               QStringLiteral("Arial"),           QStringLiteral("DejaVu Sans"),
                               QStringLiteral("FreeSans")};
    QString used = QFontInfo(form.font()).family();
    EXPECT_TRUE(standIns.contains(used)) << used.toStdString();
    QStringList installed = QFontDatabase::families();
    if (!installed.contains(QStringLiteral("MS Sans Serif")) &&
        installed.contains(QStringLiteral("Liberation Sans"))) {
        EXPECT_EQ(used, QStringLiteral("Liberation Sans"));
    }
    EXPECT_EQ(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
}

TEST(StdForm, EscapeClosesNothingUnlessTheFormHasACancelButton) {
    monitor::TWDXMntrStdForm form;
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());

    QPushButton cancel(QStringLiteral("Cancel"), &form);
    cancel.show();
    QSignalSpy clicked(&cancel, &QPushButton::clicked);
    form.SetCancelButton(&cancel);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(clicked.count(), 1);
    cancel.setEnabled(false);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(form.isVisible());
}
