#pragma once

#include <QIcon>
#include <QString>
#include <QStyle>

// The toolbar pictures, drawn at run time so the program needs no icon theme.
namespace ToolIcons {
QIcon icon(const QString& imageKey);

// The application style's standard icon `which`, made once for the program and shared
// by every window that shows it. The style makes a new icon at each call, and Qt's
// pixmap cache keeps every size drawn of each under a key of its own, so icons made
// per window would fill that cache with pictures no window shows any more.
QIcon standard(QStyle::StandardPixmap which);
} // namespace ToolIcons
