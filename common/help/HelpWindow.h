#pragma once
// The windows that show a help file: the help window (contents, index and the
// topic pages, with links and images read from the file) and the pop-up that
// shows one text topic at a screen point.

#include "common/help/ChmFile.h"
#include "common/help/ChmSiteMap.h"
#include "common/help/HelpService.h"

#include <QFrame>
#include <QTextBrowser>
#include <QWidget>

#include <memory>

class QLabel;
class QTreeWidgetItem;

namespace wdx::common {

namespace Ui {
class THelpWindow;
}

// A page viewer whose pages, images and style sheets come from one help file.
class THelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit THelpBrowser(QWidget* Parent = nullptr);
    // The help file the pages come from; none, no pages.
    void SetFile(std::shared_ptr<const TChmFile> File);

    // The URL of a page inside the help file.
    static QUrl TopicUrl(const QString& InternalPath);
    // The internal path a URL of this viewer names; empty for other places.
    QString InternalPathOf(const QUrl& Url) const;

    QVariant loadResource(int Type, const QUrl& Name) override;

private:
    std::shared_ptr<const TChmFile> FFile;
};

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    THelpWindow(std::shared_ptr<const TChmFile> File, QWidget* Parent = nullptr);
    ~THelpWindow() override;

    const TChmFile& File() const { return *FFile; }
    std::shared_ptr<const TChmFile> SharedFile() const { return FFile; }

    // Shows a topic (internal path, optionally with "#anchor"). False, and
    // nothing changes, when the topic is not in the file.
    bool ShowTopic(const QString& Topic);
    // The contents page, with the default topic when nothing is shown yet.
    bool ShowContents();
    // The index, with Keyword typed in and its first match chosen; the topic
    // of an entry that equals Keyword is shown.
    bool ShowIndex(const QString& Keyword);
    // What a click on a link does: a topic of this file, or another place.
    void OpenLink(const QUrl& Link);
    // The program's name, version and title in a box (the About button).
    void ShowAbout();

    QString CurrentTopic() const; // internal path of the page shown, or empty

private:
    void BuildContents();
    void BuildIndex();
    void AddContentsItems(QTreeWidgetItem* Parent, const std::vector<TSiteMapItem>& Items);
    void IndexEdited(const QString& Text);
    void ShowIndexEntry();
    bool ShowHome();

    std::shared_ptr<const TChmFile> FFile;
    // The stored window definition (HelpWindow.ui): every control in its
    // place with its text; the icons and the splitter's sizes are set here.
    std::unique_ptr<Ui::THelpWindow> ui;
};

// One text topic at a screen point; any click or key closes it.
class THelpPopup : public QFrame {
    Q_OBJECT
public:
    THelpPopup(const QString& Text, const THHPopup& Settings, QWidget* Parent = nullptr);
    QString Text() const;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void Place();

    QLabel* FLabel;
    QPoint FPoint;
};

} // namespace wdx::common
