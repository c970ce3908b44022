#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

// The common dialog: open, save and colour choices with the classic properties.
// The filter is in "description|pattern|description|pattern|" form; FileName is kept
// between uses (it proposes the last choice). Each Show* returns false when the user
// cancels; nothing is changed then.
class CommonDialog {
public:
    explicit CommonDialog(QWidget* parent = nullptr) : m_parent(parent) {}

    QString DialogTitle;
    QString Filter;
    QString FileName;
    quint32 Color = 0; // 0x00BBGGRR

    bool ShowOpen();
    bool ShowSave();
    bool ShowColor();

    // "A|*.a;*.b|B|*.b|" -> "A (*.a *.b);;B (*.b)"
    static QString toQtFilter(const QString& filter);

private:
    QWidget* m_parent;
};

// Test mode: dialogs are recorded and answered from a script instead of shown.
namespace CommonDialogTest {

enum class Kind { Open, Save, Color };
struct Shown {
    Kind kind;
    QString title;
    QString filter;
    QString fileName; // the proposal
};

void enable();
void disable();
bool enabled();
// Next answers, in order. An empty queue answers "cancel".
void queueFile(const QString& path);
void queueColor(quint32 bgr);
void queueCancel();
const std::vector<Shown>& shown();
void clear();

} // namespace CommonDialogTest
