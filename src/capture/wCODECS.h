#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Installed Video Compressors": the video compressors that system.ini in the system
// folder names, each with its description from codec.kl and, under it, its bit width,
// signature and driver file. Shown modally.
class wCODECS : public QDialog {
    Q_OBJECT
public:
    // The node key of a top-level item (its four-character code; empty for a code
    // already keyed by an earlier entry).
    static constexpr int KeyRole = Qt::UserRole;

    explicit wCODECS(QWidget* parent = nullptr);

    QTreeWidget* codecs = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;

private:
    void Form_Load();
    void addEntry(const QByteArray& code, const QByteArray& file, const QString& bits);

    // A missing or wrong codec.kl is said once for the whole list.
    bool m_codecInfoErrorShown = false;
};
