#include "StatusPanels.h"

StatusPanels::StatusPanels(const QString& name, QWidget* parent) : QStatusBar(parent) {
    setObjectName(name);
    setSizeGripEnabled(true);
}

QLabel* StatusPanels::addPanel(const QString& key, const QString& text, const QString& toolTip, int stretch,
                               int minimumWidth) {
    auto* label = new QLabel(text, this);
    label->setObjectName(key);
    label->setToolTip(toolTip);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(minimumWidth);
    // A panel takes its share of the bar and cuts a text that is longer, as status bar
    // panels do: a long movie file name must not widen the main window.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addPermanentWidget(label, stretch);
    return label;
}

QLabel* StatusPanels::panel(const QString& key) const {
    return findChild<QLabel*>(key, Qt::FindDirectChildrenOnly);
}

QString StatusPanels::text(const QString& key) const {
    const QLabel* l = panel(key);
    return l ? l->text() : QString();
}

void StatusPanels::setText(const QString& key, const QString& text) {
    if (QLabel* l = panel(key)) l->setText(text);
}
