#pragma once

#include <QIcon>
#include <QString>

// The toolbar pictures, drawn at run time so the program needs no icon theme.
namespace ToolIcons {
QIcon icon(const QString& imageKey);
}
