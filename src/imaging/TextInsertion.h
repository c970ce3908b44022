#pragma once

#include <QString>
#include <QtGlobal>

class PictureBox;

// Stamp positions, the index of the main window's position lists.
namespace StampPosition {
enum : qint16 { TopLeft = 0, TopRight = 1, TopCenter = 2, BottomLeft = 3, BottomRight = 4, BottomCenter = 5 };
}

// What StampFrame draws. The caller reads the mode's panel: the "time", "date" and
// "text" buttons give the on flags (pressed = on), the three position lists give
// the positions (their list index; -1 when nothing is chosen draws the stamp at
// the print position). Colours are 0x00BBGGRR. fromVars() fills the colours and the
// text from Vars (StampTimeColor, StampDateColor, StampTextColor, StampText) with
// every stamp off at "Top Left".
struct StampSettings {
    bool timeOn = false;
    quint32 timeColor = 0;
    qint16 timePosition = StampPosition::TopLeft;
    bool dateOn = false;
    quint32 dateColor = 0;
    qint16 datePosition = StampPosition::TopLeft;
    bool textOn = false;
    quint32 textColor = 0;
    qint16 textPosition = StampPosition::TopLeft;
    QString text;

    static StampSettings fromVars();
};

// Erases earlier stamps from `surface` (the picture stays), switches its persistent
// drawing on, and draws the text, date and time stamps that are on, each at its
// own position and in its own colour. Date and time come from Clock: mm-dd-yyyy
// and hh:mm:ss (24-hour). At the top the lines read text, date, time; at the
// bottom text, time, date, with the date on the last line.
void StampFrame(PictureBox& surface, const StampSettings& settings);

// The single stamps, placed by the table above (used by StampFrame).
void StampText(PictureBox& surface, qint16 position, quint32 color, const QString& text);
void StampDate(PictureBox& surface, qint16 position, quint32 color);
void StampTime(PictureBox& surface, qint16 position, quint32 color);
