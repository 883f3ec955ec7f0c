#include "ChmSample.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>

namespace wdx::test {

QString CompileChm(const QString& Dir, const std::map<QString, QByteArray>& Files, const QString& Project,
                   QString* Error) {
    for (const auto& [name, content] : Files) {
        const QString path = Dir + u'/' + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
            if (Error)
                *Error = QStringLiteral("cannot write ") + path;
            return {};
        }
    }
    QProcess chmcmd;
    chmcmd.setWorkingDirectory(Dir);
    chmcmd.setProcessChannelMode(QProcess::MergedChannels);
    chmcmd.start(QStringLiteral(WDX_CHMCMD), {Dir + u'/' + Project});
    const bool finished = chmcmd.waitForFinished(30000);
    if (!finished)
        chmcmd.kill();
    const QString output = QString::fromLocal8Bit(chmcmd.readAll());
    if (!finished || chmcmd.exitStatus() != QProcess::NormalExit || chmcmd.exitCode() != 0) {
        if (Error)
            *Error = output;
        return {};
    }
    // The project names its output; the samples call it after the project.
    const QString chm = Dir + u'/' + QFileInfo(Project).completeBaseName() + QStringLiteral(".chm");
    if (!QFileInfo::exists(chm) && Error)
        *Error = output;
    return QFileInfo::exists(chm) ? chm : QString();
}

QByteArray SamplePng() {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

const QString& SampleChm() {
    static std::unique_ptr<QTemporaryDir> dir;
    static QString path;
    if (!path.isEmpty())
        return path;
    dir = std::make_unique<QTemporaryDir>();
    const std::map<QString, QByteArray> files{
        {QStringLiteral("sample.hhp"), "[OPTIONS]\n"
                                       "Compatibility=1.1 or later\n"
                                       "Compiled file=sample.chm\n"
                                       "Contents file=toc.hhc\n"
                                       "Index file=idx.hhk\n"
                                       "Default topic=a.htm\n"
                                       "Title=Sample Help\n"
                                       "\n[FILES]\na.htm\nsub/b.htm\nCSHelp.txt\nCSHelp.h\n"
                                       "\n[ALIAS]\nIDH_A=a.htm\nIDH_B=sub/b.htm\n"
                                       "\n[MAP]\n#define IDH_A 118\n#define IDH_B 116\n"
                                       "\n[TEXT POPUPS]\nCSHelp.txt\n"},
        {QStringLiteral("a.htm"), "<html><head><meta charset=\"utf-8\"><title>Topic A</title></head><body>"
                                  "<h1>Topic A</h1><p>Caf\xc3\xa9 <a href=\"sub/b.htm#part\">to B</a> "
                                  "<a href=\"missing.htm\">nowhere</a></p>"
                                  "<img src=\"img/red.png\" width=\"16\" height=\"16\"></body></html>"},
        {QStringLiteral("sub/b.htm"),
         "<html><head><title>Topic B</title></head><body><h1>Topic B</h1>"
         "<p><a href=\"../a.htm\">back to A</a></p><p><a name=\"part\"></a>Part</p>"
         "</body></html>"},
        {QStringLiteral("img/red.png"), SamplePng()},
        {QStringLiteral("CSHelp.txt"), ";pop-up texts\r\n"
                                       ".topic 1001\r\nFirst line\r\nruns on.\r\n\r\nSecond paragraph.\r\n"
                                       ".topic 1002\r\nThe other one.\r\n"
                                       ".topic IDH_NAMED\r\nNamed topic.\r\n"},
        {QStringLiteral("CSHelp.h"), "#define IDH_NAMED 2002\n"},
        {QStringLiteral("toc.hhc"),
         "<html><body><object type=\"text/site properties\"></object><ul>"
         "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Topic A\">"
         "<param name=\"Local\" value=\"a.htm\"></object>"
         "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Topic B &amp; more\">"
         "<param name=\"Local\" value=\"sub/b.htm\"></object></ul>"
         "</ul></body></html>"},
        {QStringLiteral("idx.hhk"),
         "<html><body><ul>"
         "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"alpha\">"
         "<param name=\"Local\" value=\"a.htm\"></object>"
         "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"beta\">"
         "<param name=\"Local\" value=\"sub/b.htm\"></object>"
         "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"betamax\">"
         "<param name=\"Local\" value=\"a.htm\"></object>"
         "</ul></body></html>"},
    };
    QString error;
    path = CompileChm(dir->path(), files, QStringLiteral("sample.hhp"), &error);
    if (path.isEmpty())
        ADD_FAILURE() << "the sample help file was not compiled: " << error.toStdString();
    return path;
}

} // namespace wdx::test
