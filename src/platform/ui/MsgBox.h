#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Modal message boxes in the classic form: one text, a buttons-and-icon code, a title.
// In test mode nothing is shown: each box is recorded and answered from a script.
namespace MsgBoxStyle {
enum : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
};
}
namespace MsgBoxResult {
enum : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };
}

inline const char* const kAppTitle = "Video Kelvanor 2000";

// Shows the box and returns the button pressed (MsgBoxResult). An empty title
// gives the application's title.
int MsgBox(const QString& text, int style = MsgBoxStyle::vbOKOnly, const QString& title = QString());

// A program that runs without a window (the command line) takes every box itself: the
// handler gets the text, style and title instead of a box being shown, and its answer
// is the button pressed. An empty function shows boxes again. Test mode comes first.
namespace MsgBoxHandler {
using Handler = std::function<int(const QString& text, int style, const QString& title)>;
void set(Handler handler);
// The button a box answers with when nobody is there to press one: OK, or Yes.
int firstButton(int style);
} // namespace MsgBoxHandler

namespace MsgBoxTest {

struct Shown {
    QString text;
    int style = 0;
    QString title;
};

// Test mode: boxes are recorded, never shown. Answers come from the queue; an
// empty queue answers the first button (OK or Yes).
void enable();
void disable();
bool enabled();
void queueAnswer(int result);
const std::vector<Shown>& shown();
QStringList texts();
void clear();

} // namespace MsgBoxTest
