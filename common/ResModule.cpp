#include "ResModule.h"

namespace wdx::common {

QPixmap LoadIconImage(const TResModule& Module, const QString& Name, int Size) {
    if (Module.IconRoot.isEmpty())
        return {};
    return QPixmap(QStringLiteral("%1/%2_%3.png").arg(Module.IconRoot, Name).arg(Size));
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
