#include "UpDown.h"

#include <QLineEdit>

UpDown::UpDown(const QString& name, int minimum, int maximum, const QString& toolTip, QWidget* parent)
    : QSpinBox(parent) {
    setObjectName(name);
    setRange(minimum, maximum);
    setToolTip(toolTip);
    setWrapping(false);
    setFrame(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    lineEdit()->setReadOnly(true);
    lineEdit()->setMaximumWidth(0);
    setFixedSize(18, 24);
}
