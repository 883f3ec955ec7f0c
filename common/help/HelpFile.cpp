#include "common/help/HelpFile.h"

#include "common/StdForm.h"
#include "common/help/HelpApplication.h"
#include "common/widgets/MessageService.h"

#include <QFile>

#include <filesystem>
#include <system_error>

namespace wdx::common {

namespace {
#ifdef _WIN32
constexpr char16_t PathDelim = u'\\';
#else
constexpr char16_t PathDelim = u'/';
#endif

QString& Candidate() {
    static QString candidate;
    return candidate;
}

// Any directory entry of that name counts, whatever it is.
bool EntryExists(const QString& Path) {
    std::error_code ec;
    const auto status =
        std::filesystem::symlink_status(std::filesystem::path(QFile::encodeName(Path).toStdString()), ec);
    return !ec && std::filesystem::exists(status);
}
} // namespace

QString HelpFileCandidate() {
    return Candidate();
}

void LocateHelpFile(QWidget& Form, const TClientDirLookup& ReadClientDir) {
    Candidate() = QString::fromLatin1(HelpFileName);
    if (EntryExists(Candidate())) {
        SetFormHelpFile(&Form, Candidate());
        return;
    }
    QString clientDir = ReadClientDir ? QString::fromStdString(ReadClientDir()) : QString();
    if (!clientDir.isEmpty()) {
        // The documentation lies beside the client directory, under its parent.
        const qsizetype last = clientDir.lastIndexOf(PathDelim);
        clientDir = last > 0 ? clientDir.left(last) : QString();
        if (!clientDir.isEmpty())
            Candidate() = clientDir + PathDelim + QString::fromLatin1(DocumentationDir) + PathDelim +
                          QString::fromLatin1(HelpFileName);
    }
    if (clientDir.isEmpty())
        Candidate() = QStringLiteral("..") + PathDelim + QString::fromLatin1(DocumentationDir) + PathDelim +
                      QString::fromLatin1(HelpFileName);
    if (EntryExists(Candidate()))
        SetFormHelpFile(&Form, Candidate());
}

void HelpBtnClick(TWDXStdForm& Form, const THelpMessageIds& Messages) {
    const QString file = FormHelpFile(&Form);
    if (file.isEmpty()) {
        ShowMessage({&Form, Form.ResText(Messages.CannotFindHelpFile) + u' ' + HelpFileCandidate(),
                     Form.windowTitle(), TMsgIcon::Error, TMsgButtons::Ok});
        return;
    }
    const int context = HelpContextOf(&Form);
    if (!ApplicationHelpContext(context))
        ShowMessage({&Form, FormatResText(Form.ResText(Messages.CannotFindOnlineHelp), file, context),
                     Form.windowTitle(), TMsgIcon::Error, TMsgButtons::Ok});
}

QString FormatResText(const QString& Template, const QString& S, int D) {
    QString out;
    out.reserve(Template.size() + S.size() + 12);
    int next = 0; // values are taken in turn: S, then D
    for (qsizetype i = 0; i < Template.size(); ++i) {
        const QChar c = Template.at(i);
        if (c != u'%' || i + 1 >= Template.size()) {
            out += c;
            continue;
        }
        const QChar conv = Template.at(i + 1);
        if (conv == u'%') {
            out += u'%';
            ++i;
        } else if ((conv == u's' || conv == u'd') && next < 2) {
            out += next == 0 ? S : QString::number(D);
            ++next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace wdx::common
