#include "StatusPanels.h"

#include <QPainter>
#include <QStyle>

namespace {

// A panel that takes its share of the bar: a text longer than the panel is cut in its
// middle with an ellipsis, so a file name keeps its folder's start and its own name.
// text() stays the whole text.
class StretchingPanel : public QLabel {
public:
    using QLabel::QLabel;

    // The text as the panel shows it: cut in its middle where it is longer than the panel.
    QString shownText() const {
        return fontMetrics().elidedText(text(), Qt::ElideMiddle, textArea().width());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawFrame(&painter);
        style()->drawItemText(&painter, textArea(), int(alignment()), palette(), isEnabled(), shownText(),
                              foregroundRole());
    }

private:
    QRect textArea() const {
        // QLabel's own inset: its indent, or half an 'x' inside a frame when none is set.
        const int inset = indent() >= 0      ? indent()
                          : frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                                             : 0;
        return contentsRect().adjusted(margin() + inset, margin(), -margin() - inset, -margin());
    }
};

} // namespace

StatusPanels::StatusPanels(const QString& name, QWidget* parent) : QStatusBar(parent) {
    setObjectName(name);
    setSizeGripEnabled(true);
}

QLabel* StatusPanels::addPanel(const QString& key, const QString& text, const QString& toolTip, int stretch,
                               int minimumWidth) {
    QLabel* label = stretch > 0 ? new StretchingPanel(text, this) : new QLabel(text, this);
    label->setObjectName(key);
    label->setToolTip(toolTip);
    label->setFrameShape(QFrame::StyledPanel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(minimumWidth);
    // A stretching panel takes its share of the bar and cuts a text that is longer: a
    // long movie file name must not widen the main window. One that does not stretch
    // keeps its text's width.
    if (stretch > 0) label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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

QString StatusPanels::shownText(const QString& key) const {
    const QLabel* l = panel(key);
    if (const auto* stretching = dynamic_cast<const StretchingPanel*>(l)) return stretching->shownText();
    return l ? l->text() : QString();
}

void StatusPanels::setText(const QString& key, const QString& text) {
    if (QLabel* l = panel(key)) l->setText(text);
}
