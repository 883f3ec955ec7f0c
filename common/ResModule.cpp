#include "common/ResModule.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <cstdio>
#include <vector>

namespace wdx::common {

namespace {
// The icons are XPM text. Decoding the strings directly keeps Qt's image
// reader, and the scan of its format plug-ins, out of the program's start.
QImage DecodeXpm(const QByteArray& Text) {
    std::vector<QByteArray> strings;
    qsizetype at = 0;
    for (;;) {
        qsizetype open = Text.indexOf('"', at);
        if (open < 0)
            break;
        qsizetype close = Text.indexOf('"', open + 1);
        if (close < 0)
            return {};
        strings.push_back(Text.mid(open + 1, close - open - 1));
        at = close + 1;
    }
    // Header "width height colours chars", then one string per colour and
    // per row: refuse anything shorter than the header promises.
    int width = 0, height = 0, colours = 0, chars = 0;
    if (strings.empty() ||
        std::sscanf(strings.front().constData(), "%d %d %d %d", &width, &height, &colours, &chars) != 4 ||
        width <= 0 || height <= 0 || colours <= 0 || chars <= 0 ||
        strings.size() != static_cast<size_t>(1 + colours + height))
        return {};
    std::vector<const char*> lines;
    for (const QByteArray& s : strings)
        lines.push_back(s.constData());
    for (size_t row = 1 + static_cast<size_t>(colours); row < strings.size(); ++row)
        if (strings[row].size() != qsizetype(width) * chars)
            return {};
    return QImage(lines.data());
}
} // namespace

QPixmap LoadIconImage(const TResModule& Module, const QString& Name, int Size) {
    if (Module.IconRoot.isEmpty())
        return {};
    QFile file(QStringLiteral("%1/%2_%3.xpm").arg(Module.IconRoot, Name).arg(Size));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Both icon names hold the same pictures: decode each picture once.
    // Images, not pixmaps, are kept: they outlive the application object.
    static QHash<QByteArray, QImage> decoded;
    QByteArray text = file.readAll();
    auto it = decoded.constFind(text);
    if (it == decoded.cend())
        it = decoded.insert(text, DecodeXpm(text));
    return QPixmap::fromImage(*it);
}

QIcon LoadProgramIcon(const TResModule& Module, const QString& Name) {
    QIcon icon;
    for (int size : {SmallIconSize, StdIconSize}) {
        QPixmap image = LoadIconImage(Module, Name, size);
        if (!image.isNull())
            icon.addPixmap(image);
    }
    return icon;
}

} // namespace wdx::common
