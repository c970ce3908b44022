#include "TextInsertion.h"

#include "Clock.h"
#include "PictureBox.h"
#include "Vars.h"

namespace {

enum class Line { Text, Date, Time };

// Where a stamp goes: the column by the position code, the row by the code and by
// which stamp it is, stacked in lines as high as "AAA". Codes outside 0-5 leave
// the print position where it is.
void placeAndPrint(PictureBox& surface, qint16 position, quint32 color, const QString& text, Line line) {
    if (position >= 0 && position <= 5) {
        const float w = float(surface.ScaleWidth());
        const float h = float(surface.ScaleHeight());
        const float tw = surface.TextWidth(text);
        const float th = surface.TextHeight(text);
        const float l = surface.TextHeight(QStringLiteral("AAA"));
        const int column = position % 3; // 0 left, 1 right, 2 centre
        surface.CurrentX = column == 0 ? 0.0f : column == 1 ? w - tw : (w - tw) / 2.0f;
        const bool top = position < 3;
        switch (line) {
        case Line::Text:
            surface.CurrentY = top ? 0.0f : h - (2.0f * l + th);
            break;
        case Line::Date:
            surface.CurrentY = top ? l : h - l;
            break;
        case Line::Time:
            surface.CurrentY = top ? 2.0f * l : h - 2.0f * l;
            break;
        }
    }
    surface.ForeColor = Vars::toQColor(color);
    surface.Print(text);
}

} // namespace

StampSettings StampSettings::fromVars() {
    StampSettings settings;
    settings.timeColor = Vars::StampTimeColor;
    settings.dateColor = Vars::StampDateColor;
    settings.textColor = Vars::StampTextColor;
    settings.text = Vars::StampText;
    return settings;
}

void StampText(PictureBox& surface, qint16 position, quint32 color, const QString& text) {
    placeAndPrint(surface, position, color, text, Line::Text);
}

void StampDate(PictureBox& surface, qint16 position, quint32 color) {
    placeAndPrint(surface, position, color, Clock::now().toString(QStringLiteral("MM-dd-yyyy")), Line::Date);
}

void StampTime(PictureBox& surface, qint16 position, quint32 color) {
    placeAndPrint(surface, position, color, Clock::now().toString(QStringLiteral("HH:mm:ss")), Line::Time);
}

void StampFrame(PictureBox& surface, const StampSettings& settings) {
    surface.setAutoRedraw(true);
    surface.Cls();
    if (settings.textOn) StampText(surface, settings.textPosition, settings.textColor, settings.text);
    if (settings.dateOn) StampDate(surface, settings.datePosition, settings.dateColor);
    if (settings.timeOn) StampTime(surface, settings.timePosition, settings.timeColor);
}
