#pragma once
// What a window reads from its own program: the string table and the icon
// resources compiled into that program. Each program has exactly one.

#include "common/ResText.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace wdx::common {

struct TResModule {
    const TStringTable& Strings;
    // Qt resource folder of the program's icons: <IconRoot>/<name>_<size>.xpm
    QString IconRoot;
};

inline constexpr int SmallIconSize = 16;
inline constexpr int StdIconSize = 32;

// One image of a program icon ("MAINICON", "ICON_VKR") at 16 or 32 pixels;
// a null pixmap when the program has no such image.
QPixmap LoadIconImage(const TResModule& Module, const QString& Name, int Size);
// Both images of a program icon, for window and application icons.
QIcon LoadProgramIcon(const TResModule& Module, const QString& Name);

} // namespace wdx::common
