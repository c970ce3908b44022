#include "KeyedToolbar.h"

#include "ToolIcons.h"

KeyedToolbar::KeyedToolbar(const QString& name, QWidget* parent) : QToolBar(parent) {
    setObjectName(name);
    setIconSize(QSize(20, 20));
    setMovable(false);
    setFloatable(false);
}

QAction* KeyedToolbar::addButton(const QString& key, const QString& toolTip, bool twoState,
                                 const QString& imageKey) {
    auto* action = new QAction(this);
    action->setObjectName(key);
    // A button without a tool tip shows none: an action's tool tip falls back on
    // its text, so the text stays empty too.
    action->setToolTip(toolTip);
    action->setText(toolTip);
    action->setCheckable(twoState);
    addAction(action);
    setImage(key, imageKey.isEmpty() ? key : imageKey);
    connect(action, &QAction::triggered, this, [this, key] { emit ButtonClick(key); });
    return action;
}

QAction* KeyedToolbar::button(const QString& key) const {
    for (QAction* a : actions())
        if (a->objectName() == key) return a;
    return nullptr;
}

int KeyedToolbar::Value(const QString& key) const {
    const QAction* a = button(key);
    return a && a->isChecked() ? 1 : 0;
}

void KeyedToolbar::setValue(const QString& key, int value) {
    if (QAction* a = button(key)) {
        a->setCheckable(true);
        a->setChecked(value != 0);
    }
}

QString KeyedToolbar::Image(const QString& key) const {
    const QAction* a = button(key);
    return a ? a->property("imageKey").toString() : QString();
}

void KeyedToolbar::setImage(const QString& key, const QString& imageKey) {
    if (QAction* a = button(key)) {
        a->setProperty("imageKey", imageKey);
        a->setIcon(ToolIcons::icon(imageKey));
    }
}
