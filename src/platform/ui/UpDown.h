#pragma once

#include <QSpinBox>

// An up-down control: two arrow buttons over an integer value, without a text field
// of its own (a separate label displays the value). Stops at the ends of its range.
class UpDown : public QSpinBox {
    Q_OBJECT
public:
    UpDown(const QString& name, int minimum, int maximum, const QString& toolTip, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {18, 24}; }
    QSize minimumSizeHint() const override { return sizeHint(); }
};
