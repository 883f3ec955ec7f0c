#include "common/help/HelpWindow.h"

#include "common/Application.h"
#include "common/widgets/MessageService.h"
#include "ui_HelpWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace wdx::common {

namespace {
const QString TopicScheme = QStringLiteral("chm");
constexpr int LocalRole = Qt::UserRole;

QColor FromColorRef(int C) {
    return QColor(C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
}

bool IsOutsideLink(const QUrl& Url) {
    const QString s = Url.scheme().toLower();
    return s == QStringLiteral("http") || s == QStringLiteral("https") || s == QStringLiteral("mailto") ||
           s == QStringLiteral("ftp");
}
} // namespace

// ---- THelpBrowser ----------------------------------------------------------

THelpBrowser::THelpBrowser(QWidget* Parent) : QTextBrowser(Parent) {
    // Links are followed by the window, which knows what lies outside the file.
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void THelpBrowser::SetFile(std::shared_ptr<const TChmFile> File) {
    FFile = std::move(File);
}

QUrl THelpBrowser::TopicUrl(const QString& InternalPath) {
    QUrl url;
    url.setScheme(TopicScheme);
    url.setPath(NormaliseChmPath(InternalPath));
    return url;
}

QString THelpBrowser::InternalPathOf(const QUrl& Url) const {
    const QUrl abs = Url.isRelative() ? source().resolved(Url) : Url;
    if (abs.scheme() != TopicScheme)
        return {};
    return NormaliseChmPath(abs.path());
}

QVariant THelpBrowser::loadResource(int Type, const QUrl& Name) {
    const QString path = InternalPathOf(Name);
    if (path.isEmpty() || !FFile)
        return {};
    const std::optional<QByteArray> data = FFile->Read(path);
    if (!data)
        return {};
    if (Type == QTextDocument::HtmlResource || Type == QTextDocument::StyleSheetResource)
        return DecodeHtmlText(*data);
    return *data;
}

// ---- THelpWindow -----------------------------------------------------------

THelpWindow::THelpWindow(std::shared_ptr<const TChmFile> File, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FFile(std::move(File)), ui(std::make_unique<Ui::THelpWindow>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Help open beside the program must not keep it running once its main
    // window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    ui->setupUi(this);
    setWindowTitle(FFile->Title().isEmpty() ? QFileInfo(FFile->Path()).fileName() : FFile->Title());
    ui->BackBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    ui->ForwardBtn->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ui->HomeBtn->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
    ui->Browser->SetFile(FFile);
    ui->Splitter->setStretchFactor(1, 1);
    ui->Splitter->setSizes({260, 540});

    connect(ui->BackBtn, &QToolButton::clicked, ui->Browser, &QTextBrowser::backward);
    connect(ui->ForwardBtn, &QToolButton::clicked, ui->Browser, &QTextBrowser::forward);
    connect(ui->HomeBtn, &QToolButton::clicked, this, [this] { ShowHome(); });
    connect(ui->AboutBtn, &QToolButton::clicked, this, &THelpWindow::ShowAbout);
    connect(ui->Browser, &QTextBrowser::backwardAvailable, ui->BackBtn, &QWidget::setEnabled);
    connect(ui->Browser, &QTextBrowser::forwardAvailable, ui->ForwardBtn, &QWidget::setEnabled);
    connect(ui->Browser, &QTextBrowser::anchorClicked, this, &THelpWindow::OpenLink);
    connect(ui->ContentsTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (const QString local = item->data(0, LocalRole).toString(); !local.isEmpty())
            ShowTopic(local);
    });
    connect(ui->ContentsTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (const QString local = item->data(0, LocalRole).toString(); !local.isEmpty())
            ShowTopic(local);
    });
    connect(ui->IndexEdit, &QLineEdit::textChanged, this, &THelpWindow::IndexEdited);
    connect(ui->IndexEdit, &QLineEdit::returnPressed, this, &THelpWindow::ShowIndexEntry);
    connect(ui->IndexList, &QListWidget::itemActivated, this, [this] { ShowIndexEntry(); });
    connect(ui->DisplayBtn, &QPushButton::clicked, this, &THelpWindow::ShowIndexEntry);

    BuildContents();
    BuildIndex();
}

THelpWindow::~THelpWindow() = default;

void THelpWindow::BuildContents() {
    if (FFile->ContentsFile().isEmpty())
        return;
    if (std::optional<QByteArray> data = FFile->Read(FFile->ContentsFile()))
        AddContentsItems(nullptr, ParseSiteMap(DecodeHtmlText(*data)));
    ui->ContentsTree->expandAll();
}

void THelpWindow::AddContentsItems(QTreeWidgetItem* Parent, const std::vector<TSiteMapItem>& Items) {
    for (const TSiteMapItem& i : Items) {
        auto* item = Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(ui->ContentsTree);
        item->setText(0, i.Name);
        item->setData(0, LocalRole, i.Local);
        AddContentsItems(item, i.Children);
    }
}

void THelpWindow::BuildIndex() {
    if (FFile->IndexFile().isEmpty())
        return;
    std::optional<QByteArray> data = FFile->Read(FFile->IndexFile());
    if (!data)
        return;
    // Sub-entries are listed under their entry, indented.
    auto add = [this](auto& self, const std::vector<TSiteMapItem>& Items, int Depth) -> void {
        for (const TSiteMapItem& i : Items) {
            auto* item = new QListWidgetItem(QString(Depth * 4, u' ') + i.Name, ui->IndexList);
            item->setData(LocalRole, i.Local);
            self(self, i.Children, Depth + 1);
        }
    };
    add(add, ParseSiteMap(DecodeHtmlText(*data)), 0);
}

bool THelpWindow::ShowTopic(const QString& Topic) {
    const qsizetype hash = Topic.indexOf(u'#');
    const QString path = NormaliseChmPath(hash < 0 ? Topic : Topic.left(hash));
    if (path.isEmpty() || !FFile->Exists(path) || !FFile->Read(path))
        return false;
    QUrl url = THelpBrowser::TopicUrl(path);
    if (hash >= 0)
        url.setFragment(Topic.mid(hash + 1));
    ui->Browser->setSource(url);
    // Keep the contents entry of the page shown in view.
    const auto items =
        ui->ContentsTree->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
    for (QTreeWidgetItem* item : items) {
        if (NormaliseChmPath(item->data(0, LocalRole).toString()).compare(path, Qt::CaseInsensitive) == 0) {
            const QSignalBlocker block(ui->ContentsTree);
            ui->ContentsTree->setCurrentItem(item);
            break;
        }
    }
    return true;
}

bool THelpWindow::ShowHome() {
    if (!FFile->DefaultTopic().isEmpty() && ShowTopic(FFile->DefaultTopic()))
        return true;
    const auto items =
        ui->ContentsTree->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
    for (QTreeWidgetItem* item : items)
        if (ShowTopic(item->data(0, LocalRole).toString()))
            return true;
    return false;
}

bool THelpWindow::ShowContents() {
    ui->Tabs->setCurrentIndex(0);
    if (CurrentTopic().isEmpty())
        ShowHome();
    return !CurrentTopic().isEmpty() || ui->ContentsTree->topLevelItemCount() > 0;
}

bool THelpWindow::ShowIndex(const QString& Keyword) {
    ui->Tabs->setCurrentIndex(1);
    ui->IndexEdit->setText(Keyword);
    IndexEdited(Keyword);
    bool shown = false;
    if (QListWidgetItem* item = ui->IndexList->currentItem();
        item && !Keyword.isEmpty() &&
        item->text().trimmed().compare(Keyword.trimmed(), Qt::CaseInsensitive) == 0)
        shown = ShowTopic(item->data(LocalRole).toString());
    if (!shown && CurrentTopic().isEmpty())
        ShowHome();
    return !CurrentTopic().isEmpty() || ui->IndexList->count() > 0;
}

void THelpWindow::IndexEdited(const QString& Text) {
    const QString key = Text.trimmed();
    if (key.isEmpty())
        return;
    for (int row = 0; row < ui->IndexList->count(); ++row) {
        if (ui->IndexList->item(row)->text().trimmed().startsWith(key, Qt::CaseInsensitive)) {
            ui->IndexList->setCurrentRow(row);
            ui->IndexList->scrollToItem(ui->IndexList->item(row), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void THelpWindow::ShowIndexEntry() {
    if (QListWidgetItem* item = ui->IndexList->currentItem())
        ShowTopic(item->data(LocalRole).toString());
}

void THelpWindow::OpenLink(const QUrl& Link) {
    // "file.chm::/topic.htm" and the older "ms-its:" forms name a topic of a
    // help file; this window serves the ones of its own file.
    const QString raw = Link.toString();
    if (const qsizetype sep = raw.indexOf(QStringLiteral("::")); sep >= 0) {
        if (!ShowTopic(raw.mid(sep + 2)))
            ui->Browser->setHtml(
                QStringLiteral("<h3>The topic cannot be found.</h3><p>%1</p>").arg(raw.toHtmlEscaped()));
        return;
    }
    if (IsOutsideLink(Link)) {
        QDesktopServices::openUrl(Link);
        return;
    }
    const QUrl target = Link.isRelative() ? ui->Browser->source().resolved(Link) : Link;
    const QString path = ui->Browser->InternalPathOf(target);
    if (!path.isEmpty() && path.compare(CurrentTopic(), Qt::CaseInsensitive) == 0 && target.hasFragment()) {
        ui->Browser->scrollToAnchor(target.fragment());
        return;
    }
    const QString topic = target.hasFragment() ? path + u'#' + target.fragment() : path;
    if (path.isEmpty() || !ShowTopic(topic))
        ui->Browser->setHtml(QStringLiteral("<h3>The topic cannot be found.</h3><p>%1</p>")
                                 .arg(target.toString().toHtmlEscaped()));
}

void THelpWindow::ShowAbout() {
    // The monitor's command line knows only "-debug", so this is where its
    // version is told; the administrator shows the same.
    const QString title = TWDXApplication::Instance() ? TWDXApplication::Instance()->Title() : QString();
    QString text = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion();
    if (!title.isEmpty())
        text = title + u'\n' + text;
    ShowMessage({this, text, QStringLiteral("About"), TMsgIcon::Information, TMsgButtons::Ok});
}

QString THelpWindow::CurrentTopic() const {
    return ui->Browser->InternalPathOf(ui->Browser->source());
}

// ---- THelpPopup ------------------------------------------------------------

THelpPopup::THelpPopup(const QString& Text, const THHPopup& Settings, QWidget* Parent)
    : QFrame(Parent, Qt::Popup) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setObjectName(QStringLiteral("HelpPopup"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette pal = QToolTip::palette();
    if (Settings.clrBackground != -1)
        pal.setColor(QPalette::Window, FromColorRef(Settings.clrBackground));
    if (Settings.clrForeground != -1)
        pal.setColor(QPalette::WindowText, FromColorRef(Settings.clrForeground));
    setPalette(pal);
    setAutoFillBackground(true);

    FLabel = new QLabel(this);
    FLabel->setTextFormat(Qt::PlainText);
    FLabel->setWordWrap(true);
    FLabel->setText(Text);
    if (const QStringList font = Settings.pszFont.split(u','); font.size() >= 2) {
        bool ok = false;
        const int points = font.at(1).trimmed().toInt(&ok);
        if (ok && points > 0)
            FLabel->setFont(QFont(font.at(0).trimmed(), points));
    }
    const QRect m = Settings.rcMargins;
    auto margin = [](int v) { return v < 0 ? 8 : v; };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin(m.left()), margin(m.top()), margin(m.right()), margin(m.bottom()));
    layout->addWidget(FLabel);
    // As wide as the text needs, up to a comfortable line length.
    const QRect needed = FLabel->fontMetrics().boundingRect(QRect(0, 0, 340, 4000), Qt::TextWordWrap, Text);
    FLabel->setFixedWidth(std::max(needed.width() + 2, 40));
    adjustSize();

    FPoint = Settings.pt;
    Place();
}

void THelpPopup::Place() {
    // The point is the top centre of the pop-up, frame included; keep it on
    // the screen.
    const QSize size = frameGeometry().size();
    QPoint topLeft(FPoint.x() - size.width() / 2, FPoint.y());
    QScreen* screen = QGuiApplication::screenAt(FPoint);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(
            std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
        topLeft.setY(
            std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    }
    move(topLeft);
}

void THelpPopup::showEvent(QShowEvent* Event) {
    QFrame::showEvent(Event);
    // Only a shown window knows the size of its frame.
    Place();
}

QString THelpPopup::Text() const {
    return FLabel->text();
}

void THelpPopup::mousePressEvent(QMouseEvent*) {
    close();
}

void THelpPopup::keyPressEvent(QKeyEvent*) {
    close();
}

} // namespace wdx::common
