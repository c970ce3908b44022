#pragma once

#include <QAction>
#include <QToolBar>

// A toolbar whose buttons are found by key (compared exactly). Each button is a
// QAction child of the toolbar with objectName = key. Two-state buttons have a Value
// (1 pressed, 0 raised); every button carries an image key that names its picture.
class KeyedToolbar : public QToolBar {
    Q_OBJECT
public:
    explicit KeyedToolbar(const QString& name, QWidget* parent = nullptr);

    QAction* addButton(const QString& key, const QString& toolTip, bool twoState = false,
                       const QString& imageKey = QString());
    QAction* button(const QString& key) const;

    int Value(const QString& key) const;
    void setValue(const QString& key, int value);
    QString Image(const QString& key) const;
    // A keyed toolbar always shows all its buttons: it never folds them into an
    // extension menu.
    QSize minimumSizeHint() const override { return sizeHint(); }

    void setImage(const QString& key, const QString& imageKey);

signals:
    // A click on a button (after a two-state button has changed its Value).
    void ButtonClick(const QString& key);
};
