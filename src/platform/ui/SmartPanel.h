#pragma once

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolBar>

class SmartPanelStack;

// A collapsible control panel with a caption strip on its left. The program uses
// its Top, Height, Width and Visible and AttachToolbar. Panels live in a
// SmartPanelStack, which places each at its Top and stretches it to the full width.
class SmartPanel : public QFrame {
    Q_OBJECT
public:
    SmartPanel(const QString& name, const QString& caption, int designHeight, QWidget* parent = nullptr);

    int Top() const { return m_top; }
    void setTop(int top);
    int Height() const { return m_height; }
    void setHeight(int height);
    int Width() const { return width(); }
    bool Visible() const { return !isHidden(); }
    void setVisible(bool visible) override;

    // Makes the toolbar part of the panel: it sits first in the panel's content row.
    void AttachToolbar(QToolBar* toolbar, int topMargin = 0);

    // The row that holds the panel's controls.
    QHBoxLayout* content() const { return m_content; }
    QLabel* captionLabel() const { return m_caption; }

private:
    void relayoutStack();

    int m_top = 0;
    int m_height;
    QLabel* m_caption;
    QHBoxLayout* m_content;
};

// Holds the SmartPanels stacked along the top edge. Its height is the bottom of the
// lowest visible panel.
class SmartPanelStack : public QWidget {
    Q_OBJECT
public:
    explicit SmartPanelStack(QWidget* parent = nullptr);
    void relayout();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* event) override;
};
