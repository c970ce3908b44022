#include "SmartPanel.h"

#include <QResizeEvent>

SmartPanel::SmartPanel(const QString& name, const QString& caption, int designHeight, QWidget* parent)
    : QFrame(parent), m_height(designHeight) {
    setObjectName(name);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 4, 0);
    row->setSpacing(4);
    m_caption = new QLabel(caption, this);
    m_caption->setObjectName(name + QStringLiteral("Caption"));
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->setFixedWidth(70);
    m_caption->setWordWrap(true);
    m_caption->setAutoFillBackground(true);
    QFont f = m_caption->font();
    f.setBold(true);
    m_caption->setFont(f);
    QPalette pal = m_caption->palette();
    pal.setColor(QPalette::Window, QColor(0x3a, 0x5f, 0x8f));
    pal.setColor(QPalette::WindowText, Qt::white);
    m_caption->setPalette(pal);
    if (caption.isEmpty()) m_caption->hide();
    row->addWidget(m_caption);
    m_content = new QHBoxLayout;
    m_content->setContentsMargins(2, 1, 2, 1);
    m_content->setSpacing(4);
    row->addLayout(m_content, 1);
    setFixedHeight(m_height);
}

void SmartPanel::setTop(int top) {
    m_top = top;
    relayoutStack();
}

void SmartPanel::setHeight(int height) {
    m_height = height;
    setFixedHeight(height);
    relayoutStack();
}

void SmartPanel::setVisible(bool visible) {
    QFrame::setVisible(visible);
    relayoutStack();
}

void SmartPanel::AttachToolbar(QToolBar* toolbar, int topMargin) {
    toolbar->setParent(this);
    toolbar->setContentsMargins(0, topMargin, 0, 0);
    m_content->insertWidget(0, toolbar);
    toolbar->show();
}

void SmartPanel::relayoutStack() {
    if (auto* stack = qobject_cast<SmartPanelStack*>(parentWidget())) stack->relayout();
}

SmartPanelStack::SmartPanelStack(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SmartPanelStack"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SmartPanelStack::sizeHint() const {
    int bottom = 0;
    for (auto* panel : findChildren<SmartPanel*>(QString(), Qt::FindDirectChildrenOnly))
        if (panel->Visible()) bottom = std::max(bottom, panel->Top() + panel->Height());
    return {400, bottom};
}

void SmartPanelStack::relayout() {
    for (auto* panel : findChildren<SmartPanel*>(QString(), Qt::FindDirectChildrenOnly))
        panel->setGeometry(0, panel->Top(), width(), panel->Height());
    setFixedHeight(sizeHint().height());
    updateGeometry();
}

void SmartPanelStack::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (auto* panel : findChildren<SmartPanel*>(QString(), Qt::FindDirectChildrenOnly))
        panel->setGeometry(0, panel->Top(), width(), panel->Height());
}
