#pragma once

#include <QLabel>
#include <QStatusBar>

// A status bar with keyed text panels (QLabel children named by key).
class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(const QString& name, QWidget* parent = nullptr);

    QLabel* addPanel(const QString& key, const QString& text = QString(), const QString& toolTip = QString(),
                     int stretch = 0, int minimumWidth = 0);
    QLabel* panel(const QString& key) const;
    // The whole text of a panel.
    QString text(const QString& key) const;
    // Its text as shown: a stretching panel cuts a longer text in its middle.
    QString shownText(const QString& key) const;
    void setText(const QString& key, const QString& text);
};
